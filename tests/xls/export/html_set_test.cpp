// The page set of a workbook with several sheets as a browser reads it: after a failed save
// or one killed at any system call the frameset page leads to the old set or the new one whole;
// two saves of one set take turns; saved through a symbolic link, the folder goes beside the
// linked page.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "export_test_util.h"
#include "xls/io/export/html_export.h"

namespace xls {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

// What a reader sees from the frameset page: the page (the folder's name, which changes from
// save to save, left out), the pages its frames load and the sheet pages the tab strip links to.
std::string SetView(const fs::path& page) {
  std::string view = ReadFile(page.string());
  std::vector<fs::path> pages;
  auto follow = [&](const std::string& text, const fs::path& from, const std::string& attribute) {
    std::vector<std::string> links;
    for (std::size_t at = text.find(attribute); at != std::string::npos; at = text.find(attribute, at + 1)) {
      const std::size_t start = at + attribute.size();
      links.push_back(text.substr(start, text.find('"', start) - start));
      pages.push_back(from / links.back());
    }
    return links;
  };
  for (const std::string& src : follow(view, page.parent_path(), "src=\""))
    view.replace(view.find(src), src.rfind('/'), "F");
  if (pages.size() != 2) return "frames: " + view;
  follow(ReadFile(pages[1].string()), pages[1].parent_path(), "href=\"");
  for (const fs::path& p : pages) {
    if (!fs::is_regular_file(p)) return view + "\nmissing " + p.string();
    view += "\n" + p.filename().string() + ":\n" + ReadFile(p.string());
  }
  return view;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Three sheets with the third active, or two with the first active: every page differs.
struct Set : testing::Book {
  explicit Set(bool old) : Book(old ? u"o1" : u"n1") {
    At(u"A1")->SetValue(Variant(old ? u"old" : u"new"));
    book->GetWorksheets().Add()->SetName(old ? u"o2" : u"n2");
    if (old) book->GetWorksheets().Add()->Activate();
  }
  std::int32_t SaveAs(const fs::path& page) { return exporter.SaveWorkbook(*book, Utf8ToWide(page.string())); }
  TXLSHTMLExport exporter;
};

class HtmlSet : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::all);
    fs::remove_all(dir_);
  }
  const fs::path dir_ = fs::temp_directory_path() / ("kv_html_set_" + std::to_string(::getpid()));
  const fs::path page_ = dir_ / "set.htm", folder_ = dir_ / "set.files";
};

// Runs save in a child process stepped system call by system call and kills it on entering the
// n-th one: false when the save ended before.
bool KilledAt(int n, const std::function<void()>& save) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0) {
      ::raise(SIGSTOP);
      save();
    }
    ::_exit(0);
  }
  int status = 0, entries = 0, signal = 0;
  ::waitpid(child, &status, 0);
  ::ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  for (bool inside = false; WIFSTOPPED(status); ::waitpid(child, &status, 0)) {
    const bool call = WSTOPSIG(status) == (SIGTRAP | 0x80);
    if (call && (inside = !inside) && ++entries == n) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return true;
    }
    signal = call || WSTOPSIG(status) == SIGSTOP ? 0 : WSTOPSIG(status);
    ::ptrace(PTRACE_SYSCALL, child, nullptr, signal);
  }
  return false;
}

TEST_F(HtmlSet, AKilledSaveLeavesTheOldSetOrTheNewOneWhole) {
  Set old(true), next(false);
  ASSERT_EQ(next.SaveAs(page_), 1);
  const std::string newView = SetView(page_);
  ASSERT_EQ(old.SaveAs(page_), 1);
  const std::string oldView = SetView(page_);
  ASSERT_EQ(Entries(folder_).size(), 1u);  // the old set's subfolder alone
  ASSERT_TRUE(oldView != newView && oldView.find("missing") == std::string::npos) << oldView;

  int killed = 0, killedAfterTheSwitch = 0;
  for (int n = 1; KilledAt(n, [&] { next.SaveAs(page_); }); ++n, ++killed) {
    const std::string seen = SetView(page_);
    ASSERT_TRUE(seen == oldView || seen == newView) << "killed at system call " << n << ":\n" << seen;
    killedAfterTheSwitch += seen == newView;
    // The page's own temporary file, when the kill came while it was written, is removed by a
    // save ten minutes later (a test of atomic files): too late for the next round here.
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().rfind(".kv", 0) == 0) fs::remove(e.path());
    // The next save clears what the killed one left in the set's folder.
    ASSERT_EQ(old.SaveAs(page_), 1);
    ASSERT_EQ(Entries(folder_).size(), 1u) << "after a kill at system call " << n;
  }
  EXPECT_EQ(SetView(page_), newView);
  EXPECT_GT(killed, 30);
  EXPECT_GT(killedAfterTheSwitch, 0);
}

