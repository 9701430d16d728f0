#include "table_store/stream_format/replacing_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <utility>

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

// Whether `name` is a new file of a save of `base`: TemporaryNameFor's
// pattern exactly, as every version has written it.
bool IsTemporaryNameOf(const std::string& name, const std::string& base) {
  if (name.size() <= base.size() + 1 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '.')
    return false;
  long pid = 0;
  unsigned count = 0;
  unsigned random = 0;
  int end = 0;
  const std::string rest = name.substr(base.size() + 1);
  if (std::sscanf(rest.c_str(), "%ld-%u-%8x.tmp%n", &pid, &count, &random, &end) != 3) return false;
  if (static_cast<size_t>(end) != rest.size() || pid <= 0) return false;
  char again[64];
  std::snprintf(again, sizeof again, "%ld-%u-%08x.tmp", pid, count, random);
  return rest == again;
}

// A save holds this lock on its new file for its whole life. The lock goes
// with the save's open file (not with a process number, which a dead
// process may keep for a while and another may take again), so only a
// live save can hold it. A whole-file lock, not a record lock: a record lock
// belongs to the process and goes when any of its descriptors of the file
// closes, as a clean-up in the same process would do.
seam::TLockCall gLockCall = nullptr;

int Flock(int fd, int operation) { return (gLockCall ? gLockCall : ::flock)(fd, operation); }

// Tries the lock without waiting: false when it is held or cannot be had.
bool TryLockFile(int fd) {
  for (;;) {
    if (Flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

enum class TLocked { Yes, NoLocksHere, Refused };

// Waits for the lock. A refusal that may pass (an interruption, a lock
// service short of locks or busy for a moment) is asked again a few times,
// a little later each time; errno tells the last refusal.
TLocked LockNewFile(int fd) {
  constexpr int kAttempts = 8;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (Flock(fd, LOCK_EX) == 0) return TLocked::Yes;
    const int error = errno;
    if (error == EOPNOTSUPP || error == ENOTSUP) return TLocked::NoLocksHere;
    if (error != EINTR && error != EWOULDBLOCK && error != EAGAIN && error != ENOLCK) return TLocked::Refused;
    if (error != EINTR && attempt + 1 < kAttempts) ::usleep(1000u << attempt);
    errno = error;
  }
  return TLocked::Refused;
}

// A descriptor closed on every road out, unless handed on.
class TOwnedDescriptor {
 public:
  explicit TOwnedDescriptor(int fd) : fd_(fd) {}
  ~TOwnedDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  TOwnedDescriptor(TOwnedDescriptor&& other) noexcept : fd_(other.Release()) {}
  TOwnedDescriptor& operator=(TOwnedDescriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.Release();
    }
    return *this;
  }
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Removes the new files that earlier saves of `path` left when they died
// before finishing: those whose lock can be taken. Each is removed while the
// lock is held, so no save can take it up in between.
void RemoveDeadSavesFiles(const std::string& path) {
  const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(FolderOf(path).c_str()), ::closedir);
  if (folder == nullptr) return;
  const std::string base = BaseNameOf(path);
  const std::string prefix = path.substr(0, path.size() - base.size());
  while (const dirent* entry = ::readdir(folder.get())) {
    if (!IsTemporaryNameOf(entry->d_name, base)) continue;
    const std::string name = prefix + entry->d_name;
    // A file that cannot be opened or locked (a file system without locks)
    // may be a live save's: it stays.
    TOwnedDescriptor fd(::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0 && errno == EACCES)
      fd = TOwnedDescriptor(::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) continue;
    struct stat held {}, named {};
    if (::fstat(fd.Get(), &held) == 0 && S_ISREG(held.st_mode) && TryLockFile(fd.Get()) &&
        ::lstat(name.c_str(), &named) == 0 && SameFile(held, named))
      ::unlink(name.c_str());
  }
}

// Creates a new file for a save of `path` and locks it; returns the locked
// descriptor and sets `temp` to the file's name. Between the creation and
// the lock another save's clean-up may find the file unlocked and remove
// it: the save then finds its name gone (or the lock held until it is) and
// makes another file. A lock that cannot be had fails the save, as a clean-up
// could take the file away under it; where the file system has no locks at
// all no clean-up can, and the file goes without.
int CreateLockedTemporary(const std::string& path, std::string& temp) {
  constexpr int kAttempts = 100;
  int error = EEXIST;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    temp = TemporaryNameFor(path);
    TOwnedDescriptor fd(::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.Get() < 0) {
      if (errno != EEXIST) CannotCreate(path, errno);
      continue;
    }
    if (LockNewFile(fd.Get()) == TLocked::Refused) {
      const int refusal = errno;
      ::unlink(temp.c_str());
      throw EFCreateError(FormatMessage(msg::kCannotLockFile, {path, std::strerror(refusal)}));
    }
    struct stat held {}, named {};
    if (::fstat(fd.Get(), &held) == 0 && held.st_nlink > 0 && ::stat(temp.c_str(), &named) == 0 &&
        SameFile(held, named))
      return fd.Release();
    error = ENOENT;
  }
  CannotCreate(path, error);
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
  TOwnedDescriptor fd(CreateLockedTemporary(path_, temp_));
  try {
    // The new file takes the old one's permissions, as rewriting it in place
    // would have kept them; set through the descriptor, since whatever has
    // the new file's name by now is not what this save made.
    if (exists) ::fchmod(fd.Get(), old.st_mode & 07777);
    file_ = std::make_unique<TFileStream>(temp_, fd.Get());
    fd.Release();
    if (exists && keepContents) {
      TFileStream existing(path_, TFileMode::OpenRead);
      if (existing.Size() > 0) file_->CopyFrom(existing, existing.Size());
    }
  } catch (...) {
    Discard();
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
  if (!committed_) Discard();
}

void TReplacingFileStream::Discard() {
  // Removed while its descriptor still holds the lock, so no other save
  // finds it unlocked.
  ::unlink(temp_.c_str());
  file_.reset();
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

void seam::SetLockCall(TLockCall call) { gLockCall = call; }

}  // namespace ts
