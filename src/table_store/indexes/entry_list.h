// TEntryList: the ordered record references of one index, held in blocks of
// at most a thousand or so entries with the position of each block's first
// entry kept beside it. Reading by position finds the block by halving over
// those starts; inserting or removing in the middle moves only the rest of
// one block and shifts the starts behind it, so a million inserts in key
// order stay far from the cost of moving half of one flat list each time.
#pragma once

#include <cstddef>
#include <vector>

#include "table_store/record.h"

namespace ts {

class TEntryList {
 public:
  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // 0 <= position < Count().
  TRecord* At(int position) const;
  void Set(int position, TRecord* record);
  // 0 <= position <= Count(); Count() appends.
  void Insert(int position, TRecord* record);
  void PushBack(TRecord* record);
  // 0 <= position < Count().
  void Erase(int position);
  void Clear();
  // Position of that very reference, -1 when absent (a scan).
  int IndexOf(const TRecord* record) const;
  // The entries as one flat list, and back (sorting works on the flat form).
  std::vector<TRecord*> ToVector() const;
  void Assign(const std::vector<TRecord*>& records);

 private:
  // Block holding `position`, remembered for the next call: walks through
  // the list ask for neighbouring positions.
  size_t BlockOf(int position) const;
  void SplitBlock(size_t block);

  std::vector<std::vector<TRecord*>> blocks_;
  std::vector<int> starts_;  // position of each block's first entry
  int count_ = 0;
  mutable size_t lastBlock_ = 0;
};

}  // namespace ts
