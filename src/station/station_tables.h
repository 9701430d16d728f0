// The main window's two tables: the materials and the one-record answers.
#pragma once

#include "edition_settings.h"

#include <memory>
#include <vector>

namespace ts {
class TdvoBinaryStreamFormat;
class TdvoMemTable;
}

namespace station {

// The materials table with the fields the window declares. A load replaces
// them with the ones stored in the materials file, so the station relies only
// on the names it reads.
std::unique_ptr<ts::TdvoMemTable> MakeComplectsTable();

// Whether the loaded materials hold what the screens read: a variant, and
// every field of `read` (names matched without regard to case), a blob where
// it is read as one.
bool HoldsWhatIsRead(ts::TdvoMemTable &complects, const std::vector<MaterialsField> &read);

// The answers table: strings a1..a6 of `answerSize` characters and VarNo of
// 20.
std::unique_ptr<ts::TdvoMemTable> MakeAnswersTable(int answerSize);

// The binary stream format component that loads the materials (and, on the
// review screen, saves the answers) with the station's options.
std::unique_ptr<ts::TdvoBinaryStreamFormat> MakeStationFormat();

// Opens the answers table and appends its single record with a1..a6 empty;
// VarNo stays empty until a participant code is accepted.
void AppendEmptyAnswers(ts::TdvoMemTable &answers);

}  // namespace station
