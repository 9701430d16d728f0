#include "prepare6.h"

#include "../main_window.h"
#include "../station_loop.h"
#include "../station_texts.h"
#include "five_sec.h"

#include <QBoxLayout>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace station {

namespace {

constexpr int kNoPhoto = 9;
const QColor kPicked(0, 255, 0);
const QColor kNonePicked(255, 255, 0);

}  // namespace

TfrmPrepare6::TfrmPrepare6(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(60, QString::fromUtf8("Подготовка к выполнению задания № 6"), QString::fromUtf8("Я готов!"));
  // The choice sits right of centre; the caption moves left to stay clear of it.
  Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Panel1->setIndent(24);
  // The page is drawn from its top-left corner on this screen.
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  nPhoto = new TPhotoRadioGroup(Panel1, QString::fromUtf8(" Выбор фото "),
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

  Timer1->SetHandler([this] { Timer1Timer(); });
}

void TfrmPrepare6::Start(std::optional<int>) {
  FPhotoChoice = kNoPhoto;
  ShowTaskPage("variantText", 7);
  ShowFiveSec();
  if (!IsCurrent()) return;
  main_.Panel1->show();
  SetTopBar(QString::fromUtf8("Подготовка к заданию № 6:"), true);
  StartCounting();
  RaiseKeptStartError();
}

void TfrmPrepare6::Timer1Timer() {
  const int picked = nPhoto->ItemIndex();
  nPhoto->SetColour(picked > 0 ? kPicked : kNonePicked);
  TTimedFrame::Timer1Timer();
}

int TfrmPrepare6::Limit() const { return main_.FPrepare6Seconds; }

int TfrmPrepare6::EndWork() {
  const int picked = nPhoto->ItemIndex();
  // Only photos 1 to 3 have a task screen; anything else is no photo.
  FPhotoChoice = picked >= 1 && picked <= 3 ? picked : kNoPhoto;
  return ExamTimeOver(main_) ? 1000 : 60 + FPhotoChoice;
}

QString TfrmPrepare6::EarlyEndQuestion() const { return QString::fromUtf8(texts::kEndPreparationQuestion); }

}  // namespace station
