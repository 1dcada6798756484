// Fills: a raw store without blending (ClearMemImg) and a colour drawn through the
// current blend mode (MemImgFillRect). The fill's bright scaling divides by 256, the
// blitters' by 255.
#include <array>
#include <cstring>

#include "core/numbers.h"
#include "softrender/blend_kernels.h"
#include "softrender/memimg_draw.h"
#include "softrender/soft_draw_state.h"

namespace quelt {

void ClearMemImg(MEMIMG* img, const IntRect* rect, uint32_t value) {
  if (!IsValidMemImg(img)) return;
  MarkMemImgChanged(img);
  IntRect r{0, 0, img->width, img->height};
  if (rect != nullptr) {
    r = *rect;
    ClipRectangle(r, IntRect{0, 0, img->width, img->height});
  }
  const int32_t width = r.x2 - r.x1;
  const int32_t height = r.y2 - r.y1;
  if (width <= 0 || height <= 0) return;
  const int32_t bytes = MemImgBytesPerPixel(*img->base);
  const int32_t pitch = img->base->pitch;
  uint8_t* row = img->pixels + r.y1 * pitch + r.x1 * bytes;
  for (int32_t y = 0; y < height; ++y, row += pitch) {
    switch (bytes) {
      case 1:
        std::memset(row, static_cast<int>(value & 0xFF), static_cast<size_t>(width));
        break;
      case 2:
        for (int32_t x = 0; x < width; ++x) StorePixel16(row + 2 * x, value);
        break;
      case 4:
        for (int32_t x = 0; x < width; ++x) StorePixel32(row + 4 * x, value);
        break;
      default:
        return;
    }
  }
}

namespace {

// The fill's rules per destination pixel; c is the colour after bright scaling.
template <int Mode>
void FillPixel32(uint8_t* dp, uint32_t c, int32_t p) {
  const uint32_t d = LoadPixel32(dp);
  if constexpr (Mode == BlendAdd || Mode == BlendSub) {
    const int32_t* pRow = ProductTable[p];
    const uint32_t t = uint32_t(pRow[c & 0xFF]) | uint32_t(pRow[(c >> 8) & 0xFF]) << 8 |
                       uint32_t(pRow[(c >> 16) & 0xFF]) << 16;
    StorePixel32(dp, Mode == BlendAdd ? softblit::PackedAdd32(d, t) : softblit::PackedSub32(d, t));
  } else {
    uint32_t out = d & 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8) {
      const int32_t dc = (d >> shift) & 0xFF;
      const int32_t cc = (c >> shift) & 0xFF;
      int32_t v;  // arithmetic shifts: the floor of the signed products
      if constexpr (Mode == BlendAlpha) {
        v = dc + ((p * (cc - dc)) >> 8);
      } else if constexpr (Mode == BlendInvertAlpha) {
        v = dc + ((p * (255 - cc - dc)) >> 8);
      } else if constexpr (Mode == BlendProductAlpha) {
        v = dc + ((p * (((dc * cc) >> 8) - dc)) >> 8);
      } else {
        static_assert(Mode == BlendMul);
        v = (dc * cc) >> 8;
      }
      out |= static_cast<uint32_t>(v) << shift;
    }
    StorePixel32(dp, out);
  }
}

template <int Mode>
void FillPixel16(uint8_t* dp, uint32_t c, int32_t p) {
  const uint32_t d = LoadPixel16(dp);
  if constexpr (Mode == BlendAdd || Mode == BlendSub) {
    const int32_t* pRow = ProductTable[p];
    const uint32_t t = uint32_t(pRow[c >> 11]) << 11 | uint32_t(pRow[(c >> 5) & 63]) << 5 |
                       uint32_t(pRow[c & 31]);
    StorePixel16(dp, Mode == BlendAdd ? softblit::PackedAdd16(d, t) : softblit::PackedSub16(d, t));
  } else {
    constexpr int kShift[3] = {11, 5, 0};
    constexpr int kWidth[3] = {5, 6, 5};
    const int32_t* signedRow = SignedProductRow(p);
    uint32_t out = 0;
    for (int f = 0; f < 3; ++f) {
      const int32_t max = (1 << kWidth[f]) - 1;
      const int32_t dc = (d >> kShift[f]) & max;
      const int32_t cc = (c >> kShift[f]) & max;
      int32_t v;
      if constexpr (Mode == BlendAlpha) {
        v = dc + signedRow[cc - dc];
      } else if constexpr (Mode == BlendInvertAlpha) {
        v = dc + signedRow[max - cc - dc];
      } else if constexpr (Mode == BlendProductAlpha) {
        v = dc + signedRow[((dc * cc) >> kWidth[f]) - dc];
      } else {
        static_assert(Mode == BlendMul);
        v = (dc * cc) >> kWidth[f];
      }
      out |= static_cast<uint32_t>(v) << kShift[f];
    }
    StorePixel16(dp, out);
  }
}

template <bool Is16, int Mode>
void FillLoop(uint8_t* row, int32_t pitch, int32_t width, int32_t height, uint32_t c, int32_t p) {
  for (int32_t y = 0; y < height; ++y, row += pitch) {
    uint8_t* dp = row;
    for (int32_t x = 0; x < width; ++x, dp += Is16 ? 2 : 4) {
      if constexpr (Is16) {
        FillPixel16<Mode>(dp, c, p);
      } else {
        FillPixel32<Mode>(dp, c, p);
      }
    }
  }
}

// Mode 0: whole rows of the colour.
template <bool Is16>
void FillCopyLoop(uint8_t* row, int32_t pitch, int32_t width, int32_t height, uint32_t c, int32_t) {
  for (int32_t y = 0; y < height; ++y, row += pitch) {
    for (int32_t x = 0; x < width; ++x) {
      if constexpr (Is16) {
        StorePixel16(row + 2 * x, c);
      } else {
        StorePixel32(row + 4 * x, c);
      }
    }
  }
}

using FillFn = void (*)(uint8_t*, int32_t, int32_t, int32_t, uint32_t, int32_t);

template <bool Is16>
constexpr std::array<FillFn, SoftBlendModeCount> kFillTable = {
    FillCopyLoop<Is16>,
    FillLoop<Is16, BlendAlpha>,
    FillLoop<Is16, BlendAdd>,
    FillLoop<Is16, BlendSub>,
    FillLoop<Is16, BlendMul>,
    nullptr, nullptr, nullptr, nullptr, nullptr,
    FillLoop<Is16, BlendInvertAlpha>,
    FillLoop<Is16, BlendProductAlpha>,
};

uint32_t BrightenFill32(uint32_t c, uint32_t bright) {
  uint32_t out = c & 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) {
    out |= ((((c >> shift) & 0xFF) * ((bright >> shift) & 0xFF)) >> 8) << shift;
  }
  return out;
}

