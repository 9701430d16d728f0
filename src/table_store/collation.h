// CompareStringA: locale-aware comparison of two byte strings in the system's
// code page, as the table store orders text keys.
//
// The locale identifier is a Windows-style LCID. 1024 (the user's default)
// and 2048 (the system's default) use the process's collation locale, taken
// from the environment (LC_COLLATE, else LANG; the root collation when that
// is unset, "C" or "POSIX"); any other identifier is mapped by ICU. Both
// strings are decoded from the code page and compared by an ICU collator at
// tertiary strength. Flag kNormIgnoreCase makes the comparison ignore case
// and nothing else (both sides are case-folded first).
//
// Collators are opened once per locale and kept; the function is safe to call
// from several threads.
#pragma once

#include <cstdint>
#include <string>

namespace ts {

inline constexpr uint32_t kNormIgnoreCase = 1;
inline constexpr uint32_t kLocaleUserDefault = 1024;
inline constexpr uint32_t kLocaleSystemDefault = 2048;

// Returns 1 (first sorts before second), 2 (equal) or 3 (after); 0 when the
// locale identifier cannot be mapped or the collator fails. A negative length
// means the string ends at its first zero byte.
int CompareStringA(uint32_t localeId, uint32_t flags, const char* string1, int length1,
                   const char* string2, int length2);

// The collation that CompareStringA uses for a locale identifier, looked up
// once so that a run of comparisons or sort keys skips the look-up; nullptr
// where CompareStringA would return 0.
using TCollationRef = const void*;
TCollationRef CollationFor(uint32_t localeId);

// The same comparison as CompareStringA through a collation found above.
int CompareStringWith(TCollationRef collation, uint32_t flags, const char* string1, size_t length1,
                      const char* string2, size_t length2);

// The collation sort key of a string: two keys compare with memcmp (the
// shorter first when one is a prefix of the other) exactly as
// CompareStringWith compares their strings. The key holds no zero byte.
// False when the collator fails.
bool CollationSortKey(TCollationRef collation, uint32_t flags, const char* string, size_t length,
                      std::string& key);

// The ICU locale id behind a locale identifier ("" for the root locale);
// false when it cannot be mapped.
bool LocaleNameForLcid(uint32_t localeId, std::string& locale);

}  // namespace ts
