#include "play_answers.h"

#include "../audio_handles.h"
#include "../main_window.h"
#include "../participant_folder.h"
#include "../paths.h"
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

constexpr char kFontFamily[] = "Liberation Sans";
constexpr char kCodeLinePrefix[] = "Посмотреть и/или воспроизвести ответы участника с кодом ";
constexpr char kAnswer1Prefix[] = "Ответ на задание № 1: ";
constexpr char kAnswer2Prefix[] = "Ответ на задание № 2: ";
constexpr char kAnswer3Prefix[] = "Ответ на задание № 3: ";
constexpr char kAnswer4Prefix[] = "Ответ на задание № 4: ";
// Each word of task 3 stands on a line of its own, indented.
constexpr char kWordBreak[] = "\n\r            ";
constexpr int kTask3Words = 6;

constexpr int kFinishHandOverMs = 100;
constexpr int kWayBackHandOverMs = 1000;
constexpr int kFinishScreen = 1001;
constexpr int kTask2Screen = 20;

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

QFont ScreenFont(int pixels, bool bold) {
  QFont font(kFontFamily);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

// Answers are shown as typed: a word that looks like markup stays text.
QLabel *MakeLabel(QWidget *parent, const QRect &box, Qt::Alignment align) {
  auto *label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setFont(ScreenFont(14, true));
  label->setGeometry(box);
  label->setAlignment(align);
  return label;
}

QPushButton *MakeButton(QWidget *parent, const char *caption, const QRect &box, bool shown = true) {
  auto *button = new QPushButton(U(caption), parent);
  button->setFont(ScreenFont(13, true));
  button->setGeometry(box);
  button->setVisible(shown);
  return button;
}

QString AnswerText(ts::TdvoMemTable &answers, const char *field) {
  return FromCodePage(answers.FieldNamed(field).AsString());
}

}  // namespace

