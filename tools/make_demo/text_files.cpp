#include "text_files.h"

#include "table_store/codepage.h"

#include <QFile>

#include <stdexcept>

namespace demo {

QByteArray EncodeLines(const QStringList &lines, TextEncoding encoding) {
  const QString text = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
  switch (encoding) {
    case TextEncoding::Utf8WithMark:
      return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TextEncoding::CodePageNoMark: {
      bool lossless = true;
      const QByteArray utf8 = text.toUtf8();
      const std::string bytes = ts::Utf8ToCp1251(std::string_view(utf8.constData(), std::size_t(utf8.size())), &lossless);
      if (!lossless) throw std::runtime_error("text has characters outside the code page");
      return QByteArray(bytes.data(), qsizetype(bytes.size()));
    }
    case TextEncoding::Utf16LeWithMark: {
      QByteArray out("\xFF\xFE", 2);
      for (QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
      }
      return out;
    }
  }
  return {};
}

void WriteLines(const QString &path, const QStringList &lines, TextEncoding encoding) {
  QFile file(path);
  const QByteArray bytes = EncodeLines(lines, encoding);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

}  // namespace demo
