// Grade-11 written task 4: six drop-down answer boxes over the variant's
// page 4; the eye break follows here at the latest.
#pragma once

#include "choice_task.h"

namespace station {

class TfrmTask4 : public TChoiceTask {
 public:
  explicit TfrmTask4(TfrmMain &main);
};

}  // namespace station
