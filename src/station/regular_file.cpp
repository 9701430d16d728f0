#include "regular_file.h"

#include "platform/files/writable_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace station {
namespace {

OpenedFile NotRegular() { return {nullptr, 0, true}; }

OpenedFile Failed(int error) { return {nullptr, error, false}; }

// The descriptor as a stream, once it proved to be a regular file. Without
// O_NONBLOCK from here on: a regular file never blocks, and the stream's
// readers and writers expect the ordinary mode.
OpenedFile AsStream(int fd, const char *mode) {
  struct stat opened;
  if (::fstat(fd, &opened) != 0) {
    const int error = errno;
    ::close(fd);
    return Failed(error);
  }
  if (!S_ISREG(opened.st_mode)) {
    ::close(fd);
    return NotRegular();
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE *file = ::fdopen(fd, mode);
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    return Failed(error);
  }
  return {file, 0, false};
}

// The open itself: O_NONBLOCK keeps a pipe swapped in after the check from
// blocking; a pipe without a reader, a socket or a missing device answers
// ENXIO, which names no file problem of its own.
OpenedFile Open(const std::string &path, int flags, const char *mode) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return errno == ENXIO ? NotRegular() : Failed(errno);
  return AsStream(fd, mode);
}

}  // namespace

OpenedFile OpenRegularForReading(const std::string &path) {
  struct stat named;
  if (::stat(path.c_str(), &named) != 0) return Failed(errno);
  if (!S_ISREG(named.st_mode)) return NotRegular();
  return Open(path, O_RDONLY, "rb");
}

OpenedFile CreateRegularForWriting(const std::string &path) {
  // A missing name is created; anything else that is there must be a
  // regular file before it is opened, let alone emptied. A link at the name
  // is not followed: the file it points to is someone else's.
  const klt::files::WritableFile made = klt::files::OpenWritable(path, klt::files::Contents::Empty);
  if (made.taken) return NotRegular();
  if (made.fd < 0) return Failed(made.error);
  return AsStream(made.fd, "wb");
}

}  // namespace station
