#include "core/log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/tracked_alloc.h"
#include "core/platform.h"
#include "tests/core/log_test_support.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#endif

namespace {

using quelt_test::ReadLog;
using quelt_test::StartFreshLog;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { StartFreshLog(); }
  void TearDown() override { quelt::EngineLog.indentLevel = 0; }
};

TEST_F(LogTest, NestedAndContinuedLinesGetOnePrefixEach) {
  quelt::WriteLog("システムの情報を出力します\n");
  quelt::EngineLog.indentLevel = 1;
  quelt::WriteLog("ＣＯＭの初期化... ");
  quelt::WriteLog("成功しました\n");
  quelt::EngineLog.indentLevel = 2;
  quelt::WriteLog("first\n");
  quelt::WriteLog("second\n");
  quelt::WriteLog("part one, ");
  quelt::WriteLog("part two\n");
  quelt::EngineLog.indentLevel = 0;
  quelt::WriteLog("\n");
  quelt::WriteLog("end\n");

  EXPECT_EQ(ReadLog(),
            "T:システムの情報を出力します\r\n"
            "T:\tＣＯＭの初期化... 成功しました\r\n"
            "T:\t\tfirst\r\n"
            "T:\t\tsecond\r\n"
            "T:\t\tpart one, part two\r\n"
            "T:\r\n"
            "T:end\r\n");
}

// The prefix is written at the start of a call that begins a line; the lines inside one
// multi-line text get their CR LF but no prefix of their own.
TEST_F(LogTest, MultiLineTextsGetCrLfAndOnePrefix) {
  quelt::EngineLog.indentLevel = 1;
  quelt::WriteLog("first\nsecond\n\nfourth");
  quelt::WriteLog(" continued\n");
  quelt::WriteLog("\nafter an empty line\n");
  EXPECT_EQ(ReadLog(), "T:\tfirst\r\nsecond\r\n\r\nfourth continued\r\nT:\t\r\nafter an empty line\r\n");
}

TEST_F(LogTest, ConversionStopsAtTheFirstLineEndThatAlreadyHasItsCarriageReturn) {
  quelt::WriteLog("a\nb\r\nc\nd\n");
  EXPECT_EQ(ReadLog(), "T:a\r\nb\r\nc\nd\n");
}

TEST_F(LogTest, TimeStampOffAndTheRawTimeStampFormat) {
  quelt::WriteLog("stamped\n");
  quelt::EngineLog.timeStampOff = 1;
  quelt::EngineLog.indentLevel = 1;
  quelt::WriteLog("plain\n");
  quelt::EngineLog.timeStampOff = 0;

  std::string raw = quelt_test::ReadWholeFile(quelt_test::LogPath());
  size_t colon = raw.find(':');
  ASSERT_NE(colon, std::string::npos);
  ASSERT_GT(colon, 0u);
  for (size_t i = 0; i < colon; ++i) EXPECT_TRUE(raw[i] >= '0' && raw[i] <= '9') << raw;
  EXPECT_EQ(raw.substr(colon), ":stamped\r\n\tplain\r\n");
}

TEST_F(LogTest, LongTextsUseATemporaryBlockAndFreeIt) {
  const int32_t countBefore = quelt::TrackedAllocator.blockCount;
  std::string text(300, 'x');
  text += "\n";
  text += std::string(300, 'y');
  text += "\n";
  quelt::WriteLog(text.c_str());
  EXPECT_EQ(quelt::TrackedAllocator.blockCount, countBefore);
  EXPECT_EQ(ReadLog(), "T:" + std::string(300, 'x') + "\r\n" + std::string(300, 'y') + "\r\n");
}

TEST_F(LogTest, FormattedLinesAreBoundedTo1022CharactersAndALineEnd) {
  std::string huge(5000, 'z');
  EXPECT_EQ(quelt::WriteLogFormat("%s", huge.c_str()), -1);
  EXPECT_EQ(quelt::WriteLogFormat("value %d and %s", 42, "text"), -1);
  EXPECT_EQ(ReadLog(), "T:" + std::string(1022, 'z') + "\r\nT:value 42 and text\r\n");
}

TEST_F(LogTest, TruncationNeverLeavesHalfATwoByteCharacter) {
  // 1021 single bytes, then two-byte characters: the 1022-byte limit falls inside one.
  std::string text(1021, 'a');
  for (int i = 0; i < 4; ++i) text += "\x82\xA0";
  quelt::WriteLogFormat("%s", text.c_str());
  EXPECT_EQ(ReadLog(), "T:" + std::string(1021, 'a') + "\r\n");
}

TEST_F(LogTest, NothingIsWrittenWhenDisabledOrWithoutAStartDirectory) {
  quelt::EngineLog.logDisabled = 1;
  quelt::WriteLog("hidden\n");
  quelt::EngineLog.logDisabled = 0;
  char saved[sizeof quelt::StartDirectory];
  std::memcpy(saved, quelt::StartDirectory, sizeof saved);
  quelt::StartDirectory[0] = 0;
  quelt::WriteLog("hidden too\n");
  std::memcpy(quelt::StartDirectory, saved, sizeof saved);
  quelt::WriteLog("shown\n");
  EXPECT_EQ(ReadLog(), "T:shown\r\n");
}

