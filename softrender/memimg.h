#pragma once
// Memory images: the surfaces of the software renderer. A MEMIMG points into a
// reference-counted pixel store (MemImgBase) shared by an image and all its views.
// Also the blend lookup tables read by the fills and every software blitter.
#include <cstddef>
#include <cstdint>

namespace quelt {

struct ColorFormat;  // image/color_format.h
struct RasterImage;  // image/color_format.h

inline constexpr uint32_t kMemImgMagic = 0x12345678;

// Colour types of a MemImgBase.
enum MemImgColorType : uint32_t {
  MemImgRgb565 = 0,  // 2 bytes; with the alpha flag 4 bytes: R5G6B5 in bytes 0-1, alpha in byte 2
  MemImgXrgb32 = 1,  // 4 bytes B, G, R, X (A with the alpha flag)
  MemImgByte = 2,    // 1 byte per pixel: the blend image kind
  MemImgWord = 3,    // 2 bytes per pixel
};

// One per pixel store; allocated zeroed. Field order and 32-bit sizes are fixed.
struct MemImgBase {
  int32_t refCount;                // 1 at creation, +1 per view; freed at 0
  int32_t width;
  int32_t height;
  int32_t pitch;                   // bytes from one row to the next
  int32_t pitchLog2;               // exponent when the pitch is a power of two, else -1
  const ColorFormat* format;       // shared, from GetMemImgColorFormat
  uint32_t transparentColour;      // raw pixel value, or palette index
  uint32_t colourType;             // MemImgColorType
  int32_t paletteFlag;             // 1: pixels are one-byte palette indices
  int32_t paletteCount;            // entries in use
  int32_t alphaFlag;               // 1: pixels carry an alpha byte
  int32_t premultipliedValid;
  int32_t runTableValid;
  int32_t pixelsBorrowed;          // 1: the caller owns the pixel block
  uint8_t* palette;                // 2048-byte block (palette images only), entries in pixel format
  uint8_t* paletteCopy;            // palette + 1024
  uint8_t* pixels;                 // pitch x height bytes
  uint8_t* premultiplied;          // pitch x height bytes, or null
  uint8_t* runTable;               // (width + 5) x height bytes, or null
};

// The image record embedded by its owner. Field order and 32-bit sizes are fixed.
struct MEMIMG {
  uint32_t magic;          // kMemImgMagic while valid, 0 after release
  int32_t width;
  int32_t height;
  uint8_t* pixels;         // top-left pixel of this record (a view points further in)
  uint8_t* premultiplied;  // same position in the premultiplied copy, or null
  MemImgBase* base;
};

// The 32-bit layouts that the engine's callers rely on (checked in the 32-bit product build).
static_assert(sizeof(void*) != 4 || sizeof(MEMIMG) == 24);
static_assert(sizeof(void*) != 4 || (offsetof(MEMIMG, pixels) == 12 && offsetof(MEMIMG, base) == 20));
static_assert(sizeof(void*) != 4 || sizeof(MemImgBase) == 76);
static_assert(sizeof(void*) != 4 ||
              (offsetof(MemImgBase, format) == 20 && offsetof(MemImgBase, colourType) == 28));
static_assert(sizeof(void*) != 4 ||
              (offsetof(MemImgBase, palette) == 56 && offsetof(MemImgBase, pixels) == 64));

// Run table bytes: kind << 6 | (length - 1), rows ended by kRunRowEnd.
enum RunKind : uint8_t { RunTransparent = 0, RunOpaque = 1, RunTranslucent = 2 };
inline constexpr uint8_t kRunRowEnd = 0xC0;

// To be called before the pixels of img change other than through a whole-image transfer:
// its store's run table and premultiplied copy no longer describe them.
inline void MarkMemImgChanged(MEMIMG* img) {
  if (img != nullptr && img->base != nullptr) {
    img->base->runTableValid = 0;
    img->base->premultipliedValid = 0;
  }
}

// Bytes per pixel of a store, as its ColorFormat states it.
inline int32_t MemImgBytesPerPixel(const MemImgBase& base) {
  if (base.paletteFlag) return 1;
  switch (base.colourType) {
    case MemImgRgb565: return base.alphaFlag ? 4 : 2;
    case MemImgXrgb32: return 4;
    case MemImgByte: return 1;
    case MemImgWord: return 2;
    default: return 0;
  }
}

// The value a pixel is compared with for transparency, the same for every blitter and for
// the rotation and triangle renderer: a palette index, the whole 32-bit pixel, or for 16-bit
// pixels the low 16 bits of the stored colour (what a 2-byte pixel of that colour holds).
inline uint32_t TransparentKey(const MemImgBase& base) {
  if (!base.paletteFlag && base.colourType == MemImgRgb565) return base.transparentColour & 0xFFFF;
  return base.transparentColour;
}

// The largest pixel block an image may need (room left for the allocator's header).
inline constexpr int32_t kMaxMemImgBlockBytes = 0x7FFFFFFF - 4096;

// Pitch -1 = computed; pixelBlock null = allocate. -1 when img already holds the magic
// (record unchanged), for a bad size or pitch, or when an allocation fails.
int CreateMemImg(MEMIMG* img, int32_t width, int32_t height, int32_t pitch,
                 uint32_t transparentColour, uint32_t colourType, int32_t paletteFlag,
                 int32_t alphaFlag, int32_t extraBuffers, void* pixelBlock);
// Colour type -1: 0 for a 16-bit screen (SoftScreenColourDepth), else 1.
int CreateScreenMemImg(MEMIMG* img, int32_t width, int32_t height, int32_t colourType);
// Nothing happens when the rectangle is not inside src.
void MakeMemImgView(MEMIMG* view, const MEMIMG* src, int32_t x, int32_t y, int32_t w, int32_t h);
int IsValidMemImg(const MEMIMG* img);
void ReleaseMemImg(MEMIMG* img);

// The screen colour depth that CreateScreenMemImg reads; graphics sets it at start.
extern int32_t SoftScreenColourDepth;

// Lookup tables. ProductTable[a][b] = a * b / 255; SignedProductTable[i][d + 255] =
// i * d / 255 truncated toward zero (d = -255..255, read through SignedProductRow);
// Blend6Table[j][a][b] = (a * j + b * (63 - j)) / 63; BorderTable: blend-image weights.
extern int32_t ProductTable[256][256];
extern int32_t SignedProductTable[256][512];
extern uint8_t Blend6Table[64][64][64];
extern uint8_t BorderTable[256];

inline const int32_t* SignedProductRow(int32_t i) { return &SignedProductTable[i][255]; }

int InitMemImgTables();
void BuildBorderTable(int32_t border, int32_t range);

}  // namespace quelt
