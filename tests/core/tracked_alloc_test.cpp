#include "core/tracked_alloc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/log.h"
#include "tests/core/log_test_support.h"

namespace {

using quelt::TrackedAllocator;
using quelt::TrackedBlockHeader;
using quelt::TrackedHeaderOf;

std::string Hex8(const void* address) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(address)));
  return text;
}

// The live blocks from the newest, by walking the list.
std::vector<TrackedBlockHeader*> LiveBlocks() {
  std::vector<TrackedBlockHeader*> blocks;
  for (TrackedBlockHeader* h = TrackedAllocator.head; h && h != &quelt::TrackedListEnd; h = h->next) {
    blocks.push_back(h);
  }
  return blocks;
}

// Every link agrees with its neighbour and the sentinel closes the list.
void ExpectListConsistent() {
  std::vector<TrackedBlockHeader*> blocks = LiveBlocks();
  ASSERT_EQ(static_cast<int32_t>(blocks.size()), TrackedAllocator.blockCount);
  TrackedBlockHeader* newer = nullptr;
  for (TrackedBlockHeader* h : blocks) {
    EXPECT_EQ(h->prev, newer);
    newer = h;
  }
  EXPECT_EQ(quelt::TrackedListEnd.prev, newer);
  EXPECT_EQ(quelt::CheckTrackedBlocks(), 0);
}

class TrackedAllocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    quelt_test::StartFreshLog();
    bytesBefore = TrackedAllocator.totalBytes;
    countBefore = TrackedAllocator.blockCount;
  }
  void TearDown() override {
    EXPECT_EQ(TrackedAllocator.totalBytes, bytesBefore);
    EXPECT_EQ(TrackedAllocator.blockCount, countBefore);
    TrackedAllocator.traceAll = 0;
    TrackedAllocator.totals = 0;
    TrackedAllocator.check = 0;
    TrackedAllocator.sizeFilter = 0;
  }
  int32_t bytesBefore = 0;
  int32_t countBefore = 0;
};

TEST_F(TrackedAllocTest, HeaderRecordsNameLineIdAndSize) {
  const uint16_t firstId = TrackedAllocator.nextId;
  void* a = quelt::TrackedAlloc(10, "abcdefghijklmnopqrst.cpp", 123);  // 24 characters
  void* b = quelt::TrackedAlloc(0, "short.cpp", -1);
  void* c = quelt::TrackedAlloc(1, nullptr, 5);
  ASSERT_TRUE(a && b && c);
  EXPECT_STREQ(TrackedHeaderOf(a)->name, "jklmnopqrst.cpp");
  EXPECT_EQ(TrackedHeaderOf(a)->line, 123);
  EXPECT_EQ(TrackedHeaderOf(a)->size, 10);
  EXPECT_EQ(TrackedHeaderOf(a)->id, firstId);
  EXPECT_STREQ(TrackedHeaderOf(b)->name, "short.cpp");
  EXPECT_EQ(TrackedHeaderOf(b)->line, 65535);
  EXPECT_EQ(TrackedHeaderOf(b)->id, static_cast<uint16_t>(firstId + 1));
  EXPECT_STREQ(TrackedHeaderOf(c)->name, "");
  if (sizeof(void*) == 4) {
    EXPECT_EQ(reinterpret_cast<char*>(a) - reinterpret_cast<char*>(TrackedHeaderOf(a)), 64);
  }
  EXPECT_EQ(TrackedAllocator.totalBytes, bytesBefore + 11);
  EXPECT_EQ(TrackedAllocator.blockCount, countBefore + 3);
  EXPECT_EQ(LiveBlocks().front(), TrackedHeaderOf(c));
  ExpectListConsistent();
  // Freeing from the middle, the newest and the oldest keeps the list whole.
  EXPECT_NE(quelt::TrackedFree(b), 0);
  ExpectListConsistent();
  EXPECT_NE(quelt::TrackedFree(c), 0);
  ExpectListConsistent();
  EXPECT_NE(quelt::TrackedFree(a), 0);
  ExpectListConsistent();
}

