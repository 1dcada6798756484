#pragma once
// The main window's procedure (Windows build only).
#include <windows.h>

namespace quelt {

// Posted by a fatal exit on another thread: the window's thread runs the shutdown (only it
// can close the window) and ends the process.
inline constexpr UINT FatalExitHandOffMessage = WM_APP + 0x0F;

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param);

}  // namespace quelt
