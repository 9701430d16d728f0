// The sort of an index's entries: a median-of-three quicksort that leaves
// ranges of five entries or fewer to one insertion pass over the whole
// range. It is not stable, so the exact sequence of comparisons and swaps
// decides where entries with equal keys end up; every caller runs this one
// sequence, whatever it compares, so that the order never depends on how
// the keys are held.
#pragma once

#include <utility>
#include <vector>

namespace ts {

// cmp(a, b) < 0 when a sorts before b.
template <class T, class Cmp>
void QuickSortRange(std::vector<T>& e, int l, int r, const Cmp& cmp) {
  // Median of three puts a sentinel at each end, so the inner scans below
  // stay inside l..r without bounds tests, as long as cmp is an order. A key
  // that skips null fields is none (a null key equals every record, while a
  // record sorts after it), and the downward scan could then run past l: it
  // stops there, where an order would have stopped it anyway. The upward
  // scan always stops at the pivot, which equals itself.
  while (r - l > 4) {
    const int m = l + (r - l) / 2;
    if (cmp(e[l], e[m]) > 0) std::swap(e[l], e[m]);
    if (cmp(e[l], e[r]) > 0) std::swap(e[l], e[r]);
    if (cmp(e[m], e[r]) > 0) std::swap(e[m], e[r]);
    std::swap(e[m], e[r - 1]);
    const T pivot = e[r - 1];
    int i = l;
    int j = r - 1;
    for (;;) {
      do ++i;
      while (cmp(e[i], pivot) < 0);
      do --j;
      while (j > l && cmp(e[j], pivot) > 0);
      if (i > j) break;
      std::swap(e[i], e[j]);
    }
    std::swap(e[i], e[r - 1]);
    // Recurse into the smaller side and loop on the larger, so the stack
    // stays shallow whatever the data.
    if (j - l < r - (i + 1)) {
      QuickSortRange(e, l, j, cmp);
      l = i + 1;
    } else {
      QuickSortRange(e, i + 1, r, cmp);
      r = j;
    }
  }
}

template <class T, class Cmp>
void InsertionSortRange(std::vector<T>& e, int l, int r, const Cmp& cmp) {
  for (int k = l + 1; k <= r; ++k) {
    T item = e[k];
    int i = k;
    while (i > l && cmp(e[i - 1], item) > 0) {
      e[i] = e[i - 1];
      --i;
    }
    e[i] = item;
  }
}

template <class T, class Cmp>
void SortRange(std::vector<T>& e, int l, int r, const Cmp& cmp) {
  QuickSortRange(e, l, r, cmp);
  InsertionSortRange(e, l, r, cmp);
}

}  // namespace ts
