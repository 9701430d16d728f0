#include "station_fixture.h"

#include <filesystem>
#include <functional>
#include <memory>


using namespace station;
using namespace station::testing;


namespace {
// A folder with a blank and Cyrillic letters in it: the path must reach the
// encoder as one argument.
const char kFolder[] = "Answer_20 мая \"2020\"_5_001234_0007_2/0007/";
const char kPath[] = "Answer_20 мая \"2020\"_5_001234_0007_2/0007/0007_5.ogg";
}  // namespace

class StationRecordings : public StationFixture {
 protected:
  void SetUp() override {
    StationFixture::SetUp();
    std::filesystem::create_directories(kFolder);
  }
};

TEST_F(StationRecordings, StartAndStopFollowTheRecordingRoad) {
  TfrmMain &w = Window();
  FakeAudio &audio = FakeAudio::Get();
  w.StartRecording(kPath);
  EXPECT_EQ(RecChannel, 101u);
  EXPECT_EQ(audio.calls, (std::vector<std::string>{"RecordSetDevice 1", "RecordStart 44100 2 32768 proc nouser",
                                                    "Encode_Start 101 262144 noproc nouser", "ChannelPlay 101 0"}));
  EXPECT_EQ(audio.lastArguments, (std::vector<std::string>{"oggenc.exe", "-o", kPath, "-"}));
  EXPECT_TRUE(boxes_.shown.empty());

  audio.calls.clear();
  audio.encoderPollsAfterStop = 3;  // the encoder is still writing the file's end
  w.StopRecording(kPath);
  EXPECT_EQ(RecChannel, 0u);
  EXPECT_EQ(RecPlayStream, 500u);
  ASSERT_FALSE(audio.calls.empty());
  EXPECT_EQ(audio.calls[1], "ChannelStop 101");
  EXPECT_EQ(audio.calls.back(), std::string("StreamCreateFile 0 ") + kPath + " 0 0 0");
  EXPECT_EQ(std::count(audio.calls.begin(), audio.calls.end(), "Encode_IsActive"), 4)
      << "the file is opened only once the encoder has finished";
  EXPECT_TRUE(boxes_.shown.empty());

  // The next recording frees the playback of the last one first.
  audio.calls.clear();
  w.StartRecording(kPath);
  EXPECT_EQ(audio.calls.front(), "StreamFree 500");
  EXPECT_EQ(RecPlayStream, 0u);
}

TEST_F(StationRecordings, TheExamClockRunsWhileStopWaitsForTheEncoder) {
  TfrmMain &w = Window();
  FakeAudio &audio = FakeAudio::Get();
  w.TimerControl->SetEnabled(true);
  w.StartRecording(kPath);
  audio.encoderPollsAfterStop = -1;  // never finishes: the wait gives up
  const int before = w.FElapsedSeconds;
  w.StopRecording(kPath);
  EXPECT_GE(loop_.SleptMs(), 3000);
  EXPECT_LT(loop_.SleptMs(), 3100);
  EXPECT_EQ(w.FElapsedSeconds - before, 3) << "the clock ticked through the wait";
  EXPECT_EQ(RecPlayStream, 500u) << "the file is opened all the same";
}

TEST_F(StationRecordings, LostRecordingsAreToldOnceWithTheirFileAndReason) {
  TfrmMain &w = Window();
  FakeAudio &audio = FakeAudio::Get();
  const QString whole = QString::fromStdString(dir_) + "/" + QString::fromUtf8(kPath);
  const QString writeProblem = U("Невозможно записать файл \"%1\".\n\rПричина: %2").arg(whole);
  struct Case {
    const char *what;
    bool endsByItself;  // the encoder stopped while recording
    bool writes;        // what it left can be played
    std::function<void()> during;  // done to the file while it is recorded
    const char *reason;
  };
  std::unique_ptr<SizeLimit> limit;
  const Case cases[] = {
      {"the encoder ended on its own", true, true, [] {}, "программа сжатия аудиозаписи прекратила работу до окончания записи"},
      {"the file cannot grow (full disk)", true, false, [&] { limit = std::make_unique<SizeLimit>(4096); },
       "файл превышает допустимый размер"},
      {"the folder went away", true, false, [] { std::filesystem::remove_all(kFolder); }, "папка не найдена"},
      {"nothing playable was written", false, false, [] {}, "программа сжатия аудиозаписи прекратила работу до окончания записи"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    boxes_.shown.clear();
    std::filesystem::create_directories(kFolder);
    audio.channelEnded = false;
    audio.encoderWrites = c.writes;
    w.StartRecording(kPath);
    ASSERT_NE(RecChannel, 0u);
    c.during();
    audio.channelEnded = c.endsByItself;
    audio.encoderActive = !c.endsByItself;
    loop_.Advance(1000);
    if (c.endsByItself) {
      // Told while the screen still records, not when its time is up.
      ASSERT_EQ(boxes_.shown.size(), 1u);
      EXPECT_EQ(boxes_.shown[0].text.toStdString(), writeProblem.arg(U(c.reason)).toStdString());
      EXPECT_EQ(boxes_.shown[0].caption, U("Ошибка"));
      EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::MainWindow);
      loop_.Advance(3000);
      EXPECT_EQ(boxes_.shown.size(), 1u) << "told once";
    } else {
      EXPECT_TRUE(boxes_.shown.empty());
    }
    EXPECT_FALSE(w.StopRecording(kPath)) << "a lost recording is never offered as good";
    limit.reset();
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text.toStdString(), writeProblem.arg(U(c.reason)).toStdString());
  }

  // A whole recording: nothing told, and it is good.
  boxes_.shown.clear();
  std::filesystem::create_directories(kFolder);
  audio.channelEnded = false;
  audio.encoderWrites = true;
  w.StartRecording(kPath);
  loop_.Advance(3000);
  EXPECT_TRUE(w.StopRecording(kPath));
  EXPECT_TRUE(boxes_.shown.empty());

  // A folder that cannot take the file: no recording starts.
  w.StartRecording("no such folder/0007_5.ogg");
  EXPECT_EQ(RecChannel, 0u);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text.toStdString(),
            U("Невозможно начать запись. Возможно работу приложения блокирует антивирус\n"
              "(Код ошибки: %1)\nНевозможно создать файл \"%2/no such folder/0007_5.ogg\".\n\rПричина: папка не найдена")
                .arg(BASS_ERROR_FILEOPEN)
                .arg(QString::fromStdString(dir_))
                .toStdString())
      << "the whole path, the reason in the station's words";
  EXPECT_FALSE(std::filesystem::exists("no such folder")) << "nothing is left of the search for the reason";
  EXPECT_TRUE(audio.Called("ChannelStop 101"));
}

TEST_F(StationRecordings, FailedRecordingStartIsReportedAndLeavesNoChannel) {
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

TEST_F(StationRecordings, MissingEncoderIsReportedStopsTheChannelAndCanBeRetried) {
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

TEST_F(StationRecordings, CallbackGoesOnOnlyWhileTheEncoderRuns) {
  FakeAudio &audio = FakeAudio::Get();
  audio.encoderActive = true;
  EXPECT_NE(TfrmMain::RecordProc(101, nullptr, 0, nullptr), 0);
  audio.encoderActive = false;  // the encoder stopped on its own
  EXPECT_EQ(TfrmMain::RecordProc(101, nullptr, 0, nullptr), 0);
}
