// Receiving a framed handle: length words and block bytes from the socket into the
// receive ring, over any reader of the socket (WinSock's recv in the product).
#include <cstdint>
#include <cstring>

#include "core/little_endian.h"
#include "core/log.h"
#include "core/ring_buffer.h"
#include "network/network_state.h"

namespace quelt {

namespace {

// One receive pass takes at most this many bytes and blocks, so a peer that keeps sending
// cannot hold the frame; the pump's next pass takes the rest.
constexpr int32_t ReceivePassBytes = 4 << 20;
constexpr int32_t ReceivePassBlocks = 512;
// Under Wine every socket read is several round trips to the one server process, so the
// socket is read in large pieces: what is left of a block shorter than this is read with
// whatever follows it (length words and further blocks) into the staging buffer, then
// sorted out. A longer block goes straight into the ring, this much at a time.
constexpr int32_t ReadPieceBytes = 256 << 10;
// A reader this far behind that is still taking bytes leaves the rest in the socket, whose
// flow control holds the peer back, instead of the ring growing (and copying itself into
// fresh memory) with all the peer sends. One that has taken nothing for a while may be
// waiting for more than that before it reads, and is given up to NetWorkReceiveAheadLimit
// bytes: past that, only the block in progress is completed.
constexpr int32_t ReceiveAheadBytes = 1 << 20;
constexpr int32_t ReaderActiveMs = 100;
// The ring doubles what it holds as it grows, but stops at the limit and one read piece:
// only a long block in progress grows it past that.
constexpr int32_t ReceiveRingCeiling = NetWorkReceiveAheadLimit + ReadPieceBytes;
// A pass pumps the network window after about this many bytes, each block counting as
// BlockPumpWeight bytes.
constexpr int32_t PumpEveryBytes = 64 << 10;
constexpr int32_t BlockPumpWeight = 1024;

// Shared by every handle: a pass sorts out all it read before it pumps, and the handle
// whose event the pump serves makes its own pass.
uint8_t Staging[ReadPieceBytes];

void FailReceive(NetWorkRecord* record, int32_t length) {
  WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)",
                 length);
  record->errorFlag = 1;
}

// Begins the block whose length word has been gathered: false when the handle failed.
bool BeginReceivedBlock(NetWorkRecord* record) {
  record->receiveWordLength = 0;
  const int32_t length = LoadLeS32(record->receiveWord);
  record->receiveBlockLength = length;
  // A negative length, or one the ring's size arithmetic cannot hold beside what it
  // stores, is hostile: the stream cannot be followed any further. Nothing is reserved
  // yet; the room comes with the bytes.
  const int64_t needed = static_cast<int64_t>(record->receiveRing.dataLength) + length + 1000;
  if (length < 0 || needed > INT32_MAX) {
    FailReceive(record, length);
    return false;
  }
  record->receiveRemaining = length;
  return true;
}

// Room in the receive ring for `needed` more bytes of the block; false when the ring
// cannot grow (the handle has failed).
bool MakeReceiveRoom(NetWorkRecord* record, int32_t needed) {
  RingBuffer& ring = record->receiveRing;
  if (ring.capacity - ring.dataLength >= needed) return true;
  // Doubling what is stored: a reader that lags behind does not make every block copy the
  // whole ring again. Short of the ceiling it grows to the ceiling at most; past it only a
  // long block in progress grows it, doubling again.
  int32_t growth = ring.dataLength > needed ? ring.dataLength : needed;
  const int32_t below_ceiling = ReceiveRingCeiling - ring.dataLength;
  if (needed <= below_ceiling && growth > below_ceiling) growth = below_ceiling;
  if (ReserveRingBuffer(&ring, growth) == 0) return true;
  if (growth > needed && ReserveRingBuffer(&ring, needed) == 0) return true;
  FailReceive(record, record->receiveBlockLength);
  return false;
}

// The block's bytes have moved into the ring: completes it when they were its last.
int32_t AccountBlockBytes(NetWorkRecord* record, int32_t count) {
  record->receiveRemaining -= count;
  if (count <= 0 || record->receiveRemaining != 0) return 0;
  record->completeBytes += record->receiveBlockLength;
  return 1;
}

