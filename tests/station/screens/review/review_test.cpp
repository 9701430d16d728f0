// The answer review and the finish screen, driven through the main window's
// screen table on a hand-ticked loop with scripted boxes and audio.
#include "../../station_fixture.h"

#include "screens/finish_exam.h"
#include "screens/play_answers.h"
#include "ui_text.h"

#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/index_defs.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace station;
using namespace station::testing;

namespace {

const char kBlanks[] = "            ";  // twelve

class ReviewTest : public StationFixture {
 protected:
  void SetUp() override {
    StationFixture::SetUp();
    AddScreen(20);
    AddScreen(5);
  }

  // A window after start-up with a participant who has answered.
  TfrmMain &Prepared(const std::string &a3 = "cat=dog=sun=sea=red=big") {
    TfrmMain &w = Window();
    AppendEmptyAnswers(*w.answers);
    w.answers->Edit();
    w.answers->FieldNamed("a1").SetAsString("12301");
    w.answers->FieldNamed("a2").SetAsString("00000");
    w.answers->FieldNamed("a3").SetAsString(a3);
    w.answers->FieldNamed("a4").SetAsString("321000");
    w.answers->FieldNamed("VarNo").SetAsString("3");
    w.answers->Post();
    w.FStationKey = "2020-05-20_22_123456_0042_3";
    w.FStudID = "0417";
    w.FExamSeconds = 4500;
    w.FElapsedSeconds = 4000;
    w.TimerControl->SetEnabled(true);
    return w;
  }

  std::filesystem::path Folder(TfrmMain &w) {
    return std::filesystem::path(w.AnswerRoot()) / ("Answer_" + w.FStationKey.toStdString()) /
           w.FStudID.toStdString();
  }

  // The participant's spoken code and answers as the encoder left them.
  void PutRecordings(TfrmMain &w) {
    std::filesystem::create_directories(Folder(w));
    for (const char *suffix : {"_0.ogg", "_5.ogg", "_6.ogg"})
      std::ofstream((Folder(w) / (w.FStudID.toStdString() + suffix)).string(), std::ios::binary) << WavBytes(1.0);
  }

  TfrmPlayAnswers &Review() {
    Window().StartFrame(1000);
    auto *review = dynamic_cast<TfrmPlayAnswers *>(Window().CurrentFrame());
    EXPECT_NE(review, nullptr);
    return *review;
  }

  std::vector<std::string> AudioCallsFrom(std::size_t first) {
    const auto &calls = FakeAudio::Get().calls;
    return std::vector<std::string>(calls.begin() + std::ptrdiff_t(first), calls.end());
  }

  // The answers file read back into a table of its own.
  std::unique_ptr<ts::TdvoMemTable> ReadAnswersFile(const std::string &path) {
    auto table = std::make_unique<ts::TdvoMemTable>("saved");
    auto format = MakeStationFormat();
    table->LoadFileWithFormat(path, format.get());
    table->Open();
    return table;
  }
};

QString Task3Text(const std::vector<std::string> &words) {
  QString text = U("Ответ на задание № 3: ");
  for (const auto &w : words) text += QString("\n\r") + kBlanks + QString::fromStdString(w);
  return text;
}

}  // namespace

