// The engine's raw "BGRA" format: a 16-byte header, then rows of 8 or 16-bit channels.
#include <cstring>

#include "core/little_endian.h"
#include "core/tracked_alloc.h"
#include "image/image_reader.h"
#include "image/stream_reader.h"

namespace quelt {
namespace {
constexpr uint32_t kDepth8 = 0x08080808;
constexpr uint32_t kDepth16 = 0x10101010;
}  // namespace

int ReadBgraImage(DataStream* stream, RasterImage* image) {
  const StreamReader in(stream);
  uint8_t h[16];
  if (!in.ReadExact(h, 16) || std::memcmp(h, "BGRA", 4) != 0) return -1;
  const uint32_t depth = LoadLe32(h + 4);
  const int32_t width = LoadLeS32(h + 8), height = LoadLeS32(h + 12);
  if (depth != kDepth8 && depth != kDepth16) return -1;
  if (width <= 0 || height <= 0) return -1;
  const int64_t pitch = int64_t{width} * 4;
  if (pitch > kMaxPixelBlockBytes) return -1;
  const int64_t bytes = pitch * height;
  if (bytes > kMaxPixelBlockBytes) return -1;
  // A file shorter than it says is refused before a block of its claimed size is made.
  const int64_t need = depth == kDepth8 ? bytes : bytes * 2;
  if (in.Remaining() < need) return -1;
  auto* pixels = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes), __FILE__, __LINE__));
  if (!pixels) return -1;
  bool ok = true;
  if (depth == kDepth8) {
    ok = in.ReadExact(pixels, bytes);
  } else {
    uint8_t* wide = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(pitch * 2), __FILE__, __LINE__));
    ok = wide != nullptr;
    for (int32_t y = 0; ok && y < height; ++y) {
      ok = in.ReadExact(wide, pitch * 2);
      uint8_t* d = pixels + y * pitch;
      for (int64_t i = 0; ok && i < pitch; ++i) d[i] = wide[i * 2 + 1];  // high byte of each
    }
    if (wide) TrackedFree(wide);
  }
  if (!ok) {
    TrackedFree(pixels);
    return -1;
  }
  SetArgb32ColorFormat(&image->format);
  image->width = width;
  image->height = height;
  image->pitch = static_cast<int32_t>(pitch);
  image->pixels = pixels;
  image->mipCount = 0;
  return 0;
}

}  // namespace quelt
