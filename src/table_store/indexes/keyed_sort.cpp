#include "table_store/indexes/keyed_sort.h"

#include <sched.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "table_store/collation.h"
#include "table_store/compare.h"
#include "table_store/indexes/index_sort.h"
#include "table_store/record_store.h"
#include "table_store/scalar_bytes.h"

namespace ts {

namespace {

enum class TKeyKind : uint8_t { Int, Float, Bytes, Collated };

struct TKeyField {
  const TFieldInfo* field;
  int options;
  TKeyKind kind;
};

// One entry: the first field's value (or the first eight bytes of its text,
// big-endian) inline, the whole key in an arena behind `key`.
struct TItem {
  uint64_t head;
  // While drawing, where the key starts in its drawer's arena; once the
  // drawer is done (Settle), the key's address.
  uintptr_t key;
  TRecord* record;
  int32_t slot;
  bool numbered;
  bool firstNull;
};

bool KindOf(TFieldType type, int options, TKeyKind& kind) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftBoolean:
    case ftDate:
    case ftTime:
    case ftAutoInc:
    case ftLargeint: kind = TKeyKind::Int; return true;
    case ftFloat:
    case ftCurrency:
    case ftDateTime: kind = TKeyKind::Float; return true;
    case ftString:
    case ftFixedChar: kind = (options & mtcoIgnoreLocale) ? TKeyKind::Bytes : TKeyKind::Collated; return true;
    default: return false;
  }
}

// The number a fixed-size value orders by; short input reads zero-padded,
// as the record compare reads it.
int64_t IntValue(TFieldType type, const uint8_t* data, size_t length) {
  uint8_t bytes[8] = {};
  std::memcpy(bytes, data, std::min<size_t>(length, 8));
  switch (type) {
    case ftSmallint: return LoadScalar<int16_t>(bytes);
    case ftWord: return LoadScalar<uint16_t>(bytes);
    case ftBoolean: return LoadScalar<uint16_t>(bytes) != 0 ? 1 : 0;
    case ftLargeint: return LoadScalar<int64_t>(bytes);
    default: return LoadScalar<int32_t>(bytes);
  }
}

double FloatValue(const uint8_t* data, size_t length) {
  uint8_t bytes[8] = {};
  std::memcpy(bytes, data, std::min<size_t>(length, 8));
  return LoadScalar<double>(bytes);
}

