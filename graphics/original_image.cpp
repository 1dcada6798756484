#include "graphics/original_image.h"

#include <cstring>

#include "core/tracked_alloc.h"
#include "graphics/device_formats.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_log.h"
#include "graphics/original_image_device.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "image/color_format.h"
#include "softrender/memimg.h"
#include "softrender/memimg_format.h"

namespace quelt {

namespace {

// Releasing needs no live device: objects made on a device that has gone are released
// through the same table.
const TextureDeviceOps* ReleaseOps() {
  return TextureOpsOverride != nullptr ? TextureOpsOverride : PlatformTextureOps;
}

void ReleaseObject(void*& object) {
  if (object != nullptr) {
    if (const TextureDeviceOps* ops = ReleaseOps(); ops != nullptr) ops->release(object);
  }
  object = nullptr;
}

// The mirrors that the draw-screen and blend-image code read.
void RefreshImageMirrors(OriginalImage* image) {
  image->softwareImage = image->description[FormatByteTexture] == 0 ? 1 : 0;
  image->renderTarget = image->description[FormatByteRenderTarget];
  image->formatSlot = static_cast<uint32_t>(image->formatIndex);
  const bool textures = image->softwareImage == 0 && image->textureCount > 0;
  const TextureEntry* first = textures ? &ImageEntries(image)[0] : nullptr;
  image->firstTexture = first != nullptr ? first->texture : nullptr;
  image->firstTextureWidth = first != nullptr ? first->textureWidth : 0;
  image->firstTextureHeight = first != nullptr ? first->textureHeight : 0;
  image->targetSurface = first != nullptr && image->renderTarget ? first->surface : nullptr;
}

int32_t FullChainLevels(int32_t width, int32_t height) {
  int32_t levels = 1;
  while (width > 1 || height > 1) {
    width = width > 1 ? width / 2 : 1;
    height = height > 1 ? height / 2 : 1;
    ++levels;
  }
  return levels;
}

// The top levels' bytes of the planned textures, at the image's colour bits.
int64_t PlannedTextureBytes(int32_t pieces, int32_t colourBits) {
  int64_t bytes = 0;
  for (int32_t k = 0; k < pieces; ++k)
    bytes += int64_t{TexturePlan.width[static_cast<size_t>(k)]} * TexturePlan.height[static_cast<size_t>(k)];
  return bytes * (colourBits > 16 ? 4 : 2);
}

int FailAndDelete(int32_t handle, const char* message) {
  if (message != nullptr) WriteLog(message);
  ReleaseGraphHandle(handle);
  return -1;
}

}  // namespace

int32_t MipLevelsForSetting(int32_t setting, int32_t width, int32_t height) {
  if (setting == -1) return FullChainLevels(width, height);
  return setting != 0 ? setting : 1;
}

int CreateOriginalImage(int32_t handle, int32_t width, int32_t height, int32_t alpha,
                        int32_t palette, int32_t dxtKind, int32_t mipCount) {
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr) return -1;
  // A size without pixels never makes an image.
  if (width <= 0 || height <= 0) return FailAndDelete(handle, nullptr);

  GraphFormatDescription d{};
  const bool direct3D = ScreenState.hardware != 0;
  d[FormatByteTexture] = direct3D ? 1 : 0;
  d[FormatByteDefaultPool] = NewGraphSettings.defaultPool != 0;
  d[FormatByteDxt] = static_cast<uint8_t>(dxtKind);
  const int32_t mips =
      mipCount == -1 ? MipLevelsForSetting(TextureLayoutSettings.MipLevelSetting, width, height) : mipCount;
  d[FormatByteMipCount] = static_cast<uint8_t>(mips < 0 ? 1 : (mips > 255 ? 255 : mips));
  if (NewGraphSettings.drawable == 1) {
    d[FormatByteAlphaTest] = 0;
    d[FormatByteBlendImage] = 0;
    d[FormatByteDefaultPool] = 1;
    d[FormatByteDxt] = 0;
    d[FormatByteMipCount] = 0;
    d[FormatByteAlpha] = NewGraphSettings.drawableAlpha != 0;
    d[FormatByteRenderTarget] = 1;
  } else {
    d[FormatByteAlphaTest] = DrawSettings.newGraphAlphaTest != 0;
    d[FormatByteAlpha] = alpha != 0;
    d[FormatByteBlendImage] = NewGraphSettings.blendImage != 0;
    d[FormatByteRenderTarget] = 0;
  }
  const int32_t depth = DrawSettings.newGraphDepth;
  if (direct3D) {
    d[FormatByteColourBits] = static_cast<uint8_t>(depth != 0 ? depth : (alpha == 1 ? 32 : ScreenState.colourDepth));
    d[FormatByteSoftware] = 0;
    if (d[FormatByteAlpha]) d[FormatByteAlphaTest] = 0;
    if (d[FormatByteBlendImage] == 1) {
      d[FormatByteColourBits] = 32;
      d[FormatByteAlpha] = 1;
      d[FormatByteRenderTarget] = 0;
      d[FormatByteAlphaTest] = 0;
    }
  } else {
    d[FormatByteDxt] = 0;
    d[FormatByteColourBits] = static_cast<uint8_t>(depth != 0 ? depth : ScreenState.colourDepth);
    d[FormatBytePalette] = palette != 0;
    d[FormatByteSoftware] = 1;
    d[FormatByteDefaultPool] = 0;
    d[FormatByteRenderTarget] = d[FormatByteBlendImage] ? 0 : 1;
    d[FormatByteMipCount] = 0;
    d[FormatByteAlphaTest] = 0;
  }

