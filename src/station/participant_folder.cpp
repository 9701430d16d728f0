#include "participant_folder.h"

#include "main_window.h"

#include "platform/files/file_door.h"


namespace station {
namespace {

constexpr char kFolderPrefix[] = "Answer_";
// The longest file name that the usual file systems take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

std::string Utf8(const QString &text) { return text.toStdString(); }

}  // namespace

std::string StationFolder(const std::string &root, const QString &stationKey) {
  return root + kFolderPrefix + Utf8(stationKey) + "/";
}

std::string ParticipantFolder(const std::string &root, const QString &stationKey, const QString &code) {
  return StationFolder(root, stationKey) + Utf8(code) + "/";
}

std::string ParticipantFile(const std::string &root, const QString &stationKey, const QString &code,
                            std::string_view suffix) {
  return ParticipantFolder(root, stationKey, code) + Utf8(code) + std::string(suffix);
}

bool EnsureParticipantFolder(const std::string &root, const QString &stationKey, const QString &code) {
  // Both folders are held from here on: the recordings and the answers file
  // are made through them, whatever is put at their names meanwhile.
  klt::files::MakeFolder(StationFolder(root, stationKey));
  return !klt::files::MakeFolder(ParticipantFolder(root, stationKey, code));
}

std::string ParticipantFolder(const TfrmMain &main) {
  return ParticipantFolder(main.AnswerRoot(), main.FStationKey, main.FStudID);
}

std::string ParticipantFolderOf(const TfrmMain &main, const QString &code) {
  return ParticipantFolder(main.AnswerRoot(), main.FStationKey, code);
}

std::string ParticipantFile(const TfrmMain &main, std::string_view suffix) {
  return ParticipantFile(main.AnswerRoot(), main.FStationKey, main.FStudID, suffix);
}

bool EnsureParticipantFolder(const TfrmMain &main) {
  return EnsureParticipantFolder(main.AnswerRoot(), main.FStationKey, main.FStudID);
}

QString StationKeyProblem(const QString &stationKey) {
  for (QChar c : stationKey) {
    if (c == u'/' || c == u'\\') return QString::fromUtf8("содержит разделитель папок \"/\" или \"\\\"");
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
      return QString::fromUtf8("содержит управляющий символ");
  }
  if (stationKey.contains(QStringLiteral("..")))
    return QString::fromUtf8("содержит \"..\"");
  if (Utf8(stationKey).size() + sizeof(kFolderPrefix) - 1 > kMaxNameBytes)
    return QString::fromUtf8("слишком длинный");
  return {};
}

QString StationKeyMessage(const QString &stationKey, const QString &problem) {
  // The key is shown with its control characters made visible.
  QString shown;
  for (QChar c : stationKey)
    shown += (c.unicode() < 0x20 || c.unicode() == 0x7F) ? QChar(u'?') : c;
  return QString::fromUtf8(
             "Папку ответов станции нельзя создать: ключ станции \"%1\" %2.\n\r"
             "Ключ составлен из даты экзамена (ExamDate) и кода предмета (SubjID) файла КИМ и номеров, "
             "введённых на этом экране; сообщите о проблеме организатору.")
      .arg(shown, problem);
}

}  // namespace station
