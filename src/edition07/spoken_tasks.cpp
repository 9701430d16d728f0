#include "spoken_tasks.h"

#include "main_window.h"

namespace edition07 {
namespace {

using station::SpokenScreenSpec;

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

// Every limit here is below this, so a confirmed early end passes it.
constexpr int kEarlyEnd = 1000;

SpokenScreenSpec Preparation(int task, int page, int TfrmMain::*limit, bool photoChoice, int next) {
  SpokenScreenSpec s;
  s.caption = U("Подготовка к выполнению задания № %1").arg(task);
  s.buttonText = U("Я готов!");
  s.firstPage = page;
  s.title = U("Подготовка к заданию № %1:").arg(task);
  s.limit = limit;
  s.countdown = photoChoice;
  s.testsExamClock = false;
  s.photoChoice = photoChoice;
  s.preparation = true;
  s.earlyEndValue = kEarlyEnd;
  // With the photo choice the next screen is 30 + photo (39 for none).
  s.next = [next, photoChoice](TfrmMain &, int photo) { return photoChoice ? next + photo : next; };
  return s;
}

SpokenScreenSpec Answer(int task, int firstPage, int TfrmMain::*limit, int next) {
  SpokenScreenSpec s;
  s.caption = U("Выполнение задания № %1. Идет запись...").arg(task);
  s.buttonText = U("Завершить ответ!");
  s.firstPage = firstPage;
  s.title = U("Отвечайте! Идет запись:");
  s.limit = limit;
  s.countdown = true;
  s.testsExamClock = false;
  s.earlyEndValue = kEarlyEnd;
  s.recordingSuffix = "_" + std::to_string(task) + ".ogg";
  s.next = [next](TfrmMain &, int) { return next; };
  return s;
}

}  // namespace

// The grade-7 window keeps its two preparation limits where grade 11 keeps
// those of tasks 5 and 6.
TfrmPrepare2::TfrmPrepare2(TfrmMain &main) : TSpokenScreen(main, Preparation(2, 3, &TfrmMain::FPrepare5Seconds, false, 21)) {}
TfrmTask2::TfrmTask2(TfrmMain &main) : TSpokenScreen(main, Answer(2, 4, &TfrmMain::FTask2Seconds, 30)) {}
TfrmPrepare3::TfrmPrepare3(TfrmMain &main) : TSpokenScreen(main, Preparation(3, 5, &TfrmMain::FPrepare6Seconds, true, 30)) {}
TfrmTask3::TfrmTask3(TfrmMain &main) : TSpokenScreen(main, Answer(3, 5, &TfrmMain::FTask3Seconds, 40)) {}

}  // namespace edition07
