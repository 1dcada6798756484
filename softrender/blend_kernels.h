#pragma once
// The per-pixel rules of the software blend modes, written once each and shared by the
// plain and the stretched blitter. Every rule is a template over the variant (depth,
// source kind, kernel, blend image, bright), so each loop instantiation is straight code.
// Weights enter as "multiply, then shift by 8 per factor" or through ProductTable
// (x / 255); each rule uses the one its mode prescribes, and they are not interchangeable.
#include <cstdint>
#include <cstring>

#include "softrender/memimg.h"
#include "softrender/pixel_access.h"

namespace quelt::softblit {

enum class SrcKind : uint8_t { Direct, Alpha, Palette };

// Kernel of one call, chosen once from the mode, the parameter and the variant flags.
enum class Kernel : uint8_t {
  Copy,         // mode 0, and mode 1 at p = 255
  Mix,          // mode 1: towards the source, p a factor of the weight chain
  MixHalf,      // mode 1 at p = 128, plain variant of the plain blitter: halve and add
  MixTable6,    // 16-bit mode 1, plain variant of the plain blitter: Blend6Table
  MixSigned16,  // 16-bit mode 1, plain variant of the stretched blitter: SignedProductTable
  InvertMix,    // mode 10: towards the inverted source
  ProductMix,   // mode 11: towards destination x source
  Add,          // mode 2: packed saturating add of a scaled term
  Sub,          // mode 3: packed saturating subtract of a scaled term
  AddExact,     // mode 2 at p = 255, plain: 32-bit per byte, 16-bit two pixels at once
  SubExact,     // mode 3 at p = 255, plain: likewise
  Mul,          // mode 4
  Count
};
inline constexpr int kKernelCount = static_cast<int>(Kernel::Count);

// How the alpha byte of one source pixel enters: not at all (no alpha, or the raw copy
// of an alpha source), as a factor, or dropped (transparency on and a = 255).
enum class AlphaUse : uint8_t { None, Factor, Dropped };

// Modes 0 to 4 skip a = 0 under transparency; modes 10 and 11 do not.
constexpr bool SkipsZeroAlpha(Kernel k) { return k != Kernel::InvertMix && k != Kernel::ProductMix; }
// Kernels that exist only for the plain variant: no blend image, bright off, no alpha.
constexpr bool NeedsPlainVariant(Kernel k) {
  return k == Kernel::MixHalf || k == Kernel::MixTable6 || k == Kernel::MixSigned16 ||
         k == Kernel::AddExact || k == Kernel::SubExact;
}

// Per-call values of the kernels, looked up once.
struct PixelContext {
  int32_t p;                      // BlendParam
  const int32_t* pRow;            // ProductTable[p]
  const int32_t* signedRow;       // SignedProductTable[p] at column 255
  const uint8_t (*blend6)[64];    // Blend6Table[p >> 2]
  const int32_t* brightBlue;      // ProductTable rows of the bright colour's channels
  const int32_t* brightGreen;
  const int32_t* brightRed;
};

inline PixelContext MakePixelContext(int32_t p, uint32_t brightColour) {
  return {p,
          ProductTable[p],
          SignedProductRow(p),
          Blend6Table[p >> 2],
          ProductTable[brightColour & 0xFF],
          ProductTable[(brightColour >> 8) & 0xFF],
          ProductTable[(brightColour >> 16) & 0xFF]};
}



// ---- packed add and subtract, exactly as the blend modes define them ----

inline uint32_t PackedAdd32(uint32_t d, uint32_t t) {
  const uint32_t s = (d & 0xFEFEFF) + (t & 0xFEFEFF);
  const uint32_t k = s & 0x1010100;
  return (k - (k >> 8)) | ((d | t) & 0x10100) | s;
}
inline uint32_t PackedSub32(uint32_t d, uint32_t t) {
  const uint32_t r = (d | 0x1010100) - (t & 0xFEFEFEFF);
  const uint32_t k = r & 0x1010100;
  return (k - (k >> 8)) & r;
}
inline uint32_t SaturatingAddBytes(uint32_t d, uint32_t s) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t sum = ((d >> shift) & 0xFF) + ((s >> shift) & 0xFF);
    out |= (sum > 255 ? 255 : sum) << shift;
  }
  return out;
}
inline uint32_t SaturatingSubBytes(uint32_t d, uint32_t s) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t a = (d >> shift) & 0xFF;
    const uint32_t b = (s >> shift) & 0xFF;
    out |= (a > b ? a - b : 0) << shift;
  }
  return out;
}
inline uint32_t PackedAdd16(uint32_t d, uint32_t t) {
  const uint32_t s = (d & 0xF7DF) + (t & 0xF7DF);
  const uint32_t k = s & 0x10820;
  return ((k - (k >> 5)) | ((d | t) & 0x820) | s) & 0xFFFF;
}
inline uint32_t PackedSub16(uint32_t d, uint32_t t) {
  const uint32_t r = (d | 0x8210820) - (t & 0xF7DEF7DF);
  const uint32_t k = r & 0x8210820;
  return ((k - (k >> 5)) & r) & 0xFFFF;
}
// The p = 255 forms of one 16-bit pixel alone (add without the OR of the low bits).
inline uint32_t SingleAdd16(uint32_t d, uint32_t s) {
  const uint32_t sum = (s & 0xF7DF) + (d & 0xF7DF);
  const uint32_t k = sum & 0x10820;
  return ((k - (k >> 5)) | sum) & 0xFFFF;
}
// Two horizontally adjacent 16-bit pixels as one value, the first in the low half.
inline uint32_t PairAdd16(uint32_t d, uint32_t s) {
  const uint64_t wide = uint64_t{s & 0xF7DEF7DF} + (d & 0xF7DEF7DF);
  const auto sum = static_cast<uint32_t>(wide);
  const uint32_t carry = static_cast<uint32_t>(wide >> 32);
  const uint32_t k = sum & 0x8210820;
  return (k - ((k >> 5) | carry << 27)) | sum;
}
inline uint32_t PairSub16(uint32_t d, uint32_t s) {
  const uint32_t minuend = d | 0x8210820;
  const uint32_t subtrahend = s & 0xF7DEF7DF;
  const uint32_t r = minuend - subtrahend;
  const uint32_t k = r & 0x8210820;
  return r & ((k - (k >> 5)) | (minuend >= subtrahend ? 0xF8000000u : 0u));
}

