#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/engine_state.h"
#include "core/list.h"
#include "core/random.h"
#include "core/ring_buffer.h"
#include "core/tracked_alloc.h"

namespace {

std::string ReadString(quelt::RingBuffer* ring, int32_t length, int32_t peek) {
  std::string out(static_cast<size_t>(length), '?');
  EXPECT_EQ(quelt::ReadRingBytes(ring, length, out.data(), peek), 0);
  return out;
}

TEST(RingBufferTest, GrowsByTheNeedPlus1000KeepingTheStoredBytesFirst) {
  quelt::RingBuffer ring{};
  ASSERT_EQ(quelt::ReserveRingBuffer(&ring, 0), 0);
  EXPECT_EQ(ring.buffer, nullptr);
  // Build a ring of capacity 10 holding 8 bytes that wrap past its end.
  ring.buffer = static_cast<uint8_t*>(quelt::TrackedAlloc(10, __FILE__, __LINE__));
  ring.capacity = 10;
  std::memcpy(ring.buffer, "89..234567", 10);  // stored: "23456789" from index 4
  ring.readPosition = 4;
  ring.writePosition = 2;
  ring.dataLength = 8;

  ASSERT_EQ(quelt::AppendRingBytes(&ring, "abcde", 5), 0);
  EXPECT_EQ(ring.capacity, 1013);
  EXPECT_EQ(ring.readPosition, 0);
  EXPECT_EQ(ring.writePosition, 13);
  EXPECT_EQ(ring.dataLength, 13);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ring.buffer), 13), "23456789abcde");
  EXPECT_EQ(quelt::FreeRingBuffer(&ring), 0);
  EXPECT_EQ(ring.buffer, nullptr);
  EXPECT_EQ(ring.capacity, 0);
}

TEST(RingBufferTest, PeekThenReadAcrossTheEnd) {
  quelt::RingBuffer ring{};
  std::string filler(1000, 'f');
  ASSERT_EQ(quelt::AppendRingBytes(&ring, filler.data(), 1000), 0);
  ASSERT_EQ(ring.capacity, 2000);
  ASSERT_EQ(quelt::ReadRingBytes(&ring, 1000, filler.data(), 0), 0);
  // Now write 1500 bytes from position 1000: they wrap to the start.
  std::string data;
  for (int i = 0; i < 1500; ++i) data += static_cast<char>('a' + i % 26);
  ASSERT_EQ(quelt::AppendRingBytes(&ring, data.data(), 1500), 0);
  EXPECT_EQ(ring.capacity, 2000);
  EXPECT_EQ(ring.writePosition, 500);
  EXPECT_EQ(ReadString(&ring, 1500, 1), data);
  EXPECT_EQ(ReadString(&ring, 1500, 1), data);  // peeking twice gives the same bytes
  EXPECT_EQ(ring.dataLength, 1500);
  EXPECT_EQ(ReadString(&ring, 1200, 0), data.substr(0, 1200));
  EXPECT_EQ(ring.dataLength, 300);
  EXPECT_EQ(ReadString(&ring, 300, 0), data.substr(1200));
  char byte;
  EXPECT_EQ(quelt::ReadRingBytes(&ring, 1, &byte, 1), -1);  // empty
  quelt::FreeRingBuffer(&ring);
}

TEST(RingBufferTest, PositionsAtTheCapacityWrapToZero) {
  quelt::RingBuffer ring{};
  ASSERT_EQ(quelt::ReserveRingBuffer(&ring, 10), 0);
  ASSERT_EQ(ring.capacity, 1010);
  std::string block(1010, 'x');
  ASSERT_EQ(quelt::AppendRingBytes(&ring, block.data(), 1010), 0);
  EXPECT_EQ(ring.writePosition, 0);  // advanced modulo the capacity
  ring.writePosition = ring.capacity;  // the lazily wrapped form
  ASSERT_EQ(quelt::ReadRingBytes(&ring, 1010, block.data(), 0), 0);
  EXPECT_EQ(ring.writePosition, 0);
  EXPECT_EQ(ring.readPosition, 0);
  quelt::WrapRingPositions(&ring);
  quelt::FreeRingBuffer(&ring);
}

