// The dedicated loops of the conversion for the common pairs: palette, 16, 24 and 32-bit
// sources into 16, 24 and 32-bit destinations with plain channels, no option but the
// transparent colour. They compute exactly what the general path computes, from tables
// built once per call.
#include <emmintrin.h>

#include <array>
#include <cstring>

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

// A channel done by arithmetic instead of its table, where that gives the same bits for
// every source value: narrowed by a right shift, widened by a left shift plus the rounding
// term as a multiply by a reciprocal, so the compiler can run the loop on vectors.
struct ChannelMath {
  uint32_t srcShift, srcMax;  // the source value is (pixel >> srcShift) & srcMax
  uint32_t left, right;       // widening, narrowing shifts
  uint32_t factor;            // (value * factor) >> kReciprocalBits is the widening's remainder
  uint32_t destShift, destMask;
};

constexpr uint32_t kReciprocalBits = 24;

inline uint32_t ApplyMath(const ChannelMath& m, uint32_t v) {
  const uint32_t value = (v >> m.srcShift) & m.srcMax;
  return ((((value << m.left) >> m.right) + ((value * m.factor) >> kReciprocalBits)) << m.destShift) &
         m.destMask;
}

// The arithmetic form of a channel table, or false where some value comes out otherwise.
bool MathForTable(ChannelMath& m, const ChannelTable& t, int srcWidth, int destShift, int destWidth,
                  uint32_t destMask, bool widthChange) {
  m = ChannelMath{};
  if (srcWidth > 0 && destWidth > 0 && t.shift < 32 && destShift < 32) {
    m.srcShift = static_cast<uint32_t>(t.shift);
    m.srcMax = t.max;
    m.destShift = static_cast<uint32_t>(destShift);
    m.destMask = destMask;
    if (widthChange && destWidth < srcWidth) m.right = static_cast<uint32_t>(srcWidth - destWidth);
    if (widthChange && destWidth > srcWidth) {
      m.left = static_cast<uint32_t>(destWidth - srcWidth);
      const uint32_t divisor = MaxOfWidth(srcWidth);
      const uint32_t multiplier = (1u << m.left) - 1;
      m.factor = multiplier * (((1u << kReciprocalBits) + divisor - 1) / divisor);
    }
  }
  for (uint32_t c = 0; c <= t.max; ++c) {
    if (ApplyMath(m, c << m.srcShift) != t.out[c]) return false;
  }
  return true;
}

// One channel of the commonest pairs with its widths and places known when compiling: the
// same arithmetic as ChangeWidth, which lets the compiler use constant shifts and multiplies.
template <int SrcShift, int SrcWidth, int DestShift, int DestWidth>
constexpr uint32_t FixedChannel(uint32_t v) {
  constexpr uint32_t srcMax = (1u << SrcWidth) - 1;
  const uint32_t value = (v >> SrcShift) & srcMax;
  if constexpr (DestWidth <= SrcWidth) {
    return (value >> (SrcWidth - DestWidth)) << DestShift;
  } else {
    constexpr uint32_t left = DestWidth - SrcWidth;
    return ((value << left) + value * ((1u << left) - 1) / srcMax) << DestShift;
  }
}

// The pairs with such loops: 32-bit (8 bits a channel at 16, 8, 0, alpha at 24) to R5G6B5,
// X1R5G5B5 and A1R5G5B5, and R5G6B5 to 32-bit.
enum class FixedPair { None, To565, To555, To1555, From565 };

constexpr uint32_t FixedColour(FixedPair p, uint32_t v) {
  switch (p) {
    case FixedPair::To565:
      return FixedChannel<16, 8, 11, 5>(v) | FixedChannel<8, 8, 5, 6>(v) | FixedChannel<0, 8, 0, 5>(v);
    case FixedPair::To555:
    case FixedPair::To1555:
      return FixedChannel<16, 8, 10, 5>(v) | FixedChannel<8, 8, 5, 5>(v) | FixedChannel<0, 8, 0, 5>(v);
    case FixedPair::From565:
      return FixedChannel<11, 5, 16, 8>(v) | FixedChannel<5, 6, 8, 8>(v) | FixedChannel<0, 5, 0, 8>(v);
    default: return 0;
  }
}

