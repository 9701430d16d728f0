// Memory streams filled from and read back as text, for the renderer's tests.
#pragma once

#include "table_store/streams.h"

#include <string>

inline void Fill(ts::TMemoryStream &stream, const std::string &bytes) {
  stream.Clear();
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream.SetPosition(0);
}

inline std::string Contents(const ts::TMemoryStream &stream) {
  return std::string(reinterpret_cast<const char *>(stream.Memory()), static_cast<std::size_t>(stream.Size()));
}
