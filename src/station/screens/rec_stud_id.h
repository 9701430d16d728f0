// The spoken participant code: the participant says the code into the
// microphone, hears it back and confirms it; the participant's folder is made
// and the exam clock starts.
#pragma once

#include "frame.h"

#include <QImage>

#include <string>

class QAction;
class QLabel;
class QPushButton;
class QFrame;

namespace station {

class StationTimer;

class TfrmRecStudID : public TFrame {
 public:
  explicit TfrmRecStudID(TfrmMain &main);

  void Start(std::optional<int> arg) override;

  void btnRecIDClick();
  void Button4Click();
  void Button5Click();
  void Action1Update();
  void Action1Execute();
  void Timer1Timer();

  // The recording of the spoken code was confirmed.
  bool StudIDRecOk = false;

  QLabel *Label1 = nullptr;
  QLabel *Label2 = nullptr;
  QPushButton *btnRecID = nullptr;
  QLabel *lblRecID = nullptr;
  QFrame *pnlTestREC = nullptr;
  QLabel *lblQuestion = nullptr;
  QPushButton *Button4 = nullptr;
  QPushButton *Button5 = nullptr;
  QLabel *imgMic = nullptr;
  QLabel *imgSpeak = nullptr;
  QAction *Action1 = nullptr;
  QPushButton *Button1 = nullptr;
  StationTimer *Timer1 = nullptr;

 protected:
  void resizeEvent(QResizeEvent *event) override;

 private:
  void FitPictures();
  std::string RecordingPath() const;
  void ShowResult(bool ok);

  QImage mic_;
  QImage speaker_;
};

}  // namespace station
