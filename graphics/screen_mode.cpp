#include "graphics/screen_mode.h"

#include <cstring>

#include "core/core_state.h"
#include "core/engine_state.h"
#include "graphics/device_state.h"
#include "graphics/draw_settings.h"
#include "image/color_format.h"
#include "softrender/memimg_format.h"

namespace quelt {

ScreenStateRecord ScreenState{};

int SetEmulation320Flag(int32_t flag) {
  DrawSettings.emulation320 = flag;
  return 0;
}

int32_t GetEmulation320Flag() { return DrawSettings.emulation320; }

int SetHardwareDrawFlag(int32_t flag) {
  if (EngineInitialised) return -1;
  ScreenState.direct3DRefused = flag == 0 ? 1 : 0;
  return 0;
}

int GetHardwareDrawFlag() { return ScreenState.direct3DRefused == 0 ? 1 : 0; }

int QueryScreenMode(int32_t* width, int32_t* height, int32_t* depth) {
  if (width != nullptr) *width = ScreenState.width;
  if (height != nullptr) *height = ScreenState.height;
  if (depth != nullptr) *depth = ScreenState.colourDepth;
  return 0;
}

int QueryScreenSizeOrDefault(int32_t* width, int32_t* height) {
  const bool set = ScreenState.width != 0 && ScreenState.height != 0;
  if (width != nullptr) *width = set ? ScreenState.width : DefaultScreenWidth;
  if (height != nullptr) *height = set ? ScreenState.height : DefaultScreenHeight;
  return 0;
}

bool IsPossibleScreenSize(int32_t width, int32_t height) {
  return width > 0 && height > 0 && width <= MaxScreenSide && height <= MaxScreenSide;
}

int32_t GetScreenColourDepth() { return ScreenState.colourDepth; }

int32_t IsFullScreen() { return WindowModeFlag == 0 ? 1 : 0; }

int ClassifyScreenModeResult(const ScreenModeValues& request, const ScreenModeValues& before,
                             const ScreenModeValues& now) {
  if (now == request) return 0;
  const ScreenModeValues fallback{640, 480, 16, 0};
  if (now == fallback && !(now == before)) return -2;
  return -1;
}

namespace {
void StoreMode(const ScreenModeValues& mode) {
  ScreenState.width = mode.width;
  ScreenState.height = mode.height;
  ScreenState.colourDepth = mode.bits;
  ScreenState.refreshRate = mode.refresh;
}
}  // namespace

int StartScreenModeChain(const ScreenModeValues& wanted, const ScreenModeValues& before,
                         GraphicsStartFn start) {
  // The mode before may itself be an emulated 320 x 240; every other mode runs as itself
  // unless its own start falls back to the emulation.
  const int32_t emulatedBefore = GetEmulation320Flag();
  StoreMode(wanted);
  SetEmulation320Flag(0);
  if (start() >= 0) return 0;
  if (wanted.width == 320 && wanted.height == 240) {
    ScreenState.width = 640;
    ScreenState.height = 480;
    SetEmulation320Flag(1);
    if (start() >= 0) return 0;
  }
  StoreMode(before);
  SetEmulation320Flag(emulatedBefore);
  if (start() >= 0) return 0;
  StoreMode({640, 480, 16, 0});
  SetEmulation320Flag(0);
  if (start() >= 0) return 0;
  return -1;
}

int32_t CollectDisplayModes(DisplayModeEnumFn enumerate, void* context,
                            DisplayModeEntry* (*allocate)(int32_t count), DisplayModeEntry** out) {
  *out = nullptr;
  DisplayModeEntry mode{};
  int32_t count = 0;
  for (int32_t n = 0; enumerate(context, n, &mode); ++n)
    if (mode.bits > 15) ++count;
  if (count == 0) return 0;
  DisplayModeEntry* modes = allocate(count);
  if (modes == nullptr) return 0;
  int32_t filled = 0;
  for (int32_t n = 0; filled < count && enumerate(context, n, &mode); ++n)
    if (mode.bits > 15) modes[filled++] = mode;
  *out = modes;
  return filled;
}

const ColorFormat* GetScreenColorFormat() {
  if (ScreenState.hardware) {
    static ColorFormat xrgb32{};
    static ColorFormat rgb565{};
    if (xrgb32.bitDepth == 0) {
      SetXrgb32ColorFormat(&xrgb32);
      SetMaskColorFormat(&rgb565, 16, 0xF800, 0x07E0, 0x001F, 0);
    }
    return ScreenState.colourDepth == 16 ? &rgb565 : &xrgb32;
  }
  return GetMemImgColorFormat(ScreenState.colourDepth == 16 ? MemImgRgb565 : MemImgXrgb32, 0, 0);
}

uint32_t MakeColourCode(const ColorFormat& f, int32_t red, int32_t green, int32_t blue) {
  auto part = [](int32_t value, uint8_t width, uint8_t shift) -> uint32_t {
    if (width == 0) return 0;
    return (static_cast<uint32_t>(value & 0xFF) >> (8 - width)) << shift;
  };
  return part(red, f.redWidth, f.redShift) + part(green, f.greenWidth, f.greenShift) +
         part(blue, f.blueWidth, f.blueShift) + f.unusedMask;
}

void SplitColourCode(const ColorFormat& f, uint32_t pixel, int32_t* red, int32_t* green, int32_t* blue) {
  auto part = [pixel](uint32_t mask, uint8_t shift, uint8_t width) -> int32_t {
    if (width == 0) return 0;
    return static_cast<int32_t>(((pixel & mask) >> shift) * 255 / ((1u << width) - 1));
  };
  if (red != nullptr) *red = part(f.redMask, f.redShift, f.redWidth);
  if (green != nullptr) *green = part(f.greenMask, f.greenShift, f.greenWidth);
  if (blue != nullptr) *blue = part(f.blueMask, f.blueShift, f.blueWidth);
}

uint32_t MakeScreenColourCode(int32_t red, int32_t green, int32_t blue) {
  return MakeColourCode(*GetScreenColorFormat(), red, green, blue);
}

int SplitScreenColourCode(uint32_t pixel, int32_t* red, int32_t* green, int32_t* blue) {
  SplitColourCode(*GetScreenColorFormat(), pixel, red, green, blue);
  return 0;
}

void* GetDirectDrawObject() { return GraphicsDevice.directDraw; }

void* GetDirectDrawCaps(void* record) {
  std::memset(record, 0, DirectDrawCapsSize);
  return record;
}

const void* GetOverlayPixelFormat() { return nullptr; }

void* GetPrimarySurface() { return nullptr; }

}  // namespace quelt
