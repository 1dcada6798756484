#include "graphics/graph_load.h"

#include <algorithm>
#include <cstring>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/numbers.h"
#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "file/path_names.h"
#include "graphics/device_formats.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/graphics_hooks.h"
#include "graphics/graphics_log.h"
#include "graphics/graphics_platform.h"
#include "graphics/original_image.h"
#include "graphics/original_image_device.h"
#include "graphics/pixel_transfer.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "image/color_format.h"
#include "image/image_load.h"
#include "image/image_ops.h"
#include "image/image_reader.h"
#include "softrender/memimg_draw.h"
#include "softrender/memimg_format.h"

namespace quelt {

namespace {

// A picture's software image gets a run table: drawn whole with transparency, its
// transparent runs are passed over. Without one (no memory) it is drawn the ordinary way.
void GiveRunTable(int32_t graph) {
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr || record->image == nullptr || record->image->description[FormatByteTexture] != 0) return;
  if (IsValidMemImg(&record->image->memImg)) AddMemImgRunTable(&record->image->memImg);
}

constexpr int32_t SourcePathBytes = 512;

void WaitWhileWindowInactive() {
  if (WindowActiveFlag == 0 && GraphicsPlatform.waitWhileInactive != nullptr) GraphicsPlatform.waitWhileInactive();
}

void DropSourceFile(GraphRecord* record) {
  GraphSourceFile* file = record->sourceFile;
  record->sourceFile = nullptr;
  if (file != nullptr && --file->refCount <= 0) TrackedFree(file);
}

// The top-left pixel as the transparent colour while the auto setting is on.
uint32_t TopLeftColour(const RasterImage& image) {
  if (image.width <= 0 || image.height <= 0 || image.pixels == nullptr || image.format.compression != 0)
    return DrawSettings.transparentColour;
  return ReadImagePixelArgb(&image, 0, 0) & 0xFFFFFF;
}

// The transparent-edge copy: transparent pixels next to an opaque one take its colour
// with alpha 0, so filtered edges do not bleed the transparent colour.
bool MakeEdgeFilledCopy(const RasterImage& image, RasterImage* copy) {
  if (image.pixels == nullptr || image.format.compression != 0) return false;
  if (AllocArgb32Image(image.width, image.height, copy) < 0) return false;
  const uint32_t key = DrawSettings.transparentColour & 0xFFFFFF;
  const bool hasAlpha = image.format.alphaWidth > 0;
  auto at = [&](int32_t x, int32_t y) -> uint32_t& {
    return *reinterpret_cast<uint32_t*>(copy->pixels + static_cast<int64_t>(y) * copy->pitch + x * 4);
  };
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const uint32_t argb = ReadImagePixelArgb(&image, x, y);
      const uint32_t rgb = argb & 0xFFFFFF;
      const uint32_t a = rgb == key ? 0 : (hasAlpha ? argb >> 24 : 255);
      at(x, y) = rgb | a << 24;
    }
  }
  static constexpr int32_t dx[4] = {-1, 0, 1, 0};
  static constexpr int32_t dy[4] = {0, -1, 0, 1};
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const uint32_t rgb = ReadImagePixelArgb(&image, x, y) & 0xFFFFFF;
      if (rgb == key) continue;
      for (int32_t n = 0; n < 4; ++n) {
        const int32_t nx = x + dx[n];
        const int32_t ny = y + dy[n];
        if (nx < 0 || ny < 0 || nx >= image.width || ny >= image.height) continue;
        if ((ReadImagePixelArgb(&image, nx, ny) & 0xFFFFFF) == key) at(nx, ny) = rgb;
      }
    }
  }
  return true;
}

}  // namespace

int32_t CreateBlankGraph(int32_t width, int32_t height) {
  WaitWhileWindowInactive();
  const int32_t graph = AllocateGraphHandle();
  if (CreateOriginalImage(graph, width, height, DrawSettings.newGraphAlpha, 0, 0, -1) < 0) return -1;
  return graph;
}

