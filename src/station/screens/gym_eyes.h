// The grade-11 eye break between written tasks: taken from its start, and
// followed by the task after the one it came after.
#pragma once

#include "eye_break.h"

namespace station {

class TfrmGymEyes : public TEyeBreak {
 public:
  explicit TfrmGymEyes(TfrmMain &main);
};

}  // namespace station
