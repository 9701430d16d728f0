// Helpers for the table stream tests: saving a table into bytes, loading
// bytes into a table, and building streams value by value.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "byte_streams.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/mem_table.h"

namespace ts::test {

inline Bytes SaveBytes(TdvoCustomMemTable& table, TdvoCustomStreamFormat* format = nullptr) {
  TdvoBinaryStreamFormat standard;
  TMemoryStream s;
  table.SaveStreamWithFormat(s, format != nullptr ? format : &standard);
  return StreamBytes(s);
}

inline void LoadBytes(TdvoCustomMemTable& table, const Bytes& bytes, TdvoCustomStreamFormat* format = nullptr) {
  TdvoBinaryStreamFormat standard;
  TMemoryStream s;
  Fill(s, bytes);
  table.LoadStreamWithFormat(s, format != nullptr ? format : &standard);
}

// The bytes of a value sequence, for streams written by hand.
inline Bytes Values(const std::function<void(TWriter&)>& write) { return Written(write, 1); }

// The head of a stream of the given file version ("TPF0" and the version
// value; version 100 has none).
inline Bytes Head(int32_t version) {
  return Values([&](TWriter& w) {
    w.Write("TPF0", 4);
    if (version != 100) w.WriteInteger(version);
  });
}

// The message of the exception `action` raises ("" when none).
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

}  // namespace ts::test
