#include "table_store/value_block.h"

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

}  // namespace

TValueBlock NewValueBlock(int32_t n) {
  if (n < 0) throw ERangeError();
  auto* block = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(n) + 4));
  if (block == nullptr) throw std::bad_alloc();
  WriteLength(block, n);
  return block;
}

TValueBlock MakeValueBlock(const void* source, int32_t n) {
  TValueBlock block = NewValueBlock(n);
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
