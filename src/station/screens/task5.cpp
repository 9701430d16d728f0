#include "task5.h"

#include "../main_window.h"
#include "../participant_folder.h"
#include "five_sec.h"

namespace station {

TfrmTask5::TfrmTask5(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(49, QString::fromUtf8("Выполнение задания № 5. Идет запись..."), QString::fromUtf8("Завершить ответ!"));
}

std::string TfrmTask5::RecordingPath() const {
  return ParticipantFile(main_, "_5.ogg");
}

void TfrmTask5::Start(std::optional<int> arg) {
  FStartArg = arg.value_or(0);
  ShowTaskPage("VariantText", 6);
  ShowFiveSec();
  // The countdown ran a nested loop; a screen replaced meanwhile records nothing.
  if (!IsCurrent()) return;
  SetTopBar(QString::fromUtf8("Отвечайте! Идет запись:"), true);
  StartCounting();
  EnsureParticipantFolder(main_);
  main_.StartRecording(RecordingPath());
  RaiseKeptStartError();
}

int TfrmTask5::Limit() const { return main_.FTask5Seconds; }

int TfrmTask5::EndWork() {
  // Also when the whole-work time ran out: the file keeps what was said.
  EnsureParticipantFolder(main_);
  main_.StopRecording(RecordingPath());
  main_.FOralPartDone = true;
  return ExamTimeOver(main_) ? 1000 : 60;
}

}  // namespace station
