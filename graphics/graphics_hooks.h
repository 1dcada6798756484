#pragma once
// What graphics asks of the subsystems above it, at points of its own work: the fonts
// start and end with graphics and are made again on a new device, and the default font's
// metrics outlive a screen-mode change; input is ended when the device is given up;
// movies open as graphs, close with their graph and get their device objects back after
// a restoration; the on-screen console is drawn over each present. The entry layer fills
// these in; an empty entry is skipped (the native build).
#include <cstdint>

namespace quelt {

struct GraphicsLayerHooksRecord {
  int (*startFontSystem)();
  int (*endFontSystem)();
  int (*recreateAllFonts)();
  // The default font's face (256 bytes), size and thickness; they stay as given when
  // there is no default font.
  void (*readDefaultFontMetrics)(char* face, int32_t* size, int32_t* thickness);
  int (*chooseDefaultFontMetrics)(const char* face, int32_t size, int32_t thickness);
  int (*endInputSystem)();
  // A graph showing the movie file, or -1 after logging the failed load.
  int32_t (*openMovieGraph)(const char* path, int32_t surfaceMode);
  int (*closeMovie)(int32_t movie);
  int (*restoreMovieDeviceObjects)();
  int (*drawScreenConsole)();
};
extern GraphicsLayerHooksRecord GraphicsLayerHooks;

}  // namespace quelt
