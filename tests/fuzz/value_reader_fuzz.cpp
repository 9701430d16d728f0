// Fuzz target: the value reader over arbitrary bytes. The first byte picks
// the reader's buffer size (so that values cut by buffer ends are reached);
// the rest is the stream, read value by value until it ends or the reader
// raises its read error. Any other exception, a crash, a leak or a huge
// allocation is a finding.
//
// Every value read is written again and read back; it must come back the
// same, and closing the reader must leave the stream just behind the last
// value consumed.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "table_store/binary_format/value_reader.h"
#include "table_store/binary_format/value_writer.h"
#include "table_store/errors.h"
#include "table_store/streams.h"

namespace {

using ts::TReader;
using ts::TValueType;

struct TListBegin {};
struct TListEnd {};
using TItem = std::variant<TListBegin, TListEnd, int32_t, double, bool, std::string>;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Reads one value the way its tag asks for.
void ReadOne(TReader& r, std::vector<TItem>& items) {
  switch (r.NextValue()) {
    case ts::vtList:
      r.ReadListBegin();
      items.emplace_back(TListBegin{});
      break;
    case ts::vtEnd:
      Check(r.EndOfList());
      r.ReadListEnd();
      items.emplace_back(TListEnd{});
      break;
    case ts::vtInt8:
    case ts::vtInt16:
    case ts::vtInt32:
      items.emplace_back(r.ReadInteger());
      break;
    case ts::vtExtended:
    case ts::vtInt64:
      items.emplace_back(r.ReadFloat());
      break;
    case ts::vtString:
    case ts::vtLString:
    case ts::vtUtf8String:
    case ts::vtWString:
      items.emplace_back(r.ReadString());
      break;
    default:
      // Any other tag reads as a Boolean: true for vtTrue, else false, and
      // only the tag is consumed.
      items.emplace_back(r.ReadBoolean());
      break;
  }
}

bool SameFloat(double a, double b) {
  if (std::isnan(a)) return std::isnan(b);
  uint64_t x, y;
  std::memcpy(&x, &a, 8);
  std::memcpy(&y, &b, 8);
  return x == y;
}

void RoundTrip(const std::vector<TItem>& items) {
  ts::TMemoryStream s;
  {
    ts::TWriter w(s, 7);
    for (const TItem& item : items) {
      if (std::holds_alternative<TListBegin>(item)) w.WriteListBegin();
      if (std::holds_alternative<TListEnd>(item)) w.WriteListEnd();
      if (const auto* v = std::get_if<int32_t>(&item)) w.WriteInteger(*v);
      if (const auto* v = std::get_if<double>(&item)) w.WriteFloat(*v);
      if (const auto* v = std::get_if<bool>(&item)) w.WriteBoolean(*v);
      if (const auto* v = std::get_if<std::string>(&item)) w.WriteString(*v);
    }
    w.FlushBuffer();
  }
  s.SetPosition(0);
  TReader r(s, 5);
  for (const TItem& item : items) {
    if (std::holds_alternative<TListBegin>(item)) r.ReadListBegin();
    if (std::holds_alternative<TListEnd>(item)) r.ReadListEnd();
    if (const auto* v = std::get_if<int32_t>(&item)) Check(r.ReadInteger() == *v);
    if (const auto* v = std::get_if<double>(&item)) Check(SameFloat(r.ReadFloat(), *v));
    if (const auto* v = std::get_if<bool>(&item)) Check(r.ReadBoolean() == *v);
    if (const auto* v = std::get_if<std::string>(&item)) Check(r.ReadString() == *v);
  }
  Check(r.Position() == s.Size());
}

constexpr int32_t kBufferSizes[] = {1, 2, 3, 5, 8, 16, 64, 16384};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t bufferSize = kBufferSizes[data[0] % std::size(kBufferSizes)];
  ts::TMemoryStream stream;
  stream.WriteBuffer(data + 1, static_cast<int64_t>(size - 1));
  stream.SetPosition(0);

  std::vector<TItem> items;
  {
    TReader r(stream, bufferSize);
    try {
      if (size >= 5 && std::memcmp(data + 1, "TPF0", 4) == 0) {
        r.ReadSignature();
        items.emplace_back(r.ReadFileVersion());
      }
      while (r.Position() < stream.Size()) ReadOne(r, items);
    } catch (const ts::EReadError&) {
      // Damaged input ends here; what was read before stands.
    }
    const int64_t at = r.Position();
    r.Close();
    Check(stream.Position() == at);
  }
  RoundTrip(items);
  return 0;
}
