#include "table_store/streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "table_store/errors.h"

namespace ts {
namespace {

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "ts_streams_" + std::to_string(::getpid()) + "_" + name;
}

TEST(MemoryStreamTest, ReadWriteSeekAndGaps) {
  TMemoryStream s;
  EXPECT_EQ(s.Write("abcdef", 6), 6);
  EXPECT_EQ(s.Position(), 6);
  EXPECT_EQ(s.Size(), 6);
  s.SetPosition(2);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);  // only what is there
  EXPECT_EQ(std::string(buf, 4), "cdef");
  EXPECT_EQ(s.Read(buf, 8), 0);
  // Writing past the end fills the gap with zeros.
  s.Seek(2, TSeekOrigin::End);
  s.Write("z", 1);
  ASSERT_EQ(s.Size(), 9);
  EXPECT_EQ(std::memcmp(s.Memory(), "abcdef\0\0z", 9), 0);
  EXPECT_EQ(s.Seek(-1, TSeekOrigin::Current), 8);
  EXPECT_THROW(s.Seek(-1, TSeekOrigin::Beginning), EStreamError);
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3);  // the position follows a shrinking stream
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(MemoryStreamTest, ReadBufferRaisesAtTheEnd) {
  TMemoryStream s;
  s.Write("abc", 3);
  s.SetPosition(0);
  char buf[4];
  s.ReadBuffer(buf, 3);
  s.SetPosition(1);
  try {
    s.ReadBuffer(buf, 3);
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
  TMemoryStream empty;
  EXPECT_THROW(empty.ReadBuffer(buf, 1), EReadError);
  empty.ReadBuffer(buf, 0);  // nothing asked, nothing raised
}

TEST(MemoryStreamTest, CopyFromWholeAndPart) {
  TMemoryStream a, b;
  a.Write("0123456789", 10);
  a.SetPosition(7);
  EXPECT_EQ(b.CopyFrom(a, 0), 10);  // 0 = the whole source from its start
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.Memory()), 10), "0123456789");
  a.SetPosition(2);
  TMemoryStream c;
  EXPECT_EQ(c.CopyFrom(a, 3), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.Memory()), 3), "234");
  a.SetPosition(8);
  EXPECT_THROW(c.CopyFrom(a, 5), EReadError);
}

TEST(MemoryStreamTest, LargeCopyCrossesChunks) {
  TMemoryStream a, b;
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  a.Write(big.data(), static_cast<int64_t>(big.size()));
  b.CopyFrom(a, 0);
  ASSERT_EQ(b.Size(), a.Size());
  EXPECT_EQ(std::memcmp(a.Memory(), b.Memory(), big.size()), 0);
}

TEST(FileStreamTest, CreateWriteReopenRead) {
  const std::string path = TempPath("rw.bin");
  {
    TFileStream f(path, TFileMode::Create);
    f.WriteBuffer("hello world", 11);
    EXPECT_EQ(f.Size(), 11);
  }
  {
    TFileStream f(path, TFileMode::OpenReadWrite);
    f.Seek(0, TSeekOrigin::End);
    f.WriteBuffer("!", 1);
  }
  {
    TFileStream f(path, TFileMode::OpenRead);
    EXPECT_EQ(f.Size(), 12);
    char buf[12];
    f.SetPosition(6);
    f.ReadBuffer(buf, 6);
    EXPECT_EQ(std::string(buf, 6), "world!");
    EXPECT_THROW(f.ReadBuffer(buf, 1), EReadError);
    // A file opened for reading cannot be written.
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
  }
  {
    TFileStream f(path, TFileMode::Create);  // an existing file is emptied
    EXPECT_EQ(f.Size(), 0);
  }
  ::unlink(path.c_str());
}

TEST(FileStreamTest, MissingFileAndBadFolderNameTheFile) {
  const std::string missing = TempPath("missing.bin");
  try {
    TFileStream f(missing, TFileMode::OpenRead);
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
  }
  EXPECT_THROW(TFileStream(TempPath("no/such/dir/x.bin"), TFileMode::Create), EFCreateError);
  EXPECT_THROW(TFileStream(::testing::TempDir(), TFileMode::OpenRead), EFOpenError);
}

TEST(FileStreamTest, MemoryStreamThroughAFile) {
  const std::string path = TempPath("mem.bin");
  TMemoryStream a;
  a.Write("\x00\x01\xff", 3);
  a.SaveToFile(path);
  TMemoryStream b;
  b.Write("old contents", 12);
  b.LoadFromFile(path);
  ASSERT_EQ(b.Size(), 3);
  EXPECT_EQ(b.Position(), 0);
  EXPECT_EQ(std::memcmp(b.Memory(), "\x00\x01\xff", 3), 0);
  ::unlink(path.c_str());
}

}  // namespace
}  // namespace ts
