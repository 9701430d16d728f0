#include "qt_station_loop.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <chrono>

namespace station {
namespace {

class QtStationTimer : public StationTimer {
 public:
  explicit QtStationTimer(StationLoop &loop) : StationTimer(loop) {
    timer_.setInterval(1000);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
  }
  void SetInterval(int ms) override { timer_.setInterval(ms); }
  int Interval() const override { return timer_.interval(); }
  void SetEnabled(bool on) override {
    if (on && !timer_.isActive())
      timer_.start();
    else if (!on)
      timer_.stop();
  }
  bool Enabled() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

QtStationLoop::QtStationLoop() = default;
QtStationLoop::~QtStationLoop() = default;

std::unique_ptr<StationTimer> QtStationLoop::CreateTimer() {
  return std::make_unique<QtStationTimer>(*this);
}

void QtStationLoop::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(
      &context_, [this, fn = std::move(fn)] { RunHandler(fn); }, Qt::QueuedConnection);
}

void QtStationLoop::WaitWhile(const std::function<bool()> &busy, int timeoutMs) {
  if (!busy()) return;
  NestedScope nested(*this);
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (!busy() || clock.elapsed() >= timeoutMs) loop.quit();
  });
  poll.start();
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

std::int64_t QtStationLoop::NowMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace station
