#include <windows.h>

#include <cstring>

#include "core/core_state.h"
#include "core/menu_table.h"

namespace quelt {

MenuItemTableState MenuItemTable{};

namespace {

// Windows refuses a menu inside itself, but a chain of sub-menus made by hand could still
// loop; no real menu nests this deep.
constexpr int32_t MaxMenuDepth = 16;

int BuildLevel(HMENU menu, int32_t depth) {
  if (depth > MaxMenuDepth) return -1;
  const int count = GetMenuItemCount(menu);
  if (count < 0) return -1;
  for (int position = 0; position < count; ++position) {
    MenuItemRead item{};
    const int read = ReadMenuItem(menu, position, &item);
    if (read == 1) continue;
    if (read < 0) return -1;
    if (MenuItemTable.count >= MenuItemCapacity) return -1;
    MenuItemEntry& entry = MenuItemTable.entries[static_cast<size_t>(MenuItemTable.count++)];
    entry.menu = menu;
    entry.position = static_cast<int16_t>(position);
    entry.id = static_cast<int16_t>(item.id);
    std::memcpy(entry.text, item.text, sizeof entry.text);
    if (item.subMenu != nullptr && BuildLevel(static_cast<HMENU>(item.subMenu), depth + 1) < 0) return -1;
  }
  return 0;
}

}  // namespace

int ReadMenuItem(void* menu, int32_t position, MenuItemRead* info) {
  if (menu == nullptr || info == nullptr) return -1;
  const HMENU handle = static_cast<HMENU>(menu);
  MENUITEMINFOA item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_TYPE;
  if (GetMenuItemInfoA(handle, static_cast<UINT>(position), TRUE, &item) == FALSE) return -1;
  if ((item.fType & MFT_SEPARATOR) != 0) return 1;
  char text[MenuTextCapacity] = {};
  item = MENUITEMINFOA{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
  item.dwTypeData = text;
  item.cch = sizeof text;
  if (GetMenuItemInfoA(handle, static_cast<UINT>(position), TRUE, &item) == FALSE) return -1;
  text[sizeof text - 1] = '\0';
  info->id = static_cast<int32_t>(item.wID);
  info->subMenu = item.hSubMenu;
  std::memcpy(info->text, text, sizeof text);
  return 0;
}

int BuildMenuItemTable(void* menu) {
  if (menu == nullptr) return -1;
  return BuildLevel(static_cast<HMENU>(menu), 0);
}

void ClearMenuItemTable() { MenuItemTable.count = 0; }

int ReadMenuItemText(int32_t id, char* buffer, int32_t capacity) {
  if (WindowSettings.menuInUse == 0 || buffer == nullptr || capacity <= 0) return -1;
  for (int32_t i = 0; i < MenuItemTable.count; ++i) {
    const MenuItemEntry& entry = MenuItemTable.entries[static_cast<size_t>(i)];
    if (entry.id != static_cast<int16_t>(id)) continue;
    MenuItemRead item{};
    if (ReadMenuItem(entry.menu, entry.position, &item) != 0) return -1;
    size_t length = strnlen(item.text, sizeof item.text);
    if (length > static_cast<size_t>(capacity) - 1) length = static_cast<size_t>(capacity) - 1;
    std::memcpy(buffer, item.text, length);
    buffer[length] = '\0';
    return 0;
  }
  return -1;
}

}  // namespace quelt
