#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "game/game_keys.h"
#include "game/game_state.h"
#include "game/menus.h"
#include "game/race_scene.h"
#include "game/runner.h"
#include "game/recording_entry.h"
#include "game/save_slots.h"

namespace quelt::game {
namespace {

using testing::CallsNamed;

TEST(GameSaves, StartingProfileBytesAndRoundTrip) {
  const PlayerProfileRecord start{0, 0, 0, 1, -1};
  const SaveRecordBytes expected = {0x29, 0x15, 0, 0, 0x29, 0x15, 0, 0, 0x29, 0x15,
                                    0,    0,    0x28, 0x15, 0, 0, 0xD6, 0xEA, 0xFF, 0xFF};
  EXPECT_EQ(EncodeSaveRecord(start), expected);

  std::remove("save2.dat");
  const PlayerProfileRecord p{1234, 3, 7, 23, 5};
  ASSERT_EQ(WriteSaveSlot(1, p), 0);
  auto back = ReadSaveSlot(1);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->virtue, 1234);
  EXPECT_EQ(back->previousLife, 5);
  std::FILE* f = std::fopen("save2.dat", "rb");
  uint8_t raw[4];
  ASSERT_EQ(std::fread(raw, 1, 4, f), 4u);
  std::fclose(f);
  EXPECT_EQ(raw[0], (1234 ^ 0x1529) & 0xFF);
}

TEST(GameSaves, ShortOrImpossibleRecordsHoldNoData) {
  SaveRecordBytes bytes = EncodeSaveRecord({0, 0, 0, 1, -1});
  EXPECT_FALSE(DecodeSaveRecord(bytes.data(), 19));
  EXPECT_TRUE(DecodeSaveRecord(bytes.data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({0, 0, 0, 1, 12}).data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({0, 21, 0, 1, -1}).data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({-5, 0, 0, 1, -1}).data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({0, 0, 0, 0, -1}).data(), 20));
  // The total level is one more than every relaxation-up bought: relaxation + 5 x physique.
  EXPECT_TRUE(DecodeSaveRecord(EncodeSaveRecord({9, 20, 20, 121, 11}).data(), 20));
  EXPECT_FALSE(DecodeSaveRecord(EncodeSaveRecord({9, 2, 3, 5, 11}).data(), 20));

  std::FILE* f = std::fopen("save3.dat", "wb");
  std::fwrite(bytes.data(), 1, 7, f);
  std::fclose(f);
  EXPECT_FALSE(ReadSaveSlot(2));

  // The screen shows such a slot as empty and refuses to load it.
  testing::InstallRecorder();
  InitialiseTextColours();
  for (int i = 0; i < SaveSlotCount; ++i) std::remove(SaveSlotPath(i));
  f = std::fopen("save3.dat", "wb");
  std::fwrite(bytes.data(), 1, 19, f);
  std::fclose(f);
  ASSERT_EQ(WriteSaveSlot(0, {16, 0, 2, 3, 4}), 0);
  // Down twice to slot 3, decide; the pump quits after a few frames.
  testing::Script.keysAt = [](int n) {
    return n == 0 || n == 2 ? std::vector<int>{KeyDown} : n == 4 ? std::vector<int>{KeySpace} : std::vector<int>{};
  };
  testing::Script.quitAtPump = 7;
  PlayerProfile.virtue = 5;
  RunSaveLoadScreen(0);
  EXPECT_EQ(PlayerProfile.virtue, 5);
  std::vector<std::string> rows;
  for (const auto& t : CallsNamed("text")) {
    if (t.numbers[0] == 350 && t.numbers[1] >= 350 && t.numbers[1] < 500 && rows.size() < 5) rows.push_back(t.text);
  }
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], "16 / 0 / 2 / 3 / 蛙");
  EXPECT_EQ(rows[2], "no data");
  bool refused = false;
  for (const auto& t : CallsNamed("text")) refused |= t.text == "データがないです。";
  EXPECT_TRUE(refused);
  std::remove("save1.dat");
  std::remove("save3.dat");
}

TEST(GameMenus, TrainingCostDoublesWithoutOverflow) {
  EXPECT_EQ(TrainingCost(1), 2);
  EXPECT_EQ(TrainingCost(2), 4);
  EXPECT_EQ(TrainingCost(31), int64_t{1} << 31);
  EXPECT_GT(TrainingCost(40), int64_t{INT32_MAX});
}

