// The hardware check and the text-check window on a hand-ticked loop,
// scripted boxes and scripted audio.
#include "../../station_fixture.h"

#include "participant_folder.h"

#include "screens/pictures/station_pictures.h"
#include "screens/test_hard.h"
#include "screens/test_rtf.h"

#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/mem_table.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <fstream>
#include <iterator>
#include <stdexcept>

using namespace station;
using namespace station::testing;

namespace {

std::string ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TestPage() { return ReadBytes(STATION_DEMO_BUILD_DIR "/testrtf.pdf"); }

struct Record {
  int varNo;
  int subjID;
  std::string examDate;
  std::string subjName;  // code-page bytes
  std::string testRtf;
};

std::string Body(const std::vector<Record> &records) {
  auto table = MakeComplectsTable();
  table->Open();
  for (const Record &r : records) {
    table->Append();
    table->FieldNamed("VarNo").SetAsInteger(r.varNo);
    table->FieldNamed("subjid").SetAsInteger(r.subjID);
    table->FieldNamed("ExamDate").SetAsString(r.examDate);
    table->FieldNamed("subjname").SetAsString(r.subjName);
    auto stream = table->OpenBlobStream(table->FieldNamed("TestRTF"), ts::TBlobStreamMode::Write);
    stream->WriteBuffer(r.testRtf.data(), std::int64_t(r.testRtf.size()));
    stream.reset();
    table->Post();
  }
  return TableBody(*table);
}

// "Английский язык" in the tables' code page.
const std::string kEnglish = "\xC0\xED\xE3\xEB\xE8\xE9\xF1\xEA\xE8\xE9 \xFF\xE7\xFB\xEA";

class HardwareCheck : public StationFixture {
 protected:
  void SetUp() override {
    StationFixture::SetUp();
    // Left over from an earlier run of the screen: Start must reset them.
    TestRecOk = TestRtfOk = true;
    TestWavOk = false;
    AddScreen(5);
  }
  // Start-up on materials whose first record is variant 1 and whose variant
  // 0 holds the given text-check page; the text-check window is created as
  // the program block does.
  TfrmTestHard &Begin(std::string page = TestPage(), const std::string &examDate = "2020-05-20") {
    WriteFile("klt-re11.kim", PackMaterials(Body({{1, 5, examDate, "one", "not a page"},
                                                  {0, 5, examDate, kEnglish, std::move(page)}})));
    TfrmMain &w = Window();
    EXPECT_TRUE(w.FormCreate());
    rtf_ = new TfrmTestRTF(w);  // owned by the window
    auto *screen = dynamic_cast<TfrmTestHard *>(w.CurrentFrame());
    EXPECT_NE(screen, nullptr) << "screen 1 is the hardware check";
    return *screen;
  }

  void Click(QAbstractButton *b) {
    ASSERT_TRUE(b->isEnabled());
    b->click();
  }

  // The record test run to its answer.
  void RecordTest(TfrmTestHard &s, bool yes) {
    Click(s.btnRecTest);
    Click(s.btnRecTest);
    Click(yes ? s.Button4 : s.Button5);
  }
  // The text test run to its answer; the window is closed at once.
  void TextTest(TfrmTestHard &s, bool yes) {
    rtf_->RunModalLoop = [](TfrmTestRTF &win) { win.Button1->click(); };
    Click(s.btnTestRTF);
    Click(yes ? s.Button7 : s.Button8);
  }
  void Identity(TfrmTestHard &s, const char *login, const char *room, const char *station) {
    s.edtStationCode->setText(login);
    s.edtAudCode->setText(room);
    s.edtCompCode->setText(station);
  }
  void Type(QLineEdit *box, Qt::Key key, const QString &text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(box, &press);
  }
  FakeAudio &Audio() { return FakeAudio::Get(); }