int32_t CreateGraphForImage(const RasterImage* image, const RasterImage* alpha) {
  if (ScreenState.started == 0 || image == nullptr) return -1;
  WaitWhileWindowInactive();
  if (alpha != nullptr && (alpha->width != image->width || alpha->height != image->height)) return -1;
  const int32_t graph = AllocateGraphHandle();
  const bool hasAlpha = alpha != nullptr || image->format.alphaWidth > 0;
  const bool palette = image->format.bytesPerPixel == 1 && image->format.alphaWidth == 0 && alpha == nullptr;
  if (CreateOriginalImage(graph, image->width, image->height, hasAlpha ? 1 : 0, palette ? 1 : 0,
                          static_cast<int32_t>(image->format.compression),
                          image->mipCount != 0 ? image->mipCount : -1) < 0)
    return -1;
  return graph;
}

int32_t CreateGraphFromRaster(RasterImage* image, RasterImage* alpha, int32_t /*spare*/, int32_t turn,
                              int32_t confirm) {
  if (image == nullptr) return -1;
  RasterImage edgeCopy{};
  RasterImage* source = image;
  if (NewGraphSettings.transparentEdge && MakeEdgeFilledCopy(*image, &edgeCopy)) source = &edgeCopy;
  RecomputeUnusedBits(&source->format);
  if (alpha != nullptr) RecomputeUnusedBits(&alpha->format);
  const uint32_t savedColour = DrawSettings.transparentColour;
  if (NewGraphSettings.autoTransparent == 1) DrawSettings.transparentColour = TopLeftColour(*source);
  const bool mirror = turn == 1 && confirm == 1;
  if (mirror) {
    MirrorImageRows(source);
    if (alpha != nullptr) MirrorImageRows(alpha);
  }
  const int32_t graph = CreateGraphForImage(source, alpha);
  if (graph >= 0) {
    TransferImageToGraphAt(nullptr, nullptr, nullptr, nullptr, 0, source, alpha, 0, 0, graph, 0);
    GiveRunTable(graph);
  }
  DrawSettings.transparentColour = savedColour;
  if (mirror) {
    MirrorImageRows(source);
    if (alpha != nullptr) MirrorImageRows(alpha);
  }
  if (source == &edgeCopy) FreeRasterImage(&edgeCopy);
  return graph;
}

int TransferImageToGraph(const ColorFormat* bitmapFormat, void* colourBitmap, void* maskBitmap, const char* fileName,
                         int32_t bitmapFlag, RasterImage* image, RasterImage* alpha, const PixelRect* sourceRect,
                         int32_t destX, int32_t destY, int32_t handle, int32_t turn) {
  if (ScreenState.started == 0 || sourceRect == nullptr) return -1;
  SetGraphSourceFile(handle, fileName, -1);
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr) return -1;
  record->sourceX = sourceRect->left - destX;
  record->sourceY = sourceRect->top - destY;
  record->turned = turn;
  const OriginalImage* image0 = record->image;
  const int32_t blend = image0 != nullptr ? image0->description[FormatByteBlendImage] : 0;
  return TransferToTextures(handle, bitmapFormat, colourBitmap, maskBitmap, sourceRect, destX, destY, bitmapFlag,
                            image, alpha, blend, 1, 0);
}

int TransferImageToGraphAt(const ColorFormat* bitmapFormat, void* colourBitmap, void* maskBitmap,
                           const char* fileName, int32_t bitmapFlag, RasterImage* image, RasterImage* alpha,
                           int32_t sourceX, int32_t sourceY, int32_t handle, int32_t turn) {
  const GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr) return -1;
  const PixelRect rect{sourceX, sourceY, sourceX + record->width, sourceY + record->height};
  return TransferImageToGraph(bitmapFormat, colourBitmap, maskBitmap, fileName, bitmapFlag, image, alpha, &rect, 0, 0,
                              handle, turn);
}

