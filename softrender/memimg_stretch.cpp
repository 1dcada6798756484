// The stretched blitter: a whole source scaled into a destination rectangle, mirrored
// when the rectangle's corners are reversed; nearest-neighbour in 16.16 fixed point.
#include <memory>
#include <new>

#include "softrender/blit_rows_sse2.h"
#include "softrender/blit_select.h"
#include "softrender/memimg_draw.h"
#include "softrender/source_snapshot.h"

namespace quelt {

namespace softblit {
namespace {

struct StretchJob {
  PixelContext px;
  uint8_t* dest;  // first visible destination pixel
  int32_t destPitch;
  const uint8_t* src;  // the source pixel drawn there
  int32_t srcStep;     // bytes per source column step (negative when mirrored)
  int32_t srcRowStep;  // bytes per source row step (negative when mirrored)
  const uint8_t* blend;
  int32_t blendStep;
  int32_t blendRowStep;
  const uint8_t* palette;
  uint32_t transparent;
  int32_t width;
  int32_t height;
  int32_t colStep;   // destination pixels per source pixel, 16.16
  int32_t colStart;  // column accumulator at the first visible column
  int32_t rowStep;
  int32_t rowStart;
};

// A table of one int32 per visible column: in place for the common widths.
class ColumnTable {
 public:
  int32_t* Reserve(int32_t count) {
    if (count <= kInPlace) return data_ = inPlace_;
    heap_.reset(new (std::nothrow) int32_t[static_cast<size_t>(count)]);
    return data_ = heap_.get();
  }
  const int32_t* data() const { return data_; }

 private:
  static constexpr int32_t kInPlace = 1024;
  int32_t inPlace_[kInPlace];
  std::unique_ptr<int32_t[]> heap_;
  int32_t* data_ = nullptr;
};

template <class V>
struct StretchLoop {
  using R = typename V::Reader;

  // Whether the transparency rules skip the source pixel at sp whatever the destination.
  static bool Skipped(const StretchJob& j, const uint8_t* sp) {
    if constexpr (!V::Trans) {
      return false;
    } else if constexpr (V::Kind == SrcKind::Alpha) {
      return SkipsZeroAlpha(V::K) && R::Alpha(sp) == 0;
    } else {
      return R::IsTransparent(sp, j.transparent);
    }
  }

  // One row, destination pixel by destination pixel.
  static void PixelRow(const StretchJob& j, const uint8_t* sp, const uint8_t* bp, uint8_t* dp) {
    int32_t colAcc = j.colStart;
    for (int32_t col = 0; col < j.width; ++col) {
      DrawPixel<V>(j.px, sp, bp, dp, j.palette, j.transparent);
      dp += V::kDestBytes;
      colAcc -= 65536;
      while (colAcc <= 0) {
        sp += j.srcStep;
        if constexpr (V::Blend) bp += j.blendStep;
        colAcc += j.colStep;
      }
    }
  }

  // One magnified row, source pixel by source pixel: each covers the destination pixels
  // until its accumulator runs out, all drawn from one read, or all passed over at once
  // when the transparency rules skip it.
  static void CoverRow(const StretchJob& j, const uint8_t* sp, const uint8_t* bp, uint8_t* dp) {
    int32_t colAcc = j.colStart;
    int32_t left = j.width;
    while (left > 0) {
      // 0 < colAcc <= the step <= 0x7FFF0000, so this does not overflow.
      int32_t covered = (colAcc + 65535) >> 16;
      if (covered > left) covered = left;
      if (!Skipped(j, sp)) {
        for (int32_t k = 0; k < covered; ++k) {
          DrawPixel<V>(j.px, sp, bp, dp + k * V::kDestBytes, j.palette, j.transparent);
        }
      }
      dp += covered * V::kDestBytes;
      left -= covered;
      colAcc -= covered * 65536;
      while (colAcc <= 0) {
        sp += j.srcStep;
        if constexpr (V::Blend) bp += j.blendStep;
        colAcc += j.colStep;
      }
    }
  }

  // Byte offset from the row's first visible source pixel for every visible column (the
  // same for every row); false when it cannot be allocated.
  static bool ColumnOffsets(const StretchJob& j, ColumnTable& table) {
    int32_t* offsets = table.Reserve(j.width);
    if (offsets == nullptr) return false;
    int32_t offset = 0;
    int32_t colAcc = j.colStart;
    for (int32_t col = 0; col < j.width; ++col) {
      offsets[col] = offset;
      colAcc -= 65536;
      while (colAcc <= 0) {
        offset += j.srcStep;
        colAcc += j.colStep;
      }
    }
    return true;
  }

