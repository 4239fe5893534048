#include "ui/Menus.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "core/ClassRegistry.h"
#include "core/Lists.h"
#include "core/Reader.h"
#include "runtime/Exceptions.h"
#include "runtime/Fields.h"
#include "runtime/MessageIds.h"
#include "runtime/Text.h"
#include "ui/Accelerators.h"
#include "ui/Guard.h"
#include "ui/Messages.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

// The record InsertMenuItemA takes, in the size every platform version
// accepts: the fields up to and including cch.
constexpr UINT kMenuItemInfoSize = 44;
static_assert(offsetof(MENUITEMINFOA, cch) + sizeof(UINT) == kMenuItemInfoSize);
// MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA.
constexpr UINT kMenuItemInfoMask = 0x3F;

// ---- Command ids -------------------------------------------------------------------

// Every item of the process has its own 16-bit command id: the lowest free one
// is taken, and given back when the item goes, except 0, which the first item
// ever made keeps for good.
class CommandIdPool {
 public:
  std::uint16_t Take() {
    for (std::size_t w = 0; w < bits_.size(); ++w) {
      if (bits_[w] == ~std::uint32_t{0}) continue;
      const int bit = std::countr_one(bits_[w]);
      bits_[w] |= std::uint32_t{1} << bit;
      return static_cast<std::uint16_t>(w * 32 + static_cast<std::size_t>(bit));
    }
    throw EMenuError(msg::OutOfSystemResources);
  }
  void Release(std::uint16_t id) {
    if (id != 0) bits_[id / 32] &= ~(std::uint32_t{1} << (id % 32));
  }

 private:
  std::array<std::uint32_t, 65536 / 32> bits_{};
};

CommandIdPool& CommandIds() {
  static CommandIdPool pool;
  return pool;
}

// ---- Items in dispatch ---------------------------------------------------------------

// The items whose clicks are running (shortcut dispatch, submenu opening). An
// item that is freed meanwhile leaves a null entry, so the dispatch can tell.
std::vector<TMenuItem*>& DispatchStack() {
  static std::vector<TMenuItem*> stack;
  return stack;
}

class DispatchSlot {
 public:
  explicit DispatchSlot(TMenuItem* item) : index_(DispatchStack().size()) { DispatchStack().push_back(item); }
  ~DispatchSlot() { DispatchStack().resize(index_); }
  DispatchSlot(const DispatchSlot&) = delete;
  DispatchSlot& operator=(const DispatchSlot&) = delete;

  TMenuItem* Item() const { return DispatchStack()[index_]; }
  void SetItem(TMenuItem* item) { DispatchStack()[index_] = item; }

 private:
  std::size_t index_;
};

// ---- Walking the tree ----------------------------------------------------------------

// The children of host together with those of merged (none when there is no
// merge), in group order: repeatedly the list whose head has the smaller group
// index (merged on a tie) gives every item up to that group, and both lists
// skip past it, so a merged group replaces the host's group of that index. An
// exhausted list never wins, which keeps items of group 255 in the walk.
// Stops when visit answers true; answers whether it did.
template <class F>
bool WalkGroupOrder(const TMenuItem* host, const TMenuItem* merged, F&& visit) {
  const int hostCount = host ? host->Count() : 0;
  const int mergedCount = merged ? merged->Count() : 0;
  int i = 0;
  int j = 0;
  while (i < hostCount || j < mergedCount) {
    const bool takeMerged =
        i >= hostCount || (j < mergedCount && merged->Item(j)->GroupIndex() <= host->Item(i)->GroupIndex());
    const TMenuItem* list = takeMerged ? merged : host;
    int& k = takeMerged ? j : i;
    const int count = takeMerged ? mergedCount : hostCount;
    const std::uint8_t group = list->Item(k)->GroupIndex();
    for (; k < count && list->Item(k)->GroupIndex() <= group; ++k)
      if (visit(list->Item(k))) return true;
    while (i < hostCount && host->Item(i)->GroupIndex() <= group) ++i;
    while (j < mergedCount && merged->Item(j)->GroupIndex() <= group) ++j;
  }
  return false;
}

// The first item, each before its own children, that matches.
TMenuItem* FindInTree(const TMenuItem* host, const TMenuItem* merged,
                      const std::function<bool(const TMenuItem&)>& match) {
  TMenuItem* found = nullptr;
  WalkGroupOrder(host, merged, [&](TMenuItem* item) {
    if (match(*item)) {
      found = item;
      return true;
    }
    if (item->Count() > 0 || item->MergedItem()) found = FindInTree(item, item->MergedItem(), match);
    return found != nullptr;
  });
  return found;
}

// ---- Automatic accelerators ----------------------------------------------------------

constexpr std::string_view kHotkeyPool = "1234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// The position of the first character whose upper case is still in the pool.
std::size_t FirstUsableChar(std::string_view caption, std::string_view pool) {
  for (std::size_t i = 0; i < caption.size(); i += CharLengthAt(caption, i))
    if (CharLengthAt(caption, i) == 1 && pool.find(UpperAscii(caption[i])) != std::string_view::npos) return i;
  return std::string_view::npos;
}

