#include <windows.h>
#include <commctrl.h>

#include "core/core_state.h"
#include "core/toolbar.h"
#include "core/window_hooks.h"
#include "core/window_services.h"

namespace quelt {

ToolbarRecord Toolbar{};

namespace {

HWND ToolbarWindow() { return static_cast<HWND>(Toolbar.window); }

int32_t ButtonCount() {
  if (Toolbar.buttonCount < 0) return 0;
  return Toolbar.buttonCount < ToolbarButtonCapacity ? Toolbar.buttonCount : ToolbarButtonCapacity;
}

}  // namespace

int32_t FindToolbarButton(int32_t id) {
  if (Toolbar.exists == 0) return -1;
  const int32_t count = ButtonCount();
  for (int32_t i = 0; i < count; ++i) {
    const ToolbarButton& button = Toolbar.buttons[static_cast<size_t>(i)];
    if (button.type != ToolbarSeparator && button.id == id) return i;
  }
  return -1;
}

int32_t ReadToolbarHeight() {
  if (Toolbar.exists == 0 || Toolbar.window == nullptr) return 0;
  RECT area{};
  if (GetWindowRect(ToolbarWindow(), &area) == FALSE) return 0;
  return area.bottom - area.top;
}

int ClearToolbarButtons() {
  if (Toolbar.exists == 0) return -1;
  const int32_t count = ButtonCount();
  // Button 0 each time: the rest move up as one goes.
  for (int32_t i = 0; i < count; ++i) SendMessageA(ToolbarWindow(), TB_DELETEBUTTON, 0, 0);
  Toolbar.buttonCount = 0;
  return 0;
}

bool NoteToolbarCommand(int32_t commandId) {
  if (Toolbar.exists == 0 || commandId < ToolbarCommandBase) return false;
  const int32_t index = FindToolbarButton(commandId - ToolbarCommandBase);
  if (index >= 0 && Toolbar.buttons[static_cast<size_t>(index)].type == ToolbarPlainButton)
    Toolbar.buttons[static_cast<size_t>(index)].clicked = 1;
  return true;
}

void ReleaseToolbar() {
  if (Toolbar.exists == 0 || WindowModeFlag != 1) return;
  ClearToolbarButtons();
  if (Toolbar.window != nullptr) SendMessageA(ToolbarWindow(), WM_CLOSE, 0, 0);
  if (Toolbar.bitmap != nullptr) DeleteObject(static_cast<HBITMAP>(Toolbar.bitmap));
  Toolbar = ToolbarRecord{};
  RecomputeWindowGeometry();
}

}  // namespace quelt
