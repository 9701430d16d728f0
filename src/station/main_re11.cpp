// The grade-11 station program.
#include "edition_settings.h"
#include "main_window.h"
#include "message_service.h"
#include "qt_station_loop.h"
#include "screens/five_sec.h"
#include "screens/test_rtf.h"

#include <QApplication>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const station::EditionSettings settings = station::Grade11Settings();
  // The title names the program and heads its standard dialogs. It is not
  // made the display name, which some window systems append to every
  // caption, the message boxes' included.
  QApplication::setApplicationName(settings.title);

  station::QtStationLoop loop;
  station::QtMessageService messages(loop);
  station::TfrmMain frmMain(settings, station::StationServices{loop, messages});
  messages.SetMainWindow(&frmMain);
  // Start-up runs before the window is visible; when it fails its message has
  // been shown and the program ends.
  if (!frmMain.FormCreate()) return 1;
  // The countdown overlay, hidden until a spoken-part screen shows it; the
  // main window owns it.
  new station::T_FiveSec(frmMain, loop);
  // The text-check window, hidden until the hardware check shows it; the
  // main window owns it.
  new station::TfrmTestRTF(frmMain);
  frmMain.show();
  // The loop ends once the window has closed, which it does only after the
  // station was stopped.
  return app.exec();
}
