// TReplacingFileStream: a file stream whose bytes go into a new file beside
// the named one; Commit puts them on disk and renames the new file over the
// named one, so the named file is either the old one or the complete new
// one, never a truncated mix. Without Commit the new file is removed and the
// old one stays as it was. The new file is locked for the stream's whole
// life; new files of the same file that no one holds locked (their save
// died) are removed when the next save starts. A new file whose lock is
// refused (past a few tries) is removed and the stream not made.
#pragma once

#include <memory>
#include <string>

#include "table_store/errors.h"
#include "table_store/streams.h"

namespace ts {

class TReplacingFileStream : public TStream {
 public:
  // With keepContents the new file starts as a copy of the existing one
  // (for saves that append). Failures raise EFCreateError / EFOpenError;
  // nothing of the new file is left then.
  TReplacingFileStream(std::string path, bool keepContents);
  ~TReplacingFileStream() override;

  int64_t Read(void* buffer, int64_t count) override { return file_->Read(buffer, count); }
  // Write failures raise EWriteError naming the file and the reason.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return file_->Seek(offset, origin); }
  int64_t Size() const override { return file_->Size(); }
  void SetSize(int64_t newSize) override;

  // Raises EWriteError naming the file when the bytes cannot be put on disk,
  // EFCreateError when the rename fails; the old file then stays.
  void Commit();

  const std::string& FileName() const { return path_; }
  const std::string& TemporaryName() const { return temp_; }

 private:
  [[noreturn]] void Retarget(const EWriteError& error) const;
  void Discard();

  std::string path_;
  std::string temp_;
  std::unique_ptr<TFileStream> file_;
  bool committed_ = false;
};

// Renames `from` to `to`, replacing `to`; EFCreateError naming `to` with the
// system's reason on failure.
void ReplaceFile(const std::string& from, const std::string& to);

// Makes `backup` hold the bytes `file` holds now (a second name for them, or
// a copy), replacing an older backup; `file` itself is not touched.
// EFCreateError naming the backup on failure.
void KeepBackup(const std::string& file, const std::string& backup);

// Removes the file; a missing file is no failure. EFCreateError otherwise.
void RemoveFile(const std::string& path);

namespace seam {
// For tests: the call through which saves take and try their locks, with
// flock's arguments and result; null puts flock back.
using TLockCall = int (*)(int fd, int operation);
void SetLockCall(TLockCall call);
}  // namespace seam

}  // namespace ts