// While the test holds the lock of the set's folder, a save waits and changes nothing.
TEST_F(HtmlSet, TwoSavesOfOneSetTakeTurns) {
  Set old(true), next(false);
  ASSERT_EQ(old.SaveAs(page_), 1);
  const std::string oldView = SetView(page_);
  const std::vector<std::string> kept = Entries(folder_);
  const int lock = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(lock);  // the lock belongs to the open folder, which the child would share
    ::_exit(next.SaveAs(page_) == 1 ? 0 : 1);
  }
  int status = 0;
  while (std::atol(ReadFile("/proc/" + std::to_string(child) + "/syscall").c_str()) != SYS_flock) {
    ASSERT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the save did not wait for the lock";
    ::usleep(1000);
  }
  EXPECT_EQ(Entries(folder_), kept);
  EXPECT_EQ(SetView(page_), oldView);
  ::close(lock);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  EXPECT_NE(SetView(page_).find(">new</td>"), std::string::npos) << SetView(page_);
}

TEST_F(HtmlSet, ASaveThroughALinkPutsTheFolderBesideTheLinkedPage) {
  fs::create_directories(dir_ / "real");
  fs::create_directories(dir_ / "links");
  fs::create_symlink("../real/target.htm", dir_ / "links" / "hop.htm");
  fs::create_symlink("hop.htm", dir_ / "links" / "report.htm");  // a link to a link
  ASSERT_EQ(Set(true).SaveAs(dir_ / "links" / "report.htm"), 1);
  EXPECT_EQ(Entries(dir_ / "links"), (std::vector<std::string>{"hop.htm", "report.htm"}));
  EXPECT_EQ(Entries(dir_ / "real"), (std::vector<std::string>{"target.files", "target.htm"}));
  const std::string view = SetView(dir_ / "real" / "target.htm");
  EXPECT_TRUE(view.find("missing") == std::string::npos && view.find(">old</td>") != std::string::npos) << view;
}

// "set.htm" and "set.html" share "set.files": a save of one keeps the other's set and what the
// other's killed save left, and clears its own leftovers and what its page referred to (also
// after a rename); a set that another page refers to (a page's copy, an unmarked set) stays.
TEST_F(HtmlSet, TwoPageSetsInOneFolderStayWhole) {
  Set a(true), b(false);
  const fs::path other = dir_ / "set.html", renamed = dir_ / "set.shtml", copy = dir_ / "set.xhtml";
  ASSERT_EQ(a.SaveAs(page_), 1);
  ASSERT_EQ(b.SaveAs(other), 1);
  const std::string viewA = SetView(page_), viewB = SetView(other);
  ASSERT_TRUE((viewA + viewB).find("missing") == std::string::npos && viewA.find(">old</td>") != std::string::npos &&
              viewB.find(">new</td>") != std::string::npos) << viewA << viewB;
  for (int n = 1; Entries(folder_).size() == 2 && KilledAt(n, [&] { b.SaveAs(other); }); ++n) continue;
  ASSERT_EQ(Entries(folder_).size(), 3u) << "no kill left a subfolder";
  ASSERT_EQ(a.SaveAs(page_), 1);
  EXPECT_EQ(Entries(folder_).size(), 3u);
  ASSERT_EQ(b.SaveAs(other), 1);
  EXPECT_EQ(Entries(folder_).size(), 2u);
  fs::rename(other, renamed);
  ASSERT_EQ(b.SaveAs(renamed), 1);
  EXPECT_EQ(Entries(folder_).size(), 2u);
  // The renamed page's set made unmarked (its subfolder renamed), and a copy of the first page.
  std::string frames = ReadFile(renamed.string());
  const std::size_t at = frames.find("set.files/v") + 10;
  const std::string marked = frames.substr(at, frames.find('/', at) - at);
  fs::rename(folder_ / marked, folder_ / "vunmarked");
  for (std::size_t p = frames.find(marked); p != std::string::npos; p = frames.find(marked)) frames.replace(p, marked.size(), "vunmarked");
  std::ofstream(renamed, std::ios::binary) << frames;
  fs::copy_file(page_, copy);
  ASSERT_EQ(a.SaveAs(page_), 1);
  EXPECT_EQ(Entries(folder_).size(), 3u);
  for (const auto& [page, view] : {std::pair{page_, viewA}, {copy, viewA}, {renamed, viewB}}) EXPECT_EQ(SetView(page), view);
}