TEST_F(LogTest, StartLogFileMakesAnEmptyFileAndResetsTheLineState) {
  quelt::EngineLog.indentLevel = 3;
  quelt::WriteLog("left open");
  quelt::StartLogFile();
  EXPECT_TRUE(quelt_test::FileExists(quelt_test::LogPath()));
  EXPECT_EQ(ReadLog(), "");
  EXPECT_EQ(quelt::EngineLog.indentLevel, 0);
  quelt::WriteLog("fresh\n");
  EXPECT_EQ(ReadLog(), "T:fresh\r\n");
}

TEST_F(LogTest, DisabledLogCreatesNoFile) {
  std::remove(quelt_test::LogPath().c_str());
  quelt::EngineLog.logDisabled = 1;
  EXPECT_EQ(quelt::StartLogFile(), 1);
  quelt::EngineLog.logDisabled = 0;
  EXPECT_FALSE(quelt_test::FileExists(quelt_test::LogPath()));
}

TEST_F(LogTest, DatedFileName) {
  quelt::EngineLog.datedName = 1;
  quelt::StartLogFile();
  quelt::EngineLog.datedName = 0;
  std::string name = quelt::EngineLog.fileName;
  // Log<year>_<month>_<day>_<hour>_<minute>_<second>.txt, no padding.
  ASSERT_EQ(name.substr(0, 3), "Log");
  ASSERT_EQ(name.substr(name.size() - 4), ".txt");
  std::string fields = name.substr(3, name.size() - 7);
  int underscores = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] == '_') {
      ++underscores;
      EXPECT_TRUE(i > 0 && fields[i - 1] != '_') << name;
    } else {
      EXPECT_TRUE(fields[i] >= '0' && fields[i] <= '9') << name;
    }
  }
  EXPECT_EQ(underscores, 5) << name;
  EXPECT_TRUE(quelt_test::FileExists(quelt_test::LogPath()));
  std::remove(quelt_test::LogPath().c_str());
  std::snprintf(quelt::EngineLog.fileName, sizeof quelt::EngineLog.fileName, "Log.txt");
}

// A directory ending in "ソ" (0x83 0x5C) still gets its separator before the file name.
TEST_F(LogTest, StartDirectoryEndingInATwoByteCharacterWithABackslashTrailByte) {
  const std::string directory = quelt_test::CurrentDirectory() + "/dir\x83\x5C";
#ifdef _WIN32
  _mkdir(directory.c_str());
#else
  mkdir(directory.c_str(), 0755);
#endif
  std::snprintf(quelt::StartDirectory, sizeof quelt::StartDirectory, "%s", directory.c_str());
  quelt::WriteLog("inside\n");
  std::string written = quelt_test::ReadWholeFile(directory + "/Log.txt");
  std::remove((directory + "/Log.txt").c_str());
  StartFreshLog();
  EXPECT_EQ(quelt_test::StripTimeStamps(written), "T:inside\r\n");
}

#if QUELT_HAS_SJIS_LITERALS
TEST(LogLiteralTest, JapaneseTextsAreShiftJisBytes) {
  EXPECT_STREQ("ＣＯＭ", "\x82\x62\x82\x6E\x82\x6C");
  EXPECT_STREQ("ソ", "\x83\x5C");
}
#endif

#ifndef _WIN32
TEST_F(LogTest, DebuggerGetsTabsAndTextButNoTimeStamp) {
  quelt::ClearNativeDebugOutput();
  quelt::EngineLog.indentLevel = 2;
  quelt::WriteLog("one\n");
  quelt::WriteLog("two");
  quelt::WriteLog(" more\n");
  EXPECT_STREQ(quelt::NativeDebugOutput(), "\t\tone\r\n\t\ttwo more\r\n");
  EXPECT_EQ(ReadLog(), "T:\t\tone\r\nT:\t\ttwo more\r\n");
}

TEST_F(LogTest, UserWindowModeSendsTheTextOnlyToTheDebugger) {
  quelt::ClearNativeDebugOutput();
  quelt::EngineLog.indentLevel = 1;
  quelt::UserWindowMode = 1;
  quelt::WriteLog("a\nb\n");
  quelt::UserWindowMode = 0;
  EXPECT_STREQ(quelt::NativeDebugOutput(), "a\r\nb\r\n");
  EXPECT_EQ(ReadLog(), "");
}

TEST_F(LogTest, AnUnopenableFileWritesNothingAnywhere) {
  quelt::ClearNativeDebugOutput();
  std::snprintf(quelt::StartDirectory, sizeof quelt::StartDirectory, "/nonexistent-directory-for-the-log");
  quelt::WriteLog("lost\n");
  StartFreshLog();
  EXPECT_STREQ(quelt::NativeDebugOutput(), "");
}
#endif

}  // namespace
