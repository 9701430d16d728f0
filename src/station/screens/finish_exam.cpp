#include "finish_exam.h"

#include "../main_window.h"
#include "../station_loop.h"

#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace station {
namespace {

constexpr char kFontFamily[] = "Liberation Sans";
constexpr char kEndPrefix[] = "КЛТ для участника с кодом ";
constexpr char kEndSuffix[] = " завершена!";
constexpr int kHandOverMs = 10;
constexpr int kCodeEntryScreen = 5;
constexpr int kSquare = 150;

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

QFont ScreenFont(int pixels) {
  QFont font(kFontFamily);
  font.setPixelSize(pixels);
  font.setBold(true);
  return font;
}

// A push button cannot wrap its text; a label inside it does.
QPushButton *SquareButton(QWidget *parent, const char *caption) {
  auto *button = new QPushButton(parent);
  button->setFixedSize(kSquare, kSquare);
  auto *label = new QLabel(U(caption), button);
  label->setObjectName("caption");
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignCenter);
  label->setFont(ScreenFont(14));
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto *layout = new QVBoxLayout(button);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(label);
  button->setAccessibleName(label->text());
  return button;
}

}  // namespace

TfrmFinishExam::TfrmFinishExam(TfrmMain &main) : TFrame(main) {
  resize(1024, 768);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(24);

  Panel1 = new QFrame(this);
  Panel1->setFixedHeight(97);
  layout->addWidget(Panel1);

  Label1 = new QLabel(this);
  Label1->setTextFormat(Qt::PlainText);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setFont(ScreenFont(20));
  layout->addWidget(Label1);

  Button1 = SquareButton(this, "Начать на станции выполнение работы для следующего участника");
  Button2 = SquareButton(this, "Завершить работу станции");
  auto *row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(Button1);
  row->addSpacing(40);
  row->addWidget(Button2);
  row->addStretch(1);
  layout->addLayout(row);
  layout->addStretch(1);

  Timer1 = &AddTimer(kHandOverMs, [this] { Timer1Timer(); });
  OnClick(Button1, [this] { Button1Click(); });
  OnClick(Button2, [this] { Button2Click(); });
}

QString TfrmFinishExam::Caption(const QPushButton *button) {
  const auto *label = button->findChild<QLabel *>("caption");
  return label ? label->text() : button->text();
}

void TfrmFinishExam::Start(std::optional<int>) {
  main_.Panel1->hide();
  Label1->setText(U(kEndPrefix) + main_.FStudID + U(kEndSuffix));
}

void TfrmFinishExam::Button1Click() { Timer1->SetEnabled(true); }

void TfrmFinishExam::Timer1Timer() {
  Timer1->SetEnabled(false);
  main_.StartFrame(kCodeEntryScreen);
}

void TfrmFinishExam::Button2Click() { main_.StopExam(); }

}  // namespace station
