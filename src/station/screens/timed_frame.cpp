#include "timed_frame.h"

#include "../main_window.h"
#include "../station_loop.h"
#include "../creation_problem.h"
#include "../station_texts.h"
#include "../ui_text.h"

#include "platform/files/file_door.h"

#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include <unistd.h>

namespace station {

namespace {

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

QFont PixelFont(int pixels, bool bold, const char *family = "Liberation Sans") {
  QFont font(QString::fromLatin1(family));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

QByteArray ReadWholeFile(const std::string &path) {
  const klt::files::Opened in = klt::files::OpenRegular(path);
  if (!in.fd) throw std::runtime_error("Cannot open file " + path);
  QByteArray bytes;
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in.fd.Get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error("Cannot read file " + path);
    if (n == 0) return bytes;
    bytes.append(chunk, qsizetype(n));
  }
}

void RemoveFile(const std::string &path) { klt::files::Remove(path); }

constexpr int kDefaultPanelHeight = 49;
constexpr int kCaptionGap = 8;

// The bottom panel: its caption is drawn in the part of the panel that its
// widgets (the button, a choice beside it) leave free, wrapped and, where it
// still does not fit, in smaller type, so that no widget covers it.
class CaptionPanel : public QLabel {
 public:
  using QLabel::QLabel;

