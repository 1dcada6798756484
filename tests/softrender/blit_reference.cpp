#include "blit_reference.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace blitref {

using quelt::IntRect;
using quelt::MEMIMG;
using quelt::SoftDrawState;

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
int64_t Product(int64_t a, int64_t b) { return a * b / 255; }          // ProductTable
int64_t SignedProduct(int64_t i, int64_t d) { return i * d / 255; }    // truncates toward zero
int64_t Blend6(int64_t j, int64_t a, int64_t b) { return (a * j + b * (63 - j)) / 63; }
int64_t Border(const uint8_t* blendByte) { return quelt::BorderTable[*blendByte]; }

uint32_t Read(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  std::memcpy(&v, p, bytes);
  return v;
}
void Write(uint8_t* p, uint32_t v, int bytes) { std::memcpy(p, &v, bytes); }

// Channel c of a pixel: 32-bit bytes 0..2 (blue, green, red); 16-bit fields red, green, blue.
struct Layout {
  bool is16;
  int count() const { return 3; }
  int shift(int c) const { return is16 ? (c == 0 ? 11 : c == 1 ? 5 : 0) : 8 * c; }
  int width(int c) const { return is16 ? (c == 1 ? 6 : 5) : 8; }
  int64_t max(int c) const { return (int64_t{1} << width(c)) - 1; }
  int64_t get(uint32_t v, int c) const { return (v >> shift(c)) & max(c); }
  // The bright byte that scales channel c.
  int64_t bright(uint32_t colour, int c) const {
    const int byte = is16 ? (c == 0 ? 2 : c == 1 ? 1 : 0) : c;
    return (colour >> (8 * byte)) & 0xFF;
  }
};

// ---- packed operations spelled out ----

struct Rgb {
  int64_t r, g, b;
};
Rgb Split16(uint32_t v) { return {(v >> 11) & 31, (v >> 5) & 63, v & 31}; }
uint32_t Join16(Rgb c) { return static_cast<uint32_t>(c.r << 11 | c.g << 5 | c.b); }

// One 16-bit pixel of the add. blueFull: blue adds all five bits (else its lowest bits
// are dropped and carryIn takes their place); orLow: green's and red's lowest bits also
// take the OR of both inputs' lowest bits.
uint32_t Add16(uint32_t dv, uint32_t tv, int64_t carryIn, bool blueFull, bool orLow, int64_t* carryOut) {
  const Rgb d = Split16(dv), t = Split16(tv);
  const int64_t bsum = blueFull ? d.b + t.b : (d.b & 0x1E) + (t.b & 0x1E) + carryIn;
  const bool cb = bsum > 31;
  const int64_t blue = cb ? 31 : bsum;
  const int64_t gsum = (d.g & 0x3E) + (t.g & 0x3E) + cb;
  const bool cg = gsum > 63;
  const int64_t green = (cg ? 62 : (gsum & 62)) | cb | (orLow ? ((d.g | t.g) & 1) : 0);
  const int64_t rsum = (d.r & 0x1E) + (t.r & 0x1E) + cg;
  const bool cr = rsum > 31;
  const int64_t red = (cr ? 31 : rsum) | (orLow ? ((d.r | t.r) & 1) : 0);
  if (carryOut != nullptr) *carryOut = cr;
  return Join16({red, green, blue});
}

uint32_t Sub16(uint32_t dv, uint32_t tv, int64_t borrowIn, bool blueFull, int64_t* borrowOut) {
  const Rgb d = Split16(dv), t = Split16(tv);
  const int64_t bv = blueFull ? d.b - t.b : (d.b | 1) - (t.b & 0x1E) - borrowIn;
  const bool bb = bv < 0;
  const int64_t gv = (d.g | 1) - (t.g & 0x3E) - bb;
  const bool bg = gv < 0;
  const int64_t rv = (d.r | 1) - (t.r & 0x1E) - bg;
  const bool br = rv < 0;
  if (borrowOut != nullptr) *borrowOut = br;
  return Join16({br ? 0 : rv, bg ? 0 : (gv & 0x3E), bb ? 0 : bv});
}

}  // namespace

