#include "materials_file.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
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

}  // namespace

struct MaterialsInflater::State {
  Reader read;
  BodyHeadCheck head;
  z_stream zs{};
  bool started = false;
  std::vector<unsigned char> in = std::vector<unsigned char>(kChunk);
  std::vector<unsigned char> out = std::vector<unsigned char>(kChunk);
  std::size_t outPos = 0, outEnd = 0;
  std::int32_t count = 0;
  std::int64_t given = 0;     // of the body's N bytes
  std::int64_t produced = 0;  // everything the stream inflated to so far
  std::string headSeen;
  bool inputDone = false;
  bool streamEnded = false;
  InflateResult result = InflateResult::Ok;

  bool Failed() const { return result != InflateResult::Ok; }
  bool Fail(InflateResult r) {
    result = r;
    return false;
  }

  // The body's first bytes as they arrive, until there are enough of them
  // to judge (or the body has no more).
  bool CheckHead(std::size_t fresh) {
    if (!head) return true;
    const std::size_t wanted = std::min<std::size_t>(kBodyHeadBytes, std::size_t(count));
    if (headSeen.size() >= wanted) return true;
    const std::int64_t before = produced - std::int64_t(fresh);
    if (before >= std::int64_t(wanted)) return true;
    const std::size_t take = std::min<std::size_t>(fresh, wanted - headSeen.size());
    headSeen.append(reinterpret_cast<const char *>(out.data()), take);
    return head(headSeen) || Fail(InflateResult::RefusedHead);
  }

  // One inflate call into the output buffer, which it replaces.
  bool Step() {
    if (zs.avail_in == 0 && !inputDone) {
      const std::size_t got = read(in.data(), in.size());
      if (got == 0) inputDone = true;
      zs.next_in = in.data();
      zs.avail_in = static_cast<uInt>(got);
    }
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_NO_FLUSH);
    outPos = 0;
    outEnd = out.size() - zs.avail_out;
    produced += std::int64_t(outEnd);
    if (rc == Z_DATA_ERROR) return Fail(CheckValueFailed(zs) ? InflateResult::BadCheck : InflateResult::DamagedData);
    if (rc == Z_NEED_DICT || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) return Fail(InflateResult::DamagedData);
    if (!CheckHead(outEnd)) return false;
    if (rc == Z_STREAM_END) {
      streamEnded = true;
      return true;
    }
    // No progress is possible without more input, and there is none.
    if (rc == Z_BUF_ERROR && inputDone) return Fail(InflateResult::CutShort);
    return true;
  }
};

MaterialsInflater::MaterialsInflater(Reader read, BodyHeadCheck head) : s_(std::make_unique<State>()) {
  s_->read = std::move(read);
  s_->head = std::move(head);
}

MaterialsInflater::~MaterialsInflater() {
  if (s_->started) inflateEnd(&s_->zs);
}

bool MaterialsInflater::Begin(const unsigned char *count, std::size_t got) {
  if (got < 4) return s_->Fail(InflateResult::NoCount);
  s_->count = CountFrom(count);
  if (s_->count <= 0) return s_->Fail(InflateResult::EmptyCount);
  if (inflateInit(&s_->zs) != Z_OK) return s_->Fail(InflateResult::DamagedData);
  s_->started = true;
  return true;
}

std::int32_t MaterialsInflater::Count() const { return s_->count; }

std::size_t MaterialsInflater::Read(unsigned char *out, std::size_t len) {
  State &s = *s_;
  std::size_t done = 0;
  while (s.started && done < len && s.given < s.count && !s.Failed()) {
    if (s.outPos == s.outEnd) {
      if (s.streamEnded) {
        s.Fail(InflateResult::ShortStream);
        break;
      }
      s.Step();
      continue;
    }
    const std::size_t n = std::min({len - done, s.outEnd - s.outPos, std::size_t(s.count - s.given)});
    std::memcpy(out + done, s.out.data() + s.outPos, n);
    s.outPos += n;
    s.given += std::int64_t(n);
    done += n;
  }
  return done;
}

InflateResult MaterialsInflater::Finish() {
  State &s = *s_;
  while (s.started && !s.Failed() && !s.streamEnded) s.Step();
  if (!s.Failed() && s.produced < s.count) s.Fail(InflateResult::ShortStream);
  return s.result;
}

InflateResult MaterialsInflater::Result() const { return s_->result; }

std::int64_t MaterialsInflater::Place() const {
  // The inflater has taken exactly the bytes it looked at: the last of them
  // is the one it refused, and the check value is its last four.
  const std::int64_t taken = 4 + std::int64_t(s_->zs.total_in);
  switch (s_->result) {
    case InflateResult::DamagedData: return taken - 1;
    case InflateResult::BadCheck: return taken - 4;
    default: return taken;
  }
}

namespace {

// Runs `inflater` over the container whose first bytes are `count`, handing
// the body to `write` piece by piece.
InflateResult Unpack(MaterialsInflater &inflater, const unsigned char *count, std::size_t got,
                     const std::function<bool(const unsigned char *, std::size_t)> &write, std::int64_t *place) {
  InflateResult result = InflateResult::Ok;
  if (inflater.Begin(count, got)) {
    std::vector<unsigned char> piece(kChunk);
    while (const std::size_t n = inflater.Read(piece.data(), piece.size())) {
      if (!write(piece.data(), n)) {
        result = InflateResult::WriteFailed;
        break;
      }
    }
    if (result == InflateResult::Ok) result = inflater.Finish();
  } else {
    result = inflater.Result();
  }
  if (place) *place = inflater.Place();
  return result;
}

}  // namespace

InflateResult InflateMaterials(std::FILE *in, std::FILE *out, int *writeError, std::int64_t *place,
                               const BodyHeadCheck &head) {
  unsigned char count[4];
  const std::size_t got = std::fread(count, 1, 4, in);
  MaterialsInflater inflater([in](unsigned char *buf, std::size_t len) { return std::fread(buf, 1, len, in); },
                             head);
  return Unpack(
      inflater, count, got,
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
  std::size_t pos = std::min<std::size_t>(4, container.size());
  MaterialsInflater inflater([&](unsigned char *buf, std::size_t len) {
    const std::size_t take = std::min(len, container.size() - pos);
    std::memcpy(buf, container.data() + pos, take);
    pos += take;
    return take;
  });
  return Unpack(
      inflater, reinterpret_cast<const unsigned char *>(container.data()), pos,
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
