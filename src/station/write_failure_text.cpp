#include "write_failure_text.h"

#include <cerrno>

namespace station {

QString WriteFailureReason(int error, bool notRegular, const QString &fileName) {
  const auto u = [](const char *utf8) { return QString::fromUtf8(utf8); };
  if (notRegular) return u("имя %1 занято папкой или особым файлом").arg(fileName);
  switch (error) {
    case ENOSPC: return u("на диске недостаточно места");
    case EDQUOT: return u("исчерпана дисковая квота");
    case EFBIG: return u("файл превышает допустимый размер");
    case EROFS: return u("рабочая папка доступна только для чтения");
    case EACCES:
    case EPERM: return u("нет прав на запись в рабочую папку");
    case ENOENT:
    case ENOTDIR: return u("рабочая папка недоступна");
    case EIO: return u("ошибка ввода-вывода");
    case EMFILE:
    case ENFILE: return u("открыто слишком много файлов");
    default: return u("системная ошибка %1").arg(error);
  }
}

}  // namespace station
