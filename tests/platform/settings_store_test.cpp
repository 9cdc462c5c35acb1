#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

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
  ino_t Inode() const {
    struct stat st {};
    return ::stat(file().c_str(), &st) == 0 ? st.st_ino : 0;
  }
  fs::path dir_;
};

TEST_F(SettingsStoreTest, ValuesKeepTheirTypeAndEveryCharacterAndNamesIgnoreCase) {
  platform::SettingsStore store(file());
  EXPECT_FALSE(store.readInt("ParameterLinkPort"));  // no file yet
  EXPECT_FALSE(store.readString("ParameterLinkStation"));
  const std::string odd = "tab\there\nnew line\\back\rslash  \xE9";
  ASSERT_TRUE(store.writeInt("ParameterLinkPort", 3));
  ASSERT_TRUE(store.writeString("ParameterStation7", odd));
  ASSERT_TRUE(store.writeString("ParameterStation8", ""));
  ASSERT_TRUE(store.writeInt("PARAMETERLANGUAGE", 3));
  platform::SettingsStore again(file());
  EXPECT_EQ(again.readInt("ParameterLinkPort"), 3);
  EXPECT_EQ(again.readString("ParameterStation7"), odd);
  EXPECT_EQ(again.readString("ParameterStation8"), "");
  EXPECT_EQ(again.readInt("parameterlanguage"), 3);
  // The other type reads as missing rather than failing.
  EXPECT_FALSE(again.readString("ParameterLanguage"));
  ASSERT_TRUE(again.writeString("ParameterLanguage", "x"));
  EXPECT_FALSE(again.readInt("ParameterLanguage"));
  EXPECT_EQ(store.readString("ParameterLanguage"), "x");  // seen by the other store too
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

TEST_F(SettingsStoreTest, RepeatedNamesKeepTheLastLineAndTheFirstSpellingOfAWrite) {
  fs::create_directories(dir_ / "sub");
  std::ofstream(file(), std::ios::binary) << "Alpha\tint\t1\n"
                                             "Beta\tint\t2\n"
                                             "ALPHA\tstr\tthree\n"
                                             "Gamma\tint\t4\n"
                                             "beta\tint\t5\n";
  platform::SettingsStore store(file());
  EXPECT_FALSE(store.readInt("alpha"));
  EXPECT_EQ(store.readString("alpha"), "three");
  EXPECT_EQ(store.readInt("BETA"), 5);
  {
    platform::SettingsStore::Batch batch(store);
    ASSERT_TRUE(store.writeInt("gamma", 6));
    ASSERT_TRUE(store.writeInt("New", 7));
    ASSERT_TRUE(store.writeInt("NEW", 8));  // the batch keeps one value under its first spelling
    EXPECT_EQ(store.readInt("new"), 8);
  }
  std::string text;
  ASSERT_TRUE(platform::ReadWholeFile(file(), text, 1 << 16));
  // The later line's place and spelling, a rewritten value keeps the stored spelling.
  EXPECT_EQ(text, "# Kestravel service tool settings\n"
                  "ALPHA\tstr\tthree\n"
                  "Gamma\tint\t6\n"
                  "beta\tint\t5\n"
                  "New\tint\t8\n");
}

TEST_F(SettingsStoreTest, UnwritablePlaceFailsTheWriteAndReadsAsMissing) {
  // A plain file where the settings folder should be: no process, root included, can write.
  fs::create_directories(dir_);
  std::ofstream(dir_ / "sub") << "not a folder";
  platform::SettingsStore store(file());
  int told = 0;
  store.setReporter([&](const std::string&) { ++told; });
  EXPECT_FALSE(store.writeInt("A", 1));
  EXPECT_FALSE(store.readInt("A"));
  EXPECT_FALSE(store.writeInt("A", 2));
  EXPECT_EQ(told, 1);  // once, however often it is tried
  std::string back;
  ASSERT_TRUE(platform::ReadWholeFile((dir_ / "sub").string(), back, 100));
  EXPECT_EQ(back, "not a folder");
}

TEST_F(SettingsStoreTest, AFileThatCannotBeReadIsNeverReplaced) {
  {
    platform::SettingsStore before(file());
    ASSERT_TRUE(before.writeInt("ParameterLanguage", 2));
  }
  const auto size = fs::file_size(file());
  fs::resize_file(file(), 17 * 1024 * 1024);  // over the size limit
  std::vector<std::string> told;
  platform::SettingsStore store(file());
  store.setReporter([&](const std::string& m) { told.push_back(m); });
  EXPECT_FALSE(store.readInt("ParameterLanguage"));
  EXPECT_FALSE(store.writeInt("ParameterLinkPort", 3));
  {
    platform::SettingsStore::Batch batch(store);
    EXPECT_FALSE(store.writeInt("ParameterLinkPort", 4));
    EXPECT_TRUE(batch.finish());  // nothing was kept to write
  }
  EXPECT_FALSE(store.writeString("ParameterStation1", "x"));
  ASSERT_EQ(told.size(), 1u);  // said once
  EXPECT_NE(told[0].find(file()), std::string::npos);
  EXPECT_EQ(fs::file_size(file()), 17u * 1024 * 1024);

  // Readable again: the old values are there and writes work.
  fs::resize_file(file(), size);
  EXPECT_EQ(store.readInt("ParameterLanguage"), 2);
  EXPECT_TRUE(store.writeInt("ParameterLinkPort", 3));
  EXPECT_EQ(platform::SettingsStore(file()).readInt("ParameterLanguage"), 2);
  EXPECT_TRUE(store.problem().empty());
}

TEST_F(SettingsStoreTest, ABatchWritesOnceAndKeepsWhatOthersWroteMeanwhile) {
  platform::SettingsStore store(file()), other(file());
  ASSERT_TRUE(store.writeInt("ParameterLanguage", 1));
  const auto inode = Inode();
  {
    platform::SettingsStore::Batch batch(store);
    for (int n = 1; n <= 254; ++n) ASSERT_TRUE(store.writeString("ParameterStation" + std::to_string(n), "T" + std::to_string(n)));
    EXPECT_EQ(store.readString("ParameterStation7"), "T7");  // reads back before the write
    EXPECT_EQ(Inode(), inode);                               // nothing written yet
    ASSERT_TRUE(other.writeInt("ParameterOnline", 1));       // another instance writes meanwhile
  }
  EXPECT_EQ(other.readInt("ParameterOnline"), 1);
  EXPECT_EQ(other.readString("ParameterStation254"), "T254");  // seen without reopening
  platform::SettingsStore fresh(file());
  EXPECT_EQ(fresh.readString("ParameterStation1"), "T1");
  EXPECT_EQ(fresh.readInt("ParameterOnline"), 1);
  EXPECT_EQ(fresh.readInt("ParameterLanguage"), 1);
}

TEST_F(SettingsStoreTest, ASnapshotLooksOnceAndTheFirstReadAfterItSeesOthersWrites) {
  platform::SettingsStore store(file()), other(file());
  ASSERT_TRUE(other.writeInt("ParameterLanguage", 1));
  {
    platform::SettingsStore::Snapshot view(store);
    {
      platform::SettingsStore::Snapshot inner(store);
      EXPECT_EQ(store.readInt("ParameterLanguage"), 1);
    }
    ASSERT_TRUE(other.writeInt("ParameterLanguage", 2));
    EXPECT_EQ(store.readInt("ParameterLanguage"), 1);  // the view the snapshot first found
    EXPECT_FALSE(store.readInt("ParameterOnline"));
    // A write reads the file again under its lock: nothing another instance wrote is lost.
    ASSERT_TRUE(store.writeInt("ParameterOnline", 1));
    EXPECT_EQ(store.readInt("ParameterLanguage"), 2);
    EXPECT_EQ(store.readInt("ParameterOnline"), 1);
  }
  ASSERT_TRUE(other.writeInt("ParameterLanguage", 3));
  EXPECT_EQ(store.readInt("ParameterLanguage"), 3);  // after it every read looks again
  EXPECT_EQ(other.readInt("ParameterOnline"), 1);
  EXPECT_EQ(other.readInt("ParameterLanguage"), 3);
}

TEST_F(SettingsStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kEach = 60;
  fs::create_directories(dir_ / "sub");
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      platform::SettingsStore store(file());
      bool ok = true;
      for (int i = 0; i < kEach; ++i) ok = store.writeInt(std::string(1, char('A' + c)) + std::to_string(i), i) && ok;
      ::_exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  platform::SettingsStore store(file());
  int found = 0;
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kEach; ++i) found += store.readInt(std::string(1, char('A' + c)) + std::to_string(i)) == i;
  EXPECT_EQ(found, 2 * kEach);
}

