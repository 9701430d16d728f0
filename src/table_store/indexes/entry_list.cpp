#include "table_store/indexes/entry_list.h"

#include <algorithm>

namespace ts {

namespace {

// A full block splits in two halves before it takes another entry, so a
// block never grows past the room it was given; a block that shrinks below
// a quarter takes in its right neighbour when both fit one block.
constexpr size_t kBlockMax = 512;
constexpr size_t kBlockMin = kBlockMax / 4;

}  // namespace

size_t TEntryList::BlockOf(int position) const {
  const size_t last = lastBlock_;
  if (last < blocks_.size() && Holds(last, position)) return last;
  // Blocks mostly hold alike counts (a sort or a run of appends fills them
  // evenly), so the block a position falls in by proportion is tried first:
  // a halving search asks for far-apart positions and would otherwise halve
  // over the block starts on every probe.
  const size_t blocks = blocks_.size();
  size_t guess = static_cast<size_t>(static_cast<int64_t>(position) * static_cast<int64_t>(blocks) / count_);
  if (guess >= blocks) guess = blocks - 1;
  if (guess > 0 && position < Start(guess)) --guess;
  if (Holds(guess, position)) {
    lastBlock_ = guess;
    return guess;
  }
  const auto group = std::upper_bound(groupStarts_.begin(), groupStarts_.end(), position) - 1;
  const size_t first = static_cast<size_t>(group - groupStarts_.begin()) * kGroupBlocks;
  const auto from = starts_.begin() + static_cast<std::ptrdiff_t>(first);
  const auto to = starts_.begin() + static_cast<std::ptrdiff_t>(std::min(blocks, first + kGroupBlocks));
  lastBlock_ = static_cast<size_t>(std::upper_bound(from, to, position - *group) - starts_.begin()) - 1;
  return lastBlock_;
}

const TEntry& TEntryList::Entry(int position) const {
  const size_t b = BlockOf(position);
  return blocks_[b][static_cast<size_t>(position - Start(b))];
}

void TEntryList::ShiftStarts(size_t block, int delta) {
  const size_t groupEnd = std::min(blocks_.size(), (block / kGroupBlocks + 1) * kGroupBlocks);
  for (size_t k = block + 1; k < groupEnd; ++k) starts_[k] += delta;
  for (size_t g = block / kGroupBlocks + 1; g < groupStarts_.size(); ++g) groupStarts_[g] += delta;
}

void TEntryList::Renumber(size_t block) {
  const size_t blocks = blocks_.size();
  starts_.resize(blocks);
  firstHeads_.resize(blocks);
  groupStarts_.resize((blocks + kGroupBlocks - 1) / kGroupBlocks);
  // The group's first block lies before every change, so its start holds.
  size_t k = block / kGroupBlocks * kGroupBlocks;
  int at = k == 0 ? 0 : Start(k - 1) + static_cast<int>(blocks_[k - 1].size());
  for (; k < blocks; ++k) {
    if (k % kGroupBlocks == 0) groupStarts_[k / kGroupBlocks] = at;
    starts_[k] = at - groupStarts_[k / kGroupBlocks];
    firstHeads_[k] = blocks_[k].front().Head();
    at += static_cast<int>(blocks_[k].size());
  }
}

void TEntryList::PushBack(const TEntry& entry) {
  if (blocks_.empty() || blocks_.back().size() >= kBlockMax) {
    blocks_.emplace_back().reserve(kBlockMax);
    if ((blocks_.size() - 1) % kGroupBlocks == 0) groupStarts_.push_back(count_);
    starts_.push_back(count_ - groupStarts_.back());
    firstHeads_.push_back(entry.Head());
  }
  blocks_.back().push_back(entry);
  ++count_;
}

void TEntryList::Insert(int position, const TEntry& entry) {
  if (position >= count_) {
    PushBack(entry);
    return;
  }
  size_t b = BlockOf(position);
  if (blocks_[b].size() >= kBlockMax) {
    SplitBlock(b);
    if (position >= Start(b + 1)) ++b;
  }
  std::vector<TEntry>& block = blocks_[b];
  const int offset = position - Start(b);
  block.insert(block.begin() + offset, entry);
  if (offset == 0) firstHeads_[b] = entry.Head();
  ++count_;
  ShiftStarts(b, 1);
  lastBlock_ = b;
}

void TEntryList::SplitBlock(size_t b) {
  std::vector<TEntry>& block = blocks_[b];
  const size_t half = block.size() / 2;
  std::vector<TEntry> upper;
  upper.reserve(kBlockMax);
  upper.assign(block.begin() + static_cast<std::ptrdiff_t>(half), block.end());
  block.resize(half);
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
  Renumber(b + 1);
}

void TEntryList::Erase(int position) {
  const size_t b = BlockOf(position);
  std::vector<TEntry>& block = blocks_[b];
  const int offset = position - Start(b);
  block.erase(block.begin() + offset);
  if (offset == 0 && !block.empty()) firstHeads_[b] = block.front().Head();
  --count_;
  if (block.empty()) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
    Renumber(b);
  } else if (block.size() < kBlockMin && b + 1 < blocks_.size() &&
             block.size() + blocks_[b + 1].size() <= kBlockMax) {
    block.insert(block.end(), blocks_[b + 1].begin(), blocks_[b + 1].end());
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1);
    Renumber(b + 1);
  } else {
    ShiftStarts(b, -1);
  }
  lastBlock_ = 0;
}

