#include "task2.h"

#include "../main_window11.h"

namespace station {

TfrmTask2::TfrmTask2(TfrmMain &main)
    : TChoiceTask(main, {.task = 2,
                         .caption = QString::fromUtf8("Выполнение задания № 2."),
                         .page = 2,
                         .boxes = 5,
                         .limit = &TfrmMain::FTask2Seconds,
                         .showClockLabel = true,
                         // A failure during a tick is shown as a notice and the
                         // frame keeps counting, so a passing fault cannot
                         // strand the pupil on this screen.
                         .guardedTick = true,
                         .next = [](TfrmMain &m) {
                           if (ExamTimeOver(m)) return 1000;
                           if (m.FElapsedSeconds > Grade11(m).FGymEyesAfterSeconds && m.FGymEyesDue) return 22;
                           return 30;
                         }}) {}

}  // namespace station
