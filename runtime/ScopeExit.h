// Steps that must run when a scope ends, however it ends.
#pragma once

#include <exception>
#include <utility>

namespace tw {

// Runs the step when the scope ends (by return or by exception).
template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F step) : step_(std::move(step)) {}
  ~TScopeExit() { step_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F step_;
};

// Undoes a step unless Dismiss() was called before the scope ends: for
// rolling back work that must not stay half done when a later step throws.
// An undo that fails while an earlier failure is on its way out is dropped:
// the earlier one is the error to report, and two at once would end the
// program.
template <class F>
class TScopeFail {
 public:
  explicit TScopeFail(F undo) : undo_(std::move(undo)), failuresAtStart_(std::uncaught_exceptions()) {}
  ~TScopeFail() noexcept(false) {
    if (!armed_) return;
    if (std::uncaught_exceptions() <= failuresAtStart_) {
      undo_();
      return;
    }
    try {
      undo_();
    } catch (...) {
    }
  }
  // The work succeeded: keep it.
  void Dismiss() { armed_ = false; }
  TScopeFail(const TScopeFail&) = delete;
  TScopeFail& operator=(const TScopeFail&) = delete;

 private:
  F undo_;
  int failuresAtStart_;
  bool armed_ = true;
};

// Holds a flag set for the length of a scope and puts its earlier value back.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag, bool value = true) : flag_(flag), saved_(std::exchange(flag, value)) {}
  ~TFlagScope() { flag_ = saved_; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

}  // namespace tw
