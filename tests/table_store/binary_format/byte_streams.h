// Helpers for the value tests: byte vectors written out by hand, memory
// streams over them, and the bytes a writer produces.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "table_store/binary_format/value_writer.h"
#include "table_store/streams.h"

namespace ts::test {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes StreamBytes(const TMemoryStream& s) {
  return Bytes(s.Memory(), s.Memory() + s.Size());
}

// A memory stream holding `bytes`, positioned at 0.
inline void Fill(TMemoryStream& s, const Bytes& bytes) {
  s.Clear();
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
}

inline Bytes Written(const std::function<void(TWriter&)>& write,
                     int32_t bufferSize = kDefaultValueBufferSize) {
  TMemoryStream s;
  TWriter w(s, bufferSize);
  write(w);
  w.FlushBuffer();
  return StreamBytes(s);
}

}  // namespace ts::test