uint64_t BigEndianHead(const std::string& text) {
  uint64_t head = 0;
  for (size_t i = 0; i < 8; ++i)
    head = (head << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
  return head;
}

// Only a-z fold: the byte compare knows no other case.
void FoldAZ(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
}

class TDrawnKeys {
 public:
  TDrawnKeys(const TdvoCommon& store, std::vector<TKeyField> fields, TCollationRef collation)
      : store_(store), fields_(std::move(fields)), collation_(collation) {}

  // False when the collator fails on a value.
  bool Draw(TRecord* record, TItem& item) {
    item.record = record;
    item.slot = record->SlotIndex;
    item.numbered = record->RowNumber >= 0;
    item.key = arena_.size();
    item.head = 0;
    for (size_t i = 0; i < fields_.size(); ++i) {
      const TKeyField& k = fields_[i];
      const uint8_t* slot = store_.FieldSlot(record, *k.field);
      const bool present = slot[0] != kSlotNull;
      if (i == 0) item.firstNull = !present;
      arena_.push_back(present ? 1 : 0);
      if (!present) continue;
      const TdvoCommon::TValueView value = store_.FieldValue(record, slot, *k.field);
      static const uint8_t kNothing[1] = {0};
      const uint8_t* data = value.data ? value.data : kNothing;
      const size_t length = value.data ? value.length : 0;
      uint64_t bits = 0;
      switch (k.kind) {
        case TKeyKind::Int: {
          const int64_t v = IntValue(k.field->DataType(), data, length);
          std::memcpy(&bits, &v, 8);
          Append(&v, 8);
          break;
        }
        case TKeyKind::Float: {
          const double v = FloatValue(data, length);
          std::memcpy(&bits, &v, 8);
          Append(&v, 8);
          break;
        }
        case TKeyKind::Bytes:
        case TKeyKind::Collated: {
          const void* zero = std::memchr(data, 0, length);
          const size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : length;
          const char* text = reinterpret_cast<const char*>(data);
          if (k.kind == TKeyKind::Collated) {
            const uint32_t flags = (k.options & mtcoCaseInsensitive) ? kNormIgnoreCase : 0;
            if (!CollationSortKey(collation_, flags, text, n, text_)) return false;
          } else {
            text_.assign(text, n);
            if (k.options & mtcoCaseInsensitive) FoldAZ(text_);
          }
          bits = BigEndianHead(text_);
          const auto size = static_cast<uint32_t>(text_.size());
          Append(&size, 4);
          Append(text_.data(), text_.size());
          break;
        }
      }
      if (i == 0) item.head = bits;
    }
    return true;
  }

  // The record compare's result sign, stop rule 0, no partial.
  int Compare(const TItem& a, const TItem& b) const {
    const TKeyField& first = fields_[0];
    if (!a.firstNull && !b.firstNull) {
      int r = 0;
      switch (first.kind) {
        case TKeyKind::Int: r = Sign(static_cast<int64_t>(a.head), static_cast<int64_t>(b.head)); break;
        case TKeyKind::Float: {
          double x, y;
          std::memcpy(&x, &a.head, 8);
          std::memcpy(&y, &b.head, 8);
          r = Sign(x, y);
          break;
        }
        default: r = Sign(a.head, b.head); break;
      }
      if (r != 0) return (first.options & mtcoDescending) ? -r : r;
      if (fields_.size() == 1 && first.kind != TKeyKind::Bytes && first.kind != TKeyKind::Collated) return 0;
    }
    const auto* pa = reinterpret_cast<const uint8_t*>(a.key);
    const auto* pb = reinterpret_cast<const uint8_t*>(b.key);
    for (const TKeyField& k : fields_) {
      const bool an = *pa++ == 0;
      const bool bn = *pb++ == 0;
      if (an && (k.options & mtcoIgnoreNullKey)) {
        if (!bn) pb += Width(k, pb);
        continue;
      }
      int r = 0;
      if (!an && !bn) {
        r = CompareValues(k, pa, pb);
        pa += Width(k, pa);
        pb += Width(k, pb);
        if (k.options & mtcoDescending) r = -r;
      } else if (!an) {
        r = 1;
        pa += Width(k, pa);
      } else if (!bn) {
        r = -1;
        pb += Width(k, pb);
      }
      if (r != 0) return r;
    }
    return 0;
  }

  // CompareForIndex's tie-break among equal keys.
  int TieBreak(const TItem& a, const TItem& b) const {
    int r = 0;
    if (!a.numbered && !b.numbered)
      r = Sign(a.slot, b.slot);
    else if (!a.numbered)
      r = -1;
    else if (!b.numbered)
      r = 1;
    return (fields_[0].options & mtcoDescending) ? -r : r;
  }

  void Reserve(size_t entries) { arena_.reserve(entries * (fields_.size() * 9 + 16)); }

  // Drawing is over for `items`, all drawn here: they take their keys'
  // addresses, which stay while this drawer lives and draws no more.
  void Settle(TItem* items, size_t count) const {
    const auto base = reinterpret_cast<uintptr_t>(arena_.data());
    for (size_t i = 0; i < count; ++i) items[i].key += base;
  }
  // Keeps the keys another drawer drew for `items`, where they lie, for as
  // long as this one lives.
  void Adopt(TDrawnKeys&& part, TItem* items, size_t count) {
    part.Settle(items, count);
    adopted_.push_back(std::move(part.arena_));
  }

 private:
  void Append(const void* p, size_t n) {
    const auto* bytes = static_cast<const uint8_t*>(p);
    arena_.insert(arena_.end(), bytes, bytes + n);
  }
  static size_t Width(const TKeyField& k, const uint8_t* p) {
    if (k.kind == TKeyKind::Int || k.kind == TKeyKind::Float) return 8;
    return 4 + LoadScalar<uint32_t>(p);
  }
  static int CompareValues(const TKeyField& k, const uint8_t* a, const uint8_t* b) {
    switch (k.kind) {
      case TKeyKind::Int: return Sign(LoadScalar<int64_t>(a), LoadScalar<int64_t>(b));
      case TKeyKind::Float: return Sign(LoadScalar<double>(a), LoadScalar<double>(b));
      default: {
        const uint32_t na = LoadScalar<uint32_t>(a);
        const uint32_t nb = LoadScalar<uint32_t>(b);
        const int r = std::memcmp(a + 4, b + 4, std::min(na, nb));
        if (r != 0) return r;
        return Sign(na, nb);
      }
    }
  }

  const TdvoCommon& store_;
  std::vector<TKeyField> fields_;
  TCollationRef collation_;
  std::vector<uint8_t> arena_;
  std::vector<std::vector<uint8_t>> adopted_;
  std::string text_;
};

}  // namespace