struct FastTables {
  ChannelTable red, green, blue, alpha;
};

struct FastState {
  const FastTables* tables;  // null for the pairs with their own loops
  uint32_t colourMask;  // source colour bits
  uint32_t keyBits;     // transparent colour in the source's colour bits
  uint32_t fullAlpha;   // destination alpha bits when opaque (0 without alpha)
  uint32_t unused;      // OR-ed into every 16 and 32-bit destination pixel
  bool transparent;
  bool alphaFromSource;
  bool directColour;    // source colour bits land unchanged in the destination
  ChannelMath redMath, greenMath, blueMath, alphaMath;
  bool math;            // the four channels by arithmetic (same bits as the tables)
  FixedPair fixed;      // a pair with its own loop, or None
};

// The pair whose own loop the formats are written for (the channels already known to be
// plain runs of bits, so the masks fix every shift and width).
FixedPair FixedPairFor(const ColorFormat& sf, const ColorFormat& df) {
  const bool src32 = sf.bytesPerPixel == 4 && sf.redMask == 0xFF0000 && sf.greenMask == 0xFF00 &&
                     sf.blueMask == 0xFF && (sf.alphaMask == 0 || sf.alphaMask == 0xFF000000u);
  const bool src565 = sf.bytesPerPixel == 2 && sf.redMask == 0xF800 && sf.greenMask == 0x7E0 &&
                      sf.blueMask == 0x1F && sf.alphaMask == 0;
  const bool dest32 = df.bytesPerPixel == 4 && df.redMask == 0xFF0000 && df.greenMask == 0xFF00 &&
                      df.blueMask == 0xFF && (df.alphaMask == 0 || df.alphaMask == 0xFF000000u);
  const bool dest555 = df.bytesPerPixel == 2 && df.redMask == 0x7C00 && df.greenMask == 0x3E0 && df.blueMask == 0x1F;
  if (src32 && df.bytesPerPixel == 2 && df.redMask == 0xF800 && df.greenMask == 0x7E0 && df.blueMask == 0x1F &&
      df.alphaMask == 0) {
    return FixedPair::To565;
  }
  if (src32 && dest555 && df.alphaMask == 0) return FixedPair::To555;
  if (src32 && dest555 && df.alphaMask == 0x8000) return FixedPair::To1555;
  if (src565 && dest32) return FixedPair::From565;
  return FixedPair::None;
}

// Every value of one channel comes out of the pair's loop as the general path makes it.
constexpr bool FixedChannelMatches(FixedPair p, int srcShift, int srcWidth, int destShift, int destWidth,
                                   uint32_t destMask) {
  for (uint32_t c = 0; c <= MaxOfWidth(srcWidth); ++c) {
    if (FixedColour(p, c << srcShift) != (Place(ChangeWidth(c, srcWidth, destWidth), destShift) & destMask)) {
      return false;
    }
  }
  return true;
}

static_assert(FixedChannelMatches(FixedPair::To565, 16, 8, 11, 5, 0xF800) &&
              FixedChannelMatches(FixedPair::To565, 8, 8, 5, 6, 0x7E0) &&
              FixedChannelMatches(FixedPair::To565, 0, 8, 0, 5, 0x1F));
static_assert(FixedChannelMatches(FixedPair::To555, 16, 8, 10, 5, 0x7C00) &&
              FixedChannelMatches(FixedPair::To555, 8, 8, 5, 5, 0x3E0) &&
              FixedChannelMatches(FixedPair::To555, 0, 8, 0, 5, 0x1F));
static_assert(FixedChannelMatches(FixedPair::To1555, 16, 8, 10, 5, 0x7C00) &&
              FixedChannelMatches(FixedPair::To1555, 8, 8, 5, 5, 0x3E0) &&
              FixedChannelMatches(FixedPair::To1555, 0, 8, 0, 5, 0x1F));