  TfrmTestRTF *rtf_ = nullptr;
};

TEST_F(HardwareCheck, StartsWithTheTestsOpenAndTheStationOfTheCurrentVariant) {
  TfrmTestHard &s = Begin();
  TfrmMain &w = Window();
  EXPECT_TRUE(w.Panel1->isHidden()) << "the top bar is hidden";
  EXPECT_FALSE(TestRecOk);
  EXPECT_FALSE(TestRtfOk);
  EXPECT_TRUE(TestWavOk);
  // Start-up made variant 0 current.
  EXPECT_EQ(w.FSubjID, "5");
  EXPECT_EQ(w.FExamDate, "2020-05-20");
  EXPECT_EQ(s.lblSubj->text(), U("Станция для проведения КЛТ по:\n\rАнглийский язык"));
  for (QWidget *hidden : std::initializer_list<QWidget *>{s.lblTestREC, s.lblTestRTF, s.lblTestWAV, s.pnlTestREC,
                                                          s.pnlTestRTF, s.pnlTestWAV, s.imgMic, s.imgSpeak,
                                                          s.btnPlayTest})
    EXPECT_TRUE(hidden->isHidden()) << hidden->metaObject()->className();
  EXPECT_FALSE(s.Button1->isEnabled());
  EXPECT_FALSE(s.Action1->isEnabled());
  EXPECT_EQ(s.btnRecTest->text(), U("Проверить качество записи"));
  EXPECT_EQ(s.Panel1->text(), U("Настройка оборудования должна быть проведена стандартными средствами Windows"));
  EXPECT_EQ(s.Panel1->height(), 41);
  EXPECT_EQ(s.Button1->text(), U("Завершить проверку оборудования и приступить к выполнению работы"));
  EXPECT_EQ(s.Button6->text(), U("Выйти из программы"));
  EXPECT_EQ(s.Timer1->Interval(), 100);
  EXPECT_FALSE(s.Timer1->Enabled());
}

TEST_F(HardwareCheck, RecordTestRecordsPlaysBackAndTakesTheAnswer) {
  TfrmTestHard &s = Begin();
  Click(s.btnRecTest);
  EXPECT_NE(RecChannel, 0u);
  EXPECT_EQ(Audio().lastArguments, (std::vector<std::string>{"oggenc.exe", "-o", "test.ogg", "-"}));
  EXPECT_EQ(s.btnRecTest->text(), U("Завершить запись и воспроизвести"));
  EXPECT_FALSE(s.imgMic->isHidden());
  EXPECT_TRUE(s.pnlTestREC->isHidden());

  Click(s.btnRecTest);
  EXPECT_EQ(RecChannel, 0u);
  ASSERT_FALSE(Audio().openedFiles.empty());
  EXPECT_EQ(Audio().openedFiles.back(), "test.ogg");
  ASSERT_NE(RecPlayStream, 0u);
  EXPECT_TRUE(Audio().Called("ChannelPlay " + std::to_string(RecPlayStream) + " 1")) << "played from its start";
  EXPECT_EQ(s.btnRecTest->text(), U("Проверить качество записи"));
  EXPECT_FALSE(s.btnRecTest->isEnabled());
  EXPECT_FALSE(s.pnlTestREC->isHidden());
  EXPECT_FALSE(s.imgSpeak->isHidden());
  EXPECT_TRUE(s.imgMic->isHidden());
  EXPECT_FALSE(TestRecOk);

  Click(s.Button4);
  EXPECT_TRUE(TestRecOk);
  EXPECT_TRUE(Audio().Called("ChannelStop " + std::to_string(RecPlayStream)));
  EXPECT_TRUE(s.pnlTestREC->isHidden());
  EXPECT_TRUE(s.imgSpeak->isHidden() && s.imgMic->isHidden());
  EXPECT_TRUE(s.btnRecTest->isEnabled());
  EXPECT_FALSE(s.lblTestREC->isHidden());
  EXPECT_EQ(s.lblTestREC->text(), "V");
  EXPECT_TRUE(s.lblTestREC->styleSheet().contains("green"));

  // A new run drops the confirmation until it is answered again.
  Click(s.btnRecTest);
  EXPECT_FALSE(TestRecOk);
  EXPECT_TRUE(s.lblTestREC->isHidden());
  Click(s.btnRecTest);
  Click(s.Button5);
  EXPECT_FALSE(TestRecOk);
  EXPECT_EQ(s.lblTestREC->text(), "X");
  EXPECT_TRUE(s.lblTestREC->styleSheet().contains("red"));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(HardwareCheck, RecordTestWithoutADeviceOrWithAFailedStart) {
  Audio().recordInitOk = false;
  TfrmTestHard &s = Begin();
  TfrmMain &w = Window();
  ASSERT_FALSE(w.FAudioReady);
  boxes_.shown.clear();
  Audio().calls.clear();
  for (int press = 0; press < 2; ++press) Click(s.btnRecTest);
  ASSERT_EQ(boxes_.shown.size(), 2u) << "every press is refused";
  EXPECT_EQ(boxes_.shown[0].text, U("Нет готового устройства аудио-записи"));
  EXPECT_EQ(boxes_.shown[0].caption, U("Ошибка"));
  EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::MainWindow);
  EXPECT_FALSE(Audio().Called("RecordStart"));
  EXPECT_TRUE(s.imgMic->isHidden());
  EXPECT_EQ(s.btnRecTest->text(), U("Проверить качество записи"));

  // A device that is there but will not record: the start's message, and
  // the next press tries to start again instead of stopping.
  w.FAudioReady = true;
  boxes_.shown.clear();
  Audio().nextRecordHandle = 0;
  Click(s.btnRecTest);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(U("Невозможно начать запись.")));
  EXPECT_EQ(RecChannel, 0u);
  EXPECT_EQ(s.btnRecTest->text(), U("Завершить запись и воспроизвести"));
  Audio().nextRecordHandle = 101;
  Click(s.btnRecTest);
  EXPECT_EQ(RecChannel, 101u) << "started, not stopped";
  EXPECT_TRUE(s.pnlTestREC->isHidden());
  EXPECT_FALSE(TestRecOk);

