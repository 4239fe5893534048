#include "ui/MenuItem.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "core/Lists.h"
#include "core/Reader.h"
#include "runtime/Exceptions.h"
#include "runtime/Fields.h"
#include "runtime/MessageIds.h"
#include "ui/MenuDispatch.h"
#include "ui/MenuHotkeys.h"
#include "ui/Menus.h"
#include "ui/NativeMenu.h"
#include "ui/SystemInfo.h"

namespace tw {

namespace {

// ---- Command ids -------------------------------------------------------------------

// Every item of the process has its own 16-bit command id: the lowest free one
// is taken, and given back when the item goes, except 0, which the first item
// ever made keeps for good.
class CommandIdPool {
  static constexpr std::size_t kIds = std::size_t{std::numeric_limits<std::uint16_t>::max()} + 1;
  static constexpr std::size_t kWordBits = 32;

 public:
  std::uint16_t Take() {
    for (std::size_t w = 0; w < bits_.size(); ++w) {
      if (bits_[w] == ~std::uint32_t{0}) continue;
      const int bit = std::countr_one(bits_[w]);
      bits_[w] |= std::uint32_t{1} << bit;
      return static_cast<std::uint16_t>(w * kWordBits + static_cast<std::size_t>(bit));
    }
    throw EMenuError(msg::OutOfSystemResources);
  }
  void Release(std::uint16_t id) {
    if (id != 0) bits_[id / kWordBits] &= ~(std::uint32_t{1} << (id % kWordBits));
  }

 private:
  std::array<std::uint32_t, kIds / kWordBits> bits_{};
};

CommandIdPool& CommandIds() {
  static CommandIdPool pool;
  return pool;
}

}  // namespace

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
  ForgetDispatchedItem(this);
  LeaveParent();
  FreeChildren();
  EndMerges();
  if (handle_) DestroyNativeMenu(std::exchange(handle_, nullptr));
  if (menu_ && menu_->items_ == this) menu_->items_ = nullptr;
  menu_ = nullptr;
  CommandIds().Release(command_);
}

void TMenuItem::LeaveParent() {
  if (!parent_) return;
  // A destructor passes nothing on: whatever the parent's change step raises
  // (an OnChange handler, say), this item still leaves the tree.
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

void TMenuItem::FreeChildren() {
  while (items_ && items_->Count() > 0) {
    auto* child = static_cast<TMenuItem*>(items_->ItemAt(0));
    FreeIfPresent(child);
    // The child takes itself out of the list; should it not have, the loop
    // must still move on.
    if (items_ && items_->Count() > 0 && items_->ItemAt(0) == child) items_->DeleteAt(0);
  }
  items_.reset();
}

void TMenuItem::EndMerges() {
  if (TMenuItem* host = LeaveHost()) {
    // The host shows its own children again; its failure to do so must not
    // keep this item from going.
    try {
      host->RebuildHandle();
    } catch (...) {
    }
  }
  if (merged_) {
    merged_->mergedWith_ = nullptr;
    merged_ = nullptr;
  }
}

void TMenuItem::SetCaption(std::string value) { ChangeAndRebuild(caption_, std::move(value)); }

void TMenuItem::SetChecked(bool value) {
  if (!ChangeField(checked_, value)) return;
  if (parent_ && !IsLoading()) CheckNativeEntry(ParentNativeMenu(), command_, value);
  if (value && radioItem_) TurnSiblingsOff();
}

void TMenuItem::SetEnabled(bool value) {
  if (!ChangeField(enabled_, value)) return;
  // A submenu entry has no command id on the NT family, and an entry of a
  // merged item lives in another item's native menu: both are rebuilt.
  if ((NtPlatform() && Count() > 0) || (parent_ && parent_->mergedWith_)) {
    MenuChanged(true);
  } else if (parent_ && !IsLoading()) {
    EnableNativeEntry(parent_->Handle(), command_, value);
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

bool TMenuItem::IsAutoHotkeys() const { return EffectiveFlag(autoHotkeys_, &TMenuItem::IsAutoHotkeys); }

bool TMenuItem::IsAutoLineReduction() const {
  return EffectiveFlag(autoLineReduction_, &TMenuItem::IsAutoLineReduction);
}

bool TMenuItem::EffectiveFlag(TMenuItemAutoFlag flag, bool (TMenuItem::*parentFlag)() const) const {
  switch (flag) {
    case maAutomatic: return true;
    case maManual: return false;
    default: return parent_ ? (parent_->*parentFlag)() : true;
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
    handle_ = CreateNativeMenu();
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
    if (IsMainMenuBar()) {
      // The bar is made again when the form asks for it (FM_MENUCHANGED).
      DestroyNativeMenu(std::exchange(handle_, nullptr));
    } else {
      ClearNativeMenu(handle_);
      PopulateMenu();
    }
  }
  MenuChanged(false);
}

void TMenuItem::PopulateMenu() {
  const bool mainMenuBar = IsMainMenuBar();
  if (mainMenuBar) TidyChildren();
  const HMENU menu = handle_;
  WalkChildrenInGroupOrder([&](TMenuItem* item) {
    if (item->visible_) item->AppendTo(menu, !mainMenuBar);
    return false;
  });
}

bool TMenuItem::IsMainMenuBar() const { return !parent_ && menu_ && menu_->InheritsFrom(TMainMenu::StaticClassInfo()); }

void TMenuItem::AppendTo(HMENU menu, bool showShortCut) {
  TNativeMenuEntry entry;
  entry.text = caption_;
  if (showShortCut && Count() == 0 && shortCut_ != 0) entry.text += "\t" + ShortCutToText(shortCut_);
  entry.command = command_;
  entry.separator = IsLine();
  entry.radioCheck = radioItem_;
  entry.menuBreak = break_ == mbBreak;
  entry.barBreak = break_ == mbBarBreak;
  entry.checked = checked_;
  entry.enabled = enabled_;
  entry.isDefault = default_;
  if (Count() > 0) entry.submenu = Handle();
  AppendNativeEntry(menu, entry);
}

bool TMenuItem::RethinkHotkeys() { return RebuildWhen(InternalRethinkHotkeys(true)); }

bool TMenuItem::RethinkLines() { return RebuildWhen(InternalRethinkLines(true)); }

bool TMenuItem::RebuildWhen(bool changed) {
  if (changed) RebuildHandle();
  return changed;
}

bool TMenuItem::TidyChildren() {
  const bool hotkeys = InternalRethinkHotkeys(false);
  const bool lines = InternalRethinkLines(false);
  return hotkeys || lines;
}

bool TMenuItem::InternalRethinkHotkeys(bool force) {
  if (!force && (!IsAutoHotkeys() || HasState(stDesigning))) return false;
  std::vector<THotkeyCaption> captions;
  for (int i = 0; i < Count(); ++i) {
    const TMenuItem* child = Item(i);
    if (child->visible_ && !child->caption_.empty() && !child->IsLine()) captions.push_back({i, child->caption_});
  }
  std::vector<THotkeyCaption> assigned = AssignHotkeys(captions, DoubleByteSystem());
  for (THotkeyCaption& entry : assigned) Item(entry.index)->caption_ = std::move(entry.caption);
  return !assigned.empty();
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
  if (item)
    if (TMenuItem* previousHost = item->LeaveHost()) previousHost->RebuildHandle();
  merged_ = item;
  if (item) item->mergedWith_ = this;
  RebuildHandle();
}

TMenuItem* TMenuItem::LeaveHost() {
  TMenuItem* host = std::exchange(mergedWith_, nullptr);
  if (host) host->merged_ = nullptr;
  return host;
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

}  // namespace tw
