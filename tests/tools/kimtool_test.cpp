// kimtool: descriptions packed and dumped back, containers and bare streams,
// and the refusals of bad descriptions and damaged files, through the
// library and through the program's exit status and messages.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "container_damages.h"
#include "kim_file.h"
#include "materials_file.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

class KimtoolTest : public ::testing::Test {
 protected:
  KimtoolTest() {
    static std::atomic<int> counter{0};
    dir_ = fs::path(::testing::TempDir()) / ("kimtool_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(dir_ / "media");
  }
  ~KimtoolTest() override { fs::remove_all(dir_); }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  // Runs the program; returns its exit status, with standard output and
  // error in `output`.
  // A run that may hang is ended after `timeout` seconds.
  int Run(const std::string& arguments, std::string& output, int timeout = 0) const {
    const std::string limit = timeout > 0 ? "timeout " + std::to_string(timeout) + " " : "";
    const std::string command = limit + KIMTOOL_PROGRAM + " " + arguments + " 2>" + Path("stderr").string();
    FILE* pipe = ::popen(command.c_str(), "r");
    output.clear();
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = ::pclose(pipe);
    output += ReadFile(Path("stderr"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  QJsonObject Dump(const fs::path& file) const {
    return QJsonDocument::fromJson(kim::DumpFile(file.string())).object();
  }

  std::string PackError(const std::string& spec) const {
    try {
      kim::BuildTableStream(QByteArray::fromStdString(spec), QString::fromStdString(dir_.string()));
    } catch (const std::exception& e) {
      return e.what();
    }
    return {};
  }

  // Writes "blob.tbl", a bare table of one blob field VariantText holding
  // `bytes`, damaged so that the field's type reads as a number: its load
  // quotes the whole blob. Returns the table's bytes.
  std::string BlobReadAsNumber(const std::string& bytes) const {
    WriteFile(Path("media/blob.bin"), bytes);
    WriteFile(Path("blob.json"), R"({"fields": [{"name": "VariantText", "type": "Blob"}],
                                      "records": [{"values": {"VariantText": {"file": "media/blob.bin"}}}]})");
    kim::PackFile(Path("blob.json").string(), Path("blob.tbl").string(), true);
    std::string table = ReadFile(Path("blob.tbl"));
    table.replace(table.find("\x06\x04" "Blob"), 6, "\x06\x0B" "FMTBcdField");
    WriteFile(Path("blob.tbl"), table);
    return table;
  }

  fs::path dir_;
};

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}

const char* kSpec = R"({
  "version": 251,
  "fields": [
    {"name": "subjid", "type": "Integer", "required": true},
    {"name": "subjname", "type": "String", "size": 255},
    {"name": "Price", "type": "Currency"},
    {"name": "Big", "type": "LargeInt"},
    {"name": "Done", "type": "Boolean", "readonly": true},
    {"name": "When", "type": "DateTime", "kind": "InternalCalc"},
    {"name": "VariantText", "type": "Blob"},
    {"name": "answer1", "type": "Memo"}
  ],
  "indexes": [{"name": "bySubject", "fields": "subjid", "options": ["ixUnique", "ixDescending"]}],
  "records": [
    {"values": {"SubjID": 5, "subjname": "Английский язык", "Price": "1.2345", "Big": 9007199254740993,
                "Done": true, "When": 44000.5, "VariantText": {"file": "media/page.pdf"}, "answer1": "один\r\ntwo"}},
    {"status": 3, "values": {"subjid": 6, "subjname": null}}
  ]
})";

