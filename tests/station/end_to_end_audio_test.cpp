// One grade-11 participant from the hardware check to the next participant,
// on the demo materials, the real audio layer (scripted microphone, silent
// output) and the real Ogg Vorbis encoder, in a working folder whose path
// holds blanks and Cyrillic letters. Each screen is saved as a picture.
#include "audio_handles.h"
#include "edition_settings.h"
#include "hardware_check.h"
#include "main_window.h"
#include "manual_loop.h"
#include "participant_folder.h"
#include "scripted_messages.h"
#include "screen_picture.h"
#include "spoken_code.h"
#include "station_tables.h"
#include "ui_text.h"

#include "screens/code_entry.h"
#include "screens/finish_exam.h"
#include "screens/gym_eyes.h"
#include "screens/play_answers.h"
#include "screens/prepare1.h"
#include "screens/rec_stud_id.h"
#include "screens/task1.h"
#include "screens/task2.h"
#include "screens/task3.h"
#include "screens/task4.h"
#include "screens/test_hard.h"

#include "platform/audio/audio_seam.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace station;
using namespace station::testing;
namespace seam = klt::audio::seam;
namespace fs = std::filesystem;

namespace {

class GradeElevenEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    char tmpl[] = "/tmp/station_e2e_XXXXXX";
    root_ = mkdtemp(tmpl);
    work_ = fs::path(root_) / "рабочая папка станции";
    fs::create_directories(work_ / "KIM");
    fs::copy_file(STATION_DEMO_BUILD_DIR "/klt-re11.kim", work_ / "klt-re11.kim");
    fs::copy_file(STATION_DEMO_BUILD_DIR "/KIM/TestWAV.wav", work_ / "KIM/TestWAV.wav");
    fs::current_path(work_);
    RecChannel = RecPlayStream = TestWavStream = Prepare1Stream = Task1Stream = AnswerPlayStream = 0;
    // The microphone speaks in real time, so a recording holds as much as
    // the test waits.
    seam::ScriptedMicrophone mic = seam::SineMicrophone(440, 600);
    mic.realTime = true;
    ASSERT_TRUE(seam::UseScriptedDevices(mic));
  }
  void TearDown() override {
    window_.reset();  // releases the audio library
    seam::WaitEncodersEnded(std::chrono::seconds(10));
    seam::UseSystemDevices();
    fs::current_path(old_cwd_);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  template <class Frame>
  Frame *Now() {
    return dynamic_cast<Frame *>(window_->CurrentFrame());
  }
  // The screen as the pupil sees it, saved beside the tests.
  void Shot(int code) {
    ASSERT_NE(window_->CurrentFrame(), nullptr) << code;
    const QPixmap shot = SettledPicture(*window_);
    EXPECT_EQ(shot.size(), QSize(1016, 713));
    EXPECT_TRUE(shot.save(QString(STATION_TEST_OUTPUT_DIR) + QString("/screen_%1.png").arg(code))) << code;
  }
  // The pupil confirms the early end of a counting screen.
  void EndEarly() {
    auto *frame = Now<TTimedFrame>();
    ASSERT_NE(frame, nullptr);
    boxes_.Queue(BoxAnswer::Yes);
    frame->Button1->click();
    loop_.AdvanceSeconds(1);
    ASSERT_NE(window_->CurrentFrame(), frame);
  }
  static void Speak() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }
  // A recording of the participant opens and lasts a while.
  static double RecordingSeconds(const std::string &path) {
    const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    if (s == 0) return -1;
    const double seconds = BASS_ChannelBytes2Seconds(s, BASS_ChannelGetLength(s, BASS_POS_BYTE));
    BASS_StreamFree(s);
    return seconds;
  }

  fs::path old_cwd_;
  std::string root_;
  fs::path work_;
  ManualLoop loop_;
  ScriptedMessages boxes_{loop_};
  std::unique_ptr<TfrmMain> window_;
};

