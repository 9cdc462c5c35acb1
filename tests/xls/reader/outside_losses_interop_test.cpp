// Other programs' workbooks (gen_outside_losses.py, gen_extern_functions.py) opened by us, saved as
// BIFF8 ("8.xls") and BIFF5 ("5.xls") and read back by xlrd, gnumeric and LibreOffice: they find
// what they find in the originals.
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

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

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
  // The data file saved by us as name + "8.xls" (format 2) and name + "5.xls" (format 1).
  void Resave(const std::string& data, const std::string& name, std::initializer_list<int> formats = {2, 1}) {
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Wide(Data(data))), 1);
    for (int format : formats)
      ASSERT_EQ(book->SaveAsFormat(Wide(Path(name + std::to_string(format == 2 ? 8 : 5) + ".xls")), format), 1)
          << book->GetLastSaveError();
  }
  // The peer's lines of each file, by file name; names without "/" are our saves.
  std::map<std::string, std::string> Peer(const std::string& tool, std::initializer_list<std::string> files) {
    std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/losses_peer.py " + tool + " " + dir_.string();
    for (const std::string& f : files) command += " " + (f.find('/') == std::string::npos ? Path(f) : f);
    std::string out;
    EXPECT_EQ(RunCommand(command + " 2>&1", out), 0) << command << "\n" << out;
    return FileSections(out);
  }

  fs::path dir_ = fs::temp_directory_path() / ("kv_outside_losses_" + std::to_string(::getpid()));
};

// Functions of the add-in book, cached cells and names of other workbooks.
TEST_F(OutsideLossesInterop, OtherBooksThroughOurSaves) {
  // The folders of the other books, which must not be there while the cached cells are read.
  const fs::path gone = "/tmp/kv-extern-gone";
  struct Removed {
    fs::path path;
    ~Removed() { fs::remove_all(path); }
  } removed{gone};
  fs::remove_all(gone);
  fs::remove_all("/tmp/kv-extern-names-gone");
  Resave("gnumeric_addin_functions.xls", "ga", {2});
  Resave("gnumeric_addin_functions_biff5.xls", "gb", {1});
  Resave("lo_external_cache.xls", "lc");
  Resave("lo_external_names.xls", "ln");
  // gnumeric calculates LOG2, IFNA, BITAND and XOR of our BIFF8 and BIFF5 files again (they once
  // became text cells "=LOG2(A1)", and BIFF5 could not be saved at all), and finds every add-in
  // name where its own files have it (a BIFF5 sheet's own list of EXTERNSHEETs and names).
  for (const auto& [file, lines] : Peer("gnumeric", {"ga8.xls", "gb5.xls"})) {
    EXPECT_EQ(Only(lines, {"8,", ","}), "8,3,6\n,5,\n,8,\n,TRUE,\n") << file;
    EXPECT_EQ(Only(lines, {"warning"}), "") << file;
  }
  // LibreOffice shows the other books' cached cells (XCT, CRN) and the cells their names name
  // (EXTERNNAME with its formula) in our BIFF8 files as in its own; IMSINH is calculated again.
  auto lo = Peer("lo", {Data("lo_external_cache.xls"), "lc8.xls", Data("lo_external_names.xls"), "ln8.xls"});
  EXPECT_EQ(lo["lo_external_cache.xls"], "22,\n33,\next text,\n2,3.62686040784702\n");
  EXPECT_EQ(lo["lc8.xls"], lo["lo_external_cache.xls"]);
  EXPECT_EQ(lo["lo_external_names.xls"], "22\n33\next text\n");
  EXPECT_EQ(lo["ln8.xls"], lo["lo_external_names.xls"]);
  // From BIFF5, whose EXTERNSHEET names the other book's sheet ("[other.xls]Src" after its
  // folders), LibreOffice reads the book itself, put back where the file says it was; it reads
  // no add-in names from BIFF5.
  fs::create_directories(gone);
  IXLSWorkbook other = TXLSWorkbook::Create();
  IXLSWorksheet* src = other->GetWorksheets().Add();
  ASSERT_TRUE(src->SetName(u"Src"));
  src->GetRange(u"A1")->SetValue(Variant(11));
  src->GetRange(u"B1")->SetValue(Variant(u"ext text"));
  src->GetRange(u"A2")->SetValue(Variant(15));
  src->GetRange(u"B2")->SetValue(Variant(18));
  EXPECT_EQ(other->SaveAsFormat(Wide((gone / "other.xls").string()), 2), 1);
  EXPECT_EQ(Peer("lo", {"lc5.xls"})["lc5.xls"], "22,\n33,\next text,\n2,#NAME?\n");
  // xlrd reads both saves of the names of another book.
  for (const auto& [file, lines] : Peer("xlrd", {"ln8.xls", "ln5.xls"})) EXPECT_EQ(Only(lines, {"0:"}), "0: 22\n0: 33\n0: 0\n") << file;
}

