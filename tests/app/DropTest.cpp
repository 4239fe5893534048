// Files dropped on the main window, through the platform's drop message as the
// shell sends it: where they land decides the fields they fill, and a file
// whose running time cannot be had is reported by name and changes nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Mainunit.h"
#include "media/Duration.h"
#include "runtime/Language.h"
#include "runtime/Platform.h"
#include "runtime/ScopeExit.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// A drop record as the shell makes it: wide names, the point in the client
// coordinates of the window it is sent to.
HDROP MakeDrop(const std::vector<std::wstring>& names, POINT point, bool nonClient = false) {
  std::size_t chars = 1;
  for (const std::wstring& name : names) chars += name.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  if (memory == nullptr) return nullptr;
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->pt = point;
  header->fNC = nonClient ? TRUE : FALSE;
  header->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
  for (const std::wstring& name : names) {
    std::copy(name.begin(), name.end(), text);
    text += name.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

std::wstring Wide(std::string_view ansi) {
  const std::u16string wide = platform::AnsiToWide(ansi);
  return std::wstring(wide.begin(), wide.end());
}

class DropTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitializeFramework(); }

  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = fs::path(temp) / (L"tw-drop-" + std::to_wstring(GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    form_ = TCustomForm::Create<TForm1>(Application());
    form_->ShowForm();
    test::PumpMessages();
  }

  void TearDown() override {
    FreeIfPresent(form_);
    test::PumpMessages();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // A sample file copied under another name into the test's folder.
  fs::path Sample(const char* sample, const std::wstring& name) {
    const fs::path to = folder_ / name;
    fs::copy_file(fs::path(TW_MEDIA_TEST_DATA) / sample, to, fs::copy_options::overwrite_existing);
    return to;
  }

  fs::path Written(const std::wstring& name, const std::string& bytes) {
    const fs::path to = folder_ / name;
    std::ofstream(to, std::ios::binary) << bytes;
    return to;
  }

  // The centre of a control in the form's client coordinates.
  POINT FormPoint(TControl* control) {
    const POINT screen = control->ClientToScreen(POINT{control->Width() / 2, control->Height() / 2});
    return form_->ScreenToClient(screen);
  }

  void Drop(const std::vector<std::wstring>& names, POINT point) {
    HDROP drop = MakeDrop(names, point);
    ASSERT_NE(drop, nullptr);
    SendMessageW(form_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    // The record is the receiver's to free, whatever it made of it.
    EXPECT_EQ(GlobalSize(drop), 0u) << "the drop record was not freed";
  }

  // Every field of the window, to see that nothing else changed.
  std::array<std::string, 10> Fields() {
    return {form_->Time->Text(),     form_->NextSize->Text(), form_->NowAudio->Text(),  form_->Video->Text(),
            form_->NowVideo->Text(), form_->NowSize->Text(),  form_->NextAudio->Text(), form_->NextVideo->Text(),
            form_->Calc->Text(),     form_->ReCalc->Text()};
  }

  fs::path folder_;
  TForm1* form_ = nullptr;
};

TEST_F(DropTest, TheWindowAcceptsFiles) {
  EXPECT_NE(GetWindowLongW(form_->Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
}

// Where a file lands decides what it is; only Time, and for the first encode
// NowSize, change.
TEST_F(DropTest, EachRegionFillsItsFields) {
  using Pick = TControl* (*)(TForm1&);
  struct Case {
    const char* where;
    Pick control;  // the drop lands on its centre, or
    POINT point;   // on this client point when there is none
    bool firstEncode;
  };
  const Case cases[] = {
      {"Time, in the calculator's panel", [](TForm1& f) -> TControl* { return f.Time; }, {}, false},
      {"a label of the calculator's panel", [](TForm1& f) -> TControl* { return f.Label3; }, {}, false},
      {"the Calc button", [](TForm1& f) -> TControl* { return f.Calc; }, {}, false},
      {"the calculator's panel itself", [](TForm1& f) -> TControl* { return f.GroupBox1; }, {}, false},
      {"NowSize, in the re-calculator's panel", [](TForm1& f) -> TControl* { return f.NowSize; }, {}, true},
      {"a label of the re-calculator's panel", [](TForm1& f) -> TControl* { return f.Label14; }, {}, true},
      {"the combo box of the re-calculator", [](TForm1& f) -> TControl* { return f.NextAudio; }, {}, true},
      {"the re-calculator's panel below the calculator's", nullptr, {100, 180}, true},
      {"the window's edge, outside both panels", nullptr, {2, 2}, false},
      {"the window's bottom right corner", nullptr, {416, 193}, false},
  };
  // 2 h 15 min 45 s and 12,640 bytes; 2 h 1 min 15 s and 51,193 bytes.
  const fs::path source = Sample("avi-2h15m45s.avi", L"source.avi");
  const fs::path first = Sample("wmv-2h01m15s.wmv", L"first.wmv");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    for (const fs::path& file : {source, first}) {
      form_->Time->SetText("120");
      form_->NowSize->SetText("700");
      std::array<std::string, 10> want = Fields();
      const bool isSource = file == source;
      want[0] = isSource ? "136" : "122";
      if (c.firstEncode) want[5] = "1";
      const POINT point = c.control ? FormPoint(c.control(*form_)) : c.point;
      test::TMessageBoxCatcher watch;
      Drop({file.wstring()}, point);
      EXPECT_EQ(Fields(), want);
      EXPECT_TRUE(watch.Boxes().empty());
      ASSERT_EQ(form_->DropTargetAt(point),
                c.firstEncode ? TForm1::TDropTarget::FirstEncode : TForm1::TDropTarget::Source);
    }
  }
}

// Files as users make them that the readers once refused or misread: a
// fragmented MP4 and a smooth-streaming file without a movie-extends header,
// an AVI whose audio outlasts its video, a finished MP4 with a tag appended.
// On either panel each gives its whole running time, and the first encode its
// size.
TEST_F(DropTest, FilesAsUsersMakeThemGiveTheirWholeLength) {
  std::ifstream in(fs::path(TW_MEDIA_TEST_DATA) / "mp4-faststart-2h00m00s.mp4", std::ios::binary);
  const std::string mp4((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  struct Case {
    fs::path file;
    const char* minutes;
  };
  const Case cases[] = {
      {Sample("mp4-fragmented-dash-1h40m00s.mp4", L"dash.mp4"), "100"},
      {Sample("ismv-1h50m00s.ismv", L"stream.ismv"), "110"},
      {Sample("avi-remux-audio-outlasts-video-1m05s.avi", L"remux.avi"), "2"},
      {Written(L"tagged.mp4", mp4 + "TAG" + std::string(125, ' ')), "120"},
  };
  for (const Case& c : cases) {
    for (const bool firstEncode : {false, true}) {
      SCOPED_TRACE(c.file.string() + (firstEncode ? " on the first encode" : " on the source"));
      form_->Time->SetText("95");
      form_->NowSize->SetText("650");
      test::TMessageBoxCatcher watch;
      Drop({c.file.wstring()}, FormPoint(firstEncode ? form_->NowSize : form_->Time));
      EXPECT_TRUE(watch.Boxes().empty());
      EXPECT_EQ(form_->Time->Text(), c.minutes);
      EXPECT_EQ(form_->NowSize->Text(), firstEncode ? "1" : "650");
    }
  }
}

// A drop on the frame, the caption or the menu bar carries a screen point:
// it is elsewhere, the source, wherever that point would fall in the client area.
TEST_F(DropTest, ADropOutsideTheClientAreaIsTheSource) {
  const fs::path first = Sample("wmv-2h01m15s.wmv", L"first.wmv");
  for (const POINT point : {FormPoint(form_->NowSize), POINT{100, 180}, POINT{-5, -20}}) {
    form_->Time->SetText("120");
    form_->NowSize->SetText("700");
    HDROP drop = MakeDrop({first.wstring()}, point, true);
    SendMessageW(form_->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(form_->Time->Text(), "122");
    EXPECT_EQ(form_->NowSize->Text(), "700") << point.x << "," << point.y;
  }
}

// A file whose running time cannot be had: one box, the exception report's
// caption and icon, the reason naming the file, and no field changed.
// In each language of the interface: the English message is ASCII around the name.
TEST_F(DropTest, ARejectedFileIsReportedAndChangesNothing) {
  std::ifstream in(fs::path(TW_MEDIA_TEST_DATA) / "mp4-moov-at-end-2h00m03s.mp4", std::ios::binary);
  std::string mp4((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(mp4.size(), 8000u);
  struct Text {
    const wchar_t* before;
    const wchar_t* after;
  };
  struct Case {
    const char* why;
    fs::path file;
    media::MediaError error;
    Text japanese, english;
  };
  const Case cases[] = {
      {"missing",
       folder_ / L"gone.mp4",
       media::MediaError::CannotOpen,
       {L"ファイル「", L"」を開けません。."},
       {L"The file \"", L"\" cannot be opened."}},
      {"a folder",
       folder_,
       media::MediaError::NotAFile,
       {L"「", L"」はファイルではありません。."},
       {L"\"", L"\" is not a file."}},
      {"a text",
       Written(L"notes.txt", "hello, this is no video\n"),
       media::MediaError::UnsupportedFormat,
       {L"ファイル「", L"」の形式には対応していません。."},
       {L"The format of the file \"", L"\" is not supported."}},
      {"cut short",
       Written(L"cut.mp4", mp4.substr(0, mp4.size() / 2)),
       media::MediaError::Damaged,
       {L"ファイル「", L"」から再生時間を読み取れません。."},
       {L"No running time can be read from the file \"", L"\"."}},
  };
  const POINT points[] = {FormPoint(form_->Time), FormPoint(form_->NowSize)};
  const TScopeExit back([] { SetUiLanguage(TUiLanguage::Japanese); });
  for (const TUiLanguage language : {TUiLanguage::Japanese, TUiLanguage::English}) {
    SetUiLanguage(language);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.why);
      const auto facts = media::ReadMinutesAndSize(c.file);
      ASSERT_FALSE(facts);
      ASSERT_EQ(facts.Error(), c.error);
      const Text& text = language == TUiLanguage::Japanese ? c.japanese : c.english;
      for (const POINT point : points) {
        form_->Time->SetText("95");
        form_->NowSize->SetText("650");
        const std::array<std::string, 10> before = Fields();
        test::TMessageBoxCatcher watch;
        Drop({c.file.wstring()}, point);
        EXPECT_EQ(Fields(), before);
        ASSERT_EQ(watch.Boxes().size(), 1u);
        EXPECT_EQ(watch.Boxes()[0].wideText, text.before + c.file.wstring() + text.after);
        EXPECT_EQ(watch.Boxes()[0].wideCaption, Wide(Application()->AppTitle()));
        EXPECT_TRUE(watch.Boxes()[0].icon);
      }
    }
  }
}

// A name that code page 932 cannot hold opens, and shows whole in a report.
TEST_F(DropTest, ANameOutsideCodePage932OpensAndShowsWhole) {
  const fs::path video = Sample("mp4-faststart-2h00m00s.mp4", L"Zo\u00eb \u00c5ngstr\u00f6m.mp4");
  const fs::path text = Written(L"Zo\u00eb.mp4", "not a video at all");
  test::TMessageBoxCatcher watch;
  Drop({video.wstring()}, FormPoint(form_->NowSize));
  EXPECT_EQ(form_->Time->Text(), "120");
  EXPECT_EQ(form_->NowSize->Text(), "1");
  EXPECT_TRUE(watch.Boxes().empty());
  form_->Time->SetText("77");
  Drop({text.wstring()}, FormPoint(form_->Time));
  EXPECT_EQ(form_->Time->Text(), "77");
  ASSERT_EQ(watch.Boxes().size(), 1u);
  EXPECT_EQ(watch.Boxes()[0].wideText, L"ファイル「" + text.wstring() + L"」の形式には対応していません。.");
  EXPECT_NE(watch.Boxes()[0].wideText.find(L"Zo\u00eb.mp4"), std::wstring::npos);
}

// Several files: the first counts, whether it is good or not.
TEST_F(DropTest, OnlyTheFirstOfSeveralFilesCounts) {
  const fs::path good = Sample("mkv-2h00m00s.mkv", L"a.mkv");
  const fs::path other = Sample("mov-1h30m15s.mov", L"b.mov");
  const fs::path bad = Written(L"c.txt", "text");
  test::TMessageBoxCatcher watch;
  Drop({good.wstring(), other.wstring(), bad.wstring()}, FormPoint(form_->Time));
  EXPECT_EQ(form_->Time->Text(), "120");
  Drop({other.wstring(), good.wstring()}, FormPoint(form_->Time));
  EXPECT_EQ(form_->Time->Text(), "91");
  EXPECT_TRUE(watch.Boxes().empty());
  Drop({bad.wstring(), good.wstring()}, FormPoint(form_->Time));
  EXPECT_EQ(form_->Time->Text(), "91");
  EXPECT_EQ(watch.Boxes().size(), 1u);
  // A record without names changes nothing and says nothing.
  Drop({}, FormPoint(form_->Time));
  EXPECT_EQ(form_->Time->Text(), "91");
  EXPECT_EQ(watch.Boxes().size(), 1u);
}

// While a modal box is up the main window is disabled: a drop that still
// reaches it is freed and ignored.
TEST_F(DropTest, ADisabledWindowTakesNoDrop) {
  const fs::path good = Sample("flv-2h00m03s.flv", L"a.flv");
  const fs::path bad = Written(L"b.txt", "text");
  form_->Time->SetText("42");
  EnableWindow(form_->Handle(), FALSE);
  test::TMessageBoxCatcher watch;
  Drop({good.wstring()}, FormPoint(form_->Time));
  Drop({bad.wstring()}, FormPoint(form_->Time));
  EnableWindow(form_->Handle(), TRUE);
  EXPECT_EQ(form_->Time->Text(), "42");
  EXPECT_TRUE(watch.Boxes().empty());
  Drop({good.wstring()}, FormPoint(form_->Time));
  EXPECT_EQ(form_->Time->Text(), "121");
}

// The same with the version window up: the drop posted while its modal loop
// runs is taken by that loop and changes nothing.
HWND dropTarget = nullptr;
HDROP pendingDrop = nullptr;
HHOOK aboutHook = nullptr;
bool aboutSeen = false;

LRESULT CALLBACK DropWhileAboutIsUp(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && !aboutSeen) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t className[16] = {};
    GetClassNameW(window, className, static_cast<int>(std::size(className)));
    if (std::wstring_view(className) == L"TForm2" && pendingDrop != nullptr) {
      aboutSeen = true;
      PostMessageW(dropTarget, WM_DROPFILES, reinterpret_cast<WPARAM>(pendingDrop), 0);
      // After the drop in the queue: the version window closes.
      PostMessageW(window, WM_CLOSE, 0, 0);
    }
  }
  return CallNextHookEx(aboutHook, code, wParam, lParam);
}

TEST_F(DropTest, NoDropWhileTheVersionWindowIsUp) {
  const fs::path good = Sample("webm-2h02m05s.webm", L"a.webm");
  form_->Time->SetText("42");
  dropTarget = form_->Handle();
  pendingDrop = MakeDrop({good.wstring()}, FormPoint(form_->Time));
  aboutSeen = false;
  aboutHook = SetWindowsHookExW(WH_CBT, DropWhileAboutIsUp, nullptr, GetCurrentThreadId());
  form_->About1Click(nullptr);
  UnhookWindowsHookEx(aboutHook);
  EXPECT_TRUE(aboutSeen);
  test::PumpMessages();
  EXPECT_EQ(form_->Time->Text(), "42");
  EXPECT_EQ(GlobalSize(pendingDrop), 0u);
  pendingDrop = nullptr;
}

}  // namespace
}  // namespace tw
