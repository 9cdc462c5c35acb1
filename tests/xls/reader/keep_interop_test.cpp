// Open, edit and save again against the programs that wrote and read the files: a workbook
// LibreOffice wrote (password-protected, with comments, validations, conditional formats, an
// autofilter and formulas of every kind) opened by us, saved, and read back by LibreOffice,
// gnumeric and xlrd says what LibreOffice's own file says; edited by us (a column deleted, a row
// inserted) it says what LibreOffice's file says after LibreOffice made the same edit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

namespace fs = std::filesystem;

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0) << command << "\n" << out;
  return out;
}

std::string Peer(const std::string& args) {
  return Run(std::string("/usr/bin/python3 ") + KV_SOURCE_DIR + "/tests/xls/reader/keep_peer.py " + args);
}

// The "file <path>" sections of a dump of several files.
std::map<std::string, std::string> Sections(const std::string& dump) {
  std::map<std::string, std::string> out;
  std::istringstream in(dump);
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.rfind("file ", 0) == 0) {
      current = fs::path(line.substr(5)).filename().string();
      continue;
    }
    out[current] += line + "\n";
  }
  return out;
}

// The "cell" and "note" lines of a dump moved by the test's edits: column B deleted, then a row
// inserted above row 3 (0-based: column 1 goes, row 2 and below move down); the second edit
// then inserts a column before C and deletes row 3 again (column 2 and right move right).
std::string MovedByTheEdit(const std::string& dump, bool second) {
  std::vector<std::string> lines;
  std::istringstream in(dump);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind;
    int row = 0, column = 0;
    words >> kind >> row >> column;
    if ((kind != "cell" && kind != "note") || !words) {
      lines.push_back(line);
      continue;
    }
    if (column == 1) continue;
    const std::string rest = line.substr(line.find(' ', line.find(' ', kind.size() + 1) + 1));
    column = column > 1 ? column - 1 : column;
    if (second && column >= 2) ++column;
    if (!second && row >= 2) ++row;
    lines.push_back(kind + " " + std::to_string(row) + " " + std::to_string(column) + rest);
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

class KeepInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_keep_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

  fs::path dir_;
};

TEST_F(KeepInterop, LibreOfficeWorkbookKeepsEverythingThroughOpenEditAndSave) {
  Peer("make " + dir_.string());
  ASSERT_TRUE(fs::exists(Path("lo.xls")) && fs::exists(Path("lo-edited.xls")));
  {
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Wide(Path("lo.xls"))), 1);
    ASSERT_EQ(book->SaveAs(Wide(Path("ours.xls"))), 1);
  }
  {
    // Our own file of a protected workbook (written without encryption) read and saved again.
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Wide(Path("ours.xls"))), 1);
    ASSERT_EQ(book->SaveAs(Wide(Path("ours-again.xls"))), 1);
  }
  {
    // The edit LibreOffice made: column B deleted, then a row inserted above row 3.
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Wide(Path("lo.xls"))), 1);
    IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
    sheet.GetRange(u"B1")->GetEntireColumn()->Delete();
    sheet.GetRange(u"A3")->GetEntireRow()->Insert();
    ASSERT_EQ(book->SaveAs(Wide(Path("ours-edited.xls"))), 1);
    sheet.GetRange(u"C1")->GetEntireColumn()->Insert();
    sheet.GetRange(u"A3")->GetEntireRow()->Delete();
    ASSERT_EQ(book->SaveAs(Wide(Path("ours-edited2.xls"))), 1);
  }
  const std::string files[] = {"lo.xls",        "ours.xls",        "ours-again.xls", "lo-edited.xls",
                               "ours-edited.xls", "lo-edited2.xls", "ours-edited2.xls"};
  std::string all;
  for (const std::string& f : files) all += " " + Path(f);
  std::map<std::string, std::string> lo = Sections(Peer("lo " + dir_.string() + all));
  // What the file holds, so that equal dumps cannot be empty ones.
  const std::string& original = lo["lo.xls"];
  for (const char* fact : {"protected 1", "note 1 0 first", "note 3 2 two\\nlines", "MOD(", "cell-content-is-in-list",
                           "filter Data.A1:Data.E7 buttons=true 0:!=:zzz", "ROMAN", "Rate", "~", "of:=1/0"})
    EXPECT_NE(original.find(fact), std::string::npos) << fact << "\n" << original;
  EXPECT_EQ(lo["ours.xls"], original);
  EXPECT_EQ(lo["ours-again.xls"], original);
  EXPECT_EQ(lo["ours-edited.xls"], lo["lo-edited.xls"]);
  EXPECT_EQ(lo["ours-edited2.xls"], lo["lo-edited2.xls"]);
  for (const char* reader : {"xlrd", "gnumeric"}) {
    SCOPED_TRACE(reader);
    auto dump = [&](const std::string& f) {
      return Peer(std::string(reader) + (std::string(reader) == "xlrd" ? " " : " " + dir_.string() + " ") + Path(f));
    };
    const std::string theirs = dump("lo.xls");
    EXPECT_NE(theirs.find(" first"), std::string::npos) << theirs;
    EXPECT_EQ(dump("ours.xls"), theirs);
    EXPECT_EQ(dump("ours-again.xls"), theirs);
    if (std::string(reader) == "gnumeric") {
      EXPECT_EQ(dump("ours-edited.xls"), dump("lo-edited.xls"));
      EXPECT_EQ(dump("ours-edited2.xls"), dump("lo-edited2.xls"));
    } else {
      // LibreOffice saves the Boolean and text results of formulas it moved as 0: the values
      // of its original, moved where the edits moved them, are what our saves must hold.
      EXPECT_EQ(dump("ours-edited.xls"), MovedByTheEdit(theirs, false));
      EXPECT_EQ(dump("ours-edited2.xls"), MovedByTheEdit(theirs, true));
    }
  }
}

}  // namespace
}  // namespace xls
