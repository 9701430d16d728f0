#include "manual_loop.h"

#include <algorithm>

namespace station::testing {

class ManualLoop::Timer : public StationTimer {
 public:
  explicit Timer(ManualLoop &loop) : StationTimer(loop), loop_(loop) { loop_.timers_.push_back(this); }
  ~Timer() override {
    auto &v = loop_.timers_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  void SetInterval(int ms) override {
    interval_ = ms;
    if (enabled_) due_ = loop_.now_ + Period();
  }
  int Interval() const override { return interval_; }
  void SetEnabled(bool on) override {
    if (on && !enabled_) due_ = loop_.now_ + Period();
    enabled_ = on;
  }
  bool Enabled() const override { return enabled_; }

  std::int64_t Period() const { return interval_ > 0 ? interval_ : 1; }
  void Trigger() { Fire(); }

  int interval_ = 1000;
  bool enabled_ = false;
  std::int64_t due_ = 0;

 private:
  ManualLoop &loop_;
};

ManualLoop::~ManualLoop() = default;

std::unique_ptr<StationTimer> ManualLoop::CreateTimer() { return std::make_unique<Timer>(*this); }

void ManualLoop::Advance(std::int64_t ms) {
  const std::int64_t target = now_ + ms;
  for (;;) {
    Timer *next = nullptr;
    for (Timer *t : timers_)
      if (t->enabled_ && t->due_ <= target && (!next || t->due_ < next->due_)) next = t;
    if (!next) break;
    now_ = std::max(now_, next->due_);
    next->due_ += next->Period();
    if (!next->Firing()) {
      next->Trigger();
      RunPosted();
    }
  }
  now_ = std::max(now_, target);
}

void ManualLoop::RunPosted() {
  while (!posted_.empty()) {
    auto fn = std::move(posted_.front());
    posted_.pop_front();
    RunHandler(fn);
  }
}

int ManualLoop::EnabledTimerCount() const {
  return int(std::count_if(timers_.begin(), timers_.end(), [](const Timer *t) { return t->enabled_; }));
}

}  // namespace station::testing