TEST(RingBufferTest, NegativeAndOverflowingLengthsAreRefusedAndKeepTheData) {
  quelt::RingBuffer ring{};
  ASSERT_EQ(quelt::AppendRingBytes(&ring, "keep", 4), 0);
  const quelt::RingBuffer before = ring;
  char out[8];
  EXPECT_EQ(quelt::ReserveRingBuffer(&ring, -1), -1);
  EXPECT_EQ(quelt::ReserveRingBuffer(&ring, INT32_MAX), -1);
  EXPECT_EQ(quelt::ReserveRingBuffer(&ring, INT32_MAX - 1000), -1);
  EXPECT_EQ(quelt::AppendRingBytes(&ring, "x", -1), -1);
  EXPECT_EQ(quelt::AppendRingBytes(&ring, "x", INT32_MAX), -1);
  EXPECT_EQ(quelt::ReadRingBytes(&ring, -1, out, 0), -1);
  EXPECT_EQ(quelt::ReadRingBytes(&ring, INT32_MIN, out, 0), -1);
  EXPECT_EQ(std::memcmp(&ring, &before, sizeof ring), 0);
  EXPECT_EQ(ReadString(&ring, 4, 0), "keep");
  EXPECT_EQ(quelt::AppendRingBytes(&ring, nullptr, 0), 0);
  quelt::FreeRingBuffer(&ring);
}

TEST(RingBufferTest, AGrowthThatCannotBeAllocatedKeepsTheStoredBytes) {
  // Two gigabytes less a little fit the size arithmetic but no 32-bit address space.
  if (sizeof(void*) != 4) GTEST_SKIP() << "only a 32-bit process runs out of address space here";
  quelt::RingBuffer ring{};
  ASSERT_EQ(quelt::AppendRingBytes(&ring, "queued", 6), 0);
  const quelt::RingBuffer before = ring;
  char source[1] = {};
  EXPECT_EQ(quelt::AppendRingBytes(&ring, source, 0x7FFF0000), -1);
  EXPECT_EQ(std::memcmp(&ring, &before, sizeof ring), 0);
  EXPECT_EQ(ReadString(&ring, 6, 0), "queued");
  quelt::FreeRingBuffer(&ring);
}

TEST(ListTest, InsertAndUnlink) {
  quelt::ListNode head, tail, a, b, c;
  EXPECT_EQ(quelt::InitList(&head, &tail), 0);
  EXPECT_EQ(head.next, &tail);
  EXPECT_EQ(tail.prev, &head);
  EXPECT_EQ(head.prev, nullptr);
  EXPECT_EQ(tail.next, nullptr);
  EXPECT_EQ(head.value, -1);
  EXPECT_EQ(tail.data, nullptr);
  int payload = 5;
  quelt::InsertListNodeAfter(&head, &a, 1, &payload);
  quelt::InsertListNodeAfter(&a, &c, 3, nullptr);
  quelt::InsertListNodeAfter(&a, &b, 2, nullptr);
  std::vector<int32_t> values;
  for (quelt::ListNode* n = head.next; n != &tail; n = n->next) values.push_back(n->value);
  EXPECT_EQ(values, (std::vector<int32_t>{1, 2, 3}));
  for (quelt::ListNode* n = tail.prev; n != &head; n = n->prev) values.push_back(n->value);
  EXPECT_EQ(values, (std::vector<int32_t>{1, 2, 3, 3, 2, 1}));
  EXPECT_EQ(a.data, &payload);

  EXPECT_EQ(quelt::UnlinkListNode(&b), 0);
  EXPECT_EQ(a.next, &c);
  EXPECT_EQ(c.prev, &a);
  EXPECT_EQ(b.prev, &a);  // the node's own links stay
  EXPECT_EQ(b.next, &c);
  EXPECT_EQ(quelt::UnlinkListNode(nullptr), -1);
  EXPECT_EQ(quelt::InsertListNodeAfter(nullptr, &b, 0, nullptr), -1);
}

