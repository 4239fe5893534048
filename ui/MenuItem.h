// The menu item: one entry of a menu, and the submenu of its children. Items
// form a tree under a menu's root item; each item that has children makes the
// native menu that shows them on demand and keeps it in step with changes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/ClassInfo.h"
#include "core/Component.h"
#include "core/TypeInfo.h"
#include "ui/ShortCuts.h"

namespace tw {

class TList;
class TMenu;

using THelpContext = std::int32_t;
using TImageIndex = std::int32_t;

enum TMenuBreak : std::uint8_t { mbNone, mbBreak, mbBarBreak };
// An item's automatic accelerators and separator tidying: on, off, or as its parent.
enum TMenuItemAutoFlag : std::uint8_t { maAutomatic, maManual, maParent };

TW_ENUMERATION(TMenuBreak, "mbNone", "mbBreak", "mbBarBreak")
TW_ENUMERATION(TMenuItemAutoFlag, "maAutomatic", "maManual", "maParent")

class TMenuItem : public TComponent {
  TW_PUBLISHED_CLASS(TMenuItem, TComponent)

 public:
  // Takes the lowest free command id.
  explicit TMenuItem(TComponent* owner);
  // Leaves any shortcut dispatch, its parent and a merge, frees its children
  // (the first first), destroys its native menu and gives its command id back.
  ~TMenuItem() override;

