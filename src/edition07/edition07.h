// The grade-7 edition: its settings and screen table for the station's main
// window.
#pragma once

#include "edition_settings.h"

namespace edition07 {

station::EditionSettings Grade7Settings();

}  // namespace edition07
