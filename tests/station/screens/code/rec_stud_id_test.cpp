#include "code_fixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <fstream>

using namespace station;
using namespace station::testing;

namespace {

class SpokenCode : public CodeScreens {
 protected:
  // Code entry accepts `code` and hands over to the spoken code.
  TfrmRecStudID *Enter(const char *code) {
    AddScreen(10);
    TfrmMain &w = Station();
    w.StartFrame(5);
    EntryScreen()->Edit3->setText(code);
    EntryScreen()->Button1->click();
    loop_.Advance(100);
    FakeAudio::Get().calls.clear();
    return SpokenScreen();
  }
  std::string Recording(const std::string &code) { return Folder(code) + "/" + code + "_0.ogg"; }
};

}  // namespace

TEST_F(SpokenCode, StartPromptsForTheCode) {
  TfrmRecStudID *f = Enter("0007");
  ASSERT_NE(f, nullptr);
  TfrmMain &w = Window();
  EXPECT_TRUE(w.Panel1->isHidden());
  EXPECT_EQ(f->Label1->text(), U("Запись кода участника КЛТ"));
  EXPECT_EQ(f->Label2->text(),
            U("Нажмите кнопку \"Запись кода участника\"\n\rи четко произнесите на русском языке свой код \n\r0007"));
  EXPECT_EQ(f->btnRecID->text(), U("Запись кода участника"));
  EXPECT_FALSE(f->StudIDRecOk);
  EXPECT_FALSE(f->Button1->isEnabled());
  EXPECT_FALSE(f->Action1->isEnabled());
  for (QWidget *hidden : {static_cast<QWidget *>(f->lblRecID), static_cast<QWidget *>(f->pnlTestREC),
                          static_cast<QWidget *>(f->imgMic), static_cast<QWidget *>(f->imgSpeak)})
    EXPECT_TRUE(hidden->isHidden());
  EXPECT_FALSE(std::filesystem::exists(Folder("0007"))) << "no folder before the first recording";
}

TEST_F(SpokenCode, RecordPlayBackConfirmAndStartTheWork) {
  TfrmRecStudID *f = Enter("0007");
  TfrmMain &w = Window();
  FakeAudio &audio = FakeAudio::Get();

  f->btnRecID->click();
  EXPECT_TRUE(std::filesystem::is_directory(Folder("0007"))) << "made before the recording starts";
  EXPECT_EQ(audio.lastArguments, (std::vector<std::string>{"oggenc.exe", "-o", Recording("0007"), "-"}));
  EXPECT_EQ(RecChannel, 101u);
  EXPECT_EQ(f->btnRecID->text(), U("Завершить запись и воспроизвести"));
  EXPECT_FALSE(f->imgMic->isHidden());

  audio.calls.clear();
  f->btnRecID->click();
  EXPECT_EQ(RecChannel, 0u);
  EXPECT_EQ(audio.openedFiles.back(), Recording("0007"));
  EXPECT_EQ(audio.calls.back(), "ChannelPlay 500 1") << "the recording is played from its start";
  EXPECT_EQ(f->btnRecID->text(), U("Запись кода участника"));
  EXPECT_FALSE(f->btnRecID->isEnabled());
  EXPECT_FALSE(f->pnlTestREC->isHidden());
  EXPECT_FALSE(f->imgSpeak->isHidden());
  EXPECT_TRUE(f->imgMic->isHidden());
  EXPECT_FALSE(f->Button1->isEnabled()) << "not before the answer";
  w.show();
  const QPixmap shot = w.grab();
  EXPECT_TRUE(shot.save(QString(STATION_TEST_OUTPUT_DIR) + "/spoken_code.png"));
  // The question panel covers the picture: it looks the same without it.
  const QRect panel(f->pnlTestREC->mapTo(&w, QPoint(0, 0)), f->pnlTestREC->size());
  f->imgSpeak->hide();
  EXPECT_EQ(shot.copy(panel).toImage(), w.grab(panel).toImage()) << "the picture shows through the question";
  f->imgSpeak->show();
  const QRect button = f->btnRecID->geometry();

  f->Button4->click();
  EXPECT_TRUE(f->StudIDRecOk);
  EXPECT_TRUE(audio.Called("ChannelStop 500"));
  EXPECT_TRUE(f->pnlTestREC->isHidden());
  EXPECT_TRUE(f->imgSpeak->isHidden());
  EXPECT_TRUE(f->btnRecID->isEnabled());
  EXPECT_EQ(f->lblRecID->text(), "V");
  EXPECT_TRUE(f->lblRecID->styleSheet().contains("green"));
  EXPECT_FALSE(f->lblRecID->isHidden());
  QCoreApplication::processEvents();
  EXPECT_EQ(f->btnRecID->geometry(), button) << "the result appears beside the button, which stays";
  ASSERT_TRUE(f->Button1->isEnabled());

  // The work's time starts with the finish button; the next screen follows
  // 100 ms later with the top bar shown.
  w.FElapsedSeconds = 77;
  w.Label1->setText("old");
  f->Button1->click();
  EXPECT_TRUE(w.TimerControl->Enabled());
  EXPECT_EQ(w.FElapsedSeconds, 0);
  EXPECT_EQ(w.Label1->text(), "");
  std::filesystem::remove_all(Folder("0007"));
  loop_.Advance(100);
  EXPECT_TRUE(Logged("screen10 start none"));
  EXPECT_FALSE(w.Panel1->isHidden());
  EXPECT_TRUE(std::filesystem::is_directory(Folder("0007"))) << "the hand-over makes sure the folder exists";
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(SpokenCode, RejectedOrRepeatedRecordingKeepsTheFinishButtonOff) {
  TfrmRecStudID *f = Enter("0008");
  f->btnRecID->click();
  f->btnRecID->click();
  f->Button5->click();
  EXPECT_FALSE(f->StudIDRecOk);
  EXPECT_EQ(f->lblRecID->text(), "X");
  EXPECT_TRUE(f->lblRecID->styleSheet().contains("red"));
  EXPECT_TRUE(f->pnlTestREC->isHidden());
  EXPECT_TRUE(f->btnRecID->isEnabled());
  EXPECT_FALSE(f->Button1->isEnabled());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text,
            U("Пригласите организатора в аудитории и сообщите о проблеме записи кода участника."));
  EXPECT_EQ(boxes_.shown[0].caption, U("КЛТ-11. Иностранный язык - 2020"));

  // A finish press while disabled does nothing.
  f->Action1->trigger();
  loop_.Advance(1000);
  EXPECT_FALSE(Window().TimerControl->Enabled());
  EXPECT_EQ(Window().CurrentFrame(), f);

  // Confirmed, then recorded again: the confirmation is withdrawn until the
  // new recording is answered, so no recording can run into the tasks.
  f->btnRecID->click();
  f->btnRecID->click();
  f->Button4->click();
  EXPECT_TRUE(f->Button1->isEnabled());
  f->btnRecID->click();
  EXPECT_NE(RecChannel, 0u);
  EXPECT_FALSE(f->StudIDRecOk);
  EXPECT_FALSE(f->Button1->isEnabled());
  EXPECT_TRUE(f->lblRecID->isHidden());
}