  // A recording that ends by itself (its encoder could not write): told
  // while it runs; its stop offers nothing to confirm.
  Click(s.btnRecTest);  // stops the one above
  Click(s.Button5);
  Audio().encoderWrites = false;
  Click(s.btnRecTest);
  Audio().channelEnded = true;
  Audio().encoderActive = false;
  boxes_.shown.clear();
  loop_.Advance(1000);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(U("Невозможно записать файл \"") + QString::fromStdString(dir_) +
                                              "/test.ogg\"."))
      << boxes_.shown[0].text.toStdString();
  Click(s.btnRecTest);
  EXPECT_EQ(boxes_.shown.size(), 1u) << "told once";
  EXPECT_TRUE(s.pnlTestREC->isHidden()) << "no question over a lost recording";
  EXPECT_TRUE(s.btnRecTest->isEnabled());
  EXPECT_EQ(s.btnRecTest->text(), U("Проверить качество записи"));
  EXPECT_TRUE(s.imgMic->isHidden());
  EXPECT_EQ(s.lblTestREC->text(), "X");
  EXPECT_FALSE(TestRecOk);
}

TEST_F(HardwareCheck, TextCheckShowsVariantZerosPageThenAsks) {
  TfrmTestHard &s = Begin();
  TfrmMain &w = Window();
  w.complects->First();  // variant 1 current, as after a later code entry
  bool wasShown = false;
  QSize page;
  int varNo = -1;
  rtf_->RunModalLoop = [&](TfrmTestRTF &win) {
    wasShown = win.isVisible();
    page = win.Image1->pixmap().size();
    varNo = w.complects->FieldNamed("VarNo").AsInteger();
    EXPECT_TRUE(s.pnlTestRTF->isHidden()) << "the question comes after the window has closed";
    win.Button1->click();
    EXPECT_FALSE(win.isVisible());
  };
  Click(s.btnTestRTF);
  EXPECT_TRUE(wasShown);
  EXPECT_EQ(page, QSize(827, 1169)) << "page 1 at 100 dpi";
  EXPECT_EQ(varNo, 0);
  EXPECT_FALSE(rtf_->isVisible());
  EXPECT_FALSE(s.pnlTestRTF->isHidden());
  EXPECT_TRUE(boxes_.shown.empty());

  Click(s.Button7);
  EXPECT_TRUE(TestRtfOk);
  EXPECT_TRUE(s.pnlTestRTF->isHidden());
  EXPECT_EQ(s.lblTestRTF->text(), "V");
  // Looking at the page again keeps the answer until the next one.
  Click(s.btnTestRTF);
  EXPECT_TRUE(TestRtfOk);
  Click(s.Button8);
  EXPECT_FALSE(TestRtfOk);
  EXPECT_EQ(s.lblTestRTF->text(), "X");

  EXPECT_EQ(rtf_->size(), QSize(1015, 712));
  EXPECT_TRUE(rtf_->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(rtf_->Button1->text(), U("Закрыть"));
  EXPECT_EQ(rtf_->Panel2->height(), 25);
  EXPECT_EQ(rtf_->Panel1->height(), 41);
}

TEST_F(HardwareCheck, TextCheckWithADamagedPageReportsItOnceAndStillCloses) {
  TfrmTestHard &s = Begin("not a document");
  int loops = 0;
  rtf_->RunModalLoop = [&](TfrmTestRTF &win) {
    ++loops;
    win.Button1->click();
  };
  Click(s.btnTestRTF);
  EXPECT_EQ(loops, 1);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "There are 0 pageses in document");
  EXPECT_FALSE(rtf_->isVisible());
  EXPECT_FALSE(s.pnlTestRTF->isHidden()) << "the question still comes";
}

