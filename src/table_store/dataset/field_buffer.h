// TFieldBuffer: a zeroed scratch buffer for one field's data. Every value set
// or read through a field passes through one, so the usual sizes live on the
// stack and only large fields take the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ts {

class TFieldBuffer {
 public:
  explicit TFieldBuffer(size_t size) : size_(size) {
    if (size > sizeof small_) {
      large_.assign(size, 0);
      data_ = large_.data();
    } else {
      std::memset(small_, 0, size);
    }
  }
  TFieldBuffer(const TFieldBuffer&) = delete;
  TFieldBuffer& operator=(const TFieldBuffer&) = delete;

  uint8_t* data() { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t small_[128];
  size_t size_;
  uint8_t* data_ = small_;
  std::vector<uint8_t> large_;
};

}  // namespace ts
