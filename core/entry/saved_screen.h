#pragma once
// A picture kept to repaint the window while the program is away: shown once over the
// screen, the screen's own picture put back after it.
#include <cstdint>

#include "image/raster_image.h"

namespace quelt {

struct SavedScreenRecord {
  RasterImage image;
  int32_t graph;  // made from the image when needed
  int32_t exists;
};
extern SavedScreenRecord SavedScreen;

// 0 while the shutdown runs or once shown; -1 without a saved screen or when its graph
// cannot be made. The device context is that of the window being repainted.
int RedrawFromSavedScreen(void* deviceContext);
// Window end: the image freed and its graph released.
void ReleaseSavedScreen();

}  // namespace quelt
