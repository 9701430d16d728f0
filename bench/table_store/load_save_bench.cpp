// Loading and saving whole tables through the binary stream format.
//
// Materials: a 100 MB body of three variants, each with a PDF and twice as
// much audio of random bytes (so about half the bytes travel as two- or
// three-byte UTF-8), written into a materials container and loaded back from
// it; the load is set beside zlib alone inflating the same container, and
// the ratio of their medians is printed at the end.
//
// Answers: 1,000,000 records of the answers table (a1 to a6 and VarNo),
// saved and loaded back. Saves are measured into a stream that only counts,
// so that growing a memory stream does not hide the format's own cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "common/ratio_report.h"
#include "materials_file.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

namespace ts {
namespace {

std::string RandomBytes(size_t size, uint64_t seed) {
  std::string out(size, '\0');
  std::mt19937_64 rng(seed);
  for (size_t i = 0; i < size; i += 8) {
    const uint64_t w = rng();
    std::memcpy(out.data() + i, &w, std::min<size_t>(8, size - i));
  }
  return out;
}

void DeclareMaterials(TdvoMemTable& t) {
  t.AddField<TIntegerField>("subjid");
  t.AddField<TStringField>("subjname", 255);
  t.AddField<TIntegerField>("VarNo");
  t.AddField<TBlobField>("VariantText");
  t.AddField<TBlobField>("Audio");
  t.AddField<TBlobField>("answer1");
}

// Random bytes of 0x80 and above travel as UTF-8 of two or three bytes: the
// body is about 1.57 times the media it holds.
constexpr size_t kVariantMedia = static_cast<size_t>((100 << 20) / 3 / 1.57);

TdvoMemTable& Materials() {
  static TdvoMemTable* table = [] {
    auto* t = new TdvoMemTable("complects");
    DeclareMaterials(*t);
    t->Open();
    for (int v = 0; v < 3; ++v)
      t->AppendRecord({TValue::Integer(5), TValue::String("\xC0\xED\xE3\xEB\xE8\xE9\xF1\xEA\xE8\xE9"),
                       TValue::Integer(v), TValue::String(RandomBytes(kVariantMedia / 3, 10 + v)),
                       TValue::String(RandomBytes(kVariantMedia - kVariantMedia / 3, 20 + v)), TValue::String("one\r\ntwo\r\n")});
    return t;
  }();
  return *table;
}

std::string SaveToBytes(TdvoMemTable& t) {
  TdvoBinaryStreamFormat format;
  TMemoryStream stream;
  t.SaveStreamWithFormat(stream, &format);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

// Keeps only the count of what is written: the save measured without the
// cost of growing a memory stream.
class TCountingStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    position_ += count;
    size_ = std::max(size_, position_);
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    position_ = (origin == TSeekOrigin::Beginning ? 0 : origin == TSeekOrigin::Current ? position_ : size_) + offset;
    return position_;
  }
  int64_t Size() const override { return size_; }
  void SetSize(int64_t newSize) override { size_ = newSize; }

