// The dedicated loops of the conversion for the common pairs: palette, 16, 24 and 32-bit
// sources into 16, 24 and 32-bit destinations with plain channels, no option but the
// transparent colour. They compute exactly what the general path computes, from tables
// built once per call.
#include <array>

#include "image/pixel_convert_internal.h"

namespace quelt::pixel_convert {
namespace {

bool PlainChannels(const ColorFormat& f) {
  if (!IsExactRun(f.redMask, f.redShift, f.redWidth) ||
      !IsExactRun(f.greenMask, f.greenShift, f.greenWidth) ||
      !IsExactRun(f.blueMask, f.blueShift, f.blueWidth) ||
      !IsExactRun(f.alphaMask, f.alphaShift, f.alphaWidth)) {
    return false;
  }
  if (f.redWidth > 8 || f.greenWidth > 8 || f.blueWidth > 8 || f.alphaWidth > 8) return false;
  const uint32_t all[] = {f.redMask, f.greenMask, f.blueMask, f.alphaMask};
  uint32_t seen = 0;
  for (uint32_t m : all) {
    if (seen & m) return false;
    seen |= m;
  }
  return true;
}

struct ChannelTable {
  std::array<uint32_t, 256> out;  // destination bits for each source value
  uint32_t max;                    // largest source value
  int shift;                       // source shift
};

void BuildChannel(ChannelTable& t, int srcShift, int srcWidth, int destShift, int destWidth,
                  uint32_t destMask, bool widthChange) {
  t.max = MaxOfWidth(srcWidth);
  t.shift = srcShift;
  for (uint32_t c = 0; c < 256; ++c) {
    const uint32_t v = widthChange ? ChangeWidth(c & t.max, srcWidth, destWidth) : (c & t.max);
    t.out[c] = Place(v, destShift) & destMask;
  }
}

struct FastState {
  ChannelTable red, green, blue, alpha;
  uint32_t colourMask;  // source colour bits
  uint32_t keyBits;     // transparent colour in the source's colour bits
  uint32_t fullAlpha;   // destination alpha bits when opaque (0 without alpha)
  uint32_t unused;      // OR-ed into every 16 and 32-bit destination pixel
  bool transparent;
  bool alphaFromSource;
  bool directColour;    // source colour bits land unchanged in the destination
};

template <int SrcBytes, int DestBytes, bool DirectColour>
void TrueColourLoop(const Request& q, const FastState& st, int32_t width, int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = q.src + (int64_t{q.rect.top} + y) * q.srcPitch + int64_t{q.rect.left} * SrcBytes;
    uint8_t* d = q.dest + (int64_t{q.destY} + y) * q.destPitch + int64_t{q.destX} * DestBytes;
    for (int32_t x = 0; x < width; ++x, s += SrcBytes, d += DestBytes) {
      const uint32_t v = LoadRaw(s, SrcBytes);
      uint32_t out;
      if constexpr (DirectColour) {
        out = v & st.colourMask;
      } else {
        out = st.red.out[(v >> st.red.shift) & st.red.max] |
              st.green.out[(v >> st.green.shift) & st.green.max] |
              st.blue.out[(v >> st.blue.shift) & st.blue.max];
      }
      if (st.transparent) {
        out |= (v & st.colourMask) == st.keyBits ? 0 : st.fullAlpha;
      } else if (st.alphaFromSource) {
        out |= st.alpha.out[(v >> st.alpha.shift) & st.alpha.max];
      } else {
        out |= st.fullAlpha;
      }
      StoreRaw(d, out | st.unused, DestBytes);
    }
  }
}

template <int DestBytes>
void PaletteLoop(const Request& q, const std::array<uint32_t, 256>& table, int32_t width,
                 int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = q.src + (int64_t{q.rect.top} + y) * q.srcPitch + q.rect.left;
    uint8_t* d = q.dest + (int64_t{q.destY} + y) * q.destPitch + int64_t{q.destX} * DestBytes;
    for (int32_t x = 0; x < width; ++x, d += DestBytes) StoreRaw(d, table[s[x]], DestBytes);
  }
}

