#pragma once
// The pixel stage's choice, made once per call: the blend-mode entry rules, the table rows
// every loop reads, and the one loop of the family that matches the call's variant.
#include <cstdint>

#include "softrender/blend_mode.h"
#include "softrender/pixel_stage_context.h"
#include "softrender/pixel_stage_loop.h"

namespace quelt {

struct PixelLoopKey {
  uint32_t colourType;  // of the destination: 0 RGB565, 1 32-bit; others draw nothing
  PixelSource source;
  uint32_t mode;        // as resolved by ResolveLoopMode
  bool blend;           // a blend image is given
  bool bright;          // bright scaling is on (ignored for the solid fill)
  bool trans;           // the transparent flag (ignored for the solid fill)
};

// The blend-mode entry (ResolveSoftBlendMode), where mode 3 at parameter 0 still draws
// from a palette source. False when the call draws nothing.
bool ResolveLoopMode(uint32_t blendMode, uint32_t param, PixelSource source,
                     uint32_t* loopMode);

// Fills the parameter, table rows and bright rows of the context; param must be 0..255.
void PreparePixelTables(PixelContext& c, uint32_t param, uint32_t brightColour);

template <class Walk>
PixelLoopFn<Walk> SelectPixelLoop32(const PixelLoopKey& key);
template <class Walk>
PixelLoopFn<Walk> SelectPixelLoop16(const PixelLoopKey& key);

extern template PixelLoopFn<RotateWalk<TableRows>> SelectPixelLoop32<RotateWalk<TableRows>>(const PixelLoopKey&);
extern template PixelLoopFn<RotateWalk<TableRows>> SelectPixelLoop16<RotateWalk<TableRows>>(const PixelLoopKey&);
extern template PixelLoopFn<RotateWalk<PitchRows>> SelectPixelLoop32<RotateWalk<PitchRows>>(const PixelLoopKey&);
extern template PixelLoopFn<RotateWalk<PitchRows>> SelectPixelLoop16<RotateWalk<PitchRows>>(const PixelLoopKey&);
extern template PixelLoopFn<TriangleWalk> SelectPixelLoop32<TriangleWalk>(const PixelLoopKey&);
extern template PixelLoopFn<TriangleWalk> SelectPixelLoop16<TriangleWalk>(const PixelLoopKey&);

// Null when the destination's colour type has no loops.
template <class Walk>
PixelLoopFn<Walk> SelectPixelLoop(const PixelLoopKey& key) {
  if (key.colourType == 1) return SelectPixelLoop32<Walk>(key);
  if (key.colourType == 0) return SelectPixelLoop16<Walk>(key);
  return nullptr;
}

}  // namespace quelt
