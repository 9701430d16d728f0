// File-system paths of the station.
#pragma once

#include <string>
#include <string_view>

namespace station {

// Paths are written with "\" in the station's own path expressions; the file
// system wants "/".
std::string ToSlashPath(std::string_view path);

// The folder of the running program file, with a trailing "/".
std::string ProgramFolder();

// The current working directory as an absolute path with a trailing "/".
std::string AbsoluteWorkingFolder();

// The folder part of a path, with its trailing "/"; "./" for a bare name.
std::string FolderOf(std::string_view path);

}  // namespace station
