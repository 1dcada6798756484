#pragma once
// A growable byte ring (network and text input buffers). A position equal to the capacity
// means 0; every operation wraps such positions first.
#include <cstdint>

namespace quelt {

struct RingBuffer {
  uint8_t* buffer;         // TrackedAlloc block, or null
  int32_t readPosition;    // index of the first stored byte
  int32_t writePosition;   // index where the next byte goes
  int32_t dataLength;      // bytes stored
  int32_t capacity;        // size of the buffer
};
// Callers embed it as five 32-bit fields.
static_assert(sizeof(void*) != 4 || sizeof(RingBuffer) == 20);

// Makes room for `bytesNeeded` more bytes (growing to length + needed + 1000). 0 or -1.
// A negative or overflowing request, or one whose block cannot be allocated, is refused
// with -1 and leaves the ring as it was.
int ReserveRingBuffer(RingBuffer* ring, int32_t bytesNeeded);
int AppendRingBytes(RingBuffer* ring, const void* source, int32_t length);
// -1 when fewer than `length` bytes are stored; with `peek` 1 the bytes stay stored.
int ReadRingBytes(RingBuffer* ring, int32_t length, void* destination, int32_t peek);
int FreeRingBuffer(RingBuffer* ring);
void WrapRingPositions(RingBuffer* ring);

}  // namespace quelt
