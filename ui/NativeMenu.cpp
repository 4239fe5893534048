#include "ui/NativeMenu.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

#include "runtime/Exceptions.h"
#include "runtime/MessageIds.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

// The record InsertMenuItemA takes, in the size every platform version
// accepts: the fields up to and including cch. sizeof(MENUITEMINFOA) is 48 in
// current headers, which add the item bitmap that older versions refuse.
constexpr UINT kMenuItemInfoSize = 44;
static_assert(offsetof(MENUITEMINFOA, cch) + sizeof(UINT) == kMenuItemInfoSize);
constexpr UINT kMenuItemInfoMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
// InsertMenuItemA exists from this major version of the platform on.
constexpr int kItemInfoPlatformVersion = 4;

// The position that inserts after the last entry.
constexpr UINT kAtEnd = static_cast<UINT>(-1);
// What GetMenuState and GetMenuItemID answer where there is no such entry.
constexpr UINT kNoEntry = static_cast<UINT>(-1);
// A submenu entry keeps its flags in the low byte of its state; the high byte
// is the submenu's entry count.
constexpr UINT kSubmenuFlagsMask = 0xFF;

// The marks a menu bar's text image puts after an entry's text: "$", "@", "#"
// and ";".
constexpr int kImageMarks = 4;
constexpr int kImageSize = 512;

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
  InsertMenuItemA(menu, kAtEnd, TRUE, &info);
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
    InsertMenuA(menu, kAtEnd, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(entry.submenu), entry.text.c_str());
  else
    InsertMenuA(menu, kAtEnd, flags, entry.command, entry.text.c_str());
}

}  // namespace

HMENU CreateNativeMenu() {
  const HMENU menu = CreateMenu();
  if (!menu) throw EMenuError(msg::OutOfSystemResources);
  return menu;
}

void AppendNativeEntry(HMENU menu, const TNativeMenuEntry& entry) {
  if (PlatformMajorVersion() >= kItemInfoPlatformVersion)
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
  if (state == kNoEntry) return std::nullopt;
  return (state & MF_POPUP) ? (state & kSubmenuFlagsMask) : state;
}

std::optional<std::uint16_t> NativeEntryCommand(HMENU menu, int position) {
  const UINT id = GetMenuItemID(menu, position);
  if (id == kNoEntry || id > std::numeric_limits<std::uint16_t>::max()) return std::nullopt;
  return static_cast<std::uint16_t>(id);
}

HMENU NativeEntrySubmenu(HMENU menu, int position) { return GetSubMenu(menu, position); }

std::string NativeMenuImage(HMENU menu) {
  std::array<char, kImageSize> buffer{};
  int used = 0;
  const int count = menu ? GetMenuItemCount(menu) : 0;
  for (int pos = 0; pos < count; ++pos) {
    const int room = kImageSize - used;
    // The text's terminator counts in GetMenuStringA's size; it stands where
    // the first mark goes.
    if (room < kImageMarks + 1) break;
    int length = GetMenuStringA(menu, static_cast<UINT>(pos), buffer.data() + used, room - kImageMarks, MF_BYPOSITION);
    length = std::clamp(length, 0, room - kImageMarks - 1);
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
