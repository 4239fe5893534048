// The windows read back in wide form, so that what the user sees is checked
// and not the bytes the program holds: run under the Japanese locale and again
// under an English one (LANG=C.UTF-8 for Wine: system code page 1252), where
// only the manifest's code page keeps the texts Japanese. The expected texts
// are the resources' Shift-JIS bytes decoded as code page 932 explicitly, and
// a few written out here.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Mainunit.h"
#include "app/Verunit.h"
#include "graphics/Graphics.h"
#include "tests/TestSupport.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/SystemInfo.h"

namespace tw {
namespace {

using test::Sjis;

// Shift-JIS bytes as the user reads them, independent of any code page the
// process or the system has.
std::wstring From932(std::string_view bytes) {
  const int n =
      MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

std::wstring WideText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The locale Wine runs this process under, from the environment it was given.
bool EnglishLocale() {
  const char* lang = std::getenv("LANG");
  return lang != nullptr && std::string_view(lang).substr(0, 2) != "ja";
}

UINT SystemCodePage() {
  DWORD codePage = 0;
  GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                 reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t));
  return codePage;
}

class LocaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeFramework(); }
};

// ---- The process and its manifest ------------------------------------------------------

TEST_F(LocaleTest, TheProcessRunsInCodePage932WhateverTheSystemsLocale) {
  // Under English the system's code page is 1252: this is the run the
  // manifest is there for, not a Japanese one by mistake.
  EXPECT_EQ(SystemCodePage(), EnglishLocale() ? 1252u : 932u);
  EXPECT_EQ(GetACP(), 932u);
  EXPECT_EQ(GetOEMCP(), 932u);
  EXPECT_TRUE(DoubleByteSystem());
  CPINFO info{};
  ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
  EXPECT_EQ(info.MaxCharSize, 2u);
}

// The manifests of the two programs, built into activation contexts by the
// platform's own parser, ask for the Japanese locale's code pages.
TEST_F(LocaleTest, BothProgramsManifestsAskForTheJapaneseCodePage) {
  for (const char* program : {TW_TARNWICK_PATH, TW_CALC_PATH}) {
    const std::string path = std::string("Z:") + program;
    ACTCTXA request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
    wchar_t value[32] = {};
    SIZE_T length = 0;
    EXPECT_TRUE(QueryActCtxSettingsW(0, context, L"http://schemas.microsoft.com/SMI/2019/WindowsSettings",
                                     L"activeCodePage", value, std::size(value), &length))
        << path;
    EXPECT_STREQ(value, L"ja-JP") << path;
    ReleaseActCtx(context);
  }
}

// ---- What the windows show ------------------------------------------------------------

// The text each windowed control of the form shows, against its component's.
void ExpectWindowTextsOf(TComponent& form, const std::wstring& context) {
  int windows = 0;
  for (int i = 0; i < form.OwnedCount(); ++i) {
    auto* control = dynamic_cast<TWinControl*>(form.OwnedAt(i));
    if (control == nullptr) continue;
    ++windows;
    EXPECT_EQ(WideText(control->Handle()), From932(control->Text()))
        << control->Name() << " in " << std::string(context.begin(), context.end());
  }
  EXPECT_GT(windows, 0);
}

TEST_F(LocaleTest, MainWindowShowsItsJapaneseTexts) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  HWND window = form->Handle();
  EXPECT_EQ(WideText(window), L"Tarnwick for MPEG4");
  EXPECT_EQ(WideText(form->Calc->Handle()), L"計算");
  EXPECT_EQ(WideText(form->ReCalc->Handle()), L"再計算");
  ExpectWindowTextsOf(*form, L"TForm1");

  // The menu bar and its pop-ups, read in this process (another one cannot
  // read a menu under Wine).
  struct Item {
    int bar;
    int item;  // -1: the bar's own item
    const wchar_t* text;
  };
  const Item items[] = {
      {0, -1, L"ファイル(&F)"}, {0, 0, L"終了(&X)"},           {1, -1, L"ヘルプ(&H)"},
      {1, 0, L"ヘルプ(&H)"},    {1, 2, L"作者のサイトへ(&J)"}, {1, 4, L"バージョン情報(&A)"},
  };
  HMENU bar = GetMenu(window);
  ASSERT_NE(bar, nullptr);
  for (const Item& item : items) {
    HMENU menu = item.item < 0 ? bar : GetSubMenu(bar, item.bar);
    const int position = item.item < 0 ? item.bar : item.item;
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, static_cast<int>(std::size(text)), MF_BYPOSITION);
    EXPECT_STREQ(text, item.text) << item.bar << "/" << item.item;
  }
  FreeIfPresent(form);
}

