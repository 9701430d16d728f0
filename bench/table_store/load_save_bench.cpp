// Loading and saving whole tables through the binary stream format.
//
// Materials: a 100 MB body of three variants, each with a PDF and twice as
// much audio of random bytes (so about half the bytes travel as two- or
// three-byte UTF-8), written into a materials container and loaded back from
// it. The load, alone and after the inflating, is set beside zlib's own
// inflate of the same container into a buffer already made and touched; the
// table saved again after each load must give the body zlib gives.
//
// Answers: 1,000,000 records of the answers table (a1 to a6 and VarNo),
// saved and loaded back. Saves are measured into a stream that only counts,
// so that growing a memory stream does not hide the format's own cost.
#include <benchmark/benchmark.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/fair_pair.h"
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

// What a body holds, for comparing the two sides of a pair.
std::string BodySummary(const void* bytes, size_t size) {
  uLong crc = crc32(0L, Z_NULL, 0);
  for (size_t at = 0; at < size;) {
    const uInt chunk = static_cast<uInt>(std::min<size_t>(size - at, 1u << 30));
    crc = crc32(crc, static_cast<const Bytef*>(bytes) + at, chunk);
    at += chunk;
  }
  char text[64];
  std::snprintf(text, sizeof text, "body %zu bytes, crc32 %08lx", size, static_cast<unsigned long>(crc));
  return text;
}

// A loaded table saved again gives the body it came from.
std::string TableSummary(TdvoMemTable& t) {
  TdvoBinaryStreamFormat format;
  TMemoryStream stream;
  t.SaveStreamWithFormat(stream, &format);
  return BodySummary(stream.Memory(), static_cast<size_t>(stream.Size()));
}

// The peer of every materials load: zlib's own inflate of the container's
// body in one call, into a buffer made and touched beforehand and kept.
bench_fair::Side InflateIntoTouchedBuffer() {
  const std::string& container = MaterialsContainer();
  uint32_t count = 0;
  for (int i = 0; i < 4; ++i) count |= static_cast<uint32_t>(static_cast<unsigned char>(container[i])) << (8 * i);
  auto buffer = std::make_shared<std::vector<Bytef>>(count, Bytef(1));
  auto produced = std::make_shared<uLongf>(0);
  bench_fair::Side peer;
  peer.run = [&container, buffer, produced] {
    *produced = buffer->size();
    if (uncompress(buffer->data(), produced.get(), reinterpret_cast<const Bytef*>(container.data()) + 4,
                   static_cast<uLong>(container.size() - 4)) != Z_OK)
      throw std::runtime_error("zlib could not inflate the container");
  };
  peer.result = [buffer, produced] { return BodySummary(buffer->data(), *produced); };
  return peer;
}

// Our side of a materials load: the table is made empty before and freed
// after each run, untimed.
struct TLoadedMaterials {
  std::unique_ptr<TdvoMemTable> table;
  void Make() {
    table = std::make_unique<TdvoMemTable>("complects");
    DeclareMaterials(*table);
  }
  void Load(TStream& stream) {
    TdvoBinaryStreamFormat format;
    table->LoadStreamWithFormat(stream, &format);
    if (table->RecordCount() != 3) throw std::runtime_error("the materials lost records");
  }
};

// The load alone, from the inflated body in memory.
bench_fair::Pair MaterialsLoad() {
  auto body = std::make_shared<TMemoryStream>();
  {
    std::string bytes;
    if (station::InflateMaterials(MaterialsContainer(), bytes) != station::InflateResult::Ok)
      throw std::runtime_error("inflate");
    body->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  auto ours = std::make_shared<TLoadedMaterials>();
  bench_fair::Pair pair;
  pair.peerName = "zlib uncompress into a touched buffer";
  pair.ours.setUp = [ours, body] {
    ours->Make();
    body->SetPosition(0);
  };
  pair.ours.run = [ours, body] { ours->Load(*body); };
  pair.ours.result = [ours] { return TableSummary(*ours->table); };
  pair.ours.tearDown = [ours] { ours->table.reset(); };
  pair.peer = InflateIntoTouchedBuffer();
  return pair;
}

// Inflating and loading, as a station does at start-up (there through a
// temporary file).
bench_fair::Pair MaterialsInflateAndLoad() {
  auto ours = std::make_shared<TLoadedMaterials>();
  bench_fair::Pair pair;
  pair.peerName = "zlib uncompress into a touched buffer";
  pair.ours.setUp = [ours] { ours->Make(); };
  pair.ours.run = [ours] {
    std::string body;
    if (station::InflateMaterials(MaterialsContainer(), body) != station::InflateResult::Ok)
      throw std::runtime_error("inflate");
    TMemoryStream stream;
    stream.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
    body.clear();
    body.shrink_to_fit();
    stream.SetPosition(0);
    ours->Load(stream);
  };
  pair.ours.result = [ours] { return TableSummary(*ours->table); };
  pair.ours.tearDown = [ours] { ours->table.reset(); };
  pair.peer = InflateIntoTouchedBuffer();
  return pair;
}

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
  bench_fair::Register("Materials/Load", ts::MaterialsLoad);
  bench_fair::Register("Materials/InflateAndLoad", ts::MaterialsInflateAndLoad);
  return bench_fair::Main(argc, argv);
}