// Sorts bytes read from the socket: length words into the record, block bytes into the
// ring. The number of blocks completed, or -1 when the handle failed.
int32_t SortReceivedBytes(NetWorkRecord* record, const uint8_t* bytes, int32_t count) {
  int32_t blocks = 0;
  while (count > 0) {
    if (record->receiveRemaining == 0) {
      int32_t take = 4 - record->receiveWordLength;
      if (take > count) take = count;
      std::memcpy(record->receiveWord + record->receiveWordLength, bytes, static_cast<size_t>(take));
      record->receiveWordLength += take;
      bytes += take;
      count -= take;
      if (record->receiveWordLength < 4) break;
      if (!BeginReceivedBlock(record)) return -1;
      if (record->receiveRemaining == 0) ++blocks;  // an empty block is complete at once
      continue;
    }
    const int32_t piece = record->receiveRemaining < count ? record->receiveRemaining : count;
    if (!MakeReceiveRoom(record, piece)) return -1;
    RingBuffer& ring = record->receiveRing;
    WrapRingPositions(&ring);
    const int32_t first = ring.capacity - ring.writePosition < piece ? ring.capacity - ring.writePosition : piece;
    std::memcpy(ring.buffer + ring.writePosition, bytes, static_cast<size_t>(first));
    std::memcpy(ring.buffer, bytes + first, static_cast<size_t>(piece - first));
    ring.writePosition = first < piece ? piece - first : ring.writePosition + piece;
    ring.dataLength += piece;
    blocks += AccountBlockBytes(record, piece);
    bytes += piece;
    count -= piece;
  }
  return blocks;
}

// Reads up to `limit` bytes of a long block straight into the ring's free space, in two
// pieces where it wraps. The byte count moved; a read that comes back short marks the
// socket as drained.
int32_t ReceiveIntoRing(NetWorkRecord* record, SocketReader read, int32_t limit) {
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
    if (got > 0) {
      ring.writePosition += got;
      ring.dataLength += got;
      total += got;
      wanted -= got;
    }
    if (got < piece) {
      record->receiveIdle = 1;
      break;
    }
  }
  return total;
}

bool ReaderFarBehind(const NetWorkRecord* record, int32_t now) {
  return record->completeBytes >= ReceiveAheadBytes && record->readerTaking != 0 &&
         ((now - record->readerTookAt) & 0x7FFFFFFF) < ReaderActiveMs;
}

}  // namespace

// A read that comes back short has emptied the socket: the pass ends there and the next
// read event starts the next one (every read re-arms that event).
int ReceiveFramedBlocks(NetWorkRecord* record, SocketReader read, int32_t now) {
  int32_t bytes_left = ReceivePassBytes;
  record->receiveMore = 0;
  record->receiveIdle = 0;
  // Other handles' events are served between reads, though not after every small one.
  int32_t unpumped = 0;
  for (int32_t blocks_left = ReceivePassBlocks;;) {
    if (blocks_left <= 0 || bytes_left <= 0 || ReaderFarBehind(record, now)) {
      record->receiveMore = 1;
      return 0;
    }
    int32_t limit = bytes_left < ReadPieceBytes ? bytes_left : ReadPieceBytes;
    // At the limit the reader's own take (which runs a pass after it) lets more in.
    if (record->receiveRing.dataLength >= NetWorkReceiveAheadLimit) {
      if (record->receiveRemaining == 0) return 0;
      if (limit > record->receiveRemaining) limit = record->receiveRemaining;
    }
    int32_t total = 0;
    int32_t blocks = 0;
    if (record->receiveRemaining >= ReadPieceBytes) {
      if (!MakeReceiveRoom(record, ReadPieceBytes)) return -1;
      total = ReceiveIntoRing(record, read, limit);
      blocks = AccountBlockBytes(record, total);
    } else {
      const int got = read(record->socket, Staging, limit, 0);
      if (got < limit) record->receiveIdle = 1;
      if (got <= 0) return 0;
      total = got;
      blocks = SortReceivedBytes(record, Staging, total);
      if (blocks < 0) return -1;
    }
    bytes_left -= total;
    blocks_left -= blocks;
    if (record->receiveIdle != 0) return 0;
    unpumped += total + blocks * BlockPumpWeight;
    if (unpumped >= PumpEveryBytes) {
      unpumped = 0;
      if (ProcessNetWorkMessages(0) != 0) return 0;
    }
  }
}

}  // namespace quelt
