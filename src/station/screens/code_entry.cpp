#include "code_entry.h"

#include "../main_window.h"
#include "../participant_folder.h"
#include "../station_loop.h"
#include "../station_texts.h"

#include "table_store/dataset/mem_table.h"
#include "table_store/value.h"

#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace station {
namespace {


QString U(const char *utf8) { return QString::fromUtf8(utf8); }

bool AllDigits(const QString &text) {
  for (QChar c : text)
    if (c < u'0' || c > u'9') return false;
  return true;
}

bool FolderExists(const std::string &path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

}  // namespace

QString VariantByCode(const QString &code, const QString &zeros) {
  if (code.left(3) == zeros) return QStringLiteral("0");
  return code.right(1).toInt() % 2 != 0 ? QStringLiteral("1") : QStringLiteral("2");
}

TCodeEntry::TCodeEntry(TfrmMain &main, CodeEntrySpec spec) : TFrame(main), spec_(std::move(spec)) {
  resize(1024, 435);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  // The page is shown centred and unscaled; a page larger than the area
  // shows its middle.
  Image1 = new QLabel(this);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  Image1->setMinimumSize(1, 1);
  layout->addWidget(Image1, 1);

  Panel1 = new QFrame(this);
  Panel1->setFixedHeight(107);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);
  layout->addWidget(Panel1);

  Label1 = new QLabel(U("Код участника:"), Panel1);
  Label1->setFont(ScreenFont(19, true));
  Label1->setGeometry(24, 36, 170, 32);
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  Edit3 = new QLineEdit(Panel1);
  Edit3->setMaxLength(spec_.codeLength);
  Edit3->setFont(ScreenFont(spec_.codeFontPixels, true));
  Edit3->setGeometry(204, 28, 110, 48);
  Edit3->setAlignment(Qt::AlignCenter);
  Edit3->installEventFilter(this);

  Button1 = new QPushButton(U("Начать выполнение работы"), Panel1);
  Button1->setFont(ScreenFont(16, true));
  Button1->setGeometry(340, 28, 300, 48);

  Button2 = new QPushButton(U("Завершить"), Panel1);
  Button2->setFont(ScreenFont(13, false));
  Button2->setGeometry(872, 36, 120, 32);

  OnClick(Button1, [this] { Button1Click(); });
  OnClick(Button2, [this] { Button2Click(); });
  Timer1 = &AddTimer(100, [this] { Timer1Timer(); });
}

void TCodeEntry::Start(std::optional<int>) {
  // The screen is usable even when the instruction page cannot be shown, so
  // the page comes last: its error ends this step only.
  main_.Panel1->hide();
  Edit3->clear();
  Edit3->setFocus();
  main_.ShowPDFPage(Image1, "Intro", 1);
}

// Only the digits and backspace are typed through; other keys without a
// character (cursor keys, shortcuts) keep their usual meaning.
bool TCodeEntry::eventFilter(QObject *watched, QEvent *event) {
  if (watched == Edit3 && event->type() == QEvent::KeyPress) {
    const QString text = static_cast<QKeyEvent *>(event)->text();
    if (!text.isEmpty()) {
      const QChar c = text.front();
      const bool digit = c >= u'0' && c <= u'9';
      if (!digit && c != u'\b' && c.isPrint()) return true;
    }
  }
  return TFrame::eventFilter(watched, event);
}

bool TCodeEntry::ValidateStudID(const QString &code, QString &explanation) const {
  explanation.clear();
  // A pasted text that is not all digits is no code of the required digits:
  // it is refused with that reason, never taken as a number.
  if (code.size() < spec_.codeLength || !AllDigits(code)) {
    explanation += U("\n\r") + spec_.shortCodeReason;
    return false;
  }
  // The same root as every folder the station writes, so a code that has
  // answered here is found again.
  if (FolderExists(ParticipantFolderOf(main_, code))) {
    explanation += U("\n\r") + U(texts::kCodeAlreadyAnswered);
    return false;
  }
  return true;
}

void TCodeEntry::Button1Click() {
  if (spec_.onPress) spec_.onPress(main_);
  const QString code = Edit3->text();
  QString explanation;
  if (!ValidateStudID(code, explanation)) {
    main_.ShowMessage(U(texts::kBadParticipantCode) + explanation);
    return;
  }
  // The code zero-filled to its length: the digits after the leading "1" of
  // (code + 10^length).
  main_.FStudID = code.rightJustified(spec_.codeLength, u'0');
  main_.FVariant = spec_.variantOf(code);
  if (spec_.onAccept) spec_.onAccept(main_);

  ts::TdvoMemTable &complects = *main_.complects;
  // Without a record of that variant the current one stays.
  complects.LocateRecord("VarNo", ts::TValue::Integer(main_.FVariant.toInt()));
  const int varNo = 2 * (complects.FieldNamed("Zone").AsInteger() - 1) + complects.FieldNamed("VarNo").AsInteger();

  ts::TdvoMemTable &answers = *main_.answers;
  answers.Edit();
  try {
    answers.FieldNamed("VarNo").SetAsString(std::to_string(varNo));
    for (const auto &[field, value] : spec_.answersReset) answers.FieldNamed(field).SetAsString(value);
    answers.Post();
  } catch (...) {
    answers.Cancel();
    throw;
  }
  // The picks kept for the way back belong to the previous participant.
  main_.ResetParticipantMemory();
  Timer1->SetEnabled(true);
}

void TCodeEntry::Timer1Timer() {
  Timer1->SetEnabled(false);
  main_.Panel1->show();
  main_.Label1->hide();
  main_.StartFrame(6);
}

void TCodeEntry::Button2Click() {
  // Only the main window is touched after the question: a hand-over may have
  // replaced this screen while the box was open.
  TfrmMain &main = main_;
  if (main.AskYesNo(U(texts::kStopStationQuestion))) main.StopExam();
}

}  // namespace station
