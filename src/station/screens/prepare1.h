// Preparation for the listening task: the preparation audio plays while the
// top bar counts its length; the screen cannot be ended early.
#pragma once

#include "timed_frame.h"

namespace station {

class TfrmPrepare1 : public TTimedFrame {
 public:
  explicit TfrmPrepare1(TfrmMain &main);
  void Start(std::optional<int> arg) override;

 protected:
  int Limit() const override;
  int EndWork() override;
  // Only the audio's own length ends this screen.
  bool TestsExamClock() const override { return false; }
};

}  // namespace station
