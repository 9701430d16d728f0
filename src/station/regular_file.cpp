#include "regular_file.h"

#include "platform/files/file_door.h"

#include <cerrno>

namespace station {
namespace {

OpenedFile AsStream(klt::files::Opened opened, const char *mode) {
  if (!opened.fd) return {nullptr, opened.failure.error, opened.failure.taken, opened.failure.ofFile};
  std::FILE *file = ::fdopen(opened.fd.Get(), mode);
  if (file == nullptr) return {nullptr, errno, false, false};
  opened.fd.Release();
  return {file, 0, false, false};
}

}  // namespace

OpenedFile OpenRegularForReading(const std::string &path) { return AsStream(klt::files::OpenRegular(path), "rb"); }

OpenedFile CreateRegularForWriting(const std::string &path) {
  return AsStream(klt::files::CreateOwn(path, klt::files::Lifetime::Temporary), "wb");
}

}  // namespace station
