#pragma once
// A decoded Y, U, V picture and what becomes of it: the byte layouts of the YUV surfaces
// (planar YV12, packed YUY2 and UYVY) and the conversion to 32-bit X8R8G8B8.
#include <cstdint>

namespace quelt {

struct YuvPlanes {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int32_t yWidth, yHeight, yStride;
  int32_t uvWidth, uvHeight, uvStride;
};

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
inline constexpr uint32_t FourCCYv12 = MakeFourCC('Y', 'V', '1', '2');
inline constexpr uint32_t FourCCYuy2 = MakeFourCC('Y', 'U', 'Y', '2');
inline constexpr uint32_t FourCCUyvy = MakeFourCC('U', 'Y', 'V', 'Y');

// Chroma planes exactly half the luma plane in both directions.
bool IsYuv420(const YuvPlanes& planes);

// Writes the picture into a locked surface of the FourCC (pitch in bytes between rows).
// Only 4:2:0 pictures are written; anything else leaves the surface as it is. YV12 places
// the V plane after the Y rows and the U plane after it, both at half the pitch.
void WriteYuvSurface(const YuvPlanes& planes, uint32_t fourCC, uint8_t* bits, int32_t pitch);

// Converts into a 32-bit image (blue, green, red, 255 in memory), width x height pixels
// (no more than the luma plane holds): 4:2:0 pictures through the fixed-point tables (the
// tables must be built), other shapes per pixel in single precision.
void ConvertYuvToXrgb(const YuvPlanes& planes, uint8_t* pixels, int32_t pitch, int32_t width, int32_t height);

}  // namespace quelt
