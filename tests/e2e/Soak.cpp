#include "tests/e2e/Soak.h"

#include <oleacc.h>

#include <array>
#include <cstdlib>
#include <random>
#include <string>

#include "tests/TestSupport.h"

namespace tw::e2e {

namespace {

using namespace std::chrono_literals;

class Soaker {
 public:
  Soaker(Program& program, std::uint32_t seed, std::ostream& log)
      : p_(program), random_(seed), log_(log), invalidOp_(test::Sjis("不正な浮動小数点数演算命令") + ".") {
    comOpened_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  }
  ~Soaker() {
    if (comOpened_) CoUninitialize();
  }
  Soaker(const Soaker&) = delete;
  Soaker& operator=(const Soaker&) = delete;

  SoakTally Run(int actions) {
    for (int i = 0; i < actions; ++i) {
      step_ = i;
      try {
        Act();
        AfterAction();
      } catch (const DriverError& e) {
        if (std::string_view(e.what()).starts_with("action ")) throw;
        Fail(e.what());
      }
      recent_[static_cast<std::size_t>(i) % recent_.size()] = current_;
      if (verbose_) log_ << "soak " << i << ": " << current_ << std::endl;
      ++tally_.actions;
    }
    return tally_;
  }

 private:
  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
  bool Chance(int percent) { return Pick(100) < percent; }
  Field AnyField() { return static_cast<Field>(Pick(kFieldCount)); }

  [[noreturn]] void Fail(const std::string& what) {
    std::string before;
    for (int back = static_cast<int>(recent_.size()); back > 0; --back) {
      if (step_ - back < 0) continue;
      before += "\n  " + std::to_string(step_ - back) + ": " +
                recent_[static_cast<std::size_t>(step_ - back) % recent_.size()];
    }
    char focusClass[64] = "none";
    if (HWND focus = p_.Focus()) GetClassNameA(focus, focusClass, sizeof(focusClass));
    const std::string state = std::string("; focus on ") + focusClass +
                              (p_.FindTopWindow("#32768") ? ", a menu open" : "") +
                              (IsWindowEnabled(p_.MainWindow()) ? "" : ", main window disabled");
    throw DriverError("action " + std::to_string(step_) + " (" + current_ + "): " + what + state +
                      "; before it:" + before);
  }

  // Mostly what a user types into these fields, sometimes any byte at all.
  unsigned char AnyByte() {
    const int kind = Pick(10);
    if (kind < 5) return static_cast<unsigned char>('0' + Pick(10));
    if (kind == 5) return "-$ +"[Pick(4)];
    return static_cast<unsigned char>(Pick(256));
  }

  // Typed characters: a double-byte character is typed whole. A lone lead
  // byte cannot be typed from here, since the posting side keeps it back to
  // join it with the next character posted, to whichever window that goes.
  std::string AnyTyping(int characters) {
    std::string typed;
    for (int i = 0; i < characters; ++i) {
      const unsigned char first = AnyByte();
      typed += static_cast<char>(first);
      if (IsDBCSLeadByte(first)) {
        const int trail = Pick(0xFC - 0x40);  // 0x40..0xFC without 0x7F
        typed += static_cast<char>(trail < 0x3F ? 0x40 + trail : 0x41 + trail);
      }
    }
    return typed;
  }

  std::string AnyText() {
    // Zeros now and then, so that the divisions fault and the one message box
    // the program may show comes up.
    if (Chance(15)) return "0";
    std::string text(static_cast<std::size_t>(Pick(11)), '\0');
    for (char& c : text) c = static_cast<char>(AnyByte());
    // A text set as a whole ends where a zero byte would end it anyway.
    return text.substr(0, text.find('\0'));
  }

  // Bytes as a reader of the log can tell them apart.
  static std::string Printable(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
      if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
        out += static_cast<char>(c);
      } else {
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
    }
    return out + "\"";
  }