static_assert(FixedChannelMatches(FixedPair::From565, 11, 5, 16, 8, 0xFF0000) &&
              FixedChannelMatches(FixedPair::From565, 5, 6, 8, 8, 0xFF00) &&
              FixedChannelMatches(FixedPair::From565, 0, 5, 0, 8, 0xFF));
static_assert([] {
  for (uint32_t c = 0; c < 256; ++c) {
    if (FixedChannel<24, 8, 15, 1>(c << 24) != (Place(ChangeWidth(c, 8, 1), 15) & 0x8000)) return false;
  }
  return true;
}());

enum class AlphaWay { Full, Key, Source };
enum class ColourWay { Direct, Math, Table, To565, To555, To1555, From565 };

constexpr FixedPair PairOf(ColourWay c) {
  switch (c) {
    case ColourWay::To565: return FixedPair::To565;
    case ColourWay::To555: return FixedPair::To555;
    case ColourWay::To1555: return FixedPair::To1555;
    case ColourWay::From565: return FixedPair::From565;
    default: return FixedPair::None;
  }
}

// How far ahead of the conversion the source is fetched into the cache: the hardware's own
// fetching alone leaves the loop waiting on a source that is not in the nearest caches.
constexpr int32_t kPrefetchPixels = 256;

// Eight pixels a step of 32-bit to R5G6B5 (the same bits as FixedChannel). One multiply-add
// brings red's and blue's top five bits beside green's six (red * 2^13 + blue * 2^2), which
// lands the value at bit 5 of its lane; a left shift by 11 and an arithmetic one by 16 bring
// it down sign-extended for the signed pack. Returns the pixels done.
int32_t RowTo565(const uint8_t* s, uint8_t* d, int32_t width) {
  const __m128i redBlue = _mm_set1_epi32(0x00F800F8), green = _mm_set1_epi32(0x0000FC00);
  const __m128i factors = _mm_set1_epi32(0x20000004);  // red's word by 2^13, blue's by 2^2
  const auto place = [&](__m128i v) {
    const __m128i o = _mm_or_si128(_mm_madd_epi16(_mm_and_si128(v, redBlue), factors), _mm_and_si128(v, green));
    return _mm_srai_epi32(_mm_slli_epi32(o, 11), 16);
  };
  const auto load = [&](int32_t i) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4)); };
  const auto step = [&](int32_t i) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 2), _mm_packs_epi32(place(load(i)), place(load(i + 4))));
  };
  int32_t x = 0;
  for (; x + kPrefetchPixels + 16 <= width; x += 16) {
    _mm_prefetch(reinterpret_cast<const char*>(s + (x + kPrefetchPixels) * 4), _MM_HINT_T0);
    step(x);
    step(x + 8);
  }
  for (; x + 8 <= width; x += 8) step(x);
  return x;
}

// Eight pixels a step of R5G6B5 to 32-bit with `high` in the top byte. The widening's
// remainder value * (2^k - 1) / max is a high-half multiply by the rounded-up reciprocal,
// exact over every 5 and 6-bit value.
int32_t RowFrom565(const uint8_t* s, uint8_t* d, int32_t width, uint32_t high) {
  constexpr int16_t kBy31 = 2115, kBy63 = 1041;  // ceil(65536 / 31), ceil(65536 / 63)
  const __m128i five = _mm_set1_epi16(31), six = _mm_set1_epi16(63);
  const __m128i top = _mm_set1_epi16(static_cast<int16_t>(high >> 16));
  int32_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x * 2));
    const __m128i r5 = _mm_srli_epi16(p, 11);
    const __m128i g6 = _mm_and_si128(_mm_srli_epi16(p, 5), six);
    const __m128i b5 = _mm_and_si128(p, five);
    const __m128i r8 = _mm_add_epi16(_mm_slli_epi16(r5, 3),
                                     _mm_mulhi_epu16(_mm_mullo_epi16(r5, _mm_set1_epi16(7)), _mm_set1_epi16(kBy31)));
    const __m128i g8 = _mm_add_epi16(_mm_slli_epi16(g6, 2),
                                     _mm_mulhi_epu16(_mm_mullo_epi16(g6, _mm_set1_epi16(3)), _mm_set1_epi16(kBy63)));
    const __m128i b8 = _mm_add_epi16(_mm_slli_epi16(b5, 3),
                                     _mm_mulhi_epu16(_mm_mullo_epi16(b5, _mm_set1_epi16(7)), _mm_set1_epi16(kBy31)));
    const __m128i low = _mm_or_si128(_mm_slli_epi16(g8, 8), b8);
    const __m128i hi = _mm_or_si128(r8, top);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x * 4), _mm_unpacklo_epi16(low, hi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x * 4 + 16), _mm_unpackhi_epi16(low, hi));
  }
  return x;
}

