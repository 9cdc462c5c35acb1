// Open, edit and save again against the programs that wrote and read the files: a workbook
// LibreOffice wrote (password-protected, with comments, validations, conditional formats, an
// autofilter and formulas of every kind) opened by us, saved (and saved again from our file),
// and read back by LibreOffice, gnumeric and xlrd says what LibreOffice's own file says; edited
// by us (columns and rows deleted and inserted) it says what LibreOffice's file says after
// LibreOffice made the same edits; other programs' files beyond the usual limits.
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

// Other programs' files through our saves, read back by LibreOffice, gnumeric and xlrd as they
// read the originals: tests/data/xls (gnumeric's long formula and validation message, that one
// cut to 225 characters; LibreOffice's merged area whose covered cells hold values; gnumeric's
// BIFF5 autofilter), and LibreOffice's newer functions (called through hidden names), a date
// before 1904 in a 1904 book, 200 Japanese characters and a reference to row 20000 in formulas
// (kept as text by our BIFF5 save in code page 932).
TEST_F(KeepInterop, OtherProgramsFilesThroughOurSaves) {
  Peer("newer " + dir_.string());
  const std::string data = test::SourceDir() + "/tests/data/xls/";
  std::string all = " " + Path("lo-newer.xls");
  auto save = [&](TXLSWorkbook& book, const std::string& stem, int format) {
    const std::string name = stem + (format == 2 ? "8.xls" : "5.xls");
    EXPECT_EQ(book.SaveAsFormat(Wide(Path(name)), format), 1) << name << " " << book.GetLastSaveError();
    all += " " + Path(name);
  };
  for (const char* stem : {"gnumeric_losses", "lo_merged_rich", "gnumeric_biff5_filter"}) {
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Wide(data + stem + ".xls")), 1);
    all += " " + data + stem + ".xls";
    save(*book, stem, 2);
    if (std::string(stem) != "gnumeric_losses") save(*book, stem, 1);  // the long formula has no BIFF5 form
  }
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Wide(Path("lo-newer.xls"))), 1);
  save(*book, "lo-newer", 2);
  ASSERT_EQ(book->SetCodePage(932), 1);
  save(*book, "lo-newer", 1);
  std::map<std::string, std::string> lo = Sections(Peer("lo " + dir_.string() + all));

  // LibreOffice does not open gnumeric's file with the long records, nor read a FORMULA continued
  // in a CONTINUE record (B2 of ours); nor any BIFF5 autofilter.
  const std::string gnumericLosses = Peer("gnumeric " + dir_.string() + " " + data + "gnumeric_losses.xls");
  const std::size_t message = gnumericLosses.find("message=m0000 m0001 ") + 8;
  const std::string cut = gnumericLosses.substr(message, 225);
  EXPECT_NE(lo["gnumeric_losses8.xls"].find("error=stop:Whole number:" + cut + "\n"), std::string::npos)
      << lo["gnumeric_losses8.xls"];
  EXPECT_NE(lo["gnumeric_losses8.xls"].find("cell 2 1 float 7 \n"), std::string::npos);
  EXPECT_NE(lo["lo_merged_rich.xls"].find("cell 0 1 string b1 \ncell 0 2 float 3"), std::string::npos);
  EXPECT_EQ(lo["lo_merged_rich8.xls"], lo["lo_merged_rich.xls"]);
  EXPECT_EQ(lo["lo_merged_rich5.xls"], lo["lo_merged_rich.xls"]);
  std::string filter8 = lo["gnumeric_biff5_filter8.xls"];
  const std::size_t filter = filter8.find("filter Filter.A1:Filter.B5 buttons=true 0:=:drive:text\n");
  ASSERT_NE(filter, std::string::npos) << filter8;
  EXPECT_EQ(filter8.erase(filter, filter8.find('\n', filter) + 1 - filter), lo["gnumeric_biff5_filter.xls"]);
  EXPECT_EQ(lo["gnumeric_biff5_filter5.xls"], lo["gnumeric_biff5_filter.xls"]);
  // gnumeric and xlrd (which cannot read gnumeric's BIFF5 names, but our saves') find the rest.
  auto gnumeric = [&](const std::string& f) { return Peer("gnumeric " + dir_.string() + " " + Path(f)); };
  auto xlrd = [&](const std::string& f) { return Peer("xlrd " + Path(f)); };
  EXPECT_EQ(gnumeric("gnumeric_losses8.xls"), std::string(gnumericLosses).replace(message, 9000, cut));
  EXPECT_EQ(xlrd("gnumeric_losses8.xls"), Peer("xlrd " + data + "gnumeric_losses.xls"));
  const std::string filterSeen = Peer("gnumeric " + dir_.string() + " " + data + "gnumeric_biff5_filter.xls");
  EXPECT_NE(filterSeen.find("filter A1:B5 Index=0 Op0=eq"), std::string::npos) << filterSeen;
  EXPECT_NE(xlrd("gnumeric_biff5_filter8.xls").find("filter 0 A1:B5\n"), std::string::npos);
  for (const char* f : {"gnumeric_biff5_filter8.xls", "gnumeric_biff5_filter5.xls"}) EXPECT_EQ(gnumeric(f), filterSeen);
  EXPECT_EQ(xlrd("gnumeric_biff5_filter5.xls"), xlrd("gnumeric_biff5_filter8.xls"));
  for (const char* f : {"lo_merged_rich8.xls", "lo_merged_rich5.xls"}) {
    EXPECT_EQ(gnumeric(f), Peer("gnumeric " + dir_.string() + " " + data + "lo_merged_rich.xls"));
    EXPECT_EQ(xlrd(f), Peer("xlrd " + data + "lo_merged_rich.xls"));
  }

  // The newer functions: our BIFF8 save as LibreOffice's file, cached results included; our
  // BIFF5 save with the formulas of A1:A6 as their texts.
  const std::string& original = lo["lo-newer.xls"];
  std::string japanese;
  for (int i = 0; i < 200; ++i) japanese += "\u65e5";
  for (const std::string& fact : std::vector<std::string>{"cell 0 0 float 2 of:=IFERROR(1/0;2)\n", "cell 3 0 float 2.5 of:=AVERAGEIF(",
                                  "cell 4 0 float 200 of:=LEN(\"" + japanese + "\")\n",
                                  "cell 5 0 float 1 of:=[.A20000]+1\n", "cell 6 0 date 1900-03-01 \n"})
    EXPECT_NE(original.find(fact), std::string::npos) << fact << "\n" << original;
  EXPECT_EQ(lo["lo-newer8.xls"], original);
  std::string biff5 = original;
  for (int r = 0; r < 6; ++r) {
    const std::string row = "cell " + std::to_string(r) + " 0 ";
    const std::size_t at = biff5.find(row + "float ");
    ASSERT_NE(at, std::string::npos) << row;
    const std::string text = platform::WideToUtf8(book->GetWorksheets().GetItem(1)->GetCells()->GetItem(r + 1, 1)->GetFormula().ToText());
    biff5.replace(at, biff5.find('\n', at) - at, row + "string " + text + " ");
  }
  EXPECT_EQ(lo["lo-newer5.xls"], biff5);
  const std::string values = xlrd("lo-newer.xls");
  EXPECT_NE(values.find("cell 0 0 number 2.0\ncell 0 2"), std::string::npos) << values;
  EXPECT_NE(values.find("cell 6 0 date -1401.0"), std::string::npos) << values;
  EXPECT_EQ(xlrd("lo-newer8.xls"), values);
  const std::string ours5 = xlrd("lo-newer5.xls");
  EXPECT_NE(ours5.find("cell 4 0 text =LEN(\"" + japanese + "\")\n"), std::string::npos) << ours5;
  EXPECT_NE(ours5.find("cell 6 0 date -1401.0"), std::string::npos) << ours5;
  const std::string theirs = gnumeric("lo-newer.xls");
  EXPECT_NE(theirs.find("cell 0 0 expr =iferror(1/0,2)"), std::string::npos) << theirs;
  EXPECT_EQ(gnumeric("lo-newer8.xls"), theirs);
  EXPECT_NE(gnumeric("lo-newer5.xls").find("cell 6 0 40 -1401"), std::string::npos);
}

}  // namespace
}  // namespace xls
