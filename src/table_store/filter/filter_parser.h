// The filter-text parser: turns the text of a filter expression into the
// expression buffer (filter_buffer.h).
//
// Syntax, loosest binding first: OR; AND; NOT; the comparisons = <> != < >
// <= >=, LIKE, IN (list) and IS [NOT] NULL; + and -; * and /; operands.
// Operands are field names (plain, or in [brackets] or "double quotes"),
// 'quoted strings' ('' for a quote), numbers, function calls NAME(args) and
// parenthesised expressions. Keywords and function names are read without
// regard to case.
//
// A constant compared with a field is stored in the form of that field's
// type, so a date field takes a date written as text and a SmallInt field
// refuses a constant it could never hold. Failures raise EDatabaseError with
// the parser's message; a field name the table lacks raises its
// field-not-found error.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "table_store/field_types.h"
#include "table_store/filter/filter_format.h"

namespace ts::filter {

// Filter options, one bit each.
inline constexpr uint8_t kCaseInsensitive = 1;
inline constexpr uint8_t kNoPartialCompare = 2;

// The field of that name as a field reference records it; the lookup
// raises when there is none.
struct TFieldRef {
  TFieldType Type = ftUnknown;
  int Number = 0;  // the field number, kept in the node though never read
};
using TFieldTypeOf = std::function<TFieldRef(std::string_view name)>;

// `extended` allows + - * /. The text must not be blank.
std::vector<uint8_t> CompileFilterText(std::string_view text, uint8_t options, bool extended,
                                       const TFieldTypeOf& fieldType, const TFilterFormat& format);

// The type code a constant standing for a field of `fieldType` is stored
// under.
int ConstantTypeFor(int fieldType);

}  // namespace ts::filter
