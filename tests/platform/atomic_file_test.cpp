// Saves through symbolic links and the clean-up of temporary files that killed saves left.
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/atomic_file_stream.h"

namespace fs = std::filesystem;

namespace {

class AtomicFileFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_atomic_folder_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string At(const std::string& name) const { return (dir_ / name).string(); }
  std::string Contents(const std::string& name) const {
    std::string back;
    EXPECT_TRUE(platform::ReadWholeFile(At(name), back, 1 << 20)) << name;
    return back;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Makes a file look last written `minutes` ago.
  void Age(const std::string& name, int minutes) const {
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - minutes * 60;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, At(name).c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << name;
  }
  // A save of target killed half-way; returns the name of the temporary file it left.
  std::string KilledSave(const std::string& target) const {
    const std::vector<std::string> before = Names();
    if (const pid_t child = ::fork(); child == 0) {
      platform::AtomicFile file(target);
      file.Write("half a document", 15);
      ::raise(SIGKILL);
    } else {
      ::waitpid(child, nullptr, 0);
    }
    for (const std::string& name : Names())
      if (std::find(before.begin(), before.end(), name) == before.end()) return name;
    return {};
  }
  fs::path dir_;
};

TEST_F(AtomicFileFolderTest, SavingThroughALinkReplacesTheLinkedFileAndKeepsTheLink) {
  fs::create_directories(dir_ / "real");
  ASSERT_TRUE(platform::WriteFileAtomically(At("real/doc.par"), std::string("old")));
  ::chmod(At("real/doc.par").c_str(), 0600);
  fs::create_symlink("real/doc.par", dir_ / "relative");  // relative to the link's folder
  fs::create_symlink(At("relative"), dir_ / "chain");      // a link to a link
  fs::create_symlink("real/new.par", dir_ / "dangling");  // the save creates its target
  ASSERT_TRUE(platform::WriteFileAtomically(At("relative"), std::string("through the link")));
  EXPECT_EQ(Contents("real/doc.par"), "through the link");
  EXPECT_EQ(fs::status(At("real/doc.par")).permissions(), fs::perms(0600));
  platform::AtomicFileStream stream(At("chain"));
  stream.Write("through two links", 17);
  ASSERT_TRUE(stream.Commit()) << stream.Error();
  EXPECT_EQ(Contents("real/doc.par"), "through two links");
  ASSERT_TRUE(platform::WriteFileAtomically(At("dangling"), std::string("created")));
  EXPECT_EQ(Contents("real/new.par"), "created");
  // A loop of links is refused and changes nothing.
  fs::create_symlink("loop-b", dir_ / "loop-a");
  fs::create_symlink("loop-a", dir_ / "loop-b");
  EXPECT_FALSE(platform::WriteFileAtomically(At("loop-a"), std::string("x")));
  for (const char* link : {"relative", "chain", "dangling", "loop-a", "loop-b"}) EXPECT_TRUE(fs::is_symlink(dir_ / link));
  // Nothing is left beside the links, and none of them was replaced.
  EXPECT_EQ(Names(), (std::vector<std::string>{"chain", "dangling", "loop-a", "loop-b", "real", "relative"}));
}

TEST_F(AtomicFileFolderTest, TheNextSaveRemovesOnlyOurOwnOldUnlockedTemporaries) {
  const std::vector<std::string> others = {
      ".kvABCDEFGH.tmp", ".kvabc.tmp", ".kvabcdefghi.tmp",  // capitals, too short, too long
      "x.kvabcdefgh.tmp", ".kvabcdefgh.temp", "kvabcdefgh.tmp"};
  for (const auto& name : others) ASSERT_TRUE(platform::WriteFileAtomically(At(name), std::string("someone else's")));
  // Ours by name but a folder, or a link to a file elsewhere: kept.
  fs::create_directories(dir_ / ".kvfolder0.tmp");
  ASSERT_TRUE(platform::WriteFileAtomically(At("target"), std::string("kept")));
  fs::create_symlink("target", dir_ / ".kvlink0000.tmp");
  // A save in progress (it holds its lock) is left alone however old it looks.
  platform::AtomicFile running(At("slow.par"));
  ASSERT_TRUE(running.Good());
  const std::string runningName = fs::path(running.TemporaryPath()).filename().string();
  std::vector<std::string> kept = others;
  kept.insert(kept.end(), {".kvfolder0.tmp", ".kvlink0000.tmp", "target", "doc.par", runningName});
  for (const auto& name : kept)
    if (name != "doc.par" && name != "target") Age(name, 60);

  ASSERT_TRUE(platform::WriteFileAtomically(At("doc.par"), std::string("whole")));
  const std::string left = KilledSave(At("doc.par"));
  ASSERT_FALSE(left.empty());
  EXPECT_EQ(Contents("doc.par"), "whole");
  // While young it may belong to a save still running on a slow disk: it stays.
  ASSERT_TRUE(platform::WriteFileAtomically(At("doc.par"), std::string("second")));
  kept.push_back(left);
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Names(), kept);
  Age(left, 11);
  ASSERT_TRUE(platform::WriteFileAtomically(At("doc.par"), std::string("third")));
  kept.erase(std::find(kept.begin(), kept.end(), left));
  EXPECT_EQ(Names(), kept);
  EXPECT_EQ(Contents("doc.par") + Contents("target"), "thirdkept");

  running.Write("done", 4);
  ASSERT_TRUE(running.Commit());
  EXPECT_EQ(Contents("slow.par"), "done");
}

}  // namespace