TEST(GameMenus, TitleCursorWrapsAndTrainingPaysOnlyWhatItCan) {
  testing::InstallRecorder();
  InitialiseTextColours();
  // Up from entry 0 -> 14, down -> 0, down x12 -> 12 (training), decide there,
  // then decide relaxation-up twice (virtue 6: 2 then 4), then leave training, then quit.
  testing::Script.keysAt = [](int n) {
    static const std::vector<std::vector<int>> plan = [] {
      std::vector<std::vector<int>> p = {{KeyUp}, {}, {KeyDown}, {}};
      for (int i = 0; i < 12; ++i) {
        p.push_back({KeyDown});
        p.push_back({});
      }
      p.push_back({KeySpace});
      for (int i = 0; i < 3; ++i) {
        p.push_back({});
        p.push_back({KeySpace});
      }
      return p;
    }();
    return n < static_cast<int>(plan.size()) ? plan[n] : std::vector<int>{};
  };
  PlayerProfile.virtue = 6;
  testing::Script.quitAtPump = 60;
  RunTitleMenu();
  EXPECT_EQ(TitleMenuCursor, 12);
  EXPECT_EQ(PlayerProfile.virtue, 0);
  EXPECT_EQ(PlayerProfile.relaxation, 2);
  EXPECT_EQ(PlayerProfile.totalLevel, 3);
  bool short_of_virtue = false;
  for (const auto& t : CallsNamed("text")) short_of_virtue |= t.text == "徳が足りません。";
  EXPECT_TRUE(short_of_virtue);
}

TEST(GameMenus, LoadingAnEmptySlotKeepsTheProfile) {
  testing::InstallRecorder();
  InitialiseTextColours();
  for (int i = 1; i <= 5; ++i) std::remove(SaveSlotPath(i - 1));
  testing::Script.keysAt = [](int n) { return n == 0 ? std::vector<int>{KeySpace} : std::vector<int>{}; };
  testing::Script.quitAtPump = 3;
  PlayerProfile.virtue = 77;
  RunSaveLoadScreen(0);
  EXPECT_EQ(PlayerProfile.virtue, 77);
  bool shown = false;
  for (const auto& t : CallsNamed("text")) shown |= t.text == "データがないです。";
  EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace quelt::game

namespace quelt::game {
namespace {

bool TextShown(const char* text) {
  for (const auto& t : testing::CallsNamed("text")) {
    if (t.text == text) return true;
  }
  return false;
}

TEST(GameMenus, FailedSaveShowsTheErrorText) {
  testing::InstallRecorder();
  InitialiseTextColours();
  std::remove("save1.dat");
  ASSERT_EQ(std::system("mkdir save1.dat"), 0);  // a folder in the slot's place cannot be written
  testing::Script.keysAt = [](int n) { return n == 0 ? std::vector<int>{KeySpace} : std::vector<int>{}; };
  testing::Script.quitAtPump = 4;
  RunSaveLoadScreen(1);
  EXPECT_TRUE(TextShown("ファイルオープンエラー"));
  EXPECT_FALSE(TextShown("セーブしました。"));
  std::system("rmdir save1.dat");
}

#ifdef _WIN32
// Runs `command` (Unix shell text, where $F is the Unix path of the file `name` of the
// working folder) through Wine's start.exe, which does not wait for a Unix program: the
// shell leaves a mark when it is done. Empty on success, else why it could not run.
std::string RunUnixOnFile(const std::string& command, const char* name) {
  using UnixFileName = char*(CDECL*)(const wchar_t*);
  const auto unix_name = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (unix_name == nullptr) return "not running under Wine (no wine_get_unix_file_name)";
  wchar_t here[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, here);
  char* folder = unix_name(here);
  if (folder == nullptr) return "the working folder has no Unix name";
  const std::string unix_folder = folder;
  HeapFree(GetProcessHeap(), 0, folder);
  if (unix_folder.find_first_of(" '\"") != std::string::npos) return "the working folder's Unix name needs quoting";
  constexpr const char* mark = "unix_command.done";
  DeleteFileA(mark);
  std::string line = "start.exe /unix /bin/sh -c \"F=" + unix_folder + "/" + name + "; " + command + "; touch " +
                     unix_folder + "/" + mark + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process))
    return "start.exe could not be run";
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  for (int waited = 0; waited < 20000; waited += 20) {
    if (GetFileAttributesA(mark) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileA(mark);
      return "";
    }
    Sleep(20);
  }
  return "the Unix shell did not finish";
}
#endif

// Wine's DeleteFile cannot remove a link to a device: the link goes by a Unix `rm`.
void RemoveLink(const char* name) {
#ifdef _WIN32
  RunUnixOnFile("rm -f $F", name);
#else
  unlink(name);
#endif
}

// Makes `name` in the working folder a symbolic link to /dev/full, where every write fails
// for want of space, as on a full disk; under Wine by a Unix `ln`. Empty on success, else
// why it could not be made.
std::string LinkToDeviceFull(const char* name) {
  RemoveLink(name);
#ifdef _WIN32
  if (std::string why = RunUnixOnFile("ln -s /dev/full $F", name); !why.empty()) return why;
#else
  if (symlink("/dev/full", name) != 0) return std::string("symlink: ") + std::strerror(errno);
#endif
  // The link is only worth its name when a write through it fails.
  std::FILE* probe = std::fopen(name, "wb");
  if (probe == nullptr) return "no link to /dev/full was made";
  std::fputc('x', probe);
  const bool failed = std::fflush(probe) != 0;
  std::fclose(probe);
  if (failed) return "";
  RemoveLink(name);
  return "a write to /dev/full succeeded";
}

// A record that cannot be written (the runtime's fclose may even report success after its
// final flush failed) is never reported as saved, and the slot keeps the save it held.
TEST(GameMenus, SaveThatCannotBeWrittenShowsTheErrorAndKeepsThePreviousSave) {
  testing::InstallRecorder();
  InitialiseTextColours();
  const PlayerProfileRecord previous{16, 0, 2, 3, 4};
  std::remove("save1.dat");
  ASSERT_EQ(WriteSaveSlot(0, previous), 0);
  if (const std::string why = LinkToDeviceFull(SaveSlotTempPath(0)); !why.empty())
    GTEST_SKIP() << "no failing write to test with: " << why;
  PlayerProfile = {900, 1, 1, 7, 0};
  EXPECT_EQ(WriteSaveSlot(0, PlayerProfile), -1);
  ASSERT_EQ(LinkToDeviceFull(SaveSlotTempPath(0)), "");
  testing::Script.keysAt = [](int n) { return n == 0 ? std::vector<int>{KeySpace} : std::vector<int>{}; };
  testing::Script.quitAtPump = 4;
  RunSaveLoadScreen(1);
  EXPECT_TRUE(TextShown("ファイルオープンエラー"));
  EXPECT_FALSE(TextShown("セーブしました。"));
  const auto kept = ReadSaveSlot(0);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->virtue, 16);
  EXPECT_EQ(kept->previousLife, 4);
  RemoveLink(SaveSlotTempPath(0));

  // A slot that is itself a link to the full device: the record written beside it takes
  // the link's place (POSIX) or the save is refused (Wine cannot replace a link to a
  // device); either way a save reported as done reads back.
  ASSERT_EQ(LinkToDeviceFull("save1.dat"), "");
  if (WriteSaveSlot(0, PlayerProfile) == 0) {
    const auto saved = ReadSaveSlot(0);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->virtue, 900);
  }
  RemoveLink("save1.dat");
  std::remove("save1.dat");
}

