// A main window with a few variants (each with the instruction page) and a
// station key, for the code-entry and spoken-code screens.
#pragma once

#include "../../station_fixture.h"

#include "screens/instruction.h"
#include "screens/rec_stud_id.h"

#include "table_store/dataset/blob_stream.h"

#include <QApplication>
#include <QKeyEvent>

#include <fstream>
#include <iterator>
#include <utility>

namespace station::testing {

inline const char kStationKey[] = "2020-06-01_5_001234_0007_2";

class CodeScreens : public StationFixture {
 protected:
  struct Row {
    int varNo;
    int zone;
  };

  // The station as the hardware check leaves it; the first row is current.
  TfrmMain &Station(const std::vector<Row> &rows = {{1, 1}, {0, 1}, {2, 1}}) {
    TfrmMain &w = Window();
    w.PrepareAnswers();
    std::ifstream in(STATION_DEMO_BUILD_DIR "/intro.pdf", std::ios::binary);
    const std::string intro{std::istreambuf_iterator<char>(in), {}};
    EXPECT_GT(intro.size(), 1000u) << "demo pages are built with the tests";
    ts::TdvoMemTable &c = *w.complects;
    c.Open();
    for (const Row &r : rows) {
      c.Append();
      c.FieldNamed("VarNo").SetAsInteger(r.varNo);
      c.FieldNamed("Zone").SetAsInteger(r.zone);
      auto blob = c.OpenBlobStream(c.FieldNamed("Intro"), ts::TBlobStreamMode::Write);
      blob->WriteBuffer(intro.data(), std::int64_t(intro.size()));
      blob.reset();
      c.Post();
    }
    c.First();
    w.FStationKey = U(kStationKey);
    return w;
  }

  TfrmInstruction *EntryScreen() { return dynamic_cast<TfrmInstruction *>(Window().CurrentFrame()); }
  TfrmRecStudID *SpokenScreen() { return dynamic_cast<TfrmRecStudID *>(Window().CurrentFrame()); }

  std::string Answer(const char *field) { return Window().answers->FieldNamed(field).AsString(); }

  // The participant's folder as the station writes it.
  std::string Folder(const std::string &code) {
    return Window().AnswerRoot() + "Answer_" + kStationKey + "/" + code;
  }
};

inline void Type(QWidget *box, Qt::Key key, const QString &text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(box, &press);
}

}  // namespace station::testing