TEST_F(TrackedAllocTest, FifteenCharacterNamesAreKeptWhole) {
  void* a = quelt::TrackedAlloc(1, "abcdefghijk.cpp", 1);
  EXPECT_STREQ(TrackedHeaderOf(a)->name, "abcdefghijk.cpp");
  quelt::TrackedFree(a);
}

TEST_F(TrackedAllocTest, IdCounterWrapsAt16Bits) {
  TrackedAllocator.nextId = 65535;
  void* a = quelt::TrackedAlloc(1, nullptr, -1);
  void* b = quelt::TrackedAlloc(1, nullptr, -1);
  EXPECT_EQ(TrackedHeaderOf(a)->id, 65535);
  EXPECT_EQ(TrackedHeaderOf(b)->id, 0);
  quelt::TrackedFree(a);
  quelt::TrackedFree(b);
}

TEST_F(TrackedAllocTest, RefusedSizesReturnNullAndChangeNothing) {
  EXPECT_EQ(quelt::TrackedAlloc(-1, "x.cpp", 1), nullptr);
  EXPECT_EQ(quelt::TrackedAlloc(INT32_MIN, "x.cpp", 1), nullptr);
  EXPECT_EQ(quelt::TrackedAlloc(INT32_MAX, "x.cpp", 1), nullptr);
  EXPECT_EQ(quelt::TrackedAlloc(INT32_MAX - 63, "x.cpp", 1), nullptr);
  EXPECT_EQ(quelt::TrackedCalloc(-5, "x.cpp", 1), nullptr);
  void* block = quelt::TrackedAlloc(4, "x.cpp", 1);
  std::memcpy(block, "abcd", 4);
  EXPECT_EQ(quelt::TrackedRealloc(block, -1, "x.cpp", 2), nullptr);
  EXPECT_EQ(quelt::TrackedRealloc(block, INT32_MAX, "x.cpp", 2), nullptr);
  EXPECT_EQ(std::memcmp(block, "abcd", 4), 0);  // the old block stays valid
  EXPECT_EQ(TrackedHeaderOf(block)->line, 1);
  quelt::TrackedFree(block);
  EXPECT_EQ(quelt::TrackedFree(nullptr), 0);
}

TEST_F(TrackedAllocTest, CallocZeroFills) {
  std::vector<void*> blocks;
  for (int i = 0; i < 8; ++i) {
    void* dirty = quelt::TrackedAlloc(256, nullptr, -1);
    std::memset(dirty, 0xAB, 256);
    quelt::TrackedFree(dirty);
    auto* clean = static_cast<unsigned char*>(quelt::TrackedCalloc(256, nullptr, -1));
    for (int j = 0; j < 256; ++j) ASSERT_EQ(clean[j], 0);
    blocks.push_back(clean);
  }
  for (void* b : blocks) quelt::TrackedFree(b);
}

