// Open, edit and save again against the programs that wrote and read the files: a workbook
// LibreOffice wrote (password-protected, with comments, validations, conditional formats, an
// autofilter and formulas of every kind) opened by us, saved (and saved again from our file),
// and read back by LibreOffice, gnumeric and xlrd says what LibreOffice's own file says; edited
// by us (columns and rows deleted and inserted) it says what LibreOffice's file says after
// LibreOffice made the same edits; newer functions and values at the edges of the formats.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "reader_test_support.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

namespace fs = std::filesystem;

std::string Peer(const std::string& args) {
  std::string out;
  const std::string command = "/usr/bin/python3 " + test::SourceDir() + "/tests/xls/reader/keep_peer.py " + args + " 2>&1";
  EXPECT_EQ(test::RunCommand(command, out), 0) << command << "\n" << out;
  return out;
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
  // xlrd reads the cached results: those of our saves are LibreOffice's (its own edited files
  // hold 0 for the text and Boolean results of the formulas it moved, so they are not compared).
  auto xlrd = [&](const std::string& f) { return Peer("xlrd " + Path(f)); };
  const std::string values = xlrd("lo.xls");
  EXPECT_NE(values.find("cell 3 3 text III"), std::string::npos) << values;
  EXPECT_EQ(xlrd("ours.xls"), values);
  EXPECT_EQ(xlrd("ours-again.xls"), values);
  // gnumeric recalculates and reads the rules.
  auto gnumeric = [&](const std::string& f) { return Peer("gnumeric " + dir_.string() + " " + Path(f)); };
  const std::string theirs = gnumeric("lo.xls");
  EXPECT_NE(theirs.find("note A2 first"), std::string::npos) << theirs;
  EXPECT_EQ(gnumeric("ours.xls"), theirs);
  EXPECT_EQ(gnumeric("ours-edited.xls"), gnumeric("lo-edited.xls"));
  EXPECT_EQ(gnumeric("ours-edited2.xls"), gnumeric("lo-edited2.xls"));
}

// Formulas LibreOffice writes in ways of its own and values at the edges of the formats:
// the newer functions it calls through hidden names (IFERROR, SUMIFS, COUNTIFS, AVERAGEIF), a
// date before 1904 in a 1904 workbook, a string of 200 Japanese characters in a formula and a
// reference to row 20000. Our BIFF8 save reads back as LibreOffice's file does, cached results
// included; our BIFF5 save in code page 932 keeps each formula BIFF5 cannot hold as its text.
TEST_F(KeepInterop, NewerFunctionsAndBiff5LimitsThroughOurSaves) {
  Peer("newer " + dir_.string());
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Wide(Path("lo-newer.xls"))), 1);
  IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
  ASSERT_EQ(book->SaveAsFormat(Wide(Path("ours8.xls")), 2), 1) << book->GetLastSaveError();
  ASSERT_EQ(book->SetCodePage(932), 1);
  ASSERT_EQ(book->SaveAsFormat(Wide(Path("ours5.xls")), 1), 1) << book->GetLastSaveError();
  std::vector<std::string> texts;  // of A1:A6 as we read them
  for (int r = 1; r <= 6; ++r)
    texts.push_back(platform::WideToUtf8(sheet.GetCells()->GetItem(r, 1)->GetFormula().ToText()));
  EXPECT_EQ(texts[0], "=IFERROR(1/0;2)");

  std::map<std::string, std::string> lo =
      Sections(Peer("lo " + dir_.string() + " " + Path("lo-newer.xls") + " " + Path("ours8.xls") + " " + Path("ours5.xls")));
  const std::string& original = lo["lo-newer.xls"];
  std::string japanese;
  for (int i = 0; i < 200; ++i) japanese += "\u65e5";
  const std::string facts[] = {"cell 0 0 float 2 of:=IFERROR(1/0;2)\n", "cell 3 0 float 2.5 of:=AVERAGEIF(",
                               "cell 4 0 float 200 of:=LEN(\"" + japanese + "\")\n", "cell 5 0 float 1 of:=[.A20000]+1\n",
                               "cell 6 0 date 1900-03-01 \n"};
  for (const std::string& fact : facts)
    EXPECT_NE(original.find(fact), std::string::npos) << fact << "\n" << original;
  EXPECT_EQ(lo["ours8.xls"], original);
  std::string biff5 = original;
  for (std::size_t r = 0; r < texts.size(); ++r) {
    const std::string row = "cell " + std::to_string(r) + " 0 ";
    const std::size_t at = biff5.find(row + "float ");
    ASSERT_NE(at, std::string::npos) << row;
    biff5.replace(at, biff5.find('\n', at) - at, row + "string " + texts[r] + " ");
  }
  EXPECT_EQ(lo["ours5.xls"], biff5);

  auto xlrd = [&](const std::string& f) { return Peer("xlrd " + Path(f)); };
  const std::string values = xlrd("lo-newer.xls");
  EXPECT_NE(values.find("cell 0 0 number 2.0\ncell 0 2"), std::string::npos) << values;
  EXPECT_NE(values.find("cell 6 0 date -1401.0"), std::string::npos) << values;
  EXPECT_EQ(xlrd("ours8.xls"), values);
  const std::string ours5 = xlrd("ours5.xls");
  EXPECT_NE(ours5.find("cell 4 0 text =LEN(\"" + japanese + "\")\n"), std::string::npos) << ours5;
  EXPECT_NE(ours5.find("cell 6 0 date -1401.0"), std::string::npos) << ours5;
  auto gnumeric = [&](const std::string& f) { return Peer("gnumeric " + dir_.string() + " " + Path(f)); };
  const std::string theirs = gnumeric("lo-newer.xls");
  EXPECT_NE(theirs.find("cell 0 0 expr =iferror(1/0,2)"), std::string::npos) << theirs;
  EXPECT_EQ(gnumeric("ours8.xls"), theirs);
  EXPECT_NE(gnumeric("ours5.xls").find("cell 6 0 40 -1401"), std::string::npos);
}

}  // namespace
}  // namespace xls
