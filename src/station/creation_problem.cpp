#include "creation_problem.h"

#include "station_texts.h"
#include "write_failure_text.h"

#include "platform/files/file_door.h"

#include <cerrno>
#include <filesystem>
#include <optional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

QString FileCreationProblem(const std::string &path, const klt::files::Failure &failure) {
  return QString::fromUtf8(texts::kCannotCreateFile).arg(WholePath(path), WriteFailureReason(failure, NameOf(path)));
}

QString FileCreationProblem(const std::string &path, int error, bool taken) {
  return FileCreationProblem(path, klt::files::Failure{error, taken});
}

QString FileWriteProblem(const std::string &path, const klt::files::Failure &failure) {
  return QString::fromUtf8(texts::kCannotWriteFile).arg(WholePath(path), WriteFailureReason(failure, NameOf(path)));
}

QString FileWriteProblem(const std::string &path, int error, bool taken) {
  return FileWriteProblem(path, klt::files::Failure{error, taken});
}

QString WriteProblem(const std::string &path) {
  // The file is only looked at, never opened or written: what the writer
  // met is read from the file's folder and file system.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const std::string folderName = folder.empty() ? std::string(".") : folder;
  struct stat st {};
  if (::stat(folderName.c_str(), &st) != 0) return FileWriteProblem(path, errno);
  if (!S_ISDIR(st.st_mode)) return FileWriteProblem(path, ENOTDIR);
  if (::lstat(path.c_str(), &st) != 0) return FileWriteProblem(path, errno == ENOENT ? kFileGone : errno);
  if (!S_ISREG(st.st_mode)) return FileWriteProblem(path, 0, true);
  // The file itself refuses, not its folder.
  if (::access(path.c_str(), W_OK) != 0) return FileWriteProblem(path, klt::files::Failure{errno, false, true});
  // Room for a few more pages of sound: what the writer would have needed.
  constexpr unsigned long long kRoom = 64 * 1024;
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<unsigned long long>(st.st_size) + kRoom > limit.rlim_cur)
    return FileWriteProblem(path, EFBIG);
  struct statvfs fs {};
  if (::statvfs(folderName.c_str(), &fs) == 0) {
    if (fs.f_flag & ST_RDONLY) return FileWriteProblem(path, EROFS);
    if (static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < kRoom) return FileWriteProblem(path, ENOSPC);
  }
  return FileWriteProblem(path, kWriterStopped);
}

QString CreationProblem(const std::string &path) {
  const klt::files::Failure failure = klt::files::CreationFailure(path);
  if (!failure) return {};
  if (!failure.taken && (failure.error == ENOENT || failure.error == ENOTDIR))
    if (auto folder = FolderProblem(path)) return *folder;
  return FileCreationProblem(path, failure);
}

}  // namespace station
