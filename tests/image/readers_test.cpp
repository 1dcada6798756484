#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "image/image_load.h"
#include "image/image_ops.h"
#include "image/image_reader.h"
#include "image/image_test_support.h"
#include "image/image_writers.h"
#include "core/tracked_alloc.h"

using namespace quelt;
using namespace quelt_test;

namespace {

// The expected 24-bit (blue, green, red) value of a colour at 5 bits per channel with the
// bits repeated, as drawn into 24 bits.
uint32_t Widen555(uint32_t c) {
  auto w5 = [](uint32_t v) { v >>= 3; return (v << 3) | (v >> 2); };
  return w5(c >> 16 & 0xFF) << 16 | w5(c >> 8 & 0xFF) << 8 | w5(c & 0xFF);
}
uint32_t Widen565(uint32_t c) {
  auto w5 = [](uint32_t v) { v >>= 3; return (v << 3) | (v >> 2); };
  auto w6 = [](uint32_t v) { v >>= 2; return (v << 2) | (v >> 4); };
  return w5(c >> 16 & 0xFF) << 16 | w6(c >> 8 & 0xFF) << 8 | w5(c & 0xFF);
}

void ExpectIndices(const RasterImage& image, const Picture& pic, int paletteEntries) {
  ASSERT_EQ(image.width, pic.width);
  ASSERT_EQ(image.height, pic.height);
  ASSERT_EQ(image.format.bytesPerPixel, 1);
  for (int y = 0; y < pic.height; ++y) {
    for (int x = 0; x < pic.width; ++x) {
      ASSERT_EQ(RawPixel(image, x, y), pic.indices[y * pic.width + x]) << x << "," << y;
    }
  }
  for (int i = 0; i < 256; ++i) {
    const uint32_t want = i < paletteEntries && i < static_cast<int>(pic.palette.size()) ? pic.palette[i] : 0;
    const PaletteEntry& e = image.format.palette[i];
    ASSERT_EQ(uint32_t(e.red) << 16 | e.green << 8 | e.blue, want) << "entry " << i;
    ASSERT_EQ(e.reserved, 0);
  }
}

void ExpectColours(const RasterImage& image, const Picture& pic, uint32_t (*expected)(uint32_t), uint32_t mask) {
  ASSERT_EQ(image.width, pic.width);
  ASSERT_EQ(image.height, pic.height);
  for (int y = 0; y < pic.height; ++y) {
    for (int x = 0; x < pic.width; ++x) {
      ASSERT_EQ(RawPixel(image, x, y) & mask, expected(pic.colours[y * pic.width + x]) & mask) << x << "," << y;
    }
  }
}

uint32_t Same(uint32_t c) { return c; }

RasterImage Decode(int (*reader)(DataStream*, RasterImage*), const Bytes& bytes) {
  RasterImage image{};
  EXPECT_EQ(DecodeWith(reader, bytes, &image), 0);
  return image;
}

}  // namespace

TEST(BmpReader, PaletteVariants) {
  for (int bits : {1, 4, 8}) {
    for (int compression : {0, 1, 2}) {
      if ((compression == 1 && bits != 8) || (compression == 2 && bits != 4)) continue;
      for (bool topDown : {false, true}) {
        if (compression != 0 && topDown) continue;
        const Picture pic = MakeIndexPicture(13, 7, 1 << bits, bits * 31 + compression);
        BmpOptions o;
        o.bitCount = bits;
        o.compression = compression;
        o.topDown = topDown;
        SCOPED_TRACE(testing::Message() << bits << " bits, compression " << compression << " top-down " << topDown);
        RasterImage image = Decode(ReadBmpImage, WriteBmp(pic, o));
        ASSERT_NE(image.pixels, nullptr);
        if (bits == 1) {
          // Drawn into 24 bits through the palette.
          ASSERT_EQ(image.format.bitDepth, 24);
          for (int i = 0; i < 13 * 7; ++i) {
            ASSERT_EQ(RawPixel(image, i % 13, i / 13), pic.palette[pic.indices[i]]);
          }
        } else {
          ExpectIndices(image, pic, compression == 1 || bits == 8 ? 256 : 16);
          // One index byte per pixel, rows rounded up to 4 bytes (not the file's 4-bit rows).
          EXPECT_EQ(image.pitch, 16);
        }
        FreeRasterImage(&image);
      }
    }
  }
}

