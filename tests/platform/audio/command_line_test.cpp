// Splitting the encoder command line and finding the encoder program.
#include "platform/audio/command_line.h"

#include <filesystem>
#include <fstream>

#include "audio_test_support.h"

namespace klt::audio::test {
namespace {

using Args = std::vector<std::string>;

TEST(AudioCommandLine, SplitsAtBlanksAndKeepsQuotedBlanks) {
    EXPECT_EQ(SplitCommandLine("oggenc.exe -o .\\Answer_1\\0000\\0000_0.ogg -"),
              (Args{"oggenc.exe", "-o", ".\\Answer_1\\0000\\0000_0.ogg", "-"}));
    EXPECT_EQ(SplitCommandLine("  a \t b  "), (Args{"a", "b"}));
    EXPECT_EQ(SplitCommandLine("enc -o \"my file.ogg\" -"), (Args{"enc", "-o", "my file.ogg", "-"}));
    EXPECT_EQ(SplitCommandLine("enc x\"y z\"w"), (Args{"enc", "xy zw"}));
    EXPECT_EQ(SplitCommandLine("enc \"\" -"), (Args{"enc", "", "-"}));
    EXPECT_EQ(SplitCommandLine("enc; rm -rf x"), (Args{"enc;", "rm", "-rf", "x"})) << "no shell";
    EXPECT_FALSE(SplitCommandLine(""));
    EXPECT_FALSE(SplitCommandLine("   "));
    EXPECT_FALSE(SplitCommandLine("enc \"open"));
    EXPECT_FALSE(SplitCommandLine("\"\" -o x")) << "no program";
}

TEST(AudioCommandLine, DropsTheWindowsSuffixOnly) {
    EXPECT_EQ(LocalProgramName("oggenc.exe"), "oggenc");
    EXPECT_EQ(LocalProgramName("OGGENC.EXE"), "OGGENC");
    EXPECT_EQ(LocalProgramName("oggenc"), "oggenc");
    EXPECT_EQ(LocalProgramName(".exe"), ".exe");
    EXPECT_EQ(LocalProgramName("tool.exe.sh"), "tool.exe.sh");
}

TEST(AudioCommandLine, FindsTheProgramInTheWorkingDirectoryBeforeTheSearchPath) {
    ScratchDir scratch;
    std::filesystem::create_directories("bin1");
    std::filesystem::create_directories("bin2");
    WriteScript("bin2/enc", "exit 0");
    EXPECT_EQ(FindProgram("enc", scratch.Path().string() + "/bin1:" + scratch.Path().string() + "/bin2/"),
              scratch.Path().string() + "/bin2/enc");
    WriteScript("bin1/enc", "exit 0");
    EXPECT_EQ(FindProgram("enc", "bin1:bin2"), "bin1/enc");
    WriteScript("enc", "exit 0");
    EXPECT_EQ(FindProgram("enc", "bin1:bin2"), "./enc");

    EXPECT_EQ(FindProgram("none", "bin1::bin2"), "");
    std::ofstream("plain") << "x";
    EXPECT_EQ(FindProgram("plain", ""), "") << "not executable";
    std::filesystem::create_directories("dir");
    std::filesystem::permissions("dir", std::filesystem::perms::all);
    EXPECT_EQ(FindProgram("dir", "."), "") << "a folder is no program";
    EXPECT_EQ(FindProgram("bin2/enc", ""), "bin2/enc") << "a path is used as it is";
    EXPECT_EQ(FindProgram("bin2/none", "bin1"), "");
}

} // namespace
} // namespace klt::audio::test
