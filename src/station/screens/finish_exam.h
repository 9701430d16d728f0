// The finish screen: confirms the end of a participant's work and either
// starts the station for the next participant or stops it.
#pragma once

#include "../frame.h"

class QFrame;
class QLabel;
class QPushButton;

namespace station {

class StationTimer;

class TfrmFinishExam : public TFrame {
 public:
  explicit TfrmFinishExam(TfrmMain &main);

  void Start(std::optional<int> arg) override;

  // The next participant: code entry after the hand-over.
  void Button1Click();
  void Timer1Timer();
  // Stops the station at once, without a question.
  void Button2Click();

  // The caption a square button shows (its text is wrapped inside it).
  static QString Caption(const QPushButton *button);

  QFrame *Panel1 = nullptr;
  QLabel *Label1 = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button2 = nullptr;
  StationTimer *Timer1 = nullptr;
};

}  // namespace station
