// Byte streams: the abstract TStream and two concrete streams.
//
//   TStream        position, size, Read/Write (may move fewer bytes), Seek,
//                  ReadBuffer/WriteBuffer (all or EReadError / EWriteError),
//                  CopyFrom another stream.
//   TMemoryStream  a growable byte buffer; Write is virtual so that a stream
//                  built on it (the blob stream) can watch what is written.
//   TFileStream    a file on a path: open for reading, for writing, for both,
//                  or create (a new file of its own in place of whatever
//                  regular file had the name; a link, pipe or other special
//                  file there is refused, never written). Failures raise
//                  EFOpenError / EFCreateError / EWriteError naming the file
//                  and the reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace klt::files {
struct Failure;
}

namespace ts {

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Move up to `count` bytes; the result is the number moved (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position. A position before the start raises EStreamError.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() const = 0;
  virtual void SetSize(int64_t newSize) = 0;

  int64_t Position() const { return const_cast<TStream*>(this)->Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }

  void ReadBuffer(void* buffer, int64_t count);         // all bytes or EReadError
  void WriteBuffer(const void* buffer, int64_t count);  // all bytes or EWriteError

  // Copies `count` bytes from the source's position; a count of 0 or less
  // copies the whole source from its start. Returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t newSize) override;

  // The stream's bytes (Size() of them).
  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  void Clear();  // size and position 0

  void LoadFromStream(TStream& source);  // replaces the contents, position 0
  void SaveToStream(TStream& target) const;
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

enum class TFileMode {
  OpenRead,       // existing file, reading
  OpenWrite,      // existing file, writing
  OpenReadWrite,  // existing file, both
  Create,         // a new file at the name, reading and writing
};

class TFileStream : public TStream {
 public:
  TFileStream(const std::string& path, TFileMode mode);
  // Takes over `fd`, an open descriptor of the file `path`, and closes it.
  TFileStream(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() const override;
  void SetSize(int64_t newSize) override;

  const std::string& FileName() const { return path_; }
  int Handle() const { return fd_; }

 private:
  // EWriteError naming the file and the system's reason.
  [[noreturn]] void CannotWrite(const klt::files::Failure& failure) const;

  std::string path_;
  int fd_ = -1;
};

}  // namespace ts
