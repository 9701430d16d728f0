#include "table_store/collation.h"

#include <unicode/locid.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
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

// Decodes code-page bytes into `out`, which keeps its storage between calls.
void Decode(const char* bytes, size_t n, std::u16string& out) {
  out.resize(n);
  for (size_t i = 0; i < n; ++i) out[i] = Cp1251ToUnicode(static_cast<uint8_t>(bytes[i]));
}

void FoldCase(std::u16string& text, std::u16string& scratch) {
  if (text.empty()) return;
  scratch.resize(text.size());
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = u_strFoldCase(scratch.data(), static_cast<int32_t>(scratch.size()), text.data(),
                            static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    scratch.resize(static_cast<size_t>(n));
    status = U_ZERO_ERROR;
    n = u_strFoldCase(scratch.data(), n, text.data(), static_cast<int32_t>(text.size()),
                      U_FOLD_CASE_DEFAULT, &status);
  }
  if (U_FAILURE(status)) return;  // compare unfolded rather than not at all
  scratch.resize(static_cast<size_t>(n));
  text.swap(scratch);
}

// The collator that the last call of this thread used, so that a run of
// comparisons in one locale (a sort, a search) skips the shared cache.
struct TLastCollator {
  bool valid = false;
  uint32_t lcid = 0;
  std::string collate, lang;  // environment seen for 1024 / 2048
  UCollator* collator = nullptr;
};

bool SameEnv(const std::string& cached, const char* now) { return cached == (now ? now : ""); }

UCollator* CollatorFor(uint32_t lcid) {
  thread_local TLastCollator last;
  const bool processLocale = lcid == kLocaleUserDefault || lcid == kLocaleSystemDefault;
  const char* collate = processLocale ? std::getenv("LC_COLLATE") : nullptr;
  const char* lang = processLocale ? std::getenv("LANG") : nullptr;
  if (last.valid && last.lcid == lcid &&
      (!processLocale || (SameEnv(last.collate, collate) && SameEnv(last.lang, lang))))
    return last.collator;
  std::string locale;
  if (!Cache().LocaleForLcid(lcid, locale)) return nullptr;
  UCollator* collator = Cache().Get(locale);
  if (collator == nullptr) return nullptr;
  last.valid = true;
  last.lcid = lcid;
  last.collate = collate ? collate : "";
  last.lang = lang ? lang : "";
  last.collator = collator;
  return collator;
}

}  // namespace

bool LocaleNameForLcid(uint32_t localeId, std::string& locale) { return Cache().LocaleForLcid(localeId, locale); }

namespace {

// The case-folded form of each code-page byte, or 0 where the fold is more
// than one unit. Folding knows no context, so folding a text letter by letter
// through this table gives what folding the whole text gives.
struct TFoldedBytes {
  char16_t unit[256] = {};
  bool complete = true;  // every byte folds to one unit
  TFoldedBytes() {
    std::u16string one, scratch;
    for (int byte = 0; byte < 256; ++byte) {
      one.assign(1, Cp1251ToUnicode(static_cast<uint8_t>(byte)));
      FoldCase(one, scratch);
      if (one.size() == 1)
        unit[byte] = one[0];
      else
        complete = false;
    }
  }
};

const TFoldedBytes& FoldedBytes() {
  static const TFoldedBytes table;
  return table;
}

// Decodes `n` code-page bytes, case-folded with kNormIgnoreCase.
void Prepare(const char* bytes, size_t n, uint32_t flags, std::u16string& out, std::u16string& scratch) {
  if (!(flags & kNormIgnoreCase)) return Decode(bytes, n, out);
  const TFoldedBytes& folded = FoldedBytes();
  if (!folded.complete) {
    Decode(bytes, n, out);
    return FoldCase(out, scratch);
  }
  out.resize(n);
  for (size_t i = 0; i < n; ++i) out[i] = folded.unit[static_cast<uint8_t>(bytes[i])];
}

}  // namespace

TCollationRef CollationFor(uint32_t localeId) { return CollatorFor(localeId); }

int CompareStringWith(TCollationRef collation, uint32_t flags, const char* string1, size_t length1,
                      const char* string2, size_t length2) {
  if (collation == nullptr || string1 == nullptr || string2 == nullptr) return 0;
  auto* collator = static_cast<UCollator*>(const_cast<void*>(collation));
  // The same bytes decode and fold alike, and the collator calls equal texts
  // equal; searches meet this on every match.
  if (length1 == length2 && std::memcmp(string1, string2, length1) == 0) return 2;
  thread_local std::u16string a, b, scratch;
  Prepare(string1, length1, flags, a, scratch);
  Prepare(string2, length2, flags, b, scratch);
  switch (ucol_strcoll(collator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                       static_cast<int32_t>(b.size()))) {
    case UCOL_LESS: return 1;
    case UCOL_EQUAL: return 2;
    case UCOL_GREATER: return 3;
  }
  return 0;
}

bool CollationSortKey(TCollationRef collation, uint32_t flags, const char* string, size_t length,
                      std::string& key) {
  if (collation == nullptr || string == nullptr) return false;
  const auto* collator = static_cast<const UCollator*>(collation);
  thread_local std::u16string text, scratch;
  Prepare(string, length, flags, text, scratch);
  key.resize(std::max<size_t>(key.capacity(), 32));
  for (;;) {
    const int32_t n = ucol_getSortKey(collator, text.data(), static_cast<int32_t>(text.size()),
                                      reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
    if (n <= 0) return false;
    if (static_cast<size_t>(n) <= key.size()) {
      key.resize(static_cast<size_t>(n) - 1);  // without the terminating zero
      return true;
    }
    key.resize(static_cast<size_t>(n));
  }
}

int CompareStringA(uint32_t localeId, uint32_t flags, const char* string1, int length1,
                   const char* string2, int length2) {
  if (string1 == nullptr || string2 == nullptr) return 0;
  UCollator* collator = CollatorFor(localeId);
  if (collator == nullptr) return 0;
  const size_t n1 = length1 < 0 ? std::strlen(string1) : static_cast<size_t>(length1);
  const size_t n2 = length2 < 0 ? std::strlen(string2) : static_cast<size_t>(length2);
  return CompareStringWith(collator, flags, string1, n1, string2, n2);
}

}  // namespace ts
