// Preparation for spoken task 6 with the choice of the photo to speak about.
#pragma once

#include "timed_frame.h"

#include "photo_choice.h"

namespace station {

class TfrmPrepare6 : public TTimedFrame {
 public:
  explicit TfrmPrepare6(TfrmMain &main);
  void Start(std::optional<int> arg) override;
  // The tick: the choice's colour, then the common count.
  void Timer1Timer();

  TPhotoRadioGroup *nPhoto = nullptr;
  int FPhotoChoice = 9;  // 1 to 3, or 9 for none

 protected:
  int Limit() const override;
  int EndWork() override;
  QString EarlyEndQuestion() const override;
};

}  // namespace station
