// TdvoCustomMemTable: taking field definitions, field objects and field
// settings over from another dataset.
#include <algorithm>
#include <memory>

#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"

namespace ts {

namespace {

TFieldType CopiedType(TFieldType type) { return type == ftWideString || type == ftGuid ? ftString : type; }

void CopyFieldDef(const TFieldDef& from, TFieldDefs& into) {
  TFieldDef& def = into.Add(from.Name(), CopiedType(from.DataType()), from.Size(), from.Required());
  def.SetPrecision(from.Precision());
  def.SetInternalCalcField(from.InternalCalcField());
  for (int i = 0; i < from.ChildDefs().Count(); ++i) CopyFieldDef(from.ChildDefs()[i], def.ChildDefs());
}

// The source keeps field objects of its own rather than making them from
// its definitions when it opens.
bool HasPersistentFields(const TDataSet& source) {
  return source.FieldCount() > 0 && !(source.Active() && source.DefaultFields());
}

}  // namespace

void TdvoCustomMemTable::CopyFieldSettings(TField* fromField, TField* toField) {
  if (fromField == nullptr || toField == nullptr || fromField == toField) return;
  toField->SetEditMask(fromField->EditMask());
  toField->SetDisplayWidth(fromField->DisplayWidth());
  // A label that only repeats the field's name is no label of its own.
  toField->SetDisplayLabel(fromField->DisplayLabel() == fromField->FieldName() ? std::string()
                                                                                : fromField->DisplayLabel());
  toField->SetRequired(fromField->Required());
  toField->SetReadOnly(fromField->ReadOnly());
  toField->SetVisible(fromField->Visible());
  toField->SetDefaultExpression(fromField->DefaultExpression());
  if (OnSetupFieldProperties) OnSetupFieldProperties(*this, *toField);
}

void TdvoCustomMemTable::CopyFieldSettingsFrom(TDataSet* source, TDataSet* target) {
  if (source == nullptr || target == nullptr) return;
  for (TField* field : target->FieldList())
    CopyFieldSettings(source->FindField(field->ParentField() ? field->FullName() : field->FieldName()), field);
}

void TdvoCustomMemTable::CopyStructureFrom(TDataSet* source, TdvoCopyOptions options) {
  if (store_->AnyAttachedTableActive()) {
    store_->RefuseInsideLevel();
    Close();
    store_->CloseOtherAttachedTables(this);
  }
  if (source == nullptr) return;
  if (auto* table = dynamic_cast<TdvoCustomMemTable*>(source); table != nullptr && !table->Active())
    if (table->FieldCount() > 0) table->FieldDefsFromFields();
  const TFieldDefs& sourceDefs = source->FieldDefs();
  if (sourceDefs.Count() > kMaxFields) throw EMemTableError(msg::kTooManyFieldDefs);

  TFieldDefs& defs = FieldDefs();
  defs.Clear();
  for (int i = 0; i < sourceDefs.Count(); ++i) CopyFieldDef(sourceDefs[i], defs);
  for (int i = defs.Count() - 1; i >= 0; --i) {
    const bool supported = IsSupportedFieldType(defs[i].DataType());
    const bool hasObject = !(options & cfFieldObjectsOnly) || source->FindField(defs[i].Name()) != nullptr;
    if (!supported || !hasObject) defs.Delete(i);
  }

  auto cloned = [options](const TField& from) {
    return (from.FieldKind() == fkLookup && (options & cfLookupFields)) ||
           (from.FieldKind() == fkCalculated && (options & cfCalcFields));
  };
  bool clones = false;
  for (int i = 0; i < source->FieldCount(); ++i) clones = clones || cloned(source->Field(i));
  DestroyFields();
  // Cloned fields make the table's fields persistent: the data fields must
  // then exist as objects too, or the table would open without them.
  if (HasPersistentFields(*source) || clones)
    for (int i = 0; i < defs.Count(); ++i) CreateFieldFromDef(defs[i]);
  for (int i = 0; i < source->FieldCount(); ++i) {
    const TField& from = source->Field(i);
    if (!cloned(from) || FindField(from.FieldName()) != nullptr) continue;
    TField* field = CloneField(from);
    if (field != nullptr && (options & cfKeepOrder)) SetFieldIndex(*field, std::min(i, FieldCount() - 1));
  }
  if (options & cfSettings) CopyFieldSettingsFrom(source, this);
  ResetAutoIncCounter();
}

TField* TdvoCustomMemTable::CloneField(const TField& source) {
  const TFieldType type = CopiedType(source.DataType());
  if (!IsSupportedFieldType(type)) return nullptr;
  TField* field = nullptr;
  const TFieldDef* def = FieldDefs().Find(source.FieldName());
  if (def != nullptr && def->HasChildDefs() && def->DataType() == type) {
    // An ADT or Array takes its children from the definition.
    field = &CreateFieldFromDef(*def);
  } else {
    std::unique_ptr<TField> made = CreateFieldForType(type, source.Size());
    if (!made) return nullptr;
    made->SetFieldName(source.FieldName());
    field = &AddField(std::move(made));
  }
  field->SetFieldKind(source.FieldKind());
  return field;
}

}  // namespace ts