// Marks the accelerator on a double-byte system: a caption that holds a
// double-byte character gets "(&X)" at its end, or before a final "..."; any
// other caption gets "&" before the character found (nothing without one).
std::string WithBracketAccelerator(std::string caption, std::size_t pos, char accelerator) {
  if (HasDoubleByteChar(caption)) {
    const std::string group = std::string("(&") + accelerator + ")";
    const bool dots = caption.size() >= 3 && caption.ends_with("...");
    caption.insert(dots ? caption.size() - 3 : caption.size(), group);
  } else if (pos != std::string::npos) {
    caption.insert(pos, 1, '&');
  }
  return caption;
}

struct HotkeyEntry {
  TMenuItem* item;
  std::string caption;
};

struct HotkeyPass {
  std::vector<HotkeyEntry> done;
  std::vector<HotkeyEntry> open;
  std::string pool;
};

}  // namespace

// ---- Shortcuts -----------------------------------------------------------------------------

std::string KeyNameOf(std::uint8_t key) {
  struct Named {
    std::uint8_t key;
    ResId id;
  };
  auto tableId = [](int offset) { return ResId{static_cast<std::uint16_t>(msg::KeyTab.value + offset)}; };
  const Named named[] = {{8, msg::KeyBkSp}, {9, tableId(0)},   {13, tableId(1)},  {27, tableId(2)},  {32, tableId(3)},
                         {33, tableId(4)},  {34, tableId(5)},  {35, tableId(6)},  {36, tableId(7)},  {37, tableId(8)},
                         {38, tableId(9)},  {39, tableId(10)}, {40, tableId(11)}, {45, tableId(12)}, {46, tableId(13)}};
  for (const Named& n : named)
    if (n.key == key) return LoadResString(n.id);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
  if (key >= 96 && key <= 105) return std::string(1, static_cast<char>('0' + (key - 96)));
  if (key >= 112 && key <= 135) return "F" + std::to_string(key - 111);
  const UINT scanCode = MapVirtualKeyA(key, 0);
  if (scanCode == 0) return {};
  char name[256];
  const int length = GetKeyNameTextA(static_cast<LONG>(scanCode << 16), name, static_cast<int>(sizeof name));
  return length > 0 ? std::string(name, static_cast<std::size_t>(std::min<int>(length, 255))) : std::string();
}

std::string ShortCutToText(TShortCut shortCut) {
  const std::string name = KeyNameOf(static_cast<std::uint8_t>(shortCut & 0xFF));
  if (name.empty()) return {};
  std::string text;
  if (shortCut & scShift) text += LoadResString(msg::KeyShift);
  if (shortCut & scCtrl) text += LoadResString(msg::KeyCtrl);
  if (shortCut & scAlt) text += LoadResString(msg::KeyAlt);
  return text + name;
}

TShortCut TextToShortCut(std::string_view text) {
  const std::string shift = LoadResString(msg::KeyShift);
  const std::string ctrl = LoadResString(msg::KeyCtrl);
  const std::string alt = LoadResString(msg::KeyAlt);
  auto strip = [&text](std::string_view prefix) {
    if (prefix.empty() || text.size() < prefix.size() || !SameAsciiText(text.substr(0, prefix.size()), prefix))
      return false;
    text.remove_prefix(prefix.size());
    return true;
  };
  // A modifier named twice is still one modifier.
  TShortCut modifiers = 0;
  for (;;) {
    if (strip(shift))
      modifiers |= scShift;
    else if (strip("^") || strip(ctrl))
      modifiers |= scCtrl;
    else if (strip(alt))
      modifiers |= scAlt;
    else
      break;
  }
  if (text.empty()) return 0;
  for (int key = 8; key <= 255; ++key) {
    const std::string name = KeyNameOf(static_cast<std::uint8_t>(key));
    if (!name.empty() && SameAsciiText(name, text)) return static_cast<TShortCut>(key | modifiers);
  }
  return 0;
}

TShortCut MakeShortCut(WORD key, bool shift, bool ctrl, bool alt) {
  if (key & 0xFF00) return 0;
  TShortCut result = key;
  if (shift) result |= scShift;
  if (ctrl) result |= scCtrl;
  if (alt) result |= scAlt;
  return result;
}

// ---- TMenuItem ---------------------------------------------------------------------------

