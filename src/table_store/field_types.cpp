#include "table_store/field_types.h"

#include <array>

namespace ts {

namespace {

constexpr std::array<std::string_view, kFieldTypeCount> kTypeNames = {
    "Unknown",   "String",     "SmallInt",   "Integer",     "Word",     "Boolean",  "Float",
    "Currency",  "BCD",        "Date",       "Time",        "DateTime", "Bytes",    "VarBytes",
    "AutoInc",   "Blob",       "Memo",       "Graphic",     "FmtMemo",  "ParadoxOle",
    "dBaseOle",  "TypedBinary", "Cursor",    "FixedChar",   "WideString", "LargeInt", "ADT",
    "Array",     "Reference",  "DataSet",    "HugeBlob",    "HugeClob", "Variant",  "Interface",
    "Dispatch",  "Guid",       "SQLTimeStamp", "FMTBcdField",
};

constexpr std::array<std::string_view, kFieldKindCount> kKindNames = {
    "Data", "Calculated", "Lookup", "InternalCalc", "Aggregate",
};

bool InRange(int code) { return code >= 0 && code < kFieldTypeCount; }

}  // namespace

std::string_view FieldTypeName(int code) { return InRange(code) ? kTypeNames[code] : std::string_view(); }

int FieldTypeFromName(std::string_view name) {
  for (int i = 0; i < kFieldTypeCount; ++i)
    if (kTypeNames[i] == name) return i;
  return -1;
}

std::string_view FieldKindName(int kind) {
  return kind >= 0 && kind < kFieldKindCount ? kKindNames[kind] : std::string_view();
}

int FieldKindFromName(std::string_view name) {
  for (int i = 0; i < kFieldKindCount; ++i)
    if (kKindNames[i] == name) return i;
  return -1;
}

bool IsSupportedFieldType(int code) {
  if (!InRange(code)) return false;
  switch (code) {
    case ftUnknown:
    case ftCursor:
    case ftWideString:
    case ftReference:
    case ftDataSet:
    case ftVariant:
    case ftInterface:
    case ftIDispatch:
    case ftGuid: return false;
    default: return true;
  }
}

bool IsBlobFieldType(int code) {
  return (code >= ftBlob && code <= ftTypedBinary) || code == ftOraBlob || code == ftOraClob;
}

bool IsIndexableFieldType(int code) {
  return (code >= ftString && code <= ftDateTime) || code == ftAutoInc || code == ftFixedChar ||
         code == ftLargeint || code == ftADT || code == ftArray || code == ftTimeStamp ||
         code == ftFMTBcd;
}

bool IsTextFieldType(int code) { return code == ftString || code == ftFixedChar; }

int64_t FieldStorageSize(int code, int64_t size) {
  if (size < 0) size = 0;
  switch (code) {
    case ftString:
    case ftFixedChar: return size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean: return 2;
    case ftInteger:
    case ftAutoInc: return 4;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftLargeint: return 8;
    case ftBCD:
    case ftFMTBcd: return kBcdSize;
    case ftBytes: return size;
    case ftVarBytes: return size + 2;
    case ftTimeStamp: return kTimeStampSize;
    default: return 0;
  }
}

bool IsOutOfLineField(int code, int64_t size, TdvoPerformance performance) {
  if (IsBlobFieldType(code)) return true;
  switch (code) {
    case ftString:
    case ftBytes:
    case ftVarBytes:
    case ftFixedChar: return size > kMaxInlineSize && performance != mtpfFast;
    default: return false;
  }
}

}  // namespace ts
