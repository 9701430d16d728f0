// TFirstFailure: for steps that must all run even when one of them fails
// (every index rebuilt, every attached table reached): each step's failure
// is caught and kept, and the first one passes on once all have run.
#pragma once

#include <exception>
#include <utility>

namespace ts {

class TFirstFailure {
 public:
  template <class F>
  void Run(F&& step) {
    try {
      std::forward<F>(step)();
    } catch (...) {
      if (!failure_) failure_ = std::current_exception();
    }
  }
  bool Failed() const { return static_cast<bool>(failure_); }
  void Rethrow() const {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::exception_ptr failure_;
};

}  // namespace ts