// A name without a formula and an empty text result (gnumeric), outline flags (xlwt), built-in
// names behind a macro sheet (LibreOffice's BIFF8, gnumeric's BIFF5 copy).
TEST_F(OutsideLossesInterop, KeptThroughOurSaves) {
  Resave("gnumeric_names.xls", "gn", {2});
  Resave("gnumeric_names_biff5.xls", "gf", {1});
  Resave("xlwt_outline.xls", "xo");
  Resave("lo_macro_sheet.xls", "lm");
  Resave("gnumeric_biff5_macro_sheet.xls", "gm");
  auto xlrd = Peer("xlrd", {Data("gnumeric_names.xls"), "gn8.xls", "gf5.xls", Data("xlwt_outline.xls"), "xo8.xls",
                            "xo5.xls", Data("lo_macro_sheet.xls"), "lm8.xls", "gm5.xls"});
  // The names of the source and of our saves, gnumeric's built-in sheet titles and empty print
  // areas included, on the sheets as we name them.
  const std::string names = Only(xlrd["gnumeric_names.xls"], {"0:", "name NOSUCHNAME"});
  EXPECT_EQ(names, "0: #NAME?\n0: ''\n0: 6\n0: 9\nname NOSUCHNAME sheet - without formula\n");
  auto builtIns = [](const std::string& third) {
    return "name Sheet_Title sheet Names\nname Print_Area sheet Names\nname Sheet_Title sheet Sheet2\n"
           "name Print_Area sheet Sheet2\nname Sheet_Title sheet " + third + "\nname Print_Area sheet " + third + "\n";
  };
  EXPECT_EQ(Only(xlrd["gn8.xls"], {"0:", "name"}), names + builtIns("日本語表"));
  EXPECT_EQ(Only(xlrd["gf5.xls"], {"0:", "name"}), names + builtIns("Sheet3"));
  // xlrd passes over the macro sheet too; gnumeric's own built-in names of "Data" and "Other" stay.
  const std::string macro = Only(xlrd["lo_macro_sheet.xls"], {"sheet", "name", "1:"});
  EXPECT_EQ(macro, "sheet 0 Data\nsheet 1 Other\n1: 20\nname Print_Area sheet Data\nname Print_Titles sheet Data\n"
                   "name _FilterDatabase sheet Data\n");
  EXPECT_EQ(Only(xlrd["lm8.xls"], {"sheet", "name", "1:"}), macro);
  EXPECT_EQ(Only(xlrd["gm5.xls"], {"sheet", "name", "1:"}),
            "sheet 0 Data\nsheet 1 Other\n1: 20\nname Sheet_Title sheet Data\nname Sheet_Title sheet Other\n"
            "name Print_Area sheet Other\nname Print_Area sheet Data\nname Print_Titles sheet Data\n"
            "name _FilterDatabase sheet Data\n");
  EXPECT_EQ(Only(xlrd["xlwt_outline.xls"], {"row", "col"}),
            "row 0 3 level 1 collapsed 0 hidden 0\nrow 0 4 level 1 collapsed 0 hidden 0\n"
            "row 0 8 level 1 collapsed 0 hidden 1\nrow 0 9 level 1 collapsed 0 hidden 1\n"
            "row 0 10 level 0 collapsed 1 hidden 0\ncol 0 3 level 1 collapsed 0\ncol 0 4 level 0 collapsed 1\n");
  for (const char* ours : {"xo8.xls", "xo5.xls"}) EXPECT_EQ(xlrd[ours], xlrd["xlwt_outline.xls"]) << ours;
  // gnumeric reads our saves without the warnings of a name leading nowhere, as its own file.
  auto gnumeric = Peer("gnumeric", {Data("gnumeric_names.xls"), "gn8.xls", "gf5.xls"});
  EXPECT_EQ(gnumeric["gnumeric_names.xls"], "#NAME?\n\n6\n9\n");
  for (const char* ours : {"gn8.xls", "gf5.xls"}) EXPECT_EQ(gnumeric[ours], gnumeric["gnumeric_names.xls"]) << ours;
}

