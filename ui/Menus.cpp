#include "ui/Menus.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "core/ClassRegistry.h"
#include "runtime/Exceptions.h"
#include "runtime/ScopeExit.h"
#include "ui/Accelerators.h"
#include "ui/Guard.h"
#include "ui/MenuDispatch.h"
#include "ui/Messages.h"
#include "ui/NativeMenu.h"

namespace tw {

namespace {

// The first item, each before its own children, that matches.
TMenuItem* FindInTree(const TMenuItem* host, const std::function<bool(const TMenuItem&)>& match) {
  TMenuItem* found = nullptr;
  host->WalkChildrenInGroupOrder([&](TMenuItem* item) {
    if (match(*item)) {
      found = item;
      return true;
    }
    if (item->Count() > 0 || item->MergedItem()) found = FindInTree(item, match);
    return found != nullptr;
  });
  return found;
}

// The item's ancestor at the level, counted from the outermost one (0) down
// to the item itself; none past the item.
TMenuItem* LineageAt(TMenuItem* item, std::size_t level) {
  std::vector<TMenuItem*> chain;
  for (TMenuItem* p = item; p; p = p->Parent()) chain.push_back(p);
  return level < chain.size() ? chain[chain.size() - 1 - level] : nullptr;
}

// A main menu's flag and its root item's (maParent reads as automatic).
TMenuAutoFlag MenuFlagOf(TMenuItemAutoFlag flag) { return flag == maManual ? mafManual : mafAutomatic; }
TMenuItemAutoFlag ItemFlagOf(TMenuAutoFlag flag) { return flag == mafManual ? maManual : maAutomatic; }

// ---- Menu characters ----------------------------------------------------------------

// The entries of a native menu as a typed menu character sees them: each
// position's item (none for a separator, an entry that is no item of ours or
// one that cannot be read) and state flags, and the highlighted position.
struct MenuCharEntries {
  struct Entry {
    const TMenuItem* item = nullptr;
    UINT flags = 0;
  };
  std::vector<Entry> entries;
  int highlighted = -1;
};

MenuCharEntries ReadMenuCharEntries(const TMenu& owner, HMENU menu) {
  const int count = NativeEntryCount(menu);
  MenuCharEntries result;
  result.entries.resize(static_cast<std::size_t>(std::max(count, 0)));
  for (int pos = 0; pos < count; ++pos) {
    const std::optional<UINT> flags = NativeEntryFlags(menu, pos);
    if (!flags) continue;
    MenuCharEntries::Entry& entry = result.entries[static_cast<std::size_t>(pos)];
    entry.flags = *flags;
    if (entry.flags & MF_HILITE) result.highlighted = pos;
    // Separators are never chosen by a character, not even "-".
    if (!(entry.flags & MF_POPUP) && (entry.flags & MF_SEPARATOR)) continue;
    const TMenuItem* item = nullptr;
    if (entry.flags & MF_POPUP) {
      item = owner.FindItemByHandle(NativeEntrySubmenu(menu, pos));
    } else if (const std::optional<std::uint16_t> command = NativeEntryCommand(menu, pos)) {
      item = owner.FindItemByCommand(*command);
    }
    if (item && !item->IsLine()) entry.item = item;
  }
  return result;
}

// One pass with a matching rule: execute a single enabled match, select among
// several (the one after the highlighted entry first), close the menu for a
// disabled match that no enabled one follows, or at once for any disabled
// match when disabledClosesAtOnce; none when nothing matched.
template <class Match>
std::optional<LRESULT> MenuCharPass(const MenuCharEntries& menu, const Match& matches, bool disabledClosesAtOnce) {
  int first = -1;
  int afterHighlight = -1;
  bool several = false;
  bool disabledFirst = false;
  for (int pos = 0; pos < static_cast<int>(menu.entries.size()); ++pos) {
    const MenuCharEntries::Entry& entry = menu.entries[static_cast<std::size_t>(pos)];
    if (!entry.item || !matches(*entry.item)) continue;
    if (entry.flags & MF_DISABLED) {
      if (disabledClosesAtOnce) return MAKELRESULT(0, MNC_CLOSE);
      if (first < 0) disabledFirst = true;
      continue;
    }
    if (first < 0)
      first = pos;
    else
      several = true;
    if (afterHighlight < 0 && menu.highlighted >= 0 && pos > menu.highlighted) afterHighlight = pos;
  }
  if (first >= 0) {
    if (!several) return MAKELRESULT(first, MNC_EXECUTE);
    return MAKELRESULT(afterHighlight >= 0 ? afterHighlight : first, MNC_SELECT);
  }
  if (disabledFirst) return MAKELRESULT(0, MNC_CLOSE);
  return std::nullopt;
}

}  // namespace

// ---- TMenu ------------------------------------------------------------------------------

void TMenu::Publish(Publisher&) {}

TMenu::TMenu(TComponent* owner) : TComponent(owner) {
  items_ = new TMenuItem(this);
  items_->menu_ = this;
  items_->autoHotkeys_ = maAutomatic;
  items_->autoLineReduction_ = maAutomatic;
}

TMenu::~TMenu() {
  windowHandle_ = nullptr;
  BeginDestruction();
}

HMENU TMenu::Handle() { return items_ ? items_->Handle() : nullptr; }

TMenuItem* TMenu::FindItemByCommand(std::uint16_t command) const {
  if (!items_) return nullptr;
  return FindInTree(items_, [command](const TMenuItem& item) { return item.Command() == command; });
}

TMenuItem* TMenu::FindItemByHandle(HMENU menu) const {
  if (!items_ || !menu) return nullptr;
  return FindInTree(items_, [menu](const TMenuItem& item) { return item.handle_ == menu; });
}

TMenuItem* TMenu::FindItemByShortCut(TShortCut shortCut) const {
  if (!items_ || shortCut == 0) return nullptr;
  return FindInTree(items_, [shortCut](const TMenuItem& item) { return item.ShortCut() == shortCut; });
}

THelpContext TMenu::HelpContextOf(std::uint16_t command) const {
  for (const TMenuItem* item = FindItemByCommand(command); item; item = item->Parent())
    if (item->HelpContext() != 0) return item->HelpContext();
  return 0;
}

bool TMenu::DispatchCommand(std::uint16_t command) {
  TMenuItem* item = FindItemByCommand(command);
  if (!item) return false;
  item->Click();
  return true;
}

bool TMenu::DispatchPopup(HMENU submenu) {
  TMenuItem* item = FindItemByHandle(submenu);
  if (!item) return false;
  const std::size_t slot = EnterDispatch(item);
  const TScopeExit leave([slot] { LeaveDispatch(slot); });
  item->Click();
  // The header's click may have freed it.
  if (TMenuItem* opened = DispatchedItem(slot))
    if (opened->TidyChildren()) opened->RebuildHandle();
  return true;
}

LRESULT TMenu::ProcessMenuChar(UINT ch, UINT flags, HMENU menu) {
  (void)flags;
  if (!menu) return 0;
  const MenuCharEntries entries = ReadMenuCharEntries(*this, menu);
  const auto marked = [ch](const TMenuItem& item) { return IsAccelerator(ch, item.Caption()); };
  if (const std::optional<LRESULT> answer = MenuCharPass(entries, marked, false)) return *answer;
  // Only when no accelerator matched: the first character of a caption
  // without one.
  const auto initial = [ch](const TMenuItem& item) {
    const std::string& caption = item.Caption();
    return AcceleratorPosition(caption) == std::string::npos && !caption.empty() &&
           CharMatches(ch, std::string_view(caption).substr(0, CharLengthAt(caption, 0)));
  };
  return MenuCharPass(entries, initial, true).value_or(0);
}

bool TMenu::IsShortCut(UINT msg, WPARAM key, LPARAM keyData) {
  (void)msg;
  const TShortCut shortCut = ShortCutOfKey(key, keyData);
  TMenuItem* item = FindItemByShortCut(shortCut);
  if (!item) return false;

  const std::size_t slot = EnterDispatch(item);
  const TScopeExit leave([slot] { LeaveDispatch(slot); });
  // From the outermost ancestor down to the item, each level enabled and
  // clicked; a click that frees the item or takes its shortcut away sends the
  // search out again, and the dispatch goes on at the next level.
  for (std::size_t level = 0;; ++level) {
    TMenuItem* current = DispatchedItem(slot);
    if (!current) break;
    TMenuItem* node = LineageAt(current, level);
    if (!node || !node->Enabled()) break;
    try {
      node->Click();
    } catch (...) {
      HandleUncaughtException(this);
      break;
    }
    current = DispatchedItem(slot);
    if (!current || current->ShortCut() != shortCut) {
      TMenuItem* again = FindItemByShortCut(shortCut);
      if (!again) break;
      SetDispatchedItem(slot, again);
    }
  }
  return DispatchedItem(slot) != nullptr;
}

void TMenu::SetWindowHandle(HWND window) {
  windowHandle_ = window;
  if (window) WindowAttached();
}

void TMenu::SetOwnerDraw(bool value) { ownerDraw_ = value; }

void TMenu::AfterLoad() {
  TComponent::AfterLoad();
  MenuChanged(nullptr, false);
}

void TMenu::PlaceChildAt(TComponent& child, int position) {
  if (items_) items_->PlaceChildAt(child, position);
}

void TMenu::MenuChanged(TMenuItem* source, bool rebuild) {
  if (IsLoadingOrDestroying()) return;
  OnChange(this, source, rebuild);
}

// ---- TMainMenu --------------------------------------------------------------------------

void TMainMenu::Publish(Publisher& p) {
  TW_PROPERTY(AutoHotkeys, &Self::AutoHotkeys, &Self::SetAutoHotkeys);
  TW_PROPERTY(AutoLineReduction, &Self::AutoLineReduction, &Self::SetAutoLineReduction);
  TW_PROPERTY(AutoMerge, &Self::AutoMerge, &Self::SetAutoMerge);
  TW_PROPERTY(OwnerDraw, &Self::OwnerDraw, &Self::SetOwnerDraw);
  TW_PROPERTY(OnChange, &Self::OnChange, &Self::OnChange);
}

TMainMenu::TMainMenu(TComponent* owner) : TMenu(owner) {}

TMainMenu::~TMainMenu() { BeginDestruction(); }

TMenuAutoFlag TMainMenu::AutoHotkeys() const { return Items() ? MenuFlagOf(Items()->AutoHotkeys()) : mafAutomatic; }

void TMainMenu::SetAutoHotkeys(TMenuAutoFlag value) {
  if (Items()) Items()->SetAutoHotkeys(ItemFlagOf(value));
}

TMenuAutoFlag TMainMenu::AutoLineReduction() const {
  return Items() ? MenuFlagOf(Items()->AutoLineReduction()) : mafAutomatic;
}

void TMainMenu::SetAutoLineReduction(TMenuAutoFlag value) {
  if (Items()) Items()->SetAutoLineReduction(ItemFlagOf(value));
}

void TMainMenu::Merge(TMainMenu* menu) {
  if (Items()) Items()->MergeWith(menu && menu != this ? menu->Items() : nullptr);
}

void TMainMenu::Unmerge(TMainMenu* menu) {
  if (Items() && menu && Items()->MergedItem() == menu->Items()) Items()->MergeWith(nullptr);
}

void TMainMenu::MenuChanged(TMenuItem* source, bool rebuild) {
  if (IsLoadingOrDestroying()) return;
  if (HWND window = WindowHandle()) {
    const bool changed = UpdateImage();
    if (!source) SendMessageA(window, FM_MENUCHANGED, 0, 0);
    if (changed) DrawMenuBar(window);
  }
  TMenu::MenuChanged(source, rebuild);
}

void TMainMenu::ItemChanged() {
  if (IsLoadingOrDestroying()) return;
  MenuChanged(nullptr, false);
  if (HWND window = WindowHandle()) SendMessageA(window, FM_MENUCHANGED, 0, 0);
}

void TMainMenu::WindowAttached() { UpdateImage(); }

bool TMainMenu::UpdateImage() {
  std::string image = NativeMenuImage(Handle());
  if (hasImage_ && image == image_) return false;
  image_ = std::move(image);
  hasImage_ = true;
  return true;
}

// ---- Registration ------------------------------------------------------------------------

void RegisterMenuClasses() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterComponentClasses<TMainMenu, TMenuItem>(); });
}

}  // namespace tw
