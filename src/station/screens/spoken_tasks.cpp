#include "spoken_tasks.h"

#include "../main_window11.h"

namespace station {
namespace {

SpokenScreenSpec Prepare5() {
  SpokenScreenSpec s = PreparationSpec(5, 5, &TfrmMain::FPrepare5Seconds);
  s.panelHeight = 41;
  // From here on the exam clock no longer urges the pupil to the spoken part.
  s.onStart = [](TfrmMain &m) { Grade11(m).FOralPartStarted = true; };
  s.next = [](TfrmMain &m, int) { return ExamTimeOver(m) ? 1000 : 51; };
  return s;
}

SpokenScreenSpec Task5() {
  SpokenScreenSpec s = AnswerSpec(5, 6, &TfrmMain::FTask5Seconds);
  // Also when the whole-work time ran out: a revisited task 4 then leads
  // back to the review.
  s.onEnd = [](TfrmMain &m) { Grade11(m).FOralPartDone = true; };
  s.next = [](TfrmMain &m, int) { return ExamTimeOver(m) ? 1000 : 60; };
  return s;
}

SpokenScreenSpec Prepare6() {
  SpokenScreenSpec s = PreparationSpec(6, 7, &TfrmMain::FPrepare6Seconds);
  s.panelHeight = 60;
  s.pageField = "variantText";
  s.countdown = true;
  s.photoChoice = true;
  // 61, 62, 63 for photos 1 to 3, 69 for none.
  s.next = [](TfrmMain &m, int photo) { return ExamTimeOver(m) ? 1000 : 60 + photo; };
  return s;
}

SpokenScreenSpec Task6() {
  // The task's own page is 7; the photos' pages follow it.
  SpokenScreenSpec s = AnswerSpec(6, 7, &TfrmMain::FTask6Seconds);
  s.next = [](TfrmMain &, int) { return 1000; };
  return s;
}

}  // namespace

TfrmPrepare5::TfrmPrepare5(TfrmMain &main) : TSpokenScreen(main, Prepare5()) {}
TfrmTask5::TfrmTask5(TfrmMain &main) : TSpokenScreen(main, Task5()) {}
TfrmPrepare6::TfrmPrepare6(TfrmMain &main) : TSpokenScreen(main, Prepare6()) {}
TfrmTask6::TfrmTask6(TfrmMain &main) : TSpokenScreen(main, Task6()) {}

}  // namespace station