// MT19937 written out from the published algorithm, with the engine's seeding rule.
std::array<uint32_t, 624> ReferenceOutputs(uint32_t seed) {
  std::array<uint32_t, 624> mt{};
  uint32_t x = seed;
  for (int i = 0; i < 624; ++i) {
    uint32_t word = x & 0xFFFF0000u;
    x = 69069u * x + 1u;
    word |= x >> 16;
    x = 69069u * x + 1u;
    mt[i] = word;
  }
  for (int i = 0; i < 624; ++i) {
    uint32_t y = (mt[i] & 0x80000000u) | (mt[(i + 1) % 624] & 0x7FFFFFFFu);
    mt[i] = mt[(i + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
  }
  std::array<uint32_t, 624> out{};
  for (int i = 0; i < 624; ++i) {
    uint32_t y = mt[i];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    out[i] = y;
  }
  return out;
}

TEST(RandomTest, FirstOutputsMatchTheReferenceWithAndWithoutMmx) {
  for (uint32_t seed : {0u, 1u, 4357u, 0x7FFFFFFFu, 0xDEADBEEFu}) {
    const std::array<uint32_t, 624> expected = ReferenceOutputs(seed);
    quelt::SeedRandom(seed);
    EXPECT_EQ(quelt::RandomGenerator.seeded, 1);
    EXPECT_EQ(quelt::RandomGenerator.mmx, quelt::CpuHasMmx());
    EXPECT_EQ(quelt::RandomGenerator.output, expected) << seed;

    // The two-at-a-time form and the plain form give the same words.
    quelt::SeedRandom(seed);
    quelt::RefillRandomMmx();
    const auto pairwise = quelt::RandomGenerator.output;
    quelt::SeedRandom(seed);
    const int32_t savedFlag = quelt::RandomGenerator.mmx;
    quelt::RandomGenerator.mmx = 0;
    quelt::RefillRandom();
    EXPECT_EQ(quelt::RandomGenerator.output, pairwise) << seed;
    quelt::RandomGenerator.mmx = savedFlag;
    EXPECT_EQ(quelt::RandomGenerator.state, [&] {
      quelt::SeedRandom(seed);
      quelt::RefillRandomMmx();
      return quelt::RandomGenerator.state;
    }()) << seed;
  }
}

TEST(RandomTest, ReaderWalksTheTableAndRefillsAfter624) {
  quelt::SeedRandom(99);
  const auto first = quelt::RandomGenerator.output;
  for (int i = 0; i < 624; ++i) ASSERT_EQ(quelt::ReadRandomWord(), first[i]);
  const uint32_t next = quelt::ReadRandomWord();
  EXPECT_EQ(quelt::RandomGenerator.outputIndex, 1);
  EXPECT_EQ(next, quelt::RandomGenerator.output[0]);
  EXPECT_NE(quelt::RandomGenerator.output, first);
}

TEST(ClockTest, ClocksAdvanceAndDatesAreSane) {
  const int32_t ms = quelt::ReadMillisecondClock();
  EXPECT_GE(ms, 0);
  quelt::PerformanceCounterFlag = 0;
  const int64_t fromTimer = quelt::ReadMicrosecondClock(0);
  EXPECT_EQ(fromTimer % 1000, 0);
  quelt::PerformanceCounterFlag = 1;
  quelt::PerformanceCounterFrequency = 0;
  EXPECT_EQ(quelt::ReadMicrosecondClock(0) % 1000, 0);  // no frequency: the timer again
  quelt::DateRecord date{};
  EXPECT_EQ(quelt::ReadLocalDateTime(&date), 0);
  EXPECT_GE(date.year, 2020);
  EXPECT_TRUE(date.month >= 1 && date.month <= 12);
  EXPECT_TRUE(date.day >= 1 && date.day <= 31);
  EXPECT_TRUE(date.hour >= 0 && date.hour <= 23);
  EXPECT_TRUE(date.second >= 0 && date.second <= 60);
  quelt::PerformanceCounterFlag = 0;
}

}  // namespace
