#include "five_sec.h"

#include "../main_window.h"
#include "../station_loop.h"

#include <QCloseEvent>
#include <QEvent>
#include <QEventLoop>
#include <QFont>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace station {
namespace {

constexpr int kStepMs = 250;
constexpr int kFirstDigit = 5;
constexpr int kBorderWidth = 2;
constexpr int kDigitPixels = 107;

}  // namespace

TFiveSecPanel::TFiveSecPanel(QWidget *parent) : QLabel(parent) {
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Raised);
  setAlignment(Qt::AlignCenter);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(kDigitPixels);
  setFont(font);
}

void TFiveSecPanel::mousePressEvent(QMouseEvent *event) {
  QLabel::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && onClick) onClick();
}

T_FiveSec::T_FiveSec(TfrmMain &main, StationLoop &loop)
    : QWidget(&main, Qt::Window | Qt::FramelessWindowHint), main_(main), loop_(loop) {
  setWindowModality(Qt::ApplicationModal);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth);
  layout->setSpacing(0);
  Panel1 = new TFiveSecPanel(this);
  layout->addWidget(Panel1);
  Panel1->onClick = [this] { loop_.RunHandler([this] { Panel1Click(); }); };

  timer2_ = loop_.CreateTimer();
  Timer2 = timer2_.get();
  Timer2->SetInterval(kStepMs);
  Timer2->SetEnabled(false);
  Timer2->SetHandler([this] { Timer2Timer(); });

  FormCreate();
  _FiveSec = this;
}

T_FiveSec::~T_FiveSec() {
  if (_FiveSec == this) _FiveSec = nullptr;
  Timer2->SetEnabled(false);
  if (event_loop_) event_loop_->quit();
}

void T_FiveSec::FormCreate() { setGeometry(main_.geometry()); }

void T_FiveSec::ShowModal() {
  // A second showing from inside the first would leave two loops to unwind.
  if (showing_) return;
  // Cover the main window exactly, wherever it stands now.
  setGeometry(main_.geometry());
  showing_ = true;
  show();
  raise();
  activateWindow();
  loop_.RunHandler([this] { FormShow(); });
  StationLoop::NestedScope nested(loop_);
  if (RunModalLoop)
    RunModalLoop(*this);
  else
    RunQtLoop();
  // Whatever ended the loop, the overlay is gone once this returns.
  if (showing_) CloseOverlay();
}

void T_FiveSec::RunQtLoop() {
  if (!showing_) return;
  QEventLoop loop;
  event_loop_ = &loop;
  loop.exec();
  event_loop_ = nullptr;
}

void T_FiveSec::FormShow() {
  FiveSecCounter = kFirstDigit;
  Timer2->SetEnabled(true);
}

// Regaining activation during the count starts it again from 5.
void T_FiveSec::FormActivate() { FormShow(); }

void T_FiveSec::Timer2Timer() {
  if (FiveSecCounter >= 0) {
    Panel1->setText(QString::number(FiveSecCounter));
    // Paint the digit now: the pupil must see every step.
    Panel1->repaint();
  }
  --FiveSecCounter;
  if (FiveSecCounter < 0) {
    Timer2->SetEnabled(false);
    CloseOverlay();
  }
}

void T_FiveSec::Panel1Click() { FiveSecCounter = 0; }

void T_FiveSec::FormClose() { Panel1->setText(QString()); }

void T_FiveSec::CloseOverlay() {
  showing_ = false;
  FormClose();
  hide();
  if (event_loop_) event_loop_->quit();
}

void T_FiveSec::changeEvent(QEvent *event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && showing_ && isActiveWindow())
    loop_.RunHandler([this] { FormActivate(); });
}

void T_FiveSec::closeEvent(QCloseEvent *event) {
  // Closed by the window system: end the count as its own close would.
  if (showing_) {
    Timer2->SetEnabled(false);
    CloseOverlay();
  }
  event->accept();
}

void ShowFiveSec() {
  if (_FiveSec) _FiveSec->ShowModal();
}

}  // namespace station
