// The outside files of tests/data/xls opened by us and saved again, read back by LibreOffice,
// gnumeric and xlrd: they find the comments (in boxes of a real size), the sheet protection and
// the embedded chart of the original in our file.
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

// LibreOffice's lines of each file, by file name.
std::map<std::string, std::string> Lo(const std::string& args) {
  std::map<std::string, std::string> out;
  std::istringstream in(Peer("lo " + args));
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.rfind("file ", 0) == 0) current = fs::path(line.substr(5)).filename().string();
    else out[current] += line + "\n";
  }
  return out;
}

class OutsideFilesInterop : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Data(const std::string& name) { return SourceDir() + "/tests/data/xls/" + name; }
  // Opens the data file and saves it in the format (1 BIFF5, 2 BIFF8) under the name.
  void Resave(const std::string& data, const std::string& password, int format, const std::string& name) {
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->OpenWithPassword(Wide(Data(data)), Wide(password)), 1);
    ASSERT_EQ(book->SaveAsFormat(Wide(Path(name)), format), 1);
  }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

  fs::path dir_ = fs::temp_directory_path() / ("kv_outside_" + std::to_string(::getpid()));
};

TEST_F(OutsideFilesInterop, GnumericBiff5CommentsAndProtectionThroughOurSaves) {
  const std::string original = Data("gnumeric_biff5_notes.xls");
  Resave("gnumeric_biff5_notes.xls", "", 2, "biff8.xls");
  Resave("gnumeric_biff5_notes.xls", "", 1, "biff5.xls");
  std::string longNote;
  for (int i = 0; i < 210; ++i) longNote += "0123456789";
  longNote += "end";
  const std::string gnumeric = Peer("gnumeric " + dir_.string() + " " + original);
  EXPECT_EQ(gnumeric, "note 0 B2 first note\nnote 0 D5 second note\nnote 1 B3 " + longNote +
                          "\nsheet 0 Notes protected 1\nsheet 1 Open protected 0\n");
  EXPECT_EQ(Peer("gnumeric " + dir_.string() + " " + Path("biff8.xls")), gnumeric);
  EXPECT_EQ(Peer("gnumeric " + dir_.string() + " " + Path("biff5.xls")), gnumeric);
  const std::string xlrd = Peer("xlrd " + original);
  EXPECT_NE(xlrd.find("note 1 2 1 " + longNote), std::string::npos) << xlrd;
  EXPECT_EQ(Peer("xlrd " + Path("biff8.xls")), xlrd);
  EXPECT_EQ(Peer("xlrd " + Path("biff5.xls")), xlrd);
  // LibreOffice reads no sheet protection from BIFF5 files, gnumeric's or ours.
  auto lo = Lo(original + " " + Path("biff8.xls") + " " + Path("biff5.xls"));
  const std::string notes = "note 0 B2 first note sized\nnote 0 D5 second note sized\nnote 1 B3 " + longNote + " sized\n";
  EXPECT_EQ(lo["gnumeric_biff5_notes.xls"], notes + "sheet 0 Notes protected 0\nsheet 1 Open protected 0\n");
  EXPECT_EQ(lo["biff5.xls"], lo["gnumeric_biff5_notes.xls"]);
  EXPECT_EQ(lo["biff8.xls"], notes + "sheet 0 Notes protected 1\nsheet 1 Open protected 0\n");
}

TEST_F(OutsideFilesInterop, EncryptedLibreOfficeChartThroughOurSave) {
  Resave("lo_chart_encrypted.xls", "kestravel", 2, "ours.xls");
  auto lo = Lo("--password kestravel " + Data("lo_chart_encrypted.xls") + " " + Path("ours.xls"));
  EXPECT_EQ(lo["lo_chart_encrypted.xls"],
            "chart 0 A1:B6\nnote 0 A8 after the chart sized\nsheet 0 Sheet1 protected 1\nsheet 1 Second protected 0\n");
  EXPECT_EQ(lo["ours.xls"], lo["lo_chart_encrypted.xls"]);
  EXPECT_EQ(Peer("gnumeric " + dir_.string() + " " + Path("ours.xls")),
            "chart 0\nnote 0 A8 after the chart\nsheet 0 Sheet1 protected 1\nsheet 1 Second protected 0\n");
  EXPECT_EQ(Peer("xlrd " + Path("ours.xls")), "note 0 7 0 after the chart\nsheet 0 Sheet1\nsheet 1 Second\n");
}

}  // namespace
}  // namespace xls::test
