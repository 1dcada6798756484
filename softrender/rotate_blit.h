#pragma once
// Rotated and scaled drawing of a whole memory image, and the quad and triangle drawing
// it shares with the four-corner draw front. The blend mode, parameter, bright colour and
// draw area come from SoftDraw at each call; nothing is reported.
#include <cstdint>

#include "softrender/memimg.h"

namespace quelt {

// One vertex of a textured triangle: destination pixel (x, y), source pixel (u, v).
struct TriVertex {
  int32_t x;
  int32_t y;
  int32_t u;
  int32_t v;
};
static_assert(sizeof(TriVertex) == 16);

// Draws src rotated by angle (radians, clockwise on screen) and scaled about its centre,
// placed on (centreX, centreY) of dest as rotate_placement.h says. A turn flag mirrors the
// image left to right about its centre. Scale 0, NaN or infinite, or a null image, draws
// nothing.
int MemImgRotateBlit(MEMIMG* dest, const MEMIMG* src, int32_t centreX, int32_t centreY,
                     float angle, float scale, int32_t transFlag, int32_t turnFlag,
                     const MEMIMG* blendImage);

// Maps the whole of src onto four corners given in the order top-left, top-right,
// bottom-left, bottom-right of the image (x0, y0, ... x3, y3), as two triangles.
int MemImgQuad(MEMIMG* dest, const MEMIMG* src, const int32_t corners[8], int32_t transFlag,
               const MEMIMG* blendImage);

// Fills one triangle of dest with src mapped affinely, or with fillColour (a raw pixel of
// dest's format) when src is null.
int MemImgTriangle(MEMIMG* dest, const MEMIMG* src, const TriVertex vertices[3],
                   int32_t transFlag, const MEMIMG* blendImage, uint32_t fillColour);

}  // namespace quelt
