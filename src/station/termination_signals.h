// SIGINT and SIGTERM end the station as its own stop does: the signal handler
// only writes the signal's number to a socket, and the window thread, reading
// it, runs the program's handler (which closes the window, and with it the
// recording and the audio devices).
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace station {

class TerminationSignals {
 public:
  // `onSignal` gets the signal's number. One instance at a time.
  explicit TerminationSignals(std::function<void(int)> onSignal);
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals &) = delete;
  TerminationSignals &operator=(const TerminationSignals &) = delete;

 private:
  std::function<void(int)> on_signal_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace station
