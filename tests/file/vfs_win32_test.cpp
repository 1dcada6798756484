// Plain Win32 files, the file-access thread and the archive-aware set over real folders
// and archives (run under Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/engine_state.h"
#include "core/log.h"
#include "file/file_access.h"
#include "file/pack_trees.h"
#include "file/path_names.h"
#include "file/vfs.h"
#include "file/win32_file.h"

namespace {

using namespace quelt;
using namespace quelt_test;
namespace fs = std::filesystem;

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadAll(FileHandle f, int32_t chunk = 777) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buf(static_cast<size_t>(chunk));
  while (true) {
    const int32_t n = FileAccessRead(buf.data(), 1, chunk, f);
    if (n <= 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + n);
  }
  return out;
}

void Pack(const std::string& path, const PackEntry& root, uint16_t version = 3, const std::string& keyString = "",
          quelt_tools::PackKey key = quelt_tools::PackKey::Primary) {
  quelt_tools::PackOptions options;
  options.version = version;
  options.keyString = keyString;
  options.key = key;
  WriteBytes(path, quelt_tools::WriteArchive(root, options));
}

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 13 + i / 256);
  return v;
}

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFileAccessTable(&kWin32FileSet);
    WriteBytes("plain/ten.bin", Bytes("0123456789"));
    WriteBytes("plain/big.bin", Counting(300000));
  }
  void TearDown() override { SetFileAccessTable(nullptr); }
};

TEST_F(Win32Files, DirectReadsCutAtTheEndAndReportTheTruth) {
  EXPECT_EQ(OpenWin32File("plain/missing.bin", 0, 1, 0), 0u);
  const FileHandle f = FileAccessOpen("plain/ten.bin", 0, 1, 0);
  ASSERT_NE(f, 0u);
  char buf[16] = {};
  EXPECT_EQ(FileAccessRead(buf, 4, 3, f), 2);  // cut to the whole items left
  EXPECT_EQ(std::string(buf, 8), "01234567");
  EXPECT_EQ(FileAccessTell(f), 8);
  EXPECT_EQ(FileAccessRead(buf, 4, 1, f), 0);  // less than one item left
  EXPECT_EQ(FileAccessEof(f), -1);
  EXPECT_EQ(FileAccessSeek(f, -2, 2), 0);
  EXPECT_EQ(FileAccessEof(f), 0);
  EXPECT_EQ(FileAccessRead(buf, 1, 5, f), 2);
  EXPECT_EQ(FileAccessRead(buf, 1, 1, f), 0);
  EXPECT_EQ(FileAccessEof(f), -1);
  // Past the end: nothing is read and the position stays truthful.
  EXPECT_EQ(FileAccessSeek(f, 100, 0), 0);
  EXPECT_EQ(FileAccessRead(buf, 1, 4, f), 0);
  EXPECT_EQ(FileAccessEof(f), -1);
  EXPECT_EQ(FileAccessSeek(f, -1, 0), -1);
  EXPECT_EQ(FileAccessIdle(f), 1);
  EXPECT_EQ(FileAccessClose(f), 0);
}

TEST_F(Win32Files, ThreadedFilesWithCacheAndAsynchronousReads) {
  const std::vector<uint8_t> expect = Counting(300000);
  for (int flags = 1; flags <= 3; ++flags) {
    const int32_t cache = flags & 1, async = (flags >> 1) & 1;
    const FileHandle f = OpenWin32File("plain/big.bin", cache, 1, async);
    ASSERT_NE(f, 0u) << flags;
    if (cache) Sleep(250);  // let the read-ahead fill the cache
    std::vector<uint8_t> got(300000);
    size_t at = 0;
    while (at < got.size()) {
      const int32_t want = static_cast<int32_t>(std::min<size_t>(50000, got.size() - at));
      EXPECT_EQ(Win32FileRead(got.data() + at, 1, want, f), want);
      while (!Win32FileIdle(f)) Sleep(0);
      at += static_cast<size_t>(want);
    }
    EXPECT_EQ(got, expect) << flags;
    // A seek empties the cache; a read elsewhere still returns the right bytes.
    ASSERT_EQ(Win32FileSeek(f, 123457, 0), 0);
    uint8_t four[4];
    EXPECT_EQ(Win32FileRead(four, 2, 2, f), 2);
    while (!Win32FileIdle(f)) Sleep(0);
    EXPECT_EQ(0, std::memcmp(four, expect.data() + 123457, 4));
    EXPECT_EQ(Win32FileTell(f), 123461);
    EXPECT_EQ(CloseWin32File(f), 0);
  }
  EXPECT_EQ(OpenWin32File("plain/missing.bin", 1, 1, 0), 0u);
}

