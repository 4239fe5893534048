// A message recorder for window tests: what controls and windows really
// received, in order, checked against expected sequences written as static
// tables. Framework messages are recorded where the framework delivers them
// (each watched control's ControlProc records, then runs WndProc); messages to
// plain windows through a WH_CALLWNDPROC hook (sent) and a WH_GETMESSAGE hook
// (posted). A failed check prints the two sequences side by side; every check
// clears the log.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "ui/Controls.h"

namespace tw::test {

// Flags of an expected or recorded message.
inline constexpr unsigned kSent = 0x01;      // delivered synchronously (Deliver, SendMessage)
inline constexpr unsigned kPosted = 0x02;    // taken from the queue
inline constexpr unsigned kParent = 0x04;    // to the watch marked as the parent
inline constexpr unsigned kOptional = 0x08;  // expected only: may be missing
inline constexpr unsigned kWParam = 0x10;    // expected only: compare wParam under its mask
inline constexpr unsigned kLParam = 0x20;    // expected only: compare lParam under its mask

struct TExpectedMessage {
  std::uint32_t message;
  unsigned flags;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::uintptr_t wParamMask = ~std::uintptr_t{0};
  std::intptr_t lParamMask = ~std::intptr_t{0};
};

struct TRecordedMessage {
  std::uint32_t message;
  unsigned flags;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  std::string target;
};

class TMessageRecorder {
 public:
  TMessageRecorder();
  ~TMessageRecorder();
  TMessageRecorder(const TMessageRecorder&) = delete;
  TMessageRecorder& operator=(const TMessageRecorder&) = delete;

  // Records every message that reaches the control's ControlProc.
  void Watch(TControl& control, std::string name, bool isParent = false);
  // Records the messages sent and posted to a window of this thread.
  void WatchWindow(HWND window, std::string name, bool isParent = false);
  void Unwatch(TControl& control);
  // Only these messages are recorded (none given: all but the noisy ones).
  void RecordOnly(std::set<std::uint32_t> messages) { only_ = std::move(messages); }
  void Ignore(std::uint32_t message) { ignored_.insert(message); }

  const std::vector<TRecordedMessage>& Log() const { return log_; }
  void Clear() { log_.clear(); }

  // Matches the log against the table; the log is cleared either way.
  ::testing::AssertionResult Check(std::span<const TExpectedMessage> expected);

  // The recorder of the hooks (one at a time).
  void Record(std::uint32_t message, unsigned flags, std::uintptr_t wParam, std::intptr_t lParam,
              const std::string& target);
  bool Wanted(std::uint32_t message) const;

 private:
  struct ControlWatch;
  struct WindowWatch {
    HWND window;
    std::string name;
    bool isParent;
  };
  friend LRESULT CALLBACK RecorderSentHook(int, WPARAM, LPARAM);
  friend LRESULT CALLBACK RecorderPostedHook(int, WPARAM, LPARAM);
  const WindowWatch* FindWindow(HWND window) const;

  std::vector<std::unique_ptr<ControlWatch>> controls_;
  std::vector<WindowWatch> windows_;
  std::vector<TRecordedMessage> log_;
  std::set<std::uint32_t> only_;
  std::set<std::uint32_t> ignored_;
  // Posted messages taken from the queue and not yet seen by a watched control.
  std::vector<MSG> pendingPosted_;
  HHOOK sentHook_ = nullptr;
  HHOOK postedHook_ = nullptr;
};

// The name of a message number, for the side-by-side report.
std::string MessageName(std::uint32_t message);

}  // namespace tw::test
