#include "graphics/pixel_transfer.h"

#include <cstring>

#include "core/tracked_alloc.h"
#include "graphics/device_formats.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_log.h"
#include "graphics/original_image.h"
#include "graphics/original_image_device.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "image/color_format.h"
#include "image/dxt_decode.h"
#include "image/image_ops.h"
#include "softrender/memimg_format.h"

namespace quelt {

namespace {

constexpr int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
constexpr int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }

// A GDI bitmap seen as a decoded image of the given format (the bits stay the bitmap's).
bool WrapBitmap(void* bitmap, const ColorFormat* format, RasterImage* out) {
  if (bitmap == nullptr || format == nullptr || PlatformTextureOps == nullptr ||
      PlatformTextureOps->readBitmap == nullptr)
    return false;
  *out = RasterImage{};
  out->format = *format;
  return PlatformTextureOps->readBitmap(bitmap, &out->width, &out->height, &out->pitch, &out->pixels) >= 0 &&
         out->pixels != nullptr;
}

// The source rectangle cut to what the source (and alpha) image holds; the destination
// moves with a cut top-left corner. False when nothing is left.
bool ClipToSource(const RasterImage& image, const RasterImage* alpha, PixelRect* rect, int32_t* destX,
                  int32_t* destY) {
  int32_t width = image.width;
  int32_t height = image.height;
  if (alpha != nullptr) {
    width = Min(width, alpha->width);
    height = Min(height, alpha->height);
  }
  if (rect->left < 0) {
    *destX -= rect->left;
    rect->left = 0;
  }
  if (rect->top < 0) {
    *destY -= rect->top;
    rect->top = 0;
  }
  rect->right = Min(rect->right, width);
  rect->bottom = Min(rect->bottom, height);
  return rect->left < rect->right && rect->top < rect->bottom;
}

int Convert(uint8_t* dest, int32_t destPitch, const ColorFormat* destFormat, const RasterImage& image,
            const RasterImage* alpha, const PixelRect& rect, int32_t alphaTest, uint32_t transparentColour,
            int32_t blend) {
  return ConvertPixelRect(dest, destPitch, destFormat, image.pixels, image.pitch, &image.format,
                          alpha != nullptr ? alpha->pixels : nullptr, alpha != nullptr ? alpha->pitch : 0,
                          alpha != nullptr ? &alpha->format : nullptr, 0, 0, &rect, 0, alphaTest,
                          transparentColour, 0, blend, blend, 0, 0);
}

// Copies one stored level into a locked level, following the lock's pitch: `rows` rows of
// `rowBytes` each, read `sourceStride` apart, never past `sourceEnd`.
void CopyLevelRows(const LockedArea& area, const uint8_t* source, const uint8_t* sourceEnd, int32_t rows,
                   int32_t rowBytes, int32_t sourceStride) {
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* row = source + static_cast<int64_t>(r) * sourceStride;
    if (row >= sourceEnd) break;
    const int64_t available = sourceEnd - row;
    const size_t bytes = static_cast<size_t>(available < rowBytes ? available : rowBytes);
    std::memcpy(area.bits + static_cast<int64_t>(r) * area.pitch, row, bytes);
  }
}

// The bytes one block-compressed level holds in the image's block, as stored by the
// readers: the top level in whole blocks, each further level a quarter, at least 8.
int64_t StoredDxtLevel(int64_t previous, int32_t level, const RasterImage& image) {
  if (level == 0) return image.format.bitDepth == 4 ? int64_t{image.width} * image.height / 2
                                                    : int64_t{image.width} * image.height;
  const int64_t quarter = previous / 4;
  return quarter < 8 ? 8 : quarter;
}

struct TextureRoad {
  const TextureDeviceOps* ops;
  OriginalImage* image;
  uint32_t deviceFormat;
  const ColorFormat* format;  // the layout pixels are converted into
  int32_t deviceDxt;          // DXT kind of the device format, 0 none
  int32_t alphaTest;
  int32_t blend;
};

