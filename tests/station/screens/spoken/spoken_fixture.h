// The spoken part's screens on a hand-ticked station: a main window with the
// demo task pages in its materials, a participant, and the countdown overlay
// whose modal loop moves the test clock in its quarter-second steps.
#pragma once

#include "../../station_fixture.h"

#include "screens/five_sec.h"

#include "table_store/dataset/blob_stream.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPointer>

#include <fstream>
#include <iterator>

namespace station::testing {

class SpokenFixture : public StationFixture {
 protected:
  // A new window (and with it a new overlay) for the next Station().
  void Restart() {
    window_.reset();
    log_.events.clear();
    digits_.clear();
    FakeAudio::Get().Reset();
  }

  // A window as the spoken part finds it: one variant with the demo's task
  // pages, a participant and a station, the limits of the edition, and the
  // countdown overlay created.
  TfrmMain &Station() {
    TfrmMain &w = Window();
    if (!overlay_) {
      const std::string pages = ReadBytes(STATION_DEMO_BUILD_DIR "/v0/VariantText.pdf");
      EXPECT_GT(pages.size(), 1000u) << "demo pages are built with the tests";
      ts::TdvoMemTable &table = *w.complects;
      table.Open();
      table.Append();
      table.FieldNamed("VarNo").SetAsInteger(0);
      auto stream = table.OpenBlobStream(table.FieldNamed("VariantText"), ts::TBlobStreamMode::Write);
      stream->WriteBuffer(pages.data(), std::int64_t(pages.size()));
      stream.reset();
      table.Post();
      w.FStationKey = QStringLiteral("01.06.2020_5_001234_0007_2");
      w.FStudID = QStringLiteral("0042");
      // Owned by the window, as in the program.
      overlay_ = new T_FiveSec(w, loop_);
      overlay_->RunModalLoop = [this](T_FiveSec &o) {
        digits_.push_back({});
        // The nested loop: time passes in the overlay's steps until it closes.
        for (int step = 0; o.Showing() && step < 100; ++step) {
          if (onStep_) onStep_(step);
          loop_.Advance(250);
          digits_.back().push_back(o.Panel1->text());
        }
      };
    }
    return w;
  }

  // The image of `page` of the task pages, as a screen would show it.
  QImage Page(int page) {
    QLabel picture;
    Station().ShowPDFPage(&picture, "VariantText", page);
    return picture.pixmap().toImage();
  }

  // Ticks `seconds` whole seconds of the station.
  void Seconds(int seconds) { loop_.AdvanceSeconds(seconds); }

  std::string ParticipantFolder() const { return dir_ + "/Answer_01.06.2020_5_001234_0007_2/0042/"; }

  QPointer<T_FiveSec> overlay_;
  // Per showing of the overlay, the caption after each quarter second.
  std::vector<QStringList> digits_;
  std::function<void(int)> onStep_;
};

}  // namespace station::testing