TKeyHead::TKeyHead(const TdvoFieldList& list) {
  if (list.FieldCount() == 0) return;
  field_ = list.FieldAt(0);
  options_ = list.OptionsAt(0);
  TKeyKind kind = TKeyKind::Int;
  if (field_ == nullptr || field_->FieldNo() <= 0 || (options_ & mtcoPartialKey) ||
      !KindOf(field_->DataType(), options_, kind) || kind == TKeyKind::Float)
    return;
  kind_ = kind == TKeyKind::Int ? TKind::Int : (kind == TKeyKind::Bytes ? TKind::Bytes : TKind::Collated);
  whole_ = kind_ == TKind::Int && list.FieldCount() == 1;
}

bool TKeyHead::Usable(const TdvoCommon& store) const {
  if (kind_ == TKind::None) return false;
  const TStoreTable* owner = store.Owner();
  if (owner != nullptr && (owner->HasCompareFieldsEvent() || owner->HasDecompressFieldEvent())) return false;
  if (kind_ != TKind::Collated) return true;
  const TCollationRef now = store.Collation();
  if (collation_ == nullptr) collation_ = now;
  return now != nullptr && now == collation_;
}

bool TKeyHead::Draw(const TdvoCommon& store, const TRecord* record, uint64_t& head) const {
  const uint8_t* slot = store.FieldSlot(record, *field_);
  if (slot == nullptr || slot[0] == kSlotNull) return false;
  const TdvoCommon::TValueView value = store.FieldValue(record, slot, *field_);
  static const uint8_t kNothing[1] = {0};
  const uint8_t* data = value.data ? value.data : kNothing;
  const size_t length = value.data ? value.length : 0;
  if (kind_ == TKind::Int) {
    const int64_t v = IntValue(field_->DataType(), data, length);
    std::memcpy(&head, &v, 8);
    return true;
  }
  const void* zero = std::memchr(data, 0, length);
  const size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : length;
  thread_local std::string text;
  if (kind_ == TKind::Collated) {
    const uint32_t flags = (options_ & mtcoCaseInsensitive) ? kNormIgnoreCase : 0;
    if (!CollationSortKey(collation_, flags, reinterpret_cast<const char*>(data), n, text)) return false;
  } else {
    text.assign(reinterpret_cast<const char*>(data), std::min<size_t>(n, 8));
    if (options_ & mtcoCaseInsensitive) FoldAZ(text);
  }
  head = BigEndianHead(text);
  return true;
}

bool TKeyHead::Serves(const TdvoFieldList& list, bool partial) const {
  if (kind_ == TKind::None || list.FieldCount() == 0 || list.FieldAt(0) != field_) return false;
  constexpr int kOrdering = mtcoDescending | mtcoCaseInsensitive | mtcoIgnoreLocale;
  const int options = list.OptionsAt(0);
  if ((options & kOrdering) != (options_ & kOrdering)) return false;
  // A partial compare cuts text; integers know no partial.
  return kind_ == TKind::Int || (!partial && !(options & mtcoPartialKey));
}

int TKeyHead::Compare(uint64_t a, uint64_t b) const {
  const int r = kind_ == TKind::Int ? Sign(static_cast<int64_t>(a), static_cast<int64_t>(b)) : Sign(a, b);
  return (options_ & mtcoDescending) ? -r : r;
}

size_t KeyDrawThreads() {
  // The processors this thread may run on, not those the machine has: a
  // process kept to one processor gains nothing from threads of its own.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  const size_t processors = ::sched_getaffinity(0, sizeof allowed, &allowed) == 0
                                ? static_cast<size_t>(CPU_COUNT(&allowed))
                                : std::max(1u, std::thread::hardware_concurrency());
  return std::clamp<size_t>(processors, 1, 4);
}

