// Reference pixel stage: one function per destination depth, following the variant tables
// row by row, with exact floors in 64 bits.
#include "tests/softrender/rotate_reference_pixels.h"

#include <cstring>

namespace reftest {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
uint32_t Pt(uint32_t a, uint32_t b) { return a * b / 255; }
int32_t Spt(int32_t i, int32_t d) { return i * d / 255; }  // C++ truncates toward zero
int64_t Pow256(int n) { return int64_t{1} << (8 * n); }

// d + floor((x - d) * F / 256^n)
uint32_t Step(uint32_t d, uint32_t x, int64_t f, int n) {
  return static_cast<uint32_t>(int64_t{d} + FloorDiv((int64_t{x} - d) * f, Pow256(n)));
}

uint32_t Byte(uint32_t w, int k) { return (w >> (8 * k)) & 0xFF; }

// The packed add and subtract, as their per-channel effects.
uint32_t AddEffect32(uint32_t d, const uint32_t c[3]) {
  const uint32_t d0 = Byte(d, 0), d1 = Byte(d, 1), d2 = Byte(d, 2);
  const uint32_t b = d0 + c[0], g = (d1 >> 1) + (c[1] >> 1), r = (d2 >> 1) + (c[2] >> 1);
  const uint32_t o0 = b > 255 ? 255 : b;
  const uint32_t o1 = g > 127 ? 255 : (2 * g) | ((d1 | c[1]) & 1) | (b > 255 ? 1 : 0);
  const uint32_t o2 = r > 127 ? 255 : (2 * r) | ((d2 | c[2]) & 1) | (g > 127 ? 1 : 0);
  return o0 | o1 << 8 | o2 << 16 | (r > 127 ? 1u : 0u) << 24;
}
uint32_t SubEffect32(uint32_t d, const uint32_t c[3]) {
  const uint32_t d0 = Byte(d, 0);
  const uint32_t gd = Byte(d, 1) >> 1, gc = c[1] >> 1, rd = Byte(d, 2) >> 1, rc = c[2] >> 1;
  const uint32_t o0 = d0 >= c[0] ? d0 - c[0] : 0;
  const uint32_t o1 = gd >= gc ? 2 * (gd - gc) + (d0 >= c[0] ? 1 : 0) : 0;
  const uint32_t o2 = rd >= rc ? 2 * (rd - rc) + (gd >= gc ? 1 : 0) : 0;
  return o0 | o1 << 8 | o2 << 16;
}
// Fields in the order red, green, blue.
uint32_t AddEffect16(const uint32_t d[3], const uint32_t v[3]) {
  const uint32_t b = d[2] + v[2];
  const uint32_t g = (d[1] >> 1) + (v[1] >> 1), r = (d[0] >> 1) + (v[0] >> 1);
  const uint32_t ob = b > 31 ? 31 : b;
  const uint32_t og = 2 * (g > 31 ? 31 : g) + (((d[1] | v[1]) & 1) | (b > 31 ? 1 : 0));
  const uint32_t orr = r > 15 ? 31 : 2 * r + (((d[0] | v[0]) & 1) | (g > 31 ? 1 : 0));
  return orr << 11 | og << 5 | ob;
}
uint32_t SubEffect16(const uint32_t d[3], const uint32_t v[3]) {
  const uint32_t ob = d[2] >= v[2] ? d[2] - v[2] : 0;
  const bool greenBorrows = (v[1] >> 1) > (d[1] >> 1);
  const uint32_t og = greenBorrows ? 0 : ((d[1] >> 1) - (v[1] >> 1)) << 1;
  const uint32_t orr = (v[0] >> 1) > (d[0] >> 1)
                           ? 0
                           : (((d[0] >> 1) - (v[0] >> 1)) << 1) + (greenBorrows ? 0 : 1);
  return orr << 11 | og << 5 | ob;
}

}  // namespace

void RefPixel32(const RefPixelInput& in, uint8_t* dst) {
  uint32_t d;
  std::memcpy(&d, dst, 4);
  bool useA = false;
  if (in.alphaSource) {
    if (in.trans) {
      if (in.a == 0 && in.mode <= 4) return;
      useA = in.a != 255;
    } else {
      useA = true;
    }
  } else if (in.trans && in.key == in.transparent) {
    return;
  }
  const bool brightOn = (in.bright & 0xFFFFFF) != 0xFFFFFF && !in.fill;
  uint32_t x[3];
  for (int k = 0; k < 3; ++k) {
    x[k] = Byte(in.colour, k);
    if (in.mode == 10) x[k] = 255 - x[k];
    if (brightOn) x[k] = Pt(Byte(in.bright, k), x[k]);
  }
  const int nw = (in.blend ? 1 : 0) + (useA ? 1 : 0);
  const int64_t fw = int64_t{in.blend ? in.w : 1} * (useA ? in.a : 1);
  const uint32_t p = static_cast<uint32_t>(in.param);
  uint32_t out = d & 0xFF000000u;
  switch (in.mode) {
    case 0:
      if (nw == 0) {
        out = brightOn ? (d & 0xFF000000u) | x[0] | x[1] << 8 | x[2] << 16 : in.colour;
      } else {
        for (int k = 0; k < 3; ++k) out |= Step(Byte(d, k), x[k], fw, nw) << (8 * k);
      }
      break;
    case 1:
    case 10:
      for (int k = 0; k < 3; ++k) out |= Step(Byte(d, k), x[k], fw * p, nw + 1) << (8 * k);
      break;
    case 11:
      for (int k = 0; k < 3; ++k) {
        const uint32_t y = x[k] * Byte(d, k) / 256;
        out |= Step(Byte(d, k), y, fw * p, nw + 1) << (8 * k);
      }
      break;
    case 4:
      // The blend weight scales the product; the alpha mixes towards it.
      out = d & 0xFF000000u;
      for (int k = 0; k < 3; ++k) {
        const auto product = static_cast<uint32_t>(int64_t{Byte(d, k)} * x[k] * (in.blend ? in.w : 1) /
                                                   Pow256(in.blend ? 2 : 1));
        out |= (useA ? Step(Byte(d, k), product, in.a, 1) : product) << (8 * k);
      }
      break;
    case 2:
    case 3: {
      uint32_t c[3];
      for (int k = 0; k < 3; ++k) {
        c[k] = nw == 0 ? Pt(p, x[k]) : static_cast<uint32_t>(int64_t{x[k]} * fw * p / Pow256(nw + 1));
      }
      out = in.mode == 2 ? AddEffect32(d, c) : SubEffect32(d, c);
      break;
    }
    default:
      return;
  }
  std::memcpy(dst, &out, 4);
}

