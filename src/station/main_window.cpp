#include "main_window.h"

#include "audio_handles.h"
#include "creation_problem.h"
#include "frame.h"
#include "materials_file.h"
#include "paths.h"
#include "regular_file.h"
#include "station_loop.h"
#include "station_tables.h"
#include "station_texts.h"
#include "ui_text.h"
#include "write_failure_text.h"

#include "platform/files/file_door.h"
#include "pdf_render/my_chrome_pdf_render.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/binary_format/value_tags.h"
#include "table_store/dataset/mem_table.h"

#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace station {
namespace {

constexpr char kTempFile[] = "kim.tmp";
constexpr int kClientWidth = 1016;
constexpr int kClientHeight = 713;
// Arial and MS Sans Serif are replaced by this metric-compatible family.
constexpr char kFontFamily[] = "Liberation Sans";

QString U(const char *utf8) { return QString::fromUtf8(utf8); }

QLabel *MakeLabel(QWidget *parent, const TopBarLabel &spec, const QString &text, Qt::Alignment align) {
  auto *label = new QLabel(text, parent);
  QFont font(kFontFamily);
  font.setPixelSize(spec.fontPixels);
  font.setBold(spec.bold);
  label->setFont(font);
  label->setGeometry(spec.box);
  label->setAlignment(align | Qt::AlignVCenter);
  return label;
}

// Two digits of a clock value: the last two characters of (value + 100).
QString TwoDigits(int value) { return QString::number(value + 100).right(2); }

}  // namespace

TfrmMain::TfrmMain(const EditionSettings &settings, StationServices services)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      settings_(settings),
      services_(services),
      answer_root_(AbsoluteWorkingFolder()) {
  complects = MakeComplectsTable();
  answers = MakeAnswersTable(settings_.answersFieldSize);
  dvoBinaryStreamFormat1 = MakeStationFormat();
  // Created with the window; the PDF library itself is bound on first use.
  FPDFRender = std::make_unique<TMyChromePDFRender>();
  setWindowTitle(settings_.caption);
  setFixedSize(kClientWidth, kClientHeight);
  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(0);
  BuildTopBar();
  // The screen fills what the top bar leaves, or the whole window while the
  // bar is hidden.
  client_ = new QWidget(this);
  client_layout_ = new QVBoxLayout(client_);
  client_layout_->setContentsMargins(0, 0, 0, 0);
  client_layout_->setSpacing(0);
  layout_->addWidget(client_, 1);

  timer_control_ = services_.loop.CreateTimer();
  TimerControl = timer_control_.get();
  TimerControl->SetInterval(1000);
  TimerControl->SetEnabled(false);
  TimerControl->SetHandler([this] { TimerControlTimer(); });

  recording_watch_ = services_.loop.CreateTimer();
  recording_watch_->SetInterval(1000);
  recording_watch_->SetEnabled(false);
  recording_watch_->SetHandler([this] { WatchRecording(); });

  services_.loop.SetErrorReporter([this](const QString &text) { ReportHandlerError(text); });
  SetStartValues();
}

TfrmMain::~TfrmMain() {
  *alive_ = false;
  services_.loop.SetErrorReporter(nullptr);
  if (TimerControl) TimerControl->SetEnabled(false);
  recording_watch_->SetEnabled(false);
  FPDFRender.reset();
  delete current_frame_;
  current_frame_ = nullptr;
  DestroyRetiredFrames();
  if (materials_in_) std::fclose(materials_in_);
  if (materials_tmp_) std::fclose(materials_tmp_);
  if (audio_started_) {
    BASS_RecordFree();
    BASS_Free();
    BASS_Stop();
  }
  if (MainWnd == this) MainWnd = nullptr;
}

void TfrmMain::BuildTopBar() {
  const TopBarLayout &bar = settings_.topBar;
  Panel1 = new QFrame(this);
  Panel1->setFixedHeight(bar.height);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Raised);
  layout_->addWidget(Panel1);
  Label1 = MakeLabel(Panel1, bar.clock, QString(), Qt::AlignLeft);
  lblProcessName = MakeLabel(Panel1, bar.processName, U("Подготовка:"), Qt::AlignRight);
  ProcessBar = new QProgressBar(Panel1);
  ProcessBar->setGeometry(bar.processBar);
  ProcessBar->setTextVisible(false);
  ProcessBar->setRange(0, 100);
  ProcessBar->setValue(0);
  lblProcessTime = MakeLabel(Panel1, bar.processTime, U("999 сек."), Qt::AlignLeft);
}

