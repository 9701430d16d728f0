// The grade-7 program on a hand-ticked loop, scripted boxes and scripted
// audio, started on the grade-7 demo materials in a working folder of its
// own, with the countdown overlay and the text-check window as the program
// block creates them.
#pragma once

#include "station_fixture.h"

#include "edition07.h"

#include "screens/five_sec.h"
#include "screens/timed_frame.h"
#include "screens/test_rtf.h"

#include <QComboBox>
#include <QPushButton>

#include <filesystem>

namespace edition07::testing {

using namespace station;
using namespace station::testing;

inline const char kKey[] = "2020-05-20_6_000123_0007_2";

class Grade7 : public StationFixture {
 protected:
  void SetUp() override {
    StationFixture::SetUp();
    settings_ = Grade7Settings();
    std::filesystem::copy_file(GRADE7_DEMO_DIR "/klt-fl7.kim", "klt-fl7.kim");
  }

  // Start-up on the demo materials; the first screen is the hardware check.
  TfrmMain &Started() {
    TfrmMain &w = Window();
    EXPECT_TRUE(w.FormCreate());
    auto *overlay = new T_FiveSec(w, loop_);  // owned by the window
    // The overlay's nested loop: time passes in its steps until it closes.
    overlay->RunModalLoop = [this](T_FiveSec &o) {
      for (int step = 0; o.Showing() && step < 100; ++step) loop_.Advance(250);
    };
    auto *rtf = new TfrmTestRTF(w);
    rtf->RunModalLoop = [](TfrmTestRTF &win) { win.Button1->click(); };
    return w;
  }

  // The demo materials loaded, a participant whose answers code entry has
  // reset, and the exam clock running.
  TfrmMain &Participant() {
    TfrmMain &w = Started();
    w.FStationKey = kKey;
    w.FStudID = "12345";
    for (const char *field : {"a1", "a4", "a5", "a6"}) SetAnswer(field, "00000");
    w.FGymEyesDue = true;
    w.FElapsedSeconds = 600;
    w.TimerControl->SetEnabled(true);
    return w;
  }
  std::string Folder() { return Window().AnswerRoot() + "Answer_" + kKey + "/12345"; }

  // A new window on the same working folder, for the next case of a table.
  void Restart() {
    window_.reset();
    FakeAudio::Get().Reset();
    boxes_.shown.clear();
  }

  template <class Frame>
  Frame *Now() {
    return dynamic_cast<Frame *>(Window().CurrentFrame());
  }

  // The pupil confirms the early end; the screen ends at its next tick.
  void EndEarly() {
    auto *frame = dynamic_cast<TTimedFrame *>(Window().CurrentFrame());
    ASSERT_NE(frame, nullptr);
    boxes_.Queue(BoxAnswer::Yes);
    frame->Button1->click();
    loop_.AdvanceSeconds(1);
  }

  std::string Answer(const char *field) { return Window().answers->FieldNamed(field).AsString(); }
  void SetAnswer(const char *field, const std::string &value) {
    Window().answers->Edit();
    Window().answers->FieldNamed(field).SetAsString(value);
    Window().answers->Post();
  }

  static std::vector<int> Picks(const std::vector<QComboBox *> &boxes) {
    std::vector<int> picks;
    for (QComboBox *b : boxes) picks.push_back(b->currentIndex());
    return picks;
  }
};

}  // namespace edition07::testing