TEST_F(Win32Files, FindFullPathsAndTemporaryFiles) {
  FindData data{};
  const FindHandle find = Win32FindFirst("plain\\*.bin", &data);
  ASSERT_NE(find, -1);
  std::set<std::string> names{data.name};
  while (Win32FindNext(find, &data) == 0) names.insert(data.name);
  EXPECT_EQ(Win32FindClose(find), 0);
  EXPECT_EQ(names, (std::set<std::string>{"big.bin", "ten.bin"}));
  EXPECT_EQ(Win32FindFirst("plain\\*.none", nullptr), -1);

  char cwd[260], full[260];
  GetCurrentDirectoryA(sizeof cwd, cwd);
  ASSERT_EQ(MakeFullPath("plain\\..\\x", full, nullptr), 0);
  EXPECT_EQ(std::string(full), std::string(cwd) + "\\x");

  char name[260] = {};
  void* temp = CreateTempFile(name);
  ASSERT_NE(temp, nullptr);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(temp, "abc", 3, &written, nullptr));
  CloseHandle(temp);
  EXPECT_EQ(GetFileAttributesA(name) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(DeleteFileA(name));
}

class Archives : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFileAccessTable(nullptr);
    ResetArchiveManager();
    ArchiveConfig = {};
    std::vector<uint8_t> big(100000);
    std::mt19937 rng(3);
    big = GameLikeBytes(rng, 100000);
    bigData = big;
    Pack("data.QLA", DirNode("", {FileNode("x.bmp", Bytes("BMxbmp")), FileNode("Ten.txt", Bytes("0123456789")),
                                  FileNode("big.dat", big),
                                  DirNode("Sub", {FileNode("y.txt", Bytes("why")), FileNode("z.bmp", Bytes("zed"))})}));
    WriteBytes("data/plain_only.txt", Bytes("plain"));
    WriteBytes("loose/free.txt", Bytes("free"));
  }
  void TearDown() override {
    for (int32_t i = 0; i < kVfsFileCount; ++i) VfsClose(static_cast<FileHandle>(i | kVfsHandleTag));
    SweepUnusedArchives();
    ArchiveConfig = {};
  }
  std::vector<uint8_t> bigData;
};

std::vector<uint8_t> ReadPath(const char* path, int32_t async = 0) {
  const FileHandle f = VfsOpen(path, 0, 1, async);
  if (!f) return Bytes("<none>");
  std::vector<uint8_t> out;
  uint8_t buf[1000];
  while (true) {
    const int32_t n = VfsRead(buf, 1, sizeof buf, f);
    if (n <= 0) break;
    while (!VfsIdle(f)) Sleep(0);
    out.insert(out.end(), buf, buf + n);
  }
  VfsClose(f);
  return out;
}

TEST_F(Archives, PathsUnderAnArchiveFolderReadFromTheArchive) {
  EXPECT_EQ(ReadPath("data/x.bmp"), Bytes("BMxbmp"));
  EXPECT_EQ(ReadPath("DATA\\SUB\\Y.TXT"), Bytes("why"));
  EXPECT_EQ(ReadPath("data\\sub\\..\\ten.TXT"), Bytes("0123456789"));
  EXPECT_EQ(ReadPath("data/big.dat"), bigData);      // compressed, decoded at open
  EXPECT_EQ(ReadPath("data/big.dat", 1), bigData);   // the same, asynchronously
  EXPECT_EQ(ReadPath("data/ten.txt", 1), Bytes("0123456789"));
  EXPECT_EQ(ReadPath("data/plain_only.txt"), Bytes("<none>"));  // the archive decides
  EXPECT_EQ(ReadPath("loose/free.txt"), Bytes("free"));
  EXPECT_EQ(CountOpenArchives(), 1);
  EXPECT_EQ(GetArchiveSlot(0)->referenceCount, 0);  // kept, unused, until swept
  SweepUnusedArchives();
  EXPECT_EQ(CountOpenArchives(), 0);
}

