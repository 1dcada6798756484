#include "graphics/read_back.h"

#include "core/little_endian.h"
#include "graphics/d3d_values.h"

namespace quelt {

int ConvertReadBackRow(uint32_t d3dFormat, const uint8_t* row, int32_t width, uint32_t* out) {
  switch (d3dFormat) {
    case d3d::FmtX8R8G8B8:
    case d3d::FmtA8R8G8B8:
      for (int32_t x = 0; x < width; ++x)
        out[x] = LoadLe24(row + x * 4);
      return 0;
    case d3d::FmtR5G6B5:
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = LoadLe16(row + x * 2);
        out[x] = ((p >> 11) * 255 / 31) << 16 | (((p >> 5) & 63) * 255 / 63) << 8 | ((p & 31) * 255 / 31);
      }
      return 0;
    case d3d::FmtX1R5G5B5:
    case d3d::FmtA1R5G5B5:
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = LoadLe16(row + x * 2);
        out[x] = (((p >> 10) & 31) * 255 / 31) << 16 | (((p >> 5) & 31) * 255 / 31) << 8 | ((p & 31) * 255 / 31);
      }
      return 0;
    case d3d::FmtA4R4G4B4:
    case d3d::FmtX4R4G4B4:
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t p = LoadLe16(row + x * 2);
        out[x] = ((p >> 8) & 15) * 17 << 16 | ((p >> 4) & 15) * 17 << 8 | (p & 15) * 17;
      }
      return 0;
    default:
      return -1;
  }
}

int32_t ReadBackPixelBytes(uint32_t d3dFormat) {
  switch (d3dFormat) {
    case d3d::FmtX8R8G8B8:
    case d3d::FmtA8R8G8B8:
      return 4;
    case d3d::FmtR5G6B5:
    case d3d::FmtX1R5G5B5:
    case d3d::FmtA1R5G5B5:
    case d3d::FmtA4R4G4B4:
    case d3d::FmtX4R4G4B4:
      return 2;
    default:
      return 0;
  }
}

}  // namespace quelt