TEST_F(TrackedAllocTest, ReallocKeepsContentsZeroFillsGrowthAndRelinks) {
  void* fresh = quelt::TrackedRealloc(nullptr, 0, "n.cpp", 1);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(TrackedHeaderOf(fresh)->size, 0);
  EXPECT_STREQ(TrackedHeaderOf(fresh)->name, "n.cpp");
  quelt::TrackedFree(fresh);

  void* older = quelt::TrackedAlloc(8, "older.cpp", 1);
  auto* moving = static_cast<unsigned char*>(quelt::TrackedAlloc(16, "moving.cpp", 2));
  void* newer = quelt::TrackedAlloc(8, "newer.cpp", 3);
  for (int i = 0; i < 16; ++i) moving[i] = static_cast<unsigned char>(i + 1);
  const uint16_t idBefore = TrackedHeaderOf(moving)->id;
  const int32_t countMid = TrackedAllocator.blockCount;

  // Growing far enough usually moves the block; the neighbours must follow either way.
  auto* moved = static_cast<unsigned char*>(quelt::TrackedRealloc(moving, 100000, "moved.cpp", 9));
  ASSERT_NE(moved, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(moved[i], i + 1);
  for (int i = 16; i < 100000; ++i) ASSERT_EQ(moved[i], 0) << i;
  EXPECT_STREQ(TrackedHeaderOf(moved)->name, "moved.cpp");
  EXPECT_EQ(TrackedHeaderOf(moved)->line, 9);
  EXPECT_NE(TrackedHeaderOf(moved)->id, idBefore);
  EXPECT_EQ(TrackedAllocator.blockCount, countMid);
  EXPECT_EQ(TrackedAllocator.totalBytes, bytesBefore + 8 + 100000 + 8);
  ExpectListConsistent();

  // The head itself moves too.
  void* head = quelt::TrackedRealloc(newer, 200000, "head.cpp", 4);
  EXPECT_EQ(TrackedAllocator.head, TrackedHeaderOf(head));
  ExpectListConsistent();
  quelt::TrackedFree(moved);
  quelt::TrackedFree(head);
  quelt::TrackedFree(older);
  ExpectListConsistent();
}

TEST_F(TrackedAllocTest, DumpLineFormat) {
  auto* bytes = static_cast<unsigned char*>(quelt::TrackedAlloc(3, "dump.cpp", 77));
  bytes[0] = 'A';
  bytes[1] = 'B';
  bytes[2] = 1;
  void* empty = quelt::TrackedAlloc(0, "empty.cpp", 78);
  auto* wide = static_cast<unsigned char*>(quelt::TrackedAlloc(2048, "wide.cpp", 79));
  for (int i = 0; i < 2048; ++i) wide[i] = static_cast<unsigned char>(0x70 + i);
  quelt_test::StartFreshLog();
  quelt::DumpTrackedBlock(TrackedHeaderOf(bytes));
  quelt::DumpTrackedBlock(TrackedHeaderOf(empty));
  quelt::DumpTrackedBlock(TrackedHeaderOf(wide));
  const std::string id = std::to_string(TrackedHeaderOf(bytes)->id);
  const std::string id0 = std::to_string(TrackedHeaderOf(empty)->id);
  const std::string id2 = std::to_string(TrackedHeaderOf(wide)->id);
  EXPECT_EQ(quelt_test::ReadLog(),
            "T:\tsize:3(0.003kb)  file:dump.cpp  line:77  ID:" + id + "  addr:" + Hex8(bytes) +
                "  data:<AB.> [41 42 01]\r\n"
                "T:\tsize:0(0.000kb)  file:empty.cpp  line:78  ID:" + id0 + "  addr:" + Hex8(empty) +
                "  data:<> ]\r\n"
                "T:\tsize:2048(2.000kb)  file:wide.cpp  line:79  ID:" + id2 + "  addr:" + Hex8(wide) +
                "  data:<pqrstuvwxyz{|}~\x7f> [70 71 72 73 74 75 76 77 78 79 7a 7b 7c 7d 7e 7f]\r\n");
  quelt::TrackedFree(bytes);
  quelt::TrackedFree(empty);
  quelt::TrackedFree(wide);
}

TEST_F(TrackedAllocTest, ABlockLeftLiveAppearsInTheDump) {
  auto* leaked = static_cast<char*>(quelt::TrackedAlloc(5, "/src/game/leaky_module.cpp", 42));
  std::memcpy(leaked, "hi\tyo", 5);
  quelt_test::StartFreshLog();
  quelt::DumpAllTrackedBlocks();
  char totals[128];
  std::snprintf(totals, sizeof totals, "T:\tTotal size:%d(%.3fkb)  Alloc num:%d\r\n", TrackedAllocator.totalBytes,
                TrackedAllocator.totalBytes / 1024.0, TrackedAllocator.blockCount);
  const std::string line = "T:\tsize:5(0.005kb)  file:eaky_module.cpp  line:42  ID:" +
                           std::to_string(TrackedHeaderOf(leaked)->id) + "  addr:" + Hex8(leaked) +
                           "  data:<hi.yo> [68 69 09 79 6f]\r\n";
  const std::string log = quelt_test::ReadLog();
  // The newest block comes first, right after the heading.
  EXPECT_EQ(log.substr(0, std::string("T:\r\nT:Alloc memory dump\r\n").size() + line.size()),
            "T:\r\nT:Alloc memory dump\r\n" + line);
  EXPECT_EQ(log.substr(log.size() - (std::strlen(totals) + 4)), std::string(totals) + "T:\r\n");
  quelt::TrackedFree(leaked);
}

TEST_F(TrackedAllocTest, TraceAndTotalsSwitches) {
  TrackedAllocator.traceAll = 1;
  TrackedAllocator.totals = 1;
  void* block = quelt::TrackedAlloc(0, "trace.cpp", 7);
  const std::string id = std::to_string(TrackedHeaderOf(block)->id);
  const std::string address = Hex8(block);
  const int32_t total = TrackedAllocator.totalBytes;
  const int32_t count = TrackedAllocator.blockCount;
  quelt::TrackedFree(block);
  TrackedAllocator.traceAll = 0;
  TrackedAllocator.totals = 0;
  char totalsAfterAlloc[128];
  char totalsAfterFree[128];
  std::snprintf(totalsAfterAlloc, sizeof totalsAfterAlloc, "T:\tTotal size:%d(%.3fkb)  Alloc num:%d\r\n", total,
                total / 1024.0, count);
  std::snprintf(totalsAfterFree, sizeof totalsAfterFree, "T:\tTotal size:%d(%.3fkb)  Alloc num:%d\r\n", total,
                total / 1024.0, count - 1);
  const std::string dump = "\tsize:0(0.000kb)  file:trace.cpp  line:7  ID:" + id + "  addr:" + address +
                           "  data:<> ]\r\n";
  EXPECT_EQ(quelt_test::ReadLog(), "T:mem alloc  " + dump + totalsAfterAlloc + "T:mem free  " + dump + totalsAfterFree);
}

TEST_F(TrackedAllocTest, SizeFilterTracesMatchingSizesAndNegativeTracesAll) {
  TrackedAllocator.sizeFilter = 3;
  quelt::TrackedFree(quelt::TrackedAlloc(4, "four.cpp", 1));
  quelt::TrackedFree(quelt::TrackedAlloc(3, "three.cpp", 1));
  TrackedAllocator.sizeFilter = -1;
  quelt::TrackedFree(quelt::TrackedAlloc(9, "nine.cpp", 1));
  TrackedAllocator.sizeFilter = 0;
  const std::string log = quelt_test::ReadLog();
  EXPECT_EQ(log.find("four.cpp"), std::string::npos);
  EXPECT_NE(log.find("mem alloc  \tsize:3(0.003kb)  file:three.cpp"), std::string::npos);
  EXPECT_NE(log.find("mem free  \tsize:3(0.003kb)  file:three.cpp"), std::string::npos);
  EXPECT_NE(log.find("mem alloc  \tsize:9(0.009kb)  file:nine.cpp"), std::string::npos);
}

TEST_F(TrackedAllocTest, CheckFindsADamagedHeader) {
  void* block = quelt::TrackedAlloc(4, "damaged.cpp", 3);
  std::memcpy(block, "wxyz", 4);
  TrackedBlockHeader* header = TrackedHeaderOf(block);
  EXPECT_EQ(quelt::CheckTrackedBlocks(), 0);
  // An overrun of the block below would write over this header's fields.
  header->line = 4242;
  quelt_test::StartFreshLog();
  EXPECT_EQ(quelt::CheckTrackedBlocks(), -1);
  EXPECT_EQ(quelt_test::ReadLog(), "T:以下のメモリ確保情報が破損しました\tsize:4(0.004kb)  file:damaged.cpp  line:4242  ID:" +
                                       std::to_string(header->id) + "  addr:" + Hex8(block) +
                                       "  data:<wxyz> [77 78 79 7a]\r\n");
  header->line = 3;
  EXPECT_EQ(quelt::CheckTrackedBlocks(), 0);
  quelt::TrackedFree(block);
}

}  // namespace