// Sixteen pixels a step of a 32-bit source whose colour bits land where they are:
// (pixel & colourMask) | high. Returns the pixels done.
int32_t RowDirect32(const uint8_t* s, uint8_t* d, int32_t width, uint32_t colourMask, uint32_t high) {
  const __m128i mask = _mm_set1_epi32(static_cast<int32_t>(colourMask));
  const __m128i top = _mm_set1_epi32(static_cast<int32_t>(high));
  const auto load = [&](int32_t i) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4)); };
  const auto put = [&](int32_t i, __m128i v) {
    _mm_store_si128(reinterpret_cast<__m128i*>(d + i * 4), _mm_or_si128(_mm_and_si128(v, mask), top));
  };
  // The stores go to whole 16-byte blocks of the destination (a row that never reaches one
  // is done here whole).
  int32_t x = 0;
  for (; x < width && (reinterpret_cast<uintptr_t>(d + x * 4) & 15) != 0; ++x) {
    uint32_t v;
    std::memcpy(&v, s + x * 4, 4);
    v = (v & colourMask) | high;
    std::memcpy(d + x * 4, &v, 4);
  }
  // All the loads of a step go before its stores; eight vectors where the processor has
  // sixteen registers (x86-64), four where it has eight.
  constexpr int32_t kVectors = sizeof(void*) == 8 ? 8 : 4;
  for (; x + 4 * kVectors <= width; x += 4 * kVectors) {
    __m128i v[kVectors];
    for (int32_t k = 0; k < kVectors; ++k) v[k] = load(x + 4 * k);
    for (int32_t k = 0; k < kVectors; ++k) put(x + 4 * k, v[k]);
  }
  for (; x + 4 <= width; x += 4) put(x, load(x));
  return x;
}

// Four pixels a step of a 24-bit source widened to 32 bits the same way. Pixel k's three
// bytes sit at 3k of a 16-byte load and move to 4k by a shift of k bytes; each load reads
// four bytes past its pixels, so the steps stop eight pixels short of the row's end.
int32_t RowDirect24To32(const uint8_t* s, uint8_t* d, int32_t width, uint32_t colourMask, uint32_t high) {
  const __m128i lane0 = _mm_set_epi32(0, 0, 0, static_cast<int32_t>(colourMask));
  const __m128i lane1 = _mm_slli_si128(lane0, 4);
  const __m128i lane2 = _mm_slli_si128(lane0, 8);
  const __m128i lane3 = _mm_slli_si128(lane0, 12);
  const __m128i top = _mm_set1_epi32(static_cast<int32_t>(high));
  const auto step = [&](int32_t i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 3));
    const __m128i spread = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(v, lane0), _mm_and_si128(_mm_slli_si128(v, 1), lane1)),
        _mm_or_si128(_mm_and_si128(_mm_slli_si128(v, 2), lane2), _mm_and_si128(_mm_slli_si128(v, 3), lane3)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), _mm_or_si128(spread, top));
  };
  int32_t x = 0;
  for (; x + 16 + 8 <= width; x += 16) {
    step(x);
    step(x + 4);
    step(x + 8);
    step(x + 12);
  }
  for (; x + 8 <= width; x += 4) step(x);
  return x;
}

