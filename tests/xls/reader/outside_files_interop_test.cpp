// The outside files of tests/data/xls opened by us and saved again, read back by LibreOffice,
// gnumeric and xlrd: they find the comments (with a box of a real size), the sheet protection
// and the embedded chart of the original in our file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "reader_test_support.h"
#include "xls/model/workbook.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

std::string Peer(const std::string& args) {
  std::string out;
  const std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/outside_peer.py " + args + " 2>&1";
  EXPECT_EQ(RunCommand(command, out), 0) << command << "\n" << out;
  return out;
}

// The "file <path>" sections of LibreOffice's lines, by file name.
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

class OutsideFilesInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_outside_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Data(const std::string& name) { return SourceDir() + "/tests/data/xls/" + name; }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

  // Opens the data file and saves it in the format under the name.
  void Resave(const std::string& data, const std::u16string& password, int format, const std::string& name) {
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->OpenWithPassword(Wide(Data(data)), password), 1);
    ASSERT_EQ(book->SaveAsFormat(Wide(Path(name)), format), 1);
  }

  fs::path dir_;
};

TEST_F(OutsideFilesInterop, GnumericBiff5CommentsAndProtectionThroughOurSaves) {
  Resave("gnumeric_biff5_notes.xls", u"", 2, "biff8.xls");
  Resave("gnumeric_biff5_notes.xls", u"", 1, "biff5.xls");
  // gnumeric reads its own file's protection and comments, and the same in ours.
  std::string longNote;
  for (int i = 0; i < 210; ++i) longNote += "0123456789";
  longNote += "end";
  const std::string theirs = Peer("gnumeric " + dir_.string() + " " + Data("gnumeric_biff5_notes.xls"));
  EXPECT_EQ(theirs, "note 0 B2 first note\nnote 0 D5 second note\nnote 1 B3 " + longNote +
                        "\nsheet 0 Notes protected 1\nsheet 1 Open protected 0\n");
  EXPECT_EQ(Peer("gnumeric " + dir_.string() + " " + Path("biff8.xls")), theirs);
  EXPECT_EQ(Peer("gnumeric " + dir_.string() + " " + Path("biff5.xls")), theirs);
  const std::string xlrd = Peer("xlrd " + Data("gnumeric_biff5_notes.xls"));
  EXPECT_NE(xlrd.find("note 1 2 1 " + longNote), std::string::npos) << xlrd;
  EXPECT_EQ(Peer("xlrd " + Path("biff8.xls")), xlrd);
  EXPECT_EQ(Peer("xlrd " + Path("biff5.xls")), xlrd);
  // LibreOffice shows both comments in boxes of a real size. It reads no sheet protection from
  // BIFF5 files, gnumeric's or ours, but reads it from our BIFF8 file.
  auto lo = Sections(Peer("lo " + dir_.string() + " " + Data("gnumeric_biff5_notes.xls") + " " + Path("biff8.xls") +
                          " " + Path("biff5.xls")));
  const std::string notes = "note 0 B2 first note sized\nnote 0 D5 second note sized\nnote 1 B3 " + longNote + " sized\n";
  EXPECT_EQ(lo["gnumeric_biff5_notes.xls"], notes + "sheet 0 Notes protected 0\nsheet 1 Open protected 0\n");
  EXPECT_EQ(lo["biff5.xls"], lo["gnumeric_biff5_notes.xls"]);
  EXPECT_EQ(lo["biff8.xls"], notes + "sheet 0 Notes protected 1\nsheet 1 Open protected 0\n");
}

TEST_F(OutsideFilesInterop, EncryptedLibreOfficeChartThroughOurSave) {
  Resave("lo_chart_encrypted.xls", u"kestravel", 2, "ours.xls");
  auto lo = Sections(Peer("lo " + dir_.string() + " --password kestravel " + Data("lo_chart_encrypted.xls") + " " +
                          Path("ours.xls")));
  const std::string& original = lo["lo_chart_encrypted.xls"];
  EXPECT_EQ(original,
            "chart 0 A1:B6\nnote 0 A8 after the chart sized\nsheet 0 Sheet1 protected 1\nsheet 1 Second protected 0\n");
  EXPECT_EQ(lo["ours.xls"], original);
  EXPECT_EQ(Peer("gnumeric " + dir_.string() + " " + Path("ours.xls")),
            "chart 0\nnote 0 A8 after the chart\nsheet 0 Sheet1 protected 1\nsheet 1 Second protected 0\n");
  EXPECT_EQ(Peer("xlrd " + Path("ours.xls")), "note 0 7 0 after the chart\nsheet 0 Sheet1\nsheet 1 Second\n");
}

}  // namespace
}  // namespace xls::test
