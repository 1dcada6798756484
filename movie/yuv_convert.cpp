#include "core/numbers.h"
#include "movie/yuv_layouts.h"
#include "movie/yuv_tables.h"

namespace quelt {

namespace {

inline void PutPixel(uint8_t* out, int32_t y, int32_t ruv, int32_t guv, int32_t buv) {
  // Signed division truncating toward zero, as the tables' range is laid out for.
  out[0] = ClampYuvSum((y + buv) / (1 << YuvFixedShift));
  out[1] = ClampYuvSum((y + guv) / (1 << YuvFixedShift));
  out[2] = ClampYuvSum((y + ruv) / (1 << YuvFixedShift));
  out[3] = 255;
}

void ConvertFast(const YuvPlanes& p, uint8_t* pixels, int32_t pitch, int32_t width, int32_t height) {
  for (int32_t row = 0; row < height; row += 2) {
    const int32_t rows = height - row < 2 ? 1 : 2;
    const uint8_t* u = p.u + static_cast<intptr_t>(row / 2) * p.uvStride;
    const uint8_t* v = p.v + static_cast<intptr_t>(row / 2) * p.uvStride;
    for (int32_t half = 0; half < rows; ++half) {
      const uint8_t* y = p.y + static_cast<intptr_t>(row + half) * p.yStride;
      uint8_t* out = pixels + static_cast<intptr_t>(row + half) * pitch;
      for (int32_t c = 0; c < width; c += 2) {
        const int32_t ruv = YuvTables.vToRed[v[c / 2]];
        const int32_t guv = YuvTables.uToGreen[u[c / 2]] + YuvTables.vToGreen[v[c / 2]];
        const int32_t buv = YuvTables.uToBlue[u[c / 2]];
        PutPixel(out + c * 4, YuvTables.y[y[c]], ruv, guv, buv);
        if (c + 1 < width) PutPixel(out + c * 4 + 4, YuvTables.y[y[c + 1]], ruv, guv, buv);
      }
    }
  }
}

uint8_t ClampFloat(float value) {
  const auto i = static_cast<int32_t>(value);  // truncation toward zero
  return static_cast<uint8_t>(ClampToByte(i));
}

void ConvertSlow(const YuvPlanes& p, uint8_t* pixels, int32_t pitch, int32_t width, int32_t height) {
  for (int32_t r = 0; r < height; ++r) {
    // The chroma sample under the pixel, whatever the planes' proportions (4:2:2, 4:4:4).
    const auto chromaRow = static_cast<int32_t>(int64_t{r} * p.uvHeight / p.yHeight);
    const uint8_t* y = p.y + static_cast<intptr_t>(r) * p.yStride;
    const uint8_t* u = p.u + static_cast<intptr_t>(chromaRow) * p.uvStride;
    const uint8_t* v = p.v + static_cast<intptr_t>(chromaRow) * p.uvStride;
    uint8_t* out = pixels + static_cast<intptr_t>(r) * pitch;
    for (int32_t c = 0; c < width; ++c, out += 4) {
      const auto chromaColumn = static_cast<int32_t>(int64_t{c} * p.uvWidth / p.yWidth);
      const float w = static_cast<float>(y[c] - 16) * 1.164f;
      const auto du = static_cast<float>(u[chromaColumn] - 128);
      const auto dv = static_cast<float>(v[chromaColumn] - 128);
      out[0] = ClampFloat(w + du * 2.018f);
      out[1] = ClampFloat(w - du * 0.391f - dv * 0.813f);
      out[2] = ClampFloat(w + dv * 1.596f);
      out[3] = 255;
    }
  }
}

}  // namespace

void ConvertYuvToXrgb(const YuvPlanes& p, uint8_t* pixels, int32_t pitch, int32_t width, int32_t height) {
  if (width > p.yWidth) width = p.yWidth;
  if (height > p.yHeight) height = p.yHeight;
  if (width <= 0 || height <= 0) return;
  if (IsYuv420(p)) {
    ConvertFast(p, pixels, pitch, width, height);
  } else if (p.uvWidth > 0 && p.uvHeight > 0) {
    ConvertSlow(p, pixels, pitch, width, height);
  }
}

}  // namespace quelt
