#include "regular_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kim_file.h"
#include "platform/files/file_door.h"

namespace kim {

std::string ReadRegularFile(const std::string& file) {
  const klt::files::Opened opened = klt::files::OpenRegular(file);
  if (opened.failure.taken) throw KimError("not a regular file");
  if (!opened.fd) throw KimError("cannot be read: " + klt::files::Reason(opened.failure));
  std::string bytes;
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(opened.fd.Get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw KimError(std::string("cannot be read: ") + std::strerror(errno));
    if (n == 0) return bytes;
    bytes.append(chunk, size_t(n));
  }
}

void RefuseIrregularOutput(const std::string& file) {
  // The name itself, not what a link there leads to: the new file is
  // renamed over the name, which would put it in the link's place.
  const klt::files::NameKind kind = klt::files::KindOf(file);
  if (kind != klt::files::NameKind::Missing && kind != klt::files::NameKind::Regular)
    throw KimError(file + ": not a regular file");
}

}  // namespace kim
