#include "play_answers.h"

namespace edition07 {

// The step caption, seconds and gauge keep what the last task left.
TfrmPlayAnswers::TfrmPlayAnswers(TfrmMain &main)
    : TAnswerReview(main, {.answers = {{1, QRect(24, 96, 480, 22), false},
                                       {4, QRect(24, 190, 480, 22), false},
                                       {5, QRect(24, 218, 480, 22), false},
                                       {6, QRect(24, 246, 480, 22), false}},
                           .spokenTasks = {2, 3},
                           .firstWrittenTask = 4,
                           .lastWrittenTask = 6,
                           .wayBackScreen = 40,
                           .clearsStepOnStart = false}) {}

}  // namespace edition07
