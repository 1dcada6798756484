// Memory images: creation, views, release, shared formats, transfers and copies.
#include <gtest/gtest.h>

#include <cstring>

#include "image/color_format.h"
#include "image/raster_image.h"
#include "softrender/memimg.h"
#include "softrender/memimg_format.h"

namespace {

using quelt::MEMIMG;

struct Image {
  MEMIMG img{};
  ~Image() { quelt::ReleaseMemImg(&img); }
};

int Create(MEMIMG* img, int32_t w, int32_t h, uint32_t type, int32_t palette = 0, int32_t alpha = 0,
           int32_t pitch = -1, int32_t extra = 0) {
  return quelt::CreateMemImg(img, w, h, pitch, 0, type, palette, alpha, extra, nullptr);
}

TEST(MemImg, PitchIsRoundedAndItsLog2KeptOnlyForPowersOfTwo) {
  struct Case {
    int32_t width;
    uint32_t type;
    int32_t pitch, log2;
  };
  const Case cases[] = {{640, 0, 1280, -1}, {512, 1, 2048, 11}, {3, 0, 16, -1}, {512, 0, 1024, 10},
                        {4, 1, 16, 4},      {1, 2, 16, -1}};
  for (const Case& c : cases) {
    Image m;
    ASSERT_EQ(Create(&m.img, c.width, 2, c.type), 0);
    EXPECT_EQ(m.img.base->pitch, c.pitch) << c.width;
    EXPECT_EQ(m.img.base->pitchLog2, c.log2) << c.width;
  }
  Image given;
  ASSERT_EQ(Create(&given.img, 100, 2, 1, 0, 0, 512), 0);
  EXPECT_EQ(given.img.base->pitchLog2, 9);
}

TEST(MemImg, RecordsTheFlagsAsForced) {
  Image palette;
  ASSERT_EQ(Create(&palette.img, 5, 5, 1, 1, 1), 0);
  EXPECT_EQ(palette.img.base->alphaFlag, 0);
  EXPECT_EQ(quelt::MemImgBytesPerPixel(*palette.img.base), 1);
  EXPECT_EQ(palette.img.base->paletteCopy, palette.img.base->palette + 1024);
  for (int i = 0; i < 2048; ++i) ASSERT_EQ(palette.img.base->palette[i], 0);
  Image blend;
  ASSERT_EQ(Create(&blend.img, 5, 5, 2, 1, 1), 0);
  EXPECT_EQ(blend.img.base->paletteFlag, 0);
  EXPECT_EQ(blend.img.base->alphaFlag, 0);
  EXPECT_EQ(blend.img.base->palette, nullptr);
  Image alpha16;
  ASSERT_EQ(Create(&alpha16.img, 5, 5, 0, 0, 1), 0);
  EXPECT_EQ(quelt::MemImgBytesPerPixel(*alpha16.img.base), 4);
  EXPECT_EQ(alpha16.img.base->format->bytesPerPixel, 4);
}

TEST(MemImg, CreateOnAValidRecordIsRefusedAndChangesNothing) {
  Image m;
  ASSERT_EQ(Create(&m.img, 4, 4, 1), 0);
  const MEMIMG before = m.img;
  EXPECT_EQ(Create(&m.img, 8, 8, 0), -1);
  EXPECT_EQ(std::memcmp(&before, &m.img, sizeof before), 0);
}

TEST(MemImg, BadSizesAreRefusedBeforeAnythingIsAllocated) {
  MEMIMG m{};
  EXPECT_EQ(Create(&m, -1, 4, 1), -1);
  EXPECT_EQ(Create(&m, 4, -1, 1), -1);
  EXPECT_EQ(Create(&m, 100, 4, 1, 0, 0, 399), -1);         // pitch shorter than a row
  EXPECT_EQ(Create(&m, 100, 4, 1, 0, 0, -2), -1);
  EXPECT_EQ(Create(&m, 0x10000, 0x10000, 1), -1);          // pitch x height beyond 32 bits
  EXPECT_EQ(Create(&m, 0x20000000, 1, 1), -1);             // a row beyond 32 bits
  EXPECT_EQ(Create(&m, 4, 4, 4), -1);                      // no such colour type
  // Sizes whose pitch x height does not fit even 64 bits: refused, never wrapped round.
  EXPECT_EQ(Create(&m, INT32_MAX, INT32_MAX, 1), -1);
  EXPECT_EQ(Create(&m, INT32_MAX, INT32_MAX, 0, 0, 1), -1);
  EXPECT_EQ(Create(&m, 4, INT32_MAX, 1, 0, 0, INT32_MAX), -1);
  EXPECT_EQ(quelt::CreateScreenMemImg(&m, INT32_MAX, INT32_MAX, -1), -1);
  EXPECT_EQ(quelt::IsValidMemImg(&m), 0);
  EXPECT_EQ(m.magic, 0u);
  Image empty;
  EXPECT_EQ(Create(&empty.img, 0, 0, 1), 0);  // an empty image is allowed
}

TEST(MemImg, ViewsShareTheStoreUntilTheLastRelease) {
  MEMIMG whole{};
  ASSERT_EQ(Create(&whole, 10, 6, 1), 0);
  MEMIMG a{};
  MEMIMG b{};
  quelt::MakeMemImgView(&a, &whole, 2, 3, 4, 2);
  quelt::MakeMemImgView(&b, &whole, 0, 0, 10, 6);  // the full source is allowed
  ASSERT_TRUE(quelt::IsValidMemImg(&a));
  ASSERT_TRUE(quelt::IsValidMemImg(&b));
  EXPECT_EQ(a.pixels, whole.pixels + 3 * whole.base->pitch + 2 * 4);
  EXPECT_EQ(a.width, 4);
  EXPECT_EQ(whole.base->refCount, 3);
  quelt::MemImgBase* base = whole.base;
  quelt::ReleaseMemImg(&whole);
  EXPECT_EQ(whole.magic, 0u);
  EXPECT_EQ(whole.base, nullptr);
  EXPECT_EQ(base->refCount, 2);
  quelt::ReleaseMemImg(&a);
  EXPECT_EQ(base->refCount, 1);
  b.pixels[0] = 7;  // still alive: the sanitizer would see a freed store
  quelt::ReleaseMemImg(&b);
  quelt::ReleaseMemImg(&b);  // a released record is left alone
}

TEST(MemImg, ViewsOutsideTheSourceAreNotMade) {
  Image whole;
  ASSERT_EQ(Create(&whole.img, 10, 6, 0), 0);
  MEMIMG v{};
  quelt::MakeMemImgView(&v, &whole.img, 0, 0, 11, 6);
  quelt::MakeMemImgView(&v, &whole.img, -1, 0, 2, 2);
  quelt::MakeMemImgView(&v, &whole.img, 5, 5, 2, 2);
  EXPECT_EQ(quelt::IsValidMemImg(&v), 0);
  EXPECT_EQ(whole.img.base->refCount, 1);
}

TEST(MemImg, BorrowedPixelsAreNeverFreed) {
  alignas(4) static uint8_t block[16 * 4];
  MEMIMG m{};
  ASSERT_EQ(quelt::CreateMemImg(&m, 4, 4, -1, 0, 1, 0, 0, 0, block), 0);
  EXPECT_EQ(m.pixels, block);
  EXPECT_EQ(m.base->pixelsBorrowed, 1);
  quelt::ReleaseMemImg(&m);  // freeing a static block would be caught by the sanitizer
}

TEST(MemImg, ScreenImagesFollowTheScreenDepth) {
  quelt::SoftScreenColourDepth = 16;
  Image a;
  ASSERT_EQ(quelt::CreateScreenMemImg(&a.img, 8, 8, -1), 0);
  EXPECT_EQ(a.img.base->colourType, 0u);
  quelt::SoftScreenColourDepth = 32;
  Image b;
  b.img.magic = quelt::kMemImgMagic;  // stale contents are cleared first
  ASSERT_EQ(quelt::CreateScreenMemImg(&b.img, 8, 8, -1), 0);
  EXPECT_EQ(b.img.base->colourType, 1u);
}

TEST(MemImgFormats, SharedFormatsCarryTheirMasks) {
  const quelt::ColorFormat* f = quelt::GetMemImgColorFormat(0, 0, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->bitDepth, 16);
  EXPECT_EQ(f->redMask, 0xF800u);
  EXPECT_EQ(f, quelt::GetMemImgColorFormat(0, 0, 0));  // built once, then shared
  const quelt::ColorFormat* a32 = quelt::GetMemImgColorFormat(1, 1, 0);
  EXPECT_EQ(a32->alphaMask, 0xFF000000u);
  EXPECT_EQ(a32->bytesPerPixel, 4);
  const quelt::ColorFormat* pal = quelt::GetMemImgColorFormat(1, 0, 1);
  EXPECT_EQ(pal->bytesPerPixel, 1);
  const quelt::ColorFormat* byte = quelt::GetMemImgColorFormat(2, 1, 1);
  EXPECT_EQ(byte->bytesPerPixel, 1);
  EXPECT_EQ(byte->redWidth, 8);
  EXPECT_EQ(byte->alphaMask, 0xFFu);
  EXPECT_EQ(byte->redShift, 0);
  const quelt::ColorFormat* word = quelt::GetMemImgColorFormat(3, 0, 0);
  EXPECT_EQ(word->bytesPerPixel, 2);
  EXPECT_EQ(word->greenMask, 0xFFFFu);
  EXPECT_EQ(quelt::GetMemImgColorFormat(4, 0, 0), nullptr);

  const quelt::DirectDrawPixelFormat* p1 = quelt::GetMemImgPixelFormat(1, 0, 0);
  EXPECT_EQ(p1->size, 32u);
  EXPECT_EQ(p1->flags, 0x40u);
  EXPECT_EQ(p1->rgbBitCount, 32u);
  EXPECT_EQ(p1->redMask, 0xFF0000u);
  const quelt::DirectDrawPixelFormat* p0 = quelt::GetMemImgPixelFormat(0, 0, 0);
  EXPECT_EQ(p0->rgbBitCount, 16u);
  EXPECT_EQ(p0->greenMask, 0x7E0u);
  const quelt::DirectDrawPixelFormat* p2 = quelt::GetMemImgPixelFormat(2, 0, 0);
  EXPECT_EQ(p2->size, 0u);
  EXPECT_EQ(p2->rgbBitCount, 8u);
  EXPECT_EQ(p2->alphaMask, 0xFFu);
  EXPECT_EQ(quelt::GetMemImgPixelFormat(7, 0, 0), nullptr);
}

// A 4 x 2 grey palette image with indices 0, 1, 2, 3 / 10, 11, 12, 13.
struct GreyRaster {
  quelt::RasterImage r{};
  GreyRaster() {
    quelt::ColorFormat f{};
    quelt::SetGrayPaletteColorFormat(&f);
    quelt::AllocRasterImage(4, 2, &f, &r);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) r.pixels[y * r.pitch + x] = static_cast<uint8_t>(10 * y + x);
    }
  }
  ~GreyRaster() { quelt::FreeRasterImage(&r); }
};

