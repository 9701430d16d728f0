#include "paths.h"
#include "ui_text.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace station;

TEST(StationPaths, BackslashesBecomeSlashes) {
  EXPECT_EQ(ToSlashPath(".\\Answer_2020-06-01_5_001234_0007_2\\0007\\0007_0.ogg"),
            "./Answer_2020-06-01_5_001234_0007_2/0007/0007_0.ogg");
  EXPECT_EQ(ToSlashPath("KIM\\TestWAV.wav"), "KIM/TestWAV.wav");
  EXPECT_EQ(ToSlashPath("plain.ogg"), "plain.ogg");
  EXPECT_EQ(FolderOf("a/b/c.ogg"), "a/b/");
  EXPECT_EQ(FolderOf("c.ogg"), "./");
}

TEST(StationPaths, ProgramFolderHoldsTheRunningProgram) {
  const std::string dir = ProgramFolder();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(dir.front(), '/');
  EXPECT_TRUE(std::filesystem::exists(dir + "station_tests"));
  const std::string cwd = AbsoluteWorkingFolder();
  EXPECT_EQ(cwd.back(), '/');
  EXPECT_EQ(std::filesystem::path(cwd), std::filesystem::current_path() / "");
}

TEST(StationText, CodePageTextCrossesToUnicodeAndBack) {
  const std::string bytes = "\xCA\xEE\xE4 \xF3\xF7\xE0\xF1\xF2\xED\xE8\xEA\xE0 \xB8\xA8 Tom";
  const QString text = FromCodePage(bytes);
  EXPECT_EQ(text, QString::fromUtf8("Код участника ёЁ Tom"));
  EXPECT_EQ(ToCodePage(text), bytes);
  EXPECT_EQ(FromCodePage(""), QString());
}
