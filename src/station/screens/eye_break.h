// The eye break: a counted pause with no page, offered once per participant.
// The editions differ in who clears the "break due" flag and where the break
// leads; they describe that with an EyeBreakSpec.
#pragma once

#include "timed_frame.h"

#include <functional>

namespace station {

struct EyeBreakSpec {
  int buttonWidth = 185;
  int buttonHeight = 33;
  // The break counts as taken from its start (the flag is cleared there).
  bool clearsDueAtStart = true;
  // The next screen when the whole-work time is not over; `arg` is the
  // Start argument (the task the break follows, where the edition gives it).
  std::function<int(TfrmMain &, int arg)> next;
};

class TEyeBreak : public TTimedFrame {
 public:
  TEyeBreak(TfrmMain &main, EyeBreakSpec spec);
  void Start(std::optional<int> arg) override;

  int FNextTask = 0;  // the Start argument

 protected:
  int Limit() const override;
  int EndWork() override;
  QString EarlyEndQuestion() const override;
  int EarlyEndValue() const override { return 3000; }
  bool GuardedTick() const override { return true; }

 private:
  EyeBreakSpec spec_;
};

}  // namespace station
