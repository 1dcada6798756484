#pragma once
// The per-mode pixel formulas of the rotated blit, the triangles and the solid fill, one
// set for 32-bit destinations (bytes blue, green, red, fourth byte) and one for RGB565.
// The two sets differ on purpose: the 16-bit alpha-type blends without a blend image go
// through SignedProductTable (steps truncated toward zero), the 32-bit ones shift (floor);
// the 16-bit add and subtract scale by alpha before bright without a blend image.
#include <cstdint>
#include <cstring>

#include "softrender/blend_mode.h"
#include "softrender/pixel_access.h"
#include "softrender/pixel_stage_context.h"

namespace quelt {

// d + floor((x - d) * weight / 2^shift). The exact value of (x - d) * weight + d * 2^shift
// always lies in 0 .. 2^32 - 1, so unsigned wrapping arithmetic gives it exactly even when
// the product alone leaves the int32 range (three weights on a byte).
inline uint32_t BlendStep(uint32_t d, uint32_t x, uint32_t weight, int shift) {
  return ((x - d) * weight + (d << shift)) >> shift;
}

// Saturating add of three bytes in one 32-bit addition. Green and red lose their lowest
// bit to the carry of the channel below; the fourth byte receives red's carry.
inline uint32_t PackedAdd32(uint32_t d, uint32_t t) {
  const uint32_t sum = (d & 0x00FEFEFFu) + (t & 0x00FEFEFFu);
  const uint32_t carries = sum & 0x01010100u;
  return (carries - (carries >> 8)) | ((d | t) & 0x00010100u) | sum;
}

// Saturating subtract of three bytes; guard bits above each channel absorb its borrow.
// The fourth byte always becomes 0.
inline uint32_t PackedSub32(uint32_t d, uint32_t t) {
  const uint32_t diff = (d | 0x01010100u) - (t & 0xFEFEFEFFu);
  const uint32_t guards = diff & 0x01010100u;
  return diff & (guards - (guards >> 8));
}

// The same two on RGB565 words (bits 5 and 11 act as carry and guard bits).
inline uint32_t PackedAdd565(uint32_t d, uint32_t t) {
  const uint32_t sum = (d & 0xF7DFu) + (t & 0xF7DFu);
  const uint32_t carries = sum & 0x10820u;
  return ((carries - (carries >> 5)) | ((d | t) & 0x0820u) | sum) & 0xFFFFu;
}
inline uint32_t PackedSub565(uint32_t d, uint32_t t) {
  const uint32_t diff = (d | 0x10820u) - (t & 0xF7DFu);
  const uint32_t guards = diff & 0x10820u;
  return diff & (guards - (guards >> 5)) & 0xFFFFu;
}

inline constexpr bool IsAlphaTypeMode(uint32_t mode) { return mode == BlendAlpha || mode == BlendInvertAlpha; }

// A formula is instantiated per mode and per variant: Blend (a blend-image weight W is
// present), Bright (bright scaling on) and Weighted (the texel's alpha a takes part).

template <uint32_t Mode, bool Blend, bool Bright, bool Weighted>
struct Formula32 {
  static constexpr uint32_t kDstBytes = 4;
  // With the transparent flag, alpha 0 skips the pixel only in these modes.
  static constexpr bool kSkipsZeroAlpha = Mode <= BlendMul;

  static void Apply(const PixelContext& c, uint8_t* dst, uint32_t s, uint32_t a, uint32_t w) {
    constexpr int kWeights = int{Blend} + int{Weighted};
    const uint32_t weight = (Blend ? w : 1u) * (Weighted ? a : 1u);
    const int32_t* const brightRows[3] = {c.brightBlue, c.brightGreen, c.brightRed};
    const uint32_t d = LoadPixel32(dst);
    uint32_t x[3];
    for (int k = 0; k < 3; ++k) {
      uint32_t byte = (s >> (8 * k)) & 0xFFu;
      if constexpr (Mode == BlendInvertAlpha) byte = 255u - byte;  // complemented before bright
      if constexpr (Bright) byte = static_cast<uint32_t>(brightRows[k][byte]);
      x[k] = byte;
    }

    if constexpr (Mode == BlendAdd || Mode == BlendSub) {
      uint32_t t = 0;
      for (int k = 0; k < 3; ++k) {
        const uint32_t scaled = kWeights == 0
                                    ? static_cast<uint32_t>(c.paramRow[x[k]])
                                    : (x[k] * weight * c.param) >> (8 * (kWeights + 1));
        t |= (scaled & 0xFFu) << (8 * k);
      }
      StorePixel32(dst, Mode == BlendAdd ? PackedAdd32(d, t) : PackedSub32(d, t));
    } else if constexpr (Mode == BlendMul) {
      // The blend image scales the product; alpha mixes towards it, so alpha 0 keeps d.
      uint32_t out = d & 0xFF000000u;
      for (int k = 0; k < 3; ++k) {
        const uint32_t dk = (d >> (8 * k)) & 0xFFu;
        const uint32_t product = (dk * x[k] * (Blend ? w : 1u)) >> (8 * (int{Blend} + 1));
        out |= ((Weighted ? BlendStep(dk, product, a, 8) : product) & 0xFFu) << (8 * k);
      }
      StorePixel32(dst, out);
    } else if constexpr (Mode == BlendCopy && kWeights == 0) {
      // The plain copy stores the whole texel (fourth byte too); bright keeps d's.
      if constexpr (!Bright) {
        StorePixel32(dst, s);
      } else {
        StorePixel32(dst, (d & 0xFF000000u) | x[0] | x[1] << 8 | x[2] << 16);
      }
    } else {
      StoreBytes(c, dst, d, x, weight);
    }
  }

