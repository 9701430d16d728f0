// Small enumerations and errors shared by the dataset, its fields and the
// table: dataset states, fetch modes and results, bookmark flags, data
// events, error actions, blob stream modes, and the two errors of the field
// layer that are not the table store's own (EConvertError for text that is
// not a number or date, EAbort for a silently abandoned operation).
#pragma once

#include <cstdint>

#include "table_store/errors.h"

namespace ts {

// Numbered as the dataset framework numbers them.
enum TDataSetState : uint8_t {
  dsInactive = 0,
  dsBrowse = 1,
  dsEdit = 2,
  dsInsert = 3,
  dsSetKey = 4,
  dsCalcFields = 5,
  dsFilter = 6,
  dsNewValue = 7,
  dsOldValue = 8,
  dsCurValue = 9,
  dsBlockRead = 10,
  dsInternalCalc = 11,
  dsOpening = 12,
};

enum class TGetMode { Current, Next, Prior };
enum class TGetResult { OK, BOF, EOF_, Error };

// The flag byte of a record buffer's bookmark cell.
enum TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

enum class TDataEvent { FieldChange, RecordChange, DataSetChange, DataSetScroll, UpdateState };

// What an OnPostError / OnEditError / OnDeleteError handler asks for.
enum class TDataAction { Fail, Abort, Retry };

// Filter options, one bit each.
using TFilterOptions = uint8_t;
inline constexpr TFilterOptions foCaseInsensitive = 1;
inline constexpr TFilterOptions foNoPartialCompare = 2;

enum class TBlobStreamMode : uint8_t { Read = 0, Write = 1, ReadWrite = 2 };

class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EConvertError"; }
};

// Ends an operation without an error worth showing (an error handler chose
// to abort).
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  const char* ClassName() const noexcept override { return "EAbort"; }
};

}  // namespace ts