TEST_F(SettingsStoreTest, DefaultPlaceFollowsTheEnvironment) {
  ::setenv("KVX_SETTINGS_DIR", dir_.c_str(), 1);
  EXPECT_EQ(platform::SettingsStore::Default().path(), (dir_ / "settings").string());
  ::unsetenv("KVX_SETTINGS_DIR");
  ::setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(platform::SettingsStore::Default().path(), "/tmp/xdg/KVX/settings");
}

// Entries of a folder, to see that no temporary file is left behind.
std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Contents(const std::string& path) {
  std::string back;
  EXPECT_TRUE(platform::ReadWholeFile(path, back, 1 << 20));
  return back;
}

TEST(AtomicFileTest, FailuresKeepTheOldFileAndLeaveNoTemporary) {
  auto dir = fs::temp_directory_path() / ("kv_atomic_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "folder");
  auto path = (dir / "f.bin").string();
  ASSERT_TRUE(platform::WriteFileAtomically(path, std::string("old contents")));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

  // A target that is a folder cannot be replaced.
  auto folder = (dir / "folder").string();
  auto r = platform::WriteFileAtomically(folder, std::string("new"));
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find(folder), std::string::npos);
  // Nor can one in a missing folder.
  EXPECT_FALSE(platform::WriteFileAtomically((dir / "missing" / "f").string(), std::string("new")));

  // A write cut short by the file size limit.
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  r = platform::WriteFileAtomically(path, std::string(10000, 'x'));
  platform::AtomicFile partial(path);
  const std::string temp = partial.TemporaryPath();
  EXPECT_TRUE(partial.Write("abc", 3));
  EXPECT_FALSE(partial.Write(std::string(8000, 'y').data(), 8000));
  EXPECT_FALSE(fs::exists(temp));  // removed at the failure, not only at the end
  EXPECT_FALSE(partial.Commit());
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(r);
  EXPECT_EQ(Contents(path), "old contents");
  { platform::AtomicFile dropped(path); dropped.Write("never committed", 15); }
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"f.bin", "folder"}));

  // A good replace keeps the replaced file's mode; a new file gets 0666 less the umask.
  ASSERT_TRUE(platform::WriteFileAtomically(path, std::string("new contents")));
  EXPECT_EQ(Contents(path), "new contents");
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
  const mode_t mask = ::umask(022);
  ASSERT_TRUE(platform::WriteFileAtomically((dir / "fresh").string(), std::string("x")));
  ::umask(mask);
  EXPECT_EQ(fs::status(dir / "fresh").permissions(), fs::perms(0644));

  // Every legal name saves: the temporary name stays short.
  const std::string longest = (dir / std::string(255, 'n')).string();
  EXPECT_TRUE(platform::WriteFileAtomically(longest, std::string("long name"))) << longest;
  EXPECT_EQ(Contents(longest), "long name");

  std::string back;
  EXPECT_FALSE(platform::ReadWholeFile(path, back, 5));  // larger than allowed
  r = platform::ReadWholeFile((dir / "missing").string(), back, 100);
  EXPECT_EQ(r.systemError, ENOENT);
  fs::remove_all(dir);
}

}  // namespace
