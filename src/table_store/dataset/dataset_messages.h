// Message texts of the dataset layer that the table store's own list does not
// hold: field access and conversion, and dataset checks.
#pragma once

namespace ts::msg {

inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kFieldAccessType = "Cannot access field '%s' as type %s";
inline constexpr const char* kFieldNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* kFieldRange = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* kFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* kFieldSizeMismatch = "Size mismatch for field '%s', expecting: %d actual: %d";
inline constexpr const char* kNotInteger = "'%s' is not a valid integer value";
inline constexpr const char* kNotFloat = "'%s' is not a valid floating point value";
inline constexpr const char* kNotBoolean = "'%s' is not a valid boolean value";
inline constexpr const char* kNotDateTime = "'%s' is not a valid date and time";
inline constexpr const char* kNotBcd = "'%s' is not a valid BCD value";
inline constexpr const char* kNotSupportedType = "Field '%s' is of an unknown type";
inline constexpr const char* kNoBlobField = "Field '%s' is not a blob field";
inline constexpr const char* kNoFilterExpressions = "Filter expressions are not available";
inline constexpr const char* kBlobTooLarge = "Blob value too large (%s bytes)";
inline constexpr const char* kBlobStreamDetached =
    "Field %s: the blob stream's record was posted, cancelled or closed; its bytes are not stored";

}  // namespace ts::msg