TEST_F(HardwareCheck, FinishButtonFollowsTheTestsAndTheThreeNumbers) {
  TfrmTestHard &s = Begin();
  Identity(s, "123", "7", "2");
  EXPECT_FALSE(s.Button1->isEnabled()) << "no test confirmed";
  RecordTest(s, true);
  EXPECT_FALSE(s.Button1->isEnabled()) << "text test still open";
  TextTest(s, true);
  EXPECT_TRUE(s.Button1->isEnabled());
  EXPECT_TRUE(s.Action1->isEnabled());

  struct Case {
    const char *login, *room, *station;
    bool enabled;
  };
  for (const Case &c : {Case{"", "7", "2", false}, Case{"0", "7", "2", false}, Case{"123", "", "2", false},
                        Case{"123", "0", "2", false}, Case{"123", "7", "", false}, Case{"123", "7", "0", false},
                        Case{"00", "00", "2", true}, Case{"123", "7", "2", true}}) {
    Identity(s, c.login, c.room, c.station);
    EXPECT_EQ(s.Button1->isEnabled(), c.enabled) << c.login << " " << c.room << " " << c.station;
  }

  // A "Нет" after a "Да" closes the way again, and so does a running test
  // recording until it is answered.
  TextTest(s, false);
  EXPECT_FALSE(s.Button1->isEnabled());
  TextTest(s, true);
  Click(s.btnRecTest);
  EXPECT_FALSE(s.Button1->isEnabled());
  Click(s.btnRecTest);
  EXPECT_FALSE(s.Button1->isEnabled());
  Click(s.Button4);
  EXPECT_TRUE(s.Button1->isEnabled());
  // The sound test is not required.
  s.btnPlayTestClick();
  EXPECT_FALSE(TestWavOk);
  EXPECT_TRUE(s.Button1->isEnabled());
}

TEST_F(HardwareCheck, FinishBuildsTheStationKeyAndHandsOverToCodeEntry) {
  TfrmTestHard &s = Begin();
  TfrmMain &w = Window();
  RecordTest(s, true);
  TextTest(s, true);
  Identity(s, "123", "7", "2");
  Click(s.Button1);
  EXPECT_TRUE(s.Timer1->Enabled());
  loop_.Advance(99);
  EXPECT_EQ(w.CurrentFrame(), &s);
  loop_.Advance(1);
  EXPECT_EQ(w.FStationKey, "2020-05-20_5_000123_0007_2");
  EXPECT_FALSE(w.Panel1->isHidden()) << "the top bar is back";
  ASSERT_NE(Current(), nullptr);
  EXPECT_TRUE(Logged("screen5 start none"));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(HardwareCheck, PastedTextThatIsNoNumberStopsTheHandOverUntilCorrected) {
  TfrmTestHard &s = Begin();
  TfrmMain &w = Window();
  RecordTest(s, true);
  TextTest(s, true);
  Identity(s, "12a", "7", "2");  // pasted: typing drops the letter
  Click(s.Button1);
  loop_.Advance(100);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "'12a' is not a valid integer value");
  EXPECT_EQ(w.CurrentFrame(), &s) << "the screen stays";
  EXPECT_FALSE(s.Timer1->Enabled());
  EXPECT_TRUE(w.FStationKey.isEmpty());
  EXPECT_TRUE(w.Panel1->isHidden());
  loop_.Advance(1000);
  EXPECT_EQ(boxes_.shown.size(), 1u) << "the failed hand-over is not retried by itself";

  s.edtStationCode->setText("12");
  Click(s.Button1);
  loop_.Advance(100);
  EXPECT_EQ(w.FStationKey, "2020-05-20_5_000012_0007_2");
  EXPECT_TRUE(Logged("screen5 start none"));
}