// d + fl(w (target - d) / 2^shift), as one non-negative expression (w <= 2^shift).
template <int Shift>
inline uint32_t MixValue(uint32_t d, uint32_t target, uint32_t w) {
  return (d * ((1u << Shift) - w) + target * w) >> Shift;
}

// ---- 32-bit: colour type 1, bytes B, G, R, X ----

struct Channels {
  uint32_t b, g, r;
};
inline Channels Split32(uint32_t v) { return {v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF}; }
inline uint32_t Join32(const Channels& c) { return c.b | c.g << 8 | c.r << 16; }

inline Channels Brighten32(const PixelContext& c, Channels s) {
  return {static_cast<uint32_t>(c.brightBlue[s.b]), static_cast<uint32_t>(c.brightGreen[s.g]),
          static_cast<uint32_t>(c.brightRed[s.r])};
}

// Mixes bytes 0-2 of d towards target with weight w out of 2^Shift; keeps byte 3.
template <int Shift>
inline uint32_t MixPixel32(uint32_t d, uint32_t target, uint32_t w) {
  if constexpr (Shift == 8) {
    // Red and blue in one multiply: each lane stays below 2^16.
    const uint32_t rb = (((d & 0xFF00FF) * (256 - w) + (target & 0xFF00FF) * w) >> 8) & 0xFF00FF;
    const uint32_t g = (((d & 0xFF00) * (256 - w) + (target & 0xFF00) * w) >> 8) & 0xFF00;
    return rb | g | (d & 0xFF000000);
  } else {
    const Channels dc = Split32(d);
    const Channels tc = Split32(target);
    return Join32({MixValue<Shift>(dc.b, tc.b, w), MixValue<Shift>(dc.g, tc.g, w),
                   MixValue<Shift>(dc.r, tc.r, w)}) |
           (d & 0xFF000000);
  }
}

