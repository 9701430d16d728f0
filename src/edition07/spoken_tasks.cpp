#include "spoken_tasks.h"

#include "main_window.h"

namespace edition07 {
namespace {

using station::SpokenScreenSpec;

// Every limit here is below this, so a confirmed early end passes it.
constexpr int kEarlyEnd = 1000;

// The grade-7 spoken part runs its own time even when the whole-work time is
// over.
SpokenScreenSpec Grade7(SpokenScreenSpec s, std::function<int(TfrmMain &, int)> next) {
  s.testsExamClock = false;
  s.earlyEndValue = kEarlyEnd;
  s.next = std::move(next);
  return s;
}

SpokenScreenSpec Prepare3() {
  // The grade-7 window keeps this limit where grade 11 keeps task 6's.
  SpokenScreenSpec s = station::PreparationSpec(3, 5, &TfrmMain::FPrepare6Seconds);
  s.countdown = true;
  s.photoChoice = true;
  // 31, 32, 33 for photos 1 to 3, 39 for none.
  return Grade7(s, [](TfrmMain &, int photo) { return 30 + photo; });
}

}  // namespace

// The grade-7 window keeps this limit where grade 11 keeps task 5's.
TfrmPrepare2::TfrmPrepare2(TfrmMain &main)
    : TSpokenScreen(main, Grade7(station::PreparationSpec(2, 3, &TfrmMain::FPrepare5Seconds),
                                 [](TfrmMain &, int) { return 21; })) {}
TfrmTask2::TfrmTask2(TfrmMain &main)
    : TSpokenScreen(main,
                    Grade7(station::AnswerSpec(2, 4, &TfrmMain::FTask2Seconds), [](TfrmMain &, int) { return 30; })) {}
TfrmPrepare3::TfrmPrepare3(TfrmMain &main) : TSpokenScreen(main, Prepare3()) {}
// Page 5 + photo: 6, 7, 8 for photos 1 to 3, the preparation's page 5 for none.
TfrmTask3::TfrmTask3(TfrmMain &main)
    : TSpokenScreen(main,
                    Grade7(station::AnswerSpec(3, 5, &TfrmMain::FTask3Seconds), [](TfrmMain &, int) { return 40; })) {}

}  // namespace edition07
