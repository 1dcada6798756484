#pragma once
// The records behind a graph handle: the graph record itself, the shared original image
// with its texture entries, the texture pieces a graph draws with, and the shared record
// of the file a graph was loaded from.
#include <array>
#include <cstdint>

#include "softrender/memimg.h"

namespace quelt {

// Bytes of the form of an image, fixed when the image is created.
enum GraphFormatByte : int32_t {
  FormatByteTexture = 0,       // 1 = Direct3D textures, 0 = one MEMIMG
  FormatByteAlpha = 1,         // alpha channel
  FormatByteRenderTarget = 2,  // drawable; on the software path set for all but blend images
  FormatByteSoftware = 3,      // 1 on the software path
  FormatByteDefaultPool = 4,   // D3DPOOL_DEFAULT instead of D3DPOOL_MANAGED
  FormatByteDxt = 5,           // 0 none, 1-5 = DXT1-DXT5
  FormatByteMipCount = 6,
  FormatByteAlphaTest = 7,     // the transparent colour becomes a 1-bit alpha
  FormatByteColourBits = 8,    // 16 or 32
  FormatByteBlendImage = 9,    // one byte per pixel, used as blend image
  FormatBytePalette = 10,      // software path: 8-bit palette MEMIMG
  GraphFormatByteCount = 11,
};
using GraphFormatDescription = std::array<uint8_t, GraphFormatByteCount>;

// One Direct3D texture of an image. areaWidth/areaHeight is the part of the image it
// holds; zero or negative for a square-only extra outside the image (never drawn).
struct TextureEntry {
  void* texture;    // IDirect3DTexture9
  void* surface;    // its level-0 surface
  void* companion;  // render-target companion object; null = none
  int32_t x, y;
  int32_t areaWidth, areaHeight;
  int32_t textureWidth, textureHeight;  // powers of two
};

// The pixels a graph and its sub graphs share. A texture image is followed in the same
// block by textureCount TextureEntry records (ImageEntries).
struct OriginalImage {
  int32_t refCount;
  int32_t formatIndex;  // transfer-format row 0-13 (Direct3D) or 15-18 (software)
  GraphFormatDescription description;
  uint32_t transparentColour;  // 0x00RRGGBB at creation
  int32_t width, height;
  int32_t mipCount;
  int32_t textureCount;
  MEMIMG memImg;        // the software image
  MEMIMG* extraImage;   // owned; null = none
  // Mirrors of the description and the first entry, kept current for the draw-screen and
  // blend-image code that reads them directly.
  uint8_t softwareImage;
  // Made as a draw target (the drawable setting): only such images can be draw screens, on
  // both back ends, although every software image could be drawn into.
  uint8_t drawable;
  int32_t renderTarget;
  uint32_t formatSlot;
  void* targetSurface;  // first entry's level-0 surface of a render target
  void* firstTexture;
  int32_t firstTextureWidth, firstTextureHeight;
};

inline TextureEntry* ImageEntries(OriginalImage* image) {
  return reinterpret_cast<TextureEntry*>(image + 1);
}
inline const TextureEntry* ImageEntries(const OriginalImage* image) {
  return reinterpret_cast<const TextureEntry*>(image + 1);
}
static_assert(sizeof(OriginalImage) % alignof(TextureEntry) == 0);

struct PieceCorner {
  float x, y, u, v;
};

// The part of one texture entry that a graph draws.
struct TexturePiece {
  int32_t destX, destY;      // offset of the area inside the graph
  int32_t sourceX, sourceY;  // top-left texel of the area inside the texture
  int32_t width, height;
  std::array<PieceCorner, 4> corners;  // top-left, top-right, bottom-left, bottom-right
  std::array<uint8_t, 4> cornerFlags;
  TextureEntry* entry;
};

// Where a graph's pixels came from; shared by a graph and its sub graphs.
struct GraphSourceFile {
  int32_t refCount;
  char path[1];  // NUL-terminated; the block holds the whole path
};

struct GraphRecord {
  int32_t checkId;
  int32_t handle;
  int32_t* deletedFlag;
  OriginalImage* image;
  int32_t linkedMovie;  // -1 = none
  GraphSourceFile* sourceFile;
  int32_t sourceX, sourceY;
  int32_t turned;
  int32_t x, y;
  int32_t width, height;
  void* ownedBlock1;
  int32_t ownedWord1;
  void* ownedBlock2;
  int32_t ownedWord2;
  // The draw information: a view of the image on the software path; on Direct3D the
  // number of pieces, the pieces following the record in the same block (GraphPieces).
  union {
    MEMIMG memImg;
    int32_t pieceCount;
  };
};
static_assert(sizeof(GraphRecord) % alignof(TexturePiece) == 0);

inline TexturePiece* GraphPieces(GraphRecord* record) {
  return reinterpret_cast<TexturePiece*>(record + 1);
}

}  // namespace quelt
