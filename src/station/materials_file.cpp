#include "materials_file.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <vector>

namespace station {
namespace {

constexpr std::size_t kChunk = 1 << 16;

std::int32_t CountFrom(const unsigned char b[4]) {
  const std::uint32_t u = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 |
                          std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
  return static_cast<std::int32_t>(u);
}

// zlib tells a check value that does not match from other damage only by
// its message.
bool CheckValueFailed(const z_stream &zs) {
  return zs.msg != nullptr && std::strcmp(zs.msg, "incorrect data check") == 0;
}

// Inflates the whole stream from `read`, its check value included, and
// passes its first `wanted` bytes to `write`. Bytes that `read` yields after
// the stream's end are damage too. `place` gets the failure's byte in the
// container (the count's 4 bytes first).
InflateResult Inflate(std::int64_t wanted, const std::function<std::size_t(unsigned char *, std::size_t)> &read,
                      const std::function<bool(const unsigned char *, std::size_t)> &write, std::int64_t *place) {
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (inflateInit(&zs) != Z_OK) return InflateResult::DamagedData;
  std::vector<unsigned char> in(kChunk), out(kChunk);
  InflateResult result = InflateResult::Ok;
  bool input_done = false;
  for (;;) {
    if (zs.avail_in == 0 && !input_done) {
      const std::size_t got = read(in.data(), in.size());
      if (got == 0) input_done = true;
      zs.next_in = in.data();
      zs.avail_in = static_cast<uInt>(got);
    }
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_NO_FLUSH);
    const std::size_t produced = out.size() - zs.avail_out;
    const std::size_t kept = std::int64_t(produced) < wanted ? produced : std::size_t(wanted);
    if (kept > 0) {
      if (!write(out.data(), kept)) {
        result = InflateResult::WriteFailed;
        break;
      }
      wanted -= std::int64_t(kept);
    }
    if (rc == Z_STREAM_END) {
      unsigned char after;
      if (wanted > 0)
        result = InflateResult::ShortStream;
      else if (zs.avail_in > 0 || (!input_done && read(&after, 1) > 0))
        result = InflateResult::TrailingBytes;
      break;
    }
    if (rc == Z_DATA_ERROR) {
      result = CheckValueFailed(zs) ? InflateResult::BadCheck : InflateResult::DamagedData;
      break;
    }
    if (rc == Z_NEED_DICT || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) {
      result = InflateResult::DamagedData;
      break;
    }
    // No progress is possible without more input, and there is none.
    if (rc == Z_BUF_ERROR && input_done) {
      result = InflateResult::CutShort;
      break;
    }
  }
  if (place) {
    // The inflater has taken exactly the bytes it looked at: the last of
    // them is the one it refused, and the check value is its last four.
    const std::int64_t taken = 4 + std::int64_t(zs.total_in);
    switch (result) {
      case InflateResult::DamagedData: *place = taken - 1; break;
      case InflateResult::BadCheck: *place = taken - 4; break;
      default: *place = taken; break;
    }
  }
  inflateEnd(&zs);
  return result;
}

}  // namespace

InflateResult InflateMaterials(std::FILE *in, std::FILE *out, int *writeError, std::int64_t *place) {
  unsigned char head[4];
  if (std::fread(head, 1, 4, in) != 4) return InflateResult::NoCount;
  const std::int32_t n = CountFrom(head);
  if (n <= 0) return InflateResult::EmptyCount;
  return Inflate(
      n, [in](unsigned char *buf, std::size_t len) { return std::fread(buf, 1, len, in); },
      [out, writeError](const unsigned char *buf, std::size_t len) {
        if (std::fwrite(buf, 1, len, out) == len) return true;
        // Taken at once: the clean-up after the failure may change errno.
        if (writeError) *writeError = errno;
        return false;
      },
      place);
}

InflateResult InflateMaterials(const std::string &container, std::string &body, std::int64_t *place) {
  body.clear();
  if (container.size() < 4) return InflateResult::NoCount;
  const std::int32_t n = CountFrom(reinterpret_cast<const unsigned char *>(container.data()));
  if (n <= 0) return InflateResult::EmptyCount;
  // A damaged count must not reserve gigabytes: deflate expands at most
  // about 1032-fold, so the data present bounds the body.
  body.reserve(std::min(std::size_t(n), (container.size() - 4) * 1032 + 1024));
  std::size_t pos = 4;
  return Inflate(
      n,
      [&](unsigned char *buf, std::size_t len) {
        const std::size_t take = std::min(len, container.size() - pos);
        std::memcpy(buf, container.data() + pos, take);
        pos += take;
        return take;
      },
      [&](const unsigned char *buf, std::size_t len) {
        body.append(reinterpret_cast<const char *>(buf), len);
        return true;
      },
      place);
}

std::string PackMaterials(const std::string &body, const std::string &extra) {
  // The count is a signed 32-bit number; a larger body has no container.
  if (body.size() > std::size_t(INT32_MAX)) throw std::length_error("materials body larger than 2 GB");
  const std::string all = body + extra;
  uLongf packed_size = compressBound(uLong(all.size()));
  std::string out(4 + packed_size, '\0');
  const int rc = compress2(reinterpret_cast<Bytef *>(&out[4]), &packed_size,
                           reinterpret_cast<const Bytef *>(all.data()), uLong(all.size()), Z_BEST_SPEED);
  if (rc != Z_OK) throw std::runtime_error("materials body could not be compressed");
  out.resize(4 + packed_size);
  const std::uint32_t n = std::uint32_t(body.size());
  for (int i = 0; i < 4; ++i) out[std::size_t(i)] = char((n >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace station
