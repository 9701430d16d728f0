// Every file the programs make, where making or writing it fails or
// something else holds its name, through the one stand-in for a failing
// disk: what the station (or the store) says, that nothing outside what it
// made is written, that an earlier file is not lost, and that what holds a
// name it may not take stays as it was.
#include "station_fixture.h"

#include "participant_folder.h"
#include "screens/timed_frame.h"
#include "ui_text.h"

#include "platform/files/file_door.h"
#include "table_store/binary_format/binary_stream_format.h"
#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/numeric_fields.h"

#include <filesystem>
#include <fstream>
#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace station;
using namespace station::testing;
namespace fs = std::filesystem;
using klt::files::seam::Step;

namespace {

enum class Fault {
  FullDisk, NoFolderRight, NoFileRight, Link, LinkToNowhere, HardLink, Pipe, PipeWithoutReader, Folder, Device, Swapped
};
enum class Made { Kim, Frame, TestOgg, Recording, Answers, Table, Blob };

constexpr char kVictim[] = "elsewhere/someone else's file";
constexpr char kVictimBytes[] = "not the station's";
constexpr char kEarlier[] = "an earlier file";
constexpr char kRecordStart[] =
    "Невозможно начать запись. Возможно работу приложения блокирует антивирус\n(Код ошибки: 7)\n";

// The stand-in for a failing disk: at `step` of the file named `name` (or a
// new file of a save of it) it does `act`, every time or once, and fails the
// step with what `act` answers.
class FaultyDisk {
 public:
  FaultyDisk(Step step, std::string name, std::function<int(const std::string &)> act, bool once = false) {
    klt::files::seam::SetFaults([=, fired = false](Step s, const std::string &path) mutable {
      if (fired || s != step || !fs::path(path).filename().string().starts_with(name)) return 0;
      fired = once;
      return act(path);
    });
  }
  ~FaultyDisk() { klt::files::seam::SetFaults(nullptr); }
};

bool Holder(Fault f) {
  return f == Fault::Link || f == Fault::LinkToNowhere || f == Fault::Pipe || f == Fault::PipeWithoutReader ||
         f == Fault::Folder || f == Fault::Device;
}
bool Saved(Made m) { return m == Made::Answers || m == Made::Table; }
bool Store(Made m) { return m == Made::Table || m == Made::Blob; }

class FailingFiles : public StationFixture {
 protected:
  void TearDown() override {
    if (reader_ >= 0) ::close(reader_);
    klt::files::seam::SetFaults(nullptr);
    StationFixture::TearDown();
  }

  std::string PathOf(Made m) const {
    switch (m) {
      case Made::Kim: return "kim.tmp";
      case Made::Frame: return dir_ + "/~$t1a.tmp";
      case Made::TestOgg: return "test.ogg";
      case Made::Recording: return ParticipantFile(dir_ + "/", U("key"), U("0007"), "_5.ogg");
      case Made::Answers: return ParticipantFile(dir_ + "/", U("key"), U("0007"), "_0.ans");
      // A folder reached through a link stays usable.
      case Made::Table: return dir_ + "/linked/table.dat";
      case Made::Blob: return dir_ + "/blob.dat";
    }
    return {};
  }