  static void Run(const StretchJob& j) {
    ColumnTable offsets;
    bool picked = false;
    // Source pixels that cover more than one destination pixel, and a reason to pass over them.
    const bool magnified = V::Trans && j.colStep > 65536;
    if constexpr (HasRowForm<V>()) picked = ColumnOffsets(j, offsets);
    const uint8_t* srcRow = j.src;
    const uint8_t* blendRow = j.blend;
    uint8_t* destRow = j.dest;
    int32_t rowAcc = j.rowStart;
    [[maybe_unused]] const RowConstants rc = MakeRowConstants(j.px, j.transparent);
    for (int32_t row = 0; row < j.height; ++row) {
      if (picked) {
        if constexpr (HasRowForm<V>()) {
          DrawRow<V>(j.px, rc, destRow, PickedSource{srcRow, offsets.data()}, j.width, j.palette, j.transparent);
        }
      } else if (magnified) {
        CoverRow(j, srcRow, blendRow, destRow);
      } else {
        PixelRow(j, srcRow, blendRow, destRow);
      }
      destRow += j.destPitch;
      rowAcc -= 65536;
      while (rowAcc <= 0) {
        srcRow += j.srcRowStep;
        if constexpr (V::Blend) blendRow += j.blendRowStep;
        rowAcc += j.rowStep;
      }
    }
  }
};

using StretchFn = void (*)(const StretchJob&);
constexpr auto kStretch32 = MakeVariantTable<false, StretchLoop, StretchFn>();
constexpr auto kStretch16 = MakeVariantTable<true, StretchLoop, StretchFn>();

// Steps above this could overflow the 32-bit accumulators (magnification of 32767 and more).
constexpr int64_t kMaxStep = 0x7FFF0000;

struct AxisWalk {
  int32_t first;  // first visible source index, counted from the start of the walk
  int32_t step;
  int32_t accStart;
};

// Where the visible part [clipped, clipped + count) of an axis of length `length` starts.
bool PlanAxis(int64_t length, int32_t sourceLength, int32_t unclipped, int32_t clipped,
              int32_t count, AxisWalk* walk) {
  const int64_t step = length * 65536 / sourceLength;
  if (step == 0 || step > kMaxStep) return false;
  const int64_t off = (int64_t{clipped} - unclipped) * 65536;
  walk->step = static_cast<int32_t>(step);
  walk->first = static_cast<int32_t>(off / step);
  walk->accStart = static_cast<int32_t>(step - off % step);
  // The last visible pixel must still map inside the source.
  const int64_t last = (off + int64_t{count - 1} * 65536) / step;
  return last < sourceLength;
}

}  // namespace
}  // namespace softblit

void MemImgStretchBlit(MEMIMG* dest, const MEMIMG* src, const IntRect* rect, int32_t transFlag,
                       const MEMIMG* blendImage) {
  using namespace softblit;
  if (rect == nullptr) return;
  if (IsValidMemImg(dest)) MarkMemImgChanged(dest);
  SrcKind kind;
  bool is16;
  if (!BlitImagesUsable(dest, src, blendImage, &kind, &is16)) return;
  if (src->width <= 0 || src->height <= 0) return;

  IntRect r = *rect;
  const bool mirrorX = r.x1 > r.x2;
  const bool mirrorY = r.y1 > r.y2;
  if (mirrorX) std::swap(r.x1, r.x2);
  if (mirrorY) std::swap(r.y1, r.y2);
  const int64_t w = int64_t{r.x2} - r.x1;
  const int64_t h = int64_t{r.y2} - r.y1;
  if (w == 0 || h == 0) return;
  if (w == src->width && h == src->height && !mirrorX && !mirrorY) {
    MemImgBlit(dest, src, r.x1, r.y1, transFlag, blendImage);
    return;
  }

  IntRect visible = r;
  ClipRectangle(visible, SoftDraw.ClipRect);
  ClipRectangle(visible, IntRect{0, 0, dest->width, dest->height});
  const int32_t width = visible.x2 - visible.x1;
  const int32_t height = visible.y2 - visible.y1;
  if (width == 0 || height == 0) return;

  AxisWalk cols;
  AxisWalk rows;
  if (!PlanAxis(w, src->width, r.x1, visible.x1, width, &cols) ||
      !PlanAxis(h, src->height, r.y1, visible.y1, height, &rows)) {
    return;
  }

  const bool blend = blendImage != nullptr;
  int32_t p = 0;
  const StretchFn run = ChooseBlitLoop(Blitter::Stretched, is16, kind, blend, transFlag != 0, kStretch16, kStretch32, &p);
  if (run == nullptr) return;

  const MemImgBase& sb = *src->base;
  const MemImgBase& db = *dest->base;
  const int32_t srcBytes = MemImgBytesPerPixel(sb);
  const int32_t u = mirrorX ? src->width - 1 - cols.first : cols.first;
  const int32_t v = mirrorY ? src->height - 1 - rows.first : rows.first;

  StretchJob job{};
  job.px = MakePixelContext(p, SoftDraw.BrightColour);
  job.dest = dest->pixels + visible.y1 * db.pitch + visible.x1 * MemImgBytesPerPixel(db);
  job.destPitch = db.pitch;
  SourceSnapshot source;
  if (!source.Take(*dest, *src)) return;
  job.src = source.pixels() + v * source.pitch() + u * srcBytes;
  job.srcStep = mirrorX ? -srcBytes : srcBytes;
  job.srcRowStep = mirrorY ? -source.pitch() : source.pitch();
  if (blend) {
    const int32_t blendPitch = blendImage->base->pitch;
    job.blend = blendImage->pixels + v * blendPitch + u;
    job.blendStep = mirrorX ? -1 : 1;
    job.blendRowStep = mirrorY ? -blendPitch : blendPitch;
  }
  job.palette = sb.palette;
  job.transparent = TransparentKey(sb);
  job.width = width;
  job.height = height;
  job.colStep = cols.step;
  job.colStart = cols.accStart;
  job.rowStep = rows.step;
  job.rowStart = rows.accStart;
  run(job);
}

}  // namespace quelt
