// What a filter shows: nulls and blanks, string comparisons and their
// options, functions, lists, and the messages of failures.
#include <gtest/gtest.h>

#include <thread>

#include "filter_tables.h"
#include "table_store/filter/filter_errors.h"
#include "table_store/filter/filter_program.h"

namespace ts::testing {
namespace {

using Ids = std::vector<int>;

struct Case {
  const char* filter;
  Ids ids;
  TFilterOptions options = 0;
};

void ExpectShown(const std::vector<Case>& cases, const std::vector<TPerson>& rows = People()) {
  auto table = MakePeople(rows);
  for (const Case& c : cases) {
    EXPECT_EQ(Shown(*table, Utf8ToCp1251(c.filter), c.options), c.ids) << c.filter;
  }
}

TEST(FilterNulls, ComparisonsWithNullAreFalseAndNullPassesThroughArithmetic) {
  ExpectShown({
      {"Name = 'Boris' or Name <> 'Boris'", {1, 2, 3, 5, 6}},
      {"not (Name = 'Boris')", {1, 2, 4, 5, 6}},
      {"Name is null", {4}},
      {"Name is not null and Born = null", {3}},
      {"Active = 'True'", {1, 3, 6}},
      {"not Active", {2, 4, 5}},  // not of a false comparison with null
      {"Zone + Active > 1", {1, 2, 3, 6}},
      {"Born + 1 > '2005-01-01'", {4}},
      {"(Active + 0) or Zone = 3", {1, 2, 3, 6}},  // a blank side makes or false
      {"Zone and Id", {1, 2, 3, 5, 6}},            // bit by bit: 3 and 4 share none
      {"-Score < -80", {4}},
  });
}

TEST(FilterStrings, OptionsDecideBetweenWholePartialAndCaseFreeComparison) {
  ExpectShown({
      {"Name = 'An*'", {1}},
      {"Name = 'an*'", {1, 2}, foCaseInsensitive},
      {"Name = 'an*'", {}, foNoPartialCompare | foCaseInsensitive},
      {"Name = 'ab*'", {6}, foNoPartialCompare},
      {"Name = '*'", {}},
      {"Name = 'АННА'", {5}, foCaseInsensitive},
      {"Name = 'анна'", {5}, foCaseInsensitive},
      {"Name <> 'anna'", {2, 3, 5, 6}, foCaseInsensitive},
      {"Name like 'an*'", {1, 2}, foNoPartialCompare},
      {"Name like 'an*'", {}},  // the star rule leaves the pattern "an"
      {"Name like 'anna*'", {1}},
      {"Name like '?o*'", {3}, foNoPartialCompare},
      {"Name like '[a-b]*'", {1, 2, 3, 6}, foNoPartialCompare},
      {"Name like '[!a]*'", {3, 5}, foNoPartialCompare},
      {"Name like '*[*]'", {6}, foNoPartialCompare},
      {"Name > 'B' and Name < 'a'", {3}},
      {"Name + '!' = 'Anna!'", {1}},
  });
}

TEST(FilterFunctions, EachFunctionWithItsArgumentRules) {
  ExpectShown({
      {"Upper(Name) = 'ANTON'", {2}},
      {"lower(Name) = 'boris'", {3}},
      {"trim('  ' + Name + ' ') = 'Anna'", {1}},
      {"trimleft(' x ') = 'x ' and trimright(' x ') = ' x' and Id = 1", {1}},
      {"year(Born) = 2001", {1, 5}},
      {"month(Born) = 2 and day(Born) = 29", {6}},
      {"hour('2001-01-01 13:14:15') = 13 and minute('13:14:15') = 14 and second('13:14:15') = 15 and Id = 2",
       {2}},
      {"date('2001-05-03') = 37014 and Id = 1", {1}},
      {"date('03-05-2001', 'dd/mm/yyyy') = Born", {1}},
      {"time('1:30 PM', 'whatever') = '13:30:00' and Id = 3", {3}},
      {"time('2001-01-01 06:00') = 0.25 and Id = 4", {4}},
      {"getdate() > Born", {1, 2, 4, 5, 6}},
  });
  // A null source among several arguments cannot be taken as text.
  std::vector<TPerson> named = People();
  named.erase(named.begin() + 3);
  ExpectShown({{"substring(Name, 2, 3) = 'nto'", {2}},
               {"substring(Name, 3) = 'ris'", {3}},
               {"substring(Name, 0, 2) = 'Bo'", {3}},
               {"substring(Name, 9, 2) = ''", {1, 2, 3, 5, 6}}},
              named);
}

TEST(FilterFunctions, NamesAreFoundWhateverTheTableLocale) {
  // 1055 upper-cases "i" to a letter outside the ASCII range.
  std::vector<TPerson> named = People();
  named.erase(named.begin() + 3);
  for (const int32_t locale : {1024, 1033, 1049, 1055}) {
    auto table = MakePeople(named);
    table->SetLocaleID(locale);
    EXPECT_EQ(Shown(*table, "trim(Name) = 'Anna'"), Ids{1}) << locale;
    EXPECT_EQ(Shown(*table, "SubString(Name, 1, 2) = 'Bo' and minute('13:14:15') = 14"), Ids{3}) << locale;
    try {
      Shown(*table, "nosuchi(Name) = 1");
      ADD_FAILURE() << locale;
    } catch (const EMemTableFilterError& e) {
      EXPECT_EQ(e.Message(), "Invalid function name NOSUCHI") << locale;
    }
  }
}

TEST(FilterLists, InComparesEachElementUpToFiftyOne) {
  std::string list51 = "Zone in (9";
  for (int i = 0; i < 49; ++i) list51 += ", 9";
  ExpectShown({
      {"Zone in (1, 3)", {1, 2, 4, 5}},
      {"Zone in (3)", {2, 4}},
      {"Name in ('Boris', 'anton', Name)", {1, 2, 3, 5, 6}},
      {"not (Zone in (1, 2, 3))", {}},
      {"Zone not in (1, 2)", {2, 4}},
      {"Born in (1, '2001-05-03')", {1}},  // the text element read as a date, not a number
      {(list51 + ", 2)").c_str(), {3, 6}},
  });
  auto table = MakePeople(People());
  try {
    Shown(*table, list51 + ", 9, 2)");
    ADD_FAILURE();
  } catch (const EVariantError& e) {
    EXPECT_EQ(e.Message(), "Variant or safe array index out of bounds");
  }
}

TEST(FilterMessages, FailuresCarryTheirClassAndText) {
  struct Failure {
    const char* filter;
    const char* className;
    const char* message;
  } failures[] = {
      {"nosuch(Name) = 1", "EMemTableFilterError", "Invalid function name NOSUCH"},
      {"substring(Name) = 'x'", "EMemTableFilterError", "Invalid or missing parameter for function SUBSTRING"},
      {"substring(Name, 1) = 'x'", "EMemTableFilterError", "Invalid or missing parameter for function SUBSTRING"},
      {"substring(Name, Big) = 'x'", "EVariantTypeCastError", "Could not convert variant of type (Null) into type (Int64)"},
      {"date(Name, 'dd/mm/yyyy') = Born", "EConvertError", "'Anna' is not a valid date"},
      {"date(Born, 'yyyy/mm/dd') = Born", "EMemTableFilterError", "Invalid or missing parameter for function DATE"},
      {"date(1e300) = 1", "EVariantTypeCastError", "Could not convert variant of type (Double) into type (Int64)"},
      {"date(Born) = 1", "EVariantTypeCastError", "Could not convert variant of type (Null) into type (Date)"},
      {"Name like 'a[b'", "EMaskException", "'a[b' is an invalid mask at (2)"},
      {"Name like '[-b]'", "EMaskException", "'[-b]' is an invalid mask at (2)"},
      {"Score / 0 > 1", "EVariantError", "Division by zero"},
      {"Name", "EVariantTypeCastError", "Could not convert variant of type (String) into type (Boolean)"},
      {"Zone = 'x'", "EVariantTypeCastError", "Could not convert variant of type (String) into type (Double)"},
      {"Zone in (1, 'x')", "EVariantTypeCastError", "Could not convert variant of type (String) into type (Double)"},
      // Both sides of and/or are evaluated: a side that fails fails the
      // filter whatever the other side holds.
      {"Zone = 99 and Score / 0 > 1", "EVariantError", "Division by zero"},
      {"Id > 0 or Name like 'a[b'", "EMaskException", "'a[b' is an invalid mask at (2)"},
      {"Id < 0 and Zone = 'x'", "EVariantTypeCastError", "Could not convert variant of type (String) into type (Double)"},
  };
  for (const Failure& f : failures) {
    auto table = MakePeople(People());
    try {
      Shown(*table, f.filter, foNoPartialCompare);
      ADD_FAILURE() << f.filter;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), f.className) << f.filter;
      EXPECT_EQ(e.Message(), f.message) << f.filter;
      EXPECT_EQ(table->OverrideRecord(), nullptr) << f.filter;
    }
  }
  auto table = MakePeople(People());
  EXPECT_EQ(Shown(*table, "Name like '" + std::string(30, '*') + "'", foNoPartialCompare).size(), 5u);
  EXPECT_THROW(Shown(*table, "Name like '" + std::string(31, '*') + "'", foNoPartialCompare), EMaskException);
}

