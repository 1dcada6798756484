#include <emmintrin.h>

#include <cstring>

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

// Eight pixels of a row (eight Y samples, four U and four V) to 32-bit, the same bits as
// PutPixel with the tables built: the products are exact in 32-bit lanes (multiply-adds of
// 16-bit pairs; blue's factor, too large for one, takes twice the chroma with half the
// factor), and the clamp is the saturating packs, since below zero a floor and a truncation
// both clamp to 0.
void EightPixels(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const auto load4 = [](const uint8_t* p) {
    int32_t word;
    std::memcpy(&word, p, 4);
    return _mm_cvtsi32_si128(word);
  };
  const __m128i y16 = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)), zero),
                                    _mm_set1_epi16(16));
  const __m128i u16 = _mm_sub_epi16(_mm_unpacklo_epi8(load4(u), zero), _mm_set1_epi16(128));
  const __m128i v16 = _mm_sub_epi16(_mm_unpacklo_epi8(load4(v), zero), _mm_set1_epi16(128));
  // Chroma terms of the four samples, then each taken by its two pixels.
  const __m128i ruv = _mm_madd_epi16(_mm_unpacklo_epi16(v16, zero), _mm_set1_epi32(VToRedScale));
  const __m128i guv = _mm_madd_epi16(_mm_unpacklo_epi16(u16, v16),
                                     _mm_set1_epi32((VToGreenScale << 16) | (UToGreenScale & 0xFFFF)));
  const __m128i buv = _mm_madd_epi16(_mm_unpacklo_epi16(_mm_add_epi16(u16, u16), zero), _mm_set1_epi32(UToBlueScale / 2));
  static_assert(UToBlueScale % 2 == 0 && UToBlueScale / 2 <= INT16_MAX);
  const __m128i yScale = _mm_set1_epi32(YScale);
  const __m128i yLow = _mm_madd_epi16(_mm_unpacklo_epi16(y16, zero), yScale);
  const __m128i yHigh = _mm_madd_epi16(_mm_unpackhi_epi16(y16, zero), yScale);
  const auto channel = [&](__m128i c) {
    const __m128i low = _mm_add_epi32(yLow, _mm_shuffle_epi32(c, _MM_SHUFFLE(1, 1, 0, 0)));
    const __m128i high = _mm_add_epi32(yHigh, _mm_shuffle_epi32(c, _MM_SHUFFLE(3, 3, 2, 2)));
    const __m128i words = _mm_packs_epi32(_mm_srai_epi32(low, YuvFixedShift), _mm_srai_epi32(high, YuvFixedShift));
    return _mm_packus_epi16(words, words);
  };
  const __m128i blueGreen = _mm_unpacklo_epi8(channel(buv), channel(guv));
  const __m128i redOpaque = _mm_unpacklo_epi8(channel(ruv), _mm_set1_epi8(-1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(blueGreen, redOpaque));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(blueGreen, redOpaque));
}

void ConvertFast(const YuvPlanes& p, uint8_t* pixels, int32_t pitch, int32_t width, int32_t height) {
  for (int32_t row = 0; row < height; row += 2) {
    const int32_t rows = height - row < 2 ? 1 : 2;
    const uint8_t* u = p.u + static_cast<intptr_t>(row / 2) * p.uvStride;
    const uint8_t* v = p.v + static_cast<intptr_t>(row / 2) * p.uvStride;
    for (int32_t half = 0; half < rows; ++half) {
      const uint8_t* y = p.y + static_cast<intptr_t>(row + half) * p.yStride;
      uint8_t* out = pixels + static_cast<intptr_t>(row + half) * pitch;
      int32_t c = 0;
      for (; c + 8 <= width; c += 8) EightPixels(y + c, u + c / 2, v + c / 2, out + c * 4);
      for (; c < width; c += 2) {
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
