#pragma once
// DXT1..DXT5 block decoding into A8R8G8B8 pixels (blue, green, red, alpha in memory).
#include <cstddef>
#include <cstdint>

namespace quelt {

// Bytes of one 4 x 4 block: 8 for DXT1, 16 for DXT2..5; 0 for other compressions.
int DxtBlockBytes(uint32_t compression);
// Bytes of the top level: (width / 4) x (height / 4) blocks (truncating), or -1 when the
// compression is unknown or the size is negative or overflows.
int64_t DxtTopLevelBytes(uint32_t compression, int32_t width, int32_t height);

// Decodes the top level of `source` (sourceBytes long) into `dest`, width x 4 bytes per
// row. Pixels no whole block covers, and blocks the source is too short for, come out 0.
// -1 for an unknown compression or a negative size.
int DecodeDxtBlocks(uint32_t compression, const uint8_t* source, size_t sourceBytes,
                    int32_t width, int32_t height, uint8_t* dest);

}  // namespace quelt
