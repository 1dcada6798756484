#include "graphics/graph_settings.h"

#include "graphics/draw_settings.h"

namespace quelt {

NewGraphSettingsRecord NewGraphSettings{};
TextureLayoutSettingsRecord TextureLayoutSettings{};

void ResetNewGraphSettings() {
  DrawSettings.newGraphDepth = 0;
  DrawSettings.newGraphAlpha = 0;
  DrawSettings.newGraphAlphaTest = 1;
  NewGraphSettings = NewGraphSettingsRecord{};
}

int SetNewGraphBitDepth(int32_t bits) {
  DrawSettings.newGraphDepth = bits;
  return 0;
}
int GetNewGraphBitDepth() { return DrawSettings.newGraphDepth; }

int SetNewGraphDrawableFlag(int32_t flag) {
  NewGraphSettings.drawable = flag;
  return 0;
}
int GetNewGraphDrawableFlag() { return NewGraphSettings.drawable; }

int SetNewGraphAlphaTestFlag(int32_t flag) {
  DrawSettings.newGraphAlphaTest = flag;
  return 0;
}
int GetNewGraphAlphaTestFlag() { return DrawSettings.newGraphAlphaTest; }

int SetNewGraphAlphaFlag(int32_t flag) {
  DrawSettings.newGraphAlpha = flag;
  return 0;
}
int GetNewGraphAlphaFlag() { return DrawSettings.newGraphAlpha; }

int SetNewGraphDefaultPoolFlag(int32_t flag) {
  NewGraphSettings.defaultPool = flag;
  return 0;
}
int GetNewGraphDefaultPoolFlag() { return NewGraphSettings.defaultPool; }

int GetMovieGraphFlag() { return NewGraphSettings.movieGraph; }

}  // namespace quelt
