#pragma once
// The one pixel-loop template of the rotated blit and the triangles: a walk (which
// destination pixels, with which texture positions), row addressing, a source adapter,
// the mode's formula and the blend-image, bright and transparency variant, all fixed at
// compile time so that a loop tests nothing per pixel but its texel range and its own
// transparent or alpha condition.
#include <cstdint>

#include "softrender/clip_rect.h"
#include "softrender/pixel_stage_context.h"
#include "softrender/pixel_stage_formulas.h"
#include "softrender/pixel_stage_spans_sse2.h"

namespace quelt {

// What a source adapter hands to the formula: the colour word in the destination's
// format, the value the transparent colour is compared with, and the alpha byte.
struct TexelRead {
  uint32_t colour;
  uint32_t key;
  uint32_t alpha;
};

struct Direct32Source {
  static constexpr PixelSource kKind = PixelSource::Direct;
  static constexpr uint32_t kTexelBytes = 4;
  static constexpr bool kAlpha = false;
  static TexelRead Read(const PixelContext&, const uint8_t* t) {
    const uint32_t word = LoadPixel32(t);
    return {word, word, 0};
  }
};
struct Alpha32Source {
  static constexpr PixelSource kKind = PixelSource::Alpha;
  static constexpr uint32_t kTexelBytes = 4;
  static constexpr bool kAlpha = true;
  static TexelRead Read(const PixelContext&, const uint8_t* t) {
    const uint32_t word = LoadPixel32(t);
    return {word, word, word >> 24};
  }
};
struct Palette32Source {
  static constexpr PixelSource kKind = PixelSource::Palette;
  static constexpr uint32_t kTexelBytes = 1;
  static constexpr bool kAlpha = false;
  static TexelRead Read(const PixelContext& c, const uint8_t* t) {
    return {LoadPixel32(c.palette + 4u * t[0]), t[0], 0};
  }
};
struct Direct16Source {
  static constexpr PixelSource kKind = PixelSource::Direct;
  static constexpr uint32_t kTexelBytes = 2;
  static constexpr bool kAlpha = false;
  static TexelRead Read(const PixelContext&, const uint8_t* t) {
    const uint32_t word = LoadPixel16(t);
    return {word, word, 0};
  }
};
struct Alpha16Source {  // RGB565 in bytes 0-1, alpha in byte 2, byte 3 unused
  static constexpr PixelSource kKind = PixelSource::Alpha;
  static constexpr uint32_t kTexelBytes = 4;
  static constexpr bool kAlpha = true;
  static TexelRead Read(const PixelContext&, const uint8_t* t) {
    const uint32_t word = LoadPixel16(t);
    return {word, word, t[2]};
  }
};
struct Palette16Source {
  static constexpr PixelSource kKind = PixelSource::Palette;
  static constexpr uint32_t kTexelBytes = 1;
  static constexpr bool kAlpha = false;
  static TexelRead Read(const PixelContext& c, const uint8_t* t) {
    return {LoadPixel16(c.palette + 2u * t[0]), t[0], 0};
  }
};
struct ColourSource {
  static constexpr PixelSource kKind = PixelSource::Colour;
  static constexpr uint32_t kTexelBytes = 0;
  static constexpr bool kAlpha = false;
  static TexelRead Read(const PixelContext& c, const uint8_t*) { return {c.fill, 0, 0}; }
};

template <template <uint32_t, bool, bool, bool> class Formula, class Source, uint32_t Mode,
          bool Blend, bool Bright, bool Trans>
struct PixelOp {
  using Src = Source;
  static constexpr uint32_t kMode = Mode;
  static constexpr bool kBlend = Blend;
  static constexpr bool kBright = Bright;
  static constexpr bool kTrans = Trans;
  static constexpr uint32_t kDstBytes = Formula<Mode, Blend, Bright, false>::kDstBytes;

