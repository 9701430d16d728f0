// The decoder's vector path (utf8_decoder.h), written once for any vector
// width. Only the files that build it for one width of the processor's
// vector unit include this header, each compiled for that unit; so that
// nothing compiled for a wider unit can take the place of ordinary code,
// everything here is either a plain declaration or has internal linkage.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ts::utf8 {

// The sequences of two and three bytes that have a byte in the code page
// start with five leads: 0xC2, 0xD0, 0xD1, 0xD2 (U+0080..U+04BF) and 0xE2
// (U+2000..U+213F). The last byte's high nibble picks a row of 16 code
// points; a row is a table of 16 bytes, a plain offset from the last byte
// (most of the Cyrillic letters), or, after 0xC2, the last byte itself
// where the code page keeps the Latin-1 character.
struct TVectorTables {
  alignas(16) uint8_t row0400[16];  // 0xD0 0x80..0x8F
  alignas(16) uint8_t row0450[16];  // 0xD1 0x90..0x9F
  alignas(16) uint8_t row0490[16];  // 0xD2 0x90..0x9F
  alignas(16) uint8_t row2010[16];  // 0xE2 0x80 0x90..0x9F
  alignas(16) uint8_t row2020[16];  // 0xE2 0x80 0xA0..0xAF
  alignas(16) uint8_t row2030[16];  // 0xE2 0x80 0xB0..0xBF
  alignas(16) uint8_t row20A0[16];  // 0xE2 0x82 0xA0..0xAF
  alignas(16) uint8_t row2110[16];  // 0xE2 0x84 0x90..0x9F
  alignas(16) uint8_t row2120[16];  // 0xE2 0x84 0xA0..0xAF
  // Bit (high nibble - 8) set where U+0080..U+00BF keeps its own byte.
  alignas(16) uint8_t latinBits[16];
  alignas(16) uint8_t highNibbleBit[16];
  // Per mask of eight lanes to keep: the kept lanes' indexes, packed to the
  // front (0x80 fills, which selects zero).
  alignas(16) uint64_t pack[256];
};

// Built once from the code page.
const TVectorTables& VectorTables();

// Steps one sequence at a time from `at` while it lies before `until`;
// returns where it stopped, which is before `until` only when a sequence is
// cut off by the end of a piece that is not the last.
size_t StepUntil(const uint8_t* s, size_t at, size_t until, size_t n, bool final, char*& out, bool& replaced);

// The vector path for 16, 32 and 64 bytes at a time; each needs its unit
// (SSSE3 and AVX2, with POPCNT; AVX-512 BW, VBMI and VBMI2). Return the
// input bytes used and add the bytes written to `written`.
size_t DecodeVector16(const char* in, size_t n, bool final, char* out, size_t& written, bool& replaced);
size_t DecodeVector32(const char* in, size_t n, bool final, char* out, size_t& written, bool& replaced);
size_t DecodeVector64(const char* in, size_t n, bool final, char* out, size_t& written, bool& replaced);

