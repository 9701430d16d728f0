#include "demo_pages.h"
#include "text_files.h"
#include "wav_tone.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace demo;

namespace {

QJsonObject DemoContent(const char *grade = "grade11") {
  QFile f(QStringLiteral(DEMO_SOURCE_DIR "/") + grade + "/content.json");
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return QJsonDocument::fromJson(f.readAll()).object();
}

QByteArray Read(const QString &path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
  return f.readAll();
}

struct Line {
  int top, left, width;
};

std::vector<Line> ReadBoxes(const QString &path) {
  std::vector<Line> out;
  for (const QByteArray &raw : Read(path).split('\n')) {
    const QList<QByteArray> n = raw.trimmed().split(' ');
    if (n.size() == 3) out.push_back({n[0].toInt(), n[1].toInt(), n[2].toInt()});
  }
  return out;
}

}  // namespace

TEST(DemoMaterials, BoxListsGiveScreenPositionsOfThePageBoxes) {
  // A page shown centred in the 1016 x 614 picture starts 94 pixels right and
  // 277 pixels above the picture.
  EXPECT_EQ(BoxListText({{150, 417, 240, 21}, {0, 277, 827, 24}}), "140 244 240\r\n0 94 827\r\n");
  EXPECT_EQ(BoxListText({}), QString());
}

TEST(DemoMaterials, OptionListsAreWrittenInTheirEncodings) {
  const QStringList lines{QString::fromUtf8("Чтение"), "go"};
  EXPECT_EQ(EncodeLines(lines, TextEncoding::Utf8WithMark),
            QByteArray("\xEF\xBB\xBF") + QString::fromUtf8("Чтение\r\ngo\r\n").toUtf8());
  EXPECT_EQ(EncodeLines(lines, TextEncoding::CodePageNoMark), QByteArray("\xD7\xF2\xE5\xED\xE8\xE5\r\ngo\r\n"));
  EXPECT_EQ(EncodeLines({"ab"}, TextEncoding::Utf16LeWithMark), QByteArray("\xFF\xFE" "a\0b\0\r\0\n\0", 10));
  EXPECT_THROW(EncodeLines({QString::fromUtf8("漢字")}, TextEncoding::CodePageNoMark), std::runtime_error);
}

TEST(DemoMaterials, ToneIsAPlayableWaveFile) {
  const QByteArray wav = ToneWav(2.0, 440, 22050);
  ASSERT_EQ(wav.size(), 44 + 2 * 44100);
  EXPECT_TRUE(wav.startsWith("RIFF"));
  EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
  EXPECT_EQ(wav.mid(36, 4), "data");
}

