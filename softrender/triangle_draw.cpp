#include <cstdint>

#include "core/numbers.h"
#include "softrender/fill_triangle_colour.h"
#include "softrender/pixel_stage_images.h"
#include "softrender/pixel_stage_select.h"
#include "softrender/rotate_blit.h"
#include "softrender/soft_draw_state.h"
#include "softrender/source_snapshot.h"

namespace quelt {

namespace {

// The exchange sort of three indices by a key, strict comparisons (stable for ties).
void SortByKey(const int32_t keys[3], int order[3]) {
  order[0] = 0;
  order[1] = 1;
  order[2] = 2;
  for (int i = 0; i < 2; ++i) {
    for (int j = i + 1; j < 3; ++j) {
      if (keys[order[i]] > keys[order[j]]) {
        const int t = order[i];
        order[i] = order[j];
        order[j] = t;
      }
    }
  }
}

// Whole-pixel difference of two converted values. Taken in 64 bits: values near the
// coordinate limits differ by more than the int32 range.
int64_t PixelDelta(int32_t to, int32_t from) { return (int64_t{to} - from) / kFixedOne; }

// A segment from (startX, startY) to (endX, endY); false when it has no rows.
bool MakeSegment(int32_t startX, int32_t startY, int32_t endX, int32_t endY, EdgeSegment& s) {
  const int64_t rows = PixelDelta(endY, startY);
  if (rows == 0) return false;
  s.start = startX;
  s.rows = static_cast<int32_t>(rows);
  s.step = static_cast<int32_t>((int64_t{endX} - startX) / rows);
  return true;
}

int32_t Gradient(int64_t numerator, int64_t det) {
  return DoubleToInt(static_cast<double>(numerator) * 262144.0 / static_cast<double>(det));
}

}  // namespace

int MemImgTriangle(MEMIMG* dest, const MEMIMG* src, const TriVertex vertices[3],
                   int32_t transFlag, const MEMIMG* blendImage, uint32_t fillColour) {
  if (vertices == nullptr) return 0;
  if (src != nullptr && !HasPixels(src)) return 0;
  if (!AcceptsImages(dest, src)) return 0;
  MarkMemImgChanged(dest);
  if (src != nullptr) {
    if (!BlendImageCovers(blendImage, src)) return 0;
    if (src->width < 0 || src->height < 0) return 0;  // no valid texel limits
  }

  // Vertices on their pixel centres (half a pixel is 0x20000); texture corners exact.
  int32_t X[3], Y[3];
  uint32_t U[3], V[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = static_cast<int32_t>((static_cast<uint32_t>(vertices[i].x) << kFixedShift) + kFixedHalf);
    Y[i] = static_cast<int32_t>((static_cast<uint32_t>(vertices[i].y) << kFixedShift) + kFixedHalf);
    U[i] = static_cast<uint32_t>(vertices[i].u) << kFixedShift;
    V[i] = static_cast<uint32_t>(vertices[i].v) << kFixedShift;
  }
  int byX[3], byY[3];
  SortByKey(X, byX);
  SortByKey(Y, byY);
  const int a = byX[0], b = byX[1], cc = byX[2];
  const int top = byY[0], mid = byY[1], bottom = byY[2];

  // Texture gradients from the X order.
  const int64_t xb = PixelDelta(X[b], X[a]), xc = PixelDelta(X[cc], X[a]);
  const int64_t yb = PixelDelta(Y[b], Y[a]), yc = PixelDelta(Y[cc], Y[a]);
  auto texDelta = [](uint32_t to, uint32_t from) {
    return PixelDelta(static_cast<int32_t>(to), static_cast<int32_t>(from));
  };
  const int64_t ub = texDelta(U[b], U[a]), uc = texDelta(U[cc], U[a]);
  const int64_t vb = texDelta(V[b], V[a]), vc = texDelta(V[cc], V[a]);
  const int64_t det = yb * xc - yc * xb;
  if (det == 0) return 0;  // collinear or coincident vertices
  PixelContext c{};
  c.uStepX = static_cast<uint32_t>(Gradient(yb * uc - yc * ub, det));
  c.vStepX = static_cast<uint32_t>(Gradient(yb * vc - yc * vb, det));
  TriangleSetup setup{};
  setup.uStepY = static_cast<uint32_t>(Gradient(ub * xc - xb * uc, det));
  setup.vStepY = static_cast<uint32_t>(Gradient(vb * xc - vc * xb, det));

  // Edges from the Y order.
  TriangleEdge& left = setup.left;
  TriangleEdge& right = setup.right;
  bool ok = true;
  if (Y[top] == Y[mid]) {
    if (Y[mid] == Y[bottom] || Y[top] == Y[bottom]) return 0;
    const int r = X[top] > X[mid] ? top : mid, l = r == top ? mid : top;
    left.count = right.count = 1;
    ok = MakeSegment(X[l], Y[l], X[bottom], Y[bottom], left.segments[0]) &&
         MakeSegment(X[r], Y[r], X[bottom], Y[bottom], right.segments[0]);
  } else if (Y[mid] == Y[bottom]) {
    const int r = X[mid] > X[bottom] ? mid : bottom, l = r == mid ? bottom : mid;
    left.count = right.count = 1;
    ok = MakeSegment(X[top], Y[top], X[l], Y[l], left.segments[0]) &&
         MakeSegment(X[top], Y[top], X[r], Y[r], right.segments[0]);
  } else {
    const double rowScale = 1.0 / 262144.0;
    const double hMid = (static_cast<double>(Y[mid]) - Y[top]) * rowScale;
    const double hLong = (static_cast<double>(Y[bottom]) - Y[top]) * rowScale;
    const double sMid = (static_cast<double>(X[mid]) - X[top]) / hMid;
    const double sLong = (static_cast<double>(X[bottom]) - X[top]) / hLong;
    TriangleEdge& twoSegments = sLong > sMid ? left : right;
    TriangleEdge& oneSegment = sLong > sMid ? right : left;
    // On the right the lower segment starts one unit right of the middle vertex.
    const int32_t lowerStart = sLong > sMid ? X[mid] : static_cast<int32_t>(static_cast<uint32_t>(X[mid]) + 1u);
    twoSegments.count = 2;
    oneSegment.count = 1;
    ok = MakeSegment(X[top], Y[top], X[mid], Y[mid], twoSegments.segments[0]) &&
         MakeSegment(lowerStart, Y[mid], X[bottom], Y[bottom], twoSegments.segments[1]) &&
         MakeSegment(X[top], Y[top], X[bottom], Y[bottom], oneSegment.segments[0]);
  }
  if (!ok) return 0;

  const PixelSource source = src != nullptr ? SourceKindOf(*src->base) : PixelSource::Colour;
  // The parameter clamped into the tables' range (the draw state's setter already does).
  const auto param = static_cast<uint32_t>(ClampToByte(SoftDraw.BlendParam));
  uint32_t mode;
  if (!ResolveLoopMode(static_cast<uint32_t>(SoftDraw.BlendMode), param, source, &mode)) return 0;
  PreparePixelTables(c, param, SoftDraw.BrightColour);
  const uint32_t colourType = dest->base->colourType;
  PixelLoopKey key{colourType, source, mode, false, false, false};
  SourceSnapshot snapshot;
  if (src != nullptr) {
    const MemImgBase& srcBase = *src->base;
    if (source == PixelSource::Palette && srcBase.palette == nullptr) return 0;
    key.blend = blendImage != nullptr;
    key.bright = BrightIsOn(SoftDraw.BrightColour);
    key.trans = transFlag != 0;
    c.transparent = TransparentKey(srcBase);
    c.palette = srcBase.palette;
    c.uLimit = static_cast<uint32_t>(src->width) << kFixedShift;
    c.vLimit = static_cast<uint32_t>(src->height) << kFixedShift;
    if (!snapshot.Take(*dest, *src)) return 0;
    c.srcPixels = snapshot.pixels();
    c.srcPitch = static_cast<uint32_t>(snapshot.pitch());
    if (key.blend) {
      c.blendPixels = blendImage->pixels;
      c.blendPitch = static_cast<uint32_t>(blendImage->base->pitch);
    }
  } else {
    c.fill = ScaleFillColour(colourType, fillColour, SoftDraw.BrightColour);
  }
  const PixelLoopFn<TriangleWalk> loop = SelectPixelLoop<TriangleWalk>(key);
  if (loop == nullptr) return 0;

  setup.dstPixels = dest->pixels;
  setup.dstPitch = dest->base->pitch;
  setup.clip = DestinationClip(*dest, SoftDraw.ClipRect);
  setup.firstRow = Y[top] / kFixedOne;
  setup.midRow = Y[mid] / kFixedOne;
  setup.xa = X[a] / kFixedOne;
  setup.ya = Y[a] / kFixedOne;
  setup.ua = U[a];
  setup.va = V[a];
  loop(setup, c);
  return 0;
}

}  // namespace quelt