void TMenuItem::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::Caption, &Self::SetCaption);
  TW_PROPERTY(Checked, &Self::Checked, &Self::SetChecked);
  TW_PROPERTY(Enabled, &Self::Enabled, &Self::SetEnabled);
  TW_PROPERTY(Visible, &Self::Visible, &Self::SetVisible);
  TW_PROPERTY(Default, &Self::Default, &Self::SetDefault);
  TW_PROPERTY(RadioItem, &Self::RadioItem, &Self::SetRadioItem);
  TW_PROPERTY(GroupIndex, &Self::GroupIndex, &Self::SetGroupIndex);
  TW_PROPERTY(Break, &Self::Break, &Self::SetBreak);
  TW_PROPERTY(ShortCut, &Self::ShortCut, &Self::SetShortCut);
  TW_PROPERTY(AutoHotkeys, &Self::AutoHotkeys, &Self::SetAutoHotkeys);
  TW_PROPERTY(AutoLineReduction, &Self::AutoLineReduction, &Self::SetAutoLineReduction);
  TW_PROPERTY(HelpContext, &Self::HelpContext, &Self::SetHelpContext);
  TW_PROPERTY(Hint, &Self::Hint, &Self::SetHint);
  TW_PROPERTY(ImageIndex, &Self::ImageIndex, &Self::SetImageIndex);
  TW_PROPERTY(OnClick, &Self::OnClick, &Self::SetOnClick);
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), command_(CommandIds().Take()) {}

TMenuItem::~TMenuItem() {
  BeginDestruction();
  for (TMenuItem*& entry : DispatchStack())
    if (entry == this) entry = nullptr;
  // A destructor passes nothing on: whatever the parent's change step raises
  // (an OnChange handler, say), this item still leaves the tree.
  if (parent_) {
    try {
      parent_->Remove(this);
    } catch (...) {
    }
    if (parent_ && parent_->items_) {
      parent_->items_->RemoveItem(this);
      if (parent_->items_->Count() == 0) parent_->items_.reset();
    }
    parent_ = nullptr;
  }
  while (items_ && items_->Count() > 0) {
    auto* child = static_cast<TMenuItem*>(items_->ItemAt(0));
    FreeIfPresent(child);
    // The child takes itself out of the list; should it not have, the loop
    // must still move on.
    if (items_ && items_->Count() > 0 && items_->ItemAt(0) == child) items_->DeleteAt(0);
  }
  items_.reset();
  if (mergedWith_) {
    TMenuItem* host = mergedWith_;
    host->merged_ = nullptr;
    mergedWith_ = nullptr;
    try {
      host->RebuildHandle();
    } catch (...) {
    }
  }
  if (merged_) {
    merged_->mergedWith_ = nullptr;
    merged_ = nullptr;
  }
  if (handle_) {
    // Entries are taken out first: destroying a native menu would destroy the
    // submenus still in it, which belong to the children.
    while (GetMenuItemCount(handle_) > 0)
      if (!RemoveMenu(handle_, 0, MF_BYPOSITION)) break;
    DestroyMenu(handle_);
    handle_ = nullptr;
  }
  if (menu_ && menu_->items_ == this) menu_->items_ = nullptr;
  menu_ = nullptr;
  CommandIds().Release(command_);
}

void TMenuItem::SetCaption(std::string value) { ChangeAndRebuild(caption_, std::move(value)); }

void TMenuItem::SetChecked(bool value) {
  if (!ChangeField(checked_, value)) return;
  if (parent_ && !IsLoading())
    CheckMenuItem(ParentNativeMenu(), command_, MF_BYCOMMAND | (value ? MF_CHECKED : MF_UNCHECKED));
  if (value && radioItem_) TurnSiblingsOff();
}

void TMenuItem::SetEnabled(bool value) {
  if (!ChangeField(enabled_, value)) return;
  // A submenu entry has no command id on the NT family, and an entry of a
  // merged item lives in another item's native menu: both are rebuilt.
  if ((NtPlatform() && Count() > 0) || (parent_ && parent_->mergedWith_)) {
    MenuChanged(true);
  } else if (parent_ && !IsLoading()) {
    EnableMenuItem(parent_->Handle(), command_, MF_BYCOMMAND | (value ? MF_ENABLED : MF_DISABLED | MF_GRAYED));
    MenuChanged(false);
  }
}

void TMenuItem::SetVisible(bool value) { ChangeAndRebuild(visible_, std::move(value)); }

void TMenuItem::SetDefault(bool value) {
  if (default_ == value) return;
  if (value && parent_)
    for (int i = 0; i < parent_->Count(); ++i) parent_->Item(i)->default_ = false;
  default_ = value;
  MenuChanged(true);
}

void TMenuItem::SetRadioItem(bool value) {
  if (!ChangeField(radioItem_, value)) return;
  if (value && checked_) TurnSiblingsOff();
  MenuChanged(true);
}

void TMenuItem::SetGroupIndex(std::uint8_t value) {
  if (groupIndex_ == value) return;
  if (parent_) parent_->VerifyGroupIndex(parent_->IndexOf(this), value);
  groupIndex_ = value;
  if (checked_ && radioItem_) TurnSiblingsOff();
}

void TMenuItem::SetBreak(TMenuBreak value) { ChangeAndRebuild(break_, std::move(value)); }

void TMenuItem::SetShortCut(TShortCut value) { ChangeAndRebuild(shortCut_, std::move(value)); }