TEST_F(SpokenCode, FailedStartIsReportedAndTheNextPressTriesAgain) {
  TfrmRecStudID *f = Enter("0009");
  FakeAudio &audio = FakeAudio::Get();
  audio.nextRecordHandle = 0;
  audio.failureCode = 46;
  f->btnRecID->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text,
            U("Невозможно начать запись. Возможно работу приложения блокирует антивирус\n(Код ошибки: 46)"));
  EXPECT_EQ(RecChannel, 0u);
  EXPECT_EQ(f->btnRecID->text(), U("Завершить запись и воспроизвести"));

  audio.nextRecordHandle = 101;
  audio.calls.clear();
  f->btnRecID->click();
  EXPECT_TRUE(audio.Called("RecordStart")) << "an inactive channel starts a new recording";
  EXPECT_FALSE(audio.Called("ChannelPlay 500"));
  EXPECT_EQ(RecChannel, 101u);

  // The encoder wrote nothing that can be played: told at the stop, and
  // nothing is offered for confirmation.
  f->btnRecID->click();
  f->Button4->click();
  boxes_.shown.clear();
  audio.encoderWrites = false;
  f->btnRecID->click();
  f->btnRecID->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(U("Невозможно записать файл \"") +
                                              QString::fromStdString(Window().AnswerRoot() + "Answer_" + kStationKey +
                                                                     "/0009/0009_0.ogg\"")))
      << boxes_.shown[0].text.toStdString();
  EXPECT_TRUE(f->pnlTestREC->isHidden());
  EXPECT_TRUE(f->btnRecID->isEnabled());
  EXPECT_EQ(f->btnRecID->text(), U("Запись кода участника"));
  EXPECT_EQ(f->lblRecID->text(), "X");
  EXPECT_FALSE(f->StudIDRecOk);
  EXPECT_FALSE(f->Button1->isEnabled());

  // A recording that ended by itself is replaced by the next press before
  // the station saw it end: its loss is told all the same.
  boxes_.shown.clear();
  f->btnRecID->click();
  audio.channelEnded = true;
  f->btnRecID->click();
  EXPECT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(RecChannel, 101u) << "a new recording started";
}

TEST_F(SpokenCode, AFolderThatCannotBeMadeIsNamedWithItsReason) {
  TfrmRecStudID *f = Enter("0009");
  const std::string station = Window().AnswerRoot() + "Answer_" + kStationKey;
  // A file in the way stops the folder for every user, root included; each
  // press tries again.
  for (const std::string &occupied : {station, station + "/0009"}) {
    SCOPED_TRACE(occupied);
    std::ofstream(occupied) << "in the way";
    boxes_.shown.clear();
    f->btnRecID->click();
    EXPECT_EQ(RecChannel, 0u);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    const QString name = QString::fromStdString(std::filesystem::path(occupied).filename().string());
    EXPECT_EQ(boxes_.shown[0].text.toStdString(),
              U("Невозможно начать запись. Возможно работу приложения блокирует антивирус\n(Код ошибки: 7)\n"
                "Невозможно создать папку \"%1\".\n\rПричина: имя %2 уже занято")
                  .arg(QString::fromStdString(occupied), name)
                  .toStdString());
    EXPECT_EQ(SpokenScreen(), f) << "the station stays on the screen";
    std::filesystem::remove(occupied);
    std::filesystem::create_directory(station);
  }
}

TEST_F(SpokenCode, ARecordedCodeIsRefusedOnThisStationAfterwards) {
  TfrmRecStudID *f = Enter("0042");
  // The working folder may change meanwhile; the folder is written where
  // code entry looks.
  std::filesystem::create_directory("elsewhere");
  std::filesystem::current_path("elsewhere");
  f->btnRecID->click();
  ASSERT_TRUE(std::filesystem::is_directory(Folder("0042")));
  EXPECT_FALSE(std::filesystem::exists("Answer_" + std::string(kStationKey)));

  // The participant does not finish; the next one types the same code.
  Window().StartFrame(5);
  EntryScreen()->Edit3->setText("0042");
  EntryScreen()->Button1->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.endsWith(U("Участник с таким кодом уже отвечал на данной станции")));
}
