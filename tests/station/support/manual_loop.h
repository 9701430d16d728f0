// A station loop driven by hand: time moves only when a test advances it.
#pragma once

#include "station_loop.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace station::testing {

class ManualLoop : public StationLoop {
 public:
  ~ManualLoop() override;
  std::unique_ptr<StationTimer> CreateTimer() override;
  void Post(std::function<void()> fn) override { posted_.push_back(std::move(fn)); }
  // Moves the clock on in 20 ms steps, firing timers, as the nested wait of
  // the program does.
  void WaitWhile(const std::function<bool()> &busy, int timeoutMs) override {
    NestedScope nested(*this);
    const std::int64_t until = now_ + timeoutMs;
    while (busy() && now_ < until) {
      Advance(20);
      slept_ms_ += 20;
    }
  }
  std::int64_t NowMs() const override { return now_; }

  // Moves the clock on by `ms`, firing due timers in time order (a timer
  // whose handler is still running is skipped, as the event loop does) and
  // running posted calls after each handler has returned.
  void Advance(std::int64_t ms);
  // Seconds of exam-clock style ticks.
  void AdvanceSeconds(int seconds) { Advance(std::int64_t(seconds) * 1000); }
  // Runs the posted calls, as the event loop would once the current handler
  // has returned.
  void RunPosted();

  int EnabledTimerCount() const;
  std::int64_t SleptMs() const { return slept_ms_; }
  std::size_t PostedCount() const { return posted_.size(); }

  class Timer;

 private:
  friend class Timer;
  std::vector<Timer *> timers_;
  std::deque<std::function<void()>> posted_;
  std::int64_t now_ = 0;
  std::int64_t slept_ms_ = 0;
};

}  // namespace station::testing