TEST_F(ReviewTest, StartShowsTheStoredAnswersAndClearsTheStepOfTheTopBar) {
  TfrmMain &w = Prepared();
  w.Panel1->hide();
  w.lblProcessName->setText("x");
  TfrmPlayAnswers &r = Review();

  EXPECT_EQ(r.Label1->text(), U("Посмотреть и/или воспроизвести ответы участника с кодом 0417"));
  EXPECT_EQ(r.Ans1->text(), U("Ответ на задание № 1: 12301"));
  EXPECT_EQ(r.Ans2->text(), U("Ответ на задание № 2: 00000"));
  EXPECT_EQ(r.Ans3->text(), Task3Text({"cat", "dog", "sun", "sea", "red", "big"}));
  EXPECT_EQ(r.Ans4->text(), U("Ответ на задание № 4: 321000"));

  EXPECT_FALSE(w.Panel1->isHidden());
  EXPECT_TRUE(w.lblProcessTime->isHidden());
  EXPECT_TRUE(w.ProcessBar->isHidden());
  EXPECT_TRUE(w.lblProcessName->text().isEmpty());
  EXPECT_FALSE(w.Label1->isHidden()) << "the clock keeps running in the bar";
  EXPECT_TRUE(w.TimerControl->Enabled());

  for (QPushButton *b : {r.btnPlayID, r.btnPlay2_1, r.btnPlay2_2, r.btnPlay2_6, r.Button1})
    EXPECT_FALSE(b->isHidden()) << b->text().toStdString();
  for (QPushButton *b : {r.btnPlay1, r.btnPlay2_3, r.btnPlay2_4, r.btnPlay2_5, r.btnPlay3})
    EXPECT_TRUE(b->isHidden()) << b->text().toStdString();
  EXPECT_EQ(r.Button1->text(), U("Завершить выполнение работы участником!"));
  EXPECT_EQ(r.btnPlay2_6->text(), U("Вернуться к выполнению заданий 2-4"));
}

TEST_F(ReviewTest, TaskThreeWordsStandOnSixLinesWhateverTheStoredText) {
  {
    Prepared("cat==dog");
    EXPECT_EQ(Review().Ans3->text(), Task3Text({"cat", "", "dog", "", "", ""}));
  }
  window_.reset();
  {
    Prepared("");
    EXPECT_EQ(Review().Ans3->text(), Task3Text({"", "", "", "", "", ""}));
  }
  window_.reset();
  {
    // Words beyond the sixth are not shown; code-page text reads as written;
    // a typed word that looks like markup is shown as typed.
    Prepared(ToCodePage(U("кот=<b>dog</b>=a=b=c=d=seventh")));
    TfrmPlayAnswers &r = Review();
    EXPECT_EQ(r.Ans3->text(), Task3Text({"кот", "<b>dog</b>", "a", "b", "c", "d"}));
    EXPECT_EQ(r.Ans3->textFormat(), Qt::PlainText);
  }
}

