// The grade-7 spoken part right after the listening task: preparation and
// recorded answer of task 2, preparation with the photo choice and recorded
// answer of task 3. None of them looks at the exam clock.
#pragma once

#include "screens/spoken_screen.h"

namespace edition07 {

using station::TfrmMain;

class TfrmPrepare2 : public station::TSpokenScreen {
 public:
  explicit TfrmPrepare2(TfrmMain &main);
};

class TfrmTask2 : public station::TSpokenScreen {
 public:
  explicit TfrmTask2(TfrmMain &main);
};

class TfrmPrepare3 : public station::TSpokenScreen {
 public:
  explicit TfrmPrepare3(TfrmMain &main);
};

// Started with the chosen photo (1 to 3, 0 for none); shows page photo + 5.
class TfrmTask3 : public station::TSpokenScreen {
 public:
  explicit TfrmTask3(TfrmMain &main);
};

}  // namespace edition07
