#pragma once
// Making graphs out of pictures: blank graphs, image files (with their "_a" alpha files),
// decoded images, movies, copies of the draw screen and solid fills; the record of where
// each graph's pixels came from, and the reload of every graph from its file.
#include <cstdint>

#include "image/pixel_convert.h"
#include "image/raster_image.h"

namespace quelt {

int32_t CreateBlankGraph(int32_t width, int32_t height);
// spare has no effect; turn 1 mirrors the picture left-right.
int32_t OpenGraphFile(const char* path, int32_t spare, int32_t turn, int32_t surfaceMode);
// The image is mirrored only when turn and confirm are both 1.
int32_t CreateGraphFromRaster(RasterImage* image, RasterImage* alpha, int32_t spare, int32_t turn,
                              int32_t confirm);
// A graph shaped for the image, without pixels.
int32_t CreateGraphForImage(const RasterImage* image, const RasterImage* alpha);
int TransferImageToGraph(const ColorFormat* bitmapFormat, void* colourBitmap, void* maskBitmap,
                         const char* fileName, int32_t bitmapFlag, RasterImage* image,
                         RasterImage* alpha, const PixelRect* sourceRect, int32_t destX,
                         int32_t destY, int32_t handle, int32_t turn);
// The source rectangle is (x, y, x + graph width, y + graph height), the destination (0, 0).
int TransferImageToGraphAt(const ColorFormat* bitmapFormat, void* colourBitmap, void* maskBitmap,
                           const char* fileName, int32_t bitmapFlag, RasterImage* image,
                           RasterImage* alpha, int32_t sourceX, int32_t sourceY, int32_t handle,
                           int32_t turn);
int TransferRasterToGraph(RasterImage* image, RasterImage* alpha, int32_t handle, int32_t spare,
                          int32_t turn, int32_t confirm);
int ReloadGraphFromMemory(const void* data, int32_t size, int32_t handle, const void* alphaData,
                          int32_t alphaSize, int32_t spare, int32_t turn);
// A name records that file; null with other -1 clears the record; null with a valid
// other graph shares that graph's record.
int SetGraphSourceFile(int32_t handle, const char* name, int32_t other);
// The default graph restore hook.
void ReloadGraphsFromFiles();
int GetDrawScreenGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t handle);
int FillGraphColour(int32_t handle, int32_t red, int32_t green, int32_t blue, int32_t alpha);

}  // namespace quelt