void RefPixel16(const RefPixelInput& in, uint8_t* dst) {
  uint16_t dw;
  std::memcpy(&dw, dst, 2);
  bool useA = false;
  if (in.alphaSource) {
    if (in.trans) {
      if (in.a == 0 && (in.mode <= 4 || in.mode == 10)) return;
      useA = in.a != 255;
    } else {
      useA = true;
    }
  } else if (in.trans && in.key == in.transparent) {
    return;
  }
  const bool brightOn = (in.bright & 0xFFFFFF) != 0xFFFFFF && !in.fill;
  const uint32_t brightByte[3] = {Byte(in.bright, 2), Byte(in.bright, 1), Byte(in.bright, 0)};
  uint32_t s = in.colour & 0xFFFF;
  if (in.mode == 10) s ^= 0xFFFF;
  const uint32_t sf[3] = {s >> 11, (s >> 5) & 0x3F, s & 0x1F};
  const uint32_t df[3] = {uint32_t{dw} >> 11, (uint32_t{dw} >> 5) & 0x3F, uint32_t{dw} & 0x1F};
  uint32_t sp[3];
  for (int f = 0; f < 3; ++f) sp[f] = brightOn ? Pt(brightByte[f], sf[f]) : sf[f];
  const int nw = (in.blend ? 1 : 0) + (useA ? 1 : 0);
  const int64_t fw = int64_t{in.blend ? in.w : 1} * (useA ? in.a : 1);
  const int32_t p = in.param;
  const int productShift[3] = {5, 6, 5};
  uint32_t r[3];
  uint32_t result;
  switch (in.mode) {
    case 0:
      if (nw == 0) {
        result = brightOn ? sp[0] << 11 | sp[1] << 5 | sp[2] : s;
        std::memcpy(dst, &result, 2);
        return;
      }
      for (int f = 0; f < 3; ++f) r[f] = Step(df[f], sp[f], fw, nw);
      break;
    case 1:
    case 10:
    case 11:
      for (int f = 0; f < 3; ++f) {
        const uint32_t t = in.mode == 11 ? (sp[f] * df[f]) >> productShift[f] : sp[f];
        if (nw == 0) {
          r[f] = static_cast<uint32_t>(static_cast<int32_t>(df[f]) +
                                       Spt(p, static_cast<int32_t>(t) - static_cast<int32_t>(df[f])));
        } else if (in.mode == 11 && !in.blend && useA && !brightOn && f == 1) {
          const int64_t fine = int64_t{(sf[1] * df[1]) >> 1} - 32 * int64_t{df[1]};
          r[f] = static_cast<uint32_t>(FloorDiv(int64_t{df[1]} * 2097152 + fine * in.a * p, 2097152));
        } else {
          r[f] = Step(df[f], t, fw * p, nw + 1);
        }
      }
      break;
    case 4:
      for (int f = 0; f < 3; ++f) {
        const auto product = static_cast<uint32_t>(int64_t{sp[f]} * df[f] * (in.blend ? in.w : 1) >>
                                                   (productShift[f] + (in.blend ? 8 : 0)));
        r[f] = useA ? Step(df[f], product, in.a, 1) : product;
      }
      break;
    case 2:
    case 3: {
      uint32_t v[3];
      for (int f = 0; f < 3; ++f) {
        uint32_t c;
        if (!in.blend && useA) {
          c = (sf[f] * in.a) >> 8;  // alpha first, then bright
          if (brightOn) c = Pt(brightByte[f], c);
        } else {
          c = static_cast<uint32_t>(int64_t{sp[f]} * fw >> (8 * nw));
        }
        v[f] = Pt(static_cast<uint32_t>(p), c);
      }
      result = in.mode == 2 ? AddEffect16(df, v) : SubEffect16(df, v);
      std::memcpy(dst, &result, 2);
      return;
    }
    default:
      return;
  }
  result = r[0] << 11 | r[1] << 5 | r[2];
  std::memcpy(dst, &result, 2);
}

}  // namespace reftest
