#pragma once
// What the BMP reader hands to the 24-bit drawing of the variants it does not decode
// itself (1, 16 and 32 bits, bit fields).
#include <cstddef>
#include <cstdint>

#include "image/raster_image.h"

namespace quelt {

// The file's bitmap info normalised: a 40-byte info header (size 40, colours used 0)
// followed by 2^bits palette entries (up to 8 bits) or the three bit-field masks.
struct BmpHeaderBlock {
  uint8_t bytes[40 + 256 * 4];
};

inline constexpr int kBmpInfoHeaderBytes = 40;
inline constexpr int kBmpCoreHeaderBytes = 12;  // OS/2 1.x
inline constexpr int kBmpOs2HeaderBytes = 64;   // OS/2 2.x, whole

// Draws `bits` (at least row size x |height| bytes, bottom-up or top-down as the header
// says) into a new top-down 24-bit block of pitch (width x 3 rounded up to 4) and fills
// the image with it (`SetRgb24ColorFormat`). 0, or -1 after freeing what it made.
// The Windows build draws through GDI; the native build through DrawBmpRowsPortable.
int DrawBmpRowsTo24(const BmpHeaderBlock& header, const uint8_t* bits, size_t bitsBytes,
                    RasterImage* image);

// The platform-free drawing of 1, 16 and 32-bit rows (plain or bit fields).
int DrawBmpRowsPortable(const BmpHeaderBlock& header, const uint8_t* bits, size_t bitsBytes,
                        RasterImage* image);

}  // namespace quelt