uint32_t PackedAdd32(uint32_t d, uint32_t t) {
  const int64_t db = d & 0xFF, dg = (d >> 8) & 0xFF, dr = (d >> 16) & 0xFF;
  const int64_t tb = t & 0xFF, tg = (t >> 8) & 0xFF, tr = (t >> 16) & 0xFF;
  const int64_t bsum = db + tb;
  const bool cb = bsum > 255;
  const int64_t gsum = (dg & 0xFE) + (tg & 0xFE) + cb;
  const bool cg = gsum > 255;
  const int64_t rsum = (dr & 0xFE) + (tr & 0xFE) + cg;
  const bool cr = rsum > 255;
  const int64_t blue = cb ? 255 : bsum;
  const int64_t green = cg ? 255 : (gsum | ((dg | tg) & 1));
  const int64_t red = cr ? 255 : (rsum | ((dr | tr) & 1));
  return static_cast<uint32_t>(blue | green << 8 | red << 16 | int64_t{cr} << 24);
}

uint32_t PackedSub32(uint32_t d, uint32_t t) {
  const int64_t db = d & 0xFF, dg = (d >> 8) & 0xFF, dr = (d >> 16) & 0xFF;
  const int64_t tb = t & 0xFF, tg = (t >> 8) & 0xFF, tr = (t >> 16) & 0xFF;
  const int64_t bv = db - tb;
  const bool bb = bv < 0;
  const int64_t gv = (dg | 1) - (tg & 0xFE) - bb;
  const bool bg = gv < 0;
  const int64_t rv = (dr | 1) - (tr & 0xFE) - bg;
  const bool br = rv < 0;
  return static_cast<uint32_t>((bb ? 0 : bv) | (bg ? 0 : gv) << 8 | (br ? 0 : rv) << 16);
}

uint32_t PackedAdd16(uint32_t d, uint32_t t) { return Add16(d, t, 0, true, true, nullptr); }
uint32_t PackedSub16(uint32_t d, uint32_t t) { return Sub16(d, t, 0, true, nullptr); }

uint32_t PairAdd16(uint32_t d, uint32_t s) {
  int64_t carry = 0;
  const uint32_t low = Add16(d & 0xFFFF, s & 0xFFFF, 0, true, false, &carry);
  const uint32_t high = Add16(d >> 16, s >> 16, carry, false, false, nullptr);
  return low | high << 16;
}

uint32_t PairSub16(uint32_t d, uint32_t s) {
  int64_t borrow = 0;
  const uint32_t low = Sub16(d & 0xFFFF, s & 0xFFFF, 0, true, &borrow);
  const uint32_t high = Sub16(d >> 16, s >> 16, borrow, false, nullptr);
  return low | high << 16;
}

