// Receiving a framed handle: length words and block bytes from the socket into the
// receive ring, over any reader of the socket (WinSock's recv in the product).
#include <cstdint>

#include "core/log.h"
#include "core/ring_buffer.h"
#include "network/network_state.h"

namespace quelt {

namespace {

// One receive pass takes at most this many bytes and blocks, so a peer that keeps sending
// cannot hold the frame; the pump's next pass takes the rest.
constexpr int32_t ReceivePassBytes = 4 << 20;
constexpr int32_t ReceivePassBlocks = 512;
// The receive ring grows as a block's bytes arrive, never ahead of them by more than this
// or what it already stores.
constexpr int32_t ReceiveGrowthStep = 64 << 10;
// A pass pumps the network window after about this many bytes, each block counting as
// BlockPumpWeight bytes.
constexpr int32_t PumpEveryBytes = 64 << 10;
constexpr int32_t BlockPumpWeight = 1024;

void FailReceive(NetWorkRecord* record, int32_t length) {
  WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)",
                 length);
  record->errorFlag = 1;
}

// Reads a new block's length word, keeping the bytes of one that arrives in pieces until
// it is whole. 1 = a block began, 0 = not yet, -1 = the handle failed.
int BeginReceivedBlock(NetWorkRecord* record, SocketReader read) {
  while (record->receiveWordLength < 4) {
    const int got = read(record->socket, record->receiveWord + record->receiveWordLength,
                         4 - record->receiveWordLength, 0);
    if (got <= 0) {
      record->receiveIdle = 1;
      return 0;
    }
    record->receiveWordLength += got;
  }
  record->receiveWordLength = 0;
  const uint8_t* word = record->receiveWord;
  const int32_t length = static_cast<int32_t>(static_cast<uint32_t>(word[0]) |
                                              static_cast<uint32_t>(word[1]) << 8 |
                                              static_cast<uint32_t>(word[2]) << 16 |
                                              static_cast<uint32_t>(word[3]) << 24);
  record->receiveBlockLength = length;
  // A negative length, or one the ring's size arithmetic cannot hold beside what it
  // stores, is hostile: the stream cannot be followed any further. Nothing is reserved
  // yet; the room comes with the bytes.
  const int64_t needed = static_cast<int64_t>(record->receiveRing.dataLength) + length + 1000;
  if (length < 0 || needed > INT32_MAX) {
    FailReceive(record, length);
    return -1;
  }
  record->receiveRemaining = length;
  return 1;
}

// Room in the receive ring for the next bytes of the block; false when the ring cannot
// grow (the handle has failed).
bool MakeReceiveRoom(NetWorkRecord* record) {
  RingBuffer& ring = record->receiveRing;
  const int32_t needed = record->receiveRemaining < ReceiveGrowthStep ? record->receiveRemaining
                                                                     : ReceiveGrowthStep;
  if (ring.capacity - ring.dataLength >= needed) return true;
  // Doubling what is stored: a reader that lags behind does not make every block copy the
  // whole ring again.
  const int32_t growth = ring.dataLength > needed ? ring.dataLength : needed;
  if (ReserveRingBuffer(&ring, growth) == 0) return true;
  if (growth > needed && ReserveRingBuffer(&ring, needed) == 0) return true;
  FailReceive(record, record->receiveBlockLength);
  return false;
}

// Receives up to `limit` bytes of the current block into the ring's free space, in two
// pieces where it wraps; the byte count moved (0 on an error or when nothing was there).
int32_t ReceiveBlockBytes(NetWorkRecord* record, SocketReader read, int32_t limit) {
  RingBuffer& ring = record->receiveRing;
  int32_t wanted = record->receiveRemaining;
  if (wanted > ring.capacity - ring.dataLength) wanted = ring.capacity - ring.dataLength;
  if (wanted > limit) wanted = limit;
  int32_t total = 0;
  while (wanted > 0) {
    WrapRingPositions(&ring);
    int32_t piece = ring.capacity - ring.writePosition;
    if (piece > wanted) piece = wanted;
    const int got = read(record->socket, ring.buffer + ring.writePosition, piece, 0);
    if (got <= 0) {
      record->receiveIdle = 1;
      break;
    }
    ring.writePosition += got;
    ring.dataLength += got;
    total += got;
    wanted -= got;
    if (got < piece) break;
  }
  record->receiveRemaining -= total;
  if (total > 0 && record->receiveRemaining == 0) record->completeBytes += record->receiveBlockLength;
  return total;
}

}  // namespace

int ReceiveFramedBlocks(NetWorkRecord* record, SocketReader read) {
  int32_t bytes_left = ReceivePassBytes;
  record->receiveMore = 0;
  // Other handles' events are served between blocks, though not after every small one.
  int32_t unpumped = 0;
  auto pump = [&unpumped](int32_t weight) {
    unpumped += weight;
    if (unpumped < PumpEveryBytes) return true;
    unpumped = 0;
    return ProcessNetWorkMessages(0) == 0;
  };
  for (int32_t blocks_left = ReceivePassBlocks;;) {
    if (blocks_left <= 0 || bytes_left <= 0) {
      record->receiveMore = 1;
      return 0;
    }
    if (record->receiveRemaining == 0) {
      const int begun = BeginReceivedBlock(record, read);
      if (begun <= 0) return begun;
      if (record->receiveRemaining == 0) {  // an empty block is complete at once
        --blocks_left;
        if (!pump(BlockPumpWeight)) return 0;
        continue;
      }
    }
    if (!MakeReceiveRoom(record)) return -1;
    const int32_t total = ReceiveBlockBytes(record, read, bytes_left);
    bytes_left -= total;
    if (record->receiveRemaining == 0) --blocks_left;
    if (total <= 0 || !pump(total + (record->receiveRemaining == 0 ? BlockPumpWeight : 0))) return 0;
  }
}

}  // namespace quelt
