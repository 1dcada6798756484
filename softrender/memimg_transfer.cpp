// Moving pixels into and between memory images: decoded images into a memory image
// (with its palette, premultiplied copy and run table) and the format-converting copy.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "core/tracked_alloc.h"
#include "image/pixel_convert.h"
#include "softrender/memimg_format.h"
#include "softrender/pixel_access.h"

namespace quelt {

namespace {

// The destination area (x, y, w, h) lies inside the image.
bool FitsInside(const MEMIMG* img, int32_t x, int32_t y, int32_t w, int32_t h) {
  return x >= 0 && y >= 0 && w >= 0 && h >= 0 && int64_t{x} + w <= img->width &&
         int64_t{y} + h <= img->height;
}

void BuildPalette(MemImgBase& base, const ColorFormat& srcFormat) {
  if (base.colourType == MemImgXrgb32) {
    for (int i = 0; i < 256; ++i) {
      const PaletteEntry& e = srcFormat.palette[i];
      const uint32_t value = e.blue | e.green << 8 | e.red << 16;
      std::memcpy(base.palette + 4 * i, &value, 4);
    }
    std::memcpy(base.paletteCopy, base.palette, 1024);
  } else {
    for (int i = 0; i < 256; ++i) {
      const PaletteEntry& e = srcFormat.palette[i];
      const auto value = static_cast<uint16_t>((e.red >> 3) << 11 | (e.green >> 2) << 5 | e.blue >> 3);
      std::memcpy(base.palette + 2 * i, &value, 2);
    }
    std::memcpy(base.paletteCopy, base.palette, 512);
  }
}

void FillPremultiplied(const MemImgBase& base) {
  for (int32_t y = 0; y < base.height; ++y) {
    const uint8_t* sp = base.pixels + y * base.pitch;
    uint8_t* dp = base.premultiplied + y * base.pitch;
    for (int32_t x = 0; x < base.width; ++x, sp += 4, dp += 4) {
      if (base.colourType == MemImgXrgb32) {
        const uint32_t a = sp[3];
        dp[0] = static_cast<uint8_t>(sp[0] * a >> 8);
        dp[1] = static_cast<uint8_t>(sp[1] * a >> 8);
        dp[2] = static_cast<uint8_t>(sp[2] * a >> 8);
        dp[3] = sp[3];
      } else {
        const uint32_t a = sp[2];
        const uint32_t v = sp[0] | sp[1] << 8;
        const uint32_t out = (((v & 0xF800) * a >> 8) & 0xF800) | (((v & 0x7E0) * a >> 8) & 0x7E0) |
                             (((v & 0x1F) * a >> 8) & 0x1F);
        dp[0] = static_cast<uint8_t>(out);
        dp[1] = static_cast<uint8_t>(out >> 8);
        dp[2] = sp[2];
        dp[3] = sp[3];
      }
    }
  }
}

inline __m128i Load128(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// How one row format is classified: the kind of pixel x, and for four pixels from x a
// movemask-style bit set of those not of `kind` (kMaskBits bits a pixel).
struct KeyRow32 {
  const uint8_t* row;
  uint32_t key;
  static constexpr int kMaskBits = 4;
  uint8_t Kind(int32_t x) const { return LoadPixel32(row + 4 * x) == key ? RunTransparent : RunOpaque; }
  int Others(int32_t x, uint8_t kind) const {
    const int same = _mm_movemask_epi8(_mm_cmpeq_epi32(Load128(row + 4 * x), _mm_set1_epi32(static_cast<int>(key))));
    return kind == RunTransparent ? ~same & 0xFFFF : same;
  }
};

struct KeyRow16 {
  const uint8_t* row;
  uint32_t key;
  static constexpr int kMaskBits = 2;
  uint8_t Kind(int32_t x) const { return LoadPixel16(row + 2 * x) == key ? RunTransparent : RunOpaque; }
  int Others(int32_t x, uint8_t kind) const {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + 2 * x));
    const int same = _mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<int16_t>(key)))) & 0xFF;
    return kind == RunTransparent ? ~same & 0xFF : same;
  }
};

// Alpha pixels of four bytes, the alpha byte at `alphaByte` (3 for 32-bit, 2 for 16-bit).
struct AlphaRow {
  const uint8_t* row;
  int alphaByte;
  static constexpr int kMaskBits = 4;
  static uint8_t ByAlpha(uint8_t a) { return a == 0 ? RunTransparent : a == 255 ? RunOpaque : RunTranslucent; }
  uint8_t Kind(int32_t x) const { return ByAlpha(row[4 * x + alphaByte]); }
  int Others(int32_t x, uint8_t kind) const {
    const __m128i a = _mm_and_si128(_mm_srl_epi32(Load128(row + 4 * x), _mm_cvtsi32_si128(8 * alphaByte)),
                                    _mm_set1_epi32(0xFF));
    const int zero = _mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_setzero_si128()));
    const int full = _mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_set1_epi32(255)));
    if (kind == RunTransparent) return ~zero & 0xFFFF;
    if (kind == RunOpaque) return ~full & 0xFFFF;
    return zero | full;
  }
};

// The runs of one row: each run of a kind found four pixels at a time, written in pieces
// of at most 64 pixels; the row end byte after them.
template <class Row>
uint8_t* BuildRow(uint8_t* out, int32_t width, const Row& r) {
  constexpr int32_t kMaxRun = 64;
  int32_t x = 0;
  while (x < width) {
    const uint8_t kind = r.Kind(x);
    int32_t end = x + 1;
    while (end + 4 <= width) {
      const int others = r.Others(end, kind);
      if (others != 0) {
        end += __builtin_ctz(static_cast<unsigned>(others)) / Row::kMaskBits;
        break;
      }
      end += 4;
    }
    if (end + 4 > width) {
      while (end < width && r.Kind(end) == kind) ++end;
    }
    for (int32_t length = end - x; length > 0; length -= kMaxRun) {
      const int32_t n = length < kMaxRun ? length : kMaxRun;
      *out++ = static_cast<uint8_t>(kind << 6 | (n - 1));
    }
    x = end;
  }
  *out++ = kRunRowEnd;
  return out;
}