namespace {

// Everything one call of a blitter fixes.
struct Call {
  bool stretched;
  bool is16;
  bool paletteSrc;
  bool alphaSrc;
  bool trans;
  bool blend;
  bool brightOn;
  uint32_t bright;
  uint32_t mode;
  int64_t p;
  uint32_t transparent;
  const uint8_t* palette;
};

// The source value (a palette entry for palette sources), its alpha and whether it is skipped.
struct SourcePixel {
  uint32_t value;
  int64_t a;
  bool transparentPixel;
};

SourcePixel ReadSource(const Call& c, const MEMIMG* src, int32_t u, int32_t v) {
  const int bytes = quelt::MemImgBytesPerPixel(*src->base);
  const uint8_t* p = src->pixels + int64_t{v} * src->base->pitch + int64_t{u} * bytes;
  SourcePixel out{};
  if (c.paletteSrc) {
    out.value = Read(c.palette + (c.is16 ? 2 : 4) * p[0], c.is16 ? 2 : 4);
    out.transparentPixel = p[0] == c.transparent;
  } else if (c.alphaSrc) {
    out.value = c.is16 ? Read(p, 2) : Read(p, 4);
    out.a = c.is16 ? p[2] : p[3];
  } else {
    out.value = Read(p, c.is16 ? 2 : 4);
    out.transparentPixel = out.value == (c.is16 ? (c.transparent & 0xFFFF) : c.transparent);
  }
  return out;
}

// One source pixel onto one destination value; returns false when the pixel is skipped.
bool DrawOne(const Call& c, const SourcePixel& sp, int64_t blendWeight, uint32_t& d) {
  const Layout lay{c.is16};
  uint32_t mode = c.mode;
  if (mode == 1 && c.p == 255) mode = 0;
  const uint32_t s = sp.value;

  if (c.trans && !c.alphaSrc && sp.transparentPixel) return false;
  bool useA = c.alphaSrc;
  bool aDropped = false;
  if (c.alphaSrc && c.trans) {
    if (sp.a == 0 && mode <= 4) return false;
    if (sp.a == 255) {
      useA = false;
      aDropped = true;
    }
  }
  const bool plain = !c.blend && !c.brightOn && !c.alphaSrc;

  // The factors B and a (p is added per mode) and their count.
  int64_t w = 1;
  int k = 0;
  if (c.blend) w *= blendWeight, ++k;
  if (useA) w *= sp.a, ++k;
  const int64_t scale = int64_t{1} << (8 * k);

  auto brightened = [&](int64_t value, int ch) {
    return c.brightOn ? Product(lay.bright(c.bright, ch), value) : value;
  };
  auto channelsOf = [&](uint32_t raw, bool invert) {
    std::array<int64_t, 3> out{};
    for (int ch = 0; ch < 3; ++ch) {
      int64_t v = lay.get(raw, ch);
      if (invert) v = lay.max(ch) - v;
      out[ch] = brightened(v, ch);
    }
    return out;
  };
  auto join = [&](const std::array<int64_t, 3>& ch, uint32_t keepFrom) {
    uint32_t out = c.is16 ? 0 : (keepFrom & 0xFF000000);
    for (int i = 0; i < 3; ++i) out |= static_cast<uint32_t>(ch[i]) << lay.shift(i);
    return out;
  };
  auto mixTowards = [&](const std::array<int64_t, 3>& target, int64_t weight, int64_t denominator) {
    std::array<int64_t, 3> out{};
    for (int ch = 0; ch < 3; ++ch) {
      const int64_t dc = lay.get(d, ch);
      out[ch] = dc + FloorDiv(weight * (target[ch] - dc), denominator);
    }
    return join(out, d);
  };

  switch (mode) {
    case 0: {
      if (!c.blend && !useA) {
        if (!c.brightOn) {
          d = s;  // the whole pixel (for 16-bit the two bytes)
        } else {
          d = join(channelsOf(s, false), d);
        }
      } else if (!c.blend && !c.trans && !c.brightOn) {
        d = s;  // an alpha source copied raw
      } else {
        d = mixTowards(channelsOf(s, false), w, scale);
      }
      return true;
    }
    case 1:
    case 10:
    case 11: {
      if (mode == 1 && c.p == 0) return false;
      if (mode == 1 && plain) {
        if (!c.stretched && c.p == 128) {
          d = c.is16 ? ((s >> 1) & 0x7BEF) + ((d >> 1) & 0x7BEF)
                     : ((s >> 1) & 0x7F7F7F) + ((d >> 1) & 0x7F7F7F);
          return true;
        }
        if (c.is16) {
          std::array<int64_t, 3> out{};
          for (int ch = 0; ch < 3; ++ch) {
            const int64_t fs = lay.get(s, ch), fd = lay.get(d, ch);
            out[ch] = c.stretched ? fd + SignedProduct(c.p, fs - fd) : Blend6(c.p >> 2, fs, fd);
          }
          d = join(out, d);
          return true;
        }
      }
      if (mode == 1 && c.is16 && aDropped && !c.blend) {
        const auto sc = channelsOf(s, false);
        std::array<int64_t, 3> out{};
        for (int ch = 0; ch < 3; ++ch) {
          const int64_t fd = lay.get(d, ch);
          out[ch] = fd + SignedProduct(c.p, sc[ch] - fd);
        }
        d = join(out, d);
        return true;
      }
      std::array<int64_t, 3> target = channelsOf(s, mode == 10);
      if (mode == 11) {
        for (int ch = 0; ch < 3; ++ch) target[ch] = (target[ch] * lay.get(d, ch)) >> lay.width(ch);
      }
      d = mixTowards(target, w * c.p, scale * 256);
      return true;
    }
    case 2:
    case 3: {
      if (c.p == 0) return false;
      if (c.p == 255 && plain) {
        if (!c.is16 && (!c.stretched || mode == 3)) {
          uint32_t out = 0;
          for (int byte = 0; byte < 4; ++byte) {
            const int64_t a = (d >> (8 * byte)) & 0xFF, b = (s >> (8 * byte)) & 0xFF;
            const int64_t r = mode == 2 ? std::min<int64_t>(a + b, 255) : std::max<int64_t>(a - b, 0);
            out |= static_cast<uint32_t>(r) << (8 * byte);
          }
          d = out;
          return true;
        }
        if (c.is16 && !c.stretched) {
          // A pixel drawn alone; pairs are handled by the row walk.
          d = mode == 2 ? Add16(d, s, 0, true, false, nullptr) : PackedSub16(d, s);
          return true;
        }
      }
      const auto sc = channelsOf(s, false);
      std::array<int64_t, 3> t{};
      for (int ch = 0; ch < 3; ++ch) {
        if (c.is16) {
          t[ch] = Product(c.p, FloorDiv(sc[ch] * w, scale));
        } else if (k == 0) {
          t[ch] = Product(c.p, sc[ch]);
        } else {
          t[ch] = FloorDiv(sc[ch] * w * c.p, scale * 256);
        }
      }
      const uint32_t term = join(t, 0);
      if (c.is16) {
        d = mode == 2 ? PackedAdd16(d, term) : PackedSub16(d, term);
      } else {
        d = mode == 2 ? PackedAdd32(d, term) : PackedSub32(d, term);
      }
      return true;
    }
    case 4: {
      // The blend weight scales the product; the alpha mixes towards it.
      const auto sc = channelsOf(s, false);
      const int64_t b = c.blend ? blendWeight : 1;
      std::array<int64_t, 3> out{};
      for (int ch = 0; ch < 3; ++ch) {
        out[ch] = FloorDiv(lay.get(d, ch) * sc[ch] * b, (int64_t{1} << lay.width(ch)) * (c.blend ? 256 : 1));
      }
      d = useA ? mixTowards(out, sp.a, 256) : join(out, d);
      return true;
    }
    default:
      return false;
  }
}

bool SameSetup(const MEMIMG* dest, const MEMIMG* src, const MEMIMG* blendImage, Call* c,
               const SoftDrawState& state) {
  if (!quelt::IsValidMemImg(dest) || !quelt::IsValidMemImg(src)) return false;
  const auto& db = *dest->base;
  const auto& sb = *src->base;
  if (db.colourType != sb.colourType || db.paletteFlag || db.alphaFlag) return false;
  if (db.colourType > 1) return false;
  if (blendImage != nullptr &&
      (!quelt::IsValidMemImg(blendImage) || blendImage->base->colourType != 2 ||
       blendImage->width < src->width || blendImage->height < src->height)) {
    return false;
  }
  c->is16 = db.colourType == 0;
  c->paletteSrc = sb.paletteFlag != 0;
  c->alphaSrc = sb.alphaFlag != 0;
  c->blend = blendImage != nullptr;
  c->bright = state.BrightColour;
  c->brightOn = (state.BrightColour & 0xFFFFFF) != 0xFFFFFF;
  c->mode = static_cast<uint32_t>(state.BlendMode);
  c->p = std::clamp<int64_t>(state.BlendParam, 0, 255);
  c->transparent = sb.transparentColour;
  c->palette = sb.palette;
  return true;
}

IntRect Intersect(IntRect r, const IntRect& b) {
  r.x1 = std::clamp(r.x1, b.x1, b.x2);
  r.x2 = std::clamp(r.x2, b.x1, b.x2);
  r.y1 = std::clamp(r.y1, b.y1, b.y2);
  r.y2 = std::clamp(r.y2, b.y1, b.y2);
  if (r.x2 < r.x1) r.x2 = r.x1;
  if (r.y2 < r.y1) r.y2 = r.y1;
  return r;
}

uint8_t* DestAt(MEMIMG* dest, int32_t x, int32_t y, int bytes) {
  return dest->pixels + int64_t{y} * dest->base->pitch + int64_t{x} * bytes;
}

}  // namespace

