#include "table_store/stream_format/replacing_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

namespace {

[[noreturn]] void CannotCreate(const std::string& path, int error) {
  throw EFCreateError(FormatMessage(msg::kCannotCreateFile, {path, std::strerror(error)}));
}

[[noreturn]] void CannotWrite(const std::string& path, int error) {
  throw EWriteError(FormatMessage(msg::kCannotWriteFile, {path, std::strerror(error)}));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name beside `path` that no other save picks: process, counter and a
// random part.
std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937 random{std::random_device{}()};
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%ld-%u-%08x.tmp", static_cast<long>(::getpid()), counter++,
                static_cast<unsigned>(random()));
  return path + suffix;
}

// The process that made `name`, when it is a new file of a save of `base`
// (TemporaryNameFor's pattern exactly); 0 otherwise.
long TemporaryFileOwner(const std::string& name, const std::string& base) {
  if (name.size() <= base.size() + 1 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '.')
    return 0;
  long pid = 0;
  unsigned count = 0;
  unsigned random = 0;
  int end = 0;
  const std::string rest = name.substr(base.size() + 1);
  if (std::sscanf(rest.c_str(), "%ld-%u-%8x.tmp%n", &pid, &count, &random, &end) != 3) return 0;
  if (static_cast<size_t>(end) != rest.size() || pid <= 0) return 0;
  char again[64];
  std::snprintf(again, sizeof again, "%ld-%u-%08x.tmp", pid, count, random);
  return rest == again ? pid : 0;
}

// Removes the new files that earlier saves of `path` left when their
// process died before finishing. A file whose process still runs is
// another save at work (or its number was taken again): it stays.
void RemoveDeadSavesFiles(const std::string& path) {
  DIR* folder = ::opendir(FolderOf(path).c_str());
  if (folder == nullptr) return;
  const std::string base = BaseNameOf(path);
  const std::string prefix = path.substr(0, path.size() - base.size());
  while (const dirent* entry = ::readdir(folder)) {
    const long pid = TemporaryFileOwner(entry->d_name, base);
    if (pid == 0 || pid == static_cast<long>(::getpid())) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlink((prefix + entry->d_name).c_str());
  }
  ::closedir(folder);
}

// Puts the file's bytes on disk; false with errno set on failure.
bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  errno = error;
  return ok;
}

void SyncFolder(const std::string& path) {
  // Makes the rename itself durable; some file systems refuse, which costs
  // nothing but that guarantee.
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

TReplacingFileStream::TReplacingFileStream(std::string path, bool keepContents) : path_(std::move(path)) {
  struct stat old {};
  const bool exists = ::stat(path_.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) CannotCreate(path_, EISDIR);
  RemoveDeadSavesFiles(path_);
  temp_ = TemporaryNameFor(path_);
  try {
    file_ = std::make_unique<TFileStream>(temp_, TFileMode::Create);
  } catch (const EFCreateError& error) {
    throw EFCreateError(TargetMessage(error));
  }
  try {
    // The new file takes the old one's permissions, as rewriting it in place
    // would have kept them.
    if (exists) ::chmod(temp_.c_str(), old.st_mode & 07777);
    if (exists && keepContents) {
      TFileStream existing(path_, TFileMode::OpenRead);
      if (existing.Size() > 0) file_->CopyFrom(existing, existing.Size());
    }
  } catch (...) {
    file_.reset();
    ::unlink(temp_.c_str());
    throw;
  }
}

std::string TReplacingFileStream::TargetMessage(const Exception& error) const {
  // The caller knows the file by its own name, not by the new file's.
  std::string message = error.Message();
  const size_t at = message.find(temp_);
  if (at != std::string::npos) message.replace(at, temp_.size(), path_);
  return message;
}

int64_t TReplacingFileStream::Write(const void* buffer, int64_t count) {
  try {
    return file_->Write(buffer, count);
  } catch (const EWriteError& error) {
    throw EWriteError(TargetMessage(error));
  }
}

void TReplacingFileStream::SetSize(int64_t newSize) {
  try {
    file_->SetSize(newSize);
  } catch (const EWriteError& error) {
    throw EWriteError(TargetMessage(error));
  }
}

TReplacingFileStream::~TReplacingFileStream() {
  file_.reset();
  if (!committed_) ::unlink(temp_.c_str());
}

void TReplacingFileStream::Commit() {
  if (committed_) return;
  // The file stream writes straight through, so the bytes are with the
  // system already; the open file moves with the rename and stays usable.
  if (!SyncFile(temp_)) CannotWrite(path_, errno);
  ReplaceFile(temp_, path_);
  committed_ = true;
  SyncFolder(path_);
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) CannotCreate(to, errno);
}

void KeepBackup(const std::string& file, const std::string& backup) {
  RemoveFile(backup);
  // A second name for the file's bytes costs nothing and cannot be cut
  // short; where the file system has no such names the bytes are copied.
  if (::link(file.c_str(), backup.c_str()) == 0) return;
  if (errno != EPERM && errno != EXDEV && errno != EMLINK && errno != ENOTSUP && errno != ENOSYS)
    CannotCreate(backup, errno);
  TFileStream source(file, TFileMode::OpenRead);
  TReplacingFileStream copy(backup, false);
  if (source.Size() > 0) copy.CopyFrom(source, source.Size());
  copy.Commit();
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) CannotCreate(path, errno);
}

}  // namespace ts
