// The steps that the task screens share to read their materials and store
// their answers, checked on their own.
#include "../../station_fixture.h"

#include "screens/timed_frame.h"

#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/mem_table.h"

#include <QComboBox>
#include <QLineEdit>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

using namespace station;
using namespace station::testing;

namespace {

QByteArray B(const char *bytes, int n) { return QByteArray(bytes, n); }

TEST(OptionList, MarkDecidesTheEncodingAndATrailingBreakGivesNoEmptyOption) {
  const QStringList expected{U("один"), U(" два "), "", "go"};
  const QByteArray utf8 = QByteArray("\xEF\xBB\xBF") + U("один\r\n два \r\n\r\ngo\r\n").toUtf8();
  EXPECT_EQ(ParseOptionList(utf8), expected);

  QByteArray be("\xFE\xFF", 2);
  QByteArray le("\xFF\xFE", 2);
  for (QChar c : U("один\n два \n\ngo\n")) {
    be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
  }
  EXPECT_EQ(ParseOptionList(be), expected);
  EXPECT_EQ(ParseOptionList(le), expected);

  // No mark: the tables' code page; "один" in it.
  EXPECT_EQ(ParseOptionList(B("\xEE\xE4\xE8\xED\r go", 8)), (QStringList{U("один"), " go"}));
}

TEST(OptionList, EveryKindOfLineBreakEndsAnOption) {
  QString text = U("a\rb\nc\r\nd");
  text.append(QChar(0x2028)).append(U("e"));
  EXPECT_EQ(ParseOptionList(QByteArray("\xEF\xBB\xBF") + text.toUtf8()), (QStringList{"a", "b", "c", "d", "e"}));
  EXPECT_TRUE(ParseOptionList(QByteArray()).isEmpty());
  EXPECT_TRUE(ParseOptionList(QByteArray("\xEF\xBB\xBF")).isEmpty());
  EXPECT_EQ(ParseOptionList(QByteArray("\n")), QStringList{""});
  // A mark alone is no text; a lone odd byte after UTF-16 text is dropped.
  EXPECT_EQ(ParseOptionList(B("\xFF\xFE" "a\0x", 5)), QStringList{"a"});
}

TEST(BoxPositions, ThreeNumbersALineTheRestOfTheLineSkipped) {
  const auto p = ReadBoxPositions("120 45 300 other words 7 8\n\t 10\t20  30\r\n\r\n 1 2\n3\n", 4);
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0].top, 120);
  EXPECT_EQ(p[0].left, 45);
  EXPECT_EQ(p[0].width, 300);
  EXPECT_EQ(p[1].top, 10);
  EXPECT_EQ(p[1].width, 30);
  // Line breaks before a number are skipped like blanks.
  EXPECT_EQ(p[2].top, 1);
  EXPECT_EQ(p[2].left, 2);
  EXPECT_EQ(p[2].width, 3);
  // Past the end every number reads as 0.
  EXPECT_EQ(p[3].top, 0);
  EXPECT_EQ(p[3].left, 0);
  EXPECT_EQ(p[3].width, 0);
  EXPECT_EQ(ReadBoxPositions("-5 +6 7", 1)[0].top, -5);
  EXPECT_EQ(ReadBoxPositions("-5 +6 7", 1)[0].left, 6);
}

TEST(BoxPositions, AValueThatIsNotAWholeNumberIsAnInputError) {
  for (const char *bad : {"12.5 1 1", "1 x 1", "1 1 99999999999", "- 1 1", "1 1 12abc"}) {
    SCOPED_TRACE(bad);
    try {
      ReadBoxPositions(bad, 1);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &e) {
      EXPECT_STREQ(e.what(), "Invalid numeric input");
    }
  }
  // The rest of a line is never read as numbers.
  EXPECT_NO_THROW(ReadBoxPositions("1 2 3 x.y\n4 5 6", 2));
}

TEST(AudioLimit, LengthRoundedHalvesToEvenPlusTwo) {
  EXPECT_EQ(AudioLimitFromSeconds(12.5), 14);
  EXPECT_EQ(AudioLimitFromSeconds(13.5), 16);
  EXPECT_EQ(AudioLimitFromSeconds(12.4), 14);
  EXPECT_EQ(AudioLimitFromSeconds(12.6), 15);
  EXPECT_EQ(AudioLimitFromSeconds(0), 2);
  // What the audio library reports for a file it cannot read.
  EXPECT_EQ(AudioLimitFromSeconds(-1), 1);
  EXPECT_EQ(AudioLimitFromSeconds(std::nan("")), 2);
  EXPECT_EQ(AudioLimitFromSeconds(1e300), std::numeric_limits<int>::max());
}

TEST(WordSplitter, FieldsBetweenDelimitersEmptyOnesCount) {
  EXPECT_EQ(NthWord(3, "x=y", "="), "");
  EXPECT_EQ(NthWord(2, "=b", "="), "b");
  EXPECT_EQ(NthWord(1, "=b", "="), "");
  EXPECT_EQ(NthWord(1, "", "="), "");
  EXPECT_EQ(NthWordStart(1, "", "="), 0);
  EXPECT_EQ(NthWordStart(2, "a=", "="), 3);
  EXPECT_EQ(NthWordStart(3, "a=", "="), 0);
  EXPECT_EQ(NthWordStart(0, "a=b", "="), 0);
  EXPECT_EQ(NthWord(-1, "a=b", "="), "");
  const std::string answer = "a==b===c";
  const char *fields[] = {"a", "", "b", "", "", "c"};
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(NthWord(k, answer, "="), fields[k - 1]) << k;
  EXPECT_EQ(NthWord(7, answer, "="), "");
  EXPECT_EQ(NthWord(2, "one two;three", " ;"), "two");
}

class ChoiceBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 5; ++i) boxes.push_back(MakeChoiceBox(&parent));
    FillChoices(boxes, {"a", "b", "c"});
  }
  QWidget parent;
  std::vector<QComboBox *> boxes;
};

TEST_F(ChoiceBoxes, PickedItemsGiveTheirNumbersNoPickGivesZero) {
  EXPECT_EQ(ChoiceDigits(boxes), "00000");
  boxes[0]->setCurrentIndex(1);
  boxes[4]->setCurrentIndex(2);
  EXPECT_EQ(ChoiceDigits(boxes), "20003");
  // Typed text that is not the picked item's counts as no pick.
  boxes[0]->setEditText("zzz");
  EXPECT_EQ(ChoiceDigits(boxes), "00003");
  // A list longer than nine items gives that box two digits.
  QWidget p;
  QComboBox *big = MakeChoiceBox(&p);
  FillChoices({big}, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"});
  big->setCurrentIndex(10);
  EXPECT_EQ(ChoiceDigits({big, boxes[1]}), "110");
}

TEST_F(ChoiceBoxes, StoredDigitsAreRestoredOnlyWhenTheyFitTheBoxes) {
  RestoreChoices(boxes, "30100");
  EXPECT_EQ(boxes[0]->currentIndex(), 2);
  EXPECT_EQ(boxes[1]->currentIndex(), -1);
  EXPECT_EQ(boxes[2]->currentIndex(), 0);
  EXPECT_EQ(ChoiceDigits(boxes), "30100");
  for (const char *ignored : {"0000", "000000", "00000"}) {
    RestoreChoices(boxes, ignored);
    EXPECT_EQ(ChoiceDigits(boxes), "30100") << ignored;
  }
  // A digit beyond the list picks nothing rather than a wrong item.
  RestoreChoices(boxes, "90001");
  EXPECT_EQ(ChoiceDigits(boxes), "00001");
}

class SharedSteps : public StationFixture {
 protected:
  TfrmMain &Ready() {
    TfrmMain &w = Window();
    w.complects->Open();
    w.complects->Append();
    w.complects->FieldNamed("VarNo").SetAsInteger(0);
    w.complects->Post();
    return w;
  }
};

TEST_F(SharedSteps, BlobCopyWritesExactlyTheBlobsBytesReplacingTheFile) {
  TfrmMain &w = Ready();
  std::string bytes("RIFF\0\x01\xFF\r\n\x1A tail", 14);
  PutMaterialsBlob("Audio", bytes);
  WriteFile("~$t1.tmp", std::string(100, 'x'));
  CopyBlobToFile(w, "audio", "~$t1.tmp");  // names match in any case
  EXPECT_EQ(ReadBytes(dir_ + "/~$t1.tmp"), bytes);
  CopyBlobToFile(w, "AudioPrep", "~$t1a.tmp");
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/~$t1a.tmp"));
  EXPECT_EQ(std::filesystem::file_size(dir_ + "/~$t1a.tmp"), 0u);
  EXPECT_ANY_THROW(CopyBlobToFile(w, "NoSuchField", "~$x.tmp"));
}

TEST_F(SharedSteps, ListsAndPositionsAreReadAndTheirFilesDeleted) {
  TfrmMain &w = Ready();
  WriteFile("~$t1ans.tmp", "a\r\nb\r\n");
  EXPECT_EQ(LoadOptionList(w, "~$t1ans.tmp"), (QStringList{"a", "b"}));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/~$t1ans.tmp"));

  QWidget parent;
  QComboBox *a = MakeChoiceBox(&parent);
  QComboBox *b = MakeChoiceBox(&parent);
  WriteFile("~$t1coords.tmp", "120 45 300 words\n");
  PlaceBoxes(w, "~$t1coords.tmp", {a, b});
  EXPECT_EQ(a->geometry(), QRect(45, 120, 300, 24));
  EXPECT_EQ(b->geometry(), QRect(0, 0, 0, 24)) << "a missing line leaves the box at zero";
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/~$t1coords.tmp"));

  WriteFile("~$t1coords.tmp", "1 2 x\n");
  EXPECT_THROW(PlaceBoxes(w, "~$t1coords.tmp", {a}), std::runtime_error);
  EXPECT_THROW(LoadOptionList(w, "~$missing.tmp"), std::runtime_error);
}

TEST_F(SharedSteps, ParticipantFolderIsMadeInTheAnswerRootAndFailuresAreSilent) {
  TfrmMain &w = Ready();
  w.FStationKey = "key_1";
  w.FStudID = "0042";
  EnsureParticipantFolder(w);
  EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/Answer_key_1/0042"));
  EnsureParticipantFolder(w);  // both exist already
  w.FStationKey = "blocked";
  WriteFile("Answer_blocked", "a file where the folder should be");
  EXPECT_NO_THROW(EnsureParticipantFolder(w));
}

TEST_F(SharedSteps, ExamTimeIsOverOnlyPastTheLimit) {
  TfrmMain &w = Ready();
  w.FExamSeconds = 4500;
  w.FElapsedSeconds = 4500;
  EXPECT_FALSE(ExamTimeOver(w));
  w.FElapsedSeconds = 4501;
  EXPECT_TRUE(ExamTimeOver(w));
}

}  // namespace