void TEntryList::Clear() {
  blocks_.clear();
  starts_.clear();
  groupStarts_.clear();
  firstHeads_.clear();
  count_ = 0;
  lastBlock_ = 0;
}

int TEntryList::IndexOf(const TRecord* record) const {
  for (size_t b = 0; b < blocks_.size(); ++b) {
    const auto it = std::find_if(blocks_[b].begin(), blocks_[b].end(),
                                 [record](const TEntry& e) { return e.Record() == record; });
    if (it != blocks_[b].end()) return Start(b) + static_cast<int>(it - blocks_[b].begin());
  }
  return -1;
}

std::vector<TRecord*> TEntryList::ToVector() const {
  std::vector<TRecord*> out;
  out.reserve(static_cast<size_t>(count_));
  for (const auto& block : blocks_)
    for (const TEntry& e : block) out.push_back(e.Record());
  return out;
}

std::vector<TEntry> TEntryList::ToEntries() const {
  std::vector<TEntry> out;
  out.reserve(static_cast<size_t>(count_));
  for (const auto& block : blocks_) out.insert(out.end(), block.begin(), block.end());
  return out;
}

void TEntryList::Assign(const std::vector<TEntry>& records) {
  AssignFrom(records.size(), [&records](size_t i) { return records[i]; });
}

size_t TEntryList::PrepareBlocks(size_t count) {
  // Filled blocks leave room to grow: the first inserts into a freshly
  // sorted index then split nothing.
  constexpr size_t kFill = kBlockMax * 3 / 4;
  blocks_.resize((count + kFill - 1) / kFill);
  for (std::vector<TEntry>& block : blocks_) {
    block.clear();
    block.reserve(kBlockMax);
  }
  lastBlock_ = 0;
  return kFill;
}

void TEntryList::AssignRecords(TRecord* const* records, size_t count) {
  size_t used = 0;
  std::vector<TEntry>* block = nullptr;
  int n = 0;
  for (size_t i = 0; i < count; ++i) {
    TRecord* record = records[i];
    if (record == nullptr) continue;
    if (block == nullptr || block->size() == kBlockMax) {
      if (used == blocks_.size()) blocks_.emplace_back();
      block = &blocks_[used++];
      block->clear();
      block->reserve(kBlockMax);
    }
    block->push_back(TEntry(record));
    ++n;
  }
  blocks_.resize(used);
  count_ = n;
  lastBlock_ = 0;
  Renumber(0);
}

}  // namespace ts
