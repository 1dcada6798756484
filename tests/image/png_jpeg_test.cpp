// PNG and JPEG files written with libpng and libjpeg themselves, decoded by the readers.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

#include "core/tracked_alloc.h"
#include "image/image_load.h"
#include "image/image_reader.h"
#include "image/image_test_support.h"
#include "image/image_writers.h"

using namespace quelt;
using namespace quelt_test;

namespace {

struct PngSpec {
  int width, height, bitDepth, colourType;
  bool interlace = false;
  std::vector<png_color> palette = {};
  std::vector<uint8_t> trns = {};
};

void AppendBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

// rows: the packed rows as libpng takes them.
Bytes WritePng(const PngSpec& s, const std::vector<Bytes>& rows) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng write failed";
    return {};
  }
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colourType,
               s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
  if (!s.trns.empty()) png_set_tRNS(png, info, s.trns.data(), static_cast<int>(s.trns.size()), nullptr);
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const Bytes& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

uint8_t Value(int x, int y, int k) { return static_cast<uint8_t>(x * 37 + y * 91 + k * 53 + (x * y) % 7); }

RasterImage DecodePng(const Bytes& bytes) {
  RasterImage image{};
  EXPECT_EQ(DecodeWith(ReadPngImage, bytes, &image), 0);
  return image;
}

}  // namespace

TEST(PngReader, TrueColourWithAndWithoutAlpha) {
  for (bool alpha : {false, true}) {
    for (bool interlace : {false, true}) {
      const int channels = alpha ? 4 : 3;
      std::vector<Bytes> rows;
      for (int y = 0; y < 9; ++y) {
        Bytes r;
        for (int x = 0; x < 11; ++x) {
          for (int k = 0; k < channels; ++k) r.push_back(Value(x, y, k));
        }
        rows.push_back(r);
      }
      RasterImage image = DecodePng(WritePng({11, 9, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, interlace}, rows));
      ASSERT_EQ(image.format.bytesPerPixel, channels);
      EXPECT_EQ(image.pitch, 11 * channels);
      EXPECT_EQ(image.format.alphaMask, alpha ? 0xFF000000u : 0u);
      for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 11; ++x) {
          const uint8_t* p = image.pixels + y * image.pitch + x * channels;
          ASSERT_EQ(p[0], Value(x, y, 2));  // blue first
          ASSERT_EQ(p[1], Value(x, y, 1));
          ASSERT_EQ(p[2], Value(x, y, 0));
          if (alpha) {
            ASSERT_EQ(p[3], Value(x, y, 3));
          }
        }
      }
      FreeRasterImage(&image);
    }
  }
}

TEST(PngReader, GreyDepthsAndGreyAlpha) {
  // 1-bit grey: one byte per pixel, values 0 and 255.
  std::vector<Bytes> rows = {{0xA5, 0x80}, {0x0F, 0x00}};
  RasterImage image = DecodePng(WritePng({9, 2, 1, PNG_COLOR_TYPE_GRAY}, rows));
  EXPECT_EQ(image.format.bytesPerPixel, 1);
  EXPECT_EQ(image.format.palette[200], (PaletteEntry{200, 200, 200, 0}));
  const uint8_t want[9] = {255, 0, 255, 0, 0, 255, 0, 255, 255};
  for (int x = 0; x < 9; ++x) EXPECT_EQ(image.pixels[x], want[x]) << x;
  FreeRasterImage(&image);

  // 16-bit grey keeps the high bytes.
  rows = {{0x12, 0x34, 0xAB, 0xCD}};
  image = DecodePng(WritePng({2, 1, 16, PNG_COLOR_TYPE_GRAY}, rows));
  EXPECT_EQ(image.pixels[0], 0x12);
  EXPECT_EQ(image.pixels[1], 0xAB);
  FreeRasterImage(&image);

  // Grey with alpha: the 16-bit grey format, alpha carried as unused bits.
  rows = {{10, 200, 20, 100, 30, 0}};
  image = DecodePng(WritePng({3, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA}, rows));
  EXPECT_EQ(image.format.bitDepth, 16);
  EXPECT_EQ(image.format.unusedMask, 0xFF00u);
  EXPECT_EQ(image.format.alphaWidth, 0);
  EXPECT_EQ(image.format.redMask, 0xFFu);
  EXPECT_EQ(RawPixel(image, 1, 0), 100u << 8 | 20u);
  FreeRasterImage(&image);

  // 16-bit RGB: 24-bit pixels of the high bytes.
  rows = {{0x11, 0x01, 0x22, 0x02, 0x33, 0x03}};
  image = DecodePng(WritePng({1, 1, 16, PNG_COLOR_TYPE_RGB}, rows));
  EXPECT_EQ(image.format.bitDepth, 24);
  EXPECT_EQ(RawPixel(image, 0, 0), 0x112233u);
  FreeRasterImage(&image);
}

