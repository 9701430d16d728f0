// Grade-11 written task 2: five drop-down answer boxes over the variant's
// page 2; the eye break may follow once enough of the work has passed.
#pragma once

#include "choice_task.h"

namespace station {

class TfrmTask2 : public TChoiceTask {
 public:
  explicit TfrmTask2(TfrmMain &main);
};

}  // namespace station
