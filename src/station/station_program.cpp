#include "station_program.h"

#include "main_window.h"
#include "message_service.h"
#include "qt_station_loop.h"
#include "screens/five_sec.h"
#include "screens/test_rtf.h"

#include "termination_signals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/files/file_door.h"

namespace station {

bool InstallQtRussian() {
  auto *translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
      QCoreApplication::installTranslator(translator))
    return true;
  delete translator;
  return false;
}

int RunStationProgram(int argc, char **argv, const EditionSettings &settings) {
  QApplication app(argc, argv);
  // The title names the program and heads its standard dialogs. It is not
  // made the display name, which some window systems append to every
  // caption, the message boxes' included.
  QApplication::setApplicationName(settings.title);
  InstallQtRussian();

  QtStationLoop loop;
  QtMessageService messages(loop);
  const std::unique_ptr<TfrmMain> window = MakeMainWindow(settings, StationServices{loop, messages});
  TfrmMain &frmMain = *window;
  messages.SetMainWindow(&frmMain);
  // Start-up runs before the window is visible; when it fails its message has
  // been shown and the program ends.
  if (!frmMain.FormCreate()) return 1;
  // The countdown overlay, hidden until a spoken-part screen shows it; the
  // main window owns it.
  new T_FiveSec(frmMain, loop);
  // The text-check window, hidden until the hardware check shows it; the
  // main window owns it.
  new TfrmTestRTF(frmMain);
  frmMain.show();
  // Ctrl+C and SIGTERM stop the station as its own stop button does; the
  // window's destruction then ends the recording and frees the audio.
  int exitCode = 0;
  TerminationSignals termination([&frmMain, &exitCode](int signo) {
    exitCode = 128 + signo;
    frmMain.StopExam();
    QApplication::exit(exitCode);
  });
  // The loop ends once the window has closed, which it does only after the
  // station was stopped.
  const int code = app.exec();
  // A signal ends the station wherever it is: the sound of a task and any
  // other file made only for a while must not stay behind.
  if (exitCode != 0) klt::files::RemoveTemporaries();
  return exitCode != 0 ? exitCode : code;
}

}  // namespace station
