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

#include <algorithm>
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
  // Replaces the entries with make(0) .. make(count - 1), laid out as Assign
  // lays them out; the blocks the list holds are filled again first.
  template <class Make>
  void AssignFrom(size_t count, Make make) {
    const size_t fill = PrepareBlocks(count);
    size_t i = 0;
    for (std::vector<TEntry>& block : blocks_)
      for (const size_t end = std::min(count, i + fill); i < end; ++i) block.push_back(make(i));
    count_ = static_cast<int>(count);
    Renumber(0);
  }
  // Calls f(entry) for the entries in order while it returns true; false
  // when it stopped early.
  template <class F>
  bool ForEach(F f) const {
    for (const std::vector<TEntry>& block : blocks_)
      for (const TEntry& e : block)
        if (!f(e)) return false;
    return true;
  }
  // Replaces the entries with the records of records[0..count) that are not
  // null, in order and without heads. The blocks the list holds are filled
  // again before any is made, so a refill reuses the memory it replaces.
  void AssignRecords(TRecord* const* records, size_t count);

  // For a list whose entries all carry heads in order: the first position
  // whose head is not `below` (a predicate true for a leading run of heads),
  // Count() when there is none. The blocks' first heads, kept together,
  // find the block; only a few entries of that one block are read.
  template <class Below>
  int LowerBoundByHead(Below below) const {
    const auto block = std::partition_point(firstHeads_.begin(), firstHeads_.end(), below);
    if (block == firstHeads_.begin()) return 0;
    const size_t b = static_cast<size_t>(block - firstHeads_.begin()) - 1;
    const std::vector<TEntry>& entries = blocks_[b];
    const auto at = std::partition_point(entries.begin() + 1, entries.end(),
                                         [&below](const TEntry& e) { return below(e.Head()); });
    lastBlock_ = b;
    return Start(b) + static_cast<int>(at - entries.begin());
  }

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
  // Keeps as many blocks as `count` entries fill as Assign fills them, each
  // emptied with its room kept; returns that fill.
  size_t PrepareBlocks(size_t count);
  // Splits a full block in two halves, both with room to grow.
  void SplitBlock(size_t block);
  // The block's count changed by delta: the starts behind it follow.
  void ShiftStarts(size_t block, int delta);
  // Blocks from `block` on were added, removed or changed: their starts
  // (and first heads) are taken again.
  void Renumber(size_t block);

  static constexpr size_t kGroupBlocks = 64;

  std::vector<std::vector<TEntry>> blocks_;
  std::vector<int> starts_;       // per block, relative to its group's first block
  std::vector<int> groupStarts_;  // per group of kGroupBlocks blocks
  std::vector<uint64_t> firstHeads_;  // per block, its first entry's head
  int count_ = 0;
  mutable size_t lastBlock_ = 0;
};

}  // namespace ts
