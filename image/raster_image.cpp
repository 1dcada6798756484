#include "image/raster_image.h"

#include <cstring>

#include "core/tracked_alloc.h"

namespace quelt {
namespace {

int AllocPixelsFor(int32_t width, int32_t height, RasterImage* image) {
  image->pixels = nullptr;
  if (width < 0 || height < 0) return -1;
  const int64_t pitch = (int64_t{width} * image->format.bytesPerPixel + 3) / 4 * 4;
  if (pitch > INT32_MAX) return -1;
  const int64_t size = pitch * height;
  if (size > kMaxPixelBlockBytes) return -1;
  image->pitch = static_cast<int32_t>(pitch);
  image->width = width;
  image->height = height;
  // A zero-sized image still gets a block, so that `pixels` marks it as allocated.
  image->pixels = static_cast<uint8_t*>(
      TrackedAlloc(static_cast<int32_t>(size > 0 ? size : 1), __FILE__, __LINE__));
  if (!image->pixels) return -1;
  image->mipCount = 0;
  return 0;
}

}  // namespace

int AllocRasterImage(int32_t width, int32_t height, const ColorFormat* format, RasterImage* image) {
  if (format == nullptr || image == nullptr) return -1;
  image->format = *format;
  return AllocPixelsFor(width, height, image);
}

int AllocArgb32Image(int32_t width, int32_t height, RasterImage* image) {
  if (image == nullptr) return -1;
  // The A8R8G8B8 fields only: palette and the informational unused fields stay.
  SetArgb32ColorFormat(&image->format);
  return AllocPixelsFor(width, height, image);
}

int AllocXrgb32Image(int32_t width, int32_t height, RasterImage* image) {
  if (image == nullptr) return -1;
  SetXrgb32ColorFormat(&image->format);
  return AllocPixelsFor(width, height, image);
}

int FreeRasterImage(RasterImage* image) {
  if (image == nullptr) return -1;
  if (image->pixels) TrackedFree(image->pixels);
  std::memset(image, 0, sizeof(*image));
  return 0;
}

}  // namespace quelt
