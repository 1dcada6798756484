// The entry layer's forwarding entries into images and graphics, and the soft-image sweep
// of the shutdown sequence.
#include "core/entry/api_entry.h"
#include "graphics/draw_front.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_load.h"
#include "graphics/graphics_start.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"
#include "image/pixel_convert.h"
#include "image/raster_image.h"
#include "image/scratch_image.h"

namespace quelt {

int ApiDeleteAllScratchImages() { return DeleteAllScratchImages(); }

int32_t ApiOpenGraphFile(const char* path, int32_t flag) { return OpenGraphFile(path, !flag, 0, 0); }
int ApiPresentScreen() { return PresentScreen(); }
int ApiEraseDrawScreen() { return EraseDrawScreen(); }

int ApiDrawGraphAtPoint(int32_t x, int32_t y, int32_t graph, int32_t transparent) {
  return DrawGraphAtPoint(x, y, graph, transparent);
}

int ApiDrawGraphRotated(int32_t x, int32_t y, double scale, double angle, int32_t graph, int32_t transparent,
                        int32_t turn) {
  return DrawGraphRotatedInt(x, y, scale, angle, graph, transparent, turn);
}

int ApiSelectBlendMode(int32_t mode, int32_t param) { return SelectBlendMode(mode, param); }
int ApiSelectDrawScreen(int32_t screen) { return SelectDrawScreen(screen); }

int ApiMakeRgbPixelFormat(DirectDrawPixelFormat* pixel_format, int32_t bits, uint32_t red, uint32_t green,
                          uint32_t blue, uint32_t alpha) {
  return MakeRgbPixelFormat(pixel_format, bits, red, green, blue, alpha);
}

int ApiAllocXrgb32Image(int32_t width, int32_t height, RasterImage* image) {
  return AllocXrgb32Image(width, height, image);
}
int ApiFreeRasterImage(RasterImage* image) { return FreeRasterImage(image); }
int ApiDecodeCompressedTexture(RasterImage* image) { return DecodeCompressedTexture(image); }
uint32_t ApiMakeScreenColourCode(int32_t red, int32_t green, int32_t blue) {
  return MakeScreenColourCode(red, green, blue);
}

int ApiSetMaskColorFormat(ColorFormat* format, int32_t bits, uint32_t red, uint32_t green, uint32_t blue,
                          uint32_t alpha) {
  return SetMaskColorFormat(format, bits, red, green, blue, alpha);
}

}  // namespace quelt