// Ready-made levels of the source into a whole texture: block-compressed data of the
// device's own kind, or uncompressed levels already in the texture's layout.
int CopyStoredLevels(const TextureRoad& road, TextureEntry& e, const RasterImage& src, int32_t levels) {
  const bool compressed = src.format.compression != 0;
  const int32_t blockBytes = compressed ? DxtBlockBytes(src.format.compression) : 0;
  const int32_t bytesPerPixel = compressed ? 0 : src.format.bitDepth / 8;
  // The stored block's extent, computed as the readers size it.
  int64_t total = 0;
  {
    int64_t level = compressed ? StoredDxtLevel(0, 0, src) : int64_t{src.pitch} * src.height;
    for (int32_t i = 0; i < Max(src.mipCount, 1); ++i) {
      total += level;
      level = compressed ? StoredDxtLevel(level, i + 1, src) : level / 4;
    }
  }
  const uint8_t* end = src.pixels + total;
  const uint8_t* at = src.pixels;
  int64_t levelBytes = compressed ? StoredDxtLevel(0, 0, src) : int64_t{src.pitch} * src.height;
  int32_t w = e.textureWidth;
  int32_t h = e.textureHeight;
  int32_t stride = src.pitch;
  for (int32_t i = 0; i < levels; ++i) {
    LockedArea area{};
    if (road.ops->lockTexture(e.texture, i, nullptr, 0, &area) < 0)
      return WriteLog(levels > 1 ? "ミップマップテクスチャのロックに失敗しました\n" : "テクスチャのロックに失敗しました\n");
    const uint8_t* levelEnd = at + levelBytes < end ? at + levelBytes : end;
    if (compressed) {
      const int32_t blocksWide = Max(1, (w + 3) / 4);
      const int32_t blockRows = Max(1, (h + 3) / 4);
      CopyLevelRows(area, at, levelEnd, blockRows, blocksWide * blockBytes, blocksWide * blockBytes);
    } else {
      CopyLevelRows(area, at, levelEnd, h, w * bytesPerPixel, stride);
    }
    road.ops->unlockTexture(e.texture, i);
    at += levelBytes;
    if (at >= end) break;
    levelBytes = compressed ? StoredDxtLevel(levelBytes, i + 1, src) : levelBytes / 4;
    w = Max(1, w / 2);
    h = Max(1, h / 2);
    stride = Max(1, stride / 2);
  }
  return 0;
}

bool SameLayout(const ColorFormat& a, const ColorFormat& b) {
  return a.bitDepth == b.bitDepth && a.redMask == b.redMask && a.greenMask == b.greenMask &&
         a.blueMask == b.blueMask && a.alphaMask == b.alphaMask && a.compression == b.compression;
}

int DecodeIfCompressed(RasterImage* image, RasterImage* alpha, const TextureDeviceOps* ops, TextureEntry* e,
                       int32_t level) {
  if ((image->format.compression != 0 && DecodeCompressedTexture(image) < 0) ||
      (alpha != nullptr && alpha->format.compression != 0 && DecodeCompressedTexture(alpha) < 0)) {
    if (ops != nullptr) ops->unlockTexture(e->texture, level);
    return WriteLog("標準イメージ用のメモリ確保に失敗しました\n");
  }
  return 0;
}

