// The BMP variants the reader does not decode itself (1, 16 and 32 bits, bit fields) are
// drawn by GDI into a 24-bit top-down DIB section.
#include <windows.h>

#include <cstring>

#include "core/little_endian.h"
#include "core/log.h"
#include "core/tracked_alloc.h"
#include "image/bmp_internal.h"
#include "image/stream_reader.h"

namespace quelt {

int DrawBmpRowsTo24(const BmpHeaderBlock& header, const uint8_t* bits, size_t bitsBytes,
                    RasterImage* image) {
  const int32_t width = LoadLeS32(header.bytes + 4);
  const int32_t infoHeight = LoadLeS32(header.bytes + 8);
  const int bitCount = LoadLe16(header.bytes + 14);
  if (width <= 0 || infoHeight == 0 || infoHeight == INT32_MIN) return -1;
  const int32_t height = infoHeight < 0 ? -infoHeight : infoHeight;
  // GDI reads a whole row size x height from the bits: the reader padded them to that.
  const int64_t sourceRow = (int64_t{bitCount} * width + 31) / 32 * 4;
  if (sourceRow > kMaxPixelBlockBytes || int64_t{width} * 3 > kMaxPixelBlockBytes) return -1;
  if (static_cast<uint64_t>(sourceRow * height) > bitsBytes) return -1;
  if ((int64_t{width} * 3 + 3) / 4 * 4 * height > kMaxPixelBlockBytes) return -1;

  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return WriteLog("ＤＩＢの作成に失敗しました3\n");
  BITMAPINFO target = {};
  target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  target.bmiHeader.biWidth = width;
  target.bmiHeader.biHeight = -height;
  target.bmiHeader.biPlanes = 1;
  target.bmiHeader.biBitCount = 24;
  target.bmiHeader.biCompression = BI_RGB;
  void* dibBits = nullptr;
  HBITMAP dib = CreateDIBSection(dc, &target, DIB_RGB_COLORS, &dibBits, nullptr, 0);
  if (!dib || !dibBits) {
    if (dib) DeleteObject(dib);
    DeleteDC(dc);
    return WriteLog("ＤＩＢの作成に失敗しました3\n");
  }
  BITMAP info = {};
  GetObjectA(dib, sizeof(info), &info);
  HGDIOBJ old = SelectObject(dc, dib);
  const int drawn = SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                                      static_cast<UINT>(height), bits,
                                      reinterpret_cast<const BITMAPINFO*>(header.bytes), DIB_RGB_COLORS);
  GdiFlush();
  SelectObject(dc, old);
  DeleteDC(dc);
  if (drawn == 0) {
    DeleteObject(dib);
    return -1;
  }
  const int64_t rowSize = info.bmWidthBytes;
  const int64_t pitch = (rowSize + 3) / 4 * 4;
  auto* pixels = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(pitch * height), __FILE__, __LINE__));
  if (!pixels) {
    DeleteObject(dib);
    return WriteLog("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
  }
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(pixels + y * pitch, static_cast<const uint8_t*>(dibBits) + y * rowSize, static_cast<size_t>(rowSize));
  }
  DeleteObject(dib);
  SetRgb24ColorFormat(&image->format);
  image->pixels = pixels;
  image->width = width;
  image->height = height;
  image->pitch = static_cast<int32_t>(pitch);
  image->mipCount = 0;
  return 0;
}

}  // namespace quelt
