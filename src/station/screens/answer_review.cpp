#include "answer_review.h"

#include "../audio_handles.h"
#include "../main_window.h"
#include "../participant_folder.h"
#include "../station_loop.h"
#include "../station_tables.h"
#include "../station_texts.h"
#include "../ui_text.h"
#include "timed_frame.h"

#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/mem_table.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace station {
namespace {

constexpr char kCodeLinePrefix[] = "Посмотреть и/или воспроизвести ответы участника с кодом ";
constexpr char kPlayTaskCaption[] = "Прослушать ответ на задание № %1";
constexpr char kAnswerPrefix[] = "Ответ на задание № %1: ";
// Each typed word stands on a line of its own, indented.
constexpr char kWordBreak[] = "\n\r            ";
constexpr int kTypedWords = 6;

constexpr int kFinishHandOverMs = 100;
constexpr int kWayBackHandOverMs = 1000;
constexpr int kFinishScreen = 1001;

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

// Answers are shown as typed: a word that looks like markup stays text.
QLabel *MakeLabel(QWidget *parent, const QRect &box, Qt::Alignment align) {
  auto *label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setFont(ScreenFont(14, true));
  label->setGeometry(box);
  label->setAlignment(align);
  return label;
}

QPushButton *MakeButton(QWidget *parent, const QString &caption, const QRect &box, bool shown = true) {
  auto *button = new QPushButton(caption, parent);
  button->setFont(ScreenFont(13, true));
  button->setGeometry(box);
  button->setVisible(shown);
  return button;
}

}  // namespace

TAnswerReview::TAnswerReview(TfrmMain &main, ReviewSpec spec)
    : TFrame(main), dvoBinaryStreamFormat1(MakeStationFormat()), spec_(std::move(spec)) {
  resize(1024, 492);
  Label1 = MakeLabel(this, QRect(0, 8, 1016, 24), Qt::AlignHCenter | Qt::AlignVCenter);
  Label1->setFont(ScreenFont(16, true));
  btnPlayID = MakeButton(this, U("Прослушать код участника"), QRect(24, 44, 320, 33));

  QLabel **labels[] = {&Ans1, &Ans2, &Ans3, &Ans4, &Ans5, &Ans6};
  for (const ReviewSpec::Answer &a : spec_.answers)
    *labels[a.task - 1] =
        MakeLabel(this, a.box, a.words ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter);

  btnPlay2_1 = MakeButton(this, U(kPlayTaskCaption).arg(spec_.spokenTasks[0]), QRect(560, 96, 320, 33));
  btnPlay2_2 = MakeButton(this, U(kPlayTaskCaption).arg(spec_.spokenTasks[1]), QRect(560, 140, 320, 33));
  // Recordings neither program makes; their buttons stay hidden.
  const QRect hidden(560, 184, 320, 33);
  btnPlay1 = MakeButton(this, U("Прослушать ответ на задание № 1/1"), hidden, false);
  btnPlay2_3 = MakeButton(this, U("Прослушать ответ на задание № 1/4"), hidden, false);
  btnPlay2_4 = MakeButton(this, U("Прослушать ответ на задание № 1/5"), hidden, false);
  btnPlay2_5 = MakeButton(this, U("Прослушать ответ на задание № 2"), hidden, false);
  btnPlay3 = MakeButton(this, U("Прослушать ответ на задание № 3"), hidden, false);

  btnPlay2_6 =
      MakeButton(this, U("Вернуться к выполнению заданий %1-%2").arg(spec_.firstWrittenTask).arg(spec_.lastWrittenTask),
                 QRect(560, 300, 320, 33));
  Button1 = MakeButton(this, U("Завершить выполнение работы участником!"), QRect(24, 360, 856, 48));
  Button1->setFont(ScreenFont(16, true));

  Timer1 = &AddTimer(kFinishHandOverMs, [this] { Timer1Timer(); });
  Timer2 = &AddTimer(kWayBackHandOverMs, [this] { Timer2Timer(); });

  OnClick(btnPlayID, [this] { btnPlayIDClick(); });
  OnClick(btnPlay2_1, [this] { btnPlay2_1Click(); });
  OnClick(btnPlay2_2, [this] { btnPlay2_2Click(); });
  OnClick(btnPlay1, [this] { btnPlay1Click(); });
  OnClick(btnPlay2_3, [this] { btnPlay2_3Click(); });
  OnClick(btnPlay2_4, [this] { btnPlay2_4Click(); });
  OnClick(btnPlay2_5, [this] { btnPlay2_5Click(); });
  OnClick(btnPlay3, [this] { btnPlay3Click(); });
  OnClick(btnPlay2_6, [this] { btnPlay2_6Click(); });
  OnClick(Button1, [this] { Button1Click(); });
}

