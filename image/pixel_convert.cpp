#include "image/pixel_convert.h"

#include <array>
#include <cstring>

#include "image/pixel_convert_internal.h"

namespace quelt {
namespace pixel_convert {
namespace {

// The 4 x 4 Bayer matrix, by rows.
constexpr std::array<uint8_t, 16> kOrderedDitherTable = {0, 8, 2, 10, 12, 4, 14, 6,
                                                         3, 11, 1, 9, 15, 7, 13, 5};

bool ValidPixelSize(int bytes) { return bytes >= 1 && bytes <= 4; }

// Row start of pixel (x, y) in a block; pitches may be negative.
inline const uint8_t* RowAt(const uint8_t* base, int32_t pitch, int64_t x, int64_t y, int bytes) {
  return base + y * pitch + x * bytes;
}
inline uint8_t* RowAt(uint8_t* base, int32_t pitch, int64_t x, int64_t y, int bytes) {
  return base + y * pitch + x * bytes;
}

struct RectSize {
  int32_t width;
  int32_t height;
};

// Palette to palette with remapping: indices go to the nearest entry of the destination palette.
void RemapPaletteIndices(const Request& q, RectSize size) {
  std::array<uint8_t, 256> map;
  for (int i = 0; i < 256; ++i) {
    const PaletteEntry& e = q.srcFormat.palette[i];
    map[i] = static_cast<uint8_t>(PackColorToPixel(&q.destFormat, e.red, e.green, e.blue, 0));
  }
  for (int32_t y = 0; y < size.height; ++y) {
    const uint8_t* s = RowAt(q.src, q.srcPitch, q.rect.left, int64_t{q.rect.top} + y, 1);
    uint8_t* d = RowAt(q.dest, q.destPitch, q.destX, int64_t{q.destY} + y, 1);
    if (q.mirror) {
      for (int32_t x = 0; x < size.width; ++x) d[size.width - 1 - x] = map[s[x]];
    } else {
      for (int32_t x = 0; x < size.width; ++x) d[x] = map[s[x]];
    }
  }
}

// Palette to palette, indices copied unchanged; returns the largest index copied.
int CopyPaletteIndices(const Request& q, RectSize size) {
  int largest = 0;
  for (int32_t y = 0; y < size.height; ++y) {
    const uint8_t* s = RowAt(q.src, q.srcPitch, q.rect.left, int64_t{q.rect.top} + y, 1);
    uint8_t* d = RowAt(q.dest, q.destPitch, q.destX, int64_t{q.destY} + y, 1);
    for (int32_t x = 0; x < size.width; ++x) {
      if (s[x] > largest) largest = s[x];
    }
    if (q.mirror) {
      for (int32_t x = 0; x < size.width; ++x) d[size.width - 1 - x] = s[x];
    } else {
      std::memmove(d, s, static_cast<size_t>(size.width));
    }
  }
  return largest;
}

// True-colour sources into a palette: the nearest entry of each pixel's colour.
// Channels are first brought to 8 bits, since the nearest-entry search compares 8-bit
// values.
void ConvertToPalette(const Request& q, RectSize size) {
  const ColorFormat& f = q.srcFormat;
  const int bytes = f.bytesPerPixel;
  for (int32_t y = 0; y < size.height; ++y) {
    const uint8_t* s = RowAt(q.src, q.srcPitch, q.rect.left, int64_t{q.rect.top} + y, bytes);
    uint8_t* d = RowAt(q.dest, q.destPitch, q.destX, int64_t{q.destY} + y, 1);
    for (int32_t x = 0; x < size.width; ++x, s += bytes) {
      const uint32_t v = LoadRaw(s, bytes);
      const int r = static_cast<int>(ChangeWidth(Extract(v, f.redMask, f.redShift), f.redWidth, 8));
      const int g =
          static_cast<int>(ChangeWidth(Extract(v, f.greenMask, f.greenShift), f.greenWidth, 8));
      const int b =
          static_cast<int>(ChangeWidth(Extract(v, f.blueMask, f.blueShift), f.blueWidth, 8));
      const int a =
          static_cast<int>(ChangeWidth(Extract(v, f.alphaMask, f.alphaShift), f.alphaWidth, 8));
      d[x] = static_cast<uint8_t>(PackColorToPixel(&q.destFormat, r, g, b, a));
    }
  }
}

// Identical layouts, copied row by row. skipTransparent compares a palette pixel's
// colour (its entry, as the general path reads it), any other pixel's raw value.
void CopySameFormat(const Request& q, RectSize size) {
  const int bytes = q.srcFormat.bytesPerPixel;
  const bool palette = bytes == 1;
  const uint32_t key = bytes >= 4 || palette ? q.transparentColour
                                             : q.transparentColour & MaxOfWidth(bytes * 8);
  const size_t rowBytes = static_cast<size_t>(size.width) * bytes;
  // Rows that follow one another without a gap in both blocks go as one copy (the runtime's
  // copy of a long block beats a copy a row).
  if (!q.mirror && !q.skipTransparent && RowsWithoutGaps(q, size.width)) {
    std::memmove(RowAt(q.dest, q.destPitch, q.destX, q.destY, bytes),
                 RowAt(q.src, q.srcPitch, q.rect.left, q.rect.top, bytes), rowBytes * size.height);
    return;
  }
  for (int32_t y = 0; y < size.height; ++y) {
    const uint8_t* s = RowAt(q.src, q.srcPitch, q.rect.left, int64_t{q.rect.top} + y, bytes);
    uint8_t* d = RowAt(q.dest, q.destPitch, q.destX, int64_t{q.destY} + y, bytes);
    if (q.mirror) {
      uint8_t* dm = d + int64_t{size.width - 1} * bytes;
      for (int32_t x = 0; x < size.width; ++x, s += bytes, dm -= bytes) std::memmove(dm, s, bytes);
    } else if (q.skipTransparent) {
      for (int32_t x = 0; x < size.width; ++x, s += bytes, d += bytes) {
        const uint32_t value = palette ? PaletteValue(q.srcFormat, *s) : LoadRaw(s, bytes);
        if (value != key) std::memmove(d, s, bytes);
      }
    } else {
      std::memmove(d, s, rowBytes);
    }
  }
}

// Same colour layout, alpha made from the transparent colour. Only the colour bits
// take part in the comparison, as on the general path (a source's unused bits, such as the
// top bit of a 16-bit TGA pixel, may hold anything).
void KeyTransparentSameColours(const Request& q, RectSize size) {
  const ColorFormat& df = q.destFormat;
  const int bytes = q.srcFormat.bytesPerPixel;
  const uint32_t colourMask = df.redMask | df.greenMask | df.blueMask;
  const uint32_t key =
      PackColorToPixel(&df, (q.transparentColour >> 16) & 0xFF, (q.transparentColour >> 8) & 0xFF,
                       q.transparentColour & 0xFF, 255) &
      colourMask;
  // 32-bit pixels keep every non-colour bit set; narrower ones keep what they had.
  const uint32_t setBits = bytes == 4 ? ~colourMask : df.alphaMask;
  for (int32_t y = 0; y < size.height; ++y) {
    const uint8_t* s = RowAt(q.src, q.srcPitch, q.rect.left, int64_t{q.rect.top} + y, bytes);
    uint8_t* d = RowAt(q.dest, q.destPitch, q.destX, int64_t{q.destY} + y, bytes);
    int64_t step = bytes;
    if (q.mirror) {
      d += int64_t{size.width - 1} * bytes;
      step = -step;
    }
    for (int32_t x = 0; x < size.width; ++x, s += bytes, d += step) {
      uint32_t v = LoadRaw(s, bytes) | setBits;
      if ((v & colourMask) == key) v &= ~df.alphaMask;
      StoreRaw(d, v, bytes);
    }
  }
}

struct Channel {
  uint32_t mask;
  int shift;
  int width;
};

// The general path's per-call state: decided once, applied per pixel.
struct GeneralState {
  const Request* q;
  bool useAlphaImage;
  bool widthChange;
  Channel srcR, srcG, srcB, srcA;
  int destWidthR, destWidthG, destWidthB, destWidthA;
  uint32_t keyR, keyG, keyB;   // transparent colour at the source's widths
  uint32_t skipKey;            // the raw value skipTransparent compares with
  uint32_t destFullAlpha;
  std::array<uint32_t, 4> errorSum;  // dither mode 2, carried across the whole call
};

Channel ChannelOf(uint32_t mask, int shift, int width) { return {mask, shift, width}; }

// One narrowed channel's dither step; `value` is already at the destination width.
uint32_t DitherChannel(GeneralState& st, int index, uint32_t sourceValue, int w, int v,
                       uint32_t value, int32_t x, int32_t y) {
  if (!st.widthChange || v >= w || v == 0) return value;
  const int d = w - v;
  const uint64_t remainderMax = (uint64_t{1} << d) - 1;
  const uint64_t remainder = sourceValue & remainderMax;
  bool up = false;
  if (st.q->dither == kDitherOrdered) {
    const uint64_t threshold =
        uint64_t{kOrderedDitherTable[(y & 3) * 4 + (x & 3)]} * (uint64_t{1} << d) / 16;
    up = remainder > threshold;
  } else {
    uint64_t sum = st.errorSum[index] + remainder;
    if (sum > remainderMax) {
      up = true;
      sum &= remainderMax;
    }
    st.errorSum[index] = static_cast<uint32_t>(sum);
  }
  if (up && value < MaxOfWidth(v)) ++value;
  return value;
}

void GeneralPath(const Request& q, RectSize size, bool useAlphaImage) {
  const ColorFormat& sf = q.srcFormat;
  const ColorFormat& df = q.destFormat;
  const ColorFormat& af = q.alphaFormat;
  GeneralState st{};
  st.q = &q;
  st.useAlphaImage = useAlphaImage;
  st.srcR = ChannelOf(sf.redMask, sf.redShift, sf.redWidth);
  st.srcG = ChannelOf(sf.greenMask, sf.greenShift, sf.greenWidth);
  st.srcB = ChannelOf(sf.blueMask, sf.blueShift, sf.blueWidth);
  st.srcA = ChannelOf(sf.alphaMask, sf.alphaShift, sf.alphaWidth);
  st.destWidthR = df.redWidth;
  st.destWidthG = df.greenWidth;
  st.destWidthB = df.blueWidth;
  st.destWidthA = df.alphaWidth;
  st.widthChange = sf.redWidth != df.redWidth || sf.greenWidth != df.greenWidth ||
                   (useAlphaImage && af.redWidth != df.alphaWidth);
  st.destFullAlpha = MaxOfWidth(df.alphaWidth);
  const uint32_t colour = q.transparentColour;
  if (sf.bytesPerPixel == 1) {
    st.keyR = (colour >> 16) & 0xFF;
    st.keyG = (colour >> 8) & 0xFF;
    st.keyB = colour & 0xFF;
  } else {
    const uint32_t key =
        PackColorToPixel(&sf, (colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF, 255);
    st.keyR = Extract(key, sf.redMask, sf.redShift);
    st.keyG = Extract(key, sf.greenMask, sf.greenShift);
    st.keyB = Extract(key, sf.blueMask, sf.blueShift);
  }
  // A one-byte source compares its palette entry, a 32-bit value.
  const int readBytes = sf.bytesPerPixel == 1 ? 4 : sf.bytesPerPixel;
  st.skipKey = q.transparent || readBytes == 4 ? colour : colour & MaxOfWidth(readBytes * 8);

  const int sBytes = sf.bytesPerPixel, dBytes = df.bytesPerPixel;
  const int aBytes = useAlphaImage ? af.bytesPerPixel : 0;
  // Alpha's source width depends on where it comes from.
  int alphaSourceWidth = df.alphaWidth;
  if (q.alphaFromFirstColour) {
    alphaSourceWidth = sf.redWidth;
  } else if (q.transparent) {
    alphaSourceWidth = df.alphaWidth;
  } else if (useAlphaImage) {
    alphaSourceWidth = af.redWidth;
  } else if (sf.alphaWidth != 0 && df.alphaWidth != 0) {
    alphaSourceWidth = sf.alphaWidth;
  }

  for (int32_t y = 0; y < size.height; ++y) {
    const uint8_t* s = RowAt(q.src, q.srcPitch, q.rect.left, int64_t{q.rect.top} + y, sBytes);
    const uint8_t* a =
        useAlphaImage ? RowAt(q.alpha, q.alphaPitch, q.rect.left, int64_t{q.rect.top} + y, aBytes)
                      : nullptr;
    uint8_t* d = RowAt(q.dest, q.destPitch, q.destX, int64_t{q.destY} + y, dBytes);
    int64_t step = dBytes;
    if (q.mirror) {
      d += int64_t{size.width - 1} * dBytes;
      step = -step;
    }
    for (int32_t x = 0; x < size.width; ++x, s += sBytes, a += aBytes, d += step) {
      const uint32_t v = LoadPixel(sf, s);
      if (q.skipTransparent && v == st.skipKey) continue;
      const uint32_t r = Extract(v, st.srcR.mask, st.srcR.shift);
      const uint32_t g = Extract(v, st.srcG.mask, st.srcG.shift);
      const uint32_t b = Extract(v, st.srcB.mask, st.srcB.shift);
      uint32_t alpha;
      if (q.transparent) {
        alpha = (r == st.keyR && g == st.keyG && b == st.keyB) ? 0 : st.destFullAlpha;
      } else if (useAlphaImage) {
        alpha = Extract(LoadPixel(af, a), af.redMask, af.redShift);
      } else if (sf.alphaWidth == 0) {
        alpha = st.destFullAlpha;
      } else if (df.alphaWidth == 0) {
        alpha = 0;
      } else {
        alpha = Extract(v, st.srcA.mask, st.srcA.shift);
      }
      if (q.alphaFromFirstColour) alpha = r;

      uint32_t outR = r, outG = g, outB = b, outA = alpha;
      if (st.widthChange) {
        outR = ChangeWidth(r, sf.redWidth, df.redWidth);
        outG = ChangeWidth(g, sf.greenWidth, df.greenWidth);
        outB = ChangeWidth(b, sf.blueWidth, df.blueWidth);
        outA = ChangeWidth(alpha, alphaSourceWidth, df.alphaWidth);
        if (q.dither != kDitherNone) {
          if (!q.colourOff) {
            outR = DitherChannel(st, 0, r, sf.redWidth, df.redWidth, outR, x, y);
            outG = DitherChannel(st, 1, g, sf.greenWidth, df.greenWidth, outG, x, y);
            outB = DitherChannel(st, 2, b, sf.blueWidth, df.blueWidth, outB, x, y);
          }
          outA = DitherChannel(st, 3, alpha, alphaSourceWidth, df.alphaWidth, outA, x, y);
        }
      }
      if (q.colourOff) outR = outG = outB = 0;
      // Channels are kept inside their destination bits, so that a channel that did not
      // change width cannot spill into its neighbours.
      uint32_t out = Place(outR, df.redShift) & df.redMask;
      out |= Place(outG, df.greenShift) & df.greenMask;
      out |= Place(outB, df.blueShift) & df.blueMask;
      out |= Place(outA, df.alphaShift) & df.alphaMask;
      if (dBytes == 2 || dBytes == 4) out |= df.unusedMask;
      StoreRaw(d, out, dBytes);
    }
  }
}

}  // namespace

int Convert(Request& q, bool allowFastLoops, bool* usedFastLoops) {
  if (usedFastLoops) *usedFastLoops = false;
  ColorFormat& sf = q.srcFormat;
  ColorFormat& df = q.destFormat;
  if (!q.alpha || !ValidPixelSize(q.alphaFormat.bytesPerPixel)) {
    q.alpha = nullptr;
    q.alphaFormat = {};
  }
  // Where the destination's alpha comes from.
  const bool destHasAlpha = df.alphaWidth != 0;
  const bool alphaGiven = q.alpha != nullptr;
  const bool alphaCarried = destHasAlpha && (alphaGiven || sf.alphaWidth != 0);
  const bool useAlphaImage = destHasAlpha && alphaGiven && sf.alphaWidth == 0;
  // Options that an alpha source, a destination without alpha or mirroring make void.
  if (alphaCarried || !destHasAlpha || q.alphaFromFirstColour) q.transparent = 0;
  if (alphaCarried || q.mirror) q.skipTransparent = 0;
  // An empty rectangle fails (a reversed one is as empty as a zero-sized one).
  const RectSize size{q.rect.right - q.rect.left, q.rect.bottom - q.rect.top};
  if (size.width <= 0 || size.height <= 0) return -1;
  // Layouts the routine cannot walk (DXT data, sub-byte pixels) are refused.
  if (!ValidPixelSize(sf.bytesPerPixel) || !ValidPixelSize(df.bytesPerPixel) ||
      sf.compression != kCompressionNone || df.compression != kCompressionNone) {
    return -1;
  }

  // Palette destinations: remap, copy indices or search the palette.
  if (q.paletteCopy && sf.bytesPerPixel == 1 && df.bytesPerPixel == 1 &&
      sf.palette != df.palette) {
    RemapPaletteIndices(q, size);
    return 0;
  }
  // The blend-mask options make a one-byte value of each pixel (its first colour), not a
  // palette index: such destinations share one byte among all channels and have no palette
  // to search, so they take the general path whatever the source.
  const bool maskValues = q.colourOff || q.alphaFromFirstColour;
  if (df.bitDepth == 8 && !maskValues) {
    if (sf.bitDepth == 8 && sf.bytesPerPixel == 1 && !q.skipTransparent) {
      return CopyPaletteIndices(q, size);
    }
    if (sf.bitDepth == 16 || sf.bitDepth == 24 || sf.bitDepth == 32) {
      ConvertToPalette(q, size);
      return 0;
    }
    if (sf.bitDepth != 8) return 0;
  }
  // Identical layouts: a plain copy.
  const bool sameColours = sf.redMask == df.redMask && sf.greenMask == df.greenMask &&
                           sf.blueMask == df.blueMask && sf.bitDepth == df.bitDepth &&
                           sf.bytesPerPixel == df.bytesPerPixel;
  if (!q.transparent && !useAlphaImage && !q.colourOff && !q.alphaFromFirstColour && sameColours &&
      sf.alphaMask == df.alphaMask) {
    CopySameFormat(q, size);
    return 0;
  }
  // Same colours with a transparent colour keyed into alpha.
  if (!q.skipTransparent && destHasAlpha && q.transparent && !q.colourOff &&
      !q.alphaFromFirstColour && sameColours && sf.bytesPerPixel != 1) {
    KeyTransparentSameColours(q, size);
    return 0;
  }
  // The dedicated loops for common pairs, else the general per-pixel path.
  const bool widthChange = sf.redWidth != df.redWidth || sf.greenWidth != df.greenWidth ||
                           (useAlphaImage && q.alphaFormat.redWidth != df.alphaWidth);
  if (allowFastLoops && TryFastLoops(q, useAlphaImage, widthChange)) {
    if (usedFastLoops) *usedFastLoops = true;
    return 0;
  }
  GeneralPath(q, size, useAlphaImage);
  return 0;
}

}  // namespace pixel_convert

int ConvertPixelRect(void* destPixels, int32_t destPitch, const ColorFormat* destFormat,
                     const void* srcPixels, int32_t srcPitch, const ColorFormat* srcFormat,
                     const void* alphaPixels, int32_t alphaPitch, const ColorFormat* alphaFormat,
                     int32_t destX, int32_t destY, const PixelRect* rect, int mirror,
                     int transparent, uint32_t transparentColour, int dither, int colourOff,
                     int alphaFromFirstColour, int skipTransparent, int paletteCopy) {
  pixel_convert::Request q;
  q.dest = static_cast<uint8_t*>(destPixels);
  q.destPitch = destPitch;
  q.destFormat = *destFormat;
  q.src = static_cast<const uint8_t*>(srcPixels);
  q.srcPitch = srcPitch;
  q.srcFormat = *srcFormat;
  q.alpha = alphaFormat ? static_cast<const uint8_t*>(alphaPixels) : nullptr;
  q.alphaPitch = alphaPitch;
  if (q.alpha) {
    q.alphaFormat = *alphaFormat;
  } else {
    q.alphaFormat = {};
  }
  q.destX = destX;
  q.destY = destY;
  q.rect = *rect;
  q.mirror = mirror;
  q.transparent = transparent;
  q.transparentColour = transparentColour;
  q.dither = dither;
  q.colourOff = colourOff;
  q.alphaFromFirstColour = alphaFromFirstColour;
  q.skipTransparent = skipTransparent;
  q.paletteCopy = paletteCopy;
  return pixel_convert::Convert(q, true);
}

}  // namespace quelt
