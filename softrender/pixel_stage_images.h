#pragma once
// Checks both rasterisers make on their images before any set-up.
#include <cstdint>

#include "softrender/clip_rect.h"
#include "softrender/memimg.h"
#include "softrender/pixel_stage_context.h"

namespace quelt {

inline bool HasPixels(const MEMIMG* img) {
  return img != nullptr && img->base != nullptr && img->pixels != nullptr;
}

// A destination the loops can draw into: no palette, no alpha channel, pixels present;
// with a source, the same colour type as the destination.
inline bool AcceptsImages(const MEMIMG* dest, const MEMIMG* src) {
  if (!HasPixels(dest)) return false;
  if (src != nullptr && src->base->colourType != dest->base->colourType) return false;
  return dest->base->paletteFlag != 1 && dest->base->alphaFlag != 1;
}

// A blend image is read at the source texel's column and row: one smaller than the
// source (or without pixels) would be read outside its store, so it draws nothing.
inline bool BlendImageCovers(const MEMIMG* blend, const MEMIMG* src) {
  if (blend == nullptr) return true;
  return HasPixels(blend) && blend->width >= src->width && blend->height >= src->height;
}

inline PixelSource SourceKindOf(const MemImgBase& base) {
  if (base.paletteFlag == 1) return PixelSource::Palette;
  return base.alphaFlag == 1 ? PixelSource::Alpha : PixelSource::Direct;
}

// The destination's draw area: ClipRect, never beyond the destination itself.
inline IntRect DestinationClip(const MEMIMG& dest, const IntRect& clipRect) {
  IntRect clip = clipRect;
  ClipRectangle(clip, IntRect{0, 0, dest.width > 0 ? dest.width : 0,
                              dest.height > 0 ? dest.height : 0});
  return clip;
}

}  // namespace quelt
