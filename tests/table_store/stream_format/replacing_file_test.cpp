// A save's new file where things go wrong: its lock refused for a moment or
// for good, and each allocation on the way to it failing in turn. No
// descriptor and no new file may outlive a failed save, and the old file
// stays whole. Its own program: it replaces the allocator's operator new.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/stream_format/replacing_file.h"

namespace {

// Allocations left before one fails; -1: none fails. One failure, then none.
thread_local long gAllocationsLeft = -1;

}  // namespace

void* operator new(std::size_t size) {
  if (gAllocationsLeft == 0) {
    gAllocationsLeft = -1;
    throw std::bad_alloc();
  }
  if (gAllocationsLeft > 0) --gAllocationsLeft;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
// The compiler takes free after operator new for a mismatch; here they pair.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace ts {
namespace {

namespace fs = std::filesystem;

class TSaveFolder {
 public:
  TSaveFolder() : path_(fs::path(::testing::TempDir()) / ("replacing_file_" + std::to_string(::getpid()))) {
    fs::create_directories(path_);
    std::ofstream(File()) << "old";
  }
  ~TSaveFolder() { fs::remove_all(path_); }
  std::string File() const { return (path_ / "answers.ans").string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Contents() const {
    std::ifstream in(File(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  fs::path path_;
};

int OpenDescriptors() {
  int count = 0;
  DIR* folder = ::opendir("/proc/self/fd");
  while (folder != nullptr && ::readdir(folder) != nullptr) ++count;
  if (folder != nullptr) ::closedir(folder);
  return count;
}

// The lock a save takes on its new file (it waits for it; clean-ups only
// try) is refused `gRefusals` times with `gRefusal`.
int gRefusals = 0;
int gRefusal = 0;
int RefusingLock(int fd, int operation) {
  if ((operation & LOCK_NB) == 0 && gRefusals > 0) {
    --gRefusals;
    errno = gRefusal;
    return -1;
  }
  return ::flock(fd, operation);
}

TEST(ReplacingFileTest, ALockRefusedForGoodFailsTheSaveAndOneRefusedForAMomentDoesNot) {
  struct TCase {
    const char* what;
    int refusals;
    int error;
    bool saves;
  };
  const TCase cases[] = {
      {"no locks left, for good", 1000, ENOLCK, false},
      {"would block, for good", 1000, EWOULDBLOCK, false},
      {"no locks left, twice", 2, ENOLCK, true},
      {"would block, once", 1, EWOULDBLOCK, true},
      {"interrupted, three times", 3, EINTR, true},
      // Nothing can lock there, so no clean-up can take the file away either.
      {"a file system without locks", 1000, EOPNOTSUPP, true},
  };
  seam::SetLockCall(RefusingLock);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TSaveFolder dir;
    TdvoMemTable table("answers");
    table.AddField<TIntegerField>("n");
    table.Open();
    table.AppendRecord({TValue::Integer(7)});
    TdvoBinaryStreamFormat format;
    gRefusals = c.refusals;
    gRefusal = c.error;
    std::string error;
    try {
      table.SaveFileWithFormat(dir.File(), &format);
    } catch (const Exception& e) {
      error = e.Message();
    }
    if (c.saves) {
      EXPECT_EQ(error, "");
      EXPECT_NE(dir.Contents(), "old");
    } else {
      EXPECT_EQ(error, "Cannot lock file \"" + dir.File() + "\" while it is written. " + std::strerror(c.error));
      EXPECT_EQ(dir.Contents(), "old");
      EXPECT_FALSE(table.Store().Busy());
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"answers.ans"});
  }
  seam::SetLockCall(nullptr);
}

TEST(ReplacingFileTest, NoDescriptorOrNewFileOutlivesAFailedAllocation) {
  for (const bool keepContents : {false, true}) {
    SCOPED_TRACE(keepContents ? "appending" : "replacing");
    TSaveFolder dir;
    const int before = OpenDescriptors();
    bool made = false;
    for (long allocation = 0; !made && allocation < 1000; ++allocation) {
      gAllocationsLeft = allocation;
      try {
        TReplacingFileStream file(dir.File(), keepContents);
        made = true;
      } catch (...) {
      }
      gAllocationsLeft = -1;
      ASSERT_EQ(OpenDescriptors(), before) << "failing allocation " << allocation;
      ASSERT_EQ(dir.Names(), std::vector<std::string>{"answers.ans"}) << "failing allocation " << allocation;
      ASSERT_EQ(dir.Contents(), "old");
    }
    EXPECT_TRUE(made);
  }
}

}  // namespace
}  // namespace ts
