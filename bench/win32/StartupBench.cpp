// Start-up of the calculator against a bare program with the same window.
//
//   startup_bench.exe [--runs N] TARNWICK.EXE BARE_WINDOW.EXE
//
// Starts the two programs in turn, N times each (interleaved, the order
// swapped every round so that neither always follows the other), and measures
// from CreateProcess until the process's main window is visible, painted and
// answering messages: WaitForInputIdle, then polling for a visible top-level
// window of that process with a client area, until neither it nor any of its
// child windows has anything left to paint, then one message round trip.
// At that point the child's working set is read; then the window is sent
// WM_CLOSE (posted) and the process must end with exit code 0.
// Prints the medians and their ratios against the goals (start-up <= 1.2,
// working set <= 1.3) and the calculator's file size against 1 MiB. Give it
// the build's own program, which keeps its debugging information in a separate
// file: under Wine the debugging sections of an image are read into memory and
// would count in its working set. It measures; it
// decides nothing: the exit code is non-zero only when a run failed.
#include <windows.h>
// psapi.h needs the types of windows.h first.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kExitTimeoutMs = 10000;
constexpr double kStartupGoal = 1.2;
constexpr double kWorkingSetGoal = 1.3;
constexpr double kSizeGoalBytes = 1024 * 1024;

struct RunResult {
  double startMs = 0;
  SIZE_T workingSet = 0;
  int childWindows = 0;
};

struct Program {
  std::string path;
  std::string name;
  std::vector<RunResult> runs;
};

double NowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / ticksPerMs;
}

struct WindowSearch {
  DWORD processId;
  HWND found;
};

// The calculator also has a visible top-level window of zero size (the
// application's own); the main window is the one with a client area.
BOOL CALLBACK FindMainWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->processId || !IsWindowVisible(window) || IsIconic(window)) return TRUE;
  RECT client{};
  if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK FindUnpaintedChild(HWND child, LPARAM param) {
  if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CountChild(HWND, LPARAM param) {
  ++*reinterpret_cast<int*>(param);
  return TRUE;
}

bool NeedsPainting(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return true;
  bool unpainted = false;
  EnumChildWindows(window, FindUnpaintedChild, reinterpret_cast<LPARAM>(&unpainted));
  return unpainted;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool RunOnce(const Program& program, RunResult& result, std::string& error) {
  std::string commandLine = "\"" + program.path + "\"";
  const std::string folder = Folder(program.path);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};

  const double start = NowMs();
  if (!CreateProcessA(program.path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    error = "CreateProcess failed, error " + std::to_string(GetLastError());
    return false;
  }
  bool ok = false;
  HWND mainWindow = nullptr;
  if (WaitForInputIdle(process.hProcess, kStartTimeoutMs) != 0) {
    error = "the program never waited for input";
  } else {
    // Poll until the window is up and painted; the limit bounds a program
    // that never shows one.
    for (;;) {
      WindowSearch search{process.dwProcessId, nullptr};
      EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
      if (search.found && !NeedsPainting(search.found)) {
        // The thread is back in its loop once it answers.
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutA(search.found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kStartTimeoutMs, &answer)) {
          mainWindow = search.found;
          break;
        }
      }
      if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
        error = "the program ended before its window was up";
        break;
      }
      if (NowMs() - start > kStartTimeoutMs) {
        error = "no visible, painted main window within the time limit";
        break;
      }
      Sleep(1);
    }
  }
  if (mainWindow) {
    result.startMs = NowMs() - start;
    EnumChildWindows(mainWindow, CountChild, reinterpret_cast<LPARAM>(&result.childWindows));
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof(memory))) result.workingSet = memory.WorkingSetSize;
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    if (WaitForSingleObject(process.hProcess, kExitTimeoutMs) != WAIT_OBJECT_0) {
      error = "the program did not end after WM_CLOSE";
    } else if (!GetExitCodeProcess(process.hProcess, &exitCode) || exitCode != 0) {
      error = "the program ended with exit code " + std::to_string(exitCode);
    } else {
      ok = true;
    }
  }
  if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, kExitTimeoutMs);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ok;
}

