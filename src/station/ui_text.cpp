#include "ui_text.h"

#include "creation_problem.h"

#include "table_store/codepage.h"

#include <QList>

#include <cstdint>
#include "table_store/errors.h"

namespace station {

QString FromCodePage(std::string_view bytes) {
  const std::u16string text = ts::Cp1251ToUtf16(bytes);
  return QString(reinterpret_cast<const QChar *>(text.data()), qsizetype(text.size()));
}

namespace {

// What stands for a character the code page lacks.
std::string Fallback(char32_t codePoint) {
  if (codePoint == U'ß') return "ss";
  if (codePoint == U'ẞ') return "SS";
  // The compatibility decomposition without its combining marks: "é" gives
  // "e", "ﬁ" gives "fi". Taken only when all of it is in the code page.
  const QString parts = QString::fromUcs4(&codePoint, 1).normalized(QString::NormalizationForm_KD);
  std::string out;
  for (QChar c : parts) {
    if (c.category() == QChar::Mark_NonSpacing) continue;
    std::uint8_t byte = 0;
    if (!ts::UnicodeToCp1251(c.unicode(), byte) || byte == 0) return "?";
    out += char(byte);
  }
  return out.empty() ? "?" : out;
}

}  // namespace

std::string ToCodePage(const QString &text) {
  std::string out;
  out.reserve(std::size_t(text.size()));
  for (const uint codePoint : text.toUcs4()) {
    std::uint8_t byte = 0;
    if (ts::UnicodeToCp1251(codePoint, byte))
      out += char(byte);
    else
      out += Fallback(codePoint);
  }
  return out;
}

QString ErrorText(const std::exception &error) {
  if (const auto *own = dynamic_cast<const ts::Exception *>(&error)) {
    // A file the store could not make or write is told in the station's
    // words, with the whole path and the reason; the rest in the store's.
    if (const ts::TFileFault *fault = own->FileFault()) {
      if (dynamic_cast<const ts::EWriteError *>(own)) return FileWriteProblem(fault->path, fault->failure);
      if (dynamic_cast<const ts::EFCreateError *>(own)) return FileCreationProblem(fault->path, fault->failure);
    }
    return FromCodePage(own->Message());
  }
  return QString::fromUtf8(error.what());
}

}  // namespace station
