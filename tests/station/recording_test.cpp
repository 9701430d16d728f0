#include "station_fixture.h"

using namespace station;
using namespace station::testing;

using StationRecording = StationFixture;

namespace {
const char kPath[] = ".\\Answer_2020-06-01_5_001234_0007_2\\0007\\0007_5.ogg";
const char kSlashPath[] = "./Answer_2020-06-01_5_001234_0007_2/0007/0007_5.ogg";
}  // namespace

TEST_F(StationRecording, StartAndStopFollowTheRecordingRoad) {
  TfrmMain &w = Window();
  FakeAudio &audio = FakeAudio::Get();
  w.StartRecording(kPath);
  EXPECT_EQ(RecChannel, 101u);
  EXPECT_EQ(audio.calls, (std::vector<std::string>{"RecordSetDevice 1", "RecordStart 44100 2 32768 proc nouser",
                                                    "Encode_Start 101 262144 noproc nouser", "ChannelPlay 101 0"}));
  EXPECT_EQ(audio.lastCommandLine, std::string("oggenc.exe -o ") + kSlashPath + " -");
  EXPECT_TRUE(boxes_.shown.empty());

  audio.calls.clear();
  audio.encoderPollsAfterStop = 3;  // the encoder is still writing the file's end
  w.StopRecording(kPath);
  EXPECT_EQ(RecChannel, 0u);
  EXPECT_EQ(RecPlayStream, 500u);
  ASSERT_FALSE(audio.calls.empty());
  EXPECT_EQ(audio.calls.front(), "ChannelStop 101");
  EXPECT_EQ(audio.calls.back(), std::string("StreamCreateFile 0 ") + kSlashPath + " 0 0 0");
  EXPECT_EQ(std::count(audio.calls.begin(), audio.calls.end(), "Encode_IsActive"), 4)
      << "the file is opened only once the encoder has finished";

  // The next recording frees the playback of the last one first.
  audio.calls.clear();
  w.StartRecording(kPath);
  EXPECT_EQ(audio.calls.front(), "StreamFree 500");
  EXPECT_EQ(RecPlayStream, 0u);
}

TEST_F(StationRecording, StopWaitsOnlyAFewSecondsForAnEncoderThatDoesNotFinish) {
  TfrmMain &w = Window();
  FakeAudio &audio = FakeAudio::Get();
  w.StartRecording(kPath);
  audio.encoderPollsAfterStop = -1;
  w.StopRecording(kPath);
  EXPECT_GE(loop_.SleptMs(), 3000);
  EXPECT_LT(loop_.SleptMs(), 3100);
  EXPECT_EQ(RecPlayStream, 500u) << "the file is opened all the same";
}

TEST_F(StationRecording, FailedRecordingStartIsReportedAndLeavesNoChannel) {
  TfrmMain &w = Window();
  FakeAudio &audio = FakeAudio::Get();
  audio.nextRecordHandle = 0;
  audio.failureCode = 46;
  w.StartRecording(kPath);
  EXPECT_EQ(RecChannel, 0u);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text,
            U("Невозможно начать запись. Возможно работу приложения блокирует антивирус\n(Код ошибки: 46)"));
  EXPECT_EQ(boxes_.shown[0].caption, U("Ошибка"));
  EXPECT_FALSE(audio.Called("Encode_Start"));

  // Stopping after a failed start stops nothing and opens a file that does
  // not exist, so the playback that follows is silent.
  audio.calls.clear();
  audio.nextStream = 0;
  w.StopRecording(kPath);
  EXPECT_EQ(audio.calls.front(), "ChannelStop 0");
  EXPECT_FALSE(audio.Called("Encode_IsActive"));
  EXPECT_EQ(RecPlayStream, 0u);
}

TEST_F(StationRecording, MissingEncoderIsReportedStopsTheChannelAndCanBeRetried) {
  TfrmMain &w = Window();
  FakeAudio &audio = FakeAudio::Get();
  audio.encoderStarts = false;
  audio.failureCode = 2;
  w.StartRecording(kPath);
  EXPECT_EQ(RecChannel, 0u);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, U("Невозможно запустить процесс сжатия аудиозаписи...\nПроверьте наличие файла "
                                    "OGGENC.EXE в рабочем каталоге\n(Код ошибки: 2)"));
  EXPECT_TRUE(audio.Called("ChannelStop 101"));
  EXPECT_FALSE(audio.Called("ChannelPlay"));

  audio.encoderStarts = true;
  audio.calls.clear();
  w.StartRecording(kPath);
  EXPECT_EQ(RecChannel, 101u);
  EXPECT_TRUE(audio.Called("ChannelPlay 101 0"));
  EXPECT_EQ(boxes_.shown.size(), 1u);
}

TEST_F(StationRecording, CallbackGoesOnOnlyWhileTheEncoderRuns) {
  FakeAudio &audio = FakeAudio::Get();
  audio.encoderActive = true;
  EXPECT_NE(TfrmMain::RecordProc(101, nullptr, 0, nullptr), 0);
  audio.encoderActive = false;  // the encoder stopped on its own
  EXPECT_EQ(TfrmMain::RecordProc(101, nullptr, 0, nullptr), 0);
}
