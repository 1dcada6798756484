#pragma once
// The window-system services the platform-free graphics code needs, filled in by the
// Windows back end when graphics start. Null entries are skipped (the native build).
namespace quelt {

struct GraphicsPlatformHooks {
  void (*waitWhileInactive)();     // blocks while the main window is inactive
  void (*armFrontScreenTimer)();   // the 32 ms present timer of the front screen
};
extern GraphicsPlatformHooks GraphicsPlatform;

}  // namespace quelt
