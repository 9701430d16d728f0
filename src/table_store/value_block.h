// Value blocks: the separate allocations that hold a record's out-of-line
// values. A block is a 4-byte little-endian length n followed by n bytes;
// TValueBlock points at the length. Every block belongs to exactly one
// record, which frees it.
#pragma once

#include <cstdint>

namespace ts {

using TValueBlock = uint8_t*;

// A new zero-filled block of n bytes with its length written. A negative n
// raises ERangeError.
TValueBlock NewValueBlock(int32_t n);

// A new block of n bytes with its length written and its bytes unset, for a
// caller that writes them at once (and may cut the block down to what it
// wrote). A negative n raises ERangeError.
TValueBlock NewValueBlockForOverwrite(int32_t n);

// A new block holding a copy of n bytes of `source`.
TValueBlock MakeValueBlock(const void* source, int32_t n);

// A new block with the same length and bytes; nullptr for nullptr.
TValueBlock CopyValueBlock(const uint8_t* block);

// Cuts the block down to its first n bytes (n no more than it holds), for a
// block filled before its final length was known. The block may move.
TValueBlock ShrinkValueBlock(TValueBlock block, int32_t n);

// Releases the block; nothing for nullptr.
void FreeValueBlock(TValueBlock block);

// The first value byte of the block.
inline uint8_t* ValueBlockData(TValueBlock block) { return block + 4; }
inline const uint8_t* ValueBlockData(const uint8_t* block) { return block + 4; }

// n, read from the block's little-endian prefix.
inline int32_t ValueBlockLength(const uint8_t* block) {
  return static_cast<int32_t>(static_cast<uint32_t>(block[0]) | (static_cast<uint32_t>(block[1]) << 8) |
                              (static_cast<uint32_t>(block[2]) << 16) |
                              (static_cast<uint32_t>(block[3]) << 24));
}

}  // namespace ts
