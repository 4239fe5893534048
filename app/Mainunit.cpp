#include "app/Mainunit.h"

#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/FileMessage.h"
#include "app/Verunit.h"
#include "media/Duration.h"
#include "runtime/Language.h"
#include "runtime/Platform.h"
#include "runtime/ScopeExit.h"
#include "runtime/Text.h"
#include "ui/Application.h"

namespace tw {

TForm1* Form1 = nullptr;

void TForm1::Publish(Publisher& p) {
  TW_FORM1_MEMBERS(TW_PUBLISH_WINDOW_FIELD, TW_PUBLISH_WINDOW_HANDLER)

  TW_MESSAGE(WM_DROPFILES, WMDropFiles);
}

namespace {

// The computations see the window's fields only through their texts.
class WindowFields final : public BitrateFields {
 public:
  explicit WindowFields(TForm1& form) : form_(form) {}

  std::string ReadField(BitrateField field) override { return Control(field).Text(); }
  void WriteField(BitrateField field, const std::string& text) override { Control(field).SetText(text); }

 private:
  TControl& Control(BitrateField field) {
    TControl* control = nullptr;
    switch (field) {
      case BitrateField::Time: control = form_.Time; break;
      case BitrateField::NextSize: control = form_.NextSize; break;
      case BitrateField::NowAudio: control = form_.NowAudio; break;
      case BitrateField::Video: control = form_.Video; break;
      case BitrateField::NowVideo: control = form_.NowVideo; break;
      case BitrateField::NowSize: control = form_.NowSize; break;
      case BitrateField::NextAudio: control = form_.NextAudio; break;
      case BitrateField::NextVideo: control = form_.NextVideo; break;
    }
    // A form resource without the field would leave it unbound: the resource
    // was not read as this window needs it.
    if (control == nullptr) throw EReadError(msg::ReadError);
    return *control;
  }

  TForm1& form_;
};

}  // namespace

void TForm1::CalcClick(TObject*) {
  WindowFields fields(*this);
  CalcBitrate(fields);
}

void TForm1::ReCalcClick(TObject*) {
  WindowFields fields(*this);
  ReCalcBitrate(fields);
}

void TForm1::Exit1Click(TObject*) { CloseForm(); }

void TForm1::About1Click(TObject*) {
  // The box is modal, so a second command can only come from a posted message
  // while it is up: it is ignored then, as a second box would take the one
  // global reference from the first.
  ShowModalForm(Application(), Form2);
}

std::wstring ProgramFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD length = 0;
  for (;;) {
    length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) break;
    buffer.resize(buffer.size() * 2);
  }
  // UTF-16 has no double-byte characters: the last "\" ends the folder.
  const std::wstring_view path(buffer.data(), length);
  const std::size_t slash = path.find_last_of(L"\\/");
  return std::wstring(path.substr(0, slash == std::wstring_view::npos ? 0 : slash + 1));
}

void TForm1::Help2Click(TObject*) {
  // The document beside the program, not whatever the current folder holds.
  // The readme in the windows' language.
  const std::wstring folder = ProgramFolder();
  const wchar_t* readme = UiLanguage() == TUiLanguage::Japanese ? L"readme.txt" : L"readme-en.txt";
  ShellExecuteW(Handle(), nullptr, readme, nullptr, folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
}

void TForm1::Tarnwick1Click(TObject*) {
  ShellExecuteA(nullptr, nullptr, kAuthorAddress, nullptr, nullptr, SW_SHOWNORMAL);
}

void TForm1::CreateParams(TCreateParams& params) {
  TForm::CreateParams(params);
  params.exStyle |= WS_EX_ACCEPTFILES;
}

namespace {

// The first name of a drop, in wide form (a name outside code page 932 must
// still open), and where it landed; nothing for a drop without names.
struct TDroppedName {
  std::wstring name;
  // The point in the window's client coordinates, when it landed there and
  // not on the frame, the caption or the menu bar.
  std::optional<POINT> clientPoint;
};

std::optional<TDroppedName> FirstDroppedName(HDROP drop) {
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 0) return std::nullopt;
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length == 0) return std::nullopt;
  TDroppedName dropped;
  dropped.name.resize(length + 1);
  const UINT copied = DragQueryFileW(drop, 0, dropped.name.data(), length + 1);
  dropped.name.resize(copied);
  POINT point{};
  if (DragQueryPoint(drop, &point)) dropped.clientPoint = point;
  return dropped;
}

}  // namespace

void TForm1::WMDropFiles(TMessage& m) {
  m.result = 0;
  std::optional<TDroppedName> dropped;
  {
    // The platform's drop record is freed whatever happens here.
    const HDROP drop = reinterpret_cast<HDROP>(m.wParam);
    TScopeExit finish([drop] { DragFinish(drop); });
    // A disabled window takes no drop: a modal box is up.
    if (!HandleAllocated() || !IsWindowEnabled(Handle())) return;
    dropped = FirstDroppedName(drop);
  }
  if (!dropped) return;
  // Outside the client area (on the frame, the caption or the menu bar) is
  // elsewhere: the source.
  const TDropTarget target = dropped->clientPoint ? DropTargetAt(*dropped->clientPoint) : TDropTarget::Source;
  TakeDroppedFile(media::FilePath(dropped->name), target);
}

TForm1::TDropTarget TForm1::DropTargetAt(POINT clientPoint) {
  TControl* control = ControlAtPoint(clientPoint, true);
  auto within = [control](TWinControl* panel) {
    return panel != nullptr && control != nullptr && (control == panel || panel->ContainsControl(control));
  };
  // The calculator's panel lies inside the re-calculator's: it is asked first.
  if (within(GroupBox1)) return TDropTarget::Source;
  if (within(GroupBox2)) return TDropTarget::FirstEncode;
  return TDropTarget::Source;
}

void TForm1::TakeDroppedFile(const media::FilePath& file, TDropTarget target) {
  const media::Result<media::FileFacts> facts = media::ReadMinutesAndSize(file);
  if (!facts) {
    const TTextAroundName text = FileErrorText(facts.Error());
    const std::u16string before = platform::AnsiToWide(text.before);
    const std::u16string after = platform::AnsiToWide(text.after);
    if (TApplication* application = Application())
      application->ReportError(std::wstring(before.begin(), before.end()) + file.Native() +
                               std::wstring(after.begin(), after.end()));
    return;
  }
  if (Time == nullptr || NowSize == nullptr) throw EReadError(msg::ReadError);
  // Both texts are made before either field changes.
  const std::string minutes = std::to_string(facts->minutes);
  const std::string megabytes = std::to_string(media::MegabytesRoundedUp(facts->bytes));
  if (target == TDropTarget::FirstEncode) NowSize->SetText(megabytes);
  Time->SetText(minutes);
}

}  // namespace tw
