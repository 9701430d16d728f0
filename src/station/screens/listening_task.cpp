#include "listening_task.h"

#include "../audio_handles.h"
#include "../main_window.h"

#include <QComboBox>
#include <QPushButton>

namespace station {

namespace {

constexpr char kAudioFile[] = "~$t1.tmp";
constexpr int kItemsPerBox = 3;

}  // namespace

TListeningTask::TListeningTask(TfrmMain &main, ListeningTaskSpec spec)
    : TChoiceFrame(main, 5, spec.reverseTabOrder), spec_(std::move(spec)) {
  BuildPanel(49, QString::fromUtf8("Выполнение задания № 1."), QString::fromUtf8("Завершить ответ!"));
  Button1->setFixedSize(spec_.buttonSize);
}

int TListeningTask::Limit() const { return main_.FTask1Seconds; }

void TListeningTask::Start(std::optional<int>) {
  ShowTaskPage("VariantText", spec_.page);
  if (spec_.onStart) spec_.onStart(main_);
  // Whatever of the materials cannot be read or copied out, the task is set
  // up in full without it: audio that could not be copied plays as none and
  // its limit is that of no audio, a list that could not be read leaves the
  // boxes without items, positions that could not be read leave them
  // without a place.
  SetUpStep([&] { CopyBlobToFile(main_, "Audio", kAudioFile); });
  main_.FTask1Seconds = OpenAudioWithLimit(Task1Stream, WorkFile(main_, kAudioFile));
  if (SetUpStep([&] {
        CopyBlobToFile(main_, "Answer1", "~$t1ans.tmp");
        answers = LoadOptionList(main_, "~$t1ans.tmp");
      }))
    FillChoiceGroups(Boxes(), answers, kItemsPerBox);

  SetTopBar(QString::fromUtf8("Воспроизводится запись:"), true);
  StartCounting();
  EnsureParticipantFolder(main_);
  BASS_ChannelPlay(Task1Stream, 1);

  SetUpStep([&] {
    CopyBlobToFile(main_, "coords1", "~$t1coords.tmp");
    PlaceBoxes(main_, "~$t1coords.tmp", {t1, t2, t3, t4, t5});
  });
  RaiseKeptStartError();
}

int TListeningTask::EndWork() {
  CloseAudio(Task1Stream, WorkFile(main_, kAudioFile));
  EnsureParticipantFolder(main_);
  StoreChoices(main_, "a1", Boxes());
  return 20;
}

}  // namespace station
