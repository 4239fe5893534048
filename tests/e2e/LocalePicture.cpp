// Takes the pictures that show whether the calculator looks the same under
// any locale: the main window at rest (the focus on the Calc button, so that
// no caret blinks) and the hint of the video bitrate field, each as a BMP
// file. locale_pictures_test.sh runs it under a Japanese and an English
// locale and compares the files.
// Usage: locale_picture MAIN.bmp HINT.bmp (Windows paths)
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/TestSupport.h"
#include "tests/e2e/Driver.h"

namespace {

using namespace std::chrono_literals;
using tw::e2e::Field;
using tw::e2e::Program;

// The screen's pixels under the rectangle, as a 24-bit BMP file.
bool SavePicture(const RECT& rect, const char* path) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::string pixels(stride * static_cast<DWORD>(height), '\0');
  const int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (lines != height) return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info, sizeof info, 1, out);
  std::fwrite(pixels.data(), 1, pixels.size(), out);
  return std::fclose(out) == 0;
}

int Run(const char* mainPath, const char* hintPath) {
  Program program(tw::e2e::TarnwickPath());
  // Time, NextSize, NowAudio, then the Calc button.
  for (int i = 0; i < 3; ++i) {
    program.PostKey(program.Focus(), VK_TAB);
    program.Sync();
  }
  if (program.FocusedField() != Field::Calc) {
    std::printf("the focus did not reach Calc\n");
    return 3;
  }
  Program::MovePointer(2, 2);
  program.Sync();
  Sleep(500);
  RECT rect{};
  GetWindowRect(program.MainWindow(), &rect);
  if (!SavePicture(rect, mainPath)) return 4;

  const auto hint = program.HintOver(program.Window(Field::Video));
  if (!hint) {
    std::printf("no hint showed\n");
    return 5;
  }
  GetWindowRect(program.FindTopWindow("THintWindow"), &rect);
  if (!SavePicture(rect, hintPath)) return 6;
  if (*hint != tw::test::Sjis("映像に割り当てるビットレートの目安です")) {
    std::printf("the hint's text is not the field's\n");
    return 7;
  }
  Program::MovePointer(2, 2);
  return program.Close() == 0 ? 0 : 8;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: locale_picture MAIN.bmp HINT.bmp\n");
    return 2;
  }
  try {
    return Run(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
    return 9;
  }
}
