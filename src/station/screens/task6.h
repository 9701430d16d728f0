// Spoken task 6: the page of the chosen photo (or of the task without one),
// the countdown, then the recorded answer. Always followed by the review.
#pragma once

#include "timed_frame.h"

#include <string>

namespace station {

class TfrmTask6 : public TTimedFrame {
 public:
  explicit TfrmTask6(TfrmMain &main);
  // `arg` is the chosen photo 1 to 3, or 0 for none.
  void Start(std::optional<int> arg) override;

  std::string RecordingPath() const;

  int FPhoto = 0;

 protected:
  int Limit() const override;
  int EndWork() override;
};

}  // namespace station