TEST_F(Archives, AsynchronousEntriesOfOneArchiveEachReadTheirOwnBytes) {
  std::mt19937 rng(9);
  const std::vector<uint8_t> one = GameLikeBytes(rng, 70000);
  const std::vector<uint8_t> two = GameLikeBytes(rng, 50000);
  const std::vector<uint8_t> three = GameLikeBytes(rng, 30000);
  Pack("pair.QLA", DirNode("", {FileNode("one.dat", one), FileNode("two.dat", two), FileNode("three.dat", three)}));
  // In turn.
  EXPECT_EQ(ReadPath("pair/one.dat", 1), one);
  EXPECT_EQ(ReadPath("pair/two.dat", 1), two);
  // At once: every open posts its read before any is collected, then reads interleave.
  const char* paths[] = {"pair/one.dat", "pair/two.dat", "pair/three.dat"};
  const std::vector<uint8_t>* wanted[] = {&one, &two, &three};
  FileHandle files[3] = {};
  for (int i = 0; i < 3; ++i) {
    files[i] = VfsOpen(paths[i], 0, 1, 1);
    ASSERT_NE(files[i], 0u) << paths[i];
  }
  std::vector<uint8_t> got[3];
  bool open[3] = {true, true, true};
  uint8_t buf[3][997];
  for (int live = 3; live > 0;) {
    for (int i = 0; i < 3; ++i) {
      if (!open[i]) continue;
      const int32_t n = VfsRead(buf[i], 1, sizeof buf[i], files[i]);
      if (n <= 0) {
        open[i] = false;
        --live;
        continue;
      }
      while (!VfsIdle(files[i])) Sleep(0);
      got[i].insert(got[i].end(), buf[i], buf[i] + n);
    }
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(got[i], *wanted[i]) << paths[i];
    VfsClose(files[i]);
  }
}

TEST_F(Archives, EntryReadsSeeksAndHandles) {
  const FileHandle f = VfsOpen("data/ten.txt", 0, 1, 0);
  ASSERT_NE(f, 0u);
  EXPECT_EQ(f & 0xF0000000u, 0xF0000000u);
  char buf[16] = {};
  EXPECT_EQ(VfsRead(buf, 4, 3, f), 10);  // bytes, not items
  EXPECT_EQ(VfsRead(buf, 1, 1, f), 0);
  EXPECT_EQ(VfsEof(f), -1);
  EXPECT_EQ(VfsSeek(f, -3, 2), 0);
  EXPECT_EQ(VfsTell(f), 7);
  EXPECT_EQ(VfsSeek(f, 50, 1), 0);
  EXPECT_EQ(VfsTell(f), 10);
  EXPECT_EQ(VfsSeek(f, -50, 0), 0);
  EXPECT_EQ(VfsTell(f), 0);
  EXPECT_EQ(VfsClose(f), 0);
  EXPECT_EQ(VfsRead(buf, 1, 1, f), -1);
  EXPECT_EQ(VfsTell(f), -1);
  EXPECT_EQ(VfsClose(f), -1);
  EXPECT_EQ(VfsIdle(0xF0000000u | 600u), -1);
}

TEST_F(Archives, TheShortestLeadingFolderWinsAndIsCachedAfterwards) {
  Pack("outer.QLA", DirNode("", {DirNode("inner", {FileNode("z.txt", Bytes("from outer"))})}));
  Pack("outer/inner.QLA", DirNode("", {FileNode("z.txt", Bytes("from inner"))}));
  EXPECT_EQ(ReadPath("outer/inner/z.txt"), Bytes("from outer"));

  Pack("game/dat.QLA", DirNode("", {FileNode("enemy.bmp", Bytes("enemy")), FileNode("hero.bmp", Bytes("hero"))}));
  EXPECT_EQ(ReadPath("game/dat/enemy.bmp"), Bytes("enemy"));
  const int32_t archives = CountOpenArchives();
  char archivePath[256], inner[260];
  int32_t slot = -1;
  ASSERT_EQ(ResolveArchivePath("game/dat/hero.bmp", &slot, archivePath, inner), 0);
  EXPECT_EQ(CountOpenArchives(), archives);
  EXPECT_STREQ(inner, "HERO.BMP");
  EXPECT_NE(std::strstr(archivePath, "\\GAME\\DAT.QLA"), nullptr);
  GetArchiveSlot(slot)->referenceCount--;
  EXPECT_EQ(ResolveArchivePath("loose/free.txt", &slot, nullptr, nullptr), -1);
}

std::vector<std::string> FindAll(const char* pattern) {
  std::vector<std::string> names;
  FindData data{};
  const FindHandle find = VfsFindFirst(pattern, &data);
  if (find == -1) return names;
  do names.push_back(std::string(data.name) + (data.directory ? "/" : "")); while (VfsFindNext(find, &data) == 0);
  EXPECT_EQ(VfsFindClose(find), 0);
  return names;
}

TEST_F(Archives, FindListsArchiveDirectoriesLikeDiskOnes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(FindAll("data/*"), (V{"./", "x.bmp", "Ten.txt", "big.dat", "Sub/"}));
  EXPECT_EQ(FindAll("data/sub/*"), (V{"./", "../", "y.txt", "z.bmp"}));
  EXPECT_EQ(FindAll("data/*.BMP"), (V{"x.bmp"}));
  EXPECT_EQ(FindAll("data/sub/?.txt"), (V{"y.txt"}));
  EXPECT_EQ(FindAll("data/*.none"), V{});
  EXPECT_EQ(FindAll("data/nosuch/*"), V{});
  EXPECT_EQ(FindAll("loose/*.txt"), (V{"free.txt"}));
  FindData data{};
  const FindHandle find = VfsFindFirst("data/sub/y.txt", &data);
  ASSERT_NE(find, -1);
  EXPECT_EQ(data.sizeLow, 3);
  EXPECT_GE(data.lastWriteTime.year, 2014);
  VfsFindClose(find);
  EXPECT_EQ(GetArchiveSlot(0)->referenceCount, 0);  // finds give their references back
}

