// The BMP variants that GDI draws, against the platform-free drawing the native build uses.
#include <gtest/gtest.h>

#include <cstring>

#include "image/bmp_internal.h"
#include "image/image_reader.h"
#include "image/image_test_support.h"
#include "image/image_writers.h"

using namespace quelt;
using namespace quelt_test;

namespace {

// The header block and pixel data of a written BMP, as the reader passes them on.
void Split(const Bytes& file, BmpHeaderBlock* header, Bytes* bits) {
  std::memset(header, 0, sizeof(*header));
  const uint32_t offset = file[10] | file[11] << 8;
  const size_t colours = offset - 14 - 40;
  std::memcpy(header->bytes, file.data() + 14, 40 + colours);
  bits->assign(file.begin() + offset, file.end());
}

}  // namespace

TEST(BmpGdi, GdiAndPortableDrawingAgree) {
  struct Variant {
    int bits, compression;
    uint32_t masks[3];
  };
  const Variant variants[] = {
      {1, 0, {}}, {16, 0, {}}, {32, 0, {}}, {16, 3, {0xF800, 0x7E0, 0x1F}}, {16, 3, {0x7C00, 0x3E0, 0x1F}},
      {16, 3, {0xF00, 0xF0, 0xF}}, {32, 3, {0xFF0000, 0xFF00, 0xFF}}, {32, 3, {0xFF, 0xFF00, 0xFF0000}},
      {32, 3, {0x3FF00000, 0xFFC00, 0x3FF}}};
  int index = 0;
  for (const Variant& v : variants) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(testing::Message() << "variant " << index << " top-down " << topDown);
      const Picture pic = v.bits == 1 ? MakeIndexPicture(13, 5, 2, index) : MakeColourPicture(13, 5, index);
      BmpOptions o;
      o.bitCount = v.bits;
      o.compression = v.compression;
      o.topDown = topDown;
      std::memcpy(o.masks, v.masks, sizeof(o.masks));
      const Bytes file = WriteBmp(pic, o);
      RasterImage gdi{}, portable{};
      ASSERT_EQ(DecodeWith(ReadBmpImage, file, &gdi), 0);
      BmpHeaderBlock header;
      Bytes bits;
      Split(file, &header, &bits);
      header.bytes[32] = header.bytes[33] = 0;
      ASSERT_EQ(DrawBmpRowsPortable(header, bits.data(), bits.size(), &portable), 0);
      ASSERT_EQ(gdi.pitch, portable.pitch);
      for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 13; ++x) {
          ASSERT_EQ(RawPixel(gdi, x, y), RawPixel(portable, x, y)) << x << "," << y;
        }
      }
      FreeRasterImage(&gdi);
      FreeRasterImage(&portable);
    }
    ++index;
  }
}
