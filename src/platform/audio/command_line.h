// Turning the encoder command line that the station builds into a program and
// an argument vector, without any shell in between.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace klt::audio {

// Splits at runs of blanks and tabs. A double-quoted stretch keeps its blanks
// and loses its quotes. An unterminated quote or an empty line gives nothing.
std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line);

// The name this platform gives a program the command line names: a trailing
// ".exe" (any case) is dropped, so "oggenc.exe" becomes "oggenc".
std::string LocalProgramName(std::string_view name);

// Finds an executable regular file for a program name. A name with a slash is
// taken as a path; otherwise the working directory comes first, then each
// folder of searchPath (colon-separated, as PATH). Empty when none is found.
std::string FindProgram(const std::string &name, const std::string &searchPath);

} // namespace klt::audio