void TMenuItem::SetAutoHotkeys(TMenuItemAutoFlag value) { ChangeAndRebuild(autoHotkeys_, std::move(value)); }

void TMenuItem::SetAutoLineReduction(TMenuItemAutoFlag value) {
  ChangeAndRebuild(autoLineReduction_, std::move(value));
}

void TMenuItem::SetImageIndex(TImageIndex value) { ChangeAndRebuild(imageIndex_, std::move(value)); }

bool TMenuItem::IsAutoHotkeys() const {
  switch (autoHotkeys_) {
    case maAutomatic: return true;
    case maManual: return false;
    default: return parent_ ? parent_->IsAutoHotkeys() : true;
  }
}

bool TMenuItem::IsAutoLineReduction() const {
  switch (autoLineReduction_) {
    case maAutomatic: return true;
    case maManual: return false;
    default: return parent_ ? parent_->IsAutoLineReduction() : true;
  }
}

// ---- TMenuItem: the tree ----

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item) throw EMenuError(msg::MenuNotFound);
  // An item with a parent, a menu's root item, or an item above this one
  // (which would make the tree a loop) cannot come in.
  if (item->parent_ || item->menu_) throw EMenuError(msg::MenuReinserted);
  for (const TMenuItem* p = this; p; p = p->parent_)
    if (p == item) throw EMenuError(msg::MenuReinserted);
  const int count = Count();
  if (index < 0 || index > count) throw EListError(msg::ListIndexError, {index});
  std::uint8_t group = item->groupIndex_;
  if (index > 0) group = std::max(group, Item(index - 1)->groupIndex_);
  VerifyGroupIndex(index, group);
  item->groupIndex_ = group;
  if (!items_) items_ = std::make_unique<TList>();
  items_->InsertAt(index, item);
  item->parent_ = this;
  if (handle_ || mergedWith_) RebuildHandle();
  MenuChanged(Count() == 1);
}

void TMenuItem::Delete(int index) {
  if (!items_ || index < 0 || index >= items_->Count()) throw EMenuError(msg::MenuIndexError);
  auto* item = static_cast<TMenuItem*>(items_->ItemAt(index));
  items_->DeleteAt(index);
  if (items_->Count() == 0) items_.reset();
  item->parent_ = nullptr;
  if (handle_ || mergedWith_) RebuildHandle();
  MenuChanged(Count() == 0);
}

void TMenuItem::Remove(TMenuItem* item) {
  const int index = IndexOf(item);
  if (index < 0) throw EMenuError(msg::MenuNotFound);
  Delete(index);
}

int TMenuItem::Count() const { return items_ ? items_->Count() : 0; }

TMenuItem* TMenuItem::Item(int index) const {
  if (!items_) throw EMenuError(msg::MenuIndexError);
  return static_cast<TMenuItem*>(items_->ItemAt(index));
}

int TMenuItem::IndexOf(const TMenuItem* item) const { return items_ ? items_->IndexOfItem(item) : -1; }

int TMenuItem::MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

void TMenuItem::SetMenuIndex(int value) {
  if (!parent_) return;
  TMenuItem* parent = parent_;
  value = std::clamp(value, 0, parent->Count() - 1);
  if (value == parent->IndexOf(this)) return;
  parent->Remove(this);
  parent->Insert(value, this);
}

TMenu* TMenuItem::ParentMenu() const {
  const TMenuItem* root = this;
  while (root->parent_) root = root->parent_;
  return root->menu_;
}

void TMenuItem::Click() {
  if (enabled_) onClick_(this);
}

void TMenuItem::VerifyGroupIndex(int position, std::uint8_t value) {
  const int count = Count();
  for (int i = 0; i < std::min(position, count); ++i)
    if (Item(i)->groupIndex_ > value) throw EMenuError(msg::GroupIndexTooLow);
  for (int i = std::max(position, 0); i < count; ++i)
    if (Item(i)->groupIndex_ < value) Item(i)->groupIndex_ = value;
}

void TMenuItem::TurnSiblingsOff() {
  if (!parent_) return;
  for (int i = 0; i < parent_->Count(); ++i) {
    TMenuItem* sibling = parent_->Item(i);
    if (sibling != this && sibling->radioItem_ && sibling->groupIndex_ == groupIndex_) sibling->SetChecked(false);
  }
}

// ---- TMenuItem: changes and the native menu ----

void TMenuItem::MenuChanged(bool rebuild) {
  if (parent_)
    parent_->SubItemChanged(rebuild);
  else if (menu_)
    menu_->MenuChanged(nullptr, rebuild);
}

void TMenuItem::SubItemChanged(bool rebuild) {
  if (rebuild && (handle_ || mergedWith_)) RebuildHandle();
  if (parent_)
    parent_->SubItemChanged(false);
  else if (menu_)
    menu_->ItemChanged();
}

