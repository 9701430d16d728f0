// The demo materials of both grades: task pages, instruction and text-check pages
// as A4 PDFs, answer-box positions and option lists, from a content file.
#pragma once

#include <QJsonObject>
#include <QString>

#include <vector>

namespace demo {

// An answer box on a page, in pixels of the page rendered at 100 dpi.
struct PageBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// A task page (827 x 1169 at 100 dpi) is shown centred, unscaled, in a
// 1016 x 614 picture at the top of the task screen; the box lists give
// positions in that screen.
inline constexpr int kPageWidth = 827;
inline constexpr int kPageHeight = 1169;
inline constexpr int kScreenOffsetX = (1016 - kPageWidth) / 2;   // 94
inline constexpr int kScreenOffsetY = (614 - kPageHeight) / 2;   // -277

// "top left width" lines, one per box, in screen pixels.
QString BoxListText(const std::vector<PageBox> &boxes);

// Writes into `outDir`: intro.pdf, testrtf.pdf and per variant N the folder
// vN with VariantText.pdf (11 pages), coords1..coords6.txt and
// answer1..answer6.txt. Throws std::runtime_error on bad content or a file
// that cannot be written.
void WriteGrade11Pages(const QJsonObject &content, const QString &outDir);

// The same for grade 7: VariantText.pdf holds the listening task (page 2),
// the spoken tasks (3 to 8) and the written tasks 4, 5 and 6 (9 to 11); the
// lists 2 and 3 are empty, as no screen reads them.
void WriteGrade7Pages(const QJsonObject &content, const QString &outDir);

}  // namespace demo
