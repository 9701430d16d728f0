// The materials file's container: a signed 32-bit little-endian count N of
// inflated bytes, then a zlib stream whose first N inflated bytes are the
// materials table. What follows the stream's end is not read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace station {

enum class InflateResult {
  Ok,
  NoCount,        // fewer than 4 bytes
  EmptyCount,     // N is 0 or negative: nothing is written
  DamagedData,    // the zlib data is not valid
  BadCheck,       // the stream's check value does not match the inflated bytes
  CutShort,       // the file ends inside the zlib stream
  ShortStream,    // the stream ends before N bytes
  RefusedHead,    // the body's first bytes cannot begin what it must hold
  WriteFailed,
};

// Whether the first bytes of the body (as many as have arrived, at most
// kBodyHeadBytes) can begin what the container must hold. A body refused
// here is not inflated any further.
using BodyHeadCheck = std::function<bool(std::string_view head)>;
inline constexpr std::size_t kBodyHeadBytes = 16;

// Inflates a container piece by piece, as its reader asks, so that only a
// buffer's worth of the body is held at a time. Bytes the stream holds
// beyond N are inflated (the check value covers them) but not given out.
class MaterialsInflater {
 public:
  // `read` gives the container's bytes after the count, as a file read does
  // (0 at the end).
  using Reader = std::function<std::size_t(unsigned char *, std::size_t)>;
  MaterialsInflater(Reader read, BodyHeadCheck head = nullptr);
  ~MaterialsInflater();
  MaterialsInflater(const MaterialsInflater &) = delete;
  MaterialsInflater &operator=(const MaterialsInflater &) = delete;

  // Takes the count, given by the caller from the container's first bytes
  // (`got` of them, at most 4). False, with Result() set, when there is no
  // body to inflate.
  bool Begin(const unsigned char *count, std::size_t got);
  std::int32_t Count() const;

  // Up to `len` more of the body's N bytes; 0 at their end or on damage,
  // which Result() then tells.
  std::size_t Read(unsigned char *out, std::size_t len);
  // Inflates the rest of the stream without keeping it, so that its check
  // value is verified; the container's result.
  InflateResult Finish();

  InflateResult Result() const;
  // The byte of the container where damage was met: the byte the inflater
  // refused, the check value's first byte, the file's end where it was cut
  // short, or the stream's end.
  std::int64_t Place() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// Reads the count from `in` and writes exactly N inflated bytes to `out`,
// then verifies the rest of the stream. On WriteFailed, `writeError` (when
// given) gets the system's error number of the failed write; `place` (when
// given) gets the damage's byte (MaterialsInflater::Place).
InflateResult InflateMaterials(std::FILE *in, std::FILE *out, int *writeError = nullptr,
                               std::int64_t *place = nullptr, const BodyHeadCheck &head = nullptr);

// The same from memory, for tools and benchmarks.
InflateResult InflateMaterials(const std::string &container, std::string &body, std::int64_t *place = nullptr);

// Builds a container of `body` (count plus zlib stream); `extra` bytes are
// appended to the inflated data beyond the count. A body the count cannot
// hold (over 2 GB) raises std::length_error, a compression failure
// std::runtime_error.
std::string PackMaterials(const std::string &body, const std::string &extra = {});

}  // namespace station
