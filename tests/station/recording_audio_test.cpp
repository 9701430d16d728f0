// The recording services on the real audio layer, with a scripted microphone
// and the real Ogg Vorbis encoder.
#include "audio_handles.h"
#include "edition_settings.h"
#include "main_window.h"
#include "manual_loop.h"
#include "scripted_messages.h"

#include "platform/audio/audio_seam.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <sys/resource.h>

using namespace station;
using namespace station::testing;
namespace seam = klt::audio::seam;

namespace {

class StationAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    char tmpl[] = "/tmp/station_audio_XXXXXX";
    dir_ = mkdtemp(tmpl);
    std::filesystem::current_path(dir_);
    RecChannel = RecPlayStream = 0;
    ASSERT_TRUE(seam::UseScriptedDevices(seam::SineMicrophone(440, kSeconds)));
    window_ = MakeMainWindow(Grade11Settings(), StationServices{loop_, boxes_});
    window_->InitAudio();
    ASSERT_TRUE(window_->FAudioReady);
    std::filesystem::create_directories(kFolder);
  }
  void TearDown() override {
    window_.reset();  // releases the audio library
    seam::SetEncoderSearchPath(std::nullopt);
    seam::WaitEncodersEnded(std::chrono::seconds(10));
    seam::UseSystemDevices();
    std::filesystem::current_path(old_cwd_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  // Waits for the layer's recording thread to have taken the whole signal.
  bool WaitSignalTaken() {
    const auto frames = std::uint64_t(kSeconds * 44100);
    for (int i = 0; i < 10000 && seam::MicrophoneFramesDelivered() < frames; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return seam::MicrophoneFramesDelivered() >= frames;
  }

  static constexpr double kSeconds = 2.0;
  // Blanks, quotes and Cyrillic letters: the path is one argument of the
  // encoder whatever it holds.
  static constexpr char kFolder[] = "Answer_20 мая \"A B\"/0007/";
  std::filesystem::path old_cwd_;
  std::string dir_;
  ManualLoop loop_;
  ScriptedMessages boxes_{loop_};
  std::unique_ptr<TfrmMain> window_;
};

TEST_F(StationAudio, RecordingLeavesAPlayableOggFileOfTheRecordedLength) {
  const std::string path = dir_ + "/" + kFolder + "0007_0.ogg";
  window_->StartRecording(path);
  ASSERT_NE(RecChannel, 0u) << (boxes_.shown.empty() ? "" : boxes_.shown[0].text.toStdString());
  ASSERT_TRUE(WaitSignalTaken());
  window_->StopRecording(path);
  EXPECT_EQ(RecChannel, 0u);
  ASSERT_NE(RecPlayStream, 0u);
  const double seconds = BASS_ChannelBytes2Seconds(RecPlayStream, BASS_ChannelGetLength(RecPlayStream, BASS_POS_BYTE));
  EXPECT_NEAR(seconds, kSeconds, 0.05);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(kFolder), {}), 1) << "no file beside it";
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(StationAudio, MissingEncoderIsReportedAndLeavesNoChannel) {
  seam::SetEncoderSearchPath(std::string());
  window_->StartRecording(std::string(kFolder) + "0007_5.ogg");
  EXPECT_EQ(RecChannel, 0u);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(
      QString::fromUtf8("Невозможно запустить процесс сжатия аудиозаписи...\nПроверьте наличие файла OGGENC.EXE в "
                        "рабочем каталоге\n(Код ошибки: ")));
  EXPECT_FALSE(boxes_.shown[0].text.endsWith(": 0)")) << "the layer's own error code is shown";
}

TEST_F(StationAudio, ARecordingWhoseFileCannotGrowIsToldWhileItRunsAndNotOfferedAsGood) {
  // A size limit stands for the full disk: the encoder cannot write its
  // file and ends; the limit is lifted before anything else is written.
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 0;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const std::string path = dir_ + "/" + kFolder + "0007_5.ogg";
  window_->StartRecording(path);
  ASSERT_NE(RecChannel, 0u);
  // The encoder ends on its own; the station's watch of the recording sees it.
  for (int i = 0; i < 10000 && boxes_.shown.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    loop_.Advance(1000);
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text.toStdString(),
            (QString::fromUtf8("Невозможно записать файл \"") + QString::fromStdString(path) +
             QString::fromUtf8("\".\n\rПричина: файл превышает допустимый размер"))
                .toStdString());
  EXPECT_FALSE(window_->StopRecording(path));
  EXPECT_EQ(boxes_.shown.size(), 1u) << "told once";
}

TEST_F(StationAudio, ALinkAtTheRecordingsNameIsNamedAndWhatItPointsToKept) {
  std::ofstream("victim") << "someone else's";
  std::filesystem::create_symlink(dir_ + "/victim", "test.ogg");
  window_->StartRecording("test.ogg");
  EXPECT_EQ(RecChannel, 0u);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.endsWith(QString::fromUtf8("Невозможно создать файл \"%1/test.ogg\".\n\rПричина: "
                                                              "имя test.ogg занято папкой или особым файлом")
                                                .arg(QString::fromStdString(dir_))))
      << boxes_.shown[0].text.toStdString();
  std::ifstream in("victim");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "someone else's");
}

}  // namespace
