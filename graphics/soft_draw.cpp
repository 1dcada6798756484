// The software paths of the drawing front ends: the graph's own MEMIMG onto the draw
// target through the memory-image blitters and the rotation and triangle renderer.
#include "core/numbers.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_record.h"
#include "softrender/memimg_draw.h"
#include "softrender/rotate_blit.h"

namespace quelt {

int SoftDrawGraphAtPoint(int32_t x, int32_t y, GraphRecord* graph, int32_t transparent) {
  MemImgBlit(DrawScreenMemImg, &graph->memImg, x, y, transparent, BlendImage);
  return 0;
}

int SoftDrawGraphInRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                        int32_t transparent) {
  const IntRect rect{x1, y1, x2, y2};
  MemImgStretchBlit(DrawScreenMemImg, &graph->memImg, &rect, transparent, BlendImage);
  return 0;
}

int SoftDrawGraphRotated(float x, float y, double scale, double angle, GraphRecord* graph,
                         int32_t transparent, int32_t turn) {
  MemImgRotateBlit(DrawScreenMemImg, &graph->memImg, FloatToInt(x), FloatToInt(y),
                   static_cast<float>(angle), static_cast<float>(scale),
                   transparent, turn, BlendImage);
  return 0;
}

int SoftDrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3,
                             float x4, float y4, GraphRecord* graph, int32_t transparent) {
  const int32_t corners[8] = {FloatToInt(x1), FloatToInt(y1), FloatToInt(x2), FloatToInt(y2),
                              FloatToInt(x3), FloatToInt(y3), FloatToInt(x4), FloatToInt(y4)};
  return SoftDrawGraphQuad(corners, graph, transparent);
}

int SoftDrawGraphQuad(const int32_t p[8], GraphRecord* graph, int32_t transparent) {
  const int32_t w = graph->width, h = graph->height;
  const TriVertex first[3] = {{p[0], p[1], 0, 0}, {p[2], p[3], w, 0}, {p[4], p[5], 0, h}};
  const TriVertex second[3] = {{p[2], p[3], w, 0}, {p[4], p[5], 0, h}, {p[6], p[7], w, h}};
  MemImgTriangle(DrawScreenMemImg, &graph->memImg, first, transparent, BlendImage, 0);
  MemImgTriangle(DrawScreenMemImg, &graph->memImg, second, transparent, BlendImage, 0);
  return 0;
}

}  // namespace quelt
