// The plain blitter: a whole source drawn unscaled at (x, y), clipped to the draw area.
#include <cstring>

#include "softrender/blit_rows_sse2.h"
#include "softrender/blit_select.h"
#include "softrender/memimg_draw.h"
#include "softrender/source_snapshot.h"

namespace quelt {

namespace softblit {
namespace {

struct PlainJob {
  PixelContext px;
  uint8_t* dest;  // first visible destination pixel
  int32_t destPitch;
  const uint8_t* src;  // the source pixel drawn there
  int32_t srcPitch;
  const uint8_t* blend;  // the blend byte at the same source position
  int32_t blendPitch;
  const uint8_t* palette;
  uint32_t transparent;
  int32_t width;
  int32_t height;
};

template <class V>
struct PlainLoop {
  using R = typename V::Reader;
  static constexpr bool kPairs = V::Is16 && (V::K == Kernel::AddExact || V::K == Kernel::SubExact);

  // Two 16-bit pixels at once; a pixel whose partner is transparent goes alone.
  static void PairStep(const PlainJob& j, const uint8_t* sp, uint8_t* dp) {
    if constexpr (V::Trans) {
      const bool skipFirst = R::IsTransparent(sp, j.transparent);
      const bool skipSecond = R::IsTransparent(sp + R::kBytes, j.transparent);
      if (skipFirst || skipSecond) {
        if (!skipFirst) DrawPixel<V>(j.px, sp, nullptr, dp, j.palette, j.transparent);
        if (!skipSecond) DrawPixel<V>(j.px, sp + R::kBytes, nullptr, dp + 2, j.palette, j.transparent);
        return;
      }
    }
    const uint32_t s = R::Value(sp, j.palette) | R::Value(sp + R::kBytes, j.palette) << 16;
    const uint32_t d = LoadPixel32(dp);
    StorePixel32(dp, V::K == Kernel::AddExact ? PairAdd16(d, s) : PairSub16(d, s));
  }