void Blit(MEMIMG* dest, const MEMIMG* src, int32_t x, int32_t y, int32_t transFlag,
          const MEMIMG* blendImage, const SoftDrawState& state) {
  Call c{};
  if (!SameSetup(dest, src, blendImage, &c, state)) return;
  c.stretched = false;
  c.trans = transFlag != 0;
  const int64_t right = std::min<int64_t>(int64_t{x} + src->width, INT32_MAX);
  const int64_t bottom = std::min<int64_t>(int64_t{y} + src->height, INT32_MAX);
  IntRect vis = Intersect({x, y, static_cast<int32_t>(right), static_cast<int32_t>(bottom)}, state.ClipRect);
  vis = Intersect(vis, {0, 0, dest->width, dest->height});
  const int bytes = c.is16 ? 2 : 4;
  const bool pairs = c.is16 && (c.mode == 2 || c.mode == 3) && c.p == 255 && !c.blend &&
                     !c.brightOn && !c.alphaSrc;
  for (int32_t dy = vis.y1; dy < vis.y2; ++dy) {
    for (int32_t dx = vis.x1; dx < vis.x2; ++dx) {
      const int32_t u = dx - x, v = dy - y;
      const SourcePixel sp = ReadSource(c, src, u, v);
      if (pairs && (dx - vis.x1) % 2 == 0 && dx + 1 < vis.x2) {
        const SourcePixel next = ReadSource(c, src, u + 1, v);
        const bool skipFirst = c.trans && sp.transparentPixel;
        const bool skipSecond = c.trans && next.transparentPixel;
        if (!skipFirst && !skipSecond) {
          uint8_t* dp = DestAt(dest, dx, dy, 2);
          const uint32_t d2 = Read(dp, 4);
          const uint32_t s2 = sp.value | next.value << 16;
          Write(dp, c.mode == 2 ? PairAdd16(d2, s2) : PairSub16(d2, s2), 4);
          ++dx;
          continue;
        }
      }
      const int64_t weight =
          c.blend ? Border(blendImage->pixels + int64_t{v} * blendImage->base->pitch + u) : 0;
      uint8_t* dp = DestAt(dest, dx, dy, bytes);
      uint32_t d = Read(dp, bytes);
      if (DrawOne(c, sp, weight, d)) Write(dp, d, bytes);
    }
  }
}

