#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/atomic_file.h"

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_ini_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "edit.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Bytes() const {
    std::string bytes;
    platform::ReadWholeFile(path_, bytes, 1 << 20);
    return bytes;
  }
  fs::path dir_;
  std::string path_;
};

TEST_F(IniFileTest, SectionsAndNamesIgnoreCaseAndValuesStayExact) {
  platform::IniFile ini(path_);
  EXPECT_FALSE(ini.readString("S", "n"));
  ASSERT_TRUE(ini.writeString("One", "a", "1"));
  ASSERT_TRUE(ini.writeString("Two", "b", " spaced = value "));
  ASSERT_TRUE(ini.writeString("one", "C", "3"));
  ASSERT_TRUE(ini.writeString("ONE", "A", "11"));
  EXPECT_EQ(ini.readString("one", "a").value_or(""), "11");
  EXPECT_EQ(ini.readString("Two", "B").value_or(""), " spaced = value ");
  EXPECT_FALSE(ini.readString("Two", "a"));
  EXPECT_EQ(Bytes(), "[One]\na=11\nC=3\n[Two]\nb= spaced = value \n");
}

TEST_F(IniFileTest, RefusesWhatWouldBreakTheFileAndKeepsItWhole) {
  platform::IniFile ini(path_);
  ASSERT_TRUE(ini.writeString("S", "k", "v"));
  EXPECT_FALSE(ini.writeString("S", "x", "two\nlines"));
  EXPECT_FALSE(ini.writeString("S", "x=y", "v"));
  EXPECT_FALSE(ini.writeString("S]", "x", "v"));
  EXPECT_FALSE(ini.writeString("S", "", "v"));
  EXPECT_FALSE(platform::IniFile((dir_ / "missing" / "a.ini").string()).writeString("S", "k", "v"));
  EXPECT_EQ(Bytes(), "[S]\nk=v\n");
}

TEST_F(IniFileTest, ReadsHandWrittenFilesAndSkipsDamage) {
  const char text[] = "; comment\r\n  [ Profile ]  \r\ngarbage line\r\n\0\xff\r\n speed = 12 kg\r\n";
  std::ofstream(path_, std::ios::binary).write(text, sizeof text - 1);
  platform::IniFile ini(path_);
  EXPECT_EQ(ini.readString("profile", "SPEED").value_or(""), " 12 kg");
  ASSERT_TRUE(ini.writeString("Profile", "torque", "5"));
  EXPECT_EQ(ini.readString("Profile", "torque").value_or(""), "5");
  EXPECT_EQ(ini.readString("profile", "speed").value_or(""), " 12 kg");
}

}  // namespace
