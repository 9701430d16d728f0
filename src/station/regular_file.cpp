#include "regular_file.h"

#include "platform/files/file_door.h"

#include <cerrno>
#include <new>

#include <fcntl.h>
#include <unistd.h>

namespace station {
namespace {

OpenedFile Refused(const klt::files::Failure &failure) {
  return {nullptr, failure.error, failure.taken, failure.ofFile, -1};
}

// A written stream's bytes go out through the file door, as every write of
// a file the station makes does.
struct Sink {
  klt::files::Descriptor fd;
  std::string path;
};

ssize_t SinkWrite(void *cookie, const char *bytes, size_t count) {
  auto *sink = static_cast<Sink *>(cookie);
  if (const klt::files::Failure failure = klt::files::WriteAll(sink->fd.Get(), bytes, count, sink->path)) {
    errno = failure.error != 0 ? failure.error : EIO;
    return -1;
  }
  return ssize_t(count);
}

int SinkClose(void *cookie) {
  auto *sink = static_cast<Sink *>(cookie);
  const int result = ::close(sink->fd.Release());
  const int error = errno;
  delete sink;
  errno = error;
  return result;
}

}  // namespace

OpenedFile OpenRegularForReading(const std::string &path) {
  klt::files::Opened opened = klt::files::OpenRegular(path);
  if (!opened.fd) return Refused(opened.failure);
  std::FILE *file = ::fdopen(opened.fd.Get(), "rb");
  if (file == nullptr) return {nullptr, errno, false, false, -1};
  opened.fd.Release();
  return {file, 0, false, false, -1};
}

OpenedFile CreateRegularForWriting(const std::string &path) {
  klt::files::Opened opened = klt::files::CreateOwn(path, klt::files::Lifetime::Temporary);
  if (!opened.fd) return Refused(opened.failure);
  const int again = ::fcntl(opened.fd.Get(), F_DUPFD_CLOEXEC, 0);
  if (again < 0) {
    const int error = errno;
    klt::files::RemoveOwn(path, opened.fd.Get());
    return {nullptr, error, false, false, -1};
  }
  auto *sink = new (std::nothrow) Sink{std::move(opened.fd), path};
  std::FILE *file = sink != nullptr ? ::fopencookie(sink, "wb", {nullptr, SinkWrite, nullptr, SinkClose}) : nullptr;
  if (file == nullptr) {
    if (sink != nullptr) klt::files::RemoveOwn(path, sink->fd.Get());
    delete sink;
    ::close(again);
    return {nullptr, ENOMEM, false, false, -1};
  }
  return {file, 0, false, false, again};
}

}  // namespace station