  // The part of the panel the caption may take.
  QRect CaptionArea() const {
    QRect area = contentsRect();
    for (const QWidget *w : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
      if (w->isVisibleTo(this)) area.setRight(std::min(area.right(), w->x() - kCaptionGap));
    if (alignment() & Qt::AlignLeft) area.setLeft(area.left() + std::max(indent(), 0));
    return area;
  }
  // The type the caption is drawn in: the panel's own, smaller if needed.
  QFont CaptionFont() const {
    const QRect area = CaptionArea();
    QFont f = font();
    for (int pixels = f.pixelSize(); pixels > 8; --pixels) {
      f.setPixelSize(pixels);
      const QRect needed = QFontMetrics(f).boundingRect(area, int(alignment()) | Qt::TextWordWrap, text());
      if (needed.width() <= area.width() && needed.height() <= area.height()) break;
    }
    return f;
  }

 protected:
  void paintEvent(QPaintEvent *) override {
    QPainter p(this);
    drawFrame(&p);
    p.setFont(CaptionFont());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(CaptionArea(), int(alignment()) | Qt::TextWordWrap, text());
  }
};

}  // namespace

// ---- the counting frame ---------------------------------------------------------

TTimedFrame::TTimedFrame(TfrmMain &main) : TFrame(main) {
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setAlignment(Qt::AlignCenter);
  // The page keeps its own size: a larger page is cut, never scaled, and must
  // not stretch the window.
  Image1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  layout->addWidget(Image1, 1);

  Panel1 = new CaptionPanel(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setAlignment(Qt::AlignCenter);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);
  Panel1->setFont(PixelFont(19, true));
  Panel1->setFixedHeight(kDefaultPanelHeight);
  layout->addWidget(Panel1, 0);

  auto *panelLayout = new QHBoxLayout(Panel1);
  panelLayout->setContentsMargins(0, 0, 8, 0);
  panelLayout->addStretch(1);
  Button1 = new QPushButton(Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setFont(PixelFont(11, true));
  Button1->setFixedSize(185, 33);
  panelLayout->addWidget(Button1, 0, Qt::AlignVCenter);

  Timer1 = &AddTimer(1000, [this] { Timer1Timer(); });
  OnClick(Button1, [this] { Button1Click(); });
}

TTimedFrame::~TTimedFrame() = default;

QRect TTimedFrame::CaptionRect() const {
  const auto *panel = static_cast<const CaptionPanel *>(Panel1);
  const QRect area = panel->CaptionArea();
  return QFontMetrics(panel->CaptionFont())
      .boundingRect(area, int(panel->alignment()) | Qt::TextWordWrap, panel->text());
}

QString TTimedFrame::SecondsText(int seconds) { return QString::number(seconds) + U(texts::kSecondsSuffix); }

QString TTimedFrame::EarlyEndQuestion() const { return U(texts::kEndTaskQuestion); }

void TTimedFrame::BuildPanel(int height, const QString &caption, const QString &buttonText) {
  Panel1->setFixedHeight(height);
  Panel1->setText(caption);
  Button1->setText(buttonText);
}

void TTimedFrame::SetTopBar(const QString &title, bool showTimeAndBar) {
  const int limit = Limit();
  main_.lblProcessName->setText(title);
  main_.lblProcessTime->setText(SecondsText(limit));
  main_.lblProcessTime->setVisible(showTimeAndBar);
  main_.ProcessBar->setVisible(showTimeAndBar);
  main_.ProcessBar->setRange(0, limit);
  main_.ProcessBar->setValue(0);
}

void TTimedFrame::StartCounting() {
  FTicks = 0;
  Timer1->SetEnabled(true);
}

bool TTimedFrame::SetUpStep(const std::function<void()> &step) {
  try {
    step();
    return true;
  } catch (...) {
    if (!kept_start_error_) kept_start_error_ = std::current_exception();
    return false;
  }
}

void TTimedFrame::ShowTaskPage(const std::string &fieldName, int page) {
  SetUpStep([&] { main_.ShowPDFPage(Image1, fieldName, page); });
}

void TTimedFrame::RaiseKeptStartError() {
  if (!kept_start_error_) return;
  std::exception_ptr error = kept_start_error_;
  kept_start_error_ = nullptr;
  std::rethrow_exception(error);
}

void TTimedFrame::StartFailed() {
  if (ended_ || Timer1->Enabled()) return;
  // The title and what the bar shows stay as Start left them; the seconds
  // count from the limit.
  const int limit = Limit();
  main_.lblProcessTime->setText(SecondsText(limit));
  main_.ProcessBar->setRange(0, limit);
  main_.ProcessBar->setValue(0);
  StartCounting();
}

void TTimedFrame::RequestEnd() {
  FTicks = EarlyEndValue();
  FEndRequested = true;
}

void TTimedFrame::Timer1Timer() {
  if (!GuardedTick()) {
    Tick();
    return;
  }
  try {
    Tick();
  } catch (const std::exception &) {
    // Shown after the tick, so the frame keeps counting while it is open.
    main_.ShowNoticeOnce(U(texts::kTickFailedNotice));
  }
}

void TTimedFrame::Tick() {
  if (ended_) return;
  ++FTicks;
  const int limit = Limit();
  if (!FEndRequested && FTicks <= limit && !(TestsExamClock() && ExamTimeOver(main_))) {
    main_.ProcessBar->setValue(main_.ProcessBar->value() + 1);
    main_.lblProcessTime->setText(SecondsText(limit - FTicks));
    return;
  }
  // A failing end work leaves the frame counting, so the next tick tries again.
  const int next = EndWork();
  ended_ = true;
  main_.StartFrame(next);  // frees this frame once the tick has returned
}

void TTimedFrame::Button1Click() {
  if (!main_.AskYesNo(EarlyEndQuestion())) return;
  // The question runs a nested loop in which this frame may have ended.
  if (ended_ || !IsCurrent()) return;
  RequestEnd();
}

// ---- shared steps ------------------------------------------------------------

std::string WorkFile(const TfrmMain &main, std::string_view name) { return main.AnswerRoot() + std::string(name); }

void CopyBlobToFile(TfrmMain &main, const std::string &fieldName, std::string_view fileName) {
  ts::TField &field = main.complects->FieldNamed(fieldName);
  std::unique_ptr<ts::TdvoBlobStream> stream = main.complects->OpenBlobStream(field, ts::TBlobStreamMode::Read);
  std::string buffer(std::size_t(stream->Size()), '\0');
  stream->SetPosition(0);
  if (!buffer.empty()) {
    const std::int64_t got = stream->Read(buffer.data(), std::int64_t(buffer.size()));
    buffer.resize(std::size_t(got < 0 ? 0 : got));
  }
  const std::string path = WorkFile(main, fileName);
  // A new file of the station's own: never written through a link, nor into
  // a pipe, a device or a file with another name; gone if the station ends
  // by a signal before it is read.
  klt::files::Opened out = klt::files::CreateOwn(path, klt::files::Lifetime::Temporary);
  if (!out.fd) throw std::runtime_error(FileCreationProblem(path, out.failure).toStdString());
  klt::files::Failure failure = klt::files::WriteAll(out.fd.Get(), buffer.data(), buffer.size(), path);
  if (failure) {
    // What was written would only take the room that was lacking.
    klt::files::RemoveOwn(path, out.fd.Get());
    throw std::runtime_error(FileWriteProblem(path, failure).toStdString());
  }
  if (::close(out.fd.Release()) != 0 && errno != EINTR) {
    const int error = errno;
    // Part of the blob is no copy of it: nothing may play or read it.
    RemoveFile(path);
    throw std::runtime_error(FileWriteProblem(path, klt::files::Failure{error}).toStdString());
  }
}

QStringList ParseOptionList(const QByteArray &bytes) {
  QString text;
  const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
  const qsizetype n = bytes.size();
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    const bool little = b[0] == 0xFF;
    text.reserve((n - 2) / 2);
    for (qsizetype i = 2; i + 1 < n; i += 2)
      text.append(QChar(char16_t(little ? (b[i] | (b[i + 1] << 8)) : ((b[i] << 8) | b[i + 1]))));
  } else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    text = QString::fromUtf8(bytes.constData() + 3, n - 3);
  } else {
    text = FromCodePage(std::string_view(bytes.constData(), std::size_t(n)));
  }

