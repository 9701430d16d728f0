#include "play_answers.h"

namespace station {

TfrmPlayAnswers::TfrmPlayAnswers(TfrmMain &main)
    : TAnswerReview(main, {.answers = {{1, QRect(24, 96, 480, 22), false},
                                       {2, QRect(24, 124, 480, 22), false},
                                       {3, QRect(24, 152, 480, 7 * 20), true},
                                       {4, QRect(24, 300, 480, 22), false}},
                           .spokenTasks = {5, 6},
                           .firstWrittenTask = 2,
                           .lastWrittenTask = 4,
                           .wayBackScreen = 20,
                           .clearsStepOnStart = true}) {}

}  // namespace station
