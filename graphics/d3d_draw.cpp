#include "graphics/d3d_draw.h"

#include <cmath>

#include "graphics/device_calls.h"
#include "graphics/device_formats.h"
#include "graphics/draw_settings.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "softrender/rotate_placement.h"

namespace quelt {

using device_calls::Dev;
using device_calls::Sink;

int32_t SubtractEmulationFills = 0;

namespace {

// One corner as it goes to the device: screen position, piece texel, blend-image position.
struct QuadCorner {
  float x, y, u, v, bu, bv;
};

const ColorFormat* ImageFormat(const GraphRecord* graph) {
  return ColorFormatForD3DFormat(DeviceFormatTable[static_cast<size_t>(graph->image->formatIndex)]);
}

void* FirstTexture(GraphRecord* graph) {
  return graph->pieceCount > 0 ? GraphPieces(graph)[0].entry->texture : nullptr;
}

// Whether a draw without the transparent flag is a plain copy: unrotated, at a point or
// stretched, copying (mode 0, or mode 1 at full parameter) with neither bright colour nor
// blend graph. Only such a copy leaves an alpha channel out.
bool PlainCopy(bool copyPath) {
  const DrawSettingsRecord& d = DrawSettings;
  const bool copying = d.BlendMode == BlendCopy || (d.BlendMode == BlendAlpha && d.BlendParam == 255);
  return copyPath && copying && (d.BrightColour & 0xFFFFFF) == 0xFFFFFF && d.blendGraph == -1;
}

// Without the transparent flag the transparent colour never counts and every pixel is
// drawn; an alpha channel still weighs each pixel, as on the software renderer, except in
// the plain copy. `copyPath` is set by the point and rectangle paths.
void Prepare(GraphRecord* graph, int32_t transparent, bool exactTexel, bool copyPath) {
  const bool alphaChannel = graph->image->description[FormatByteAlpha] != 0;
  const bool imageKind = transparent != 0 || (alphaChannel && !PlainCopy(copyPath));
  PrepareDrawState(ImageFormat(graph), transparent, FirstTexture(graph),
                   (imageKind ? DrawPrepImageKind : 0u) | (exactTexel ? DrawPrepExactTexel : 0u));
}

void MakeCurrent(void* texture) {
  if (DeviceStateCache.drawTexture != texture) SetDrawTexture(texture);
  if (DeviceStateCache.modeChanged || DeviceStateCache.textureChanged) ApplyDrawMode(1, nullptr, 0);
}

// Appends one piece as TL, TR, BL, then BR, BL, TR. Every vertex gets the colour: a stale
// colour in the second, third, fifth or sixth vertex would show on devices that do not
// shade flat.
void EmitQuad(const QuadCorner c[4]) {
  void* at = QueueQuadVertices();
  if (at == nullptr) return;
  const uint32_t diffuse = BuildDrawDiffuse();
  const float z = DrawSettings.z2D;
  const float ox = static_cast<float>(DeviceStateCache.targetOriginX);
  const float oy = static_cast<float>(DeviceStateCache.targetOriginY);
  static constexpr int order[6] = {0, 1, 2, 3, 2, 1};
  if (VertexBatch.formatIndex == 2) {
    auto* v = static_cast<TexVertex2DSpec*>(at);
    for (int i = 0; i < 6; ++i) {
      const QuadCorner& q = c[order[i]];
      v[i].x = q.x + ox;
      v[i].y = q.y + oy;
      v[i].z = z;
      v[i].rhw = 1.0f;
      v[i].colour = diffuse;
      v[i].specular = 0xFFFFFFFF;
      v[i].u = q.bu;
      v[i].v = q.bv;
      v[i].u2 = q.u;
      v[i].v2 = q.v;
    }
  } else {
    auto* v = static_cast<TexVertex2D*>(at);
    for (int i = 0; i < 6; ++i) {
      const QuadCorner& q = c[order[i]];
      v[i] = {q.x + ox, q.y + oy, z, 1.0f, diffuse, q.u, q.v};
    }
  }
}

// std::fmin and std::fmax with their NaN rule (the number wins), inline: the library calls
// cost more than the rest of a glyph-sized draw.
inline float MinOf(float a, float b) { return a < b || b != b ? a : b; }
inline float MaxOf(float a, float b) { return a > b || b != b ? a : b; }

void BlendCoords(QuadCorner& q, float graphX, float graphY) {
  q.bu = graphX * VertexBatch.blendInvWidth;
  q.bv = graphY * VertexBatch.blendInvHeight;
}

// The point and rectangle paths: each piece placed at origin + corner x scale, clamped to
// the draw area when it is not wholly inside.
int DrawScaledPieces(GraphRecord* graph, float originX, float originY, float kx, float ky,
                     bool wholeInside) {
  const float* clip = DrawSettings.clipFloat;
  const float left = clip[0] - 0.5f, top = clip[1] - 0.5f;
  const float right = clip[2] - 0.5f, bottom = clip[3] - 0.5f;
  TexturePiece* pieces = GraphPieces(graph);
  for (int32_t p = 0; p < graph->pieceCount; ++p) {
    const TexturePiece& piece = pieces[p];
    QuadCorner q[4];
    float minX = 1e30f, maxX = -1e30f, minY = 1e30f, maxY = -1e30f;
    for (int i = 0; i < 4; ++i) {
      const PieceCorner& pc = piece.corners[static_cast<size_t>(i)];
      q[i] = {originX + pc.x * kx, originY + pc.y * ky, pc.u, pc.v, 0, 0};
      BlendCoords(q[i], pc.x, pc.y);
      minX = MinOf(minX, q[i].x);
      maxX = MaxOf(maxX, q[i].x);
      minY = MinOf(minY, q[i].y);
      maxY = MaxOf(maxY, q[i].y);
    }
    if (!wholeInside) {
      if (maxX <= left || minX >= right || maxY <= top || minY >= bottom) continue;
      const float texW = static_cast<float>(piece.entry->textureWidth);
      const float texH = static_cast<float>(piece.entry->textureHeight);
      for (QuadCorner& c : q) {
        const float nx = MinOf(MaxOf(c.x, left), right);
        const float ny = MinOf(MaxOf(c.y, top), bottom);
        if (nx != c.x) {
          const float graphStep = (nx - c.x) / kx;
          c.u += graphStep / texW;
          c.bu += graphStep * VertexBatch.blendInvWidth;
          c.x = nx;
        }
        if (ny != c.y) {
          const float graphStep = (ny - c.y) / ky;
          c.v += graphStep / texH;
          c.bv += graphStep * VertexBatch.blendInvHeight;
          c.y = ny;
        }
      }
    }
    MakeCurrent(piece.entry->texture);
    EmitQuad(q);
  }
  return 0;
}

bool NearWhole(double v) { return std::fabs(v - std::round(v)) < 0.00001; }

bool Fractional0(float v) {
  const float f = std::fabs(v - std::trunc(v));
  return f < 0.0001f || f > 0.999f;
}

// Within 4 degrees of an axis, or outside -4 .. 364 degrees.
bool NearAxis(double angle) {
  constexpr double tolerance = 0.0698131700797732;
  constexpr double quarter = 1.5707963267948966;
  if (angle < -tolerance || angle > 4 * quarter + tolerance) return true;
  for (int k = 0; k <= 4; ++k)
    if (std::fabs(angle - k * quarter) <= tolerance) return true;
  return false;
}

}  // namespace

int DrawGraphAtPointD3D(GraphRecord* graph, int32_t x, int32_t y, float fx, float fy,
                        int32_t transparent, int32_t /*exactTexel*/) {
  if (!HasDevice()) return -1;
  BeginSceneIfNeeded();
  Prepare(graph, transparent, true, true);
  const IntRect& clip = DrawSettings.ClipRect;
  if (x + graph->width <= clip.x1 || y + graph->height <= clip.y1 || x >= clip.x2 || y >= clip.y2)
    return 0;
  const bool inside =
      x >= clip.x1 && y >= clip.y1 && x + graph->width <= clip.x2 && y + graph->height <= clip.y2;
  return DrawScaledPieces(graph, fx - 0.5f, fy - 0.5f, 1.0f, 1.0f, inside);
}

int DrawGraphInRectD3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, float fx1, float fy1,
                       float fx2, float fy2, GraphRecord* graph, int32_t transparent,
                       int32_t exactTexel) {
  if (!HasDevice()) return -1;
  if (x1 == x2 || y1 == y2) return -1;
  if (graph->width <= 0 || graph->height <= 0) return -1;
  BeginSceneIfNeeded();
  Prepare(graph, transparent, exactTexel != 0 && DrawSettings.filterMode != 1, true);
  const float kx = (fx2 - fx1) / static_cast<float>(graph->width);
  const float ky = (fy2 - fy1) / static_cast<float>(graph->height);
  const IntRect box{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  const IntRect& clip = DrawSettings.ClipRect;
  if (box.x2 <= clip.x1 || box.y2 <= clip.y1 || box.x1 >= clip.x2 || box.y1 >= clip.y2) return 0;
  const bool inside = box.x1 >= clip.x1 && box.y1 >= clip.y1 && box.x2 <= clip.x2 && box.y2 <= clip.y2;
  return DrawScaledPieces(graph, fx1 - 0.5f, fy1 - 0.5f, kx, ky, inside);
}

int DrawGraphRotatedD3D(GraphRecord* graph, float x, float y, double scale, double angle,
                        int32_t transparent, int32_t turn) {
  if (!HasDevice()) return -1;
  if (scale == 0.0) return -1;
  BeginSceneIfNeeded();
  Prepare(graph, transparent, false, false);
  const int32_t w = graph->width;
  const int32_t h = graph->height;
  const bool aligned = NearWhole(x) && NearWhole(y);
  float cx = x, cy = y;
  const float halfW = static_cast<float>(w) * 0.5f, halfH = static_cast<float>(h) * 0.5f;
  if (aligned) {
    const RotatedPlacement place = PlaceRotated(w, h, scale == 1.0);
    cx -= 0.5f * static_cast<float>(place.shiftX2);
    cy -= 0.5f * static_cast<float>(place.shiftY2);
  }
  const float sy = static_cast<float>(scale);
  const float sx = turn == 1 ? -sy : sy;
  const float cosA = std::cos(static_cast<float>(angle));
  const float sinA = std::sin(static_cast<float>(angle));
  bool testX = true, testY = true;
  if (aligned) {
    const bool snap = angle != 0.0 && NearAxis(angle);
    testX = snap && (w & 1) != 0;
    testY = snap && (h & 1) != 0;
  }
  TexturePiece* pieces = GraphPieces(graph);
  for (int32_t p = 0; p < graph->pieceCount; ++p) {
    const TexturePiece& piece = pieces[p];
    QuadCorner q[4];
    for (int i = 0; i < 4; ++i) {
      const PieceCorner& pc = piece.corners[static_cast<size_t>(i)];
      const float dx = sx * (pc.x - halfW);
      const float dy = sy * (pc.y - halfH);
      if (angle == 0.0) {
        q[i].x = cx + dx;
        q[i].y = cy + dy;
      } else {
        q[i].x = cx + dx * cosA - dy * sinA;
        q[i].y = cy + dx * sinA + dy * cosA;
      }
      q[i].u = pc.u;
      q[i].v = pc.v;
      BlendCoords(q[i], pc.x, pc.y);
    }
    // Axis-aligned edges of odd-sized graphs would otherwise sit on pixel centres.
    if (testX && (std::fabs(q[0].x - q[1].x) < 0.01f || std::fabs(q[0].x - q[2].x) < 0.01f) &&
        Fractional0(q[0].x))
      for (QuadCorner& c : q) c.x -= 0.5f;
    if (testY && (std::fabs(q[0].y - q[1].y) < 0.01f || std::fabs(q[0].y - q[2].y) < 0.01f) &&
        Fractional0(q[0].y))
      for (QuadCorner& c : q) c.y -= 0.5f;
    MakeCurrent(piece.entry->texture);
    EmitQuad(q);
  }
  return 0;
}

int DrawGraphFourCornersD3D(int32_t transparent, GraphRecord* graph, FloatPoint p1, FloatPoint p2,
                            FloatPoint p3, FloatPoint p4) {
  if (!HasDevice()) return -1;
  if (DrawSettings.blendGraph != -1) {
    const int32_t corners[8] = {static_cast<int32_t>(p1.x), static_cast<int32_t>(p1.y),
                                static_cast<int32_t>(p2.x), static_cast<int32_t>(p2.y),
                                static_cast<int32_t>(p3.x), static_cast<int32_t>(p3.y),
                                static_cast<int32_t>(p4.x), static_cast<int32_t>(p4.y)};
    return DrawQuadBlendGraphD3D(corners, graph, transparent);
  }
  BeginSceneIfNeeded();
  Prepare(graph, transparent, false, false);
  TexturePiece* pieces = GraphPieces(graph);
  if (graph->pieceCount == 1) return DrawQuadPiecesD3D(p1, p2, p3, p4, &pieces[0]);
  const double w = graph->width, h = graph->height;
  auto place = [&](const PieceCorner& c) {
    const double s = c.x / w, t = c.y / h;
    const double lx = p1.x + t * (p3.x - p1.x), ly = p1.y + t * (p3.y - p1.y);
    const double rx = p2.x + t * (p4.x - p2.x), ry = p2.y + t * (p4.y - p2.y);
    return FloatPoint{static_cast<float>(lx + s * (rx - lx)), static_cast<float>(ly + s * (ry - ly))};
  };
  for (int32_t p = 0; p < graph->pieceCount; ++p) {
    const TexturePiece& piece = pieces[p];
    DrawQuadPiecesD3D(place(piece.corners[0]), place(piece.corners[1]), place(piece.corners[2]),
                      place(piece.corners[3]), &piece);
  }
  return 0;
}

int DrawQuadPiecesD3D(FloatPoint p1, FloatPoint p2, FloatPoint p3, FloatPoint p4,
                      const TexturePiece* piece) {
  if (!HasDevice()) return -1;
  MakeCurrent(piece->entry->texture);
  const auto& pc = piece->corners;
  const bool parallelogram = std::fabs((p2.x - p1.x) - (p4.x - p3.x)) < 1.0f &&
                             std::fabs((p2.y - p1.y) - (p4.y - p3.y)) < 1.0f &&
                             std::fabs((p3.x - p1.x) - (p4.x - p2.x)) < 1.0f &&
                             std::fabs((p3.y - p1.y) - (p4.y - p2.y)) < 1.0f;
  // Pixel centres lie on whole coordinates: the corners move up and left by half a pixel,
  // as on the other paths, so an unscaled quad maps each texel onto one pixel.
  for (FloatPoint* p : {&p1, &p2, &p3, &p4}) {
    p->x -= 0.5f;
    p->y -= 0.5f;
  }
  if (parallelogram) {
    QuadCorner q[4] = {{p1.x, p1.y, pc[0].u, pc[0].v, 0, 0},
                       {p2.x, p2.y, pc[1].u, pc[1].v, 0, 0},
                       {p3.x, p3.y, pc[2].u, pc[2].v, 0, 0},
                       {p4.x, p4.y, pc[3].u, pc[3].v, 0, 0}};
    for (int i = 0; i < 4; ++i) BlendCoords(q[i], pc[static_cast<size_t>(i)].x, pc[static_cast<size_t>(i)].y);
    const float cross1 = (p2.x - p1.x) * (p3.y - p1.y) - (p2.y - p1.y) * (p3.x - p1.x);
    const float cross2 = (p3.x - p4.x) * (p2.y - p4.y) - (p3.y - p4.y) * (p2.x - p4.x);
    if (cross1 <= 0 && cross2 <= 0) {
      // Reversed winding: swap TR and BL, which reverses both triangles.
      std::swap(q[1], q[2]);
    }
    EmitQuad(q);
    return 0;
  }
  TexVertex2D grid[64];
  const uint32_t diffuse = BuildDrawDiffuse();
  const float z = DrawSettings.z2D;
  const float ox = static_cast<float>(DeviceStateCache.targetOriginX);
  const float oy = static_cast<float>(DeviceStateCache.targetOriginY);
  for (int r = 0; r < 8; ++r) {
    const float t = static_cast<float>(r) / 7.0f;
    const float lx = p1.x + t * (p3.x - p1.x) + ox, ly = p1.y + t * (p3.y - p1.y) + oy;
    const float rx = p2.x + t * (p4.x - p2.x) + ox, ry = p2.y + t * (p4.y - p2.y) + oy;
    const float v = pc[0].v + t * (pc[3].v - pc[0].v);
    for (int c = 0; c < 8; ++c) {
      const float s = static_cast<float>(c) / 7.0f;
      grid[r * 8 + c] = {lx + s * (rx - lx), ly + s * (ry - ly), z, 1.0f, diffuse,
                         pc[0].u + s * (pc[3].u - pc[0].u), v};
    }
  }
  return DrawIndexedGrid(8, 8, grid);
}

int DrawQuadBlendGraphD3D(const int32_t p[8], GraphRecord* graph, int32_t transparent) {
  if (!HasDevice()) return -1;
  if (p[0] == p[4] && p[2] == p[6] && p[1] == p[3] && p[5] == p[7])
    return DrawGraphInRectD3D(p[0], p[1], p[6], p[7], static_cast<float>(p[0]), static_cast<float>(p[1]),
                              static_cast<float>(p[6]), static_cast<float>(p[7]), graph, transparent, 1);
  auto f = [&](int i) { return static_cast<float>(p[i]); };
  if (DrawSettings.blendGraph == -1)
    return DrawGraphFourCornersD3D(transparent, graph, {f(0), f(1)}, {f(2), f(3)}, {f(4), f(5)},
                                   {f(6), f(7)});
  FlushVertexBatch();
  BeginSceneIfNeeded();
  Prepare(graph, transparent, true, false);
  const float w = static_cast<float>(graph->width), h = static_cast<float>(graph->height);
  // Two affine maps: the triangle at P1 for the top-left half, the one at P4 for the rest.
  const float ax = (f(2) - f(0)) / w, ay = (f(3) - f(1)) / w;
  const float bx = (f(4) - f(0)) / h, by = (f(5) - f(1)) / h;
  const float cx = -(f(4) - f(6)) / w, cy = -(f(5) - f(7)) / w;
  const float dx = -(f(2) - f(6)) / h, dy = -(f(3) - f(7)) / h;
  TexturePiece* pieces = GraphPieces(graph);
  for (int32_t i = 0; i < graph->pieceCount; ++i) {
    const TexturePiece& piece = pieces[i];
    QuadCorner q[4];
    for (int k = 0; k < 4; ++k) {
      const PieceCorner& pc = piece.corners[static_cast<size_t>(k)];
      if (pc.x / w + pc.y / h <= 1.0f) {
        q[k].x = f(0) + pc.x * ax + pc.y * bx - 0.5f;
        q[k].y = f(1) + pc.x * ay + pc.y * by - 0.5f;
      } else {
        q[k].x = f(6) + (pc.x - w) * cx + (pc.y - h) * dx - 0.5f;
        q[k].y = f(7) + (pc.x - w) * cy + (pc.y - h) * dy - 0.5f;
      }
      q[k].u = pc.u;
      q[k].v = pc.v;
      BlendCoords(q[k], pc.x, pc.y);
    }
    const float cross = (q[1].x - q[0].x) * (q[2].y - q[0].y) - (q[1].y - q[0].y) * (q[2].x - q[0].x);
    if (cross < 0) std::swap(q[1], q[2]);
    MakeCurrent(piece.entry->texture);
    EmitQuad(q);
  }
  return 0;
}

namespace {
int32_t rememberedSubtractParam = 255;

// Blend mode 3 on a device without reverse subtraction multiplies the destination by the
// inverse destination colour: a white fill inverts it. Both passes force the same white
// bright colour and full parameter, so the two inversions cancel exactly.
void InvertingFill(const IntRect& rect) {
  const uint32_t bright = DrawSettings.BrightColour;
  SetBrightColour(0xFFFFFF);
  SelectBlendMode(BlendSub, 255);
  FillRectDirect3D(rect.x1, rect.y1, rect.x2, rect.y2, MakeScreenColourCode(255, 255, 255));
  ++SubtractEmulationFills;
  SetBrightColour(static_cast<int32_t>(bright & 0xFFFFFF));
}
}  // namespace

int SubtractBlendPrePass(const IntRect& rect) {
  rememberedSubtractParam = DrawSettings.BlendParam;
  InvertingFill(rect);
  SelectBlendMode(BlendDeviceAdd, rememberedSubtractParam);
  return 0;
}

int SubtractBlendPostPass(const IntRect& rect) {
  InvertingFill(rect);
  SelectBlendMode(BlendSub, rememberedSubtractParam);
  return 0;
}

int DrawWithStageSetup(const DrawModeBlock* block, int32_t value, int32_t flag) {
  if (!HasDevice()) return -1;
  FlushVertexBatch();
  ApplyDrawMode(flag, block, value);
  DeviceStateCache.modeChanged = 1;
  DeviceStateCache.textureChanged = 1;
  return 0;
}

// --- Primitives ---------------------------------------------------------------------------------

int FillRectDirect3D(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (!HasDevice()) return -1;
  IntRect rect{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
  ClipRectangle(rect, DrawSettings.ClipRect);
  if (rect.x1 == rect.x2 || rect.y1 == rect.y2) return 0;
  BeginSceneIfNeeded();
  SetDrawTexture(nullptr);
  PrepareDrawState(nullptr, 0, nullptr, DrawPrepColourModulate);
  int32_t r = 0;
  int32_t g = 0;
  int32_t b = 0;
  SplitScreenColourCode(colour, &r, &g, &b);
  const uint32_t diffuse = VertexBatch.diffuse;
  r = r * static_cast<int32_t>((diffuse >> 16) & 0xFF) / 255;
  g = g * static_cast<int32_t>((diffuse >> 8) & 0xFF) / 255;
  b = b * static_cast<int32_t>(diffuse & 0xFF) / 255;
  const uint32_t argb = (diffuse & 0xFF000000) | static_cast<uint32_t>(r << 16 | g << 8 | b);
  auto* v = static_cast<Vertex2D*>(QueueQuadVertices());
  if (v == nullptr) return -1;
  const float z = DrawSettings.z2D;
  const float ox = static_cast<float>(DeviceStateCache.targetOriginX) - 0.5f;
  const float oy = static_cast<float>(DeviceStateCache.targetOriginY) - 0.5f;
  const float left = static_cast<float>(rect.x1) + ox;
  const float top = static_cast<float>(rect.y1) + oy;
  const float right = static_cast<float>(rect.x2) + ox;
  const float bottom = static_cast<float>(rect.y2) + oy;
  v[0] = {left, top, z, 1.0f, argb};
  v[1] = {right, top, z, 1.0f, argb};
  v[2] = {left, bottom, z, 1.0f, argb};
  v[3] = {right, top, z, 1.0f, argb};
  v[4] = {right, bottom, z, 1.0f, argb};
  v[5] = {left, bottom, z, 1.0f, argb};
  return 0;
}

int DrawIndexedGrid(int32_t columns, int32_t rows, const TexVertex2D* vertices) {
  if (columns < 2 || rows < 2) return -1;
  if (!HasDevice()) return -1;
  FlushVertexBatch();
  BeginSceneIfNeeded();
  if (DeviceStateCache.fvf != VertexFormats[1].fvf) {
    Sink().setFvf(Dev(), VertexFormats[1].fvf);
    DeviceStateCache.fvf = VertexFormats[1].fvf;
  }
  constexpr int32_t MaxIndices = 1000;
  // A strip through w columns of a row pair takes 2 w indices plus two to join it to the
  // one before; wider rows go in pieces that share their edge column.
  constexpr int32_t MaxChunkColumns = MaxIndices / 2 - 1;
  // Indices are 16 bits relative to the first vertex of each draw; the lower row of a
  // piece lies `columns` vertices after its upper row.
  if (columns > 65536 - MaxChunkColumns) return -1;
  std::array<uint16_t, MaxIndices> indices{};
  int32_t count = 0;
  int64_t base = 0;      // first vertex of the current draw
  int64_t highest = 0;   // highest index used in it
  auto draw = [&] {
    if (count > 2)
      Sink().drawIndexedPrimitiveUp(Dev(), d3d::TriangleStrip, static_cast<uint32_t>(highest + 1),
                                    static_cast<uint32_t>(count - 2), indices.data(), vertices + base,
                                    VertexFormats[1].stride);
    count = 0;
    highest = 0;
  };
  for (int32_t r = 0; r + 1 < rows; ++r) {
    for (int32_t c0 = 0; c0 + 1 < columns; c0 += MaxChunkColumns - 1) {
      const int32_t c1 = c0 + MaxChunkColumns - 1 < columns - 1 ? c0 + MaxChunkColumns - 1 : columns - 1;
      const int32_t width = c1 - c0 + 1;
      const int64_t first = static_cast<int64_t>(r) * columns + c0;
      const int64_t last = first + columns + (c1 - c0);
      if (count > 0 && (count + 2 + 2 * width > MaxIndices || last - base > 0xFFFF)) draw();
      if (count == 0) base = first;
      if (count > 0) {
        indices[count] = indices[count - 1];
        ++count;
        indices[count++] = static_cast<uint16_t>(first - base);
      }
      for (int32_t c = 0; c < width; ++c) {
        indices[count++] = static_cast<uint16_t>(first + c - base);
        indices[count++] = static_cast<uint16_t>(first + columns + c - base);
      }
      if (last - base > highest) highest = last - base;
    }
  }
  draw();
  return 0;
}

}  // namespace quelt