  QStringList lines;
  QString line;
  bool pending = false;  // a line has begun since the last break
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c == u'\r' || c == u'\n' || c == QChar(0x2028)) {
      lines.append(line);
      line.clear();
      pending = false;
      if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') ++i;
    } else {
      line.append(c);
      pending = true;
    }
  }
  if (pending) lines.append(line);
  return lines;
}

QStringList LoadOptionList(const TfrmMain &main, std::string_view fileName) {
  const std::string path = WorkFile(main, fileName);
  const QByteArray bytes = ReadWholeFile(path);
  RemoveFile(path);
  return ParseOptionList(bytes);
}

std::vector<BoxPosition> ReadBoxPositions(const QByteArray &bytes, int count) {
  const qsizetype n = bytes.size();
  qsizetype pos = 0;
  auto readNumber = [&]() -> int {
    while (pos < n && static_cast<unsigned char>(bytes[pos]) <= ' ') ++pos;
    std::string token;
    while (pos < n && token.size() < 32 && static_cast<unsigned char>(bytes[pos]) > ' ') token += bytes[pos++];
    if (token.empty()) return 0;  // end of the file
    std::size_t i = 0;
    bool negative = false;
    if (token[0] == '+' || token[0] == '-') {
      negative = token[0] == '-';
      i = 1;
    }
    if (i >= token.size()) throw std::runtime_error("Invalid numeric input");
    std::int64_t value = 0;
    for (; i < token.size(); ++i) {
      if (token[i] < '0' || token[i] > '9') throw std::runtime_error("Invalid numeric input");
      value = value * 10 + (token[i] - '0');
      if (value > std::int64_t(std::numeric_limits<int>::max()) + 1) throw std::runtime_error("Invalid numeric input");
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max()) throw std::runtime_error("Invalid numeric input");
    return int(value);
  };
  auto skipLine = [&] {
    while (pos < n && bytes[pos] != '\r' && bytes[pos] != '\n') ++pos;
    if (pos < n && bytes[pos] == '\r') ++pos;
    if (pos < n && bytes[pos] == '\n') ++pos;
  };
  std::vector<BoxPosition> result;
  for (int k = 0; k < count; ++k) {
    BoxPosition p;
    p.top = readNumber();
    p.left = readNumber();
    p.width = readNumber();
    skipLine();
    result.push_back(p);
  }
  return result;
}

void PlaceBoxes(const TfrmMain &main, std::string_view fileName, const std::vector<QWidget *> &boxes) {
  const std::string path = WorkFile(main, fileName);
  const QByteArray bytes = ReadWholeFile(path);
  // The copy is only a carrier of the blob: it goes even when its numbers
  // are bad.
  RemoveFile(path);
  const std::vector<BoxPosition> positions = ReadBoxPositions(bytes, int(boxes.size()));
  for (std::size_t i = 0; i < boxes.size(); ++i)
    boxes[i]->setGeometry(positions[i].left, positions[i].top, positions[i].width, boxes[i]->height());
}

std::vector<int> ChoicePicks(const std::vector<QComboBox *> &boxes) {
  std::vector<int> picks;
  for (const QComboBox *box : boxes) {
    const int index = box->currentIndex();
    // Typed text that is not the selected item's counts as no pick.
    const bool picked = index >= 0 && box->currentText() == box->itemText(index);
    picks.push_back(picked ? index + 1 : 0);
  }
  return picks;
}

std::string ChoiceDigits(const std::vector<QComboBox *> &boxes) {
  std::string digits;
  for (int pick : ChoicePicks(boxes)) digits += std::to_string(pick);
  return digits;
}

void ApplyChoicePicks(const std::vector<QComboBox *> &boxes, const std::vector<int> &picks) {
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    const int pick = k < picks.size() ? picks[k] : 0;
    const int index = pick >= 1 && pick <= boxes[k]->count() ? pick - 1 : -1;
    boxes[k]->setCurrentIndex(index);
    if (index < 0) boxes[k]->setEditText(QString());
  }
}

