#pragma once
// Window-side services of the engine core: state queries, cursor visibility, the mouse
// position and click log, the desktop mode and the dropped-file list.
#include <cstdint>

namespace quelt {

struct ScreenRect;

int32_t ReadQuitFlag();
void* ReadMainWindowHandle();
int32_t ReadWindowModeFlag();
int32_t ReadWindowActiveFlag();
int32_t ReadMmxAvailable();
int32_t ReadWindowClosingFlag();
// The stored window scale (first set to 1 when not above 0) in window mode, 1 in full screen.
double ReadWindowScale();
// Desktop size and depth (each out may be null): as stored at window creation once the
// engine is initialised, else as the display reports them now.
int ReadDesktopMode(int32_t* width, int32_t* height, int32_t* bits);

int32_t ShouldShowCursor();
int SetCursorVisible(int32_t flag);
int ReadMousePosition(int32_t* x, int32_t* y);
void RecordMouseClick(int32_t button);
int32_t ReadToolbarHeight();
// The window's client area below the toolbar, in screen coordinates.
int ReadClientScreenRect(ScreenRect* out);
// Frees the dropped-file names.
int FreeRegisteredBlocks();

}  // namespace quelt