TEST(PngReader, PalettesWithAndWithoutTransparency) {
  PngSpec s{5, 2, 4, PNG_COLOR_TYPE_PALETTE};
  s.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  std::vector<Bytes> rows = {{0x01, 0x20, 0x10}, {0x22, 0x11, 0x00}};
  RasterImage image = DecodePng(WritePng(s, rows));
  EXPECT_EQ(image.format.bytesPerPixel, 1);
  EXPECT_EQ(image.pitch, 5);
  const uint8_t want[10] = {0, 1, 2, 0, 1, 2, 2, 1, 1, 0};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(RawPixel(image, i % 5, i / 5), want[i]) << i;
  EXPECT_EQ(image.format.palette[0], (PaletteEntry{0, 0, 255, 0}));
  EXPECT_EQ(image.format.palette[2], (PaletteEntry{255, 0, 0, 0}));
  EXPECT_EQ(image.format.palette[3], (PaletteEntry{0, 0, 0, 0}));
  FreeRasterImage(&image);

  s.trns = {0, 128};
  image = DecodePng(WritePng(s, rows));
  EXPECT_EQ(image.format.alphaMask, 0xFF000000u);
  EXPECT_EQ(RawPixel(image, 0, 0), 0x00FF0000u);
  EXPECT_EQ(RawPixel(image, 1, 0), 0x8000FF00u);
  EXPECT_EQ(RawPixel(image, 2, 0), 0xFF0000FFu);
  FreeRasterImage(&image);
}

