// Other programs' formulas that call functions through names of the add-in book, and that read
// cached cells of another workbook, opened by us, saved as BIFF8 and BIFF5 and read back by
// gnumeric, LibreOffice and xlrd: they show what they show in the file the program wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "reader_test_support.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

// The peer's lines of each file, by file name.
std::map<std::string, std::string> Peer(const std::string& args) {
  std::string out;
  const std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/extern_peer.py " + args + " 2>&1";
  EXPECT_EQ(RunCommand(command, out), 0) << command << "\n" << out;
  std::map<std::string, std::string> files;
  std::istringstream in(out);
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.rfind("file ", 0) == 0) current = line.substr(5);
    else if (line.find("javaldx") == std::string::npos) files[current] += line + "\n";
  }
  return files;
}

class ExternFunctionsInterop : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Data(const std::string& name) { return SourceDir() + "/tests/data/xls/" + name; }
  // The data file saved by us as BIFF8 (name + "8.xls") and BIFF5 (name + "5.xls").
  void Resave(const std::string& data, const std::string& name) {
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Wide(Data(data))), 1);
    ASSERT_EQ(book->SaveAsFormat(Wide(Path(name + "8.xls")), 2), 1) << book->GetLastSaveError();
    ASSERT_EQ(book->SaveAsFormat(Wide(Path(name + "5.xls")), 1), 1) << book->GetLastSaveError();
  }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

  fs::path dir_ = fs::temp_directory_path() / ("kv_extern_" + std::to_string(::getpid()));
};

// gnumeric's LOG2, IFNA, BITAND and XOR (and a cell that reads LOG2's) go back as formulas of
// the add-in book with their results, from its BIFF8 and its BIFF5 file: once they became text
// cells "=LOG2(A1)", and the BIFF5 file could not be saved at all.
TEST_F(ExternFunctionsInterop, GnumericAddInFunctionsThroughOurSaves) {
  Resave("gnumeric_addin_functions.xls", "g8-");
  Resave("gnumeric_addin_functions_biff5.xls", "g5-");
  const std::string shown = "8,3,6\n,5,\n,8,\n,TRUE,\n";
  const std::string files = Path("g8-8.xls") + " " + Path("g8-5.xls") + " " + Path("g5-8.xls") + " " + Path("g5-5.xls");
  for (const auto& [file, lines] : Peer("gnumeric " + dir_.string() + " " + files)) EXPECT_EQ(lines, shown) << file;
  for (const auto& [file, lines] : Peer("xlrd " + files)) EXPECT_EQ(lines, shown) << file;
}

// LibreOffice's references to cells of a workbook that is gone show the cached cells of that
// book (XCT and CRN), in our BIFF8 file as in LibreOffice's; its IMSINH, an add-in name, is
// calculated again.
TEST_F(ExternFunctionsInterop, LibreOfficeExternalCachesThroughOurSaves) {
  // The folder of the other book, which must not be there while the cached cells are read.
  const fs::path gone = "/tmp/kv-extern-gone";
  struct Removed {
    fs::path path;
    ~Removed() { fs::remove_all(path); }
  } removed{gone};
  fs::remove_all(gone);
  Resave("lo_external_cache.xls", "lo");
  const std::string shown = "22,\n33,\next text,\n2,3.62686040784702\n";
  auto lo = Peer("lo " + dir_.string() + " " + Data("lo_external_cache.xls") + " " + Path("lo8.xls"));
  EXPECT_EQ(lo["lo_external_cache.xls"], shown);
  EXPECT_EQ(lo["lo8.xls"], shown);

  // BIFF5 names the other book's sheet by an EXTERNSHEET of its own ("[other.xls]Src" after its
  // folders). LibreOffice reads no cached cells from BIFF5 but the book itself: it is put back
  // where the file says it was, for the time of the reading (our own reader keeps the cells).
  fs::create_directories(gone);
  IXLSWorkbook other = TXLSWorkbook::Create();
  IXLSWorksheet* src = other->GetWorksheets().Add();
  ASSERT_TRUE(src->SetName(u"Src"));
  src->GetRange(u"A1")->SetValue(Variant(11));
  src->GetRange(u"B1")->SetValue(Variant(u"ext text"));
  src->GetRange(u"A2")->SetValue(Variant(15));
  src->GetRange(u"B2")->SetValue(Variant(18));
  EXPECT_EQ(other->SaveAsFormat(Wide((gone / "other.xls").string()), 2), 1);
  lo = Peer("lo " + dir_.string() + " " + Path("lo5.xls"));
  // LibreOffice does not read add-in names from BIFF5 files, gnumeric's or ours.
  EXPECT_EQ(lo["lo5.xls"], "22,\n33,\next text,\n2,#NAME?\n");
}

// LibreOffice's formulas that use defined names of a workbook that is gone: our BIFF8 file keeps
// the book's EXTERNNAMEs with their formulas, so LibreOffice finds the cached cells they name
// (once the tokens named no EXTERNNAME and it showed #NAME?); xlrd reads the cached results of
// both our files.
TEST_F(ExternFunctionsInterop, LibreOfficeNamesOfAnotherBookThroughOurSaves) {
  fs::remove_all("/tmp/kv-extern-names-gone");
  Resave("lo_external_names.xls", "ln");
  auto lo = Peer("lo " + dir_.string() + " " + Data("lo_external_names.xls") + " " + Path("ln8.xls"));
  EXPECT_EQ(lo["lo_external_names.xls"], "22\n33\next text\n");
  EXPECT_EQ(lo["ln8.xls"], "22\n33\next text\n");
  for (const auto& [file, lines] : Peer("xlrd " + Path("ln8.xls") + " " + Path("ln5.xls"))) EXPECT_EQ(lines, "22\n33\n0\n") << file;
}

}  // namespace
}  // namespace xls::test