TEST_F(ReviewTest, EachPlayButtonPlaysItsRecordingFromTheAnswerFolder) {
  TfrmMain &w = Prepared();
  TfrmPlayAnswers &r = Review();
  const std::string base = (Folder(w) / "0417").string();
  const std::vector<std::pair<QPushButton *, std::string>> buttons = {
      {r.btnPlayID, "_0.ogg"},    {r.btnPlay2_1, "_5.ogg"},   {r.btnPlay2_2, "_6.ogg"},
      {r.btnPlay1, "_1_1.ogg"},   {r.btnPlay2_3, "_1_4.ogg"}, {r.btnPlay2_4, "_1_5.ogg"},
      {r.btnPlay2_5, "_2.ogg"},   {r.btnPlay3, "_3.ogg"}};
  for (const auto &[button, suffix] : buttons) {
    FakeAudio::Get().openedFiles.clear();
    button->click();
    ASSERT_EQ(FakeAudio::Get().openedFiles.size(), 1u) << suffix;
    EXPECT_EQ(FakeAudio::Get().openedFiles[0], base + suffix);
  }
  // Recordings are written under the working folder, not beside the program.
  EXPECT_EQ(base.rfind(w.AnswerRoot(), 0), 0u);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ReviewTest, PlayingAgainStopsAndReleasesTheFirstPlaybackAndStartsFromTheBeginning) {
  PutRecordings(Prepared());
  TfrmPlayAnswers &r = Review();
  FakeAudio::Get().nextStream = 700;
  const std::size_t first = FakeAudio::Get().calls.size();
  r.btnPlay2_1->click();
  EXPECT_EQ(AnswerPlayStream, 700u);
  r.btnPlay2_1->click();
  EXPECT_EQ(AnswerPlayStream, 701u);
  const auto calls = AudioCallsFrom(first);
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].rfind("StreamCreateFile 0 ", 0), 0u);
  EXPECT_EQ(calls[1], "ChannelPlay 700 1");
  EXPECT_EQ(calls[2], "ChannelStop 700");
  EXPECT_EQ(calls[3], "StreamFree 700");
  EXPECT_EQ(calls[4].rfind("StreamCreateFile 0 ", 0), 0u);
  EXPECT_EQ(calls[5], "ChannelPlay 701 1");

  // A recording that cannot be opened plays nothing and shows nothing.
  FakeAudio::Get().nextStream = 0;
  r.btnPlayID->click();
  EXPECT_EQ(AnswerPlayStream, 0u);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ReviewTest, WayBackGoesToTaskTwoASecondLaterWithoutTheEyeBreak) {
  TfrmMain &w = Prepared();
  PutRecordings(w);
  w.FGymEyesDue = true;
  TfrmPlayAnswers &r = Review();
  r.btnPlay2_1->click();
  const HSTREAM playing = AnswerPlayStream;
  ASSERT_NE(playing, 0u);
  r.btnPlay2_6->click();
  EXPECT_TRUE(r.Timer2->Enabled());
  loop_.Advance(999);
  EXPECT_EQ(w.CurrentFrame(), &r);
  loop_.Advance(1);
  EXPECT_TRUE(Logged("screen20 start none"));
  EXPECT_TRUE(FakeAudio::Get().Called("ChannelStop " + std::to_string(playing))) << "the playback stops";
  EXPECT_EQ(AnswerPlayStream, 0u);
  EXPECT_FALSE(w.FGymEyesDue);
  EXPECT_TRUE(w.TimerControl->Enabled()) << "the work is not closed on the way back";
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ReviewTest, WayBackIsRefusedOnceTheTimeIsUp) {
  TfrmMain &w = Prepared();
  w.FElapsedSeconds = w.FExamSeconds;
  w.TimerControl->SetEnabled(false);
  TfrmPlayAnswers &r = Review();
  r.btnPlay2_6->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, U("Время на выполнение заданинй истекло"));
  EXPECT_EQ(boxes_.shown[0].caption, U("КЛТ-11. Иностранный язык - 2020"));
  EXPECT_FALSE(r.Timer2->Enabled());
  loop_.Advance(5000);
  EXPECT_EQ(w.CurrentFrame(), &r);
  EXPECT_FALSE(Logged("screen20 start none"));
}

TEST_F(ReviewTest, ClosingTheWorkSavesTheAnswersStopsTheClockAndFinishes) {
  TfrmMain &w = Prepared();
  PutRecordings(w);
  TfrmPlayAnswers &r = Review();
  r.btnPlayID->click();
  const HSTREAM playing = AnswerPlayStream;
  ASSERT_NE(playing, 0u);
  w.Label1->setText("clock");

  r.Button1->click();
  EXPECT_TRUE(FakeAudio::Get().Called("ChannelStop " + std::to_string(playing)));
  EXPECT_FALSE(w.TimerControl->Enabled());
  EXPECT_TRUE(w.Label1->text().isEmpty());
  EXPECT_TRUE(boxes_.shown.empty());

  const std::string file = (Folder(w) / "0417_0.ans").string();
  ASSERT_TRUE(std::filesystem::exists(file));
  auto saved = ReadAnswersFile(file);
  ASSERT_EQ(saved->FieldCount(), 7);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(saved->Field(i).FieldName(), "a" + std::to_string(i + 1));
    EXPECT_EQ(saved->Field(i).Size(), 1500);
  }
  EXPECT_EQ(saved->Field(6).FieldName(), "VarNo");
  EXPECT_EQ(saved->Field(6).Size(), 20);
  EXPECT_EQ(saved->IndexDefs().Count(), 0);
  EXPECT_EQ(saved->RecordCount(), 1);
  EXPECT_EQ(saved->FieldNamed("a1").AsString(), "12301");
  EXPECT_EQ(saved->FieldNamed("a3").AsString(), "cat=dog=sun=sea=red=big");
  EXPECT_EQ(saved->FieldNamed("a4").AsString(), "321000");
  EXPECT_EQ(saved->FieldNamed("VarNo").AsString(), "3");

  loop_.Advance(99);
  EXPECT_EQ(w.CurrentFrame(), &r);
  loop_.Advance(1);
  auto *finish = dynamic_cast<TfrmFinishExam *>(w.CurrentFrame());
  ASSERT_NE(finish, nullptr);
  EXPECT_EQ(finish->Label1->text(), U("КЛТ для участника с кодом 0417 завершена!"));
}