TEST_F(GradeElevenEndToEnd, OneParticipantFromCodeEntryToTheNext) {
  window_ = MakeMainWindow(Grade11Settings(), StationServices{loop_, boxes_});
  TfrmMain &w = *window_;
  ASSERT_TRUE(w.FormCreate());
  ASSERT_TRUE(w.FAudioReady);
  w.show();

  // 1: the hardware check, its test recording made and played back.
  auto *hard = Now<TfrmTestHard>();
  ASSERT_NE(hard, nullptr);
  Shot(1);
  FillHardwareCheck(*hard, Speak);
  hard->Button1->click();
  loop_.Advance(100);
  ASSERT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].text.toStdString();
  EXPECT_GT(RecordingSeconds("test.ogg"), 0.2);

  // 5: code entry.
  auto *entry = Now<TCodeEntry>();
  ASSERT_NE(entry, nullptr);
  entry->Edit3->setText("0042");
  Shot(5);
  entry->Button1->click();
  loop_.Advance(100);

  // 6: the spoken code.
  auto *spoken = Now<TfrmRecStudID>();
  ASSERT_NE(spoken, nullptr);
  Shot(6);
  RecordSpokenCode(*spoken, Speak);
  loop_.Advance(100);

  // 10: the preparation plays its audio for the audio's length.
  ASSERT_NE(Now<TfrmPrepare1>(), nullptr);
  EXPECT_GT(w.FPrepare1Seconds, 2);
  Shot(10);
  loop_.AdvanceSeconds(w.FPrepare1Seconds + 1);

  // 11: the listening task.
  auto *task1 = Now<TfrmTask1>();
  ASSERT_NE(task1, nullptr);
  Shot(11);
  task1->t2->setCurrentIndex(1);
  EndEarly();

  // 20: task 2, ended late enough for the eye break.
  auto *task2 = Now<TfrmTask2>();
  ASSERT_NE(task2, nullptr);
  task2->Boxes()[0]->setCurrentIndex(2);
  task2->Boxes()[4]->setCurrentIndex(0);
  Shot(20);
  w.FElapsedSeconds = 2200;
  EndEarly();

  // 22: the eye break; its caption keeps clear of its button.
  auto *rest = Now<TfrmGymEyes>();
  ASSERT_NE(rest, nullptr);
  Shot(22);
  const QRect caption = rest->CaptionRect();
  EXPECT_LT(caption.right(), rest->Button1->geometry().left());
  EXPECT_TRUE(rest->Panel1->rect().contains(caption));
  EndEarly();

  // 30: task 3, words typed, one with letters the code page lacks.
  auto *task3 = Now<TfrmTask3>();
  ASSERT_NE(task3, nullptr);
  task3->t1->setText("went");
  task3->t2->setText(QString::fromUtf8("café"));
  task3->t6->setText(QString::fromUtf8("слово"));
  Shot(30);
  EndEarly();

  // 40: task 4.
  auto *task4 = Now<TfrmTask4>();
  ASSERT_NE(task4, nullptr);
  task4->Boxes()[5]->setCurrentIndex(3);
  Shot(40);
  EndEarly();

  // 50, 51: preparation and recording of task 5.
  Shot(50);
  EndEarly();
  Shot(51);
  Speak();
  EndEarly();
  // 60, 69: no photo chosen, task 6 recorded.
  Shot(60);
  EndEarly();
  Shot(69);
  Speak();
  EndEarly();

  // 1000: the review shows the answers and closes the work.
  auto *review = Now<TfrmPlayAnswers>();
  ASSERT_NE(review, nullptr);
  Shot(1000);
  review->Button1->click();
  loop_.Advance(100);
  EXPECT_FALSE(w.TimerControl->Enabled());

  // 1001: the finish screen, then code entry for the next participant.
  auto *finish = Now<TfrmFinishExam>();
  ASSERT_NE(finish, nullptr);
  Shot(1001);
  finish->Button1->click();
  loop_.Advance(10);
  ASSERT_NE(Now<TCodeEntry>(), nullptr);
  EXPECT_EQ(boxes_.shown.size(), 9u) << "only the early-end questions were asked";

  // The participant's folder under the working folder: three playable
  // recordings and the answers file with every answer.
  const std::string folder = ParticipantFolder(w);
  EXPECT_EQ(folder.rfind(work_.string(), 0), 0u) << folder;
  for (const char *suffix : {"_0.ogg", "_5.ogg", "_6.ogg"})
    EXPECT_GT(RecordingSeconds(folder + "0042" + suffix), 0.2) << suffix;
  auto saved = std::make_unique<ts::TdvoMemTable>("saved");
  auto format = MakeStationFormat();
  saved->LoadFileWithFormat(folder + "0042_0.ans", format.get());
  saved->Open();
  EXPECT_EQ(saved->FieldNamed("a1").AsString(), "02000");
  EXPECT_EQ(saved->FieldNamed("a2").AsString(), "30001");
  EXPECT_EQ(saved->FieldNamed("a3").AsString(), "went=cafe====" + ToCodePage(QString::fromUtf8("слово")));
  EXPECT_EQ(saved->FieldNamed("a4").AsString(), "000004");
}

}  // namespace
