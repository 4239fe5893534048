#include "tests/core/StandIns.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <utility>

#include "core/ClassRegistry.h"
#include "core/PropertyAccess.h"
#include "runtime/Exceptions.h"

namespace tw::standin {

namespace {

// The named values that the stand-ins' forms and defaults use.
constexpr TIdentMapEntry kColors[] = {
    {clBlack, "clBlack"},           {clRed, "clRed"},         {clWhite, "clWhite"}, {clWindow, "clWindow"},
    {clWindowText, "clWindowText"}, {clBtnFace, "clBtnFace"},
};

constexpr TIdentMapEntry kCharsets[] = {
    {ANSI_CHARSET, "ANSI_CHARSET"},
    {DEFAULT_CHARSET, "DEFAULT_CHARSET"},
    {SHIFTJIS_CHARSET, "SHIFTJIS_CHARSET"},
};

std::optional<std::int32_t> ColorToInt(std::string_view ident) { return IdentToValue(ident, kColors); }
std::optional<std::string_view> IntToColor(std::int32_t value) { return ValueToIdent(value, kColors); }
std::optional<std::int32_t> CharsetToInt(std::string_view ident) { return IdentToValue(ident, kCharsets); }
std::optional<std::string_view> IntToCharset(std::int32_t value) { return ValueToIdent(value, kCharsets); }

std::vector<std::string>* afterLoadLog = nullptr;

void NoteAfterLoad(const TComponent& c) {
  if (afterLoadLog) afterLoadLog->push_back(c.Name());
}

TForm::MenuObserver& MenuObserverSlot() {
  static TForm::MenuObserver observer;
  return observer;
}

// Searched from the end: owners free their components last first, so a child
// that leaves is almost always its parent's last one.
template <class T>
void Erase(std::vector<T*>& list, const T* item) {
  auto it = std::find(list.rbegin(), list.rend(), item);
  if (it != list.rend()) list.erase(std::next(it).base());
}

// Property groups that several classes publish alike.
template <class P>
void PublishBounds(P& p) {
  using Self = typename P::Class;
  TW_PROPERTY(Left, &Self::Left, &Self::SetLeft);
  TW_PROPERTY(Top, &Self::Top, &Self::SetTop);
  TW_PROPERTY(Width, &Self::Width, &Self::SetWidth);
  TW_PROPERTY(Height, &Self::Height, &Self::SetHeight);
}

template <class P>
void PublishLooks(P& p) {
  using Self = typename P::Class;
  p.template Property<&Self::Color, &Self::SetColor>("Color", &ColorTypeInfo());
  TW_PROPERTY(Enabled, &Self::Enabled, &Self::SetEnabled);
  TW_PROPERTY(Font, &Self::Font, &Self::SetFont);
  TW_PROPERTY(ParentColor, &Self::ParentColor, &Self::SetParentColor);
  TW_PROPERTY(ParentFont, &Self::ParentFont, &Self::SetParentFont);
  TW_PROPERTY(ParentShowHint, &Self::ParentShowHint, &Self::SetParentShowHint);
  TW_PROPERTY(Hint, &Self::Hint, &Self::SetHint);
  TW_PROPERTY(ShowHint, &Self::ShowHint, &Self::SetShowHint);
  TW_PROPERTY(Visible, &Self::Visible, &Self::SetVisible);
  TW_PROPERTY(OnClick, &Self::OnClick, &Self::SetOnClick);
}

template <class P>
void PublishTabbing(P& p) {
  using Self = typename P::Class;
  TW_PROPERTY(TabOrder, &Self::TabOrder, &Self::SetTabOrder);
  TW_PROPERTY(TabStop, &Self::TabStop, &Self::SetTabStop);
}

}  // namespace

const TTypeInfo& ColorTypeInfo() {
  static const TTypeInfo info{.kind = TPropKind::pkInteger,
                              .name = "TColor",
                              .width = owSLong,
                              .minValue = std::numeric_limits<std::int32_t>::min(),
                              .maxValue = std::numeric_limits<std::int32_t>::max()};
  return info;
}

const TTypeInfo& FontCharsetTypeInfo() {
  static const TTypeInfo info{
      .kind = TPropKind::pkInteger, .name = "TFontCharset", .width = owUByte, .minValue = 0, .maxValue = 255};
  return info;
}

void RegisterStandInIdentMaps() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterIdentMap(ColorTypeInfo(), ColorToInt, IntToColor);
    RegisterIdentMap(FontCharsetTypeInfo(), CharsetToInt, IntToCharset);
  });
}

void RegisterStandInClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterComponentClasses<TForm, TForm1, TForm2, TGroupBox, TLabel, TEdit, TComboBox, TButton, TMainMenu,
                             TMenuItem>();
  });
}

std::vector<std::string>* RecordAfterLoadInto(std::vector<std::string>* log) {
  return std::exchange(afterLoadLog, log);
}

// ---- TFont -------------------------------------------------------------------------

void TFont::Publish(Publisher& p) {
  p.Property<&Self::Charset, &Self::SetCharset>("Charset", &FontCharsetTypeInfo());
  p.Property<&Self::Color, &Self::SetColor>("Color", &ColorTypeInfo());
  TW_PROPERTY(Height, &Self::Height, &Self::SetHeight);
  TW_PROPERTY(Name, &Self::Name, &Self::SetName);
  TW_PROPERTY(Pitch, &Self::Pitch, &Self::SetPitch);
  TW_PROPERTY(Style, &Self::Style, &Self::SetStyle);
}

void TFont::AssignFrom(const TPersistent* source) {
  if (!IsInstanceOf(source, StaticClassInfo())) {
    TPersistent::AssignFrom(source);
    return;
  }
  const auto& other = static_cast<const TFont&>(*source);
  charset_ = other.charset_;
  color_ = other.color_;
  height_ = other.height_;
  name_ = other.name_;
  pitch_ = other.pitch_;
  style_ = other.style_;
}

bool TFont::SameAs(const TFont& other) const {
  return charset_ == other.charset_ && color_ == other.color_ && height_ == other.height_ && name_ == other.name_ &&
         pitch_ == other.pitch_ && style_ == other.style_;
}

void TFont::SetName(std::string value) {
  if (value.empty()) return;
  if (value.size() > 31) value.resize(31);
  name_ = std::move(value);
}

// ---- TControl ------------------------------------------------------------------------

void TControl::Publish(Publisher&) {}

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {}

TControl::~TControl() {
  if (parent_) Erase(parent_->controls_, static_cast<const TControl*>(this));
  parent_ = nullptr;
}

void TControl::SetFont(TFont* value) {
  font_->AssignFrom(value);
  parentFont_ = false;
}

void TControl::Click() { onClick_(this); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  for (const TControl* p = parent; p; p = p->parent_)
    if (p == this) throw EInvalidOperation(msg::ControlParentSetToSelf);
  if (parent_) Erase(parent_->controls_, static_cast<const TControl*>(this));
  parent_ = nullptr;
  if (parent) {
    parent->controls_.push_back(this);
    parent_ = parent;
  }
}

void TControl::SetStreamParent(TComponent* parent) {
  SetParent(IsInstanceOf(parent, TWinControl::StaticClassInfo()) ? static_cast<TWinControl*>(parent) : nullptr);
}

TComponent* TControl::StreamParentOf() const { return parent_; }

void TControl::AfterLoad() {
  NoteAfterLoad(*this);
  TComponent::AfterLoad();
}

// ---- TWinControl ----------------------------------------------------------------------

void TWinControl::Publish(Publisher&) {}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // Children that another owner keeps outlive this control without a parent.
  for (TControl* child : controls_) child->parent_ = nullptr;
  controls_.clear();
}

void TWinControl::PlaceChildAt(TComponent& child, int position) {
  auto it = std::find(controls_.begin(), controls_.end(), &child);
  if (it == controls_.end()) return;
  TControl* control = *it;
  controls_.erase(it);
  const int last = static_cast<int>(controls_.size());
  controls_.insert(controls_.begin() + std::clamp(position, 0, last), control);
}

// ---- Standard controls ------------------------------------------------------------------

void TGroupBox::Publish(Publisher& p) {
  PublishBounds(p);
  PublishLooks(p);
  PublishTabbing(p);
  TW_PROPERTY(Caption, &Self::Text, &Self::SetText);
}

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) {
  SetWidth(185);
  SetHeight(105);
}

