#include "written_tasks.h"

#include "main_window.h"

namespace edition07 {
namespace {

using station::ChoiceTaskSpec;
using station::ExamTimeOver;

// A confirmed early end sets the count here (the next tick ends the screen).
constexpr int kEarlyEnd = 3000;
// The early-end button of the task screens; the break's is wider.
constexpr QSize kButtonSize(119, 25);

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

ChoiceTaskSpec WrittenTask(int task, int page, int itemsPerBox, int TfrmMain::*limit,
                           std::function<int(TfrmMain &)> next) {
  ChoiceTaskSpec s;
  s.task = task;
  s.caption = U("Выполнение задания № %1.").arg(task);
  s.page = page;
  s.itemsPerBox = itemsPerBox;
  s.limit = limit;
  s.showClockLabel = task == 4;
  s.guardedTick = task == 4;
  s.reverseTabOrder = task != 4;
  s.earlyEndValue = kEarlyEnd;
  s.next = std::move(next);
  s.buttonSize = kButtonSize;
  return s;
}

}  // namespace

TfrmTask1::TfrmTask1(TfrmMain &main)
    : TListeningTask(main, {.page = 2, .reverseTabOrder = true, .earlyEndValue = kEarlyEnd, .onStart = {}, .buttonSize = kButtonSize}) {}

TfrmTask4::TfrmTask4(TfrmMain &main)
    : TChoiceTask(main, WrittenTask(4, 9, 0, &TfrmMain::FTask4Seconds, [](TfrmMain &m) {
        if (ExamTimeOver(m)) return 1000;
        return m.FGymEyesDue ? 44 : 50;
      })) {}

TfrmTask5::TfrmTask5(TfrmMain &main)
    : TChoiceTask(main, WrittenTask(5, 10, 4, &TfrmMain::FTask5Seconds,
                                    [](TfrmMain &m) { return ExamTimeOver(m) ? 1000 : 60; })) {}

TfrmTask6::TfrmTask6(TfrmMain &main)
    : TChoiceTask(main, WrittenTask(6, 11, 0, &TfrmMain::FTask6Seconds, [](TfrmMain &) { return 1000; })) {}

TfrmGymEyes::TfrmGymEyes(TfrmMain &main)
    : TEyeBreak(main, {.buttonWidth = 156,
                       .buttonHeight = kButtonSize.height(),
                       .clearsDueAtStart = false, .next = [](TfrmMain &, int) { return 50; }}) {}

}  // namespace edition07
