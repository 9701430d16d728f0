// The decoder's vector paths must give exactly what stepping one sequence at
// a time gives, on any input and wherever the input is cut into pieces.
#include "table_store/utf8_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "table_store/codepage.h"

namespace ts {
namespace {

struct TResult {
  std::string text;
  bool replaced = false;
  bool operator==(const TResult&) const = default;
};

void PrintTo(const TResult& r, std::ostream* os) { *os << testing::PrintToString(r.text) << (r.replaced ? " (replaced)" : ""); }

TResult Stepwise(const std::string& utf8) {
  std::vector<char> out(utf8.size() + 1);
  const TUtf8Decoded d = DecodeUtf8ToCp1251On(TUtf8DecoderPath::Stepwise, utf8.data(), utf8.size(), true, out.data());
  EXPECT_EQ(d.consumed, utf8.size());
  return {std::string(out.data(), d.written), d.replaced};
}

// The vector paths this processor runs.
std::vector<TUtf8DecoderPath> VectorPaths() {
  std::vector<TUtf8DecoderPath> paths;
  for (TUtf8DecoderPath path : {TUtf8DecoderPath::Vector16, TUtf8DecoderPath::Vector32, TUtf8DecoderPath::Vector64})
    if (Utf8DecoderPathAvailable(path)) paths.push_back(path);
  return paths;
}

// Decodes `utf8` on `path` in pieces of `piece` bytes, carrying cut
// sequences over.
TResult InPieces(TUtf8DecoderPath path, const std::string& utf8, size_t piece) {
  TResult result;
  std::string pending;
  for (size_t at = 0;;) {
    const size_t take = std::min(piece, utf8.size() - at);
    pending += utf8.substr(at, take);
    at += take;
    const bool final = at == utf8.size();
    // Exactly the room the contract asks for, so that ASan sees any write
    // beyond it.
    std::vector<char> out(pending.size());
    const TUtf8Decoded d = DecodeUtf8ToCp1251On(path, pending.data(), pending.size(), final, out.data());
    EXPECT_LE(pending.size() - d.consumed, final ? 0u : 3u);
    result.text.append(out.data(), d.written);
    result.replaced = result.replaced || d.replaced;
    pending.erase(0, d.consumed);
    if (final) return result;
  }
}

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

// Each sequence lands on a different lane of a block (and across the end of
// one), among valid text that the vector path takes or among ASCII.
void CheckInEveryLane(const std::string& sequence, size_t salt) {
  static const std::string cyrillic =
      Cp1251ToUtf8("\xC0\xE1\xE2\xA8\xB8\xF1\xE0\xFF\xDF\xC1\xA0\xBB\xA5\xB4\x98\xE9\x85\xB9\x88");
  static const std::string ascii = "The quick brown fox jumps over the lazy dog";
  for (const std::string* context : {&cyrillic, &ascii}) {
    // Every lane of the widest block, and across its end.
    const size_t lane = salt % 67;
    const std::string utf8 = (*context + *context).substr(0, lane) + sequence + *context + *context;
    const TResult expected = Stepwise(utf8);
    for (TUtf8DecoderPath path : VectorPaths())
      ASSERT_EQ(InPieces(path, utf8, utf8.size()), expected)
          << testing::PrintToString(sequence) << " at " << lane << " on path " << static_cast<int>(path);
  }
}

TEST(Utf8DecoderTest, EveryTwoAndThreeByteCombinationMatchesTheStepwiseDecoder) {
  for (unsigned first = 0x80; first < 0x100; ++first)
    for (unsigned second = 0; second < 0x100; ++second)
      CheckInEveryLane({static_cast<char>(first), static_cast<char>(second)}, first * 7 + second);
  // After the three-byte leads that begin the code page's own characters.
  for (unsigned lead : {0xE2u, 0xE0u, 0xEDu})
    for (unsigned second = 0x80; second < 0xC0; ++second)
      for (unsigned third = 0; third < 0x100; ++third)
        CheckInEveryLane({static_cast<char>(lead), static_cast<char>(second), static_cast<char>(third)},
                         second * 5 + third);
}

TEST(Utf8DecoderTest, AnyInputInAnyPiecesMatchesTheStepwiseDecoder) {
  std::mt19937 rng(5);
  std::vector<std::string> inputs = {
      "",
      // Malformed: stray continuations, cut sequences, overlong forms,
      // surrogates, code points beyond the range and beyond the BMP.
      "\x80\xBF\xC0\x80\xC1\xBF\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80",
      "\xF0\x9F\x98\x80 ok \xF8\x88\x80\x80\x80\xFF\xFE",
      "a\xD0",
      "\xE2\x84",
      "\xE2\x84\x41",
      "\xF0\x9F\x98",
      std::string(15, 'a') + "\xD0",
      std::string(31, 'a') + "\xD0\x90",
      std::string(14, 'a') + "\xE2\x80\x94" + std::string(20, 'b'),
      std::string(15, 'a') + "\xE2\x80",
      std::string(30, 'a') + "\xE2\x80\x94" + std::string(40, 'b'),
      std::string(31, 'a') + "\xD0\xB0" + std::string(40, 'b'),
  };
  // The code page's text as UTF-8 (one, two and three bytes a character),
  // whole and with random damage; and bytes that are no UTF-8 at all.
  for (int i = 0; i < 60; ++i) {
    std::string s = Cp1251ToUtf8(RandomBytes(rng, 50 + rng() % 400));
    inputs.push_back(s);
    for (int k = 0; k < 8; ++k) s[rng() % s.size()] = static_cast<char>(rng() & 0xFF);
    inputs.push_back(s);
  }
  for (int i = 0; i < 20; ++i) inputs.push_back(RandomBytes(rng, 400));

  for (const std::string& utf8 : inputs) {
    const TResult expected = Stepwise(utf8);
    for (TUtf8DecoderPath path : VectorPaths())
      for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{17}, size_t{33}, size_t{64}, utf8.size() + 1})
        ASSERT_EQ(InPieces(path, utf8, piece), expected) << "piece " << piece << " on path " << static_cast<int>(path);
  }
}

TEST(Utf8DecoderTest, ReportsWhatItReplaced) {
  const std::string clean = Cp1251ToUtf8(std::string(40, '\xE0') + "\x98\xB9");
  std::vector<char> out(64);
  TUtf8Decoded d = DecodeUtf8ToCp1251(clean.data(), clean.size(), true, out.data());
  EXPECT_FALSE(d.replaced);
  EXPECT_EQ(std::string(out.data(), d.written), std::string(40, '\xE0') + "\x98\xB9");
  const std::string damaged = std::string(20, 'x') + "\xC3\x80" + std::string(20, 'y');  // À has no byte
  d = DecodeUtf8ToCp1251(damaged.data(), damaged.size(), true, out.data());
  EXPECT_TRUE(d.replaced);
  EXPECT_EQ(std::string(out.data(), d.written), std::string(20, 'x') + "?" + std::string(20, 'y'));
}

}  // namespace
}  // namespace ts
