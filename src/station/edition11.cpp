#include "edition_settings.h"
#include "main_window11.h"
#include "screens/finish_exam.h"
#include "screens/play_answers.h"
#include "screens/gym_eyes.h"
#include "screens/prepare1.h"
#include "screens/spoken_tasks.h"
#include "screens/task1.h"
#include "screens/task2.h"
#include "screens/task3.h"
#include "screens/task4.h"
#include "screens/test_hard.h"
#include "screens/instruction.h"
#include "screens/rec_stud_id.h"

namespace station {

std::vector<MaterialsField> SharedMaterialsFields() {
  return {{"subjid", false}, {"subjname", false}, {"ExamDate", false}, {"VarNo", false}, {"Zone", false},
          {"Intro"},         {"TestRTF"},         {"VariantText"},     {"AudioPrep"},     {"Audio"},
          {"answer1"},       {"coords1"}};
}

EditionSettings Grade11Settings() {
  EditionSettings s;
  s.title = QString::fromUtf8("КЛТ-11. Иностранный язык - 2020");
  s.caption = s.title;
  s.materialsFile = "klt-re11.kim";
  s.materialsMessage = QString::fromUtf8("Отсутвует или поврежден КИМ - файл klt-re11.kim");
  s.materialsFields = SharedMaterialsFields();
  s.materialsFields.insert(s.materialsFields.end(),
                           {{"answer2"}, {"coords2"}, {"coords3"}, {"answer4"}, {"coords4"}});
  s.limits = TimeLimits{};
  s.codeLength = 4;
  s.defaultStudID = QStringLiteral("0000");
  s.answersFieldSize = 1500;
  s.makeWindow = [](const EditionSettings &settings, const StationServices &services) -> std::unique_ptr<TfrmMain> {
    return std::make_unique<TfrmMainRE11>(settings, services);
  };
  s.clockWarningAt = 1200;
  s.clockWarningText = QString::fromUtf8(
      "До окончания работы осталось 20 минут.\n\rПерейдите к выполнению устной части (задания 5 и 6)");
  // Screens join this table as they are built: code -> frame and Start argument.
  s.screens = {};
  // The listening task and the eye break (its argument: the task it follows).
  s.screens[10] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmPrepare1>(m); }, {}};
  s.screens[11] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmTask1>(m); }, {}};
  for (const auto &[code, task] : std::initializer_list<std::pair<int, int>>{{22, 2}, {33, 3}, {44, 4}})
    s.screens[code] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmGymEyes>(m); }, task};
  s.screens[1] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmTestHard>(m); }, {}};
  s.screens[5] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmInstruction>(m); }, {}};
  s.screens[6] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmRecStudID>(m); }, {}};
  // The written tasks.
  s.screens[20] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmTask2>(m); }, {}};
  s.screens[30] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmTask3>(m); }, {}};
  s.screens[40] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmTask4>(m); }, {}};
  // The spoken part: task 6 starts with the chosen photo, 0 for none.
  s.screens[50] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmPrepare5>(m); }, {}};
  s.screens[51] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmTask5>(m); }, 0};
  s.screens[60] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmPrepare6>(m); }, {}};
  for (const auto &[code, photo] : std::initializer_list<std::pair<int, int>>{{61, 1}, {62, 2}, {63, 3}, {69, 0}})
    s.screens[code] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmTask6>(m); }, photo};
  // The answer review and the finish screen.
  s.screens[1000] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmPlayAnswers>(m); }, {}};
  s.screens[1001] = {[](TfrmMain &m) -> std::unique_ptr<TFrame> { return std::make_unique<TfrmFinishExam>(m); }, {}};
  return s;
}

}  // namespace station