TEST_F(ReviewTest, AnswersFileThatCannotBeWrittenLeavesTheWorkOpenForAnotherTry) {
  TfrmMain &w = Prepared();
  TfrmPlayAnswers &r = Review();  // the participant's folder is missing
  r.Button1->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_FALSE(boxes_.shown[0].text.isEmpty());
  EXPECT_TRUE(w.TimerControl->Enabled());
  EXPECT_FALSE(r.Timer1->Enabled());
  loop_.Advance(500);
  EXPECT_EQ(w.CurrentFrame(), &r);

  std::filesystem::create_directories(Folder(w));
  r.Button1->click();
  EXPECT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(Folder(w) / "0417_0.ans"));
  EXPECT_FALSE(w.TimerControl->Enabled());
  loop_.Advance(100);
  EXPECT_NE(dynamic_cast<TfrmFinishExam *>(w.CurrentFrame()), nullptr);
}

TEST_F(ReviewTest, ClosingWithinTheSecondAfterTheWayBackLeadsToTheFinishOnly) {
  TfrmMain &w = Prepared();
  std::filesystem::create_directories(Folder(w));
  TfrmPlayAnswers &r = Review();
  r.btnPlay2_6->click();
  loop_.Advance(500);
  r.Button1->click();
  loop_.Advance(2000);
  EXPECT_NE(dynamic_cast<TfrmFinishExam *>(w.CurrentFrame()), nullptr);
  EXPECT_FALSE(Logged("screen20 start none"));
}

TEST_F(ReviewTest, ClosingAgainAfterTheWayBackOverwritesTheAnswersFile) {
  TfrmMain &w = Prepared();
  std::filesystem::create_directories(Folder(w));
  const std::string file = (Folder(w) / "0417_0.ans").string();
  Review().Button1->click();
  ASSERT_TRUE(std::filesystem::exists(file));

  w.answers->Edit();
  w.answers->FieldNamed("a2").SetAsString("45123");
  w.answers->Post();
  w.TimerControl->SetEnabled(true);
  Review().Button1->click();
  EXPECT_EQ(ReadAnswersFile(file)->FieldNamed("a2").AsString(), "45123");
  EXPECT_EQ(ReadAnswersFile(file)->RecordCount(), 1);
}

TEST_F(ReviewTest, FinishScreenStartsTheNextParticipantOrStopsTheStation) {
  TfrmMain &w = Prepared();
  w.StartFrame(1001);
  auto *f = dynamic_cast<TfrmFinishExam *>(w.CurrentFrame());
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(w.Panel1->isHidden());
  EXPECT_EQ(f->Panel1->height(), 97);
  EXPECT_EQ(f->Button1->size(), QSize(150, 150));
  EXPECT_EQ(f->Button2->size(), QSize(150, 150));
  EXPECT_EQ(TfrmFinishExam::Caption(f->Button1), U("Начать на станции выполнение работы для следующего участника"));
  EXPECT_EQ(TfrmFinishExam::Caption(f->Button2), U("Завершить работу станции"));
  EXPECT_EQ(f->Timer1->Interval(), 10);

  f->Button1->click();
  loop_.Advance(9);
  EXPECT_EQ(w.CurrentFrame(), f);
  loop_.Advance(1);
  EXPECT_TRUE(Logged("screen5 start none"));
  EXPECT_FALSE(w.FCanClose);

  w.StartFrame(1001);
  auto *again = dynamic_cast<TfrmFinishExam *>(w.CurrentFrame());
  ASSERT_NE(again, nullptr);
  again->Button2->click();
  EXPECT_TRUE(w.FCanClose);
  EXPECT_TRUE(boxes_.shown.empty()) << "the station stops without a question";
}