HMENU TMenuItem::Handle() {
  if (!handle_) {
    handle_ = CreateMenu();
    if (!handle_) throw EMenuError(msg::OutOfSystemResources);
    PopulateMenu();
  }
  return handle_;
}

HMENU TMenuItem::ParentNativeMenu() const {
  return parent_->mergedWith_ ? parent_->mergedWith_->Handle() : parent_->Handle();
}

void TMenuItem::RebuildHandle() {
  if (HasState(stDestroying)) return;
  if (IsLoading()) {
    streamedRebuild_ = true;
    return;
  }
  if (mergedWith_) {
    mergedWith_->RebuildHandle();
    return;
  }
  if (handle_) {
    while (GetMenuItemCount(handle_) > 0)
      if (!RemoveMenu(handle_, 0, MF_BYPOSITION)) break;
    if (!parent_ && menu_ && menu_->InheritsFrom(TMainMenu::StaticClassInfo())) {
      // The bar is made again when the form asks for it (FM_MENUCHANGED).
      DestroyMenu(handle_);
      handle_ = nullptr;
    } else {
      PopulateMenu();
    }
  }
  MenuChanged(false);
}

void TMenuItem::PopulateMenu() {
  const bool mainMenuBar = !parent_ && menu_ && menu_->InheritsFrom(TMainMenu::StaticClassInfo());
  if (mainMenuBar) {
    InternalRethinkHotkeys(false);
    InternalRethinkLines(false);
  }
  const HMENU menu = handle_;
  WalkGroupOrder(this, merged_, [&](TMenuItem* item) {
    if (item->visible_) item->AppendTo(menu, !mainMenuBar);
    return false;
  });
}

void TMenuItem::AppendTo(HMENU menu, bool showShortCut) {
  const bool submenu = Count() > 0;
  std::string text = caption_;
  if (showShortCut && !submenu && shortCut_ != 0) text += "\t" + ShortCutToText(shortCut_);
  if (PlatformMajorVersion() >= 4) {
    UINT type = IsLine() ? MFT_SEPARATOR : MFT_STRING;
    if (radioItem_) type |= MFT_RADIOCHECK;
    if (break_ == mbBreak) type |= MFT_MENUBREAK;
    if (break_ == mbBarBreak) type |= MFT_MENUBARBREAK;
    UINT state = 0;
    if (checked_) state |= MFS_CHECKED;
    if (!enabled_) state |= MFS_GRAYED;
    if (default_) state |= MFS_DEFAULT;
    MENUITEMINFOA info{};
    info.cbSize = kMenuItemInfoSize;
    info.fMask = kMenuItemInfoMask;
    info.fType = type;
    info.fState = state;
    info.wID = command_;
    info.hSubMenu = submenu ? Handle() : nullptr;
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    InsertMenuItemA(menu, static_cast<UINT>(-1), TRUE, &info);
    return;
  }
  UINT flags = MF_BYPOSITION;
  if (IsLine()) flags |= MF_SEPARATOR;
  if (break_ == mbBreak) flags |= MF_MENUBREAK;
  if (break_ == mbBarBreak) flags |= MF_MENUBARBREAK;
  if (checked_) flags |= MF_CHECKED;
  if (!enabled_) flags |= MF_DISABLED | MF_GRAYED;
  if (submenu)
    InsertMenuA(menu, static_cast<UINT>(-1), flags | MF_POPUP, reinterpret_cast<UINT_PTR>(Handle()), caption_.c_str());
  else
    InsertMenuA(menu, static_cast<UINT>(-1), flags, command_, text.c_str());
}

bool TMenuItem::RethinkHotkeys() {
  const bool changed = InternalRethinkHotkeys(true);
  if (changed) RebuildHandle();
  return changed;
}

bool TMenuItem::RethinkLines() {
  const bool changed = InternalRethinkLines(true);
  if (changed) RebuildHandle();
  return changed;
}

