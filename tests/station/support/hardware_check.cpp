#include "hardware_check.h"

#include "screens/test_hard.h"

#include <QLineEdit>
#include <QPushButton>

namespace station::testing {

void FillHardwareCheck(TfrmTestHard &hard, const std::function<void()> &whileRecording) {
  hard.btnRecTest->click();
  if (whileRecording) whileRecording();
  hard.btnRecTest->click();
  hard.Button4->click();
  hard.btnTestRTF->click();
  hard.Button7->click();
  hard.edtStationCode->setText("123");
  hard.edtAudCode->setText("7");
  hard.edtCompCode->setText("2");
  hard.Action1Update();
}

}  // namespace station::testing
