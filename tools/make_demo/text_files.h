// Writing the demo's small text files in the encodings the station reads.
#pragma once

#include <QString>
#include <QStringList>

namespace demo {

enum class TextEncoding { Utf8WithMark, CodePageNoMark, Utf16LeWithMark };

// One line per entry, each ending with CR LF. Throws std::runtime_error when
// the file cannot be written or a line has no form in the code page.
void WriteLines(const QString &path, const QStringList &lines, TextEncoding encoding);

// The bytes WriteLines would write.
QByteArray EncodeLines(const QStringList &lines, TextEncoding encoding);

}  // namespace demo
