// The grade-11 listening task: the shared listening task over the variant's
// first page.
#pragma once

#include "listening_task.h"

namespace station {

class TfrmTask1 : public TListeningTask {
 public:
  explicit TfrmTask1(TfrmMain &main);
};

}  // namespace station
