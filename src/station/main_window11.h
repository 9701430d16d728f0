// The grade-11 main window: the shared main window and what only grade 11
// keeps on it, the state of the spoken part and the eye-break threshold.
#pragma once

#include "main_window.h"

namespace station {

class TfrmMainRE11 : public TfrmMain {
 public:
  TfrmMainRE11(const EditionSettings &settings, StationServices services);

  // Task 5 has been recorded: a revisited task 4 leads back to the review.
  bool FOralPartDone = false;
  // Elapsed seconds after which written tasks 2 and 3 offer the eye break.
  int FGymEyesAfterSeconds = 0;
  // The preparation for task 5 has been reached: no 20-minute warning.
  bool FOralPartStarted = false;

 protected:
  bool ClockWarningSuppressed() const override { return FOralPartStarted; }
};

// The grade-11 window that runs a grade-11 screen.
inline TfrmMainRE11 &Grade11(TfrmMain &main) { return static_cast<TfrmMainRE11 &>(main); }

}  // namespace station
