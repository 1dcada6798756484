#pragma once
// The engine's main window and its per-frame message pump.
#include "core/window_hooks.h"

namespace quelt {

// Resets the run-time state, calibrates the time base, refuses a second running copy and
// creates and shows the window. 0, or -1 after logging the reason (QuitFlag set).
int CreateEngineWindow();
// One frame's pump: messages, the inactive wait, then the periodic work. 0, or -1 once
// QuitFlag is set. (The layers below call it as PumpFrameMessages.)
int PumpMainWindowFrame();
// Blocks while the window is inactive (the layers below call it as WaitWhileInactive).
void WaitWhileMainWindowInactive();

}  // namespace quelt
