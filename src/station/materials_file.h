// The materials file's container: a signed 32-bit little-endian count N of
// inflated bytes, then a zlib stream whose first N inflated bytes are the
// materials table.
#pragma once

#include <cstdio>
#include <string>

namespace station {

enum class InflateResult {
  Ok,
  NoCount,       // fewer than 4 bytes
  EmptyCount,    // N is 0 or negative: nothing is written
  DamagedData,   // the zlib data is not valid
  ShortStream,   // the stream ends before N bytes
  WriteFailed,
};

// Reads the count from `in` and writes exactly N inflated bytes to `out`;
// inflated bytes beyond N are not read. On WriteFailed, `writeError` (when
// given) gets the system's error number of the failed write.
InflateResult InflateMaterials(std::FILE *in, std::FILE *out, int *writeError = nullptr);

// The same from memory, for tools and benchmarks.
InflateResult InflateMaterials(const std::string &container, std::string &body);

// Builds a container of `body` (count plus zlib stream); `extra` bytes are
// appended to the inflated data beyond the count. A body the count cannot
// hold (over 2 GB) raises std::length_error, a compression failure
// std::runtime_error.
std::string PackMaterials(const std::string &body, const std::string &extra = {});

}  // namespace station
