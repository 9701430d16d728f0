// What differs between the station editions: materials file, titles, time
// limits, participant code, answers field size, top-bar layout and the
// screen table. The main window reads all of it from here.
#pragma once

#include <QRect>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace station {

class TfrmMain;
class TFrame;
struct StationServices;

// Whole seconds. The grade-7 edition keeps its two spoken-task preparation
// limits in the prepare5/prepare6 slots.
struct TimeLimits {
  int prepare1 = 25;
  int prepare5 = 120;
  int prepare6 = 120;
  int task1 = 4500;
  int task2 = 4500;
  int task3 = 4500;
  int task4 = 4500;
  int task5 = 120;
  int task6 = 120;
  int exam = 4500;
  int gymEyes = 300;
  int gymEyesAfter = 2100;
};

struct TopBarLabel {
  QRect box;          // left, top, width, height in the bar
  int fontPixels = 16;
  bool bold = true;
};

struct TopBarLayout {
  int height = 50;
  TopBarLabel clock{QRect(8, 15, 700, 20), 16, true};
  // Right-aligned against x 817; the designed box starts at 717, but the
  // steps' longer titles would be cut there, so it reaches further left.
  TopBarLabel processName{QRect(517, 16, 300, 20), 16, true};
  QRect processBar{824, 15, 120, 20};
  TopBarLabel processTime{QRect(949, 16, 66, 20), 16, true};
};

// One row of the screen table: how to make the frame and what its Start gets.
struct ScreenRow {
  std::function<std::unique_ptr<TFrame>(TfrmMain &)> create;
  std::optional<int> startArg;
};
using ScreenTable = std::map<int, ScreenRow>;

// A field of the materials that the edition's screens read; `blob` when
// they read it as a document or a file.
struct MaterialsField {
  std::string name;
  bool blob = true;
};

// What the screens that both editions share read: the hardware check, the
// text check, code entry and the listening task.
std::vector<MaterialsField> SharedMaterialsFields();

struct EditionSettings {
  QString title;    // application title, caption of the standard dialogs
  QString caption;  // main window caption
  std::string materialsFile;
  QString materialsMessage;  // shown when the materials cannot be loaded
  // Every field the edition reads, on any screen: materials that lack one
  // are refused at start-up as damaged ones are.
  std::vector<MaterialsField> materialsFields;
  TimeLimits limits;
  int codeLength = 4;
  QString defaultStudID;
  int answersFieldSize = 1500;
  std::optional<int> clockWarningAt;  // remaining seconds of the clock warning
  QString clockWarningText;
  TopBarLayout topBar;
  ScreenTable screens;
  // The edition's main window, where it keeps more than the shared one.
  std::function<std::unique_ptr<TfrmMain>(const EditionSettings &, const StationServices &)> makeWindow;
};

// The grade-11 edition with its screen table.
EditionSettings Grade11Settings();

}  // namespace station
