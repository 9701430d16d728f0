// The new output file that kimtool is writing goes when SIGINT or SIGTERM
// ends the tool: a pack of hundreds of megabytes stopped by the user must not
// leave a file of that size beside the output.
#pragma once

#include <signal.h>

#include <string>

namespace kim {

// While an object lives, SIGINT and SIGTERM remove `path` before the tool
// ends as the signal would have ended it.
class TRemoveOnSignal {
 public:
  explicit TRemoveOnSignal(const std::string& path);
  ~TRemoveOnSignal();
  TRemoveOnSignal(const TRemoveOnSignal&) = delete;
  TRemoveOnSignal& operator=(const TRemoveOnSignal&) = delete;
};

// While an object lives, SIGINT and SIGTERM wait: the file is created and
// registered with TRemoveOnSignal before a signal can end the tool.
class THeldSignals {
 public:
  THeldSignals();
  ~THeldSignals();
  THeldSignals(const THeldSignals&) = delete;
  THeldSignals& operator=(const THeldSignals&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace kim