// Applies kernel K to one destination pixel. s is the raw source value (a palette
// entry for palette sources), a its alpha byte, weight the blend-image weight.
template <Kernel K, bool Blend, bool Bright, AlphaUse AU>
inline void Pixel32(const PixelContext& c, uint32_t s, uint32_t a, uint32_t weight, uint8_t* dp) {
  constexpr bool kAlpha = AU == AlphaUse::Factor;
  constexpr int kFactors = int{Blend} + int{kAlpha};  // B and a, before p
  const uint32_t w = (Blend ? weight : 1u) * (kAlpha ? a : 1u);
  const auto scaled = [&](uint32_t v) { return Bright ? Join32(Brighten32(c, Split32(v))) : v; };

  if constexpr (K == Kernel::Copy) {
    if constexpr (kFactors == 0) {
      if constexpr (Bright) {
        StorePixel32(dp, (LoadPixel32(dp) & 0xFF000000) | scaled(s));
      } else {
        StorePixel32(dp, s);  // the whole pixel, fourth byte too
      }
    } else {
      StorePixel32(dp, MixPixel32<8 * kFactors>(LoadPixel32(dp), scaled(s), w));
    }
  } else if constexpr (K == Kernel::Mix) {
    StorePixel32(dp, MixPixel32<8 * (kFactors + 1)>(LoadPixel32(dp), scaled(s), w * c.p));
  } else if constexpr (K == Kernel::InvertMix) {
    // Inverted first, bright-scaled after.
    StorePixel32(dp, MixPixel32<8 * (kFactors + 1)>(LoadPixel32(dp), scaled(~s & 0xFFFFFF), w * c.p));
  } else if constexpr (K == Kernel::ProductMix) {
    const uint32_t d = LoadPixel32(dp);
    const Channels sc = Split32(scaled(s));
    const Channels dc = Split32(d);
    const uint32_t target = Join32({(sc.b * dc.b) >> 8, (sc.g * dc.g) >> 8, (sc.r * dc.r) >> 8});
    StorePixel32(dp, MixPixel32<8 * (kFactors + 1)>(d, target, w * c.p));
  } else if constexpr (K == Kernel::MixHalf) {
    StorePixel32(dp, ((s >> 1) & 0x7F7F7F) + ((LoadPixel32(dp) >> 1) & 0x7F7F7F));
  } else if constexpr (K == Kernel::Add || K == Kernel::Sub) {
    const Channels sc = Split32(scaled(s));
    uint32_t t;
    if constexpr (kFactors == 0) {
      t = Join32({static_cast<uint32_t>(c.pRow[sc.b]), static_cast<uint32_t>(c.pRow[sc.g]),
                  static_cast<uint32_t>(c.pRow[sc.r])});
    } else {
      constexpr int kShift = 8 * (kFactors + 1);
      const uint32_t wp = w * c.p;
      t = Join32({(sc.b * wp) >> kShift, (sc.g * wp) >> kShift, (sc.r * wp) >> kShift});
    }
    const uint32_t d = LoadPixel32(dp);
    StorePixel32(dp, K == Kernel::Add ? PackedAdd32(d, t) : PackedSub32(d, t));
  } else if constexpr (K == Kernel::AddExact) {
    StorePixel32(dp, SaturatingAddBytes(LoadPixel32(dp), s));
  } else if constexpr (K == Kernel::SubExact) {
    StorePixel32(dp, SaturatingSubBytes(LoadPixel32(dp), s));
  } else if constexpr (K == Kernel::Mul) {
    // The blend image scales the product; alpha mixes towards it, so alpha 0 keeps d.
    constexpr int kShift = 8 * (int{Blend} + 1);
    const uint32_t wb = Blend ? weight : 1u;
    const uint32_t d = LoadPixel32(dp);
    const Channels sc = Split32(scaled(s));
    const Channels dc = Split32(d);
    const uint32_t product =
        Join32({(dc.b * sc.b * wb) >> kShift, (dc.g * sc.g * wb) >> kShift, (dc.r * sc.r * wb) >> kShift}) |
        (d & 0xFF000000);
    StorePixel32(dp, kAlpha ? MixPixel32<8>(d, product, a) : product);
  } else {
    static_assert(K == Kernel::MixTable6 || K == Kernel::MixSigned16, "kernel without a 32-bit form");
  }
}

// ---- 16-bit: colour type 0, R5G6B5 ----

struct Fields {
  uint32_t r, g, b;  // 0..31, 0..63, 0..31
};
inline Fields Split16(uint32_t v) { return {(v >> 11) & 31, (v >> 5) & 63, v & 31}; }
inline uint32_t Join16(const Fields& f) { return f.r << 11 | f.g << 5 | f.b; }

inline Fields Brighten16(const PixelContext& c, Fields f) {
  return {static_cast<uint32_t>(c.brightRed[f.r]), static_cast<uint32_t>(c.brightGreen[f.g]),
          static_cast<uint32_t>(c.brightBlue[f.b])};
}

template <int Shift>
inline uint32_t MixPixel16(uint32_t d, const Fields& target, uint32_t w) {
  const Fields df = Split16(d);
  return Join16({MixValue<Shift>(df.r, target.r, w), MixValue<Shift>(df.g, target.g, w),
                 MixValue<Shift>(df.b, target.b, w)});
}

