#include "task3.h"

#include "../main_window11.h"
#include "../ui_text.h"

#include "table_store/dataset/mem_table.h"

#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace station {

namespace {
const char kCaption[] = "Выполнение задания № 3.";
const char kButton[] = "Завершить ответ!";
constexpr char kWordDelimiter[] = "=";
constexpr int kBoxHeight = 21;

QLineEdit *MakeWordBox(QWidget *parent) {
  auto *box = new QLineEdit(parent);
  // The same face as the drop-down boxes of the other written tasks.
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(13);
  box->setFont(font);
  box->setFixedHeight(kBoxHeight);
  box->setMaxLength(TfrmTask3::kMaxWordLength);
  // No place until the positions list gives one.
  box->setGeometry(0, 0, 0, kBoxHeight);
  return box;
}

// A word as it may be stored: a NUL would cut every later word off and a
// line break would split the answer's lines, so a NUL goes and a line
// break becomes a blank.
QString StorableWord(const QString &text) {
  QString word;
  word.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c == QChar(0)) continue;
    if (c == u'\r' || c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029)) {
      if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') ++i;
      word += u' ';
      continue;
    }
    word += c;
  }
  return word;
}
}  // namespace

TfrmTask3::TfrmTask3(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(49, QString::fromUtf8(kCaption), QString::fromUtf8(kButton));
  t1 = MakeWordBox(this);
  t2 = MakeWordBox(this);
  t3 = MakeWordBox(this);
  t4 = MakeWordBox(this);
  t5 = MakeWordBox(this);
  t6 = MakeWordBox(this);
  for (QLineEdit *box : Boxes()) {
    box->installEventFilter(this);
    // Pasted or dropped text is no key press; a "=" in it would split the
    // stored answer into the wrong words, so it is taken out as well.
    connect(box, &QLineEdit::textEdited, this, [box](const QString &text) {
      if (!text.contains(u'=')) return;
      int cursor = box->cursorPosition();
      cursor -= int(text.left(cursor).count(u'='));
      QString clean = text;
      clean.remove(u'=');
      box->setText(clean);
      box->setCursorPosition(cursor);
    });
  }
}

bool TfrmTask3::t1KeyPress(QChar key) { return key != u'='; }

bool TfrmTask3::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress) {
    const QString text = static_cast<QKeyEvent *>(event)->text();
    for (QChar key : text)
      if (!t1KeyPress(key)) return true;
  }
  return TTimedFrame::eventFilter(watched, event);
}

int TfrmTask3::Limit() const { return main_.FTask3Seconds; }

void TfrmTask3::Start(std::optional<int>) {
  main_.Panel1->show();
  ShowTaskPage("VariantText", 3);
  // The bar first: a set-up that fails on bad materials still counts.
  SetTopBar(QString(), false);

  // The pupil may come back from the answer review: show what is stored.
  // Restored before the boxes are placed, so that bad positions cannot leave
  // them empty and the end work store empty words over the answer.
  const std::vector<QLineEdit *> boxes = Boxes();
  SetUpStep([&] {
    const std::string stored = main_.answers->FieldNamed("a3").AsString();
    if (!stored.empty())
      for (int k = 1; k <= int(boxes.size()); ++k)
        boxes[std::size_t(k - 1)]->setText(FromCodePage(NthWord(k, stored, kWordDelimiter)));
  });
  SetUpStep([&] {
    CopyBlobToFile(main_, "coords3", "~$t3coords.tmp");
    PlaceBoxes(main_, "~$t3coords.tmp", {boxes.begin(), boxes.end()});
  });

  StartCounting();
  EnsureParticipantFolder(main_);
  RaiseKeptStartError();
}

int TfrmTask3::EndWork() {
  EnsureParticipantFolder(main_);
  QString joined = StorableWord(t1->text());
  for (QLineEdit *box : {t2, t3, t4, t5, t6}) joined += QLatin1String(kWordDelimiter) + StorableWord(box->text());
  StoreAnswer(main_, "a3", ToCodePage(joined));
  if (ExamTimeOver(main_)) return 1000;
  if (main_.FElapsedSeconds > Grade11(main_).FGymEyesAfterSeconds && main_.FGymEyesDue) return 33;
  return 40;
}

}  // namespace station
