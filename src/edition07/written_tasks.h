// The grade-7 listening task, written tasks 4 to 6 and the eye break: the
// station's shared task screens with the grade-7 pages, boxes and hand-overs.
#pragma once

#include "screens/choice_task.h"
#include "screens/eye_break.h"
#include "screens/listening_task.h"

namespace edition07 {

using station::TfrmMain;

// Page 2; three options a box; leads to the preparation for task 2.
class TfrmTask1 : public station::TListeningTask {
 public:
  explicit TfrmTask1(TfrmMain &main);
};

// Page 9; every box offers the whole list; leads to the eye break while it
// is due.
class TfrmTask4 : public station::TChoiceTask {
 public:
  explicit TfrmTask4(TfrmMain &main);
};

// Page 10; four options of its own in each box.
class TfrmTask5 : public station::TChoiceTask {
 public:
  explicit TfrmTask5(TfrmMain &main);
};

// Page 11; every box offers the whole list; always followed by the review.
class TfrmTask6 : public station::TChoiceTask {
 public:
  explicit TfrmTask6(TfrmMain &main);
};

// After task 4 only; leaves the "break due" flag to the review's way back.
class TfrmGymEyes : public station::TEyeBreak {
 public:
  explicit TfrmGymEyes(TfrmMain &main);
};

}  // namespace edition07