TEST(BmpReader, TrueColourVariants) {
  const Picture pic = MakeColourPicture(11, 5, 77);
  for (bool topDown : {false, true}) {
    BmpOptions o;
    o.topDown = topDown;
    o.bitCount = 24;
    RasterImage image = Decode(ReadBmpImage, WriteBmp(pic, o));
    EXPECT_EQ(image.pitch, 36);
    ExpectColours(image, pic, Same, 0xFFFFFF);
    FreeRasterImage(&image);
    o.bitCount = 32;
    image = Decode(ReadBmpImage, WriteBmp(pic, o));
    ExpectColours(image, pic, Same, 0xFFFFFF);
    FreeRasterImage(&image);
    o.bitCount = 16;
    image = Decode(ReadBmpImage, WriteBmp(pic, o));
    EXPECT_EQ(image.format.bitDepth, 24);
    ExpectColours(image, pic, Widen555, 0xFFFFFF);
    FreeRasterImage(&image);
    o.compression = 3;
    image = Decode(ReadBmpImage, WriteBmp(pic, o));
    ExpectColours(image, pic, Widen565, 0xFFFFFF);
    FreeRasterImage(&image);
    o.bitCount = 32;
    o.masks[0] = 0xFF;
    o.masks[1] = 0xFF00;
    o.masks[2] = 0xFF0000;
    image = Decode(ReadBmpImage, WriteBmp(pic, o));
    ExpectColours(image, pic, Same, 0xFFFFFF);
    FreeRasterImage(&image);
  }
}

TEST(BmpReader, LargerHeadersColoursUsedAndGaps) {
  const Picture pic = MakeIndexPicture(9, 4, 20, 5);
  BmpOptions o;
  o.bitCount = 8;
  o.headerSize = 124;
  o.coloursUsed = 20;
  o.gapAfterHeader = 6;
  RasterImage image = Decode(ReadBmpImage, WriteBmp(pic, o));
  ExpectIndices(image, pic, 20);
  FreeRasterImage(&image);
  // Bit-field masks inside a 108-byte header.
  const Picture colours = MakeColourPicture(6, 3, 9);
  BmpOptions f;
  f.bitCount = 16;
  f.compression = 3;
  f.headerSize = 108;
  image = Decode(ReadBmpImage, WriteBmp(colours, f));
  ExpectColours(image, colours, Widen565, 0xFFFFFF);
  FreeRasterImage(&image);
}

TEST(BmpReader, ShortAndHostileDataStayInside) {
  const Picture pic = MakeIndexPicture(8, 4, 256, 3);
  BmpOptions o;
  o.bitCount = 8;
  Bytes bytes = WriteBmp(pic, o);
  bytes.resize(bytes.size() - 20);  // pixel data shorter than the image: padded with zeros
  RasterImage image = Decode(ReadBmpImage, bytes);
  EXPECT_EQ(RawPixel(image, 0, 0), 0u);  // the top row was the last in the file
  EXPECT_EQ(RawPixel(image, 0, 3), pic.indices[3 * 8]);
  FreeRasterImage(&image);

  // RLE8 without end-of-bitmap: rows not reached stay 0; a delta moves right and up.
  Bytes rle = WriteBmp(pic, BmpOptions{8, 1});
  const uint32_t dataAt = rle[10] | rle[11] << 8;
  rle.resize(dataAt);
  const uint8_t codes[] = {3, 9, 0, 2, 2, 1, 2, 7, 0, 0, 250, 5};
  rle.insert(rle.end(), std::begin(codes), std::end(codes));
  image = Decode(ReadBmpImage, rle);
  EXPECT_EQ(RawPixel(image, 0, 3), 9u);
  EXPECT_EQ(RawPixel(image, 2, 3), 9u);
  EXPECT_EQ(RawPixel(image, 3, 3), 0u);
  EXPECT_EQ(RawPixel(image, 5, 2), 7u);  // delta (2, 1) from column 3 of the bottom row
  EXPECT_EQ(RawPixel(image, 6, 2), 7u);
  EXPECT_EQ(RawPixel(image, 7, 1), 5u);  // the long run is clipped at the row end
  EXPECT_EQ(RawPixel(image, 0, 0), 0u);
  FreeRasterImage(&image);

  for (const BmpOptions& v : {BmpOptions{1}, BmpOptions{4, 2}, BmpOptions{8, 1}, BmpOptions{16, 3}, BmpOptions{32}}) {
    const Picture p = v.bitCount <= 8 ? MakeIndexPicture(5, 3, 1 << v.bitCount, 1) : MakeColourPicture(5, 3, 1);
    SurviveDamage(ReadBmpImage, WriteBmp(p, v), 99);
  }
}

