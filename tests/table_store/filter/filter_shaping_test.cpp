// The expression buffer a filter text compiles into, read byte by byte:
// the header, the node forms and the shaping rules the evaluator relies on.
#include <gtest/gtest.h>

#include <cstring>

#include "filter_tables.h"
#include "table_store/filter/filter_program.h"

namespace ts::testing {
namespace {

std::vector<uint8_t> Compile(const std::string& text, TFilterOptions options = 0) {
  auto table = MakePeople({});
  std::unique_ptr<TFilterProgram> program;
  ParseFilterExpression(*table, program, text, options);
  return program ? program->Buffer() : std::vector<uint8_t>();
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | (static_cast<uint32_t>(U16(b, at + 2)) << 16); }

// A node read back: kind, operator and operands (offsets in the node area).
struct TNode {
  uint32_t Kind, Op;
  std::vector<uint16_t> Operands;
  bool operator==(const TNode&) const = default;
};

TNode NodeAt(const std::vector<uint8_t>& b, size_t offset, size_t operands) {
  TNode n{U32(b, 10 + offset), U32(b, 14 + offset), {}};
  for (size_t i = 0; i < operands; ++i) n.Operands.push_back(U16(b, 18 + offset + 2 * i));
  return n;
}

std::string LiteralText(const std::vector<uint8_t>& b, size_t offset) {
  return reinterpret_cast<const char*>(&b.at(U16(b, 8) + offset));
}

TEST(FilterShaping, AComparisonWithAConstantFirstIsStoredFieldFirstAndMirrored) {
  // Header, binary node, field node, constant node, then "Zone\0" and 1.
  const std::vector<uint8_t> expected = {
      2, 0, 57, 0, 0xFF, 0xFF, 10, 0, 48, 0,                     // header
      2, 0, 0, 0, 5, 0, 0, 0, 12, 0, 24, 0,                      // Zone > constant
      4, 0, 0, 0, 13, 0, 0, 0, 4, 0, 0, 0,                       // field number 4, name at 0
      5, 0, 0, 0, 14, 0, 0, 0, 3, 0, 4, 0, 5, 0,                 // Integer, 4 bytes at 5
      'Z', 'o', 'n', 'e', 0, 1, 0, 0, 0};
  EXPECT_EQ(Compile("Zone > 1"), expected);
  EXPECT_EQ(Compile("  1 < zone "), Compile("zone > 1"));
  EXPECT_EQ(NodeAt(Compile("5 >= Zone"), 0, 2), (TNode{2, 8, {12, 24}}));
  EXPECT_EQ(NodeAt(Compile("5 = Zone"), 0, 2), (TNode{2, 3, {12, 24}}));
}

TEST(FilterShaping, NullTestsBecomeBlankTests) {
  struct Case {
    const char* text;
    uint32_t op;
  } cases[] = {{"Zone = NULL", 1}, {"NULL <> Zone", 2}, {"Name is null", 1}, {"Name IS NOT NULL", 2}};
  for (const Case& c : cases) {
    const auto b = Compile(c.text);
    EXPECT_EQ(NodeAt(b, 0, 1), (TNode{1, c.op, {10}})) << c.text;
    EXPECT_EQ(NodeAt(b, 10, 2).Kind, 4u) << c.text;
  }
  for (const char* refused : {"Name like NULL", "Zone > NULL", "NULL + 1 = Zone"})
    EXPECT_THROW(Compile(refused), EDatabaseError) << refused;
}

TEST(FilterShaping, StringComparisonsCarryTheCaseFlagAndThePartialLength) {
  struct Case {
    const char* text;
    TFilterOptions options;
    TNode root;
    const char* constant;
  } cases[] = {
      {"Name = 'ab*'", 0, {3, 3, {0, 2, 16, 28}}, "ab"},
      {"Name <> 'ab*'", foCaseInsensitive, {3, 4, {1, 2, 16, 28}}, "ab"},
      {"Name like 'ab*'", 0, {3, 30, {0, 2, 16, 28}}, "ab"},
      {"Name = 'ab'", foCaseInsensitive, {3, 3, {1, 0, 16, 28}}, "ab"},
      {"Name = 'ab*'", foNoPartialCompare, {2, 3, {12, 24}}, "ab*"},
      {"Name like 'ab*'", foNoPartialCompare, {2, 30, {12, 24}}, "ab*"},
      {"Name = '*'", 0, {2, 3, {12, 24}}, "*"},
      {"Name = ''", foCaseInsensitive, {2, 3, {12, 24}}, ""},
  };
  for (const Case& c : cases) {
    const auto b = Compile(c.text, c.options);
    const TNode root = NodeAt(b, 0, c.root.Operands.size());
    EXPECT_EQ(root, c.root) << c.text;
    const size_t constant = root.Operands.back();
    EXPECT_EQ(NodeAt(b, constant, 3).Operands[0], 1u) << c.text;
    EXPECT_EQ(LiteralText(b, NodeAt(b, constant, 3).Operands[2]), c.constant) << c.text;
  }
}

TEST(FilterShaping, ALoneBooleanFieldIsComparedWithFalse) {
  for (const char* text : {"Active", "not Active", "Zone = 1 and Active"}) {
    const auto b = Compile(text);
    size_t test = 0;
    if (NodeAt(b, 0, 0).Kind == 1) test = 10;                 // under not
    if (NodeAt(b, 0, 0).Op == 10) test = NodeAt(b, 0, 2).Operands[1];  // right of and
    const TNode node = NodeAt(b, test, 2);
    EXPECT_EQ(node.Kind, 2u) << text;
    EXPECT_EQ(node.Op, 4u) << text;
    const TNode constant = NodeAt(b, node.Operands[1], 3);
    EXPECT_EQ(constant, (TNode{5, 14, {5, 2, constant.Operands[2]}})) << text;
    EXPECT_EQ(U16(b, U16(b, 8) + constant.Operands[2]), 0u) << text;
  }
}

TEST(FilterShaping, ListsAndFunctionCallsAreChainsOfListElements) {
  auto b = Compile("Zone in (1, 3)");
  EXPECT_EQ(NodeAt(b, 0, 2), (TNode{2, 31, {12, 24}}));
  EXPECT_EQ(NodeAt(b, 24, 2), (TNode{11, 36, {36, 50}}));
  EXPECT_EQ(NodeAt(b, 50, 2), (TNode{11, 36, {62, 0}}));
  EXPECT_EQ(NodeAt(b, 62, 3).Operands[0], 3u);  // list constants take the field's type

  b = Compile("upper(Name) = 'AB'");
  EXPECT_EQ(NodeAt(b, 0, 2), (TNode{2, 3, {12, 48}}));
  const TNode call = NodeAt(b, 12, 2);
  EXPECT_EQ(call, (TNode{10, 35, {0, 24}}));
  EXPECT_EQ(LiteralText(b, 0), "upper");
  EXPECT_EQ(NodeAt(b, 24, 2), (TNode{11, 36, {36, 0}}));
  EXPECT_EQ(NodeAt(Compile("GetDate() > Born"), 12, 2), (TNode{10, 35, {0, 0}}));
}

TEST(FilterShaping, ConstantsTakeTheFormOfTheFieldTheyStandFor) {
  struct Case {
    const char* text;
    uint16_t type;
    std::vector<uint8_t> value;
  } cases[] = {
      {"Small = -7", 2, {0xF9, 0xFF}},
      {"Big > 5", 25, {5, 0, 0, 0, 0, 0, 0, 0}},
      {"Zone = 3000000000", 25, {0x00, 0x5E, 0xD0, 0xB2, 0, 0, 0, 0}},
      {"Zone = 1.5", 6, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
      {"Score = 2", 6, {0, 0, 0, 0, 0, 0, 0, 0x40}},
      {"Born = '0001-01-02'", 9, {2, 0, 0, 0}},
      {"At = '00:00:01'", 10, {0xE8, 0x03, 0, 0}},
      {"Name = 12", 1, {'1', '2', 0}},
      {"Active = 'true'", 5, {1, 0}},
      {"Zone = 'x'", 1, {'x', 0}},
  };
  for (const Case& c : cases) {
    const auto b = Compile(c.text);
    const TNode constant = NodeAt(b, NodeAt(b, 0, 2).Operands[1], 3);
    ASSERT_EQ(constant.Operands[0], c.type) << c.text;
    ASSERT_EQ(constant.Operands[1], c.value.size()) << c.text;
    const size_t at = U16(b, 8) + constant.Operands[2];
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + at, b.begin() + at + c.value.size()), c.value) << c.text;
  }
  for (const char* refused : {"Small = 32768", "Small > -32769"}) {
    try {
      Compile(refused);
      ADD_FAILURE() << refused;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Constant out of range");
    }
  }
  const auto b = Compile("Name = '" + std::string(300, 'x') + "'");
  EXPECT_EQ(NodeAt(b, 12 + 12, 3).Operands[1], 256u);
}

TEST(FilterShaping, TheParserRefusesWhatItCannotCompile) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"sum(Zone) > 1", "Aggregate expressions not allowed in filters"},
      {"Count(Zone) > 1", "Aggregate expressions not allowed in filters"},
      {"Name = 'abc", "Unterminated string or name at (8)"},
      {"Zone >", "Operand expected at (7) in filter expression"},
      {"Zone = 1 )", "Unexpected ')' at (10) in filter expression"},
      {"Zone ; 1", "Invalid character at (6) in filter expression"},
      {"Nobody = 1", "people: Field 'Nobody' not found"},
  };
  for (const Case& c : cases) {
    try {
      Compile(c.text);
      ADD_FAILURE() << c.text;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message) << c.text;
    }
  }
  EXPECT_TRUE(Compile(" \t ").empty());
  EXPECT_THROW(Compile(std::string(300, '(') + "Zone" + std::string(300, ')')), EDatabaseError);
  std::string longList = "Zone in (1";
  for (int i = 0; i < 6000; ++i) longList += ", 1";
  EXPECT_THROW(Compile(longList + ")"), EDatabaseError);  // more than 16-bit offsets reach
}

}  // namespace
}  // namespace ts::testing