// The old set here is one as the export wrote it before each save had a subfolder: its pages
// straight in the set's folder.
TEST_F(HtmlSet, AFailedSaveLeavesTheOldSetWhole) {
  Set old(true), next(false);
  fs::create_directories(folder_);
  for (std::int32_t i = 1; i <= 3; ++i) {
    const std::string name = (folder_ / ("Sheet00" + std::to_string(i) + ".htm")).string();
    ASSERT_EQ(old.exporter.SaveSheetToFile(*old.book->GetWorksheets().GetItem(i), Utf8ToWide(name)), 1);
  }
  ASSERT_EQ(old.exporter.WriteTabStrip(*old.book, Utf8ToWide((folder_ / "tabstrip.htm").string())), 1);
  ASSERT_EQ(old.exporter.WriteFrameset(*old.book, Utf8ToWide(page_.string())), 1);
  const std::string oldView = SetView(page_);
  const std::vector<std::string> kept = Entries(folder_), besidePage = Entries(dir_);
  // What a killed save left: a subfolder that no page names.
  fs::create_directories(folder_ / "vkilled00");
  ASSERT_EQ(old.exporter.WriteTabStrip(*old.book, Utf8ToWide((folder_ / "vkilled00" / "x.htm").string())), 1);

  // Ways to fail, each saving in a child process: a sheet page outgrows the file size limit; the
  // set's folder, or the page's (the new sheet pages are written, and removed again when the
  // page cannot be replaced), may not be written to; the page cannot be read (nothing may be
  // cleared then) and a page outgrows the limit. Root saves as another user who owns the set.
  for (int r = 1; r <= 400; ++r)
    next.At(u"C" + Utf8ToWide(std::to_string(r)))->SetValue(Variant(std::u16string(100, u'z')));
  const bool root = ::geteuid() == 0;
  auto own = [&](uid_t user) {
    EXPECT_EQ(::lchown(dir_.c_str(), user, user), 0);
    for (const auto& e : fs::recursive_directory_iterator(dir_)) EXPECT_EQ(::lchown(e.path().c_str(), user, user), 0);
  };
  if (root) own(65534);
  const struct {
    fs::path locked;
    fs::perms perms;
  } ways[] = {{{}, {}}, {folder_, fs::perms(0555)}, {dir_, fs::perms(0555)}, {page_, fs::perms(0200)}};
  for (const auto& way : ways) {
    if (!way.locked.empty()) fs::permissions(way.locked, way.perms);
    int status = -1;
    const pid_t child = ::fork();
    if (child == 0) {
      struct rlimit small {};
      ::getrlimit(RLIMIT_FSIZE, &small);
      small.rlim_cur = 16 * 1024;
      ::signal(SIGXFSZ, SIG_IGN);
      const bool limit = way.locked.empty() || way.locked == page_;
      const bool ready = (!root || (::setgid(65534) == 0 && ::setuid(65534) == 0)) &&
                         (!limit || ::setrlimit(RLIMIT_FSIZE, &small) == 0);
      ::_exit(ready && next.SaveAs(page_) == -1 && next.exporter.WrittenFiles().empty() ? 0 : 1);
    }
    ::waitpid(child, &status, 0);
    if (!way.locked.empty()) fs::permissions(way.locked, way.locked == page_ ? fs::perms(0644) : fs::perms::all);
    EXPECT_EQ(status, 0) << way.locked;
    EXPECT_EQ(SetView(page_), oldView) << way.locked;
    EXPECT_EQ(Entries(folder_), kept) << way.locked;
    EXPECT_EQ(Entries(dir_), besidePage) << way.locked;
  }
  if (root) own(0);

  // A save that succeeds replaces the old pages by its subfolder: three sheet pages and the tab
  // strip, then the frameset page.
  ASSERT_EQ(old.SaveAs(page_), 1);
  const std::vector<std::u16string>& written = old.exporter.WrittenFiles();
  ASSERT_EQ(written.size(), 5u);
  EXPECT_EQ(written.back(), Utf8ToWide(page_.string()));
  EXPECT_EQ(Entries(folder_), std::vector<std::string>{fs::path(WideToUtf8(written[0])).parent_path().filename().string()});
  EXPECT_EQ(SetView(page_), oldView);
}

}  // namespace
}  // namespace xls
