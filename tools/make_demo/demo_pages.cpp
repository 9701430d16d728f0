#include "demo_pages.h"

#include "page_drawing.h"
#include "text_files.h"

#include <QFile>
#include <QJsonArray>

#include <functional>
#include <stdexcept>

namespace demo {
namespace {

using namespace draw;

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
  // Page 7: preparation for task 6, shown from its top-left corner, and
  // task 6 without a photo, shown centred. The content lies in the rows both
  // views show (from kVisibleTop to kPhotoChoiceBottom).
  {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. 7"));
    int y = Paragraph(p, kVisibleTop, U("Задание 6. Выберите одну из фотографий и опишите её: кто изображён, где и что "
                                        "происходит, что вам нравится или не нравится на фото."),
                      17, true, 20, 780);
    for (int k = 0; k < 3; ++k)
      Picture(p, QRect(20 + k * 265, y + 10, 240, 150), var_no * 3 + k, U("Фото %1: ").arg(k + 1) + photos[k]);
    y = Paragraph(p, y + 215, U("Отметьте номер выбранной фотографии внизу экрана."), 15, false, 20, 780);
    if (y > kPhotoChoiceBottom) throw std::runtime_error("page 7 runs below the photo choice's view");
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

}  // namespace

QString BoxListText(const std::vector<PageBox> &boxes) {
  QString out;
  for (const PageBox &b : boxes)
    out += QString("%1 %2 %3\r\n").arg(b.y + kScreenOffsetY).arg(b.x + kScreenOffsetX).arg(b.width);
  return out;
}

void WriteGrade11Pages(const QJsonObject &content, const QString &outDir) {
  WriteAllPages(content, outDir, WriteVariant);
}

}  // namespace demo
