// Where a load of the binary stream format had got to. The format keeps it
// up to date as it reads, so that after a failed load a caller can tell
// where the damage was met; the failure's own message stays as it is.
#pragma once

#include <cstdint>
#include <string>

namespace ts {

struct TLoadPlace {
  enum TPart { lpNone, lpHeader, lpFieldDefs, lpIndexDefs, lpRecords };
  TPart part = lpNone;
  // The definition or record entry being read, counted from 0; -1 while
  // the list's own start was. An entry whose list ended early is the one
  // expected next.
  int entry = -1;
  // The stream ended, or held less than the smallest entry, where `entry`
  // or the list's end was due: the load stopped after the last entry.
  bool afterLast = false;
  // Records: the index of the field whose value was being read, -1 while
  // the entry's own values (list tags, status) were.
  int field = -1;
  // The definition's name once it was read; for records the field's name,
  // filled in when the load fails.
  std::string name;
  // The stream position reached when the load failed; -1 until then.
  int64_t offset = -1;
};

}  // namespace ts
