// Menus: a main menu component owns a tree of menu items. The tree becomes
// native menus on demand, follows property changes, and maps the platform's
// menu events (a chosen command, a submenu about to open, a typed menu
// character, a shortcut key) back to items, whose click runs OnClick.
//
// The form attaches a main menu to its window (SetWindowHandle, then SetMenu
// with Handle()), and answers FM_MENUCHANGED by attaching it again: the bar's
// native menu is re-created after a change that needs it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/ClassInfo.h"
#include "core/Component.h"
#include "core/TypeInfo.h"

namespace tw {

class TList;
class TMenu;
class TMenuItem;

// A key code in the low byte with scShift, scCtrl and scAlt on top.
using TShortCut = std::uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;

using THelpContext = std::int32_t;
using TImageIndex = std::int32_t;

enum TMenuBreak : std::uint8_t { mbNone, mbBreak, mbBarBreak };
// An item's automatic accelerators and separator tidying: on, off, or as its parent.
enum TMenuItemAutoFlag : std::uint8_t { maAutomatic, maManual, maParent };
// The same for a whole main menu, where there is no parent to follow. The
// streamed names are "maAutomatic" and "maManual", as for items.
enum TMenuAutoFlag : std::uint8_t { mafAutomatic, mafManual };

// (Sender, Source item or none, Rebuild).
using TMenuChangeEvent = TEvent<TObject*, TMenuItem*, bool>;

template <>
struct EventTypeName<TMenuChangeEvent> {
  static constexpr std::string_view value = "TMenuChangeEvent";
};

TW_ENUMERATION(TMenuBreak, "mbNone", "mbBreak", "mbBarBreak")
TW_ENUMERATION(TMenuItemAutoFlag, "maAutomatic", "maManual", "maParent")
TW_ENUMERATION(TMenuAutoFlag, "maAutomatic", "maManual")

// ---- Shortcuts ------------------------------------------------------------------

// "Shift+", "Ctrl+", "Alt+" (in that order) before the key's name; empty when
// the key has no name.
std::string ShortCutToText(TShortCut shortCut);
// Leading modifiers ("Shift+", "^" or "Ctrl+", "Alt+", any letter case), then
// the first key code from 8 up whose name matches the rest; 0 when none does.
TShortCut TextToShortCut(std::string_view text);
// 0 for a key with any bit in 0xFF00.
TShortCut MakeShortCut(WORD key, bool shift, bool ctrl, bool alt);
// The name of a key code alone: the message table's names, digits, letters,
// "F1" ... "F24", else the platform's key name.
std::string KeyNameOf(std::uint8_t key);

// ---- Menu items -------------------------------------------------------------------

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
  void PopulateMenu();
  void AppendTo(HMENU menu, bool showShortCut);
  // Every existing child before the position must have a group index of at
  // most value; the children from it on are raised to it.
  void VerifyGroupIndex(int position, std::uint8_t value);
  void TurnSiblingsOff();
  bool InternalRethinkHotkeys(bool force);
  bool InternalRethinkLines(bool force);
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

// ---- Menus ------------------------------------------------------------------------------

class TMenu : public TComponent {
  TW_PUBLISHED_CLASS(TMenu, TComponent)

 public:
  ~TMenu() override;

  // The root item, whose children are the menu's entries.
  TMenuItem* Items() const { return items_; }
  virtual HMENU Handle();

  // Searches the root's children together with a merged menu's, in group
  // order, each item before its children; first match wins.
  TMenuItem* FindItemByCommand(std::uint16_t command) const;
  TMenuItem* FindItemByHandle(HMENU menu) const;
  // Shortcut 0 never matches.
  TMenuItem* FindItemByShortCut(TShortCut shortCut) const;
  // The item's help context, else its nearest ancestor's; 0 for an unknown item.
  THelpContext HelpContextOf(std::uint16_t command) const;

  // A WM_COMMAND of a menu: clicks the item of that command id; true when
  // there is one.
  bool DispatchCommand(std::uint16_t command);
  // A WM_INITMENUPOPUP: clicks the item whose submenu opens, then tidies its
  // children's accelerators and separators; true when the submenu is ours.
  bool DispatchPopup(HMENU submenu);
  // The answer to WM_MENUCHAR (typed character, flags, the native menu).
  LRESULT ProcessMenuChar(UINT ch, UINT flags, HMENU menu);
  // A WM_KEYDOWN or WM_SYSKEYDOWN: clicks the item of that shortcut, its
  // ancestors first; true when there is one and it still exists afterwards.
  // An exception of a click goes to the application's handler.
  bool IsShortCut(UINT msg, WPARAM key, LPARAM keyData);

  HWND WindowHandle() const { return windowHandle_; }
  // Set by the form that shows this menu (none to detach).
  void SetWindowHandle(HWND window);

  bool OwnerDraw() const { return ownerDraw_; }
  void SetOwnerDraw(bool value);

  TMenuChangeEvent OnChange;

  void AfterLoad() override;
  void PlaceChildAt(TComponent& child, int position) override;

 protected:
  explicit TMenu(TComponent* owner);

  // The change step of the root item: nothing while loading or being
  // destroyed, else OnChange.
  virtual void MenuChanged(TMenuItem* source, bool rebuild);
  // A change below the root item came through.
  virtual void ItemChanged() {}
  virtual void WindowAttached() {}

 private:
  friend class TMenuItem;

  TMenuItem* items_ = nullptr;  // owned as a component
  HWND windowHandle_ = nullptr;
  bool ownerDraw_ = false;
};

class TMainMenu : public TMenu {
  TW_PUBLISHED_CLASS(TMainMenu, TMenu)

 public:
  explicit TMainMenu(TComponent* owner);
  ~TMainMenu() override;

  // They read and write the root item's flags (maParent reads as automatic).
  TMenuAutoFlag AutoHotkeys() const;
  void SetAutoHotkeys(TMenuAutoFlag value);
  TMenuAutoFlag AutoLineReduction() const;
  void SetAutoLineReduction(TMenuAutoFlag value);
  bool AutoMerge() const { return autoMerge_; }
  void SetAutoMerge(bool value) { autoMerge_ = value; }

  // Shows the other menu's entries in this one's bar, by group; none or the
  // menu merged now ends it.
  void Merge(TMainMenu* menu);
  void Unmerge(TMainMenu* menu);

  // The text image of the bar's entries, as last computed.
  const std::string& MenuImage() const { return image_; }

 protected:
  void MenuChanged(TMenuItem* source, bool rebuild) override;
  void ItemChanged() override;
  void WindowAttached() override;

 private:
  // Recomputes the text image; true when it differs from the stored one.
  bool UpdateImage();

  bool autoMerge_ = false;
  std::string image_;
  bool hasImage_ = false;
};

// Registers TMainMenu and TMenuItem (and their ancestors) for streaming; once
// per process.
void RegisterMenuClasses();

}  // namespace tw
