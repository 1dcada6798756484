// JPEG files through libjpeg's 6b interface (libjpeg-turbo). Errors jump back into
// DecodeJpeg; what it allocates lives in the caller's JpegState so the error road frees it.
// The library writes its rows straight into the image, already in blue, green, red order
// (libjpeg-turbo's extended colour spaces), so a decode costs no copy of its own.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "core/tracked_alloc.h"
#include "image/image_reader.h"
#include "image/stream_reader.h"

namespace quelt {
namespace {

// Large enough that the stream is asked for more only a few times per picture.
constexpr size_t kSourceBufferBytes = 64 * 1024;
// Rows handed to one jpeg_read_scanlines call: the library fills as many as it has ready.
constexpr int kRowsPerRead = 16;

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

struct JpegSource {
  jpeg_source_mgr pub;
  JOCTET* buffer;
  int startOfFile;
  DataStream* stream;
  int64_t end;  // stream length, as an absolute offset
};

struct JpegState {
  jpeg_decompress_struct cinfo;
  JpegError error;
  uint8_t* pixels = nullptr;
};

void JpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// libjpeg prints its messages to stderr; the engine has nothing to show them on.
void JpegQuietMessage(j_common_ptr) {}

void JpegSourceInit(j_decompress_ptr cinfo) {
  reinterpret_cast<JpegSource*>(cinfo->src)->startOfFile = 1;
}

boolean JpegSourceFill(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  const StreamReader in(src->stream);
  int64_t n = src->end - in.Tell();
  if (n > static_cast<int64_t>(kSourceBufferBytes)) n = kSourceBufferBytes;
  if (n > 0) n = in.ReadSome(src->buffer, n);
  if (n <= 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    // A fake end-of-image code lets a cut file decode to its end.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = static_cast<size_t>(n);
  src->startOfFile = 0;
  return TRUE;
}

void JpegSourceSkip(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
    count -= static_cast<long>(src->pub.bytes_in_buffer);
    JpegSourceFill(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void JpegSourceTerm(j_decompress_ptr) {}

void BindJpegToStream(j_decompress_ptr cinfo, DataStream* stream) {
  if (!cinfo->src) {
    auto* src = static_cast<JpegSource*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegSource)));
    src->buffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kSourceBufferBytes));
    cinfo->src = &src->pub;
  }
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  src->pub.init_source = JpegSourceInit;
  src->pub.fill_input_buffer = JpegSourceFill;
  src->pub.skip_input_data = JpegSourceSkip;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = JpegSourceTerm;
  src->stream = stream;
  src->end = StreamReader(stream).Size();
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
}

int DecodeJpeg(JpegState* st, DataStream* stream, RasterImage* image) {
  j_decompress_ptr cinfo = &st->cinfo;
  if (setjmp(st->error.jump)) {
    jpeg_destroy_decompress(cinfo);
    if (st->pixels) TrackedFree(st->pixels);
    st->pixels = nullptr;
    return -1;
  }
  // The installed library's own version and structure size: libjpeg refuses a mismatch.
  jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  BindJpegToStream(cinfo, stream);
  jpeg_read_header(cinfo, TRUE);
#ifdef JCS_EXTENSIONS
  const bool libraryOrdersBgr = cinfo->out_color_space == JCS_RGB;
  if (libraryOrdersBgr) cinfo->out_color_space = JCS_EXT_BGR;
#else
  constexpr bool libraryOrdersBgr = false;
#endif
  // The output size is known from the header alone: a file claiming more than an image may
  // hold is refused before the decoder sets up (a progressive file reads all its scans into
  // full-size buffers there).
  jpeg_calc_output_dimensions(cinfo);
  const int components = cinfo->output_components;
  const int64_t row = int64_t{cinfo->output_width} * components;
  const int64_t bytes = row * cinfo->output_height;
  // Four-component (CMYK) output has no engine format.
  if ((components != 1 && components != 3) || row <= 0 || row > INT32_MAX || bytes > kMaxPixelBlockBytes) {
    jpeg_destroy_decompress(cinfo);
    return -1;
  }
  jpeg_start_decompress(cinfo);
  st->pixels = static_cast<uint8_t*>(TrackedAlloc(static_cast<int32_t>(bytes), __FILE__, __LINE__));
  if (!st->pixels) {
    jpeg_destroy_decompress(cinfo);
    return -1;
  }
  JSAMPROW rows[kRowsPerRead];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION y = cinfo->output_scanline;
    const JDIMENSION left = cinfo->output_height - y;
    const JDIMENSION count = left < kRowsPerRead ? left : kRowsPerRead;
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = st->pixels + int64_t{y + i} * row;
    const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, count);
    if (components == 3 && !libraryOrdersBgr) {
      for (JDIMENSION i = 0; i < got; ++i) {
        uint8_t* d = rows[i];
        for (int64_t x = 0; x < row; x += 3) {
          const uint8_t red = d[x];
          d[x] = d[x + 2];
          d[x + 2] = red;
        }
      }
    }
  }
  jpeg_finish_decompress(cinfo);
  image->width = static_cast<int32_t>(cinfo->output_width);
  image->height = static_cast<int32_t>(cinfo->output_height);
  image->pitch = static_cast<int32_t>(row);
  if (components == 1) {
    SetGrayPaletteColorFormat(&image->format);
  } else {
    SetRgb24ColorFormat(&image->format);
  }
  image->pixels = st->pixels;
  image->mipCount = 0;
  st->pixels = nullptr;
  jpeg_destroy_decompress(cinfo);
  return 0;
}

}  // namespace

int ReadJpegImage(DataStream* stream, RasterImage* image) {
  JpegState st;
  std::memset(&st.cinfo, 0, sizeof(st.cinfo));
  st.cinfo.err = jpeg_std_error(&st.error.pub);
  st.error.pub.error_exit = JpegErrorExit;
  st.error.pub.output_message = JpegQuietMessage;
  return DecodeJpeg(&st, stream, image);
}

}  // namespace quelt
