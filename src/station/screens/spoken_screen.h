// A screen of the spoken part: a counted preparation (optionally with the
// choice of a photo) or a recorded answer into the participant's folder.
// Each edition describes its spoken screens with a SpokenScreenSpec.
#pragma once

#include "photo_choice.h"
#include "timed_frame.h"

#include <functional>
#include <string>

namespace station {

struct SpokenScreenSpec {
  QString caption;             // the bottom panel's text
  QString buttonText;
  int panelHeight = 49;
  std::string pageField = "VariantText";
  // The page shown is firstPage + the Start argument (the chosen photo).
  int firstPage = 0;
  QString title;               // the top bar's step caption
  int TfrmMain::*limit = nullptr;
  bool countdown = false;      // the countdown overlay runs before counting
  bool testsExamClock = true;
  bool photoChoice = false;    // the preparation that chooses the photo
  bool preparation = false;    // asks the preparation's early-end question
  int earlyEndValue = 10000;
  // The recording's file suffix ("_5.ogg"); empty on a preparation.
  std::string recordingSuffix;
  // Edition state changed when the screen starts or ends; may be empty.
  std::function<void(TfrmMain &)> onStart;
  std::function<void(TfrmMain &)> onEnd;
  // The next screen; `photo` is the chosen photo (1 to 3, 9 for none) on the
  // photo choice, else the Start argument.
  std::function<int(TfrmMain &, int photo)> next;
};

// The texts both editions give a preparation for task `task` shown on
// `page`, and an answer recorded into "_<task>.ogg" shown on `firstPage` plus
// the chosen photo (with the countdown first). The rest keeps the defaults
// above; `next` is the edition's.
SpokenScreenSpec PreparationSpec(int task, int page, int TfrmMain::*limit);
SpokenScreenSpec AnswerSpec(int task, int firstPage, int TfrmMain::*limit);

class TSpokenScreen : public TTimedFrame {
 public:
  TSpokenScreen(TfrmMain &main, SpokenScreenSpec spec);
  void Start(std::optional<int> arg) override;
  // The tick: the photo choice's colour where there is one, then the count.
  void Timer1Timer();

  // The recording of this screen for the current participant.
  std::string RecordingPath() const;
  const SpokenScreenSpec &Spec() const { return spec_; }

  TPhotoRadioGroup *nPhoto = nullptr;  // only on the photo choice
  int FPhotoChoice = 9;                // 1 to 3, or 9 for none
  int FStartArg = 0;                   // the Start argument

 protected:
  int Limit() const override;
  int EndWork() override;
  bool TestsExamClock() const override { return spec_.testsExamClock; }
  QString EarlyEndQuestion() const override;
  int EarlyEndValue() const override { return spec_.earlyEndValue; }

 private:
  SpokenScreenSpec spec_;
};

}  // namespace station
