// String drawing through the glyph cache: per glyph through the drawing front ends on
// Direct3D, direct pixel writes (or a work image and a blit) on the software renderer.
#include <algorithm>
#include <cstring>

#include "core/core_state.h"
#include "core/log.h"
#include "core/tracked_alloc.h"
#include "core/window_hooks.h"
#include "font/font_table.h"
#include "font/glyph_pixels.h"
#include "graphics/d3d_draw.h"
#include "graphics/device_state.h"
#include "graphics/draw_front.h"
#include "graphics/draw_pass.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/mask.h"
#include "graphics/screen_mode.h"
#include "softrender/memimg_draw.h"
#include "softrender/soft_draw_state.h"

namespace quelt {

namespace {


struct PreparedColour {
  uint32_t code;   // screen colour code without the format's unused bits
  uint32_t argb;   // 0xFFRRGGBB for the bright colour
};

PreparedColour Prepare(uint32_t colour) {
  int32_t r = 0, g = 0, b = 0;
  SplitScreenColourCode(colour, &r, &g, &b);
  const uint32_t bright = DrawSettings.BrightColour;
  r = r * static_cast<int32_t>((bright >> 16) & 0xFF) / 255;
  g = g * static_cast<int32_t>((bright >> 8) & 0xFF) / 255;
  b = b * static_cast<int32_t>(bright & 0xFF) / 255;
  const uint32_t unused = MakeScreenColourCode(0, 0, 0);
  return {MakeScreenColourCode(r, g, b) & ~unused,
          0xFF000000u | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b)};
}

void SetClip(const IntRect& r) {
  DrawSettings.ClipRect = r;
  SoftDraw.ClipRect = r;
}

bool IsBlank(const GlyphUnit& u) {
  return (u.first == 0x20 && u.second == 0) || (u.first == 0x81 && u.second == 0x40);
}

// The blend graph and bright colour a texture-path string changes, put back when it ends.
// Kept for the whole string rather than per glyph: restoring them between glyphs would
// gain nothing and cost a state round trip per character. A string whose edge and glyph
// colours are one white and one not holds the colour modulation for all its layers, so
// that its glyphs stay one batch (white modulation changes no pixel).
// Inverting text (mode 10) blends towards the inverted text colour, as the software
// renderer's work image does: the glyphs are drawn in the complemented colours with the
// same blending (mode 1). Inverting the white glyph cache itself would draw them black.
struct TextureDrawState {
  int32_t blendGraph, borderParam, borderRange, holdModulation, blendMode;
  uint32_t bright;
  void Save(bool holdColourModulation) {
    blendGraph = DrawSettings.blendGraph;
    borderParam = DrawSettings.blendBorderParam;
    borderRange = DrawSettings.blendBorderRange;
    bright = DrawSettings.BrightColour;
    holdModulation = HoldColourModulation;
    blendMode = DrawSettings.BlendMode;
    SetBlendImageGraph(-1, 0, 0);
    if (holdColourModulation) HoldColourModulation = 1;
    if (blendMode == BlendInvertAlpha) SelectBlendMode(BlendAlpha, DrawSettings.BlendParam);
  }
  void Restore() const {
    HoldColourModulation = holdModulation;
    SetBlendImageGraph(blendGraph, borderParam, borderRange);
    SetBrightColour(static_cast<int32_t>(bright & 0xFFFFFF));
    if (blendMode == BlendInvertAlpha) SelectBlendMode(BlendInvertAlpha, DrawSettings.BlendParam);
  }
};

PreparedColour GlyphColour(const PreparedColour& c) {
  if (DrawSettings.BlendMode != BlendInvertAlpha) return c;
  return {c.code, 0xFF000000u | (~c.argb & 0xFFFFFF)};
}

bool IsWhite(const PreparedColour& c) { return (c.argb & 0xFFFFFF) == 0xFFFFFF; }

// Where and how a string's glyphs go on the texture path.
struct TexturePen {
  int32_t x, y;
  double pen;  // the pen position before this glyph
  int32_t extend;
  double scaleX, scaleY;
  int32_t vertical, transparent;
};

// One glyph of the texture cache through the drawing front ends: the edge layer in the
// edge colour, then the glyph in the text colour.
void DrawGlyphTexture(const FontRecord& f, const GlyphCell& cell, const TexturePen& p, const PreparedColour& text,
                      const PreparedColour& edge) {
  const int32_t sx = CellX(f, cell.cellIndex), sy = CellY(f, cell.cellIndex);
  const int32_t w = cell.boxWidth, h = cell.boxHeight;
  const int32_t pen = static_cast<int32_t>(p.pen);
  const bool hasEdge = f.edgeGraph != -1;
  if (!p.vertical) {
    if (!p.extend) {
      if (hasEdge) {
        SetBrightColour(static_cast<int32_t>(edge.argb & 0xFFFFFF));
        DrawGraphPart(p.x + pen + cell.xOffset, p.y + cell.yOffset, sx, sy, w, h, f.edgeGraph, p.transparent, 0);
      }
      SetBrightColour(static_cast<int32_t>(text.argb & 0xFFFFFF));
      DrawGraphPart(p.x + pen + cell.xOffset, p.y + cell.yOffset, sx, sy, w, h, f.cacheGraph, p.transparent, 0);
      return;
    }
    const int32_t x1 = p.x + static_cast<int32_t>(p.scaleX * cell.xOffset + p.pen);
    const int32_t y1 = p.y + static_cast<int32_t>(p.scaleY * cell.yOffset);
    const int32_t x2 = x1 + static_cast<int32_t>(p.scaleX * w), y2 = y1 + static_cast<int32_t>(p.scaleY * h);
    if (hasEdge) {
      SetBrightColour(static_cast<int32_t>(edge.argb & 0xFFFFFF));
      DrawGraphPartInRect(x1, y1, x2, y2, sx, sy, w, h, f.edgeGraph, p.transparent);
    }
    SetBrightColour(static_cast<int32_t>(text.argb & 0xFFFFFF));
    DrawGraphPartInRect(x1, y1, x2, y2, sx, sy, w, h, f.cacheGraph, p.transparent);
    return;
  }
  // The glyph turned a quarter clockwise into its box: glyph pixel (gx, gy) lands at
  // (right - 1 - gy, top + gx). Not extended, the whole cache graph is mapped so that cache
  // point (u, v) goes to (right - (v - sy), top + (u - sx)) and the narrowed draw area keeps
  // only the cell; extended, a sub-graph of the cell is mapped onto the scaled box.
  int32_t right, top, boxW, boxH;
  if (!p.extend) {
    right = p.x + f.cellHeight - cell.yOffset;
    top = p.y + pen + cell.xOffset;
    boxW = h;
    boxH = w;
  } else {
    right = p.x + static_cast<int32_t>(p.scaleX * (f.cellHeight - cell.yOffset));
    top = p.y + static_cast<int32_t>(p.scaleY * cell.xOffset + p.pen);
    boxW = static_cast<int32_t>(p.scaleX * h);
    boxH = static_cast<int32_t>(p.scaleY * w);
  }
  const IntRect savedClip = DrawSettings.ClipRect;
  const IntRect savedRequest = RequestedDrawArea;
  IntRect box{right - boxW - 1, top, right + 1, top + boxH};
  ClipRectangle(box, savedClip);
  if (box.x1 >= box.x2 || box.y1 >= box.y2) return;
  SetDrawClipRect(box.x1, box.y1, box.x2, box.y2);
  auto draw = [&](int32_t graph, uint32_t rgb) {
    SetBrightColour(static_cast<int32_t>(rgb & 0xFFFFFF));
    // Corners: the graph's top-left, top-right, bottom-right, bottom-left.
    if (!p.extend) {
      int32_t gw = 0, gh = 0;
      if (QueryGraphDimensions(graph, &gw, &gh) < 0) return;
      const float r = static_cast<float>(right + sy);
      const float t = static_cast<float>(top - sx);
      DrawGraphFourCorners(r, t, r, t + static_cast<float>(gw), r - static_cast<float>(gh), t + static_cast<float>(gw),
                           r - static_cast<float>(gh), t, graph, p.transparent);
      return;
    }
    const int32_t sub = CreateSubGraph(sx, sy, w, h, graph);
    if (sub < 0) return;
    const float r = static_cast<float>(right), l = static_cast<float>(right - boxW);
    const float t = static_cast<float>(top), b = static_cast<float>(top + boxH);
    DrawGraphFourCorners(r, t, r, b, l, b, l, t, sub, p.transparent);
    // The queued quad reads the sub-graph's texture, which outlives the handle.
    ReleaseGraphHandle(sub);
  };
  if (hasEdge) draw(f.edgeGraph, edge.argb);
  draw(f.cacheGraph, text.argb);
  SetDrawClipRect(savedClip.x1, savedClip.y1, savedClip.x2, savedClip.y2);
  RequestedDrawArea = savedRequest;
}

// Glyphs farther than this from the origin lie off every draw screen; skipping them keeps
// every position sum of a glyph within 32 bits whatever the origin and the char spacing.
constexpr int64_t kFarPixels = int64_t{1} << 28;

bool FarAway(int64_t v) { return v > kFarPixels || v < -kFarPixels; }

// Pen positions reported in pixels: truncated, held at the int32 range.
int32_t PenPixels(double pen) {
  return static_cast<int32_t>(std::clamp(pen, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

void Include(IntRect& ink, const IntRect& box) {
  if (ink.x1 >= ink.x2 || ink.y1 >= ink.y2) {
    ink = box;
    return;
  }
  ink = {std::min(ink.x1, box.x1), std::min(ink.y1, box.y1), std::max(ink.x2, box.x2), std::max(ink.y2, box.y2)};
}

// The walk over a string's glyphs; with `ink` it also gathers the box of every glyph that
// would be drawn (an empty rectangle when none), in the same coordinates as (x, y).
int WalkString(int32_t drawFlag, int32_t x, int32_t y, int32_t extend, double scaleX, double scaleY, const char* text,
               uint32_t colour, MEMIMG* target, const IntRect* clip, int32_t transparent, int32_t font,
               uint32_t edgeColour, int32_t byteCount, int32_t vertical, int32_t* size, IntRect* ink) {
  if (ink != nullptr) *ink = IntRect{0, 0, 0, 0};
  if (DrawSettings.DrawSettingsLock) return -1;
  FontRecord* f = FontRecordOfHandle(font);
  if (f == nullptr) return -1;
  if (!f->textureCache || !extend) {
    scaleX = scaleY = 1.0;
    extend = 0;
  }
  const double penScale = vertical ? scaleY : scaleX;
  const PreparedColour textColour = Prepare(colour);
  const PreparedColour edge = Prepare(edgeColour);
  if (text == nullptr || text[0] == '\0') {
    if (size != nullptr) size[0] = size[1] = 0;
    return 0;
  }
  const int32_t length = static_cast<int32_t>(std::strlen(text));
  if (byteCount == -1 || byteCount > length) byteCount = length;
  static std::array<GlyphUnit, 256> staticUnits;
  GlyphUnit* units = staticUnits.data();
  void* block = nullptr;
  if (byteCount > 256) {
    block = TrackedAlloc(byteCount * 3, __FILE__, __LINE__);
    if (block == nullptr) return -1;
    units = static_cast<GlyphUnit*>(block);
  }
  int32_t count = 0;
  StageStringGlyphs(byteCount, text, font, units, &count);
  GlyphPixelTarget pixelTarget{};
  if (drawFlag && target != nullptr) {
    pixelTarget = {target, clip != nullptr ? *clip : DrawSettings.ClipRect, GetScreenColourDepth(), f->typeFlags,
                   textColour.code, edge.code, transparent};
  }
  TextureDrawState saved{};
  const bool textureDraw = drawFlag && target == nullptr;
  const PreparedColour glyphText = GlyphColour(textColour), glyphEdge = GlyphColour(edge);
  if (textureDraw) saved.Save(f->edgeGraph != -1 && IsWhite(glyphText) != IsWhite(glyphEdge));
  double pen = 0.0;
  for (int32_t i = 0; i < count; ++i) {
    const GlyphUnit& u = units[i];
    const GlyphCell* cell = f->charMap[u.Code()].cell;
    if (f->charMap[u.Code()].cached == 0 || cell == nullptr) cell = RenderGlyphsToCache(font, 1, &u);
    if (cell == nullptr) {
      WriteLog("テキストキャッシュの作成に失敗しました");
      if (textureDraw) saved.Restore();
      if (block != nullptr) TrackedFree(block);
      return -1;
    }
    const int32_t p = PenPixels(pen);
    const bool inked = !IsBlank(u) && !(cell->boxWidth == 0 && cell->boxHeight == 0) && !FarAway(x) &&
                       !FarAway(y) && !FarAway(int64_t{vertical ? y : x} + p);
    if (inked && ink != nullptr)
      Include(*ink, GlyphBox(cell->xOffset, cell->yOffset, cell->boxWidth, cell->boxHeight, f->cellHeight, x, y, p,
                             vertical));
    if (drawFlag && inked) {
      if (target != nullptr) {
        const uint8_t* rows = f->memoryPixels + static_cast<size_t>(CellY(*f, cell->cellIndex)) * f->memoryPitch;
        DrawGlyphPixels(pixelTarget, rows, f->memoryPitch, cell->xOffset, cell->yOffset, cell->boxWidth,
                        cell->boxHeight, f->cellHeight, x, y, p, vertical);
      } else {
        DrawGlyphTexture(*f, *cell, TexturePen{x, y, pen, extend, scaleX, scaleY, vertical, transparent}, glyphText,
                         glyphEdge);
      }
    }
    pen += (static_cast<double>(cell->advance) + f->charSpacing) * penScale;
  }
  if (textureDraw) saved.Restore();
  const int32_t advance = PenPixels(pen);
  if (size != nullptr) {
    size[0] = vertical ? f->cellHeight : advance;
    size[1] = vertical ? advance : f->cellHeight;
  }
  if (block != nullptr) TrackedFree(block);
  return advance;
}

}  // namespace

int DrawTextThroughGlyphCache(int32_t drawFlag, int32_t x, int32_t y, int32_t extend, double scaleX,
                              double scaleY, const char* text, uint32_t colour, MEMIMG* target,
                              const IntRect* clip, int32_t transparent, int32_t font, uint32_t edgeColour,
                              int32_t byteCount, int32_t vertical, int32_t* size) {
  return WalkString(drawFlag, x, y, extend, scaleX, scaleY, text, colour, target, clip, transparent, font, edgeColour,
                    byteCount, vertical, size, nullptr);
}

namespace {

int DrawFontTextHardware(int32_t x, int32_t y, uint32_t colour, uint32_t edgeColour, int32_t vertical,
                         const char* text, int32_t font) {
  FontRecord* f = FontRecordOfHandle(font);
  if (f == nullptr || !f->textureCache) return 0;
  RebuildGlyphCacheScreen(font);
  const IntRect clip = DrawSettings.ClipRect;
  DrawTextThroughGlyphCache(1, x, y, 0, 1.0, 1.0, text, colour, nullptr, &clip, 1, font, edgeColour, -1, vertical,
                            nullptr);
  return 0;
}

int DrawFontTextSoftware(const char* text, uint32_t colour, int32_t font, uint32_t edgeColour, int32_t vertical,
                         int32_t x, int32_t y) {
  FontRecord* f = FontRecordOfHandle(font);
  if (f == nullptr) return -1;
  // A memory cache cannot be drawn on the Direct3D back end: there is no screen image.
  if (ScreenState.hardware || DrawScreenMemImg == nullptr || !IsValidMemImg(DrawScreenMemImg)) {
    WriteLog("Direct3D の画面にはメモリキャッシュのフォントを描画できません\n");
    return -1;
  }
  IntRect ink{};
  WalkString(0, x, y, 0, 1.0, 1.0, text, colour, nullptr, nullptr, 1, font, edgeColour, -1, vertical, nullptr, &ink);
  const bool aa = (f->typeFlags & FontTypeAntiAlias) != 0;
  const int32_t mode = DrawSettings.BlendMode;
  if (!aa && (mode == BlendCopy || (mode == BlendAlpha && DrawSettings.BlendParam == 255))) {
    const IntRect clip = DrawSettings.ClipRect;
    DrawTextThroughGlyphCache(1, x, y, 0, 1.0, 1.0, text, colour, DrawScreenMemImg, &clip, 1, font, edgeColour, -1,
                              vertical, nullptr);
    return 0;
  }
  MEMIMG* work = aa ? &FontWorkAlphaMemImg : &FontWorkMemImg;
  if (!IsValidMemImg(work)) return -1;
  // Only the ink of the string, its glyph boxes (italic overhangs, edges, glyphs that a
  // negative char spacing puts before the origin) cut to the clip rectangle, goes through
  // the screen-sized work image.
  const IntRect savedClip = DrawSettings.ClipRect;
  const uint32_t savedBright = DrawSettings.BrightColour;
  IntRect dest = ink;
  ClipRectangle(dest, savedClip);
  if (dest.x1 >= dest.x2 || dest.y1 >= dest.y2) return 0;
  IntRect area{0, 0, dest.x2 - dest.x1, dest.y2 - dest.y1};
  ClipRectangle(area, IntRect{0, 0, work->width, work->height});
  if (area.x2 <= 0 || area.y2 <= 0) return 0;
  SetClip(area);
  uint32_t key = 0;
  if (!aa) {
    const uint32_t mask = work->base->format != nullptr
                              ? (work->base->format->redMask | work->base->format->greenMask |
                                 work->base->format->blueMask)
                              : 0xFFFFFFFFu;
    key = NextTransparentColour(work->base->transparentColour, Prepare(colour).code, Prepare(edgeColour).code, mask);
    work->base->transparentColour = key;
  }
  ClearMemImg(work, &area, key);
  DrawTextThroughGlyphCache(1, x - dest.x1, y - dest.y1, 0, 1.0, 1.0, text, colour, work, &area, 1, font, edgeColour,
                            -1, vertical, nullptr);
  DrawSettings.BrightColour = 0xFFFFFF;
  SoftDraw.BrightColour = 0xFFFFFF;
  dest.x2 = dest.x1 + area.x2;
  dest.y2 = dest.y1 + area.y2;
  SetClip(dest);
  MEMIMG view{};
  MakeMemImgView(&view, work, 0, 0, area.x2, area.y2);
  MemImgBlit(DrawScreenMemImg, IsValidMemImg(&view) ? &view : work, dest.x1, dest.y1, 1, BlendImage);
  if (IsValidMemImg(&view)) ReleaseMemImg(&view);
  SetClip(savedClip);
  DrawSettings.BrightColour = savedBright;
  SoftDraw.BrightColour = savedBright;
  return 0;
}

}  // namespace

int DrawTextWithFont(int32_t x, int32_t y, const char* text, uint32_t colour, int32_t font, uint32_t edgeColour,
                     int32_t vertical) {
  if (text == nullptr || text[0] == '\0' || DrawSettings.DrawSettingsLock || DrawSettings.ClipRectEmpty) return 0;
  if (!IsLiveFontHandle(font)) {
    WriteLog("フォントハンドル値が異常です\n");
    return -1;
  }
  const bool texture = FontRecordOfHandle(font)->textureCache != 0;
  if (WindowActiveFlag == 0) WaitWhileInactive();
  IntRect r{0, 0, 0, 0};
  if (AffectedRectNeeded(texture)) {
    r = {x, y, vertical ? x + QueryFontSize(font) + 3 : DrawSettings.ClipRect.x2,
         vertical ? DrawSettings.ClipRect.y2 : y + QueryFontSize(font) + 3};
    if (r.x1 >= DrawSettings.ClipRect.x2) return 0;
    DrawFrontSeams.lastAffected = r;
  }
  // While masking, the text goes to the mask screen like any other drawing and comes back
  // through the mask; without the two hooks it would never reach the draw screen. Glyphs
  // from a texture cache are drawn through the graph front ends, which mask each glyph.
  return RunDrawPass(
      texture, DrawSettings.maskActive != 0 && !texture, r,
      [&] { return DrawFontTextHardware(x, y, colour, edgeColour, vertical, text, font); },
      [&] { return DrawFontTextSoftware(text, colour, font, edgeColour, vertical, x, y); });
}

int DrawTextDefaultFont(int32_t x, int32_t y, const char* text, uint32_t colour, uint32_t edgeColour) {
  SyncDefaultFont();
  return DrawTextWithFont(x, y, text, colour, QueryDefaultFont(), edgeColour, 0);
}

}  // namespace quelt