TEST_F(KimtoolTest, PackedDescriptionDumpsBackTheSame) {
  WriteFile(Path("media/page.pdf"), "%PDF" + AllBytes());
  WriteFile(Path("spec.json"), kSpec);
  kim::PackFile(Path("spec.json").string(), Path("out.kim").string(), false);
  const QJsonObject dump = Dump(Path("out.kim"));
  EXPECT_EQ(dump["version"].toInt(), 251);

  const QJsonArray fields = dump["fields"].toArray();
  ASSERT_EQ(fields.size(), 8);
  EXPECT_EQ(fields[0].toObject(), (QJsonObject{{"name", "subjid"}, {"type", "Integer"}, {"size", 0},
                                               {"required", true}, {"readonly", false}, {"kind", "Data"}}));
  EXPECT_EQ(fields[1].toObject()["size"].toInt(), 255);
  EXPECT_TRUE(fields[4].toObject()["readonly"].toBool());
  EXPECT_EQ(fields[5].toObject()["kind"].toString(), "InternalCalc");
  EXPECT_EQ(fields[6].toObject()["type"].toString(), "Blob");

  const QJsonArray indexes = dump["indexes"].toArray();
  ASSERT_EQ(indexes.size(), 1);
  EXPECT_EQ(indexes[0].toObject(), (QJsonObject{{"name", "bySubject"}, {"fields", "subjid"},
                                                {"options", QJsonArray{"ixDescending", "ixUnique"}}}));

  const QJsonArray records = dump["records"].toArray();
  ASSERT_EQ(records.size(), 2);
  const QJsonObject first = records[0].toObject();
  EXPECT_EQ(first["status"].toInt(), 0);
  const QJsonObject values = first["values"].toObject();
  EXPECT_EQ(values["subjid"].toInteger(), 5);
  EXPECT_EQ(values["subjname"].toString(), QString::fromUtf8("Английский язык"));
  EXPECT_DOUBLE_EQ(values["Price"].toDouble(), 1.2345);
  EXPECT_EQ(values["Big"].toInteger(), 9007199254740993LL);
  EXPECT_TRUE(values["Done"].toBool());
  EXPECT_DOUBLE_EQ(values["When"].toDouble(), 44000.5);
  const QByteArray pdf = QByteArray::fromStdString("%PDF" + AllBytes());
  EXPECT_EQ(values["VariantText"].toObject(),
            (QJsonObject{{"size", pdf.size()},
                         {"sha256", QString::fromLatin1(QCryptographicHash::hash(pdf, QCryptographicHash::Sha256).toHex())}}));
  // A text for a blob is stored in the code page: 9 bytes for "один\r\ntwo".
  EXPECT_EQ(values["answer1"].toObject()["size"].toInt(), 9);
  const QJsonObject second = records[1].toObject();
  EXPECT_EQ(second["status"].toInt(), 3);
  EXPECT_TRUE(second["values"].toObject()["subjname"].isNull());
  EXPECT_TRUE(second["values"].toObject()["VariantText"].isNull());
}

