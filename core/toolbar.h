#pragma once
// The toolbar above the client area: its window, bitmap and button records. The engine
// creates none itself; a program's toolbar is kept and released here.
#include <array>
#include <cstdint>

namespace quelt {

inline constexpr int32_t ToolbarButtonCapacity = 64;
inline constexpr int32_t ToolbarSeparator = 3;
inline constexpr int32_t ToolbarPlainButton = 0;
// Toolbar command ids reach WM_COMMAND offset by this much.
inline constexpr int32_t ToolbarCommandBase = 0x500;

struct ToolbarButton {
  int32_t id;
  int32_t image;
  int32_t type;  // 3 separator, 0 plain button
  int32_t state;
  int32_t clicked;
};
static_assert(sizeof(ToolbarButton) == 20);

struct ToolbarRecord {
  void* window;  // HWND
  void* bitmap;  // HBITMAP
  int32_t exists;
  int32_t buttonCount;
  std::array<ToolbarButton, ToolbarButtonCapacity> buttons;
};
extern ToolbarRecord Toolbar;

// The index of the first non-separator button with that id; -1 without a toolbar or such a
// button.
int32_t FindToolbarButton(int32_t id);
// Deletes every button from the toolbar window; -1 without a toolbar.
int ClearToolbarButtons();
// Marks the plain button of a WM_COMMAND id (toolbar ids start at ToolbarCommandBase);
// true when the command was a toolbar button's.
bool NoteToolbarCommand(int32_t commandId);
// Shutdown: buttons cleared, window closed, bitmap deleted, the record emptied.
void ReleaseToolbar();

}  // namespace quelt
