#pragma once
// Font handles (kind 4): one GDI font each with a private glyph cache, a 16-bit alpha
// texture graph on Direct3D or a memory block on the software renderer; the default font
// of the simple text entries.
#include <array>
#include <cstdint>

#include "core/engine_handle.h"
#include "font/glyph_layout.h"
#include "image/raster_image.h"

namespace quelt {

inline constexpr int32_t FontTableCapacity = 40;

struct GlyphCell;
struct CharMapEntry {
  int32_t cached;
  GlyphCell* cell;
};

struct GlyphCell {
  uint16_t inUse;
  int16_t xOffset;  // glyph origin x
  int16_t yOffset;  // ascent - glyph origin y
  int16_t advance;
  int32_t cellIndex;
  int16_t boxWidth, boxHeight;
  CharMapEntry* mapEntry;
};

// First byte, second byte (0 for a single-byte character), 0.
struct GlyphUnit {
  uint8_t first, second, zero;
  uint16_t Code() const { return static_cast<uint16_t>(first | second << 8); }
};
static_assert(sizeof(GlyphUnit) == 3);

struct FontRecord {
  int32_t checkId;
  int32_t* watcher;
  std::array<GlyphCell, GlyphCellCapacity> cells;
  std::array<CharMapEntry, 65536> charMap;
  int32_t nextCell;
  int32_t cellCount;
  uint8_t* memoryPixels;
  int32_t memoryPitch;
  int32_t memoryBits;
  char faceName[256];
  int32_t thickness;
  int32_t size;
  int32_t cellHeight;
  int32_t italic;
  int32_t charSpacing;
  int32_t cellSide;
  void* gdiFont;  // HFONT
  uint32_t typeFlags;
  int32_t charsetIndex;
  int32_t edgeSize;
  int32_t cacheWidth, cacheHeight;
  int32_t cellsPerColumn;
  int32_t cacheGraph;
  int32_t edgeGraph;
  int32_t rebuildFlag;
  RasterImage workImage;
  int32_t textureCache;
};

struct DefaultFontSettingsRecord {
  int32_t handle;
  char faceName[128];
  int32_t size, thickness;
  uint32_t typeFlags;
  int32_t charsetIndex, edgeSize, italic, charSpacing;
};

using FontHandleTable =
    HandleTable<FontRecord, FontTableCapacity, HandleKind::Font, SlotChoice::FirstEmpty, &FontRecord::checkId>;

struct FontTableRecord {
  FontHandleTable table;
  int32_t glyphCellSetting;  // 0 = automatic
  DefaultFontSettingsRecord defaults;
};
extern FontTableRecord FontTable;

// Cell i of the cache: x = (i / cells per column) x side, y = (i % cells per column) x side.
inline int32_t CellX(const FontRecord& f, int32_t i) { return (i / f.cellsPerColumn) * f.cellSide; }
inline int32_t CellY(const FontRecord& f, int32_t i) { return (i % f.cellsPerColumn) * f.cellSide; }

int32_t CreateFontToHandle(const char* face, int32_t size, int32_t thickness, int32_t typeFlags,
                           int32_t charsetIndex, int32_t edgeSize, int32_t italic, int32_t slot,
                           int32_t checkId);
int ReleaseFontHandle(int32_t handle);
FontRecord* FontRecordOfHandle(int32_t handle);
int IsLiveFontHandle(int32_t handle);
int QueryFontSize(int32_t handle);
int QueryFontHandleInfo(char* face, int32_t* size, int32_t* thickness, int32_t handle);
int32_t QueryDefaultFont();
int SetFontCharSpacing(int32_t spacing, int32_t handle);
int WatchFontRelease(int32_t handle, int32_t* flag);
int ClearGlyphCache(int32_t handle);
int RebuildGlyphCacheScreen(int32_t handle);
int StageStringGlyphs(int32_t maxBytes, const char* text, int32_t handle, GlyphUnit* units,
                      int32_t* unitCount);
GlyphCell* RenderGlyphsToCache(int32_t handle, int32_t count, const GlyphUnit* units);
int StartFontSystem();
int EndFontSystem();
int RebuildFontTable();
int SyncDefaultFont();
int RecreateAllFonts();
int ChooseDefaultFontMetrics(const char* face, int32_t size, int32_t thickness);

// String drawing.
int DrawTextWithFont(int32_t x, int32_t y, const char* text, uint32_t colour, int32_t font,
                     uint32_t edgeColour, int32_t vertical);
int DrawTextDefaultFont(int32_t x, int32_t y, const char* text, uint32_t colour, uint32_t edgeColour);
// Draw flag 0 measures: the pen advance, and {width, height} into size when given.
int DrawTextThroughGlyphCache(int32_t drawFlag, int32_t x, int32_t y, int32_t extend, double scaleX,
                              double scaleY, const char* text, uint32_t colour, struct MEMIMG* target,
                              const struct IntRect* clip, int32_t transparent, int32_t font,
                              uint32_t edgeColour, int32_t byteCount, int32_t vertical, int32_t* size);

}  // namespace quelt