// A file whose pixel data fall far short of its claimed rows is refused (before a block of
// the claimed size is made); a file a little short is still read, padded with zeros.
TEST(BmpReader, FilesThatCannotHoldTheirRowsAreRefused) {
  auto put32 = [](Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  // 6 x 16,383,996 pixels of 32-bit bit fields claimed, 56 bytes of pixels held: 122 bytes.
  Bytes claims = WriteBmp(MakeColourPicture(6, 2, 1), BmpOptions{32, 3});
  const uint32_t dataAt = claims[10] | claims[11] << 8;
  claims.resize(dataAt + 56);
  put32(claims, 22, 16383996);
  ASSERT_EQ(claims.size(), 122u);
  RasterImage image{};
  EXPECT_EQ(DecodeWith(ReadBmpImage, claims, &image), -1);

  const Picture pic = MakeColourPicture(256, 300, 2);  // 768-byte rows, 230,400 bytes
  const Bytes whole = WriteBmp(pic, BmpOptions{});
  for (const size_t cut : {size_t{60000}, size_t{70000}}) {
    SCOPED_TRACE(cut);
    Bytes shorter(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(cut));
    image = RasterImage{};
    const int result = DecodeWith(ReadBmpImage, shorter, &image);
    if (cut > 64 * 1024) {
      EXPECT_EQ(result, -1);
      continue;
    }
    ASSERT_EQ(result, 0);
    EXPECT_EQ(RawPixel(image, 0, 0), 0u);                                      // a row the file lacks
    EXPECT_EQ(RawPixel(image, 5, 299) & 0xFFFFFF, pic.colours[299 * 256 + 5] & 0xFFFFFF);  // the first row held
    FreeRasterImage(&image);
  }
}

// Run-length files of a few hundred bytes claiming millions of pixels are refused before a
// block of the claimed size is made; one whose runs cover its pixels is read at any size.
TEST(BmpReader, RunLengthFilesClaimingFarMoreThanTheirRunsCoverAreRefused) {
  auto put32 = [](Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  for (const auto& [options, width, height] :
       {std::tuple{BmpOptions{8, 1}, 16384u, 16384u}, std::tuple{BmpOptions{4, 2}, 67108870u, 4u}}) {
    Bytes claims = WriteBmp(MakeIndexPicture(4, 2, 16, 1), options);
    put32(claims, 18, width);
    put32(claims, 22, height);
    const int32_t blocksBefore = TrackedAllocator.blockCount;
    RasterImage image{};
    EXPECT_EQ(DecodeWith(ReadBmpImage, claims, &image), -1) << width << "x" << height;
    EXPECT_EQ(TrackedAllocator.blockCount, blocksBefore);
  }
  const Picture wide = MakeIndexPicture(2200, 2000, 256, 4);  // 4.4 M pixels, every one coded
  RasterImage image = Decode(ReadBmpImage, WriteBmp(wide, BmpOptions{8, 1}));
  ExpectIndices(image, wide, 256);
  FreeRasterImage(&image);
}

// OS/2 1.x core headers (12 bytes, 3-byte palette entries) are read; OS/2 2.x headers are
// read, except their compressions 3 (Huffman 1-D) and 4 (RLE24), which are refused.
TEST(BmpReader, Os2Headers) {
  auto put16 = [](Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](Bytes& b, uint32_t v) { put16(b, v & 0xFFFF); put16(b, v >> 16); };
  const uint8_t indices[2][3] = {{0, 1, 2}, {2, 1, 0}};  // top row first
  for (int bits : {8, 24}) {
    SCOPED_TRACE(bits);
    Bytes f = {'B', 'M'};
    put32(f, 0);
    put32(f, 0);
    const uint32_t palette = bits == 8 ? 256 * 3 : 0;
    put32(f, 14 + 12 + palette);
    put32(f, 12);
    put16(f, 3);
    put16(f, 2);
    put16(f, 1);
    put16(f, static_cast<uint32_t>(bits));
    const uint32_t colours[3] = {0x102030, 0x405060, 0x708090};
    if (bits == 8) {
      for (int i = 0; i < 256; ++i) {
        const uint32_t c = i < 3 ? colours[i] : 0;
        f.push_back(uint8_t(c));
        f.push_back(uint8_t(c >> 8));
        f.push_back(uint8_t(c >> 16));
      }
    }
    for (int row = 1; row >= 0; --row) {  // bottom-up
      Bytes line;
      for (int x = 0; x < 3; ++x) {
        const uint32_t c = colours[indices[row][x]];
        if (bits == 8) {
          line.push_back(indices[row][x]);
        } else {
          line.push_back(uint8_t(c));
          line.push_back(uint8_t(c >> 8));
          line.push_back(uint8_t(c >> 16));
        }
      }
      while (line.size() % 4) line.push_back(0);
      f.insert(f.end(), line.begin(), line.end());
    }
    RasterImage image = Decode(ReadBmpImage, f);
    ASSERT_NE(image.pixels, nullptr);
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        int r = 0, g = 0, b = 0, a = 0;
        ASSERT_EQ(ReadImagePixel(&image, x, y, &r, &g, &b, &a), 0);
        EXPECT_EQ(uint32_t(r << 16 | g << 8 | b), colours[indices[y][x]]) << x << "," << y;
      }
    }
    FreeRasterImage(&image);
  }

  // A 64-byte OS/2 2.x header: plain rows are read, compressions 3 and 4 refused.
  const Picture pic = MakeIndexPicture(5, 3, 256, 99);
  BmpOptions o;
  o.bitCount = 8;
  o.headerSize = 64;
  RasterImage image = Decode(ReadBmpImage, WriteBmp(pic, o));
  ExpectIndices(image, pic, 256);
  FreeRasterImage(&image);
  for (uint32_t compression : {3u, 4u}) {
    Bytes f = WriteBmp(pic, o);
    f[30] = static_cast<uint8_t>(compression);
    EXPECT_EQ(DecodeWith(ReadBmpImage, f, &image), -1) << compression;
  }
}

