#include "ui_text.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>

namespace station {
namespace {
constexpr const char *kCodePage = "windows-1251";
}

QString FromCodePage(std::string_view bytes) {
  QStringDecoder decode(kCodePage);
  return decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ToCodePage(const QString &text) {
  QStringEncoder encode(kCodePage, QStringEncoder::Flag::Default);
  const QByteArray out = encode(text);
  return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

}  // namespace station
