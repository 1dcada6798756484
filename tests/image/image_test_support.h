#pragma once
// Streams and file access for the image tests.
#include <cstdint>
#include <vector>

#include "file/file_access.h"
#include "image/raster_image.h"

namespace quelt_test {

// A DataStream over its own copy of a memory block, closed when it goes.
class MemoryDataStream {
 public:
  explicit MemoryDataStream(const std::vector<uint8_t>& bytes);
  ~MemoryDataStream();
  quelt::DataStream* get() { return &stream_; }

 private:
  std::vector<uint8_t> bytes_;
  quelt::DataStream stream_{};
};

// The native build's file-access table is empty: this installs one over stdio. The Windows
// build keeps the engine's own set.
void InstallTestFileAccess();

// Decodes bytes through one reader; returns its result.
int DecodeWith(int (*reader)(quelt::DataStream*, quelt::RasterImage*), const std::vector<uint8_t>& bytes,
               quelt::RasterImage* image);

// The image's pixel (x, y) as raw bytes of its pixel size.
uint32_t RawPixel(const quelt::RasterImage& image, int x, int y);

// Tries every truncation and a set of byte flips of `bytes` through `reader`: nothing may
// crash, read outside its buffer or leak (the sanitizers watch); accepted images are freed.
void SurviveDamage(int (*reader)(quelt::DataStream*, quelt::RasterImage*), const std::vector<uint8_t>& bytes,
                   uint32_t seed);

}  // namespace quelt_test