TEST(MemImgTransfer, PaletteImagesGetTheirPaletteInPixelFormat) {
  GreyRaster grey;
  Image m32;
  ASSERT_EQ(Create(&m32.img, 4, 2, 1, 1), 0);
  ASSERT_EQ(quelt::TransferImageToMemImg(&grey.r, nullptr, &m32.img, 0, 0, 4, 2, 0, 0, 0), 0);
  EXPECT_EQ(m32.img.pixels[m32.img.base->pitch + 3], 13);
  EXPECT_EQ(m32.img.base->paletteCount, 14);
  uint32_t entry;
  std::memcpy(&entry, m32.img.base->palette + 4 * 200, 4);
  EXPECT_EQ(entry, 0x00C8C8C8u);
  EXPECT_EQ(std::memcmp(m32.img.base->palette, m32.img.base->paletteCopy, 1024), 0);

  Image m16;
  ASSERT_EQ(Create(&m16.img, 4, 2, 0, 1), 0);
  ASSERT_EQ(quelt::TransferImageToMemImg(&grey.r, nullptr, &m16.img, 0, 0, 4, 2, 0, 0, 0), 0);
  uint16_t e16;
  std::memcpy(&e16, m16.img.base->palette + 2 * 255, 2);
  EXPECT_EQ(e16, 0xFFFF);
  std::memcpy(&e16, m16.img.base->palette + 2 * 200, 2);
  EXPECT_EQ(e16, (200 >> 3) << 11 | (200 >> 2) << 5 | 200 >> 3);
  EXPECT_EQ(std::memcmp(m16.img.base->palette, m16.img.base->paletteCopy, 512), 0);
}