void RestoreChoiceTask(TfrmMain &main, const std::string &field, const std::vector<QComboBox *> &boxes) {
  const auto kept = main.FChoicePicks.find(field);
  if (kept != main.FChoicePicks.end())
    ApplyChoicePicks(boxes, kept->second);
  else
    RestoreChoices(boxes, main.answers->FieldNamed(field).AsString());
}

void StoreChoices(TfrmMain &main, const std::string &field, const std::vector<QComboBox *> &boxes) {
  bool filled = false;
  for (const QComboBox *box : boxes) filled = filled || box->count() > 0;
  if (!filled) return;
  StoreAnswer(main, field, ChoiceDigits(boxes));
  main.FChoicePicks[field] = ChoicePicks(boxes);
}

bool ExamTimeOver(const TfrmMain &main) { return main.FElapsedSeconds > main.FExamSeconds; }

QComboBox *MakeChoiceBox(QWidget *parent) {
  auto *box = new QComboBox(parent);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setFont(PixelFont(13, false));
  box->setFixedHeight(24);
  // No place until the positions list gives one: a box whose position could
  // not be read takes none, as a line missing from the list gives.
  box->setGeometry(0, 0, 0, 24);
  box->setCurrentIndex(-1);
  return box;
}

void FillChoices(const std::vector<QComboBox *> &boxes, const QStringList &options) {
  for (QComboBox *box : boxes) {
    box->clear();
    box->addItems(options);
    box->setCurrentIndex(-1);
    box->setEditText(QString());
  }
}

void RestoreChoices(const std::vector<QComboBox *> &boxes, const std::string &digits) {
  if (digits.size() != boxes.size() || digits.find_first_not_of('0') == std::string::npos) return;
  for (std::size_t k = 0; k < boxes.size(); ++k) {
    const char c = digits[k];
    const int index = (c >= '1' && c <= '9' && c - '1' < boxes[k]->count()) ? c - '1' : -1;
    boxes[k]->setCurrentIndex(index);
    if (index < 0) boxes[k]->setEditText(QString());
  }
}

void StoreAnswer(TfrmMain &main, const std::string &fieldName, const std::string &text) {
  main.answers->Edit();
  main.answers->FieldNamed(fieldName).SetAsString(text);
  main.answers->Post();
}

int AudioLimitFromSeconds(double seconds) {
  // Whatever the audio library reports for a file it could not read, the
  // limit stays a sane whole number.
  if (!std::isfinite(seconds)) seconds = 0;
  const double rounded = std::nearbyint(seconds);  // halves to even
  constexpr double kMax = std::numeric_limits<int>::max() - 2;
  if (rounded >= kMax) return std::numeric_limits<int>::max();
  if (rounded <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min() + 2;
  return int(rounded) + 2;
}

int OpenAudioWithLimit(HSTREAM &handle, const std::string &file) {
  BASS_ChannelStop(handle);
  handle = BASS_StreamCreateFile(0, file.c_str(), 0, 0, 0);
  // A file that cannot be opened plays nothing: it lasts no time at all.
  if (handle == 0) return AudioLimitFromSeconds(0);
  const QWORD length = BASS_ChannelGetLength(handle, BASS_POS_BYTE);
  const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(length & 0xFFFFFFFFu));
  const double seconds = BASS_ChannelBytes2Seconds(handle, static_cast<QWORD>(static_cast<std::int64_t>(low)));
  return AudioLimitFromSeconds(seconds < 0 ? 0 : seconds);
}

void CloseAudio(HSTREAM handle, const std::string &file) {
  BASS_ChannelStop(handle);
  BASS_StreamFree(handle);
  RemoveFile(file);
}

// ---- word splitter ---------------------------------------------------------

int NthWordStart(int n, std::string_view text, std::string_view delimiters) {
  if (text.empty() || n < 1) return 0;
  int field = 1;
  if (n == 1) return 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (delimiters.find(text[i]) != std::string_view::npos) {
      ++field;
      if (field == n) return int(i) + 2;  // right after the delimiter
    }
  }
  return 0;
}

std::string NthWord(int n, std::string_view text, std::string_view delimiters) {
  const int start = NthWordStart(n, text, delimiters);
  if (start == 0) return {};
  const std::size_t from = std::size_t(start - 1);
  std::size_t to = from;
  while (to < text.size() && delimiters.find(text[to]) == std::string_view::npos) ++to;
  return std::string(text.substr(from, to - from));
}

}  // namespace station