bool TMenuItem::InternalRethinkHotkeys(bool force) {
  if (!force && (!IsAutoHotkeys() || HasState(stDesigning))) return false;
  const bool dbcs = DoubleByteSystem();

  // Accelerators that are unique keep their character; a repeated one loses
  // its mark. Those and the children without one queue up, each at the front.
  std::string pool(kHotkeyPool);
  std::vector<HotkeyEntry> queue;
  for (int i = 0; i < Count(); ++i) {
    TMenuItem* child = Item(i);
    if (!child->visible_ || child->caption_.empty() || child->IsLine()) continue;
    const std::string accelerator = AcceleratorOf(child->caption_);
    if (accelerator.empty()) {
      queue.insert(queue.begin(), {child, child->caption_});
      continue;
    }
    if (accelerator.size() != 1) continue;
    const char upper = UpperAscii(accelerator[0]);
    if (kHotkeyPool.find(upper) == std::string_view::npos) continue;
    if (const std::size_t at = pool.find(upper); at != std::string::npos) {
      pool.erase(at, 1);
      continue;
    }
    queue.insert(queue.begin(), {child, StripAccelerator(child->caption_, dbcs)});
  }

  // Passes over the queue from its last entry to its first, each starting
  // from the same pool; the entries left open go to the end of the queue, so
  // that the next pass serves them first. The pass that serves the most wins.
  HotkeyPass best;
  HotkeyPass last;
  std::size_t bestDone = 0;
  bool haveBest = false;
  for (std::size_t passNo = 0; passNo < queue.size(); ++passNo) {
    HotkeyPass pass{{}, {}, pool};
    std::vector<TMenuItem*> openItems;
    for (std::size_t i = queue.size(); i-- > 0;) {
      HotkeyEntry entry = queue[i];
      const std::size_t pos = FirstUsableChar(entry.caption, pass.pool);
      if (pos == std::string::npos) {
        openItems.push_back(entry.item);
        pass.open.push_back(std::move(entry));
        continue;
      }
      const char accelerator = UpperAscii(entry.caption[pos]);
      pass.pool.erase(pass.pool.find(accelerator), 1);
      if (dbcs)
        entry.caption = WithBracketAccelerator(std::move(entry.caption), pos, accelerator);
      else
        entry.caption.insert(pos, 1, '&');
      pass.done.push_back(std::move(entry));
    }
    const bool finished = pass.open.empty();
    if (pass.done.size() > bestDone) {
      bestDone = pass.done.size();
      best = pass;
      haveBest = true;
    }
    last = std::move(pass);
    if (finished) break;
    std::stable_partition(queue.begin(), queue.end(), [&openItems](const HotkeyEntry& e) {
      return std::find(openItems.begin(), openItems.end(), e.item) == openItems.end();
    });
  }
  if (!haveBest) best = std::move(last);

  std::vector<HotkeyEntry> entries = std::move(best.done);
  entries.insert(entries.end(), best.open.begin(), best.open.end());
  if (dbcs) {
    // What the passes could not serve gets the pool's last characters in the
    // bracket form.
    for (HotkeyEntry& entry : entries) {
      if (best.pool.empty()) break;
      if (AcceleratorPosition(entry.caption) != std::string::npos) continue;
      std::string marked = WithBracketAccelerator(entry.caption, std::string::npos, best.pool.back());
      if (marked != entry.caption) {
        entry.caption = std::move(marked);
        best.pool.pop_back();
      }
    }
  }
  for (HotkeyEntry& entry : entries) entry.item->caption_ = std::move(entry.caption);
  return !entries.empty();
}

bool TMenuItem::InternalRethinkLines(bool force) {
  if (!force && (!IsAutoLineReduction() || HasState(stDesigning))) return false;
  const int count = Count();
  bool changed = false;
  // Hides the separators from one end up to the first visible entry; where
  // that entry stands (the far end when there is none).
  auto hideOuterLines = [&](int from, int end, int step) {
    for (int k = from; k != end; k += step) {
      TMenuItem* item = Item(k);
      if (item->IsLine())
        changed |= ChangeField(item->visible_, false);
      else if (item->visible_)
        return k;
    }
    return end;
  };
  int i = hideOuterLines(0, count, 1);
  // Of separators in a row only the last counts; it shows once a visible
  // entry follows it.
  TMenuItem* pending = nullptr;
  for (; i < count; ++i) {
    TMenuItem* item = Item(i);
    if (item->IsLine()) {
      if (pending) changed |= ChangeField(pending->visible_, false);
      pending = item;
    } else if (item->visible_) {
      if (pending) changed |= ChangeField(pending->visible_, true);
      pending = nullptr;
    }
  }
  hideOuterLines(count - 1, -1, -1);
  return changed;
}

void TMenuItem::MergeWith(TMenuItem* item) {
  if (merged_ == item || item == this) return;
  if (merged_) merged_->mergedWith_ = nullptr;
  if (item && item->mergedWith_) {
    TMenuItem* previousHost = item->mergedWith_;
    previousHost->merged_ = nullptr;
    item->mergedWith_ = nullptr;
    previousHost->RebuildHandle();
  }
  merged_ = item;
  if (item) item->mergedWith_ = this;
  RebuildHandle();
}

// ---- TMenuItem: streaming ----

void TMenuItem::DeclareCustomProperties(TFiler* filer) {
  Inherited::DeclareCustomProperties(filer);
  if (!filer) return;
  filer->DefineCustomProperty("ShortCutText",
                              [this](TReader& reader) { SetShortCut(TextToShortCut(reader.ReadTextValue())); });
}

void TMenuItem::SetStreamParent(TComponent* parent) {
  if (parent_) parent_->Remove(this);
  if (IsInstanceOf(parent, TMenu::StaticClassInfo())) {
    if (TMenuItem* root = static_cast<TMenu*>(parent)->Items()) root->Add(this);
  } else if (IsInstanceOf(parent, TMenuItem::StaticClassInfo())) {
    static_cast<TMenuItem*>(parent)->Add(this);
  }
}