  static void Run(const PlainJob& j) {
    const uint8_t* srcRow = j.src;
    const uint8_t* blendRow = j.blend;
    uint8_t* destRow = j.dest;
    [[maybe_unused]] const RowConstants rc = MakeRowConstants(j.px, j.transparent);
    for (int32_t row = 0; row < j.height; ++row) {
      if constexpr (V::kRowCopy) {
        std::memcpy(destRow, srcRow, static_cast<size_t>(j.width) * V::kDestBytes);
      } else if constexpr (HasRowForm<V>()) {
        DrawRow<V>(j.px, rc, destRow, RunSource{srcRow, R::kBytes}, j.width, j.palette, j.transparent);
      } else if constexpr (kPairs) {
        const uint8_t* sp = srcRow;
        uint8_t* dp = destRow;
        int32_t left = j.width;
        for (; left >= 2; left -= 2, sp += 2 * R::kBytes, dp += 4) PairStep(j, sp, dp);
        if (left == 1) DrawPixel<V>(j.px, sp, nullptr, dp, j.palette, j.transparent);
      } else {
        const uint8_t* sp = srcRow;
        const uint8_t* bp = blendRow;
        uint8_t* dp = destRow;
        for (int32_t col = 0; col < j.width; ++col) {
          DrawPixel<V>(j.px, sp, bp, dp, j.palette, j.transparent);
          sp += R::kBytes;
          dp += V::kDestBytes;
          if constexpr (V::Blend) ++bp;
        }
      }
      srcRow += j.srcPitch;
      destRow += j.destPitch;
      if constexpr (V::Blend) blendRow += j.blendPitch;
    }
  }
};

// The row end byte of the runs from p on (every row has one).
inline const uint8_t* RowEnd(const uint8_t* p, const uint8_t* tableEnd) {
  const __m128i end = _mm_set1_epi8(static_cast<char>(kRunRowEnd));
  for (; tableEnd - p >= 16; p += 16) {
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(Load128(p), end));
    if (hits != 0) return p + __builtin_ctz(static_cast<unsigned>(hits));
  }
  while (*p != kRunRowEnd) ++p;
  return p;
}

// Rows whose runs are this many pixels long on average or longer go by the run table; the
// others (noise-like rows) by the ordinary loop, which handles them faster. The 16-bit
// ordinary loop of a transparent colour does twice the pixels per step, so it wins at longer
// runs; a 16-bit alpha row goes by the table as a 32-bit one does (at 16 pixels the five runs
// of a 64-pixel sprite's row with soft edges went by the ordinary loop, measured slower).
template <bool Is16, SrcKind Kind>
constexpr int32_t kRunTableMinAverage = Is16 && Kind == SrcKind::Direct ? 16 : 8;

// Sources narrower than this are drawn by the ordinary loop whole: their rows hold too few
// pixels for the table to win back measuring each row and the unpredictable choice of way
// (measured on 16 to 128-pixel sprites; a 16-bit alpha row of 64 pixels still loses).
constexpr int32_t RunTableMinWidth(bool is16, SrcKind kind) { return is16 && kind == SrcKind::Alpha ? 128 : 64; }

// A run's first reads of the source and a translucent run's of the destination miss the
// cache (every row starts on other lines, often another page). An outline moves little from
// row to row, so where this row has such a run the same place this many rows below is fetched.
constexpr int32_t kPrefetchRows = 2;

// A whole direct or alpha source copied with transparency through its run table: transparent
// runs are passed over unread, opaque ones copied as they are, translucent ones drawn by the
// row form, which gives every pixel exactly what the ordinary loop (`ordinary`) gives it.
template <bool Is16, SrcKind Kind>
void RunTableRows(const PlainJob& j, const uint8_t* runs, const uint8_t* tableEnd,
                  void (*ordinary)(const PlainJob&)) {
  using V = Variant<Is16, Kind, Kernel::Copy, false, false, true>;
  using R = typename V::Reader;
  PlainJob one = j;
  one.height = 1;
  const int64_t prefetchOffset = int64_t{kPrefetchRows} * j.destPitch;
  const int64_t srcPrefetchOffset = int64_t{kPrefetchRows} * j.srcPitch;
  constexpr int32_t kMinAverage = kRunTableMinAverage<Is16, Kind>;
  // The row above decides whether a row goes by the table (an outline changes little from
  // row to row), so a row the table draws is read once; the first row, and those after a row
  // the ordinary loop drew, are measured first.
  bool byTable = false;
  for (int32_t row = 0; row < j.height; ++row) {
    const uint8_t* first = runs;
    if (!byTable) {
      const uint8_t* rowEnd = RowEnd(runs, tableEnd);
      byTable = (rowEnd - runs) * kMinAverage <= j.width;
      if (!byTable) {
        ordinary(one);
        runs = rowEnd + 1;
        one.src += j.srcPitch;
        one.dest += j.destPitch;
        continue;
      }
    }
    int32_t x = 0;
    for (; runs < tableEnd && *runs != kRunRowEnd && x < j.width; ++runs) {
      const uint8_t b = *runs;
      const int kind = b >> 6;
      int32_t n = (b & 63) + 1;
      // Runs end at 64 pixels: in 32-bit rows the ones of the same kind that follow a full one
      // are taken with it (in 16-bit rows, whose copies are half as long, that measured slower).
      // The row end byte is of no kind.
      if (!Is16 && n == 64) {
        while (runs + 1 < tableEnd && (runs[1] >> 6) == kind) n += (*++runs & 63) + 1;
      }
      if (n > j.width - x) n = j.width - x;  // never past the row, whatever the table says
      const uint8_t* sp = one.src + x * R::kBytes;
      uint8_t* dp = one.dest + x * V::kDestBytes;
      if (kind == RunOpaque) {
        if (row + kPrefetchRows < j.height) {
          _mm_prefetch(reinterpret_cast<const char*>(sp + srcPrefetchOffset), _MM_HINT_T0);
          _mm_prefetch(reinterpret_cast<const char*>(sp + srcPrefetchOffset + 64), _MM_HINT_T0);
        }
        if constexpr (Kind == SrcKind::Alpha && Is16) CopyColourHalves(dp, sp, n);
        else CopyRun(dp, sp, n * V::kDestBytes);
      } else if (kind == RunTranslucent) {
        if (row + kPrefetchRows < j.height) {
          _mm_prefetch(reinterpret_cast<const char*>(dp + prefetchOffset), _MM_HINT_T0);
          _mm_prefetch(reinterpret_cast<const char*>(sp + srcPrefetchOffset), _MM_HINT_T0);
        }
        if constexpr (Kind == SrcKind::Alpha) DrawTranslucentRun<V>(j.px, dp, sp, n, j.width - x);
      }
      x += n;
    }
    if (runs < tableEnd && *runs != kRunRowEnd) runs = RowEnd(runs, tableEnd);  // runs past the row's end
    byTable = (runs - first) * kMinAverage <= j.width;
    runs += 1;
    one.src += j.srcPitch;
    one.dest += j.destPitch;
  }
}

// The source's run table where the blit may go by it: transparency on, mode 0 (or mode 1 at
// full strength) without blend image or bright, a direct or alpha source drawn whole.
const uint8_t* UsableRunTable(const MEMIMG* src, SrcKind kind, bool is16, bool blend, bool trans, int32_t p,
                              const IntRect& visible, int32_t x, int32_t y) {
  const MemImgBase& sb = *src->base;
  if (!trans || blend || !sb.runTableValid || sb.runTable == nullptr || kind == SrcKind::Palette) return nullptr;
  if (src->pixels != sb.pixels || src->width != sb.width || src->height != sb.height) return nullptr;
  if (src->width < RunTableMinWidth(is16, kind)) return nullptr;
  if (visible.x1 != x || visible.y1 != y || visible.x2 - x != src->width || visible.y2 - y != src->height) {
    return nullptr;
  }
  if (BrightIsOn(SoftDraw.BrightColour)) return nullptr;
  const Kernel k = SelectKernel(Blitter::Plain, is16, static_cast<uint32_t>(SoftDraw.BlendMode), p, false);
  return k == Kernel::Copy ? sb.runTable : nullptr;
}

using PlainFn = void (*)(const PlainJob&);
constexpr auto kPlain32 = MakeVariantTable<false, PlainLoop, PlainFn>();
constexpr auto kPlain16 = MakeVariantTable<true, PlainLoop, PlainFn>();

}  // namespace
}  // namespace softblit