TEST_F(KimtoolTest, ContainerAndBareStreamHoldTheSameBody) {
  WriteFile(Path("media/page.pdf"), "x");
  WriteFile(Path("spec.json"), kSpec);
  kim::PackFile(Path("spec.json").string(), Path("bare.tbl").string(), true);
  kim::PackFile(Path("spec.json").string(), Path("out.kim").string(), false);
  const std::string bare = ReadFile(Path("bare.tbl"));
  ASSERT_EQ(bare.compare(0, 4, "TPF0"), 0);
  const std::string container = ReadFile(Path("out.kim"));
  std::string body;
  ASSERT_EQ(station::InflateMaterials(container, body), station::InflateResult::Ok);
  EXPECT_EQ(body, bare);
  const uint32_t count = static_cast<uint8_t>(container[0]) | static_cast<uint8_t>(container[1]) << 8 |
                         static_cast<uint8_t>(container[2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(container[3])) << 24;
  EXPECT_EQ(count, bare.size());
  EXPECT_EQ(Dump(Path("bare.tbl")), Dump(Path("out.kim")));
}

TEST_F(KimtoolTest, BadDescriptionsAreRefusedWithTheReason) {
  EXPECT_EQ(PackError("{"), "JSON error at offset 1: unterminated object");
  EXPECT_EQ(PackError(R"({"table": "x", "fields": []})"), "description: unknown key \"table\"");
  EXPECT_EQ(PackError(R"({"records": []})"), "the description has no \"fields\"");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Strin", "size": 5}]})"), "Unknown field type (Strin)");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "String"}]})"), "field 0 (a): the size must be above 0");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Integer", "kind": "Lookup"}]})"),
            "field 0 (a): kind must be Data or InternalCalc");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Integer"}], "records": [{"values": {"b": 1}}]})"),
            "record 0: no field named b");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Integer"}], "records": [{"values": {"a": 1.5}}]})"),
            "record 0, a: a whole number is needed");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "String", "size": 9}], "records": [{"values": {"a": "漢字"}}]})"),
            "record 0, a: the text has characters the code page lacks");
  // Values that would go in as others: numbers beyond what is stored, a
  // text longer than its field, half a surrogate pair, a zero in a name.
  const auto value = [&](const std::string& type, const std::string& v) {
    return PackError(R"({"fields": [{"name": "a", "type": ")" + type + R"(", "size": 3}], "records": [{"values": {"a": )" +
                     v + "}}]}");
  };
  EXPECT_EQ(value("Integer", "1e20"), "record 0, a: 1e+20 is beyond the whole numbers of 64 bits");
  EXPECT_EQ(value("Integer", "-1e300"), "record 0, a: -1e+300 is beyond the whole numbers of 64 bits");
  EXPECT_EQ(value("LargeInt", "9223372036854775808"),
            "record 0, a: 9223372036854776000 is beyond the whole numbers of 64 bits");
  EXPECT_EQ(value("LargeInt", "-9223372036854775808"), "");
  EXPECT_EQ(value("DateTime", "1e300"), "record 0, a: 1e+300 days is beyond the dates a field holds");
  EXPECT_EQ(value("DateTime", "44000.123456789"), "");
  EXPECT_EQ(value("String", "\"abcd\""), "record 0, a: the text is 4 characters long, the field holds 3");
  EXPECT_EQ(value("String", "\"abc\""), "");
  EXPECT_EQ(value("String", "\"\\ud800x\""), "record 0, a: the text has characters the code page lacks");
  EXPECT_EQ(value("Memo", "\"\\udc00\""), "record 0, a: the text has characters the code page lacks");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Integer"}], "records": [{"status": 1e30}]})"),
            "record 0 status: 1e+30 is beyond the whole numbers of 64 bits");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a\u0000b", "type": "Integer"}]})"),
            "field 0: the name holds a zero character");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Integer"}], "indexes": [{"name": "i", "fields": "a\u0000"}]})"),
            "index 0: the name holds a zero character");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Integer", "required": true}], "records": [{"values": {}}]})"),
            "record 0: Field 'a' must have a value");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Integer"}], "records": [{"status": 4}]})"),
            "record 0: status must be 0 to 3");
  EXPECT_EQ(PackError(R"({"fields": [{"name": "a", "type": "Integer"}],
                          "indexes": [{"name": "u", "fields": "a", "options": ["ixUnique"]}],
                          "records": [{"values": {"a": 1}}, {"values": {"a": 1}}]})"),
            "record 1: Duplicate index value. Operation aborted.");
  const std::string missing = PackError(
      R"({"fields": [{"name": "b", "type": "Blob"}], "records": [{"values": {"b": {"file": "nothing.pdf"}}}]})");
  EXPECT_EQ(missing, "record 0, b: " + (dir_ / "nothing.pdf").string() + ": cannot be read: No such file or directory");
}

