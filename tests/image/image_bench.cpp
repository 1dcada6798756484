// Image decoding through the readers beside a bare libpng/libjpeg loop over the same files,
// and ConvertPixelRect throughput for the common format pairs beside memcpy and, natively,
// beside pixman's (OP_SRC composite) and SDL2's (SDL_ConvertPixels) conversions of the same
// pairs; the three take turns, the figures are the medians of the rounds.
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "image/image_reader.h"
#include "image/image_test_support.h"
#include "image/pixel_convert.h"

#ifdef QUELT_BENCH_PIXMAN
#include <pixman.h>
#endif
#ifdef QUELT_BENCH_SDL2
#include <SDL.h>
#endif

using namespace quelt;
using Clock = std::chrono::steady_clock;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kWidth = 1024, kHeight = 768;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

uint8_t Sample(int x, int y, int k) { return static_cast<uint8_t>((x * (3 + k) + y * 5 + ((x ^ y) & 15)) & 0xFF); }

void Append(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

Bytes MakePng() {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, Append, nullptr);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  Bytes row(kWidth * 4);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth * 4; ++x) row[x] = Sample(x / 4, y, x % 4);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes MakeJpeg() {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 85, TRUE);
  jpeg_start_compress(&c, TRUE);
  Bytes row(kWidth * 3);
  while (c.next_scanline < c.image_height) {
    for (int x = 0; x < kWidth * 3; ++x) row[x] = Sample(x / 3, static_cast<int>(c.next_scanline), x % 3);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}

struct PngMemory {
  const Bytes* bytes;
  size_t at;
};
void ReadMemory(png_structp png, png_bytep out, size_t length) {
  auto* m = static_cast<PngMemory*>(png_get_io_ptr(png));
  std::memcpy(out, m->bytes->data() + m->at, length);
  m->at += length;
}

void BarePng(const Bytes& file, Bytes& pixels) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  PngMemory m{&file, 0};
  png_set_read_fn(png, &m, ReadMemory);
  png_read_info(png, info);
  png_set_bgr(png);
  png_read_update_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  pixels.resize(rowBytes * kHeight);
  std::vector<png_bytep> rows(kHeight);
  for (int y = 0; y < kHeight; ++y) rows[y] = pixels.data() + y * rowBytes;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
}

void BareJpeg(const Bytes& file, Bytes& pixels) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&d, TRUE);
  jpeg_start_decompress(&d);
  pixels.resize(static_cast<size_t>(d.output_width) * d.output_height * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW r = pixels.data() + static_cast<size_t>(d.output_scanline) * d.output_width * 3;
    jpeg_read_scanlines(&d, &r, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
}

template <typename Fn>
double BestOf(int rounds, Fn&& fn) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    fn();
    const double t = Seconds(start);
    if (t < best) best = t;
  }
  return best;
}

