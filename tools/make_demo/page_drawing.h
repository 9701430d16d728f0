// Drawing the demo's A4 pages: the PDF writer, text, answer boxes, pictures,
// box lists and the content file's accessors, shared by both grades.
#pragma once

#include "demo_pages.h"

#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace demo::draw {

inline constexpr char kFamily[] = "Liberation Sans";
inline constexpr int kMargin = 60;
// Rows of a centred page that the task screens show.
inline constexpr int kVisibleTop = -kScreenOffsetY + 15;  // 292
// The last row that the photo choice shows of a page drawn from its top-left
// corner: the window's 713 rows less the top bar (50) and its panel (60).
inline constexpr int kPhotoChoiceBottom = 713 - 50 - 60;  // 603
inline constexpr int kDropDownHeight = 24;
inline constexpr int kTextBoxHeight = 21;

QString U(const char *s);

// Content accessors; a missing key or a short list throws std::runtime_error.
QStringList Strings(const QJsonValue &v);
QJsonValue Need(const QJsonObject &o, const char *key);
QStringList NeedStrings(const QJsonObject &o, const char *key, qsizetype count);

// A PDF of exact A4 pages whose painter works in 100-dpi pixels.
class PdfPages {
 public:
  explicit PdfPages(const QString &path);
  ~PdfPages();
  QPainter &NewPage();
  void Finish();

 private:
  static void FixBoxesAndDate(const QString &path);

  QString path_;
  QPdfWriter writer_;
  QPainter painter_;
  int pages_ = 0;
};

void SetFont(QPainter &p, int pixels, bool bold = false);
// Draws wrapped text from `y`; returns the y below it.
int Paragraph(QPainter &p, int y, const QString &text, int pixels, bool bold = false, int x = kMargin,
              int width = kPageWidth - 2 * kMargin);
void Header(QPainter &p, const QString &text);
void DrawBox(QPainter &p, const PageBox &b, const QString &label);
void Picture(QPainter &p, const QRect &r, int seed, const QString &caption);
void WriteBoxes(const QString &path, const std::vector<PageBox> &boxes);
// The instruction and text-check pages, then `writeVariant` for every
// variant into its folder vN.
using VariantWriter = std::function<void(const QJsonObject &subject, const QJsonObject &variant, const QString &dir)>;
void WriteAllPages(const QJsonObject &content, const QString &outDir, const VariantWriter &writeVariant);
// A one-page document of a title and lines (instruction, text check).
void WriteTextPage(const QString &path, const QJsonObject &page, const QString &header);

}  // namespace demo::draw
