// Making a file to write at a name that something else may hold. The
// station's files (tests/station/taken_names_test.cpp) cover a link to a
// file, a pipe with a reader, a folder and a device; here the holders that
// would catch an open that waits or creates through the name.
#include "platform/files/writable_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

class WritableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/writable_file_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_F(WritableFileTest, ALinkToNowhereOrAPipeWithoutAReaderIsRefusedAtOnce) {
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling");
  ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  for (const char *name : {"dangling", "pipe"}) {
    SCOPED_TRACE(name);
    for (Contents contents : {Contents::Keep, Contents::Empty}) {
      const WritableFile opened = OpenWritable((dir_ / name).string(), contents);
      EXPECT_EQ(opened.fd, -1);
      EXPECT_TRUE(opened.taken);
    }
  }
  EXPECT_FALSE(fs::exists(dir_ / "nowhere")) << "nothing is made where the link points";
}

TEST_F(WritableFileTest, ARegularFileIsMadeKeptOrEmptiedThroughALinkedFolder) {
  // The folder itself reached through a link stays usable.
  fs::create_directory(dir_ / "real");
  fs::create_directory_symlink(dir_ / "real", dir_ / "linked");
  const std::string path = (dir_ / "linked" / "file").string();

  WritableFile made = OpenWritable(path, Contents::Keep);
  ASSERT_GE(made.fd, 0);
  EXPECT_TRUE(made.created);
  ASSERT_EQ(::write(made.fd, "abc", 3), 3);
  ::close(made.fd);

  made = OpenWritable(path, Contents::Keep);
  ASSERT_GE(made.fd, 0);
  EXPECT_FALSE(made.created);
  ::close(made.fd);
  EXPECT_EQ(Read(dir_ / "real" / "file"), "abc");

  made = OpenWritable(path, Contents::Empty);
  ASSERT_GE(made.fd, 0);
  ASSERT_EQ(::write(made.fd, "d", 1), 1);
  ::close(made.fd);
  EXPECT_EQ(Read(dir_ / "real" / "file"), "d");

  const WritableFile missing = OpenWritable((dir_ / "no folder" / "file").string(), Contents::Keep);
  EXPECT_EQ(missing.fd, -1);
  EXPECT_EQ(missing.error, ENOENT);
  EXPECT_FALSE(missing.taken);
}

}  // namespace
}  // namespace klt::files
