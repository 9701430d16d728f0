#include "screens/instruction.h"

#include "main_window11.h"
#include "station_texts.h"

namespace station {

QString TfrmInstruction::VariantOf(const QString &code) {
  if (code.left(3) == QStringLiteral("000")) return QStringLiteral("0");
  return (code.right(1).toInt() % 2 != 0) ? QStringLiteral("1") : QStringLiteral("2");
}

TfrmInstruction::TfrmInstruction(TfrmMain &main)
    : TCodeEntry(main, {.codeLength = 4,
                        .shortCodeReason = QString::fromUtf8(texts::kCodeMustHave4Digits),
                        .codeFontPixels = 32,
                        .variantOf = &TfrmInstruction::VariantOf,
                        .answersReset = {{"a1", "00000"},
                                         {"a2", "00000"},
                                         {"a3", ""},
                                         {"a4", "000000"},
                                         {"a5", ""},
                                         {"a6", ""}},
                        // Set also when the code is then refused.
                        .onPress =
                            [](TfrmMain &m) {
                              m.FGymEyesDue = true;
                              Grade11(m).FOralPartStarted = false;
                            },
                        .onAccept = {}}) {}

}  // namespace station
