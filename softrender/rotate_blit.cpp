#include "softrender/rotate_blit.h"

#include <cmath>
#include <cstring>

#include "core/numbers.h"
#include "softrender/pixel_stage_images.h"
#include "softrender/pixel_stage_select.h"
#include "softrender/rotate_placement.h"
#include "softrender/soft_draw_state.h"
#include "softrender/source_snapshot.h"

namespace quelt {

namespace {

constexpr int32_t kRowTableSize = 4096;

// The rotated blit's process-wide work areas, refilled by every call that scans.
const uint8_t* SourceRowTable[kRowTableSize];
const uint8_t* BlendRowTable[kRowTableSize];
alignas(4) uint8_t PaletteWork[1024];

// 14.18 positions held in 64 bits: a centre beyond 8191 pixels (a picture far off the
// destination) would wrap in 32 and land on the destination.
struct Corner {
  int64_t x;
  int64_t y;
};

// Indices of the corners with the smallest and largest value; on equal values the lower
// corner number wins.
template <class Key>
void FindExtremes(const Corner corners[4], Key key, int& smallest, int& largest) {
  smallest = largest = 0;
  for (int i = 1; i < 4; ++i) {
    if (key(corners[i]) < key(corners[smallest])) smallest = i;
    if (key(corners[i]) > key(corners[largest])) largest = i;
  }
}

// Whole pixels toward zero, `extra` added, held to what an int32 coordinate can say.
int32_t FixedToPixels(int64_t fixed, int64_t extra = 0) {
  const int64_t pixels = fixed / kFixedOne + extra;
  if (pixels > INT32_MAX) return INT32_MAX;
  if (pixels < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(pixels);
}

// Texture position of destination pixel offset (ox, oy) from the centre, before the
// centre texel's offset: the integer sum is taken in 64 bits so that offsets near the
// coordinate limits cannot wrap it.
uint32_t InverseMapped(int64_t ox, int64_t oy, int32_t cosine, int32_t sine, float invScale) {
  const int64_t sum = ox * cosine - oy * sine;
  return static_cast<uint32_t>(FloatToInt(static_cast<float>(sum) * invScale));
}

}  // namespace

int MemImgRotateBlit(MEMIMG* dest, const MEMIMG* src, int32_t centreX, int32_t centreY,
                     float angle, float scale, int32_t transFlag, int32_t turnFlag,
                     const MEMIMG* blendImage) {
  if (!HasPixels(src) || !AcceptsImages(dest, src)) return 0;
  MarkMemImgChanged(dest);
  // Scale 0 puts every corner on one row; NaN and infinity have no meaningful picture.
  if (!std::isfinite(scale) || scale == 0.0f) return 0;
  if (!BlendImageCovers(blendImage, src)) return 0;
  if (src->width <= 0 || src->height <= 0) return 0;  // nothing to draw, and no valid limits
  const MemImgBase& srcBase = *src->base;

  float sineN, cosineN, sineP, cosineP;
  SinCosFloat(-angle, &sineN, &cosineN);
  SinCosFloat(angle, &sineP, &cosineP);
  const int32_t sinN = FloatToInt(sineN * 262144.0f), cosN = FloatToInt(cosineN * 262144.0f);
  const int32_t sinP = FloatToInt(sineP * 262144.0f), cosP = FloatToInt(cosineP * 262144.0f);

  const uint32_t width = static_cast<uint32_t>(src->width);
  const uint32_t height = static_cast<uint32_t>(src->height);
  const double halfWidth = static_cast<double>(width) * scale * 0.5;
  const double halfHeight = static_cast<double>(height) * scale * 0.5;
  const float cw = static_cast<float>(cosP * halfWidth), sw = static_cast<float>(sinP * halfWidth);
  const float ch = static_cast<float>(cosP * halfHeight), sh = static_cast<float>(sinP * halfHeight);
  const int64_t originX = int64_t{centreX} * kFixedOne;
  const int64_t originY = int64_t{centreY} * kFixedOne;
  auto at = [](int64_t origin, float offset) { return origin + FloatToInt(offset); };
  const Corner corners[4] = {
      {at(originX, -cw + sh), at(originY, -sw - ch)},  // top-left
      {at(originX, -cw - sh), at(originY, ch - sw)},   // bottom-left
      {at(originX, cw - sh), at(originY, sw + ch)},    // bottom-right
      {at(originX, cw + sh), at(originY, sw - ch)},    // top-right
  };

  int minX, maxX, minY, maxY;
  FindExtremes(corners, [](const Corner& c) { return c.x; }, minX, maxX);
  FindExtremes(corners, [](const Corner& c) { return c.y; }, minY, maxY);
  IntRect box = {FixedToPixels(corners[minX].x, -2), FixedToPixels(corners[minY].y, -2),
                 FixedToPixels(corners[maxX].x, 4), FixedToPixels(corners[maxY].y, 4)};
  ClipRectangle(box, DestinationClip(*dest, SoftDraw.ClipRect));
  if (box.x1 == box.x2 || box.y1 == box.y2) return 0;
  if (corners[0].y == corners[1].y && corners[0].y == corners[2].y &&
      corners[0].y == corners[3].y) {
    return 0;  // a box without height
  }

  // Each destination pixel is sampled at its centre, the picture placed by the rule both
  // back ends share; offsets from the centre are counted in half pixels. A turn mirrors the
  // picture about its vertical centre line: u runs the other way from the centre.
  const float invScale = 1.0f / scale;
  const float halfInvScale = invScale * 0.5f;
  const RotatedPlacement place = PlaceRotated(src->width, src->height, scale == 1.0f);
  const bool mirror = turnFlag != 0;
  PixelContext c{};
  const uint32_t uStep = static_cast<uint32_t>(FloatToInt(static_cast<float>(cosP) * invScale));
  c.uStepX = mirror ? 0u - uStep : uStep;
  c.vStepX = static_cast<uint32_t>(FloatToInt(static_cast<float>(sinN) * invScale));
  const uint32_t centreU = width << (kFixedShift - 1), centreV = height << (kFixedShift - 1);
  const int64_t ox2 = 2 * (int64_t{box.x1} - centreX) + place.shiftX2;
  auto texU = [&](int64_t oy2) {
    const uint32_t d = InverseMapped(ox2, oy2, cosN, sinN, halfInvScale);
    return mirror ? centreU - d : centreU + d;
  };
  auto texV = [&](int64_t oy2) { return InverseMapped(oy2, -ox2, cosN, sinN, halfInvScale) + centreV; };
  const int64_t oyTop2 = 2 * (int64_t{box.y1} - centreY) + place.shiftY2;
  const int64_t oyEnd2 = 2 * (int64_t{box.y2} - centreY) + place.shiftY2;
  const uint32_t uStart = texU(oyTop2), vStart = texV(oyTop2);
  const uint32_t uEnd = texU(oyEnd2), vEnd = texV(oyEnd2);
  const int32_t rows = box.y2 - box.y1;
  // The row steps come from the two exact end points, divided toward zero.
  const int64_t uSpan = int64_t{static_cast<int32_t>(uEnd)} - static_cast<int32_t>(uStart);
  const int64_t vSpan = int64_t{static_cast<int32_t>(vEnd)} - static_cast<int32_t>(vStart);
  RotateSetup setup{};
  setup.uStepY = static_cast<uint32_t>(static_cast<int32_t>(uSpan / rows));
  setup.vStepY = static_cast<uint32_t>(static_cast<int32_t>(vSpan / rows));

  const bool blend = blendImage != nullptr;
  const bool bright = BrightIsOn(SoftDraw.BrightColour);
  const PixelSource source = SourceKindOf(srcBase);
  // The parameter clamped into the tables' range (the draw state's setter already does).
  const auto param = static_cast<uint32_t>(ClampToByte(SoftDraw.BlendParam));
  uint32_t mode;
  if (!ResolveLoopMode(static_cast<uint32_t>(SoftDraw.BlendMode), param, source, &mode)) return 0;
  if (source == PixelSource::Palette && srcBase.palette == nullptr) return 0;

  SourceSnapshot snapshot;
  if (!snapshot.Take(*dest, *src)) return 0;
  // Row tables hold 4096 rows; a taller source is addressed by row times pitch instead.
  const bool useRowTables = height <= kRowTableSize;
  if (useRowTables) {
    for (uint32_t r = 0; r < height; ++r) {
      SourceRowTable[r] = snapshot.pixels() + r * static_cast<uint32_t>(snapshot.pitch());
    }
    if (blend) {
      const int32_t blendRows = blendImage->height < kRowTableSize ? blendImage->height : kRowTableSize;
      for (int32_t r = 0; r < blendRows; ++r) {
        BlendRowTable[r] = blendImage->pixels + static_cast<uint32_t>(r) *
                                                    static_cast<uint32_t>(blendImage->base->pitch);
      }
    }
  }
  // All 256 entries: the count may be below the highest index a pixel holds.
  const bool plainCopy = mode == BlendCopy && !blend && !bright;
  if (source == PixelSource::Palette) {
    std::memcpy(PaletteWork, srcBase.palette, srcBase.colourType == 1 ? 1024 : 512);
  }

  PreparePixelTables(c, param, SoftDraw.BrightColour);
  c.transparent = TransparentKey(srcBase);
  c.palette = plainCopy ? PaletteWork : srcBase.palette;
  c.uLimit = width << kFixedShift;
  c.vLimit = height << kFixedShift;
  c.srcPixels = snapshot.pixels();
  c.srcPitch = static_cast<uint32_t>(snapshot.pitch());
  c.srcRows = SourceRowTable;
  if (blend) {
    c.blendPixels = blendImage->pixels;
    c.blendPitch = static_cast<uint32_t>(blendImage->base->pitch);
    c.blendRows = BlendRowTable;
  }

  const uint32_t colourType = dest->base->colourType;
  const PixelLoopKey key{colourType, source, mode, blend, bright, transFlag != 0};
  const int32_t pixelBytes = colourType == 1 ? 4 : 2;
  setup.dst = dest->pixels + box.y1 * dest->base->pitch + box.x1 * pixelBytes;
  setup.dstPitch = dest->base->pitch;
  setup.width = box.x2 - box.x1;
  setup.rows = rows;
  setup.u = uStart;
  setup.v = vStart;
  if (useRowTables) {
    if (auto loop = SelectPixelLoop<RotateWalk<TableRows>>(key)) loop(setup, c);
  } else {
    if (auto loop = SelectPixelLoop<RotateWalk<PitchRows>>(key)) loop(setup, c);
  }
  return 0;
}

}  // namespace quelt
