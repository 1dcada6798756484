#pragma once
// The engine's public entry functions. Start, stop and the per-frame pump take the API
// lock; everything else runs on the caller's thread without locking.
#include <cstdint>

namespace quelt {

struct ApiRect {
  int32_t left, top, right, bottom;
};

int ApiStartEngine();
int ApiStopEngine();
int ApiPumpMessages();

int ApiSetWindowCaption(const char* text);
int ApiEnableLogFile(int32_t flag);
int ApiSetWindowIcon(int32_t icon_id);
int ApiDeleteAllScratchImages();
ApiRect* ApiMakeRect(ApiRect* rect, int32_t left, int32_t top, int32_t right, int32_t bottom);
int ApiIncreaseLogIndent();
int ApiDecreaseLogIndent();
int32_t ApiScreenConsoleHasText();

void* ApiQueryMainWindow();
int ApiChangeWindowMode(int32_t mode);
int ApiRequestScreenMode(int32_t width, int32_t height, int32_t bits, int32_t refresh);

}  // namespace quelt
