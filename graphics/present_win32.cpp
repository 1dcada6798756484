// Showing the back screen in the window: the Direct3D swap chain, or GDI from the screen
// MEMIMG on the software path; the front screen's 32 ms timer; the test read-back.
#include <windows.h>
#include <d3d9.h>
#include <ddraw.h>

#include "core/clock.h"
#include "core/core_state.h"
#include "core/engine_state.h"
#include "core/window_services.h"
#include "graphics/device_state.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/frame_pacing.h"
#include "graphics/graphics_hooks.h"
#include "graphics/graphics_start.h"
#include "graphics/read_back.h"
#include "graphics/screen_mode.h"
#include "image/color_format.h"

namespace quelt {

namespace {

IDirect3DDevice9* Device() { return static_cast<IDirect3DDevice9*>(GraphicsDevice.device); }
HWND MainWindow() { return static_cast<HWND>(MainWindowHandle); }
uint32_t LastVerticalBlankTime = 0;
FramePacer PresentPacer{};

// The mode's refresh rate, else the display's; Wine on a virtual X server reports none.
int32_t PacedRefreshRate() {
  if (ScreenState.refreshRate > 0) return ScreenState.refreshRate;
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmDisplayFrequency > 1)
    return static_cast<int32_t>(mode.dmDisplayFrequency);
  return DefaultFrameRate;
}

// Sleeps until the microsecond clock is within half a millisecond of `until`, in whole
// milliseconds (the engine runs with the finest timer period) and never spinning: the frame
// grid, not each wake-up, keeps the rate.
void SleepUntil(int64_t until) {
  for (int64_t left = until - ReadMicrosecondClock(0); left >= 500; left = until - ReadMicrosecondClock(0))
    Sleep(static_cast<DWORD>((left + 500) / 1000));
}

// The rest of the frame period, when the platform's wait (or the device's presentation
// interval) has not used it up: where nothing paces the display the frames would run as
// fast as they are drawn.
void WaitOutFramePeriod() {
  const int64_t now = ReadMicrosecondClock(0);
  const int64_t wait = TimeToNextFrame(PresentPacer, now, FramePeriodMicroseconds(PacedRefreshRate()));
  if (wait > 0) SleepUntil(now + wait);
}

void CALLBACK FrontScreenTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
  KillTimer(window, FrontScreenTimerId);
  if (DrawSettings.drawScreen != DrawScreenFront || ScreenState.started == 0) return;
  if (WindowModeFlag == 0 && ScreenState.hardware) EnsureSubBackBuffer();
  PresentScreen();
  SetTimer(window, FrontScreenTimerId, FrontScreenTimerMs, FrontScreenTimerProc);
}

void PresentSoftwareScreen(const RECT& source, const RECT& dest, bool emulation) {
  if (!IsValidMemImg(&ScreenMemImg)) return;
  if (DrawSettings.vsyncOff == 0) WaitVerticalBlank();
  const MemImgBase& base = *ScreenMemImg.base;
  const ColorFormat& format = *base.format;
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info{};
  const int32_t bytesPerPixel = format.bitDepth / 8;
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  // The rows of the MEMIMG are `pitch` bytes apart: the DIB is as wide as the pitch holds,
  // and only the screen's width of it is drawn.
  info.header.biWidth = bytesPerPixel > 0 ? base.pitch / bytesPerPixel : ScreenMemImg.width;
  info.header.biHeight = -ScreenMemImg.height;
  info.header.biPlanes = 1;
  info.header.biBitCount = format.bitDepth;
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = format.redMask;
  info.masks[1] = format.greenMask;
  info.masks[2] = format.blueMask;
  const BITMAPINFO* bmi = reinterpret_cast<const BITMAPINFO*>(&info);
  HDC dc = GetDC(MainWindow());
  if (dc == nullptr) return;
  const int32_t width = ScreenMemImg.width;
  const int32_t height = ScreenMemImg.height;
  if (emulation) {
    StretchDIBits(dc, 0, 0, 640, 480, 0, 240, 320, 240, ScreenMemImg.pixels, bmi, DIB_RGB_COLORS, SRCCOPY);
  } else if (dest.right - dest.left == width && dest.bottom - dest.top == height) {
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(height), ScreenMemImg.pixels, bmi, DIB_RGB_COLORS);
  } else {
    StretchDIBits(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source.left, source.top,
                  source.right - source.left, source.bottom - source.top, ScreenMemImg.pixels, bmi, DIB_RGB_COLORS,
                  SRCCOPY);
  }
  ReleaseDC(MainWindow(), dc);
}

