// Why a file cannot be made, in the station's words, for the messages that
// report a file the station could not write (a recording that cannot start).
#pragma once

#include <QString>

#include <string>

namespace klt::files {
struct Failure;
}

namespace station {

// "Невозможно создать файл "<whole path>"" with the reason, or the same for
// the first folder on the way that is missing and cannot be made (or that
// something else occupies), since that is what keeps the file from being
// made. Empty when the file can be made after all. Only a regular file is
// ever opened to learn it, and nothing is left behind: a file or folder
// made to learn the reason is removed again.
QString CreationProblem(const std::string &path);

// The message for a file that could not be made: its whole path and the
// reason for `error`, or for a name held by something else when `taken`.
QString FileCreationProblem(const std::string &path, int error, bool taken);
QString FileCreationProblem(const std::string &path, const klt::files::Failure &failure);

// The message for a file that was made but could not be written in full.
QString FileWriteProblem(const std::string &path, int error, bool taken = false);
QString FileWriteProblem(const std::string &path, const klt::files::Failure &failure);

// "Невозможно записать файл "<whole path>"" with the reason why the file,
// which another program was writing and which stopped growing, could not be
// written: its folder or the file gone, no write access, a size limit, a
// read-only or full file system, or kWriterStopped when nothing of these
// holds. The file is only looked at, never opened.
QString WriteProblem(const std::string &path);

}  // namespace station