template <Kernel K, bool Blend, bool Bright, AlphaUse AU>
inline void Pixel16(const PixelContext& c, uint32_t s, uint32_t a, uint32_t weight, uint8_t* dp) {
  constexpr bool kAlpha = AU == AlphaUse::Factor;
  constexpr int kFactors = int{Blend} + int{kAlpha};
  const uint32_t w = (Blend ? weight : 1u) * (kAlpha ? a : 1u);
  const auto fields = [&](uint32_t v) { return Bright ? Brighten16(c, Split16(v)) : Split16(v); };

  if constexpr (K == Kernel::Copy) {
    if constexpr (kFactors == 0) {
      StorePixel16(dp, Bright ? Join16(fields(s)) : s);  // raw 2-byte copy with bright off
    } else {
      StorePixel16(dp, MixPixel16<8 * kFactors>(LoadPixel16(dp), fields(s), w));
    }
  } else if constexpr (K == Kernel::Mix) {
    if constexpr (AU == AlphaUse::Dropped && !Blend) {
      const Fields sf = fields(s);
      const Fields df = Split16(LoadPixel16(dp));
      const int32_t* row = c.signedRow;
      StorePixel16(dp, Join16({df.r + row[int32_t(sf.r) - int32_t(df.r)],
                          df.g + row[int32_t(sf.g) - int32_t(df.g)],
                          df.b + row[int32_t(sf.b) - int32_t(df.b)]}));
    } else {
      StorePixel16(dp, MixPixel16<8 * (kFactors + 1)>(LoadPixel16(dp), fields(s), w * c.p));
    }
  } else if constexpr (K == Kernel::MixSigned16) {
    const Fields sf = Split16(s);
    const Fields df = Split16(LoadPixel16(dp));
    const int32_t* row = c.signedRow;
    StorePixel16(dp, Join16({df.r + row[int32_t(sf.r) - int32_t(df.r)],
                        df.g + row[int32_t(sf.g) - int32_t(df.g)],
                        df.b + row[int32_t(sf.b) - int32_t(df.b)]}));
  } else if constexpr (K == Kernel::MixTable6) {
    const Fields sf = Split16(s);
    const Fields df = Split16(LoadPixel16(dp));
    StorePixel16(dp, Join16({c.blend6[sf.r][df.r], c.blend6[sf.g][df.g], c.blend6[sf.b][df.b]}));
  } else if constexpr (K == Kernel::MixHalf) {
    StorePixel16(dp, ((s >> 1) & 0x7BEF) + ((LoadPixel16(dp) >> 1) & 0x7BEF));
  } else if constexpr (K == Kernel::InvertMix) {
    StorePixel16(dp, MixPixel16<8 * (kFactors + 1)>(LoadPixel16(dp), fields(~s & 0xFFFF), w * c.p));
  } else if constexpr (K == Kernel::ProductMix) {
    const uint32_t d = LoadPixel16(dp);
    const Fields sf = fields(s);
    const Fields df = Split16(d);
    const Fields target{(sf.r * df.r) >> 5, (sf.g * df.g) >> 6, (sf.b * df.b) >> 5};
    StorePixel16(dp, MixPixel16<8 * (kFactors + 1)>(d, target, w * c.p));
  } else if constexpr (K == Kernel::Add || K == Kernel::Sub) {
    // The present factors scale the field first; p then enters through the table.
    constexpr int kShift = 8 * kFactors;
    const Fields sf = fields(s);
    const uint32_t t = Join16({static_cast<uint32_t>(c.pRow[(sf.r * w) >> kShift]),
                               static_cast<uint32_t>(c.pRow[(sf.g * w) >> kShift]),
                               static_cast<uint32_t>(c.pRow[(sf.b * w) >> kShift])});
    const uint32_t d = LoadPixel16(dp);
    StorePixel16(dp, K == Kernel::Add ? PackedAdd16(d, t) : PackedSub16(d, t));
  } else if constexpr (K == Kernel::AddExact) {
    StorePixel16(dp, SingleAdd16(LoadPixel16(dp), s));
  } else if constexpr (K == Kernel::SubExact) {
    StorePixel16(dp, PackedSub16(LoadPixel16(dp), s));
  } else if constexpr (K == Kernel::Mul) {
    constexpr int kShift = 8 * int{Blend};
    const uint32_t wb = Blend ? weight : 1u;
    const uint32_t d = LoadPixel16(dp);
    const Fields sf = fields(s);
    const Fields df = Split16(d);
    const Fields product{(df.r * sf.r * wb) >> (5 + kShift), (df.g * sf.g * wb) >> (6 + kShift),
                         (df.b * sf.b * wb) >> (5 + kShift)};
    StorePixel16(dp, kAlpha ? MixPixel16<8>(d, product, a) : Join16(product));
  }
}

