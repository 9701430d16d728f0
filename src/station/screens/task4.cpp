#include "task4.h"

#include "../main_window11.h"

namespace station {

// The remaining-time label stays as task 2 left it.
TfrmTask4::TfrmTask4(TfrmMain &main)
    : TChoiceTask(main, {.task = 4,
                         .caption = QString::fromUtf8("Выполнение задания № 4."),
                         .pageField = "variantText",
                         .page = 4,
                         .boxes = 6,
                         .limit = &TfrmMain::FTask4Seconds,
                         .next = [](TfrmMain &m) {
                           if (ExamTimeOver(m)) return 1000;
                           // Back from the answer review after the spoken part:
                           // straight back there.
                           if (Grade11(m).FOralPartDone) return 1000;
                           // The eye break comes here at the latest, whatever
                           // the elapsed time.
                           if (m.FGymEyesDue) return 44;
                           return 50;
                         }}) {}

}  // namespace station
