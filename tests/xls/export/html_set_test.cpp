// The page set of a workbook with several sheets as a browser reads it: after a failed save
// or a save killed at any system call the frameset page leads to the old set or to the new one
// whole; two saves of one set take turns; a save through a symbolic link puts the sheet folder
// beside the page it replaces.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "export_test_util.h"
#include "xls/io/export/html_export.h"

namespace xls {
namespace {

namespace fs = std::filesystem;
using testing::Book;
using testing::ReadFile;

// The values of every `attribute="..."` in a page, in order.
std::vector<std::string> Links(const std::string& page, const std::string& attribute) {
  std::vector<std::string> links;
  const std::string start = attribute + "=\"";
  for (std::size_t at = page.find(start); at != std::string::npos; at = page.find(start, at + 1)) {
    const std::size_t from = at + start.size();
    links.push_back(page.substr(from, page.find('"', from) - from));
  }
  return links;
}

// What a reader of the set sees from its frameset page: that page (the sheet folder's name in
// the frames' addresses left out, it may change from save to save), the pages its frames load
// and the sheet pages the tab strip links to; a link that leads nowhere ends the view.
std::string SetView(const fs::path& page) {
  std::string view = ReadFile(page.string());
  if (view.empty()) return "no page";
  const std::vector<std::string> frames = Links(view, "src");
  if (frames.size() != 2) return view + "\nframes: " + std::to_string(frames.size());
  for (const std::string& src : frames) {
    const std::string folder = src.substr(0, src.rfind('/') + 1);
    view.replace(view.find(src), folder.size(), "F/");
  }
  std::vector<fs::path> pages = {page.parent_path() / frames[0], page.parent_path() / frames[1]};
  for (const std::string& href : Links(ReadFile(pages[1].string()), "href"))
    pages.push_back(pages[1].parent_path() / href);
  for (const fs::path& p : pages) {
    if (!fs::is_regular_file(p)) return view + "\nmissing " + p.string();
    view += "\n" + p.filename().string() + ":\n" + ReadFile(p.string());
  }
  return view;
}

// Three sheets with the third active, or two with the first active; every page tells them apart.
struct Set {
  explicit Set(bool old) : b(old ? u"o1" : u"n1") {
    b.At(u"A1")->SetValue(Variant(old ? u"old" : u"new"));
    IXLSWorksheet* second = b.book->GetWorksheets().Add();
    second->SetName(old ? u"o2" : u"n2");
    second->GetRange(u"B2")->SetValue(Variant(old ? 2.0 : 20.0));
    if (old) b.book->GetWorksheets().Add()->SetName(u"o3");
    if (old) b.book->GetWorksheets().GetItem(3)->Activate();
  }
  std::int32_t SaveAs(const fs::path& page) { return exporter.SaveWorkbook(*b.book, Utf8ToWide(page.string())); }
  Book b;
  TXLSHTMLExport exporter;
};

class HtmlSet : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_html_set_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::all, ignored);
    fs::permissions(folder(), fs::perms::all, ignored);
    fs::remove_all(dir_);
  }
  fs::path page() const { return dir_ / "set.htm"; }
  fs::path folder() const { return dir_ / "set.files"; }
  // Names in the sheet folder and beside the page, leftovers of saves included.
  std::vector<std::string> Entries(const fs::path& d) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(d)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path dir_;
};

// Runs save in a child process stepped system call by system call and kills it on entering
// its n-th one. Finished: it ended before; Killed; Untraced: tracing is not allowed here.
enum class Ending { Finished, Killed, Untraced };
Ending SaveKilledAt(int n, const std::function<void()>& save) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(3);
    ::raise(SIGSTOP);
    save();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFSTOPPED(status)) return Ending::Untraced;
  ::ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int entries = 0, signal = 0;
  bool inside = false;
  for (;;) {
    ::ptrace(PTRACE_SYSCALL, child, nullptr, signal);
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) || WIFSIGNALED(status)) return Ending::Finished;
    signal = 0;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      signal = WSTOPSIG(status) == SIGSTOP ? 0 : WSTOPSIG(status);
      continue;
    }
    inside = !inside;
    if (inside && ++entries == n) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return Ending::Killed;
    }
  }
}

