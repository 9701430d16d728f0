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

#include "platform/files/file_door.h"
#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

namespace {

namespace files = klt::files;

[[noreturn]] void CannotCreate(const std::string& path, const files::Failure& failure) {
  ThrowFileFault(EFCreateError(FormatMessage(msg::kCannotCreateFile, {path, files::Reason(failure)})), path, failure);
}

[[noreturn]] void CannotCreate(const std::string& path, int error) { CannotCreate(path, files::Failure{error}); }

[[noreturn]] void CannotWrite(const std::string& path, const files::Failure& failure) {
  ThrowFileFault(EWriteError(FormatMessage(msg::kCannotWriteFile, {path, files::Reason(failure)})), path, failure);
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
    // may be a live save's: it stays. Whatever a link there leads to is
    // not the name, which alone is removed, and only while it names the
    // file locked.
    const files::Opened fd = files::OpenRegular(name);
    if (fd.fd && TryLockFile(fd.fd.Get())) files::RemoveOwn(name, fd.fd.Get());
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
    files::Opened made = files::CreateExclusive(temp);
    if (!made.fd) {
      if (made.failure.error != EEXIST) CannotCreate(path, made.failure);
      continue;
    }
    const int fd = made.fd.Get();
    try {
      if (LockNewFile(fd) == TLocked::Refused) {
        const int refusal = errno;
        ThrowFileFault(EFCreateError(FormatMessage(msg::kCannotLockFile, {path, std::strerror(refusal)})), path,
                       files::Failure{refusal});
      }
      if (files::Holds(temp, fd)) return made.fd.Release();
    } catch (...) {
      files::RemoveOwn(temp, fd);
      throw;
    }
    error = ENOENT;
  }
  CannotCreate(path, error);
}

}  // namespace

TReplacingFileStream::TReplacingFileStream(std::string path, bool keepContents) : path_(std::move(path)) {
  // The name itself, never what a link there leads to: a link lends no
  // mode, and only a regular file's permission bits are kept.
  mode_t mode = 0;
  const files::NameKind kind = files::KindOf(path_, &mode);
  if (kind == files::NameKind::Folder) CannotCreate(path_, EISDIR);
  const bool exists = kind == files::NameKind::Regular;
  RemoveDeadSavesFiles(path_);
  files::Descriptor fd(CreateLockedTemporary(path_, temp_));
  try {
    // The new file takes the old one's permissions, as rewriting it in place
    // would have kept them; set through the descriptor, since whatever has
    // the new file's name by now is not what this save made.
    if (exists) files::ChangeMode(fd.Get(), mode, temp_);
    file_ = std::make_unique<TFileStream>(temp_, fd.Get());
    fd.Release();
    if (exists && keepContents) {
      TFileStream existing(path_, TFileMode::OpenRead);
      if (existing.Size() > 0) file_->CopyFrom(existing, existing.Size());
    }
  } catch (...) {
    if (fd) files::RemoveOwn(temp_, fd.Get());
    Discard();
    throw;
  }
}

void TReplacingFileStream::Retarget(const EWriteError& error) const {
  // The caller knows the file by its own name, not by the new file's.
  std::string message = error.Message();
  const size_t at = message.find(temp_);
  if (at != std::string::npos) message.replace(at, temp_.size(), path_);
  EWriteError retargeted(message);
  if (const TFileFault* fault = error.FileFault()) retargeted.SetFileFault({path_, fault->failure});
  throw retargeted;
}

int64_t TReplacingFileStream::Write(const void* buffer, int64_t count) {
  try {
    return file_->Write(buffer, count);
  } catch (const EWriteError& error) {
    Retarget(error);
  }
}

void TReplacingFileStream::SetSize(int64_t newSize) {
  try {
    file_->SetSize(newSize);
  } catch (const EWriteError& error) {
    Retarget(error);
  }
}

TReplacingFileStream::~TReplacingFileStream() {
  if (!committed_) Discard();
}

void TReplacingFileStream::Discard() {
  // Removed while its descriptor still holds the lock, so no other save
  // finds it unlocked; and only while the name is still this save's file.
  if (file_) files::RemoveOwn(temp_, file_->Handle());
  file_.reset();
}

void TReplacingFileStream::Commit() {
  if (committed_) return;
  // The file stream writes straight through, so the bytes are with the
  // system already. They are synced and published through the descriptor
  // that wrote them, so whatever else took the new file's name meanwhile
  // is never what the name holds afterwards; the open file moves with the
  // rename and stays usable.
  if (const auto failure = files::Sync(file_->Handle(), temp_)) CannotWrite(path_, failure);
  if (const auto failure = files::Publish(file_->Handle(), temp_, path_)) CannotCreate(path_, failure);
  committed_ = true;
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (const auto failure = files::Rename(from, to)) CannotCreate(to, failure);
}

void KeepBackup(const std::string& file, const std::string& backup) {
  RemoveFile(backup);
  // A second name for the file's bytes costs nothing and cannot be cut
  // short; where the file system has no such names the bytes are copied.
  const files::Failure linked = files::Link(file, backup);
  if (!linked) return;
  const int error = linked.error;
  if (error != EPERM && error != EXDEV && error != EMLINK && error != ENOTSUP && error != ENOSYS)
    CannotCreate(backup, linked);
  TFileStream source(file, TFileMode::OpenRead);
  TReplacingFileStream copy(backup, false);
  if (source.Size() > 0) copy.CopyFrom(source, source.Size());
  copy.Commit();
}

void RemoveFile(const std::string& path) {
  if (const auto failure = files::Remove(path)) CannotCreate(path, failure);
}

void seam::SetLockCall(TLockCall call) { gLockCall = call; }

}  // namespace ts
