#pragma once
// The main window's services that subsystems call from inside their own work: the frame
// pump (a wait that must keep the window answering), the wait while the window is
// inactive, and the window's style and geometry after the screen changed. The window
// layer sits above the subsystems and fills these in; an empty entry does nothing and
// gives 0 (the native build, and programs without the window layer).
namespace quelt {

struct MainWindowHooksRecord {
  int (*pumpFrameMessages)();
  void (*waitWhileInactive)();
  int (*applyWindowStyle)();
  int (*recomputeWindowGeometry)();
};
extern MainWindowHooksRecord MainWindowHooks;

// One frame's pump: 0, or -1 once the window is closing.
int PumpFrameMessages();
// Blocks while the main window is inactive.
void WaitWhileInactive();
// The window's style and placement for the current window or full-screen mode.
int ApplyWindowStyle();
// The window's size and position for the current screen size, scale and settings.
int RecomputeWindowGeometry();

}  // namespace quelt
