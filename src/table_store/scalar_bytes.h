// Fixed-size values read from record bytes (little-endian as stored, any
// alignment) and the -1/0/1 order that comparisons give them.
#pragma once

#include <cstdint>
#include <cstring>

namespace ts {

template <typename T>
T LoadScalar(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// -1, 0 or 1; 0 also when the two do not order (a NaN). Without a branch:
// sorts and filters compare values that follow no pattern.
template <typename T>
int Sign(T a, T b) {
  return static_cast<int>(b < a) - static_cast<int>(a < b);
}

}  // namespace ts
