#include "spoken_code.h"

#include "screens/rec_stud_id.h"

#include <QAction>
#include <QPushButton>

namespace station::testing {

void RecordSpokenCode(TfrmRecStudID &spoken, const std::function<void()> &whileRecording) {
  spoken.btnRecID->click();
  if (whileRecording) whileRecording();
  spoken.btnRecID->click();
  spoken.Button4->click();
  spoken.Action1Update();
  spoken.Action1->trigger();
}

}  // namespace station::testing
