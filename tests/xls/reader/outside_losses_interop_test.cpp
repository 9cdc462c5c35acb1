// Other programs' workbooks (gen_outside_losses.py) opened by us, saved as BIFF8 and BIFF5 and read
// back by xlrd, gnumeric and LibreOffice: they find the name without a formula, the empty text
// result, the outline flags and the built-in names behind a macro sheet as in the originals.
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
  const std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/losses_peer.py " + args + " 2>&1";
  EXPECT_EQ(RunCommand(command, out), 0) << command << "\n" << out;
  return out;
}

// The lines of each "file <path>" section, by file name.
std::map<std::string, std::string> Sections(const std::string& dump) {
  std::map<std::string, std::string> out;
  std::istringstream in(dump);
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.rfind("file ", 0) == 0) current = fs::path(line.substr(5)).filename().string();
    else out[current] += line + "\n";
  }
  return out;
}

// The lines that begin with one of the prefixes.
std::string Only(const std::string& lines, std::initializer_list<const char*> prefixes) {
  std::istringstream in(lines);
  std::string out;
  for (std::string line; std::getline(in, line);)
    for (const char* p : prefixes)
      if (line.rfind(p, 0) == 0) {
        out += line + "\n";
        break;
      }
  return out;
}

class OutsideLossesInterop : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Data(const std::string& name) { return SourceDir() + "/tests/data/xls/" + name; }
  // Opens the data file and saves it in the format (1 BIFF5, 2 BIFF8) under the name.
  void Resave(const std::string& data, int format, const std::string& name) {
    IXLSWorkbook book = TXLSWorkbook::Create();
    const std::string path = Data(data), target = Path(name);
    ASSERT_EQ(book->Open(std::u16string(path.begin(), path.end())), 1);
    ASSERT_EQ(book->SaveAsFormat(std::u16string(target.begin(), target.end()), format), 1);
  }

  fs::path dir_ = fs::temp_directory_path() / ("kv_outside_losses_" + std::to_string(::getpid()));
};

TEST_F(OutsideLossesInterop, NameWithoutFormulaAndEmptyTextResult) {
  Resave("gnumeric_names.xls", 2, "ours8.xls");
  Resave("gnumeric_names_biff5.xls", 1, "ours5.xls");
  auto xlrd = Sections(Peer("xlrd " + Data("gnumeric_names.xls") + " " + Path("ours8.xls") + " " + Path("ours5.xls")));
  // The source's other names are gnumeric's sheet titles and empty print areas.
  const std::string kept = Only(xlrd["gnumeric_names.xls"], {"cell 0", "name NOSUCHNAME"});
  EXPECT_EQ(kept, "cell 0 A1 error 29\ncell 0 A2 text ''\ncell 0 A3 number 6.0\ncell 0 A4 number 9.0\n"
                  "name NOSUCHNAME sheet - without formula\n");
  EXPECT_EQ(Only(xlrd["ours8.xls"], {"cell 0", "name"}), kept);
  EXPECT_EQ(Only(xlrd["ours5.xls"], {"cell 0", "name"}), kept);
  // gnumeric warns of a name reference that leads nowhere; it shows the cells as in its own file.
  const std::string gnumeric = Peer("gnumeric " + dir_.string() + " " + Data("gnumeric_names.xls"));
  EXPECT_EQ(gnumeric, "cell A1 #NAME?\ncell A2 \ncell A3 6\ncell A4 9\n");
  EXPECT_EQ(Peer("gnumeric " + dir_.string() + " " + Path("ours8.xls")), gnumeric);
  EXPECT_EQ(Peer("gnumeric " + dir_.string() + " " + Path("ours5.xls")), gnumeric);
  // LibreOffice shows the name's error as it does in gnumeric's file of the same format (its own
  // reading of a BIFF5 name without a formula gives Err:508).
  auto lo = Sections(Peer("lo " + Data("gnumeric_names.xls") + " " + Data("gnumeric_names_biff5.xls") + " " +
                          Path("ours8.xls") + " " + Path("ours5.xls")));
  EXPECT_EQ(Only(lo["gnumeric_names.xls"], {"cell A1"}), "cell A1 #NAME?\n");
  EXPECT_EQ(Only(lo["ours8.xls"], {"cell A1", "cell A3", "cell A4"}),
            Only(lo["gnumeric_names.xls"], {"cell A1", "cell A3", "cell A4"}));
  EXPECT_EQ(Only(lo["ours5.xls"], {"cell A1", "cell A3", "cell A4"}),
            Only(lo["gnumeric_names_biff5.xls"], {"cell A1", "cell A3", "cell A4"}));
}

TEST_F(OutsideLossesInterop, OutlineFlagsAsXlwtWroteThem) {
  Resave("xlwt_outline.xls", 2, "ours8.xls");
  Resave("xlwt_outline.xls", 1, "ours5.xls");
  auto xlrd = Sections(Peer("xlrd " + Data("xlwt_outline.xls") + " " + Path("ours8.xls") + " " + Path("ours5.xls")));
  const std::string outline = Only(xlrd["xlwt_outline.xls"], {"row", "col"});
  EXPECT_EQ(outline,
            "row 0 3 level 1 collapsed 0 hidden 0\nrow 0 4 level 1 collapsed 0 hidden 0\n"
            "row 0 8 level 1 collapsed 0 hidden 1\nrow 0 9 level 1 collapsed 0 hidden 1\n"
            "row 0 10 level 0 collapsed 1 hidden 0\ncol 0 3 level 1 collapsed 0\ncol 0 4 level 0 collapsed 1\n");
  EXPECT_EQ(xlrd["ours8.xls"], xlrd["xlwt_outline.xls"]);
  EXPECT_EQ(xlrd["ours5.xls"], xlrd["xlwt_outline.xls"]);
}

TEST_F(OutsideLossesInterop, BuiltInNamesStayOnTheirSheetBehindAMacroSheet) {
  Resave("lo_macro_sheet.xls", 2, "lo8.xls");
  Resave("lo_macro_sheet.xls", 1, "lo5.xls");
  Resave("gnumeric_biff5_macro_sheet.xls", 2, "gnumeric8.xls");
  Resave("gnumeric_biff5_macro_sheet.xls", 1, "gnumeric5.xls");
  auto xlrd = Sections(Peer("xlrd " + Data("lo_macro_sheet.xls") + " " + Path("lo8.xls") + " " + Path("lo5.xls") + " " +
                            Path("gnumeric8.xls") + " " + Path("gnumeric5.xls")));
  // xlrd passes over the macro sheet too.
  const std::string source = Only(xlrd["lo_macro_sheet.xls"], {"sheet", "name", "cell 1"});
  EXPECT_EQ(source, "sheet 0 Data\nsheet 1 Other\ncell 1 A1 number 20.0\nname Print_Area sheet Data\n"
                    "name Print_Titles sheet Data\nname _FilterDatabase sheet Data\n");
  for (const char* ours : {"lo8.xls", "lo5.xls", "gnumeric8.xls", "gnumeric5.xls"})
    EXPECT_EQ(Only(xlrd[ours], {"sheet", "name", "cell 1"}), source) << ours;
}

}  // namespace
}  // namespace xls::test
