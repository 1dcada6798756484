#pragma once
// The program's menu as a flat item table: every non-separator item of the menu and of its
// sub-menus, with its position in its own menu, its command id and its text.
#include <array>
#include <cstdint>

namespace quelt {

inline constexpr int32_t MenuTextCapacity = 128;
inline constexpr int32_t MenuItemCapacity = 512;

struct MenuItemEntry {
  void* menu;  // HMENU holding the item
  int16_t position;
  int16_t id;
  char text[MenuTextCapacity];
};

struct MenuItemTableState {
  std::array<MenuItemEntry, MenuItemCapacity> entries;
  int32_t count;
};
extern MenuItemTableState MenuItemTable;

// What ReadMenuItem gives for one item.
struct MenuItemRead {
  int32_t id;
  void* subMenu;  // HMENU, null without one
  char text[MenuTextCapacity];
};

// 1 for a separator, 0 when read into info, -1 on failure.
int ReadMenuItem(void* menu, int32_t position, MenuItemRead* info);
// Appends every item of the menu and, depth first, of its sub-menus to the table; -1 on
// failure or when the table is full (the items read so far stay).
int BuildMenuItemTable(void* menu);
// Empties the table.
void ClearMenuItemTable();
// The text of the first entry with that id, read again from its menu, into buffer
// (at most capacity - 1 bytes and a terminator); -1 without a menu in use or such an id.
int ReadMenuItemText(int32_t id, char* buffer, int32_t capacity);

}  // namespace quelt