// The console's text over the whole screen, unblended and at full brightness; the
// program's clip, blend and brightness are given back afterwards.
void DrawConsoleOverScreen(int32_t width, int32_t height) {
  const IntRect clip = DrawSettings.ClipRect;
  const int32_t mode = DrawSettings.BlendMode;
  const int32_t param = DrawSettings.BlendParam;
  const uint32_t bright = DrawSettings.BrightColour;
  SetDrawClipRect(0, 0, width, height);
  if (DrawSettings.DrawSettingsLock == 0) {
    if (mode != BlendCopy || param != 0) SelectBlendMode(BlendCopy, 0);
    if ((bright & 0xFFFFFF) != 0xFFFFFF) SetBrightColour(0xFFFFFF);
  }
  if (GraphicsLayerHooks.drawScreenConsole != nullptr) GraphicsLayerHooks.drawScreenConsole();
  SetDrawClipRect(clip.x1, clip.y1, clip.x2, clip.y2);
  SelectBlendMode(mode, param);
  SetBrightColour(static_cast<int32_t>(bright));
}

}  // namespace

void ArmFrontScreenTimer() {
  if (MainWindowHandle != nullptr) SetTimer(MainWindow(), FrontScreenTimerId, FrontScreenTimerMs, FrontScreenTimerProc);
}

int PresentScreen() {
  if (EngineInitialised == 0) return -1;
  // A window destroyed in the middle of a frame has ended graphics: nothing to show.
  if (ScreenState.started == 0) return -1;
  int32_t width = ScreenState.width != 0 ? ScreenState.width : 640;
  int32_t height = ScreenState.height != 0 ? ScreenState.height : 480;
  if (ScreenConsoleHasText != 0) DrawConsoleOverScreen(width, height);
  const bool emulation = DrawSettings.emulation320 != 0 && width == 640 && height == 480;
  RECT source{0, 0, width, height};
  if (emulation) source = {0, 0, 320, 240};
  RECT dest = source;
  if (WindowModeFlag == 1) {
    const double scale = ReadWindowScale();
    dest = {0, 0, static_cast<LONG>(width * scale), static_cast<LONG>(height * scale)};
  }
  if (ScreenState.hardware) {
    if (!HasDevice()) return -1;
    FlushVertexBatch();
    EndSceneIfOpen();
    auto* back = static_cast<IDirect3DSurface9*>(GraphicsDevice.backBuffer);
    if (GraphicsDevice.subBackBuffer != nullptr) {
      auto* sub = static_cast<IDirect3DSurface9*>(GraphicsDevice.subBackBuffer);
      if (emulation) {
        const RECT from{0, 0, 320, 240};
        const RECT to{0, 0, 640, 480};
        Device()->StretchRect(sub, &from, back, &to, D3DTEXF_NONE);
      } else {
        Device()->StretchRect(sub, nullptr, back, nullptr, D3DTEXF_NONE);
      }
    }
    auto* chain = static_cast<IDirect3DSwapChain9*>(GraphicsDevice.swapChain);
    if (DrawSettings.vsyncOff == 0) WaitOutFramePeriod();
    if (chain != nullptr) {
      if (WindowModeFlag == 1 || emulation) {
        chain->Present(&source, &dest, MainWindow(), nullptr, 0);
      } else {
        chain->Present(nullptr, nullptr, MainWindow(), nullptr, 0);
      }
    }
  } else {
    PresentSoftwareScreen(source, dest, emulation);
  }
  ++DrawSettings.presentCounter;
  return 0;
}