TEST(TgaReader, AllTypesOrientationsAndFooters) {
  const Picture colours = MakeColourPicture(10, 6, 4);
  Picture mapped = MakeIndexPicture(10, 6, 40, 8);
  for (int type : {1, 2, 9, 10}) {
    for (int depth : {16, 24, 32}) {
      for (int orient = 0; orient < 4; ++orient) {
        TgaOptions o;
        o.type = type;
        o.depth = depth;
        o.topFirst = orient & 1;
        o.rightToLeft = orient & 2;
        o.footer = orient == 2;
        o.extensionArea = orient == 3;
        o.footer |= o.extensionArea;
        o.idLength = orient;
        const bool isMapped = type == 1 || type == 9;
        RasterImage image = Decode(ReadTgaImage, WriteTga(isMapped ? mapped : colours, o));
        SCOPED_TRACE(testing::Message() << "type " << type << " depth " << depth << " orientation " << orient);
        ASSERT_EQ(image.format.bitDepth, depth);
        ASSERT_EQ(image.pitch, 10 * depth / 8);
        for (int i = 0; i < 60; ++i) {
          uint32_t want = isMapped ? mapped.palette[mapped.indices[i]] | 0xFF000000u : colours.colours[i];
          uint32_t got = RawPixel(image, i % 10, i / 10);
          if (depth == 16) {
            want = ((want >> 19 & 31) << 10) | ((want >> 11 & 31) << 5) | (want >> 3 & 31);
            got &= 0x7FFF;
          } else if (depth == 24) {
            want &= 0xFFFFFF;
          }
          ASSERT_EQ(got, want) << i;
        }
        if (depth == 16) {
          EXPECT_EQ(image.format.unusedMask, 0x8000u);
          EXPECT_EQ(image.format.alphaWidth, 0);
        }
        FreeRasterImage(&image);
      }
    }
  }
  TgaOptions withMap;
  withMap.colourMapInTrueColour = true;
  RasterImage image = Decode(ReadTgaImage, WriteTga(colours, withMap));
  ExpectColours(image, colours, Same, 0xFFFFFFFF);
  FreeRasterImage(&image);
}

