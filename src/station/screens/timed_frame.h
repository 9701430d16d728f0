// Timed frames: every screen that lasts a limited time, and the steps the
// task screens share to read their materials.
//
// What this file offers:
//
//  TTimedFrame  base of a counting screen. It owns Image1 (the task page,
//               centred, not scaled, above the bottom panel), Panel1 (the
//               bottom panel; its text is the screen's caption) with Button1
//               at its right end, and Timer1 (1000 ms, off until
//               StartCounting). A derived frame:
//                 - calls BuildPanel(height, caption, button text) in its
//                   constructor and creates its own boxes as children of the
//                   frame (not of Image1), so box positions are in the
//                   frame's client coordinates;
//                 - implements Limit(), EndWork() (its end work; returns the
//                   next screen code, deciding 1000 itself when the exam time
//                   is over) and, where its row differs from a written task,
//                   TestsExamClock(), EarlyEndQuestion(), EarlyEndValue(),
//                   GuardedTick();
//                 - in Start: SetTopBar(title, shown), then StartCounting().
//               Timer1Timer is the whole tick: FTicks + 1; within the limit
//               (and, where tested, the exam time) the bar moves and the
//               seconds count down; past it EndWork runs once and the frame
//               hands over with TfrmMain::StartFrame. Button1Click asks the
//               early-end question and, on Yes while the frame is still the
//               current one, sets FTicks to the early-end value and raises
//               FEndRequested (RequestEnd): the next tick ends the frame
//               whatever its limit. A guarded tick's failure shows the
//               notice "Error" once the tick has returned, one at a time
//               (TfrmMain::ShowNoticeOnce). Each step of a Start runs
//               through SetUpStep, so a failing step leaves no screen half
//               set up; its error is raised once the rest is done. A Start
//               that raises an error still starts the counting
//               (StartFailed), so the frame ends and hands over as usual.
//
//  Shared steps (free functions; file names are bare names in the working
//  folder, resolved by WorkFile):
//    CopyBlobToFile(main, field, name)   blob of the current complects
//                                        record -> file, exact bytes; a
//                                        copy that fails leaves no file
//    LoadOptionList(main, name)          option lines of the file (BOM
//                                        decides the encoding), file deleted
//    PlaceBoxes(main, name, boxes)       top/left/width per box from the
//                                        file, file deleted; a value that is
//                                        not a whole number throws
//                                        "Invalid numeric input"
//    EnsureParticipantFolder(main)       Answer_<station>/<participant>
//                                        (participant_folder.h)
//    StoreChoices(main, field, boxes)    the boxes' digit answer into the
//                                        field, the picks kept in memory
//    RestoreChoiceTask(main, field, ..)  picks back from memory, else from
//                                        the stored digit answer
//    ChoiceDigits(boxes)                 answer digits of drop-down boxes
//    ExamTimeOver(main)                  elapsed > exam seconds
//    MakeChoiceBox(parent)               a drop-down answer box as the
//                                        screens use them (24 px high, the station font at 13 px)
//    FillChoices / RestoreChoices        items of all boxes; pick items
//                                        from a stored digit answer
//    OpenAudioWithLimit(handle, file)    the listening screens' audio: opens
//                                        the file into the handle and returns
//                                        its length in whole seconds + 2
//  Pure parsers for the above (tested on their own): ParseOptionList,
//  ReadBoxPositions, AudioLimitFromSeconds.
//
//  Word splitter on single-byte text: NthWordStart / NthWord (fields between
//  delimiter characters; empty fields count).
#pragma once