  static void Apply(const PixelContext& c, uint8_t* dst, const uint8_t* texel, uint32_t w) {
    const TexelRead t = Source::Read(c, texel);
    if constexpr (Source::kAlpha) {
      if constexpr (Trans) {
        if (Formula<Mode, Blend, Bright, true>::kSkipsZeroAlpha && t.alpha == 0) return;
        if (t.alpha == 255) {  // opaque: the form without alpha
          Formula<Mode, Blend, Bright, false>::Apply(c, dst, t.colour, 0, w);
          return;
        }
      }
      Formula<Mode, Blend, Bright, true>::Apply(c, dst, t.colour, t.alpha, w);
    } else {
      if constexpr (Trans) {
        if (t.key == c.transparent) return;
      }
      Formula<Mode, Blend, Bright, false>::Apply(c, dst, t.colour, 0, w);
    }
  }
};

// Row addressing: the rotated blit's per-call row tables, or row times pitch.
struct TableRows {
  static const uint8_t* Source(const PixelContext& c, uint32_t row) { return c.srcRows[row]; }
  static const uint8_t* Blend(const PixelContext& c, uint32_t row) { return c.blendRows[row]; }
};
struct PitchRows {
  static const uint8_t* Source(const PixelContext& c, uint32_t row) {
    return c.srcPixels + row * c.srcPitch;
  }
  static const uint8_t* Blend(const PixelContext& c, uint32_t row) {
    return c.blendPixels + row * c.blendPitch;
  }
};

template <class Op, class Rows>
inline void DrawTexel(const PixelContext& c, uint8_t* dst, uint32_t u, uint32_t v) {
  const uint32_t column = u >> kFixedShift, row = v >> kFixedShift;
  const uint8_t* texel = Rows::Source(c, row) + column * Op::Src::kTexelBytes;
  uint32_t weight = 0;
  if constexpr (Op::kBlend) weight = c.border[Rows::Blend(c, row)[column]];
  Op::Apply(c, dst, texel, weight);
}

// a / b for 0 <= a and 0 < b: a 32-bit division where both fit, as they nearly always do
// (a 64-bit one is a library call on 32-bit x86, and this runs twice per span).
inline int64_t DivideNonNegative(int64_t a, int64_t b) {
  if (a <= UINT32_MAX && b <= UINT32_MAX) return static_cast<uint32_t>(a) / static_cast<uint32_t>(b);
  return a / b;
}

// The pixels [first, last] of a span of n whose position start + i * step passes the
// unsigned test "below limit". Only when no position of the span wraps (so that the test
// is a plain signed range test); false otherwise.
inline bool PassingRange(uint32_t start, uint32_t step, int32_t n, uint32_t limit,
                         int32_t& first, int32_t& last) {
  if (limit > 0x80000000u) return false;
  const int64_t s = static_cast<int32_t>(start), d = static_cast<int32_t>(step);
  const int64_t end = s + (n - 1) * d;
  if (end < INT32_MIN || end > INT32_MAX) return false;
  const int64_t top = int64_t{limit} - 1;  // positions 0..top pass
  int64_t lo = 0, hi = n - 1;
  if (d == 0) {
    if (s < 0 || s > top) hi = -1;
  } else if (d > 0) {
    if (s < 0) lo = DivideNonNegative(-s + d - 1, d);
    hi = s > top ? -1 : DivideNonNegative(top - s, d);
  } else {
    if (s > top) lo = DivideNonNegative(s - top + (-d) - 1, -d);
    hi = s < 0 ? -1 : DivideNonNegative(s, -d);
  }
  // lo may lie far beyond the span (up to 2^31 pixels): held to n, so that an empty range
  // stays empty instead of wrapping to a negative start.
  const int64_t from = lo > first ? lo : first;
  const int64_t to = hi < last ? hi : last;
  first = static_cast<int32_t>(from < n ? from : n);
  last = static_cast<int32_t>(to);
  return true;
}

// n destination pixels from dst rightwards, texture position (u, v) stepping per pixel;
// a pixel is drawn only when its texel lies inside the source. Where no position wraps,
// the passing pixels are found once per span instead of by a test per pixel.
template <class Op, class Rows>
inline void TexturedSpan(const PixelContext& c, uint8_t* dst, int32_t n, uint32_t u,
                         uint32_t v) {
  const uint32_t uLimit = c.uLimit, vLimit = c.vLimit, du = c.uStepX, dv = c.vStepX;
  if (n <= 0) return;
  int32_t first = 0, last = n - 1;
  if (PassingRange(u, du, n, uLimit, first, last) && PassingRange(v, dv, n, vLimit, first, last)) {
    u += static_cast<uint32_t>(first) * du;
    v += static_cast<uint32_t>(first) * dv;
    dst += static_cast<uint32_t>(first) * Op::kDstBytes;
    const int32_t grouped = first <= last ? DrawSpanGroups<Op, Rows>(c, dst, last - first + 1, u, v) : 0;
    for (int32_t i = first + grouped; i <= last; ++i, dst += Op::kDstBytes, u += du, v += dv) {
      DrawTexel<Op, Rows>(c, dst, u, v);
    }
    return;
  }
  for (; n > 0; --n, dst += Op::kDstBytes, u += du, v += dv) {
    if (u < uLimit && v < vLimit) DrawTexel<Op, Rows>(c, dst, u, v);
  }
}

template <class Op>
inline void ColourSpan(const PixelContext& c, uint8_t* dst, int32_t n) {
  for (; n > 0; --n, dst += Op::kDstBytes) Op::Apply(c, dst, nullptr, 0);
}

// The rotated blit's walk: every pixel of a clipped box, row by row.
struct RotateSetup {
  uint8_t* dst;      // the box's top-left destination pixel
  int32_t dstPitch;
  int32_t width;     // box size in pixels
  int32_t rows;
  uint32_t u, v;     // texture position of the box's top-left pixel
  uint32_t uStepY, vStepY;
};

template <class Rows>
struct RotateWalk {
  using Setup = RotateSetup;
  template <class Op>
  static void Run(const Setup& s, const PixelContext& c) {
    uint8_t* row = s.dst;
    uint32_t u = s.u, v = s.v;
    for (int32_t r = 0; r < s.rows; ++r, row += s.dstPitch, u += s.uStepY, v += s.vStepY) {
      TexturedSpan<Op, Rows>(c, row, s.width, u, v);
    }
  }
};

// The triangle's walk: spans between a left and a right edge of one or two segments.
struct EdgeSegment {
  int32_t start;  // 14.18 x of the first row
  int32_t step;   // 14.18 change of x per row
  int32_t rows;
};
struct TriangleEdge {
  EdgeSegment segments[2];
  int32_t count;
};
struct TriangleSetup {
  uint8_t* dstPixels;
  int32_t dstPitch;
  IntRect clip;          // ClipRect, never beyond the destination
  TriangleEdge left, right;
  int32_t firstRow;      // the top vertex's row
  int32_t midRow;        // the middle vertex's row
  int32_t xa, ya;        // pixel position of the gradients' origin vertex
  uint32_t ua, va;       // its 14.18 texture position
  uint32_t uStepY, vStepY;
};

struct TriangleWalk {
  using Setup = TriangleSetup;
  template <class Op>
  static void Run(const Setup& s, const PixelContext& c) {
    int32_t leftIndex = 0, rightIndex = 0;
    EdgeSegment left = s.left.segments[0], right = s.right.segments[0];
    uint32_t leftX = static_cast<uint32_t>(left.start), rightX = static_cast<uint32_t>(right.start);
    int32_t y = s.firstRow;
    for (;;) {
      int32_t xl = static_cast<int32_t>(leftX) / kFixedOne;  // toward zero
      const int32_t xr = static_cast<int32_t>(rightX) / kFixedOne;
      int32_t count = xr - xl + 1;  // both ends included
      if (xl < s.clip.x1) {
        count -= s.clip.x1 - xl;
        xl = s.clip.x1;
      }
      if (y >= s.clip.y1 && y < s.clip.y2 && xl < s.clip.x2 && count > 0) {
        const int32_t n = count < s.clip.x2 - xl ? count : s.clip.x2 - xl;
        uint8_t* dst = s.dstPixels + y * s.dstPitch + xl * static_cast<int32_t>(Op::kDstBytes);
        if constexpr (Op::Src::kKind == PixelSource::Colour) {
          ColourSpan<Op>(c, dst, n);
        } else {
          const uint32_t dx = static_cast<uint32_t>(xl - s.xa);
          const uint32_t dy = static_cast<uint32_t>(y) - static_cast<uint32_t>(s.ya);
          TexturedSpan<Op, PitchRows>(c, dst, n, s.ua + dx * c.uStepX + dy * s.uStepY,
                                      s.va + dx * c.vStepX + dy * s.vStepY);
        }
      }
      leftX += static_cast<uint32_t>(left.step);
      rightX += static_cast<uint32_t>(right.step);
      ++y;
      if (--left.rows == 0) {
        if (++leftIndex == s.left.count) return;
        left = s.left.segments[leftIndex];
        leftX = static_cast<uint32_t>(left.start);
        y = s.midRow;
      }
      if (--right.rows == 0) {
        if (++rightIndex == s.right.count) return;
        right = s.right.segments[rightIndex];
        rightX = static_cast<uint32_t>(right.start);
        y = s.midRow;
      }
    }
  }
};

template <class Walk, class Op>
void PixelLoop(const typename Walk::Setup& setup, const PixelContext& c) {
  Walk::template Run<Op>(setup, c);
}

template <class Walk>
using PixelLoopFn = void (*)(const typename Walk::Setup&, const PixelContext&);

}  // namespace quelt
