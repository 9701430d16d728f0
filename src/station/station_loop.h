// Timers, posted calls and handler guarding for the window thread.
//
// Everything the station does runs on one thread, driven by timer ticks and
// button events. This seam lets the window code be driven by Qt's event loop
// in the program and by a hand-ticked clock in tests, so tests never wait for
// real time.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace station {

class StationLoop;

// A timer with an interval, an enabled switch and one handler, fired on the
// window thread. The handler is run through StationLoop::RunHandler, so an
// error raised in it is reported and never reaches the event loop. A timer
// whose handler is still running (it opened a message box) is not fired
// again until the handler has returned; other timers keep firing.
class StationTimer {
 public:
  explicit StationTimer(StationLoop &loop) : loop_(loop) {}
  virtual ~StationTimer() = default;
  StationTimer(const StationTimer &) = delete;
  StationTimer &operator=(const StationTimer &) = delete;

  // Changing the interval of a running timer restarts its period.
  virtual void SetInterval(int ms) = 0;
  virtual int Interval() const = 0;
  virtual void SetEnabled(bool on) = 0;
  virtual bool Enabled() const = 0;

  void SetHandler(std::function<void()> handler) { handler_ = std::move(handler); }
  bool Firing() const { return firing_; }

 protected:
  // Called by the backend when the period has elapsed.
  void Fire();

 private:
  StationLoop &loop_;
  std::function<void()> handler_;
  bool firing_ = false;
};

class StationLoop {
 public:
  virtual ~StationLoop() = default;

  // A new disabled timer of 1000 ms.
  virtual std::unique_ptr<StationTimer> CreateTimer() = 0;

  // Runs `fn` from the event loop after the current handler has returned.
  virtual void Post(std::function<void()> fn) = 0;

  // Waits while `busy` answers true, at most `timeoutMs`, in a nested loop
  // that keeps the timers (the exam clock among them) and posted calls
  // running but takes no user input.
  virtual void WaitWhile(const std::function<bool()> &busy, int timeoutMs) = 0;
  virtual std::int64_t NowMs() const = 0;

  // Nested message loops (message boxes, modal windows) opened by our code.
  // Every place that runs a nested loop holds a NestedScope for its length.
  class NestedScope {
   public:
    explicit NestedScope(StationLoop &loop);
    ~NestedScope();
    NestedScope(const NestedScope &) = delete;
    NestedScope &operator=(const NestedScope &) = delete;

   private:
    StationLoop &loop_;
  };
  int NestedDepth() const { return nested_depth_; }

  // Like Post, but if a nested loop is open the call waits until the last
  // one has closed. Handlers further up the stack may still refer to objects
  // that such a call destroys; they are all below the outermost nested loop.
  void PostWhenOutermost(std::function<void()> fn);

  // Runs an event handler; an error raised in it ends the handler and is
  // given to the error reporter with its own text.
  void RunHandler(const std::function<void()> &handler);
  void SetErrorReporter(std::function<void(const QString &)> reporter) {
    reporter_ = std::move(reporter);
  }

 private:
  int nested_depth_ = 0;
  std::vector<std::function<void()>> waiting_for_outermost_;
  std::function<void(const QString &)> reporter_;
};

}  // namespace station
