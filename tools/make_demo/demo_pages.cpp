#include "demo_pages.h"

#include "text_files.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QJsonArray>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <functional>
#include <stdexcept>

namespace demo {
namespace {

constexpr char kFamily[] = "Liberation Sans";
constexpr int kMargin = 60;
// Rows of a centred page that the task screens show.
constexpr int kVisibleTop = -kScreenOffsetY + 15;  // 292
constexpr int kDropDownHeight = 24;
constexpr int kTextBoxHeight = 21;

QString U(const char *s) { return QString::fromUtf8(s); }

QStringList Strings(const QJsonValue &v) {
  QStringList out;
  for (const QJsonValue &e : v.toArray()) out << e.toString();
  return out;
}

QJsonValue Need(const QJsonObject &o, const char *key) {
  if (!o.contains(QLatin1String(key))) throw std::runtime_error(std::string("content lacks \"") + key + "\"");
  return o.value(QLatin1String(key));
}

QStringList NeedStrings(const QJsonObject &o, const char *key, qsizetype count) {
  const QStringList list = Strings(Need(o, key));
  if (list.size() < count)
    throw std::runtime_error(std::string("\"") + key + "\" needs " + std::to_string(count) + " entries");
  return list;
}

// A PDF of A4 pages whose painter works in 100-dpi pixels.
class PdfPages {
 public:
  explicit PdfPages(const QString &path) : path_(path), writer_(path) {
    writer_.setResolution(100);
    writer_.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    writer_.setCreator(QStringLiteral("make_demo"));
    writer_.setTitle(QStringLiteral("Demo materials"));
    if (!painter_.begin(&writer_)) throw std::runtime_error("cannot write " + path.toStdString());
  }
  ~PdfPages() {
    if (painter_.isActive()) painter_.end();
  }
  QPainter &NewPage() {
    if (pages_++ > 0) writer_.newPage();
    painter_.fillRect(QRect(0, 0, kPageWidth, kPageHeight), Qt::white);
    return painter_;
  }
  void Finish() {
    painter_.end();
    SetExactA4(path_);
  }

 private:
  // The writer gives A4 in whole points (595 x 842), which is 826 pixels wide
  // at 100 dpi; the materials' pages are 595.28 x 841.89 points, 827 x 1169
  // pixels. The page boxes are rewritten in place with texts of the same
  // length, so the file's cross-reference offsets stay right.
  static void SetExactA4(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
    QByteArray bytes = f.readAll();
    f.close();
    const QByteArray whole("/MediaBox [0 0 595.000000 842.000000]");
    const QByteArray exact("/MediaBox [0 0 595.275591 841.889764]");
    static_assert(sizeof "595.000000 842.000000" == sizeof "595.275591 841.889764");
    if (!bytes.contains(whole)) throw std::runtime_error("unexpected page boxes in " + path.toStdString());
    bytes.replace(whole, exact);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
      throw std::runtime_error("cannot write " + path.toStdString());
  }

  QString path_;
  QPdfWriter writer_;
  QPainter painter_;
  int pages_ = 0;
};

void SetFont(QPainter &p, int pixels, bool bold = false) {
  QFont f(kFamily);
  f.setPixelSize(pixels);
  f.setBold(bold);
  p.setFont(f);
}

// Draws wrapped text from `y`; returns the y below it.
int Paragraph(QPainter &p, int y, const QString &text, int pixels, bool bold = false, int x = kMargin,
              int width = kPageWidth - 2 * kMargin) {
  SetFont(p, pixels, bold);
  p.setPen(Qt::black);
  const QRect box = p.boundingRect(QRect(x, y, width, 2000), Qt::TextWordWrap, text);
  p.drawText(QRect(x, y, width, box.height()), Qt::TextWordWrap, text);
  return y + box.height();
}

void Header(QPainter &p, const QString &text) {
  SetFont(p, 12);
  p.setPen(QColor(90, 90, 90));
  p.drawText(QRect(kMargin, 20, kPageWidth - 2 * kMargin, 20), Qt::AlignLeft, text);
  p.drawLine(kMargin, 44, kPageWidth - kMargin, 44);
}

void DrawBox(QPainter &p, const PageBox &b, const QString &label) {
  p.setPen(QPen(QColor(40, 70, 160), 1));
  p.setBrush(QColor(235, 242, 255));
  p.drawRect(b.x, b.y, b.width, b.height);
  p.setBrush(Qt::NoBrush);
  SetFont(p, 14, true);
  p.setPen(Qt::black);
  p.drawText(QRect(b.x - 40, b.y, 36, b.height), Qt::AlignRight | Qt::AlignVCenter, label);
}

void Picture(QPainter &p, const QRect &r, int seed, const QString &caption) {
  const QColor sky = QColor::fromHsv((seed * 70) % 360, 60, 240);
  p.fillRect(r, sky);
  p.fillRect(QRect(r.left(), r.top() + r.height() * 2 / 3, r.width(), r.height() / 3), QColor(110, 170, 90));
  p.setBrush(QColor(250, 210, 60));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPoint(r.right() - r.width() / 5, r.top() + r.height() / 5), r.width() / 12, r.width() / 12);
  p.setBrush(QColor(60, 60, 90));
  for (int i = 0; i < 2 + seed % 2; ++i)
    p.drawRect(r.left() + r.width() / 5 + i * r.width() / 5, r.top() + r.height() / 2, r.width() / 14,
               r.height() / 4);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::black, 1));
  p.drawRect(r);
  SetFont(p, 13, true);
  p.drawText(QRect(r.left(), r.bottom() + 6, r.width(), 44), Qt::AlignHCenter | Qt::TextWordWrap, caption);
}

