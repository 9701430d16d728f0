#include "station_tables.h"

#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/field_types.h"

#include <string>

namespace station {
namespace {

// The user's default locale; the tables compare texts in it.
constexpr int kUserDefaultLocale = 1024;

std::unique_ptr<ts::TdvoMemTable> MakeTable(const char *name) {
  auto table = std::make_unique<ts::TdvoMemTable>(name);
  table->SetVersion("3.08");
  table->SetLocaleID(kUserDefaultLocale);
  table->SetAttachMaxCount(1);
  table->SetPersistentBackup(false);
  return table;
}

}  // namespace

std::unique_ptr<ts::TdvoMemTable> MakeComplectsTable() {
  auto t = MakeTable("complects");
  t->AddField<ts::TIntegerField>("subjid");
  t->AddField<ts::TStringField>("subjname", 255);
  t->AddField<ts::TStringField>("ExamDate", 10);
  t->AddField<ts::TIntegerField>("Zone");
  t->AddField<ts::TIntegerField>("VarNo");
  t->AddField<ts::TBlobField>("Intro");
  t->AddField<ts::TBlobField>("TestRTF");
  t->AddField<ts::TIntegerField>("VarCnt");
  t->AddField<ts::TBlobField>("Audio");
  t->AddField<ts::TBlobField>("AudioPrep");
  t->AddField<ts::TBlobField>("VariantText");
  for (int i = 1; i <= 6; ++i) t->AddField<ts::TBlobField>("coords" + std::to_string(i));
  for (int i = 1; i <= 6; ++i) t->AddField<ts::TBlobField>("answer" + std::to_string(i));
  return t;
}

bool HoldsWhatIsRead(ts::TdvoMemTable &complects, const std::vector<MaterialsField> &read) {
  if (complects.RecordCount() == 0) return false;
  for (const MaterialsField &wanted : read) {
    const ts::TField *field = complects.FindField(wanted.name);
    if (field == nullptr || (wanted.blob && !ts::IsBlobFieldType(field->DataType()))) return false;
  }
  return true;
}

std::unique_ptr<ts::TdvoMemTable> MakeAnswersTable(int answerSize) {
  auto t = MakeTable("answers");
  for (int i = 1; i <= 6; ++i) t->AddField<ts::TStringField>("a" + std::to_string(i), answerSize);
  t->AddField<ts::TStringField>("VarNo", 20);
  return t;
}

std::unique_ptr<ts::TdvoBinaryStreamFormat> MakeStationFormat() {
  auto f = std::make_unique<ts::TdvoBinaryStreamFormat>("dvoBinaryStreamFormat1");
  f->sfData = ts::sfSaveData | ts::sfLoadData;
  f->sfDef = ts::sfSaveDef | ts::sfLoadDef;
  f->sfIndexDef = ts::sfSaveIndexDef | ts::sfLoadIndexDef;
  f->sfBlobs = ts::sfSaveBlobs | ts::sfLoadBlobs;
  f->sfNonVisible = ts::sfSaveNonVisible | ts::sfLoadNonVisible;
  f->sfUsingIndex = ts::sfSaveUsingIndex;
  f->sfFiltered = ts::sfSaveFiltered;
  f->sfIgnoreRange = ts::sfSaveIgnoreRange;
  f->sfIgnoreMasterDetail = ts::sfSaveIgnoreMasterDetail;
  f->sfFieldKind = ts::sfSaveFieldKind;
  f->sfFromStart = ts::sfLoadFromStart;
  f->sfCalculated = 0;
  f->sfLookup = 0;
  f->sfDeltas = 0;
  f->sfDontFilterDeltas = 0;
  f->sfAppend = 0;
  f->SetBufferSize(16384);
  return f;
}

void AppendEmptyAnswers(ts::TdvoMemTable &answers) {
  answers.Open();
  answers.Append();
  for (int i = 1; i <= 6; ++i) answers.FieldNamed("a" + std::to_string(i)).SetAsString("");
  answers.Post();
}

}  // namespace station
