// The files kimtool reads and writes must be regular files: a named pipe or
// a device would block the tool or feed it without end, and an output
// written in place of a device, a pipe or a link would replace it.
#pragma once

#include <string>

namespace kim {

// The whole of `file`. Failures raise KimError with the reason alone ("not
// a regular file", "cannot be read: ..."), for the caller to lead with the
// name it knows the file by.
std::string ReadRegularFile(const std::string& file);

// Raises KimError "FILE: not a regular file" when something other than a
// regular file has the name `file`; a link counts as other, whatever it
// points to. A missing name passes.
void RefuseIrregularOutput(const std::string& file);

}  // namespace kim
