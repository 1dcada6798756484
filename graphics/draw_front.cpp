#include "graphics/draw_front.h"

#include <cmath>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/window_hooks.h"
#include "graphics/d3d_draw.h"
#include "graphics/draw_pass.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/mask.h"
#include "softrender/soft_draw_state.h"

namespace quelt {

DrawFrontSeamsRecord DrawFrontSeams{nullptr, {0, 0, 0, 0}};

namespace {


bool IsTextureImage(const GraphRecord* g) {
  return g->image != nullptr && g->image->description[FormatByteTexture] != 0;
}

void WaitIfInactive() {
  if (WindowActiveFlag == 0) WaitWhileInactive();
}

bool AffectedRectNeeded(const GraphRecord* g) { return quelt::AffectedRectNeeded(IsTextureImage(g)); }

// The movie graph brought up to date, then the shared draw pass; the affected rectangle is
// computed by the caller only when AffectedRectNeeded says so.
template <typename D3dDraw, typename SoftDrawFn>
int RunDraw(GraphRecord* g, const IntRect& rect, D3dDraw d3d, SoftDrawFn soft) {
  DrawFrontSeams.lastAffected = rect;
  if (g->linkedMovie != -1 && DrawFrontSeams.updateMovieFrame != nullptr)
    DrawFrontSeams.updateMovieFrame(g->linkedMovie, 0);
  return RunDrawPass(IsTextureImage(g), DrawSettings.maskActive != 0, rect, d3d, soft);
}

// The checks before every graph draw: lock, empty draw area, handle, blend coverage, then the
// inactive wait. Returns the record, or null with *early set to the result to return.
GraphRecord* Prologue(int32_t graph, int* early) {
  if (DrawSettings.DrawSettingsLock || DrawSettings.ClipRectEmpty == 1) {
    *early = 0;
    return nullptr;
  }
  GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr || g->image == nullptr) {
    *early = -1;
    return nullptr;
  }
  if (DrawSettings.blendGraph != -1 && CheckBlendGraphCovers(g) < 0) {
    *early = -1;
    return nullptr;
  }
  WaitIfInactive();
  return g;
}

void SetWorkingClip(const IntRect& rect) {
  DrawSettings.ClipRect = rect;
  DrawSettings.clipFloat[0] = static_cast<float>(rect.x1);
  DrawSettings.clipFloat[1] = static_cast<float>(rect.y1);
  DrawSettings.clipFloat[2] = static_cast<float>(rect.x2);
  DrawSettings.clipFloat[3] = static_cast<float>(rect.y2);
  SoftDraw.ClipRect = rect;
}

// Saves the draw area and puts it back on every return.
struct ClipGuard {
  IntRect rect = DrawSettings.ClipRect;
  float floats[4] = {DrawSettings.clipFloat[0], DrawSettings.clipFloat[1], DrawSettings.clipFloat[2],
                     DrawSettings.clipFloat[3]};
  IntRect soft = SoftDraw.ClipRect;
  ~ClipGuard() {
    DrawSettings.ClipRect = rect;
    for (int i = 0; i < 4; ++i) DrawSettings.clipFloat[i] = floats[i];
    SoftDraw.ClipRect = soft;
  }
};

}  // namespace

int DrawGraphAtPoint(int32_t x, int32_t y, int32_t graph, int32_t transparent) {
  if (EngineInitialised == 0) return -1;
  int early = 0;
  GraphRecord* g = Prologue(graph, &early);
  if (g == nullptr) return early;
  IntRect rect{0, 0, 0, 0};
  if (AffectedRectNeeded(g)) rect = {x, y, x + g->width, y + g->height};
  return RunDraw(
      g, rect,
      [&] {
        return DrawGraphAtPointD3D(g, x, y, static_cast<float>(x), static_cast<float>(y),
                                   transparent, 1);
      },
      [&] { return SoftDrawGraphAtPoint(x, y, g, transparent); });
}

int DrawGraphInRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                    int32_t transparent) {
  int early = 0;
  GraphRecord* g = Prologue(graph, &early);
  if (g == nullptr) return early;
  IntRect rect{0, 0, 0, 0};
  if (AffectedRectNeeded(g))
    rect = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  return RunDraw(
      g, rect,
      [&] {
        return DrawGraphInRectD3D(x1, y1, x2, y2, static_cast<float>(x1), static_cast<float>(y1),
                                  static_cast<float>(x2), static_cast<float>(y2), g, transparent, 1);
      },
      [&] { return SoftDrawGraphInRect(x1, y1, x2, y2, g, transparent); });
}

int DrawGraphTurned(int32_t x, int32_t y, int32_t graph, int32_t transparent) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  return DrawGraphInRect(x + g->width, y, x, y + g->height, graph, transparent);
}