TEST_F(HardwareCheck, StationKeyThatWouldLeaveTheWorkingFolderIsRefused) {
  for (const std::string date : {"../../../x", "/\\", "a\tb", "20..05"}) {
    window_.reset();
    boxes_.shown.clear();
    TfrmTestHard &s = Begin(TestPage(), date);
    TfrmMain &w = Window();
    RecordTest(s, true);
    TextTest(s, true);
    Identity(s, "123", "7", "2");
    Click(s.Button1);
    loop_.Advance(100);
    ASSERT_EQ(boxes_.shown.size(), 1u) << date;
    EXPECT_EQ(boxes_.shown[0].caption, U("Ошибка"));
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(U("Папку ответов станции нельзя создать"))) << date;
    EXPECT_EQ(w.CurrentFrame(), &s) << "the screen stays: only the exit leads on";
    EXPECT_TRUE(w.FStationKey.isEmpty());
    EXPECT_FALSE(Logged("screen5 start none"));
  }
  EXPECT_TRUE(StationKeyProblem(U("2020-05-20_5_000123_0007_2")).isEmpty());
  EXPECT_TRUE(StationKeyProblem(U("20 мая 2020_5_000123_0007_2")).isEmpty()) << "blanks and letters are fine";
  EXPECT_FALSE(StationKeyProblem(QString(300, u'x')).isEmpty()) << "longer than a folder name can be";
}

TEST_F(HardwareCheck, StationKeyParts) {
  EXPECT_EQ(BuildStationKey("D", "5", "1234", "7", "2"), "D_5_001234_0007_2");
  EXPECT_EQ(BuildStationKey("D", "5", "999999", "9999", "9"), "D_5_999999_9999_9");
  EXPECT_EQ(BuildStationKey("D", "5", "000", "00", "0"), "D_5_000000_0000_0");
  // Signs, blanks and empty text are not numbers of the boxes: they would
  // put a key of the wrong shape into every answer path.
  for (const char *bad : {"-5", "+5", " 5", "", "5 "})
    EXPECT_THROW(BuildStationKey("D", "5", bad, "7", "2"), std::runtime_error) << bad;
  EXPECT_THROW(BuildStationKey("D", "5", "1", "-1", "2"), std::runtime_error);
}

TEST_F(HardwareCheck, IdentityBoxesTakeOnlyDigitsUpToTheirLength) {
  TfrmTestHard &s = Begin();
  s.edtStationCode->setFocus();
  Type(s.edtStationCode, Qt::Key_1, "1");
  Type(s.edtStationCode, Qt::Key_A, "a");
  Type(s.edtStationCode, Qt::Key_Minus, "-");
  Type(s.edtStationCode, Qt::Key_Space, " ");
  Type(s.edtStationCode, Qt::Key_2, "2");
  EXPECT_EQ(s.edtStationCode->text(), "12");
  Type(s.edtStationCode, Qt::Key_Backspace, "\b");
  EXPECT_EQ(s.edtStationCode->text(), "1");
  for (const char *d : {"2", "3", "4", "5", "6", "7"}) Type(s.edtStationCode, Qt::Key_0, d);
  EXPECT_EQ(s.edtStationCode->text(), "123456");
  Type(s.edtAudCode, Qt::Key_A, U("ж"));
  for (const char *d : {"1", "2", "3", "4", "5"}) Type(s.edtAudCode, Qt::Key_0, d);
  EXPECT_EQ(s.edtAudCode->text(), "1234");
  for (const char *d : {"3", "4"}) Type(s.edtCompCode, Qt::Key_0, d);
  EXPECT_EQ(s.edtCompCode->text(), "3");

  // Pasted text that is not all digits is refused whole; digits go in.
  s.edtAudCode->clear();
  s.edtAudCode->insert("12a");
  EXPECT_EQ(s.edtAudCode->text(), "");
  s.edtAudCode->insert(U("７"));
  EXPECT_EQ(s.edtAudCode->text(), "") << "only the digits 0 to 9";
  s.edtAudCode->insert("0042");
  EXPECT_EQ(s.edtAudCode->text(), "0042");
}