TEST(TgaReader, RefusalsAndHostileData) {
  const Picture pic = MakeColourPicture(4, 4, 1);
  Bytes bytes = WriteTga(pic, TgaOptions{});
  RasterImage image;
  Bytes wide = bytes;
  wide[12] = 0x01;
  wide[13] = 0x20;  // 8193
  EXPECT_EQ(DecodeWith(ReadTgaImage, wide, &image), -1);
  Bytes origin = bytes;
  origin[8] = 1;
  EXPECT_EQ(DecodeWith(ReadTgaImage, origin, &image), -1);
  Bytes grey = bytes;
  grey[2] = 3;
  EXPECT_EQ(DecodeWith(ReadTgaImage, grey, &image), -1);
  Picture mapped = MakeIndexPicture(4, 4, 10, 2);
  Bytes bigMap = WriteTga(mapped, TgaOptions{1, 24});
  bigMap[3] = 250;  // first entry 250 + 10 entries > 256
  EXPECT_EQ(DecodeWith(ReadTgaImage, bigMap, &image), -1);
  for (int type : {1, 9, 10}) {
    SurviveDamage(ReadTgaImage, WriteTga(type == 10 ? pic : mapped, TgaOptions{type, 24}), type);
  }
}

TEST(DdsReader, CodedAndMaskFormats) {
  Bytes data(4 * 3 * 2, 0);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  DdsOptions o;
  o.width = 3;
  o.height = 4;
  o.pixelFlags = 4;
  o.fourCC = 23;  // R5G6B5
  RasterImage image = Decode(ReadDdsImage, WriteDds(o, data));
  EXPECT_EQ(image.format.redMask, 0xF800u);
  EXPECT_EQ(image.pitch, 6);
  EXPECT_EQ(std::memcmp(image.pixels, data.data(), data.size()), 0);
  FreeRasterImage(&image);

  DdsOptions m;
  m.width = 2;
  m.height = 2;
  m.pixelFlags = 0x41;
  m.bitCount = 32;
  m.masks[0] = 0xFF0000;
  m.masks[1] = 0xFF00;
  m.masks[2] = 0xFF;
  m.masks[3] = 0xFF000000;
  m.magic3 = 'x';  // the fourth magic byte is not checked
  m.mipCount = 2;
  Bytes levels(16 + 4, 0x5A);
  image = Decode(ReadDdsImage, WriteDds(m, levels));
  EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(image.format.unusedMask, 0u);
  EXPECT_EQ(image.mipCount, 2);
  FreeRasterImage(&image);

  // Every table format decodes to its masks.
  const uint32_t codes[] = {20, 21, 22, 23, 24, 25, 26, 27, 29, 30, 31, 32, 33, 35};
  const int bits[] = {24, 32, 32, 16, 16, 16, 16, 8, 16, 16, 32, 32, 32, 32};
  for (size_t i = 0; i < std::size(codes); ++i) {
    DdsOptions c;
    c.width = 4;
    c.height = 2;
    c.pixelFlags = 4;
    c.fourCC = codes[i];
    image = Decode(ReadDdsImage, WriteDds(c, Bytes(static_cast<size_t>(4 * bits[i] / 8 * 2), 1)));
    EXPECT_EQ(image.format.bitDepth, bits[i]) << codes[i];
    FreeRasterImage(&image);
  }
}

