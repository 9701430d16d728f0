// Progress reporting of the table store: the progress codes a table passes
// to OnProgress with a percentage, the set of them that ProgressFlags holds,
// and the table phases that index work sets while it runs.
#pragma once

#include <cstdint>

namespace ts {

enum TdvoProgressCode : uint8_t {
  mtpcLoad = 0,
  mtpcSave = 1,
  mtpcEmpty = 2,
  mtpcPack = 3,
  mtpcCheckPoint = 4,
  mtpcSearch = 5,
  mtpcCopy = 6,
  mtpcUpdate = 7,
  mtpcSort = 8,
};

// A set of progress codes, one bit per code (bit = 1 << code).
using TdvoProgressCodes = uint16_t;

constexpr TdvoProgressCodes ProgressBit(TdvoProgressCode code) {
  return static_cast<TdvoProgressCodes>(1u << static_cast<unsigned>(code));
}

// The table phase byte: what long-running work the table is doing.
inline constexpr uint8_t kPhaseNormal = 0;
inline constexpr uint8_t kPhaseLoading = 1;
inline constexpr uint8_t kPhaseSaving = 2;
inline constexpr uint8_t kPhaseSearching = 6;
inline constexpr uint8_t kPhaseSorting = 8;

}  // namespace ts
