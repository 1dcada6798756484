#include <windows.h>

#include <algorithm>
#include <cstring>

#include "core/core_state.h"
#include "core/fatal_exit.h"
#include "core/log.h"
#include "core/sjis_string.h"
#include "core/tracked_alloc.h"
#include "font/font_table.h"
#include "font/glyph_cache_write.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_table.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "image/image_ops.h"

namespace quelt {

FontTableRecord FontTable{};

namespace {

constexpr const char* kDefaultFace = "ＭＳ ゴシック";
constexpr std::array<int32_t, 3> kCharsets{DEFAULT_CHARSET, SHIFTJIS_CHARSET, HANGUL_CHARSET};

FontHandleTable& Table() { return FontTable.table; }

int32_t CharsetOf(int32_t index) {
  return kCharsets[static_cast<size_t>(std::clamp(index, 0, 2))];
}

HFONT MakeGdiFont(const char* face, int32_t size, int32_t thickness, int32_t italic, int32_t charset) {
  return CreateFontA(size, 0, 0, 0, thickness * 100, italic, FALSE, FALSE, static_cast<DWORD>(charset),
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

int32_t Undo(int32_t slot, FontRecord* record) {
  record->checkId = 0;
  ReleaseFontHandle(slot | 0x20000000);
  return -1;
}

bool IsBlankUnit(const GlyphUnit& u) {
  return (u.first == 0x20 && u.second == 0) || (u.first == 0x81 && u.second == 0x40);
}

}  // namespace

FontRecord* FontRecordOfHandle(int32_t handle) { return Table().Find(handle); }
int IsLiveFontHandle(int32_t handle) { return FontRecordOfHandle(handle) != nullptr ? 1 : 0; }

int QueryFontSize(int32_t handle) {
  const FontRecord* f = FontRecordOfHandle(handle);
  return f != nullptr ? f->size : -1;
}

int QueryFontHandleInfo(char* face, int32_t* size, int32_t* thickness, int32_t handle) {
  const FontRecord* f = FontRecordOfHandle(handle);
  if (f == nullptr) return -1;
  if (face != nullptr) std::strcpy(face, f->faceName);
  if (size != nullptr) *size = f->size;
  if (thickness != nullptr) *thickness = f->thickness;
  return 0;
}

int32_t QueryDefaultFont() { return FontTable.defaults.handle; }

int SetFontCharSpacing(int32_t spacing, int32_t handle) {
  FontRecord* f = FontRecordOfHandle(handle);
  if (f == nullptr) return -1;
  f->charSpacing = spacing;
  return 0;
}

int WatchFontRelease(int32_t handle, int32_t* flag) {
  FontRecord* f = FontRecordOfHandle(handle);
  if (f == nullptr) return -1;
  f->watcher = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

int ClearGlyphCache(int32_t handle) {
  FontRecord* f = FontRecordOfHandle(handle);
  if (f == nullptr) return -1;
  std::memset(f->charMap.data(), 0, sizeof(f->charMap));
  std::memset(f->cells.data(), 0, sizeof(f->cells));
  for (int32_t i = 0; i < f->cellCount; ++i) f->cells[static_cast<size_t>(i)].cellIndex = i;
  f->cells[static_cast<size_t>(f->cellCount)].cellIndex = -1;
  f->nextCell = 0;
  return 0;
}

int RebuildGlyphCacheScreen(int32_t handle) {
  FontRecord* f = FontRecordOfHandle(handle);
  if (f == nullptr) return -1;
  if (f->rebuildFlag != 1) return 0;
  f->rebuildFlag = 0;
  const int32_t savedAlpha = DrawSettings.newGraphAlpha, savedDepth = DrawSettings.newGraphDepth,
                savedTest = DrawSettings.newGraphAlphaTest;
  const bool edge = (f->typeFlags & FontTypeEdge) != 0;
  const bool aa = (f->typeFlags & FontTypeAntiAlias) != 0;
  DrawSettings.newGraphAlpha = aa ? 1 : 0;
  DrawSettings.newGraphAlphaTest = aa ? 0 : 1;
  DrawSettings.newGraphDepth = 16;
  f->cacheGraph = CreateBlankGraph(edge ? f->cacheWidth * 2 : f->cacheWidth, f->cacheHeight);
  f->edgeGraph = -1;
  if (f->cacheGraph != -1 && edge)
    f->edgeGraph = CreateSubGraph(f->cacheWidth, 0, f->cacheWidth, f->cacheHeight, f->cacheGraph);
  DrawSettings.newGraphAlpha = savedAlpha;
  DrawSettings.newGraphDepth = savedDepth;
  DrawSettings.newGraphAlphaTest = savedTest;
  if (f->cacheGraph == -1) return -1;
  LinkGraphDeletedFlag(f->cacheGraph, &f->rebuildFlag);
  FillGraphColour(f->cacheGraph, 255, 255, 255, 0);
  ClearGlyphCache(handle);
  return 0;
}

int32_t CreateFontToHandle(const char* face, int32_t size, int32_t thickness, int32_t typeFlags,
                           int32_t charsetIndex, int32_t edgeSize, int32_t italic, int32_t slot,
                           int32_t checkId) {
  if (WindowDestroyedFlag == 1) return -1;
  const FontCreateSettings settings = ApplyFontCreateDefaults(size, thickness, typeFlags, edgeSize);
  size = settings.size;
  thickness = settings.thickness;
  typeFlags = settings.typeFlags;
  edgeSize = settings.edgeSize;
  if (charsetIndex == -1) charsetIndex = GetOEMCP() == 949 ? 2 : 1;
  if (slot == -1) {
    if (Table().IsFull()) {
      WriteLogFormat("作成できるフォントハンドル数 %d の限界を超えました", FontTableCapacity);
      return -1;
    }
  } else if (slot < 0 || slot >= FontTableCapacity || Table().records[static_cast<size_t>(slot)] != nullptr) {
    return -1;
  }
  HandleAlloc<FontRecord> alloc{};
  if (slot == -1 && checkId == -1) {
    alloc = Table().Allocate(__FILE__, __LINE__);
  } else {
    int32_t s = slot;
    if (s == -1)
      for (s = 0; s < FontTableCapacity && Table().records[static_cast<size_t>(s)] != nullptr; ++s) {
      }
    int32_t id = checkId;
    if (id == -1) {
      id = Table().nextCheckId;
      Table().nextCheckId = NextCheckId(id);
    }
    alloc = Table().AllocateAt(MakeEngineHandle(s, id & MaxCheckId, HandleKind::Font), __FILE__, __LINE__);
  }
  if (alloc.record == nullptr) {
    WriteLog("フォント管理用メモリ領域の確保に失敗しました\n");
    return -1;
  }
  FontRecord& f = *alloc.record;
  const int32_t s = HandleSlot(alloc.handle);
  f.cacheGraph = -1;
  f.edgeGraph = -1;
  if (GetScreenColourDepth() == 8) typeFlags &= ~static_cast<int32_t>(FontTypeAntiAlias);
  f.thickness = thickness;
  f.typeFlags = static_cast<uint32_t>(typeFlags);
  f.size = size;
  f.edgeSize = edgeSize;
  f.italic = italic;
  f.charSpacing = 0;
  f.textureCache = ScreenState.hardware;
  const bool named = face != nullptr && face[0] != '\0';
  if (named) {
    std::strncpy(f.faceName, face, sizeof(f.faceName) - 1);
  }
  HFONT font = nullptr;
  if (named) {
    font = MakeGdiFont(face, size, thickness, italic, CharsetOf(charsetIndex));
    if (font == nullptr) font = MakeGdiFont(face, size, thickness, italic, DEFAULT_CHARSET);
    if (font == nullptr) font = MakeGdiFont(face, size, thickness, italic, SHIFTJIS_CHARSET);
    if (font == nullptr) WriteLog("指定のフォントの作成に失敗しました\n");
  } else {
    font = MakeGdiFont(kDefaultFace, size, thickness, italic, CharsetOf(charsetIndex));
    if (font == nullptr) font = MakeGdiFont(kDefaultFace, size, thickness, 0, DEFAULT_CHARSET);
    if (font == nullptr) font = MakeGdiFont(nullptr, size, thickness, 0, DEFAULT_CHARSET);
    if (font == nullptr) WriteLog("フォントの作成に失敗しました\n");
  }
  if (font == nullptr) return Undo(s, &f);
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    WriteLog("ＤＣの取得に失敗しました\n");
    DeleteObject(font);
    return Undo(s, &f);
  }
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  const GlyphCellSize cs = ComputeGlyphCellSize(tm.tmMaxCharWidth, tm.tmHeight, f.typeFlags, edgeSize);
  f.cellHeight = cs.cellHeight;
  f.cellSide = cs.side;
  SelectObject(dc, old);
  DeleteDC(dc);
  f.gdiFont = font;
  const bool edge = (f.typeFlags & FontTypeEdge) != 0;
  const bool aa = (f.typeFlags & FontTypeAntiAlias) != 0;
  if (f.textureCache) {
    const TextureCacheLayout t = ComputeTextureCacheLayout(f.cellSide, FontTable.glyphCellSetting);
    f.cacheWidth = t.width;
    f.cacheHeight = t.height;
    f.cellCount = t.cellCount;
    f.cellsPerColumn = t.height / f.cellSide;
    f.rebuildFlag = 1;
    const ColorFormat* format = ChooseGraphTextureFormat(aa ? 1 : 0, aa ? 0 : 1, 0, 0);
    // A work image too large for the allocator is refused before its graph is made.
    const int64_t workBytes =
        format != nullptr ? GlyphWorkImageBytes(t.width, t.height, edge, format->bytesPerPixel) : 0;
    if (format != nullptr && !IsAllocatableGlyphBlock(workBytes)) {
      WriteLog("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
      return Undo(s, &f);
    }
    if (RebuildGlyphCacheScreen(alloc.handle) < 0) {
      WriteLog("テクスチャ文字キャッシュの作成に失敗しました\n");
      f.textureCache = 0;
    } else {
      RasterImage& w = f.workImage;
      if (format != nullptr) w.format = *format;
      w.width = edge ? f.cacheWidth * 2 : f.cacheWidth;
      w.height = f.cacheHeight;
      w.pitch = w.format.bytesPerPixel * w.width;
      w.pixels = format != nullptr
                     ? static_cast<uint8_t*>(TrackedCalloc(static_cast<int32_t>(workBytes), __FILE__, __LINE__))
                     : nullptr;
      if (w.pixels == nullptr) {
        WriteLog("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
        return Undo(s, &f);
      }
    }
  }
  if (!f.textureCache) {
    const MemoryCacheLayout m = ComputeMemoryCacheLayout(f.cellSide, f.typeFlags, FontTable.glyphCellSetting);
    f.memoryBits = m.bits;
    f.cellCount = m.cellCount;
    f.cacheWidth = m.width;
    f.cacheHeight = m.height;
    f.cellsPerColumn = m.cellCount;
    f.memoryPitch = m.pitch;
    f.memoryPixels = IsAllocatableGlyphBlock(m.bytes)
                         ? static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(m.bytes), __FILE__, __LINE__))
                         : nullptr;
    if (f.memoryPixels == nullptr) {
      WriteLog("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
      return Undo(s, &f);
    }
  }
  ClearGlyphCache(alloc.handle);
  f.charsetIndex = charsetIndex;
  f.watcher = nullptr;
  return alloc.handle;
}

int ReleaseFontHandle(int32_t handle) {
  FontRecord* f = FontRecordOfHandle(handle);
  if (f == nullptr) return -1;
  if (f->gdiFont != nullptr) DeleteObject(static_cast<HFONT>(f->gdiFont));
  if (f->memoryPixels != nullptr) TrackedFree(f->memoryPixels);
  if (IsGraphHandleValid(f->cacheGraph)) {
    if (f->edgeGraph != -1) ReleaseGraphHandle(f->edgeGraph);
    ReleaseGraphHandle(f->cacheGraph);
  }
  f->cacheGraph = f->edgeGraph = -1;
  if (f->workImage.pixels != nullptr) TrackedFree(f->workImage.pixels);
  if (f->watcher != nullptr) *f->watcher = 1;
  if (FontTable.defaults.handle == handle) FontTable.defaults.handle = -1;
  return Table().Release(handle);
}

GlyphCell* RenderGlyphsToCache(int32_t handle, int32_t count, const GlyphUnit* units) {
  if (DrawSettings.DrawSettingsLock) return nullptr;
  FontRecord* f = FontRecordOfHandle(handle);
  if (f == nullptr || units == nullptr || count <= 0) return nullptr;
  // Queued glyph quads may still read cells about to be overwritten.
  if (f->textureCache) FlushVertexBatch();
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = dc != nullptr ? SelectObject(dc, static_cast<HFONT>(f->gdiFont)) : nullptr;
  if (dc == nullptr || old == nullptr) FatalExit("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  const int32_t e = (f->typeFlags & FontTypeEdge) ? f->edgeSize : 0;
  const bool gray = (f->typeFlags & FontTypeAntiAlias) != 0;
  const UINT format = gray ? GGO_GRAY4_BITMAP : GGO_BITMAP;
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  GlyphCell* last = nullptr;
  // The work-image area this call wrote, copied to the cache graph once at the end: one
  // texture update per call instead of one per glyph.
  PixelRect dirty{f->cacheWidth, f->cacheHeight, 0, 0};
  for (int32_t i = 0; i < count; ++i) {
    const GlyphUnit& u = units[i];
    GlyphCell& cell = f->cells[static_cast<size_t>(f->nextCell)];
    if (cell.inUse && cell.mapEntry != nullptr) *cell.mapEntry = CharMapEntry{0, nullptr};
    cell.inUse = 0;
    CharMapEntry& entry = f->charMap[u.Code()];
    entry = {1, &cell};
    cell.mapEntry = &entry;
    cell.inUse = 1;
    const int32_t side = f->cellSide;
    const int32_t cx = CellX(*f, cell.cellIndex), cy = CellY(*f, cell.cellIndex);
    if (f->textureCache) {
      ZeroImageRect(&f->workImage, cx, cy, side, side);
      if (e) ZeroImageRect(&f->workImage, f->cacheWidth + cx, cy, side, side);
    } else {
      std::memset(f->memoryPixels + static_cast<size_t>(cy) * f->memoryPitch, 0,
                  static_cast<size_t>(side) * f->memoryPitch);
    }
    const UINT code = u.second != 0 ? static_cast<UINT>(u.first << 8 | u.second) : u.first;
    GLYPHMETRICS gm{};
    const DWORD bytes = GetGlyphOutlineA(dc, code, format, &gm, 0, nullptr, &identity);
    if (bytes == GDI_ERROR) FatalExit("GetGlyphOutline 関数が失敗しました");
    cell.advance = static_cast<int16_t>(gm.gmCellIncX);
    // A glyph with an empty bitmap draws nothing, like a space.
    if (IsBlankUnit(u) || bytes == 0 || gm.gmBlackBoxY == 0) {
      cell.boxWidth = cell.boxHeight = 0;
      cell.xOffset = cell.yOffset = 0;
    } else {
      const int32_t rowBytes = static_cast<int32_t>(bytes / gm.gmBlackBoxY) / 4 * 4;
      const int64_t bufferBytes = int64_t{bytes} + 2 * int64_t{rowBytes};
      auto* buffer =
          IsAllocatableGlyphBlock(bufferBytes)
              ? static_cast<uint8_t*>(TrackedCalloc(static_cast<int32_t>(bufferBytes), __FILE__, __LINE__))
              : nullptr;
      if (buffer == nullptr) FatalExit("アンチエイリアス文字取得用バッファの確保に失敗しました");
      if (GetGlyphOutlineA(dc, code, format, &gm, bytes, buffer + rowBytes, &identity) == GDI_ERROR)
        FatalExit("GetGlyphOutline 関数が失敗しました");
      cell.xOffset = static_cast<int16_t>(gm.gmptGlyphOrigin.x);
      cell.yOffset = static_cast<int16_t>(tm.tmAscent - gm.gmptGlyphOrigin.y);
      cell.boxWidth = static_cast<int16_t>(std::min<int32_t>(gm.gmBlackBoxX, side - 2 * e));
      cell.boxHeight = static_cast<int16_t>(std::min<int32_t>(gm.gmBlackBoxY, side - 2 * e));
      WriteGlyphToCache(*f, cell.cellIndex, buffer + rowBytes, rowBytes, static_cast<int32_t>(gm.gmBlackBoxX),
                 static_cast<int32_t>(gm.gmBlackBoxY), gray, e);
      TrackedFree(buffer);
    }
    if (f->textureCache) {
      // Without an edge the whole cell goes to the graph, with one the box in both halves.
      const int32_t bw = e == 0 ? side : std::min(cell.boxWidth + 2 * e, side);
      const int32_t bh = e == 0 ? side : std::min(cell.boxHeight + 2 * e, side);
      dirty.left = std::min(dirty.left, cx);
      dirty.top = std::min(dirty.top, cy);
      dirty.right = std::max(dirty.right, cx + bw);
      dirty.bottom = std::max(dirty.bottom, cy + bh);
    }
    if (e) {
      cell.advance = static_cast<int16_t>(cell.advance + 2 * e);
      cell.boxWidth = static_cast<int16_t>(cell.boxWidth + 2 * e);
      cell.boxHeight = static_cast<int16_t>(cell.boxHeight + 2 * e);
    }
    f->nextCell = f->nextCell + 1 >= f->cellCount ? 0 : f->nextCell + 1;
    last = &cell;
  }
  if (f->textureCache && dirty.left < dirty.right && dirty.top < dirty.bottom) {
    TransferImageToGraph(nullptr, nullptr, nullptr, nullptr, 0, &f->workImage, nullptr, &dirty, dirty.left, dirty.top,
                         f->cacheGraph, 0);
    if (e != 0) {
      const PixelRect right{f->cacheWidth + dirty.left, dirty.top, f->cacheWidth + dirty.right, dirty.bottom};
      TransferImageToGraph(nullptr, nullptr, nullptr, nullptr, 0, &f->workImage, nullptr, &right, right.left, right.top,
                           f->cacheGraph, 0);
    }
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return last;
}

int StageStringGlyphs(int32_t maxBytes, const char* text, int32_t handle, GlyphUnit* units, int32_t* unitCount) {
  FontRecord* f = FontRecordOfHandle(handle);
  if (f == nullptr || text == nullptr) return -1;
  int32_t length = lstrlenA(text);
  if (maxBytes != -1 && maxBytes < length) length = maxBytes;
  static std::array<GlyphUnit, 256> staticUnits;
  static std::array<GlyphUnit, 256> staticNew;
  GlyphUnit* all = staticUnits.data();
  GlyphUnit* fresh = staticNew.data();
  void* block = nullptr;
  if (length > 256) {
    block = TrackedAlloc(length * 8, __FILE__, __LINE__);
    if (block == nullptr) return -1;
    all = static_cast<GlyphUnit*>(block);
    fresh = all + length;
  }
  const int32_t mode = f->charsetIndex == 2 ? 2 : 0;
  int32_t count = 0, freshCount = 0;
  for (int32_t i = 0; i < length;) {
    GlyphUnit u{static_cast<uint8_t>(text[i]), 0, 0};
    if (IsLeadByte(text + i, mode) && i + 1 < length) {
      u.second = static_cast<uint8_t>(text[i + 1]);
      i += 2;
    } else {
      i += 1;
    }
    all[count++] = u;
    CharMapEntry& entry = f->charMap[u.Code()];
    if (entry.cached == 0 && freshCount < f->cellCount) {
      entry.cached = 1;
      fresh[freshCount++] = u;
    }
  }
  for (int32_t i = 0; i < freshCount; ++i) f->charMap[fresh[i].Code()].cached = 0;
  if (freshCount > 0) RenderGlyphsToCache(handle, freshCount, fresh);
  if (units != nullptr) std::memcpy(units, all, static_cast<size_t>(count) * sizeof(GlyphUnit));
  if (unitCount != nullptr) *unitCount = count;
  if (block != nullptr) TrackedFree(block);
  return 0;
}

int RebuildFontTable() {
  WriteLog("フォントの初期化を行います\n");
  IncreaseLogIndent();
  DefaultFontSettingsRecord old{};
  char oldFace[256] = "";
  const FontRecord* d = FontRecordOfHandle(FontTable.defaults.handle);
  if (d != nullptr) {
    std::memcpy(oldFace, d->faceName, sizeof(oldFace));
    old.thickness = d->thickness;
    old.typeFlags = d->typeFlags;
    old.size = d->size;
    old.edgeSize = d->edgeSize;
    old.charsetIndex = d->charsetIndex;
    old.italic = d->italic;
  }
  const bool hadDefault = d != nullptr;
  Table().ForEachLive([](int32_t h) { ReleaseFontHandle(h); });
  if (hadDefault)
    FontTable.defaults.handle = CreateFontToHandle(oldFace, old.size, old.thickness,
                                                   static_cast<int32_t>(old.typeFlags), old.charsetIndex,
                                                   old.edgeSize, old.italic, -1, -1);
  else
    FontTable.defaults.handle = CreateFontToHandle("", 16, 6, -1, -1, -1, 0, -1, -1);
  DecreaseLogIndent();
  WriteLog("フォントの初期化は正常に終了しました\n");
  return 0;
}

int StartFontSystem() {
  Table().Reset();
  FontTable.glyphCellSetting = 0;
  FontTable.defaults = DefaultFontSettingsRecord{};
  FontTable.defaults.handle = -1;
  FontTable.defaults.size = 16;
  FontTable.defaults.thickness = 6;
  FontTable.defaults.typeFlags = 0;
  FontTable.defaults.charsetIndex = 1;
  FontTable.defaults.edgeSize = 1;
  return RebuildFontTable();
}

int EndFontSystem() {
  RebuildFontTable();
  ReleaseFontHandle(FontTable.defaults.handle);
  FontTable.defaults.handle = -1;
  return 0;
}

int SyncDefaultFont() {
  const DefaultFontSettingsRecord& s = FontTable.defaults;
  const FontRecord* d = FontRecordOfHandle(s.handle);
  if (d != nullptr && std::strcmp(d->faceName, s.faceName) == 0 && d->typeFlags == s.typeFlags &&
      d->size == s.size && d->thickness == s.thickness && d->charsetIndex == s.charsetIndex &&
      d->edgeSize == s.edgeSize && d->italic == s.italic)
    return 0;
  ReleaseFontHandle(s.handle);
  FontTable.defaults.handle =
      CreateFontToHandle(s.faceName, s.size, s.thickness, static_cast<int32_t>(s.typeFlags), s.charsetIndex,
                         (s.typeFlags & FontTypeEdge) ? s.edgeSize : -1, s.italic, -1, -1);
  SetFontCharSpacing(s.charSpacing, FontTable.defaults.handle);
  return 0;
}

int ChooseDefaultFontMetrics(const char* /*face*/, int32_t size, int32_t thickness) {
  FontTable.defaults.size = size == -1 ? 16 : size;
  FontTable.defaults.thickness = thickness == -1 ? 6 : thickness;
  return SyncDefaultFont();
}

int RecreateAllFonts() {
  for (int32_t slot = 0; slot < FontTableCapacity; ++slot) {
    FontRecord* f = Table().records[static_cast<size_t>(slot)];
    if (f == nullptr) continue;
    char face[256];
    std::memcpy(face, f->faceName, sizeof(face));
    const int32_t id = f->checkId, type = static_cast<int32_t>(f->typeFlags), charset = f->charsetIndex,
                  size = f->size, thickness = f->thickness, edge = f->edgeSize, italic = f->italic,
                  spacing = f->charSpacing;
    const int32_t handle = MakeEngineHandle(slot, id, HandleKind::Font);
    const bool wasDefault = FontTable.defaults.handle == handle;
    // The handle lives on, so its watcher is not told of a release: it stays attached to the
    // new record and hears only of a font that could not be made again.
    int32_t* watcher = f->watcher;
    f->watcher = nullptr;
    ReleaseFontHandle(handle);
    const int32_t again = CreateFontToHandle(face, size, thickness, type, charset, edge, italic, slot, id);
    SetFontCharSpacing(spacing, again);
    if (FontRecord* made = FontRecordOfHandle(again); made != nullptr)
      made->watcher = watcher;
    else if (watcher != nullptr)
      *watcher = 1;
    if (wasDefault) FontTable.defaults.handle = again;
  }
  return 0;
}

}  // namespace quelt