void MemImgBlit(MEMIMG* dest, const MEMIMG* src, int32_t x, int32_t y, int32_t transFlag,
                const MEMIMG* blendImage) {
  using namespace softblit;
  SrcKind kind;
  bool is16;
  if (!BlitImagesUsable(dest, src, blendImage, &kind, &is16)) return;
  MarkMemImgChanged(dest);

  IntRect visible{x, y, SaturatingEnd(x, src->width), SaturatingEnd(y, src->height)};
  ClipRectangle(visible, SoftDraw.ClipRect);
  // The draw area lies inside the destination; this keeps a stale one from writing outside.
  ClipRectangle(visible, IntRect{0, 0, dest->width, dest->height});
  if (visible.x1 == visible.x2 || visible.y1 == visible.y2) return;

  const bool blend = blendImage != nullptr;
  int32_t p = 0;
  const PlainFn run = ChooseBlitLoop(Blitter::Plain, is16, kind, blend, transFlag != 0, kPlain16, kPlain32, &p);
  if (run == nullptr) return;

  const MemImgBase& sb = *src->base;
  const MemImgBase& db = *dest->base;
  const int32_t u = visible.x1 - x;
  const int32_t v = visible.y1 - y;
  SourceSnapshot source;
  if (!source.Take(*dest, *src)) return;
  // Every field is given (a zeroed record first costs a block store per call).
  const PlainJob job{MakePixelContext(p, SoftDraw.BrightColour),
                     dest->pixels + visible.y1 * db.pitch + visible.x1 * MemImgBytesPerPixel(db),
                     db.pitch,
                     source.pixels() + v * source.pitch() + u * MemImgBytesPerPixel(sb),
                     source.pitch(),
                     blend ? blendImage->pixels + v * blendImage->base->pitch + u : nullptr,
                     blend ? blendImage->base->pitch : 0,
                     sb.palette,
                     TransparentKey(sb),
                     visible.x2 - visible.x1,
                     visible.y2 - visible.y1};
  if (const uint8_t* runs = UsableRunTable(src, kind, is16, blend, transFlag != 0, p, visible, x, y)) {
    // The table's block: (width + 5) bytes a row.
    const uint8_t* end = runs + (int64_t{sb.width} + 5) * sb.height;
    if (kind == SrcKind::Direct) {
      if (is16) RunTableRows<true, SrcKind::Direct>(job, runs, end, run);
      else RunTableRows<false, SrcKind::Direct>(job, runs, end, run);
    } else {
      if (is16) RunTableRows<true, SrcKind::Alpha>(job, runs, end, run);
      else RunTableRows<false, SrcKind::Alpha>(job, runs, end, run);
    }
    return;
  }
  run(job);
}

}  // namespace quelt
