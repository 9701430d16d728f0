// Kills saves at random moments and checks what they leave behind.
//
//   save_kill [--kills N] [--mode plain|persistent|both] [--seed S]
//
// A child process saves a table of a few megabytes over and over, each
// time as a new generation (every record carries the generation, and its
// blob bytes follow from generation and record); the parent kills it with
// SIGKILL after a random delay, then checks the folder:
//   - once a save has finished, the target exists and loads as one complete
//     generation, never older than the one found after the previous kill;
//   - with the persistent save, a backup that exists is complete as well;
//   - no temporary file older than the target (the last finished save) is
//     left: what a killed save left must go with the next save.
// The plain road is SaveFileWithFormat; the persistent road is a table with
// Persistent and PersistentBackup that opens and closes in a loop.
// Exit status 0 when every kill passed, 1 otherwise; counts on stdout.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/errors.h"

namespace {

namespace fs = std::filesystem;
using namespace ts;

constexpr int kRecords = 40;
constexpr size_t kBlobBytes = 64 * 1024;

std::string BlobOf(int generation, int record) {
  std::minstd_rand random(static_cast<unsigned>(generation * 1000 + record + 1));
  std::string bytes(kBlobBytes, ' ');
  for (char& c : bytes) c = static_cast<char>('a' + random() % 26);
  return bytes;
}

void AddFields(TdvoMemTable& t) {
  t.AddField<TIntegerField>("generation");
  t.AddField<TIntegerField>("record");
  t.AddField<TBlobField>("data");
}

// Makes the open table hold `generation`.
void Fill(TdvoMemTable& t, int generation) {
  if (t.RecordCount() == 0)
    for (int i = 0; i < kRecords; ++i) t.AppendRecord({TValue::Integer(0), TValue::Integer(i), TValue::Null()});
  int i = 0;
  for (t.First(); !t.Eof(); t.Next(), ++i) {
    t.Edit();
    t.FieldNamed("generation").SetAsInteger(generation);
    t.FieldNamed("data").SetAsString(BlobOf(generation, i));
    t.Post();
  }
}

// The generation the file holds; -1 when it is not one complete generation.
int GenerationIn(const std::string& file) {
  try {
    TdvoMemTable t;
    TdvoBinaryStreamFormat format;
    t.LoadFileWithFormat(file, &format);
    if (t.RecordCount() != kRecords) return -1;
    int generation = -1;
    int i = 0;
    for (t.First(); !t.Eof(); t.Next(), ++i) {
      const int g = t.FieldNamed("generation").AsInteger();
      if (i == 0) generation = g;
      if (g != generation || t.FieldNamed("record").AsInteger() != i ||
          t.FieldNamed("data").AsString() != BlobOf(g, i))
        return -1;
    }
    return generation;
  } catch (const Exception&) {
    return -1;
  }
}

[[noreturn]] void SavePlainForever(const std::string& target) {
  TdvoMemTable t;
  AddFields(t);
  t.Open();
  TdvoBinaryStreamFormat format;
  int generation = fs::exists(target) ? GenerationIn(target) : 0;
  for (;;) {
    Fill(t, ++generation);
    t.SaveFileWithFormat(target, &format);
  }
}

[[noreturn]] void SavePersistentForever(const std::string& target) {
  TdvoMemTable t;
  AddFields(t);
  TdvoBinaryStreamFormat format;
  t.SetPersistentFormat(&format);
  t.SetPersistentFile(target);
  t.SetPersistentBackup(true);
  t.SetPersistentBackupExt(".bak");
  t.SetPersistent(true);
  for (;;) {
    t.Open();
    const int generation = t.RecordCount() > 0 ? t.FieldNamed("generation").AsInteger() : 0;
    Fill(t, generation + 1);
    t.Close();
  }
}

[[noreturn]] void SaveForever(bool persistent, const std::string& target) {
  try {
    if (persistent) SavePersistentForever(target);
    SavePlainForever(target);
  } catch (const Exception& error) {
    std::fprintf(stderr, "save_kill: the saving child failed: %s\n", error.Message().c_str());
  }
  ::_exit(3);
}

std::chrono::nanoseconds ModifiedAt(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
}

struct TCounts {
  int kills = 0;
  int newer = 0;      // the target holds a later generation than before
  int same = 0;       // the target holds the generation found before
  int noneYet = 0;    // no save had finished yet
  int tempsLeft = 0;  // temporary files of the killed save, younger than the target
  int failures = 0;
};

bool Fail(TCounts& counts, int kill, const std::string& what) {
  std::printf("kill %d: %s\n", kill, what.c_str());
  ++counts.failures;
  return false;
}

// How long a child takes to finish its first save, and each save after it,
// so that kills land anywhere in both.
struct TTimes {
  std::chrono::microseconds first{}, each{};
};

TTimes TimeSaves(bool persistent, const fs::path& target) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) SaveForever(persistent, target.string());
  std::chrono::steady_clock::time_point changed[2];
  auto before = ModifiedAt(target);
  for (auto& at : changed) {
    while (ModifiedAt(target) == before && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    at = std::chrono::steady_clock::now();
    before = ModifiedAt(target);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  using std::chrono::duration_cast;
  using std::chrono::microseconds;
  return {duration_cast<microseconds>(changed[0] - start), duration_cast<microseconds>(changed[1] - changed[0])};
}

TCounts Run(bool persistent, int kills, std::mt19937& random) {
  TCounts counts;
  const fs::path folder =
      fs::temp_directory_path() / ("save_kill_" + std::to_string(::getpid()) + (persistent ? "_p" : "_s"));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path target = folder / "table.dat";
  const fs::path backup = folder / "table.bak";
  const TTimes times = TimeSaves(persistent, target);
  std::uniform_int_distribution<long> delay(0, std::max<long>(times.first.count() + 3 * times.each.count(), 2000));
  int lastGeneration = GenerationIn(target.string());
  if (lastGeneration < 0) {
    Fail(counts, 0, "the first saves left no complete table");
    lastGeneration = 0;
  }
  for (int kill = 1; kill <= kills; ++kill) {
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0) {
      Fail(counts, kill, "cannot start the saving child");
      break;
    }
    if (child == 0) SaveForever(persistent, target.string());
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ++counts.kills;
    if (!WIFSIGNALED(status)) {
      Fail(counts, kill, "the saving child ended by itself");
      continue;
    }
    if (!fs::exists(target)) {
      if (lastGeneration == 0)
        ++counts.noneYet;
      else
        Fail(counts, kill, "the target is gone");
      continue;
    }
    const int generation = GenerationIn(target.string());
    if (generation < 0) {
      Fail(counts, kill, "the target is not one complete table");
      continue;
    }
    if (generation < lastGeneration) {
      Fail(counts, kill, "the target went back to an older table");
      continue;
    }
    (generation > lastGeneration ? counts.newer : counts.same)++;
    lastGeneration = generation;
    if (persistent && fs::exists(backup)) {
      const int kept = GenerationIn(backup.string());
      if (kept < 0 || kept > generation) Fail(counts, kill, "the backup is not a complete older table");
    }
    const auto savedAt = ModifiedAt(target);
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.size() < 4 || name.compare(name.size() - 4, 4, ".tmp") != 0) continue;
      if (ModifiedAt(entry.path()) < savedAt)
        Fail(counts, kill, "a temporary file older than the last save is left: " + name);
      else
        ++counts.tempsLeft;
    }
  }
  fs::remove_all(folder);
  std::printf(
      "%s save: %d kills; target newer %d, unchanged %d, no save finished yet %d; temporary files of the "
      "killed save seen %d; failures %d (first save after %ld us, then one every %ld us)\n",
      persistent ? "persistent-with-backup" : "plain", counts.kills, counts.newer, counts.same, counts.noneYet,
      counts.tempsLeft, counts.failures, static_cast<long>(times.first.count()), static_cast<long>(times.each.count()));
  return counts;
}

int Usage() {
  std::fputs("usage: save_kill [--kills N] [--mode plain|persistent|both] [--seed S]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int kills = 20;
  std::string mode = "both";
  unsigned seed = std::random_device{}();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--kills")
      kills = std::atoi(argv[i + 1]);
    else if (option == "--mode")
      mode = argv[i + 1];
    else if (option == "--seed")
      seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    else
      return Usage();
  }
  if (argc % 2 == 0 || kills <= 0 || (mode != "plain" && mode != "persistent" && mode != "both")) return Usage();
  std::printf("seed %u\n", seed);
  std::mt19937 random(seed);
  int failures = 0;
  if (mode != "persistent") failures += Run(false, kills, random).failures;
  if (mode != "plain") failures += Run(true, kills, random).failures;
  return failures == 0 ? 0 : 1;
}