int TransferRasterToGraph(RasterImage* image, RasterImage* alpha, int32_t handle, int32_t /*spare*/, int32_t turn,
                          int32_t confirm) {
  if (image == nullptr) return -1;
  RecomputeUnusedBits(&image->format);
  if (alpha != nullptr) RecomputeUnusedBits(&alpha->format);
  int32_t width = 0;
  int32_t height = 0;
  if (QueryGraphDimensions(handle, &width, &height) < 0 || handle < 0) return -1;
  if (width != image->width || height != image->height) return -1;
  if (alpha != nullptr && (width != alpha->width || height != alpha->height)) return -1;
  const uint32_t savedColour = DrawSettings.transparentColour;
  if (NewGraphSettings.autoTransparent == 1) DrawSettings.transparentColour = TopLeftColour(*image);
  const bool mirror = turn == 1 && confirm == 1;
  if (mirror) {
    MirrorImageRows(image);
    if (alpha != nullptr) MirrorImageRows(alpha);
  }
  TransferImageToGraphAt(nullptr, nullptr, nullptr, nullptr, 0, image, alpha, 0, 0, handle, 0);
  DrawSettings.transparentColour = savedColour;
  if (mirror) {
    MirrorImageRows(image);
    if (alpha != nullptr) MirrorImageRows(alpha);
  }
  return 0;
}

int ReloadGraphFromMemory(const void* data, int32_t size, int32_t handle, const void* alphaData, int32_t alphaSize,
                          int32_t spare, int32_t turn) {
  RasterImage image{};
  RasterImage alpha{};
  const int loaded = LoadImageWithAlphaFile(nullptr, data, size, 1, alphaData, alphaSize, 1, &image, &alpha, 0);
  if (loaded < 0) return -1;
  RasterImage* alphaImage = loaded == 0 ? &alpha : nullptr;
  if (turn == 1) {
    MirrorImageRows(&image);
    if (alphaImage != nullptr) MirrorImageRows(alphaImage);
  }
  const int result = TransferRasterToGraph(&image, alphaImage, handle, spare, turn, 0);
  FreeRasterImage(&image);
  FreeRasterImage(&alpha);
  return result;
}

int SetGraphSourceFile(int32_t handle, const char* name, int32_t other) {
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr) return -1;
  DropSourceFile(record);
  if (name != nullptr) {
    char path[SourcePathBytes];
    // A name the full-path rules cannot place (or that does not fit) is kept as given,
    // within the same bound.
    if (MakeFullPath(name, path, nullptr) < 0) {
      const size_t length = strnlen(name, SourcePathBytes);
      if (length >= SourcePathBytes)
        return WriteLog("転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n");
      std::memcpy(path, name, length + 1);
    }
    const size_t length = std::strlen(path);
    auto* file = static_cast<GraphSourceFile*>(
        TrackedAlloc(static_cast<int32_t>(sizeof(int32_t) + length + 1 + 4), __FILE__, __LINE__));
    if (file == nullptr) return WriteLog("転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n");
    file->refCount = 1;
    std::memcpy(file->path, path, length + 1);
    record->sourceFile = file;
    return 0;
  }
  if (other == -1) return 0;
  GraphRecord* shared = GetGraphRecord(other);
  if (shared == nullptr) return -1;
  record->sourceFile = shared->sourceFile;
  if (record->sourceFile != nullptr) ++record->sourceFile->refCount;
  return 0;
}

