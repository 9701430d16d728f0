#include "table_store/filter/text_case.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <map>
#include <memory>
#include <mutex>

#include "table_store/codepage.h"
#include "table_store/collation.h"

namespace ts::filter {

namespace {

std::unique_ptr<TCaseMap> BuildUpperMap(const std::string& locale) {
  auto map = std::make_unique<TCaseMap>();
  for (int b = 0; b < 256; ++b) {
    (*map)[static_cast<size_t>(b)] = static_cast<uint8_t>(b);
    const UChar source = Cp1251ToUnicode(static_cast<uint8_t>(b));
    UChar upper[8] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strToUpper(upper, 8, &source, 1, locale.c_str(), &status);
    uint8_t byte = 0;
    // A capital that takes more than one character or that the code page
    // has no byte for leaves the letter as it is.
    if (U_SUCCESS(status) && n == 1 && UnicodeToCp1251(upper[0], byte)) (*map)[static_cast<size_t>(b)] = byte;
  }
  return map;
}

}  // namespace

const TCaseMap& LocaleUpperMap(uint32_t localeId) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<TCaseMap>> maps;
  std::string locale;
  if (!LocaleNameForLcid(localeId, locale)) locale.clear();
  std::lock_guard<std::mutex> guard(mutex);
  auto& slot = maps[locale];
  if (!slot) slot = BuildUpperMap(locale);
  return *slot;
}

void ApplyCaseMap(std::string& text, const TCaseMap& map) {
  for (char& c : text) c = static_cast<char>(map[static_cast<uint8_t>(c)]);
}

void UpperLatin(std::string& text) {
  for (char& c : text) c = UpperLatinChar(c);
}

void LowerLatin(std::string& text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
}

}  // namespace ts::filter
