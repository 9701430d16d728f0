// The piecewise encoding must give exactly what the whole-string conversion
// of the code page gives.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "table_store/codepage.h"

namespace ts {
namespace {

std::string Encode(const std::string& text) {
  std::vector<char> out(3 * text.size() + 3);
  return std::string(out.data(), EncodeCp1251ToUtf8(text.data(), text.size(), out.data()));
}

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

TEST(CodePageUtf8Test, PiecewiseEncodingMatchesTheWholeStringConversion) {
  std::mt19937 rng(3);
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<char>(i);
  for (const std::string& text :
       {std::string(), all, std::string(1000, 'a'), std::string(17, '\xFF'),
        std::string(9, 'a') + "\xB9" + std::string(9, 'b'), RandomBytes(rng, 5000)}) {
    const std::string expected = Cp1251ToUtf8(text);
    EXPECT_EQ(Encode(text), expected);
    EXPECT_EQ(Cp1251Utf8Size(text), static_cast<int64_t>(expected.size()));
  }
}

}  // namespace
}  // namespace ts
