// The archive reader over memory images written by the packer's writer.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "file/archive.h"
#include "file/lz_decode.h"
#include "file/pack_trees.h"

namespace {

using namespace quelt;
using namespace quelt_test;
using quelt_tools::PackKey;
using quelt_tools::PackOptions;
using quelt_tools::WriteArchive;

PackEntry SmallTree() {
  std::vector<uint8_t> big(5000, 'b');
  return DirNode("", {FileNode("Readme.txt", Bytes("hello")),
                      DirNode("Sub", {FileNode("abcd", Bytes("four")), FileNode("Big.bin", big),
                                      DirNode("Deep", {FileNode("x.bmp", Bytes("BM..."))})}),
                      FileNode("\x83\x5C\x83\x67.txt", Bytes("sjis"))});
}

std::vector<uint8_t> Pack(const PackEntry& root, uint16_t version, PackKey key = PackKey::Primary,
                          const std::string& keyString = "", bool compress = true) {
  PackOptions options;
  options.version = version;
  options.key = key;
  options.keyString = keyString;
  options.compress = compress;
  std::string error;
  std::vector<uint8_t> bytes = WriteArchive(root, options, &error);
  EXPECT_FALSE(bytes.empty()) << error;
  return bytes;
}

// The entry's bytes as the engine reads them: stored in place, or decoded.
std::vector<uint8_t> ReadWhole(Archive& a, const std::string& path) {
  const ArchiveFileEntry* entry = FindArchiveEntry(path.c_str(), &a);
  if (!entry) return {'<', 'n', 'o', 'n', 'e', '>'};
  uint32_t offset = 0, size = 0;
  EXPECT_EQ(FindArchiveEntryData(&a, path.c_str(), &offset, &size), 0);
  if (!ArchiveEntryIsCompressed(a, entry)) return {a.image + offset, a.image + offset + size};
  std::vector<uint8_t> out(size);
  EXPECT_EQ(DecodeLzBlock(a.image + offset, entry->codedSize, out.data(), size), static_cast<int32_t>(size));
  return out;
}

class ArchiveImage : public ::testing::Test {
 protected:
  void TearDown() override { ReleaseArchive(&archive); }
  Archive archive{};
};

TEST_F(ArchiveImage, OpensEveryVersionWithItsEntryStride) {
  for (uint16_t version = 0; version <= 3; ++version) {
    std::vector<uint8_t> bytes = Pack(SmallTree(), version);
    ASSERT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr), 0) << version;
    EXPECT_EQ(uint16_t{archive.header.version}, version);
    const ArchiveDirectory* root = ArchiveRootDirectory(archive);
    ASSERT_EQ(uint32_t{root->entryCount}, 3u);
    const auto* second = ArchiveDirectoryEntry(archive, root, 1);
    const auto* first = ArchiveDirectoryEntry(archive, root, 0);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(second) - reinterpret_cast<const uint8_t*>(first), version >= 2 ? 44 : 40);
    EXPECT_EQ(ReadWhole(archive, "sub\\big.bin"), std::vector<uint8_t>(5000, 'b'));
    // Versions 0 and 1 store everything.
    EXPECT_EQ(ArchiveEntryIsCompressed(archive, FindArchiveEntry("SUB\\BIG.BIN", &archive)), version >= 2);
    ReleaseArchive(&archive);
  }
}

TEST_F(ArchiveImage, RefusesOtherVersionsAndForeignBytesLeavingThemUnchanged) {
  std::vector<uint8_t> bytes = Pack(SmallTree(), 3);
  // Version 4: unscramble, bump, scramble back.
  const ArchiveKey key = MakeArchiveKey(nullptr);
  ScrambleArchiveBytes(4, bytes.data(), 0, key.data());
  bytes[2] = 4;
  ScrambleArchiveBytes(4, bytes.data(), 0, key.data());
  const std::vector<uint8_t> given = bytes;
  EXPECT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr), -1);
  EXPECT_EQ(bytes, given);
  EXPECT_FALSE(ArchiveInUse(archive));

  std::vector<uint8_t> text(100, 'z');
  EXPECT_EQ(OpenArchiveImage(&archive, text.data(), 100, nullptr), -1);
  EXPECT_EQ(text, std::vector<uint8_t>(100, 'z'));
  EXPECT_EQ(OpenArchiveImage(&archive, text.data(), 10, nullptr), -1);  // shorter than a header
}