void TLabel::Publish(Publisher& p) {
  PublishBounds(p);
  PublishLooks(p);
  TW_PROPERTY(Caption, &Self::Text, &Self::SetText);
  TW_PROPERTY(FocusControl, &Self::FocusControl, &Self::SetFocusControl);
}

TLabel::TLabel(TComponent* owner) : TControl(owner) {
  SetWidth(65);
  SetHeight(17);
}

TLabel::~TLabel() {
  if (focusControl_) focusControl_->CancelFreeNotice(*this);
}

void TLabel::SetFocusControl(TWinControl* value) {
  if (focusControl_) focusControl_->CancelFreeNotice(*this);
  focusControl_ = value;
  if (value) value->RequestFreeNotice(*this);
}

void TLabel::ComponentNotice(TComponent* c, TOwnershipEvent event) {
  TControl::ComponentNotice(c, event);
  if (event == oeRemove && c == focusControl_) focusControl_ = nullptr;
}

void TEdit::Publish(Publisher& p) {
  PublishBounds(p);
  PublishLooks(p);
  PublishTabbing(p);
  TW_PROPERTY(Text, &Self::Text, &Self::SetText);
  TW_PROPERTY(ReadOnly, &Self::ReadOnly, &Self::SetReadOnly);
  TW_PROPERTY(MaxLength, &Self::MaxLength, &Self::SetMaxLength);
}

TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
  SetWidth(121);
  SetHeight(25);
  SetTabStop(true);
  SetColor(clWindow);
  SetParentColor(false);
}

void TComboBox::Publish(Publisher& p) {
  PublishBounds(p);
  PublishLooks(p);
  PublishTabbing(p);
  TW_PROPERTY(Text, &Self::Text, &Self::SetText);
  TW_PROPERTY(Items, &Self::Items, &Self::SetItems);
  TW_PROPERTY(ItemHeight, &Self::ItemHeight, &Self::SetItemHeight);
  TW_PROPERTY(DropDownCount, &Self::DropDownCount, &Self::SetDropDownCount);
}

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner), items_(std::make_unique<TStringList>()) {
  SetWidth(145);
  SetHeight(25);
  SetTabStop(true);
  SetParentColor(false);
}

void TComboBox::SetItems(TStringList* value) { items_->AssignFrom(value); }

void TButton::Publish(Publisher& p) {
  PublishBounds(p);
  PublishLooks(p);
  PublishTabbing(p);
  TW_PROPERTY(Caption, &Self::Text, &Self::SetText);
  TW_PROPERTY(ModalResult, &Self::ModalResult, &Self::SetModalResult);
  TW_PROPERTY(Default, &Self::Default, &Self::SetDefault);
  TW_PROPERTY(Cancel, &Self::Cancel, &Self::SetCancel);
}

TButton::TButton(TComponent* owner) : TWinControl(owner) {
  SetWidth(75);
  SetHeight(25);
  SetTabStop(true);
}

// ---- Menus ------------------------------------------------------------------------------

void TMenuItem::Publish(Publisher& p) {
  TW_PROPERTY(Caption, &Self::Caption, &Self::SetCaption);
  TW_PROPERTY(Checked, &Self::Checked, &Self::SetChecked);
  TW_PROPERTY(Enabled, &Self::Enabled, &Self::SetEnabled);
  TW_PROPERTY(Hint, &Self::Hint, &Self::SetHint);
  TW_PROPERTY(Visible, &Self::Visible, &Self::SetVisible);
  TW_PROPERTY(OnClick, &Self::OnClick, &Self::SetOnClick);
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  Detach();
  for (TMenuItem* item : items_) item->parentItem_ = nullptr;
  items_.clear();
}

void TMenuItem::Click() { onClick_(this); }

void TMenuItem::Detach() {
  if (parentItem_) Erase(parentItem_->items_, static_cast<const TMenuItem*>(this));
  if (menu_) Erase(menu_->items_, static_cast<const TMenuItem*>(this));
  parentItem_ = nullptr;
  menu_ = nullptr;
}

void TMenuItem::Add(TMenuItem& item) {
  for (const TMenuItem* p = this; p; p = p->parentItem_)
    if (p == &item) throw EInvalidOperation(msg::ControlParentSetToSelf);
  item.Detach();
  items_.push_back(&item);
  item.parentItem_ = this;
}

