#include "platform/files/file_door.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace klt::files {

Descriptor::~Descriptor() {
  if (fd_ >= 0) ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

int Descriptor::Release() { return std::exchange(fd_, -1); }

namespace {

seam::Faults gFaults;

int Ask(seam::Step step, const std::string& path) { return gFaults ? gFaults(step, path) : 0; }

Failure Error(int error) { return {error, false, false, false}; }
Failure Taken() { return {0, true, false, false}; }
Failure OfFile(int error) { return {error, false, true, false}; }
Failure Swapped() { return {0, false, false, true}; }

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A folder as the registry knows it: one spelling for one place.
std::string FolderKey(const std::string& folder) {
  std::string key = std::filesystem::path(folder).lexically_normal().string();
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key.empty() ? "." : key;
}

struct Temporary {
  std::string path;
  int folder;  // a descriptor of its own
  std::string name;
  struct stat made;
};

// The folders this program made, held open, and the temporary files it
// made and has not removed.
struct Registry {
  std::mutex mutex;
  std::map<std::string, int> folders;
  std::vector<Temporary> temporaries;
};

Registry& Held() {
  static Registry* registry = new Registry;  // outlives every static that may still remove files
  return *registry;
}

// The folder a name is reached through, and the name inside it.
struct Place {
  int folder = -1;
  Descriptor owned;
  std::string name;
};

std::pair<std::string, std::string> Split(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A held folder that was removed since is forgotten: it holds nothing any
// more, and the name may be a new folder made by someone who may.
int HeldFolder(const std::string& key) {
  Registry& r = Held();
  std::lock_guard lock(r.mutex);
  const auto it = r.folders.find(key);
  if (it == r.folders.end()) return -1;
  struct stat st {};
  if (::fstat(it->second, &st) == 0 && st.st_nlink > 0) return it->second;
  ::close(it->second);
  r.folders.erase(it);
  return -1;
}

Place PlaceOf(const std::string& path, Failure* failure) {
  Place place;
  auto [folder, name] = Split(path);
  place.name = std::move(name);
  if (place.name.empty() || place.name == "." || place.name == "..") {
    *failure = Error(EISDIR);
    return place;
  }
  place.folder = HeldFolder(FolderKey(folder));
  if (place.folder >= 0) return place;
  place.owned = Descriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!place.owned) *failure = Error(errno);
  place.folder = place.owned.Get();
  return place;
}

// The two names of a step that moves or links one to the other, or the
// failure of the first that cannot be reached.
Failure PlaceBoth(const std::string& from, const std::string& to, Place& source, Place& target) {
  Failure failure;
  source = PlaceOf(from, &failure);
  if (failure) return failure;
  target = PlaceOf(to, &failure);
  return failure;
}

bool NameHolds(const Place& place, int fd) {
  struct stat named {}, held {};
  return ::fstatat(place.folder, place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &held) == 0 &&
         SameFile(named, held);
}

void Forget(const std::string& path) {
  Registry& r = Held();
  std::lock_guard lock(r.mutex);
  for (auto it = r.temporaries.begin(); it != r.temporaries.end();) {
    if (it->path == path) {
      ::close(it->folder);
      it = r.temporaries.erase(it);
    } else {
      ++it;
    }
  }
}

void Remember(const std::string& path, const Place& place, int fd) {
  Temporary t{path, ::fcntl(place.folder, F_DUPFD_CLOEXEC, 0), place.name, {}};
  if (t.folder < 0 || ::fstat(fd, &t.made) != 0) {
    if (t.folder >= 0) ::close(t.folder);
    return;
  }
  Forget(path);
  Registry& r = Held();
  std::lock_guard lock(r.mutex);
  r.temporaries.push_back(std::move(t));
}

// Whether the caller may write the regular file held as `handle` (an O_PATH
// descriptor): the file itself refuses, or 0.
int WriteRefusal(int handle, const std::string& path) {
  if (const int e = Ask(seam::Step::Open, path)) return e;
  const std::string self = "/proc/self/fd/" + std::to_string(handle);
  const Descriptor probe(::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (probe) return 0;
  return errno == EACCES || errno == EPERM || errno == ETXTBSY ? errno : 0;
}

void Unblock(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

}  // namespace

std::string Reason(const Failure& failure) {
  if (failure.taken) return "not a regular file";
  if (failure.swapped) return "another file took its name while it was written";
  return std::strerror(failure.error);
}

Opened OpenRegular(const std::string& path) {
  Opened r;
  if (const int e = Ask(seam::Step::Open, path)) return {Descriptor(), Error(e)};
  // Looked at before it is opened: opening a pipe would let its writer on.
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) return {Descriptor(), Error(errno)};
  if (!S_ISREG(named.st_mode)) return {Descriptor(), Taken()};
  // Without waiting, and looked at again, as a pipe may be swapped in.
  r.fd = Descriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!r.fd) {
    r.failure = errno == ENXIO ? Taken() : Error(errno);
    return r;
  }
  struct stat opened {};
  if (::fstat(r.fd.Get(), &opened) != 0) return {Descriptor(), Error(errno)};
  if (!S_ISREG(opened.st_mode)) return {Descriptor(), Taken()};
  Unblock(r.fd.Get());
  return r;
}

Opened OpenExisting(const std::string& path, Access access) {
  if (const int e = Ask(seam::Step::Open, path)) return {Descriptor(), Error(e)};
  const int flags = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
  Opened r{Descriptor(::open(path.c_str(), flags | O_CLOEXEC)), {}};
  if (!r.fd) return {Descriptor(), Error(errno)};
  // A folder opens for reading here but is no file.
  struct stat st {};
  if (::fstat(r.fd.Get(), &st) == 0 && S_ISDIR(st.st_mode)) return {Descriptor(), Error(EISDIR)};
  return r;
}

Opened CreateOwn(const std::string& path, Lifetime lifetime) {
  if (const int e = Ask(seam::Step::Create, path)) return {Descriptor(), Error(e)};
  Failure failure;
  const Place place = PlaceOf(path, &failure);
  if (failure) return {Descriptor(), failure};
  // Another process may make or remove the name meanwhile: a few rounds.
  for (int attempt = 0; attempt < 8; ++attempt) {
    // O_EXCL never follows a link, not even one to nowhere.
    Descriptor fd(::openat(place.folder, place.name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd) {
      if (lifetime == Lifetime::Temporary) Remember(path, place, fd.Get());
      return {std::move(fd), {}};
    }
    if (errno != EEXIST) return {Descriptor(), Error(errno)};
    // Looked at through a handle that opens nothing: a pipe's reader never
    // sees it, and a link there is the link itself.
    const Descriptor handle(::openat(place.folder, place.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!handle) {
      if (errno == ENOENT) continue;
      return {Descriptor(), Error(errno)};
    }
    struct stat held {};
    if (::fstat(handle.Get(), &held) != 0) return {Descriptor(), Error(errno)};
    if (!S_ISREG(held.st_mode)) return {Descriptor(), Taken()};
    // A file the caller could not rewrite is not taken away from its owner.
    if (const int refusal = WriteRefusal(handle.Get(), path)) return {Descriptor(), OfFile(refusal)};
    // Only the name goes: a file with other names keeps them and its bytes.
    if (::unlinkat(place.folder, place.name.c_str(), 0) != 0 && errno != ENOENT) return {Descriptor(), Error(errno)};
  }
  return {Descriptor(), Error(EEXIST)};
}

Failure CreationFailure(const std::string& path) {
  if (const int e = Ask(seam::Step::Create, path)) return Error(e);
  Failure failure;
  const Place place = PlaceOf(path, &failure);
  if (failure) return failure;
  const Descriptor made(::openat(place.folder, place.name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (made) {
    ::unlinkat(place.folder, place.name.c_str(), 0);
    return {};
  }
  if (errno != EEXIST) return Error(errno);
  const Descriptor handle(::openat(place.folder, place.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat held {};
  if (!handle || ::fstat(handle.Get(), &held) != 0) return Error(errno);
  if (!S_ISREG(held.st_mode)) return Taken();
  if (const int refusal = WriteRefusal(handle.Get(), path)) return OfFile(refusal);
  // Replacing the name needs the folder's write right.
  if (::faccessat(place.folder, ".", W_OK | X_OK, AT_EACCESS) != 0) return Error(errno);
  return {};
}

Opened CreateExclusive(const std::string& path) {
  if (const int e = Ask(seam::Step::Create, path)) return {Descriptor(), Error(e)};
  Failure failure;
  const Place place = PlaceOf(path, &failure);
  if (failure) return {Descriptor(), failure};
  Descriptor fd(::openat(place.folder, place.name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) return {Descriptor(), Error(errno)};
  return {std::move(fd), {}};
}

NameKind KindOf(const std::string& path, mode_t* mode) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return NameKind::Missing;
  if (S_ISDIR(st.st_mode)) return NameKind::Folder;
  if (!S_ISREG(st.st_mode)) return NameKind::Other;
  if (mode != nullptr) *mode = st.st_mode & 0777;
  return NameKind::Regular;
}

bool Holds(const std::string& path, int fd) {
  Failure failure;
  const Place place = PlaceOf(path, &failure);
  return !failure && NameHolds(place, fd);
}

ssize_t Write(int fd, const void* bytes, size_t count, const std::string& path, Failure* failure) {
  if (count == 0) return 0;
  if (const int e = Ask(seam::Step::Write, path)) {
    *failure = Error(e);
    return -1;
  }
  for (;;) {
    const ssize_t n = ::write(fd, bytes, count);
    if (n > 0) return n;
    if (n < 0 && errno == EINTR) continue;
    *failure = Error(n < 0 ? errno : ENOSPC);
    return -1;
  }
}

Failure WriteAll(int fd, const void* bytes, size_t count, const std::string& path) {
  const char* at = static_cast<const char*>(bytes);
  Failure failure;
  while (count > 0) {
    const ssize_t n = Write(fd, at, count, path, &failure);
    if (n < 0) return failure;
    at += n;
    count -= size_t(n);
  }
  return {};
}

Failure Truncate(int fd, off_t size, const std::string& path) {
  if (const int e = Ask(seam::Step::Write, path)) return Error(e);
  return ::ftruncate(fd, size) == 0 ? Failure{} : Error(errno);
}

Failure Sync(int fd, const std::string& path) {
  if (const int e = Ask(seam::Step::Sync, path)) return Error(e);
  return ::fsync(fd) == 0 ? Failure{} : Error(errno);
}

Failure ChangeMode(int fd, mode_t mode, const std::string&) {
  return ::fchmod(fd, mode & 0777) == 0 ? Failure{} : Error(errno);
}

Failure Publish(int fd, const std::string& from, const std::string& to) {
  if (const int e = Ask(seam::Step::Rename, to)) return Error(e);
  Place source, target;
  if (Failure failure = PlaceBoth(from, to, source, target)) return failure;
  struct stat held {};
  if (::fstat(fd, &held) != 0) return Error(errno);
  // A second name would let someone else rewrite the file once published.
  if (held.st_nlink != 1 || !NameHolds(source, fd)) return Swapped();
  if (::renameat(source.folder, source.name.c_str(), target.folder, target.name.c_str()) != 0) return Error(errno);
  if (::fstat(fd, &held) != 0) return Error(errno);
  if (!NameHolds(target, fd) || held.st_nlink != 1) {
    // A later save of the same file may have replaced this one already: the
    // name then holds another new file of no other name (some file systems
    // still count the name this file lost), or none when a still later save
    // is replacing that one as it is looked at. Anything else there (a pipe,
    // a file with a second name), or a second name of this file, is not what
    // was saved.
    struct stat named {};
    const bool later = ::fstat(fd, &held) == 0 && held.st_nlink <= 1 &&
                       ::fstatat(target.folder, target.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISREG(named.st_mode) && named.st_nlink <= 1;
    if (!later) return Swapped();
  }
  // Makes the rename itself durable; a file system that refuses costs only
  // that guarantee.
  ::fsync(target.folder);
  return {};
}

Failure Rename(const std::string& from, const std::string& to) {
  if (const int e = Ask(seam::Step::Rename, to)) return Error(e);
  Place source, target;
  if (Failure failure = PlaceBoth(from, to, source, target)) return failure;
  if (::renameat(source.folder, source.name.c_str(), target.folder, target.name.c_str()) != 0) return Error(errno);
  Forget(from);
  ::fsync(target.folder);
  return {};
}

Failure Link(const std::string& from, const std::string& to) {
  if (const int e = Ask(seam::Step::Create, to)) return Error(e);
  Place source, target;
  if (Failure failure = PlaceBoth(from, to, source, target)) return failure;
  if (::linkat(source.folder, source.name.c_str(), target.folder, target.name.c_str(), 0) != 0) return Error(errno);
  return {};
}

Failure Remove(const std::string& path) {
  if (const int e = Ask(seam::Step::Remove, path)) return Error(e);
  Forget(path);
  Failure failure;
  const Place place = PlaceOf(path, &failure);
  if (failure) return failure.error == ENOENT ? Failure{} : failure;
  if (::unlinkat(place.folder, place.name.c_str(), 0) != 0 && errno != ENOENT) return Error(errno);
  return {};
}

void RemoveOwn(const std::string& path, int fd) noexcept {
  try {
    Forget(path);
    Failure failure;
    const Place place = PlaceOf(path, &failure);
    if (!failure && NameHolds(place, fd)) ::unlinkat(place.folder, place.name.c_str(), 0);
  } catch (...) {
    // Out of memory on a clean-up's road: the name as it stands, with
    // nothing more to allocate.
    struct stat named {}, held {};
    if (::lstat(path.c_str(), &named) == 0 && ::fstat(fd, &held) == 0 && SameFile(named, held))
      ::unlink(path.c_str());
  }
}

Failure MakeFolder(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (const int e = Ask(seam::Step::MakeFolder, folder)) return Error(e);
  Failure failure;
  const Place place = PlaceOf(folder, &failure);
  if (failure) return failure;
  if (::mkdirat(place.folder, place.name.c_str(), 0777) != 0 && errno != EEXIST) return Error(errno);
  const int fd = ::openat(place.folder, place.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    // A link to a folder found there is used as a folder, as any path on the
    // way is, but not held.
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
    return errno == ENOENT ? Error(ENOENT) : Taken();
  }
  Registry& r = Held();
  std::lock_guard lock(r.mutex);
  const auto [it, added] = r.folders.try_emplace(FolderKey(folder), fd);
  if (!added) {
    ::close(it->second);
    it->second = fd;
  }
  return {};
}

void RemoveTemporaries() {
  Registry& r = Held();
  std::lock_guard lock(r.mutex);
  for (const Temporary& t : r.temporaries) {
    struct stat named {};
    if (::fstatat(t.folder, t.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(named, t.made))
      ::unlinkat(t.folder, t.name.c_str(), 0);
    ::close(t.folder);
  }
  r.temporaries.clear();
}

void seam::SetFaults(Faults faults) { gFaults = std::move(faults); }

}  // namespace klt::files
