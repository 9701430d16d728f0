#include "table_store/indexes/entry_list.h"

#include <algorithm>

namespace ts {

namespace {

// A full block splits in two halves; a block that shrinks below a quarter
// takes in its right neighbour when both fit one block.
constexpr size_t kBlockMax = 1024;
constexpr size_t kBlockMin = kBlockMax / 4;

}  // namespace

size_t TEntryList::BlockOf(int position) const {
  const size_t last = lastBlock_;
  if (last < blocks_.size() && position >= starts_[last] &&
      position < starts_[last] + static_cast<int>(blocks_[last].size()))
    return last;
  // Blocks mostly hold alike counts (a sort or a run of appends fills them
  // evenly), so the block a position falls in by proportion is tried first:
  // a halving search asks for far-apart positions and would otherwise halve
  // over the starts on every probe.
  const size_t blocks = blocks_.size();
  size_t guess = static_cast<size_t>(static_cast<int64_t>(position) * static_cast<int64_t>(blocks) / count_);
  if (guess >= blocks) guess = blocks - 1;
  if (guess > 0 && position < starts_[guess]) --guess;
  if (position >= starts_[guess] && position < starts_[guess] + static_cast<int>(blocks_[guess].size())) {
    lastBlock_ = guess;
    return guess;
  }
  const auto it = std::upper_bound(starts_.begin(), starts_.end(), position);
  lastBlock_ = static_cast<size_t>(it - starts_.begin()) - 1;
  return lastBlock_;
}

const TEntry& TEntryList::Entry(int position) const {
  const size_t b = BlockOf(position);
  return blocks_[b][static_cast<size_t>(position - starts_[b])];
}

void TEntryList::PushBack(const TEntry& entry) {
  if (blocks_.empty() || blocks_.back().size() >= kBlockMax) {
    blocks_.emplace_back().reserve(kBlockMax);
    starts_.push_back(count_);
  }
  blocks_.back().push_back(entry);
  ++count_;
}

void TEntryList::Insert(int position, const TEntry& entry) {
  if (position >= count_) {
    PushBack(entry);
    return;
  }
  const size_t b = BlockOf(position);
  std::vector<TEntry>& block = blocks_[b];
  block.insert(block.begin() + (position - starts_[b]), entry);
  ++count_;
  for (size_t k = b + 1; k < starts_.size(); ++k) ++starts_[k];
  if (block.size() > kBlockMax) SplitBlock(b);
}

void TEntryList::SplitBlock(size_t b) {
  std::vector<TEntry>& block = blocks_[b];
  const size_t half = block.size() / 2;
  std::vector<TEntry> upper;
  upper.reserve(kBlockMax);
  upper.assign(block.begin() + static_cast<std::ptrdiff_t>(half), block.end());
  block.resize(half);
  const int upperStart = starts_[b] + static_cast<int>(half);
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
  starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(b) + 1, upperStart);
}

void TEntryList::Erase(int position) {
  const size_t b = BlockOf(position);
  std::vector<TEntry>& block = blocks_[b];
  block.erase(block.begin() + (position - starts_[b]));
  --count_;
  for (size_t k = b + 1; k < starts_.size(); ++k) --starts_[k];
  if (block.empty()) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
    starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(b));
  } else if (block.size() < kBlockMin && b + 1 < blocks_.size() &&
             block.size() + blocks_[b + 1].size() <= kBlockMax) {
    block.insert(block.end(), blocks_[b + 1].begin(), blocks_[b + 1].end());
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1);
    starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(b) + 1);
  }
  lastBlock_ = 0;
}

void TEntryList::Clear() {
  blocks_.clear();
  starts_.clear();
  count_ = 0;
  lastBlock_ = 0;
}

int TEntryList::IndexOf(const TRecord* record) const {
  for (size_t b = 0; b < blocks_.size(); ++b) {
    const auto it = std::find_if(blocks_[b].begin(), blocks_[b].end(),
                                 [record](const TEntry& e) { return e.Record() == record; });
    if (it != blocks_[b].end()) return starts_[b] + static_cast<int>(it - blocks_[b].begin());
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
  Clear();
  // Filled blocks leave room to grow: the first inserts into a freshly
  // sorted index then split nothing.
  constexpr size_t kFill = kBlockMax * 3 / 4;
  for (size_t at = 0; at < records.size(); at += kFill) {
    const size_t end = std::min(records.size(), at + kFill);
    std::vector<TEntry>& block = blocks_.emplace_back();
    block.reserve(kBlockMax);
    block.assign(records.begin() + static_cast<std::ptrdiff_t>(at), records.begin() + static_cast<std::ptrdiff_t>(end));
    starts_.push_back(static_cast<int>(at));
  }
  count_ = static_cast<int>(records.size());
}

}  // namespace ts