int EnsureSubBackBuffer() {
  if (GraphicsDevice.subBackBuffer != nullptr) return 0;
  if (!HasDevice()) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  if (CreateSubBackBuffer() < 0) return -1;
  Device()->StretchRect(static_cast<IDirect3DSurface9*>(GraphicsDevice.backBuffer), nullptr,
                        static_cast<IDirect3DSurface9*>(GraphicsDevice.subBackBuffer), nullptr, D3DTEXF_NONE);
  ForceStateReapply = 1;
  SetRenderTargetSurface(GraphicsDevice.subBackBuffer);
  ForceStateReapply = 0;
  return 0;
}

int CopySubBackBufferAndPresent() {
  if (WindowModeFlag == 0 && ScreenState.hardware) EnsureSubBackBuffer();
  return PresentScreen();
}

void WaitVerticalBlank() {
  Sleep(0);
  auto* directDraw = static_cast<IDirectDraw7*>(GraphicsDevice.directDraw);
  if (directDraw != nullptr) {
    BOOL inBlank = FALSE;
    directDraw->GetVerticalBlankStatus(&inBlank);
    if (!inBlank) directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  }
  WaitOutFramePeriod();
  LastVerticalBlankTime = ReadMillisecondClock();
}

int ReadBackDrawScreen(uint32_t* pixels, int32_t width, int32_t height) {
  if (ScreenState.started == 0 || pixels == nullptr || width <= 0 || height <= 0) return -1;
  if (!ScreenState.hardware) {
    const MEMIMG* img = DrawScreenMemImg;
    if (!IsValidMemImg(img) || width > img->width || height > img->height) return -1;
    const MemImgBase& base = *img->base;
    const int32_t bpp = MemImgBytesPerPixel(base);
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* row = img->pixels + y * base.pitch;
      for (int32_t x = 0; x < width; ++x) {
        uint32_t value = 0;
        for (int32_t b = 0; b < bpp && b < 4; ++b) value |= static_cast<uint32_t>(row[x * bpp + b]) << (8 * b);
        int r = 0;
        int g = 0;
        int bl = 0;
        UnpackPixelToColor(base.format, value, &r, &g, &bl, nullptr);
        pixels[y * width + x] = static_cast<uint32_t>(r << 16 | g << 8 | bl);
      }
    }
    return 0;
  }
  if (!HasDevice()) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  auto* target = static_cast<IDirect3DSurface9*>(DeviceStateCache.renderTarget != nullptr
                                                     ? DeviceStateCache.renderTarget
                                                     : GraphicsDevice.backBuffer);
  D3DSURFACE_DESC desc{};
  if (target == nullptr || FAILED(target->GetDesc(&desc))) return -1;
  // A sub graph as the draw screen shares its parent's surface: its pixels start at its
  // place there and end at its own edges.
  const int32_t originX = DeviceStateCache.targetOriginX, originY = DeviceStateCache.targetOriginY;
  if (width > DrawSettings.drawScreenWidth || height > DrawSettings.drawScreenHeight ||
      static_cast<UINT>(originX + width) > desc.Width || static_cast<UINT>(originY + height) > desc.Height)
    return -1;
  IDirect3DSurface9* copy = nullptr;
  if (FAILED(Device()->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                   nullptr)))
    return -1;
  int result = -1;
  D3DLOCKED_RECT locked{};
  if (SUCCEEDED(Device()->GetRenderTargetData(target, copy)) &&
      SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
    result = 0;
    for (int32_t y = 0; y < height && result == 0; ++y)
      result = ConvertReadBackRow(desc.Format,
                                  static_cast<const uint8_t*>(locked.pBits) + (originY + y) * locked.Pitch +
                                      originX * ReadBackPixelBytes(desc.Format),
                                  width, pixels + y * width);
    copy->UnlockRect();
  }
  copy->Release();
  return result;
}

}  // namespace quelt
