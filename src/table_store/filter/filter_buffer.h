// The compiled form of a filter expression: one contiguous little-endian
// byte buffer, read by the evaluator and by anyone who inspects a program.
//
//   bytes 0-1  format version (2)
//   bytes 2-3  total size in bytes
//   bytes 4-5  node count, always 0xFFFF (not maintained)
//   bytes 6-7  start of the node area (10)
//   bytes 8-9  start of the literal area (10 + size of the node area)
//
// A node is a 32-bit kind and a 32-bit operator followed by 16-bit operands.
// An operand naming a node is that node's offset from the start of the node
// area; one naming a literal is its offset from the start of the literal
// area. The first node is the root.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace ts::filter {

inline constexpr uint16_t kBufferVersion = 2;
inline constexpr uint16_t kNodeCountUnknown = 0xFFFF;
inline constexpr uint16_t kNodeAreaStart = 10;
inline constexpr size_t kNodeHeaderSize = 8;

enum TNodeKind : uint32_t {
  nkNull = 0,
  nkUnary = 1,
  nkBinary = 2,
  nkCompare = 3,
  nkField = 4,
  nkConstant = 5,
  nkFunction = 10,
  nkListElement = 11,
};

enum TNodeOperator : uint32_t {
  opIsBlank = 1,
  opNotBlank = 2,
  opEqual = 3,
  opNotEqual = 4,
  opGreater = 5,
  opLess = 6,
  opGreaterOrEqual = 7,
  opLessOrEqual = 8,
  opNot = 9,
  opAnd = 10,
  opOr = 11,
  opField = 13,
  opConstant = 14,
  opNegate = 15,
  opAdd = 16,
  opSubtract = 17,
  opMultiply = 18,
  opDivide = 19,
  opModulo = 20,
  opRemainder = 21,
  opLike = 30,
  opIn = 31,
  opUpper = 33,
  opLower = 34,
  opFunction = 35,
  opListElement = 36,
};

// Bytes of a node of each kind (header and operands).
inline constexpr size_t kUnaryNodeSize = kNodeHeaderSize + 2;
inline constexpr size_t kBinaryNodeSize = kNodeHeaderSize + 4;
inline constexpr size_t kCompareNodeSize = kNodeHeaderSize + 8;
inline constexpr size_t kFieldNodeSize = kNodeHeaderSize + 4;
inline constexpr size_t kConstantNodeSize = kNodeHeaderSize + 6;
inline constexpr size_t kFunctionNodeSize = kNodeHeaderSize + 4;
inline constexpr size_t kListNodeSize = kNodeHeaderSize + 4;

inline uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace ts::filter