TEST(DemoMaterials, GradeElevenPagesBoxesAndListsFitTheScreens) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  WriteGrade11Pages(DemoContent(), dir.path());
  EXPECT_TRUE(Read(dir.path() + "/intro.pdf").startsWith("%PDF"));
  EXPECT_TRUE(Read(dir.path() + "/testrtf.pdf").startsWith("%PDF"));
  const int expected_boxes[6] = {5, 5, 6, 6, 3, 3};
  for (int v = 0; v < 3; ++v) {
    SCOPED_TRACE(v);
    const QString vd = dir.path() + QString("/v%1").arg(v);
    const QByteArray pdf = Read(vd + "/VariantText.pdf");
    EXPECT_EQ(QString::fromLatin1(pdf).count(QRegularExpression("/Type\\s*/Page(?!s)")), 11) << "eleven task pages";
    EXPECT_EQ(pdf.count("/MediaBox [0 0 595.275591 841.889764]"), 11) << "exact A4, 827 x 1169 at 100 dpi";
    EXPECT_TRUE(pdf.contains("/CreationDate (D:20200101000000")) << "dated alike in every build";
    for (int n = 1; n <= 6; ++n) {
      const auto boxes = ReadBoxes(vd + QString("/coords%1.txt").arg(n));
      ASSERT_EQ(int(boxes.size()), expected_boxes[n - 1]) << "coords" << n;
      for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Line &b = boxes[i];
        // Inside the task picture, which is 1016 x 614 under the top bar.
        EXPECT_GE(b.top, 0);
        EXPECT_LE(b.top + 24, 614);
        EXPECT_GE(b.left, 94);
        EXPECT_LE(b.left + b.width, 94 + 827);
        for (std::size_t j = 0; j < i; ++j) {
          const Line &o = boxes[j];
          const bool apart = b.top >= o.top + 24 || o.top >= b.top + 24 || b.left >= o.left + o.width ||
                             o.left >= b.left + b.width;
          EXPECT_TRUE(apart) << "boxes " << j << " and " << i << " of coords" << n << " overlap";
        }
      }
    }
    const QByteArray answer1 = Read(vd + "/answer1.txt");
    EXPECT_TRUE(answer1.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(answer1.count("\r\n"), 15) << "three options for each of five boxes";
    const QByteArray answer2 = Read(vd + "/answer2.txt");
    EXPECT_FALSE(answer2.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(answer2.contains('\xD7') || answer2.contains('\xCC')) << "Cyrillic in the code page";
    EXPECT_LE(answer2.count("\r\n"), 9);
    EXPECT_TRUE(Read(vd + "/answer4.txt").startsWith("\xFF\xFE"));
  }
}

TEST(DemoMaterials, ContentWithoutAPartIsRefused) {
  QTemporaryDir dir;
  QJsonObject content = DemoContent();
  content.remove("intro");
  EXPECT_THROW(WriteGrade11Pages(content, dir.path()), std::runtime_error);
}

TEST(DemoMaterials, GradeSevenPagesBoxesAndListsFitTheScreens) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  WriteGrade7Pages(DemoContent("grade07"), dir.path());
  EXPECT_TRUE(Read(dir.path() + "/intro.pdf").startsWith("%PDF"));
  for (int v = 0; v < 3; ++v) {
    SCOPED_TRACE(v);
    const QString vd = dir.path() + QString("/v%1").arg(v);
    const QByteArray pdf = Read(vd + "/VariantText.pdf");
    EXPECT_EQ(pdf.count("/MediaBox [0 0 595.275591 841.889764]"), 11) << "eleven A4 pages";
    for (int n : {1, 4, 5, 6}) {
      const auto boxes = ReadBoxes(vd + QString("/coords%1.txt").arg(n));
      ASSERT_EQ(boxes.size(), 5u) << "coords" << n;
      for (const Line &b : boxes) {
        EXPECT_GE(b.top, 0);
        EXPECT_LE(b.top + 24, 614);
        EXPECT_GE(b.left, 94);
        EXPECT_LE(b.left + b.width, 94 + 827);
      }
      for (std::size_t i = 1; i < boxes.size(); ++i) EXPECT_GE(boxes[i].top, boxes[i - 1].top + 24) << "apart";
    }
    for (const char *unread : {"/coords2.txt", "/coords3.txt", "/answer2.txt", "/answer3.txt"})
      EXPECT_TRUE(Read(vd + unread).isEmpty()) << unread;
    const QByteArray answer1 = Read(vd + "/answer1.txt");
    EXPECT_EQ(answer1.count("\r\n"), 15) << "three statements for each of five boxes";
    EXPECT_FALSE(answer1.startsWith("\xEF\xBB\xBF"));
    const QByteArray answer5 = Read(vd + "/answer5.txt");
    EXPECT_TRUE(answer5.startsWith("\xFF\xFE"));
    EXPECT_EQ(answer5.count(QByteArray("\r\0\n\0", 4)), 20) << "four options for each of five boxes";
    EXPECT_LE(Read(vd + "/answer4.txt").count("\r\n"), 9);
    EXPECT_LE(Read(vd + "/answer6.txt").count("\r\n"), 9);
  }
}
