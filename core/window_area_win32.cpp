#include <windows.h>

#include "core/core_state.h"
#include "core/window_area.h"

namespace quelt {

void ReadWindowArea() {
  const auto window = static_cast<HWND>(MainWindowHandle);
  RECT client{};
  GetClientRect(window, &client);
  POINT top_left{client.left, client.top};
  POINT bottom_right{client.right, client.bottom};
  ClientToScreen(window, &top_left);
  ClientToScreen(window, &bottom_right);
  WindowArea = {top_left.x, top_left.y, bottom_right.x, bottom_right.y};
}

}  // namespace quelt
