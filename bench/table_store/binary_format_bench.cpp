// Blob contents travel through the stream as texts: a blob holding any byte
// of 0x80 or more is written as UTF-8 through the code page and read back the
// same way. The materials hold tens of megabytes of such blobs (PDF pages,
// audio), so these measure writing and reading one large blob value, with a
// plain copy of the same bytes through a memory stream as the floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "table_store/binary_format/value_reader.h"
#include "table_store/binary_format/value_writer.h"
#include "table_store/streams.h"

namespace ts {
namespace {

std::string RandomBlob(size_t size, bool ascii) {
  std::string out(size, '\0');
  std::mt19937_64 rng(1234);
  for (size_t i = 0; i < size; i += 8) {
    uint64_t w = rng();
    if (ascii) w &= 0x7F7F7F7F7F7F7F7Full;
    std::memcpy(out.data() + i, &w, std::min<size_t>(8, size - i));
  }
  return out;
}

const std::string& Blob(bool ascii) {
  static const std::string binary = RandomBlob(32u << 20, false);
  static const std::string plain = RandomBlob(32u << 20, true);
  return ascii ? plain : binary;
}

// Takes whatever is written and keeps only the count: measures the writer
// without the cost of growing a memory stream.
class TCountingStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    size_ += count;
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return size_; }
  int64_t Size() const override { return size_; }
  void SetSize(int64_t newSize) override { size_ = newSize; }

 private:
  int64_t size_ = 0;
};

void BM_CopyFloor(benchmark::State& state) {
  const std::string& blob = Blob(false);
  for (auto _ : state) {
    TMemoryStream s;
    s.WriteBuffer(blob.data(), static_cast<int64_t>(blob.size()));
    std::string back(blob.size(), '\0');
    s.SetPosition(0);
    s.ReadBuffer(back.data(), static_cast<int64_t>(back.size()));
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(blob.size()));
}

void BM_WriteBlob(benchmark::State& state) {
  const std::string& blob = Blob(state.range(0) != 0);
  int64_t streamSize = 0;
  for (auto _ : state) {
    TMemoryStream s;
    TWriter w(s);
    w.WriteString(blob);
    w.FlushBuffer();
    streamSize = s.Size();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(blob.size()));
  state.counters["stream_MB"] = static_cast<double>(streamSize) / (1 << 20);
}

void BM_WriteBlobNoStorage(benchmark::State& state) {
  const std::string& blob = Blob(state.range(0) != 0);
  for (auto _ : state) {
    TCountingStream s;
    TWriter w(s);
    w.WriteString(blob);
    w.FlushBuffer();
    benchmark::DoNotOptimize(s.Size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(blob.size()));
}

void BM_ReadBlob(benchmark::State& state) {
  const std::string& blob = Blob(state.range(0) != 0);
  TMemoryStream s;
  {
    TWriter w(s);
    w.WriteString(blob);
    w.FlushBuffer();
  }
  for (auto _ : state) {
    s.SetPosition(0);
    TReader r(s);
    std::string back = r.ReadString();
    if (back.size() != blob.size()) state.SkipWithError("size differs");
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(blob.size()));
}

// 0: random bytes (UTF-8 on the way), 1: plain ASCII (stored as it stands).
BENCHMARK(BM_CopyFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBlob)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBlobNoStorage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBlob)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ts

BENCHMARK_MAIN();
