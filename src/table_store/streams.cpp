#include "table_store/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/files/file_door.h"
#include "table_store/errors.h"
#include "table_store/messages.h"

namespace ts {

namespace {

EStreamError BadSeek() { return EStreamError(msg::kInvalidStreamPosition); }

}  // namespace

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count <= 0) return;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = Read(out + done, count - done);
    if (n <= 0) throw EReadError();
    done += n;
  }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count <= 0) return;
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = Write(in + done, count - done);
    if (n <= 0) throw EWriteError();
    done += n;
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count <= 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t kChunk = 64 * 1024;
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min(count, kChunk)));
  int64_t left = count;
  while (left > 0) {
    const int64_t n = std::min(left, kChunk);
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    left -= n;
  }
  return count;
}

// ---- TMemoryStream

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t available = Size() - position_;
  if (count <= 0 || available <= 0) return 0;
  const int64_t n = std::min(count, available);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == TSeekOrigin::Current) base = position_;
  if (origin == TSeekOrigin::End) base = Size();
  const int64_t target = base + offset;
  if (target < 0) throw BadSeek();
  position_ = target;  // beyond the end is allowed; a later write fills the gap with zeros
  return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw BadSeek();
  data_.resize(static_cast<size_t>(newSize));
  if (position_ > newSize) position_ = newSize;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const int64_t n = source.Size();
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  source.ReadBuffer(bytes.data(), n);
  data_ = std::move(bytes);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& target) const { target.WriteBuffer(data_.data(), Size()); }

void TMemoryStream::LoadFromFile(const std::string& path) {
  TFileStream file(path, TFileMode::OpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& path) const {
  TFileStream file(path, TFileMode::Create);
  SaveToStream(file);
}

// ---- TFileStream

TFileStream::TFileStream(const std::string& path, TFileMode mode) : path_(path) {
  using klt::files::Access;
  // A file created is the store's own new file: nothing at the name is
  // followed or written into.
  klt::files::Opened opened = mode == TFileMode::Create ? klt::files::CreateOwn(path)
                              : klt::files::OpenExisting(path, mode == TFileMode::OpenRead    ? Access::Read
                                                               : mode == TFileMode::OpenWrite ? Access::Write
                                                                                              : Access::ReadWrite);
  if (!opened.fd) {
    const std::string reason = klt::files::Reason(opened.failure);
    if (mode == TFileMode::Create)
      ThrowFileFault(EFCreateError(FormatMessage(msg::kCannotCreateFile, {path, reason})), path, opened.failure);
    ThrowFileFault(EFOpenError(FormatMessage(msg::kCannotOpenFile, {path, reason})), path, opened.failure);
  }
  fd_ = opened.fd.Release();
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(count));
    if (n >= 0) return n;
    if (errno != EINTR) return 0;
  }
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  klt::files::Failure failure;
  const ssize_t n = klt::files::Write(fd_, buffer, static_cast<size_t>(count), path_, &failure);
  // A full disk or a size limit must say so, not just that a write failed.
  if (n < 0) CannotWrite(failure);
  return n;
}

void TFileStream::CannotWrite(const klt::files::Failure& failure) const {
  ThrowFileFault(EWriteError(FormatMessage(msg::kCannotWriteFile, {path_, klt::files::Reason(failure)})), path_, failure);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = SEEK_SET;
  if (origin == TSeekOrigin::Current) whence = SEEK_CUR;
  if (origin == TSeekOrigin::End) whence = SEEK_END;
  const off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (result < 0) throw BadSeek();
  return result;
}

int64_t TFileStream::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return 0;
  return st.st_size;
}

void TFileStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EWriteError();
  if (const auto failure = klt::files::Truncate(fd_, static_cast<off_t>(newSize), path_)) CannotWrite(failure);
  if (Position() > newSize) Seek(newSize, TSeekOrigin::Beginning);
}

}  // namespace ts
