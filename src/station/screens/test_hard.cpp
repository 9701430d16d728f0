#include "test_hard.h"

#include "audio_handles.h"
#include "main_window.h"
#include "message_service.h"
#include "participant_folder.h"
#include "paths.h"
#include "pictures/station_pictures.h"
#include "station_loop.h"
#include "station_texts.h"
#include "test_rtf.h"
#include "ui_text.h"
#include "underlay_picture.h"

#include "table_store/dataset/mem_table.h"

#include <QAction>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include <png.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace station {
namespace {

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

constexpr char kBanner[] = "Настройка оборудования должна быть проведена стандартными средствами Windows";
constexpr char kPlayTestCaption[] = "Проверить качество звука";
constexpr char kRecTestCaption[] = "Проверить качество записи";
constexpr char kRecTestStopCaption[] = "Завершить запись и воспроизвести";
constexpr char kRtfTestCaption[] = "Проверить отображение текста заданий";
constexpr char kWavQuestion[] = "Качество воспроизведения звука устраивает?";
constexpr char kRecQuestion[] = "Качество записи и воспроизведения устраивает?";
constexpr char kRtfQuestion[] = "Качество отображения текста заданий устраивает?";
constexpr char kSubjPrefix[] = "Станция для проведения КЛТ по:\n\r";
constexpr char kFinishCaption[] = "Завершить проверку оборудования и приступить к выполнению работы";
constexpr char kExitCaption[] = "Выйти из программы";
constexpr char kTestRecording[] = "test.ogg";
constexpr char kTestSound[] = "KIM\\TestWAV.wav";
constexpr int kBannerHeight = 41;
constexpr int kCodeEntryScreen = 5;

// A number typed into an identity box: decimal digits only. Anything else
// (it can only be pasted) is refused with the conversion's message.
qint64 BoxNumber(const QString &text) {
  bool digits = !text.isEmpty() && text.size() <= 9;
  for (QChar c : text) digits = digits && c >= '0' && c <= '9';
  if (!digits) throw std::runtime_error(("'" + text + "' is not a valid integer value").toStdString());
  return text.toLongLong();
}

// Text that is neither empty nor exactly "0"; compared as text, so "00"
// passes.
bool Given(const QLineEdit *box) { return !box->text().isEmpty() && box->text() != "0"; }

}  // namespace

QImage DecodePng(const unsigned char *bytes, std::size_t size) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!bytes || !png_image_begin_read_from_memory(&image, bytes, size)) {
    png_image_free(&image);
    return {};
  }
  image.format = PNG_FORMAT_RGBA;
  QImage out(int(image.width), int(image.height), QImage::Format_RGBA8888);
  if (out.isNull() || !png_image_finish_read(&image, nullptr, out.bits(), png_int_32(out.bytesPerLine()), nullptr)) {
    png_image_free(&image);
    return {};
  }
  return out;
}

QString BuildStationKey(const QString &examDate, const QString &subjID, const QString &login, const QString &room,
                        const QString &station) {
  const QString loginPart = QString::number(BoxNumber(login) + 1000000).mid(1, 6);
  const QString roomPart = QString::number(BoxNumber(room) + 10000).mid(1, 4);
  return examDate + '_' + subjID + '_' + loginPart + '_' + roomPart + '_' + station;
}

TfrmTestHard::TfrmTestHard(TfrmMain &main) : TFrame(main) {
  setFont(ScreenFont(13, false));
  resize(925, 528);

  // The pictures lie under the controls: the buttons of a running test stay
  // usable while its picture is shown.
  mic_ = DecodePng(kMicrophonePng, kMicrophonePngSize);
  speaker_ = DecodePng(kSpeakerPng, kSpeakerPngSize);
  imgMic = MakeUnderlayPicture(this);
  imgSpeak = MakeUnderlayPicture(this);

  Panel1 = new QLabel(U(kBanner), this);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);
  Panel1->setAlignment(Qt::AlignCenter);
  Panel1->setFont(ScreenFont(14, true));

  lblSubj = new QLabel(U("Экзамен:"), this);
  lblSubj->setAlignment(Qt::AlignCenter);
  lblSubj->setWordWrap(true);
  lblSubj->setFont(ScreenFont(18, true));

  pnlTestREC = MakeTestRow(130, btnRecTest, kRecTestCaption, lblTestREC, kRecQuestion, Button4, Button5);
  pnlTestRTF = MakeTestRow(185, btnTestRTF, kRtfTestCaption, lblTestRTF, kRtfQuestion, Button7, Button8);
  pnlTestWAV = MakeTestRow(240, btnPlayTest, kPlayTestCaption, lblTestWAV, kWavQuestion, Button2, Button3);
  // The sound test is not offered in this program.
  btnPlayTest->hide();

  edtStationCode = MakeIdentityBox(310, "Логин школы\n(без букв sch)", 6);
  edtAudCode = MakeIdentityBox(360, "Номер аудитории", 4);
  edtCompCode = MakeIdentityBox(400, "Номер станции", 1);

  Action1 = new QAction(U(kFinishCaption), this);
  Button1 = new QPushButton(U(kFinishCaption), this);
  Button1->setGeometry(20, 460, 620, 40);
  Button1->setFont(ScreenFont(14, true));
  Button6 = new QPushButton(U(kExitCaption), this);
  Button6->setGeometry(660, 460, 240, 40);

  Timer1 = &AddTimer(100, [this] { Timer1Timer(); });

  OnClick(btnRecTest, [this] { btnRecTestClick(); });
  OnClick(Button4, [this] { Button4Click(); });
  OnClick(Button5, [this] { Button5Click(); });
  OnClick(btnTestRTF, [this] { btnTestRTFClick(); });
  OnClick(Button7, [this] { Button7Click(); });
  OnClick(Button8, [this] { Button8Click(); });
  OnClick(btnPlayTest, [this] { btnPlayTestClick(); });
  OnClick(Button2, [this] { Button2Click(); });
  OnClick(Button3, [this] { Button3Click(); });
  OnClick(Button1, [this] { Action1->trigger(); });
  OnClick(Button6, [this] { Button6Click(); });
  QObject::connect(Action1, &QAction::triggered, this, [this] { Action1Execute(); });
  Arrange();
  Action1Update();
}

