// Comparison of two field values of one type, as indexes and searches order
// records: the compare options, CompareFieldValues, the default field
// compression pair and the BCD-to-currency conversion the comparison uses.
//
// Values are given as addresses of their bytes in the record's buffer form
// (not the null byte): integers and floats little-endian as stored, text as
// zero-terminated bytes in the system's code page, BCD as its 34-byte form,
// an SQL time stamp as its 16-byte form.
#pragma once

#include <cstddef>
#include <cstdint>

#include "table_store/collation.h"
#include "table_store/field_types.h"

namespace ts {

// TdvoMemTableCompareOptions, one bit each.
using TdvoMemTableCompareOptions = int;
inline constexpr int mtcoDescending = 1;
inline constexpr int mtcoCaseInsensitive = 2;
inline constexpr int mtcoPartialKey = 4;
inline constexpr int mtcoIgnoreNullKey = 8;
inline constexpr int mtcoIgnoreLocale = 16;
inline constexpr int mtcoUnique = 32;
inline constexpr int mtcoNonMaintained = 64;

// Negative when the key value sorts before the record value, 0 when equal,
// positive when after. Sets fullCompare to false when a partial-key text
// comparison cut the record value. Text compared through the locale raises
// EMemTableInvalidLocale when the locale cannot compare.
int CompareFieldValues(const void* keyField, const void* aField, TFieldType type, uint32_t localeId,
                       int options, bool& fullCompare);

// The same with the number of bytes readable at each address. A text value
// ends at its zero byte or at that limit; a fixed-size value shorter than its
// type needs reads as if padded with zeros.
int CompareFieldValueBytes(const void* keyField, size_t keyBytes, const void* aField, size_t aBytes,
                           TFieldType type, uint32_t localeId, int options, bool& fullCompare);

// The same through a collation looked up beforehand (CollationFor) rather
// than on each call; `localeId` names the locale in the error.
int CompareFieldValueBytes(const void* keyField, size_t keyBytes, const void* aField, size_t aBytes,
                           TFieldType type, TCollationRef collation, uint32_t localeId, int options,
                           bool& fullCompare);

// Converts a 34-byte BCD value to currency (ten-thousandths, rounded half
// away from zero). False when the value is malformed or out of range.
bool BcdToCurrency(const uint8_t* bcd, int64_t& currency);

// Built-in transforms used when a table has no compression events: the bytes
// stay as they are; for String and FixedChar the compressed size becomes the
// text's length plus its terminating zero (never more than `size`).
const uint8_t* DefaultCompressValue(TFieldType type, const uint8_t* bytes, int32_t& size);
const uint8_t* DefaultDecompressValue(TFieldType type, const uint8_t* bytes, int32_t& size);

}  // namespace ts
