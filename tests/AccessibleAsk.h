// Asking a window what a screen reader hears, through the platform's
// accessibility interface: the same questions in-process and from another
// process. Header only: the end-to-end tests link none of the framework.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <memory>
#include <string>

namespace tw::test {

struct TReleaser {
  void operator()(IUnknown* object) const { object->Release(); }
};
using TAccessiblePtr = std::unique_ptr<IAccessible, TReleaser>;

// The object of the window's client area, or none.
inline TAccessiblePtr AccessibleOf(HWND window) {
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object))))
    return nullptr;
  return TAccessiblePtr(object);
}

inline VARIANT Child(LONG id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

// The text in UTF-8; the string is freed.
inline std::string TakeUtf8(BSTR text) {
  if (!text) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  SysFreeString(text);
  out.resize(out.empty() ? 0 : out.size() - 1);
  return out;
}

// What one element says of itself; a question that fails leaves its answer
// empty (or 0).
struct THeard {
  std::string name, value, description, action, shortcut;
  LONG role = 0;
  LONG state = 0;
};

inline THeard Hear(IAccessible* object, LONG child = CHILDID_SELF) {
  THeard h;
  const auto text = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*getter)(VARIANT, BSTR*)) {
    BSTR answer = nullptr;
    return SUCCEEDED((object->*getter)(Child(child), &answer)) ? TakeUtf8(answer) : std::string();
  };
  const auto number = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*getter)(VARIANT, VARIANT*)) {
    VARIANT answer;
    VariantInit(&answer);
    return (object->*getter)(Child(child), &answer) == S_OK && answer.vt == VT_I4 ? answer.lVal : 0;
  };
  h.name = text(&IAccessible::get_accName);
  h.value = text(&IAccessible::get_accValue);
  h.description = text(&IAccessible::get_accDescription);
  h.action = text(&IAccessible::get_accDefaultAction);
  h.shortcut = text(&IAccessible::get_accKeyboardShortcut);
  h.role = number(&IAccessible::get_accRole);
  h.state = number(&IAccessible::get_accState);
  return h;
}

}  // namespace tw::test
