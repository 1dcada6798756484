// PNG files through libpng 1.6. libpng reports errors by a non-local jump back into
// DecodePng; everything allocated lives in the caller's PngState so that the error road
// can free it (locals of the function that set the jump point would be indeterminate).
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "core/tracked_alloc.h"
#include "image/image_reader.h"
#include "image/stream_reader.h"

namespace quelt {
namespace {

// Deflate's largest expansion is about 1032 to 1; the margin covers interlaced files' extra
// filter bytes.
constexpr int64_t kDeflateMaxRatio = 2 * 1032;

struct PngStreamBinding {
  DataStream* stream;
  int64_t end;  // stream length, as an absolute offset
};

struct PngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngStreamBinding binding{};
  png_bytepp rowPointers = nullptr;
  uint8_t* pixels = nullptr;       // the image's block (tracked)
};

void PngStreamRead(png_structp png, png_bytep buffer, size_t length) {
  auto* binding = static_cast<PngStreamBinding*>(png_get_io_ptr(png));
  const StreamReader in(binding->stream);
  if (binding->end - in.Tell() < static_cast<int64_t>(length) ||
      !in.ReadExact(buffer, static_cast<int64_t>(length))) {
    png_error(png, "Read Error");
  }
}

// libpng's own handlers print to stderr, which a windowed program does not have; errors
// still end at the jump point.
[[noreturn]] void PngQuietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngQuietWarning(png_structp, png_const_charp) {}

void BindPngToStream(png_structp png, PngStreamBinding* binding, DataStream* stream) {
  binding->stream = stream;
  binding->end = StreamReader(stream).Size();
  png_set_read_fn(png, binding, PngStreamRead);
}

void FreePngState(PngState* st) {
  if (st->rowPointers) TrackedFree(st->rowPointers);
  if (st->pixels) TrackedFree(st->pixels);
  png_destroy_read_struct(&st->png, &st->info, nullptr);
  st->rowPointers = nullptr;
  st->pixels = nullptr;
}

int DecodePng(PngState* st, DataStream* stream, RasterImage* image) {
  if (setjmp(png_jmpbuf(st->png))) {
    FreePngState(st);
    return -1;
  }
  BindPngToStream(st->png, &st->binding, stream);
  png_set_sig_bytes(st->png, 0);
  png_read_info(st->png, st->info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
  png_get_IHDR(st->png, st->info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  // Deflate packs at most kDeflateMaxRatio bytes into one: a file far too short for the
  // rows it claims is refused before a block of their size is made.
  const int64_t fileRowBytes = static_cast<int64_t>(png_get_rowbytes(st->png, st->info));
  if (fileRowBytes * height / kDeflateMaxRatio > st->binding.end) {
    FreePngState(st);
    return -1;
  }

  png_set_strip_16(st->png);
  png_set_packing(st->png);
  png_set_packswap(st->png);
  bool expanded = false;
  if ((colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 9) || png_get_valid(st->png, st->info, PNG_INFO_tRNS)) {
    png_set_expand(st->png);
    expanded = true;
  }
  png_set_bgr(st->png);
  // libpng 1.6 wants interlace handling asked for before the update to read whole images.
  png_set_interlace_handling(st->png);
  png_read_update_info(st->png, st->info);

  const int64_t rowBytes = static_cast<int64_t>(png_get_rowbytes(st->png, st->info));
  const int64_t bytes = rowBytes > kMaxPixelBlockBytes ? kMaxPixelBlockBytes + 1 : rowBytes * height;
  if (width == 0 || height == 0 || width > INT32_MAX || rowBytes > INT32_MAX ||
      bytes > kMaxPixelBlockBytes || int64_t{height} * int64_t{sizeof(png_bytep)} > kMaxPixelBlockBytes) {
    FreePngState(st);
    return -1;
  }
  // The rows are decoded straight into the image's block: the same bytes as decoding into a
  // library block and copying, without a second pass over the image.
  st->rowPointers = static_cast<png_bytepp>(
      TrackedAlloc(static_cast<int32_t>(height * sizeof(png_bytep)), __FILE__, __LINE__));
  st->pixels = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes), __FILE__, __LINE__));
  if (!st->rowPointers || !st->pixels) {
    FreePngState(st);
    return -1;
  }
  for (png_uint_32 y = 0; y < height; ++y) st->rowPointers[y] = st->pixels + y * rowBytes;
  png_read_image(st->png, st->rowPointers);
  TrackedFree(st->rowPointers);
  st->rowPointers = nullptr;
  png_read_end(st->png, nullptr);

  ColorFormat& f = image->format;
  if (colourType == PNG_COLOR_TYPE_PALETTE && !expanded) {
    SetPaletteColorFormat(&f);
    f.palette = {};
    png_colorp palette = nullptr;
    int entries = 0;
    if (png_get_PLTE(st->png, st->info, &palette, &entries) && palette) {
      for (int i = 0; i < entries && i < 256; ++i) {
        f.palette[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
      }
    }
  } else if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    if (rowBytes / 2 < static_cast<int64_t>(width)) {
      SetGrayPaletteColorFormat(&f);
    } else {
      // Grey and alpha bytes: the grey byte serves as red, green and blue; the alpha byte
      // is carried as unused bits.
      f.bitDepth = 16;
      f.bytesPerPixel = 2;
      f.redMask = f.greenMask = f.blueMask = 0xFF;
      f.redShift = f.greenShift = f.blueShift = 0;
      f.redWidth = f.greenWidth = f.blueWidth = 8;
      f.alphaMask = 0;
      f.alphaShift = 0;
      f.alphaWidth = 0;
      f.unusedMask = 0xFF00;
      f.compression = kCompressionNone;
    }
  } else if (png_get_channels(st->png, st->info) == 4) {
    SetRgb24ColorFormat(&f);
    f.bitDepth = 32;
    f.bytesPerPixel = 4;
    f.alphaWidth = 8;
    f.alphaShift = 24;
    f.alphaMask = 0xFF000000;
  } else {
    SetRgb24ColorFormat(&f);
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pitch = static_cast<int32_t>(rowBytes);
  image->pixels = st->pixels;
  image->mipCount = 0;
  st->pixels = nullptr;  // the image owns it now
  FreePngState(st);
  return 0;
}

}  // namespace

int ReadPngImage(DataStream* stream, RasterImage* image) {
  PngState st;
  // The installed library's own version string: libpng refuses a mismatch with its headers.
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngQuietError, PngQuietWarning);
  if (!st.png) return -1;
  st.info = png_create_info_struct(st.png);
  if (!st.info) {
    png_destroy_read_struct(&st.png, nullptr, nullptr);
    return -1;
  }
  return DecodePng(&st, stream, image);
}

bool HaveLibraryImageReaders() { return true; }

}  // namespace quelt
