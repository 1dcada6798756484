#pragma once
// The settings that decide the form of every graph created from then on. Colour depth,
// alpha and alpha test live in DrawSettings; the rest are kept here. ResetNewGraphSettings
// gives all of them their defaults (part of resetting the draw settings).
#include <cstdint>

namespace quelt {

struct NewGraphSettingsRecord {
  int32_t drawable;          // new images are render targets
  int32_t defaultPool;       // textures in D3DPOOL_DEFAULT
  int32_t movieGraph;        // 1 while OpenGraphFile makes a movie graph
  int32_t drawableAlpha;     // alpha channel of drawable images; nothing sets it
  int32_t blendImage;        // new images are 8-bit blend images; nothing sets it
  int32_t transparentEdge;   // edge fill around transparent pixels; nothing sets it
  int32_t autoTransparent;   // top-left pixel is the transparent colour; nothing sets it
  int32_t transparentOff;    // nothing sets it: transfers always apply the colour
};
extern NewGraphSettingsRecord NewGraphSettings;

// Texture layout settings no reset touches; each starts at 0 for the process.
struct TextureLayoutSettingsRecord {
  int32_t TextureSizeLimit;   // 0 = the device's maximum texture size
  int32_t SingleTextureFlag;  // 1 = images below the maximum are never split
  int32_t MipLevelSetting;    // -1 full chain, 0 one level, n levels
};
extern TextureLayoutSettingsRecord TextureLayoutSettings;

// Defaults: alpha test 1, everything else 0.
void ResetNewGraphSettings();

int SetNewGraphBitDepth(int32_t bits);
int GetNewGraphBitDepth();
int SetNewGraphDrawableFlag(int32_t flag);
int GetNewGraphDrawableFlag();
int SetNewGraphAlphaTestFlag(int32_t flag);
int GetNewGraphAlphaTestFlag();
int SetNewGraphAlphaFlag(int32_t flag);
int GetNewGraphAlphaFlag();
int SetNewGraphDefaultPoolFlag(int32_t flag);
int GetNewGraphDefaultPoolFlag();
int GetMovieGraphFlag();

}  // namespace quelt
