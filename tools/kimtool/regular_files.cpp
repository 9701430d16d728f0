#include "regular_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kim_file.h"
#include "regular_file.h"

namespace kim {

std::string ReadRegularFile(const std::string& file) {
  const station::OpenedFile opened = station::OpenRegularForReading(file);
  if (opened.notRegular) throw KimError("not a regular file");
  if (opened.file == nullptr) throw KimError(std::string("cannot be read: ") + std::strerror(opened.error));
  std::string bytes;
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, opened.file)) > 0) bytes.append(chunk, n);
  const bool failed = std::ferror(opened.file) != 0;
  const int error = errno;
  std::fclose(opened.file);
  if (failed) throw KimError(std::string("cannot be read: ") + std::strerror(error));
  return bytes;
}

void RefuseIrregularOutput(const std::string& file) {
  // The name itself, not what a link there leads to: the new file is
  // renamed over the name, which would put it in the link's place.
  struct stat named {};
  if (::lstat(file.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) throw KimError(file + ": not a regular file");
}

}  // namespace kim
