#include "task1.h"

#include "../main_window11.h"

namespace station {

// The spoken part is still to come for this participant.
TfrmTask1::TfrmTask1(TfrmMain &main)
    : TListeningTask(main, {.page = 1,
                            .reverseTabOrder = false,
                            .earlyEndValue = 10000,
                            .onStart = [](TfrmMain &m) { Grade11(m).FOralPartDone = false; }}) {}

}  // namespace station
