#include "table_store/compare.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "table_store/collation.h"
#include "table_store/errors.h"
#include "table_store/scalar_bytes.h"

namespace ts {

namespace {

int ClampToInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT_MIN + 1, INT_MAX));
}

// `collation`: looked up beforehand, or nullptr to look it up by localeId.
int CompareText(const char* key, size_t keyLen, const char* value, size_t valueLen, uint32_t localeId,
                const TCollationRef* collation, int options, bool& fullCompare) {
  if (options & mtcoPartialKey) {
    fullCompare = keyLen == valueLen;
    valueLen = std::min(keyLen, valueLen);
  }
  if (options & mtcoIgnoreLocale) {
    const bool fold = options & mtcoCaseInsensitive;
    const size_t n = std::min(keyLen, valueLen);
    for (size_t i = 0; i < n; ++i) {
      int a = static_cast<unsigned char>(key[i]);
      int b = static_cast<unsigned char>(value[i]);
      if (fold) {
        if (a >= 'a' && a <= 'z') a -= 32;
        if (b >= 'a' && b <= 'z') b -= 32;
      }
      if (a != b) return a - b;
    }
    return ClampToInt(static_cast<int64_t>(keyLen) - static_cast<int64_t>(valueLen));
  }
  const uint32_t flags = (options & mtcoCaseInsensitive) ? kNormIgnoreCase : 0;
  const int r = collation != nullptr
                    ? CompareStringWith(*collation, flags, key, keyLen, value, valueLen)
                    : CompareStringA(localeId, flags, key, static_cast<int>(std::min<size_t>(keyLen, INT_MAX)), value,
                                     static_cast<int>(std::min<size_t>(valueLen, INT_MAX)));
  if (r == 0) throw EMemTableInvalidLocale(static_cast<int32_t>(localeId));
  return r - 2;
}

int CompareTimeStamps(const uint8_t* a, const uint8_t* b) {
  int d = Sign(LoadScalar<int16_t>(a), LoadScalar<int16_t>(b));
  for (int off = 2; d == 0 && off < 12; off += 2)
    d = Sign(LoadScalar<uint16_t>(a + off), LoadScalar<uint16_t>(b + off));
  if (d == 0) d = Sign(LoadScalar<uint32_t>(a + 12), LoadScalar<uint32_t>(b + 12));
  return d;
}

int CompareFixed(const uint8_t* k, const uint8_t* v, TFieldType type) {
  switch (type) {
    case ftSmallint: return Sign(LoadScalar<int16_t>(k), LoadScalar<int16_t>(v));
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime: return Sign(LoadScalar<int32_t>(k), LoadScalar<int32_t>(v));
    case ftWord: return Sign(LoadScalar<uint16_t>(k), LoadScalar<uint16_t>(v));
    case ftBoolean: return Sign(LoadScalar<uint16_t>(k) != 0, LoadScalar<uint16_t>(v) != 0);
    case ftFloat:
    case ftCurrency: return Sign(LoadScalar<double>(k), LoadScalar<double>(v));
    case ftDateTime: {
      const double d = LoadScalar<double>(k) - LoadScalar<double>(v);
      return d < 0 ? -1 : (d > 0 ? 1 : 0);
    }
    case ftLargeint: return Sign(LoadScalar<int64_t>(k), LoadScalar<int64_t>(v));
    case ftBCD:
    case ftFMTBcd: {
      int64_t a = 0, b = 0;
      if (!BcdToCurrency(k, a) || !BcdToCurrency(v, b)) return 0;
      return Sign(a, b);
    }
    case ftTimeStamp: return CompareTimeStamps(k, v);
    default: return 0;
  }
}

size_t BoundedLength(const void* p, size_t limit) {
  const void* zero = std::memchr(p, 0, limit);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - static_cast<const char*>(p)) : limit;
}

}  // namespace

