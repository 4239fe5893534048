// Test stand-ins for the window classes that the shipped form resources name:
// the form, its controls, the main menu and its items, and the two window
// classes of the program. They carry the published fields, methods and
// properties that the resources set, keep their parent and children so that a
// loaded tree can be checked, and note their after-load steps; they draw
// nothing and own no platform windows. The form streaming of the component core
// is tested and fuzzed through them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/WindowMembers.h"
#include "core/ClassInfo.h"
#include "core/Component.h"
#include "core/StringList.h"
#include "core/TypeInfo.h"

namespace tw::standin {

// ---- Colours and character sets --------------------------------------------

// A 32-bit colour: 0x00BBGGRR, or 0x80000000 + n for platform system colour n.
using TColor = std::int32_t;
inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clWhite = 0x00FFFFFF;
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005);
inline constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);

using TFontCharset = std::uint8_t;
inline constexpr TFontCharset ANSI_CHARSET = 0;
inline constexpr TFontCharset DEFAULT_CHARSET = 1;
inline constexpr TFontCharset SHIFTJIS_CHARSET = 128;

// The integer types of their own that colour and character-set properties use,
// so that the form reader finds the identifier maps registered for exactly them.
const TTypeInfo& ColorTypeInfo();
const TTypeInfo& FontCharsetTypeInfo();

// Registers the identifier maps of both types, once per process.
void RegisterStandInIdentMaps();
// Registers every stand-in component class, so that a stream read without a
// root finds its root class by name; once per process.
void RegisterStandInClasses();

// ---- Enumerations and sets -------------------------------------------------

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };
enum TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : std::uint8_t { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
enum TPosition : std::uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};

}  // namespace tw::standin

namespace tw {

// The records name the types as the program's classes do: without "standin::".
TW_ENUMERATION(standin::TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
TW_ENUMERATION(standin::TFontPitch, "fpDefault", "fpVariable", "fpFixed")
TW_ENUMERATION(standin::TFormBorderStyle, "bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow",
               "bsSizeToolWin")
TW_ENUMERATION(standin::TBorderIcon, "biSystemMenu", "biMinimize", "biMaximize", "biHelp")
TW_ENUMERATION(standin::TPosition, "poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
               "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter")

}  // namespace tw

namespace tw::standin {

// ---- After-load record -----------------------------------------------------

// Where the stand-ins note their names as their after-load steps run; none
// (the start) notes nothing. Returns the previous log.
std::vector<std::string>* RecordAfterLoadInto(std::vector<std::string>* log);

// ---- Font --------------------------------------------------------------------

class TFont : public TPersistent {
  TW_PUBLISHED_CLASS(TFont, TPersistent)

 public:
  // The default font: "MS Sans Serif", 8 points at 96 dots per inch.
  TFont() = default;

  // Copies another font; anything else is the assignment error.
  void AssignFrom(const TPersistent* source) override;
  bool SameAs(const TFont& other) const;

  TFontCharset Charset() const { return charset_; }
  void SetCharset(TFontCharset value) { charset_ = value; }
  TColor Color() const { return color_; }
  void SetColor(TColor value) { color_ = value; }
  std::int32_t Height() const { return height_; }
  void SetHeight(std::int32_t value) { height_ = value; }
  const std::string& Name() const { return name_; }
  // An empty name is ignored; a longer one is cut to 31 bytes.
  void SetName(std::string value);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch value) { pitch_ = value; }
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles value) { style_ = value; }

 private:
  TFontCharset charset_ = DEFAULT_CHARSET;
  TColor color_ = clWindowText;
  std::int32_t height_ = -11;
  std::string name_ = "MS Sans Serif";
  TFontPitch pitch_ = fpDefault;
  TFontStyles style_;
};

// ---- Controls ----------------------------------------------------------------

class TWinControl;

// What every control keeps: bounds, text, font, colour, hint settings, its
// click handler and its parent. The concrete classes publish what they use.
class TControl : public TComponent {
  TW_PUBLISHED_CLASS(TControl, TComponent)

 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  std::int32_t Left() const { return left_; }
  void SetLeft(std::int32_t value) { left_ = value; }
  std::int32_t Top() const { return top_; }
  void SetTop(std::int32_t value) { top_ = value; }
  std::int32_t Width() const { return width_; }
  void SetWidth(std::int32_t value) { width_ = value; }
  std::int32_t Height() const { return height_; }
  void SetHeight(std::int32_t value) { height_ = value; }

  // Caption and Text are one stored text, as a window has one text.
  const std::string& Text() const { return text_; }
  void SetText(std::string value) { text_ = std::move(value); }

