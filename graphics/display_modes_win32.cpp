#include <windows.h>

#include "graphics/screen_mode.h"

namespace quelt {

namespace {
DisplayModeEntry* DisplayModes = nullptr;
int32_t DisplayModeCount = 0;

constexpr DWORD DevModeSize = 156;
static_assert(sizeof(DEVMODEA) >= DevModeSize);

bool EnumerateMode(void*, int32_t index, DisplayModeEntry* out) {
  DEVMODEA mode;
  ZeroMemory(&mode, sizeof mode);
  mode.dmSize = DevModeSize;
  if (EnumDisplaySettingsA(nullptr, static_cast<DWORD>(index), &mode) == 0) return false;
  *out = {static_cast<int32_t>(mode.dmPelsWidth), static_cast<int32_t>(mode.dmPelsHeight),
          static_cast<int32_t>(mode.dmBitsPerPel), static_cast<int32_t>(mode.dmDisplayFrequency)};
  return true;
}

DisplayModeEntry* AllocateModes(int32_t count) {
  return static_cast<DisplayModeEntry*>(
      HeapAlloc(GetProcessHeap(), 0, sizeof(DisplayModeEntry) * static_cast<size_t>(count)));
}
}  // namespace

void FreeDisplayModeList() {
  if (DisplayModes != nullptr) HeapFree(GetProcessHeap(), 0, DisplayModes);
  DisplayModes = nullptr;
  DisplayModeCount = 0;
}

int BuildDisplayModeList() {
  FreeDisplayModeList();
  DisplayModeCount = CollectDisplayModes(EnumerateMode, nullptr, AllocateModes, &DisplayModes);
  return 0;
}

int32_t CountDisplayModes() {
  if (DisplayModes == nullptr) BuildDisplayModeList();
  return DisplayModeCount;
}

DisplayModeEntry* GetDisplayModeEntry(DisplayModeEntry* out, int32_t index) {
  const int32_t count = CountDisplayModes();
  if (index < 0 || index >= count) {
    *out = {-1, -1, -1, -1};
  } else {
    *out = DisplayModes[index];
  }
  return out;
}

}  // namespace quelt
