#include "write_failure_text.h"

#include "paths.h"

#include "platform/files/file_door.h"

#include <cerrno>
#include <string_view>

namespace station {

QString WriteFailureReason(int error, bool taken, const QString &name) {
  const auto u = [](const char *utf8) { return QString::fromUtf8(utf8); };
  if (taken) return u("имя %1 занято папкой или особым файлом").arg(name);
  switch (error) {
    case kFileGone: return u("файл удалён во время записи");
    case kWriterStopped: return u("программа сжатия аудиозаписи прекратила работу до окончания записи");
    case EISDIR:
    case ENXIO: return u("имя %1 занято папкой или особым файлом").arg(name);
    case EEXIST: return u("имя %1 уже занято").arg(name);
    case ENOSPC: return u("на диске недостаточно места");
    case EDQUOT: return u("исчерпана дисковая квота");
    case EFBIG: return u("файл превышает допустимый размер");
    case EROFS: return u("папка доступна только для чтения");
    case EACCES:
    case EPERM: return u("нет прав на запись в папку");
    case ENOENT:
    case ENOTDIR: return u("папка не найдена");
    case ENAMETOOLONG: return u("слишком длинное имя");
    case EIO: return u("ошибка ввода-вывода");
    case EMFILE:
    case ENFILE: return u("открыто слишком много файлов");
    default: return u("системная ошибка %1").arg(error);
  }
}

QString WriteFailureReason(const klt::files::Failure &failure, const QString &name) {
  const auto u = [](const char *utf8) { return QString::fromUtf8(utf8); };
  if (failure.swapped) return u("файл %1 подменён другим во время записи").arg(name);
  if (failure.ofFile && (failure.error == EACCES || failure.error == EPERM))
    return u("нет прав на запись в файл %1").arg(name);
  if (failure.ofFile && failure.error == ETXTBSY) return u("файл %1 занят другой программой").arg(name);
  return WriteFailureReason(failure.error, failure.taken, name);
}

QString WholePath(const std::string &path) {
  if (!path.empty() && path.front() == '/') return QString::fromStdString(path);
  const std::string_view relative = path.starts_with("./") ? std::string_view(path).substr(2) : path;
  return QString::fromStdString(AbsoluteWorkingFolder() + std::string(relative));
}

}  // namespace station
