// The functions of filter expressions: UPPER, LOWER, SUBSTRING, TRIM,
// TRIMLEFT, TRIMRIGHT, GETDATE, YEAR, MONTH, DAY, HOUR, MINUTE, SECOND,
// DATE and TIME.
#pragma once

#include <string_view>

#include "table_store/filter/filter_format.h"
#include "table_store/filter/filter_value.h"

namespace ts::filter {

// Whether `upperName` is GETDATE, the one function that reads no argument.
bool IsArgumentFree(std::string_view upperName);

// Calls the function named `upperName` (already upper-cased) with its
// evaluated argument (text for one argument, an array for several) into
// `out`. An unknown name raises "Invalid function name %s".
void CallFunction(std::string_view upperName, const TFilterValue& argument, const TFilterFormat& format,
                  TFilterValue& out);

}  // namespace ts::filter
