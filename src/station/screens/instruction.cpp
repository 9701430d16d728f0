#include "screens/instruction.h"

#include "main_window.h"
#include "participant_folder.h"
#include "station_loop.h"
#include "station_texts.h"

#include "table_store/dataset/mem_table.h"
#include "table_store/value.h"

#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace station {
namespace {

constexpr char kFontFamily[] = "Liberation Sans";
constexpr int kCodeLength = 4;

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

QFont Font(int pixels, bool bold) {
  QFont font(kFontFamily);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

bool AllDigits(const QString &text) {
  if (text.isEmpty()) return false;
  for (QChar c : text)
    if (c < u'0' || c > u'9') return false;
  return true;
}

// The code as a number. Only plain digits count: a sign or blanks that came
// in by pasting would otherwise name another participant's folder than the
// one that was checked.
int CodeNumber(const QString &code) {
  if (!AllDigits(code)) throw std::runtime_error("'" + code.toStdString() + "' is not a valid integer value");
  return code.toInt();
}

bool FolderExists(const std::string &path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

}  // namespace

TfrmInstruction::TfrmInstruction(TfrmMain &main) : TFrame(main) {
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
  Label1->setFont(Font(19, true));
  Label1->setGeometry(24, 36, 170, 32);
  Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  Edit3 = new QLineEdit(Panel1);
  Edit3->setMaxLength(kCodeLength);
  Edit3->setFont(Font(32, true));
  Edit3->setGeometry(204, 28, 110, 48);
  Edit3->setAlignment(Qt::AlignCenter);
  Edit3->installEventFilter(this);

  Button1 = new QPushButton(U("Начать выполнение работы"), Panel1);
  Button1->setFont(Font(16, true));
  Button1->setGeometry(340, 28, 300, 48);

  Button2 = new QPushButton(U("Завершить"), Panel1);
  Button2->setFont(Font(13, false));
  Button2->setGeometry(872, 36, 120, 32);

  OnClick(Button1, [this] { Button1Click(); });
  OnClick(Button2, [this] { Button2Click(); });
  Timer1 = &AddTimer(100, [this] { Timer1Timer(); });
}

void TfrmInstruction::Start(std::optional<int>) {
  // The screen is usable even when the instruction page cannot be shown, so
  // the page comes last: its error ends this step only.
  main_.Panel1->hide();
  Edit3->clear();
  Edit3->setFocus();
  main_.ShowPDFPage(Image1, "Intro", 1);
}

// Only the digits and backspace are typed through; other keys without a
// character (cursor keys, shortcuts) keep their usual meaning.
bool TfrmInstruction::eventFilter(QObject *watched, QEvent *event) {
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

bool TfrmInstruction::ValidateStudID(const QString &code, QString &explanation) const {
  explanation.clear();
  if (code.size() < kCodeLength) {
    explanation += U("\n\r") + U(texts::kCodeMustHave4Digits);
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

QString TfrmInstruction::VariantOf(const QString &code) {
  if (code.left(3) == QStringLiteral("000")) return QStringLiteral("0");
  return CodeNumber(code) % 2 != 0 ? QStringLiteral("1") : QStringLiteral("2");
}

void TfrmInstruction::Button1Click() {
  main_.FGymEyesDue = true;
  main_.FOralPartStarted = false;
  const QString code = Edit3->text();
  QString explanation;
  if (!ValidateStudID(code, explanation)) {
    main_.ShowMessage(U(texts::kBadParticipantCode) + explanation);
    return;
  }
  // Both are worked out before anything changes, so a code that is not a
  // number leaves the participant's state as it was.
  const QString studID = QString::number(CodeNumber(code) + 10000).mid(1, 4);
  const QString variant = VariantOf(code);
  main_.FStudID = studID;
  main_.FVariant = variant;

  ts::TdvoMemTable &complects = *main_.complects;
  // Without a record of that variant the current one stays.
  complects.LocateRecord("VarNo", ts::TValue::Integer(variant.toInt()));
  const int varNo = 2 * (complects.FieldNamed("Zone").AsInteger() - 1) + complects.FieldNamed("VarNo").AsInteger();

  ts::TdvoMemTable &answers = *main_.answers;
  answers.Edit();
  try {
    answers.FieldNamed("VarNo").SetAsString(std::to_string(varNo));
    answers.FieldNamed("a1").SetAsString("00000");
    answers.FieldNamed("a2").SetAsString("00000");
    answers.FieldNamed("a3").SetAsString("");
    answers.FieldNamed("a4").SetAsString("000000");
    answers.FieldNamed("a5").SetAsString("");
    answers.FieldNamed("a6").SetAsString("");
    answers.Post();
  } catch (...) {
    answers.Cancel();
    throw;
  }
  // The picks kept for the way back belong to the previous participant.
  main_.ResetParticipantMemory();
  Timer1->SetEnabled(true);
}

void TfrmInstruction::Timer1Timer() {
  Timer1->SetEnabled(false);
  main_.Panel1->show();
  main_.Label1->hide();
  main_.StartFrame(6);
}

void TfrmInstruction::Button2Click() {
  // Only the main window is touched after the question: a hand-over may have
  // replaced this screen while the box was open.
  TfrmMain &main = main_;
  if (main.AskYesNo(U(texts::kStopStationQuestion))) main.StopExam();
}

}  // namespace station