#include "../../platform/audio/bass.h"
#include "../frame.h"
#include "../participant_folder.h"

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace station {

class StationTimer;
class TfrmMain;

class TTimedFrame : public TFrame {
 public:
  explicit TTimedFrame(TfrmMain &main);
  ~TTimedFrame() override;

  // The tick and the early end; public so the screens' tests can drive them.
  void Timer1Timer();
  void Button1Click();

  int FTicks = 0;
  // A confirmed early end: the next tick ends the frame, whatever its limit.
  bool FEndRequested = false;
  StationTimer *Timer1 = nullptr;
  QLabel *Image1 = nullptr;
  QLabel *Panel1 = nullptr;  // the bottom panel; its text is the caption
  QPushButton *Button1 = nullptr;

  // Top bar helper: the text shown in lblProcessTime for `seconds`.
  static QString SecondsText(int seconds);
  // Where the bottom panel's caption is drawn, in the panel: clear of the
  // button and of anything else in the panel.
  QRect CaptionRect() const;

  // The early end itself (after the question): the next tick ends the frame.
  void RequestEnd();
  // Start raised an error: count from the limit all the same.
  void StartFailed() override;

 protected:
  // The frame's limit in seconds (read at every tick).
  virtual int Limit() const = 0;
  // The end work; returns the next screen code. Runs once.
  virtual int EndWork() = 0;
  virtual bool TestsExamClock() const { return true; }
  virtual QString EarlyEndQuestion() const;
  virtual int EarlyEndValue() const { return 10000; }
  // A guarded tick shows the notice "Error" for a failure and ends that tick;
  // an unguarded one leaves the failure to the station's error report.
  virtual bool GuardedTick() const { return false; }

  // Bottom panel of `height` pixels with `caption` and Button1's text.
  void BuildPanel(int height, const QString &caption, const QString &buttonText);
  // lblProcessName := title; lblProcessTime := limit + " сек."; time and bar
  // shown or hidden; bar 0 .. limit, progress 0.
  void SetTopBar(const QString &title, bool showTimeAndBar);
  // FTicks := 0 and Timer1 on.
  void StartCounting();
  // One step of the Start (a blob copied out, a list read, boxes placed).
  // A step that fails does not stop the set-up: the screen is set up in
  // full, with nothing where that step's materials are missing, and its
  // error is kept and raised by RaiseKeptStartError at the end of Start (the
  // first one only). False when the step failed.
  bool SetUpStep(const std::function<void()> &step);
  // The frame's task page into Image1, as a set-up step.
  void ShowTaskPage(const std::string &fieldName, int page);
  void RaiseKeptStartError();

 private:
  void Tick();
  bool ended_ = false;
  std::exception_ptr kept_start_error_;
};

// ---- shared steps ------------------------------------------------------------

// The path of a working-folder file of the frames.
std::string WorkFile(const TfrmMain &main, std::string_view name);

void CopyBlobToFile(TfrmMain &main, const std::string &fieldName, std::string_view fileName);

QStringList ParseOptionList(const QByteArray &bytes);
QStringList LoadOptionList(const TfrmMain &main, std::string_view fileName);

struct BoxPosition {
  int top = 0;
  int left = 0;
  int width = 0;
};
// `count` positions; missing values read as 0. Throws std::runtime_error
// "Invalid numeric input" for a value that is not a whole number.
std::vector<BoxPosition> ReadBoxPositions(const QByteArray &bytes, int count);
void PlaceBoxes(const TfrmMain &main, std::string_view fileName, const std::vector<QWidget *> &boxes);

std::string ChoiceDigits(const std::vector<QComboBox *> &boxes);
bool ExamTimeOver(const TfrmMain &main);

// A drop-down answer box (typed text allowed, only a selected item counts).
QComboBox *MakeChoiceBox(QWidget *parent);
// Every box gets all `options` as its items, none picked.
void FillChoices(const std::vector<QComboBox *> &boxes, const QStringList &options);
// Restores a digit answer: applied only when it has one digit per box and is
// not all zeros; digit d picks item d - 1, "0" picks none.
void RestoreChoices(const std::vector<QComboBox *> &boxes, const std::string &digits);
// The picks of the boxes in order: the picked item counted from 1, 0 for
// none (typed text that is not the picked item's counts as none).
std::vector<int> ChoicePicks(const std::vector<QComboBox *> &boxes);
// Picks the items; a pick outside a box's items picks none.
void ApplyChoicePicks(const std::vector<QComboBox *> &boxes, const std::vector<int> &picks);
// The answer of `field` back into the boxes: the current participant's
// picks kept in memory (TfrmMain::FChoicePicks) where there are any, else
// the stored digit answer by RestoreChoices.
void RestoreChoiceTask(TfrmMain &main, const std::string &field, const std::vector<QComboBox *> &boxes);
// Stores the boxes' digit answer (ChoiceDigits) into `field` and keeps the
// picks in memory. Boxes without any items (their option list could not be
// read) store nothing: a set-up that failed never overwrites an answer.
void StoreChoices(TfrmMain &main, const std::string &field, const std::vector<QComboBox *> &boxes);
// Writes one text into the single answers record.
void StoreAnswer(TfrmMain &main, const std::string &fieldName, const std::string &text);

// Whole seconds halves to even, plus 2.
int AudioLimitFromSeconds(double seconds);
// Stops what `handle` plays, opens `file` into it and returns the limit.
int OpenAudioWithLimit(HSTREAM &handle, const std::string &file);
// Stops and frees `handle` and deletes `file`.
void CloseAudio(HSTREAM handle, const std::string &file);

// ---- word splitter ---------------------------------------------------------

// 1-based start of field n of `text`, or 0 (no such field, n < 1, empty text).
int NthWordStart(int n, std::string_view text, std::string_view delimiters);
// Field n of `text`, or empty.
std::string NthWord(int n, std::string_view text, std::string_view delimiters);

}  // namespace station
