#include "station_program.h"

#include "main_window.h"
#include "message_service.h"
#include "qt_station_loop.h"
#include "screens/five_sec.h"
#include "screens/test_rtf.h"

#include <QApplication>

namespace station {

int RunStationProgram(int argc, char **argv, const EditionSettings &settings) {
  QApplication app(argc, argv);
  // The title names the program and heads its standard dialogs. It is not
  // made the display name, which some window systems append to every
  // caption, the message boxes' included.
  QApplication::setApplicationName(settings.title);

  QtStationLoop loop;
  QtMessageService messages(loop);
  TfrmMain frmMain(settings, StationServices{loop, messages});
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
  // The loop ends once the window has closed, which it does only after the
  // station was stopped.
  return app.exec();
}

}  // namespace station
