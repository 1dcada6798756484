#include "fuzz/image_readers/reader_harness.h"

#include <cstring>
#include <vector>

#include "core/tracked_alloc.h"
#include "file/file_access.h"
#include "image/dxt_decode.h"
#include "image/image_reader.h"

namespace quelt_fuzz {
namespace {

int ReadThroughMemory(quelt::ImageReader reader, const uint8_t* data, size_t size) {
  quelt::MemoryStream* memory = quelt::OpenMemoryStream(data, static_cast<int32_t>(size));
  if (!memory) return -1;
  quelt::DataStream stream{*quelt::GetMemoryStreamOps(), reinterpret_cast<quelt::StreamHandle>(memory)};
  quelt::RasterImage image;
  std::memset(&image, 0, sizeof(image));
  const int result = reader ? reader(&stream, &image) : quelt::TryImageReaders(&stream, &image);
  if (result == 0) {
    // Touch every byte the image claims, so an undersized block shows.
    volatile uint8_t sink = 0;
    const int64_t bytes = image.format.compression ? 0 : int64_t{image.pitch} * image.height;
    for (int64_t i = 0; i < bytes; i += 61) sink = sink + image.pixels[i];
    if (bytes > 0) sink = sink + image.pixels[bytes - 1];
    quelt::FreeRasterImage(&image);
  }
  quelt::CloseMemoryStream(reinterpret_cast<quelt::StreamHandle>(memory));
  return result;
}

// First byte: the compression (1..5); then width and height bytes; the rest is block data.
void DecodeDxt(const uint8_t* data, size_t size) {
  if (size < 3) return;
  const uint32_t compression = 1 + data[0] % 5;
  const int32_t width = data[1] % 64, height = data[2] % 64;
  std::vector<uint8_t> out(static_cast<size_t>(width) * 4 * height + 1);
  quelt::DecodeDxtBlocks(compression, data + 3, size - 3, width, height, out.data());
}

}  // namespace

int RunImageTarget(const std::string& target, const uint8_t* data, size_t size) {
  if (size > 1 << 22) return 0;
  if (target == "dxt") {
    DecodeDxt(data, size);
    return 0;
  }
  quelt::ImageReader reader = nullptr;
  if (target == "bmp") reader = quelt::ReadBmpImage;
  else if (target == "tga") reader = quelt::ReadTgaImage;
  else if (target == "dds") reader = quelt::ReadDdsImage;
  else if (target == "bgra") reader = quelt::ReadBgraImage;
  else if (target == "png") reader = quelt::ReadPngImage;
  else if (target == "jpeg") reader = quelt::ReadJpegImage;
  else if (target != "table") return kUnknownImageTarget;
  return ReadThroughMemory(reader, data, size);
}

}  // namespace quelt_fuzz
