// The platform's side of the menus: making native menus, filling them with
// entries and reading their entries back. The item tree decides what each
// entry shows; these calls only say it to the platform, in the form each
// platform version takes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tw {

// What one entry of a native menu shows.
struct TNativeMenuEntry {
  std::string text;
  std::uint16_t command = 0;
  HMENU submenu = nullptr;  // the native menu the entry opens; none for a command
  bool separator = false;
  bool radioCheck = false;  // the check mark is a bullet
  bool menuBreak = false;   // starts a new column
  bool barBreak = false;    // starts a new column behind a bar
  bool checked = false;
  bool enabled = true;
  bool isDefault = false;
};

// A new empty menu; EMenuError "out of system resources" when the platform
// cannot make one.
HMENU CreateNativeMenu();
// Appends the entry at the end of the menu.
void AppendNativeEntry(HMENU menu, const TNativeMenuEntry& entry);
// Takes every entry out, leaving the submenus they open alive: those belong
// to other items.
void ClearNativeMenu(HMENU menu);
// Takes the entries out, then destroys the menu itself.
void DestroyNativeMenu(HMENU menu);

// The check mark and the enabled state of the entry of a command.
void CheckNativeEntry(HMENU menu, std::uint16_t command, bool checked);
void EnableNativeEntry(HMENU menu, std::uint16_t command, bool enabled);

int NativeEntryCount(HMENU menu);
// The state flags (MF_CHECKED, MF_DISABLED, MF_POPUP, MF_HILITE, ...) of the
// entry at the position; none when there is no entry there.
std::optional<UINT> NativeEntryFlags(HMENU menu, int position);
// The command of the entry at the position; none for a submenu entry or a
// number that is no command id.
std::optional<std::uint16_t> NativeEntryCommand(HMENU menu, int position);
// The menu that the entry at the position opens; none for a command entry.
HMENU NativeEntrySubmenu(HMENU menu, int position);

// The text image of a menu bar: for each entry its text, then "$" when it is
// disabled, "@" when it starts a column, "#" when it is grey, and ";". It
// holds at most 512 bytes: an entry starts only while 5 bytes are left, and
// its text is cut so that the marks after it always fit. Empty for no menu.
std::string NativeMenuImage(HMENU menu);

}  // namespace tw
