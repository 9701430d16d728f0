// Text crosses between the tables' single-byte code page and the user
// interface's Unicode here and nowhere else.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace station {

QString FromCodePage(std::string_view bytes);
std::string ToCodePage(const QString &text);

}  // namespace station