namespace {

// Collation sort keys cost far more than the rest of a sort; over many
// records they are drawn in parts on several threads, each item naming its
// record already. The collator, the store and the records are only read. False (nothing kept) when a part
// fails or throws: the caller then draws in order and meets the same fault
// where a single thread would.
constexpr size_t kParallelDrawMin = 32768;

bool DrawInParts(const TdvoCommon& store, const std::vector<TKeyField>& fields, TCollationRef collation,
                 std::vector<TItem>& items, TDrawnKeys& keys) {
  const size_t count = items.size();
  const size_t parts = KeyDrawThreads();
  if (parts < 2 || count < kParallelDrawMin) return false;
  std::vector<TDrawnKeys> drawers;
  drawers.reserve(parts);
  for (size_t p = 0; p < parts; ++p) drawers.emplace_back(store, fields, collation);
  std::vector<char> ok(parts, 0);
  auto drawPart = [&](size_t p) {
    const size_t from = count * p / parts;
    const size_t to = count * (p + 1) / parts;
    try {
      drawers[p].Reserve(to - from);
      for (size_t i = from; i < to; ++i)
        if (!drawers[p].Draw(items[i].record, items[i])) return;
      ok[p] = 1;
    } catch (...) {
      // Drawn again in order by the caller, which then throws it.
    }
  };
  std::vector<std::thread> threads;
  try {
    for (size_t p = 1; p < parts; ++p) threads.emplace_back(drawPart, p);
  } catch (...) {
    // No thread to spare: what did start is joined, the rest is drawn here.
  }
  drawPart(0);
  for (std::thread& t : threads) t.join();
  for (size_t p = threads.size() + 1; p < parts; ++p) drawPart(p);
  if (std::find(ok.begin(), ok.end(), 0) != ok.end()) return false;
  for (size_t p = 0; p < parts; ++p) {
    const size_t from = count * p / parts;
    keys.Adopt(std::move(drawers[p]), items.data() + from, count * (p + 1) / parts - from);
  }
  return true;
}

// A lone key field of a 32-bit integer kind sorts through one number per
// entry: its value, null first, and the tie-break (unnumbered records by
// slot, before numbered ones, which tie) packed below it, so that two
// entries compare as two integers. The signs are those of the drawn-key
// compare, so the same quicksort lays the entries out alike, ties included.
struct TPacked {
  uint64_t key;
  TRecord* record;
};

constexpr int kRankBits = 31;
constexpr uint32_t kNumberedRank = 0x7FFFFFFF;  // above every slot it packs

bool IsSmallIntType(TFieldType type) {
  TKeyKind kind = TKeyKind::Int;
  return type != ftLargeint && KindOf(type, 0, kind) && kind == TKeyKind::Int;
}

TKeyedSortResult SortPackedIntegers(const TdvoCommon& store, const TKeyField& k, bool heads, TEntryList& entries,
                                    bool checkUnique) {
  const bool descending = (k.options & mtcoDescending) != 0;
  const auto count = static_cast<size_t>(entries.Count());
  std::vector<TPacked> items;
  items.reserve(count);
  const bool packed = entries.ForEach([&](const TEntry& entry) {
    TRecord* record = entry.Record();
    const uint8_t* slot = store.FieldSlot(record, *k.field);
    const bool present = slot[0] != kSlotNull;
    // A null key compared first skips the field (the compare is then not a
    // total order), and a slot the rank cannot hold: the drawn keys do it.
    if (!present && (k.options & mtcoIgnoreNullKey)) return false;
    const bool numbered = record->RowNumber >= 0;
    if (!numbered && (record->SlotIndex < 0 || static_cast<uint32_t>(record->SlotIndex) >= kNumberedRank))
      return false;
    uint64_t value = 0;  // null
    if (present) {
      const TdvoCommon::TValueView view = store.FieldValue(record, slot, *k.field);
      static const uint8_t kNothing[1] = {0};
      const auto v = static_cast<int32_t>(
          IntValue(k.field->DataType(), view.data ? view.data : kNothing, view.data ? view.length : 0));
      const uint32_t biased = static_cast<uint32_t>(v) ^ 0x80000000u;
      value = 1 + static_cast<uint64_t>(descending ? ~biased : biased);
    }
    uint32_t rank = numbered ? kNumberedRank : static_cast<uint32_t>(record->SlotIndex);
    if (descending) rank = kNumberedRank - rank;
    items.push_back(TPacked{value << kRankBits | rank, record});
    return true;
  });
  if (!packed) return TKeyedSortResult::Unsupported;
  SortRange(items, 0, static_cast<int>(count) - 1,
            [](const TPacked& a, const TPacked& b) { return (a.key > b.key) - (a.key < b.key); });
  entries.AssignFrom(count, [&items, heads, descending](size_t i) {
    const TPacked& item = items[i];
    const uint64_t value = item.key >> kRankBits;
    if (!heads || value == 0) return TEntry(item.record);
    const auto biased = static_cast<uint32_t>(value - 1);
    const int64_t v = static_cast<int32_t>((descending ? ~biased : biased) ^ 0x80000000u);
    uint64_t head = 0;
    std::memcpy(&head, &v, 8);
    return TEntry(item.record, head);
  });
  if (checkUnique)
    for (size_t i = 1; i < count; ++i)
      if (items[i - 1].key >> kRankBits == items[i].key >> kRankBits) return TKeyedSortResult::Duplicate;
  return TKeyedSortResult::Sorted;
}

}  // namespace