QWidget *TfrmTestHard::MakeTestRow(int top, QPushButton *&button, const char *caption, QLabel *&result,
                                   const char *question, QPushButton *&yes, QPushButton *&no) {
  button = new QPushButton(U(caption), this);
  button->setGeometry(20, top, 330, 40);
  result = new QLabel(this);
  result->setGeometry(360, top, 40, 40);
  result->setAlignment(Qt::AlignCenter);
  result->setFont(ScreenFont(28, true));
  result->hide();
  auto *panel = new QFrame(this);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Raised);
  // A panel covers what lies under it: the picture below the banner must not
  // show through the question.
  panel->setAutoFillBackground(true);
  panel->setGeometry(410, top, 500, 40);
  auto *text = new QLabel(U(question), panel);
  text->setGeometry(8, 0, 340, 40);
  text->setWordWrap(true);
  yes = new QPushButton(U("Да"), panel);
  yes->setGeometry(355, 7, 65, 26);
  no = new QPushButton(U("Нет"), panel);
  no->setGeometry(428, 7, 65, 26);
  panel->hide();
  return panel;
}

QLineEdit *TfrmTestHard::MakeIdentityBox(int top, const char *label, int maxLength) {
  auto *caption = new QLabel(U(label), this);
  caption->setGeometry(20, top, 200, 40);
  caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  caption->setFont(ScreenFont(14, true));
  auto *box = new QLineEdit(this);
  box->setGeometry(230, top + 6, 120, 28);
  box->setFont(ScreenFont(16, true));
  box->setMaxLength(maxLength);
  // Pasted or dropped text is refused as typed letters are.
  box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
  box->installEventFilter(this);
  QObject::connect(box, &QLineEdit::textChanged, this, [this] { Action1Update(); });
  return box;
}

void TfrmTestHard::resizeEvent(QResizeEvent *event) {
  TFrame::resizeEvent(event);
  Arrange();
}

void TfrmTestHard::Arrange() {
  // The banner and the subject span the screen's width.
  Panel1->setGeometry(0, 0, width(), kBannerHeight);
  lblSubj->setGeometry(20, 55, width() - 40, 60);
  FitPictures();
}

void TfrmTestHard::FitPictures() {
  // Each picture fills the area below the banner, centred and scaled in
  // proportion.
  const QRect area(0, kBannerHeight, width(), std::max(1, height() - kBannerHeight));
  FitUnderlayPicture(imgMic, mic_, area);
  FitUnderlayPicture(imgSpeak, speaker_, area);
}

bool TfrmTestHard::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress &&
      (watched == edtStationCode || watched == edtAudCode || watched == edtCompCode)) {
    // Only digits and backspace are typed through; keys without a character
    // (arrows, Tab) and control characters such as the paste shortcut keep
    // their meaning.
    const QString text = static_cast<QKeyEvent *>(event)->text();
    if (!text.isEmpty()) {
      const QChar c = text.front();
      const bool digit = c >= '0' && c <= '9';
      if (!digit && c != '\b' && c.isPrint()) return true;
    }
  }
  return TFrame::eventFilter(watched, event);
}

void TfrmTestHard::Start(std::optional<int>) {
  main_.Panel1->hide();
  pnlTestWAV->hide();
  TestWavOk = true;
  TestRecOk = false;
  TestRtfOk = false;
  ts::TdvoMemTable &c = *main_.complects;
  main_.FSubjID = FromCodePage(c.FieldNamed("SubjID").AsString());
  main_.FExamDate = FromCodePage(c.FieldNamed("ExamDate").AsString());
  lblSubj->setText(U(kSubjPrefix) + FromCodePage(c.FieldNamed("SubjName").AsString()));
  Action1Update();
}

void TfrmTestHard::ShowResult(QLabel *label, bool ok) {
  label->setText(ok ? "V" : "X");
  label->setStyleSheet(ok ? "color: green;" : "color: red;");
  label->show();
}

