#include "softrender/memimg.h"

#include <cstring>

#include "core/numbers.h"
#include "core/tracked_alloc.h"
#include "softrender/memimg_format.h"

namespace quelt {

int32_t SoftScreenColourDepth = 32;

namespace {

constexpr int32_t kPaletteBlockSize = 2048;
constexpr int32_t kMaxBlock = kMaxMemImgBlockBytes;

int32_t BytesPerPixelFor(uint32_t colourType, int32_t paletteFlag, int32_t alphaFlag) {
  if (paletteFlag) return 1;
  switch (colourType) {
    case MemImgRgb565: return alphaFlag ? 4 : 2;
    case MemImgXrgb32: return 4;
    case MemImgByte: return 1;
    default: return 2;
  }
}

// a x b fits one block (a, b >= 0), tested without forming a product that could overflow.
bool FitsBlock(int64_t a, int64_t b) { return b == 0 || a <= kMaxBlock / b; }

int32_t PitchLog2(int32_t pitch, int64_t sizedFrom) {
  int64_t power = 1;
  int32_t exponent = 0;
  while (power < sizedFrom) {
    power <<= 1;
    ++exponent;
  }
  return power == pitch ? exponent : -1;
}

void FreeStore(MemImgBase* base) {
  if (base->pixels != nullptr && !base->pixelsBorrowed) TrackedFree(base->pixels);
  if (base->premultiplied != nullptr) TrackedFree(base->premultiplied);
  if (base->runTable != nullptr) TrackedFree(base->runTable);
  if (base->palette != nullptr) TrackedFree(base->palette);
  base->pixels = base->premultiplied = base->runTable = nullptr;
  base->palette = base->paletteCopy = nullptr;
  TrackedFree(base);
}

}  // namespace

int CreateMemImg(MEMIMG* img, int32_t width, int32_t height, int32_t pitch,
                 uint32_t transparentColour, uint32_t colourType, int32_t paletteFlag,
                 int32_t alphaFlag, int32_t extraBuffers, void* pixelBlock) {
  if (img->magic == kMemImgMagic) return -1;
  if (colourType > MemImgWord) return -1;
  if (colourType == MemImgByte || colourType == MemImgWord) paletteFlag = alphaFlag = 0;
  if (paletteFlag) alphaFlag = 0;
  paletteFlag = paletteFlag ? 1 : 0;
  alphaFlag = alphaFlag ? 1 : 0;

  // Sizes are checked before anything is allocated: a negative size, a row or block
  // that does not fit in 32 bits, or a given pitch shorter than a row is refused.
  if (width < 0 || height < 0 || pitch < -1) return -1;
  const int32_t bytesPerPixel = BytesPerPixelFor(colourType, paletteFlag, alphaFlag);
  const int64_t rowBytes = int64_t{width} * bytesPerPixel;
  const int64_t usedPitch = pitch == -1 ? (rowBytes + 15) / 16 * 16 : pitch;
  if (usedPitch < rowBytes || !FitsBlock(usedPitch, height)) return -1;
  const bool wantsRunTable = extraBuffers && colourType != MemImgByte;
  if (wantsRunTable && !FitsBlock(int64_t{width} + 5, height)) return -1;

  auto* base = static_cast<MemImgBase*>(TrackedCalloc(sizeof(MemImgBase), __FILE__, __LINE__));
  img->base = base;
  if (base == nullptr) return -1;

  base->refCount = 1;
  base->width = width;
  base->height = height;
  base->transparentColour = transparentColour;
  base->colourType = colourType;
  base->paletteFlag = paletteFlag;
  base->alphaFlag = alphaFlag;
  base->pitch = static_cast<int32_t>(usedPitch);
  base->pitchLog2 = PitchLog2(base->pitch, pitch == -1 ? rowBytes : pitch);
  base->format = GetMemImgColorFormat(colourType, alphaFlag, paletteFlag);

  const int32_t blockSize = static_cast<int32_t>(usedPitch * height);
  bool ok = true;
  if (paletteFlag) {
    base->palette = static_cast<uint8_t*>(TrackedCalloc(kPaletteBlockSize, __FILE__, __LINE__));
    base->paletteCopy = base->palette != nullptr ? base->palette + 1024 : nullptr;
    ok = base->palette != nullptr;
  }
  if (ok && pixelBlock != nullptr) {
    base->pixels = static_cast<uint8_t*>(pixelBlock);
    base->pixelsBorrowed = 1;
  } else if (ok) {
    // Never a zero-byte request: an empty image still gets a distinct block.
    base->pixels = static_cast<uint8_t*>(TrackedAlloc(blockSize > 0 ? blockSize : 1, __FILE__, __LINE__));
    ok = base->pixels != nullptr;
  }
  if (ok && alphaFlag && extraBuffers) {
    base->premultiplied = static_cast<uint8_t*>(TrackedAlloc(blockSize > 0 ? blockSize : 1, __FILE__, __LINE__));
    ok = base->premultiplied != nullptr;
  }
  if (ok && wantsRunTable) {
    const int32_t runSize = (width + 5) * height;
    base->runTable = static_cast<uint8_t*>(TrackedAlloc(runSize > 0 ? runSize : 1, __FILE__, __LINE__));
    ok = base->runTable != nullptr;
  }
  if (!ok) {
    FreeStore(base);
    img->base = nullptr;
    return -1;
  }

  img->magic = kMemImgMagic;
  img->width = width;
  img->height = height;
  img->pixels = base->pixels;
  img->premultiplied = base->premultiplied;
  return 0;
}

int CreateScreenMemImg(MEMIMG* img, int32_t width, int32_t height, int32_t colourType) {
  *img = MEMIMG{};
  if (colourType == -1) colourType = SoftScreenColourDepth == 16 ? MemImgRgb565 : MemImgXrgb32;
  return CreateMemImg(img, width, height, -1, 0, static_cast<uint32_t>(colourType), 0, 0, 0, nullptr);
}

int IsValidMemImg(const MEMIMG* img) {
  return img != nullptr && img->magic == kMemImgMagic && img->base != nullptr ? 1 : 0;
}

void MakeMemImgView(MEMIMG* view, const MEMIMG* src, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (!IsValidMemImg(src)) return;
  if (x < 0 || y < 0 || w < 0 || h < 0) return;
  if (int64_t{x} + w > src->width || int64_t{y} + h > src->height) return;
  MemImgBase* base = src->base;
  const int32_t offset = x * MemImgBytesPerPixel(*base) + y * base->pitch;
  view->magic = kMemImgMagic;
  view->width = w;
  view->height = h;
  view->pixels = src->pixels + offset;
  view->premultiplied = base->premultiplied != nullptr ? src->premultiplied + offset : nullptr;
  view->base = base;
  ++base->refCount;
}

void ReleaseMemImg(MEMIMG* img) {
  if (img == nullptr || img->magic != kMemImgMagic) return;
  MemImgBase* base = img->base;
  if (base != nullptr && --base->refCount == 0) FreeStore(base);
  img->magic = 0;
  img->base = nullptr;
}

// ---- lookup tables ----

int32_t ProductTable[256][256];
int32_t SignedProductTable[256][512];
uint8_t Blend6Table[64][64][64];
uint8_t BorderTable[256];

int InitMemImgTables() {
  for (int32_t i = 0; i < 256; ++i) {
    for (int32_t j = 0; j <= 510; ++j) SignedProductTable[i][j] = i * (j - 255) / 255;
    SignedProductTable[i][511] = 0;
  }
  for (int32_t a = 0; a < 256; ++a) {
    for (int32_t b = 0; b < 256; ++b) ProductTable[a][b] = a * b / 255;
  }
  for (int32_t j = 0; j < 64; ++j) {
    for (int32_t a = 0; a < 64; ++a) {
      for (int32_t b = 0; b < 64; ++b) {
        Blend6Table[j][a][b] = static_cast<uint8_t>((a * j + b * (63 - j)) / 63);
      }
    }
  }
  return 0;
}

void BuildBorderTable(int32_t border, int32_t range) {
  // Out-of-range arguments are held to 0..255 (range -1 would divide by zero).
  border = ClampToByte(border);
  range = ClampToByte(range);
  const int32_t r = range + 1;
  const int32_t shift = border * (65536 / r + 256) / 256;
  for (int32_t i = 0; i < 256; ++i) {
    const int32_t weight = 256 * i / r + 256 - shift;
    BorderTable[i] = static_cast<uint8_t>(ClampToByte(weight));
  }
}

}  // namespace quelt
