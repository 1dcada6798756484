#pragma once
// Starting and ending graphics: the Direct3D 9 back end with the DirectDraw 7 object beside
// it, or the software renderer when Direct3D cannot be used; presentation of the draw
// screen; the dialog-box mode of full-screen menus.
#include <cstdint>

#include "graphics/device_formats.h"

namespace quelt {

// 0 also when already started; -1 after a failed device start (graphics shut down again).
int StartGraphics();
// 0 = a usable back end exists (ScreenState.hardware tells which); -1 = failure.
int StartGraphicsDevice();
int CreateDirectDrawObject();
int CreateDirect3DObject();
int CreateDirect3DDevice();
int CreateZBuffer();
int CreateSubBackBuffer();
// Releases every device object, the d3d9.dll module and the display-mode list.
int EndGraphicsDevice();
// Ends fonts, lights, the device and the software screen; started = 0.
int ShutdownGraphics();

// Device buffers for the 3-D model tables: the new buffer, or null without a device or on
// failure.
void* CreateDeviceVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool);
void* CreateDeviceIndexBuffer(uint32_t length, uint32_t usage, uint32_t format, uint32_t pool);

int ApplyDialogBoxMode(int32_t flag);
int SetDeviceDialogBoxMode(int32_t flag);

// Shows the back screen in the window. 0; -1 when the engine is not initialised or
// graphics are not running (a window destroyed in the middle of a frame). With the
// vertical-blank wait on, presents come no faster than the screen mode's refresh rate.
int PresentScreen();
int CopySubBackBufferAndPresent();
int EnsureSubBackBuffer();
// Until the display's vertical blank, and at least until one frame period of the mode's
// refresh rate has passed since the last paced present.
void WaitVerticalBlank();

// The current draw screen as 32-bit pixels 0x00RRGGBB, row by row (width x height of the
// screen). Direct3D reads the render target back through system memory; the software
// path reads the screen MEMIMG. 0 or -1.
int ReadBackDrawScreen(uint32_t* pixels, int32_t width, int32_t height);

// Seams for tests: capabilities and failures the test machine's device cannot show.
// All zero in the product.
struct GraphicsTestSeamsRecord {
  int32_t failDeviceCreation;            // CreateDevice refuses both vertex-processing kinds
  const DeviceCapsSubset* capsOverride;  // replaces the device's reported capabilities
};
extern GraphicsTestSeamsRecord GraphicsTestSeams;

}  // namespace quelt