 private:
  int64_t size_ = 0;
  int64_t position_ = 0;
};

int64_t SavedSize(TdvoMemTable& t) {
  TdvoBinaryStreamFormat format;
  TCountingStream stream;
  t.SaveStreamWithFormat(stream, &format);
  return stream.Size();
}

const std::string& MaterialsContainer() {
  static const std::string container = station::PackMaterials(SaveToBytes(Materials()));
  return container;
}

void BM_MaterialsSave(benchmark::State& state) {
  TdvoMemTable& t = Materials();
  int64_t bytes = 0;
  for (auto _ : state) bytes = SavedSize(t);
  state.counters["body_MB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_MaterialsSave)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MaterialsSaveAndPack(benchmark::State& state) {
  TdvoMemTable& t = Materials();
  int64_t bytes = 0;
  for (auto _ : state) {
    const std::string container = station::PackMaterials(SaveToBytes(t));
    bytes = static_cast<int64_t>(container.size());
    benchmark::DoNotOptimize(container.data());
  }
  state.counters["file_MB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_MaterialsSaveAndPack)->Unit(benchmark::kMillisecond)->Iterations(2);

// The floor: zlib alone inflating the container's body.
void BM_MaterialsInflateAlone(benchmark::State& state) {
  const std::string& container = MaterialsContainer();
  for (auto _ : state) {
    std::string body;
    if (station::InflateMaterials(container, body) != station::InflateResult::Ok) state.SkipWithError("inflate");
    benchmark::DoNotOptimize(body.data());
  }
  state.counters["file_MB"] = static_cast<double>(container.size()) / (1 << 20);
}
BENCHMARK(BM_MaterialsInflateAlone)->Unit(benchmark::kMillisecond)->Iterations(3);

// Inflating and loading, as a station does at start-up (there through a
// temporary file).
void BM_MaterialsInflateAndLoad(benchmark::State& state) {
  const std::string& container = MaterialsContainer();
  for (auto _ : state) {
    std::string body;
    if (station::InflateMaterials(container, body) != station::InflateResult::Ok) state.SkipWithError("inflate");
    TMemoryStream stream;
    stream.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
    body.clear();
    body.shrink_to_fit();
    TdvoMemTable t("complects");
    DeclareMaterials(t);
    TdvoBinaryStreamFormat format;
    t.LoadStreamWithFormat(stream, &format);
    if (t.RecordCount() != 3) state.SkipWithError("records");
  }
}
BENCHMARK(BM_MaterialsInflateAndLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

// The load alone, from the inflated body in memory.
void BM_MaterialsLoad(benchmark::State& state) {
  std::string body;
  station::InflateMaterials(MaterialsContainer(), body);
  TMemoryStream stream;
  stream.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
  for (auto _ : state) {
    TdvoMemTable t("complects");
    DeclareMaterials(t);
    TdvoBinaryStreamFormat format;
    t.LoadStreamWithFormat(stream, &format);
    if (t.RecordCount() != 3) state.SkipWithError("records");
  }
  state.counters["body_MB"] = static_cast<double>(body.size()) / (1 << 20);
}
BENCHMARK(BM_MaterialsLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

constexpr int kAnswerRecords = 1000000;

void DeclareAnswers(TdvoMemTable& t) {
  for (int i = 1; i <= 6; ++i) t.AddField<TStringField>("a" + std::to_string(i), 20);
  t.AddField<TStringField>("VarNo", 20);
}

TdvoMemTable& Answers() {
  static TdvoMemTable* table = [] {
    auto* t = new TdvoMemTable("answers");
    DeclareAnswers(*t);
    t->Open();
    std::mt19937 rng(7);
    for (int r = 0; r < kAnswerRecords; ++r) {
      std::vector<TValue> values;
      values.push_back(TValue::String(std::to_string(10000 + rng() % 90000)));
      values.push_back(TValue::String(std::to_string(rng() % 1000)));
      values.push_back(TValue::String("go=went=\xF1\xEB\xEE\xE2\xEE"));
      values.push_back(TValue::String(std::to_string(rng() % 100000)));
      values.push_back(TValue::Null());
      values.push_back(TValue::String(""));
      values.push_back(TValue::String(std::to_string(rng() % 6)));
      t->AppendRecord(values);
    }
    return t;
  }();
  return *table;
}

void BM_AnswersSave(benchmark::State& state) {
  TdvoMemTable& t = Answers();
  int64_t bytes = 0;
  for (auto _ : state) bytes = SavedSize(t);
  state.counters["body_MB"] = static_cast<double>(bytes) / (1 << 20);
  state.counters["records"] = kAnswerRecords;
}
BENCHMARK(BM_AnswersSave)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AnswersLoad(benchmark::State& state) {
  const std::string body = SaveToBytes(Answers());
  TMemoryStream stream;
  stream.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
  for (auto _ : state) {
    TdvoMemTable t("answers");
    DeclareAnswers(t);
    TdvoBinaryStreamFormat format;
    t.LoadStreamWithFormat(stream, &format);
    if (t.RecordCount() != kAnswerRecords) state.SkipWithError("records");
  }
  state.counters["records"] = kAnswerRecords;
}
BENCHMARK(BM_AnswersLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace ts

int main(int argc, char** argv) {
  return bench_ratio::RunAndPrintRatios(argc, argv,
                                        {{"BM_MaterialsLoad", "BM_MaterialsInflateAlone"},
                                         {"BM_MaterialsInflateAndLoad", "BM_MaterialsInflateAlone"}});
}
