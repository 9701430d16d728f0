// Message texts of filter expressions: the evaluator's own (raised as
// EMemTableFilterError), the parser's, and the like-mask error.
#pragma once

namespace ts::msg {

// Evaluation.
inline constexpr const char* kFilterUnknownOperator = "Unknown operator (%d)";
inline constexpr const char* kFilterUnknownFieldType = "Unknown fieldtype (%d)";
inline constexpr const char* kFilterOperatorNotSupported = "Operator not supported (%d).";
inline constexpr const char* kFilterBadParameter = "Invalid or missing parameter for function %s";
inline constexpr const char* kFilterBadFunction = "Invalid function name %s";
inline constexpr const char* kFilterInvalidMask = "'%s' is an invalid mask at (%d)";
inline constexpr const char* kFilterDivisionByZero = "Division by zero";
inline constexpr const char* kFilterNotDate = "'%s' is not a valid date";
inline constexpr const char* kFilterNotTime = "'%s' is not a valid time";
inline constexpr const char* kFilterMalformed = "Filter expression is damaged at (%d)";

// Parsing.
inline constexpr const char* kFilterAggregate = "Aggregate expressions not allowed in filters";
inline constexpr const char* kFilterArithmetic = "Arithmetic in filter expressions not supported";
inline constexpr const char* kFilterNullCompare = "NULL only allowed with '=' and '<>'";
inline constexpr const char* kFilterConstantRange = "Constant out of range";
inline constexpr const char* kFilterUnterminated = "Unterminated string or name at (%d)";
inline constexpr const char* kFilterUnexpected = "Unexpected '%s' at (%d) in filter expression";
inline constexpr const char* kFilterOperandExpected = "Operand expected at (%d) in filter expression";
inline constexpr const char* kFilterBadCharacter = "Invalid character at (%d) in filter expression";
inline constexpr const char* kFilterTooComplex = "Filter expression too complex";
inline constexpr const char* kFilterTooLarge = "Filter expression too large";

}  // namespace ts::msg
