// TEntryList: the ordered record references of one index, held in blocks of
// a few hundred entries with the position of each block's first entry kept
// beside it. Reading by position finds the block by those starts; inserting
// or removing in the middle moves only the rest of one block, so a million
// inserts in key order stay far from the cost of moving half of one flat
// list each time.
//
// The starts are kept in two steps, each block's relative to the first block
// of its group and each group's absolute: an insert or removal shifts the
// starts of the rest of one group and of the groups behind it, not of every
// later block, which would make each insert cost in proportion to the list.
//
// Each entry may carry a head: the first key field's value in a form that
// orders as the field does (see TKeyHead), so that a search can pass most
// entries without reading their records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "table_store/record.h"

namespace ts {

// A record reference and its head in sixteen bytes: whether the head is
// there rides in the reference's lowest bit (records are aligned).
class TEntry {
 public:
  TEntry() = default;
  explicit TEntry(TRecord* record) : bits_(reinterpret_cast<uintptr_t>(record)) {}
  TEntry(TRecord* record, uint64_t head) : bits_(reinterpret_cast<uintptr_t>(record) | 1u), head_(head) {}
  TRecord* Record() const { return reinterpret_cast<TRecord*>(bits_ & ~uintptr_t{1}); }
  bool HasHead() const { return (bits_ & 1u) != 0; }
  uint64_t Head() const { return head_; }

 private:
  uintptr_t bits_ = 0;
  uint64_t head_ = 0;
};

static_assert(sizeof(TEntry) == 16);

class TEntryList {
 public:
  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // 0 <= position < Count().
  TRecord* At(int position) const { return Entry(position).Record(); }
  const TEntry& Entry(int position) const;
  // 0 <= position <= Count(); Count() appends.
  void Insert(int position, const TEntry& entry);
  void PushBack(const TEntry& entry);
  // 0 <= position < Count().
  void Erase(int position);
  void Clear();
  // Position of that very reference, -1 when absent (a scan).
  int IndexOf(const TRecord* record) const;
  // The entries as one flat list, and back (sorting works on the flat form).
  std::vector<TRecord*> ToVector() const;
  std::vector<TEntry> ToEntries() const;
  void Assign(const std::vector<TEntry>& entries);

 private:
  // Block holding `position`, remembered for the next call: walks through
  // the list ask for neighbouring positions.
  size_t BlockOf(int position) const;
  // Position of the block's first entry.
  int Start(size_t block) const { return groupStarts_[block / kGroupBlocks] + starts_[block]; }
  bool Holds(size_t block, int position) const {
    const int start = Start(block);
    return position >= start && position < start + static_cast<int>(blocks_[block].size());
  }
  // Splits a full block in two halves, both with room to grow.
  void SplitBlock(size_t block);
  // The block's count changed by delta: the starts behind it follow.
  void ShiftStarts(size_t block, int delta);
  // Blocks from `block` on were added, removed or changed: their starts
  // are counted again.
  void Renumber(size_t block);

  static constexpr size_t kGroupBlocks = 64;

  std::vector<std::vector<TEntry>> blocks_;
  std::vector<int> starts_;       // per block, relative to its group's first block
  std::vector<int> groupStarts_;  // per group of kGroupBlocks blocks
  int count_ = 0;
  mutable size_t lastBlock_ = 0;
};

}  // namespace ts
