// Why a file or folder the station makes could not be made or written, told
// the user in the station's own words: one table of reasons for every such
// message, never the system's text, which follows the machine's language.
#pragma once

#include <QString>

#include <string>

namespace klt::files {
struct Failure;
}

namespace station {

// Not a system error number: the program that was writing the file ended
// before it was done, while the file itself could still grow.
inline constexpr int kWriterStopped = -1;
// Not a system error number either: the file was taken away while written.
inline constexpr int kFileGone = -2;

// `error` is the system's error number (or kWriterStopped); `taken` tells that the name is held
// by a folder, a link or a special file (and `error` is then not looked
// at). `name` is the file's or folder's own name, without its folder.
QString WriteFailureReason(int error, bool taken, const QString &name);
// The same for a failure of the file door, which also tells whether the
// file at the name refused rather than its folder, or whether another file
// took the name between two steps.
QString WriteFailureReason(const klt::files::Failure &failure, const QString &name);

// A path as the user is to see it: whole, from the root of the file system.
QString WholePath(const std::string &path);

}  // namespace station