  TFont* Font() const { return font_.get(); }
  // Takes over the attributes of the given font; the control's own font stays.
  void SetFont(TFont* value);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value) { parentFont_ = value; }
  TColor Color() const { return color_; }
  void SetColor(TColor value) { color_ = value; }
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value) { parentColor_ = value; }
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string value) { hint_ = std::move(value); }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value) { showHint_ = value; }
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool value) { parentShowHint_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }

  const TNotifyEvent& OnClick() const { return onClick_; }
  void SetOnClick(TNotifyEvent value) { onClick_ = value; }
  // Calls the click handler with this control as sender.
  virtual void Click();

  TWinControl* Parent() const { return parent_; }
  // Removes the control from its old parent and appends it to the new one's
  // children. A control cannot sit inside itself: EInvalidOperation.
  void SetParent(TWinControl* parent);

  // The reader's placement: a windowed control becomes the parent; anything
  // else (a main menu, say) leaves the control without one.
  void SetStreamParent(TComponent* parent) override;
  TComponent* StreamParentOf() const override;
  bool HasStreamParent() const override { return true; }
  void AfterLoad() override;

 private:
  friend class TWinControl;

  std::int32_t left_ = 0;
  std::int32_t top_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::string text_;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  TColor color_ = clWindow;
  bool parentColor_ = true;
  std::string hint_;
  bool showHint_ = false;
  bool parentShowHint_ = true;
  bool visible_ = true;
  bool enabled_ = true;
  TNotifyEvent onClick_;
  TWinControl* parent_ = nullptr;
};

// A control that holds other controls, in insertion order.
class TWinControl : public TControl {
  TW_PUBLISHED_CLASS(TWinControl, TControl)

 public:
  explicit TWinControl(TComponent* owner);
  // The children leave before the child list goes.
  ~TWinControl() override;

  // The stored tab order: recorded as read, not applied.
  std::int32_t TabOrder() const { return tabOrder_; }
  void SetTabOrder(std::int32_t value) { tabOrder_ = value; }
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value) { tabStop_ = value; }

  const std::vector<TControl*>& Controls() const { return controls_; }
  // Moves a child to the position (clamped) among the children.
  void PlaceChildAt(TComponent& child, int position) override;

 private:
  friend class TControl;

  std::int32_t tabOrder_ = -1;
  bool tabStop_ = false;
  std::vector<TControl*> controls_;
};

class TGroupBox : public TWinControl {
  TW_PUBLISHED_CLASS(TGroupBox, TWinControl)

 public:
  explicit TGroupBox(TComponent* owner);
};

class TLabel : public TControl {
  TW_PUBLISHED_CLASS(TLabel, TControl)

 public:
  explicit TLabel(TComponent* owner);
  ~TLabel() override;

  // The field the label names; a weak reference, cleared when the field goes.
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* value);
  void ComponentNotice(TComponent* c, TOwnershipEvent event) override;

 private:
  TWinControl* focusControl_ = nullptr;
};

class TEdit : public TWinControl {
  TW_PUBLISHED_CLASS(TEdit, TWinControl)

 public:
  explicit TEdit(TComponent* owner);

  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  std::int32_t MaxLength() const { return maxLength_; }
  void SetMaxLength(std::int32_t value) { maxLength_ = value; }

 private:
  bool readOnly_ = false;
  std::int32_t maxLength_ = 0;
};

class TComboBox : public TWinControl {
  TW_PUBLISHED_CLASS(TComboBox, TWinControl)

 public:
  explicit TComboBox(TComponent* owner);

  TStringList* Items() const { return items_.get(); }
  // Copies the lines of the given list; the combo box keeps its own.
  void SetItems(TStringList* value);
  std::int32_t ItemHeight() const { return itemHeight_; }
  void SetItemHeight(std::int32_t value) { itemHeight_ = value; }
  std::int32_t DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(std::int32_t value) { dropDownCount_ = value; }

 private:
  std::unique_ptr<TStringList> items_;
  std::int32_t itemHeight_ = 16;
  std::int32_t dropDownCount_ = 8;
};

class TButton : public TWinControl {
  TW_PUBLISHED_CLASS(TButton, TWinControl)

 public:
  explicit TButton(TComponent* owner);

  std::int32_t ModalResult() const { return modalResult_; }
  void SetModalResult(std::int32_t value) { modalResult_ = value; }
  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }

 private:
  std::int32_t modalResult_ = 0;
  bool default_ = false;
  bool cancel_ = false;
};

// ---- Menus ---------------------------------------------------------------------

class TMainMenu;

class TMenuItem : public TComponent {
  TW_PUBLISHED_CLASS(TMenuItem, TComponent)

