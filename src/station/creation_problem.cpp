#include "creation_problem.h"

#include "station_texts.h"
#include "write_failure_text.h"

#include "platform/files/writable_file.h"

#include <cerrno>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace station {
namespace {

QString NameOf(const std::string &path) {
  return QString::fromStdString(std::filesystem::path(path).filename().string());
}

bool IsFolder(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The first folder on the way to `path` that is not a folder, with the
// reason it cannot be made; none when every folder on the way is there or
// can be made.
std::optional<QString> FolderProblem(const std::string &path) {
  std::string folder;
  for (const auto &part : std::filesystem::path(path).parent_path()) {
    folder = (std::filesystem::path(folder) / part).string();
    if (IsFolder(folder)) continue;
    if (::mkdir(folder.c_str(), 0777) != 0) {
      const int error = errno;
      return QString::fromUtf8(texts::kCannotCreateFolder)
          .arg(WholePath(folder), WriteFailureReason(error, false, NameOf(folder)));
    }
    // It could be made now, so it was not what stopped the file.
    ::rmdir(folder.c_str());
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

QString FileCreationProblem(const std::string &path, int error, bool taken) {
  return QString::fromUtf8(texts::kCannotCreateFile).arg(WholePath(path), WriteFailureReason(error, taken, NameOf(path)));
}

QString FileWriteProblem(const std::string &path, int error, bool taken) {
  return QString::fromUtf8(texts::kCannotWriteFile).arg(WholePath(path), WriteFailureReason(error, taken, NameOf(path)));
}

QString WriteProblem(const std::string &path) {
  const klt::files::WritableFile file = klt::files::OpenWritable(path, klt::files::Contents::Keep);
  if (file.fd < 0) return FileWriteProblem(path, file.error, file.taken);
  int error = kWriterStopped;
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) {
    error = errno;
  } else {
    // Room for a few more pages of sound: what the writer would have needed.
    constexpr off_t kProbe = 64 * 1024;
    // Past the process's size limit the system would end the program with a
    // signal rather than refuse the growth: that limit is read, not tried.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        rlim_t(st.st_size + kProbe) > limit.rlim_cur) {
      error = EFBIG;
    } else if (const int refused = ::posix_fallocate(file.fd, st.st_size, kProbe); refused != 0) {
      error = refused;
    }
    // Whatever the probe took is given back.
    if (::ftruncate(file.fd, st.st_size) != 0 && error == kWriterStopped) error = errno;
  }
  ::close(file.fd);
  if (file.created) ::unlink(path.c_str());
  // A file system that cannot reserve room says nothing about the file.
  if (error == EOPNOTSUPP || error == EINVAL || error == ENODEV) error = kWriterStopped;
  return FileWriteProblem(path, error);
}

QString CreationProblem(const std::string &path) {
  const klt::files::WritableFile made = klt::files::OpenWritable(path, klt::files::Contents::Keep);
  if (made.fd >= 0) {
    ::close(made.fd);
    if (made.created) ::unlink(path.c_str());
    return {};
  }
  if (!made.taken && (made.error == ENOENT || made.error == ENOTDIR))
    if (auto folder = FolderProblem(path)) return *folder;
  return FileCreationProblem(path, made.error, made.taken);
}

}  // namespace station