TEST(FilterMessages, BuffersTheParserDidNotWriteFailCleanly) {
  auto table = MakePeople(People());
  table->First();
  const std::vector<uint8_t> head = {2, 0, 0, 0, 0xFF, 0xFF, 10, 0};
  struct Damaged {
    std::vector<uint8_t> nodes;  // the node area; the literal area follows
    std::vector<uint8_t> literals;
    const char* message;
  } cases[] = {
      {{}, {}, "Filter expression is damaged at (0)"},
      {{11, 0, 0, 0, 36, 0, 0, 0}, {}, "Filter expression is damaged at (0)"},  // operands cut
      {{1, 0, 0, 0, 9, 0, 0, 0, 0, 0}, {}, "Filter expression too complex"},     // not of itself
      {{4, 0, 0, 0, 13, 0, 0, 0, 0, 0, 40, 0}, {}, "Filter expression is damaged at (40)"},
      {{4, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0}, {'I', 'd', 0}, "Unknown operator (12)"},
      {{4, 0, 0, 0, 12, 1, 0, 0, 0, 0, 0, 0}, {'I', 'd', 0}, "Unknown operator (12)"},  // low byte only
      {{5, 0, 0, 0, 14, 0, 0, 0, 15, 0, 0, 0, 0, 0}, {}, "Unknown fieldtype (15)"},
      {{5, 0, 0, 0, 14, 0, 0, 0, 12, 0, 0, 0, 0, 0}, {}, "Unknown fieldtype (12)"},
      {{2, 0, 0, 0, 40, 1, 0, 0, 12, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}, "Operator not supported (40)."},
      {{10, 0, 0, 0, 34, 0, 0, 0, 0, 0, 0, 0}, {'X', 0}, "Operator not supported (34)."},
      {{10, 0, 0, 0, 35, 0, 0, 0, 0, 0, 0, 0}, {'X', 0}, "Invalid function name X"},
  };
  for (const Damaged& c : cases) {
    std::vector<uint8_t> bytes = head;
    const size_t literalStart = 10 + c.nodes.size();
    bytes.push_back(static_cast<uint8_t>(literalStart));
    bytes.push_back(0);
    bytes.insert(bytes.end(), c.nodes.begin(), c.nodes.end());
    bytes.insert(bytes.end(), c.literals.begin(), c.literals.end());
    bytes[2] = static_cast<uint8_t>(bytes.size());
    TFilterProgram program(bytes);
    try {
      EvaluateExpression(*table, program);
      ADD_FAILURE() << c.message;
    } catch (const EMemTableFilterError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_THROW(EvaluateExpression(*table, TFilterProgram({})), EMemTableFilterError);
  // Node kinds without a value form (tuples, user functions, ...) are empty.
  TFilterProgram tuple({2, 0, 18, 0, 0xFF, 0xFF, 10, 0, 18, 0, 7, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_TRUE(IsNullOrEmpty(EvaluateExpression(*table, tuple)));
}

TEST(FilterFunctions, DateFormatsStayWithTheirCallAcrossThreads) {
  // Each thread filters its own table with its own date format; neither
  // sees the other's.
  auto run = [](const char* filter, int& count) {
    auto table = MakePeople(People());
    for (int i = 0; i < 200; ++i) count = static_cast<int>(Shown(*table, filter).size());
  };
  int a = -1, b = -1;
  std::thread one(run, "Born = date('05-03-2001', 'mm/dd/yyyy')", std::ref(a));
  std::thread two(run, "Born = date('03-05-2001', 'dd/mm/yyyy')", std::ref(b));
  one.join();
  two.join();
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 1);
}

}  // namespace
}  // namespace ts::testing
