// The answer review: the participant's written answers as stored, playback
// of the recordings, the way back to the written tasks while time remains,
// and closing the participant's work (the answers file and the exam clock).
#pragma once

#include "../frame.h"

#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace ts {
class TdvoBinaryStreamFormat;
}

namespace station {

class StationTimer;

class TfrmPlayAnswers : public TFrame {
 public:
  explicit TfrmPlayAnswers(TfrmMain &main);
  ~TfrmPlayAnswers() override;

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
  // The way back to task 2, refused once the time is up.
  void btnPlay2_6Click();
  void Timer2Timer();
  // Closes the participant's work.
  void Button1Click();
  void Timer1Timer();

  // The participant's recording with the given suffix ("_5.ogg").
  std::string RecordingPath(const char *suffix) const;
  // The participant's answers file.
  std::string AnswersFilePath() const;

  QLabel *Label1 = nullptr;
  QLabel *Ans1 = nullptr;
  QLabel *Ans2 = nullptr;
  QLabel *Ans3 = nullptr;
  QLabel *Ans4 = nullptr;
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
  StationTimer *Timer2 = nullptr;  // back to task 2
  std::unique_ptr<ts::TdvoBinaryStreamFormat> dvoBinaryStreamFormat1;

 private:
  void PlayRecording(const char *suffix);
};

}  // namespace station
