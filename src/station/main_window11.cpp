#include "main_window11.h"

namespace station {

TfrmMainRE11::TfrmMainRE11(const EditionSettings &settings, StationServices services)
    : TfrmMain(settings, services), FGymEyesAfterSeconds(settings.limits.gymEyesAfter) {}

}  // namespace station