TEST_F(HtmlSet, AKilledSaveLeavesTheOldSetOrTheNewOneWhole) {
  Set old(true), next(false);
  ASSERT_EQ(next.SaveAs(page()), 1);
  const std::string newView = SetView(page());
  ASSERT_EQ(old.SaveAs(page()), 1);
  const std::string oldView = SetView(page());
  ASSERT_NE(oldView.find("old"), std::string::npos) << oldView;
  ASSERT_EQ(oldView.find("missing"), std::string::npos) << oldView;
  ASSERT_NE(oldView, newView);
  const std::vector<std::string> kept = Entries(folder());
  ASSERT_EQ(kept.size(), 1u);  // the subfolder of the old set alone

  int killed = 0, killedAfterTheSwitch = 0;
  for (int n = 1;; ++n) {
    const Ending run = SaveKilledAt(n, [&] { next.SaveAs(page()); });
    if (run == Ending::Untraced) GTEST_SKIP() << "system calls cannot be traced here";
    const std::string seen = SetView(page());
    ASSERT_TRUE(seen == oldView || seen == newView) << "killed at system call " << n << ":\n" << seen;
    if (run == Ending::Finished) {
      EXPECT_EQ(seen, newView);
      break;
    }
    ++killed;
    killedAfterTheSwitch += seen == newView;
    // The page's own temporary file, when the kill came while it was written: a later save
    // removes it once it is old (a test of atomic files), too late for the next round here.
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().rfind(".kv", 0) == 0) fs::remove(e.path());
    // The next save clears what the killed one left in the sheet folder.
    ASSERT_EQ(old.SaveAs(page()), 1);
    ASSERT_EQ(SetView(page()), oldView);
    ASSERT_EQ(Entries(folder()).size(), kept.size()) << "after a kill at system call " << n;
  }
  EXPECT_GT(killed, 30);
  EXPECT_GT(killedAfterTheSwitch, 0);
}

// Two saves of one set take turns: one never removes the pages of the other before its page
// names them. Here the first save is the test holding the folder's lock.
TEST_F(HtmlSet, ASaveWaitsWhileAnotherSavesTheSameSet) {
  Set old(true), next(false);
  ASSERT_EQ(old.SaveAs(page()), 1);
  const std::string oldView = SetView(page());
  const std::vector<std::string> kept = Entries(folder());
  const int lock = ::open(folder().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(lock);  // the lock belongs to the open folder, which the child shares
    ::_exit(next.SaveAs(page()) == 1 ? 0 : 1);
  }
  // Until the child waits in flock (or has ended, which fails the test).
  int status = 0;
  for (;;) {
    ASSERT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the save did not wait for the lock";
    std::string call = ReadFile("/proc/" + std::to_string(child) + "/syscall");
    if (std::atol(call.c_str()) == SYS_flock) break;
    ::usleep(1000);
  }
  EXPECT_EQ(Entries(folder()), kept);
  EXPECT_EQ(SetView(page()), oldView);
  ::close(lock);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(SetView(page()), oldView);
  EXPECT_EQ(SetView(page()).find("missing"), std::string::npos);
}

TEST_F(HtmlSet, ASaveThroughALinkPutsTheFolderBesideTheLinkedPage) {
  fs::create_directories(dir_ / "real");
  fs::create_directories(dir_ / "links");
  fs::create_symlink("../real/target.htm", dir_ / "links" / "hop.htm");
  fs::create_symlink("hop.htm", dir_ / "links" / "report.htm");  // a link to a link
  Set old(true);
  ASSERT_EQ(old.SaveAs(dir_ / "links" / "report.htm"), 1);
  EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "report.htm"));
  EXPECT_EQ(Entries(dir_ / "links"), (std::vector<std::string>{"hop.htm", "report.htm"}));
  EXPECT_EQ(Entries(dir_ / "real"), (std::vector<std::string>{"target.files", "target.htm"}));
  const std::string view = SetView(dir_ / "real" / "target.htm");
  EXPECT_EQ(view.find("missing"), std::string::npos) << view;
  EXPECT_NE(view.find(">old</td>"), std::string::npos) << view;
}