TEST(PngReader, TruncatedFilesAreRefusedAndTheNextReaderTried) {
  std::vector<Bytes> rows;
  for (int y = 0; y < 16; ++y) {
    Bytes r;
    for (int x = 0; x < 48; ++x) r.push_back(Value(x, y, 0));
    rows.push_back(r);
  }
  const Bytes png = WritePng({16, 16, 8, PNG_COLOR_TYPE_RGB}, rows);
  RasterImage image;
  for (size_t cut : {size_t{8}, size_t{40}, png.size() / 2, png.size() - 13}) {
    Bytes part(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(DecodeWith(ReadPngImage, part, &image), -1) << cut;
    MemoryDataStream stream(part);
    EXPECT_EQ(TryImageReaders(stream.get(), &image), -1) << cut;
  }
  SurviveDamage(ReadPngImage, png, 3);
}

// A file far too short for the rows it claims (deflate packs at most about 1032 bytes into
// one) is refused before any block is made for them.
TEST(PngReader, AFileFarTooShortForItsClaimedRowsIsRefusedBeforeItsBlocks) {
  std::vector<Bytes> rows(4, Bytes(12, 0x40));
  Bytes png = WritePng({4, 4, 8, PNG_COLOR_TYPE_RGB}, rows);
  constexpr uint32_t kClaimedSide = 11000;  // 363 MB of rows
  constexpr size_t kIhdrType = 12, kIhdrData = 16, kIhdrCrc = 29;
  for (size_t at : {kIhdrData, kIhdrData + 4})
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<uint8_t>(kClaimedSide >> (24 - 8 * i));
  const uint32_t crc = static_cast<uint32_t>(crc32(0, png.data() + kIhdrType, kIhdrCrc - kIhdrType));
  for (int i = 0; i < 4; ++i) png[kIhdrCrc + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  MemoryDataStream stream(png);
  const uint16_t serialBefore = TrackedAllocator.nextId;
  RasterImage image{};
  EXPECT_EQ(ReadPngImage(stream.get(), &image), -1);
  EXPECT_EQ(TrackedAllocator.nextId, serialBefore);
}

namespace {

// sampling: the luminance's horizontal and vertical factors (2, 2 is the library's default).
Bytes WriteJpeg(int width, int height, int components, int quality, int hSampling = 2, int vSampling = 2,
                bool progressive = false) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (components == 3) {
    c.comp_info[0].h_samp_factor = hSampling;
    c.comp_info[0].v_samp_factor = vSampling;
  }
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  Bytes row(static_cast<size_t>(width * components));
  while (c.next_scanline < c.image_height) {
    for (int i = 0; i < width * components; ++i) row[i] = Value(i, static_cast<int>(c.next_scanline), 1);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}

// The library's own decode of the same bytes, rows of RGB or grey.
Bytes LibraryDecode(const Bytes& jpeg, int* width, int* height, int* components) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  *width = static_cast<int>(d.output_width);
  *height = static_cast<int>(d.output_height);
  *components = d.output_components;
  Bytes out(static_cast<size_t>(*width) * *height * *components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW r = out.data() + static_cast<size_t>(d.output_scanline) * *width * *components;
    jpeg_read_scanlines(&d, &r, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return out;
}

void ExpectLibraryPixels(const Bytes& jpeg, const RasterImage& image) {
  int w = 0, h = 0, n = 0;
  const Bytes want = LibraryDecode(jpeg, &w, &h, &n);
  ASSERT_EQ(image.width, w);
  ASSERT_EQ(image.height, h);
  ASSERT_EQ(image.pitch, w * n);
  for (int i = 0; i < w * h; ++i) {
    const uint8_t* p = image.pixels + static_cast<size_t>(i) * n;
    if (n == 1) {
      ASSERT_EQ(p[0], want[i]);
    } else {
      ASSERT_EQ(p[0], want[i * 3 + 2]) << i;
      ASSERT_EQ(p[1], want[i * 3 + 1]) << i;
      ASSERT_EQ(p[2], want[i * 3]) << i;
    }
  }
}

}  // namespace

TEST(JpegReader, ColourAndGreyEqualTheLibrarysDecode) {
  for (int components : {1, 3}) {
    const Bytes jpeg = WriteJpeg(37, 21, components, 85);
    RasterImage image{};
    ASSERT_EQ(DecodeWith(ReadJpegImage, jpeg, &image), 0);
    EXPECT_EQ(image.format.bitDepth, components == 1 ? 8 : 24);
    ExpectLibraryPixels(jpeg, image);
    FreeRasterImage(&image);
  }
  const Bytes narrow = WriteJpeg(3, 2, 3, 90);
  RasterImage image{};
  ASSERT_EQ(DecodeWith(ReadJpegImage, narrow, &image), 0);
  EXPECT_EQ(image.pitch, 9);
  FreeRasterImage(&image);
}

// Rows are decoded straight into the image several at a time, in blue, green, red order:
// every chroma sampling, odd widths and heights that end inside a batch of rows.
TEST(JpegReader, EverySamplingAndSizeEqualsTheLibrarysDecode) {
  const int samplings[][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}};
  const int sizes[][2] = {{1, 1}, {17, 3}, {67, 35}, {301, 70}};
  for (const auto& sampling : samplings) {
    for (const auto& size : sizes) {
      const Bytes jpeg = WriteJpeg(size[0], size[1], 3, 90, sampling[0], sampling[1]);
      RasterImage image{};
      ASSERT_EQ(DecodeWith(ReadJpegImage, jpeg, &image), 0);
      ExpectLibraryPixels(jpeg, image);
      FreeRasterImage(&image);
      if (HasFatalFailure()) {
        ADD_FAILURE() << "sampling " << sampling[0] << "x" << sampling[1] << ", " << size[0] << "x" << size[1];
        return;
      }
    }
  }
  const Bytes grey = WriteJpeg(301, 70, 1, 90);
  RasterImage image{};
  ASSERT_EQ(DecodeWith(ReadJpegImage, grey, &image), 0);
  ExpectLibraryPixels(grey, image);
  FreeRasterImage(&image);
}

TEST(JpegReader, CutAndEmptyStreams) {
  const Bytes jpeg = WriteJpeg(64, 48, 3, 80);
  // The last bytes missing: every row still decodes (the rest from the fake end code).
  Bytes cut(jpeg.begin(), jpeg.end() - 200);
  RasterImage image{};
  ASSERT_EQ(DecodeWith(ReadJpegImage, cut, &image), 0);
  EXPECT_EQ(image.height, 48);
  FreeRasterImage(&image);
  EXPECT_EQ(DecodeWith(ReadJpegImage, Bytes{}, &image), -1);
  SurviveDamage(ReadJpegImage, WriteJpeg(16, 8, 3, 50), 11);
}

// A progressive file claiming more than an image may hold is refused from its header: the
// reader never goes on to read its scans.
TEST(JpegReader, AClaimedSizeBeyondTheLimitIsRefusedBeforeTheScans) {
  Bytes jpeg = WriteJpeg(512, 512, 3, 100, 2, 2, true);
  constexpr size_t kSourceBufferBytes = 64 * 1024;
  ASSERT_GT(jpeg.size(), 2 * kSourceBufferBytes);
  const uint8_t sof2[] = {0xFF, 0xC2};
  const auto sof = std::search(jpeg.begin(), jpeg.end(), std::begin(sof2), std::end(sof2));
  ASSERT_NE(sof, jpeg.end());
  constexpr int kClaimedSide = 16000;  // 768 MB of rows
  for (int field : {5, 7}) {
    sof[field] = kClaimedSide >> 8;
    sof[field + 1] = kClaimedSide & 0xFF;
  }
  MemoryDataStream stream(jpeg);
  RasterImage image{};
  EXPECT_EQ(ReadJpegImage(stream.get(), &image), -1);
  EXPECT_LE(stream.get()->ops.tell(stream.get()->handle), static_cast<int64_t>(kSourceBufferBytes));
}

TEST(LibraryReaders, FromFilesAndMemoryWithAlphaImages) {
  InstallTestFileAccess();
  const Bytes jpeg = WriteJpeg(20, 10, 3, 75);
  std::vector<Bytes> rows;
  for (int y = 0; y < 10; ++y) rows.push_back(Bytes(20, static_cast<uint8_t>(y * 20)));
  const Bytes alphaPng = WritePng({20, 10, 8, PNG_COLOR_TYPE_GRAY}, rows);
  ASSERT_TRUE(SaveFile("photo.jpg", jpeg));
  ASSERT_TRUE(SaveFile("photo_a.jpg", alphaPng));  // a PNG under a JPEG name: content decides
  RasterImage image{}, alpha{};
  ASSERT_EQ(LoadImageWithAlphaFile("photo.jpg", nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0), 0);
  ExpectLibraryPixels(jpeg, image);
  EXPECT_EQ(alpha.format.bytesPerPixel, 1);
  EXPECT_EQ(alpha.pixels[5 * alpha.pitch], 100);
  FreeRasterImage(&image);
  FreeRasterImage(&alpha);
  ASSERT_EQ(LoadImageWithAlphaFile(nullptr, jpeg.data(), static_cast<int32_t>(jpeg.size()), 1, alphaPng.data(),
                                   static_cast<int32_t>(alphaPng.size()), 1, &image, &alpha, 0), 0);
  ExpectLibraryPixels(jpeg, image);
  FreeRasterImage(&image);
  FreeRasterImage(&alpha);
}