// From total level 31 the cost passes the largest virtue: it is shown as it is, and even
// the largest virtue does not pay it.
TEST(GameMenus, TrainingShowsTheWholeCostAndRefusesOneBeyondAnyVirtue) {
  EXPECT_EQ(TrainingCostText(1), "2");
  EXPECT_EQ(TrainingCostText(30), "1073741824");
  EXPECT_EQ(TrainingCostText(62), "4611686018427387904");
  EXPECT_EQ(TrainingCostText(121), "2658455991569831745807614120560689152");
  for (const auto& [level, shown] : {std::pair{31, "必要徳数：2147483648"}, std::pair{40, "必要徳数：1099511627776"},
                                     std::pair{121, "必要徳数：2658455991569831745807614120560689152"}}) {
    SCOPED_TRACE(level);
    testing::InstallRecorder();
    InitialiseTextColours();
    PlayerProfile = {INT32_MAX, 20, 0, level, -1};
    testing::Script.keysAt = [](int n) { return n == 1 ? std::vector<int>{KeySpace} : std::vector<int>{}; };
    testing::Script.quitAtPump = 4;
    RunTrainingMenu();
    EXPECT_TRUE(TextShown(shown));
    EXPECT_FALSE(TextShown("必要徳数：2147483647"));
    EXPECT_TRUE(TextShown("徳が足りません。"));
    EXPECT_EQ(PlayerProfile.virtue, INT32_MAX);
    EXPECT_EQ(PlayerProfile.totalLevel, level);
  }
  // One level below, the largest virtue pays exactly.
  testing::InstallRecorder();
  InitialiseTextColours();
  PlayerProfile = {1 << 30, 0, 0, 30, -1};
  testing::Script.keysAt = [](int n) { return n == 1 ? std::vector<int>{KeySpace} : std::vector<int>{}; };
  testing::Script.quitAtPump = 4;
  RunTrainingMenu();
  EXPECT_TRUE(TextShown("脱力しました。"));
  EXPECT_EQ(PlayerProfile.virtue, 0);
  EXPECT_EQ(PlayerProfile.totalLevel, 31);
}

TEST(GameMenus, PauseDialogRetiresTheRace) {
  testing::InstallRecorder();
  InitialiseTextColours();
  ResetPlayer();
  StartRace(0);
  // Space pauses; down moves to "Yes"; space retires.
  testing::Script.keysAt = [](int n) {
    switch (n) {
      case 0: return std::vector<int>{KeySpace};
      case 1: return std::vector<int>{KeyDown};
      case 3: return std::vector<int>{KeySpace};
      default: return std::vector<int>{};
    }
  };
  EXPECT_EQ(UpdatePlayer(), 0);
  auto blends = testing::CallsNamed("ApiSelectBlendMode");
  ASSERT_GE(blends.size(), 2u);
  EXPECT_EQ(blends[0].numbers[0], 1);
  EXPECT_EQ(blends[0].numbers[1], 191);
  EXPECT_TRUE(TextShown("ＲＥＴＩＲＥ？"));
}

}  // namespace
}  // namespace quelt::game
