#include "table_store/collation.h"

#include <unicode/locid.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "table_store/codepage.h"

namespace ts {

namespace {

// The process's collation locale as an ICU locale id ("" = root).
std::string ProcessCollationLocale() {
  const char* value = std::getenv("LC_COLLATE");
  if (value == nullptr || *value == '\0') value = std::getenv("LANG");
  if (value == nullptr || *value == '\0') return std::string();
  std::string name(value);
  // "ru_RU.UTF-8" and "de_DE@euro": the code set and modifier say nothing
  // about the order of letters.
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return std::string();
  char canonical[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  uloc_canonicalize(name.c_str(), canonical, sizeof canonical, &status);
  if (U_FAILURE(status)) return std::string();
  return canonical;
}

class TCollatorCache {
 public:
  ~TCollatorCache() {
    for (auto& [key, collator] : collators_) ucol_close(collator);
  }

  // The collator of a locale id, or nullptr when it cannot be opened.
  UCollator* Get(const std::string& locale) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = collators_.find(locale);
    if (it != collators_.end()) return it->second;
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status)) collator = nullptr;
    if (collator != nullptr) ucol_setStrength(collator, UCOL_TERTIARY);
    collators_.emplace(locale, collator);
    return collator;
  }

  // The ICU locale of a Windows locale identifier; false when ICU knows none.
  bool LocaleForLcid(uint32_t lcid, std::string& locale) {
    if (lcid == kLocaleUserDefault || lcid == kLocaleSystemDefault) {
      const char* collate = std::getenv("LC_COLLATE");
      const char* lang = std::getenv("LANG");
      std::string key = std::string(collate ? collate : "") + '\n' + (lang ? lang : "");
      std::lock_guard<std::mutex> guard(mutex_);
      if (key != processKey_ || !processKnown_) {
        processLocale_ = ProcessCollationLocale();
        processKey_ = std::move(key);
        processKnown_ = true;
      }
      locale = processLocale_;
      return true;
    }
    {
      std::lock_guard<std::mutex> guard(mutex_);
      auto it = lcids_.find(lcid);
      if (it != lcids_.end()) {
        locale = it->second;
        return !locale.empty();
      }
    }
    char buffer[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uloc_getLocaleForLCID(lcid, buffer, sizeof buffer, &status);
    std::string mapped;
    if (U_SUCCESS(status) && status != U_STRING_NOT_TERMINATED_WARNING && length > 0) mapped = buffer;
    std::lock_guard<std::mutex> guard(mutex_);
    lcids_[lcid] = mapped;
    locale = mapped;
    return !mapped.empty();
  }

 private:
  std::mutex mutex_;
  std::map<std::string, UCollator*> collators_;
  std::map<uint32_t, std::string> lcids_;
  std::string processKey_;
  std::string processLocale_;
  bool processKnown_ = false;
};

TCollatorCache& Cache() {
  static TCollatorCache cache;
  return cache;
}

std::u16string FoldCase(const std::u16string& text) {
  if (text.empty()) return text;
  std::u16string out(text.size(), u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = u_strFoldCase(out.data(), static_cast<int32_t>(out.size()), text.data(),
                            static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(static_cast<size_t>(n), u'\0');
    status = U_ZERO_ERROR;
    n = u_strFoldCase(out.data(), n, text.data(), static_cast<int32_t>(text.size()),
                      U_FOLD_CASE_DEFAULT, &status);
  }
  if (U_FAILURE(status)) return text;
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

int CompareStringA(uint32_t localeId, uint32_t flags, const char* string1, int length1,
                   const char* string2, int length2) {
  if (string1 == nullptr || string2 == nullptr) return 0;
  std::string locale;
  if (!Cache().LocaleForLcid(localeId, locale)) return 0;
  UCollator* collator = Cache().Get(locale);
  if (collator == nullptr) return 0;

  const size_t n1 = length1 < 0 ? std::strlen(string1) : static_cast<size_t>(length1);
  const size_t n2 = length2 < 0 ? std::strlen(string2) : static_cast<size_t>(length2);
  std::u16string a = Cp1251ToUtf16(std::string_view(string1, n1));
  std::u16string b = Cp1251ToUtf16(std::string_view(string2, n2));
  if (flags & kNormIgnoreCase) {
    a = FoldCase(a);
    b = FoldCase(b);
  }
  switch (ucol_strcoll(collator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                       static_cast<int32_t>(b.size()))) {
    case UCOL_LESS: return 1;
    case UCOL_EQUAL: return 2;
    case UCOL_GREATER: return 3;
  }
  return 0;
}

}  // namespace ts
