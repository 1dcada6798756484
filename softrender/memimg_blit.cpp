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
    const uint32_t d = Load32(dp);
    Store32(dp, V::K == Kernel::AddExact ? PairAdd16(d, s) : PairSub16(d, s));
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
  PlainJob job{};
  job.px = MakePixelContext(p, SoftDraw.BrightColour);
  job.dest = dest->pixels + visible.y1 * db.pitch + visible.x1 * MemImgBytesPerPixel(db);
  job.destPitch = db.pitch;
  SourceSnapshot source;
  if (!source.Take(*dest, *src)) return;
  job.src = source.pixels() + v * source.pitch() + u * MemImgBytesPerPixel(sb);
  job.srcPitch = source.pitch();
  if (blend) {
    job.blend = blendImage->pixels + v * blendImage->base->pitch + u;
    job.blendPitch = blendImage->base->pitch;
  }
  job.palette = sb.palette;
  job.transparent = TransparentKey(sb);
  job.width = visible.x2 - visible.x1;
  job.height = visible.y2 - visible.y1;
  run(job);
}

}  // namespace quelt
