#include "tests/ui/MessageRecorder.h"

#include <cstdio>
#include <map>

#include "ui/Messages.h"

namespace tw::test {

namespace {
TMessageRecorder* activeRecorder = nullptr;

// Messages the platform sends on its own at unpredictable moments.
bool Noisy(std::uint32_t message) {
  switch (message) {
    case WM_GETICON:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_TIMER:
    case WM_PAINT:
    case WM_NCPAINT:
    case WM_ERASEBKGND:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
    case 0x0090:  // the theming notices Wine sends
    case WM_GETOBJECT: return true;
    default: return false;
  }
}

std::string Describe(std::uint32_t message, unsigned flags, std::uintptr_t wParam, std::intptr_t lParam,
                     const std::string& target) {
  char text[160];
  std::snprintf(text, sizeof text, "%-22s %s%s%s w=%08lX l=%08lX %s", MessageName(message).c_str(),
                (flags & kSent) ? "sent " : "", (flags & kPosted) ? "posted " : "", (flags & kParent) ? "parent " : "",
                static_cast<unsigned long>(wParam), static_cast<unsigned long>(lParam), target.c_str());
  return text;
}
}  // namespace

struct TMessageRecorder::ControlWatch : TObject {
  TControl* control;
  std::string name;
  bool isParent;
  TMessageRecorder* recorder;
  TMessageEvent previous;

  void Proc(TMessage& m) {
    unsigned flags = isParent ? kParent : 0;
    flags |= kSent;
    auto* windowed = dynamic_cast<TWinControl*>(control);
    if (windowed && windowed->WindowHandle()) {
      auto& pending = recorder->pendingPosted_;
      for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->hwnd == windowed->WindowHandle() && it->message == m.msg &&
            it->wParam == static_cast<WPARAM>(m.wParam) && it->lParam == static_cast<LPARAM>(m.lParam)) {
          flags = (flags & ~kSent) | kPosted;
          pending.erase(it);
          break;
        }
      }
    }
    if (recorder->Wanted(m.msg)) recorder->Record(m.msg, flags, m.wParam, m.lParam, name);
    if (previous)
      previous(m);
    else
      control->WndProc(m);
  }
};

