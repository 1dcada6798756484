#include "core/entry/api_entry.h"

#include "core/core_state.h"
#include "core/log.h"

namespace quelt {

int ApiEnableLogFile(int32_t flag) {
  EngineLog.logDisabled = flag == 0 ? 1 : 0;
  return 0;
}

ApiRect* ApiMakeRect(ApiRect* rect, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (rect == nullptr) return nullptr;
  rect->left = left;
  rect->top = top;
  rect->right = right;
  rect->bottom = bottom;
  return rect;
}

int ApiIncreaseLogIndent() {
  IncreaseLogIndent();
  return 0;
}

int ApiDecreaseLogIndent() {
  DecreaseLogIndent();
  return 0;
}

int32_t ApiScreenConsoleHasText() { return ScreenConsoleHasText; }

// Soft images keep their own handle table; until that subsystem exists there is nothing
// to delete.
}  // namespace quelt