  void Act() {
    const int roll = Pick(100);
    if (roll < 25) {
      const Field field = AnyField();
      const std::string typed = AnyTyping(1 + Pick(6));
      current_ = std::string("type ") + Printable(typed) + " into " + FieldName(field);
      for (char c : typed) p_.PostChar(p_.TypingWindow(field), static_cast<unsigned char>(c));
    } else if (roll < 35) {
      if (Chance(20)) {
        // No size in no time: the next Calc divides zero by zero.
        current_ = "set Time and NextSize to 0";
        p_.SetText(Field::Time, "0");
        p_.SetText(Field::NextSize, "0");
        return;
      }
      Field field = AnyField();
      if (field == Field::Calc || field == Field::ReCalc) field = Field::Time;
      const std::string text = AnyText();
      current_ = std::string("set the text of ") + FieldName(field) + " to " + Printable(text);
      p_.SetText(field, text);
    } else if (roll < 55) {
      const Field button = Chance(50) ? Field::Calc : Field::ReCalc;
      current_ = std::string("click ") + FieldName(button);
      p_.Post(p_.Window(button), BM_CLICK, 0, 0);
      ++tally_.clicks;
    } else if (roll < 70) {
      static constexpr UINT kKeys[] = {VK_TAB,    VK_TAB,    VK_TAB,    VK_LEFT, VK_RIGHT, VK_HOME, VK_END,  VK_BACK,
                                       VK_DELETE, VK_RETURN, VK_ESCAPE, VK_F4,   VK_DOWN,  VK_UP,   VK_SPACE};
      const UINT key = kKeys[Pick(static_cast<int>(std::size(kKeys)))];
      current_ = "key " + std::to_string(key) + " on the focus";
      if (HWND focus = p_.Focus()) p_.PostKey(focus, key);
    } else if (roll < 78) {
      const Field field = AnyField();
      current_ = std::string("press the mouse on ") + FieldName(field);
      HWND target = p_.TypingWindow(field);
      p_.Post(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
      p_.Post(target, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    } else if (roll < 90) {
      const Field field = Chance(50) ? Field::NowAudio : Field::NextAudio;
      HWND combo = p_.Window(field);
      if (Chance(70)) {
        const int item = Pick(10) - 1;  // -1 and one past the last item included
        current_ = std::string("choose item ") + std::to_string(item) + " of " + FieldName(field);
        p_.Post(combo, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
        p_.Post(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(combo));
      } else {
        const bool open = Chance(50);
        current_ = std::string(open ? "drop down " : "close up ") + FieldName(field);
        p_.Post(combo, CB_SHOWDROPDOWN, open, 0);
      }
    } else if (roll < 95) {
      AskAsAScreenReader(AnyField());
    } else {
      AboutBox();
    }
  }

  // A screen reader asks about a field whatever the program is doing.
  void AskAsAScreenReader(Field field) {
    current_ = std::string("ask a screen reader's questions about ") + FieldName(field);
    IAccessible* object = nullptr;
    const HRESULT found =
        AccessibleObjectFromWindow(p_.Window(field), OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object));
    if (FAILED(found) || !object) Fail("no accessibility object");
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT named = object->get_accName(self, &name);
    const bool hasName = name && SysStringLen(name) > 0;
    SysFreeString(name);
    VARIANT role;
    VariantInit(&role);
    const HRESULT roled = object->get_accRole(self, &role);
    object->Release();
    if (named != S_OK || !hasName) Fail("the field has no name");
    if (roled != S_OK || role.vt != VT_I4 || role.lVal == ROLE_SYSTEM_CLIENT) Fail("the field has no role");
    ++tally_.questions;
  }

  void AboutBox() {
    current_ = "about box";
    p_.ChooseMenuItem(1, 4, 'h', 'a');
    HWND box = p_.WaitAboutBox();
    ++tally_.aboutBoxes;
    // A few keys inside the box, then one of the ways a user closes it.
    for (int n = Pick(3); n > 0; --n) {
      const UINT key = Chance(50) ? VK_TAB : VK_ESCAPE;
      current_ += key == VK_TAB ? ", Tab" : ", Escape";
      if (HWND focus = p_.Focus()) p_.PostKey(focus, key);
    }
    switch (Pick(4)) {
      case 0:
        current_ += ", closed by the system menu";
        p_.Post(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case 1:
        current_ += ", closed by WM_CLOSE";
        p_.Post(box, WM_CLOSE, 0, 0);
        break;
      case 2:
        current_ += ", closed by Enter";
        if (HWND focus = p_.Focus()) p_.PostKey(focus, VK_RETURN);
        break;
      default:
        current_ += ", closed by OK";
        if (HWND ok = FindWindowExA(box, nullptr, "TButton", nullptr)) p_.Post(ok, BM_CLICK, 0, 0);
        break;
    }
    p_.Sync();
    if (!WaitFor([&] { return !IsWindow(box); }, 5s)) Fail("the about box did not close");
    if (p_.FindTopWindow("TForm2") != nullptr) Fail("a second about box is up");
    if (!IsWindowEnabled(p_.MainWindow())) Fail("the main window stayed disabled");
  }

  void AfterAction() {
    if (!p_.Running()) Fail("the program ended");
    p_.Sync();
    // A click may end in the documented report; nothing else may show a box.
    while (auto box = p_.FindMessageBox()) {
      if (box->caption != "Tarnwick for MPEG4" || box->text != invalidOp_) {
        Fail("unexpected message box \"" + box->caption + "\": \"" + box->text + "\"");
      }
      ++tally_.messageBoxes;
      p_.CloseMessageBox(box->window);
    }
    if (p_.FindTopWindow("TForm2") != nullptr) Fail("an about box is up after the action");
    if (tally_.actions % 100 == 99) log_ << "soak: " << tally_.actions + 1 << " actions" << std::endl;
  }

  Program& p_;
  std::mt19937 random_;
  std::ostream& log_;
  const std::string invalidOp_;
  SoakTally tally_;
  int step_ = 0;
  std::string current_;
  std::array<std::string, 8> recent_;
  const bool verbose_ = std::getenv("TW_SOAK_VERBOSE") != nullptr;
  bool comOpened_ = false;
};

}  // namespace

SoakTally RunSoak(Program& program, int actions, std::uint32_t seed, std::ostream& log) {
  return Soaker(program, seed, log).Run(actions);
}

}  // namespace tw::e2e
