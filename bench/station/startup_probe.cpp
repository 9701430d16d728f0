// One start-up in a process of its own, for the start-up benchmark:
//
//   station_startup_probe startup DIR   the grade-11 start-up in DIR up to the
//                                       first screen (scripted audio devices)
//   station_startup_probe inflate DIR   only the inflating of the materials
//                                       file into the temporary body
//   station_startup_probe make DIR      writes a materials file of three
//                                       variants whose body is 100 MB, and
//                                       prints the body's size
//
// Prints the monotonic clock in nanoseconds when the work is done, so that
// the caller measures from before it started the process, the peak
// memory in kB up to then and the processor time in nanoseconds up to then;
// then, measured no more, what the work produced: the size and checksum of the body that was
// inflated, or that the loaded table gives when saved again.
#include "edition_settings.h"
#include "frame.h"
#include "main_window.h"
#include "materials_file.h"
#include "message_service.h"
#include "qt_station_loop.h"
#include "station_tables.h"

#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/streams.h"
#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/mem_table.h"

#include "platform/audio/audio_seam.h"

#include <QApplication>

#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string>

namespace {

// Bytes like the materials' media: already compressed, so random.
std::string Media(std::size_t size, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; i += 8) {
    const std::uint64_t w = rng();
    std::memcpy(out.data() + i, &w, std::min<std::size_t>(8, size - i));
  }
  return out;
}

void PutBlob(ts::TdvoMemTable &t, const char *field, const std::string &bytes) {
  auto s = t.OpenBlobStream(t.FieldNamed(field), ts::TBlobStreamMode::Write);
  s->WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
}

// Three variants, each with `media` bytes of audio and pages.
std::string MaterialsBody(std::size_t media) {
  auto table = station::MakeComplectsTable();
  table->Open();
  for (int v = 0; v < 3; ++v) {
    table->Append();
    table->FieldNamed("subjid").SetAsInteger(5);
    table->FieldNamed("VarNo").SetAsInteger((v + 1) % 3);
    table->FieldNamed("Zone").SetAsInteger(1);
    table->FieldNamed("ExamDate").SetAsString("2020-06-01");
    PutBlob(*table, "Audio", Media(media * 7 / 10, 10 + v));
    PutBlob(*table, "AudioPrep", Media(media / 10, 20 + v));
    PutBlob(*table, "VariantText", Media(media / 5, 30 + v));
    PutBlob(*table, "coords1", "0 94 240\r\n30 94 240\r\n");
    table->Post();
  }
  auto format = station::MakeStationFormat();
  ts::TMemoryStream stream;
  table->SaveStreamWithFormat(stream, format.get());
  return std::string(reinterpret_cast<const char *>(stream.Memory()), std::size_t(stream.Size()));
}

// Keeps only the size and checksum of what is written in one pass, so that
// checking a loaded table adds nothing to the process's peak memory.
class ChecksumStream : public ts::TStream {
 public:
  std::int64_t Read(void *, std::int64_t) override { return 0; }
  std::int64_t Write(const void *buffer, std::int64_t count) override {
    for (std::int64_t at = 0; at < count;) {
      const uInt chunk = uInt(std::min<std::int64_t>(count - at, 1 << 30));
      crc_ = crc32(crc_, static_cast<const Bytef *>(buffer) + at, chunk);
      at += chunk;
    }
    size_ += count;
    return count;
  }
  std::int64_t Seek(std::int64_t offset, ts::TSeekOrigin origin) override {
    const std::int64_t to = (origin == ts::TSeekOrigin::Current || origin == ts::TSeekOrigin::End) ? size_ + offset
                                                                                                    : offset;
    if (to != size_) throw std::logic_error("the checksum is taken in one pass");
    return size_;
  }
  std::int64_t Size() const override { return size_; }
  void SetSize(std::int64_t n) override {
    if (n != size_) throw std::logic_error("the checksum is taken in one pass");
  }
  std::string Summary() const {
    char text[64];
    std::snprintf(text, sizeof text, "body %lld bytes, crc32 %08lx", static_cast<long long>(size_),
                  static_cast<unsigned long>(crc_));
    return text;
  }

