#include "creation_problem.h"

#include "station_texts.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace station {
namespace {

QString Problem(const char *text, const std::string &path, int error) {
  return QString::fromUtf8(text).arg(QString::fromStdString(path), QString::fromLocal8Bit(std::strerror(error)));
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
    if (::mkdir(folder.c_str(), 0777) != 0) return Problem(texts::kCannotCreateFolder, folder, errno);
    // It could be made now, so it was not what stopped the file.
    ::rmdir(folder.c_str());
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

QString CreationProblem(const std::string &path) {
  struct stat st {};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd >= 0) {
    ::close(fd);
    if (!existed) ::unlink(path.c_str());
    return {};
  }
  const int error = errno;
  if (error == ENOENT || error == ENOTDIR)
    if (auto folder = FolderProblem(path)) return *folder;
  return Problem(texts::kCannotCreateFile, path, error);
}

}  // namespace station