// A blend image takes each pixel's first colour (red) as its value, from true-colour
// pictures as from grey ones: the same value the Direct3D blend texture gets as alpha.
TEST(MemImgTransfer, BlendImagesCarryTheRedChannelOfTrueColourPictures) {
  quelt::RasterImage argb{};
  ASSERT_EQ(quelt::AllocArgb32Image(2, 1, &argb), 0);
  const uint8_t pixels[8] = {7, 200, 30, 255, 250, 10, 50, 128};  // B, G, R, A
  std::memcpy(argb.pixels, pixels, sizeof pixels);
  Image blend;
  ASSERT_EQ(Create(&blend.img, 2, 1, quelt::MemImgByte), 0);
  ASSERT_EQ(quelt::TransferImageToMemImg(&argb, nullptr, &blend.img, 0, 0, 2, 1, 0, 0, 0), 0);
  EXPECT_EQ(blend.img.pixels[0], 30);
  EXPECT_EQ(blend.img.pixels[1], 50);
  quelt::FreeRasterImage(&argb);

  // R5G6B5: red 31 and 16 widen to 255 and 131.
  quelt::RasterImage rgb16{};
  quelt::ColorFormat f16{};
  quelt::SetMaskColorFormat(&f16, 16, 0xF800, 0x07E0, 0x001F, 0);
  ASSERT_EQ(quelt::AllocRasterImage(2, 1, &f16, &rgb16), 0);
  const uint16_t values[2] = {0xF800 | 0x1F, 16 << 11 | 0x7E0};
  std::memcpy(rgb16.pixels, values, sizeof values);
  ASSERT_EQ(quelt::TransferImageToMemImg(&rgb16, nullptr, &blend.img, 0, 0, 2, 1, 0, 0, 0), 0);
  EXPECT_EQ(blend.img.pixels[0], 255);
  EXPECT_EQ(blend.img.pixels[1], 131);
  quelt::FreeRasterImage(&rgb16);
}

