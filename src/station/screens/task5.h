// Spoken task 5: after the countdown the answer is recorded into the
// participant's folder until the time is up or the pupil ends it.
#pragma once

#include "timed_frame.h"

#include <string>

namespace station {

class TfrmTask5 : public TTimedFrame {
 public:
  explicit TfrmTask5(TfrmMain &main);
  void Start(std::optional<int> arg) override;

  // The recording of this task for the current participant.
  std::string RecordingPath() const;

  int FStartArg = 0;  // given by the screen table, not used

 protected:
  int Limit() const override;
  int EndWork() override;
};

}  // namespace station