TEST_F(HardwareCheck, SoundTestHandlers) {
  TfrmTestHard &s = Begin();
  std::filesystem::create_directory("KIM");
  std::ofstream("KIM/TestWAV.wav", std::ios::binary) << WavBytes(1.0);
  s.btnPlayTestClick();
  ASSERT_FALSE(Audio().openedFiles.empty());
  EXPECT_EQ(Audio().openedFiles.back(), "KIM/TestWAV.wav");
  const HSTREAM first = TestWavStream;
  ASSERT_NE(first, 0u);
  EXPECT_TRUE(Audio().Called("ChannelPlay " + std::to_string(first) + " 1"));
  EXPECT_FALSE(s.pnlTestWAV->isHidden());
  EXPECT_FALSE(s.btnPlayTest->isEnabled());
  EXPECT_FALSE(s.imgSpeak->isHidden());
  s.Button3Click();
  EXPECT_FALSE(TestWavOk);
  EXPECT_EQ(s.lblTestWAV->text(), "X");
  EXPECT_TRUE(Audio().Called("ChannelStop " + std::to_string(first)));
  // A second run releases the first stream instead of leaking it.
  s.btnPlayTestClick();
  EXPECT_TRUE(Audio().Called("StreamFree " + std::to_string(first)));
  s.Button2Click();
  EXPECT_TRUE(TestWavOk);
  EXPECT_EQ(s.lblTestWAV->text(), "V");
  EXPECT_TRUE(s.pnlTestWAV->isHidden() && s.imgSpeak->isHidden());
}

TEST_F(HardwareCheck, ExitEndsTheProgramWithoutAQuestion) {
  TfrmTestHard &s = Begin();
  Click(s.Button6);
  EXPECT_TRUE(Window().FCanClose);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(HardwareCheck, ScreenshotWithTheRecordingPlayedBack) {
  TfrmTestHard &s = Begin();
  TfrmMain &w = Window();
  Identity(s, "123", "7", "2");
  Click(s.btnRecTest);
  Click(s.btnRecTest);
  w.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(s.size(), w.size()) << "the screen fills the window while the bar is hidden";
  EXPECT_FALSE(s.imgSpeak->pixmap().isNull());
  EXPECT_EQ(s.imgSpeak->pixmap().height(), w.height() - 41) << "scaled in proportion to the area below the banner";
  // The answer buttons stay reachable over the picture.
  EXPECT_EQ(s.childAt(s.Button4->mapTo(&s, QPoint(5, 5))), s.Button4);
  const QPixmap shot = w.grab();
  EXPECT_TRUE(shot.save(QString(STATION_TEST_OUTPUT_DIR) + "/hardware_check.png"));
  // The question panel covers the picture: it looks the same without it.
  const QRect panel(s.pnlTestREC->mapTo(&w, QPoint(0, 0)), s.pnlTestREC->size());
  s.imgSpeak->hide();
  EXPECT_EQ(shot.copy(panel).toImage(), w.grab(panel).toImage()) << "the picture shows through the question";
}

TEST(StationPictures, DecodeAndDamage) {
  const QImage mic = DecodePng(kMicrophonePng, kMicrophonePngSize);
  const QImage speaker = DecodePng(kSpeakerPng, kSpeakerPngSize);
  ASSERT_FALSE(mic.isNull());
  ASSERT_FALSE(speaker.isNull());
  EXPECT_EQ(mic.size(), QSize(256, 256));
  // Something is drawn, and the corners stay transparent.
  EXPECT_EQ(qAlpha(mic.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(mic.pixel(128, 80)), 255);
  EXPECT_EQ(qAlpha(speaker.pixel(40, 128)), 255);

  EXPECT_TRUE(DecodePng(kMicrophonePng, kMicrophonePngSize / 2).isNull()) << "truncated";
  std::vector<unsigned char> damaged(kMicrophonePng, kMicrophonePng + kMicrophonePngSize);
  damaged[1] = 'X';
  EXPECT_TRUE(DecodePng(damaged.data(), damaged.size()).isNull()) << "not a PNG signature";
  EXPECT_TRUE(DecodePng(nullptr, 0).isNull());
}

}  // namespace