void TMenuItem::SetStreamParent(TComponent* parent) {
  if (IsInstanceOf(parent, TMenuItem::StaticClassInfo()))
    static_cast<TMenuItem*>(parent)->Add(*this);
  else if (IsInstanceOf(parent, TMainMenu::StaticClassInfo()))
    static_cast<TMainMenu*>(parent)->Add(*this);
}

TComponent* TMenuItem::StreamParentOf() const {
  if (parentItem_) return parentItem_;
  return menu_;
}

void TMenuItem::AfterLoad() {
  NoteAfterLoad(*this);
  TComponent::AfterLoad();
}

void TMainMenu::Publish(Publisher& p) { TW_PROPERTY(AutoMerge, &Self::AutoMerge, &Self::SetAutoMerge); }

TMainMenu::TMainMenu(TComponent* owner) : TComponent(owner) {}

TMainMenu::~TMainMenu() {
  for (TMenuItem* item : items_) item->menu_ = nullptr;
  items_.clear();
}

void TMainMenu::Add(TMenuItem& item) {
  item.Detach();
  items_.push_back(&item);
  item.menu_ = this;
}

void TMainMenu::AfterLoad() {
  NoteAfterLoad(*this);
  TComponent::AfterLoad();
}

// ---- Forms -------------------------------------------------------------------------------

void TForm::Publish(Publisher& p) {
  TW_PROPERTY(Left, &Self::Left, &Self::SetLeft);
  TW_PROPERTY(Top, &Self::Top, &Self::SetTop);
  TW_PROPERTY(Width, &Self::Width, &Self::SetWidth);
  TW_PROPERTY(Height, &Self::Height, &Self::SetHeight);
  TW_PROPERTY(ClientWidth, &Self::ClientWidth, &Self::SetClientWidth);
  TW_PROPERTY(ClientHeight, &Self::ClientHeight, &Self::SetClientHeight);
  TW_PROPERTY(Caption, &Self::Text, &Self::SetText);
  TW_PROPERTY(BorderStyle, &Self::BorderStyle, &Self::SetBorderStyle);
  TW_PROPERTY(BorderIcons, &Self::BorderIcons, &Self::SetBorderIcons);
  TW_PROPERTY(Position, &Self::Position, &Self::SetPosition);
  p.Property<&Self::Color, &Self::SetColor>("Color", &ColorTypeInfo());
  TW_PROPERTY(Font, &Self::Font, &Self::SetFont);
  TW_PROPERTY(Menu, &Self::Menu, &Self::SetMenu);
  TW_PROPERTY(OldCreateOrder, &Self::OldCreateOrder, &Self::SetOldCreateOrder);
  TW_PROPERTY(PixelsPerInch, &Self::PixelsPerInch, &Self::SetPixelsPerInch);
  TW_PROPERTY(TextHeight, &Self::TextHeight, &Self::SetTextHeight);
  TW_PROPERTY(Hint, &Self::Hint, &Self::SetHint);
  TW_PROPERTY(ShowHint, &Self::ShowHint, &Self::SetShowHint);
  TW_PROPERTY(Visible, &Self::Visible, &Self::SetVisible);
}

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  SetWidth(320);
  SetHeight(240);
  SetVisible(false);
  SetColor(clBtnFace);
  SetParentColor(false);
  SetParentFont(false);
}

void TForm::SetMenu(TMainMenu* value) {
  if (const MenuObserver& observer = MenuObserverSlot()) observer(*this, value);
  menu_ = value;
}

void TForm::ComponentNotice(TComponent* c, TOwnershipEvent event) {
  TWinControl::ComponentNotice(c, event);
  if (event == oeRemove && c == menu_) menu_ = nullptr;
}

TForm::MenuObserver TForm::ObserveMenuChanges(MenuObserver observer) {
  return std::exchange(MenuObserverSlot(), std::move(observer));
}

// ---- The program's windows -------------------------------------------------------------------

void TForm1::Publish(Publisher& p) { TW_FORM1_MEMBERS(TW_PUBLISH_WINDOW_FIELD, TW_PUBLISH_WINDOW_HANDLER) }

void TForm2::Publish(Publisher& p) { TW_FORM2_MEMBERS(TW_PUBLISH_WINDOW_FIELD, TW_PUBLISH_WINDOW_HANDLER) }

}  // namespace tw::standin
