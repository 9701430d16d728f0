// The grade-11 spoken part: preparation and recorded answer of task 5, the
// preparation with the photo choice and the recorded answer of task 6. Each
// is the shared spoken screen with the grade-11 pages, limits and hand-overs;
// all of them look at the exam clock.
#pragma once

#include "spoken_screen.h"

namespace station {

class TfrmPrepare5 : public TSpokenScreen {
 public:
  explicit TfrmPrepare5(TfrmMain &main);
};

class TfrmTask5 : public TSpokenScreen {
 public:
  explicit TfrmTask5(TfrmMain &main);
};

class TfrmPrepare6 : public TSpokenScreen {
 public:
  explicit TfrmPrepare6(TfrmMain &main);
};

// Started with the chosen photo (1 to 3, 0 for none); shows page 7 + photo.
class TfrmTask6 : public TSpokenScreen {
 public:
  explicit TfrmTask6(TfrmMain &main);
};

}  // namespace station