// One texture piece: the overlap (texture rectangle t, source rectangle s).
int FillPiece(const TextureRoad& road, TextureEntry& e, RasterImage* src, RasterImage* alpha, const PixelRect& t,
              const PixelRect& s) {
  const TextureDeviceOps* ops = road.ops;
  // A small piece of a mip-mapped image has only the levels its own size allows.
  const int32_t levels =
      Min(Max(1, road.image->mipCount), MipLevelsForSetting(-1, e.textureWidth, e.textureHeight));
  const bool wholeTexture = t.left == 0 && t.top == 0 && t.right == e.textureWidth && t.bottom == e.textureHeight &&
                            src->width == e.textureWidth && src->height == e.textureHeight;
  const int32_t kind = static_cast<int32_t>(src->format.compression);
  const bool dxtMatch = wholeTexture && kind >= 1 && kind <= 5 && kind == road.deviceDxt;

  if (levels == 1) {
    if (dxtMatch) return CopyStoredLevels(road, e, *src, 1);
    if (road.deviceDxt != 0) {
      WriteLog("DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n");
      return 0;
    }
    LockedArea area{};
    if (ops->lockTexture(e.texture, 0, &t, 0, &area) < 0) return WriteLog("テクスチャのロックに失敗しました\n");
    if (DecodeIfCompressed(src, alpha, ops, &e, 0) < 0) return -1;
    Convert(area.bits, area.pitch, road.format, *src, alpha, s, road.alphaTest, road.image->transparentColour,
            road.blend);
    ops->unlockTexture(e.texture, 0);
    return 0;
  }

  if (dxtMatch && src->mipCount >= levels) return CopyStoredLevels(road, e, *src, levels);
  if (road.deviceDxt != 0) {
    WriteLog("DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n");
    return 0;
  }
  // Uncompressed levels are copied as they are only when they are already in the
  // texture's layout; otherwise they are generated from the converted top level.
  if (wholeTexture && kind == 0 && alpha == nullptr && !road.alphaTest && src->mipCount >= levels &&
      SameLayout(src->format, *road.format))
    return CopyStoredLevels(road, e, *src, levels);

  if (DecodeIfCompressed(src, alpha, nullptr, nullptr, 0) < 0) return -1;
  const int32_t bytesPerPixel = road.format->bitDepth / 8;
  int32_t pw = 1;
  while (pw < t.right - t.left) pw <<= 1;
  int32_t ph = 1;
  while (ph < t.bottom - t.top) ph <<= 1;
  const int64_t half = int64_t{pw} * ph * bytesPerPixel;
  auto* block = static_cast<uint8_t*>(TrackedCalloc(static_cast<int32_t>(half * 2), __FILE__, __LINE__));
  if (block == nullptr) return WriteLog("テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n");
  uint8_t* buffers[2] = {block, block + half};
  const int32_t pitch = pw * bytesPerPixel;
  Convert(buffers[0], pitch, road.format, *src, alpha, s, road.alphaTest, road.image->transparentColour, road.blend);
  int32_t bw = pw;
  int32_t bh = ph;
  int result = 0;
  for (int32_t i = 0; i < levels; ++i) {
    const uint8_t* current = buffers[i & 1];
    if (i > 0) {
      HalveImageForMip(road.format, buffers[i & 1], pitch, buffers[(i - 1) & 1], pitch, 0, 0, 0, 0, bw, bh);
      bw = Max(1, bw / 2);
      bh = Max(1, bh / 2);
    }
    PixelRect lr{t.left >> i, t.top >> i, t.right >> i, t.bottom >> i};
    if (lr.right == lr.left) lr.right = lr.left + 1;
    if (lr.bottom == lr.top) lr.bottom = lr.top + 1;
    LockedArea area{};
    if (ops->lockTexture(e.texture, i, &lr, 0, &area) < 0) {
      result = WriteLog("ミップマップテクスチャのロックに失敗しました\n");
      break;
    }
    const int32_t rows = Min(lr.bottom - lr.top, bh);
    const int32_t rowBytes = Min(lr.right - lr.left, bw) * bytesPerPixel;
    for (int32_t r = 0; r < rows; ++r)
      std::memcpy(area.bits + static_cast<int64_t>(r) * area.pitch, current + static_cast<int64_t>(r) * pitch,
                  static_cast<size_t>(rowBytes));
    ops->unlockTexture(e.texture, i);
  }
  TrackedFree(block);
  return result;
}

int TransferToMemImg(GraphRecord* record, RasterImage* src, RasterImage* alpha, const PixelRect& rect,
                     int32_t destX, int32_t destY, int32_t transparentFlag, int32_t wholeImage) {
  OriginalImage* image = record->image;
  if (DecodeIfCompressed(src, alpha, nullptr, nullptr, 0) < 0) return -1;
  int32_t sx = rect.left;
  int32_t sy = rect.top;
  if (destX < 0) {
    sx -= destX;
    destX = 0;
  }
  if (destY < 0) {
    sy -= destY;
    destY = 0;
  }
  const int32_t limitW = wholeImage ? image->width : record->width;
  const int32_t limitH = wholeImage ? image->height : record->height;
  const int32_t w = Min(rect.right - sx, limitW - destX);
  const int32_t h = Min(rect.bottom - sy, limitH - destY);
  if (w < 1 || h < 1) return -1;
  if (!wholeImage) {
    destX += record->x;
    destY += record->y;
  }
  TransferImageToMemImg(src, alpha, &image->memImg, sx, sy, w, h, destX, destY, transparentFlag);
  MemImgBase* base = image->memImg.base;
  if (image->description[FormatBytePalette] && base != nullptr && base->paletteFlag && base->palette != nullptr) {
    const uint32_t c = DrawSettings.transparentColour;
    const ColorFormat* format = GetMemImgColorFormat(base->colourType, 0, 0);
    const uint32_t key = PackColorToPixel(format, static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                                          static_cast<int>(c & 0xFF), 255);
    const bool wide = base->colourType == MemImgXrgb32;
    uint32_t index = 0;
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t entry = 0;
      std::memcpy(&entry, base->palette + (wide ? 4 : 2) * i, wide ? 4 : 2);
      if (wide ? (entry & 0xFFFFFF) == (key & 0xFFFFFF) : (entry & 0xFFFF) == (key & 0xFFFF)) {
        index = i;
        break;
      }
    }
    base->transparentColour = index;
  }
  return 0;
}

}  // namespace

