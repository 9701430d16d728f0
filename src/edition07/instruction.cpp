#include "instruction.h"

#include "main_window.h"

namespace edition07 {

// Three characters compared with four zeros, as the rule stands: never equal.
QString TfrmInstruction::VariantOf(const QString &code) { return station::VariantByCode(code, QStringLiteral("0000")); }

TfrmInstruction::TfrmInstruction(TfrmMain &main)
    : TCodeEntry(main, {.codeLength = 5,
                        .shortCodeReason = QString::fromUtf8("Код участника должен состоять из 5 цифр"),
                        .codeFontPixels = 27,
                        .variantOf = &TfrmInstruction::VariantOf,
                        // Tasks 2 and 3 are answered by recordings: a2 and a3
                        // keep the empty text of start-up.
                        .answersReset = {{"a1", "00000"}, {"a4", "00000"}, {"a5", "00000"}, {"a6", "00000"}},
                        .onPress = {},
                        .onAccept = [](TfrmMain &m) { m.FGymEyesDue = true; }}) {}

}  // namespace edition07
