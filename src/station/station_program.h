// The program block of a station edition: the application, the main window
// with the edition's settings, the countdown and text-check windows, and the
// message loop.
#pragma once

#include "edition_settings.h"

namespace station {

// Qt's own texts (the standard dialogs' "Да", "Нет", "OK") in Russian, as
// the rest of the station speaks; false when Qt's translation is missing.
bool InstallQtRussian();

// Runs the station until its main window closes; returns the exit code.
int RunStationProgram(int argc, char **argv, const EditionSettings &settings);

}  // namespace station
