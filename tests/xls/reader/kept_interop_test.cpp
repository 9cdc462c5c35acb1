// Our saves of the books of kept_books.h, read back by xlrd, gnumeric, LibreOffice and olefile:
// the results the files cached (xlrd reads them, gnumeric shows them), and in the books as other
// programs leave them what the tools find in the originals ("8.xls" our BIFF8 save, "5.xls" our
// BIFF5 one), the record kinds of kept_kinds_test.cpp among them. The Mac code pages are held
// against Python's own codecs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "kept_books.h"
#include "platform/codepage.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

// A series text (UTF-16) and a CHARTFRTINFO, which a BIFF5 save converts and leaves out.
Records ChartInside() {
  return {{0x100D, {0, 0, 4, 1, 'U', 0, 'n', 0, 'i', 0, 't', 0}}, {0x0850, {0x50, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}};
}

class KeptRecordsInterop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::create_directories(dir_);
    const std::map<std::string, Bytes> books = {{"mac", MacTextsBook()}, {"filter", FilterBook(true)},
                                                {"props", PropertiesBook()}, {"chart", MacChartBook()},
                                                {"comment", CommentBook()}, {"fewxf", FewXFsBook(0x0600, 0)},
                                                {"count", OtherWritersFilterBook(0)},
                                                {"text", OtherWritersFilterBook(1)},
                                                {"functions", FunctionsBook()},
                                                {"chart8book", ChartSheetBook(0x0600, 0x0020, ChartInside())},
                                                {"macchart", ChartSheetBook(0x0500, 0x8000)},
                                                {"newer", NewerRecordsBook(false)},
                                                {"calibri", CalibriBook(true)},
                                                {"lochart", LibreOfficeChartSheetBook()}};
    for (const auto& [name, bytes] : books) {
      Write(name + ".xls", bytes);
      IXLSWorkbook book = Open(bytes);
      if (name == "fewxf") book->GetWorksheets().GetItem(1)->GetRange(u"A4")->SetNumberFormat(u"0.00");
      for (int format : {2, 1}) Write(name + (format == 2 ? "8" : "5") + ".xls", Saved(*book, format));
    }
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }
  static void Write(const std::string& name, const Bytes& bytes) {
    std::FILE* f = std::fopen(Path(name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  static std::string Path(const std::string& name) { return (dir_ / name).string(); }
  static std::string Run(const std::string& arguments) {
    const std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/kept_peer.py " + arguments;
    std::string out;
    EXPECT_EQ(RunCommand(command + " 2>&1", out), 0) << command << "\n" << out;
    return out;
  }
  // The tool's lines of each file, by file name.
  static std::map<std::string, std::string> Peer(const std::string& tool, std::initializer_list<std::string> files) {
    std::string arguments = tool + " " + dir_.string();
    for (const std::string& f : files) arguments += " " + Path(f);
    return FileSections(Run(arguments));
  }

  static inline const fs::path dir_ = fs::temp_directory_path() / ("kv_kept_" + std::to_string(::getpid()));
};
using KeptResultsInterop = KeptRecordsInterop;

// xlrd reads the results cached in the file, gnumeric shows them; LibreOffice calculates these
// files again when it opens them (B1 and C1 of the stale book are 6 and 7 there, and it has no
// macro "Comment" nor command functions: #MACRO? is its call of the macro, not a text).
TEST_F(KeptResultsInterop, OtherProgramsReadWhatTheFileSaid) {
  IXLSWorkbook staleBook = Open(StaleBook());
  Write("stale8.xls", Saved(*staleBook, 2));
  Write("stale5.xls", Saved(*staleBook, 1));
  staleBook->GetWorksheets().GetItem(1)->GetRange(u"F9")->SetValue(Variant(1.0));
  Write("changed.xls", Saved(*staleBook, 2));
  IXLSWorkbook callBook = Open(CallBook());
  Write("calls5.xls", Saved(*callBook, 1));
  Write("calls8.xls", Saved(*callBook, 2));
  Write("array.xls", Saved(*Open(ArrayBook()), 2));
  const Bytes dates = Saved(*Book1904(), 2);
  Write("dates.xls", dates);
  Write("dates_again.xls", Saved(*Open(dates), 2));
  const std::vector<std::string> stale = {"xlrd B1 n 7.0", "xlrd C1 n 9.0", "gnumeric B1 7", "gnumeric C1 9",
                                          "libreoffice B1 6", "libreoffice C1 7"};
  const std::vector<std::string> results1904 = {
      "xlrd B1 n 41639.0", "xlrd D1 n 41639.0", "xlrd E1 n 7.0", "xlrd F1 n 2018.0", "xlrd G1 n 41640.0",
      "xlrd H1 n 41646.0", "gnumeric B1 41639", "gnumeric D1 41639", "gnumeric E1 1904/01/08",
      "gnumeric H1 2018/01/08", "libreoffice B1 41639", "libreoffice D1 41639", "libreoffice G1 41640",
      "libreoffice H1 2018-01-08"};
  const std::vector<std::string> calls = {"xlrd B1 n 5.0", "xlrd C1 n 1.0", "gnumeric B1 5", "gnumeric C1 1",
                                          "libreoffice B1 #MACRO?"};
  const std::map<std::string, std::vector<std::string>> expected = {
      {"stale8.xls", stale},
      {"stale5.xls", stale},
      {"changed.xls", {"xlrd B1 n 6.0", "xlrd C1 n 7.0", "gnumeric B1 6", "gnumeric C1 7"}},
      {"calls5.xls", calls},
      {"calls8.xls", calls},
      {"array.xls",
       {"xlrd B1 n 3.0", "xlrd B3 n 4.0", "xlrd C3 n 3.0", "gnumeric B3 4", "gnumeric C3 3", "libreoffice B1 3",
        "libreoffice B3 4", "libreoffice C3 3"}},
      {"dates.xls", results1904},
      {"dates_again.xls", results1904},
  };
  std::map<std::string, std::string> seen =
      Peer("results", {"stale8.xls", "stale5.xls", "changed.xls", "calls5.xls", "calls8.xls", "array.xls", "dates.xls",
                       "dates_again.xls"});
  for (const auto& [name, lines] : expected)
    for (const std::string& line : lines)
      EXPECT_NE(seen[name].find(line + "\n"), std::string::npos) << name << ": no " << line << " in\n" << seen[name];
}

// Every byte of the Mac code pages reads as Python's codecs (Apple's tables) read it, but for
// Mac Cyrillic's last byte: the C library's older table has the currency sign where Apple's
// has the euro.
TEST_F(KeptRecordsInterop, MacCodePagesReadAsPythonsCodecs) {
  const std::pair<int, const char*> pages[] = {{10000, "mac_roman"},  {32768, "mac_roman"},   {10006, "mac_greek"},
                                               {10007, "mac_cyrillic"}, {10029, "mac_latin2"}, {10079, "mac_iceland"},
                                               {10081, "mac_turkish"}, {10082, "mac_croatian"}, {10010, "mac_romanian"}};
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high.push_back(static_cast<char>(b));
  for (const auto& [page, codec] : pages) {
    std::u16string ours = platform::AnsiToWideCP(high, page);
    ASSERT_EQ(ours.size(), 128u) << page;
    if (page == 10007) {
      EXPECT_EQ(ours[127], u'\u00A4');
      ours[127] = u'\u20AC';
    }
    EXPECT_EQ(platform::Utf8ToWide(Run("codepage " + std::to_string(page) + " " + codec)), ours + u"\n") << page;
  }
}

// xlrd reads the Mac Central European texts of the BIFF5 book, and its line feed, alike in the
// original and both saves (gnumeric has no converter of that code page: it reads our BIFF8
// save); olefile reads the kept document properties of both saves; gnumeric finds them and the
// column fitted to its contents (no width set), the comment box and the chart sheet.
TEST_F(KeptRecordsInterop, XlrdOlefileAndGnumericFindWhatTheOriginalsHold) {
  const std::string texts = "sheet Ärkusz1\ncell 0 0 'Ładowność'\ncell 1 0 'abc\\ndef'\n";
  for (const auto& [file, lines] : Peer("xlrd", {"mac.xls", "mac8.xls", "mac5.xls"})) EXPECT_EQ(lines, texts) << file;
  // The book of no XFs: in our saves every cell names an XF, A4 the one of its format.
  const std::string formats = "cell 0 0 1.0 General\ncell 1 0 2.0 General\ncell 2 0 3.0 General\ncell 3 0 4.0 0.00\n";
  for (const auto& [file, lines] : Peer("xlrdxf", {"fewxf8.xls", "fewxf5.xls"})) EXPECT_EQ(lines, formats) << file;
  const std::string properties = "meta title Drive settings\nmeta author Service\nmeta company Kestravel\n";
  for (const auto& [file, lines] : Peer("olefile", {"props.xls", "props8.xls", "props5.xls"})) EXPECT_EQ(lines, properties) << file;
  std::map<std::string, std::string> gnumeric =
      Peer("gnumeric", {"mac8.xls", "props.xls", "props8.xls", "comment8.xls", "chart5.xls"});
  EXPECT_EQ(gnumeric["mac8.xls"], texts);
  EXPECT_EQ(gnumeric["props8.xls"], gnumeric["props.xls"]);
  EXPECT_EQ(gnumeric["props8.xls"],
            "meta creator Service\nmeta publisher Kestravel\nmeta title Drive settings\nsheet S\ncell 0 0 '1'\ncolumn 2 hard\n");
  EXPECT_EQ(gnumeric["comment8.xls"], "sheet Sheet1\ncomment C4\n");
  EXPECT_EQ(gnumeric["chart5.xls"], "sheet Chart1\nchart\n");
  // Filter databases as other writers leave them: gnumeric finds one filter over A1:C5 in the
  // originals and in our saves.
  for (const auto& [file, lines] : Peer("gnumeric", {"count.xls", "count8.xls", "count5.xls", "text.xls", "text8.xls",
                                                     "text5.xls"}))
    EXPECT_EQ(lines.substr(std::min(lines.find("filter"), lines.size())), "filter A1:C5\n") << file;
}

// LibreOffice opens the book whose byte-order mark is FF FE and finds its filter as in our save;
// it reads the document properties, the Mac chart sheet and the texts of our saves as in the
// originals, and the comment whose anchor was out of range keeps its cell and size.
TEST_F(KeptRecordsInterop, LibreOfficeFindsWhatTheOriginalsHold) {
  std::map<std::string, std::string> lo =
      Peer("lo", {"filter.xls", "filter8.xls", "props.xls", "props8.xls", "chart.xls", "chart5.xls", "mac8.xls",
                  "fewxf.xls", "fewxf8.xls", "fewxf5.xls"});
  EXPECT_EQ(lo["fewxf.xls"], "sheet S\ncell 0 0 '1'\ncell 1 0 '2'\ncell 2 0 '3'\ncell 3 0 '4'\n");
  EXPECT_EQ(lo["fewxf8.xls"], "sheet S\ncell 0 0 '1'\ncell 1 0 '2'\ncell 2 0 '3'\ncell 3 0 '4.00'\n");
  EXPECT_EQ(lo["fewxf5.xls"], lo["fewxf8.xls"]);
  EXPECT_NE(lo["filter.xls"].find("filter S.A1:S.B5 buttons true\n"), std::string::npos) << lo["filter.xls"];
  EXPECT_EQ(lo["filter8.xls"], lo["filter.xls"]);
  EXPECT_NE(lo["props.xls"].find("meta dc:title Drive settings\nmeta meta:initial-creator Service\n"), std::string::npos)
      << lo["props.xls"];
  EXPECT_EQ(lo["props8.xls"], lo["props.xls"]);
  EXPECT_EQ(lo["chart5.xls"], lo["chart.xls"]);
  EXPECT_EQ(lo["mac8.xls"], "sheet Ärkusz1\ncell 0 0 'Ładowność'\ncell 1 0 'abc\\ndef'\n");
  // [[[row, column, width, height]]] of the comment boxes, in 1/100 mm.
  auto box = [](const std::string& file) {
    std::string out;
    const std::string script = SourceDir() + "/tests/xls/drawing/drawing_peer.py";
    EXPECT_EQ(RunCommand("/usr/bin/python3 " + script + " boxes " + Path(file) + " 2>&1 | grep -v javaldx", out), 0) << out;
    std::vector<int> values(4, -1);
    std::sscanf(out.c_str(), "[[[%d, %d, %d, %d]]]", &values[0], &values[1], &values[2], &values[3]);
    return values;
  };
  const std::vector<int> source = box("comment.xls"), saved = box("comment8.xls");
  EXPECT_EQ(std::vector<int>(saved.begin(), saved.begin() + 2), (std::vector<int>{3, 2}));
  EXPECT_NEAR(saved[2], source[2], source[2] * 0.05);
  EXPECT_NEAR(saved[3], source[3], source[3] * 0.05);
}

// The lines of a tool's output that start with the prefix.
std::string LinesOf(const std::string& lines, const std::string& prefix) {
  std::istringstream in(lines);
  std::string out;
  for (std::string line; std::getline(in, line);) out += line.starts_with(prefix) ? line + "\n" : "";
  return out;
}

// LibreOffice reads the BIFF8 saves' functions, chart sheets and conditional formats as the
// originals', the BIFF8 chart sheets in our BIFF5 saves with their series, the Mac chart sheet
// in our BIFF5 save (not in the original, whose BOF it does not know), and the rows of the
// Calibri book 15 points high. (It reads no add-in call of a BIFF5 file as its function, ours or
// the format's program's: the BIFF5 saves of functions are held against gnumeric.)
TEST_F(KeptRecordsInterop, LibreOfficeFindsTheRecordKindsOfTheOriginals) {
  std::map<std::string, std::string> lo =
      Peer("kinds-lo", {"functions.xls", "functions8.xls", "chart8book.xls", "chart8book8.xls", "chart8book5.xls",
                        "macchart5.xls", "newer.xls", "newer8.xls", "calibri8.xls", "lochart.xls", "lochart8.xls",
                        "lochart5.xls"});
  EXPECT_NE(LinesOf(lo["functions.xls"], "formula 0 1 ").find("GETPIVOTDATA"), std::string::npos) << lo["functions.xls"];
  EXPECT_EQ(LinesOf(lo["functions8.xls"], "formula"), LinesOf(lo["functions.xls"], "formula"));
  for (const char* file : {"chart8book.xls", "chart8book8.xls", "chart8book5.xls", "macchart5.xls"})
    EXPECT_NE(lo[file].find("sheet Chart1\nchart\n"), std::string::npos) << file << "\n" << lo[file];
  // LibreOffice's own chart as a chart sheet: its series in both saves.
  for (const char* file : {"lochart.xls", "lochart8.xls", "lochart5.xls"})
    EXPECT_NE(lo[file].find("sheet Chart1\nchart\nseries Data.B2:Data.B6\n"), std::string::npos) << file << "\n" << lo[file];
  EXPECT_EQ(LinesOf(lo["newer.xls"], "condition"), "condition S.A1:S.A2 condition >6\n");
  EXPECT_EQ(LinesOf(lo["newer8.xls"], "condition"), LinesOf(lo["newer.xls"], "condition"));
  EXPECT_EQ(LinesOf(lo["calibri8.xls"], "height"), "height 0.2083in\n");
}

// gnumeric reads both saves' functions as the original's (GETPIVOTDATA, DATESTRING and PHONETIC
// through the add-in book in BIFF5), the chart sheets with their series, the fill and the
// conditional format of the book of newer records, and the Calibri book's rows 15 points high.
TEST_F(KeptRecordsInterop, GnumericFindsTheRecordKindsOfTheOriginals) {
  std::map<std::string, std::string> gnumeric =
      Peer("kinds-gnumeric", {"functions.xls", "functions5.xls", "functions8.xls", "chart8book.xls", "chart8book8.xls",
                              "chart8book5.xls", "macchart5.xls", "lochart.xls", "lochart8.xls", "lochart5.xls",
                              "newer.xls", "newer8.xls", "calibri5.xls", "calibri8.xls"});
  const std::string formulas = LinesOf(gnumeric["functions.xls"], "formula");
  EXPECT_EQ(formulas, "formula 0 1 =getpivotdata(\"Sum\",$A$1)\nformula 0 2 =DATESTRING(A1)\nformula 0 3 =PHONETIC(A1)\n");
  for (const char* file : {"functions5.xls", "functions8.xls"}) EXPECT_EQ(LinesOf(gnumeric[file], "formula"), formulas) << file;
  for (const char* file : {"chart8book.xls", "chart8book8.xls", "chart8book5.xls", "macchart5.xls"})
    EXPECT_EQ(LinesOf(gnumeric[file], "sheet") + LinesOf(gnumeric[file], "chart"), "sheet Chart1\nchart\n") << file;
  EXPECT_EQ(LinesOf(gnumeric["lochart.xls"], "series"), "series Data!$B$1\nseries Data!$A$2:$A$6\nseries Data!$B$2:$B$6\n");
  for (const char* file : {"lochart8.xls", "lochart5.xls"})
    EXPECT_EQ(LinesOf(gnumeric[file], "series"), LinesOf(gnumeric["lochart.xls"], "series")) << file;
  EXPECT_EQ(LinesOf(gnumeric["newer.xls"], "fill") + LinesOf(gnumeric["newer.xls"], "condition"),
            "fill 0 0 FFFF:0:0\ncondition 0:0-0:1 4\n");
  for (const char* prefix : {"fill", "condition"})
    EXPECT_EQ(LinesOf(gnumeric["newer8.xls"], prefix), LinesOf(gnumeric["newer.xls"], prefix));
  for (const char* file : {"calibri5.xls", "calibri8.xls"}) EXPECT_EQ(LinesOf(gnumeric[file], "height"), "height 15\n") << file;
}

// xlrd finds the other writer's fifteen style XFs style XFs in our saves, the Normal style on the
// first of them.
TEST_F(KeptRecordsInterop, XlrdFindsOtherWritersStyleXFs) {
  for (const char* file : {"calibri5.xls", "calibri8.xls"}) {
    const std::string script =
        "import sys, xlrd; b = xlrd.open_workbook(sys.argv[1], formatting_info=True); "
        "print(sum(x.is_style for x in b.xf_list[:15]), b.style_name_map['Normal'])";
    std::string out;
    EXPECT_EQ(RunCommand("/usr/bin/python3 -c \"" + script + "\" " + Path(file) + " 2>&1", out), 0) << out;
    EXPECT_EQ(out, "15 (1, 0)\n") << file;
  }
}

}  // namespace
}  // namespace xls::test
