#include "table_store/errors.h"

#include "table_store/messages.h"

namespace ts {

EMemTableInvalidRecord::EMemTableInvalidRecord() : EMemTableFatalError(msg::kInvalidRecord) {}

EMemTableDupKey::EMemTableDupKey() : EMemTableError(msg::kDuplicateKey) {}

EMemTableInvalidLocale::EMemTableInvalidLocale(int64_t localeId)
    : EMemTableError(std::string(msg::kInvalidLocale) + std::to_string(localeId)) {}

EReadError::EReadError() : EFilerError(msg::kStreamRead) {}

EWriteError::EWriteError() : EFilerError(msg::kStreamWrite) {}

ERangeError::ERangeError() : Exception(msg::kInvalidArgument) {}

EInvalidCast::EInvalidCast() : Exception(msg::kInvalidCast) {}

EComponentError EComponentError::NameExists(std::string_view name) {
  return EComponentError(FormatMessage(msg::kNamedComponentExists, {name}));
}

EVariantTypeCastError::EVariantTypeCastError(std::string_view fromKind, std::string_view toKind)
    : EVariantError(FormatMessage(msg::kValueTypeCast, {fromKind, toKind})) {}

std::string FormatMessage(std::string_view format, std::initializer_list<TMessageArg> args) {
  std::string out;
  out.reserve(format.size() + 16);
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    const char kind = format[i + 1];
    if (kind == '%') {
      out += '%';
      ++i;
    } else if ((kind == 's' || kind == 'd') && next != args.end()) {
      if (const auto* text = std::get_if<std::string_view>(&*next)) {
        out += *text;
      } else {
        out += std::to_string(std::get<int64_t>(*next));
      }
      ++next;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace ts