// One-byte pixels are palette indices to the engine: 8-bit mask files get the palette of
// their masks, so each pixel keeps its colour.
TEST(DdsReader, EightBitMaskFormatsDecodeThroughTheirMasks) {
  const Bytes pixels = {0x00, 0xFF, 0xE0, 0x1C, 0x03, 0x92};
  DdsOptions coded;
  coded.width = 6;
  coded.height = 1;
  coded.pixelFlags = 4;
  coded.fourCC = 27;  // R3G3B2
  DdsOptions masked = coded;
  masked.pixelFlags = 0x40;
  masked.fourCC = 0;
  masked.bitCount = 8;
  masked.masks[0] = 0xE0;
  masked.masks[1] = 0x1C;
  masked.masks[2] = 0x3;
  const int want[6][3] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                          {4 * 255 / 7, 4 * 255 / 7, 2 * 255 / 3}};
  for (const DdsOptions& o : {coded, masked}) {
    SCOPED_TRACE(o.pixelFlags);
    RasterImage image = Decode(ReadDdsImage, WriteDds(o, pixels));
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(image.format.bytesPerPixel, 1);
    for (int x = 0; x < 6; ++x) {
      int r = -1, g = -1, b = -1, a = -1;
      ASSERT_EQ(ReadImagePixel(&image, x, 0, &r, &g, &b, &a), 0);
      EXPECT_EQ(r, want[x][0]) << x;
      EXPECT_EQ(g, want[x][1]) << x;
      EXPECT_EQ(b, want[x][2]) << x;
    }
    FreeRasterImage(&image);
  }
  // A palette cannot carry alpha: an 8-bit format with an alpha mask is refused.
  DdsOptions alpha = masked;
  alpha.pixelFlags = 0x41;
  alpha.masks[0] = 0x30;
  alpha.masks[1] = 0xC;
  alpha.masks[2] = 0x3;
  alpha.masks[3] = 0xC0;
  RasterImage image{};
  EXPECT_EQ(DecodeWith(ReadDdsImage, WriteDds(alpha, pixels), &image), -1);
}

TEST(DdsReader, DxtLevelsAndRefusals) {
  for (int kind = 1; kind <= 5; ++kind) {
    const char code[5] = {'D', 'X', 'T', static_cast<char>('0' + kind), 0};
    DdsOptions o;
    o.width = 8;
    o.height = 8;
    o.pixelFlags = 4;
    o.fourCC = FourCC(code);
    o.mipCount = 4;
    const int block = kind == 1 ? 8 : 16;
    // Levels: 4 blocks, then a quarter (never under 8 bytes) each.
    const int top = 4 * block;
    const int total = top + std::max(top / 4, 8) + std::max(std::max(top / 4, 8) / 4, 8) + 8;
    Bytes data(static_cast<size_t>(total));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    RasterImage image = Decode(ReadDdsImage, WriteDds(o, data));
    EXPECT_EQ(image.format.compression, static_cast<uint32_t>(kind));
    EXPECT_EQ(image.format.bitDepth, kind == 1 ? 4 : 8);
    EXPECT_EQ(image.pitch, 0);
    EXPECT_EQ(image.mipCount, 4);
    EXPECT_EQ(std::memcmp(image.pixels, data.data(), data.size()), 0);
    FreeRasterImage(&image);
    SurviveDamage(ReadDdsImage, WriteDds(o, data), kind);
  }
  DdsOptions tiny;
  tiny.width = 2;
  tiny.height = 2;
  tiny.pixelFlags = 4;
  tiny.fourCC = FourCC("DXT1");
  RasterImage image = Decode(ReadDdsImage, WriteDds(tiny, {}));
  FreeRasterImage(&image);

  DdsOptions bad;
  bad.width = 4;
  bad.height = 1;
  bad.pixelFlags = 0x40;
  bad.bitCount = 32;
  bad.pitch = 8;  // smaller than a row of 16 bytes
  EXPECT_EQ(DecodeWith(ReadDdsImage, WriteDds(bad, Bytes(64)), &image), -1);
  bad.pitch = 0;
  bad.bitCount = 12;
  EXPECT_EQ(DecodeWith(ReadDdsImage, WriteDds(bad, Bytes(64)), &image), -1);
  DdsOptions many = tiny;
  many.width = 4;
  many.height = 4;
  many.mipCount = 0xFFFFFFF;  // capped at the levels a 4 x 4 image can have (3)
  image = Decode(ReadDdsImage, WriteDds(many, Bytes(8 * 3)));
  EXPECT_EQ(image.mipCount, 3);
  FreeRasterImage(&image);
}

