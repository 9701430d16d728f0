// The grade-7 answer review: answers of tasks 1, 4, 5 and 6, the recordings
// of tasks 2 and 3, and the way back to task 4.
#pragma once

#include "screens/answer_review.h"

namespace edition07 {

using station::TfrmMain;

class TfrmPlayAnswers : public station::TAnswerReview {
 public:
  explicit TfrmPlayAnswers(TfrmMain &main);
};

}  // namespace edition07
