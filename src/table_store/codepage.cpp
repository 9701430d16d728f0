#include "table_store/codepage.h"

#include <array>
#include <cstring>

#include "table_store/utf8_decoder.h"

namespace ts {

namespace {

// Code points of the bytes 0x80..0xFF; 0x00..0x7F are ASCII.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

constexpr char16_t ToUnicode(unsigned b) { return b < 0x80 ? static_cast<char16_t>(b) : kHigh[b - 0x80]; }

// Reverse direction: the high byte of a BMP code point selects a page of 256
// entries (byte + 1, 0 = no byte). Only four pages hold bytes of this code
// page: 0x00, 0x04, 0x20 and 0x21; every other high byte selects page 0 of
// the table below, which is all zero.
struct TReverse {
  std::array<uint8_t, 256> pageOf{};
  std::array<std::array<uint16_t, 256>, 5> pages{};
};

constexpr TReverse BuildReverse() {
  TReverse r{};
  r.pageOf[0x00] = 1;
  r.pageOf[0x04] = 2;
  r.pageOf[0x20] = 3;
  r.pageOf[0x21] = 4;
  for (unsigned b = 0; b < 256; ++b) {
    const char16_t cp = ToUnicode(b);
    r.pages[r.pageOf[cp >> 8]][cp & 0xFF] = static_cast<uint16_t>(b + 1);
  }
  return r;
}

constexpr TReverse kReverse = BuildReverse();

// UTF-8 form of every byte: up to 3 bytes packed little-endian into a word,
// so that a writer can store the whole word and advance by the count.
struct TUtf8Entry {
  uint32_t packed;
  uint8_t len;
};

constexpr std::array<TUtf8Entry, 256> BuildUtf8() {
  std::array<TUtf8Entry, 256> t{};
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned cp = ToUnicode(b);
    if (cp < 0x80) {
      t[b] = {cp, 1};
    } else if (cp < 0x800) {
      t[b] = {(0xC0 | (cp >> 6)) | ((0x80 | (cp & 0x3F)) << 8), 2};
    } else {
      t[b] = {(0xE0 | (cp >> 12)) | ((0x80 | ((cp >> 6) & 0x3F)) << 8) | ((0x80 | (cp & 0x3F)) << 16), 3};
    }
  }
  return t;
}

constexpr std::array<TUtf8Entry, 256> kUtf8 = BuildUtf8();

constexpr uint64_t kHighBits = 0x8080808080808080ull;

inline uint64_t Load8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

inline bool Lookup(char32_t cp, uint8_t& byte) {
  if (cp > 0xFFFF) return false;
  const uint16_t entry = kReverse.pages[kReverse.pageOf[cp >> 8]][cp & 0xFF];
  if (entry == 0) return false;
  byte = static_cast<uint8_t>(entry - 1);
  return true;
}

}  // namespace

char16_t Cp1251ToUnicode(uint8_t byte) { return ToUnicode(byte); }

bool UnicodeToCp1251(char32_t codePoint, uint8_t& byte) { return Lookup(codePoint, byte); }

std::string Cp1251ToUtf8(std::string_view bytes) {
  size_t total = 0;
  for (unsigned char b : bytes) total += kUtf8[b].len;
  std::string out(total, '\0');
  char* p = out.data();
  for (unsigned char b : bytes) {
    const TUtf8Entry& e = kUtf8[b];
    const uint32_t w = e.packed;
    for (unsigned k = 0; k < e.len; ++k) p[k] = static_cast<char>(w >> (8 * k));
    p += e.len;
  }
  return out;
}

int64_t Cp1251Utf8Size(std::string_view text) {
  const char* p = text.data();
  size_t n = text.size();
  int64_t total = 0;
  while (n > 0) {
    if (n >= 8 && (Load8(p) & kHighBits) == 0) {
      p += 8, n -= 8, total += 8;
      continue;
    }
    total += kUtf8[static_cast<uint8_t>(*p)].len;
    ++p, --n;
  }
  return total;
}

size_t EncodeCp1251ToUtf8(const char* in, size_t n, char* out) {
  char* const start = out;
  size_t i = 0;
  while (i < n) {
    if (i + 8 <= n && (Load8(in + i) & kHighBits) == 0) {
      std::memcpy(out, in + i, 8);
      out += 8, i += 8;
      continue;
    }
    const TUtf8Entry& e = kUtf8[static_cast<uint8_t>(in[i++])];
    // Little-endian word; its spare bytes are overwritten by what follows.
    const uint32_t w = e.packed;
    std::memcpy(out, &w, 4);
    out += e.len;
  }
  return static_cast<size_t>(out - start);
}

std::u16string Cp1251ToUtf16(std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) out[i] = ToUnicode(static_cast<unsigned char>(bytes[i]));
  return out;
}

std::string Utf8ToCp1251(std::string_view utf8, bool* lossless) {
  std::string out(utf8.size(), '\0');
  const TUtf8Decoded decoded = DecodeUtf8ToCp1251(utf8.data(), utf8.size(), true, out.data());
  out.resize(decoded.written);
  if (lossless) *lossless = !decoded.replaced;
  return out;
}

std::string Utf16ToCp1251(std::u16string_view utf16, bool* lossless) {
  std::string out;
  out.reserve(utf16.size());
  bool exact = true;
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char16_t u = utf16[i];
    uint8_t byte = 0;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      ++i;  // a pair stands for one code point above U+FFFF, which has no byte
      out += '?';
      exact = false;
    } else if (u < 0x80) {
      out += static_cast<char>(u);
    } else if ((u < 0xD800 || u > 0xDFFF) && Lookup(u, byte)) {
      out += static_cast<char>(byte);
    } else {
      out += '?';
      exact = false;
    }
  }
  if (lossless) *lossless = exact;
  return out;
}

}  // namespace ts
