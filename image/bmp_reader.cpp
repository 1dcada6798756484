// BMP files: 4 and 8-bit (plain and run-length coded) and 24-bit rows are decoded here;
// every other variant is drawn into 24 bits (DrawBmpRowsTo24).
#include <cstring>

#include "core/little_endian.h"
#include "core/tracked_alloc.h"
#include "image/bmp_internal.h"
#include "image/image_reader.h"
#include "image/stream_reader.h"

namespace quelt {
namespace {

constexpr int kFileHeaderBytes = 14;
constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3;
// Plain rows a file may lack and still be read, as zeros: a truncated end, or the padding
// of the last row that some writers leave out.
constexpr int64_t kMaxMissingRowBytes = 64 * 1024;
// Run-length data sets at most 255 pixels per 2-byte code. Pixels its codes never reach stay
// 0, but a file may leave only so many of them: up to kRleFreePixels in any case, beyond
// that no more than kRleUnreachedShare times what its data could set. A few hundred bytes
// claiming millions of rows is refused before a block of their size is made and cleared.
constexpr int64_t kRleMaxPixelsPerByte = 128;
constexpr int64_t kRleFreePixels = int64_t{1} << 22;
constexpr int64_t kRleUnreachedShare = 64;

struct BmpFile {
  BmpHeaderBlock header{};
  int32_t width = 0;
  int32_t height = 0;       // |info height|
  bool bottomUp = true;
  int bitCount = 0;
  uint32_t compression = 0;
  uint8_t* data = nullptr;  // pixel data from its offset, zero-padded to at least dataNeed
  size_t dataBytes = 0;     // bytes the file actually held
};

uint8_t* AllocBlock(int64_t bytes) {
  if (bytes < 0 || bytes > kMaxPixelBlockBytes) return nullptr;
  auto* p = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes > 0 ? bytes : 1), __FILE__, __LINE__));
  if (p) std::memset(p, 0, static_cast<size_t>(bytes > 0 ? bytes : 1));
  return p;
}

