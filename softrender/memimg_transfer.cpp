// Moving pixels into and between memory images: decoded images into a memory image
// (with its palette, premultiplied copy and run table) and the format-converting copy.
#include <cstring>

#include "image/pixel_convert.h"
#include "softrender/memimg_format.h"

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

// Kind of pixel x of a row: 0 transparent, 1 opaque, 2 translucent.
uint8_t PixelKind(const MemImgBase& base, const uint8_t* row, int32_t x) {
  if (base.paletteFlag) return row[x] == base.transparentColour ? RunTransparent : RunOpaque;
  if (base.alphaFlag) {
    const uint8_t a = base.colourType == MemImgXrgb32 ? row[4 * x + 3] : row[4 * x + 2];
    return a == 0 ? RunTransparent : a == 255 ? RunOpaque : RunTranslucent;
  }
  uint32_t value;
  if (base.colourType == MemImgXrgb32) {
    std::memcpy(&value, row + 4 * x, 4);
  } else {
    uint16_t v16;
    std::memcpy(&v16, row + 2 * x, 2);
    value = v16;
  }
  return value == TransparentKey(base) ? RunTransparent : RunOpaque;
}

void BuildRunTable(const MemImgBase& base) {
  uint8_t* out = base.runTable;
  for (int32_t y = 0; y < base.height; ++y) {
    const uint8_t* row = base.pixels + y * base.pitch;
    int32_t x = 0;
    while (x < base.width) {
      const uint8_t kind = PixelKind(base, row, x);
      int32_t length = 1;
      while (length < 64 && x + length < base.width && PixelKind(base, row, x + length) == kind) ++length;
      *out++ = static_cast<uint8_t>(kind << 6 | (length - 1));
      x += length;
    }
    *out++ = kRunRowEnd;
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

int CopyMemImgRect(MEMIMG* dest, const MEMIMG* src, const IntRect* rect, int32_t x, int32_t y) {
  if (!IsValidMemImg(dest) || !IsValidMemImg(src)) return -1;
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