TEST_F(LocaleTest, VersionWindowShowsItsJapaneseTexts) {
  TForm2* box = TCustomForm::Create<TForm2>(Application());
  EXPECT_EQ(WideText(box->Handle()), L"バージョン情報");
  EXPECT_EQ(WideText(box->Button1->Handle()), L"OK");
  ExpectWindowTextsOf(*box, L"TForm2");
  FreeIfPresent(box);
}

// The message box of an uncaught invalid operation, caught as it activates.
struct TBoxSeen {
  std::wstring caption;
  std::wstring text;
  int count = 0;
};
TBoxSeen* boxSeen = nullptr;
HHOOK boxHook = nullptr;

LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && boxSeen != nullptr) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t className[16] = {};
    GetClassNameW(window, className, static_cast<int>(std::size(className)));
    if (std::wstring_view(className) == L"#32770") {
      ++boxSeen->count;
      boxSeen->caption = WideText(window);
      boxSeen->text = WideText(GetDlgItem(window, 0xFFFF));
      PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(boxHook, code, wParam, lParam);
}

TEST_F(LocaleTest, InvalidOperationIsReportedInJapanese) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  form->Time->SetText("0");
  form->NextSize->SetText("0");
  TBoxSeen seen;
  boxSeen = &seen;
  boxHook = SetWindowsHookExW(WH_CBT, WatchBoxes, nullptr, GetCurrentThreadId());
  ASSERT_NE(boxHook, nullptr);
  SendMessageW(form->Calc->Handle(), BM_CLICK, 0, 0);
  UnhookWindowsHookEx(boxHook);
  boxSeen = nullptr;
  EXPECT_EQ(seen.count, 1);
  EXPECT_EQ(seen.text, L"不正な浮動小数点数演算命令.");
  EXPECT_EQ(seen.caption, From932(Application()->AppTitle()));
  FreeIfPresent(form);
}

// ---- Fonts ----------------------------------------------------------------------------------

LOGFONTW LogFontOf(HFONT font) {
  LOGFONTW log{};
  EXPECT_EQ(GetObjectW(font, sizeof log, &log), static_cast<int>(sizeof log));
  return log;
}

// Every font the windows made: the controls' fonts, the fonts their windows
// were given, the hint font. All Shift-JIS, the face named as the user reads it.
TEST_F(LocaleTest, EveryFontOfTheWindowsIsShiftJis) {
  TForm1* form = TCustomForm::Create<TForm1>(Application());
  TForm2* box = TCustomForm::Create<TForm2>(Application());
  std::vector<std::pair<std::string, HFONT>> fonts;
  for (TComponent* owner : {static_cast<TComponent*>(form), static_cast<TComponent*>(box)}) {
    fonts.emplace_back(owner->Name(), static_cast<TControl*>(owner)->Font()->Handle());
    for (int i = 0; i < owner->OwnedCount(); ++i) {
      auto* control = dynamic_cast<TControl*>(owner->OwnedAt(i));
      if (control == nullptr) continue;
      fonts.emplace_back(control->Name(), control->Font()->Handle());
      // The font the window was given, where it was given one (a group box
      // draws its caption itself).
      if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
        if (auto given = reinterpret_cast<HFONT>(SendMessageW(windowed->Handle(), WM_GETFONT, 0, 0)))
          fonts.emplace_back(control->Name() + " window", given);
      }
    }
  }
  EXPECT_GT(fonts.size(), 40u);
  for (const auto& [name, font] : fonts) {
    ASSERT_NE(font, nullptr) << name;
    const LOGFONTW log = LogFontOf(font);
    EXPECT_EQ(log.lfCharSet, SHIFTJIS_CHARSET) << name;
    EXPECT_STREQ(log.lfFaceName, L"ＭＳ Ｐゴシック") << name;
  }
  // The hint font comes from the system's status-bar font: whatever face the
  // system has, it is made Shift-JIS.
  ASSERT_NE(Screen()->HintFont(), nullptr);
  EXPECT_EQ(LogFontOf(Screen()->HintFont()->Handle()).lfCharSet, SHIFTJIS_CHARSET);
  FreeIfPresent(box);
  FreeIfPresent(form);
}

