#pragma once
// Test-only writers of the file formats the image readers take.
#include <cstdint>
#include <string>
#include <vector>

namespace quelt_test {

using Bytes = std::vector<uint8_t>;

// A small test picture: top-down, either palette indices or 0xAARRGGBB colours.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> indices;    // width x height, for palette files
  std::vector<uint32_t> colours;   // width x height, 0xAARRGGBB
  std::vector<uint32_t> palette;   // 0x00RRGGBB entries
};

// A deterministic picture with varied values.
Picture MakeIndexPicture(int width, int height, int paletteSize, uint32_t seed);
Picture MakeColourPicture(int width, int height, uint32_t seed);

struct BmpOptions {
  int bitCount = 24;         // 1, 4, 8, 16, 24, 32
  int compression = 0;       // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
  bool topDown = false;
  int headerSize = 40;       // 40, 108 or 124
  int coloursUsed = 0;       // biClrUsed; 0 writes the full table
  uint32_t masks[3] = {0xF800, 0x7E0, 0x1F};  // bit fields: red, green, blue
  int gapAfterHeader = 0;    // extra bytes between the colour table and the pixels
};
Bytes WriteBmp(const Picture& picture, const BmpOptions& options);

struct TgaOptions {
  int type = 2;          // 1, 2, 9, 10
  int depth = 32;        // pixel depth (true colour) or map entry size (mapped)
  bool topFirst = false; // descriptor bit 5
  bool rightToLeft = false;
  bool footer = false;
  bool extensionArea = false;  // footer with a non-zero extension offset
  int idLength = 0;
  bool colourMapInTrueColour = false;
};
Bytes WriteTga(const Picture& picture, const TgaOptions& options);

// A DDS file around given level data.
struct DdsOptions {
  uint32_t width = 0, height = 0;
  uint32_t pixelFlags = 0;  // 4 four-character code, 0x40 RGB, 0x1 alpha pixels
  uint32_t fourCC = 0;
  uint32_t bitCount = 0;
  uint32_t masks[4] = {0, 0, 0, 0};
  uint32_t mipCount = 0;    // written with the mip flags when non-zero
  uint32_t pitch = 0;       // written with the pitch flag when non-zero
  char magic3 = ' ';
};
Bytes WriteDds(const DdsOptions& options, const Bytes& data);
uint32_t FourCC(const char* code);

Bytes WriteBgra8(const Picture& picture);
// 16-bit channels: each 8-bit value v is written as (v << 8) | low, low from the seed.
Bytes WriteBgra16(const Picture& picture, uint32_t seed);

// Writes bytes to a file in the working directory; false on failure.
bool SaveFile(const std::string& path, const Bytes& bytes);

}  // namespace quelt_test
