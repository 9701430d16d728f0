#include "spoken_screen.h"

#include "../main_window.h"
#include "../station_loop.h"
#include "../station_texts.h"
#include "five_sec.h"

#include <QBoxLayout>
#include <QFont>
#include <QLabel>
#include <QPushButton>

namespace station {

namespace {

constexpr int kNoPhoto = 9;
const QColor kPicked(0, 255, 0);
const QColor kNonePicked(255, 255, 0);

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

}  // namespace

SpokenScreenSpec PreparationSpec(int task, int page, int TfrmMain::*limit) {
  SpokenScreenSpec s;
  s.caption = U("Подготовка к выполнению задания № %1").arg(task);
  s.buttonText = U("Я готов!");
  s.firstPage = page;
  s.title = U("Подготовка к заданию № %1:").arg(task);
  s.limit = limit;
  s.preparation = true;
  return s;
}

SpokenScreenSpec AnswerSpec(int task, int firstPage, int TfrmMain::*limit) {
  SpokenScreenSpec s;
  s.caption = U("Выполнение задания № %1. Идет запись...").arg(task);
  s.buttonText = U("Завершить ответ!");
  s.firstPage = firstPage;
  s.title = U("Отвечайте! Идет запись:");
  s.limit = limit;
  s.countdown = true;
  s.recordingSuffix = "_" + std::to_string(task) + ".ogg";
  return s;
}

TSpokenScreen::TSpokenScreen(TfrmMain &main, SpokenScreenSpec spec) : TTimedFrame(main), spec_(std::move(spec)) {
  BuildPanel(spec_.panelHeight, spec_.caption, spec_.buttonText);
  Timer1->SetHandler([this] { Timer1Timer(); });
  if (!spec_.photoChoice) return;

  // The choice sits right of centre; the caption moves left to stay clear of it.
  Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Panel1->setIndent(24);
  // The page is drawn from its top-left corner on this screen.
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  nPhoto =
      new TPhotoRadioGroup(Panel1, QString::fromUtf8(" Выбор фото "),
                           {QString::fromUtf8("нет"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
  nPhoto->setObjectName(QStringLiteral("nPhoto"));
  nPhoto->setFixedSize(210, 48);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(16);
  font.setBold(true);
  nPhoto->setFont(font);
  nPhoto->SetItemIndex(0);
  nPhoto->SetColour(kNonePicked);
  if (auto *row = qobject_cast<QBoxLayout *>(Panel1->layout()))
    row->insertWidget(row->indexOf(Button1), nPhoto, 0, Qt::AlignVCenter);
}

std::string TSpokenScreen::RecordingPath() const { return ParticipantFile(main_, spec_.recordingSuffix); }

void TSpokenScreen::Start(std::optional<int> arg) {
  FStartArg = arg.value_or(0);
  if (spec_.photoChoice) FPhotoChoice = kNoPhoto;
  if (spec_.onStart) spec_.onStart(main_);
  ShowTaskPage(spec_.pageField, spec_.firstPage + FStartArg);
  if (spec_.countdown) {
    ShowFiveSec();
    // The countdown ran a nested loop; a screen replaced meanwhile does nothing.
    if (!IsCurrent()) return;
  }
  if (spec_.photoChoice) main_.Panel1->show();
  SetTopBar(spec_.title, true);
  StartCounting();
  if (!spec_.recordingSuffix.empty()) {
    EnsureParticipantFolder(main_);
    main_.StartRecording(RecordingPath());
  }
  RaiseKeptStartError();
}

void TSpokenScreen::Timer1Timer() {
  if (nPhoto) nPhoto->SetColour(nPhoto->ItemIndex() > 0 ? kPicked : kNonePicked);
  TTimedFrame::Timer1Timer();
}

int TSpokenScreen::Limit() const { return main_.*spec_.limit; }

QString TSpokenScreen::EarlyEndQuestion() const {
  return spec_.preparation ? QString::fromUtf8(texts::kEndPreparationQuestion) : TTimedFrame::EarlyEndQuestion();
}

int TSpokenScreen::EndWork() {
  if (!spec_.recordingSuffix.empty()) {
    // Also when the whole-work time ran out: the file keeps what was said.
    EnsureParticipantFolder(main_);
    main_.StopRecording(RecordingPath());
  }
  if (spec_.onEnd) spec_.onEnd(main_);
  if (!spec_.photoChoice) return spec_.next(main_, FStartArg);
  const int picked = nPhoto->ItemIndex();
  // Only photos 1 to 3 have a task screen; anything else is no photo.
  FPhotoChoice = picked >= 1 && picked <= 3 ? picked : kNoPhoto;
  return spec_.next(main_, FPhotoChoice);
}

}  // namespace station