TKeyedSortResult SortByDrawnKeys(const TdvoCommon& store, const TdvoFieldList& list, const TKeyHead& head,
                                 TEntryList& entries, bool checkUnique) {
  const TStoreTable* owner = store.Owner();
  if (list.FieldCount() == 0 || entries.Empty()) return TKeyedSortResult::Unsupported;
  if (owner != nullptr && (owner->HasCompareFieldsEvent() || owner->HasDecompressFieldEvent()))
    return TKeyedSortResult::Unsupported;
  std::vector<TKeyField> fields;
  bool collated = false;
  for (int i = 0; i < list.FieldCount(); ++i) {
    TKeyField k{list.FieldAt(i), list.OptionsAt(i), TKeyKind::Int};
    if (k.field == nullptr || (k.options & mtcoPartialKey) || !KindOf(k.field->DataType(), k.options, k.kind))
      return TKeyedSortResult::Unsupported;
    collated = collated || k.kind == TKeyKind::Collated;
    fields.push_back(k);
  }
  const TCollationRef collation = collated ? store.Collation() : nullptr;
  if (collated && collation == nullptr) return TKeyedSortResult::Unsupported;

  if (fields.size() == 1 && IsSmallIntType(fields[0].field->DataType())) {
    const TKeyedSortResult packed = SortPackedIntegers(store, fields[0], head.Usable(store), entries, checkUnique);
    if (packed != TKeyedSortResult::Unsupported) return packed;
  }

  TDrawnKeys keys(store, fields, collation);
  const auto count = static_cast<size_t>(entries.Count());
  std::vector<TItem> items(count);
  size_t at = 0;
  entries.ForEach([&items, &at](const TEntry& entry) {
    items[at++].record = entry.Record();
    return true;
  });
  if (!collated || !DrawInParts(store, fields, collation, items, keys)) {
    keys.Reserve(count);
    for (TItem& item : items)
      if (!keys.Draw(item.record, item)) return TKeyedSortResult::Unsupported;
    keys.Settle(items.data(), count);
  }

  SortRange(items, 0, static_cast<int>(count) - 1, [&keys](const TItem& a, const TItem& b) {
    const int r = keys.Compare(a, b);
    return r != 0 ? r : keys.TieBreak(a, b);
  });
  // The sort's first field is drawn the way a head is, so it becomes one.
  const bool heads = head.Usable(store);
  entries.AssignFrom(count, [&items, heads](size_t i) {
    const TItem& item = items[i];
    return heads && !item.firstNull ? TEntry(item.record, item.head) : TEntry(item.record);
  });
  if (checkUnique)
    for (size_t i = 1; i < count; ++i)
      if (keys.Compare(items[i - 1], items[i]) == 0) return TKeyedSortResult::Duplicate;
  return TKeyedSortResult::Sorted;
}

}  // namespace ts