void WriteBoxes(const QString &path, const std::vector<PageBox> &boxes) {
  QFile f(path);
  const QByteArray bytes = BoxListText(boxes).toLatin1();
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

void WriteVariant(const QJsonObject &subject, const QJsonObject &v, const QString &dir) {
  const int var_no = Need(v, "varNo").toInt();
  const QJsonArray statements = Need(v, "statements").toArray();
  if (statements.size() < 5) throw std::runtime_error("\"statements\" needs 5 entries");
  const QStringList texts = NeedStrings(v, "texts", 5);
  const QStringList headings = NeedStrings(v, "headings", 5);
  const QStringList gap_words = NeedStrings(v, "gapWords", 6);
  const QStringList choices = NeedStrings(v, "choices", 6);
  const QStringList photos = NeedStrings(v, "photos", 3);
  if (headings.size() > 9 || choices.size() > 9) throw std::runtime_error("at most nine options per list");

  const QString header = U("%1 · Демонстрационный вариант %2 · %3")
                             .arg(subject.value("name").toString())
                             .arg(var_no)
                             .arg(Need(v, "topic").toString());
  PdfPages pdf(dir + "/VariantText.pdf");
  std::vector<PageBox> boxes[6];

  // Page 1: listening task, five drop-down boxes of three options each.
  {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. 1"));
    int y = Paragraph(p, kVisibleTop, U("Задание 1. Прослушайте рассказ. Для каждого пункта 1-5 выберите в списке "
                                        "утверждение, которое соответствует содержанию."),
                      17, true);
    y += 30;
    for (int k = 0; k < 5; ++k) {
      const PageBox b{150, y + k * 95, 560, kDropDownHeight};
      DrawBox(p, b, QString::number(k + 1) + ".");
      Paragraph(p, b.y + 30, U("Пункт %1: выберите одно из трёх утверждений.").arg(k + 1), 13, false, 150, 560);
      boxes[0].push_back(b);
    }
  }
  // Page 2: five short texts matched to headings.
  {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. 2"));
    int y = Paragraph(p, kVisibleTop, U("Задание 2. Установите соответствие между текстами A-E и заголовками. "
                                        "Один заголовок лишний."),
                      17, true);
    y += 20;
    for (int k = 0; k < 5; ++k) {
      y = Paragraph(p, y, texts[k], 15, false, kMargin, 440) + 6;
      const PageBox b{540, y - 40, 230, kDropDownHeight};
      DrawBox(p, b, QString(QChar('A' + k)));
      boxes[1].push_back(b);
      y += 40;
    }
  }
  // Page 3: six gaps, typed words.
  {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. 3"));
    int y = Paragraph(p, kVisibleTop, U("Задание 3. Прочитайте текст. Впишите в поля 1-6 слова в нужной форме."), 17,
                      true);
    y = Paragraph(p, y + 20, Need(v, "gapText").toString(), 16) + 30;
    for (int k = 0; k < 6; ++k) {
      const PageBox b{150 + (k % 2) * 330, y + (k / 2) * 70, 240, kTextBoxHeight};
      DrawBox(p, b, "(" + QString::number(k + 1) + ")");
      boxes[2].push_back(b);
    }
  }
  // Page 4: six gaps chosen from one list.
  {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. 4"));
    int y = Paragraph(p, kVisibleTop, U("Задание 4. Выберите для каждого пропуска 1-6 подходящее слово из списка. "
                                        "Два слова лишние."),
                      17, true);
    y = Paragraph(p, y + 20, Need(v, "choiceText").toString(), 16) + 30;
    for (int k = 0; k < 6; ++k) {
      const PageBox b{150 + (k % 2) * 330, y + (k / 2) * 70, 240, kDropDownHeight};
      DrawBox(p, b, "(" + QString::number(k + 1) + ")");
      boxes[3].push_back(b);
    }
  }
  const QString read_aloud = Need(v, "readAloud").toString();
  // Page 5: preparation for task 5.
  {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. 5"));
    int y = Paragraph(p, kVisibleTop, U("Задание 5. Подготовка. Прочитайте текст про себя. Через две минуты вам "
                                        "нужно будет прочитать его вслух."),
                      17, true);
    Paragraph(p, y + 30, read_aloud, 20);
  }
  // Page 6: task 5, read aloud.
  {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. 6"));
    int y = Paragraph(p, kVisibleTop, U("Задание 5. Прочитайте текст вслух. Идёт запись."), 17, true);
    Paragraph(p, y + 30, read_aloud, 22);
  }
  // Page 7: preparation for task 6, shown from its top-left corner.
  {
    QPainter &p = pdf.NewPage();
    int y = Paragraph(p, 20, U("Задание 6. Выберите одну из фотографий и опишите её: кто изображён, где и что "
                               "происходит, что вам нравится или не нравится на фото."),
                      17, true, 20, 780);
    for (int k = 0; k < 3; ++k)
      Picture(p, QRect(20 + k * 265, y + 20, 240, 170), var_no * 3 + k, U("Фото %1: ").arg(k + 1) + photos[k]);
    Paragraph(p, y + 240, U("Отметьте номер выбранной фотографии внизу экрана."), 15, false, 20, 780);
  }
  // Pages 8 to 10: the chosen photo.
  for (int k = 0; k < 3; ++k) {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. %1").arg(8 + k));
    int y = Paragraph(p, kVisibleTop, U("Задание 6. Опишите фото %1. Говорите около двух минут.").arg(k + 1), 17,
                      true);
    Picture(p, QRect(180, y + 20, 460, 300), var_no * 3 + k, photos[k]);
    Paragraph(p, y + 360,
              U("План: 1) где и когда сделано фото; 2) кто на фото; 3) что происходит; 4) почему вы выбрали это фото."),
              15);
  }
  // Page 11: further written practice with boxes of lists 5 and 6.
  {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. 11"));
    int y = Paragraph(p, kVisibleTop, U("Дополнительные упражнения (не оцениваются)."), 17, true) + 30;
    for (int list = 4; list < 6; ++list) {
      for (int k = 0; k < 3; ++k) {
        const PageBox b{150 + k * 220, y, 180, kDropDownHeight};
        DrawBox(p, b, QString::number(k + 1));
        boxes[list].push_back(b);
      }
      y += 120;
    }
  }
  pdf.Finish();

  for (int i = 0; i < 6; ++i) WriteBoxes(dir + QString("/coords%1.txt").arg(i + 1), boxes[i]);

  QStringList task1;
  for (int k = 0; k < 5; ++k) {
    const QStringList three = Strings(statements[k]);
    if (three.size() != 3) throw std::runtime_error("each statement needs three options");
    task1 << three;
  }
  WriteLines(dir + "/answer1.txt", task1, TextEncoding::Utf8WithMark);
  WriteLines(dir + "/answer2.txt", headings, TextEncoding::CodePageNoMark);
  WriteLines(dir + "/answer3.txt", gap_words, TextEncoding::Utf8WithMark);
  WriteLines(dir + "/answer4.txt", choices, TextEncoding::Utf16LeWithMark);
  WriteLines(dir + "/answer5.txt", {U("да"), U("нет")}, TextEncoding::Utf8WithMark);
  WriteLines(dir + "/answer6.txt", {U("верно"), U("неверно"), U("не сказано")}, TextEncoding::Utf8WithMark);
}

void WriteTextPage(const QString &path, const QJsonObject &page, const QString &header) {
  PdfPages pdf(path);
  QPainter &p = pdf.NewPage();
  Header(p, header);
  int y = Paragraph(p, kVisibleTop, Need(page, "title").toString(), 22, true) + 20;
  for (const QString &line : Strings(Need(page, "lines"))) y = Paragraph(p, y, line.isEmpty() ? " " : line, 17) + 6;
  pdf.Finish();
}

}  // namespace

QString BoxListText(const std::vector<PageBox> &boxes) {
  QString out;
  for (const PageBox &b : boxes)
    out += QString("%1 %2 %3\r\n").arg(b.y + kScreenOffsetY).arg(b.x + kScreenOffsetX).arg(b.width);
  return out;
}

void WriteGrade11Pages(const QJsonObject &content, const QString &outDir) {
  const QJsonObject subject = Need(content, "subject").toObject();
  if (!QDir().mkpath(outDir)) throw std::runtime_error("cannot create " + outDir.toStdString());
  const QString name = subject.value("name").toString();
  WriteTextPage(outDir + "/intro.pdf", Need(content, "intro").toObject(), name);
  WriteTextPage(outDir + "/testrtf.pdf", Need(content, "textCheck").toObject(), name);
  for (const QJsonValue &v : Need(content, "variants").toArray()) {
    const QString dir = outDir + QString("/v%1").arg(v.toObject().value("varNo").toInt());
    if (!QDir().mkpath(dir)) throw std::runtime_error("cannot create " + dir.toStdString());
    WriteVariant(subject, v.toObject(), dir);
  }
}

}  // namespace demo