template <typename T>
double Median(std::vector<T> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? static_cast<double>(values[n / 2])
               : (static_cast<double>(values[n / 2 - 1]) + static_cast<double>(values[n / 2])) / 2;
}

template <typename Field>
std::vector<double> Column(const Program& program, Field field) {
  std::vector<double> out;
  for (const RunResult& r : program.runs) out.push_back(static_cast<double>(r.*field));
  return out;
}

const char* Verdict(bool met) { return met ? "met" : "NOT met"; }

int Usage() {
  std::fprintf(stderr, "usage: startup_bench.exe [--runs N] TARNWICK.EXE BARE_WINDOW.EXE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 20;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
      if (runs < 1) return Usage();
    } else {
      paths.emplace_back(argv[i]);
    }
  }
  if (paths.size() != 2) return Usage();

  Program programs[2] = {{paths[0], BaseName(paths[0]), {}}, {paths[1], BaseName(paths[1]), {}}};
  // One unmeasured start each: the first start of a program loads its files
  // and Wine's libraries into the cache; the ones after it show the program.
  for (Program& p : programs) {
    RunResult ignored;
    std::string error;
    if (!RunOnce(p, ignored, error)) {
      std::fprintf(stderr, "%s: %s\n", p.name.c_str(), error.c_str());
      return 1;
    }
  }
  for (int round = 0; round < runs; ++round) {
    for (int k = 0; k < 2; ++k) {
      Program& p = programs[(round + k) % 2];
      RunResult r;
      std::string error;
      if (!RunOnce(p, r, error)) {
        std::fprintf(stderr, "%s (round %d): %s\n", p.name.c_str(), round + 1, error.c_str());
        return 1;
      }
      p.runs.push_back(r);
    }
  }

  const Program& app = programs[0];
  const Program& bare = programs[1];
  std::printf("Start-up to an idle, visible main window, %d interleaved runs each:\n", runs);
  for (const Program* p : {&app, &bare}) {
    const std::vector<double> times = Column(*p, &RunResult::startMs);
    std::printf("  %-22s median %8.1f ms   min %8.1f ms   max %8.1f ms\n", p->name.c_str(), Median(times),
                *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
  }
  const double appStart = Median(Column(app, &RunResult::startMs));
  const double bareStart = Median(Column(bare, &RunResult::startMs));
  const double startRatio = appStart / bareStart;
  std::printf("  ratio %.2f (goal <= %.1f: %s); difference %.1f ms\n", startRatio, kStartupGoal,
              Verdict(startRatio <= kStartupGoal), appStart - bareStart);

  std::printf("Working set at idle (median):\n");
  for (const Program* p : {&app, &bare}) {
    std::printf("  %-22s %8.0f KB   (%.0f child windows)\n", p->name.c_str(),
                Median(Column(*p, &RunResult::workingSet)) / 1024, Median(Column(*p, &RunResult::childWindows)));
  }
  const double bareSet = Median(Column(bare, &RunResult::workingSet));
  if (bareSet > 0) {
    const double setRatio = Median(Column(app, &RunResult::workingSet)) / bareSet;
    std::printf("  ratio %.2f (goal <= %.1f: %s)\n", setRatio, kWorkingSetGoal, Verdict(setRatio <= kWorkingSetGoal));
  } else {
    std::printf("  not available (GetProcessMemoryInfo reported nothing)\n");
  }

  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(app.path.c_str(), GetFileExInfoStandard, &data)) {
    std::fprintf(stderr, "%s: cannot read its size\n", app.path.c_str());
    return 1;
  }
  const double size = static_cast<double>(data.nFileSizeLow) + 4294967296.0 * data.nFileSizeHigh;
  std::printf("Size of %s: %.0f bytes = %.2f MB (goal <= 1 MiB: %s)\n", app.name.c_str(), size, size / (1024 * 1024),
              Verdict(size <= kSizeGoalBytes));
  return 0;
}
