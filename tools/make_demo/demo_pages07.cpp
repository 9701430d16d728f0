#include "demo_pages.h"

#include "page_drawing.h"
#include "text_files.h"

#include <QFile>
#include <QJsonArray>

#include <stdexcept>

namespace demo {
namespace {

using namespace draw;

// Five drop-down boxes down the visible part of a page, from `y`.
std::vector<PageBox> FiveBoxes(QPainter &p, int y, int left, int width, int step) {
  std::vector<PageBox> boxes;
  for (int k = 0; k < 5; ++k) {
    const PageBox b{left, y + k * step, width, kDropDownHeight};
    DrawBox(p, b, QString::number(k + 1) + ".");
    boxes.push_back(b);
  }
  return boxes;
}

void WriteVariant7(const QJsonObject &subject, const QJsonObject &v, const QString &dir) {
  const int var_no = Need(v, "varNo").toInt();
  const QJsonArray statements = Need(v, "statements").toArray();
  const QJsonArray questions = Need(v, "task5Questions").toArray();
  if (statements.size() < 5 || questions.size() < 5)
    throw std::runtime_error("\"statements\" and \"task5Questions\" need 5 entries");
  const QStringList photos = NeedStrings(v, "photos", 3);
  const QStringList choices4 = NeedStrings(v, "task4Choices", 5);
  const QStringList choices6 = NeedStrings(v, "task6Choices", 5);
  if (choices4.size() > 9 || choices6.size() > 9) throw std::runtime_error("at most nine options per list");
  const QString read_aloud = Need(v, "readAloud").toString();

  const QString header = U("%1 · Демонстрационный вариант %2 · %3")
                             .arg(subject.value("name").toString())
                             .arg(var_no)
                             .arg(Need(v, "topic").toString());
  PdfPages pdf(dir + "/VariantText.pdf");
  std::vector<PageBox> boxes[6];
  auto page = [&](int number) -> QPainter & {
    QPainter &p = pdf.NewPage();
    Header(p, header + U(" · стр. %1").arg(number));
    return p;
  };

  // Page 1: the variant's cover; no screen shows it.
  Paragraph(page(1), kVisibleTop, U("Демонстрационный вариант %1").arg(var_no), 22, true);
  // Page 2: listening task, five boxes of three statements each.
  {
    QPainter &p = page(2);
    const int y = Paragraph(p, kVisibleTop, U("Задание 1. Прослушайте рассказ. Для каждого пункта 1-5 выберите "
                                              "утверждение, которое соответствует содержанию."),
                            17, true);
    boxes[0] = FiveBoxes(p, y + 30, 150, 560, 60);
  }
  // Pages 3 and 4: spoken task 2, preparation and answer.
  Paragraph(page(3), kVisibleTop,
            U("Задание 2. Подготовка. Прочитайте текст про себя. Затем вам нужно будет прочитать его вслух.\n\n") +
                read_aloud,
            18);
  Paragraph(page(4), kVisibleTop, U("Задание 2. Прочитайте текст вслух. Идёт запись.\n\n") + read_aloud, 20);
  // Page 5: preparation for spoken task 3 with the photo choice.
  {
    QPainter &p = page(5);
    const int y = Paragraph(p, kVisibleTop, U("Задание 3. Выберите одну из фотографий и опишите её."), 17, true);
    for (int k = 0; k < 3; ++k)
      Picture(p, QRect(40 + k * 255, y + 20, 230, 160), var_no * 3 + k, U("Фото %1: ").arg(k + 1) + photos[k]);
  }
  // Pages 6 to 8: the chosen photo.
  for (int k = 0; k < 3; ++k) {
    QPainter &p = page(6 + k);
    const int y = Paragraph(p, kVisibleTop, U("Задание 3. Опишите фото %1.").arg(k + 1), 17, true);
    Picture(p, QRect(180, y + 20, 460, 280), var_no * 3 + k, photos[k]);
  }
  // Page 9: written task 4, every box takes the whole list.
  {
    QPainter &p = page(9);
    int y = Paragraph(p, kVisibleTop, U("Задание 4. Выберите для каждого пропуска 1-5 подходящее слово."), 17, true);
    y = Paragraph(p, y + 15, Need(v, "task4Text").toString(), 16) + 20;
    boxes[3] = FiveBoxes(p, y, 150, 240, 50);
  }
  // Page 10: written task 5, four options of its own for each box.
  {
    QPainter &p = page(10);
    const int y = Paragraph(p, kVisibleTop, U("Задание 5. Ответьте на вопросы 1-5."), 17, true) + 15;
    for (int k = 0; k < 5; ++k) {
      const QStringList q = Strings(questions[k]);
      if (q.size() != 5) throw std::runtime_error("each task-5 question needs four options");
      Paragraph(p, y + k * 62, QString::number(k + 1) + ". " + q[0], 15, false, kMargin, 400);
      const PageBox b{520, y + k * 62, 240, kDropDownHeight};
      DrawBox(p, b, QString());
      boxes[4].push_back(b);
    }
  }
  // Page 11: written task 6.
  {
    QPainter &p = page(11);
    int y = Paragraph(p, kVisibleTop, U("Задание 6. Выберите для каждого объявления 1-5 место."), 17, true);
    y = Paragraph(p, y + 15, Need(v, "task6Text").toString(), 16) + 20;
    boxes[5] = FiveBoxes(p, y, 150, 240, 50);
  }
  pdf.Finish();

  for (int i = 0; i < 6; ++i) WriteBoxes(dir + QString("/coords%1.txt").arg(i + 1), boxes[i]);
  QStringList task1, task5;
  for (int k = 0; k < 5; ++k) {
    const QStringList three = Strings(statements[k]);
    if (three.size() != 3) throw std::runtime_error("each statement needs three options");
    task1 << three;
    task5 << Strings(questions[k]).mid(1);
  }
  WriteLines(dir + "/answer1.txt", task1, TextEncoding::CodePageNoMark);
  for (const char *unread : {"/answer2.txt", "/answer3.txt"}) {
    QFile f(dir + unread);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw std::runtime_error("cannot write " + f.fileName().toStdString());
  }
  WriteLines(dir + "/answer4.txt", choices4, TextEncoding::Utf8WithMark);
  WriteLines(dir + "/answer5.txt", task5, TextEncoding::Utf16LeWithMark);
  WriteLines(dir + "/answer6.txt", choices6, TextEncoding::CodePageNoMark);
}

}  // namespace

void WriteGrade7Pages(const QJsonObject &content, const QString &outDir) {
  WriteAllPages(content, outDir, WriteVariant7);
}

}  // namespace demo
