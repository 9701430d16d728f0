#include "edition07.h"

#include "instruction.h"
#include "play_answers.h"
#include "spoken_tasks.h"
#include "written_tasks.h"

#include "screens/finish_exam.h"
#include "screens/prepare1.h"
#include "screens/rec_stud_id.h"
#include "screens/test_hard.h"

namespace edition07 {
namespace {

template <class Frame>
station::ScreenRow Row(std::optional<int> startArg = std::nullopt) {
  return {[](TfrmMain &m) -> std::unique_ptr<station::TFrame> { return std::make_unique<Frame>(m); }, startArg};
}

}  // namespace

station::EditionSettings Grade7Settings() {
  station::EditionSettings s;
  s.title = QString::fromUtf8("КЛТ-2020 Иностранный язык 7 класс");
  s.caption = QString::fromUtf8("КЛТ-2019 Иностранный язык");
  s.materialsFile = "klt-fl7.kim";
  s.materialsMessage = QString::fromUtf8("Отсутвует или поврежден КИМ - файл klt-fl7.kim");
  s.materialsFields = station::SharedMaterialsFields();
  s.materialsFields.insert(s.materialsFields.end(),
                           {{"answer4"}, {"coords4"}, {"answer5"}, {"coords5"}, {"answer6"}, {"coords6"}});
  // The two spoken-task preparations take the slots of grade 11's tasks 5
  // and 6. No break threshold: the break follows task 4 whenever it is due.
  s.limits = station::TimeLimits{.prepare1 = 25,
                                 .prepare5 = 90,
                                 .prepare6 = 90,
                                 .task1 = 2700,
                                 .task2 = 90,
                                 .task3 = 120,
                                 .task4 = 2700,
                                 .task5 = 2700,
                                 .task6 = 2700,
                                 .exam = 2700,
                                 .gymEyes = 300,
                                 .gymEyesAfter = 0};
  s.codeLength = 5;
  s.defaultStudID = QStringLiteral("00000");
  s.answersFieldSize = 20;
  // No warning at any remaining time.
  s.clockWarningAt.reset();

  station::TopBarLayout &bar = s.topBar;
  bar.clock = {QRect(8, 14, 700, 20), 16, true};
  // Right-aligned against x 455; the designed box starts at 336, but the
  // steps' titles would be cut there, so it reaches further left (the clock
  // text and a step title are never shown together).
  bar.processName = {QRect(16, 15, 439, 22), 19, true};
  bar.processBar = QRect(456, 17, 401, 20);
  bar.processTime = {QRect(872, 11, 177, 29), 24, true};

  using namespace station;
  s.screens[1] = Row<TfrmTestHard>();
  s.screens[5] = Row<TfrmInstruction>();
  s.screens[6] = Row<TfrmRecStudID>();
  s.screens[10] = Row<TfrmPrepare1>();
  s.screens[11] = Row<TfrmTask1>();
  s.screens[20] = Row<TfrmPrepare2>();
  s.screens[21] = Row<TfrmTask2>(0);
  s.screens[30] = Row<TfrmPrepare3>();
  // Task 3 on the chosen photo; 39 when none was chosen.
  for (const auto &[code, photo] : std::initializer_list<std::pair<int, int>>{{31, 1}, {32, 2}, {33, 3}, {39, 0}})
    s.screens[code] = Row<TfrmTask3>(photo);
  s.screens[40] = Row<TfrmTask4>();
  s.screens[44] = Row<TfrmGymEyes>();
  s.screens[50] = Row<TfrmTask5>();
  s.screens[60] = Row<TfrmTask6>();
  s.screens[1000] = Row<TfrmPlayAnswers>();
  s.screens[1001] = Row<TfrmFinishExam>();
  return s;
}

}  // namespace edition07
