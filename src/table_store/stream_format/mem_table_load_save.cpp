// TdvoCustomMemTable: loading and saving through stream formats, over files,
// streams and memory streams, and the persistent file kept between runs.
#include <sys/stat.h>

#include "table_store/dataset/mem_table.h"
#include "table_store/messages.h"
#include "table_store/stream_format/replacing_file.h"
#include "table_store/stream_format/stream_format.h"

namespace ts {

namespace {

// The name with its extension (from the last '.' of the last path part on)
// replaced by `ext`; appended when the name has none.
std::string ChangeFileExt(const std::string& name, const std::string& ext) {
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExt ? name.substr(0, dot) : name) + ext;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

void TdvoCustomMemTable::LoadFileWithFormat(const std::string& fileName, TdvoCustomStreamFormat* format) {
  TFileStream file(fileName, TFileMode::OpenRead);
  if (OnLoad) OnLoad(*this, mtstFile, &file);
  LoadStreamWithFormat(file, format);
}

void TdvoCustomMemTable::SaveFileWithFormat(const std::string& fileName, TdvoCustomStreamFormat* format) {
  CheckActive();
  if (format == nullptr) throw EMemTableError(msg::kNoFormat);
  // The old file stays whole until the new one is complete on disk.
  TReplacingFileStream file(fileName, (format->sfAppend & sfSaveAppend) != 0);
  if (OnSave) OnSave(*this, mtstFile, &file);
  SaveStreamWithFormat(file, format);
  file.Commit();
}

void TdvoCustomMemTable::LoadMemoryStreamWithFormat(TMemoryStream& stream, TdvoCustomStreamFormat* format) {
  if (OnLoad) OnLoad(*this, mtstStream, &stream);
  LoadStreamWithFormat(stream, format);
}

void TdvoCustomMemTable::SaveStreamWithFormat(TStream& stream, TdvoCustomStreamFormat* format) {
  if (format == nullptr) throw EMemTableError(msg::kNoFormat);
  format->RunSave(*this, stream);
}

void TdvoCustomMemTable::LoadStreamWithFormat(TStream& stream, TdvoCustomStreamFormat* format) {
  if (format == nullptr) throw EMemTableError(msg::kNoFormat);
  format->RunLoad(*this, stream);
}

void TdvoCustomMemTable::LoadPersistentFile() {
  persistentSaved_ = false;
  if (!persistent_ || persistentFile_.empty() || PersistentFormat() == nullptr) return;
  // Without the file, a save that ended before its last step left the new
  // records in the ".$$$" file, or the backup still holds the old ones:
  // either beats starting empty and overwriting the backup at the next save.
  std::string source = persistentFile_;
  if (!FileExists(source)) source = ChangeFileExt(persistentFile_, ".$$$");
  if (!FileExists(source) && persistentBackup_) source = ChangeFileExt(persistentFile_, persistentBackupExt_);
  if (!FileExists(source)) return;
  LoadFileWithFormat(source, PersistentFormat());
  First();
}

void TdvoCustomMemTable::SavePersistentFile() {
  if (persistentSaved_ || !persistent_ || persistentFile_.empty() || PersistentFormat() == nullptr) return;
  const std::string fresh = ChangeFileExt(persistentFile_, ".$$$");
  SaveFileWithFormat(fresh, PersistentFormat());
  // Every step is reported: a persistent file that silently stayed old would
  // lose the session's records. The file exists, old or new, at every
  // instant: the backup is a second name for (or a copy of) the old file
  // made beforehand, and the new file replaces the old one in one rename.
  // After a failure the new records stay in the ".$$$" file.
  if (persistentBackup_ && FileExists(persistentFile_))
    KeepBackup(persistentFile_, ChangeFileExt(persistentFile_, persistentBackupExt_));
  ReplaceFile(fresh, persistentFile_);
  persistentSaved_ = true;
}

}  // namespace ts
