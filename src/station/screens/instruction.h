// Grade-11 code entry: a four-digit participant code; codes 0000 to 0009
// take variant "0".
#pragma once

#include "code_entry.h"

namespace station {

class TfrmInstruction : public TCodeEntry {
 public:
  explicit TfrmInstruction(TfrmMain &main);

  // "0" for 0000 to 0009, else "1" for an odd code and "2" for an even one.
  static QString VariantOf(const QString &code);
};

}  // namespace station
