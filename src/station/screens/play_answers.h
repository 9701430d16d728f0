// The grade-11 answer review: answers of tasks 1 to 4 (task 3's typed words
// one a line), the recordings of tasks 5 and 6, and the way back to task 2.
#pragma once

#include "answer_review.h"

namespace station {

class TfrmPlayAnswers : public TAnswerReview {
 public:
  explicit TfrmPlayAnswers(TfrmMain &main);
};

}  // namespace station