// What a font of another character set, or a platform font adopted from
// elsewhere, becomes. Under English the process's code page (932) is not the
// system's, and every font but a symbol font is made Shift-JIS; under
// Japanese each keeps its own.
TEST_F(LocaleTest, FontsOfOtherCharacterSetsFollowTheProcesssCodePage) {
  const bool english = EnglishLocale();
  struct Case {
    TFontCharset charset;
    BYTE underEnglish;
  };
  const Case cases[] = {
      {SHIFTJIS_CHARSET, SHIFTJIS_CHARSET}, {DEFAULT_CHARSET, SHIFTJIS_CHARSET}, {ANSI_CHARSET, SHIFTJIS_CHARSET},
      {OEM_CHARSET, SHIFTJIS_CHARSET},      {SYMBOL_CHARSET, SYMBOL_CHARSET},
  };
  for (const Case& c : cases) {
    TFont font;
    font.SetName("Tahoma");
    font.SetCharset(c.charset);
    EXPECT_EQ(font.Charset(), c.charset);
    EXPECT_EQ(LogFontOf(font.Handle()).lfCharSet, english ? c.underEnglish : c.charset) << int{c.charset};

    // Adopted: the attributes are read back; under English a font of another
    // character set is replaced by one of the right set, and the adopted one
    // is let go.
    LOGFONTW log{};
    log.lfHeight = -13;
    log.lfCharSet = c.charset;
    std::wcscpy(log.lfFaceName, L"Tahoma");
    const HFONT foreign = CreateFontIndirectW(&log);
    auto adopter = std::make_unique<TFont>();
    adopter->SetHandle(foreign);
    EXPECT_EQ(adopter->Height(), -13);
    EXPECT_EQ(adopter->Name(), "Tahoma");
    const bool replaced = english && c.underEnglish != c.charset;
    EXPECT_EQ(adopter->Handle() != foreign, replaced) << int{c.charset};
    EXPECT_EQ(LogFontOf(adopter->Handle()).lfCharSet, english ? c.underEnglish : c.charset) << int{c.charset};
    if (replaced) {
      EXPECT_EQ(GetObjectType(foreign), 0u) << "the adopted font is let go";
    }
    adopter.reset();
    EXPECT_EQ(GetObjectType(foreign), 0u);
  }
}

// A Japanese face name reaches the platform as the user reads it and comes
// back as the same bytes; the platform's narrow conversion is not involved.
TEST_F(LocaleTest, JapaneseFaceNamesGoBothWays) {
  TFont font;
  font.SetCharset(SHIFTJIS_CHARSET);
  font.SetName(Sjis("ＭＳ ゴシック"));
  EXPECT_STREQ(LogFontOf(font.Handle()).lfFaceName, L"ＭＳ ゴシック");
  TFont adopter;
  LOGFONTW log{};
  log.lfHeight = -12;
  log.lfCharSet = SHIFTJIS_CHARSET;
  std::wcscpy(log.lfFaceName, L"ＭＳ Ｐ明朝");
  adopter.SetHandle(CreateFontIndirectW(&log));
  EXPECT_EQ(adopter.Name(), Sjis("ＭＳ Ｐ明朝"));
}

}  // namespace
}  // namespace tw
