#include "code_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

using namespace station;
using namespace station::testing;

using CodeEntry = CodeScreens;

namespace {
const char kTitle[] = "КЛТ-11. Иностранный язык - 2020";
}

TEST_F(CodeEntry, StartShowsTheInstructionPageWithoutTheTopBar) {
  TfrmMain &w = Station();
  w.StartFrame(5);
  TfrmInstruction *f = EntryScreen();
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].text.toStdString();
  EXPECT_EQ(f->Image1->pixmap().size(), QSize(827, 1169)) << "page 1 at 100 dpi, not scaled";
  EXPECT_TRUE(w.Panel1->isHidden());
  EXPECT_TRUE(f->Edit3->text().isEmpty());
  EXPECT_EQ(f->Edit3->maxLength(), 4);
  EXPECT_EQ(f->Panel1->height(), 107);
  EXPECT_EQ(f->Button1->text(), U("Начать выполнение работы"));
  EXPECT_EQ(f->Button2->text(), U("Завершить"));
  w.show();
  EXPECT_TRUE(w.grab().save(QString(STATION_TEST_OUTPUT_DIR) + "/code_entry.png"));
}

TEST_F(CodeEntry, TheCodeBoxTakesDigitsAndBackspaceOnly) {
  Station().StartFrame(5);
  QLineEdit *box = EntryScreen()->Edit3;
  Type(box, Qt::Key_1, "1");
  Type(box, Qt::Key_A, "a");
  Type(box, Qt::Key_Minus, "-");
  Type(box, Qt::Key_Space, " ");
  Type(box, Qt::Key_2, "2");
  EXPECT_EQ(box->text(), "12");
  Type(box, Qt::Key_Backspace, "\b");
  EXPECT_EQ(box->text(), "1");
  for (const char *d : {"0", "9", "9", "9"}) Type(box, Qt::Key_0, d);
  EXPECT_EQ(box->text(), "1099") << "at most four characters";
}

TEST_F(CodeEntry, AcceptedCodePreparesTheParticipantAndHandsOver) {
  AddScreen(6);
  // Zone 2: the answers' variant number counts the zone's two variants.
  TfrmMain &w = Station({{1, 2}, {0, 2}, {2, 2}});
  Grade11(w).FOralPartStarted = true;
  w.Label1->setText("clock");
  w.answers->Edit();
  w.answers->FieldNamed("a3").SetAsString("left=over");
  w.answers->FieldNamed("a5").SetAsString("x");
  w.answers->Post();
  w.FChoicePicks["a2"] = {10, 3, 0, 0, 0};  // the previous participant's
  w.StartFrame(5);
  TfrmInstruction *f = EntryScreen();
  f->Edit3->setText("1235");
  f->Button1->click();
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_TRUE(w.FChoicePicks.empty());
  EXPECT_EQ(w.FStudID, "1235");
  EXPECT_EQ(w.FVariant, "1");
  EXPECT_TRUE(w.FGymEyesDue);
  EXPECT_FALSE(Grade11(w).FOralPartStarted);
  EXPECT_EQ(w.complects->FieldNamed("VarNo").AsInteger(), 1);
  EXPECT_EQ(Answer("VarNo"), "3");
  EXPECT_EQ(Answer("a1"), "00000");
  EXPECT_EQ(Answer("a2"), "00000");
  EXPECT_EQ(Answer("a3"), "");
  EXPECT_EQ(Answer("a4"), "000000");
  EXPECT_EQ(Answer("a5"), "");
  EXPECT_EQ(Answer("a6"), "");
  EXPECT_EQ(w.answers->RecordCount(), 1);

  // The hand-over comes 100 ms later, with the top bar back but its clock
  // text hidden.
  loop_.Advance(99);
  EXPECT_EQ(Current(), nullptr);
  loop_.Advance(1);
  ASSERT_NE(Current(), nullptr);
  EXPECT_TRUE(Logged("screen6 start none"));
  EXPECT_FALSE(w.Panel1->isHidden());
  EXPECT_TRUE(w.Label1->isHidden());
}

TEST_F(CodeEntry, TheCodeChoosesTheVariant) {
  AddScreen(6);
  struct Case {
    const char *code;
    const char *variant;
    const char *answersVarNo;
  };
  // Zone 1: the answers' variant number is the variant's own.
  for (const Case &c : {Case{"0007", "0", "0"}, Case{"0000", "0", "0"}, Case{"0011", "1", "1"},
                        Case{"1234", "2", "2"}, Case{"9999", "1", "1"}, Case{"0010", "2", "2"}}) {
    window_.reset();
    TfrmMain &w = Station();
    w.StartFrame(5);
    EntryScreen()->Edit3->setText(c.code);
    EntryScreen()->Button1->click();
    EXPECT_EQ(w.FStudID, c.code);
    EXPECT_EQ(w.FVariant, c.variant) << c.code;
    EXPECT_EQ(Answer("VarNo"), c.answersVarNo) << c.code;
  }
}

