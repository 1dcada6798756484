#include "movie/yuv_layouts.h"

#include <cstring>

namespace quelt {

bool IsYuv420(const YuvPlanes& p) { return p.uvWidth * 2 == p.yWidth && p.uvHeight * 2 == p.yHeight; }

namespace {

void CopyRows(uint8_t* dest, int32_t destPitch, const uint8_t* src, int32_t srcStride, int32_t width, int32_t height) {
  for (int32_t r = 0; r < height; ++r) {
    std::memcpy(dest + static_cast<intptr_t>(r) * destPitch, src + static_cast<intptr_t>(r) * srcStride,
                static_cast<size_t>(width));
  }
}

// Two rows at a time, each pair of columns as four bytes: Y0 U Y1 V (YUY2) or U Y0 V Y1 (UYVY).
void WritePacked(const YuvPlanes& p, uint8_t* bits, int32_t pitch, bool uyvy) {
  const int32_t yOffset = uyvy ? 1 : 0;
  const int32_t uOffset = uyvy ? 0 : 1;
  const int32_t vOffset = uyvy ? 2 : 3;
  for (int32_t r = 0; r < p.uvHeight; ++r) {
    const uint8_t* u = p.u + static_cast<intptr_t>(r) * p.uvStride;
    const uint8_t* v = p.v + static_cast<intptr_t>(r) * p.uvStride;
    for (int32_t half = 0; half < 2; ++half) {
      const int32_t row = r * 2 + half;
      const uint8_t* y = p.y + static_cast<intptr_t>(row) * p.yStride;
      uint8_t* out = bits + static_cast<intptr_t>(row) * pitch;
      for (int32_t c = 0; c < p.uvWidth; ++c, out += 4) {
        out[yOffset] = y[c * 2];
        out[yOffset + 2] = y[c * 2 + 1];
        out[uOffset] = u[c];
        out[vOffset] = v[c];
      }
    }
  }
}

}  // namespace

void WriteYuvSurface(const YuvPlanes& p, uint32_t fourCC, uint8_t* bits, int32_t pitch) {
  if (!IsYuv420(p)) return;
  if (fourCC == FourCCYv12) {
    const int32_t chromaPitch = pitch / 2;
    uint8_t* vPlane = bits + static_cast<intptr_t>(pitch) * p.yHeight;
    uint8_t* uPlane = vPlane + static_cast<intptr_t>(chromaPitch) * p.uvHeight;
    CopyRows(bits, pitch, p.y, p.yStride, p.yWidth, p.yHeight);
    CopyRows(vPlane, chromaPitch, p.v, p.uvStride, p.uvWidth, p.uvHeight);
    CopyRows(uPlane, chromaPitch, p.u, p.uvStride, p.uvWidth, p.uvHeight);
  } else if (fourCC == FourCCYuy2) {
    WritePacked(p, bits, pitch, false);
  } else if (fourCC == FourCCUyvy) {
    WritePacked(p, bits, pitch, true);
  }
}

}  // namespace quelt