LRESULT CALLBACK RecorderSentHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && activeRecorder) {
    const auto& cwp = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (const auto* watch = activeRecorder->FindWindow(cwp.hwnd); watch && activeRecorder->Wanted(cwp.message))
      activeRecorder->Record(cwp.message, kSent | (watch->isParent ? kParent : 0), cwp.wParam, cwp.lParam, watch->name);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK RecorderPostedHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE && activeRecorder) {
    const auto& msg = *reinterpret_cast<const MSG*>(lParam);
    if (const auto* watch = activeRecorder->FindWindow(msg.hwnd)) {
      if (activeRecorder->Wanted(msg.message))
        activeRecorder->Record(msg.message, kPosted | (watch->isParent ? kParent : 0), msg.wParam, msg.lParam,
                               watch->name);
    } else if (TWinControl::FromHandle(msg.hwnd)) {
      activeRecorder->pendingPosted_.push_back(msg);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TMessageRecorder::TMessageRecorder() {
  activeRecorder = this;
  sentHook_ = SetWindowsHookExA(WH_CALLWNDPROC, &RecorderSentHook, nullptr, GetCurrentThreadId());
  postedHook_ = SetWindowsHookExA(WH_GETMESSAGE, &RecorderPostedHook, nullptr, GetCurrentThreadId());
}

TMessageRecorder::~TMessageRecorder() {
  if (sentHook_) UnhookWindowsHookEx(sentHook_);
  if (postedHook_) UnhookWindowsHookEx(postedHook_);
  while (!controls_.empty()) Unwatch(*controls_.back()->control);
  if (activeRecorder == this) activeRecorder = nullptr;
}

void TMessageRecorder::Watch(TControl& control, std::string name, bool isParent) {
  auto watch = std::make_unique<ControlWatch>();
  watch->control = &control;
  watch->name = std::move(name);
  watch->isParent = isParent;
  watch->recorder = this;
  watch->previous = control.ControlProc;
  control.ControlProc.Bind(watch.get(), &ControlWatch::Proc);
  controls_.push_back(std::move(watch));
}

void TMessageRecorder::Unwatch(TControl& control) {
  for (auto it = controls_.begin(); it != controls_.end(); ++it) {
    if ((*it)->control != &control) continue;
    control.ControlProc = (*it)->previous;
    controls_.erase(it);
    return;
  }
}

void TMessageRecorder::WatchWindow(HWND window, std::string name, bool isParent) {
  windows_.push_back({window, std::move(name), isParent});
}

const TMessageRecorder::WindowWatch* TMessageRecorder::FindWindow(HWND window) const {
  for (const auto& w : windows_)
    if (w.window == window) return &w;
  return nullptr;
}

bool TMessageRecorder::Wanted(std::uint32_t message) const {
  if (!only_.empty()) return only_.count(message) != 0;
  return !Noisy(message) && !ignored_.count(message);
}

void TMessageRecorder::Record(std::uint32_t message, unsigned flags, std::uintptr_t wParam, std::intptr_t lParam,
                              const std::string& target) {
  log_.push_back({message, flags, wParam, lParam, target});
}

::testing::AssertionResult TMessageRecorder::Check(std::span<const TExpectedMessage> expected) {
  const std::vector<TRecordedMessage> log = std::exchange(log_, {});
  pendingPosted_.clear();
  auto matches = [](const TExpectedMessage& e, const TRecordedMessage& r) {
    const unsigned kinds = kSent | kPosted | kParent;
    if (e.message != r.message || (e.flags & kinds) != (r.flags & kinds)) return false;
    if ((e.flags & kWParam) && ((e.wParam ^ r.wParam) & e.wParamMask) != 0) return false;
    if ((e.flags & kLParam) && ((e.lParam ^ r.lParam) & e.lParamMask) != 0) return false;
    return true;
  };
  std::size_t ei = 0, ri = 0;
  bool ok = true;
  std::vector<std::pair<std::string, std::string>> rows;
  while (ei < expected.size() || ri < log.size()) {
    const TExpectedMessage* e = ei < expected.size() ? &expected[ei] : nullptr;
    const TRecordedMessage* r = ri < log.size() ? &log[ri] : nullptr;
    if (e && r && matches(*e, *r)) {
      rows.emplace_back(Describe(e->message, e->flags, e->wParam, e->lParam, ""),
                        Describe(r->message, r->flags, r->wParam, r->lParam, r->target));
      ++ei, ++ri;
    } else if (e && (e->flags & kOptional)) {
      rows.emplace_back(Describe(e->message, e->flags, e->wParam, e->lParam, "(optional, absent)"), "");
      ++ei;
    } else {
      ok = false;
      rows.emplace_back(e ? Describe(e->message, e->flags, e->wParam, e->lParam, "") : "",
                        r ? Describe(r->message, r->flags, r->wParam, r->lParam, r->target) : "");
      rows.back().first.insert(0, "!! ");
      if (e) ++ei;
      if (r) ++ri;
    }
  }
  if (ok) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  failure << "message sequence differs\n";
  char line[400];
  std::snprintf(line, sizeof line, "%-64s | %s\n", "expected", "recorded");
  failure << line;
  for (const auto& [left, right] : rows) {
    std::snprintf(line, sizeof line, "%-64s | %s\n", left.c_str(), right.c_str());
    failure << line;
  }
  return failure;
}

std::string MessageName(std::uint32_t message) {
  static const std::map<std::uint32_t, const char*> names = {
      {WM_CREATE, "WM_CREATE"},
      {WM_DESTROY, "WM_DESTROY"},
      {WM_SETTEXT, "WM_SETTEXT"},
      {WM_SETFONT, "WM_SETFONT"},
      {WM_KEYDOWN, "WM_KEYDOWN"},
      {WM_KEYUP, "WM_KEYUP"},
      {WM_CHAR, "WM_CHAR"},
      {WM_COMMAND, "WM_COMMAND"},
      {WM_WINDOWPOSCHANGED, "WM_WINDOWPOSCHANGED"},
      {FM_PARENTFONTCHANGED, "FM_PARENTFONTCHANGED"},
      {FM_PARENTCOLORCHANGED, "FM_PARENTCOLORCHANGED"},
      {FM_PARENTSHOWHINTCHANGED, "FM_PARENTSHOWHINTCHANGED"},
      {FM_PARENTCTL3DCHANGED, "FM_PARENTCTL3DCHANGED"},
      {FM_CONTROLLISTCHANGE, "FM_CONTROLLISTCHANGE"},
      {FM_CONTROLCHANGE, "FM_CONTROLCHANGE"},
      {FM_BIDIMODECHANGED, "FM_BIDIMODECHANGED"},
      {FM_SHOWINGCHANGED, "FM_SHOWINGCHANGED"},
      {FM_TEXTCHANGED, "FM_TEXTCHANGED"},
      {FM_FONTCHANGED, "FM_FONTCHANGED"},
      {FM_COLORCHANGED, "FM_COLORCHANGED"},
      {FM_SHOWHINTCHANGED, "FM_SHOWHINTCHANGED"},
      {FM_VISIBLECHANGED, "FM_VISIBLECHANGED"},
      {FM_CHILDKEY, "FM_CHILDKEY"},
      {FM_WANTSPECIALKEY, "FM_WANTSPECIALKEY"},
      {FM_HINTSHOW, "FM_HINTSHOW"},
      {FM_HINTSHOWPAUSE, "FM_HINTSHOWPAUSE"},
      {FN_KEYDOWN, "FN_KEYDOWN"},
      {FN_CHAR, "FN_CHAR"},
      {FN_COMMAND, "FN_COMMAND"},
  };
  if (auto it = names.find(message); it != names.end()) return it->second;
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(message));
  return text;
}

}  // namespace tw::test
