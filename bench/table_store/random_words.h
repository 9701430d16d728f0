// Random words for the benchmarks' text keys: 5 to 15 Latin and Cyrillic
// letters in the code page.
#pragma once

#include <random>
#include <string>

// A word of 5 to 15 letters drawn from `letters`.
inline std::string RandomWordOf(const std::string& letters, std::mt19937& rng) {
  std::uniform_int_distribution<size_t> length(5, 15), letter(0, letters.size() - 1);
  std::string w(length(rng), ' ');
  for (char& c : w) c = letters[letter(rng)];
  return w;
}

inline std::string RandomWord(std::mt19937& rng) {
  static const std::string letters =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJ"
      "\xe0\xe1\xe2\xe3\xe4\xe5\xb8\xe6\xe7\xe8\xe9\xea\xeb\xec\xed\xee\xef\xf0\xf1\xf2\xf3\xf4\xf5"
      "\xf6\xf7\xf8\xf9\xfa\xfb\xfc\xfd\xfe\xff\xc0\xc1\xc2";
  return RandomWordOf(letters, rng);
}
