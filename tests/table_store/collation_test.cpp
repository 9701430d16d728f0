#include "table_store/collation.h"

#include <gtest/gtest.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "table_store/codepage.h"

namespace ts {
namespace {

// Sets an environment variable for one test and puts the old value back.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~TScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

int Cmp(uint32_t lcid, uint32_t flags, const std::string& a, const std::string& b) {
  return CompareStringA(lcid, flags, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size()));
}

constexpr uint32_t kEnglishUS = 1033;
constexpr uint32_t kRussian = 1049;

// Code-page bytes of a few Cyrillic letters.
const std::string kYe = "\xe5";        // е
const std::string kYo = "\xb8";        // ё
const std::string kYoUpper = "\xa8";   // Ё
const std::string kZhe = "\xe6";       // ж

TEST(CollationTest, LetterOrderIsTheLocalesNotTheBytes) {
  EXPECT_EQ(Cmp(kEnglishUS, 0, "a", "B"), 1);  // bytes would put B first
  EXPECT_EQ(Cmp(kEnglishUS, 0, "B", "a"), 3);
  EXPECT_EQ(Cmp(kEnglishUS, 0, "abc", "abc"), 2);
  EXPECT_EQ(Cmp(kEnglishUS, 0, "ab", "abc"), 1);
  // ё (0xB8) sorts after е (0xE5) and before ж (0xE6) although its byte is smaller.
  EXPECT_EQ(Cmp(kRussian, 0, kYo, kYe), 3);
  EXPECT_EQ(Cmp(kRussian, 0, kYo, kZhe), 1);
}

TEST(CollationTest, IgnoreCaseIgnoresCaseOnly) {
  EXPECT_EQ(Cmp(kEnglishUS, 0, "a", "A"), 1);
  EXPECT_EQ(Cmp(kEnglishUS, kNormIgnoreCase, "a", "A"), 2);
  EXPECT_EQ(Cmp(kRussian, kNormIgnoreCase, kYoUpper, kYo), 2);
  EXPECT_NE(Cmp(kRussian, kNormIgnoreCase, kYo, kYe), 2);  // the diaeresis still counts

}

// Ignoring case folds the text as a whole would be folded, byte by byte or
// not: every pair of code-page letters against ICU folding whole texts.
TEST(CollationTest, IgnoreCaseFoldsEveryByteAsWholeTextFolding) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open("ru", &status);
  ASSERT_TRUE(U_SUCCESS(status));
  ucol_setStrength(collator, UCOL_TERTIARY);
  auto folded = [](const std::string& bytes) {
    std::u16string text;
    for (char c : bytes) text += Cp1251ToUnicode(static_cast<uint8_t>(c));
    char16_t out[16];
    UErrorCode s = U_ZERO_ERROR;
    const int32_t n = u_strFoldCase(out, 16, text.data(), static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &s);
    return std::u16string(out, static_cast<size_t>(n));
  };
  std::string keyA, keyB;
  const TCollationRef ours = CollationFor(kRussian);
  for (int a = 1; a < 256; ++a) {
    const std::string left(1, static_cast<char>(a));
    const std::u16string leftFolded = folded(left);
    ASSERT_TRUE(CollationSortKey(ours, kNormIgnoreCase, left.data(), left.size(), keyA));
    for (int b = 1; b < 256; ++b) {
      const std::string right(1, static_cast<char>(b));
      const std::u16string rightFolded = folded(right);
      const int expected = 2 + ucol_strcoll(collator, leftFolded.data(), static_cast<int32_t>(leftFolded.size()),
                                            rightFolded.data(), static_cast<int32_t>(rightFolded.size()));
      ASSERT_EQ(Cmp(kRussian, kNormIgnoreCase, left, right), expected) << a << " " << b;
      ASSERT_TRUE(CollationSortKey(ours, kNormIgnoreCase, right.data(), right.size(), keyB));
      ASSERT_EQ(keyA.compare(keyB) < 0 ? 1 : (keyA == keyB ? 2 : 3), expected) << a << " " << b;
    }
  }
  ucol_close(collator);
}

TEST(CollationTest, DefaultLocalesFollowTheEnvironment) {
  TScopedEnv collate("LC_COLLATE", "ru_RU.UTF-8");
  TScopedEnv lang("LANG", "C");
  EXPECT_EQ(Cmp(kLocaleUserDefault, 0, kYo, kYe), 3);
  EXPECT_EQ(Cmp(kLocaleSystemDefault, 0, "a", "B"), 1);
  {
    TScopedEnv noCollate("LC_COLLATE", nullptr);
    // LANG=C: the root collation, which still orders letters alphabetically.
    EXPECT_EQ(Cmp(kLocaleUserDefault, 0, "a", "B"), 1);
    EXPECT_EQ(Cmp(kLocaleUserDefault, 0, kYo, kYe), 3);
  }
  {
    TScopedEnv noCollate("LC_COLLATE", nullptr);
    TScopedEnv noLang("LANG", nullptr);
    EXPECT_EQ(Cmp(kLocaleUserDefault, 0, "x", "x"), 2);
  }
}

TEST(CollationTest, UnmappableLocaleFails) {
  EXPECT_EQ(Cmp(0x7FFF, 0, "a", "b"), 0);
  EXPECT_EQ(Cmp(0xFFFFFFFF, 0, "a", "b"), 0);
}

TEST(CollationTest, LengthsBoundTheStrings) {
  const char a[] = {'a', 'b', 'z'};
  const char b[] = {'a', 'b', 'c'};
  EXPECT_EQ(CompareStringA(kEnglishUS, 0, a, 2, b, 2), 2);  // only "ab" of each
  EXPECT_EQ(CompareStringA(kEnglishUS, 0, "abc", -1, "abd", -1), 1);
  EXPECT_EQ(CompareStringA(kEnglishUS, 0, "", 0, "", 0), 2);
}

}  // namespace
}  // namespace ts
