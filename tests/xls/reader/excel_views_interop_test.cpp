// A workbook as the format's own program writes it (gen_excel_views.py), opened and saved by us:
// its print setup, window flags, reference mode, default row heights and built-in names come
// back as the original has them in BIFF8 and BIFF5 saves, by their records, by xlrd and by
// LibreOffice.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "reader_test_support.h"
#include "xls/model/workbook.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

class ExcelViewsInterop : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // views_peer.py's lines of each file, by file name.
  std::map<std::string, std::string> Peer(const std::string& tool, const std::vector<std::string>& files) {
    std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/views_peer.py " + tool;
    if (tool == "lo") command += " " + dir_.string();
    for (const std::string& f : files) command += " " + f;
    std::string out;
    EXPECT_EQ(RunCommand(command + " 2>&1", out), 0) << command << "\n" << out;
    return FileSections(out);
  }

  fs::path dir_ = fs::temp_directory_path() / ("kv_excel_views_" + std::to_string(::getpid()));
};

TEST_F(ExcelViewsInterop, PrintSetupViewsAndBuiltInNamesThroughOurSaves) {
  const std::string source = SourceDir() + "/tests/data/xls/excel_views.xls";
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(std::u16string(source.begin(), source.end())), 1);
  const std::vector<std::string> files = {source, Path("ev8.xls"), Path("ev5.xls")};
  for (int format : {2, 1}) {  // files[1] BIFF8, files[2] BIFF5
    const std::string& path = files[3 - format];
    ASSERT_EQ(book->SaveAsFormat(std::u16string(path.begin(), path.end()), format), 1) << book->GetLastSaveError();
  }
  // The records: stale printer fields with their marks (the sheet that printed keeps its paper,
  // scale, landscape, resolution and copies), R1C1 on every sheet, row heights of 264, 288 and
  // 317 twips, formulas shown with headings and outline symbols hidden.
  auto records = Peer("records", files);
  EXPECT_EQ(records["excel_views.xls"],
            "sheet Stale\nrefmode 0\ndefaultrowheight 0 264\nsetup 0 255 1 1 1 0x0004 0 0 0\nwindow2 0x0633\n"
            "sheet Printed\nrefmode 0\ndefaultrowheight 0 288\nsetup 9 80 1 1 1 0x0000 300 300 2\nwindow2 0x04B6\n"
            "sheet Wide\nrefmode 0\ndefaultrowheight 1 317\nsetup 0 330 3 1 1 0x0046 600 600 1\nwindow2 0x04B6\n");
  // xlrd: the window flags, the default row heights and every built-in name with what it refers
  // to: another workbook's area, four ranges, another sheet's area, title cells, the filter of a
  // header row, the list of an advanced filter.
  auto xlrd = Peer("xlrd", files);
  EXPECT_EQ(xlrd["excel_views.xls"],
            "sheet Stale formulas 1 headings 0 outline 0 rowheight 264\n"
            "sheet Printed formulas 0 headings 1 outline 1 rowheight 288\n"
            "sheet Wide formulas 0 headings 1 outline 1 rowheight 317\n"
            "name Database scope Stale hidden 0 builtin 1 <<external>>!$A$1:$B$10\n"
            "name Print_Area scope - hidden 0 builtin 1 <<external>>!$A$1:$C$3\n"
            "name Print_Area scope Printed hidden 0 builtin 1 Printed!$A$1:$B$2,Printed!$D$4:$E$5,Printed!$G$7,Printed!$A$10:$C$12\n"
            "name Print_Area scope Stale hidden 0 builtin 1 Wide!$A$1:$B$2\n"
            "name Print_Area scope Wide hidden 0 builtin 1 Wide!$A$1:$BP$6\n"
            "name Print_Titles scope Printed hidden 0 builtin 1 Printed!$A$1:$IV$1\n"
            "name Print_Titles scope Stale hidden 0 builtin 1 Stale!$A$1:$B$2\n"
            "name Print_Titles scope Wide hidden 0 builtin 1 Wide!$A$1\n"
            "name _FilterDatabase scope Printed hidden 1 builtin 1 Printed!$A$1:$D$1\n"
            "name _FilterDatabase scope Wide hidden 1 builtin 1 Wide!$A$3:$B$5\n");
  for (const char* ours : {"ev8.xls", "ev5.xls"}) {
    EXPECT_EQ(records[ours], records["excel_views.xls"]) << ours;
    EXPECT_EQ(xlrd[ours], xlrd["excel_views.xls"]) << ours;
  }
  // LibreOffice prints the sheet whose printer fields are stale portrait at 100 %, in the original
  // and in our saves, and finds the same print areas and titles, and the one autofilter over its
  // header row alone (the list of an advanced filter is none).
  auto lo = Peer("lo", files);
  EXPECT_EQ(lo["excel_views.xls"],
            "page Stale landscape 0 scale 100\nprintareas Stale 0:0:1:1\ntitles Stale rows - columns -\n"
            "database Printed autofilter 1 0:0:0:3\npage Printed landscape 1 scale 80\nprintareas Printed 0:0:1:1,3:3:4:4,6:6:6:6,9:0:11:2\n"
            "titles Printed rows 0:0:0:16383 columns -\n"
            "page Wide landscape 0 scale 100\nprintareas Wide 0:0:5:67\ntitles Wide rows - columns -\n");
  EXPECT_EQ(lo["ev8.xls"], lo["excel_views.xls"]);
  // From BIFF5 LibreOffice takes no autofilter as a sheet's database range (from gnumeric's BIFF5
  // files neither).
  std::string withoutFilter = lo["excel_views.xls"];
  withoutFilter.erase(withoutFilter.find("database Printed"), std::string("database Printed autofilter 1 0:0:0:3\n").size());
  EXPECT_EQ(lo["ev5.xls"], withoutFilter);
}

}  // namespace
}  // namespace xls::test
