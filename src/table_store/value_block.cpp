#include "table_store/value_block.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "table_store/errors.h"

namespace ts {

namespace {

void WriteLength(TValueBlock block, int32_t n) {
  const auto u = static_cast<uint32_t>(n);
  block[0] = static_cast<uint8_t>(u);
  block[1] = static_cast<uint8_t>(u >> 8);
  block[2] = static_cast<uint8_t>(u >> 16);
  block[3] = static_cast<uint8_t>(u >> 24);
}

// Blob values of megabytes (the materials' audio and pages) are filled as
// soon as they are made. Memory the system hands out a small page at a time
// costs a fault per 4 KB on first touch; such blocks start on a large-page
// boundary and ask for large pages, so filling them takes a fault per 2 MB.
constexpr size_t kLargePage = size_t{2} << 20;

void AskForLargePages(void* start, size_t bytes) {
  constexpr uintptr_t kPage = 4096;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(start) + kPage - 1) & ~(kPage - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(kPage - 1);
  // Only a hint: where the system has no large pages the block works as well.
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

uint8_t* AllocateUnset(size_t bytes) {
  if (bytes < kLargePage) return static_cast<uint8_t*>(std::malloc(bytes));
  void* memory = nullptr;
  if (::posix_memalign(&memory, kLargePage, bytes) != 0) return nullptr;
  AskForLargePages(memory, bytes);
  return static_cast<uint8_t*>(memory);
}

}  // namespace

TValueBlock NewValueBlock(int32_t n) {
  if (n < 0) throw ERangeError();
  auto* block = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(n) + 4));
  if (block == nullptr) throw std::bad_alloc();
  WriteLength(block, n);
  return block;
}

TValueBlock NewValueBlockForOverwrite(int32_t n) {
  if (n < 0) throw ERangeError();
  auto* block = AllocateUnset(static_cast<size_t>(n) + 4);
  if (block == nullptr) throw std::bad_alloc();
  WriteLength(block, n);
  return block;
}

TValueBlock MakeValueBlock(const void* source, int32_t n) {
  TValueBlock block = NewValueBlockForOverwrite(n);
  if (n > 0) std::memcpy(ValueBlockData(block), source, static_cast<size_t>(n));
  return block;
}

TValueBlock CopyValueBlock(const uint8_t* block) {
  if (block == nullptr) return nullptr;
  return MakeValueBlock(ValueBlockData(block), ValueBlockLength(block));
}

TValueBlock ShrinkValueBlock(TValueBlock block, int32_t n) {
  if (n < 0 || n > ValueBlockLength(block)) throw ERangeError();
  WriteLength(block, n);
  // Giving memory back never fails in practice; if it does, the larger
  // block serves as well.
  if (auto* smaller = static_cast<uint8_t*>(std::realloc(block, static_cast<size_t>(n) + 4))) return smaller;
  return block;
}

void FreeValueBlock(TValueBlock block) { std::free(block); }

}  // namespace ts
