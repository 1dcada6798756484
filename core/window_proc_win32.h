#pragma once
// The main window's procedure (Windows build only).
#include <windows.h>

namespace quelt {

// Brings the graphics device back when a full-screen window is activated again; set by the
// device restoration, none until then.
using RestoreGraphicsFn = int (*)();
extern RestoreGraphicsFn RestoreGraphicsAfterLossHook;

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param);

}  // namespace quelt
