#include "ui/Accessible.h"

#include <windows.h>

#include <oleacc.h>

#include <algorithm>
#include <map>
#include <string_view>

#include "runtime/Exceptions.h"
#include "runtime/Platform.h"
#include "runtime/Text.h"
#include "ui/Accelerators.h"
#include "ui/Messages.h"
#include "ui/WinControl.h"

namespace tw {

namespace {

int liveObjects = 0;
// COM is opened on the first query, not at start-up: a program nobody asks
// pays nothing for it.
bool comOpened = false;
bool comTried = false;

void OpenCom() {
  if (std::exchange(comTried, true)) return;
  comOpened = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

// ---- The rules ----

// The caption as the control draws it.
std::string ShownText(const TControl& control) {
  const std::string text = control.Text();
  return control.AccessibleTraits().captionMarked ? CaptionAsShown(text) : text;
}

// Where the control stands within the window at the top of its chain.
POINT OffsetInRoot(const TControl& control) {
  POINT at{0, 0};
  for (const TControl* c = &control; c->Parent(); c = c->Parent()) {
    at.x += c->Left();
    at.y += c->Top();
  }
  return at;
}

void CollectNamers(const TWinControl& container, const TControl& field, std::vector<const TControl*>& found) {
  for (const TControl* c : container.GraphicChildren())
    if (c->Visible() && c->NamedControl() == &field) found.push_back(c);
  for (const TWinControl* c : container.WindowedChildren()) {
    if (!c->Visible()) continue;
    if (c->NamedControl() == &field) found.push_back(c);
    CollectNamers(*c, field, found);
  }
}

// The visible controls that name the field, in reading order on the screen.
std::vector<const TControl*> NamersOf(const TControl& field) {
  const TControl* root = &field;
  while (root->Parent()) root = root->Parent();
  std::vector<const TControl*> found;
  if (const auto* container = dynamic_cast<const TWinControl*>(root)) CollectNamers(*container, field, found);
  std::stable_sort(found.begin(), found.end(), [](const TControl* a, const TControl* b) {
    const POINT pa = OffsetInRoot(*a);
    const POINT pb = OffsetInRoot(*b);
    return pa.y != pb.y ? pa.y < pb.y : pa.x < pb.x;
  });
  return found;
}

// The controls whose captions speak for the control: its namers for a field,
// else the control itself.
std::vector<const TControl*> Speakers(const TControl& control) {
  if (control.AccessibleTraits().field) return NamersOf(control);
  return {&control};
}

}  // namespace

std::string AccessibleName(const TControl& control) {
  std::vector<std::string> parts;
  for (const TControl* speaker : Speakers(control))
    if (std::string text = ShownText(*speaker); !text.empty()) parts.push_back(std::move(text));
  if (parts.empty()) return {};
  std::string name = parts.front();
  for (std::size_t i = 1; i < parts.size(); ++i) name += (i == 1 ? " (" : ", ") + parts[i];
  if (parts.size() > 1) name += ')';
  return name;
}

std::string AccessibleShortcut(const TControl& control) {
  for (const TControl* speaker : Speakers(control)) {
    if (!speaker->AccessibleTraits().captionMarked) continue;
    std::string key = AcceleratorOf(speaker->Text());
    if (key.empty()) continue;
    for (char& c : key) c = UpperAscii(c);
    return LoadResString(msg::KeyAlt) + key;
  }
  return {};
}

std::vector<TControl*> AccessibleElements(const TWinControl& parent) {
  std::vector<TControl*> shown;
  for (TControl* c : parent.GraphicChildren())
    if (c->Visible()) shown.push_back(c);
  for (TWinControl* c : parent.WindowedChildren())
    if (c->Visible() && c->HandleAllocated()) shown.push_back(c);
  std::stable_sort(shown.begin(), shown.end(), [](const TControl* a, const TControl* b) {
    return a->Top() != b->Top() ? a->Top() < b->Top() : a->Left() < b->Left();
  });
  const auto namesShownSibling = [&](const TControl* c) {
    const TWinControl* named = c->NamedControl();
    return named && named != c && std::find(shown.begin(), shown.end(), named) != shown.end();
  };
  std::vector<TControl*> order;
  order.reserve(shown.size());
  for (TControl* c : shown) {
    if (namesShownSibling(c)) continue;
    for (TControl* namer : shown)
      if (namer->NamedControl() == c && namesShownSibling(namer)) order.push_back(namer);
    order.push_back(c);
  }
  return order;
}

namespace {

// ---- The object ----

class TAccessibleObject;
TAccessibleObject* ObjectFor(TWinControl& control);

// A text for the client in a new string; no text answers S_FALSE.
HRESULT AnswerText(const std::string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  const std::u16string wide = platform::AnsiToWide(text);
  *out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

void SetChildId(VARIANT* out, LONG id) {
  VariantInit(out);
  out->vt = VT_I4;
  out->lVal = id;
}

void SetDispatch(VARIANT* out, IDispatch* object) {
  VariantInit(out);
  out->vt = VT_DISPATCH;
  out->pdispVal = object;
}

class TAccessibleObject final : public IAccessible, public IOleWindow {
 public:
  TAccessibleObject(TWinControl& control, IAccessible* standard) : control_(&control), standard_(standard) {
    ++liveObjects;
  }
  TAccessibleObject(const TAccessibleObject&) = delete;
  TAccessibleObject& operator=(const TAccessibleObject&) = delete;

  IDispatch* Dispatch() { return static_cast<IAccessible*>(this); }

  // The window went: no client reaches the control through this object again.
  void Disconnect() {
    control_ = nullptr;
    if (IAccessible* standard = std::exchange(standard_, nullptr)) standard->Release();
    CoDisconnectObject(static_cast<IAccessible*>(this), 0);
  }

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible)
      *out = static_cast<IAccessible*>(this);
    else if (iid == IID_IOleWindow)
      *out = static_cast<IOleWindow*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // ---- IDispatch: the interface is called directly, never by name ----
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // ---- IOleWindow ----
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    return Answer([&] {
      if (!window) return E_POINTER;
      *window = control_->WindowHandle();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // ---- IAccessible ----
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return Answer([&] { return standard_->get_accParent(parent); });
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    return Answer([&] {
      if (!count) return E_POINTER;
      *count = static_cast<LONG>(AccessibleElements(*control_).size());
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return Answer([&] {
      if (!out) return E_POINTER;
      *out = nullptr;
      TControl* element = nullptr;
      if (HRESULT hr = Resolve(child, element); hr != S_OK || !element) return hr == S_OK ? E_INVALIDARG : hr;
      // A control without a window is a simple element, answered here.
      auto* windowed = dynamic_cast<TWinControl*>(element);
      TAccessibleObject* object = windowed ? ObjectFor(*windowed) : nullptr;
      if (!object) return S_FALSE;
      *out = object->Dispatch();
      (*out)->AddRef();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
    return AskElement(child, &IAccessible::get_accName, out,
                      [&](TControl& element) { return AnswerText(AccessibleName(element), out); });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
    return AskElement(child, &IAccessible::get_accValue, out, [&](TControl& element) {
      return AnswerText(element.AccessibleTraits().field ? element.Text() : std::string(), out);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return AskElement(child, &IAccessible::get_accDescription, out,
                      [&](TControl& element) { return AnswerText(element.Hint(), out); });
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
    return AskElement(child, &IAccessible::get_accRole, out, [&](TControl& element) {
      const std::int32_t role = element.AccessibleTraits().role;
      if (role == 0 && &element == control_) return standard_->get_accRole(Self(), out);
      SetChildId(out, role ? role : ROLE_SYSTEM_STATICTEXT);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    return AskElement(child, &IAccessible::get_accState, out, [&](TControl& element) {
      LONG states = 0;
      if (&element == control_) {
        // The platform reads focus, availability and visibility from the window.
        if (HRESULT hr = standard_->get_accState(Self(), out); FAILED(hr)) return hr;
        if (out->vt == VT_I4) states = out->lVal;
      } else if (!element.Visible()) {
        states |= STATE_SYSTEM_INVISIBLE;
      }
      SetChildId(out, states | static_cast<LONG>(element.AccessibleTraits().states));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
    return AskElement(child, &IAccessible::get_accHelp, out, [&](TControl&) { return AnswerText({}, out); });
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return Answer([&] {
      if (!file || !topic) return E_POINTER;
      *file = nullptr;
      *topic = 0;
      TControl* element = nullptr;
      return FAILED(Resolve(child, element)) ? E_INVALIDARG : S_FALSE;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
    return AskElement(child, &IAccessible::get_accKeyboardShortcut, out,
                      [&](TControl& element) { return AnswerText(AccessibleShortcut(element), out); });
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
    return Answer([&] {
      if (!out) return E_POINTER;
      VariantInit(out);
      // The combo box's edit part has the focus for its combo box.
      TWinControl* focused = nullptr;
      for (HWND w = ::GetFocus(); w && !focused; w = ::GetParent(w)) focused = TWinControl::FromHandle(w);
      if (!focused || !focused->IsWithin(control_)) return S_FALSE;
      if (focused == control_) {
        SetChildId(out, CHILDID_SELF);
        return S_OK;
      }
      return AnswerObject(*focused, out);
    });
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
    return Answer([&] { return standard_->get_accSelection(out); });
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return AskElement(child, &IAccessible::get_accDefaultAction, out, [&](TControl& element) {
      const std::uint16_t action = element.AccessibleTraits().defaultAction;
      return AnswerText(action ? LoadResString(ResId{action}) : std::string(), out);
    });
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    return Answer([&] {
      TControl* element = nullptr;
      if (HRESULT hr = Resolve(child, element); hr != S_OK) return hr;
      return element ? DISP_E_MEMBERNOTFOUND : standard_->accSelect(flags, child);
    });
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    return Answer([&] {
      if (!left || !top || !width || !height) return E_POINTER;
      TControl* element = nullptr;
      if (HRESULT hr = Resolve(child, element); hr != S_OK) return hr;
      if (!element) return standard_->accLocation(left, top, width, height, child);
      if (auto* windowed = dynamic_cast<TWinControl*>(element))
        return AskObject(*windowed,
                         [&](IAccessible& object) { return object.accLocation(left, top, width, height, Self()); });
      const POINT origin = control_->ClientOrigin();
      *left = origin.x + element->Left();
      *top = origin.y + element->Top();
      *width = element->Width();
      *height = element->Height();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* out) override {
    return Answer([&] {
      if (!out) return E_POINTER;
      VariantInit(out);
      TControl* element = nullptr;
      if (HRESULT hr = Resolve(start, element); hr != S_OK) return hr;
      const LONG count = static_cast<LONG>(AccessibleElements(*control_).size());
      LONG target = 0;
      if (!element && (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD))
        target = direction == NAVDIR_FIRSTCHILD ? 1 : count;
      else if (element && (direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS))
        target = start.lVal + (direction == NAVDIR_NEXT ? 1 : -1);
      else if (!element)
        return standard_->accNavigate(direction, start, out);
      else
        return direction >= NAVDIR_UP && direction <= NAVDIR_LASTCHILD ? S_FALSE : E_INVALIDARG;
      if (target < 1 || target > count) return S_FALSE;
      return AnswerElement(target, out);
    });
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override {
    return Answer([&] {
      if (!out) return E_POINTER;
      VariantInit(out);
      HWND window = control_->WindowHandle();
      RECT bounds{};
      POINT point{x, y};
      if (!GetWindowRect(window, &bounds) || !PtInRect(&bounds, point)) return S_FALSE;
      ScreenToClient(window, &point);
      const std::vector<TControl*> elements = AccessibleElements(*control_);
      // Windows lie over what their parent paints.
      for (bool windowed : {true, false}) {
        for (std::size_t i = 0; i < elements.size(); ++i) {
          const RECT r = elements[i]->BoundsRect();
          if ((dynamic_cast<TWinControl*>(elements[i]) != nullptr) == windowed && PtInRect(&r, point))
            return AnswerElement(static_cast<LONG>(i + 1), out);
        }
      }
      SetChildId(out, CHILDID_SELF);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return Answer([&] {
      TControl* element = nullptr;
      if (HRESULT hr = Resolve(child, element); hr != S_OK) return hr;
      if (element) {
        auto* windowed = dynamic_cast<TWinControl*>(element);
        return windowed ? AskObject(*windowed, [&](IAccessible& object) { return object.accDoDefaultAction(Self()); })
                        : DISP_E_MEMBERNOTFOUND;
      }
      if (!control_->AccessibleTraits().defaultAction) return DISP_E_MEMBERNOTFOUND;
      // Posted: whatever the action opens (a modal box) must not hold the reader.
      return PostMessageA(control_->WindowHandle(), FM_DEFAULTACTION, 0, 0) ? S_OK : E_FAIL;
    });
  }
  // Setting a name or a value is not offered (obsolete in the interface).
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~TAccessibleObject() {
    if (standard_) standard_->Release();
    --liveObjects;
  }

  static VARIANT Self() {
    VARIANT self;
    SetChildId(&self, CHILDID_SELF);
    return self;
  }

  // Every method runs here: a disconnected object answers as the platform's
  // own do, and no exception leaves.
  template <class F>
  HRESULT Answer(F&& body) noexcept {
    if (!control_) return RPC_E_DISCONNECTED;
    try {
      return body();
    } catch (...) {
      return E_FAIL;
    }
  }

  // The element a child id names: none for the object itself (CHILDID_SELF).
  HRESULT Resolve(const VARIANT& child, TControl*& element) const {
    element = nullptr;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) return S_OK;
    const std::vector<TControl*> elements = AccessibleElements(*control_);
    if (child.lVal < 1 || static_cast<std::size_t>(child.lVal) > elements.size()) return E_INVALIDARG;
    element = elements[static_cast<std::size_t>(child.lVal) - 1];
    return S_OK;
  }

  template <class F>
  static HRESULT AskObject(TWinControl& control, F&& ask) {
    TAccessibleObject* object = ObjectFor(control);
    return object ? ask(*object) : E_FAIL;
  }

  // A question about the object itself or one of its elements: a windowed
  // element's own object answers for it.
  template <class Out, class F>
  HRESULT AskElement(const VARIANT& child, HRESULT (STDMETHODCALLTYPE IAccessible::*method)(VARIANT, Out*), Out* out,
                     F&& answer) {
    return Answer([&] {
      if (!out) return E_POINTER;
      TControl* element = nullptr;
      if (HRESULT hr = Resolve(child, element); hr != S_OK) return hr;
      if (!element) return answer(*static_cast<TControl*>(control_));
      if (auto* windowed = dynamic_cast<TWinControl*>(element))
        return AskObject(*windowed, [&](IAccessible& object) { return (object.*method)(Self(), out); });
      return answer(*element);
    });
  }

  // The element at a child id as the client wants it: a windowed one as its
  // own object, a simple one as the id.
  HRESULT AnswerElement(LONG id, VARIANT* out) {
    const std::vector<TControl*> elements = AccessibleElements(*control_);
    auto* windowed = dynamic_cast<TWinControl*>(elements[static_cast<std::size_t>(id) - 1]);
    if (windowed) return AnswerObject(*windowed, out);
    SetChildId(out, id);
    return S_OK;
  }

  // The control's own object, handed to the client.
  static HRESULT AnswerObject(TWinControl& control, VARIANT* out) {
    TAccessibleObject* object = ObjectFor(control);
    if (!object) return E_FAIL;
    object->AddRef();
    SetDispatch(out, object->Dispatch());
    return S_OK;
  }

  TWinControl* control_;
  IAccessible* standard_;
  LONG references_ = 1;
};

// The objects of the windows that have been asked, one per control.
std::map<TWinControl*, TAccessibleObject*>& Objects() {
  static std::map<TWinControl*, TAccessibleObject*> objects;
  return objects;
}

TAccessibleObject* ObjectFor(TWinControl& control) {
  auto& objects = Objects();
  if (auto found = objects.find(&control); found != objects.end()) return found->second;
  HWND window = control.WindowHandle();
  if (!window) return nullptr;
  IAccessible* standard = nullptr;
  if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard))) ||
      !standard)
    return nullptr;
  auto* object = new TAccessibleObject(control, standard);
  objects.emplace(&control, object);
  return object;
}

// ---- Events ----

void RaiseNameChange(TControl& element) {
  if (auto* windowed = dynamic_cast<TWinControl*>(&element)) {
    if (HWND window = windowed->WindowHandle())
      NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
    return;
  }
  TWinControl* parent = element.Parent();
  if (!parent || !parent->WindowHandle()) return;
  const std::vector<TControl*> elements = AccessibleElements(*parent);
  const auto at = std::find(elements.begin(), elements.end(), &element);
  if (at != elements.end())
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, parent->WindowHandle(), OBJID_CLIENT,
                   static_cast<LONG>(at - elements.begin() + 1));
}

}  // namespace

bool AnswerAccessibleQuery(TWinControl& control, TMessage& query) {
  // Only the client area's object is ours; the frame, the menus and other
  // interfaces' roots are the platform's. The id is the low 32 bits.
  if (static_cast<std::int32_t>(static_cast<std::uint32_t>(query.lParam)) != OBJID_CLIENT) return false;
  try {
    OpenCom();
    TAccessibleObject* object = ObjectFor(control);
    if (!object) return false;
    const LRESULT result = LresultFromObject(IID_IAccessible, query.wParam, object->Dispatch());
    if (FAILED(static_cast<HRESULT>(result))) return false;
    query.result = result;
    return true;
  } catch (...) {
    // A screen reader's question is never the user's problem.
    return false;
  }
}

void TellTextChanged(TControl& control) {
  try {
    if (control.AccessibleTraits().field) {
      auto* windowed = dynamic_cast<TWinControl*>(&control);
      if (HWND window = windowed ? windowed->WindowHandle() : nullptr)
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
      return;
    }
    RaiseNameChange(control);
    if (TWinControl* named = control.NamedControl()) RaiseNameChange(*named);
  } catch (...) {
    // An event nobody may be listening for never fails the change itself.
  }
}

void TellNamingChanged(TControl& label, TWinControl* previous) {
  try {
    RaiseNameChange(label);
    if (previous) RaiseNameChange(*previous);
    if (TWinControl* named = label.NamedControl()) RaiseNameChange(*named);
  } catch (...) {
  }
}

void ReleaseAccessibleObject(TWinControl& control) {
  auto& objects = Objects();
  const auto found = objects.find(&control);
  if (found == objects.end()) return;
  TAccessibleObject* object = found->second;
  objects.erase(found);
  object->Disconnect();
  object->Release();
}

void FinishAccessibility() {
  while (!Objects().empty()) ReleaseAccessibleObject(*Objects().begin()->first);
  if (comOpened) CoUninitialize();
  comOpened = false;
  comTried = false;
}

int LiveAccessibleObjects() { return liveObjects; }

}  // namespace tw