TEST_F(Archives, The513thOpenFailsWithItsLogLine) {
  GetCurrentDirectoryA(sizeof StartDirectory, StartDirectory);
  StartLogFile();
  std::vector<FileHandle> open;
  for (int i = 0; i < kVfsFileCount; ++i) {
    const FileHandle f = VfsOpen(i % 2 ? "data/x.bmp" : "loose/free.txt", 0, 1, 0);
    ASSERT_NE(f, 0u) << i;
    open.push_back(f);
  }
  EXPECT_EQ(VfsOpen("data/x.bmp", 0, 1, 0), 0u);
  std::ifstream log("Log.txt", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
  EXPECT_NE(text.find("同時に開けるファイルの数が限界を超えました"), std::string::npos) << text.size();
  VfsClose(open[7]);
  EXPECT_NE(VfsOpen("data/x.bmp", 0, 1, 0), 0u);  // the freed slot is taken again
  StartDirectory[0] = 0;
}

TEST_F(Archives, TheImageOfAnArchiveStillLoadingIsHandedOutOnlyOnceLoaded) {
  for (int round = 0; round < 3; ++round) {
    Archive a{};
    ASSERT_EQ(OpenArchiveInMemory(&a, "data.QLA", nullptr, 1), 0);
    uint32_t offset = 0, size = 0;
    ASSERT_EQ(FindArchiveEntryData(&a, "sub\\y.txt", &offset, &size), 0);
    const uint8_t* image = GetArchiveImage(&a);  // no wait by the caller
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(a.loadPending, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image) + offset, size), "why");
    ReleaseArchive(&a);
  }
}

TEST_F(Archives, ArchivesOpenInMemoryAndASecondReaderSharesTheFile) {
  Archive a{};
  ASSERT_EQ(OpenArchiveInMemory(&a, "data.QLA", nullptr, 1), 0);
  WaitArchiveLoad(&a);
  uint32_t offset = 0, size = 0;
  ASSERT_EQ(FindArchiveEntryData(&a, "sub\\y.txt", &offset, &size), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(GetArchiveImage(&a)) + offset, size), "why");
  // While the archive is open on disk, another reader opens the same file.
  ASSERT_GE(OpenArchiveCached(-1, "data.QLA", 0, 0), 0);
  const FileHandle second = OpenWin32File("data.QLA", 1, 1, 0);
  EXPECT_NE(second, 0u);
  if (second) CloseWin32File(second);
  ReleaseArchive(&a);
  GetArchiveSlot(0)->referenceCount--;

  // Damaged archives on disk are refused and the path reads as if no archive were there.
  std::vector<uint8_t> bytes = quelt_tools::WriteArchive(DirNode("", {FileNode("a.txt", Bytes("a"))}), {});
  bytes.resize(bytes.size() - 5);
  WriteBytes("broken.QLA", bytes);
  WriteBytes("broken/a.txt", Bytes("disk"));
  EXPECT_EQ(OpenArchiveOnDisk(&a, "broken.QLA", nullptr), -1);
  EXPECT_EQ(ReadPath("broken/a.txt"), Bytes("disk"));
}

TEST_F(Archives, RandomTreesRoundTripThroughTheEngineFileFunctions) {
  std::mt19937 rng(77);
  for (int round = 0; round < 12; ++round) {
    const PackEntry tree = RandomTree(rng, 3);
    const auto version = static_cast<uint16_t>(round % 4);
    const bool second = (round / 4) % 2 == 1;
    const std::string keyString = round >= 8 ? "key" + std::to_string(round) : "";
    const std::string name = "rt" + std::to_string(round);
    Pack(name + ".QLA", tree, version, keyString, second ? quelt_tools::PackKey::Second : quelt_tools::PackKey::Primary);
    ArchiveConfig = {};
    if (!keyString.empty()) {
      ArchiveConfig.useKeyString = 1;
      std::strcpy(ArchiveConfig.keyString, keyString.c_str());
    }
    ForEachFile(tree, name + "\\", [&](const std::string& path, const PackEntry& e) {
      const FileHandle f = FileAccessOpen(path.c_str(), 0, 1, 0);
      ASSERT_NE(f, 0u) << path;
      EXPECT_EQ(ReadAll(f), e.data) << path << " v" << version;
      FileAccessClose(f);
    });
  }
}

}  // namespace
