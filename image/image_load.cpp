#include "image/image_load.h"

#include <cstring>

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "image/image_ops.h"
#include "image/image_reader.h"
#include "image/pixel_convert.h"

namespace quelt {
namespace {

// The turn option: the whole image mirrored left to right into a new block. The new block
// holds the top level only, so the image no longer claims the source's mip levels.
int MirrorWholeImage(RasterImage* image) {
  if (DecodeCompressedTexture(image) != 0) return -1;
  const int64_t bytes = int64_t{image->pitch} * image->height;
  if (bytes > kMaxPixelBlockBytes) return -1;
  auto* mirrored =
      static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes > 0 ? bytes : 1), __FILE__, __LINE__));
  if (!mirrored) return -1;
  const PixelRect rect{0, 0, image->width, image->height};
  ConvertPixelRect(mirrored, image->pitch, &image->format, image->pixels, image->pitch,
                   &image->format, nullptr, 0, nullptr, 0, 0, &rect, 1, 0, 0, 0, 0, 0, 0, 0);
  TrackedFree(image->pixels);
  image->pixels = mirrored;
  image->mipCount = 0;
  return 0;
}

int HandOutDib(RasterImage* image, void** dibHeaderOut, uint8_t** dibBitsOut) {
  if (DecodeCompressedTexture(image) != 0) return -1;
  void* header = TrackedAlloc(kDibHeaderBlockBytes, __FILE__, __LINE__);
  if (!header) return -1;
  uint8_t* bits = nullptr;
  const int result = ImageToDibBits(image, header, &bits, 0, 0);
  if (result == -1) {
    TrackedFree(header);
    return -1;
  }
  if (result == 1) {
    TrackedFree(image->pixels);
    image->pixels = nullptr;
  }
  // Otherwise the bits are the image's own block, which the caller now owns.
  if (dibHeaderOut) *dibHeaderOut = header;
  else TrackedFree(header);
  if (dibBitsOut) *dibBitsOut = bits;
  return 0;
}

}  // namespace

int LoadRasterImageEx(const char* path, const void* memoryBlock, int32_t memorySize, int memoryFlag,
                      int dibFlag, int turn, RasterImage* image, void** dibHeaderOut,
                      uint8_t** dibBitsOut) {
  DataStream stream{};
  MemoryStream* memory = nullptr;
  FileHandle file = 0;
  if (memoryFlag == 1) {
    if (memorySize < 0 || (!memoryBlock && memorySize > 0)) return -1;
    memory = OpenMemoryStream(memoryBlock, memorySize);
    if (!memory) return -1;
    stream.ops = *GetMemoryStreamOps();
    stream.handle = reinterpret_cast<StreamHandle>(memory);
  } else {
    if (!path) return -1;
    file = FileAccessOpen(path, 0, 1, 0);
    if (file == 0) return -1;
    stream.ops = *GetFileStreamOps();
    stream.handle = file;
  }

  RasterImage local;
  int result = TryImageReaders(&stream, &local);
  if (memory) CloseMemoryStream(stream.handle);
  if (result == 0 && turn == 1 && MirrorWholeImage(&local) != 0) {
    FreeRasterImage(&local);
    result = -1;
  }
  if (result == 0) {
    if (dibFlag == 1) {
      if (HandOutDib(&local, dibHeaderOut, dibBitsOut) != 0) {
        FreeRasterImage(&local);
        result = -1;
      }
    } else {
      *image = local;
    }
  }
  if (file) FileAccessClose(file);
  return result;
}

int LoadRasterImage(const char* path, const void* memoryBlock, int32_t memorySize, int memoryFlag,
                    RasterImage* image, int turn) {
  return LoadRasterImageEx(path, memoryBlock, memorySize, memoryFlag, 0, turn, image, nullptr,
                           nullptr);
}

int MakeAlphaFileName(const char* path, char* out) {
  const size_t length = std::strlen(path);
  if (length + 3 > kAlphaNameBufferBytes) return -1;
  // The last dot anywhere in the path, a folder's included.
  const char* dot = std::strrchr(path, '.');
  const size_t stem = dot ? static_cast<size_t>(dot - path) : length;
  std::memcpy(out, path, stem);
  std::memcpy(out + stem, "_a", 2);
  std::memcpy(out + stem + 2, path + stem, length - stem + 1);
  return 0;
}

int LoadImageWithAlphaFile(const char* path, const void* memoryBlock, int32_t memorySize,
                           int memoryFlag, const void* alphaBlock, int32_t alphaSize,
                           int alphaMemoryFlag, RasterImage* image, RasterImage* alphaImage,
                           int turn) {
  if (LoadRasterImageEx(path, memoryBlock, memorySize, memoryFlag, 0, turn, image, nullptr,
                        nullptr) != 0) {
    return -1;
  }
  if (alphaMemoryFlag == 1 && !alphaBlock) return 1;
  if (alphaMemoryFlag != 0 && alphaMemoryFlag != 1) return 1;
  char alphaName[kAlphaNameBufferBytes];
  const char* alphaPath = nullptr;
  if (path && alphaMemoryFlag == 0) {
    if (MakeAlphaFileName(path, alphaName) != 0) return 1;
    alphaPath = alphaName;
  }
  if (alphaMemoryFlag == 0 && !alphaPath) return 1;
  RasterImage loaded;
  if (LoadRasterImageEx(alphaPath, alphaBlock, alphaSize, alphaMemoryFlag, 0, turn, &loaded,
                        nullptr, nullptr) != 0) {
    return 1;
  }
  *alphaImage = loaded;
  return 0;
}

}  // namespace quelt