TAnswerReview::~TAnswerReview() = default;

QLabel *TAnswerReview::Ans(int task) const {
  QLabel *const labels[] = {Ans1, Ans2, Ans3, Ans4, Ans5, Ans6};
  return task >= 1 && task <= 6 ? labels[task - 1] : nullptr;
}

void TAnswerReview::Start(std::optional<int>) {
  if (spec_.clearsStepOnStart) {
    main_.lblProcessTime->hide();
    main_.ProcessBar->hide();
    main_.lblProcessName->setText(QString());
  }
  main_.Panel1->show();

  ts::TdvoMemTable &answers = *main_.answers;
  for (const ReviewSpec::Answer &a : spec_.answers) {
    const std::string stored = answers.FieldNamed("a" + std::to_string(a.task)).AsString();
    QString text = U(kAnswerPrefix).arg(a.task);
    if (a.words) {
      for (int k = 1; k <= kTypedWords; ++k) text += U(kWordBreak) + FromCodePage(NthWord(k, stored, "="));
    } else {
      text += FromCodePage(stored);
    }
    Ans(a.task)->setText(text);
  }

  Label1->setText(U(kCodeLinePrefix) + main_.FStudID);
}

// ---- playback -----------------------------------------------------------------

// The recordings and the answers file live in the participant's folder that
// the recording screens write into.
std::string TAnswerReview::RecordingPath(std::string_view suffix) const { return ParticipantFile(main_, suffix); }

std::string TAnswerReview::AnswersFilePath() const { return RecordingPath("_0.ans"); }

void TAnswerReview::StopPlayback() {
  // The stream just stopped is released at once: a participant may listen
  // any number of times, and each press opens the file anew.
  if (AnswerPlayStream != 0) {
    BASS_ChannelStop(AnswerPlayStream);
    BASS_StreamFree(AnswerPlayStream);
    AnswerPlayStream = 0;
  }
}

void TAnswerReview::PlayRecording(std::string_view suffix) {
  StopPlayback();
  const std::string path = RecordingPath(suffix);
  // A missing recording gives no stream; playing none is silent.
  AnswerPlayStream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
  BASS_ChannelPlay(AnswerPlayStream, 1);
}

void TAnswerReview::btnPlayIDClick() { PlayRecording("_0.ogg"); }
void TAnswerReview::btnPlay2_1Click() { PlayRecording("_" + std::to_string(spec_.spokenTasks[0]) + ".ogg"); }
void TAnswerReview::btnPlay2_2Click() { PlayRecording("_" + std::to_string(spec_.spokenTasks[1]) + ".ogg"); }
void TAnswerReview::btnPlay1Click() { PlayRecording("_1_1.ogg"); }
void TAnswerReview::btnPlay2_3Click() { PlayRecording("_1_4.ogg"); }
void TAnswerReview::btnPlay2_4Click() { PlayRecording("_1_5.ogg"); }
void TAnswerReview::btnPlay2_5Click() { PlayRecording("_2.ogg"); }
void TAnswerReview::btnPlay3Click() { PlayRecording("_3.ogg"); }

// ---- the way back -------------------------------------------------------------

void TAnswerReview::btnPlay2_6Click() {
  if (main_.FElapsedSeconds < main_.FExamSeconds) {
    Timer2->SetEnabled(true);
    return;
  }
  main_.ShowMessage(U(texts::kTimeIsOver));
}

void TAnswerReview::Timer2Timer() {
  Timer2->SetEnabled(false);
  // A recording still playing would go on over the tasks.
  StopPlayback();
  // The eye break is not offered again on the way back.
  main_.FGymEyesDue = false;
  main_.StartFrame(spec_.wayBackScreen);
}

// ---- closing the work ---------------------------------------------------------

void TAnswerReview::Button1Click() {
  StopPlayback();
  // A file that cannot be written raises the table's error, shown by the
  // handler guard; the work then stays open and the clock keeps running, so
  // the save can be tried again.
  main_.answers->SaveFileWithFormat(AnswersFilePath(), dvoBinaryStreamFormat1.get());
  Timer1->SetEnabled(true);
  main_.TimerControl->SetEnabled(false);
  main_.Label1->setText(QString());
}

void TAnswerReview::Timer1Timer() {
  Timer1->SetEnabled(false);
  main_.StartFrame(kFinishScreen);
}

}  // namespace station
