#include "screens/instruction.h"

#include "main_window11.h"
#include "station_texts.h"

namespace station {

QString TfrmInstruction::VariantOf(const QString &code) { return VariantByCode(code, QStringLiteral("000")); }

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
