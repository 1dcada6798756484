// Scrambling, name keys, the LZ decoder, path text and memory streams.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "file/archive_format.h"
#include "file/file_access.h"
#include "file/lz_decode.h"
#include "file/path_names.h"
#include "file/pack_trees.h"
#include "tools/qla_writer/lz_encode.h"

namespace {

using namespace quelt;

std::vector<uint8_t> Block(uint32_t decoded, uint8_t escape, std::vector<uint8_t> code) {
  std::vector<uint8_t> out(9);
  const uint32_t coded = static_cast<uint32_t>(code.size() + 9);
  std::memcpy(out.data(), &decoded, 4);
  std::memcpy(out.data() + 4, &coded, 4);
  out[8] = escape;
  out.insert(out.end(), code.begin(), code.end());
  return out;
}

std::string Decode(const std::vector<uint8_t>& block, uint32_t capacity = 1 << 16) {
  std::vector<uint8_t> out(capacity);
  const int32_t n = DecodeLzBlock(block.data(), static_cast<uint32_t>(block.size()), out.data(), capacity);
  if (n < 0) return "<fail>";
  return std::string(out.begin(), out.begin() + n);
}

TEST(ArchiveKey, ScramblingIsItsOwnInverseAtAnyPosition) {
  const ArchiveKey key = MakeArchiveKey("secret");
  std::vector<uint8_t> data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> copy = data;
  // Scrambling in two pieces at their absolute positions equals one pass.
  ScrambleArchiveBytes(37, copy.data(), 0, key.data());
  EXPECT_EQ(ScrambleArchiveBytes(963, copy.data() + 37, 37, key.data()), 1000 % 12);
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(copy[i], data[i] ^ key[i % 12]) << i;
  ScrambleArchiveBytes(1000, copy.data(), 0, key.data());
  EXPECT_EQ(copy, data);
}

TEST(ArchiveKey, KeyStringsRepeatAndFillDiffersFromSecondKey) {
  EXPECT_EQ(MakeArchiveKey("abcabcabcabc"), MakeArchiveKey("abc"));
  EXPECT_EQ(MakeArchiveKey("abcdefghijklXYZ"), MakeArchiveKey("abcdefghijkl"));
  EXPECT_EQ(MakeArchiveKey(""), MakeArchiveKey(nullptr));
  EXPECT_NE(MakeArchiveKey(nullptr), SecondArchiveKey());
  const ArchiveKey k = MakeArchiveKey("aaaaaaaaaaaa");
  // Each byte is changed its own way.
  int distinct = 0;
  for (int i = 1; i < 12; ++i) distinct += k[i] != k[0];
  EXPECT_GE(distinct, 9);
}

TEST(ArchiveNameKey, PadsUpperCasesAndKeepsShiftJisPairs) {
  ArchiveNameKey key;
  int32_t length = -1;
  ASSERT_EQ(MakeArchiveNameKey(&length, "abcd", &key), 0);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(key.units, 2);  // four name bytes and four zero bytes
  EXPECT_EQ(0, std::memcmp(key.name, "ABCD\0\0\0\0", 8));
  EXPECT_EQ(key.parity, 'A' + 'B' + 'C' + 'D');

  ASSERT_EQ(MakeArchiveNameKey(&length, "x.b/rest", &key), 0);
  EXPECT_EQ(length, 3);
  EXPECT_EQ(key.units, 1);
  EXPECT_EQ(0, std::memcmp(key.name, "X.B\0", 4));

  // 0x83 0x5C is one character: its second byte is no separator, 0x83 0x61 stays lower.
  const char sjis[] = {'\x83', '\x5C', '\x83', 'a', 'b', 0};
  ASSERT_EQ(MakeArchiveNameKey(&length, sjis, &key), 0);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(0, std::memcmp(key.name, "\x83\x5C\x83" "aB\0\0\0", 8));

  const std::string tooLong(1100, 'n');
  EXPECT_EQ(MakeArchiveNameKey(&length, tooLong.c_str(), &key), -1);
}

TEST(LzDecoder, LiteralsEscapesAndOverlappingMatches) {
  // A, then a match of length 10 at distance 1: D = (6 << 3) | 0, distance field 0.
  EXPECT_EQ(Decode(Block(11, 0xF0, {'A', 0xF0, 48, 0})), std::string(11, 'A'));
  // E E is a literal E; a code byte above E is read as one less.
  EXPECT_EQ(Decode(Block(2, 'E', {'E', 'E', 'x'})), "Ex");
  // D = 0x28 (length 9, one-byte distance) sits above an escape of 0x20: coded as 0x29.
  EXPECT_EQ(Decode(Block(12, 0x20, {'a', 'b', 'c', 0x20, 0x29, 2})), "abcabcabcabc");
  // Two- and three-byte distance fields.
  std::vector<uint8_t> code = {'q', 'r', 's', 't'};
  code.insert(code.end(), 300, 'z');
  code.insert(code.end(), {0x01, 0x02, 0x2F, 0x01});  // D=1: length 4, distance 0x12F+1 = 304
  std::string expect = "qrst" + std::string(300, 'z') + "qrst";
  EXPECT_EQ(Decode(Block(308, 0x01, code)), expect);
  EXPECT_EQ(Decode(Block(8, 0x01, {'q', 'r', 's', 't', 0x01, 0x03, 3, 0, 0})), "qrstqrst");
  // A long length takes the extra byte: D = 4 | (0 << 3), N = 2: length 4 + 64.
  EXPECT_EQ(Decode(Block(69, 0xFF, {'k', 0xFF, 4, 2, 0})), std::string(69, 'k'));
}

TEST(LzDecoder, RefusesHostileBlocks) {
  EXPECT_EQ(Decode(Block(4, 0xFF, {0xFF, 0, 0})), "<fail>");                 // distance before the start
  EXPECT_EQ(Decode(Block(11, 0xFF, {'A', 0xFF, 3, 0})), "<fail>");           // distance code 3
  EXPECT_EQ(Decode(Block(11, 0xFF, {'A', 0xFF, 48})), "<fail>");             // ends inside a match
  EXPECT_EQ(Decode(Block(2, 0xFF, {'A', 0xFF})), "<fail>");                  // ends after an escape
  EXPECT_EQ(Decode(Block(5, 0xFF, {'A', 0xFF, 48, 0})), "<fail>");           // overruns the decoded size
  EXPECT_EQ(Decode(Block(3, 0xFF, {'A', 'B'})), "<fail>");                   // ends short of its size
  EXPECT_EQ(Decode(Block(2, 0xFF, {'A', 'B'}), 1), "<fail>");                // larger than the room given
  std::vector<uint8_t> lying = Block(2, 0xFF, {'A', 'B'});
  lying[4] = 200;                                                            // coded size beyond the block
  EXPECT_EQ(Decode(lying), "<fail>");
  EXPECT_EQ(DecodeLzBlock(lying.data(), 5, nullptr, 0), -1);                 // shorter than a header
  EXPECT_EQ(DecodeLzBlock(Block(77, 0, {}).data(), 9, nullptr, 0), 77);      // size query only
}

TEST(LzEncoder, RoundTripsAndChoosesTheRarestEscape) {
  std::mt19937 rng(5);
  std::vector<std::vector<uint8_t>> samples = {{}, {1}, std::vector<uint8_t>(100000, 0)};
  std::vector<uint8_t> all;
  for (int i = 0; i < 256 * 4; ++i) all.push_back(static_cast<uint8_t>(i));
  samples.push_back(all);  // every byte used: escapes must be doubled
  samples.push_back(quelt_test::GameLikeBytes(rng, 300000));
  std::vector<uint8_t> far = quelt_test::GameLikeBytes(rng, 70000);
  std::vector<uint8_t> noise(70000);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  far.insert(far.end(), noise.begin(), noise.end());
  far.insert(far.end(), far.begin(), far.begin() + 5000);  // a match beyond 65536 bytes back
  samples.push_back(far);
  for (const auto& data : samples) {
    const std::vector<uint8_t> block = quelt_tools::EncodeLzBlock(data.data(), data.size());
    std::vector<uint8_t> out(data.size() + 1);
    ASSERT_EQ(DecodeLzBlock(block.data(), static_cast<uint32_t>(block.size()), out.data(), static_cast<uint32_t>(data.size())),
              static_cast<int32_t>(data.size()));
    out.resize(data.size());
    EXPECT_EQ(out, data);
  }
  const std::vector<uint8_t> zeros(100000, 0);
  EXPECT_LT(quelt_tools::EncodeLzBlock(zeros.data(), zeros.size()).size(), 200u);
  std::vector<uint8_t> mostly(1000, 'a');
  mostly[10] = 0;
  EXPECT_EQ(quelt_tools::ChooseLzEscape(mostly.data(), mostly.size()), 1);
}

TEST(Wildcard, MatchesWithoutBacktracking) {
  EXPECT_EQ(MatchWildcard("*.TXT", "README.TXT"), 0);
  EXPECT_EQ(MatchWildcard("*", ""), 0);
  EXPECT_EQ(MatchWildcard("A?C", "ABC"), 0);
  EXPECT_EQ(MatchWildcard("A?C", "AC"), -1);
  EXPECT_EQ(MatchWildcard("*A.TXT", "BAXA.TXT"), -1);  // the first A is taken
  EXPECT_EQ(MatchWildcard("ABC", "ABCD"), -1);
  EXPECT_EQ(MatchWildcard("ABCD", "ABC"), -1);
  EXPECT_EQ(MatchWildcard("abc", "ABC"), -1);  // case-sensitive
  EXPECT_EQ(MatchWildcard("**.B", "A.B"), 0);
  EXPECT_EQ(MatchWildcard("\x83?", "\x83?"), 0);
  EXPECT_EQ(MatchWildcard("\x83?", "\x83X"), -1);  // a pair compares whole: ? is its second byte
}

TEST(PathNames, SplitsAtTheLastSeparatorShiftJisAware) {
  char name[260], dir[260];
  ASSERT_EQ(SplitPathAtLastSeparator(name, dir, "A\\B/C.TXT"), 0);
  EXPECT_STREQ(dir, "A\\B/");
  EXPECT_STREQ(name, "C.TXT");
  ASSERT_EQ(SplitPathAtLastSeparator(name, dir, "X\\\x83\x5C.BMP"), 0);
  EXPECT_STREQ(dir, "X\\");
  EXPECT_STREQ(name, "\x83\x5C.BMP");
  ASSERT_EQ(SplitPathAtLastSeparator(name, nullptr, "*.*"), 0);
  EXPECT_STREQ(name, "*.*");
  const std::string longName(300, 'x');
  EXPECT_EQ(SplitPathAtLastSeparator(name, dir, longName.c_str()), -1);
}

TEST(PathNames, FullPaths) {
  char out[260];
  auto full = [&](const char* path, const char* base) { return MakeFullPath(path, out, base) == 0 ? std::string(out) : "<fail>"; };
  EXPECT_EQ(full("D:\\A\\..\\..\\B", "C:\\X"), "D:\\B");
  EXPECT_EQ(full("\\\\HOST\\SHARE\\X", "C:\\X"), "\\\\HOST\\SHARE\\X");
  EXPECT_EQ(full("A//B", "D:\\E\\"), "D:\\E\\A\\B");
  EXPECT_EQ(full("\\A\\.\\B", "D:\\E"), "D:\\A\\B");
  EXPECT_EQ(full("..\\C", "D:\\E\\F"), "D:\\E\\C");
  EXPECT_EQ(full("A\\..", "D:\\E"), "D:\\E\\A\\..");  // the last component stays as written
  EXPECT_EQ(full(nullptr, "D:\\E"), "D:\\E");
  EXPECT_EQ(full("X:/a/b", "D:\\E"), "X:\\a\\b");
  EXPECT_EQ(MakeFullPathStrict("A//B", out, "D:\\E\\"), -1);
  EXPECT_EQ(MakeFullPathStrict("A/B", out, "D:\\E\\"), 0);
  EXPECT_STREQ(out, "D:\\E\\A\\B");
  // A Shift-JIS second byte 0x5C ends no component.
  EXPECT_EQ(full("\x83\x5C\\Y", "D:"), "D:\\\x83\x5C\\Y");
  const std::string deep(258, 'd');
  EXPECT_EQ(full(deep.c_str(), "D:\\E\\F"), "<fail>");  // does not fit 260 bytes
  EXPECT_EQ(full("B", deep.c_str()), "<fail>");
  ASSERT_EQ(MakeUpperFullPathFrom("/data/x.bmp", "Z:\\WORK", out), 0);
  EXPECT_STREQ(out, "Z:\\DATA\\X.BMP");
  ASSERT_EQ(MakeUpperFullPathFrom("d:sub\\\x83\x61.txt", "Z:\\WORK", out), 0);
  EXPECT_STREQ(out, "D:\\SUB\\\x83\x61.TXT");
}

TEST(MemoryStream, ReadsWholeItemsAndClampsSeeks) {
  const char data[] = "0123456789";
  MemoryStream* s = OpenMemoryStream(data, 10);
  ASSERT_NE(s, nullptr);
  const StreamOps& ops = *GetMemoryStreamOps();
  const auto h = reinterpret_cast<StreamHandle>(s);
  char buf[16] = {};
  ops.seek(h, 4, 0);
  EXPECT_EQ(ops.read(buf, 4, 3, h), 1);  // 6 bytes left: one whole item
  EXPECT_EQ(std::string(buf, 4), "4567");
  EXPECT_EQ(ops.read(buf, 4, 1, h), 1);  // 2 bytes left: copied, counted as one item
  EXPECT_EQ(std::string(buf, 2), "89");
  EXPECT_EQ(ops.tell(h), 10);
  EXPECT_EQ(ops.eof(h), 0);
  EXPECT_EQ(ops.read(buf, 1, 1, h), 0);
  EXPECT_EQ(ops.eof(h), 1);
  ops.seek(h, -5, 0);
  EXPECT_EQ(ops.tell(h), 0);
  EXPECT_EQ(ops.eof(h), 0);
  ops.seek(h, 10, 2);
  EXPECT_EQ(ops.tell(h), 10);
  ops.seek(h, -3, 1);
  EXPECT_EQ(ops.tell(h), 7);
  EXPECT_EQ(ops.idle(h), 1);
  EXPECT_EQ(ops.close(h), 0);
}

// A table installed by the caller is what file streams use, call by call.
int32_t FakeTell(FileHandle f) { return static_cast<int32_t>(f) * 10; }

TEST(FileAccessTable, FileStreamsForwardToTheTableInForce) {
  const FileAccessTable saved = FileAccess;
  FileAccessTable table = {};
  table.tell = FakeTell;
  SetFileAccessTable(&table);
  EXPECT_EQ(GetFileStreamOps()->tell(7), 70);
  EXPECT_EQ(FileAccessTell(3), 30);
  SetFileAccessTable(&saved);
}

}  // namespace
