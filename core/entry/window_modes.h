#pragma once
// Window and full-screen switching, the window's style and placement for the mode, and
// the small window services beside the window procedure.
#include <cstdint>

#include "core/core_state.h"
#include "core/window_hooks.h"

namespace quelt {

// 1 window, 0 full screen: 0, or the result of the screen-mode change.
int ChangeWindowMode(int32_t mode);
int SetWindowModeFlag(int32_t mode);
// The implementations behind ApplyWindowStyle and RecomputeWindowGeometry.
int ApplyMainWindowStyle();
int RecomputeMainWindowGeometry();
// lParam of WM_MOVE: the client origin (x low word, y high word).
int StoreWindowArea(uint32_t l_param);
void ForceWindowForeground(void* window, int32_t topmost);
int SetMenuVisible(int32_t flag);
int TrackMenuInFullScreen();

// The longest ChangeWindowMode waits for the display to report the change.
inline constexpr uint32_t DisplayChangeWaitMs = 2000;

// The window rectangle around a client area of the given size and styles: centred on the
// desktop by the adjusted rectangle, or at the position the program set.
struct WindowPlacement {
  int32_t x, y, width, height;
};
WindowPlacement PlaceWindowForClient(int32_t client_width, int32_t client_height, uint32_t style,
                                     uint32_t ex_style);

}  // namespace quelt