TEST_F(ArchiveImage, EitherKeyOpensAndReleaseGivesTheScrambledBytesBack) {
  struct Case {
    PackKey key;
    std::string written;
    const char* opened;
  } cases[] = {{PackKey::Primary, "", nullptr},
               {PackKey::Second, "", nullptr},
               {PackKey::Primary, "tarnvale", "tarnvale"},
               {PackKey::Second, "", "tarnvale"}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = Pack(SmallTree(), 2, c.key, c.written);
    const std::vector<uint8_t> given = bytes;
    ASSERT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), c.opened), 0);
    EXPECT_EQ(ReadWhole(archive, "readme.txt"), Bytes("hello"));
    EXPECT_EQ(GetArchiveImage(&archive), bytes.data());
    // A second open on a record in use is refused.
    EXPECT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), c.opened), -1);
    ReleaseArchive(&archive);
    EXPECT_EQ(bytes, given);
  }
  // The wrong key string finds no magic.
  std::vector<uint8_t> bytes = Pack(SmallTree(), 2, PackKey::Primary, "tarnvale");
  EXPECT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), "other"), -1);
}

TEST_F(ArchiveImage, LooksUpNamesCaseBlindAndWalksDirectories) {
  std::vector<uint8_t> bytes = Pack(SmallTree(), 3);
  ASSERT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr), 0);
  EXPECT_EQ(ReadWhole(archive, "readme.txt"), Bytes("hello"));
  EXPECT_EQ(ReadWhole(archive, "Sub/Deep\\X.BMP"), Bytes("BM..."));
  EXPECT_EQ(ReadWhole(archive, "sub\\ABCD"), Bytes("four"));
  EXPECT_EQ(ReadWhole(archive, "\x83\x5C\x83\x67.TXT"), Bytes("sjis"));
  EXPECT_EQ(FindArchiveEntry("\x83\x5C\x83\x47.TXT", &archive), nullptr);  // pairs match byte for byte
  EXPECT_EQ(FindArchiveEntry("sub", &archive), nullptr);                   // a directory is no file
  EXPECT_EQ(FindArchiveEntry("sub\\deep", &archive), nullptr);
  EXPECT_EQ(FindArchiveEntry("nothere\\readme.txt", &archive), nullptr);
  // A missing folder on the way is a miss, not the file of that name.
  EXPECT_EQ(FindArchiveEntry("readme.txt\\x", &archive), nullptr);
  EXPECT_EQ(FindArchiveEntry("sub\\abcd\\", &archive), nullptr);

  const ArchiveDirectory* root = archive.currentDirectory;
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "..", 1, nullptr), -1);  // at the root
  EXPECT_EQ(ChangeArchiveDirectory(&archive, ".", 1, nullptr), 0);
  EXPECT_EQ(archive.currentDirectory, root);
  ASSERT_EQ(ChangeArchiveDirectory(&archive, "SUB\\deep\\", 1, nullptr), 0);
  EXPECT_EQ(ReadWhole(archive, "x.bmp"), Bytes("BM..."));  // relative to the current directory
  ASSERT_EQ(ChangeArchiveDirectory(&archive, "..", 1, nullptr), 0);
  EXPECT_EQ(ReadWhole(archive, "abcd"), Bytes("four"));
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "\\", 1, nullptr), 0);
  EXPECT_EQ(archive.currentDirectory, root);

  ArchiveNameKey key{};
  const ArchiveDirectory* sub = nullptr;
  ASSERT_EQ(ChangeArchiveDirectory(&archive, "sub", 1, nullptr), 0);
  sub = archive.currentDirectory;
  ChangeArchiveDirectory(&archive, "\\", 1, nullptr);
  // Restore flag 1 returns to the start; 0 stays where the walk stopped. The key of the
  // component that failed comes back either way.
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "sub\\none\\deep", 1, &key), -1);
  EXPECT_EQ(archive.currentDirectory, root);
  EXPECT_EQ(0, std::memcmp(key.name, "NONE", 4));
  EXPECT_EQ(ChangeArchiveDirectory(&archive, "sub\\none", 0, nullptr), -1);
  EXPECT_EQ(archive.currentDirectory, sub);
  // A lookup leaves the current directory as it was.
  EXPECT_NE(FindArchiveEntry("\\readme.txt", &archive), nullptr);
  EXPECT_EQ(archive.currentDirectory, sub);
  ReleaseArchive(&archive);
}

