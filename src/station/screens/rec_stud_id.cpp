#include "screens/rec_stud_id.h"

#include "audio_handles.h"
#include "main_window.h"
#include "participant_folder.h"
#include "station_loop.h"
#include "pictures/station_pictures.h"
#include "screens/test_hard.h"
#include "station_texts.h"
#include "screens/underlay_picture.h"

#include <QAction>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

#include <filesystem>
#include <system_error>

namespace station {
namespace {

constexpr char kRecordCaption[] = "Запись кода участника";
constexpr char kStopCaption[] = "Завершить запись и воспроизвести";

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

}  // namespace

TfrmRecStudID::TfrmRecStudID(TfrmMain &main) : TFrame(main) {
  resize(1024, 631);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(12);

  Label1 = new QLabel(U("Запись кода участника КЛТ"), this);
  Label1->setFont(ScreenFont(24, true));
  Label1->setAlignment(Qt::AlignCenter);
  layout->addWidget(Label1);

  Label2 = new QLabel(this);
  Label2->setFont(ScreenFont(19, true));
  Label2->setAlignment(Qt::AlignCenter);
  layout->addWidget(Label2);

  auto *recRow = new QHBoxLayout;
  recRow->addStretch(1);
  btnRecID = new QPushButton(U(kRecordCaption), this);
  btnRecID->setFont(ScreenFont(16, true));
  btnRecID->setFixedSize(360, 40);
  recRow->addWidget(btnRecID);
  lblRecID = new QLabel(this);
  lblRecID->setFont(ScreenFont(32, true));
  lblRecID->setFixedWidth(40);
  lblRecID->setAlignment(Qt::AlignCenter);
  // Its place is kept while it is hidden, so that the button does not move
  // when the result appears.
  QSizePolicy keep = lblRecID->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  lblRecID->setSizePolicy(keep);
  recRow->addWidget(lblRecID);
  recRow->addStretch(1);
  layout->addLayout(recRow);

  pnlTestREC = new QFrame(this);
  pnlTestREC->setFrameShape(QFrame::Panel);
  pnlTestREC->setFrameShadow(QFrame::Raised);
  // A panel covers what lies under it: the picture below the prompt must not
  // show through the question.
  pnlTestREC->setAutoFillBackground(true);
  auto *question = new QHBoxLayout(pnlTestREC);
  lblQuestion = new QLabel(U("Вас устраивает качество записи и воспроизведения кода участника?"), pnlTestREC);
  lblQuestion->setFont(ScreenFont(16, true));
  question->addWidget(lblQuestion, 1);
  Button4 = new QPushButton(U("Да"), pnlTestREC);
  Button5 = new QPushButton(U("Нет"), pnlTestREC);
  for (QPushButton *b : {Button4, Button5}) {
    b->setFont(ScreenFont(16, true));
    b->setFixedSize(90, 32);
    question->addWidget(b);
  }
  layout->addWidget(pnlTestREC);

  layout->addStretch(1);

  Action1 = new QAction(U("Завершить запись кода участника и приступить к выполнению заданий"), this);
  Button1 = new QPushButton(Action1->text(), this);
  Button1->setFont(ScreenFont(16, true));
  Button1->setMinimumHeight(44);
  layout->addWidget(Button1);
  // The button follows its action, as the idle update sets it.
  QObject::connect(Action1, &QAction::changed, Button1, [this] { Button1->setEnabled(Action1->isEnabled()); });
  QObject::connect(Button1, &QPushButton::clicked, Action1, &QAction::trigger);
  StationLoop &loop = main_.Loop();
  QObject::connect(Action1, &QAction::triggered, this, [this, &loop] { loop.RunHandler([this] { Action1Execute(); }); });

  // The pictures lie under the controls, filling the area below the
  // prompt: the buttons stay usable while a picture is shown.
  mic_ = DecodePng(kMicrophonePng, kMicrophonePngSize);
  speaker_ = DecodePng(kSpeakerPng, kSpeakerPngSize);
  imgMic = MakeUnderlayPicture(this);
  imgSpeak = MakeUnderlayPicture(this);
  // Made after the controls, so they are sent below them.
  imgMic->lower();
  imgSpeak->lower();

  lblRecID->hide();
  pnlTestREC->hide();

  OnClick(btnRecID, [this] { btnRecIDClick(); });
  OnClick(Button4, [this] { Button4Click(); });
  OnClick(Button5, [this] { Button5Click(); });
  Timer1 = &AddTimer(100, [this] { Timer1Timer(); });
  Action1Update();
}

void TfrmRecStudID::resizeEvent(QResizeEvent *event) {
  TFrame::resizeEvent(event);
  FitPictures();
}

void TfrmRecStudID::FitPictures() {
  // Centred and scaled in proportion; the prompt's height follows its text.
  if (layout()) layout()->activate();
  const int top = Label2->geometry().bottom() + 1;
  const QRect area(0, top, width(), std::max(1, height() - top));
  FitUnderlayPicture(imgMic, mic_, area);
  FitUnderlayPicture(imgSpeak, speaker_, area);
}

void TfrmRecStudID::Start(std::optional<int>) {
  main_.Panel1->hide();
  Label2->setText(U("Нажмите кнопку \"Запись кода участника\"\n\rи четко произнесите на русском языке свой код \n\r") +
                  main_.FStudID);
  StudIDRecOk = false;
  Action1Update();
}

// The folder is the one the code-entry test looks for, so that this code is
// refused on this station from now on.
std::string TfrmRecStudID::RecordingPath() const { return ParticipantFile(main_, "_0.ogg"); }

void TfrmRecStudID::btnRecIDClick() {
  FitPictures();
  imgMic->show();
  const std::string path = RecordingPath();
  if (BASS_ChannelIsActive(RecChannel) != 0) {
    EnsureParticipantFolder(main_);
    const bool kept = main_.StopRecording(path);
    btnRecID->setText(U(kRecordCaption));
    if (!kept) {
      // The loss has been told; a recording that holds nothing cannot be
      // confirmed, and the next press records anew.
      imgMic->hide();
      ShowResult(false);
      return;
    }
    btnRecID->setEnabled(false);
    pnlTestREC->show();
    BASS_ChannelPlay(RecPlayStream, 1);
    imgSpeak->show();
    imgMic->hide();
  } else {
    EnsureParticipantFolder(main_);
    // A new recording withdraws the last confirmation until it is answered:
    // finishing now would leave the recording running into the tasks.
    StudIDRecOk = false;
    lblRecID->hide();
    Action1Update();
    main_.StartRecording(path);
    btnRecID->setText(U(kStopCaption));
  }
}

void TfrmRecStudID::ShowResult(bool ok) {
  StudIDRecOk = ok;
  imgMic->hide();
  imgSpeak->hide();
  BASS_ChannelStop(RecPlayStream);
  pnlTestREC->hide();
  btnRecID->setEnabled(true);
  lblRecID->setText(ok ? QStringLiteral("V") : QStringLiteral("X"));
  lblRecID->setStyleSheet(ok ? QStringLiteral("color: green") : QStringLiteral("color: red"));
  lblRecID->show();
  Action1Update();
}

void TfrmRecStudID::Button4Click() { ShowResult(true); }

void TfrmRecStudID::Button5Click() {
  ShowResult(false);
  main_.ShowMessage(U(texts::kSpokenCodeProblem));
}

void TfrmRecStudID::Action1Update() { Action1->setEnabled(StudIDRecOk); }

void TfrmRecStudID::Action1Execute() {
  Timer1->SetEnabled(true);
  // The participant's working time starts now.
  main_.Label1->setText(QString());
  main_.TimerControl->SetEnabled(true);
  main_.FElapsedSeconds = 0;
}

void TfrmRecStudID::Timer1Timer() {
  EnsureParticipantFolder(main_);
  Timer1->SetEnabled(false);
  main_.Panel1->show();
  main_.StartFrame(10);
}

}  // namespace station
