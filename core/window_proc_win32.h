#pragma once
// The main window's procedure (Windows build only).
#include <windows.h>

namespace quelt {

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param);

}  // namespace quelt