// The reader and the bare loop take turns, so that a change of load on a shared machine
// falls on both; each keeps its best round.
void DecodeRow(const char* name, const Bytes& file, ImageReader reader, void (*bare)(const Bytes&, Bytes&)) {
  double viaReader = 1e9, viaLibrary = 1e9;
  for (int round = 0; round < 11; ++round) {
    viaReader = std::min(viaReader, BestOf(1, [&] {
      MemoryStream* memory = OpenMemoryStream(file.data(), static_cast<int32_t>(file.size()));
      DataStream stream{*GetMemoryStreamOps(), reinterpret_cast<StreamHandle>(memory)};
      RasterImage image{};
      reader(&stream, &image);
      FreeRasterImage(&image);
      CloseMemoryStream(stream.handle);
    }));
    // The bare loop gets a fresh output block each time, as a real decode does.
    viaLibrary = std::min(viaLibrary, BestOf(1, [&] {
      Bytes pixels;
      bare(file, pixels);
    }));
  }
  std::printf("%-5s decode %dx%d: reader %.2f ms, bare library %.2f ms, overhead %+.1f%%\n", name, kWidth,
              kHeight, viaReader * 1e3, viaLibrary * 1e3, (viaReader / viaLibrary - 1) * 100);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// The peers' names of a pair's formats; 0 where the peer has no such conversion.
struct PeerFormats {
  uint32_t pixmanSrc, pixmanDest;
  uint32_t sdlSrc, sdlDest;
};

#ifdef QUELT_BENCH_PIXMAN
double PixmanConvert(const PeerFormats& f, uint8_t* dest, int destPitch, uint8_t* src, int srcPitch) {
  if (!f.pixmanSrc) return 0;
  pixman_image_t* s = pixman_image_create_bits(static_cast<pixman_format_code_t>(f.pixmanSrc), kWidth, kHeight,
                                               reinterpret_cast<uint32_t*>(src), srcPitch);
  pixman_image_t* d = pixman_image_create_bits(static_cast<pixman_format_code_t>(f.pixmanDest), kWidth, kHeight,
                                               reinterpret_cast<uint32_t*>(dest), destPitch);
  const double t = BestOf(1, [&] {
    pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
  });
  pixman_image_unref(s);
  pixman_image_unref(d);
  return kWidth * kHeight / 1e6 / t;
}
#endif

#ifdef QUELT_BENCH_SDL2
double SdlConvert(const PeerFormats& f, uint8_t* dest, int destPitch, const uint8_t* src, int srcPitch) {
  if (!f.sdlSrc) return 0;
  const double t = BestOf(1, [&] { SDL_ConvertPixels(kWidth, kHeight, f.sdlSrc, src, srcPitch, f.sdlDest, dest, destPitch); });
  return kWidth * kHeight / 1e6 / t;
}
#endif

void PrintPeer(double ours, double peer) {
  if (peer > 0) std::printf(" %8.1f %6.2fx", peer, ours / peer);
  else std::printf(" %8s %7s", "-", "-");
}

ColorFormat Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorFormat f{};
  SetMaskColorFormat(&f, depth, r, g, b, a);
  return f;
}

}  // namespace

int main() {
  DecodeRow("PNG", MakePng(), ReadPngImage, BarePng);
  DecodeRow("JPEG", MakeJpeg(), ReadJpegImage, BareJpeg);

  struct Pair {
    const char* name;
    ColorFormat src, dest;
    int transparent;
    PeerFormats peers;
  };
  ColorFormat palette{};
  SetGrayPaletteColorFormat(&palette);
  const ColorFormat xrgb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0), argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  const ColorFormat rgb24 = Masks(24, 0xFF0000, 0xFF00, 0xFF, 0), r565 = Masks(16, 0xF800, 0x7E0, 0x1F, 0);
  const ColorFormat x555 = Masks(16, 0x7C00, 0x3E0, 0x1F, 0), a1555 = Masks(16, 0x7C00, 0x3E0, 0x1F, 0x8000);
#ifdef QUELT_BENCH_PIXMAN
  constexpr uint32_t pA8888 = PIXMAN_a8r8g8b8, pX8888 = PIXMAN_x8r8g8b8, p888 = PIXMAN_r8g8b8,
                     p565 = PIXMAN_r5g6b5, pX1555 = PIXMAN_x1r5g5b5, pA1555 = PIXMAN_a1r5g5b5;
#else
  constexpr uint32_t pA8888 = 0, pX8888 = 0, p888 = 0, p565 = 0, pX1555 = 0, pA1555 = 0;
#endif
#ifdef QUELT_BENCH_SDL2
  constexpr uint32_t sA8888 = SDL_PIXELFORMAT_ARGB8888, sX8888 = SDL_PIXELFORMAT_XRGB8888,
                     s888 = SDL_PIXELFORMAT_BGR24, s565 = SDL_PIXELFORMAT_RGB565, sX1555 = SDL_PIXELFORMAT_XRGB1555,
                     sA1555 = SDL_PIXELFORMAT_ARGB1555;
#else
  constexpr uint32_t sA8888 = 0, sX8888 = 0, s888 = 0, s565 = 0, sX1555 = 0, sA1555 = 0;
