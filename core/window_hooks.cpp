#include "core/window_hooks.h"

namespace quelt {

MainWindowHooksRecord MainWindowHooks{};

int PumpFrameMessages() { return MainWindowHooks.pumpFrameMessages != nullptr ? MainWindowHooks.pumpFrameMessages() : 0; }

void WaitWhileInactive() {
  if (MainWindowHooks.waitWhileInactive != nullptr) MainWindowHooks.waitWhileInactive();
}

int ApplyWindowStyle() { return MainWindowHooks.applyWindowStyle != nullptr ? MainWindowHooks.applyWindowStyle() : 0; }

int RecomputeWindowGeometry() {
  return MainWindowHooks.recomputeWindowGeometry != nullptr ? MainWindowHooks.recomputeWindowGeometry() : 0;
}

}  // namespace quelt