// Headers, colour table and pixel data. The palette follows the info header whatever its
// size; biClrUsed entries of it are read (all 2^bits when 0); bit-field masks are read only
// for bit-field files, from the header itself when it is large enough to hold them.
bool ReadBmpFile(const StreamReader& in, BmpFile& f) {
  const int64_t fileSize = in.Size();
  uint8_t fileHeader[kFileHeaderBytes];
  if (!in.ReadExact(fileHeader, kFileHeaderBytes)) return false;
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') return false;
  const uint32_t dataOffset = LoadLe32(fileHeader + 10);

  // Three header forms: the 12-byte OS/2 1.x core header (16-bit sizes, 3-byte palette
  // entries), the OS/2 2.x header (16 to 64 bytes, fields past its size read as 0) and the
  // Windows headers of 40 bytes and more. The core header is widened into the 40-byte form.
  uint8_t info[kBmpInfoHeaderBytes] = {};
  if (!in.ReadExact(info, 4)) return false;
  const uint32_t infoSize = LoadLe32(info);
  const bool core = infoSize == kBmpCoreHeaderBytes;
  const bool os2 = (infoSize >= 16 && infoSize < kBmpInfoHeaderBytes) || infoSize == kBmpOs2HeaderBytes;
  if (core) {
    uint8_t c[8];
    if (!in.ReadExact(c, 8)) return false;
    const uint32_t coreWidth = LoadLe16(c), coreHeight = LoadLe16(c + 2);
    std::memcpy(info + 4, &coreWidth, 4);
    std::memcpy(info + 8, &coreHeight, 4);
    std::memcpy(info + 12, c + 4, 4);  // planes and bit count
  } else {
    if (!os2 && (infoSize < kBmpInfoHeaderBytes || infoSize > 4096)) return false;
    const uint32_t rest = (infoSize < kBmpInfoHeaderBytes ? infoSize : kBmpInfoHeaderBytes) - 4;
    if (!in.ReadExact(info + 4, rest)) return false;
  }
  const int32_t width = LoadLeS32(info + 4);
  const int32_t infoHeight = LoadLeS32(info + 8);
  f.bitCount = LoadLe16(info + 14);
  f.compression = LoadLe32(info + 16);
  const uint32_t coloursUsed = LoadLe32(info + 32);
  // OS/2 2.x compression 3 is Huffman 1-D and 4 is RLE24, not bit fields and JPEG: refused.
  if (os2 && (f.compression == 3 || f.compression == 4)) return false;
  if (core && f.bitCount != 1 && f.bitCount != 4 && f.bitCount != 8 && f.bitCount != 24) return false;
  if (width <= 0 || infoHeight == 0 || infoHeight == INT32_MIN) return false;
  if (f.bitCount != 1 && f.bitCount != 4 && f.bitCount != 8 && f.bitCount != 16 &&
      f.bitCount != 24 && f.bitCount != 32) {
    return false;
  }
  f.width = width;
  f.height = infoHeight < 0 ? -infoHeight : infoHeight;
  f.bottomUp = infoHeight > 0;

  std::memcpy(f.header.bytes, info, kBmpInfoHeaderBytes);
  uint8_t* h = f.header.bytes;
  h[0] = kBmpInfoHeaderBytes;
  h[1] = h[2] = h[3] = 0;
  std::memset(h + 32, 0, 4);  // the colour table below is always complete
  uint8_t* colours = h + kBmpInfoHeaderBytes;
  if (f.compression == kBiBitFields) {
    // The three masks follow the 40 bytes read so far: after the info header itself, or
    // inside the larger headers, which keep them at the same offset.
    if (!in.ReadExact(colours, 12)) return false;
  } else if (core && f.bitCount <= 8) {
    // 3-byte entries, as many as fit before the pixel data (all 2^bits at most).
    const uint32_t maxEntries = 1u << f.bitCount;
    const int64_t room = (int64_t{dataOffset} - kFileHeaderBytes - kBmpCoreHeaderBytes) / 3;
    const uint32_t entries = room > 0 && room < maxEntries ? static_cast<uint32_t>(room) : maxEntries;
    uint8_t triples[256 * 3];
    if (!in.ReadExact(triples, int64_t{entries} * 3)) return false;
    for (uint32_t i = 0; i < maxEntries; ++i) {
      for (int k = 0; k < 3; ++k) colours[i * 4 + k] = i < entries ? triples[i * 3 + k] : 0;
      colours[i * 4 + 3] = 0;
    }
  } else if (f.bitCount <= 8) {
    const uint32_t maxEntries = 1u << f.bitCount;
    const uint32_t entries = coloursUsed == 0 || coloursUsed > maxEntries ? maxEntries : coloursUsed;
    if (!in.Seek(kFileHeaderBytes + int64_t{infoSize})) return false;
    if (!in.ReadExact(colours, int64_t{entries} * 4)) return false;
    for (uint32_t i = 0; i < maxEntries; ++i) colours[i * 4 + 3] = 0;
  }

  if (dataOffset > fileSize || !in.Seek(dataOffset)) return false;
  const int64_t available = fileSize - dataOffset;
  const int64_t rowBytes = (int64_t{f.bitCount} * f.width + 31) / 32 * 4;
  if (rowBytes > kMaxPixelBlockBytes) return false;
  const int64_t plainBytes = rowBytes * f.height;
  const bool rle = f.compression == kBiRle8 || f.compression == kBiRle4;
  // Plain rows shorter than the image are padded with zeros, never over-read; a file that
  // cannot hold its claimed rows is refused before a block of their size is made.
  if (!rle && plainBytes - available > kMaxMissingRowBytes) return false;
  const int64_t claimedPixels = int64_t{f.width} * f.height;
  if (rle && claimedPixels > kRleFreePixels &&
      claimedPixels / kRleUnreachedShare > available * kRleMaxPixelsPerByte)
    return false;
  const int64_t blockBytes = rle ? available : (available > plainBytes ? available : plainBytes);
  if (plainBytes > kMaxPixelBlockBytes || blockBytes > kMaxPixelBlockBytes) return false;
  f.data = AllocBlock(blockBytes);
  if (!f.data) return false;
  f.dataBytes = static_cast<size_t>(in.ReadSome(f.data, available));
  return true;
}

void SetFilePalette(ColorFormat* format, const BmpFile& f, int entries) {
  SetPaletteColorFormat(format);
  format->palette = {};
  const uint8_t* colours = f.header.bytes + kBmpInfoHeaderBytes;
  for (int i = 0; i < entries; ++i) {
    format->palette[i] = {colours[i * 4], colours[i * 4 + 1], colours[i * 4 + 2], 0};
  }
}

