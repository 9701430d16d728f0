#include "ui_text.h"

#include "table_store/codepage.h"
#include "table_store/errors.h"

namespace station {

QString FromCodePage(std::string_view bytes) {
  const std::u16string text = ts::Cp1251ToUtf16(bytes);
  return QString(reinterpret_cast<const QChar *>(text.data()), qsizetype(text.size()));
}

std::string ToCodePage(const QString &text) {
  return ts::Utf16ToCp1251(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size())));
}

QString ErrorText(const std::exception &error) {
  if (const auto *own = dynamic_cast<const ts::Exception *>(&error)) return FromCodePage(own->Message());
  return QString::fromUtf8(error.what());
}

}  // namespace station