TComponent* TMenuItem::StreamParentOf() const {
  if (parent_ && !parent_->parent_ && parent_->menu_) return parent_->menu_;
  return parent_;
}

void TMenuItem::PlaceChildAt(TComponent& child, int position) {
  if (!IsInstanceOf(&child, TMenuItem::StaticClassInfo())) return;
  auto& item = static_cast<TMenuItem&>(child);
  if (item.parent_ == this) item.SetMenuIndex(position);
}

void TMenuItem::AfterLoad() {
  TComponent::AfterLoad();
  if (streamedRebuild_) {
    streamedRebuild_ = false;
    RebuildHandle();
  }
}

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
  return FindInTree(items_, items_->merged_, [command](const TMenuItem& item) { return item.Command() == command; });
}

TMenuItem* TMenu::FindItemByHandle(HMENU menu) const {
  if (!items_ || !menu) return nullptr;
  return FindInTree(items_, items_->merged_, [menu](const TMenuItem& item) { return item.handle_ == menu; });
}

TMenuItem* TMenu::FindItemByShortCut(TShortCut shortCut) const {
  if (!items_ || shortCut == 0) return nullptr;
  return FindInTree(items_, items_->merged_, [shortCut](const TMenuItem& item) { return item.ShortCut() == shortCut; });
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
  DispatchSlot slot(item);
  item->Click();
  // The header's click may have freed it.
  if (TMenuItem* opened = slot.Item()) {
    const bool hotkeys = opened->InternalRethinkHotkeys(false);
    const bool lines = opened->InternalRethinkLines(false);
    if (hotkeys || lines) opened->RebuildHandle();
  }
  return true;
}

LRESULT TMenu::ProcessMenuChar(UINT ch, UINT flags, HMENU menu) {
  (void)flags;
  if (!menu) return 0;
  const int count = GetMenuItemCount(menu);

  struct Entry {
    TMenuItem* item = nullptr;
    UINT flags = 0;
  };
  std::vector<Entry> entries(static_cast<std::size_t>(std::max(count, 0)));
  int highlighted = -1;
  for (int pos = 0; pos < count; ++pos) {
    const UINT state = GetMenuState(menu, static_cast<UINT>(pos), MF_BYPOSITION);
    if (state == static_cast<UINT>(-1)) continue;
    Entry& entry = entries[static_cast<std::size_t>(pos)];
    // A submenu entry keeps its flags in the low byte; the high byte is the
    // submenu's entry count.
    entry.flags = (state & MF_POPUP) ? (state & 0xFF) : state;
    if (entry.flags & MF_HILITE) highlighted = pos;
    // Separators are never chosen by a character, not even "-".
    if (!(entry.flags & MF_POPUP) && (entry.flags & MF_SEPARATOR)) continue;
    TMenuItem* item = nullptr;
    if (entry.flags & MF_POPUP) {
      item = FindItemByHandle(GetSubMenu(menu, pos));
    } else {
      const UINT id = GetMenuItemID(menu, pos);
      if (id != static_cast<UINT>(-1) && id <= 0xFFFF) item = FindItemByCommand(static_cast<std::uint16_t>(id));
    }
    if (item && !item->IsLine()) entry.item = item;
  }

  // One pass with a matching rule: execute a single enabled match, select
  // among several (the one after the highlighted entry first), close the menu
  // for a disabled match that no enabled one follows.
  auto pass = [&](auto&& matches, bool disabledClosesAtOnce) -> LRESULT {
    int first = -1;
    int afterHighlight = -1;
    bool several = false;
    bool disabledFirst = false;
    for (int pos = 0; pos < count; ++pos) {
      const Entry& entry = entries[static_cast<std::size_t>(pos)];
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
      if (afterHighlight < 0 && highlighted >= 0 && pos > highlighted) afterHighlight = pos;
    }
    if (first >= 0) {
      if (!several) return MAKELRESULT(first, MNC_EXECUTE);
      return MAKELRESULT(afterHighlight >= 0 ? afterHighlight : first, MNC_SELECT);
    }
    return disabledFirst ? MAKELRESULT(0, MNC_CLOSE) : -1;
  };

  LRESULT answer = pass([ch](const TMenuItem& item) { return IsAccelerator(ch, item.Caption()); }, false);
  if (answer != -1) return answer;
  answer = pass(
      [ch](const TMenuItem& item) {
        const std::string& caption = item.Caption();
        return AcceleratorPosition(caption) == std::string::npos && !caption.empty() &&
               CharMatches(ch, std::string_view(caption).substr(0, CharLengthAt(caption, 0)));
      },
      true);
  return answer != -1 ? answer : 0;
}

