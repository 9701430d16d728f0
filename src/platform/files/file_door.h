// The one place where the programs and the store open, make, replace, sync,
// rename and remove files. What they promise about their files holds here:
//  - a file made is the caller's own new file: whatever held the name (a
//    link, a pipe, a device, a folder) is refused without being followed or
//    opened, and a regular file there, hard-linked or not, loses only that
//    name and is never written into;
//  - a file made inside a folder this program made is made through that
//    folder's descriptor, so a link swapped in for the folder leads nowhere;
//  - a published new version is synced through the descriptor that wrote it
//    and the name holds that very file afterwards, or the step fails;
//  - temporary files are gone when RemoveTemporaries runs, as the programs'
//    ends by a signal do.
// Failures carry the system's error number, for each program to tell in its
// own words.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace klt::files {

struct Failure {
  int error = 0;        // the system's error number
  bool taken = false;   // a folder, link, pipe, device or socket holds the name
  bool ofFile = false;  // refused by the file already at the name, not by its folder
  bool swapped = false; // the name went to another file between two steps
  explicit operator bool() const { return error != 0 || taken || swapped; }
};

// The failure in the system's words, for the store's and kimtool's messages.
std::string Reason(const Failure& failure);

// An open descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor();
  Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  int Get() const { return fd_; }
  int Release();
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

struct Opened {
  Descriptor fd;  // open and close-on-exec; empty on failure
  Failure failure;
};

enum class Access { Read, Write, ReadWrite };
enum class Lifetime { Kept, Temporary };
enum class NameKind { Missing, Regular, Folder, Other };

// An existing regular file for reading; anything else at the name is
// refused as taken before it could block the reader.
Opened OpenRegular(const std::string& path);
// An existing file, as the store's streams open one: links followed, a
// folder refused.
Opened OpenExisting(const std::string& path, Access access);
// A new file of the caller's own at `path`, for reading and writing; mode
// 0666 before the umask. A regular file at the name that the caller may not
// write is refused (ofFile).
Opened CreateOwn(const std::string& path, Lifetime lifetime = Lifetime::Kept);
// Why CreateOwn would fail at `path` now, changing nothing that is there (a
// file made to learn it is removed again); no failure when it would not.
Failure CreationFailure(const std::string& path);
// Made only where nothing has the name (EEXIST otherwise).
Opened CreateExclusive(const std::string& path);

// What has the name itself (a link counts as Other); `mode` gets its
// permission bits when it is a regular file, without set-id bits.
NameKind KindOf(const std::string& path, mode_t* mode = nullptr);
// Whether `path`, a link left unfollowed, names the file open as `fd`.
bool Holds(const std::string& path, int fd);

// The bytes one write takes (-1 with `failure` set; a full disk that takes
// nothing counts as ENOSPC), or all of them.
ssize_t Write(int fd, const void* bytes, size_t count, const std::string& path, Failure* failure);
Failure WriteAll(int fd, const void* bytes, size_t count, const std::string& path);
Failure Truncate(int fd, off_t size, const std::string& path);
Failure Sync(int fd, const std::string& path);
Failure ChangeMode(int fd, mode_t mode, const std::string& path);

// Renames the file open as `fd` from `from` to `to`, replacing `to`:
// `from` must still name that file and nothing else may name it; afterwards
// `to` names it and the rename is synced, or the failure says why.
Failure Publish(int fd, const std::string& from, const std::string& to);
// Plain rename and second name, for the store's persistent files.
Failure Rename(const std::string& from, const std::string& to);
Failure Link(const std::string& from, const std::string& to);
// Removes the name (a missing one is no failure; a folder is never removed).
Failure Remove(const std::string& path);
// Removes the name only while it names the file open as `fd`.
void RemoveOwn(const std::string& path, int fd) noexcept;

// Makes the folder, or finds it there; a folder made (or found as a real
// folder) is held open, and files and folders named inside it are reached
// through it from then on.
Failure MakeFolder(const std::string& path);

// Removes every temporary file still there that this program made.
void RemoveTemporaries();

namespace seam {
// For tests: each step on a path asks this first (Open also before a file
// at a name to be made is taken away, for the right to rewrite it); a
// non-zero answer fails the step with that error number. The call may change the file system
// itself, as a name swapped between two steps.
enum class Step { Open, Create, Write, Sync, Rename, Remove, MakeFolder };
using Faults = std::function<int(Step step, const std::string& path)>;
void SetFaults(Faults faults);
}  // namespace seam

}  // namespace klt::files
