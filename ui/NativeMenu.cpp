#include "ui/NativeMenu.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "runtime/Exceptions.h"
#include "runtime/MessageIds.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

// The record InsertMenuItemA takes, in the size every platform version
// accepts: the fields up to and including cch.
constexpr UINT kMenuItemInfoSize = 44;
static_assert(offsetof(MENUITEMINFOA, cch) + sizeof(UINT) == kMenuItemInfoSize);
// MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA.
constexpr UINT kMenuItemInfoMask = 0x3F;

void InsertWithItemInfo(HMENU menu, const TNativeMenuEntry& entry) {
  UINT type = entry.separator ? MFT_SEPARATOR : MFT_STRING;
  if (entry.radioCheck) type |= MFT_RADIOCHECK;
  if (entry.menuBreak) type |= MFT_MENUBREAK;
  if (entry.barBreak) type |= MFT_MENUBARBREAK;
  UINT state = 0;
  if (entry.checked) state |= MFS_CHECKED;
  if (!entry.enabled) state |= MFS_GRAYED;
  if (entry.isDefault) state |= MFS_DEFAULT;
  std::string text = entry.text;
  MENUITEMINFOA info{};
  info.cbSize = kMenuItemInfoSize;
  info.fMask = kMenuItemInfoMask;
  info.fType = type;
  info.fState = state;
  info.wID = entry.command;
  info.hSubMenu = entry.submenu;
  info.dwTypeData = text.data();
  info.cch = static_cast<UINT>(text.size());
  InsertMenuItemA(menu, static_cast<UINT>(-1), TRUE, &info);
}

// Platforms before major version 4: no radio bullets and no default entry.
void InsertWithFlags(HMENU menu, const TNativeMenuEntry& entry) {
  UINT flags = MF_BYPOSITION;
  if (entry.separator) flags |= MF_SEPARATOR;
  if (entry.menuBreak) flags |= MF_MENUBREAK;
  if (entry.barBreak) flags |= MF_MENUBARBREAK;
  if (entry.checked) flags |= MF_CHECKED;
  if (!entry.enabled) flags |= MF_DISABLED | MF_GRAYED;
  if (entry.submenu)
    InsertMenuA(menu, static_cast<UINT>(-1), flags | MF_POPUP, reinterpret_cast<UINT_PTR>(entry.submenu),
                entry.text.c_str());
  else
    InsertMenuA(menu, static_cast<UINT>(-1), flags, entry.command, entry.text.c_str());
}

}  // namespace

HMENU CreateNativeMenu() {
  const HMENU menu = CreateMenu();
  if (!menu) throw EMenuError(msg::OutOfSystemResources);
  return menu;
}

void AppendNativeEntry(HMENU menu, const TNativeMenuEntry& entry) {
  if (PlatformMajorVersion() >= 4)
    InsertWithItemInfo(menu, entry);
  else
    InsertWithFlags(menu, entry);
}

void ClearNativeMenu(HMENU menu) {
  while (GetMenuItemCount(menu) > 0)
    if (!RemoveMenu(menu, 0, MF_BYPOSITION)) break;
}

void DestroyNativeMenu(HMENU menu) {
  // Destroying a menu would destroy the submenus still in it.
  ClearNativeMenu(menu);
  DestroyMenu(menu);
}

void CheckNativeEntry(HMENU menu, std::uint16_t command, bool checked) {
  CheckMenuItem(menu, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void EnableNativeEntry(HMENU menu, std::uint16_t command, bool enabled) {
  EnableMenuItem(menu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_DISABLED | MF_GRAYED));
}

int NativeEntryCount(HMENU menu) { return GetMenuItemCount(menu); }

std::optional<UINT> NativeEntryFlags(HMENU menu, int position) {
  const UINT state = GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION);
  if (state == static_cast<UINT>(-1)) return std::nullopt;
  // A submenu entry keeps its flags in the low byte; the high byte is the
  // submenu's entry count.
  return (state & MF_POPUP) ? (state & 0xFF) : state;
}

std::optional<std::uint16_t> NativeEntryCommand(HMENU menu, int position) {
  const UINT id = GetMenuItemID(menu, position);
  if (id == static_cast<UINT>(-1) || id > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(id);
}

HMENU NativeEntrySubmenu(HMENU menu, int position) { return GetSubMenu(menu, position); }

std::string NativeMenuImage(HMENU menu) {
  constexpr int kImageSize = 512;
  std::array<char, kImageSize> buffer{};
  int used = 0;
  const int count = menu ? GetMenuItemCount(menu) : 0;
  for (int pos = 0; pos < count; ++pos) {
    const int room = kImageSize - used;
    if (room < 5) break;
    int length = GetMenuStringA(menu, static_cast<UINT>(pos), buffer.data() + used, room - 4, MF_BYPOSITION);
    length = std::clamp(length, 0, room - 5);
    used += length;
    const UINT flags = NativeEntryFlags(menu, pos).value_or(0);
    if (flags & MF_DISABLED) buffer[static_cast<std::size_t>(used++)] = '$';
    if (flags & MF_MENUBREAK) buffer[static_cast<std::size_t>(used++)] = '@';
    if (flags & MF_GRAYED) buffer[static_cast<std::size_t>(used++)] = '#';
    buffer[static_cast<std::size_t>(used++)] = ';';
  }
  return std::string(buffer.data(), static_cast<std::size_t>(used));
}

}  // namespace tw
