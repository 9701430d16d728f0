#include "platform/files/writable_file.h"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace klt::files {
namespace {

WritableFile Failed(int error) { return {-1, error, false, false}; }
WritableFile Taken() { return {-1, 0, true, false}; }

bool SameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Where /proc is missing the name is opened again, never following a link
// and never waiting on a pipe; what was opened must be the file looked at.
int ReopenByName(const std::string &path, const struct stat &held, Contents contents) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || !SameFile(opened, held)) {
    ::close(fd);
    errno = EAGAIN;
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (contents == Contents::Empty && ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// The file that has the name, looked at through a handle that opens
// nothing (a pipe's reader never sees it) and that is a link itself when a
// link has the name; only a regular file is then opened for writing, through
// that very handle, so nothing swapped in meanwhile is reached.
WritableFile OpenExisting(const std::string &path, Contents contents, bool &gone) {
  gone = false;
  const int handle = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (handle < 0) {
    gone = errno == ENOENT;
    return Failed(errno);
  }
  struct stat held {};
  if (::fstat(handle, &held) != 0) {
    const int error = errno;
    ::close(handle);
    return Failed(error);
  }
  if (!S_ISREG(held.st_mode)) {
    ::close(handle);
    return Taken();
  }
  const std::string self = "/proc/self/fd/" + std::to_string(handle);
  int fd = ::open(self.c_str(), O_WRONLY | O_CLOEXEC | (contents == Contents::Empty ? O_TRUNC : 0));
  if (fd < 0 && errno == ENOENT) fd = ReopenByName(path, held, contents);
  const int error = errno;
  ::close(handle);
  if (fd < 0) {
    // A name swapped under the reopen is looked at again.
    gone = error == EAGAIN || error == ELOOP;
    return Failed(error);
  }
  return {fd, 0, false, false};
}

}  // namespace

WritableFile OpenWritable(const std::string &path, Contents contents) {
  // Another process may make or remove the name between the two ways in:
  // each is tried again, a few times, before the last answer is given.
  WritableFile result = Failed(EEXIST);
  for (int attempt = 0; attempt < 8; ++attempt) {
    // O_EXCL never follows a link, not even a dangling one.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return {fd, 0, false, true};
    if (errno != EEXIST) return Failed(errno);
    bool gone = false;
    result = OpenExisting(path, contents, gone);
    if (!gone) return result;
  }
  return result;
}

}  // namespace klt::files
