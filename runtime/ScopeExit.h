// Steps that must run when a scope ends, however it ends.
#pragma once

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

// Undoes a step unless the scope ends by Dismiss(): for rolling back work
// that must not stay half done when a later step throws.
template <class F>
class TScopeFail {
 public:
  explicit TScopeFail(F undo) : undo_(std::move(undo)) {}
  ~TScopeFail() {
    if (armed_) undo_();
  }
  // The work succeeded: keep it.
  void Dismiss() { armed_ = false; }
  TScopeFail(const TScopeFail&) = delete;
  TScopeFail& operator=(const TScopeFail&) = delete;

 private:
  F undo_;
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