uint32_t BrightenFill16(uint32_t c, uint32_t bright) {
  const uint32_t r = (((c >> 11) & 31) * ((bright >> 16) & 0xFF)) >> 8;
  const uint32_t g = (((c >> 5) & 63) * ((bright >> 8) & 0xFF)) >> 8;
  const uint32_t b = ((c & 31) * (bright & 0xFF)) >> 8;
  return r << 11 | g << 5 | b;
}

}  // namespace

void MemImgFillRect(MEMIMG* img, const IntRect* rect, uint32_t colour) {
  if (!IsValidMemImg(img)) return;
  MarkMemImgChanged(img);
  const MemImgBase& base = *img->base;
  if (base.paletteFlag || base.alphaFlag) return;
  IntRect r{0, 0, img->width, img->height};
  if (rect != nullptr) {
    r = {rect->x1 < rect->x2 ? rect->x1 : rect->x2, rect->y1 < rect->y2 ? rect->y1 : rect->y2,
         rect->x1 < rect->x2 ? rect->x2 : rect->x1, rect->y1 < rect->y2 ? rect->y2 : rect->y1};
  }
  ClipRectangle(r, SoftDraw.ClipRect);
  ClipRectangle(r, IntRect{0, 0, img->width, img->height});
  const int32_t width = r.x2 - r.x1;
  const int32_t height = r.y2 - r.y1;
  if (width == 0 || height == 0) return;
  if (base.colourType != MemImgXrgb32 && base.colourType != MemImgRgb565) return;
  const bool is16 = base.colourType == MemImgRgb565;
  if (is16) colour &= 0xFFFF;

  const uint32_t bright = SoftDraw.BrightColour;
  if (BrightIsOn(bright)) colour = is16 ? BrightenFill16(colour, bright) : BrightenFill32(colour, bright);

  const int32_t p = ClampToByte(SoftDraw.BlendParam);
  const int32_t mode = ResolveSoftBlendMode(static_cast<uint32_t>(SoftDraw.BlendMode), static_cast<uint32_t>(p));
  if (mode == SoftDrawsNothing) return;
  const FillFn fill = is16 ? kFillTable<true>[mode] : kFillTable<false>[mode];

  const int32_t bytes = is16 ? 2 : 4;
  fill(img->pixels + r.y1 * base.pitch + r.x1 * bytes, base.pitch, width, height, colour, p);
}

}  // namespace quelt