bool TMenu::IsShortCut(UINT msg, WPARAM key, LPARAM keyData) {
  (void)msg;
  TShortCut shortCut = static_cast<TShortCut>(key & 0xFF);
  if (GetKeyState(VK_SHIFT) < 0) shortCut |= scShift;
  if (GetKeyState(VK_CONTROL) < 0) shortCut |= scCtrl;
  if (keyData & 0x20000000) shortCut |= scAlt;
  TMenuItem* item = FindItemByShortCut(shortCut);
  if (!item) return false;

  DispatchSlot slot(item);
  // From the outermost ancestor down to the item, each level enabled and
  // clicked; a click that frees the item or takes its shortcut away sends the
  // search out again, and the dispatch goes on at the next level.
  for (std::size_t level = 0;; ++level) {
    TMenuItem* current = slot.Item();
    if (!current) break;
    std::vector<TMenuItem*> chain;
    for (TMenuItem* p = current; p; p = p->parent_) chain.push_back(p);
    if (level >= chain.size()) break;
    TMenuItem* node = chain[chain.size() - 1 - level];
    if (!node->Enabled()) break;
    try {
      node->Click();
    } catch (...) {
      HandleUncaughtException(this);
      break;
    }
    current = slot.Item();
    if (!current || current->ShortCut() != shortCut) {
      TMenuItem* again = FindItemByShortCut(shortCut);
      if (!again) break;
      slot.SetItem(again);
    }
  }
  return slot.Item() != nullptr;
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
  if (HasState(stLoading) || HasState(stDestroying)) return;
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

TMenuAutoFlag TMainMenu::AutoHotkeys() const {
  return Items() && Items()->AutoHotkeys() == maManual ? mafManual : mafAutomatic;
}

void TMainMenu::SetAutoHotkeys(TMenuAutoFlag value) {
  if (Items()) Items()->SetAutoHotkeys(value == mafManual ? maManual : maAutomatic);
}

TMenuAutoFlag TMainMenu::AutoLineReduction() const {
  return Items() && Items()->AutoLineReduction() == maManual ? mafManual : mafAutomatic;
}

void TMainMenu::SetAutoLineReduction(TMenuAutoFlag value) {
  if (Items()) Items()->SetAutoLineReduction(value == mafManual ? maManual : maAutomatic);
}

void TMainMenu::Merge(TMainMenu* menu) {
  if (Items()) Items()->MergeWith(menu && menu != this ? menu->Items() : nullptr);
}

void TMainMenu::Unmerge(TMainMenu* menu) {
  if (Items() && menu && Items()->MergedItem() == menu->Items()) Items()->MergeWith(nullptr);
}

void TMainMenu::MenuChanged(TMenuItem* source, bool rebuild) {
  if (HasState(stLoading) || HasState(stDestroying)) return;
  if (HWND window = WindowHandle()) {
    const bool changed = UpdateImage();
    if (!source) SendMessageA(window, FM_MENUCHANGED, 0, 0);
    if (changed) DrawMenuBar(window);
  }
  TMenu::MenuChanged(source, rebuild);
}

void TMainMenu::ItemChanged() {
  if (HasState(stLoading) || HasState(stDestroying)) return;
  MenuChanged(nullptr, false);
  if (HWND window = WindowHandle()) SendMessageA(window, FM_MENUCHANGED, 0, 0);
}

void TMainMenu::WindowAttached() { UpdateImage(); }

bool TMainMenu::UpdateImage() {
  // Each entry: its text, "$" when disabled, "@" when it starts a column, "#"
  // when grey, then ";". An entry starts only while 5 bytes are left, and its
  // text is cut so that the 4 marks after it always fit.
  constexpr int kImageSize = 512;
  std::array<char, kImageSize> buffer{};
  int used = 0;
  const HMENU menu = Handle();
  const int count = menu ? GetMenuItemCount(menu) : 0;
  for (int pos = 0; pos < count; ++pos) {
    const int room = kImageSize - used;
    if (room < 5) break;
    int length = GetMenuStringA(menu, static_cast<UINT>(pos), buffer.data() + used, room - 4, MF_BYPOSITION);
    length = std::clamp(length, 0, room - 5);
    used += length;
    const UINT state = GetMenuState(menu, static_cast<UINT>(pos), MF_BYPOSITION);
    const UINT flags = state == static_cast<UINT>(-1) ? 0 : (state & MF_POPUP) ? (state & 0xFF) : state;
    if (flags & MF_DISABLED) buffer[static_cast<std::size_t>(used++)] = '$';
    if (flags & MF_MENUBREAK) buffer[static_cast<std::size_t>(used++)] = '@';
    if (flags & MF_GRAYED) buffer[static_cast<std::size_t>(used++)] = '#';
    buffer[static_cast<std::size_t>(used++)] = ';';
  }
  std::string image(buffer.data(), static_cast<std::size_t>(used));
  if (hasImage_ && image == image_) return false;
  image_ = std::move(image);
  hasImage_ = true;
  return true;
}

// ---- Registration ------------------------------------------------------------------------

void RegisterMenuClasses() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterStreamClasses({&TMainMenu::StaticClassInfo(), &TMenuItem::StaticClassInfo()}); });
}

}  // namespace tw