 private:
  uLong crc_ = crc32(0L, Z_NULL, 0);
  std::int64_t size_ = 0;
};

long PeakKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Processor time of this process so far (every thread), in nanoseconds.
long long ProcessorNs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return (long long)t.tv_sec * 1000000000ll + t.tv_nsec;
}

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The first screen: says when it starts.
class FirstScreen : public station::TFrame {
 public:
  using TFrame::TFrame;
  void Start(std::optional<int>) override {
    started_at = NowNs();
    processor_ns = ProcessorNs();
  }
  static inline long long started_at = 0;
  static inline long long processor_ns = 0;
};

// Answers every box at once; a box here means the start-up failed.
class FailingMessages : public station::MessageService {
 public:
  station::BoxAnswer Show(const station::BoxRequest &r) override {
    std::fprintf(stderr, "box: %s\n", r.text.toUtf8().constData());
    failed = true;
    return station::BoxAnswer::Ok;
  }
  bool failed = false;
};

int StartUp(int argc, char **argv) {
  QApplication app(argc, argv);
  station::EditionSettings settings = station::Grade11Settings();
  settings.screens[1] = {[](station::TfrmMain &m) { return std::make_unique<FirstScreen>(m); }, std::nullopt};
  klt::audio::seam::UseScriptedDevices({});
  station::QtStationLoop loop;
  FailingMessages boxes;
  station::TfrmMain window(settings, station::StationServices{loop, boxes});
  if (!window.FormCreate() || boxes.failed || FirstScreen::started_at == 0) return 1;
  const long peak = PeakKb();
  ChecksumStream saved;
  window.complects->SaveStreamWithFormat(saved, window.dvoBinaryStreamFormat1.get());
  std::printf("%lld %ld %lld %s\n", FirstScreen::started_at, peak, FirstScreen::processor_ns, saved.Summary().c_str());
  std::fflush(stdout);
  // Leaving without tearing down: the measurement has ended.
  _exit(0);
}

int InflateOnly() {
  std::FILE *in = std::fopen("klt-re11.kim", "rb");
  std::FILE *out = std::fopen("kim.tmp", "wb");
  if (!in || !out) return 1;
  const station::InflateResult r = station::InflateMaterials(in, out);
  std::fclose(in);
  if (std::fclose(out) != 0 || r != station::InflateResult::Ok) return 1;
  const long long done = NowNs();
  const long long processor = ProcessorNs();
  const long peak = PeakKb();
  ChecksumStream body;
  std::FILE *written = std::fopen("kim.tmp", "rb");
  if (!written) return 1;
  static char buffer[1 << 20];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, written)) > 0;) body.Write(buffer, std::int64_t(n));
  std::fclose(written);
  std::remove("kim.tmp");
  std::printf("%lld %ld %lld %s\n", done, peak, processor, body.Summary().c_str());
  return 0;
}

int Make() {
  constexpr std::int64_t kBodyBytes = 100ll << 20;
  // Random bytes of 0x80 and above travel as UTF-8 of two or three bytes:
  // the stream is about 1.57 times the media it holds.
  const std::string body = MaterialsBody(std::size_t(double(kBodyBytes) / 3 / 1.57));
  const std::string container = station::PackMaterials(body);
  std::FILE *f = std::fopen("klt-re11.kim", "wb");
  if (!f || std::fwrite(container.data(), 1, container.size(), f) != container.size() || std::fclose(f) != 0)
    return 1;
  std::printf("%zu\n", body.size());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3 || chdir(argv[2]) != 0) {
    std::fputs("usage: station_startup_probe startup|inflate|make DIR\n", stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "inflate") == 0) return InflateOnly();
  if (std::strcmp(argv[1], "make") == 0) return Make();
  if (std::strcmp(argv[1], "startup") == 0) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return StartUp(argc, argv);
  }
  return 2;
}