void BuildRunTable(const MemImgBase& base) {
  uint8_t* out = base.runTable;
  const uint32_t key = TransparentKey(base);
  for (int32_t y = 0; y < base.height; ++y) {
    const uint8_t* row = base.pixels + y * base.pitch;
    if (base.paletteFlag) {
      int32_t x = 0;
      while (x < base.width) {
        const bool transparent = row[x] == key;
        int32_t length = 1;
        while (length < 64 && x + length < base.width && (row[x + length] == key) == transparent) ++length;
        *out++ = static_cast<uint8_t>((transparent ? RunTransparent : RunOpaque) << 6 | (length - 1));
        x += length;
      }
      *out++ = kRunRowEnd;
    } else if (base.alphaFlag) {
      out = BuildRow(out, base.width, AlphaRow{row, base.colourType == MemImgXrgb32 ? 3 : 2});
    } else if (base.colourType == MemImgXrgb32) {
      out = BuildRow(out, base.width, KeyRow32{row, key});
    } else {
      out = BuildRow(out, base.width, KeyRow16{row, key});
    }
  }
}

}  // namespace

int TransferImageToMemImg(const RasterImage* src, const RasterImage* alphaSrc, MEMIMG* dest,
                          int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t tx, int32_t ty,
                          int32_t transparentOption) {
  if (src == nullptr || !IsValidMemImg(dest)) return -1;
  // ConvertPixelRect does not clip: a rectangle outside either image is refused here.
  if (!FitsInside(dest, tx, ty, w, h) || sx < 0 || sy < 0 || int64_t{sx} + w > src->width ||
      int64_t{sy} + h > src->height) {
    return -1;
  }
  if (alphaSrc != nullptr && (int64_t{sx} + w > alphaSrc->width || int64_t{sy} + h > alphaSrc->height)) {
    return -1;
  }
  MemImgBase& base = *dest->base;
  const PixelRect rect{sx, sy, sx + w, sy + h};

  if (base.colourType == MemImgByte || base.colourType == MemImgWord) {
    // The image's first colour value becomes the stored value: a grey image becomes a mask.
    ConvertPixelRect(dest->pixels, base.pitch, base.format, src->pixels, src->pitch, &src->format,
                     nullptr, 0, nullptr, tx, ty, &rect, 0, 0, 0, kDitherNone, 1, 1, 0, 0);
  } else {
    const int result = ConvertPixelRect(
        dest->pixels, base.pitch, base.format, src->pixels, src->pitch, &src->format,
        alphaSrc != nullptr ? alphaSrc->pixels : nullptr, alphaSrc != nullptr ? alphaSrc->pitch : 0,
        alphaSrc != nullptr ? &alphaSrc->format : nullptr, tx, ty, &rect, 0, transparentOption,
        base.transparentColour, kDitherNone, 0, 0, 0, 0);
    if (result < 0) return result;
    if (alphaSrc == nullptr && base.paletteFlag) base.paletteCount = result + 1;
  }

  if (base.paletteFlag) BuildPalette(base, src->format);
  base.premultipliedValid = 0;
  base.runTableValid = 0;

  if (w == dest->width && h == dest->height && base.colourType <= MemImgXrgb32 &&
      base.runTable != nullptr) {
    base.runTableValid = 1;
    if (base.alphaFlag && base.premultiplied != nullptr) {
      base.premultipliedValid = 1;
      FillPremultiplied(base);
    }
    BuildRunTable(base);
  }
  return 0;
}

int AddMemImgRunTable(MEMIMG* img) {
  if (!IsValidMemImg(img)) return -1;
  MemImgBase& base = *img->base;
  if (base.paletteFlag || base.colourType > MemImgXrgb32) return -1;
  if (base.runTable == nullptr) {
    const int64_t size = (int64_t{base.width} + 5) * base.height;
    if (size > INT32_MAX) return -1;
    base.runTable = static_cast<uint8_t*>(TrackedAlloc(size > 0 ? static_cast<int32_t>(size) : 1, __FILE__, __LINE__));
    if (base.runTable == nullptr) return -1;
  }
  BuildRunTable(base);
  base.runTableValid = 1;
  return 0;
}

int CopyMemImgRect(MEMIMG* dest, const MEMIMG* src, const IntRect* rect, int32_t x, int32_t y) {
  if (!IsValidMemImg(dest) || !IsValidMemImg(src)) return -1;
  MarkMemImgChanged(dest);
  const IntRect r = rect != nullptr ? *rect : IntRect{0, 0, src->width, src->height};
  const int64_t w = int64_t{r.x2} - r.x1;
  const int64_t h = int64_t{r.y2} - r.y1;
  if (w <= 0 || h <= 0) return -1;
  // Neither image may be read or written outside itself.
  if (r.x1 < 0 || r.y1 < 0 || r.x2 > src->width || r.y2 > src->height ||
      !FitsInside(dest, x, y, static_cast<int32_t>(w), static_cast<int32_t>(h))) {
    return -1;
  }
  const PixelRect pixelRect{r.x1, r.y1, r.x2, r.y2};
  return ConvertPixelRect(dest->pixels, dest->base->pitch, dest->base->format, src->pixels,
                          src->base->pitch, src->base->format, nullptr, 0, nullptr, x, y, &pixelRect,
                          0, 0, 0, kDitherNone, 0, 0, 0, 0);
}

}  // namespace quelt
