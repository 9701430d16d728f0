// Code entry: the instruction page, the participant code, the variant that
// the code selects and the answers record reset for the new participant.
#pragma once

#include "frame.h"

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

namespace station {

class StationTimer;

class TfrmInstruction : public TFrame {
 public:
  explicit TfrmInstruction(TfrmMain &main);

  void Start(std::optional<int> arg) override;

  // Yes when the typed code may start a participant's work; otherwise
  // `explanation` holds the reasons, each after a line break.
  bool ValidateStudID(const QString &code, QString &explanation) const;

  void Button1Click();
  void Timer1Timer();
  void Button2Click();

  // The variant a code selects: "0" for 0000 to 0009, else "1" for an odd
  // code and "2" for an even one.
  static QString VariantOf(const QString &code);

  QLabel *Image1 = nullptr;
  QFrame *Panel1 = nullptr;
  QLabel *Label1 = nullptr;
  QLineEdit *Edit3 = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button2 = nullptr;
  StationTimer *Timer1 = nullptr;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
};

}  // namespace station
