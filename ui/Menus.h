// Menus: a main menu component owns a tree of menu items. The tree becomes
// native menus on demand, follows property changes, and maps the platform's
// menu events (a chosen command, a submenu about to open, a typed menu
// character, a shortcut key) back to items, whose click runs OnClick.
//
// The form attaches a main menu to its window (SetWindowHandle, then SetMenu
// with Handle()), and answers FM_MENUCHANGED by attaching it again: the bar's
// native menu is re-created after a change that needs it.
//
// The menu item is in MenuItem.h, the shortcut texts in ShortCuts.h, the
// automatic accelerators in MenuHotkeys.h, the items in dispatch in
// MenuDispatch.h and the platform's menu calls in NativeMenu.h; this header
// includes what its includers need of them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ClassInfo.h"
#include "core/Component.h"
#include "core/TypeInfo.h"
#include "ui/MenuItem.h"
#include "ui/ShortCuts.h"

namespace tw {

// The same as TMenuItemAutoFlag for a whole main menu, where there is no
// parent to follow. The streamed names are "maAutomatic" and "maManual", as
// for items.
enum TMenuAutoFlag : std::uint8_t { mafAutomatic, mafManual };

// (Sender, Source item or none, Rebuild).
using TMenuChangeEvent = TEvent<TObject*, TMenuItem*, bool>;

template <>
struct EventTypeName<TMenuChangeEvent> {
  static constexpr std::string_view value = "TMenuChangeEvent";
};

TW_ENUMERATION(TMenuAutoFlag, "maAutomatic", "maManual")

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
  // Changes are not passed on meanwhile.
  bool IsLoadingOrDestroying() const { return HasState(stLoading) || HasState(stDestroying); }
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
