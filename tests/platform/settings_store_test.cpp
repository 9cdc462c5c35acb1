#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/atomic_file.h"

namespace fs = std::filesystem;

namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_settings_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file() const { return (dir_ / "sub" / "settings").string(); }
  fs::path dir_;
};

TEST_F(SettingsStoreTest, MissingFileReadsAsNothingAndWritesCreateIt) {
  platform::SettingsStore store(file());
  EXPECT_FALSE(store.readInt("ParameterLinkPort"));
  EXPECT_FALSE(store.readString("ParameterLinkStation"));
  ASSERT_TRUE(store.writeInt("ParameterLinkPort", 3));
  ASSERT_TRUE(store.writeString("ParameterLinkStation", "1,3,5-12"));
  EXPECT_EQ(store.readInt("ParameterLinkPort"), 3);
  EXPECT_EQ(store.readString("ParameterLinkStation"), "1,3,5-12");
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseAndTypesDoNotMix) {
  platform::SettingsStore store(file());
  ASSERT_TRUE(store.writeInt("ParameterLanguage", 2));
  EXPECT_EQ(store.readInt("parameterlanguage"), 2);
  ASSERT_TRUE(store.writeInt("PARAMETERLANGUAGE", 3));
  EXPECT_EQ(store.readInt("ParameterLanguage"), 3);
  // The other type reads as missing rather than failing.
  EXPECT_FALSE(store.readString("ParameterLanguage"));
  ASSERT_TRUE(store.writeString("ParameterLanguage", "x"));
  EXPECT_FALSE(store.readInt("ParameterLanguage"));
  EXPECT_EQ(store.readString("ParameterLanguage"), "x");
}

TEST_F(SettingsStoreTest, TextsKeepEveryCharacter) {
  platform::SettingsStore store(file());
  std::string odd = "tab\there\nnew line\\back\rslash  \xE9";
  ASSERT_TRUE(store.writeString("ParameterStation7", odd));
  ASSERT_TRUE(store.writeString("ParameterStation8", ""));
  EXPECT_EQ(store.readString("ParameterStation7"), odd);
  EXPECT_EQ(store.readString("ParameterStation8"), "");
}

TEST_F(SettingsStoreTest, DamagedLinesAreSkippedAndTheRestIsUsed) {
  fs::create_directories(dir_ / "sub");
  std::ofstream(file(), std::ios::binary) << "garbage line\n"
                                             "ParameterLinkPort\tint\t12x\n"
                                             "ParameterLinkBaud\tint\t9600\n"
                                             "Bad\tstr\tends with \\\n"
                                             "\x01\x02\x03\n"
                                             "ParameterLinkStation\tstr\t5-9\r\n"
                                             "NoTab";
  platform::SettingsStore store(file());
  EXPECT_FALSE(store.readInt("ParameterLinkPort"));
  EXPECT_EQ(store.readInt("ParameterLinkBaud"), 9600);
  EXPECT_FALSE(store.readString("Bad"));
  EXPECT_EQ(store.readString("ParameterLinkStation"), "5-9");
  // A write keeps what could be read.
  ASSERT_TRUE(store.writeInt("ParameterLinkPort", 2));
  EXPECT_EQ(store.readInt("ParameterLinkBaud"), 9600);
  EXPECT_EQ(store.readInt("ParameterLinkPort"), 2);
}

TEST_F(SettingsStoreTest, UnwritablePlaceFailsTheWriteAndReadsAsMissing) {
  // A plain file where the settings folder should be: no process, root included, can write.
  fs::create_directories(dir_);
  std::ofstream(dir_ / "sub") << "not a folder";
  platform::SettingsStore store(file());
  EXPECT_FALSE(store.writeInt("A", 1));
  EXPECT_FALSE(store.readInt("A"));
  std::string back;
  ASSERT_TRUE(platform::ReadWholeFile((dir_ / "sub").string(), back, 100));
  EXPECT_EQ(back, "not a folder");
}

TEST_F(SettingsStoreTest, DefaultPlaceFollowsTheEnvironment) {
  ::setenv("KVX_SETTINGS_DIR", dir_.c_str(), 1);
  EXPECT_EQ(platform::SettingsStore::Default().path(), (dir_ / "settings").string());
  ::unsetenv("KVX_SETTINGS_DIR");
  ::setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(platform::SettingsStore::Default().path(), "/tmp/xdg/KVX/settings");
}

TEST(AtomicFileTest, FailedReplaceKeepsTheOldFile) {
  auto dir = fs::temp_directory_path() / ("kv_atomic_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  auto path = (dir / "f.bin").string();
  ASSERT_TRUE(platform::WriteFileAtomically(path, std::string("old contents")));
  // A target that is a folder cannot be replaced: the write fails and nothing is left over.
  auto folder = (dir / "folder").string();
  fs::create_directories(folder);
  auto r = platform::WriteFileAtomically(folder, std::string("new"));
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find(folder), std::string::npos);
  std::string back;
  ASSERT_TRUE(platform::ReadWholeFile(path, back, 100));
  EXPECT_EQ(back, "old contents");
  EXPECT_FALSE(platform::ReadWholeFile(path, back, 5));  // larger than allowed
  EXPECT_FALSE(platform::ReadWholeFile((dir / "missing").string(), back, 100));
  // No temporary files remain beside the target.
  int count = 0;
  for (auto& e : fs::directory_iterator(dir)) (void)e, ++count;
  EXPECT_EQ(count, 2);
  fs::remove_all(dir);
}

}  // namespace