int32_t OpenGraphFile(const char* path, int32_t spare, int32_t turn, int32_t surfaceMode) {
  if (ScreenState.started == 0 || path == nullptr) return -1;
  WaitWhileWindowInactive();
  RasterImage image{};
  RasterImage alpha{};
  const int loaded = LoadImageWithAlphaFile(path, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0);
  if (loaded >= 0) {
    RasterImage* alphaImage = loaded == 0 ? &alpha : nullptr;
    if (turn == 1) {
      MirrorImageRows(&image);
      if (alphaImage != nullptr) MirrorImageRows(alphaImage);
    }
    const int32_t graph = CreateGraphFromRaster(&image, alphaImage, spare, turn, 0);
    if (graph >= 0) {
      SetGraphSourceFile(graph, path, -1);
      // The reload reads the file mirrored as this load did.
      if (GraphRecord* record = GetGraphRecord(graph); record != nullptr) record->turned = turn == 1 ? 1 : 0;
    }
    FreeRasterImage(&image);
    FreeRasterImage(&alpha);
    return graph;
  }

  const FileHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) {
    WriteLogFormat("グラフィックファイル %s がありません", path);
    return -1;
  }
  uint8_t head[kPictureSignatureBytes] = {};
  const int32_t headBytes = FileAccessRead(head, 1, kPictureSignatureBytes, file);
  FileAccessClose(file);
  // A picture the readers refused is not handed to the movie road, where DirectShow could
  // spend seconds and gigabytes on it and go on after the open is given up.
  const bool picture = HasPictureSignature(head, headBytes);
  if (picture || GraphicsLayerHooks.openMovieGraph == nullptr)
    return WriteLogText("右記のグラフィックファイルのロードに失敗しました：%s \n", path);
  return GraphicsLayerHooks.openMovieGraph(path, surfaceMode);
}

void ReloadGraphsFromFiles() {
  WriteLog("グラフィックを復帰します\n");
  RasterImage image{};
  RasterImage alpha{};
  bool loaded = false;
  bool hasAlpha = false;
  char lastPath[SourcePathBytes] = {};
  int32_t lastTurn = -1;
  for (int32_t slot = 0; slot < GraphTable.highWater; ++slot) {
    const GraphRecord* record = GraphTable.slots[static_cast<size_t>(slot)];
    if (record == nullptr || record->sourceFile == nullptr) continue;
    const int32_t handle = record->handle;
    const int32_t turn = record->turned;
    const int32_t sx = record->sourceX;
    const int32_t sy = record->sourceY;
    char path[SourcePathBytes];
    const size_t length = strnlen(record->sourceFile->path, SourcePathBytes - 1);
    std::memcpy(path, record->sourceFile->path, length);
    path[length] = 0;
    if (!(loaded && turn == lastTurn && std::strcmp(path, lastPath) == 0)) {
      FreeRasterImage(&image);
      FreeRasterImage(&alpha);
      loaded = false;
      const int result = LoadImageWithAlphaFile(path, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, turn);
      std::memcpy(lastPath, path, length + 1);
      lastTurn = turn;
      if (result < 0) continue;
      loaded = true;
      hasAlpha = result == 0;
    }
    TransferImageToGraphAt(nullptr, nullptr, nullptr, path, 0, &image, hasAlpha ? &alpha : nullptr, sx, sy, handle,
                           turn);
  }
  FreeRasterImage(&image);
  FreeRasterImage(&alpha);
}

int GetDrawScreenGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t handle) {
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr || record->image == nullptr) return -1;
  if (ScreenState.hardware) {
    FlushVertexBatch();
    EndSceneIfOpen();
  }
  const int32_t screen = DrawSettings.drawScreen;
  GraphRecord* screenGraph = screen == DrawScreenBack || screen == DrawScreenFront ? nullptr : GetGraphRecord(screen);
  if (!(x1 >= 0 && x1 < x2 && y1 >= 0 && y1 < y2 && x2 <= DrawSettings.drawScreenWidth &&
        y2 <= DrawSettings.drawScreenHeight))
    return -1;
  const int32_t w = x2 - x1;
  const int32_t h = y2 - y1;
  if (record->width != w || record->height != h) return -1;

  OriginalImage* image = record->image;
  if (image->description[FormatByteTexture] == 0) {
    const MEMIMG* source = screenGraph != nullptr ? &screenGraph->memImg : &ScreenMemImg;
    const IntRect rect{x1, y1, x2, y2};
    CopyMemImgRect(&record->memImg, source, &rect, 0, 0);
    return 0;
  }

  const TextureDeviceOps* ops = CurrentTextureOps();
  if (ops == nullptr || image->textureCount == 0) return -1;
  void* source = nullptr;
  uint32_t sourceFormat = 0;
  if (screenGraph != nullptr && screenGraph->image != nullptr && screenGraph->image->textureCount > 0) {
    source = ImageEntries(screenGraph->image)[0].surface;
    sourceFormat = DeviceFormatTable[static_cast<size_t>(screenGraph->image->formatIndex)];
    // A sub graph's pixels lie at its place in the surface it shares with its parent.
    x1 += screenGraph->x;
    x2 += screenGraph->x;
    y1 += screenGraph->y;
    y2 += screenGraph->y;
  } else {
    source = GraphicsDevice.subBackBuffer != nullptr ? GraphicsDevice.subBackBuffer : GraphicsDevice.backBuffer;
    sourceFormat = GraphicsDevice.screenFormat;
  }
  if (source == nullptr) return -1;
  const PixelRect sourceRect{x1, y1, x2, y2};
  if (image->description[FormatByteRenderTarget]) {
    if (ImageEntries(image)[0].surface == nullptr) return -1;
    const PixelRect destRect{record->x, record->y, record->x + w, record->y + h};
    ops->stretchRect(GraphicsDevice.device, source, &sourceRect, ImageEntries(image)[0].surface, &destRect);
    return 0;
  }

  const ColorFormat* fromFormat = ColorFormatForD3DFormat(sourceFormat);
  const ColorFormat* toFormat = ColorFormatForD3DFormat(DeviceFormatTable[static_cast<size_t>(image->formatIndex)]);
  if (fromFormat == nullptr || toFormat == nullptr) return -1;
  void* target = nullptr;
  if (ops->createRenderTarget(GraphicsDevice.device, w, h, sourceFormat, &target) < 0 || target == nullptr)
    return WriteLog("GetDrawScreenGraph 用描画可能サーフェスの作成に失敗しました\n");
  void* system = nullptr;
  if (ops->createSystemSurface(GraphicsDevice.device, w, h, sourceFormat, &system) < 0 || system == nullptr) {
    ops->release(target);
    return WriteLog("GetDrawScreenGraph 用システムメモリサーフェスの作成に失敗しました\n");
  }
  ops->stretchRect(GraphicsDevice.device, source, &sourceRect, target, nullptr);
  ops->getRenderTargetData(GraphicsDevice.device, target, system);
  LockedArea from{};
  if (ops->lockSurface(system, nullptr, 1, &from) >= 0) {
    const TexturePiece* pieces = GraphPieces(record);
    for (int32_t k = 0; k < record->pieceCount; ++k) {
      const TexturePiece& p = pieces[k];
      const PixelRect t{p.sourceX, p.sourceY, p.sourceX + p.width, p.sourceY + p.height};
      LockedArea to{};
      if (p.entry->texture == nullptr || ops->lockTexture(p.entry->texture, 0, &t, 0, &to) < 0) continue;
      const PixelRect s{p.destX, p.destY, p.destX + p.width, p.destY + p.height};
      ConvertPixelRect(to.bits, to.pitch, toFormat, from.bits, from.pitch, fromFormat, nullptr, 0, nullptr, 0, 0, &s,
                       0, 1, image->transparentColour, 0, 0, 0, 0, 0);
      ops->unlockTexture(p.entry->texture, 0);
    }
    ops->unlockSurface(system);
  }
  ops->release(system);
  ops->release(target);
  return 0;
}