 public:
  explicit TMenuItem(TComponent* owner);
  // Leaves its parent item or menu; its own items lose their parent.
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string value) { caption_ = std::move(value); }
  bool Checked() const { return checked_; }
  void SetChecked(bool value) { checked_ = value; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string value) { hint_ = std::move(value); }
  const TNotifyEvent& OnClick() const { return onClick_; }
  void SetOnClick(TNotifyEvent value) { onClick_ = value; }
  void Click();

  // Appends an item below this one, taking it from where it was. An item
  // cannot hold itself or one of the items above it (EInvalidOperation).
  void Add(TMenuItem& item);
  const std::vector<TMenuItem*>& Items() const { return items_; }
  // The item above this one, or none for an item of the menu bar.
  TMenuItem* ParentItem() const { return parentItem_; }
  // The menu whose bar holds this item directly, or none.
  TMainMenu* Menu() const { return menu_; }

  // The reader's placement: an item inserts itself into its parent item, or
  // into the menu bar of a main menu.
  void SetStreamParent(TComponent* parent) override;
  TComponent* StreamParentOf() const override;
  bool HasStreamParent() const override { return true; }
  void AfterLoad() override;

 private:
  friend class TMainMenu;

  // Takes this item out of its parent item's or menu's list.
  void Detach();

  std::string caption_;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  std::string hint_;
  TNotifyEvent onClick_;
  std::vector<TMenuItem*> items_;
  TMenuItem* parentItem_ = nullptr;
  TMainMenu* menu_ = nullptr;
};

class TMainMenu : public TComponent {
  TW_PUBLISHED_CLASS(TMainMenu, TComponent)

 public:
  explicit TMainMenu(TComponent* owner);
  ~TMainMenu() override;

  // The items of the menu bar, in insertion order.
  const std::vector<TMenuItem*>& Items() const { return items_; }
  void Add(TMenuItem& item);
  bool AutoMerge() const { return autoMerge_; }
  void SetAutoMerge(bool value) { autoMerge_ = value; }

  void AfterLoad() override;

 private:
  friend class TMenuItem;

  std::vector<TMenuItem*> items_;
  bool autoMerge_ = false;
};

// ---- Forms -----------------------------------------------------------------------

class TForm : public TWinControl {
  TW_PUBLISHED_CLASS(TForm, TWinControl)

 public:
  explicit TForm(TComponent* owner);

  std::int32_t ClientWidth() const { return clientWidth_; }
  void SetClientWidth(std::int32_t value) { clientWidth_ = value; }
  std::int32_t ClientHeight() const { return clientHeight_; }
  void SetClientHeight(std::int32_t value) { clientHeight_ = value; }
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle value) { borderStyle_ = value; }
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons value) { borderIcons_ = value; }
  TPosition Position() const { return position_; }
  void SetPosition(TPosition value) { position_ = value; }
  bool OldCreateOrder() const { return oldCreateOrder_; }
  void SetOldCreateOrder(bool value) { oldCreateOrder_ = value; }
  std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(std::int32_t value) { pixelsPerInch_ = value; }
  std::int32_t TextHeight() const { return textHeight_; }
  void SetTextHeight(std::int32_t value) { textHeight_ = value; }

  TMainMenu* Menu() const { return menu_; }
  // Tells the menu observer (if any) first, then stores the menu.
  void SetMenu(TMainMenu* value);
  // A form drops its menu when the menu goes.
  void ComponentNotice(TComponent* c, TOwnershipEvent event) override;

  // Called by every form's SetMenu before the menu is stored; none: nothing
  // is called. Returns the previous observer.
  using MenuObserver = std::function<void(TForm& form, TMainMenu* menu)>;
  static MenuObserver ObserveMenuChanges(MenuObserver observer);

 private:
  std::int32_t clientWidth_ = 0;
  std::int32_t clientHeight_ = 0;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDesigned;
  bool oldCreateOrder_ = true;
  std::int32_t pixelsPerInch_ = 96;
  std::int32_t textHeight_ = 0;
  TMainMenu* menu_ = nullptr;
};

// A published method call as a window class records it.
struct THandlerCall {
  std::string method;
  TObject* receiver;
  TObject* sender;
};

// The program's windows, with the published fields and handlers of the real
// classes, from the same lists; each handler records its call.
#define TW_STANDIN_HANDLER(Name) \
  void Name(TObject* sender) { calls.push_back({#Name, this, sender}); }

class TForm1 : public TForm {
  TW_PUBLISHED_CLASS(TForm1, TForm)

 public:
  using TForm::TForm;

  TW_FORM1_MEMBERS(TW_DECLARE_WINDOW_FIELD, TW_STANDIN_HANDLER)

  std::vector<THandlerCall> calls;
};

class TForm2 : public TForm {
  TW_PUBLISHED_CLASS(TForm2, TForm)

 public:
  using TForm::TForm;

  TW_FORM2_MEMBERS(TW_DECLARE_WINDOW_FIELD, TW_STANDIN_HANDLER)

  std::vector<THandlerCall> calls;
};

#undef TW_STANDIN_HANDLER

}  // namespace tw::standin
