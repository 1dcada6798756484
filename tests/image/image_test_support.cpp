#include "image/image_test_support.h"

#include <cstdio>
#include <cstring>

namespace quelt_test {

MemoryDataStream::MemoryDataStream(const std::vector<uint8_t>& bytes) : bytes_(bytes) {
  stream_.ops = *quelt::GetMemoryStreamOps();
  stream_.handle = reinterpret_cast<quelt::StreamHandle>(
      quelt::OpenMemoryStream(bytes_.data(), static_cast<int32_t>(bytes_.size())));
}

MemoryDataStream::~MemoryDataStream() { quelt::CloseMemoryStream(stream_.handle); }

#ifndef _WIN32
namespace {

FILE* AsFile(quelt::FileHandle f) { return reinterpret_cast<FILE*>(f); }

quelt::FileHandle StdioOpen(const char* path, int32_t, int32_t, int32_t) {
  return reinterpret_cast<quelt::FileHandle>(std::fopen(path, "rb"));
}
int32_t StdioClose(quelt::FileHandle f) { return std::fclose(AsFile(f)) == 0 ? 0 : -1; }
int32_t StdioTell(quelt::FileHandle f) { return static_cast<int32_t>(std::ftell(AsFile(f))); }
int32_t StdioSeek(quelt::FileHandle f, int32_t offset, int32_t origin) {
  return std::fseek(AsFile(f), offset, origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END) == 0 ? 0 : -1;
}
int32_t StdioRead(void* dest, int32_t size, int32_t count, quelt::FileHandle f) {
  return static_cast<int32_t>(std::fread(dest, static_cast<size_t>(size), static_cast<size_t>(count), AsFile(f)));
}
int32_t StdioEof(quelt::FileHandle f) { return std::feof(AsFile(f)) ? -1 : 0; }
int32_t StdioIdle(quelt::FileHandle) { return 1; }

}  // namespace
#endif

void InstallTestFileAccess() {
#ifndef _WIN32
  quelt::FileAccessTable table = {};
  table.open = StdioOpen;
  table.close = StdioClose;
  table.tell = StdioTell;
  table.seek = StdioSeek;
  table.read = StdioRead;
  table.eof = StdioEof;
  table.idle = StdioIdle;
  quelt::SetFileAccessTable(&table);
#endif
}

int DecodeWith(int (*reader)(quelt::DataStream*, quelt::RasterImage*), const std::vector<uint8_t>& bytes,
               quelt::RasterImage* image) {
  MemoryDataStream stream(bytes);
  std::memset(image, 0, sizeof(*image));
  return reader(stream.get(), image);
}

uint32_t RawPixel(const quelt::RasterImage& image, int x, int y) {
  const uint8_t* p = image.pixels + static_cast<int64_t>(y) * image.pitch + x * image.format.bytesPerPixel;
  uint32_t v = 0;
  std::memcpy(&v, p, image.format.bytesPerPixel);
  return v;
}

void SurviveDamage(int (*reader)(quelt::DataStream*, quelt::RasterImage*), const std::vector<uint8_t>& bytes,
                   uint32_t seed) {
  quelt::RasterImage image;
  auto attempt = [&](const std::vector<uint8_t>& data) {
    if (DecodeWith(reader, data, &image) == 0) quelt::FreeRasterImage(&image);
  };
  for (size_t length = 0; length < bytes.size(); ++length) {
    attempt(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
  }
  for (int i = 0; i < 120 && !bytes.empty(); ++i) {
    std::vector<uint8_t> damaged = bytes;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1664525u + 1013904223u;
      // Mostly the headers, where the sizes and counts live.
      const size_t at = (seed >> 8) % (i % 2 ? damaged.size() : std::min<size_t>(damaged.size(), 160));
      damaged[at] = static_cast<uint8_t>(seed >> 24);
    }
    attempt(damaged);
  }
}

}  // namespace quelt_test
