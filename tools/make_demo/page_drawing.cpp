#include "page_drawing.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QJsonArray>
#include <QPageLayout>
#include <QPageSize>

#include <stdexcept>

namespace demo::draw {

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

PdfPages::PdfPages(const QString &path) : path_(path), writer_(path) {
  writer_.setResolution(100);
  writer_.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
  writer_.setCreator(QStringLiteral("make_demo"));
  writer_.setTitle(QStringLiteral("Demo materials"));
  if (!painter_.begin(&writer_)) throw std::runtime_error("cannot write " + path.toStdString());
}

PdfPages::~PdfPages() {
  if (painter_.isActive()) painter_.end();
}

QPainter &PdfPages::NewPage() {
  if (pages_++ > 0) writer_.newPage();
  painter_.fillRect(QRect(0, 0, kPageWidth, kPageHeight), Qt::white);
  return painter_;
}

void PdfPages::Finish() {
  painter_.end();
  FixBoxesAndDate(path_);
}

// The writer gives A4 in whole points (595 x 842), which is 826 pixels wide
// at 100 dpi; the materials' pages are 595.28 x 841.89 points, 827 x 1169
// pixels. The page boxes are rewritten in place with texts of the same
// length, so the file's cross-reference offsets stay right.
void PdfPages::FixBoxesAndDate(const QString &path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
  QByteArray bytes = f.readAll();
  f.close();
  const QByteArray whole("/MediaBox [0 0 595.000000 842.000000]");
  const QByteArray exact("/MediaBox [0 0 595.275591 841.889764]");
  static_assert(sizeof "595.000000 842.000000" == sizeof "595.275591 841.889764");
  if (!bytes.contains(whole)) throw std::runtime_error("unexpected page boxes in " + path.toStdString());
  bytes.replace(whole, exact);
  // The writer dates the file by the clock; a fixed date of the same length
  // makes two builds of the demo give the same bytes.
  const QByteArray dated("/CreationDate (D:");
  const qsizetype date = bytes.indexOf(dated);
  if (date < 0) throw std::runtime_error("no creation date in " + path.toStdString());
  bytes.replace(date + dated.size(), 14, QByteArrayLiteral("20200101000000"));
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

void SetFont(QPainter &p, int pixels, bool bold) {
  QFont f(kFamily);
  f.setPixelSize(pixels);
  f.setBold(bold);
  p.setFont(f);
}

int Paragraph(QPainter &p, int y, const QString &text, int pixels, bool bold, int x, int width) {
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

void WriteTextPage(const QString &path, const QJsonObject &page, const QString &header) {
  PdfPages pdf(path);
  QPainter &p = pdf.NewPage();
  Header(p, header);
  int y = Paragraph(p, kVisibleTop, Need(page, "title").toString(), 22, true) + 20;
  for (const QString &line : Strings(Need(page, "lines"))) y = Paragraph(p, y, line.isEmpty() ? " " : line, 17) + 6;
  pdf.Finish();
}

void WriteAllPages(const QJsonObject &content, const QString &outDir, const VariantWriter &writeVariant) {
  const QJsonObject subject = Need(content, "subject").toObject();
  if (!QDir().mkpath(outDir)) throw std::runtime_error("cannot create " + outDir.toStdString());
  const QString name = subject.value("name").toString();
  WriteTextPage(outDir + "/intro.pdf", Need(content, "intro").toObject(), name);
  WriteTextPage(outDir + "/testrtf.pdf", Need(content, "textCheck").toObject(), name);
  for (const QJsonValue &v : Need(content, "variants").toArray()) {
    const QString dir = outDir + QString("/v%1").arg(v.toObject().value("varNo").toInt());
    if (!QDir().mkpath(dir)) throw std::runtime_error("cannot create " + dir.toStdString());
    writeVariant(subject, v.toObject(), dir);
  }
}

}  // namespace demo::draw