TEST(MemImgTransfer, RectanglesOutsideEitherImageAreRefused) {
  GreyRaster grey;
  Image m;
  ASSERT_EQ(Create(&m.img, 4, 2, 1, 1), 0);
  EXPECT_LT(quelt::TransferImageToMemImg(&grey.r, nullptr, &m.img, 0, 0, 4, 2, 1, 0, 0), 0);
  EXPECT_LT(quelt::TransferImageToMemImg(&grey.r, nullptr, &m.img, 1, 0, 4, 2, 0, 0, 0), 0);
  EXPECT_LT(quelt::TransferImageToMemImg(&grey.r, nullptr, &m.img, 0, 0, 4, 2, 0, -1, 0), 0);
  EXPECT_LT(quelt::TransferImageToMemImg(&grey.r, nullptr, &m.img, 0, 0, -1, 2, 0, 0, 0), 0);
}

TEST(MemImgTransfer, AFullTransferBuildsTheRunTableAndPremultipliedCopy) {
  quelt::RasterImage argb{};
  ASSERT_EQ(quelt::AllocArgb32Image(70, 1, &argb), 0);
  // Alphas: 65 x 0, then 255, 255, 128, 0, 255.
  const uint8_t alphas[5] = {255, 255, 128, 0, 255};
  for (int x = 0; x < 70; ++x) {
    uint8_t* p = argb.pixels + 4 * x;
    p[0] = 200, p[1] = 100, p[2] = 50;
    p[3] = x < 65 ? 0 : alphas[x - 65];
  }
  Image m;
  ASSERT_EQ(Create(&m.img, 70, 1, 1, 0, 1, -1, 1), 0);
  ASSERT_NE(m.img.base->runTable, nullptr);
  ASSERT_NE(m.img.premultiplied, nullptr);
  ASSERT_EQ(quelt::TransferImageToMemImg(&argb, nullptr, &m.img, 0, 0, 70, 1, 0, 0, 0), 0);
  EXPECT_EQ(m.img.base->runTableValid, 1);
  EXPECT_EQ(m.img.base->premultipliedValid, 1);
  const uint8_t want[] = {0 << 6 | 63, 0 << 6 | 0, 1 << 6 | 1, 2 << 6 | 0, 0 << 6 | 0, 1 << 6 | 0, 0xC0};
  for (size_t i = 0; i < sizeof want; ++i) EXPECT_EQ(m.img.base->runTable[i], want[i]) << i;
  const uint8_t* pm = m.img.premultiplied + 4 * 67;  // alpha 128
  EXPECT_EQ(pm[0], 200 * 128 >> 8);
  EXPECT_EQ(pm[2], 50 * 128 >> 8);
  EXPECT_EQ(pm[3], 128);
  // A partial transfer leaves both marked invalid.
  ASSERT_EQ(quelt::TransferImageToMemImg(&argb, nullptr, &m.img, 0, 0, 10, 1, 0, 0, 0), 0);
  EXPECT_EQ(m.img.base->runTableValid, 0);
  EXPECT_EQ(m.img.base->premultipliedValid, 0);
  quelt::FreeRasterImage(&argb);
}