void TfrmMain::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  if (QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const QRect area = s->geometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

// ---- start-up ---------------------------------------------------------------

bool TfrmMain::FormCreate() {
  try {
    if (!OpenMaterials()) {
      FailMaterials();
      return false;
    }
    const UnpackResult unpacked = UnpackMaterials();
    if (unpacked == UnpackResult::NotWritten) {
      FailUnpackedFile();
      return false;
    }
    PrepareAnswers();
    if (unpacked != UnpackResult::Ok || !LoadComplects()) {
      FailMaterials();
      return false;
    }
    SetStartValues();
    if (!CheckAudioVersion()) return false;
    InitAudio();
    LocateFirstVariant();
  } catch (const std::exception &e) {
    // Without its tables the station cannot go on: the error is shown and
    // the program ends.
    RemoveUnpackedFile();
    ReportHandlerError(ErrorText(e));
    return false;
  }
  // The first screen's own errors are its handler's: shown, and the program
  // goes on.
  services_.loop.RunHandler([this] { StartFrame(1); });
  return true;
}

bool TfrmMain::OpenMaterials() {
  // Anything but a regular file counts as missing materials: a named pipe
  // would block the start before any window opens.
  materials_in_ = OpenRegularForReading(settings_.materialsFile).file;
  return materials_in_ != nullptr;
}

TfrmMain::UnpackResult TfrmMain::UnpackMaterials() {
  const OpenedFile tmp = CreateRegularForWriting(kTempFile);
  materials_tmp_ = tmp.file;
  tmp_created_ = tmp.file != nullptr;
  tmp_fd_ = tmp.fd;
  tmp_error_ = tmp.error;
  tmp_not_regular_ = tmp.notRegular;
  tmp_of_file_ = tmp.ofFile;
  if (!materials_tmp_) {
    std::fclose(materials_in_);
    materials_in_ = nullptr;
    return UnpackResult::NotWritten;
  }
  // A body that cannot be a table is refused from its first bytes, before
  // the rest is inflated into kim.tmp.
  const InflateResult result =
      InflateMaterials(materials_in_, materials_tmp_, &tmp_error_, nullptr, ts::CanBeginTableStream);
  // A full disk often shows only when the last buffer goes out here.
  const bool closed = std::fclose(materials_tmp_) == 0;
  const int closeError = errno;
  std::fclose(materials_in_);
  materials_in_ = materials_tmp_ = nullptr;
  if (result == InflateResult::WriteFailed) return UnpackResult::NotWritten;
  if (result != InflateResult::Ok) return UnpackResult::Damaged;
  if (!closed) {
    tmp_error_ = closeError;
    return UnpackResult::NotWritten;
  }
  return UnpackResult::Ok;
}

void TfrmMain::PrepareAnswers() { AppendEmptyAnswers(*answers); }

bool TfrmMain::LoadComplects() {
  bool ok = true;
  try {
    // Read back through the file written, not by its name, which anyone who
    // may write the working folder could have given to another file.
    ts::TFileStream body(kTempFile, ::fcntl(tmp_fd_, F_DUPFD_CLOEXEC, 0));
    body.SetPosition(0);
    complects->LoadStreamWithFormat(body, dvoBinaryStreamFormat1.get());
  } catch (const std::exception &) {
    // Whatever the body lacks, the station reports it as damaged materials.
    ok = false;
  }
  // The body is not left behind, whether it loaded or not.
  RemoveUnpackedFile();
  if (!ok) return false;
  complects->Open();
  complects->Last();
  complects->First();
  // A table without a variant or without a field the screens read is as
  // damaged as one that cannot be read: found now, not on the screen that
  // reads it.
  return HoldsWhatIsRead(*complects, settings_.materialsFields);
}

void TfrmMain::FailMaterials() {
  if (materials_in_) std::fclose(materials_in_);
  if (materials_tmp_) std::fclose(materials_tmp_);
  materials_in_ = materials_tmp_ = nullptr;
  // Nothing may be left behind of a body that could not be loaded.
  RemoveUnpackedFile();
  ShowBox({settings_.materialsMessage, U(texts::kCaptionErrorDots), BoxButtons::Ok, BoxIcon::None,
           BoxOwner::None});
}

void TfrmMain::FailUnpackedFile() {
  // What was written of the body would only take the room that was lacking.
  RemoveUnpackedFile();
  const QString name = QString::fromLatin1(kTempFile);
  ShowBox({U(texts::kUnpackedMaterialsNotWritten).arg(name, WriteFailureReason({tmp_error_, tmp_not_regular_, tmp_of_file_}, name)),
           U(texts::kCaptionErrorDots), BoxButtons::Ok, BoxIcon::None, BoxOwner::None});
}

void TfrmMain::RemoveUnpackedFile() {
  if (!tmp_created_) return;
  tmp_created_ = false;
  // Only the file made goes: whatever else was put at the name stays.
  klt::files::RemoveOwn(kTempFile, tmp_fd_);
  ::close(std::exchange(tmp_fd_, -1));
}

void TfrmMain::SetStartValues() {
  FAppDir = ProgramFolder();
  FCanClose = false;
  const TimeLimits &l = settings_.limits;
  FPrepare1Seconds = l.prepare1;
  FPrepare5Seconds = l.prepare5;
  FPrepare6Seconds = l.prepare6;
  FTask1Seconds = l.task1;
  FTask2Seconds = l.task2;
  FTask3Seconds = l.task3;
  FTask4Seconds = l.task4;
  FTask5Seconds = l.task5;
  FTask6Seconds = l.task6;
  FExamSeconds = l.exam;
  FGymEyesSeconds = l.gymEyes;
  FStudID = settings_.defaultStudID;
}

bool TfrmMain::CheckAudioVersion() {
  if ((BASS_GetVersion() >> 16) == 0x0204) return true;
  ShowBox({U(texts::kWrongAudioVersion), QString(), BoxButtons::Ok, BoxIcon::Error, BoxOwner::None});
  return false;
}

void TfrmMain::InitAudio() {
  MainWnd = this;
  FAudioReady = true;
  audio_started_ = true;
  if (!BASS_RecordInit(-1) || !BASS_Init(-1, 44100, 0, MainWnd, nullptr)) {
    ShowBassError(U(texts::kAudioDeviceFailed));
    FAudioReady = false;
  }
}

void TfrmMain::LocateFirstVariant() {
  // Without a variant 0 the first record stays current.
  complects->LocateRecord("VarNo", ts::TValue::Integer(0));
}

// ---- screens ----------------------------------------------------------------

void TfrmMain::StartFrame(int code) {
  if (current_frame_) {
    TFrame *old = current_frame_;
    current_frame_ = nullptr;
    RetireFrame(old);
  }
  const auto row = settings_.screens.find(code);
  if (row == settings_.screens.end() || !row->second.create) return;
  std::unique_ptr<TFrame> frame = row->second.create(*this);
  TFrame *shown = frame.release();  // owned by this window as its child
  current_frame_ = shown;
  client_layout_->addWidget(shown);
  shown->show();
  QString error;
  try {
    shown->Start(row->second.startArg);
    return;
  } catch (const std::exception &e) {
    error = ErrorText(e);
  } catch (...) {
    error = QStringLiteral("Unknown error");
  }
  // Damaged materials must not leave the station on a screen that never
  // ends: the frame goes on as far as it can, then the error is shown (the
  // frame's timer keeps firing while the box is open).
  if (current_frame_ == shown) {
    try {
      shown->StartFailed();
    } catch (const std::exception &e) {
      error += QStringLiteral("\n") + ErrorText(e);
    }
  }
  ReportHandlerError(error);
}

void TfrmMain::RetireFrame(TFrame *frame) {
  // The frame may be the one whose handler asked for the switch: it stops
  // now but is destroyed only once that handler, and any message box opened
  // further up, has returned.
  frame->hide();
  frame->StopTimers();
  client_layout_->removeWidget(frame);
  retired_frames_.push_back(frame);
  services_.loop.PostWhenOutermost([alive = std::weak_ptr<bool>(alive_), this] {
    if (auto a = alive.lock(); a && *a) DestroyRetiredFrames();
  });
}

void TfrmMain::DestroyRetiredFrames() {
  auto frames = std::move(retired_frames_);
  retired_frames_.clear();
  for (TFrame *f : frames) delete f;
}

void TfrmMain::StopExam() {
  if (current_frame_) current_frame_->hide();
  FCanClose = true;
  close();
}

void TfrmMain::closeEvent(QCloseEvent *event) { event->setAccepted(FormCloseQuery()); }

// ---- pages ------------------------------------------------------------------

void TfrmMain::ShowPDFPage(QLabel *picture, const std::string &fieldName, int page) {
  // Read from the blob anew every time: the current variant may have changed.
  FPDFRender->LoadPDFFromDB(&complects->FieldNamed(fieldName));
  FPageNo = page;
  FPageDPI = 100;
  RenderPage(picture);
}

void TfrmMain::RenderPage(QLabel *picture) {
  QImage bitmap;
  FPDFRender->RenderPageToBitmap(bitmap, FPageNo, FPageDPI, FPageDPI, false, false, true);
  picture->setPixmap(QPixmap::fromImage(bitmap));
}

// ---- exam clock -------------------------------------------------------------

void TfrmMain::TimerControlTimer() {
  const int remaining = FExamSeconds - FElapsedSeconds;
  ++FElapsedSeconds;
  if (settings_.clockWarningAt && remaining == *settings_.clockWarningAt && !ClockWarningSuppressed()) {
    // Shown once this tick has returned: a box opened inside the tick would
    // hold the clock, whose timer is not fired again while its handler runs.
    services_.loop.Post([alive = std::weak_ptr<bool>(alive_), this] {
      if (auto a = alive.lock(); a && *a)
        ShowBox({settings_.clockWarningText, U(texts::kCaptionAttention), BoxButtons::Ok, BoxIcon::None,
                 BoxOwner::None});
    });
  }
  if (remaining >= 1)
    Label1->setText(U(texts::kClockPrefix) + TwoDigits(remaining / 60) + ':' + TwoDigits(remaining % 60));
  else
    Label1->setText(QString());
}

// ---- message boxes ----------------------------------------------------------

BoxAnswer TfrmMain::ShowBox(const BoxRequest &request) { return services_.messages.Show(request); }

void TfrmMain::ShowMessage(const QString &text) {
  ShowBox({text, settings_.title, BoxButtons::Ok, BoxIcon::None, BoxOwner::MainWindow});
}

bool TfrmMain::AskYesNo(const QString &text) {
  return ShowBox({text, U(texts::kCaptionAttention), BoxButtons::YesNo, BoxIcon::None, BoxOwner::None}) ==
         BoxAnswer::Yes;
}

void TfrmMain::ShowNoticeOnce(const QString &text) {
  if (notice_pending_) return;
  notice_pending_ = true;
  services_.loop.Post([alive = std::weak_ptr<bool>(alive_), this, text] {
    auto a = alive.lock();
    if (!a || !*a) return;
    ShowMessage(text);
    if (*a) notice_pending_ = false;
  });
}

void TfrmMain::ResetParticipantMemory() { FChoicePicks.clear(); }

void TfrmMain::ReportHandlerError(const QString &text) {
  ShowBox({text, settings_.title, BoxButtons::Ok, BoxIcon::Error, BoxOwner::MainWindow});
}

void TfrmMain::ShowBassError(const QString &message, const QString &detail) {
  QString text = message + U(texts::kAudioErrorCode).arg(BASS_ErrorGetCode());
  if (!detail.isEmpty()) text += QStringLiteral("\n") + detail;
  ShowBox({text, U(texts::kCaptionError), BoxButtons::Ok, BoxIcon::None, BoxOwner::MainWindow});
}

// ---- recording --------------------------------------------------------------

BOOL TfrmMain::RecordProc(HRECORD handle, const void *, DWORD, void *) {
  return BASS_Encode_IsActive(handle) != 0 ? 1 : 0;
}

void TfrmMain::StartRecording(const std::string &path) {
  recording_watch_->SetEnabled(false);
  // The spoken code starts anew over a recording that ended by itself; one
  // replaced before its loss was seen is told now.
  if (RecChannel != 0 && !recording_lost_ && BASS_ChannelIsActive(RecChannel) == BASS_ACTIVE_STOPPED)
    ReportLostRecording();
  recording_path_ = path;
  recording_lost_ = false;
  if (RecPlayStream != 0) {
    BASS_StreamFree(RecPlayStream);
    RecPlayStream = 0;
  }
  BASS_RecordSetDevice(1);
  RecChannel = BASS_RecordStart(44100, 2, BASS_RECORD_PAUSE, &TfrmMain::RecordProc, nullptr);
  if (RecChannel == 0) {
    ShowBassError(U(texts::kRecordStartFailed));
    return;
  }
  // The path goes to the encoder as one argument, whatever it holds.
  const char *const argv[] = {"oggenc.exe", "-o", path.c_str(), "-", nullptr};
  if (BASS_Encode_StartArgv(RecChannel, argv, BASS_ENCODE_AUTOFREE, nullptr, nullptr) != 0) {
    BASS_ChannelPlay(RecChannel, 0);
    recording_watch_->SetEnabled(true);
  } else {
    // A file that cannot be written is no missing encoder; the supervisor
    // is told which file and why, so that a folder without write access is
    // not taken for an antivirus.
    if (BASS_ErrorGetCode() == BASS_ERROR_FILEOPEN)
      ShowBassError(U(texts::kRecordStartFailed), CreationProblem(path));
    else
      ShowBassError(U(texts::kEncoderStartFailed));
    BASS_ChannelStop(RecChannel);
    RecChannel = 0;
  }
}

void TfrmMain::WatchRecording() {
  if (RecChannel == 0 || recording_lost_) {
    recording_watch_->SetEnabled(false);
    return;
  }
  // The recording callback ends the channel once its encoder has stopped;
  // the encoder is asked too, so that a recording whose samples have all
  // been taken is not taken for a running one.
  if (BASS_ChannelIsActive(RecChannel) != BASS_ACTIVE_STOPPED && BASS_Encode_IsActive(RecChannel) != 0) return;
  recording_watch_->SetEnabled(false);
  ReportLostRecording();
}

void TfrmMain::ReportLostRecording() {
  recording_lost_ = true;
  // What stops an encoder is nearly always its file: no room, a quota, a
  // size limit, a folder gone. The file is asked why, as the encoder's own
  // words are not the station's.
  ShowBox({WriteProblem(recording_path_), U(texts::kCaptionError), BoxButtons::Ok, BoxIcon::None,
           BoxOwner::MainWindow});
}

bool TfrmMain::StopRecording(const std::string &path) {
  recording_watch_->SetEnabled(false);
  const HRECORD channel = RecChannel;
  // A recording that ended before it was stopped lost its encoder (it died
  // or could not write): what was said after that is not in the file.
  const bool endedByItself = channel != 0 && BASS_ChannelIsActive(channel) == BASS_ACTIVE_STOPPED;
  BASS_ChannelStop(RecChannel);
  RecChannel = 0;
  if (channel != 0) {
    // The encoder ends with the channel but may still be writing the end of
    // the file; what is played back must be the whole recording. The exam
    // clock keeps running meanwhile.
    services_.loop.WaitWhile([channel] { return BASS_Encode_IsActive(channel) != 0; },
                             services_.encoderFinishWaitMs);
  }
  RecPlayStream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
  if (channel == 0) return false;
  const bool lost = recording_lost_ || endedByItself || RecPlayStream == 0;
  if (lost && !recording_lost_) {
    recording_path_ = path;
    ReportLostRecording();
  }
  recording_lost_ = false;
  return !lost;
}

std::unique_ptr<TfrmMain> MakeMainWindow(const EditionSettings &settings, const StationServices &services) {
  if (settings.makeWindow) return settings.makeWindow(settings, services);
  return std::make_unique<TfrmMain>(settings, services);
}

}  // namespace station
