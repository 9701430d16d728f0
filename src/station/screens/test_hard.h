// Hardware check (screen 1): a test recording played back, the task-text page
// looked at, each confirmed, and the station's identity typed. It builds the
// station key that names the folder of every answer written on this station.
#pragma once

#include "frame.h"

#include <QImage>
#include <QString>

#include <cstddef>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

namespace station {

// State of the check, one instance for the program.
inline bool TestRecOk = false;  // record test confirmed
inline bool TestRtfOk = false;  // text-display test confirmed
inline bool TestWavOk = true;   // sound test confirmed; not needed to finish

// A PNG picture decoded into an image; a null image when the bytes are not a
// PNG the decoder accepts.
QImage DecodePng(const unsigned char *bytes, std::size_t size);

// The station key: exam date, subject, school login as 6 digits, room as 4
// digits and the station digit, joined by "_". A login or room that is not a
// decimal number raises an error with the conversion's message.
QString BuildStationKey(const QString &examDate, const QString &subjID, const QString &login, const QString &room,
                        const QString &station);

class TfrmTestHard : public TFrame {
 public:
  explicit TfrmTestHard(TfrmMain &main);

  void Start(std::optional<int> arg) override;

  void btnRecTestClick();
  void Button4Click();
  void Button5Click();
  void btnTestRTFClick();
  void Button7Click();
  void Button8Click();
  void btnPlayTestClick();
  void Button2Click();
  void Button3Click();
  void Action1Update();
  void Action1Execute();
  void Timer1Timer();
  void Button6Click();

  QLabel *Panel1 = nullptr;
  QPushButton *btnPlayTest = nullptr;
  QLabel *lblTestWAV = nullptr;
  QWidget *pnlTestWAV = nullptr;
  QPushButton *Button2 = nullptr;
  QPushButton *Button3 = nullptr;
  QPushButton *btnRecTest = nullptr;
  QLabel *lblTestREC = nullptr;
  QWidget *pnlTestREC = nullptr;
  QPushButton *Button4 = nullptr;
  QPushButton *Button5 = nullptr;
  QPushButton *btnTestRTF = nullptr;
  QLabel *lblTestRTF = nullptr;
  QWidget *pnlTestRTF = nullptr;
  QPushButton *Button7 = nullptr;
  QPushButton *Button8 = nullptr;
  QLabel *lblSubj = nullptr;
  QLineEdit *edtStationCode = nullptr;
  QLineEdit *edtAudCode = nullptr;
  QLineEdit *edtCompCode = nullptr;
  QAction *Action1 = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button6 = nullptr;
  QLabel *imgMic = nullptr;
  QLabel *imgSpeak = nullptr;
  StationTimer *Timer1 = nullptr;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

 private:
  QWidget *MakeTestRow(int top, QPushButton *&button, const char *caption, QLabel *&result, const char *question,
                       QPushButton *&yes, QPushButton *&no);
  QLineEdit *MakeIdentityBox(int top, const char *label, int maxLength);
  void ShowResult(QLabel *label, bool ok);
  void Arrange();
  void FitPictures();

  QImage mic_;
  QImage speaker_;
};

}  // namespace station