int TransferToTextures(int32_t handle, const ColorFormat* bitmapFormat, void* colourBitmap, void* maskBitmap,
                       const PixelRect* sourceRect, int32_t destX, int32_t destY, int32_t bitmapFlag,
                       RasterImage* image, RasterImage* alpha, int32_t blendFlag, int32_t transparentFlag,
                       int32_t wholeImage) {
  if (ScreenState.started == 0 || sourceRect == nullptr) return -1;
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr || record->image == nullptr) return -1;
  PixelRect rect = *sourceRect;
  if (rect.right - rect.left <= 0 || rect.bottom - rect.top <= 0) return 0;

  RasterImage bitmapImage{};
  RasterImage maskImage{};
  if (bitmapFlag) {
    if (!WrapBitmap(colourBitmap, bitmapFormat, &bitmapImage)) return -1;
    image = &bitmapImage;
    alpha = WrapBitmap(maskBitmap, bitmapFormat, &maskImage) ? &maskImage : nullptr;
  }
  if (image == nullptr || image->pixels == nullptr) return -1;
  if (alpha != nullptr && alpha->pixels == nullptr) alpha = nullptr;
  if (!ClipToSource(*image, alpha, &rect, &destX, &destY)) return -1;

  OriginalImage* original = record->image;
  if (original->description[FormatByteTexture] == 0)
    return TransferToMemImg(record, image, alpha, rect, destX, destY, transparentFlag, wholeImage);

  TextureRoad road{};
  road.ops = CurrentTextureOps();
  if (road.ops == nullptr) return -1;
  FlushDrawsOfImage(original);
  road.image = original;
  road.deviceFormat = DeviceFormatTable[static_cast<size_t>(original->formatIndex)];
  road.deviceDxt = DxtKindOfD3DFormat(road.deviceFormat);
  // Pixels go into the layout of the format the device gave; the transfer table's row
  // stands in only for block-compressed formats, whose layout the table describes.
  road.format = ColorFormatForD3DFormat(road.deviceFormat);
  if (road.format == nullptr) road.format = GetTransferFormat(original->formatIndex);
  road.blend = blendFlag;
  road.alphaTest = transparentFlag && road.format->alphaWidth > 0 && alpha == nullptr ? 1 : 0;

  const int32_t w = rect.right - rect.left;
  const int32_t h = rect.bottom - rect.top;
  const bool renderTarget = original->description[FormatByteRenderTarget] != 0;
  void* staging = nullptr;
  if (renderTarget) {
    if (road.ops->createSystemSurface(GraphicsDevice.device, w, h, road.deviceFormat, &staging) < 0 ||
        staging == nullptr)
      return WriteLog("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
    LockedArea area{};
    if (road.ops->lockSurface(staging, nullptr, 0, &area) >= 0) {
      Convert(area.bits, area.pitch, road.format, *image, alpha, rect, road.alphaTest, original->transparentColour,
              road.blend);
      road.ops->unlockSurface(staging);
    }
  }

  // The pieces: the graph's (graph coordinates) or every entry (image coordinates).
  const int32_t count = wholeImage ? original->textureCount : record->pieceCount;
  int result = 0;
  for (int32_t k = 0; k < count && result == 0; ++k) {
    TextureEntry* entry = nullptr;
    int32_t px = 0, py = 0, pw = 0, ph = 0, offsetX = 0, offsetY = 0;
    if (wholeImage) {
      entry = &ImageEntries(original)[k];
      px = entry->x;
      py = entry->y;
      pw = entry->areaWidth;
      ph = entry->areaHeight;
    } else {
      const TexturePiece& p = GraphPieces(record)[k];
      entry = p.entry;
      px = p.destX;
      py = p.destY;
      pw = p.width;
      ph = p.height;
      offsetX = p.sourceX;
      offsetY = p.sourceY;
    }
    const int32_t ox0 = Max(px, destX);
    const int32_t oy0 = Max(py, destY);
    const int32_t ox1 = Min(px + pw, destX + w);
    const int32_t oy1 = Min(py + ph, destY + h);
    if (ox0 >= ox1 || oy0 >= oy1 || entry->texture == nullptr) continue;
    const PixelRect t{ox0 - px + offsetX, oy0 - py + offsetY, ox1 - px + offsetX, oy1 - py + offsetY};
    const PixelRect s{rect.left + ox0 - destX, rect.top + oy0 - destY, rect.left + ox1 - destX,
                      rect.top + oy1 - destY};
    if (renderTarget) {
      const PixelRect staged{ox0 - destX, oy0 - destY, ox1 - destX, oy1 - destY};
      road.ops->updateSurface(GraphicsDevice.device, staging, &staged, entry->surface, t.left, t.top);
      continue;
    }
    result = FillPiece(road, *entry, image, alpha, t, s);
  }
  if (staging != nullptr) road.ops->release(staging);
  return result;
}

}  // namespace quelt
