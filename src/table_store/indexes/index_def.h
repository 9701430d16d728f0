// An index definition (one item of a table's IndexDefs: name, ";"-separated
// field names and index options) and the translation of its options into
// the compare options an index works with.
#pragma once

#include <cstdint>
#include <string>

#include "table_store/compare.h"

namespace ts {

// TIndexOptions, one bit each.
using TIndexOptions = uint8_t;
inline constexpr TIndexOptions ixPrimary = 1;
inline constexpr TIndexOptions ixUnique = 2;
inline constexpr TIndexOptions ixDescending = 4;
inline constexpr TIndexOptions ixCaseInsensitive = 8;
inline constexpr TIndexOptions ixExpression = 16;
inline constexpr TIndexOptions ixNonMaintained = 32;

struct TIndexDef {
  std::string Name;
  std::string Fields;
  TIndexOptions Options = 0;
};

// ixUnique, ixDescending, ixCaseInsensitive and ixNonMaintained map to their
// mtco* counterparts; ixPrimary and ixExpression give nothing.
TdvoMemTableCompareOptions IndexOptionsToCompareOptions(TIndexOptions options);

}  // namespace ts