namespace {

// An ordinary texture takes the fill through locks of every level it has, so a filled graph
// shows its colour on both back ends. An image whose transparent colour became a zero
// alpha keeps that rule: filled with that colour it is transparent where that is honoured
// (as it is with alpha 0, which the font cache asks for).
void FillTexturePieces(const GraphRecord* record, const TextureDeviceOps* ops, int32_t red, int32_t green,
                       int32_t blue, int32_t alpha) {
  const OriginalImage* image = record->image;
  const uint32_t deviceFormat = DeviceFormatTable[static_cast<size_t>(image->formatIndex)];
  const ColorFormat* format = ColorFormatForD3DFormat(deviceFormat);
  if (format == nullptr || DxtKindOfD3DFormat(deviceFormat) != 0) return;
  if (image->description[FormatByteAlphaTest] != 0) {
    const uint32_t rgb = static_cast<uint32_t>(red << 16 | green << 8 | blue);
    if (rgb == (image->transparentColour & 0xFFFFFF)) alpha = 0;
  }
  const uint32_t pixel = PackColorToPixel(format, red, green, blue, alpha);
  const int32_t bytes = format->bitDepth / 8;
  const TexturePiece* pieces = GraphPieces(const_cast<GraphRecord*>(record));
  for (int32_t k = 0; k < record->pieceCount; ++k) {
    const TexturePiece& p = pieces[k];
    if (p.entry->texture == nullptr) continue;
    const int32_t levels = std::min(std::max(1, image->mipCount),
                                    MipLevelsForSetting(-1, p.entry->textureWidth, p.entry->textureHeight));
    for (int32_t level = 0; level < levels; ++level) {
      PixelRect rect{p.sourceX >> level, p.sourceY >> level, (p.sourceX + p.width) >> level,
                     (p.sourceY + p.height) >> level};
      if (rect.right == rect.left) rect.right = rect.left + 1;
      if (rect.bottom == rect.top) rect.bottom = rect.top + 1;
      LockedArea area{};
      if (ops->lockTexture(p.entry->texture, level, &rect, 0, &area) < 0 || area.bits == nullptr) continue;
      for (int32_t y = 0; y < rect.bottom - rect.top; ++y) {
        uint8_t* row = area.bits + static_cast<ptrdiff_t>(y) * area.pitch;
        for (int32_t x = 0; x < rect.right - rect.left; ++x) std::memcpy(row + x * bytes, &pixel, static_cast<size_t>(bytes));
      }
      ops->unlockTexture(p.entry->texture, level);
    }
  }
}

}  // namespace

int FillGraphColour(int32_t handle, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  GraphRecord* record = GetGraphRecord(handle);
  if (record == nullptr || record->image == nullptr) return -1;
  red = ClampToByte(red);
  green = ClampToByte(green);
  blue = ClampToByte(blue);
  alpha = ClampToByte(alpha);
  OriginalImage* image = record->image;
  if (image->description[FormatByteTexture] == 0) {
    const IntRect rect{0, 0, record->width, record->height};
    MemImgFillRect(&record->memImg, &rect, MakeScreenColourCode(red, green, blue));
    return 0;
  }
  const TextureDeviceOps* ops = CurrentTextureOps();
  if (ops == nullptr) return -1;
  FlushDrawsOfImage(image);
  if (image->description[FormatByteRenderTarget] == 0) {
    FillTexturePieces(record, ops, red, green, blue, alpha);
    return 0;
  }
  const uint32_t colour = static_cast<uint32_t>(alpha) << 24 | static_cast<uint32_t>(red) << 16 |
                          static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue);
  const TexturePiece* pieces = GraphPieces(record);
  for (int32_t k = 0; k < record->pieceCount; ++k) {
    const TexturePiece& p = pieces[k];
    if (p.entry->surface == nullptr) continue;
    const PixelRect rect{p.sourceX, p.sourceY, p.sourceX + p.width, p.sourceY + p.height};
    ops->colourFill(GraphicsDevice.device, p.entry->surface, &rect, colour);
  }
  return 0;
}

}  // namespace quelt
