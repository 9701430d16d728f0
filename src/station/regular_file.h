// Opening a file that must be a regular file. A named pipe, a device, a
// socket or a folder in its place would block the opener before anything is
// shown, or feed it without end; such a name is refused before it is opened,
// and again on the opened descriptor, so that a swap between the two cannot
// hang the caller either.
#pragma once

#include <cstdio>
#include <string>

namespace station {

struct OpenedFile {
  std::FILE *file = nullptr;  // null when the file could not be opened
  int error = 0;              // the system's error number, 0 when notRegular
  bool notRegular = false;    // something other than a regular file has the name
};

// Opens an existing regular file for reading.
OpenedFile OpenRegularForReading(const std::string &path);

// Creates a regular file for writing, or empties the one that has the name;
// a link at the name counts as not regular and is left as it is.
OpenedFile CreateRegularForWriting(const std::string &path);

}  // namespace station
