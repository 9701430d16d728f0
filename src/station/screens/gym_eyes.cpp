#include "gym_eyes.h"

namespace station {

// The Start argument is the written task after which the break comes (2, 3
// or 4): 30, 40 or 50 follow.
TfrmGymEyes::TfrmGymEyes(TfrmMain &main)
    : TEyeBreak(main, {.buttonWidth = 185, .clearsDueAtStart = true, .next = [](TfrmMain &, int task) {
                         return task * 10 + 10;
                       }}) {}

}  // namespace station
