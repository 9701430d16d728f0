// The piecewise conversions must give exactly what the whole-string
// conversions of the code page give, wherever the input is cut.
#include "table_store/binary_format/text_transcoder.h"

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

// Decodes `utf8` in pieces of `piece` bytes, carrying cut sequences over.
std::string DecodeInPieces(const std::string& utf8, size_t piece) {
  std::string result;
  std::string pending;
  for (size_t at = 0; at < utf8.size() || !pending.empty();) {
    const size_t take = std::min(piece, utf8.size() - at);
    pending += utf8.substr(at, take);
    at += take;
    const bool final = at == utf8.size();
    std::vector<char> out(pending.size() + 1);
    size_t used = 0;
    result.append(out.data(), DecodeUtf8ToCp1251(pending.data(), pending.size(), final,
                                                 out.data(), used));
    pending.erase(0, used);
    if (final) {
      EXPECT_TRUE(pending.empty());
      break;
    }
  }
  return result;
}

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

TEST(TextTranscoderTest, EncodingMatchesTheCodePage) {
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

TEST(TextTranscoderTest, DecodingMatchesTheCodePageOnAnyInput) {
  std::mt19937 rng(5);
  std::vector<std::string> inputs = {
      "",
      Cp1251ToUtf8(RandomBytes(rng, 3000)),
      // Malformed: stray continuations, cut sequences, overlong forms,
      // surrogates, code points beyond the range and beyond the BMP.
      "\x80\xBF\xC0\x80\xC1\xBF\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80",
      "\xF0\x9F\x98\x80 ok \xF8\x88\x80\x80\x80\xFF\xFE",
      "a\xD0",
      "\xE2\x84",
      "\xE2\x84\x41",
      "\xF0\x9F\x98",
  };
  // Valid UTF-8 of the code page's text with random damage.
  for (int i = 0; i < 50; ++i) {
    std::string s = Cp1251ToUtf8(RandomBytes(rng, 400));
    for (int k = 0; k < 8; ++k) s[rng() % s.size()] = static_cast<char>(rng() & 0xFF);
    inputs.push_back(s);
  }
  for (int i = 0; i < 20; ++i) inputs.push_back(RandomBytes(rng, 400));

  for (const std::string& utf8 : inputs) {
    const std::string expected = Utf8ToCp1251(utf8);
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}, utf8.size() + 1}) {
      ASSERT_EQ(DecodeInPieces(utf8, piece), expected) << "piece " << piece;
    }
  }
}

}  // namespace
}  // namespace ts