  int32_t pieces = 0;
  if (direct3D) {
    const int32_t noSplit = d[FormatByteBlendImage] | d[FormatByteRenderTarget];
    pieces = PlanTextureLayout(CurrentTextureSplitLimits(), width, height, noSplit,
                               GraphicsDevice.facts.squareTexturesOnly, &TexturePlan);
    if (pieces < 0) return FailAndDelete(handle, nullptr);
    // Textures whose pixels the software screen could not hold either are refused before
    // any is made: making them one by one takes the device seconds and gigabytes to fail.
    if (PlannedTextureBytes(pieces, d[FormatByteColourBits]) > kMaxMemImgBlockBytes)
      return FailAndDelete(handle, "テクスチャの作成に失敗しました\n");
    // Block-compressed data can fill a texture only unchanged: one texture of exactly the
    // image's size, with every level it has. Any other layout (12 x 12 in a 16 x 16
    // texture, sides under 8, pieces, generated levels) would stay blank, so the image
    // is decoded into a colour texture instead, as the software path does.
    if (d[FormatByteDxt] != 0) {
      const int32_t levels = d[FormatByteMipCount] < 1 ? 1 : d[FormatByteMipCount];
      const bool exact = pieces == 1 && TexturePlan.width[0] == width && TexturePlan.height[0] == height;
      if (!exact || (levels > 1 && mipCount < levels)) d[FormatByteDxt] = 0;
    }
  }
  const int32_t bytes = static_cast<int32_t>(sizeof(OriginalImage) + sizeof(TextureEntry) * static_cast<size_t>(pieces));
  auto* image = static_cast<OriginalImage*>(TrackedCalloc(bytes, __FILE__, __LINE__));
  if (image == nullptr)
    return FailAndDelete(handle, "グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
  image->description = d;
  image->drawable = NewGraphSettings.drawable == 1 && d[FormatByteRenderTarget] != 0 ? 1 : 0;
  image->transparentColour = DrawSettings.transparentColour;
  image->width = width;
  image->height = height;
  image->refCount = 1;
  record->image = image;
  record->x = 0;
  record->y = 0;
  record->width = width;
  record->height = height;

  if (direct3D) {
    image->formatIndex = GetTransferFormatIndex(d);
    image->mipCount = d[FormatByteMipCount];
    image->textureCount = pieces;
    TextureEntry* entries = ImageEntries(image);
    for (int32_t k = 0; k < pieces; ++k) {
      TextureEntry& e = entries[k];
      e.x = TexturePlan.x[static_cast<size_t>(k)];
      e.y = TexturePlan.y[static_cast<size_t>(k)];
      e.textureWidth = TexturePlan.width[static_cast<size_t>(k)];
      e.textureHeight = TexturePlan.height[static_cast<size_t>(k)];
      e.areaWidth = width - e.x < e.textureWidth ? width - e.x : e.textureWidth;
      e.areaHeight = height - e.y < e.textureHeight ? height - e.y : e.textureHeight;
    }
    RefreshImageMirrors(image);
    if (CreateOriginalImageTextures(image) < 0 || BuildGraphDrawInfo(handle) < 0)
      return FailAndDelete(handle, nullptr);
    return 0;
  }

  const int32_t bits32 = d[FormatByteColourBits] != 16 ? 1 : 0;
  if (d[FormatByteBlendImage]) {
    if (CreateMemImg(&image->memImg, width, height, -1, 0, MemImgByte, 0, 0, 0, nullptr) < 0)
      return FailAndDelete(handle, "ブレンド画像用メモリイメージの作成に失敗しました\n");
  } else {
    image->formatIndex = 15 + bits32 * 2 + (d[FormatByteAlpha] ? 1 : 0);
    uint32_t transparent = 0xFFFF;
    if (!d[FormatBytePalette]) {
      const uint32_t c = image->transparentColour;
      transparent = PackColorToPixel(GetMemImgColorFormat(static_cast<uint32_t>(bits32), d[FormatByteAlpha], 0),
                                     static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                                     static_cast<int>(c & 0xFF), 255);
    }
    if (CreateMemImg(&image->memImg, width, height, -1, transparent, static_cast<uint32_t>(bits32),
                     d[FormatBytePalette], d[FormatByteAlpha], 0, nullptr) < 0)
      return FailAndDelete(handle, "メモリイメージの作成に失敗しました\n");
  }
  RefreshImageMirrors(image);
  if (BuildGraphDrawInfo(handle) < 0) return FailAndDelete(handle, nullptr);
  return 0;
}

int CreateOriginalImageTextures(OriginalImage* image) {
  if (image->description[FormatByteTexture] == 0) return 0;
  const TextureDeviceOps* ops = CurrentTextureOps();
  if (ops == nullptr) return -1;
  const uint32_t format = DeviceFormatTable[static_cast<size_t>(image->formatIndex)];
  if (format == 0) return WriteLog("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
  const GraphFormatDescription& d = image->description;
  const bool renderTarget = d[FormatByteRenderTarget] != 0;
  const bool defaultPool = d[FormatByteDefaultPool] != 0;
  TextureEntry* entries = ImageEntries(image);
  for (int32_t k = 0; k < image->textureCount; ++k) {
    TextureEntry& e = entries[k];
    if (e.texture != nullptr) continue;
    // No mip levels (0) is one level; a device refuses more levels than halvings.
    int32_t levels = image->mipCount < 1 ? 1 : image->mipCount;
    const int32_t chain = FullChainLevels(e.textureWidth, e.textureHeight);
    if (levels > chain) levels = chain;
    void* texture = nullptr;
    if (ops->createTexture(GraphicsDevice.device, e.textureWidth, e.textureHeight, levels, renderTarget ? 1 : 0,
                           format, defaultPool ? 1 : 0, &texture) < 0 ||
        texture == nullptr) {
      RefreshImageMirrors(image);
      return WriteLog("テクスチャの作成に失敗しました\n");
    }
    e.texture = texture;
    ops->getSurfaceLevel(texture, 0, &e.surface);
    if (renderTarget) {
      ops->colourFill(GraphicsDevice.device, e.surface, nullptr, 0);
    } else if (!defaultPool && DxtKindOfD3DFormat(format) == 0) {
      int32_t rows = e.textureHeight;
      for (int32_t level = 0; level < levels; ++level, rows = rows > 1 ? rows / 2 : 1) {
        LockedArea area{};
        if (ops->lockTexture(texture, level, nullptr, 0, &area) < 0) continue;
        std::memset(area.bits, 0, static_cast<size_t>(area.pitch) * static_cast<size_t>(rows));
        ops->unlockTexture(texture, level);
      }
    }
  }
  RefreshImageMirrors(image);
  return 0;
}

int ReleaseOriginalImageTextures(OriginalImage* image) {
  if (image->description[FormatByteTexture] == 0) return 0;
  TextureEntry* entries = ImageEntries(image);
  for (int32_t k = 0; k < image->textureCount; ++k) {
    ReleaseObject(entries[k].surface);
    ReleaseObject(entries[k].texture);
  }
  RefreshImageMirrors(image);
  return 0;
}

int ReleaseGraphImageExtras(OriginalImage* image) {
  if (image->description[FormatByteRenderTarget] == 0) return 0;
  if (image->description[FormatByteTexture] != 0) {
    TextureEntry* entries = ImageEntries(image);
    for (int32_t k = 0; k < image->textureCount; ++k) ReleaseObject(entries[k].companion);
  } else if (image->extraImage != nullptr) {
    ReleaseMemImg(image->extraImage);
    TrackedFree(image->extraImage);
    image->extraImage = nullptr;
  }
  return 0;
}

namespace {

template <typename Fn>
void ForEachGraphImage(Fn&& fn) {
  for (int32_t slot = 0; slot < GraphTable.highWater; ++slot) {
    GraphRecord* record = GraphTable.slots[static_cast<size_t>(slot)];
    if (record != nullptr && record->image != nullptr) fn(record->image);
  }
}

}  // namespace

int ReleaseAllGraphTextures() {
  ForEachGraphImage([](OriginalImage* image) {
    ReleaseGraphImageExtras(image);
    ReleaseOriginalImageTextures(image);
  });
  return 0;
}

int RecreateAllGraphTextures() {
  ForEachGraphImage([](OriginalImage* image) { CreateOriginalImageTextures(image); });
  return 0;
}

void FreeOriginalImage(OriginalImage* image) {
  ReleaseGraphImageExtras(image);
  if (image->description[FormatByteTexture] != 0) {
    ReleaseOriginalImageTextures(image);
  } else {
    ReleaseMemImg(&image->memImg);
  }
  TrackedFree(image);
}

void FlushDrawsOfImage(const OriginalImage* image) {
  if (image == nullptr || image->description[FormatByteTexture] == 0 || VertexBatch.pendingCount == 0 ||
      !HasDevice())
    return;
  const DeviceStateCacheRecord& c = DeviceStateCache;
  const TextureEntry* entries = ImageEntries(image);
  for (int32_t k = 0; k < image->textureCount; ++k) {
    const void* texture = entries[k].texture;
    if (texture == nullptr) continue;
    bool used = texture == c.drawTexture || texture == c.blendTexture;
    for (const void* bound : c.textures) used = used || texture == bound;
    if (used) {
      FlushVertexBatch();
      return;
    }
  }
}

int BuildGraphDrawInfo(int32_t handle) {
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr || record->image == nullptr) return -1;
  OriginalImage* image = record->image;
  if (image->description[FormatByteTexture] == 0) {
    // The software record holds its view in place; only a rebuild drops the old one.
    ReleaseMemImg(&record->memImg);
    MakeMemImgView(&record->memImg, &image->memImg, record->x, record->y, record->width, record->height);
    return IsValidMemImg(&record->memImg) ? 0 : -1;
  }

  const int32_t gx = record->x, gy = record->y, gw = record->width, gh = record->height;
  auto overlaps = [&](const TextureEntry& e) {
    const bool alongX = gx < e.x ? e.x < gx + gw : gx < e.x + e.areaWidth;
    const bool alongY = gy < e.y ? e.y < gy + gh : gy < e.y + e.areaHeight;
    return alongX && alongY;
  };
  TextureEntry* entries = ImageEntries(image);
  int32_t used = 0;
  for (int32_t k = 0; k < image->textureCount; ++k) used += overlaps(entries[k]) ? 1 : 0;
  if (used == 0) return WriteLog("テクスチャ描画情報の作成に失敗しました\n");

  const int32_t bytes = static_cast<int32_t>(sizeof(GraphRecord) + sizeof(TexturePiece) * static_cast<size_t>(used));
  auto* grown = static_cast<GraphRecord*>(TrackedRealloc(record, bytes, __FILE__, __LINE__));
  if (grown == nullptr) return WriteLog("画像描画情報格納用メモリの確保に失敗しました\n");
  record = grown;
  GraphTable.slots[static_cast<size_t>(HandleSlot(handle))] = record;
  record->pieceCount = used;

  TexturePiece* piece = GraphPieces(record);
  const double slope = static_cast<double>(gh) / static_cast<double>(gw);
  for (int32_t k = 0; k < image->textureCount; ++k) {
    TextureEntry& e = entries[k];
    if (!overlaps(e)) continue;
    TexturePiece p{};
    if (gx < e.x) {
      p.destX = e.x - gx;
      p.sourceX = 0;
      p.width = gx + gw - e.x < e.areaWidth ? gx + gw - e.x : e.areaWidth;
    } else {
      p.destX = 0;
      p.sourceX = gx - e.x;
      p.width = e.x + e.areaWidth - gx < gw ? e.x + e.areaWidth - gx : gw;
    }
    if (gy < e.y) {
      p.destY = e.y - gy;
      p.sourceY = 0;
      p.height = gy + gh - e.y < e.areaHeight ? gy + gh - e.y : e.areaHeight;
    } else {
      p.destY = 0;
      p.sourceY = gy - e.y;
      p.height = e.y + e.areaHeight - gy < gh ? e.y + e.areaHeight - gy : gh;
    }
    const float tw = static_cast<float>(e.textureWidth);
    const float th = static_cast<float>(e.textureHeight);
    for (int32_t c = 0; c < 4; ++c) {
      const bool right = (c & 1) != 0;
      const bool bottom = (c & 2) != 0;
      PieceCorner& corner = p.corners[static_cast<size_t>(c)];
      corner.x = static_cast<float>(p.destX + (right ? p.width : 0));
      corner.y = static_cast<float>(p.destY + (bottom ? p.height : 0));
      corner.u = static_cast<float>(p.sourceX + (right ? p.width : 0)) / tw;
      corner.v = static_cast<float>(p.sourceY + (bottom ? p.height : 0)) / th;
      p.cornerFlags[static_cast<size_t>(c)] =
          static_cast<double>(corner.y) <= gh - slope * static_cast<double>(corner.x) ? 1 : 0;
    }
    p.entry = &e;
    *piece++ = p;
  }
  return 0;
}

}  // namespace quelt