template <int SrcBytes>
void DispatchDest(const Request& q, const FastState& st, int32_t width, int32_t height) {
  switch (q.destFormat.bytesPerPixel) {
    case 2:
      if (st.directColour) TrueColourLoop<SrcBytes, 2, true>(q, st, width, height);
      else TrueColourLoop<SrcBytes, 2, false>(q, st, width, height);
      break;
    case 3:
      if (st.directColour) TrueColourLoop<SrcBytes, 3, true>(q, st, width, height);
      else TrueColourLoop<SrcBytes, 3, false>(q, st, width, height);
      break;
    default:
      if (st.directColour) TrueColourLoop<SrcBytes, 4, true>(q, st, width, height);
      else TrueColourLoop<SrcBytes, 4, false>(q, st, width, height);
      break;
  }
}

// A palette source: the 256 destination pixels are made once by the general path itself.
void PaletteSource(const Request& q, int32_t width, int32_t height) {
  std::array<uint8_t, 256> indices;
  for (int i = 0; i < 256; ++i) indices[i] = static_cast<uint8_t>(i);
  std::array<uint8_t, 256 * 4> pixels{};
  Request one = q;
  one.src = indices.data();
  one.srcPitch = 256;
  one.dest = pixels.data();
  one.destPitch = 256 * 4;
  one.destX = 0;
  one.destY = 0;
  one.rect = {0, 0, 256, 1};
  Convert(one, false);
  const int bytes = q.destFormat.bytesPerPixel;
  std::array<uint32_t, 256> table;
  for (int i = 0; i < 256; ++i) table[i] = LoadRaw(pixels.data() + i * bytes, bytes);
  switch (bytes) {
    case 2: PaletteLoop<2>(q, table, width, height); break;
    case 3: PaletteLoop<3>(q, table, width, height); break;
    default: PaletteLoop<4>(q, table, width, height); break;
  }
}

}  // namespace

bool TryFastLoops(const Request& q, bool useAlphaImage, bool widthChange) {
  const ColorFormat& sf = q.srcFormat;
  const ColorFormat& df = q.destFormat;
  if (q.mirror || q.colourOff || q.alphaFromFirstColour || q.skipTransparent || useAlphaImage) {
    return false;
  }
  if (q.dither != kDitherNone && widthChange) return false;
  if (df.bytesPerPixel < 2 || !PlainChannels(df)) return false;
  const int32_t width = q.rect.right - q.rect.left, height = q.rect.bottom - q.rect.top;
  if (sf.bytesPerPixel == 1) {
    if (sf.bitDepth != 8) return false;
    PaletteSource(q, width, height);
    return true;
  }
  if (!PlainChannels(sf)) return false;

  FastState st{};
  BuildChannel(st.red, sf.redShift, sf.redWidth, df.redShift, df.redWidth, df.redMask, widthChange);
  BuildChannel(st.green, sf.greenShift, sf.greenWidth, df.greenShift, df.greenWidth, df.greenMask,
               widthChange);
  BuildChannel(st.blue, sf.blueShift, sf.blueWidth, df.blueShift, df.blueWidth, df.blueMask,
               widthChange);
  BuildChannel(st.alpha, sf.alphaShift, sf.alphaWidth, df.alphaShift, df.alphaWidth, df.alphaMask,
               widthChange);
  st.colourMask = sf.redMask | sf.greenMask | sf.blueMask;
  const uint32_t c = q.transparentColour;
  st.keyBits =
      PackColorToPixel(&sf, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 255) & st.colourMask;
  st.fullAlpha = df.alphaMask;
  st.unused = df.bytesPerPixel == 3 ? 0 : df.unusedMask;
  st.transparent = q.transparent != 0;
  st.alphaFromSource = sf.alphaWidth != 0 && df.alphaWidth != 0;
  st.directColour = !widthChange && sf.redMask == df.redMask && sf.greenMask == df.greenMask &&
                    sf.blueMask == df.blueMask;
  switch (sf.bytesPerPixel) {
    case 2: DispatchDest<2>(q, st, width, height); break;
    case 3: DispatchDest<3>(q, st, width, height); break;
    default: DispatchDest<4>(q, st, width, height); break;
  }
  return true;
}

}  // namespace quelt::pixel_convert