TEST(BgraReader, EightAndSixteenBitChannels) {
  const Picture pic = MakeColourPicture(7, 3, 21);
  RasterImage image = Decode(ReadBgraImage, WriteBgra8(pic));
  ExpectColours(image, pic, Same, 0xFFFFFFFF);
  EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
  FreeRasterImage(&image);
  image = Decode(ReadBgraImage, WriteBgra16(pic, 5));
  ExpectColours(image, pic, Same, 0xFFFFFFFF);
  FreeRasterImage(&image);
  Bytes huge = WriteBgra8(pic);
  huge[8] = huge[9] = huge[10] = 0xFF;
  huge[11] = 0x3F;  // a claimed size far beyond the data
  EXPECT_EQ(DecodeWith(ReadBgraImage, huge, &image), -1);
  SurviveDamage(ReadBgraImage, WriteBgra16(pic, 2), 7);
}

TEST(ReaderTable, OrderAndRecognitionByContent) {
  EXPECT_EQ(BuiltinImageReaderTable[0], &ReadBmpImage);
  EXPECT_EQ(BuiltinImageReaderTable[1], &ReadJpegImage);
  EXPECT_EQ(BuiltinImageReaderTable[2], &ReadPngImage);
  EXPECT_EQ(BuiltinImageReaderTable[3], &ReadBgraImage);
  EXPECT_EQ(BuiltinImageReaderTable[4], &ReadTgaImage);
  EXPECT_EQ(BuiltinImageReaderTable[5], &ReadDdsImage);
  EXPECT_EQ(BuiltinImageReaderTable[6], nullptr);
  EXPECT_EQ(UserImageReaders.count, 0);

  RasterImage image;
  const Bytes junk = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  MemoryDataStream stream(junk);
  std::memset(&image, 0x5A, sizeof(image));
  EXPECT_EQ(TryImageReaders(stream.get(), &image), -1);
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(image.width, 0);

  // A TGA is found after the readers before it refused it.
  const Picture pic = MakeColourPicture(3, 3, 2);
  MemoryDataStream tga(WriteTga(pic, TgaOptions{}));
  ASSERT_EQ(TryImageReaders(tga.get(), &image), 0);
  EXPECT_EQ(image.format.bitDepth, 32);
  FreeRasterImage(&image);

  // A user reader is tried first.
  UserImageReaders.readers[0] = [](DataStream*, RasterImage* out) { out->width = 77; return 0; };
  UserImageReaders.count = 1;
  MemoryDataStream again(junk);
  EXPECT_EQ(TryImageReaders(again.get(), &image), 0);
  EXPECT_EQ(image.width, 77);
  UserImageReaders = {};
}

TEST(ImageLoad, AlphaNames) {
  char out[kAlphaNameBufferBytes];
  ASSERT_EQ(MakeAlphaFileName("dat/run.bmp", out), 0);
  EXPECT_STREQ(out, "dat/run_a.bmp");
  MakeAlphaFileName("dat/run", out);
  EXPECT_STREQ(out, "dat/run_a");
  MakeAlphaFileName("pics.old/run", out);
  EXPECT_STREQ(out, "pics_a.old/run");
  EXPECT_EQ(MakeAlphaFileName(std::string(258, 'x').c_str(), out), -1);
}

