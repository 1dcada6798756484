#pragma once
// A slow reference of the rotated blit, the triangles and the quad, written from the
// tables of their documentation alone: per-channel effects instead of packed masks,
// every texture position computed afresh, no shared code with the renderer.
#include <cstdint>

#include "softrender/clip_rect.h"
#include "softrender/memimg.h"
#include "softrender/rotate_blit.h"

namespace reftest {

struct RefState {
  uint32_t mode;
  int32_t param;
  uint32_t bright;
  quelt::IntRect clip;
};

void RefRotateBlit(quelt::MEMIMG* dest, const quelt::MEMIMG* src, int32_t cx, int32_t cy,
                   float angle, float scale, int32_t trans, int32_t turn,
                   const quelt::MEMIMG* blend, const RefState& state);
void RefTriangle(quelt::MEMIMG* dest, const quelt::MEMIMG* src, const quelt::TriVertex v[3],
                 int32_t trans, const quelt::MEMIMG* blend, uint32_t fill,
                 const RefState& state);
void RefQuad(quelt::MEMIMG* dest, const quelt::MEMIMG* src, const int32_t corners[8],
             int32_t trans, const quelt::MEMIMG* blend, const RefState& state);

}  // namespace reftest