  // Puts what the fault needs at the name; false where it cannot be made.
  bool Prepare(Fault f, const std::string &path) {
    if (f == Fault::Link) fs::create_symlink(fs::absolute(kVictim), path);
    if (f == Fault::LinkToNowhere) fs::create_symlink(fs::absolute("elsewhere/nowhere"), path);
    if (f == Fault::HardLink) fs::create_hard_link(kVictim, path);
    if (f == Fault::Folder) fs::create_directory(path);
    if (f == Fault::Device) return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    if (f == Fault::Pipe || f == Fault::PipeWithoutReader) {
      if (::mkfifo(path.c_str(), 0600) != 0) return false;
      // A pipe a program reads: a writer that came and went would end it.
      if (f == Fault::Pipe) reader_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (!Holder(f) && f != Fault::HardLink) std::ofstream(path) << kEarlier;
    return true;
  }

  // The fault's stand-in for the step it strikes.
  std::unique_ptr<FaultyDisk> Strike(Fault f, Made m, const std::string &path) {
    const std::string name = fs::path(path).filename().string();
    const auto fail = [](int error) { return [error](const std::string &) { return error; }; };
    // The encoder writes its file in a process of its own: for a recording
    // the disk is full when the file is made.
    if (f == Fault::FullDisk)
      return std::make_unique<FaultyDisk>(m == Made::Recording || m == Made::TestOgg ? Step::Create : Step::Write, name,
                                          fail(ENOSPC));
    if (f == Fault::NoFolderRight) return std::make_unique<FaultyDisk>(Step::Create, name, fail(EACCES));
    if (f == Fault::NoFileRight) return std::make_unique<FaultyDisk>(Step::Open, name, fail(EACCES));
    if (f != Fault::Swapped) return nullptr;
    if (m == Made::Recording) {
      // The participant's folder is swapped for a link elsewhere while the
      // participant works.
      return std::make_unique<FaultyDisk>(Step::Create, name, [](const std::string &p) {
        const fs::path folder = fs::path(p).parent_path();
        fs::rename(folder, folder.string() + ".moved");
        fs::create_directory_symlink(fs::absolute("elsewhere"), folder);
        return 0;
      }, true);
    }
    if (Saved(m)) {
      // A pipe takes the new file's name before it is published.
      return std::make_unique<FaultyDisk>(Step::Rename, name, [](const std::string &p) {
        for (const auto &entry : fs::directory_iterator(fs::path(p).parent_path()))
          if (entry.path().filename().string().starts_with(fs::path(p).filename().string() + ".")) {
            fs::remove(entry.path());
            ::mkfifo(entry.path().c_str(), 0600);
          }
        return 0;
      }, true);
    }
    // The name is given to a link to someone else's file once the file is
    // made and before it is written.
    return std::make_unique<FaultyDisk>(Step::Write, name, [](const std::string &p) {
      fs::rename(p, fs::absolute("taken away"));
      fs::create_symlink(fs::absolute(kVictim), p);
      return 0;
    }, true);
  }

  // Makes the file as its program makes it; what the program said.
  QString Make(Made m, const std::string &path) {
    if (m == Made::Kim) {
      WriteGoodMaterials();
      AddScreen(1);
      Window().FormCreate();
      return boxes_.shown.empty() ? QString() : boxes_.shown[0].text;
    }
    if (m == Made::TestOgg || m == Made::Recording) {
      Window().StartRecording(path);
      return boxes_.shown.empty() ? QString() : boxes_.shown[0].text;
    }
    try {
      if (m == Made::Frame || m == Made::Blob) {
        TfrmMain &w = Window();
        w.complects->Open();
        w.complects->Append();
        w.complects->Post();
        PutMaterialsBlob("answer2", "options");
        if (m == Made::Frame) CopyBlobToFile(w, "answer2", "~$t1a.tmp");
        else dynamic_cast<ts::TBlobField &>(w.complects->FieldNamed("answer2")).SaveToFile(path);
      } else if (m == Made::Answers) {
        Window().PrepareAnswers();
        Window().answers->SaveFileWithFormat(path, Window().dvoBinaryStreamFormat1.get());
      } else {
        ts::TdvoMemTable table("t");
        table.AddField<ts::TIntegerField>("n");
        table.Open();
        table.AppendRecord({ts::TValue::Integer(7)});
        ts::TdvoBinaryStreamFormat format;
        table.SaveFileWithFormat(path, &format);
      }
    } catch (const std::exception &e) {
      // The store's errors as the station shows them; the store's own when
      // no station is around.
      return Store(m) ? QString::fromStdString(e.what()) : ErrorText(e);
    }
    return {};
  }

  // What the program is to say; empty when the file is made.
  QString Expected(Fault f, Made m, const std::string &path) const {
    const QString name = QString::fromStdString(fs::path(path).filename().string());
    const bool fileMade = f == Fault::HardLink || (f == Fault::Swapped && !Saved(m)) ||
                          (Saved(m) && Holder(f) && f != Fault::Folder) || (Saved(m) && f == Fault::NoFileRight);
    if (fileMade) return {};
    if (Store(m)) {
      const QString reason = f == Fault::FullDisk                                  ? "No space left on device"
                             : f == Fault::NoFolderRight || f == Fault::NoFileRight ? "Permission denied"
                             : f == Fault::Folder && m == Made::Table              ? "Is a directory"
                             : f == Fault::Swapped ? "another file took its name while it was written"
                                                   : "not a regular file";
      return QString(f == Fault::FullDisk ? "Cannot write file \"%1\". %2" : "Cannot create file \"%1\". %2")
          .arg(QString::fromStdString(path), reason);
    }
    const QString reason = f == Fault::FullDisk        ? U("на диске недостаточно места")
                           : f == Fault::NoFolderRight ? U("нет прав на запись в папку")
                           : f == Fault::NoFileRight   ? U("нет прав на запись в файл %1").arg(name)
                           : f == Fault::Swapped       ? U("файл %1 подменён другим во время записи").arg(name)
                                                       : U("имя %1 занято папкой или особым файлом").arg(name);
    if (m == Made::Kim) return U("Невозможно записать распакованный КИМ в рабочую папку (файл kim.tmp).\n\rПричина: ") + reason;
    const bool written = f == Fault::FullDisk && m != Made::TestOgg && m != Made::Recording;
    const QString message = U(written ? "Невозможно записать файл \"%1\".\n\rПричина: %2"
                                      : "Невозможно создать файл \"%1\".\n\rПричина: %2")
                                .arg(QString::fromStdString(fs::absolute(path).string()), reason);
    return m == Made::TestOgg || m == Made::Recording ? U(kRecordStart) + message : message;
  }

  bool ReaderStillWaits() {
    if (reader_ < 0) return true;
    pollfd waiting{reader_, POLLIN, 0};
    const bool waits = ::poll(&waiting, 1, 0) == 0;
    ::close(reader_);
    reader_ = -1;
    return waits;
  }

  int reader_ = -1;
};

TEST_F(FailingFiles, EachFileTellsItsFailureWritesNothingElsewhereAndLosesNoEarlierFile) {
  const Fault faults[] = {Fault::FullDisk, Fault::NoFolderRight, Fault::NoFileRight, Fault::Link,
                          Fault::LinkToNowhere, Fault::HardLink, Fault::Pipe, Fault::PipeWithoutReader,
                          Fault::Folder, Fault::Device, Fault::Swapped};
  const char *faultNames[] = {"full disk", "no right to the folder", "no right to the file", "link",
                              "link to nowhere", "hard link", "pipe with a reader", "pipe without a reader",
                              "folder", "device", "name swapped between steps"};
  const char *madeNames[] = {"kim.tmp", "a frame's file", "test.ogg", "a recording", "the answers file",
                             "a table the store saves", "a blob the store saves"};
  for (const Made m :
       {Made::Kim, Made::Frame, Made::TestOgg, Made::Recording, Made::Answers, Made::Table, Made::Blob}) {
    for (std::size_t k = 0; k < std::size(faults); ++k) {
      const Fault f = faults[k];
      SCOPED_TRACE(std::string(madeNames[int(m)]) + ", " + faultNames[k]);
      window_.reset();
      boxes_.shown.clear();
      FakeAudio::Get().Reset();
      RecChannel = 0;
      for (const auto &entry : fs::directory_iterator(dir_)) fs::remove_all(entry.path());
      fs::create_directory("elsewhere");
      fs::create_directory("real");
      fs::create_directory_symlink(fs::absolute("real"), "linked");
      std::ofstream(kVictim) << kVictimBytes;
      // A link lends no mode: set-id bits least of all.
      fs::permissions(kVictim, fs::perms(06777));
      const std::string path = PathOf(m);
      if (m == Made::Recording || m == Made::Answers) EnsureParticipantFolder(dir_ + "/", U("key"), U("0007"));
      if (!Prepare(f, path)) continue;
      const fs::file_type held = fs::symlink_status(path).type();

      std::unique_ptr<FaultyDisk> disk = Strike(f, m, path);
      const QString shown = Make(m, path);
      disk.reset();

      EXPECT_EQ(shown.toStdString(), Expected(f, m, path).toStdString());
      EXPECT_EQ(ReadBytes(kVictim), kVictimBytes) << "nothing outside what the program made is written";
      EXPECT_EQ(fs::status(kVictim).permissions(), fs::perms(06777));
      EXPECT_FALSE(fs::exists(fs::symlink_status("elsewhere/nowhere")));
      std::size_t inElsewhere = 0;
      for ([[maybe_unused]] const auto &entry : fs::directory_iterator("elsewhere")) ++inElsewhere;
      EXPECT_EQ(inElsewhere, 1u) << "nothing is made where a link leads";
      EXPECT_TRUE(ReaderStillWaits()) << "a pipe's reader is not ended";
      const bool made = shown.isEmpty();
      if (!made && (Holder(f) || f == Fault::NoFileRight)) {
        EXPECT_EQ(fs::symlink_status(path).type(), held) << "what holds the name stays";
      }
      // A save's earlier file, and one the station was refused to take away.
      if (!made && !Holder(f) && (Saved(m) || f == Fault::NoFileRight)) {
        const bool regular = fs::symlink_status(path).type() == fs::file_type::regular;
        EXPECT_TRUE(regular) << "the earlier file is not lost";
        if (regular) {
          EXPECT_EQ(ReadBytes(path), kEarlier);
        }
      }
      if (made && Saved(m)) {
        const fs::perms mode = fs::symlink_status(path).permissions();
        EXPECT_EQ(fs::symlink_status(path).type(), fs::file_type::regular);
        EXPECT_EQ(mode & (fs::perms::set_uid | fs::perms::set_gid | fs::perms::sticky_bit), fs::perms::none);
        if (f == Fault::Link) {
          EXPECT_NE(mode & fs::perms::others_write, fs::perms::others_write);
        }
      }
      if (m == Made::Recording && f == Fault::Swapped) {
        EXPECT_TRUE(fs::exists(fs::path(path).parent_path().string() + ".moved/0007_5.ogg"))
            << "made in the folder the station made";
      }
      // The listening task's sound and every other file made for a while go
      // when the station ends by a signal, as it ends then; what is put at
      // the name in their place stays.
      if (m == Made::Frame) {
        const fs::file_type before = fs::symlink_status(path).type();
        klt::files::RemoveTemporaries();
        EXPECT_EQ(fs::symlink_status(path).type(), made && f != Fault::Swapped ? fs::file_type::not_found : before);
      }
      // A failed save leaves no new file of its own behind.
      if (Saved(m) && !made && f != Fault::Swapped) {
        for (const auto &entry : fs::directory_iterator(fs::path(path).parent_path()))
          EXPECT_FALSE(entry.path().extension() == ".tmp") << entry.path();
      }
    }
  }
}

}  // namespace