 private:
  // The forms that write blue, green and red one by one and keep the fourth byte.
  static void StoreBytes(const PixelContext& c, uint8_t* dst, uint32_t d, const uint32_t x[3],
                         uint32_t weight) {
    constexpr int kWeights = int{Blend} + int{Weighted};
    uint32_t out = d & 0xFF000000u;  // every remaining form keeps the fourth byte
    for (int k = 0; k < 3; ++k) {
      const uint32_t dk = (d >> (8 * k)) & 0xFFu;
      uint32_t r;
      if constexpr (Mode == BlendCopy) {
        r = BlendStep(dk, x[k], weight, 8 * kWeights);
      } else if constexpr (Mode == BlendProductAlpha) {
        r = BlendStep(dk, (x[k] * dk) >> 8, weight * c.param, 8 * (kWeights + 1));
      } else {
        static_assert(IsAlphaTypeMode(Mode));
        r = BlendStep(dk, x[k], weight * c.param, 8 * (kWeights + 1));
      }
      out |= (r & 0xFFu) << (8 * k);
    }
    StorePixel32(dst, out);
  }
};

template <uint32_t Mode, bool Blend, bool Bright, bool Weighted>
struct Formula16 {
  static constexpr uint32_t kDstBytes = 2;
  static constexpr bool kSkipsZeroAlpha = Mode <= BlendMul || Mode == BlendInvertAlpha;

  static void Apply(const PixelContext& c, uint8_t* dst, uint32_t s, uint32_t a, uint32_t w) {
    constexpr int kWeights = int{Blend} + int{Weighted};
    const uint32_t weight = (Blend ? w : 1u) * (Weighted ? a : 1u);
    // Fields in the order red, green, blue: shift in the word, and the extra shift of a
    // product of two fields (5 for red and blue, 6 for green).
    constexpr int kFieldShift[3] = {11, 5, 0};
    constexpr uint32_t kFieldMask[3] = {0x1F, 0x3F, 0x1F};
    constexpr int kProductShift[3] = {5, 6, 5};
    const int32_t* const brightRows[3] = {c.brightRed, c.brightGreen, c.brightBlue};
    const uint32_t d = LoadPixel16(dst);
    if constexpr (Mode == BlendInvertAlpha) s ^= 0xFFFFu;  // every field complemented before bright

    uint32_t sf[3], sp[3], df[3];
    for (int f = 0; f < 3; ++f) {
      sf[f] = (s >> kFieldShift[f]) & kFieldMask[f];
      df[f] = (d >> kFieldShift[f]) & kFieldMask[f];
      sp[f] = Bright ? static_cast<uint32_t>(brightRows[f][sf[f]]) : sf[f];
    }

    if constexpr (Mode == BlendCopy && kWeights == 0) {
      StorePixel16(dst, Bright ? sp[0] << 11 | sp[1] << 5 | sp[2] : s);
      return;
    }
    uint32_t r[3];
    for (int f = 0; f < 3; ++f) {
      if constexpr (Mode == BlendCopy) {
        r[f] = BlendStep(df[f], sp[f], weight, 8 * kWeights);
      } else if constexpr (Mode == BlendAdd || Mode == BlendSub) {
        uint32_t scaled;
        if constexpr (!Blend && Weighted) {
          // Without a blend image the alpha scaling comes before bright.
          scaled = (sf[f] * a) >> 8;
          if constexpr (Bright) scaled = static_cast<uint32_t>(brightRows[f][scaled]);
        } else {
          scaled = (sp[f] * weight) >> (8 * kWeights);
        }
        r[f] = static_cast<uint32_t>(c.paramRow[scaled]);
      } else if constexpr (Mode == BlendMul) {
        const uint32_t product = (sp[f] * df[f] * (Blend ? w : 1u)) >> (kProductShift[f] + 8 * int{Blend});
        r[f] = Weighted ? BlendStep(df[f], product, a, 8) : product;
      } else {
        static_assert(IsAlphaTypeMode(Mode) || Mode == BlendProductAlpha);
        const uint32_t target = Mode == BlendProductAlpha ? (sp[f] * df[f]) >> kProductShift[f] : sp[f];
        if constexpr (kWeights == 0) {
          r[f] = df[f] + static_cast<uint32_t>(
                             c.signedParamRow[static_cast<int32_t>(target - df[f])]);
        } else if (Mode == BlendProductAlpha && !Blend && Weighted && !Bright && f == 1) {
          // This green target keeps five fraction bits: ((sG * dG) >> 1) is 32 x target.
          const uint32_t fine = ((sp[1] * df[1]) >> 1) - 32u * df[1];
          r[f] = (fine * (a * c.param) + (df[1] << 21)) >> 21;
        } else {
          r[f] = BlendStep(df[f], target, weight * c.param, 8 * (kWeights + 1));
        }
      }
    }
    const uint32_t value = r[0] << 11 | r[1] << 5 | r[2];
    if constexpr (Mode == BlendAdd) {
      StorePixel16(dst, PackedAdd565(d, value));
    } else if constexpr (Mode == BlendSub) {
      StorePixel16(dst, PackedSub565(d, value));
    } else {
      StorePixel16(dst, value);
    }
  }
};

}  // namespace quelt
