#include "prepare1.h"

#include "../audio_handles.h"
#include "../main_window.h"

#include <QLabel>
#include <QPushButton>

namespace station {

namespace {

constexpr char kAudioFile[] = "~$t1a.tmp";

}  // namespace

TfrmPrepare1::TfrmPrepare1(TfrmMain &main) : TTimedFrame(main) {
  BuildPanel(41, QString::fromUtf8("Подготовка к выполнению задания № 1"), QString::fromUtf8("Я готов!"));
  Button1->hide();
}

int TfrmPrepare1::Limit() const { return main_.FPrepare1Seconds; }

void TfrmPrepare1::Start(std::optional<int>) {
  // Audio that could not be copied out plays as none, for the limit of none.
  SetUpStep([&] { CopyBlobToFile(main_, "AudioPrep", kAudioFile); });
  main_.FPrepare1Seconds = OpenAudioWithLimit(Prepare1Stream, WorkFile(main_, kAudioFile));
  SetTopBar(QString::fromUtf8("Воспроизводится запись:"), true);
  StartCounting();
  BASS_ChannelPlay(Prepare1Stream, 1);
  RaiseKeptStartError();
}

int TfrmPrepare1::EndWork() {
  CloseAudio(Prepare1Stream, WorkFile(main_, kAudioFile));
  return 11;
}

}  // namespace station
