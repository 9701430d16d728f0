// Why a file cannot be made, in the system's words, for the messages that
// report a file the station could not write (a recording that cannot start).
#pragma once

#include <QString>

#include <string>

namespace station {

// "Cannot create file "<path>". <reason>", or the same for the first folder
// on the way that is missing and cannot be made (or that a file occupies),
// since that is what keeps the file from being made. Empty when the file can
// be made after all. Nothing is left behind: a file or folder made to learn
// the reason is removed again.
QString CreationProblem(const std::string &path);

}  // namespace station