int DrawGraphRotated(float x, float y, double scale, double angle, int32_t graph,
                     int32_t transparent, int32_t turn) {
  const int32_t ix = static_cast<int32_t>(x);
  const int32_t iy = static_cast<int32_t>(y);
  int early = 0;
  GraphRecord* g = Prologue(graph, &early);
  if (g == nullptr) return early;
  IntRect rect{0, 0, 0, 0};
  if (AffectedRectNeeded(g)) {
    const int32_t w = g->width, h = g->height;
    const double c = static_cast<float>(std::cos(angle));
    const double s = static_cast<float>(std::sin(angle));
    const double cx[4] = {static_cast<double>(-(w / 2)), static_cast<double>(w - w / 2),
                          static_cast<double>(-(w / 2)), static_cast<double>(w - w / 2)};
    const double cy[4] = {static_cast<double>(-(h / 2)), static_cast<double>(-(h / 2)),
                          static_cast<double>(h - h / 2), static_cast<double>(h - h / 2)};
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (int i = 0; i < 4; ++i) {
      const double px = (cx[i] * c - cy[i] * s) * scale + ix;
      const double py = (cx[i] * s + cy[i] * c) * scale + iy;
      minX = std::fmin(minX, px);
      maxX = std::fmax(maxX, px);
      minY = std::fmin(minY, py);
      maxY = std::fmax(maxY, py);
    }
    rect = {static_cast<int32_t>(minX - 5), static_cast<int32_t>(minY - 5),
            static_cast<int32_t>(maxX + 5), static_cast<int32_t>(maxY + 5)};
  }
  return RunDraw(
      g, rect, [&] { return DrawGraphRotatedD3D(g, x, y, scale, angle, transparent, turn); },
      [&] { return SoftDrawGraphRotated(x, y, scale, angle, g, transparent, turn); });
}

int DrawGraphRotatedInt(int32_t x, int32_t y, double scale, double angle, int32_t graph,
                        int32_t transparent, int32_t turn) {
  return DrawGraphRotated(static_cast<float>(x), static_cast<float>(y), scale, angle, graph,
                          transparent, turn);
}

int DrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, int32_t graph, int32_t transparent) {
  int early = 0;
  GraphRecord* g = Prologue(graph, &early);
  if (g == nullptr) return early;
  IntRect rect{0, 0, 0, 0};
  if (AffectedRectNeeded(g)) {
    rect = {0xFFFFFF, 0xFFFFFF, 0, 0};
    const float xs[4] = {x1, x2, x3, x4}, ys[4] = {y1, y2, y3, y4};
    for (int i = 0; i < 4; ++i) {
      const int32_t px = static_cast<int32_t>(xs[i]), py = static_cast<int32_t>(ys[i]);
      if (px < rect.x1) rect.x1 = px;
      if (py < rect.y1) rect.y1 = py;
      if (px > rect.x2) rect.x2 = px;
      if (py > rect.y2) rect.y2 = py;
    }
  }
  return RunDraw(
      g, rect,
      [&] {
        return DrawGraphFourCornersD3D(transparent, g, {x1, y1}, {x2, y2}, {x4, y4}, {x3, y3});
      },
      [&] { return SoftDrawGraphFourCorners(x1, y1, x2, y2, x4, y4, x3, y3, g, transparent); });
}

int DrawGraphPart(int32_t x, int32_t y, int32_t sourceX, int32_t sourceY, int32_t width,
                  int32_t height, int32_t graph, int32_t transparent, int32_t turn) {
  ClipGuard saved;
  IntRect part{x, y, x + width, y + height};
  ClipRectangle(part, saved.rect);
  SetWorkingClip(part);
  if (turn != 0) {
    const GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) return -1;
    return DrawGraphTurned(x + sourceX + width - g->width, y - sourceY, graph, transparent);
  }
  return DrawGraphAtPoint(x - sourceX, y - sourceY, graph, transparent);
}

int DrawGraphPartInRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t sourceX,
                        int32_t sourceY, int32_t width, int32_t height, int32_t graph,
                        int32_t transparent) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  // A source of no width or height has no scale: nothing to draw.
  if (width == 0 || height == 0) return 0;
  ClipGuard saved;
  const int32_t left = x1 < x2 ? x1 : x2, right = x1 < x2 ? x2 : x1;
  const int32_t top = y1 < y2 ? y1 : y2, bottom = y1 < y2 ? y2 : y1;
  IntRect box{left, top, right, bottom};
  ClipRectangle(box, saved.rect);
  SetWorkingClip(box);
  const double kx = static_cast<double>(right - left) / width;
  const double ky = static_cast<double>(bottom - top) / height;
  int32_t dx1, dx2, dy1, dy2;
  if (x2 >= x1) {
    dx1 = left - static_cast<int32_t>(sourceX * kx);
    dx2 = left + static_cast<int32_t>(kx * (g->width - sourceX));
  } else {
    dx1 = right + static_cast<int32_t>(sourceX * kx);
    dx2 = right - static_cast<int32_t>(kx * (g->width - sourceX));
  }
  if (y2 >= y1) {
    dy1 = top - static_cast<int32_t>(sourceY * ky);
    dy2 = top + static_cast<int32_t>(ky * (g->height - sourceY));
  } else {
    dy1 = bottom + static_cast<int32_t>(sourceY * ky);
    dy2 = bottom - static_cast<int32_t>(ky * (g->height - sourceY));
  }
  return DrawGraphInRect(dx1, dy1, dx2, dy2, graph, transparent);
}

}  // namespace quelt