TfrmPlayAnswers::TfrmPlayAnswers(TfrmMain &main)
    : TFrame(main), dvoBinaryStreamFormat1(MakeStationFormat()) {
  resize(1024, 492);
  Label1 = MakeLabel(this, QRect(0, 8, 1016, 24), Qt::AlignHCenter | Qt::AlignVCenter);
  Label1->setFont(ScreenFont(16, true));
  btnPlayID = MakeButton(this, "Прослушать код участника", QRect(24, 44, 320, 33));

  Ans1 = MakeLabel(this, QRect(24, 96, 480, 22), Qt::AlignLeft | Qt::AlignVCenter);
  Ans2 = MakeLabel(this, QRect(24, 124, 480, 22), Qt::AlignLeft | Qt::AlignVCenter);
  Ans3 = MakeLabel(this, QRect(24, 152, 480, 7 * 20), Qt::AlignLeft | Qt::AlignTop);
  Ans4 = MakeLabel(this, QRect(24, 300, 480, 22), Qt::AlignLeft | Qt::AlignVCenter);

  btnPlay2_1 = MakeButton(this, "Прослушать ответ на задание № 5", QRect(560, 96, 320, 33));
  btnPlay2_2 = MakeButton(this, "Прослушать ответ на задание № 6", QRect(560, 140, 320, 33));
  // Recordings this program never makes; their buttons stay hidden.
  btnPlay1 = MakeButton(this, "Прослушать ответ на задание № 1/1", QRect(560, 184, 320, 33), false);
  btnPlay2_3 = MakeButton(this, "Прослушать ответ на задание № 1/4", QRect(560, 184, 320, 33), false);
  btnPlay2_4 = MakeButton(this, "Прослушать ответ на задание № 1/5", QRect(560, 184, 320, 33), false);
  btnPlay2_5 = MakeButton(this, "Прослушать ответ на задание № 2", QRect(560, 184, 320, 33), false);
  btnPlay3 = MakeButton(this, "Прослушать ответ на задание № 3", QRect(560, 184, 320, 33), false);

  btnPlay2_6 = MakeButton(this, "Вернуться к выполнению заданий 2-4", QRect(560, 300, 320, 33));
  Button1 = MakeButton(this, "Завершить выполнение работы участником!", QRect(24, 360, 856, 48));
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

TfrmPlayAnswers::~TfrmPlayAnswers() = default;

void TfrmPlayAnswers::Start(std::optional<int>) {
  main_.lblProcessTime->hide();
  main_.ProcessBar->hide();
  main_.lblProcessName->setText(QString());
  main_.Panel1->show();

  ts::TdvoMemTable &answers = *main_.answers;
  Ans1->setText(U(kAnswer1Prefix) + AnswerText(answers, "a1"));
  Ans2->setText(U(kAnswer2Prefix) + AnswerText(answers, "a2"));
  Ans4->setText(U(kAnswer4Prefix) + AnswerText(answers, "a4"));

  const std::string words = answers.FieldNamed("a3").AsString();
  QString task3 = U(kAnswer3Prefix);
  for (int k = 1; k <= kTask3Words; ++k) task3 += U(kWordBreak) + FromCodePage(NthWord(k, words, "="));
  Ans3->setText(task3);

  Label1->setText(U(kCodeLinePrefix) + main_.FStudID);
}

// ---- playback -----------------------------------------------------------------

// The recordings and the answers file live in the participant's folder that
// the recording screens write into.
std::string TfrmPlayAnswers::RecordingPath(const char *suffix) const { return ParticipantFile(main_, suffix); }

std::string TfrmPlayAnswers::AnswersFilePath() const { return ParticipantFile(main_, "_0.ans"); }

void TfrmPlayAnswers::PlayRecording(const char *suffix) {
  // The stream just stopped is released at once: a participant may listen
  // any number of times, and each press opens the file anew.
  if (AnswerPlayStream != 0) {
    BASS_ChannelStop(AnswerPlayStream);
    BASS_StreamFree(AnswerPlayStream);
    AnswerPlayStream = 0;
  }
  const std::string path = RecordingPath(suffix);
  // A missing recording gives no stream; playing none is silent.
  AnswerPlayStream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
  BASS_ChannelPlay(AnswerPlayStream, 1);
}

void TfrmPlayAnswers::btnPlayIDClick() { PlayRecording("_0.ogg"); }
void TfrmPlayAnswers::btnPlay2_1Click() { PlayRecording("_5.ogg"); }
void TfrmPlayAnswers::btnPlay2_2Click() { PlayRecording("_6.ogg"); }
void TfrmPlayAnswers::btnPlay1Click() { PlayRecording("_1_1.ogg"); }
void TfrmPlayAnswers::btnPlay2_3Click() { PlayRecording("_1_4.ogg"); }
void TfrmPlayAnswers::btnPlay2_4Click() { PlayRecording("_1_5.ogg"); }
void TfrmPlayAnswers::btnPlay2_5Click() { PlayRecording("_2.ogg"); }
void TfrmPlayAnswers::btnPlay3Click() { PlayRecording("_3.ogg"); }

// ---- the way back -------------------------------------------------------------

void TfrmPlayAnswers::btnPlay2_6Click() {
  if (main_.FElapsedSeconds < main_.FExamSeconds) {
    Timer2->SetEnabled(true);
    return;
  }
  main_.ShowMessage(U(texts::kTimeIsOver));
}

void TfrmPlayAnswers::Timer2Timer() {
  Timer2->SetEnabled(false);
  // The eye break is not offered again on the way back.
  main_.FGymEyesDue = false;
  main_.StartFrame(kTask2Screen);
}

// ---- closing the work ---------------------------------------------------------

void TfrmPlayAnswers::Button1Click() {
  if (AnswerPlayStream != 0) {
    BASS_ChannelStop(AnswerPlayStream);
    BASS_StreamFree(AnswerPlayStream);
    AnswerPlayStream = 0;
  }
  // A file that cannot be written raises the table's error, shown by the
  // handler guard; the work then stays open and the clock keeps running, so
  // the save can be tried again.
  main_.answers->SaveFileWithFormat(AnswersFilePath(), dvoBinaryStreamFormat1.get());
  Timer1->SetEnabled(true);
  main_.TimerControl->SetEnabled(false);
  main_.Label1->setText(QString());
}

void TfrmPlayAnswers::Timer1Timer() {
  Timer1->SetEnabled(false);
  main_.StartFrame(kFinishScreen);
}

}  // namespace station
