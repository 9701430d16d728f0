// The file door's own cases that the programs' table of failing files does
// not reach: holders that would catch an open that waits or creates through
// the name, and a folder reached through a link.
#include "platform/files/file_door.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <iterator>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace klt::files {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class FileDoorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/file_door_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(FileDoorTest, ALinkToNowhereOrAPipeWithoutAReaderIsRefusedAtOnce) {
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling");
  ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  for (const char *name : {"dangling", "pipe"}) {
    SCOPED_TRACE(name);
    const Opened made = CreateOwn((dir_ / name).string());
    EXPECT_FALSE(made.fd);
    EXPECT_TRUE(made.failure.taken);
    EXPECT_TRUE(CreationFailure((dir_ / name).string()).taken);
    const Opened read = OpenRegular((dir_ / name).string());
    EXPECT_FALSE(read.fd);
  }
  EXPECT_FALSE(fs::exists(dir_ / "nowhere")) << "nothing is made where the link points";
}

TEST_F(FileDoorTest, AFileIsMadeAnewThroughALinkedFolder) {
  // The folder itself reached through a link stays usable.
  fs::create_directory(dir_ / "real");
  fs::create_directory_symlink(dir_ / "real", dir_ / "linked");
  const std::string path = (dir_ / "linked" / "file").string();
  for (const char *bytes : {"abc", "d"}) {
    const Opened made = CreateOwn(path);
    ASSERT_TRUE(made.fd);
    EXPECT_FALSE(WriteAll(made.fd.Get(), bytes, std::strlen(bytes), path));
    EXPECT_EQ(Read(dir_ / "real" / "file"), bytes);
  }
  const Failure missing = CreateOwn((dir_ / "no folder" / "file").string()).failure;
  EXPECT_EQ(missing.error, ENOENT);
  EXPECT_FALSE(missing.taken);
}

}  // namespace
}  // namespace klt::files
