// Graphs from image files under Wine, on the Direct3D device and on the software screen:
// every file kind, the "_a" alpha file, pixels read back from textures or memory images,
// sub graphs, deleted handles, the graph limit, screen-mode changes
// and the reload of every graph from its file.
#include <gtest/gtest.h>
#include <png.h>
#include <windows.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "core/core_state.h"
#include "file/file_access.h"
#include "font/font_table.h"
#include "graphics/device_formats.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graph_settings.h"
#include "graphics/graph_table.h"
#include "graphics/original_image.h"
#include "graphics/original_image_device.h"
#include "graphics/screen_mode.h"
#include "graphics/texture_split.h"
#include "image/color_format.h"
#include "image/dxt_decode.h"
#include "image/image_load.h"
#include "image/pixel_convert.h"
#include "movie/movie_dshow.h"
#include "softrender/memimg.h"
#include "tests/graphics/engine_session.h"

namespace {

using namespace quelt;

// --- Files ------------------------------------------------------------------------------------

using Bytes = std::vector<uint8_t>;

// A deterministic picture, 0xAARRGGBB, with black pixels here and there for the
// transparent colour.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> colours;
  uint32_t at(int x, int y) const { return colours[static_cast<size_t>(y * width + x)]; }
};
Picture MakePicture(int width, int height, uint32_t seed) {
  Picture p{width, height, {}};
  uint32_t v = seed * 2654435761u + 1;
  for (int i = 0; i < width * height; ++i) {
    v = v * 1664525u + 1013904223u;
    p.colours.push_back(i % 5 == 0 ? 0xFF000000u : (v >> 8) | 0xFF000000u);
  }
  return p;
}

void Put16(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }

Bytes WriteBmp24(const Picture& p) {
  const int row = (p.width * 3 + 3) & ~3;
  Bytes b = {'B', 'M'};
  Put32(b, static_cast<uint32_t>(54 + row * p.height));
  Put32(b, 0);
  Put32(b, 54);
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(p.width));
  Put32(b, static_cast<uint32_t>(p.height));
  Put16(b, 1);
  Put16(b, 24);
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  for (int y = p.height - 1; y >= 0; --y) {
    for (int x = 0; x < p.width; ++x) {
      const uint32_t c = p.at(x, y);
      b.insert(b.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    }
    b.resize(b.size() + static_cast<size_t>(row - p.width * 3), 0);
  }
  return b;
}

Bytes WriteTga32(const Picture& p) {
  Bytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16(b, static_cast<uint32_t>(p.width));
  Put16(b, static_cast<uint32_t>(p.height));
  b.insert(b.end(), {32, 8});  // bottom-up rows, 8 alpha bits
  for (int y = p.height - 1; y >= 0; --y)
    for (int x = 0; x < p.width; ++x) Put32(b, p.at(x, y));
  return b;
}

