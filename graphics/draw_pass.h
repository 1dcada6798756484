#pragma once
// The middle every drawing front end shares, graphs and text alike: whether the affected
// rectangle is needed, the mask hooks around the draw, and the choice between Direct3D (with
// the subtract emulation where the device cannot reverse-subtract) and the software path.
// The checks before it and the affected rectangle itself belong to each front end.
#include "graphics/d3d_draw.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/mask.h"
#include "softrender/blend_mode.h"
#include "softrender/clip_rect.h"

namespace quelt {

// Subtract emulation, masking and the front screen all work on the affected rectangle.
inline bool AffectedRectNeeded(bool textureImage) {
  return (DrawSettings.BlendMode == BlendSub && textureImage) || DrawSettings.maskActive != 0 ||
         DrawSettings.drawScreen == DrawScreenFront;
}

// d3d() draws a texture image, soft() anything else; either returns the front end's result.
// `masked` brackets the draw with the mask hooks on `affected`.
template <typename D3dDraw, typename SoftDraw>
int RunDrawPass(bool textureImage, bool masked, const IntRect& affected, D3dDraw d3d, SoftDraw soft) {
  if (masked) MaskPreDraw(affected.x1, affected.y1, affected.x2, affected.y2);
  int result;
  if (textureImage) {
    if (DrawSettings.BlendMode == BlendSub && ReverseSubtractSupported() == 0) {
      SubtractBlendPrePass(affected);
      result = d3d();
      SubtractBlendPostPass(affected);
    } else {
      result = d3d();
    }
  } else {
    result = soft();
  }
  if (masked) MaskPostDraw(affected.x1, affected.y1, affected.x2, affected.y2);
  return result;
}

}  // namespace quelt