void StretchBlit(MEMIMG* dest, const MEMIMG* src, const IntRect& rect, int32_t transFlag,
                 const MEMIMG* blendImage, const SoftDrawState& state) {
  Call c{};
  if (!SameSetup(dest, src, blendImage, &c, state)) return;
  if (src->width <= 0 || src->height <= 0) return;
  IntRect r = rect;
  const bool mirrorX = r.x1 > r.x2, mirrorY = r.y1 > r.y2;
  if (mirrorX) std::swap(r.x1, r.x2);
  if (mirrorY) std::swap(r.y1, r.y2);
  const int64_t w = int64_t{r.x2} - r.x1, h = int64_t{r.y2} - r.y1;
  if (w == 0 || h == 0) return;
  if (w == src->width && h == src->height && !mirrorX && !mirrorY) {
    Blit(dest, src, r.x1, r.y1, transFlag, blendImage, state);
    return;
  }
  c.stretched = true;
  c.trans = transFlag != 0;
  const int64_t sx = w * 65536 / src->width, sy = h * 65536 / src->height;
  IntRect vis = Intersect(r, state.ClipRect);
  vis = Intersect(vis, {0, 0, dest->width, dest->height});
  if (vis.x1 == vis.x2 || vis.y1 == vis.y2 || sx == 0 || sy == 0) return;
  const int bytes = c.is16 ? 2 : 4;

  // The walk of the rules: accumulators per axis, stepped after every destination pixel.
  const int64_t offX = (int64_t{vis.x1} - r.x1) * 65536, offY = (int64_t{vis.y1} - r.y1) * 65536;
  int64_t v = offY / sy;
  int64_t rowAcc = sy - offY % sy;
  for (int32_t dy = vis.y1; dy < vis.y2; ++dy) {
    int64_t u = offX / sx;
    int64_t colAcc = sx - offX % sx;
    for (int32_t dx = vis.x1; dx < vis.x2; ++dx) {
      const int32_t su = static_cast<int32_t>(mirrorX ? src->width - 1 - u : u);
      const int32_t sv = static_cast<int32_t>(mirrorY ? src->height - 1 - v : v);
      if (su < 0 || sv < 0 || su >= src->width || sv >= src->height) return;  // never inside
      const SourcePixel sp = ReadSource(c, src, su, sv);
      const int64_t weight =
          c.blend ? Border(blendImage->pixels + int64_t{sv} * blendImage->base->pitch + su) : 0;
      uint8_t* dp = DestAt(dest, dx, dy, bytes);
      uint32_t d = Read(dp, bytes);
      if (DrawOne(c, sp, weight, d)) Write(dp, d, bytes);
      colAcc -= 65536;
      while (colAcc <= 0) ++u, colAcc += sx;
    }
    rowAcc -= 65536;
    while (rowAcc <= 0) ++v, rowAcc += sy;
  }
}

