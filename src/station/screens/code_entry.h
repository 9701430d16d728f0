// Code entry: the instruction page, the participant code, the variant that
// the code selects and the answers record reset for the new participant.
// Each edition gives its code length, variant rule and answers reset in a
// CodeEntrySpec.
#pragma once

#include "../frame.h"

#include <QString>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

namespace station {

class StationTimer;

struct CodeEntrySpec {
  int codeLength = 4;
  QString shortCodeReason;  // why a code of fewer digits is refused
  int codeFontPixels = 32;
  // The variant ("0", "1" or "2") of a code of codeLength digits.
  std::function<QString(const QString &code)> variantOf;
  // The answers record's fields and their values for a new participant.
  std::vector<std::pair<std::string, std::string>> answersReset;
  // Edition state set when the start button is pressed, before the code is
  // looked at, and once a code is accepted; may be empty.
  std::function<void(TfrmMain &)> onPress;
  std::function<void(TfrmMain &)> onAccept;
};

// The variant of a code of digits: "0" when its first three characters
// equal `zeros`, else "1" for an odd code and "2" for an even one.
QString VariantByCode(const QString &code, const QString &zeros);

class TCodeEntry : public TFrame {
 public:
  TCodeEntry(TfrmMain &main, CodeEntrySpec spec);

  void Start(std::optional<int> arg) override;

  // Yes when the typed code may start a participant's work; otherwise
  // `explanation` holds the reasons, each after a line break.
  bool ValidateStudID(const QString &code, QString &explanation) const;

  void Button1Click();
  void Timer1Timer();
  void Button2Click();

  QLabel *Image1 = nullptr;
  QFrame *Panel1 = nullptr;
  QLabel *Label1 = nullptr;
  QLineEdit *Edit3 = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button2 = nullptr;
  StationTimer *Timer1 = nullptr;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  CodeEntrySpec spec_;
};

}  // namespace station
