#include "task1.h"

#include "../audio_handles.h"
#include "../main_window.h"

#include "table_store/dataset/mem_table.h"

#include <QComboBox>

namespace station {

namespace {

constexpr char kAudioFile[] = "~$t1.tmp";
constexpr int kItemsPerBox = 3;

}  // namespace

TfrmTask1::TfrmTask1(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(49, QString::fromUtf8("Выполнение задания № 1."), QString::fromUtf8("Завершить ответ!"));
  QComboBox **boxes[] = {&t1, &t2, &t3, &t4, &t5};
  for (int k = 0; k < 5; ++k) {
    *boxes[k] = MakeChoiceBox(this);
    (*boxes[k])->setObjectName(QStringLiteral("t%1").arg(k + 1));
  }
}

int TfrmTask1::Limit() const { return main_.FTask1Seconds; }

void TfrmTask1::Start(std::optional<int>) {
  ShowTaskPage("VariantText", 1);
  main_.FOralPartDone = false;
  // The audio and the boxes' items come first and the box positions last:
  // whatever of the materials is damaged, the task plays, counts its audio's
  // length and hands over.
  CopyBlobToFile(main_, "Audio", kAudioFile);
  main_.FTask1Seconds = OpenAudioWithLimit(Task1Stream, WorkFile(main_, kAudioFile));
  CopyBlobToFile(main_, "Answer1", "~$t1ans.tmp");
  answers = LoadOptionList(main_, "~$t1ans.tmp");

  // Three consecutive option lines per box; lines the list lacks stay empty.
  const std::vector<QComboBox *> boxes = Boxes();
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    QStringList items;
    for (int i = 0; i < kItemsPerBox; ++i) {
      const qsizetype line = qsizetype(k) * kItemsPerBox + i;
      items.append(line < answers.size() ? answers.at(line) : QString());
    }
    FillChoices({boxes[k]}, items);
  }

  SetTopBar(QString::fromUtf8("Воспроизводится запись:"), true);
  StartCounting();
  EnsureParticipantFolder(main_);
  BASS_ChannelPlay(Task1Stream, 1);

  CopyBlobToFile(main_, "coords1", "~$t1coords.tmp");
  PlaceBoxes(main_, "~$t1coords.tmp", {t1, t2, t3, t4, t5});
  RaiseKeptStartError();
}

int TfrmTask1::EndWork() {
  CloseAudio(Task1Stream, WorkFile(main_, kAudioFile));
  EnsureParticipantFolder(main_);
  StoreChoices(main_, "a1", Boxes());
  return 20;
}

}  // namespace station
