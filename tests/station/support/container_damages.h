// Damages to a materials container that the inflater alone can tell, each
// with what the station's reader and kimtool's dump must make of it, and
// changes that are no damage (result Ok: read as the whole container is).
// Meant for the grade-11 demo materials: the byte changed in the middle is
// where a changed byte once unpacked to a different item unnoticed.
#pragma once

#include "materials_file.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace station::testing {

struct ContainerDamage {
  const char *name;
  std::function<std::string(std::string)> apply;
  InflateResult result;
  // The byte where the damage is met, counted back from the damaged
  // container's end.
  std::int64_t placeFromEnd;
  // kimtool's reason after "FILE: Materials container damaged: "; "@" stands
  // for the byte.
  std::string dumpReason;
};

inline std::vector<ContainerDamage> ContainerDamages() {
  const std::string badCheck = "the zlib data's check value at byte @ does not match the data it unpacks to";
  const std::string cutShort = "the file ends at byte @, inside the zlib data";
  const auto flip = [](std::size_t at) {
    return [at](std::string c) {
      c[at] = char(c[at] ^ 0x01);
      return c;
    };
  };
  const auto cut = [](std::size_t n) { return [n](std::string c) { return c.substr(0, c.size() - n); }; };
  return {
      {"a byte in the middle changed", flip(1031996), InflateResult::BadCheck, 4, badCheck},
      {"last byte cut", cut(1), InflateResult::CutShort, 0, cutShort},
      {"last 2 bytes cut", cut(2), InflateResult::CutShort, 0, cutShort},
      {"last 4 bytes cut", cut(4), InflateResult::CutShort, 0, cutShort},
      {"last byte changed", [](std::string c) { c.back() = char(c.back() ^ 0x80); return c; }, InflateResult::BadCheck,
       4, badCheck},
      {"last 4 bytes changed", [](std::string c) { for (std::size_t i = c.size() - 4; i < c.size(); ++i) c[i] = char(~c[i]); return c; },
       InflateResult::BadCheck, 4, badCheck},
      // What follows a whole, verified stream is not read.
      {"a byte after the stream", [](std::string c) { return c + "x"; }, InflateResult::Ok, 1, ""},
      {"garbage after the stream", [](std::string c) { return c + "garbage"; }, InflateResult::Ok, 7, ""},
      {"count one more than the stream holds",
       [](std::string c) {
         for (std::size_t i = 0; i < 4 && ++c[i] == 0; ++i) {
         }
         return c;
       },
       InflateResult::ShortStream, 0, "the body ends before the byte count, where the zlib data ends at byte @"},
  };
}

// A container whose count says 2^31-1 and whose stream inflates to 16 MB of
// zeros, cut before its check value: a reader that inflated it all would
// find it cut short, one that judges the table's first bytes never gets
// there.
inline std::string CompressionBomb() {
  std::string c = PackMaterials(std::string(16 << 20, '\0'));
  c.resize(c.size() - 4);
  c.replace(0, 4, "\xFF\xFF\xFF\x7F");
  return c;
}

// The reason with its byte in place.
inline std::string DumpReason(const ContainerDamage &damage, std::int64_t place) {
  std::string reason = damage.dumpReason;
  reason.replace(reason.find('@'), 1, std::to_string(place));
  return reason;
}

}  // namespace station::testing
