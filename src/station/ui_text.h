// Text crosses between the tables' single-byte code page and the user
// interface's Unicode here and nowhere else.
#pragma once

#include <QString>

#include <exception>
#include <string>
#include <string_view>

namespace station {

QString FromCodePage(std::string_view bytes);
// A letter the code page lacks is stored without its diacritic where the
// code page has the bare letter ("é" as "e"), "ß" as "ss", anything else as
// "?".
std::string ToCodePage(const QString &text);

// The text of an error for the user: the table store's and the renderer's
// errors carry code-page text, any other error UTF-8.
QString ErrorText(const std::exception &error);

}  // namespace station
