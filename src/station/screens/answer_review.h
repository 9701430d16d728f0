// The answer review: the participant's written answers as stored, playback
// of the recordings, the way back to the written tasks while time remains,
// and closing the participant's work (the answers file and the exam clock).
// Each edition names its answers, recordings and way back in a ReviewSpec.
#pragma once

#include "../frame.h"

#include <QRect>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace ts {
class TdvoBinaryStreamFormat;
}

namespace station {

class StationTimer;

struct ReviewSpec {
  struct Answer {
    int task = 0;        // shows "a<task>" in the label Ans<task>
    QRect box;
    bool words = false;  // typed words joined by "=", one a line
  };
  std::vector<Answer> answers;
  // The two spoken tasks whose recordings ("_<n>.ogg") are offered besides
  // the spoken code.
  int spokenTasks[2] = {0, 0};
  // The written tasks the way back returns to, and the screen it starts.
  int firstWrittenTask = 0;
  int lastWrittenTask = 0;
  int wayBackScreen = 0;
  // The top bar's step caption, seconds and gauge are cleared at start;
  // otherwise they keep what the previous screen left.
  bool clearsStepOnStart = true;
};

class TAnswerReview : public TFrame {
 public:
  TAnswerReview(TfrmMain &main, ReviewSpec spec);
  ~TAnswerReview() override;

  void Start(std::optional<int> arg) override;

  // Play buttons: each plays one recording of the participant.
  void btnPlayIDClick();
  void btnPlay2_1Click();
  void btnPlay2_2Click();
  void btnPlay1Click();
  void btnPlay2_3Click();
  void btnPlay2_4Click();
  void btnPlay2_5Click();
  void btnPlay3Click();
  // The way back to the written tasks, refused once the time is up.
  void btnPlay2_6Click();
  void Timer2Timer();
  // Closes the participant's work.
  void Button1Click();
  void Timer1Timer();

  // The participant's recording with the given suffix ("_5.ogg").
  std::string RecordingPath(std::string_view suffix) const;
  // The participant's answers file.
  std::string AnswersFilePath() const;
  // The label of task n's answer, or none.
  QLabel *Ans(int task) const;

  QLabel *Label1 = nullptr;
  QLabel *Ans1 = nullptr;
  QLabel *Ans2 = nullptr;
  QLabel *Ans3 = nullptr;
  QLabel *Ans4 = nullptr;
  QLabel *Ans5 = nullptr;
  QLabel *Ans6 = nullptr;
  QPushButton *btnPlayID = nullptr;
  QPushButton *btnPlay2_1 = nullptr;
  QPushButton *btnPlay2_2 = nullptr;
  QPushButton *btnPlay1 = nullptr;
  QPushButton *btnPlay2_3 = nullptr;
  QPushButton *btnPlay2_4 = nullptr;
  QPushButton *btnPlay2_5 = nullptr;
  QPushButton *btnPlay3 = nullptr;
  QPushButton *btnPlay2_6 = nullptr;
  QPushButton *Button1 = nullptr;
  StationTimer *Timer1 = nullptr;  // to the finish screen
  StationTimer *Timer2 = nullptr;  // back to the written tasks
  std::unique_ptr<ts::TdvoBinaryStreamFormat> dvoBinaryStreamFormat1;

 private:
  void PlayRecording(std::string_view suffix);
  void StopPlayback();

  ReviewSpec spec_;
};

}  // namespace station
