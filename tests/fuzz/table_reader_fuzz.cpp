// Fuzz target: the materials container and the table reader behind it. The
// first byte says how the rest is read:
//   bit 0  a materials container (count and zlib stream) rather than a bare
//          table stream;
//   bit 1  into a table with fields of its own that the stream's
//          definitions do not replace;
//   bit 2  with a load limit of two records.
// Every failure must be one of the table store's own exceptions and must
// leave the table released (lock, switches, record override). A table that
// loaded is saved, loaded into a fresh table and saved again: both saves
// must give the same bytes. A crash, a leak, a huge allocation or any other
// exception is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "materials_file.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"
#include "table_store/errors.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckReleased(ts::TdvoMemTable& table, const ts::TdvoCustomStreamFormat& format) {
  Check(!table.Store().Busy());
  Check(table.TablePhase() == ts::kPhaseNormal);
  Check(!table.IgnoreReadOnly());
  Check(!table.NoAutoInc());
  Check(table.EnableIndexes());
  Check(table.OverrideRecord() == nullptr);
  Check(!format.Running());
}

std::string Saved(ts::TdvoMemTable& table) {
  ts::TdvoBinaryStreamFormat format;
  ts::TMemoryStream stream;
  table.SaveStreamWithFormat(stream, &format);
  CheckReleased(table, format);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

// A stream of a megabyte may rightly describe gigabytes of in-line record
// memory (a wide text field, many short records); the load takes it as the
// store that saved it held it. The fuzzer's memory is smaller than that, so
// the harness stops such a load itself.
constexpr int64_t kRecordMemoryCap = int64_t{256} << 20;

void CapRecordMemory(ts::TdvoMemTable& table) {
  table.OnLoadRecord = [&table](ts::TDataSet&, bool&) {
    if (int64_t{table.Store().RecordSize()} * (table.LoadCount() + 1) > kRecordMemoryCap)
      throw ts::EMemTableError("fuzz harness: record memory cap");
  };
}

// Loads `bytes`; false when the load raised one of the store's exceptions.
bool Load(ts::TdvoMemTable& table, ts::TdvoCustomStreamFormat& format, const std::string& bytes) {
  CapRecordMemory(table);
  ts::TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  bool loaded = true;
  try {
    table.LoadStreamWithFormat(stream, &format);
  } catch (const ts::Exception&) {
    loaded = false;
  }
  CheckReleased(table, format);
  return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode & 1) {
    std::string inflated;
    if (station::InflateMaterials(body, inflated) != station::InflateResult::Ok) return 0;
    body.swap(inflated);
  }

  ts::TdvoMemTable table("fuzz");
  ts::TdvoBinaryStreamFormat format;
  if (mode & 2) {
    table.AddField<ts::TIntegerField>("n");
    table.AddField<ts::TStringField>("s", 20);
    table.AddField<ts::TBlobField>("b");
    table.Open();
    format.sfDef = ts::sfSaveDef;
  }
  if (mode & 4) table.SetLoadLimit(2);
  if (!Load(table, format, body) || !table.Active()) return 0;

  // A table that loaded goes on working.
  try {
    table.First();
    table.RecordCount();
  } catch (const ts::Exception&) {
  }
  std::string first;
  try {
    first = Saved(table);
  } catch (const ts::Exception&) {
    return 0;
  }
  ts::TdvoMemTable again("again");
  ts::TdvoBinaryStreamFormat standard;
  // Some saved tables are refused on load by rule (two index definitions
  // that end up with one name); those are no finding.
  if (!Load(again, standard, first)) return 0;
  Check(Saved(again) == first);
  return 0;
}
