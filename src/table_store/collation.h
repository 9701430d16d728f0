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

namespace ts {

inline constexpr uint32_t kNormIgnoreCase = 1;
inline constexpr uint32_t kLocaleUserDefault = 1024;
inline constexpr uint32_t kLocaleSystemDefault = 2048;

// Returns 1 (first sorts before second), 2 (equal) or 3 (after); 0 when the
// locale identifier cannot be mapped or the collator fails. A negative length
// means the string ends at its first zero byte.
int CompareStringA(uint32_t localeId, uint32_t flags, const char* string1, int length1,
                   const char* string2, int length2);

}  // namespace ts
