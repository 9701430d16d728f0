// TRecord: the header of every stored record and record buffer, followed in
// the same allocation by the record's value area (laid out by the store,
// see TdvoCommon). Also the update statuses, the per-field flag bits, and
// helpers that read and write the reference in an out-of-line slot or a
// bookmark cell (both unaligned inside the value area).
//
// A slot starts with its null byte (in-line field) or state byte (out-of-line
// field): 0 = null, anything else = a value is present (writers use 2).
// An out-of-line slot is that byte followed by a TValueBlock reference; a
// present value with no block in a record buffer means "the value of the
// stored record in slot SlotIndex".
#pragma once

#include <cstdint>
#include <cstring>

#include "table_store/value_block.h"

namespace ts {

enum TUpdateStatus : uint8_t { rsUnmodified = 0, rsModified = 1, rsInserted = 2, rsDeleted = 3 };

// StateBits bit 0: the record is held by the store; its older versions are
// freed with it.
inline constexpr uint8_t kRecordStored = 1;
// StateBits bit 1: the record came into the store at its TxLevel without
// being marked inserted (a loaded record keeps the status it was saved
// with); a rollback of that level takes it out as it does an inserted one.
// It stays with the version the level began with when a later change keeps
// an older version.
inline constexpr uint8_t kRecordNewAtLevel = 2;

// FieldFlags bits.
inline constexpr uint8_t kFieldOutOfLine = 1;
inline constexpr uint8_t kFieldCompressed = 2;
inline constexpr uint8_t kFieldModified = 4;

// Size of the FieldFlags / FieldOffsets tables: the most field numbers a
// record layout can hold.
inline constexpr int kMaxFields = 256;

inline constexpr uint8_t kSlotNull = 0;
inline constexpr uint8_t kSlotPresent = 2;

struct TRecord {
  int32_t RowNumber;
  int32_t SlotIndex;
  int32_t SerialId;
  uint8_t StateBits;
  TUpdateStatus ChangeStatus;
  int32_t TxLevel;
  int32_t UserTag;
  TRecord* OlderVersion;

  // First byte of the value area, which lies right behind this header in
  // the same allocation: worked out rather than kept, as it never differs,
  // and eight bytes less per record count at millions of records.
  uint8_t* Values() { return reinterpret_cast<uint8_t*>(this + 1); }
  const uint8_t* Values() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

// Whether a record version made at its TxLevel is where the record came into
// the store at that level.
inline bool CameInAtItsLevel(const TRecord* record) {
  return record->ChangeStatus == rsInserted || (record->StateBits & kRecordNewAtLevel);
}

// An older version kept of `record` as it is now: the mark of where the
// record came in goes with it.
inline void HandOverNewAtLevel(TRecord* record, TRecord* older) {
  older->StateBits |= record->StateBits & kRecordNewAtLevel;
  record->StateBits &= static_cast<uint8_t>(~kRecordNewAtLevel);
}

// An out-of-line slot: state byte + block reference.
inline constexpr int kOutOfLineSlotSize = 1 + static_cast<int>(sizeof(TValueBlock));
// A bookmark cell: record reference + bookmark flag byte.
inline constexpr int kBookmarkCellSize = static_cast<int>(sizeof(TRecord*)) + 1;

inline TValueBlock SlotBlock(const uint8_t* slot) {
  TValueBlock block;
  std::memcpy(&block, slot + 1, sizeof block);
  return block;
}

inline void SetSlotBlock(uint8_t* slot, TValueBlock block) { std::memcpy(slot + 1, &block, sizeof block); }

}  // namespace ts