// The old set here is one as the export wrote it before each save had a subfolder: its pages
// straight in the set's folder.
TEST_F(HtmlSet, AFailedSaveLeavesTheOldSetWhole) {
  Set old(true), next(false);
  IXLSWorkSheets& sheets = old.b.book->GetWorksheets();
  fs::create_directories(folder());
  for (std::int32_t i = 1; i <= 3; ++i) {
    const std::string name = "Sheet00" + std::to_string(i) + ".htm";
    ASSERT_EQ(old.exporter.SaveSheetToFile(*sheets.GetItem(i), Utf8ToWide((folder() / name).string())), 1);
  }
  ASSERT_EQ(old.exporter.WriteTabStrip(*old.b.book, Utf8ToWide((folder() / "tabstrip.htm").string())), 1);
  ASSERT_EQ(old.exporter.WriteFrameset(*old.b.book, Utf8ToWide(page().string())), 1);
  const std::string oldView = SetView(page());
  ASSERT_NE(oldView.find(">old</td>"), std::string::npos) << oldView;
  const std::vector<std::string> kept = Entries(folder()), besidePage = Entries(dir_);
  // What a killed save left: a subfolder that no page names.
  fs::create_directories(folder() / "vkilled00");
  ASSERT_EQ(old.exporter.WriteTabStrip(*old.b.book, Utf8ToWide((folder() / "vkilled00" / "tabstrip.htm").string())), 1);

  // A sheet page outgrows the file size limit.
  for (int r = 1; r <= 400; ++r)
    next.b.At(u"C" + Utf8ToWide(std::to_string(r)))->SetValue(Variant(std::u16string(100, u'z')));
  struct rlimit limit {};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  struct rlimit small = limit;
  small.rlim_cur = 16 * 1024;
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::int32_t result = next.SaveAs(page());
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(next.exporter.WrittenFiles().empty());
  EXPECT_EQ(SetView(page()), oldView);
  EXPECT_EQ(Entries(folder()), kept);
  EXPECT_EQ(Entries(dir_), besidePage);

  // Folders the save may not write to: the sheet folder, then the page's own folder (the new
  // sheet pages are written, and removed again when the page cannot be replaced). Root runs
  // the save as another user, for whom the permissions count.
  auto saveWithout = [&](const fs::path& locked) {
    fs::permissions(folder(), fs::perms::all);
    fs::permissions(dir_, fs::perms::all);
    fs::permissions(locked, fs::perms(0755));
    if (::geteuid() != 0) fs::permissions(locked, fs::perms(0555));
    const pid_t child = ::fork();
    if (child == 0) {
      if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
      ::_exit(next.SaveAs(page()) == -1 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(saveWithout(folder()), 0);
  EXPECT_EQ(SetView(page()), oldView);
  EXPECT_EQ(Entries(folder()), kept);
  EXPECT_EQ(saveWithout(dir_), 0);
  EXPECT_EQ(SetView(page()), oldView);
  EXPECT_EQ(Entries(folder()), kept);
  EXPECT_EQ(Entries(dir_), besidePage);

  // A save that succeeds replaces the old pages by its subfolder: three sheet pages and the tab
  // strip, then the frameset page.
  fs::permissions(dir_, fs::perms::all);
  ASSERT_EQ(old.SaveAs(page()), 1);
  const std::vector<std::u16string>& written = old.exporter.WrittenFiles();
  ASSERT_EQ(written.size(), 5u);
  EXPECT_EQ(written.back(), Utf8ToWide(page().string()));
  const fs::path subfolder = fs::path(WideToUtf8(written[0])).parent_path();
  EXPECT_EQ(Entries(folder()), std::vector<std::string>{subfolder.filename().string()});
  for (const std::u16string& name : written) EXPECT_TRUE(fs::is_regular_file(WideToUtf8(name)));
  EXPECT_EQ(SetView(page()), oldView);
}

}  // namespace
}  // namespace xls
