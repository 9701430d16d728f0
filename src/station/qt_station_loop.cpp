#include "qt_station_loop.h"

#include <QMetaObject>
#include <QTimer>

#include <chrono>
#include <thread>

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

void QtStationLoop::Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::int64_t QtStationLoop::NowMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace station