TEST_F(KimtoolTest, ProgramReportsFailuresAndKeepsTheOldOutput) {
  std::string output;
  EXPECT_EQ(Run("", output), 2);
  EXPECT_NE(output.find("usage: kimtool dump FILE"), std::string::npos);
  EXPECT_EQ(Run("pack only-one", output), 2);

  WriteFile(Path("old.kim"), "previous materials");
  WriteFile(Path("bad.json"), R"({"fields": [{"name": "a", "type": "WideString"}]})");
  EXPECT_EQ(Run("pack " + Path("bad.json").string() + " " + Path("old.kim").string(), output), 1);
  EXPECT_EQ(output, "Unknown field type (WideString)\n");
  EXPECT_EQ(ReadFile(Path("old.kim")), "previous materials");

  EXPECT_EQ(Run("dump " + Path("old.kim").string(), output), 1);
  EXPECT_EQ(output, Path("old.kim").string() + ": Materials container damaged: the zlib data is not valid at byte 5\n");
  WriteFile(Path("cut.kim"), station::PackMaterials("TPF0\x03\xFB\x00\x01", "").substr(0, 9));
  EXPECT_EQ(Run("dump " + Path("cut.kim").string(), output), 1);
  WriteFile(Path("short.tbl"), std::string("TPF0\x03\xFB\x00\x01", 8));
  EXPECT_EQ(Run("dump " + Path("short.tbl").string(), output), 1);
  EXPECT_EQ(output, Path("short.tbl").string() + ": field definition list, byte 8: Stream read error\n");
  WriteFile(Path("empty.kim"), std::string(4, '\0'));
  EXPECT_EQ(Run("dump " + Path("empty.kim").string(), output), 1);
  EXPECT_EQ(output, Path("empty.kim").string() + ": Materials container holds no body: the byte count is 0 or negative\n");

  WriteFile(Path("good.json"), R"({"fields": [{"name": "a", "type": "Integer"}], "records": [{"values": {"a": 7}}]})");
  EXPECT_EQ(Run("pack --bare " + Path("good.json").string() + " " + Path("old.kim").string(), output), 0);
  EXPECT_EQ(Run("dump " + Path("old.kim").string(), output), 0);
  const QJsonObject dump = QJsonDocument::fromJson(QByteArray::fromStdString(output)).object();
  EXPECT_EQ(dump["records"].toArray()[0].toObject()["values"].toObject()["a"].toInt(), 7);
}

TEST_F(KimtoolTest, DumpNamesTheByteWhereTheContainerIsDamaged) {
  const std::string demo = ReadFile(KIMTOOL_DEMO_MATERIALS);
  ASSERT_FALSE(demo.empty());
  WriteFile(Path("whole.kim"), demo);
  const QJsonObject whole = Dump(Path("whole.kim"));
  for (const station::testing::ContainerDamage& damage : station::testing::ContainerDamages()) {
    SCOPED_TRACE(damage.name);
    const std::string damaged = damage.apply(demo);
    WriteFile(Path("damaged.kim"), damaged);
    std::string output;
    if (damage.result == station::InflateResult::Ok) {
      EXPECT_EQ(Dump(Path("damaged.kim")), whole);
      continue;
    }
    EXPECT_EQ(Run("dump " + Path("damaged.kim").string(), output), 1);
    EXPECT_EQ(output, Path("damaged.kim").string() + ": Materials container damaged: " +
                          DumpReason(damage, static_cast<int64_t>(damaged.size()) - damage.placeFromEnd) + "\n");
  }
}

TEST_F(KimtoolTest, MessagesShowZeroBytesEscaped) {
  // A damaged stream whose type name holds a zero byte and a line feed.
  const std::string typeName("Str\0in\ng", 8);
  std::string stream("TPF0\x03\xFB\x00\x01\x06\x01n\x06", 12);
  stream += static_cast<char>(typeName.size());
  stream += typeName;
  stream += std::string("\x02\x00\x06\x01n\x06\x00\x02\x0A\x08\x08\x06\x04" "Data\x06\x00\x00\x01\x00\x01\x00", 24);
  WriteFile(Path("zero.tbl"), stream);
  std::string output;
  EXPECT_EQ(Run("dump " + Path("zero.tbl").string(), output), 1);
  EXPECT_EQ(output, Path("zero.tbl").string() + ": field definition 0 (n), byte 40: Unknown field type (Str\\x00in\\x0Ag)\n");
}

