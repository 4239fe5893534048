// The program as the package ships it: its version resource read back through
// the platform, and a start from the unpacked folder whose Help opens the
// readme lying beside the program. The package script unpacks the zip and
// names the folder in TW_UNPACKED.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/Driver.h"

namespace tw::e2e {
namespace {

using namespace std::chrono_literals;

// Wide: the folder's name may hold characters outside the code page.
std::wstring Unpacked() {
  wchar_t folder[MAX_PATH * 2] = {};
  const DWORD n = GetEnvironmentVariableW(L"TW_UNPACKED", folder, static_cast<DWORD>(std::size(folder)));
  return n > 0 && n < std::size(folder) ? std::wstring(folder, n) : std::wstring();
}

// A file's bytes, named in wide form; empty when it cannot be read.
std::string FileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

std::wstring FromUtf8(std::string_view text) {
  std::wstring wide(
      static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0)),
      L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      static_cast<int>(wide.size()));
  return wide;
}

TEST(VersionResource, SaysWhatTheFileIs) {
  ASSERT_NE(Unpacked(), L"") << "TW_UNPACKED names no folder";
  const std::wstring path = Unpacked() + L"\\tarnwick.exe";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource in the unpacked program (error " << GetLastError() << ")";
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(TW_VERSION_MINOR, TW_VERSION_MAJOR));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(TW_VERSION_TWEAK, TW_VERSION_PATCH));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  // Japanese with code page 932 and English with 1252: the two translations,
  // and the blocks their texts stand in.
  WORD* translation = nullptr;
  ASSERT_TRUE(
      VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 8u);
  EXPECT_EQ(translation[0], 0x0411);
  EXPECT_EQ(translation[1], 932);
  EXPECT_EQ(translation[2], 0x0409);
  EXPECT_EQ(translation[3], 1252);

  const std::pair<const char*, const char*> texts[] = {
      {"ProductName", "Tarnwick for MPEG4"},
      {"FileDescription", "Tarnwick for MPEG4"},
      {"FileVersion", TW_VERSION},
      {"ProductVersion", TW_VERSION},
      {"LegalCopyright", "Copyright (C) 2003 K. Tarnwick"},
      {"OriginalFilename", "tarnwick.exe"},
  };
  for (const char* block : {"041103a4", "040904e4"}) {
    for (const auto& [name, expected] : texts) {
      const std::string key = std::string("\\StringFileInfo\\") + block + "\\" + name;
      char* text = nullptr;
      ASSERT_TRUE(VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &length)) << key;
      EXPECT_EQ(std::string(text), expected) << key;
    }
  }
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

BOOL CALLBACK CollectNotepad(HWND w, LPARAM data) {
  if (IsWindowVisible(w) && ClassOf(w) == "Notepad") reinterpret_cast<std::set<HWND>*>(data)->insert(w);
  return TRUE;
}

// The visible notepad windows on the desktop.
std::set<HWND> NotepadWindows() {
  std::set<HWND> found;
  EnumWindows(CollectNotepad, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The text of the notepad window's edit control, asked across processes in
// wide form: what the user reads, whatever either process's code page.
std::wstring EditText(HWND notepad) {
  HWND edit = FindWindowExW(notepad, nullptr, L"Edit", nullptr);
  if (edit == nullptr) return L"<no edit control>";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(copied);
  return text;
}

// The program started from the unpacked folder, with the current folder
// elsewhere: that folder holds a different readme, which Help must not open.
// Help opens the readme of the windows' language, the interface language's.
TEST(UnpackedPackage, StartsAndItsHelpOpensTheReadmeBesideIt) {
  ASSERT_NE(Unpacked(), L"") << "TW_UNPACKED names no folder";
  const bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
  const std::wstring name = japanese ? L"\\readme.txt" : L"\\readme-en.txt";
  const std::string readme = FileBytes(Unpacked() + name);
  ASSERT_GT(readme.size(), 100u);
  // UTF-8 with its byte-order mark; the editor shows the text after the mark.
  ASSERT_EQ(readme.substr(0, 3), "\xEF\xBB\xBF");
  const std::wstring shown = FromUtf8(std::string_view(readme).substr(3));
  ASSERT_NE(shown.find(japanese ? L"ビットレート計算機" : L"bitrate calculator"), std::wstring::npos)
      << "the readme decodes";
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_FALSE(FileBytes(std::wstring(current) + name).empty()) << "the current folder should hold a decoy readme";

  const std::set<HWND> before = NotepadWindows();
  // Wine has been seen to refuse the first program of a new session its
  // hidden application window (the program then ends at once); a second start
  // tells that apart from a program that cannot start from this folder.
  std::optional<Program> started;
  try {
    started.emplace(Unpacked() + L"\\tarnwick.exe");
  } catch (const DriverError& e) {
    std::printf("first start failed (%s); starting again\n", e.what());
    started.emplace(Unpacked() + L"\\tarnwick.exe");
  }
  Program& program = *started;
  program.ChooseMenuItem(1, 0, 'H', japanese ? 'H' : 'R');

  HWND notepad = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] {
        for (HWND w : NotepadWindows()) {
          if (!before.contains(w)) notepad = w;
        }
        return notepad != nullptr && EditText(notepad) != L"";
      },
      30s))
      << "no viewer showed a document after Help";
  EXPECT_TRUE(EditText(notepad) == shown) << "notepad shows something else than the readme";

  DWORD viewer = 0;
  GetWindowThreadProcessId(notepad, &viewer);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, viewer);
  PostMessageA(notepad, WM_CLOSE, 0, 0);
  if (process != nullptr) {
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0) << "the viewer did not close";
    CloseHandle(process);
  }
  EXPECT_EQ(program.Close(), 0u);
}

}  // namespace
}  // namespace tw::e2e
