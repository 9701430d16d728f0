// Why a file of the working folder could not be written, told the user in
// the station's own words rather than in the system's English.
#pragma once

#include <QString>

namespace station {

// `error` is the system's error number; `notRegular` tells that the name is
// taken by a folder or a special file (and `error` is then not looked at).
QString WriteFailureReason(int error, bool notRegular, const QString &fileName);

}  // namespace station
