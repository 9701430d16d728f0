// Preparation for spoken task 5: the task page and a counted preparation
// time before the recording.
#pragma once

#include "timed_frame.h"

namespace station {

class TfrmPrepare5 : public TTimedFrame {
 public:
  explicit TfrmPrepare5(TfrmMain &main);
  void Start(std::optional<int> arg) override;

 protected:
  int Limit() const override;
  int EndWork() override;
  QString EarlyEndQuestion() const override;
};

}  // namespace station