void FillRect(MEMIMG* img, const IntRect* rect, uint32_t colour, const SoftDrawState& state) {
  if (!quelt::IsValidMemImg(img)) return;
  const auto& base = *img->base;
  if (base.paletteFlag || base.alphaFlag || base.colourType > 1) return;
  const bool is16 = base.colourType == 0;
  const Layout lay{is16};
  IntRect r{0, 0, img->width, img->height};
  if (rect != nullptr) {
    r = {std::min(rect->x1, rect->x2), std::min(rect->y1, rect->y2), std::max(rect->x1, rect->x2),
         std::max(rect->y1, rect->y2)};
  }
  r = Intersect(Intersect(r, state.ClipRect), {0, 0, img->width, img->height});
  const uint32_t mode = static_cast<uint32_t>(state.BlendMode);
  const int64_t p = std::clamp<int64_t>(state.BlendParam, 0, 255);
  if (is16) colour &= 0xFFFF;
  // The fill's bright scaling divides by 256.
  if ((state.BrightColour & 0xFFFFFF) != 0xFFFFFF) {
    uint32_t scaled = is16 ? 0 : colour & 0xFF000000;
    for (int ch = 0; ch < 3; ++ch) {
      scaled |= static_cast<uint32_t>((lay.get(colour, ch) * lay.bright(state.BrightColour, ch)) >> 8)
                << lay.shift(ch);
    }
    colour = scaled;
  }
  const int bytes = is16 ? 2 : 4;
  for (int32_t y = r.y1; y < r.y2; ++y) {
    for (int32_t x = r.x1; x < r.x2; ++x) {
      uint8_t* dp = DestAt(img, x, y, bytes);
      const uint32_t d = Read(dp, bytes);
      uint32_t out = is16 ? 0 : d & 0xFF000000;
      bool write = true;
      auto mix = [&](int64_t dc, int64_t target) {
        return is16 ? dc + SignedProduct(p, target - dc) : dc + FloorDiv(p * (target - dc), 256);
      };
      if (mode == 0 || (mode == 1 && p == 255)) {
        out = colour;
      } else if (mode == 1 || mode == 10 || mode == 11 || mode == 4) {
        if (mode == 1 && p == 0) write = false;
        for (int ch = 0; ch < 3; ++ch) {
          const int64_t dc = lay.get(d, ch), cc = lay.get(colour, ch);
          int64_t v;
          if (mode == 1) v = mix(dc, cc);
          else if (mode == 10) v = mix(dc, lay.max(ch) - cc);
          else if (mode == 11) v = mix(dc, (dc * cc) >> lay.width(ch));
          else v = (dc * cc) >> lay.width(ch);
          out |= static_cast<uint32_t>(v) << lay.shift(ch);
        }
      } else if (mode == 2 || mode == 3) {
        if (p == 0) write = false;
        uint32_t t = 0;
        for (int ch = 0; ch < 3; ++ch) t |= static_cast<uint32_t>(Product(p, lay.get(colour, ch))) << lay.shift(ch);
        if (is16) out = mode == 2 ? PackedAdd16(d, t) : PackedSub16(d, t);
        else out = mode == 2 ? PackedAdd32(d, t) : PackedSub32(d, t);
      } else {
        write = false;
      }
      if (write) Write(dp, out, bytes);
    }
  }
}

}  // namespace blitref
