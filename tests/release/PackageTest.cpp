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
#include <vector>

#include "tests/e2e/Driver.h"

namespace tw::e2e {
namespace {

using namespace std::chrono_literals;

std::string Unpacked() {
  const char* folder = std::getenv("TW_UNPACKED");
  return folder != nullptr ? folder : "";
}

TEST(VersionResource, SaysWhatTheFileIs) {
  ASSERT_NE(Unpacked(), "") << "TW_UNPACKED names no folder";
  const std::string path = Unpacked() + "\\tarnwick.exe";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource in " << path << " (error " << GetLastError() << ")";
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

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

  // Japanese, code page 932: the one translation, and the block its texts stand in.
  WORD* translation = nullptr;
  ASSERT_TRUE(
      VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0411);
  EXPECT_EQ(translation[1], 932);

  const std::pair<const char*, const char*> texts[] = {
      {"ProductName", "Tarnwick for MPEG4"},
      {"FileDescription", "Tarnwick for MPEG4"},
      {"FileVersion", TW_VERSION},
      {"ProductVersion", TW_VERSION},
      {"LegalCopyright", "Copyright (C) 2003 K. Tarnwick"},
      {"OriginalFilename", "tarnwick.exe"},
  };
  for (const auto& [name, expected] : texts) {
    const std::string key = std::string("\\StringFileInfo\\041103a4\\") + name;
    char* text = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &length)) << name;
    EXPECT_EQ(std::string(text), expected) << name;
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

// The text of the notepad window's edit control, asked across processes.
std::string EditText(HWND notepad) {
  HWND edit = FindWindowExA(notepad, nullptr, "Edit", nullptr);
  if (edit == nullptr) return "<no edit control>";
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return "<no answer>";
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(copied);
  return text;
}

// The program started from the unpacked folder, with the current folder
// elsewhere: that folder holds a different readme, which Help must not open.
TEST(UnpackedPackage, StartsAndItsHelpOpensTheReadmeBesideIt) {
  ASSERT_NE(Unpacked(), "") << "TW_UNPACKED names no folder";
  std::ifstream file(Unpacked() + "\\readme.txt", std::ios::binary);
  const std::string readme{std::istreambuf_iterator<char>(file), {}};
  ASSERT_GT(readme.size(), 100u);
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  std::ifstream decoy(std::string(current) + "\\readme.txt", std::ios::binary);
  ASSERT_TRUE(decoy.good()) << "the current folder should hold a decoy readme";

  const std::set<HWND> before = NotepadWindows();
  // Wine has been seen to refuse the first program of a new session its
  // hidden application window (the program then ends at once); a second start
  // tells that apart from a program that cannot start from this folder.
  std::optional<Program> started;
  try {
    started.emplace(Unpacked() + "\\tarnwick.exe");
  } catch (const DriverError& e) {
    std::printf("first start failed (%s); starting again\n", e.what());
    started.emplace(Unpacked() + "\\tarnwick.exe");
  }
  Program& program = *started;
  program.ChooseMenuItem(1, 0, 'H', 'H');

  HWND notepad = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] {
        for (HWND w : NotepadWindows()) {
          if (!before.contains(w)) notepad = w;
        }
        return notepad != nullptr && EditText(notepad) != "";
      },
      30s))
      << "no viewer showed a document after Help";
  EXPECT_EQ(EditText(notepad), readme);

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