TEST(ImageLoad, FilesMemoryTurnAndAlphaImages) {
  InstallTestFileAccess();
  const Picture pic = MakeColourPicture(5, 4, 12);
  const Picture alpha = MakeIndexPicture(5, 4, 256, 13);
  const Bytes main = WriteBmp(pic, BmpOptions{});
  const Bytes alphaBytes = WriteTga(MakeColourPicture(5, 4, 14), TgaOptions{2, 24});
  ASSERT_TRUE(SaveFile("pic.bmp", main));
  ASSERT_TRUE(SaveFile("pic_a.bmp", alphaBytes));  // content decides, not the name
  ASSERT_TRUE(SaveFile("lone.bmp", main));

  RasterImage image{}, alphaImage{};
  ASSERT_EQ(LoadImageWithAlphaFile("pic.bmp", nullptr, 0, 0, nullptr, 0, 0, &image, &alphaImage, 0), 0);
  ExpectColours(image, pic, Same, 0xFFFFFF);
  EXPECT_EQ(alphaImage.format.bitDepth, 24);
  FreeRasterImage(&image);
  FreeRasterImage(&alphaImage);

  EXPECT_EQ(LoadImageWithAlphaFile("lone.bmp", nullptr, 0, 0, nullptr, 0, 0, &image, &alphaImage, 0), 1);
  EXPECT_EQ(alphaImage.pixels, nullptr);
  FreeRasterImage(&image);
  EXPECT_EQ(LoadImageWithAlphaFile("missing.bmp", nullptr, 0, 0, nullptr, 0, 0, &image, &alphaImage, 0), -1);

  // Memory mode, the alpha image from memory too, then without one.
  ASSERT_EQ(LoadImageWithAlphaFile(nullptr, main.data(), static_cast<int32_t>(main.size()), 1, alphaBytes.data(),
                                   static_cast<int32_t>(alphaBytes.size()), 1, &image, &alphaImage, 0), 0);
  FreeRasterImage(&image);
  FreeRasterImage(&alphaImage);
  EXPECT_EQ(LoadImageWithAlphaFile(nullptr, main.data(), static_cast<int32_t>(main.size()), 1, nullptr, 0, 1,
                                   &image, &alphaImage, 0), 1);
  FreeRasterImage(&image);

  // turn 1 mirrors left to right.
  ASSERT_EQ(LoadRasterImage("pic.bmp", nullptr, 0, 0, &image, 1), 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) ASSERT_EQ(RawPixel(image, 4 - x, y), pic.colours[y * 5 + x] & 0xFFFFFF);
  }
  FreeRasterImage(&image);

  // DIB output: the header block and top-down 24-bit rows.
  void* header = nullptr;
  uint8_t* bits = nullptr;
  ASSERT_EQ(LoadRasterImageEx(nullptr, main.data(), static_cast<int32_t>(main.size()), 1, 1, 0, &image, &header,
                              &bits), 0);
  ASSERT_NE(header, nullptr);
  int32_t height = 0;
  std::memcpy(&height, static_cast<uint8_t*>(header) + 8, 4);
  EXPECT_EQ(height, -4);
  EXPECT_EQ(bits[0], static_cast<uint8_t>(pic.colours[0]));
  FreeRasterImage(&image);
  TrackedFree(header);
  TrackedFree(bits);
  (void)alpha;
}

// The turned copy holds the top level only; levels the source had must not be claimed.
TEST(ImageLoad, TurnedMipMappedDdsKeepsOnlyItsTopLevel) {
  DdsOptions o;
  o.width = 4;
  o.height = 2;
  o.pixelFlags = 0x41;
  o.bitCount = 32;
  o.masks[0] = 0xFF0000;
  o.masks[1] = 0xFF00;
  o.masks[2] = 0xFF;
  o.masks[3] = 0xFF000000;
  o.mipCount = 3;
  Bytes levels(4 * 4 * 2 + 8 + 4);
  for (size_t i = 0; i < levels.size(); ++i) levels[i] = static_cast<uint8_t>(i);
  const Bytes file = WriteDds(o, levels);
  RasterImage image{};
  ASSERT_EQ(LoadRasterImage(nullptr, file.data(), static_cast<int32_t>(file.size()), 1, &image, 0), 0);
  EXPECT_EQ(image.mipCount, 3);
  FreeRasterImage(&image);

  ASSERT_EQ(LoadRasterImage(nullptr, file.data(), static_cast<int32_t>(file.size()), 1, &image, 1), 0);
  EXPECT_EQ(image.mipCount, 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      uint32_t want;
      std::memcpy(&want, levels.data() + y * 16 + (3 - x) * 4, 4);
      ASSERT_EQ(RawPixel(image, x, y), want) << x << "," << y;
    }
  }
  FreeRasterImage(&image);
}