// Changes one directory record of a packed image in place, scrambled again afterwards.
std::vector<uint8_t> WithDirectoryParent(std::vector<uint8_t> bytes, uint32_t record, uint32_t parent) {
  const ArchiveKey key = MakeArchiveKey(nullptr);
  ScrambleArchiveBytes(static_cast<uint32_t>(bytes.size()), bytes.data(), 0, key.data());
  ArchiveHeader header;
  std::memcpy(&header, bytes.data(), sizeof header);
  const size_t at = size_t{header.tableOffset} + header.directoryTableOffset + record + offsetof(ArchiveDirectory, parentOffset);
  std::memcpy(bytes.data() + at, &parent, sizeof parent);
  ScrambleArchiveBytes(static_cast<uint32_t>(bytes.size()), bytes.data(), 0, key.data());
  return bytes;
}

TEST_F(ArchiveImage, ParentPointersOtherThanTheListingDirectoryAreRefusedAtOpen) {
  const std::vector<uint8_t> good = Pack(SmallTree(), 3);
  {
    std::vector<uint8_t> bytes = good;
    ASSERT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr), 0);
    ReleaseArchive(&archive);
  }
  // Records: the root at 0, Sub at 16, Deep at 32. A parent pointer inside the table but
  // not at the listing directory would let ".." reach a record the open never checked.
  const struct { uint32_t record, parent; } bad[] = {
      {16, 4}, {16, 32}, {32, 0}, {32, 8}, {0, 16}, {0, 0}, {16, 16},
  };
  for (const auto& b : bad) {
    std::vector<uint8_t> bytes = WithDirectoryParent(good, b.record, b.parent);
    const std::vector<uint8_t> before = bytes;
    EXPECT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr), -1)
        << b.record << " -> " << b.parent;
    EXPECT_EQ(bytes, before);
    ReleaseArchive(&archive);
  }
}

TEST_F(ArchiveImage, RandomTreesRoundTripInEveryVersionAndKey) {
  std::mt19937 rng(42);
  for (int round = 0; round < 24; ++round) {
    PackEntry tree = RandomTree(rng, 3);
    const uint16_t version = static_cast<uint16_t>(round % 4);
    const PackKey key = (round / 4) % 2 ? PackKey::Second : PackKey::Primary;
    const std::string keyString = round % 3 == 0 ? "k" + std::to_string(round) : "";
    std::vector<uint8_t> bytes = Pack(tree, version, key, keyString, round % 5 != 0);
    ASSERT_EQ(OpenArchiveImage(&archive, bytes.data(), static_cast<uint32_t>(bytes.size()),
                               keyString.empty() ? nullptr : keyString.c_str()),
              0);
    int files = 0;
    ForEachFile(tree, "", [&](const std::string& path, const PackEntry& e) {
      ++files;
      EXPECT_EQ(ReadWhole(archive, path), e.data) << path << " v" << version;
    });
    ReleaseArchive(&archive);
  }
}

}  // namespace
