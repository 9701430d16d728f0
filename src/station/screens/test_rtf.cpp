#include "test_rtf.h"

#include "main_window.h"
#include "station_loop.h"

#include "table_store/dataset/mem_table.h"

#include <QEventLoop>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace station {
namespace {

constexpr int kWidth = 1015;
constexpr int kHeight = 712;
constexpr int kTopStrip = 25;
constexpr int kBottomPanel = 41;

}  // namespace

TfrmTestRTF::TfrmTestRTF(TfrmMain &main)
    : QWidget(&main, Qt::Window | Qt::FramelessWindowHint), main_(main) {
  setFixedSize(kWidth, kHeight);
  setFont(QFont("Liberation Sans"));
  Panel2 = new QWidget(this);
  Panel2->setGeometry(0, 0, kWidth, kTopStrip);
  // The page is centred and shown at its own size; what does not fit is cut.
  Image1 = new QLabel(this);
  Image1->setGeometry(0, kTopStrip, kWidth, kHeight - kTopStrip - kBottomPanel);
  Image1->setAlignment(Qt::AlignCenter);
  auto *bottom = new QFrame(this);
  bottom->setFrameShape(QFrame::Panel);
  bottom->setFrameShadow(QFrame::Raised);
  bottom->setGeometry(0, kHeight - kBottomPanel, kWidth, kBottomPanel);
  Panel1 = bottom;
  Button1 = new QPushButton(QString::fromUtf8("Закрыть"), Panel1);
  Button1->setGeometry((kWidth - 100) / 2, 8, 100, 25);
  QObject::connect(Button1, &QPushButton::clicked, this,
                   [this] { main_.Loop().RunHandler([this] { Button1Click(); }); });
  hide();
  frmTestRTF = this;
}

TfrmTestRTF::~TfrmTestRTF() {
  if (frmTestRTF == this) frmTestRTF = nullptr;
}

void TfrmTestRTF::ShowModal() {
  StationLoop::NestedScope nested(main_.Loop());
  setWindowModality(Qt::ApplicationModal);
  if (QScreen *s = QGuiApplication::primaryScreen()) move(s->geometry().center() - QPoint(kWidth / 2, kHeight / 2));
  show();
  raise();
  activateWindow();
  // The page is rendered once per showing. Rendering on every activation
  // would, after a failed page, reopen its error box each time that box gives
  // the focus back, without end.
  main_.Loop().RunHandler([this] { FormActivate(); });
  if (!isVisible()) return;
  if (RunModalLoop) {
    RunModalLoop(*this);
    // Whatever ended the loop, the window is gone once this returns.
    if (isVisible()) hide();
    return;
  }
  QEventLoop loop;
  modal_loop_ = &loop;
  loop.exec();
  modal_loop_ = nullptr;
}

void TfrmTestRTF::FormActivate() {
  // The text check always shows variant 0's page, whichever variant is
  // current; without a variant 0 the current record stays.
  main_.complects->LocateRecord("VarNo", ts::TValue::Integer(0));
  main_.ShowPDFPage(Image1, "TestRTF", 1);
}

void TfrmTestRTF::Button1Click() { close(); }

void TfrmTestRTF::hideEvent(QHideEvent *event) {
  QWidget::hideEvent(event);
  if (modal_loop_) modal_loop_->quit();
}

}  // namespace station