template <int SrcBytes, int DestBytes, ColourWay C, AlphaWay A>
void TrueColourLoop(const Request& q, const FastState& st, int32_t width, int32_t height) {
  const FastState s0 = st;  // a local copy: the loop's constants stay in registers
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = q.src + (int64_t{q.rect.top} + y) * q.srcPitch + int64_t{q.rect.left} * SrcBytes;
    uint8_t* d = q.dest + (int64_t{q.destY} + y) * q.destPitch + int64_t{q.destX} * DestBytes;
    int32_t x = 0;
    if constexpr (C == ColourWay::To565 && A == AlphaWay::Full) {
      if ((s0.fullAlpha | s0.unused) == 0) x = RowTo565(s, d, width);
    }
    if constexpr (C == ColourWay::Direct && A == AlphaWay::Full && DestBytes == 4) {
      const uint32_t high = s0.fullAlpha | s0.unused;
      if constexpr (SrcBytes == 4) x = RowDirect32(s, d, width, s0.colourMask, high);
      if constexpr (SrcBytes == 3) x = RowDirect24To32(s, d, width, s0.colourMask, high);
    }
    if constexpr (C == ColourWay::From565 && A == AlphaWay::Full) {
      const uint32_t high = s0.fullAlpha | s0.unused;
      if ((high & 0xFFFFFF) == 0) x = RowFrom565(s, d, width, high);
    }
    for (; x < width; ++x) {
      const uint32_t v = LoadRaw(s + x * SrcBytes, SrcBytes);
      uint32_t out;
      if constexpr (C == ColourWay::Direct) {
        out = v & s0.colourMask;
      } else if constexpr (C == ColourWay::Math) {
        out = ApplyMath(s0.redMath, v) | ApplyMath(s0.greenMath, v) | ApplyMath(s0.blueMath, v);
      } else if constexpr (PairOf(C) != FixedPair::None) {
        out = FixedColour(PairOf(C), v);
      } else {
        const FastTables& t = *s0.tables;
        out = t.red.out[(v >> t.red.shift) & t.red.max] | t.green.out[(v >> t.green.shift) & t.green.max] |
              t.blue.out[(v >> t.blue.shift) & t.blue.max];
      }
      if constexpr (A == AlphaWay::Key) {
        out |= (v & s0.colourMask) == s0.keyBits ? 0 : s0.fullAlpha;
      } else if constexpr (A == AlphaWay::Source) {
        if constexpr (C == ColourWay::To1555) out |= FixedChannel<24, 8, 15, 1>(v);
        else if constexpr (C == ColourWay::Math) out |= ApplyMath(s0.alphaMath, v);
        else out |= s0.tables->alpha.out[(v >> s0.tables->alpha.shift) & s0.tables->alpha.max];
      } else {
        out |= s0.fullAlpha;
      }
      StoreRaw(d + x * DestBytes, out | s0.unused, DestBytes);
    }
  }
}

template <int SrcBytes, int DestBytes, ColourWay C>
void DispatchAlpha(const Request& q, const FastState& st, int32_t width, int32_t height) {
  if (st.transparent) TrueColourLoop<SrcBytes, DestBytes, C, AlphaWay::Key>(q, st, width, height);
  else if (st.alphaFromSource) TrueColourLoop<SrcBytes, DestBytes, C, AlphaWay::Source>(q, st, width, height);
  else TrueColourLoop<SrcBytes, DestBytes, C, AlphaWay::Full>(q, st, width, height);
}

