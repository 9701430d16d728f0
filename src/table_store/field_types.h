// The field type table: type codes 0..37 with their stream names, which
// types a table can hold, the bytes a value takes in the fixed part of a
// record, which values may live outside the record (out of line), which
// types an index may use; the record-size policy TdvoPerformance; and the
// field kinds with their stream names.
#pragma once

#include <cstdint>
#include <string_view>

namespace ts {

enum TFieldType : uint8_t {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftParadoxOle = 19,
  ftDBaseOle = 20,
  ftTypedBinary = 21,
  ftCursor = 22,
  ftFixedChar = 23,
  ftWideString = 24,
  ftLargeint = 25,
  ftADT = 26,
  ftArray = 27,
  ftReference = 28,
  ftDataSet = 29,
  ftOraBlob = 30,
  ftOraClob = 31,
  ftVariant = 32,
  ftInterface = 33,
  ftIDispatch = 34,
  ftGuid = 35,
  ftTimeStamp = 36,
  ftFMTBcd = 37,
};

inline constexpr int kFieldTypeCount = 38;

// How a store places long values (see IsOutOfLineField).
enum TdvoPerformance : uint8_t { mtpfFast = 0, mtpfBalanced = 1, mtpfSmall = 2 };

// Field kinds, numbered as the stream writes them.
enum TFieldKind : uint8_t {
  fkData = 0,
  fkCalculated = 1,
  fkLookup = 2,
  fkInternalCalc = 3,
  fkAggregate = 4,
};

inline constexpr int kFieldKindCount = 5;

// Bytes of a BCD / FMTBcd value and of an SQL time stamp in a record.
inline constexpr int kBcdSize = 34;
inline constexpr int kTimeStampSize = 16;

// Longest String / Bytes / VarBytes / FixedChar kept in line whatever the
// store's performance setting.
inline constexpr int kMaxInlineSize = 12;

// The type's name as it stands in the stream ("String", "FMTBcdField", ...);
// "" for a code outside 0..37.
std::string_view FieldTypeName(int code);

// The code whose name equals `name` exactly (case counts), or -1.
int FieldTypeFromName(std::string_view name);

// Field kind names "Data", "Calculated", "Lookup", "InternalCalc", "Aggregate";
// "" outside 0..4. FieldKindFromName gives -1 for an unknown name.
std::string_view FieldKindName(int kind);
int FieldKindFromName(std::string_view name);

// A table may hold a column of this type (codes 1-21, 23, 25-27, 30, 31, 36,
// 37); the same set is what a load accepts and a structure copy keeps.
bool IsSupportedFieldType(int code);

// Blob, Memo, Graphic, FmtMemo, ParadoxOle, dBaseOle, TypedBinary, HugeBlob,
// HugeClob (15-21, 30, 31): always out of line, read through blob streams.
bool IsBlobFieldType(int code);

// An index key may use the type (1-11, 14, 23, 25, 26, 27, 36, 37).
bool IsIndexableFieldType(int code);

// String and FixedChar: zero-terminated text in the system's code page.
bool IsTextFieldType(int code);

// Bytes the value takes in the fixed part of a record (the null byte not
// counted); `size` is the field definition's Size (a negative Size counts as
// 0). 0 for unsupported types, ADT, Array and the blob types.
int64_t FieldStorageSize(int code, int64_t size);

// Whether the value lives outside the record: the blob types always; String,
// Bytes, VarBytes and FixedChar longer than 12 unless `performance` is
// mtpfFast; nothing else.
bool IsOutOfLineField(int code, int64_t size, TdvoPerformance performance);

}  // namespace ts