TEST_F(KimtoolTest, RefusalsNameTheFileAndWhereTheTableIsDamaged) {
  std::string output;
  // Neither may block the tool.
  ASSERT_EQ(::mkfifo(Path("pipe.kim").c_str(), 0600), 0);
  EXPECT_EQ(Run("dump " + Path("pipe.kim").string(), output), 1);
  EXPECT_EQ(output, Path("pipe.kim").string() + ": not a regular file\n");
  EXPECT_EQ(Run("dump " + Path("media").string(), output), 1);
  EXPECT_EQ(output, Path("media").string() + ": not a regular file\n");

  // A record value of the wrong kind in a container: the byte is counted in
  // the unpacked table.
  const std::string two = kim::BuildTableStream(
      R"({"fields": [{"name": "a", "type": "Integer"}, {"name": "b", "type": "Integer"}],
          "records": [{"values": {"a": 1, "b": 2}}]})", QString());
  const size_t value = two.rfind("\x08\x02\x02");
  ASSERT_NE(value, std::string::npos);
  std::string damaged = two;
  damaged[value + 1] = '\x06';
  WriteFile(Path("tag.kim"), station::PackMaterials(damaged));
  EXPECT_EQ(Run("dump " + Path("tag.kim").string(), output), 1);
  EXPECT_EQ(output, Path("tag.kim").string() + ": record 0, field b, byte " + std::to_string(value + 2) +
                        " of the unpacked table: Invalid property value\n");

  // A blob whose type reads as a number: the store quotes the whole blob;
  // only its first 40 characters are shown, whatever their bytes.
  const std::string table = BlobReadAsNumber("%PDF-1.4\n" + std::string(30000, 'x'));
  EXPECT_EQ(Run("dump " + Path("blob.tbl").string(), output), 1);
  EXPECT_EQ(output, Path("blob.tbl").string() + ": record 0, field VariantText, byte " +
                        std::to_string(table.size() - 2) + ": '%PDF-1.4\\x0A" + std::string(31, 'x') +
                        "...' (30009 characters) is not a valid floating point value\n");
  BlobReadAsNumber("\xC6" + std::string(99, '\xE6'));  // "Жж..." in the code page
  EXPECT_EQ(Run("dump " + Path("blob.tbl").string(), output), 1);
  std::string head = "Ж";
  for (int i = 1; i < 40; ++i) head += "ж";
  EXPECT_NE(output.find("'" + head + "...' (100 characters) is not a valid floating point value\n"), std::string::npos)
      << output;
}

TEST_F(KimtoolTest, PackWritesOnlyOverARegularFile) {
  WriteFile(Path("good.json"), R"({"fields": [{"name": "a", "type": "Integer"}], "records": [{"values": {"a": 7}}]})");
  WriteFile(Path("target"), "not to be touched");
  struct Case {
    const char* name;
    std::function<bool(const fs::path&)> make;  // false: cannot be made here
  };
  const std::vector<Case> cases = {
      // A device node of its own (the null device's numbers), never the
      // system's: a pack that wrote over it would replace the real one.
      {"device", [](const fs::path& p) { return ::mknod(p.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0; }},
      {"named pipe", [](const fs::path& p) { return ::mkfifo(p.c_str(), 0600) == 0; }},
      {"link to a file", [&](const fs::path& p) { return ::symlink(Path("target").c_str(), p.c_str()) == 0; }},
      {"link to nothing", [&](const fs::path& p) { return ::symlink(Path("gone").c_str(), p.c_str()) == 0; }},
      {"folder", [](const fs::path& p) { return fs::create_directory(p); }},
  };
  int made = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path out = Path(std::string("out ") + c.name);
    if (!c.make(out)) continue;
    ++made;
    const fs::file_status before = fs::symlink_status(out);
    std::string output;
    for (const char* bare : {"", " --bare"}) {
      EXPECT_EQ(Run("pack" + std::string(bare) + " " + Path("good.json").string() + " '" + out.string() + "'", output), 1);
      EXPECT_EQ(output, out.string() + ": not a regular file\n");
    }
    EXPECT_EQ(fs::symlink_status(out).type(), before.type());
  }
  EXPECT_GE(made, 4);
  EXPECT_EQ(ReadFile(Path("target")), "not to be touched");
  EXPECT_FALSE(fs::exists(Path("gone")));
  for (const auto& entry : fs::directory_iterator(dir_)) EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();

  // Inputs as dump takes them: a pipe in place of the description or of a
  // blob's file must not block the tool (the timeout stands for a hang).
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
  WriteFile(Path("blob.json"), R"({"fields": [{"name": "b", "type": "Blob"}], "records": [{"values": {"b": {"file": "pipe"}}}]})");
  std::string output;
  EXPECT_EQ(Run("pack " + Path("pipe").string() + " " + Path("a.kim").string(), output, 20), 1);
  EXPECT_EQ(output, Path("pipe").string() + ": not a regular file\n");
  EXPECT_EQ(Run("pack " + Path("blob.json").string() + " " + Path("a.kim").string(), output, 20), 1);
  EXPECT_EQ(output, "record 0, b: " + Path("pipe").string() + ": not a regular file\n");
  EXPECT_FALSE(fs::exists(Path("a.kim")));
}

