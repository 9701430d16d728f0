// The station loop on Qt's event loop: QTimer-backed timers and queued calls.
#pragma once

#include "station_loop.h"

#include <QObject>

namespace station {

class QtStationLoop : public StationLoop {
 public:
  QtStationLoop();
  ~QtStationLoop() override;

  std::unique_ptr<StationTimer> CreateTimer() override;
  void Post(std::function<void()> fn) override;
  void WaitWhile(const std::function<bool()> &busy, int timeoutMs) override;
  std::int64_t NowMs() const override;

 private:
  QObject context_;
};

}  // namespace station
