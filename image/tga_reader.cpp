// TGA files of types 1 and 9 (colour-mapped, one-byte indices) and 2 and 10 (true colour),
// 16, 24 or 32 bits, plain or run-length coded, in any of the four orientations.
#include <array>
#include <cstring>

#include "core/little_endian.h"
#include "core/tracked_alloc.h"
#include "image/image_reader.h"
#include "image/stream_reader.h"

namespace quelt {
namespace {

constexpr int kHeaderBytes = 18;
constexpr int kFooterBytes = 26;
constexpr int32_t kMaxSide = 8192;

uint8_t* AllocZeroed(int64_t bytes) {
  if (bytes <= 0 || bytes > kMaxPixelBlockBytes) return nullptr;
  auto* p = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes), __FILE__, __LINE__));
  if (p) std::memset(p, 0, static_cast<size_t>(bytes));
  return p;
}

bool HasPlainFooter(const StreamReader& in, int64_t size) {
  if (size < kFooterBytes || !in.Seek(size - kFooterBytes)) return false;
  uint8_t footer[kFooterBytes];
  if (!in.ReadExact(footer, kFooterBytes)) return false;
  return std::memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0 && LoadLe32(footer) == 0;
}

// Run-length packets into `count` elements of `unit` bytes; a packet is clipped to what the
// image still needs and decoding stops at the end of the data.
void DecodeRlePackets(const uint8_t* p, const uint8_t* end, uint8_t* out, int64_t count, int unit) {
  int64_t written = 0;
  while (written < count && p < end) {
    const int header = *p++;
    int64_t run = (header & 0x7F) + 1;
    if (run > count - written) run = count - written;
    if (header & 0x80) {
      if (end - p < unit) return;
      for (int64_t i = 0; i < run; ++i) std::memcpy(out + (written + i) * unit, p, unit);
      p += unit;
    } else {
      const int64_t have = (end - p) / unit;
      const int64_t take = run < have ? run : have;
      std::memcpy(out + written * unit, p, static_cast<size_t>(take * unit));
      p += take * unit;
      if (take < run) return;
    }
    written += run;
  }
}

void SetTgaFormat(ColorFormat* format, int depth) {
  if (depth == 16) {
    SetMaskColorFormat(format, 16, 0x7C00, 0x3E0, 0x1F, 0);
  } else if (depth == 24) {
    SetMaskColorFormat(format, 24, 0xFF0000, 0xFF00, 0xFF, 0);
  } else {
    SetMaskColorFormat(format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  }
}

}  // namespace

int ReadTgaImage(DataStream* stream, RasterImage* image) {
  const StreamReader in(stream);
  const int64_t size = in.Size();
  const bool footer = HasPlainFooter(in, size);
  if (!in.Seek(0)) return -1;
  uint8_t h[kHeaderBytes];
  if (!in.ReadExact(h, kHeaderBytes)) return -1;
  const int idLength = h[0], mapType = h[1], type = h[2];
  const int mapFirst = LoadLe16(h + 3), mapLength = LoadLe16(h + 5), mapEntryBits = h[7];
  const int xOrigin = LoadLe16(h + 8), yOrigin = LoadLe16(h + 10);
  const int32_t width = LoadLe16(h + 12), height = LoadLe16(h + 14);
  const int pixelBits = h[16], descriptor = h[17];
  if (type != 1 && type != 2 && type != 9 && type != 10) return -1;
  if (xOrigin != 0 || yOrigin != 0) return -1;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return -1;
  const bool mapped = type == 1 || type == 9;
  const bool rle = type == 9 || type == 10;
  const int depth = mapped ? mapEntryBits : pixelBits;
  if (depth != 16 && depth != 24 && depth != 32) return -1;
  // The colour map holds 256 entries and indices are one byte.
  if (mapped && (pixelBits != 8 || mapType != 1 || mapFirst + mapLength > 256)) return -1;
  if (!in.Skip(idLength)) return -1;

  const int bytes = depth / 8;
  std::array<uint8_t, 256 * 4> map{};
  if (mapped) {
    if (!in.ReadExact(map.data() + mapFirst * bytes, int64_t{mapLength} * bytes)) return -1;
  } else if (mapType == 1) {
    // A colour map in a true-colour file is not used, but its bytes precede the pixels.
    if (!in.Skip(int64_t{mapLength} * ((mapEntryBits + 7) / 8))) return -1;
  }

  const int64_t pixels = int64_t{width} * height;
  const int unit = mapped ? 1 : bytes;
  if (!rle && in.Remaining() < pixels * unit) return -1;
  uint8_t* stored = AllocZeroed(pixels * unit);
  if (!stored) return -1;
  if (rle) {
    const int64_t dataEnd = size - (footer ? kFooterBytes : 0);
    const int64_t available = dataEnd - in.Tell();
    if (available <= 0) {
      TrackedFree(stored);
      return -1;
    }
    uint8_t* data = AllocZeroed(available);
    if (!data) {
      TrackedFree(stored);
      return -1;
    }
    const int64_t got = in.ReadSome(data, available);
    DecodeRlePackets(data, data + got, stored, pixels, unit);
    TrackedFree(data);
  } else if (!in.ReadExact(stored, pixels * unit)) {
    TrackedFree(stored);
    return -1;
  }

  uint8_t* block = stored;
  if (mapped) {
    block = AllocZeroed(pixels * bytes);
    if (!block) {
      TrackedFree(stored);
      return -1;
    }
    for (int64_t i = 0; i < pixels; ++i) std::memcpy(block + i * bytes, map.data() + stored[i] * bytes, bytes);
    TrackedFree(stored);
  }
  const bool topFirst = (descriptor & 0x20) != 0;
  const bool rightToLeft = (descriptor & 0x10) != 0;
  const int64_t pitch = int64_t{width} * bytes;
  if (!topFirst || rightToLeft) {
    uint8_t* turned = AllocZeroed(pitch * height);
    if (!turned) {
      TrackedFree(block);
      return -1;
    }
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* s = block + (topFirst ? y : height - 1 - y) * pitch;
      uint8_t* d = turned + y * pitch;
      if (rightToLeft) {
        for (int32_t x = 0; x < width; ++x) std::memcpy(d + x * bytes, s + (width - 1 - x) * bytes, bytes);
      } else {
        std::memcpy(d, s, static_cast<size_t>(pitch));
      }
    }
    TrackedFree(block);
    block = turned;
  }
  SetTgaFormat(&image->format, depth);
  image->width = width;
  image->height = height;
  image->pitch = static_cast<int32_t>(pitch);
  image->pixels = block;
  image->mipCount = 0;
  return 0;
}

}  // namespace quelt