  // ---- Published properties ----

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string value);
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool value);
  std::uint8_t GroupIndex() const { return groupIndex_; }
  // EMenuError (group index too low) when an item before this one in its
  // parent has a higher group index; the items after it are raised to it.
  void SetGroupIndex(std::uint8_t value);
  TMenuBreak Break() const { return break_; }
  void SetBreak(TMenuBreak value);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut value);
  TMenuItemAutoFlag AutoHotkeys() const { return autoHotkeys_; }
  void SetAutoHotkeys(TMenuItemAutoFlag value);
  TMenuItemAutoFlag AutoLineReduction() const { return autoLineReduction_; }
  void SetAutoLineReduction(TMenuItemAutoFlag value);
  THelpContext HelpContext() const { return helpContext_; }
  void SetHelpContext(THelpContext value) { helpContext_ = value; }
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string value) { hint_ = std::move(value); }
  TImageIndex ImageIndex() const { return imageIndex_; }
  void SetImageIndex(TImageIndex value);
  const TNotifyEvent& OnClick() const { return onClick_; }
  void SetOnClick(TNotifyEvent value) { onClick_ = value; }

  // A caption of exactly "-".
  bool IsLine() const { return caption_ == "-"; }
  // The effective flags: maParent follows the parent, on without one.
  bool IsAutoHotkeys() const;
  bool IsAutoLineReduction() const;

  // ---- The tree ----

  // EMenuError "menu inserted twice" for an item that has a parent (or
  // would hold itself); EListError for an index outside 0 ... Count.
  void Insert(int index, TMenuItem* item);
  void Add(TMenuItem* item) { Insert(Count(), item); }
  // EMenuError "menu index out of range" outside 0 ... Count-1.
  void Delete(int index);
  // EMenuError "submenu not in menu" when the item is not a child.
  void Remove(TMenuItem* item);
  int Count() const;
  // EMenuError "menu index out of range" when there are no children,
  // EListError for an index outside the child list.
  TMenuItem* Item(int index) const;
  int IndexOf(const TMenuItem* item) const;
  // -1 without parent. Setting clamps to the parent's range and moves the item.
  int MenuIndex() const;
  void SetMenuIndex(int value);
  TMenuItem* Parent() const { return parent_; }
  // The menu whose tree holds this item, or none.
  TMenu* ParentMenu() const;

  // Runs OnClick when enabled; nothing when disabled.
  virtual void Click();

  // ---- Native menu ----

  // The native menu of this item's children, created and populated on first
  // request; EMenuError "out of system resources" when it cannot be made.
  HMENU Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  std::uint16_t Command() const { return command_; }

  // Forced automatic accelerators / separator tidying of the children; the
  // native menu is rebuilt when anything changed. True when it did.
  bool RethinkHotkeys();
  bool RethinkLines();

  // Menu merging: the children of the given item are shown among this item's
  // children in group order (a merged group replaces the same group here).
  // None ends the merge.
  void MergeWith(TMenuItem* item);
  TMenuItem* MergedItem() const { return merged_; }
  TMenuItem* MergedWith() const { return mergedWith_; }

  // The children together with those of the merged item (none when there is
  // no merge), in group order: repeatedly the list whose head has the smaller
  // group index (the merged one on a tie) gives every item up to that group,
  // and both lists skip past it, so a merged group replaces this item's group
  // of that index. An exhausted list never wins, which keeps items of group
  // 255 in the walk. Stops when visit answers true; answers whether it did.
  template <class F>
  bool WalkChildrenInGroupOrder(F&& visit) const;

  // ---- Streaming ----

  // "ShortCutText": a shortcut read as text, never written.
  void DeclareCustomProperties(TFiler* filer) override;
  // An item read inside a menu joins the menu's root item; one read inside
  // another item joins that item.
  void SetStreamParent(TComponent* parent) override;
  TComponent* StreamParentOf() const override;
  bool HasStreamParent() const override { return true; }
  void PlaceChildAt(TComponent& child, int position) override;
  // Runs a rebuild that was put off while the item was being read.
  void AfterLoad() override;

 private:
  friend class TMenu;
  friend class TMainMenu;

  bool IsLoading() const { return HasState(stLoading) || HasState(stReading); }
  // The steps of the destructor: out of the parent, whatever its change step
  // raises; the children freed, the first first; out of both sides of a merge.
  void LeaveParent();
  void FreeChildren();
  void EndMerges();
  // Ends this item's merge into another; answers that host, whose native menu
  // no longer shows this item's children (none when there was no merge).
  TMenuItem* LeaveHost();
  // The item's change step: its parent's sub-item step, or for a menu's root
  // item the menu's change step.
  void MenuChanged(bool rebuild);
  // A property whose change rebuilds the native menu: stored when it differs,
  // then the change step with rebuild.
  template <class T>
  void ChangeAndRebuild(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    MenuChanged(true);
  }
  void SubItemChanged(bool rebuild);
  void RebuildHandle();
  // The root item of a main menu: its native menu is the menu bar.
  bool IsMainMenuBar() const;
  void PopulateMenu();
  void AppendTo(HMENU menu, bool showShortCut);
  // Every existing child before the position must have a group index of at
  // most value; the children from it on are raised to it.
  void VerifyGroupIndex(int position, std::uint8_t value);
  void TurnSiblingsOff();
  bool InternalRethinkHotkeys(bool force);
  bool InternalRethinkLines(bool force);
  // The children's automatic accelerators, then their separator tidying, both
  // without force (each skipped when its flag is off or in design mode); true
  // when either changed anything.
  bool TidyChildren();
  // Rebuilds the native menu after a change; answers changed.
  bool RebuildWhen(bool changed);
  // maAutomatic on, maManual off, maParent the parent's (on without one).
  bool EffectiveFlag(TMenuItemAutoFlag flag, bool (TMenuItem::*parentFlag)() const) const;
  // The native menu that shows this item's entry: the parent's, or the one
  // the parent is merged into.
  HMENU ParentNativeMenu() const;

  std::string caption_;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  bool default_ = false;
  bool radioItem_ = false;
  std::uint8_t groupIndex_ = 0;
  TMenuBreak break_ = mbNone;
  TShortCut shortCut_ = 0;
  TMenuItemAutoFlag autoHotkeys_ = maParent;
  TMenuItemAutoFlag autoLineReduction_ = maParent;
  THelpContext helpContext_ = 0;
  std::string hint_;
  TImageIndex imageIndex_ = -1;
  TNotifyEvent onClick_;

  TMenuItem* parent_ = nullptr;
  std::unique_ptr<TList> items_;  // exists while there are children
  HMENU handle_ = nullptr;
  std::uint16_t command_ = 0;
  TMenu* menu_ = nullptr;  // set on a menu's root item only
  TMenuItem* merged_ = nullptr;
  TMenuItem* mergedWith_ = nullptr;
  bool streamedRebuild_ = false;
};

template <class F>
bool TMenuItem::WalkChildrenInGroupOrder(F&& visit) const {
  const TMenuItem* host = this;
  const TMenuItem* merged = merged_;
  const int hostCount = host->Count();
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

}  // namespace tw
