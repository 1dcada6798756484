// The framed receive pass over a fake socket: how many reads it makes, where it stops,
// and that the blocks' bytes come out whole and in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/ring_buffer.h"
#include "network/network_state.h"

namespace quelt {
namespace {

constexpr uint32_t BlockSize = 1000;
// The millisecond clock the passes are given: they judge the reader by it alone.
constexpr int32_t Now = 50000;

uint8_t PayloadByte(uint64_t index) { return static_cast<uint8_t>(index * 7 + (index >> 9)); }

// A peer sending blocks of BlockSize bytes, `available` stream bytes of them for now
// (reads beyond answer "would block").
struct FakePeer {
  uint64_t available = UINT64_MAX;
  uint64_t consumed = 0;
  int reads = 0;
  uint8_t StreamByte(uint64_t at) const {
    const uint64_t block = at / (BlockSize + 4);
    const uint64_t offset = at % (BlockSize + 4);
    if (offset < 4) return static_cast<uint8_t>(BlockSize >> (8 * offset));
    return PayloadByte(block * BlockSize + offset - 4);
  }
};
FakePeer Peer;

int ReadPeer(uintptr_t, void* buffer, int32_t length, int32_t peek) {
  ++Peer.reads;
  const uint64_t ready = Peer.available - Peer.consumed;
  if (ready == 0) return -1;
  const int32_t count = ready < static_cast<uint64_t>(length) ? static_cast<int32_t>(ready) : length;
  auto* bytes = static_cast<uint8_t*>(buffer);
  for (int32_t i = 0; i < count; ++i) bytes[i] = Peer.StreamByte(Peer.consumed + static_cast<uint64_t>(i));
  if (peek == 0) Peer.consumed += static_cast<uint64_t>(count);
  return count;
}

class FramedReceive : public ::testing::Test {
 protected:
  void SetUp() override {
    Peer = FakePeer{};
    record_.inUse = 1;
    record_.framed = 1;
    record_.socket = 1;
  }
  void TearDown() override { FreeRingBuffer(&record_.receiveRing); }
  // Takes everything the ring holds and checks it continues the payload.
  void ExpectPayloadContinues() {
    std::vector<uint8_t> got(static_cast<size_t>(record_.receiveRing.dataLength));
    ASSERT_EQ(ReadRingBytes(&record_.receiveRing, static_cast<int32_t>(got.size()), got.data(), 0), 0);
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_EQ(got[i], PayloadByte(read_ + i)) << "payload byte " << read_ + i;
    read_ += got.size();
  }
  NetWorkRecord record_{};
  uint64_t read_ = 0;
};

TEST_F(FramedReceive, WaitingBlocksAreTakenInOneReadAndAShortReadEndsThePass) {
  Peer.available = 10 * (BlockSize + 4);
  ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_EQ(Peer.reads, 1);
  EXPECT_EQ(record_.completeBytes, static_cast<int32_t>(10 * BlockSize));
  EXPECT_EQ(record_.receiveIdle, 1);  // the socket is empty until its next read event
  EXPECT_EQ(record_.receiveMore, 0);
  ExpectPayloadContinues();

  // The next bytes end inside a length word, then the rest of it and the block come.
  Peer.available += 2;
  ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_EQ(record_.receiveWordLength, 2);
  Peer.available += 2 + BlockSize;
  ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_EQ(record_.completeBytes, static_cast<int32_t>(11 * BlockSize));
  ExpectPayloadContinues();
}

TEST_F(FramedReceive, APassOverAPeerThatNeverStopsEndsAtItsBound) {
  ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_EQ(record_.receiveMore, 1);  // another pass is due without a new read event
  EXPECT_EQ(record_.receiveIdle, 0);
  EXPECT_GT(Peer.consumed, 0u);
  EXPECT_LE(Peer.consumed, 8u << 20);
  const uint64_t first_pass = Peer.consumed;
  ExpectPayloadContinues();
  ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_EQ(record_.receiveMore, 1);
  EXPECT_GT(Peer.consumed, first_pass);
  EXPECT_LE(Peer.consumed - first_pass, 8u << 20);
  ExpectPayloadContinues();
}

TEST_F(FramedReceive, AReaderFarBehindHoldsThePeerBackOnlyWhileItKeepsTaking) {
  record_.readerTaking = 1;
  record_.readerTookAt = Now - 99;
  for (int pass = 0; pass < 10 && record_.completeBytes < 1 << 20; ++pass)
    ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_EQ(record_.receiveMore, 1);
  const uint64_t held = Peer.consumed;
  EXPECT_GE(record_.completeBytes, 1 << 20);
  EXPECT_LT(held, 2u << 20);
  ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_EQ(Peer.consumed, held);  // the rest waits in the socket

  // A reader that has stopped taking may be waiting for more before it reads.
  record_.readerTookAt = Now - 100;
  ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_GT(Peer.consumed, held);
  ExpectPayloadContinues();
}

TEST_F(FramedReceive, AReaderThatStopsTakingLeavesTheRestInTheSocketPastTheLimit) {
  int32_t most_held = 0;
  int32_t largest_ring = 0;
  for (int pass = 0; pass < 40; ++pass) {
    ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
    most_held = std::max(most_held, record_.receiveRing.dataLength);
    largest_ring = std::max(largest_ring, record_.receiveRing.capacity);
  }
  EXPECT_GE(most_held, NetWorkReceiveAheadLimit);
  EXPECT_LE(largest_ring, NetWorkReceiveAheadLimit + (1 << 20));
  EXPECT_EQ(record_.receiveMore, 0);  // the reader's take runs the next pass
  EXPECT_EQ(record_.receiveRemaining, 0);  // the block in progress was completed
  // Once the reader takes, the stream goes on where it stopped.
  ExpectPayloadContinues();
  ASSERT_EQ(ReceiveFramedBlocks(&record_, ReadPeer, Now), 0);
  EXPECT_GT(record_.receiveRing.dataLength, 0);
  ExpectPayloadContinues();
}

}  // namespace
}  // namespace quelt