Bytes WriteDds(uint32_t width, uint32_t height, uint32_t pixelFlags, uint32_t fourCC, uint32_t bits,
               const std::array<uint32_t, 4>& masks, const Bytes& data) {
  Bytes b = {'D', 'D', 'S', ' '};
  Put32(b, 124);
  Put32(b, 0x1007);
  Put32(b, height);
  Put32(b, width);
  for (int i = 0; i < 3; ++i) Put32(b, 0);  // pitch, depth, mip count
  for (int i = 0; i < 11; ++i) Put32(b, 0);
  Put32(b, 32);
  Put32(b, pixelFlags);
  Put32(b, fourCC);
  Put32(b, bits);
  for (uint32_t m : masks) Put32(b, m);
  Put32(b, 0x1000);
  for (int i = 0; i < 4; ++i) Put32(b, 0);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes WriteDds32(const Picture& p) {
  Bytes data;
  for (uint32_t c : p.colours) Put32(data, c);
  return WriteDds(static_cast<uint32_t>(p.width), static_cast<uint32_t>(p.height), 0x41, 0, 32,
                  {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, data);
}

Bytes Dxt1Blocks() {
  Bytes data(32);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 29 + 3);
  return data;
}

// Four-colour DXT1 blocks (first colour above the second) for a side x side image.
Bytes Dxt1FourColourBlocks(int32_t side) {
  Bytes data;
  const int32_t blocks = (side + 3) / 4;
  for (int32_t b = 0; b < blocks * blocks; ++b) {
    const uint8_t block[8] = {0x00, 0xF8, 0x1F, static_cast<uint8_t>(b * 3), 0x1B, 0xE4, 0x4E, 0xB1};
    data.insert(data.end(), block, block + 8);
  }
  return data;
}

void AppendBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

Bytes RgbRow(const Picture& p, int y) {
  Bytes row;
  for (int x = 0; x < p.width; ++x) {
    const uint32_t c = p.at(x, y);
    row.insert(row.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
  }
  return row;
}

Bytes WritePngRgb(const Picture& p) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < p.height; ++y) {
    Bytes row = RgbRow(p, y);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes WriteJpeg(const Picture& p) {
  jpeg_compress_struct c{};
  jpeg_error_mgr error{};
  c.err = jpeg_std_error(&error);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(p.width);
  c.image_height = static_cast<JDIMENSION>(p.height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  for (int y = 0; y < p.height; ++y) {
    Bytes row = RgbRow(p, y);
    JSAMPROW pointer = row.data();
    jpeg_write_scanlines(&c, &pointer, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  free(buffer);
  return out;
}

bool SaveFile(const char* path, const Bytes& bytes) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

void WriteFiles() {
  ASSERT_TRUE(SaveFile("pic.bmp", WriteBmp24(MakePicture(37, 23, 1))));
  ASSERT_TRUE(SaveFile("pic.png", WritePngRgb(MakePicture(41, 17, 2))));
  ASSERT_TRUE(SaveFile("pic.jpg", WriteJpeg(MakePicture(32, 24, 3))));
  ASSERT_TRUE(SaveFile("pic.tga", WriteTga32(MakePicture(13, 9, 4))));
  ASSERT_TRUE(SaveFile("pic.dds", WriteDds32(MakePicture(20, 12, 5))));
  ASSERT_TRUE(SaveFile("dxt.dds", WriteDds(8, 8, 4, 0x31545844, 0, {0, 0, 0, 0}, Dxt1Blocks())));
  ASSERT_TRUE(SaveFile("dxt12.dds", WriteDds(12, 12, 4, 0x31545844, 0, {0, 0, 0, 0}, Dxt1FourColourBlocks(12))));
  ASSERT_TRUE(SaveFile("dxt6.dds", WriteDds(6, 6, 4, 0x31545844, 0, {0, 0, 0, 0}, Dxt1FourColourBlocks(6))));
  ASSERT_TRUE(SaveFile("wide.bmp", WriteBmp24(MakePicture(600, 30, 6))));
  ASSERT_TRUE(SaveFile("other.bmp", WriteBmp24(MakePicture(16, 16, 7))));
  ASSERT_TRUE(SaveFile("masked.bmp", WriteBmp24(MakePicture(12, 10, 8))));
  ASSERT_TRUE(SaveFile("masked_a.bmp", WriteBmp24(MakePicture(12, 10, 9))));
  // Wine's DirectShow keeps a file it failed to render open until the process ends: the
  // first case's file stays for the rest.
  if (GetFileAttributesA("notimage.bin") == INVALID_FILE_ATTRIBUTES) {
    ASSERT_TRUE(SaveFile("notimage.bin", Bytes(100, 0x5A)));
  }
}

// --- Pixels of a graph -------------------------------------------------------------------------

struct GraphPixels {
  int32_t bytes = 0;  // per pixel
  std::vector<uint32_t> raw;
};

// The graph's stored pixels, raw, row by row.
GraphPixels ReadGraph(int32_t graph) {
  GraphPixels out;
  GraphRecord* record = GetGraphRecord(graph);
  OriginalImage* image = record->image;
  out.raw.assign(static_cast<size_t>(record->width * record->height), 0xDEADBEEF);
  if (image->softwareImage) {
    const MEMIMG& view = record->memImg;
    out.bytes = MemImgBytesPerPixel(*view.base);
    for (int32_t y = 0; y < record->height; ++y)
      for (int32_t x = 0; x < record->width; ++x) {
        uint32_t v = 0;
        std::memcpy(&v, view.pixels + y * view.base->pitch + x * out.bytes, static_cast<size_t>(out.bytes));
        out.raw[static_cast<size_t>(y * record->width + x)] = v;
      }
    return out;
  }
  const ColorFormat* format = ColorFormatForD3DFormat(DeviceFormatTable[static_cast<size_t>(image->formatIndex)]);
  if (format == nullptr) return out;  // block-compressed: no pixels to compare
  out.bytes = format->bitDepth / 8;
  for (int32_t k = 0; k < record->pieceCount; ++k) {
    const TexturePiece& p = GraphPieces(record)[k];
    const PixelRect rect{p.sourceX, p.sourceY, p.sourceX + p.width, p.sourceY + p.height};
    LockedArea area{};
    if (PlatformTextureOps->lockTexture(p.entry->texture, 0, &rect, 0, &area) < 0) continue;
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) {
        uint32_t v = 0;
        std::memcpy(&v, area.bits + y * area.pitch + x * out.bytes, static_cast<size_t>(out.bytes));
        out.raw[static_cast<size_t>((p.destY + y) * record->width + p.destX + x)] = v;
      }
    PlatformTextureOps->unlockTexture(p.entry->texture, 0);
  }
  return out;
}

// The decoded file converted as the graph's store takes it.
GraphPixels ExpectedPixels(const char* path, int32_t graph) {
  RasterImage image{};
  RasterImage alpha{};
  const int loaded = LoadImageWithAlphaFile(path, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0);
  EXPECT_GE(loaded, 0) << path;
  RasterImage* alphaImage = loaded == 0 ? &alpha : nullptr;
  if (image.format.compression != 0) {
    EXPECT_EQ(DecodeCompressedTexture(&image), 0) << path;
  }
  GraphRecord* record = GetGraphRecord(graph);
  OriginalImage* original = record->image;
  GraphPixels out;
  const ColorFormat* format = nullptr;
  int alphaTest = 0;
  uint32_t transparent = original->transparentColour;
  if (original->softwareImage) {
    format = original->memImg.base->format;
    alphaTest = 1;
    transparent = original->memImg.base->transparentColour;
  } else {
    format = ColorFormatForD3DFormat(DeviceFormatTable[static_cast<size_t>(original->formatIndex)]);
    if (format == nullptr) {
      ADD_FAILURE() << path << " is held in block-compressed textures";
      FreeRasterImage(&image);
      FreeRasterImage(&alpha);
      return out;
    }
    alphaTest = format->alphaWidth > 0 && alphaImage == nullptr ? 1 : 0;
  }
  out.bytes = format->bitDepth / 8;
  if (original->softwareImage) out.bytes = MemImgBytesPerPixel(*original->memImg.base);
  std::vector<uint8_t> block(static_cast<size_t>(image.width * image.height * 4));
  const PixelRect rect{0, 0, image.width, image.height};
  ConvertPixelRect(block.data(), image.width * out.bytes, format, image.pixels, image.pitch, &image.format,
                   alphaImage ? alphaImage->pixels : nullptr, alphaImage ? alphaImage->pitch : 0,
                   alphaImage ? &alphaImage->format : nullptr, 0, 0, &rect, 0, alphaTest, transparent, 0, 0, 0, 0, 0);
  out.raw.resize(static_cast<size_t>(image.width * image.height));
  for (size_t i = 0; i < out.raw.size(); ++i) {
    uint32_t v = 0;
    std::memcpy(&v, block.data() + i * static_cast<size_t>(out.bytes), static_cast<size_t>(out.bytes));
    out.raw[i] = v;
  }
  FreeRasterImage(&image);
  FreeRasterImage(&alpha);
  return out;
}

::testing::AssertionResult SamePixels(const GraphPixels& actual, const GraphPixels& expected) {
  if (actual.raw.size() != expected.raw.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (size_t i = 0; i < actual.raw.size(); ++i) {
    if (actual.raw[i] != expected.raw[i])
      return ::testing::AssertionFailure() << "pixel " << i << " is " << std::hex << actual.raw[i] << ", expected "
                                           << expected.raw[i];
  }
  return ::testing::AssertionSuccess();
}

// --- Sessions on both back ends ----------------------------------------------------------------

class GraphFiles : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    WriteFiles();
    const std::string caption = std::string("quelt graph files ") + (GetParam() ? "d3d" : "soft");
    ASSERT_EQ(quelt_test::StartEngineSession({caption.c_str(), GetParam()}), 0);
    ASSERT_EQ(ScreenState.hardware, GetParam());
  }
  void TearDown() override {
    // Every texture goes while its device lives.
    DeleteAllGraphs();
    quelt_test::StopEngineSession();
  }
};

TEST_P(GraphFiles, EveryKindOfFileLoadsWithItsSizeAndPixels) {
  struct Case {
    const char* path;
    int32_t width, height;
  };
  for (const Case& c : {Case{"pic.bmp", 37, 23}, Case{"pic.png", 41, 17}, Case{"pic.jpg", 32, 24},
                        Case{"pic.tga", 13, 9}, Case{"pic.dds", 20, 12}, Case{"wide.bmp", 600, 30},
                        Case{"masked.bmp", 12, 10}, Case{"dxt12.dds", 12, 12}, Case{"dxt6.dds", 6, 6}}) {
    SCOPED_TRACE(c.path);
    const int32_t graph = OpenGraphFile(c.path, 1, 0, 0);
    ASSERT_GE(graph, 0);
    int32_t w = 0, h = 0;
    EXPECT_EQ(QueryGraphDimensions(graph, &w, &h), 0);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
    EXPECT_TRUE(SamePixels(ReadGraph(graph), ExpectedPixels(c.path, graph)));
  }
  if (GetParam()) {
    // The 600-wide picture on the 600-wide screen: four textures, 512, 64, 16 and 8 wide.
    const int32_t wide = OpenGraphFile("wide.bmp", 1, 0, 0);
    GraphRecord* record = GetGraphRecord(wide);
    ASSERT_EQ(record->pieceCount, 4);
    EXPECT_EQ(GraphPieces(record)[1].entry->textureWidth, 64);
    EXPECT_EQ(GraphPieces(record)[3].entry->textureWidth, 8);
    // "_a": an alpha channel; without one the transparent colour becomes a 1-bit alpha.
    EXPECT_EQ(GetGraphRecord(OpenGraphFile("masked.bmp", 1, 0, 0))->image->formatIndex, 3);
    EXPECT_EQ(GetGraphRecord(OpenGraphFile("pic.bmp", 1, 0, 0))->image->formatIndex, 5);
    // Block-compressed data that fits its texture is copied unchanged.
    const int32_t dxt = OpenGraphFile("dxt.dds", 1, 0, 0);
    ASSERT_GE(dxt, 0);
    const TextureEntry& e = ImageEntries(GetGraphRecord(dxt)->image)[0];
    LockedArea area{};
    ASSERT_EQ(PlatformTextureOps->lockTexture(e.texture, 0, nullptr, 0, &area), 0);
    const Bytes blocks = Dxt1Blocks();
    EXPECT_EQ(std::memcmp(area.bits, blocks.data(), 16), 0);
    EXPECT_EQ(std::memcmp(area.bits + area.pitch, blocks.data() + 16, 16), 0);
    PlatformTextureOps->unlockTexture(e.texture, 0);
  } else {
    EXPECT_EQ(GetGraphRecord(OpenGraphFile("masked.bmp", 1, 0, 0))->image->formatIndex, 18);
    int32_t w = 0;
    EXPECT_EQ(QueryGraphDimensions(OpenGraphFile("dxt.dds", 1, 0, 0), &w, nullptr), 0);
    EXPECT_EQ(w, 8);
  }

  // A file that is no image goes the movie road, which fails; a missing file is logged.
  EXPECT_EQ(OpenGraphFile("notimage.bin", 1, 0, 0), -1);
  EXPECT_EQ(OpenGraphFile("missing.png", 1, 0, 0), -1);
  const std::string log = quelt_test::ReadEngineLog();
  EXPECT_NE(log.find("グラフィックファイル missing.png がありません"), std::string::npos);
  EXPECT_NE(log.find("右記のグラフィックファイルのロードに失敗しました：notimage.bin"), std::string::npos);
  EXPECT_EQ(ScreenState.direct3DRefused, GetParam() ? 0 : 1);
}

int32_t MovieOpensAsked = 0;
long RefuseMovieOpen(void*, const wchar_t*) {
  ++MovieOpensAsked;
  return static_cast<long>(E_FAIL);
}

// A file its picture reader recognised and refused is not tried as a movie: it is refused
// at once with the load's log line. Other files still go the movie road.
TEST_P(GraphFiles, RefusedPicturesAreNotTriedAsMovies) {
  Bytes png = WritePngRgb(MakePicture(4, 4, 1));
  constexpr int32_t kClaimedSide = 11000;
  for (size_t at : {size_t{18}, size_t{22}}) {  // the low halves of the width and height
    png[at] = kClaimedSide >> 8;
    png[at + 1] = kClaimedSide & 0xFF;
  }
  Bytes bmp = WriteBmp24(MakePicture(4, 4, 2));
  bmp[28] = 7;  // no bit count a BMP has
  Bytes jpeg = WriteJpeg(MakePicture(8, 8, 3));
  jpeg.resize(20);
  const std::pair<const char*, Bytes> files[] = {{"claims.png", png}, {"badbits.bmp", bmp}, {"cut.jpg", jpeg}};
  const auto realOpen = MovieStreamOpenFile;
  MovieStreamOpenFile = RefuseMovieOpen;
  MovieOpensAsked = 0;
  for (const auto& [name, bytes] : files) {
    ASSERT_TRUE(SaveFile(name, bytes));
    EXPECT_EQ(OpenGraphFile(name, 1, 0, 0), -1) << name;
  }
  EXPECT_EQ(MovieOpensAsked, 0);
  EXPECT_EQ(OpenGraphFile("notimage.bin", 1, 0, 0), -1);
  EXPECT_EQ(MovieOpensAsked, 1);
  MovieStreamOpenFile = realOpen;
  const std::string log = quelt_test::ReadEngineLog();
  for (const auto& [name, bytes] : files)
    EXPECT_NE(log.find(std::string("右記のグラフィックファイルのロードに失敗しました：") + name), std::string::npos);
}

TEST_P(GraphFiles, SubGraphsAndDeletedHandles) {
  const int32_t graph = OpenGraphFile("wide.bmp", 1, 0, 0);
  ASSERT_GE(graph, 0);
  const int32_t sub = CreateSubGraph(500, 10, 100, 100, graph);
  ASSERT_GE(sub, 0);
  int32_t w = 0, h = 0;
  QueryGraphDimensions(sub, &w, &h);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 20);
  EXPECT_EQ(CreateSubGraph(600, 0, 4, 4, graph), -1);
  EXPECT_EQ(CreateSubGraph(0, 30, 4, 4, graph), -1);
  EXPECT_EQ(CreateSubGraph(-1, 0, 4, 4, graph), -1);
  // The sub graph shows the file's pixels at its place.
  const GraphPixels whole = ReadGraph(graph);
  const GraphPixels part = ReadGraph(sub);
  EXPECT_EQ(part.raw[0], whole.raw[10 * 600 + 500]);
  EXPECT_EQ(part.raw[19 * 100 + 99], whole.raw[29 * 600 + 599]);

  EXPECT_EQ(ReleaseGraphHandle(graph), 0);
  EXPECT_EQ(IsGraphHandleValid(graph), 0);
  EXPECT_EQ(ReleaseGraphHandle(graph), -1);
  EXPECT_EQ(QueryGraphDimensions(graph, &w, &h), -1);
  EXPECT_EQ(CreateSubGraph(0, 0, 4, 4, graph), -1);
  EXPECT_EQ(FillGraphColour(graph, 0, 0, 0, 0), -1);
  // The sub graph keeps the pixels.
  EXPECT_EQ(ReadGraph(sub).raw, part.raw);
}

TEST_P(GraphFiles, ScreenModeChangeDeletesEveryGraph) {
  const int32_t a = OpenGraphFile("pic.png", 1, 0, 0);
  const int32_t b = CreateBlankGraph(32, 32);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(ChangeScreenMode(-1, -1, -1, 1, -1), 0);
  EXPECT_EQ(ScreenState.started, 1);
  EXPECT_EQ(IsGraphHandleValid(a), 0);
  EXPECT_EQ(IsGraphHandleValid(b), 0);
  // The default font is made again after the change; on Direct3D its glyph cache (and edge
  // cache) are graphs of their own.
  int32_t fontGraphs = 0;
  if (const FontRecord* font = FontRecordOfHandle(QueryDefaultFont()))
    fontGraphs = (IsGraphHandleValid(font->cacheGraph) == 1) + (IsGraphHandleValid(font->edgeGraph) == 1);
  EXPECT_EQ(GraphTable.count, fontGraphs);
  EXPECT_GE(OpenGraphFile("pic.png", 1, 0, 0), 0);
}

// The file opens of a reload, counted through the file-access table.
FileAccessTable SavedAccess{};
int32_t SameFileOpens = 0;
FileHandle CountingOpen(const char* path, int32_t cache, int32_t unused, int32_t async) {
  const size_t length = std::strlen(path);
  if (length >= 8 && std::strcmp(path + length - 8, "same.bmp") == 0) ++SameFileOpens;
  return SavedAccess.open(path, cache, unused, async);
}

TEST_P(GraphFiles, ReloadRestoresEveryFileGraphDecodingEachRunOfOneFileOnce) {
  ASSERT_TRUE(SaveFile("same.bmp", WriteBmp24(MakePicture(600, 20, 11))));
  const int32_t first = OpenGraphFile("same.bmp", 1, 0, 0);
  const int32_t second = OpenGraphFile("same.bmp", 1, 0, 0);
  const int32_t sub = CreateSubGraph(100, 5, 50, 10, first);
  const int32_t other = OpenGraphFile("other.bmp", 1, 0, 0);
  ASSERT_GE(first, 0);
  ASSERT_GE(sub, 0);
  ASSERT_GE(other, 0);
  const GraphPixels before[4] = {ReadGraph(first), ReadGraph(second), ReadGraph(sub), ReadGraph(other)};

  // Clear the pixels: new empty textures, or zeroed memory images.
  if (GetParam()) {
    ReleaseAllGraphTextures();
    RecreateAllGraphTextures();
  } else {
    for (int32_t graph : {first, second, other}) {
      MEMIMG& image = GetGraphRecord(graph)->image->memImg;
      std::memset(image.base->pixels, 0, static_cast<size_t>(image.base->pitch * image.base->height));
    }
  }
  EXPECT_FALSE(SamePixels(ReadGraph(first), before[0]));

  SavedAccess = FileAccess;
  FileAccessTable counting = FileAccess;
  counting.open = CountingOpen;
  SetFileAccessTable(&counting);
  SameFileOpens = 0;
  ReloadGraphsFromFiles();
  SetFileAccessTable(&SavedAccess);

  EXPECT_EQ(SameFileOpens, 1);
  EXPECT_TRUE(SamePixels(ReadGraph(first), before[0]));
  EXPECT_TRUE(SamePixels(ReadGraph(second), before[1]));
  EXPECT_TRUE(SamePixels(ReadGraph(sub), before[2]));
  EXPECT_TRUE(SamePixels(ReadGraph(other), before[3]));
  EXPECT_NE(quelt_test::ReadEngineLog().find("グラフィックを復帰します"), std::string::npos);
}

::testing::AssertionResult AllRgb(const GraphPixels& pixels, const std::vector<uint32_t>& rgb) {
  for (size_t i = 0; i < pixels.raw.size(); ++i) {
    const uint32_t want = rgb.size() == 1 ? rgb[0] : rgb[i];
    if ((pixels.raw[i] & 0xFFFFFF) != (want & 0xFFFFFF))
      return ::testing::AssertionFailure() << "pixel " << i << " is " << std::hex << pixels.raw[i] << ", expected "
                                           << want;
  }
  return ::testing::AssertionSuccess();
}

TEST_P(GraphFiles, DrawScreenCopiesAndDrawableGraphs) {
  BackgroundColour = 0x3060A0;
  SelectDrawScreen(DrawScreenBack);
  EraseDrawScreen();
  const int32_t copy = CreateBlankGraph(40, 20);
  ASSERT_GE(copy, 0);
  EXPECT_EQ(GetDrawScreenGraph(10, 10, 51, 30, copy), -1);
  EXPECT_EQ(GetDrawScreenGraph(590, 0, 630, 20, copy), -1);
  EXPECT_EQ(GetDrawScreenGraph(10, 10, 50, 30, copy), 0);
  EXPECT_TRUE(AllRgb(ReadGraph(copy), {0x3060A0}));

  // A drawable graph takes a picture through its staging surface and, selected as draw
  // screen, gives it back to a copy.
  SetNewGraphDrawableFlag(1);
  const int32_t target = CreateBlankGraph(16, 16);
  SetNewGraphDrawableFlag(0);
  ASSERT_GE(target, 0);
  EXPECT_EQ(GetGraphRecord(target)->image->renderTarget, 1);
  const Picture picture = MakePicture(16, 16, 21);
  RasterImage image{};
  ASSERT_EQ(AllocXrgb32Image(16, 16, &image), 0);
  std::memcpy(image.pixels, picture.colours.data(), 16 * 16 * 4);
  EXPECT_EQ(TransferRasterToGraph(&image, nullptr, target, 0, 0, 0), 0);
  FreeRasterImage(&image);
  ASSERT_EQ(SelectDrawScreen(target), 0);
  const int32_t copy16 = CreateBlankGraph(16, 16);
  EXPECT_EQ(GetDrawScreenGraph(0, 0, 16, 16, copy16), 0);
  SelectDrawScreen(DrawScreenBack);
  EXPECT_TRUE(AllRgb(ReadGraph(copy16), picture.colours));

  // Fills reach memory images and ordinary textures alike.
  EXPECT_EQ(FillGraphColour(copy, 255, 0, 300, 255), 0);
  EXPECT_TRUE(AllRgb(ReadGraph(copy), {0xFF00FF}));
}

INSTANTIATE_TEST_SUITE_P(BothBackEnds, GraphFiles, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                           return std::string(info.param ? "Direct3D" : "Software");
                         });

// --- The graph limit --------------------------------------------------------------------------

// A full table refuses the next graph with a log line; a freed slot is taken again.
TEST(GraphLimit, TheGraphAfterAFullTableIsRefused) {
  ASSERT_EQ(quelt_test::StartEngineSession({"quelt graph limit", 0}), 0);
  int32_t last = -1;
  for (int32_t i = 0; i < GraphTableCapacity; ++i) {
    last = CreateBlankGraph(1, 1);
    ASSERT_GE(last, 0) << "graph " << i;
  }
  EXPECT_EQ(CreateBlankGraph(1, 1), -1);
  EXPECT_EQ(CreateSubGraph(0, 0, 1, 1, last), -1);
  EXPECT_EQ(GraphTable.count, GraphTableCapacity);
  EXPECT_NE(quelt_test::ReadEngineLog().find("グラフィックの数が許容量を越えました\r\n"), std::string::npos);
  EXPECT_EQ(ReleaseGraphHandle(last), 0);
  EXPECT_GE(CreateBlankGraph(1, 1), 0);
  DeleteAllGraphs();
  quelt_test::StopEngineSession();
}

}  // namespace
