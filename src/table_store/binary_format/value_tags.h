// Tags of the tagged values that make up a binary table stream, and the
// stream's fixed head. Every value is one tag byte followed by its data;
// multi-byte numbers are little-endian.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ts {

enum TValueType : uint8_t {
  vtEnd = 0x00,         // end of a list
  vtList = 0x01,        // start of a list
  vtInt8 = 0x02,        // 1 byte, signed
  vtInt16 = 0x03,       // 2 bytes, signed
  vtInt32 = 0x04,       // 4 bytes, signed
  vtExtended = 0x05,    // 10-byte x87 extended float
  vtString = 0x06,      // 1-byte length, then the bytes
  vtFalse = 0x08,
  vtTrue = 0x09,
  vtLString = 0x0C,     // 4-byte signed length, then the bytes
  vtWString = 0x12,     // 4-byte signed count of UTF-16 units, then 2 bytes each
  vtInt64 = 0x13,       // 8 bytes, signed (read only, as a float)
  vtUtf8String = 0x14,  // 4-byte signed length, then UTF-8 bytes
};

// The four bytes every stream starts with.
inline constexpr std::string_view kStreamSignature = "TPF0";

// The file version this writer produces, and the one a reader assumes when
// the version value is missing (a list start follows the signature directly).
inline constexpr int32_t kStreamFileVersion = 251;
inline constexpr int32_t kOldestStreamFileVersion = 100;

// Whether `head`, a stream's first bytes (any number of them), can begin a
// table stream: the signature, the file version (an integer) unless the
// field list starts at once, and the field list's start. Lets a reader
// refuse a damaged stream from its first bytes, before the rest of it is
// unpacked.
inline bool CanBeginTableStream(std::string_view head) {
  const std::size_t signature = std::min(head.size(), kStreamSignature.size());
  if (head.substr(0, signature) != kStreamSignature.substr(0, signature)) return false;
  std::size_t at = kStreamSignature.size();
  if (head.size() <= at) return true;
  switch (static_cast<uint8_t>(head[at])) {
    case vtList: return true;
    case vtInt8: at += 2; break;
    case vtInt16: at += 3; break;
    case vtInt32: at += 5; break;
    default: return false;
  }
  return head.size() <= at || static_cast<uint8_t>(head[at]) == vtList;
}

// Buffer of the value writer and reader unless the caller asks otherwise.
inline constexpr int32_t kDefaultValueBufferSize = 16384;

}  // namespace ts
