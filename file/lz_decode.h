#pragma once
// The engine's LZ block decoder (the block layout is in file/archive_format.h).
#include <cstdint>

namespace quelt {

// Decodes the LZ block of `blockSize` bytes into `dest` (room for `destCapacity` bytes).
// Returns the decoded size from the block header; with a null `dest` only the header is
// checked and nothing is decoded. -1 for a block that is truncated, overruns the
// destination, reaches before the start of its output or ends short of its decoded size.
int32_t DecodeLzBlock(const void* block, uint32_t blockSize, void* dest, uint32_t destCapacity);

}  // namespace quelt