// ---- reading a source pixel ----

template <bool Is16, SrcKind Kind>
struct SourceReader {
  static constexpr int kBytes = Kind == SrcKind::Palette ? 1 : Kind == SrcKind::Alpha ? 4 : Is16 ? 2 : 4;
  // The raw value (palette entry for palette sources).
  static uint32_t Value(const uint8_t* sp, const uint8_t* palette) {
    if constexpr (Kind == SrcKind::Palette) {
      return Is16 ? LoadPixel16(palette + 2 * sp[0]) : LoadPixel32(palette + 4 * sp[0]);
    } else {
      return Is16 ? LoadPixel16(sp) : LoadPixel32(sp);
    }
  }
  static uint32_t Alpha(const uint8_t* sp) { return Is16 ? sp[2] : sp[3]; }
  // Transparency of a direct or palette pixel (alpha sources go by their alpha byte).
  static bool IsTransparent(const uint8_t* sp, uint32_t transparent) {
    if constexpr (Kind == SrcKind::Palette) {
      return sp[0] == transparent;
    } else if constexpr (Is16) {
      return LoadPixel16(sp) == transparent;
    } else {
      return LoadPixel32(sp) == transparent;
    }
  }
};

// One variant: everything that is fixed for a whole call.
template <bool Is16_, SrcKind Kind_, Kernel K_, bool Blend_, bool Bright_, bool Trans_>
struct Variant {
  static constexpr bool Is16 = Is16_;
  static constexpr SrcKind Kind = Kind_;
  static constexpr Kernel K = K_;
  static constexpr bool Blend = Blend_;
  static constexpr bool Bright = Bright_;
  static constexpr bool Trans = Trans_;
  using Reader = SourceReader<Is16, Kind>;
  static constexpr int kDestBytes = Is16 ? 2 : 4;
  // An alpha source copied raw: mode 0 without transparency, blend image or bright.
  static constexpr bool kAlphaRawCopy =
      Kind == SrcKind::Alpha && K == Kernel::Copy && !Trans && !Blend && !Bright;
  // Rows that are byte copies of the source.
  static constexpr bool kRowCopy = K == Kernel::Copy && !Blend && !Bright && !Trans &&
                                   (Kind == SrcKind::Direct || (Kind == SrcKind::Alpha && !Is16));
};

template <class V, AlphaUse AU>
inline void ApplyKernel(const PixelContext& c, uint32_t s, uint32_t a, uint32_t weight, uint8_t* dp) {
  if constexpr (V::Is16) {
    Pixel16<V::K, V::Blend, V::Bright, AU>(c, s, a, weight, dp);
  } else {
    Pixel32<V::K, V::Blend, V::Bright, AU>(c, s, a, weight, dp);
  }
}

// Draws the source pixel at sp (blend byte at bp) onto dp, with the transparency rules.
template <class V>
inline void DrawPixel(const PixelContext& c, const uint8_t* sp, const uint8_t* bp, uint8_t* dp,
                      const uint8_t* palette, uint32_t transparent) {
  using R = typename V::Reader;
  if constexpr (V::Trans && V::Kind != SrcKind::Alpha) {
    if (R::IsTransparent(sp, transparent)) return;
  }
  const uint32_t weight = V::Blend ? BorderTable[*bp] : 0u;
  const uint32_t s = R::Value(sp, palette);
  if constexpr (V::Kind != SrcKind::Alpha || V::kAlphaRawCopy) {
    ApplyKernel<V, AlphaUse::None>(c, s, 0, weight, dp);
  } else {
    const uint32_t a = R::Alpha(sp);
    if constexpr (V::Trans) {
      if (a == 0 && SkipsZeroAlpha(V::K)) return;
      if (a == 255) {
        ApplyKernel<V, AlphaUse::Dropped>(c, s, a, weight, dp);
        return;
      }
    }
    ApplyKernel<V, AlphaUse::Factor>(c, s, a, weight, dp);
  }
}

// Whether a variant exists at all (the table leaves the others empty).
template <bool Is16, SrcKind Kind, Kernel K, bool Blend, bool Bright>
constexpr bool VariantExists() {
  if (NeedsPlainVariant(K) && (Blend || Bright || Kind == SrcKind::Alpha)) return false;
  if ((K == Kernel::MixTable6 || K == Kernel::MixSigned16) && !Is16) return false;
  return true;
}

}  // namespace quelt::softblit