bool BcdToCurrency(const uint8_t* bcd, int64_t& currency) {
  const int precision = bcd[0];
  const bool negative = bcd[1] & 0x80;
  const int places = bcd[1] & 0x3F;
  if (precision > 64) return false;
  // Value = digits / 10^places; in ten-thousandths each digit k weighs
  // 10^(precision - 1 - k - places + 4).
  constexpr unsigned __int128 kLimitPositive = static_cast<unsigned __int128>(INT64_MAX);
  const unsigned __int128 limit = negative ? kLimitPositive + 1 : kLimitPositive;
  unsigned __int128 units = 0;
  bool roundUp = false;
  for (int k = 0; k < precision; ++k) {
    const uint8_t byte = bcd[2 + k / 2];
    const int digit = (k % 2 == 0) ? byte >> 4 : byte & 0x0F;
    if (digit > 9) return false;
    const int exponent = precision - 1 - k - places + 4;
    if (exponent == -1) roundUp = digit >= 5;
    if (exponent < 0 || digit == 0) continue;
    if (exponent > 19) return false;
    unsigned __int128 weight = 1;
    for (int e = 0; e < exponent; ++e) weight *= 10;
    units += weight * static_cast<unsigned>(digit);
    if (units > limit) return false;
  }
  if (roundUp && ++units > limit) return false;
  currency = negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(units)) : static_cast<int64_t>(units);
  return true;
}

namespace {

int CompareBytes(const void* keyField, size_t keyBytes, const void* aField, size_t aBytes, TFieldType type,
                 const TCollationRef* collation, uint32_t localeId, int options, bool& fullCompare) {
  fullCompare = true;
  int result = 0;
  if (IsTextFieldType(type)) {
    const auto* k = static_cast<const char*>(keyField);
    const auto* v = static_cast<const char*>(aField);
    result = CompareText(k, BoundedLength(k, keyBytes), v, BoundedLength(v, aBytes), localeId, collation, options,
                         fullCompare);
  } else {
    const size_t need = static_cast<size_t>(FieldStorageSize(type, 0));
    if (need > 0) {
      // Short input (a compressed or damaged value) reads as zero-padded.
      uint8_t kPad[kBcdSize] = {}, vPad[kBcdSize] = {};
      const auto* k = static_cast<const uint8_t*>(keyField);
      const auto* v = static_cast<const uint8_t*>(aField);
      if (keyBytes < need) {
        if (keyBytes) std::memcpy(kPad, k, keyBytes);
        k = kPad;
      }
      if (aBytes < need) {
        if (aBytes) std::memcpy(vPad, v, aBytes);
        v = vPad;
      }
      result = CompareFixed(k, v, type);
    }
  }
  if (options & mtcoDescending) result = -result;
  return result;
}

}  // namespace

int CompareFieldValueBytes(const void* keyField, size_t keyBytes, const void* aField, size_t aBytes,
                           TFieldType type, uint32_t localeId, int options, bool& fullCompare) {
  return CompareBytes(keyField, keyBytes, aField, aBytes, type, nullptr, localeId, options, fullCompare);
}

int CompareFieldValueBytes(const void* keyField, size_t keyBytes, const void* aField, size_t aBytes,
                           TFieldType type, TCollationRef collation, uint32_t localeId, int options,
                           bool& fullCompare) {
  return CompareBytes(keyField, keyBytes, aField, aBytes, type, &collation, localeId, options, fullCompare);
}

int CompareFieldValues(const void* keyField, const void* aField, TFieldType type, uint32_t localeId,
                       int options, bool& fullCompare) {
  // Without limits text ends at its zero byte and fixed-size values are whole.
  if (IsTextFieldType(type)) {
    fullCompare = true;
    const auto* k = static_cast<const char*>(keyField);
    const auto* v = static_cast<const char*>(aField);
    const int result = CompareText(k, std::strlen(k), v, std::strlen(v), localeId, nullptr, options, fullCompare);
    return (options & mtcoDescending) ? -result : result;
  }
  return CompareFieldValueBytes(keyField, kBcdSize, aField, kBcdSize, type, localeId, options, fullCompare);
}

const uint8_t* DefaultCompressValue(TFieldType type, const uint8_t* bytes, int32_t& size) {
  if (IsTextFieldType(type) && size > 0) {
    const size_t length = BoundedLength(bytes, static_cast<size_t>(size));
    size = static_cast<int32_t>(std::min<size_t>(length + 1, static_cast<size_t>(size)));
  }
  return bytes;
}

const uint8_t* DefaultDecompressValue(TFieldType, const uint8_t* bytes, int32_t&) { return bytes; }

}  // namespace ts
