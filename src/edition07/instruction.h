// Grade-7 code entry: a five-digit participant code; the variant by the
// code's parity.
#pragma once

#include "screens/code_entry.h"

namespace edition07 {

using station::TfrmMain;

class TfrmInstruction : public station::TCodeEntry {
 public:
  explicit TfrmInstruction(TfrmMain &main);

  // "1" for an odd code, "2" for an even one. The leading-zeros test that
  // leads to variant "0" compares three characters with four zeros, which
  // never holds, so no five-digit code reaches variant "0".
  static QString VariantOf(const QString &code);
};

}  // namespace edition07
