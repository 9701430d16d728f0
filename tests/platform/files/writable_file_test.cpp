// Making a file to write at a name that something else may hold.
#include "platform/files/writable_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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
    for (int fd : open_) ::close(fd);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // A reader that waits on a named pipe, as a program reading it would; a
  // writer that opens and closes the pipe would end it.
  int Reader(const fs::path &pipe) {
    const int fd = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    open_.push_back(fd);
    return fd;
  }
  fs::path dir_;
  std::vector<int> open_;
};

TEST_F(WritableFileTest, ANameHeldByAnythingButARegularFileIsRefusedUntouched) {
  const fs::path victim = dir_ / "victim";
  std::ofstream(victim) << "someone else's";
  int reader = -1;
  struct Case {
    const char *name;
    std::function<bool(const fs::path &)> make;  // false: not possible here
  };
  const std::vector<Case> cases = {
      {"link to a file", [&](const fs::path &p) { fs::create_symlink(victim, p); return true; }},
      {"link to nowhere", [&](const fs::path &p) { fs::create_symlink(dir_ / "nowhere", p); return true; }},
      {"folder", [](const fs::path &p) { return fs::create_directory(p); }},
      {"named pipe with a reader",
       [&](const fs::path &p) { return ::mkfifo(p.c_str(), 0600) == 0 && (reader = Reader(p)) >= 0; }},
      {"named pipe without a reader", [](const fs::path &p) { return ::mkfifo(p.c_str(), 0600) == 0; }},
      {"device", [](const fs::path &p) { return ::mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; }},
      {"socket",
       [](const fs::path &p) {
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::snprintf(address.sun_path, sizeof address.sun_path, "%s", p.c_str());
         const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
         const bool bound = ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
         ::close(s);
         return bound;
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path name = dir_ / c.name;
    if (!c.make(name)) continue;  // a device node needs the right to make one
    for (Contents contents : {Contents::Keep, Contents::Empty}) {
      const WritableFile opened = OpenWritable(name.string(), contents);
      EXPECT_EQ(opened.fd, -1);
      EXPECT_TRUE(opened.taken);
      EXPECT_FALSE(opened.created);
    }
    EXPECT_TRUE(fs::exists(fs::symlink_status(name))) << "what holds the name stays";
  }
  EXPECT_EQ(Read(victim), "someone else's");
  ASSERT_GE(reader, 0);
  pollfd waiting{reader, POLLIN, 0};
  ASSERT_EQ(::poll(&waiting, 1, 0), 0) << "no writer came and went: the reader goes on waiting";
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
