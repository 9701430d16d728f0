// The participant's folder "Answer_<station key>/<code>/" under the answer
// root (the working folder at start-up) and the paths of the files in it.
// Every screen of both editions builds these paths here and nowhere else, so
// the folder, the used-code test, the recordings, the answers file and the
// review's playback all name the same place with the same key text.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace station {

class TfrmMain;

// root + "Answer_" + key + "/".
std::string StationFolder(const std::string &root, const QString &stationKey);
// root + "Answer_" + key + "/" + code + "/".
std::string ParticipantFolder(const std::string &root, const QString &stationKey, const QString &code);
// The participant folder + code + suffix ("_5.ogg", "_0.ans").
std::string ParticipantFile(const std::string &root, const QString &stationKey, const QString &code,
                            std::string_view suffix);
// Creates the station folder and the participant folder where missing.
// Failures are not reported here (the steps that need the folder report
// their own); the result says whether the participant folder exists now.
bool EnsureParticipantFolder(const std::string &root, const QString &stationKey, const QString &code);

// The same for the main window's answer root, station key and participant
// code (FStudID), or the code given.
std::string ParticipantFolder(const TfrmMain &main);
std::string ParticipantFolderOf(const TfrmMain &main, const QString &code);
std::string ParticipantFile(const TfrmMain &main, std::string_view suffix);
bool EnsureParticipantFolder(const TfrmMain &main);

// Why a station key cannot name a folder inside the working folder: empty
// when it can. A key is refused when it holds a folder separator ("/" or
// "\"), "..", a control character, or makes a folder name longer than the
// file system takes. The hardware check refuses such a key with
// StationKeyMessage before any path is built from it.
QString StationKeyProblem(const QString &stationKey);
QString StationKeyMessage(const QString &stationKey, const QString &problem);

}  // namespace station
