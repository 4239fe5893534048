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
