// Every file the station makes, at a name something else already holds: a
// link, a named pipe someone reads, a folder or a device. Nothing is written
// through it or opened, and the message names the whole path and the reason
// in the station's words.
#include "station_fixture.h"

#include "screens/timed_frame.h"

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace station;
using namespace station::testing;
namespace fs = std::filesystem;

namespace {

constexpr char kVictim[] = "someone else's file";
constexpr char kVictimBytes[] = "not the station's";
constexpr char kRecordStart[] =
    "Невозможно начать запись. Возможно работу приложения блокирует антивирус\n(Код ошибки: 7)\n";
constexpr char kFileTaken[] = "Невозможно создать файл \"%1\".\n\rПричина: имя %2 занято папкой или особым файлом";

class TakenNames : public StationFixture {
 protected:
  void TearDown() override {
    if (reader_ >= 0) ::close(reader_);
    StationFixture::TearDown();
  }

  // What holds `name`; false when it cannot be made here (a device node
  // needs the right to make one).
  bool Hold(const std::string &name, const std::string &kind) {
    if (kind == "link") {
      fs::create_symlink(fs::absolute(kVictim), name);
      return true;
    }
    if (kind == "folder") return fs::create_directory(name);
    if (kind == "device") return ::mknod(name.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    // A pipe that a program reads: a writer that came and went would end i
    if (::mkfifo(name.c_str(), 0600) != 0) return false;
    reader_ = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return reader_ >= 0;
  }

  bool ReaderStillWaits() {
    if (reader_ < 0) return true;
    pollfd waiting{reader_, POLLIN, 0};
    const bool waits = ::poll(&waiting, 1, 0) == 0;
    ::close(reader_);
    reader_ = -1;
    return waits;
  }

  QString Taken(const std::string &path) {
    return U(kFileTaken).arg(QString::fromStdString(dir_ + "/" + path),
                             QString::fromStdString(fs::path(path).filename().string()));
  }

  QString FirstBox() const { return boxes_.shown.empty() ? QString() : boxes_.shown[0].text; }

  int reader_ = -1;
};

TEST_F(TakenNames, NoFileIsWrittenThroughWhatHoldsItsName) {
  const QString unpacked = U("Невозможно записать распакованный КИМ в рабочую папку (файл kim.tmp).\n\rПричина: "
                             "имя kim.tmp занято папкой или особым файлом");
  for (const std::string file : {"kim.tmp", "test.ogg", "Answer_key/0007/0007_5.ogg", "~$t2ans.tmp"}) {
    for (const std::string kind : {"link", "named pipe with a reader", "folder", "device"}) {
      SCOPED_TRACE(file + " held by a " + kind);
      window_.reset();
      boxes_.shown.clear();
      FakeAudio::Get().Reset();
      RecChannel = 0;
      std::error_code ec;
      fs::remove_all("Answer_key", ec);
      fs::create_directories("Answer_key/0007");
      std::ofstream(kVictim) << kVictimBytes;
      if (!Hold(file, kind)) continue;

      // Made as the station makes it: unpacked at start-up, recorded, or
      // copied from a blob.
      QString shown, expected;
      if (file == "kim.tmp") {
        WriteGoodMaterials();
        EXPECT_FALSE(Window().FormCreate());
        shown = FirstBox();
        expected = unpacked;
      } else if (file.ends_with(".ogg")) {
        Window().StartRecording(file);
        EXPECT_EQ(RecChannel, 0u);
        shown = FirstBox();
        expected = U(kRecordStart) + Taken(file);
      } else {
        TfrmMain &w = Window();
        w.complects->Open();
        w.complects->Append();
        w.complects->Post();
        PutMaterialsBlob("answer2", "options");
        try {
          CopyBlobToFile(w, "answer2", file);
        } catch (const std::exception &e) {
          shown = QString::fromUtf8(e.what());
        }
        expected = Taken(file);
      }
      EXPECT_EQ(shown.toStdString(), expected.toStdString());
      EXPECT_EQ(ReadBytes(kVictim), kVictimBytes) << "the file a link points to is left untouched";
      EXPECT_TRUE(ReaderStillWaits()) << "a pipe's reader is not ended";
      EXPECT_TRUE(fs::exists(fs::symlink_status(file))) << "what holds the name stays";
      fs::remove(file, ec);
    }
  }
}

}  // namespace