// Excel's references to deleted sheets (gen_excel_records.py) stay formulas in our saves: gnumeric
// reads them without a warning (a name number 0 gave "UNKNOWN name"), LibreOffice and gnumeric show
// what they show in the originals, and xlrd finds the names that hold one.
TEST_F(OutsideLossesInterop, DeletedSheetsThroughOurSaves) {
  Resave("excel_deleted_sheet.xls", "ed");
  Resave("excel_biff5_deleted_sheet.xls", "eb", {1});
  const std::string cells = "5\n#REF!\n#REF!\n#REF!\n6\n";
  for (const auto& [file, lines] : Peer("gnumeric", {"ed8.xls", "ed5.xls", "eb5.xls"}))
    EXPECT_EQ(lines, file == "eb5.xls" ? "5\n#REF!\n" : cells) << file;
  auto lo = Peer("lo", {"ed8.xls", "ed5.xls", "eb5.xls"});
  EXPECT_EQ(lo["ed8.xls"], cells);
  EXPECT_EQ(lo["ed5.xls"], cells);
  EXPECT_EQ(lo["eb5.xls"], "5\n#REF!\n");
  for (const auto& [file, lines] : Peer("xlrd", {"ed8.xls", "ed5.xls"}))
    EXPECT_EQ(Only(lines, {"name"}), "name Total sheet -\nname Good sheet -\n") << file;
}

// Excel's texts (gen_excel_records.py) through our saves, as xlrd reads them: text results keep
// their LF (BIFF8 and BIFF5), a font of weight 600 in black (index 8) and fonts of colour index 0
// and 64 stay as they are, and BIFF5's empty text result stays an empty text, not the number 0.
TEST_F(OutsideLossesInterop, ExcelTextsAndFontsThroughOurSaves) {
  Resave("excel_texts.xls", "et");
  Resave("excel_biff5_texts.xls", "e5", {1});
  auto xlrd = Peer("xlrd", {"et8.xls", "et5.xls", "e5" "5.xls"});
  const std::string font =
      "font 0 2 0 weight 600 colour 8\nfont 0 3 0 weight 400 colour 0\nfont 0 4 0 weight 400 colour 64\n";
  EXPECT_EQ(Only(xlrd["et8.xls"], {"0: 'a", "0: 'b", "font"}), "0: 'a\\nb'\n0: 'bold'\n" + font);
  EXPECT_EQ(Only(xlrd["et5.xls"], {"0: 'a", "0: 'b", "font"}), "0: 'a\\nb'\n0: 'bold'\n" + font);
  EXPECT_EQ(Only(xlrd["e55.xls"], {"0:"}), "0: 5\n0: ''\n0: 'a\\nb'\n");
}

// Excel's functions of BIFF8 (AVERAGEA, MAXA, VARA, STDEVPA, HYPERLINK; gen_excel_records.py) in
// a BIFF5 save, which has no numbers for them, are called through names of the add-in book:
// gnumeric calculates them as in the original without a warning (their BIFF8 numbers gave
// #NAME? in LibreOffice). LibreOffice reads no add-in names from BIFF5; from the BIFF8 save
// made of our BIFF5 save (the functions again under their numbers) it calculates them all.
TEST_F(OutsideLossesInterop, Biff8FunctionsThroughOurBiff5Saves) {
  Resave("excel_biff8_functions.xls", "ef", {1});
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Wide(Path("ef5.xls"))), 1);
  EXPECT_TRUE(book->GetReadLosses().empty());
  ASSERT_EQ(book->SaveAsFormat(Wide(Path("ef58.xls")), 2), 1);
  const std::string cells = "1,2,a\n1,,\n2,,\n1,,\n";
  auto gnumeric = Peer("gnumeric", {Data("excel_biff8_functions.xls"), "ef5.xls"});
  EXPECT_EQ(gnumeric["ef5.xls"], gnumeric["excel_biff8_functions.xls"]);
  EXPECT_EQ(gnumeric["ef5.xls"].substr(0, cells.size()), cells);
  auto lo = Peer("lo", {Data("excel_biff8_functions.xls"), "ef58.xls"});
  EXPECT_EQ(lo["ef58.xls"], lo["excel_biff8_functions.xls"]);
  EXPECT_EQ(lo["ef58.xls"], cells + "0.816496580927726,,\nx,,\n3,,\n");
}

}  // namespace
}  // namespace xls::test
