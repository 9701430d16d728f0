// Opening a file to write at a name that something else may hold. A
// symbolic link, folder, named pipe, device or socket at the name is refused
// without being followed or opened: writing through a link would overwrite
// whatever it points to, and opening a pipe would block the writer or end
// its reader. Links on the way to the name's folder are followed as usual,
// so a working folder reached through a link stays usable.
#pragma once

#include <string>

namespace klt::files {

struct WritableFile {
  int fd = -1;           // open for writing, close-on-exec; -1 when refused
  int error = 0;         // the system's error number; 0 when `taken`
  bool taken = false;    // something other than a regular file has the name
  bool created = false;  // no file had the name; this call made it
};

enum class Contents { Keep, Empty };

// Opens the regular file at `path` for writing, making it when nothing has
// the name. An existing file keeps its bytes or is emptied as `contents`
// says. The caller owns the descriptor.
WritableFile OpenWritable(const std::string &path, Contents contents);

}  // namespace klt::files
