#include "task6.h"

#include "../main_window.h"
#include "../participant_folder.h"
#include "five_sec.h"

namespace station {

namespace {
// The task's own page; the photos' pages follow it.
constexpr int kTaskPage = 7;
}  // namespace

TfrmTask6::TfrmTask6(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(49, QString::fromUtf8("Выполнение задания № 6. Идет запись..."), QString::fromUtf8("Завершить ответ!"));
}

std::string TfrmTask6::RecordingPath() const {
  return ParticipantFile(main_, "_6.ogg");
}

void TfrmTask6::Start(std::optional<int> arg) {
  FPhoto = arg.value_or(0);
  ShowTaskPage("VariantText", kTaskPage + FPhoto);
  ShowFiveSec();
  if (!IsCurrent()) return;
  SetTopBar(QString::fromUtf8("Отвечайте! Идет запись:"), true);
  StartCounting();
  EnsureParticipantFolder(main_);
  main_.StartRecording(RecordingPath());
  RaiseKeptStartError();
}

int TfrmTask6::Limit() const { return main_.FTask6Seconds; }

int TfrmTask6::EndWork() {
  EnsureParticipantFolder(main_);
  main_.StopRecording(RecordingPath());
  return 1000;
}

}  // namespace station
