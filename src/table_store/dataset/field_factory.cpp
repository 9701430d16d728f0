// The field class of each type a table may hold.
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/datetime_fields.h"
#include "table_store/dataset/field.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/object_fields.h"
#include "table_store/dataset/text_fields.h"

namespace ts {

std::unique_ptr<TField> CreateFieldForType(TFieldType type, int32_t size) {
  switch (type) {
    case ftString: return std::make_unique<TStringField>(size);
    case ftFixedChar: return std::make_unique<TFixedCharField>(size);
    case ftSmallint: return std::make_unique<TSmallintField>();
    case ftInteger: return std::make_unique<TIntegerField>();
    case ftWord: return std::make_unique<TWordField>();
    case ftAutoInc: return std::make_unique<TAutoIncField>();
    case ftLargeint: return std::make_unique<TLargeintField>();
    case ftBoolean: return std::make_unique<TBooleanField>();
    case ftFloat: return std::make_unique<TFloatField>();
    case ftCurrency: return std::make_unique<TCurrencyField>();
    case ftBCD: return std::make_unique<TBCDField>(size);
    case ftFMTBcd: return std::make_unique<TFMTBCDField>(size);
    case ftDate: return std::make_unique<TDateField>();
    case ftTime: return std::make_unique<TTimeField>();
    case ftDateTime: return std::make_unique<TDateTimeField>();
    case ftTimeStamp: return std::make_unique<TSQLTimeStampField>();
    case ftBytes: return std::make_unique<TBytesField>(size);
    case ftVarBytes: return std::make_unique<TVarBytesField>(size);
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob: return std::make_unique<TMemoField>(type, size);
    case ftGraphic: return std::make_unique<TGraphicField>(size);
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob: return std::make_unique<TBlobField>(type, size);
    case ftADT: return std::make_unique<TADTField>();
    case ftArray: return std::make_unique<TArrayField>(size);
    default: return nullptr;
  }
}

}  // namespace ts
