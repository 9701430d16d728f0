#include "table_store/stream_format/replacing_file.h"

#include <fcntl.h>
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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
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
  temp_ = TemporaryNameFor(path_);
  try {
    file_ = std::make_unique<TFileStream>(temp_, TFileMode::Create);
  } catch (const EFCreateError& error) {
    // The caller knows the file by its own name, not by the new file's.
    std::string message = error.Message();
    const size_t at = message.find(temp_);
    if (at != std::string::npos) message.replace(at, temp_.size(), path_);
    throw EFCreateError(message);
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

TReplacingFileStream::~TReplacingFileStream() {
  file_.reset();
  if (!committed_) ::unlink(temp_.c_str());
}

void TReplacingFileStream::Commit() {
  if (committed_) return;
  // The file stream writes straight through, so the bytes are with the
  // system already; the open file moves with the rename and stays usable.
  if (!SyncFile(temp_)) CannotCreate(path_, errno);
  ReplaceFile(temp_, path_);
  committed_ = true;
  SyncFolder(path_);
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) CannotCreate(to, errno);
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) CannotCreate(path, errno);
}

}  // namespace ts
