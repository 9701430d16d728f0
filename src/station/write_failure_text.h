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

// `error` is the system's error number; `taken` tells that the name is held
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