// ---- record test ------------------------------------------------------------

void TfrmTestHard::btnRecTestClick() {
  if (!main_.FAudioReady) {
    main_.ShowBox({U(texts::kNoRecordingDevice), U(texts::kCaptionError), BoxButtons::Ok, BoxIcon::None,
                   BoxOwner::MainWindow});
    return;
  }
  imgMic->show();
  TestRecOk = false;
  lblTestREC->hide();
  Action1Update();
  if (RecChannel != 0) {
    const bool kept = main_.StopRecording(kTestRecording);
    btnRecTest->setText(U(kRecTestCaption));
    if (!kept) {
      // The loss has been told; nothing was recorded that could be
      // confirmed, so the test counts as failed and can be run again.
      imgMic->hide();
      ShowResult(lblTestREC, false);
      return;
    }
    btnRecTest->setEnabled(false);
    pnlTestREC->show();
    BASS_ChannelPlay(RecPlayStream, 1);
    imgSpeak->show();
    imgMic->hide();
  } else {
    // Whether or not it started: a failed start has shown its message and
    // the next press tries again.
    main_.StartRecording(kTestRecording);
    btnRecTest->setText(U(kRecTestStopCaption));
  }
}

void TfrmTestHard::Button4Click() {
  imgMic->hide();
  imgSpeak->hide();
  TestRecOk = true;
  BASS_ChannelStop(RecPlayStream);
  pnlTestREC->hide();
  btnRecTest->setEnabled(true);
  ShowResult(lblTestREC, true);
  Action1Update();
}

void TfrmTestHard::Button5Click() {
  imgMic->hide();
  imgSpeak->hide();
  TestRecOk = false;
  BASS_ChannelStop(RecPlayStream);
  pnlTestREC->hide();
  btnRecTest->setEnabled(true);
  ShowResult(lblTestREC, false);
  Action1Update();
}

// ---- text-display test ------------------------------------------------------

void TfrmTestHard::btnTestRTFClick() {
  if (frmTestRTF) frmTestRTF->ShowModal();
  pnlTestRTF->show();
}

void TfrmTestHard::Button7Click() {
  TestRtfOk = true;
  pnlTestRTF->hide();
  btnTestRTF->setEnabled(true);
  ShowResult(lblTestRTF, true);
  Action1Update();
}

void TfrmTestHard::Button8Click() {
  TestRtfOk = false;
  pnlTestRTF->hide();
  btnTestRTF->setEnabled(true);
  ShowResult(lblTestRTF, false);
  Action1Update();
}

// ---- sound test (not offered: its button stays hidden) ----------------------

void TfrmTestHard::btnPlayTestClick() {
  TestWavOk = false;
  imgSpeak->show();
  lblTestWAV->hide();
  btnPlayTest->setEnabled(false);
  pnlTestWAV->show();
  // A stream left from an earlier press is released, not leaked.
  if (TestWavStream != 0) BASS_StreamFree(TestWavStream);
  const std::string file = ToSlashPath(kTestSound);
  TestWavStream = BASS_StreamCreateFile(0, file.c_str(), 0, 0, 0);
  BASS_ChannelPlay(TestWavStream, 1);
}

void TfrmTestHard::Button2Click() {
  imgSpeak->hide();
  BASS_ChannelStop(TestWavStream);
  pnlTestWAV->hide();
  btnPlayTest->setEnabled(true);
  TestWavOk = true;
  ShowResult(lblTestWAV, true);
}

void TfrmTestHard::Button3Click() {
  imgSpeak->hide();
  BASS_ChannelStop(TestWavStream);
  pnlTestWAV->hide();
  btnPlayTest->setEnabled(true);
  TestWavOk = false;
  ShowResult(lblTestWAV, false);
}

// ---- finishing --------------------------------------------------------------

void TfrmTestHard::Action1Update() {
  const bool ready = TestRecOk && TestRtfOk && Given(edtStationCode) && Given(edtAudCode) && Given(edtCompCode);
  Action1->setEnabled(ready);
  Button1->setEnabled(ready);
}

void TfrmTestHard::Action1Execute() { Timer1->SetEnabled(true); }

void TfrmTestHard::Timer1Timer() {
  Timer1->SetEnabled(false);
  const QString key = BuildStationKey(main_.FExamDate, main_.FSubjID, edtStationCode->text(), edtAudCode->text(),
                                      edtCompCode->text());
  // Every answer path is built from the key: one that would leave the
  // working folder (or split the folder from its files) is refused here,
  // before any folder is made. The screen stays; only the exit leads on.
  if (const QString problem = StationKeyProblem(key); !problem.isEmpty()) {
    main_.ShowBox({StationKeyMessage(key, problem), U(texts::kCaptionError), BoxButtons::Ok, BoxIcon::None,
                   BoxOwner::MainWindow});
    return;
  }
  main_.FStationKey = key;
  main_.Panel1->show();
  main_.StartFrame(kCodeEntryScreen);
}

void TfrmTestHard::Button6Click() { main_.StopExam(); }

}  // namespace station