#endif
  const Pair pairs[] = {
      {"A8R8G8B8 -> A8R8G8B8 (copy)", argb, argb, 0, {pA8888, pA8888, sA8888, sA8888}},
      {"X8R8G8B8 -> A8R8G8B8", xrgb, argb, 0, {pX8888, pA8888, sX8888, sA8888}},
      {"X8R8G8B8 -> A8R8G8B8 transparent", xrgb, argb, 1, {}},
      {"R8G8B8 -> X8R8G8B8", rgb24, xrgb, 0, {p888, pX8888, s888, sX8888}},
      {"R8G8B8 -> A8R8G8B8", rgb24, argb, 0, {p888, pA8888, s888, sA8888}},
      {"R8G8B8 -> A8R8G8B8 transparent", rgb24, argb, 1, {}},
      {"palette -> X8R8G8B8", palette, xrgb, 0, {}},
      {"palette -> R5G6B5", palette, r565, 0, {}},
      {"A8R8G8B8 -> R5G6B5", argb, r565, 0, {pA8888, p565, sA8888, s565}},
      {"X8R8G8B8 -> R5G6B5", xrgb, r565, 0, {pX8888, p565, sX8888, s565}},
      {"X8R8G8B8 -> X1R5G5B5", xrgb, x555, 0, {pX8888, pX1555, sX8888, sX1555}},
      {"A8R8G8B8 -> A1R5G5B5", argb, a1555, 0, {pA8888, pA1555, sA8888, sA1555}},
      {"R5G6B5 -> X8R8G8B8", r565, xrgb, 0, {p565, pX8888, s565, sX8888}},
      {"R5G6B5 -> A8R8G8B8", r565, argb, 0, {p565, pA8888, s565, sA8888}}};
  Bytes src(static_cast<size_t>(kWidth) * kHeight * 4), dest(src.size());
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  const PixelRect rect{0, 0, kWidth, kHeight};
  const double megapixels = kWidth * kHeight / 1e6;
  std::printf("%-50s %8s %8s %8s %7s %8s %7s\n", "ConvertPixelRect, Mpixel/s (medians of 7 rounds)", "ours",
              "memcpy", "pixman", "ratio", "SDL2", "ratio");
  for (const Pair& p : pairs) {
    const int destPitch = kWidth * p.dest.bytesPerPixel, srcPitch = kWidth * p.src.bytesPerPixel;
    std::vector<double> ours, copy, pixman, sdl;
    const size_t bytes = static_cast<size_t>(kWidth) * kHeight * p.dest.bytesPerPixel;
    // Every timed run follows the same untimed copy, so that none inherits warmer caches from
    // the run before it (as the peer after the memcpy did).
    const auto same = [&] { std::memcpy(dest.data(), src.data(), bytes); };
    for (int round = 0; round < 7; ++round) {
      same();
      ours.push_back(megapixels / BestOf(1, [&] {
        ConvertPixelRect(dest.data(), destPitch, &p.dest, src.data(), srcPitch, &p.src, nullptr, 0, nullptr, 0, 0,
                         &rect, 0, p.transparent, 0x102030, 0, 0, 0, 0, 0);
      }));
      same();
      copy.push_back(megapixels / BestOf(1, [&] { std::memcpy(dest.data(), src.data(), bytes); }));
#ifdef QUELT_BENCH_PIXMAN
      same();
      pixman.push_back(PixmanConvert(p.peers, dest.data(), destPitch, src.data(), srcPitch));
#endif
#ifdef QUELT_BENCH_SDL2
      same();
      sdl.push_back(SdlConvert(p.peers, dest.data(), destPitch, src.data(), srcPitch));
#endif
    }
    const double o = Median(ours);
    std::printf("ConvertPixelRect %-33s %8.1f %8.1f", p.name, o, Median(copy));
    PrintPeer(o, Median(pixman));
    PrintPeer(o, Median(sdl));
    std::printf("\n");
  }
  return 0;
}
