// What one side of a pair produced, folded into a short text that the other
// side's must equal: a 64-bit FNV-1a hash of the bytes added, in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace bench_fair {

class Digest {
 public:
  void Add(const void *bytes, std::size_t n) {
    const auto *b = static_cast<const unsigned char *>(bytes);
    for (std::size_t i = 0; i < n; ++i) hash_ = (hash_ ^ b[i]) * 1099511628211ull;
  }
  void Add(std::string_view text) { Add(text.data(), text.size()); }
  std::string Hex() const {
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return text;
  }

 private:
  std::uint64_t hash_ = 14695981039346656037ull;
};

}  // namespace bench_fair
