// The station's main window: start-up, the top bar and exam clock, screen
// switching by screen code, page rendering and the recording services.
#pragma once

#include "../platform/audio/bass.h"
#include "edition_settings.h"
#include "message_service.h"

#include <QWidget>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QCloseEvent;
class QFrame;
class QShowEvent;
class QLabel;
class QProgressBar;
class QVBoxLayout;
class TMyChromePDFRender;

namespace ts {
class TdvoBinaryStreamFormat;
class TdvoMemTable;
}

namespace station {

class StationLoop;
class StationTimer;
class TFrame;

// The main window's handle: owner of the audio library's window and of the
// audio error boxes.
inline void *MainWnd = nullptr;

struct StationServices {
  StationLoop &loop;
  MessageService &messages;
  // Longest wait for the encoder to finish a file after a recording stops.
  int encoderFinishWaitMs = 3000;
};

class TfrmMain : public QWidget {
 public:
  TfrmMain(const EditionSettings &settings, StationServices services);
  ~TfrmMain() override;  // FormDestroy

  // Start-up, before the window is shown. False means the program must end:
  // its message has been shown and no screen was started.
  bool FormCreate();

  // Screens. A screen whose Start raises an error is told so (StartFailed),
  // so that it still counts and hands over, and the error is shown.
  void StartFrame(int code);
  void StopExam();
  TFrame *CurrentFrame() const { return current_frame_; }

  // Pages of the materials.
  void ShowPDFPage(QLabel *picture, const std::string &fieldName, int page);
  void RenderPage(QLabel *picture);

  // Recording. A running recording is watched: one that ends by itself
  // (its encoder stopped, as a full disk makes it) is told at once with its
  // file and the reason, and once only. StopRecording answers whether the
  // file holds the recording, so that a lost one is never offered for
  // confirmation.
  void StartRecording(const std::string &path);
  bool StopRecording(const std::string &path);
  static BOOL RecordProc(HRECORD handle, const void *buffer, DWORD length, void *user);
  // `detail`, where there is one, follows the error code on a line of its own.
  void ShowBassError(const QString &message, const QString &detail = {});

  // Message boxes with the station's captions.
  BoxAnswer ShowBox(const BoxRequest &request);
  // The standard message dialog titled with the program's title.
  void ShowMessage(const QString &text);
  // A yes/no question without owner titled "Внимание!"; true only for Yes.
  bool AskYesNo(const QString &text);
  // `text` in the standard message dialog, shown once the running handler
  // has returned (a box opened inside a tick would hold that tick's timer).
  // While one such notice is waiting or open, further ones are dropped.
  void ShowNoticeOnce(const QString &text);

  // What the station keeps of the current participant besides the answers
  // record; cleared by code entry when it accepts a code.
  void ResetParticipantMemory();

  // Exam clock tick.
  void TimerControlTimer();
  // Answers whether the window may close.
  bool FormCloseQuery() const { return FCanClose; }

  // Base folder of every "Answer_" path: the working directory at start-up.
  const std::string &AnswerRoot() const { return answer_root_; }

  const EditionSettings &Settings() const { return settings_; }
  StationLoop &Loop() { return services_.loop; }

  // Top bar and exam clock.
  QFrame *Panel1 = nullptr;
  QLabel *Label1 = nullptr;
  QLabel *lblProcessName = nullptr;
  QProgressBar *ProcessBar = nullptr;
  QLabel *lblProcessTime = nullptr;
  StationTimer *TimerControl = nullptr;

  // The materials (one record per variant) and the single answers record.
  std::unique_ptr<ts::TdvoMemTable> complects;
  std::unique_ptr<ts::TdvoMemTable> answers;
  std::unique_ptr<ts::TdvoBinaryStreamFormat> dvoBinaryStreamFormat1;

  // Fields that the screens read and write.
  int FPrepare1Seconds = 0;
  int FPrepare5Seconds = 0;
  int FPrepare6Seconds = 0;
  int FTask1Seconds = 0;
  int FTask2Seconds = 0;
  int FTask3Seconds = 0;
  int FTask4Seconds = 0;
  int FTask5Seconds = 0;
  int FTask6Seconds = 0;
  int FExamSeconds = 0;
  int FGymEyesSeconds = 0;
  bool FGymEyesDue = false;
  int FElapsedSeconds = 0;
  QString FStudID;
  QString FVariant;
  QString FStationKey;
  QString FSubjID;
  QString FExamDate;
  std::string FAppDir;
  bool FCanClose = false;
  bool FAudioReady = true;
  std::unique_ptr<TMyChromePDFRender> FPDFRender;
  int FPageNo = 0;
  int FPageDPI = 0;
  // The current participant's picks in the drop-down boxes of each choice
  // task, by answer field ("a2"): per box the picked item counted from 1, 0
  // for none. A return to the task restores from here, whatever the number
  // of options (the stored digit answer cannot be split back once a pick
  // has two digits).
  std::map<std::string, std::vector<int>> FChoicePicks;

  // Start-up steps, in order.
  bool OpenMaterials();
  // Damaged: the materials cannot be inflated. NotWritten: good or not, they
  // cannot be written into the working folder, which is no fault of theirs.
  enum class UnpackResult { Ok, Damaged, NotWritten };
  UnpackResult UnpackMaterials();
  void PrepareAnswers();
  bool LoadComplects();
  void SetStartValues();
  bool CheckAudioVersion();
  void InitAudio();
  void LocateFirstVariant();

 protected:
  // The edition's reason to hold back the exam clock's warning.
  virtual bool ClockWarningSuppressed() const { return false; }
  void closeEvent(QCloseEvent *event) override;
  void showEvent(QShowEvent *event) override;

 private:
  void BuildTopBar();
  void FailMaterials();
  void FailUnpackedFile();
  void RemoveUnpackedFile();
  void RetireFrame(TFrame *frame);
  void DestroyRetiredFrames();
  void ReportHandlerError(const QString &text);
  void WatchRecording();
  void ReportLostRecording();

  EditionSettings settings_;
  StationServices services_;
  std::unique_ptr<StationTimer> timer_control_;
  // The running recording's file, and whether its loss has been told.
  std::unique_ptr<StationTimer> recording_watch_;
  std::string recording_path_;
  bool recording_lost_ = false;
  QVBoxLayout *layout_ = nullptr;
  QWidget *client_ = nullptr;
  QVBoxLayout *client_layout_ = nullptr;
  TFrame *current_frame_ = nullptr;
  std::vector<TFrame *> retired_frames_;
  std::string answer_root_;
  std::FILE *materials_in_ = nullptr;
  std::FILE *materials_tmp_ = nullptr;
  // The temporary file is ours to remove only once we created or emptied it:
  // a folder or a special file that held its name stays.
  bool tmp_created_ = false;
  int tmp_fd_ = -1;  // kim.tmp as made: read back and removed through it, whatever has its name then
  int tmp_error_ = 0;
  bool tmp_not_regular_ = false;
  bool tmp_of_file_ = false;  // kim.tmp's own file refused, not the folder
  bool audio_started_ = false;
  bool notice_pending_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The main window of the edition that `settings` describe.
std::unique_ptr<TfrmMain> MakeMainWindow(const EditionSettings &settings, const StationServices &services);

}  // namespace station
