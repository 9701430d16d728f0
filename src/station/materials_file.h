// The materials file's container: a signed 32-bit little-endian count N of
// inflated bytes, then a zlib stream, up to the file's end, whose first N
// inflated bytes are the materials table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace station {

enum class InflateResult {
  Ok,
  NoCount,        // fewer than 4 bytes
  EmptyCount,     // N is 0 or negative: nothing is written
  DamagedData,    // the zlib data is not valid
  BadCheck,       // the stream's check value does not match the inflated bytes
  CutShort,       // the file ends inside the zlib stream
  ShortStream,    // the stream ends before N bytes
  TrailingBytes,  // bytes follow the end of the stream
  WriteFailed,
};

// Reads the count from `in` and writes exactly N inflated bytes to `out`.
// The stream is inflated to its end all the same, so that its check value
// is verified; inflated bytes beyond N are dropped. The file must end with
// the stream. On WriteFailed, `writeError` (when given) gets the system's
// error number of the failed write. `place` (when given) gets the byte of
// the container where a damaged stream went wrong: the byte the inflater
// refused, the check value's first byte, the file's end where it was cut
// short, the stream's end, or the first byte after the stream.
InflateResult InflateMaterials(std::FILE *in, std::FILE *out, int *writeError = nullptr,
                               std::int64_t *place = nullptr);

// The same from memory, for tools and benchmarks.
InflateResult InflateMaterials(const std::string &container, std::string &body, std::int64_t *place = nullptr);

// Builds a container of `body` (count plus zlib stream); `extra` bytes are
// appended to the inflated data beyond the count. A body the count cannot
// hold (over 2 GB) raises std::length_error, a compression failure
// std::runtime_error.
std::string PackMaterials(const std::string &body, const std::string &extra = {});

}  // namespace station
