// The station's files as C streams, opened through the file door: the
// materials read, kim.tmp written.
#pragma once

#include <cstdio>
#include <string>

namespace station {

struct OpenedFile {
  std::FILE *file = nullptr;  // null when the file could not be opened
  int error = 0;              // the system's error number, 0 when notRegular
  bool notRegular = false;    // something other than a regular file has the name
  bool ofFile = false;        // the file at the name refused, not its folder
  int fd = -1;                // CreateRegularForWriting: a second descriptor of the file made, to
                              // read it back by; the caller closes it
};

// Opens an existing regular file for reading.
OpenedFile OpenRegularForReading(const std::string &path);

// Makes a new file of the station's own at `path` for writing, removed when
// the station ends by a signal; whatever else has the name is left as it is.
// What is written goes out through the file door.
OpenedFile CreateRegularForWriting(const std::string &path);

}  // namespace station