// Run-length coded 8 and 4-bit data into one index byte per pixel. Runs, literals and
// deltas are clipped to the image; decoding stops at the end of the data.
void DecodeRle(const BmpFile& f, uint8_t* out, int32_t pitch, bool fourBit) {
  const uint8_t* p = f.data;
  const uint8_t* end = f.data + f.dataBytes;
  int64_t row = 0;  // rows from the first decoded one
  int64_t x = 0;
  auto put = [&](int value) {
    if (row < f.height && x >= 0 && x < f.width) {
      const int64_t y = f.bottomUp ? f.height - 1 - row : row;
      out[y * pitch + x] = static_cast<uint8_t>(value);
    }
    ++x;
  };
  while (end - p >= 2 && row < f.height) {
    const int count = p[0], value = p[1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < f.width; ++i) {
        put(fourBit ? ((i & 1) ? value & 15 : value >> 4) : value);
      }
      continue;
    }
    if (value == 0) {  // end of line
      ++row;
      x = 0;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta: right and on by unsigned amounts
      if (end - p < 2) break;
      x += p[0];
      row += p[1];
      p += 2;
    } else {  // literal run
      const int64_t bytes = fourBit ? (value + 1) / 2 : value;
      const int64_t have = end - p < bytes ? end - p : bytes;
      for (int i = 0; i < value; ++i) {
        const int64_t at = fourBit ? i / 2 : i;
        if (at >= have) break;
        put(fourBit ? ((i & 1) ? p[at] & 15 : p[at] >> 4) : p[at]);
      }
      if (have < bytes) break;
      p += bytes + (bytes & 1);
      if (p > end) p = end;
    }
  }
}

int DecodeBmp(const BmpFile& f, RasterImage* image) {
  const int64_t rowBytes = (int64_t{f.bitCount} * f.width + 31) / 32 * 4;
  if (f.compression == kBiRle8 || f.compression == kBiRle4 ||
      (f.compression == kBiRgb && f.bitCount == 4)) {
    const int64_t pitch = (int64_t{f.width} + 3) / 4 * 4;
    uint8_t* out = AllocBlock(pitch * f.height);
    if (!out) return -1;
    if (f.compression == kBiRgb) {
      for (int32_t y = 0; y < f.height; ++y) {
        const uint8_t* s = f.data + (f.bottomUp ? f.height - 1 - y : y) * rowBytes;
        uint8_t* d = out + y * pitch;
        for (int32_t x = 0; x < f.width; ++x) d[x] = (x & 1) ? s[x / 2] & 15 : s[x / 2] >> 4;
      }
    } else {
      DecodeRle(f, out, static_cast<int32_t>(pitch), f.compression == kBiRle4);
    }
    SetFilePalette(&image->format, f, f.compression == kBiRle8 ? 256 : 16);
    image->pixels = out;
    image->pitch = static_cast<int32_t>(pitch);
  } else if (f.compression == kBiRgb && (f.bitCount == 8 || f.bitCount == 24)) {
    uint8_t* out = f.data;
    if (f.bottomUp) {
      out = AllocBlock(rowBytes * f.height);
      if (!out) return -1;
      for (int32_t y = 0; y < f.height; ++y) {
        std::memcpy(out + y * rowBytes, f.data + (f.height - 1 - y) * rowBytes,
                    static_cast<size_t>(rowBytes));
      }
    }
    if (f.bitCount == 8) {
      SetFilePalette(&image->format, f, 256);
    } else {
      SetRgb24ColorFormat(&image->format);
    }
    image->pixels = out;
    image->pitch = static_cast<int32_t>(rowBytes);
  } else {
    if (static_cast<uint64_t>(rowBytes * f.height) > f.dataBytes && f.compression != kBiRgb &&
        f.compression != kBiBitFields) {
      return -1;
    }
    const size_t bitsBytes =
        f.dataBytes > static_cast<size_t>(rowBytes * f.height) ? f.dataBytes
                                                               : static_cast<size_t>(rowBytes * f.height);
    if (DrawBmpRowsTo24(f.header, f.data, bitsBytes, image) != 0) return -1;
  }
  image->width = f.width;
  image->height = f.height;
  image->mipCount = 0;
  return 0;
}

}  // namespace

int ReadBmpImage(DataStream* stream, RasterImage* image) {
  const StreamReader in(stream);
  BmpFile f;
  if (!ReadBmpFile(in, f)) {
    if (f.data) TrackedFree(f.data);
    return -1;
  }
  const int result = DecodeBmp(f, image);
  // The read block is the image's own only for top-down 8 and 24-bit files.
  if (image->pixels != f.data || result != 0) TrackedFree(f.data);
  if (result != 0) image->pixels = nullptr;
  return result;
}

}  // namespace quelt