TEST(MemImgCopy, ConvertsBetweenFormatsAndRefusesOutsideRectangles) {
  Image src;
  Image dest;
  ASSERT_EQ(Create(&src.img, 3, 2, 0), 0);
  ASSERT_EQ(Create(&dest.img, 5, 4, 1), 0);
  std::memset(dest.img.pixels, 0, static_cast<size_t>(dest.img.base->pitch) * 4);
  const uint16_t red = 0xF800;
  for (int i = 0; i < 3; ++i) std::memcpy(src.img.pixels + 2 * i, &red, 2);
  const quelt::IntRect rect{0, 0, 3, 1};
  EXPECT_EQ(quelt::CopyMemImgRect(&dest.img, &src.img, &rect, 2, 3), 0);
  uint32_t px;
  std::memcpy(&px, dest.img.pixels + 3 * dest.img.base->pitch + 2 * 4, 4);
  EXPECT_EQ(px & 0xFFFFFF, 0xFF0000u);
  EXPECT_LT(quelt::CopyMemImgRect(&dest.img, &src.img, &rect, 3, 3), 0);  // one column too far
  const quelt::IntRect outside{0, 0, 4, 1};
  EXPECT_LT(quelt::CopyMemImgRect(&dest.img, &src.img, &outside, 0, 0), 0);
  EXPECT_EQ(quelt::CopyMemImgRect(&dest.img, &src.img, nullptr, 0, 0), 0);
}

}  // namespace