template <int SrcBytes, int DestBytes>
void DispatchColour(const Request& q, const FastState& st, int32_t width, int32_t height) {
  if constexpr (SrcBytes == 4 && DestBytes == 2) {
    if (st.fixed == FixedPair::To565) return DispatchAlpha<4, 2, ColourWay::To565>(q, st, width, height);
    if (st.fixed == FixedPair::To555) return DispatchAlpha<4, 2, ColourWay::To555>(q, st, width, height);
    if (st.fixed == FixedPair::To1555) return DispatchAlpha<4, 2, ColourWay::To1555>(q, st, width, height);
  }
  if constexpr (SrcBytes == 2 && DestBytes == 4) {
    if (st.fixed == FixedPair::From565) return DispatchAlpha<2, 4, ColourWay::From565>(q, st, width, height);
  }
  if (st.directColour) DispatchAlpha<SrcBytes, DestBytes, ColourWay::Direct>(q, st, width, height);
  else if (st.math) DispatchAlpha<SrcBytes, DestBytes, ColourWay::Math>(q, st, width, height);
  else DispatchAlpha<SrcBytes, DestBytes, ColourWay::Table>(q, st, width, height);
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
    case 2: DispatchColour<SrcBytes, 2>(q, st, width, height); break;
    case 3: DispatchColour<SrcBytes, 3>(q, st, width, height); break;
    default: DispatchColour<SrcBytes, 4>(q, st, width, height); break;
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
  int32_t width = q.rect.right - q.rect.left, height = q.rect.bottom - q.rect.top;
  if (sf.bytesPerPixel == 1) {
    if (sf.bitDepth != 8) return false;
    PaletteSource(q, width, height);
    return true;
  }
  if (!PlainChannels(sf)) return false;

  FastState st{};
  st.colourMask = sf.redMask | sf.greenMask | sf.blueMask;
  const uint32_t c = q.transparentColour;
  st.keyBits =
      PackColorToPixel(&sf, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 255) & st.colourMask;
  st.fullAlpha = df.alphaMask;
  st.unused = df.bytesPerPixel == 3 ? 0 : df.unusedMask;
  st.transparent = q.transparent != 0;
  st.alphaFromSource = sf.alphaWidth != 0 && df.alphaWidth != 0;
  st.fixed = widthChange ? FixedPairFor(sf, df) : FixedPair::None;
  // The pairs with their own loops need no tables: those loops compute the tables' bits.
  FastTables tables;
  st.directColour = st.fixed == FixedPair::None && !widthChange && sf.redMask == df.redMask &&
                    sf.greenMask == df.greenMask && sf.blueMask == df.blueMask;
  // Colour bits that stay where they are need no tables either, unless alpha comes from the source.
  if (st.fixed == FixedPair::None && (!st.directColour || st.alphaFromSource)) {
    BuildChannel(tables.red, sf.redShift, sf.redWidth, df.redShift, df.redWidth, df.redMask, widthChange);
    BuildChannel(tables.green, sf.greenShift, sf.greenWidth, df.greenShift, df.greenWidth, df.greenMask,
                 widthChange);
    BuildChannel(tables.blue, sf.blueShift, sf.blueWidth, df.blueShift, df.blueWidth, df.blueMask, widthChange);
    BuildChannel(tables.alpha, sf.alphaShift, sf.alphaWidth, df.alphaShift, df.alphaWidth, df.alphaMask,
                 widthChange);
    st.tables = &tables;
    st.math =
        MathForTable(st.redMath, tables.red, sf.redWidth, df.redShift, df.redWidth, df.redMask, widthChange) &&
        MathForTable(st.greenMath, tables.green, sf.greenWidth, df.greenShift, df.greenWidth, df.greenMask,
                     widthChange) &&
        MathForTable(st.blueMath, tables.blue, sf.blueWidth, df.blueShift, df.blueWidth, df.blueMask,
                     widthChange) &&
        MathForTable(st.alphaMath, tables.alpha, sf.alphaWidth, df.alphaShift, df.alphaWidth, df.alphaMask,
                     widthChange);
  }
  // Rows that follow one another without a gap in both blocks are done as one long row.
  const int64_t pixels = int64_t{width} * height;
  if (RowsWithoutGaps(q, width) && pixels * 4 <= INT32_MAX) {
    width = static_cast<int32_t>(pixels);
    height = 1;
  }
  switch (sf.bytesPerPixel) {
    case 2: DispatchDest<2>(q, st, width, height); break;
    case 3: DispatchDest<3>(q, st, width, height); break;
    default: DispatchDest<4>(q, st, width, height); break;
  }
  return true;
}

}  // namespace quelt::pixel_convert
