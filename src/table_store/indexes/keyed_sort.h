// Sorting an index through keys drawn from each record once: every entry
// carries its key values next to it (integers and floats as numbers, text as
// its compared bytes or, through the locale, as the collation sort key), so
// a comparison reads neither the record nor the locale. Each comparison
// gives the sign that the record compare with the index's tie-break gives,
// and the sort runs the same sequence of comparisons and swaps, so the order
// is the same to the last tie.
#pragma once

#include <vector>

#include "table_store/field_list.h"
#include "table_store/record.h"

namespace ts {

class TdvoCommon;

enum class TKeyedSortResult {
  Unsupported,  // a key this cannot draw: nothing was touched
  Sorted,
  Duplicate,  // sorted, and two neighbours have equal keys
};

// Sorts entries[lo..hi]. With `checkUnique`, Duplicate reports equal keys
// among neighbours (compared without the tie-break). Unsupported for a
// comparison event, a decompression event, a partial-key field, a key type
// other than the integer, float and text kinds, or a locale the collation
// cannot open (the record compare then raises its own error).
TKeyedSortResult SortByDrawnKeys(const TdvoCommon& store, const TdvoFieldList& list, std::vector<TRecord*>& entries,
                                 int lo, int hi, bool checkUnique);

}  // namespace ts