TEST_F(CodeEntry, VariantMissingFromTheMaterialsKeepsTheCurrentRecord) {
  AddScreen(6);
  TfrmMain &w = Station({{0, 3}, {1, 3}});
  w.StartFrame(5);
  EntryScreen()->Edit3->setText("1234");
  EntryScreen()->Button1->click();
  EXPECT_EQ(w.FVariant, "2");
  EXPECT_EQ(w.complects->FieldNamed("VarNo").AsInteger(), 0) << "the first record stays current";
  EXPECT_EQ(Answer("VarNo"), "4") << "2 * (3 - 1) + 0";
}

TEST_F(CodeEntry, RefusedCodesLeaveTheParticipantAsItWas) {
  AddScreen(6);
  TfrmMain &w = Station();
  std::filesystem::create_directories(Folder("0042"));
  w.StartFrame(5);
  TfrmInstruction *f = EntryScreen();
  // A short code, a code that answered here, and texts that only pasting can
  // bring in: none of them changes the participant.
  for (const char *code : {"12", "", "0042", "12a4", "-123", " 123"}) {
    w.FGymEyesDue = false;
    f->Edit3->setText(code);
    f->Button1->click();
    EXPECT_TRUE(w.FGymEyesDue) << "set also for a refused code";
  }
  ASSERT_EQ(boxes_.shown.size(), 6u);
  const QString shortCode = U("Некорректный код участника!\n\rКод участника должен состоять из 4 цифр");
  EXPECT_EQ(boxes_.shown[0].text, shortCode);
  EXPECT_EQ(boxes_.shown[0].caption, U(kTitle));
  EXPECT_EQ(boxes_.shown[0].buttons, BoxButtons::Ok);
  EXPECT_EQ(boxes_.shown[1].text, shortCode);
  EXPECT_EQ(boxes_.shown[2].text, U("Некорректный код участника!\n\rУчастник с таким кодом уже отвечал на данной станции"));
  // Pasted text that is not all digits is no four-digit code.
  for (int i = 3; i < 6; ++i) EXPECT_EQ(boxes_.shown[i].text, shortCode) << i;
  EXPECT_EQ(w.FStudID, "0000");
  EXPECT_EQ(w.FVariant, "");
  EXPECT_EQ(Answer("a1"), "");
  EXPECT_EQ(Answer("VarNo"), "");
  EXPECT_EQ(w.answers->State(), ts::TDataSetState::dsBrowse) << "the record is not left in editing";
  loop_.Advance(1000);
  EXPECT_EQ(w.CurrentFrame(), f) << "the screen stays";
}

TEST_F(CodeEntry, TheAnsweredTestLooksUnderTheStartUpFolder) {
  AddScreen(6);
  TfrmMain &w = Station();
  std::filesystem::create_directories(Folder("0042"));
  // The working folder changes later; the test still finds the folder the
  // station wrote, and nothing under the new one counts.
  std::filesystem::create_directories("elsewhere/Answer_" + std::string(kStationKey) + "/0043");
  std::filesystem::current_path("elsewhere");
  w.StartFrame(5);
  EntryScreen()->Edit3->setText("0042");
  EntryScreen()->Button1->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EntryScreen()->Edit3->setText("0043");
  EntryScreen()->Button1->click();
  EXPECT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(w.FStudID, "0043");
}

TEST_F(CodeEntry, StopAsksAndOnlyYesEndsTheStation) {
  TfrmMain &w = Station();
  w.StartFrame(5);
  EntryScreen()->Button2->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, U("Завершить работу на станции?"));
  EXPECT_EQ(boxes_.shown[0].caption, U("Внимание!"));
  EXPECT_EQ(boxes_.shown[0].buttons, BoxButtons::YesNo);
  EXPECT_EQ(boxes_.shown[0].owner, BoxOwner::None);
  EXPECT_FALSE(w.FCanClose);
  EXPECT_NE(EntryScreen(), nullptr);

  boxes_.Queue(BoxAnswer::Yes);
  EntryScreen()->Button2->click();
  EXPECT_TRUE(w.FCanClose);
}

TEST_F(CodeEntry, StopAnsweredAfterTheHandOverActsOnTheMainWindowOnly) {
  AddScreen(6);
  TfrmMain &w = Station();
  w.StartFrame(5);
  TfrmInstruction *f = EntryScreen();
  f->Edit3->setText("0007");
  f->Button1->click();
  // The question stays open past the hand-over, which replaces the screen.
  boxes_.Queue(BoxAnswer::Yes, [&] { loop_.Advance(100); });
  f->Button2->click();
  EXPECT_TRUE(Logged("screen6 start none"));
  EXPECT_TRUE(w.FCanClose);
  loop_.RunPosted();
  EXPECT_NE(Current(), nullptr) << "the spoken-code screen is left alone";
}
