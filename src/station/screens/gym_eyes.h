// The eye break between written tasks: a counted pause with no page, offered
// once per participant.
#pragma once

#include "timed_frame.h"

namespace station {

class TfrmGymEyes : public TTimedFrame {
 public:
  explicit TfrmGymEyes(TfrmMain &main);
  // `arg` is the written task after which the break comes (2, 3 or 4).
  void Start(std::optional<int> arg) override;

  int FNextTask = 0;

 protected:
  int Limit() const override;
  int EndWork() override;
  QString EarlyEndQuestion() const override;
  int EarlyEndValue() const override { return 3000; }
  bool GuardedTick() const override { return true; }
};

}  // namespace station
