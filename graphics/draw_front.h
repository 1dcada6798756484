#pragma once
// The drawing front ends: a whole graph at a point, in a rectangle, turned, rotated and
// scaled, in part, and on four corners. Each checks the draw settings and the handle,
// brings a movie graph up to date, wraps the draw in the mask hooks and the subtract
// emulation, then draws through Direct3D for texture images or the software blitters.
#include <cstdint>

#include "softrender/clip_rect.h"

namespace quelt {

struct GraphRecord;

int DrawGraphAtPoint(int32_t x, int32_t y, int32_t graph, int32_t transparent);
int DrawGraphInRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                    int32_t transparent);
int DrawGraphTurned(int32_t x, int32_t y, int32_t graph, int32_t transparent);
int DrawGraphRotated(float x, float y, double scale, double angle, int32_t graph,
                     int32_t transparent, int32_t turn);
int DrawGraphRotatedInt(int32_t x, int32_t y, double scale, double angle, int32_t graph,
                        int32_t transparent, int32_t turn);
int DrawGraphPart(int32_t x, int32_t y, int32_t sourceX, int32_t sourceY, int32_t width,
                  int32_t height, int32_t graph, int32_t transparent, int32_t turn);
int DrawGraphPartInRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t sourceX,
                        int32_t sourceY, int32_t width, int32_t height, int32_t graph,
                        int32_t transparent);
// Corners: the graph's top-left, top-right, bottom-right, bottom-left.
int DrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, int32_t graph, int32_t transparent);

// The software paths (no checks of their own).
int SoftDrawGraphAtPoint(int32_t x, int32_t y, GraphRecord* graph, int32_t transparent);
int SoftDrawGraphInRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                        int32_t transparent);
int SoftDrawGraphRotated(float x, float y, double scale, double angle, GraphRecord* graph,
                         int32_t transparent, int32_t turn);
// P1 .. P4: top-left, top-right, bottom-left, bottom-right of the graph.
int SoftDrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3,
                             float x4, float y4, GraphRecord* graph, int32_t transparent);
int SoftDrawGraphQuad(const int32_t corners[8], GraphRecord* graph, int32_t transparent);

// Seams for tests: the movie update a front end calls (UpdateMovieFrame in the product),
// and the last affected rectangle a front end computed.
struct DrawFrontSeamsRecord {
  int (*updateMovieFrame)(int32_t movie, int32_t waitFlag);
  IntRect lastAffected;
};
extern DrawFrontSeamsRecord DrawFrontSeams;

}  // namespace quelt
