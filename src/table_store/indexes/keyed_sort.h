// Sorting an index through keys drawn from each record once: every entry
// carries its key values next to it (integers and floats as numbers, text as
// its compared bytes or, through the locale, as the collation sort key), so
// a comparison reads neither the record nor the locale. Each comparison
// gives the sign that the record compare with the index's tie-break gives,
// and the sort runs the same sequence of comparisons and swaps, so the order
// is the same to the last tie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "table_store/collation.h"
#include "table_store/field_list.h"
#include "table_store/indexes/entry_list.h"
#include "table_store/record.h"

namespace ts {

class TdvoCommon;

// The head of an index entry: the first key field's value as one number
// whose unsigned (text) or signed (integer) order is the field's order under
// its options: integers as themselves, text as the first eight bytes of its
// compared form (a-z folded bytes, or the collation sort key). Floats,
// calculated fields and partial keys have no head. Two heads that differ
// decide a comparison; equal heads decide it only for a lone integer key.
class TKeyHead {
 public:
  TKeyHead() = default;  // no head
  explicit TKeyHead(const TdvoFieldList& list);
  // Heads may be drawn and trusted now: no comparison or decompression
  // event, and for text through the locale the same collation as when the
  // heads were drawn. Forget() starts afresh (no head is left).
  bool Usable(const TdvoCommon& store) const;
  void Forget() { collation_ = nullptr; }
  // False for a null value (or a failing collator): the entry gets no head.
  bool Draw(const TdvoCommon& store, const TRecord* record, uint64_t& head) const;
  // Whether a search over `list` (partial or not) orders by these heads.
  bool Serves(const TdvoFieldList& list, bool partial) const;
  // Sign of a against b for the first field (0 when the heads are equal).
  int Compare(uint64_t a, uint64_t b) const;
  // Equal heads mean equal keys.
  bool Whole() const { return whole_; }

 private:
  enum class TKind : uint8_t { None, Int, Bytes, Collated };
  const TFieldInfo* field_ = nullptr;
  int options_ = 0;
  TKind kind_ = TKind::None;
  bool whole_ = false;
  mutable TCollationRef collation_ = nullptr;
};

enum class TKeyedSortResult {
  Unsupported,  // a key this cannot draw: nothing was touched
  Sorted,
  Duplicate,  // sorted, and two neighbours have equal keys
};

// The threads a sort draws collation keys on over many records: one per
// processor this thread may run on, at most four.
size_t KeyDrawThreads();

// Sorts every entry of the list. With `checkUnique`, Duplicate reports equal
// keys among neighbours (compared without the tie-break). Unsupported for a
// comparison event, a decompression event, a partial-key field, a key type
// other than the integer, float and text kinds, or a locale the collation
// cannot open (the record compare then raises its own error).
// The entries come in without heads and leave with them where `head` is
// usable.
TKeyedSortResult SortByDrawnKeys(const TdvoCommon& store, const TdvoFieldList& list, const TKeyHead& head,
                                 TEntryList& entries, bool checkUnique);

}  // namespace ts