namespace {

inline bool IsLead(uint8_t c) { return c == 0xC2 || c == 0xD0 || c == 0xD1 || c == 0xD2 || c == 0xE2; }

// Bytes at the end of a decoded block that begin a sequence still open:
// its lead in the last lane, or a three-byte lead in the one before.
inline size_t OpenTail(const uint8_t* end) {
  if (IsLead(end[-1])) return 1;
  return end[-2] == 0xE2 ? 2 : 0;
}

// One block of V::kBytes input bytes, decoded as far as it holds ASCII and
// sequences of two and three bytes that have a byte in the code page.
// `before` holds the bytes before the block (zeros at a sequence boundary),
// since a sequence may begin there. Writes the bytes of the sequences that
// end in the block to `out` (always V::kBytes bytes are stored, so `out`
// needs room for as many) and returns how many count; returns -1 and writes
// nothing useful when the block holds anything else, and sets `stop` to the
// lanes that do.
template <class V>
inline int DecodeBlock(typename V::Vec b, typename V::Vec before, char* out, uint64_t& stop, const TVectorTables& t) {
  using Vec = typename V::Vec;
  const Vec zero = V::Zero();
  const Vec prev1 = V::Prev1(b, before);  // the byte before each lane
  const Vec prev2 = V::Prev2(b, before);  // the one before that

  // Lanes by what they hold, and by what the bytes before them ask for.
  // Continuation bytes 0x80..0xBF are the signed bytes below -64.
  const Vec nonAscii = V::CmpLt(b, zero);
  const Vec cont = V::CmpLt(b, V::Bytes(0xC0));
  const Vec lead = V::Or(V::Or(V::CmpEq(b, V::Bytes(0xC2)), V::CmpEq(b, V::Bytes(0xD0))),
                         V::Or(V::Or(V::CmpEq(b, V::Bytes(0xD1)), V::CmpEq(b, V::Bytes(0xD2))),
                               V::CmpEq(b, V::Bytes(0xE2))));
  const Vec afterC2 = V::CmpEq(prev1, V::Bytes(0xC2));
  const Vec afterD0 = V::CmpEq(prev1, V::Bytes(0xD0));
  const Vec afterD1 = V::CmpEq(prev1, V::Bytes(0xD1));
  const Vec afterD2 = V::CmpEq(prev1, V::Bytes(0xD2));
  const Vec second = V::Or(V::Or(afterC2, afterD0), V::Or(afterD1, afterD2));
  const Vec middle = V::CmpEq(prev1, V::Bytes(0xE2));
  const Vec third = V::CmpEq(prev2, V::Bytes(0xE2));
  const Vec last = V::Or(second, third);  // lanes that end a sequence of two or three
  // A continuation where none is asked for, none where one is, a byte that
  // is neither ASCII, a continuation nor one of the five leads.
  Vec bad = V::Xor(V::Or(last, middle), cont);
  bad = V::Or(bad, V::AndNot(V::Or(cont, lead), nonAscii));

  // The code-page byte of each lane that ends a sequence, 0 where there is
  // none.
  const Vec low = V::And(b, V::Bytes(0x0F));
  const Vec high = V::And(V::ShiftRight4(b), V::Bytes(0x0F));
  const Vec high8 = V::CmpEq(high, V::Bytes(8));
  const Vec high9 = V::CmpEq(high, V::Bytes(9));
  const Vec highA = V::CmpEq(high, V::Bytes(0xA));
  const Vec highB = V::CmpEq(high, V::Bytes(0xB));
  const Vec latin = V::And(V::Lookup(t.latinBits, low), V::Lookup(t.highNibbleBit, high));
  const Vec fromC2 = V::AndNot(V::CmpEq(latin, zero), b);
  const Vec fromD0 =
      V::Or(V::And(high8, V::Lookup(t.row0400, low)), V::AndNot(high8, V::Add(b, V::Bytes(0x30))));
  const Vec fromD1 = V::Or(V::And(high8, V::Add(b, V::Bytes(0x70))), V::And(high9, V::Lookup(t.row0450, low)));
  const Vec fromD2 = V::And(high9, V::Lookup(t.row0490, low));
  const Vec from80 = V::Or(V::Or(V::And(high9, V::Lookup(t.row2010, low)), V::And(highA, V::Lookup(t.row2020, low))),
                           V::And(highB, V::Lookup(t.row2030, low)));
  const Vec from82 = V::And(highA, V::Lookup(t.row20A0, low));
  const Vec from84 = V::Or(V::And(high9, V::Lookup(t.row2110, low)), V::And(highA, V::Lookup(t.row2120, low)));
  const Vec fromE2 = V::Or(V::Or(V::And(V::CmpEq(prev1, V::Bytes(0x80)), from80),
                                 V::And(V::CmpEq(prev1, V::Bytes(0x82)), from82)),
                           V::And(V::CmpEq(prev1, V::Bytes(0x84)), from84));
  const Vec mapped = V::Or(V::Or(V::Or(V::And(afterC2, fromC2), V::And(afterD0, fromD0)),
                                 V::Or(V::And(afterD1, fromD1), V::And(afterD2, fromD2))),
                           V::And(third, fromE2));
  bad = V::Or(bad, V::And(last, V::CmpEq(mapped, zero)));

  stop = V::MoveMask(bad);
  if (stop != 0) return -1;

  // ASCII lanes keep their byte, the last lane of a sequence takes its
  // character's; the other lanes of a sequence are dropped.
  const Vec value = V::Or(V::AndNot(nonAscii, b), V::And(last, mapped));
  const uint64_t keep = V::MoveMask(V::Or(V::CmpEq(nonAscii, zero), last));
  return V::StorePacked(out, value, keep, t);
}

template <class V>
inline size_t DecodeVectors(const char* in, size_t n, bool final, char* out, size_t& written, bool& replaced) {
  using Vec = typename V::Vec;
  constexpr size_t kBytes = V::kBytes;
  const TVectorTables& t = VectorTables();
  const auto* s = reinterpret_cast<const uint8_t*>(in);
  char* o = out;
  size_t i = 0;     // input decoded, the open sequence at its end included
  size_t open = 0;  // bytes of that sequence (its output comes with its last byte)
  Vec before = V::Zero();
  while (n - i >= kBytes) {
    // Never more is written than read, so the output has room for the
    // block's bytes whenever as many input bytes remain.
    const Vec b = V::Load(s + i);
    uint64_t stop = 0;
    if (open == 0 && V::MoveMask(b) == 0) {
      V::Store(o, b);
      o += kBytes;
    } else {
      const int count = DecodeBlock<V>(b, before, o, stop, t);
      if (count < 0) {
        // Step one sequence at a time from the start of the open sequence
        // past the first lane the block could not take, then go on from
        // that sequence boundary.
        const size_t past = i + static_cast<size_t>(__builtin_ctzll(stop)) + 1;
        const size_t at = StepUntil(s, i - open, past, n, final, o, replaced);
        i = at;
        open = 0;
        before = V::Zero();
        if (at < past) break;  // a sequence cut off by the end of this piece
        continue;
      }
      o += count;
    }
    i += kBytes;
    open = OpenTail(s + i);
    before = b;
  }
  // The last few bytes, from the start of any sequence still open.
  const size_t consumed = StepUntil(s, i - open, n, n, final, o, replaced);
  written += static_cast<size_t>(o - out);
  return consumed;
}

}  // namespace

}  // namespace ts::utf8
