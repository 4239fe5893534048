/* Drives the running calculator for scripts/screenshots.sh from inside Wine:
 *   wait   - until the main window (class TForm1) is visible
 *   about  - chooses Help > About as the keyboard would (Alt+H, then A) and
 *            waits for the box (TForm2). The menu is driven inside the program:
 *            a menu handle cannot be read from another process under Wine, and
 *            posted messages do not depend on which X window has the focus.
 *   close  - closes the box, then the main window, and waits until both are gone
 *   rect   - prints the main window's frame on the screen as an X geometry,
 *            WIDTHxHEIGHT+LEFT+TOP, for cropping a picture of the screen
 * Every wait is bounded; the exit code is 0 on success. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

/* The visible window of the class, or none when the time is up. */
static HWND WaitShown(const char* cls, int milliseconds) {
  for (int waited = 0; waited <= milliseconds; waited += 50) {
    HWND window = FindWindowA(cls, NULL);
    if (window && IsWindowVisible(window)) return window;
    Sleep(50);
  }
  return NULL;
}

/* Whether no window of the class is left within the time. */
static int WaitGone(const char* cls, int milliseconds) {
  for (int waited = 0; waited <= milliseconds; waited += 50) {
    if (!FindWindowA(cls, NULL)) return 1;
    Sleep(50);
  }
  return 0;
}

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "wait") == 0) {
    return WaitShown("TForm1", 20000) ? 0 : 1;
  }
  if (strcmp(mode, "about") == 0) {
    HWND mainWindow = FindWindowA("TForm1", NULL);
    if (!mainWindow) return 2;
    /* The system command opens the menu bar's item with the mnemonic H; once
       its pop-up is up, the menu's own loop takes the key that chooses the
       item with the mnemonic A. */
    PostMessageA(mainWindow, WM_SYSCOMMAND, SC_KEYMENU, 'h');
    if (!WaitShown("#32768", 10000)) return 3;
    PostMessageA(mainWindow, WM_KEYDOWN, 'A', 1 | (MapVirtualKeyA('A', 0) << 16));
    return WaitShown("TForm2", 10000) ? 0 : 4;
  }
  if (strcmp(mode, "close") == 0) {
    HWND box = FindWindowA("TForm2", NULL);
    if (box) PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (box && !WaitGone("TForm2", 10000)) return 5;
    HWND mainWindow = FindWindowA("TForm1", NULL);
    if (mainWindow) PostMessageA(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (mainWindow && !WaitGone("TForm1", 10000)) return 6;
    return 0;
  }
  if (strcmp(mode, "rect") == 0) {
    /* Unscaled screen pixels at any resolution, as the picture has them. */
    SetProcessDPIAware();
    HWND mainWindow = WaitShown("TForm1", 20000);
    RECT frame;
    if (!mainWindow || !GetWindowRect(mainWindow, &frame)) return 7;
    /* Only what lies on the screen can be cut out of a picture of it. */
    if (frame.left < 0) frame.left = 0;
    if (frame.top < 0) frame.top = 0;
    if (frame.right <= frame.left || frame.bottom <= frame.top) return 8;
    printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
    return 0;
  }
  return 9;
}
