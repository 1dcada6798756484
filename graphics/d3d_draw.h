#pragma once
// The Direct3D draw paths: one draw of a texture graph becomes two textured triangles per
// texture piece in the vertex batch, at a point, in a rectangle, rotated and scaled, or on
// four free corners; plus the two fills that emulate subtraction on devices without
// reverse subtraction.
#include <cstdint>

#include "graphics/device_state.h"
#include "graphics/graph_record.h"

namespace quelt {

struct FloatPoint {
  float x, y;
};

int DrawGraphAtPointD3D(GraphRecord* graph, int32_t x, int32_t y, float fx, float fy,
                        int32_t transparent, int32_t exactTexel);
int DrawGraphInRectD3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float fx1, float fy1,
                       float fx2, float fy2, GraphRecord* graph, int32_t transparent,
                       int32_t exactTexel);
int DrawGraphRotatedD3D(GraphRecord* graph, float x, float y, double scale, double angle,
                        int32_t transparent, int32_t turn);
// P1 .. P4: the graph's top-left, top-right, bottom-left and bottom-right corners.
int DrawGraphFourCornersD3D(int32_t transparent, GraphRecord* graph, FloatPoint p1, FloatPoint p2,
                            FloatPoint p3, FloatPoint p4);
int DrawQuadPiecesD3D(FloatPoint p1, FloatPoint p2, FloatPoint p3, FloatPoint p4,
                      const TexturePiece* piece);
int DrawQuadBlendGraphD3D(const int32_t corners[8], GraphRecord* graph, int32_t transparent);
int SubtractBlendPrePass(const IntRect& rect);
int SubtractBlendPostPass(const IntRect& rect);
int DrawWithStageSetup(const DrawModeBlock* block, int32_t value, int32_t flag);

// The fills of the subtract emulation, counted for tests.
extern int32_t SubtractEmulationFills;

}  // namespace quelt
