#include "core/ring_buffer.h"

#include <cstring>

#include "core/log.h"
#include "core/tracked_alloc.h"

namespace quelt {

namespace {

constexpr int64_t kGrowthSlack = 1000;

// Copies `length` bytes starting at ring index `from` out of the ring, in two pieces when
// they pass the end of the buffer.
void CopyOut(const RingBuffer* ring, int32_t from, int32_t length, uint8_t* destination) {
  int32_t first = ring->capacity - from < length ? ring->capacity - from : length;
  std::memcpy(destination, ring->buffer + from, static_cast<size_t>(first));
  if (length > first) std::memcpy(destination + first, ring->buffer, static_cast<size_t>(length - first));
}

}  // namespace

void WrapRingPositions(RingBuffer* ring) {
  if (ring->readPosition == ring->capacity) ring->readPosition = 0;
  if (ring->writePosition == ring->capacity) ring->writePosition = 0;
}

int ReserveRingBuffer(RingBuffer* ring, int32_t bytesNeeded) {
  if (bytesNeeded < 0) return -1;
  WrapRingPositions(ring);
  const int64_t needed = static_cast<int64_t>(ring->dataLength) + bytesNeeded;
  if (ring->capacity >= needed) return 0;
  const int64_t newCapacity = needed + kGrowthSlack;
  if (newCapacity > INT32_MAX) return -1;

  auto* grown = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(newCapacity), nullptr, -1));
  if (!grown) {
    // The stored bytes stay where they are: only the request that needed more room fails.
    WriteLogFormat("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)",
                   static_cast<int32_t>(newCapacity));
    return -1;
  }
  if (ring->dataLength > 0) CopyOut(ring, ring->readPosition, ring->dataLength, grown);
  TrackedFree(ring->buffer);
  ring->buffer = grown;
  ring->readPosition = 0;
  ring->writePosition = ring->dataLength;
  ring->capacity = static_cast<int32_t>(newCapacity);
  return 0;
}

int AppendRingBytes(RingBuffer* ring, const void* source, int32_t length) {
  if (length < 0) return -1;
  WrapRingPositions(ring);
  if (ReserveRingBuffer(ring, length) != 0) {
    WriteLogFormat("リングバッファへのデータの追加に失敗しました(追加する長さ %d byte)", length);
    return -1;
  }
  if (length == 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(source);
  int32_t first = ring->capacity - ring->writePosition < length ? ring->capacity - ring->writePosition : length;
  std::memcpy(ring->buffer + ring->writePosition, bytes, static_cast<size_t>(first));
  if (length > first) std::memcpy(ring->buffer, bytes + first, static_cast<size_t>(length - first));
  ring->writePosition = static_cast<int32_t>((static_cast<int64_t>(ring->writePosition) + length) % ring->capacity);
  ring->dataLength += length;
  return 0;
}

int ReadRingBytes(RingBuffer* ring, int32_t length, void* destination, int32_t peek) {
  if (length < 0 || ring->dataLength < length) return -1;
  WrapRingPositions(ring);
  if (length == 0) return 0;
  CopyOut(ring, ring->readPosition, length, static_cast<uint8_t*>(destination));
  if (!peek) {
    ring->readPosition = static_cast<int32_t>((static_cast<int64_t>(ring->readPosition) + length) % ring->capacity);
    ring->dataLength -= length;
  }
  return 0;
}

int FreeRingBuffer(RingBuffer* ring) {
  if (ring->buffer) TrackedFree(ring->buffer);
  *ring = RingBuffer{};
  return 0;
}

}  // namespace quelt