TEST_F(KimtoolTest, PlacesAreNamedAsTheLoadReachedThem) {
  const std::string three = kim::BuildTableStream(
      R"({"fields": [{"name": "a", "type": "Integer"}], "indexes": [{"name": "i", "fields": "a"}],
          "records": [{"values": {"a": 1}}, {"values": {"a": 2}}, {"values": {"a": 3}}]})", QString());
  const size_t fieldList = 7;
  const size_t indexList = three.find(std::string("\x01\x06\x01i", 4));
  const size_t recordList = three.find(std::string("\x00\x01\x01\x02", 4)) + 1;
  ASSERT_NE(indexList, std::string::npos);
  ASSERT_EQ(three[fieldList], '\x01');
  const auto damagedAt = [&](size_t at) {
    std::string stream = three;
    stream[at] = '\x07';
    return stream;
  };
  struct Case {
    const char* name;
    std::string stream;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"field list's start damaged", damagedAt(fieldList), "field definition list, byte 8: Invalid property value"},
      {"index list's start damaged", damagedAt(indexList),
       "index definition list, byte " + std::to_string(indexList + 1) + ": Invalid property value"},
      {"record list's start damaged", damagedAt(recordList),
       "record list, byte " + std::to_string(recordList + 1) + ": Invalid property value"},
      {"ends where the first record was due", three.substr(0, recordList + 1),
       "record list, byte " + std::to_string(recordList + 1) + ": Stream read error"},
      {"last byte cut", three.substr(0, three.size() - 1),
       "after the last record, byte " + std::to_string(three.size() - 1) + ": Stream read error"},
      {"last record cut", three.substr(0, three.size() - 3),
       "record 2, field a, byte " + std::to_string(three.size() - 3) + ": Stream read error"},
      // Refused from its first bytes, before the rest is unpacked: its cut
      // end is never reached.
      {"compression bomb", station::testing::CompressionBomb(),
       "table header, byte 4 of the unpacked table: Invalid stream format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(Path("damaged.tbl"), c.stream);
    std::string output;
    EXPECT_EQ(Run("dump " + Path("damaged.tbl").string(), output), 1);
    EXPECT_EQ(output, Path("damaged.tbl").string() + ": " + c.message + "\n");
  }
}

TEST_F(KimtoolTest, AStoppedPackLeavesNoFileBehind) {
  // Big enough that writing it takes a while.
  WriteFile(Path("media/big.bin"), std::string(64 << 20, 'x'));
  WriteFile(Path("big.json"),
            R"({"fields": [{"name": "b", "type": "Blob"}], "records": [{"values": {"b": {"file": "media/big.bin"}}}]})");
  auto writing = [&] {
    for (const auto& entry : fs::directory_iterator(dir_))
      if (entry.path().extension() == ".tmp") return true;
    return false;
  };
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    bool caught = false;
    // Held while its new file is being written, then stopped; a pack that
    // finished before it was held is tried again.
    for (int attempt = 0; attempt < 10 && !caught; ++attempt) {
      fs::remove(Path("big.tbl"));
      const pid_t pack = ::fork();
      if (pack == 0) {
        ::execl(KIMTOOL_PROGRAM, KIMTOOL_PROGRAM, "pack", "--bare", Path("big.json").c_str(),
                Path("big.tbl").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
      }
      for (int i = 0; i < 40000 && !writing(); ++i) ::usleep(250);
      ::kill(pack, SIGSTOP);
      caught = writing();
      if (caught) ::kill(pack, signal);
      ::kill(pack, SIGCONT);
      int status = 0;
      ::waitpid(pack, &status, 0);
      if (!caught) continue;
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
      EXPECT_FALSE(writing());
      EXPECT_FALSE(fs::exists(Path("big.tbl")));
    }
    EXPECT_TRUE(caught);
  }
}

}  // namespace
