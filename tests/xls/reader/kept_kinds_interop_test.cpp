// The books of kept_kinds_test.cpp, their BIFF8 ("8.xls") and BIFF5 ("5.xls") saves read back by
// LibreOffice and gnumeric: what they find in our saves is what they find in the originals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include "kept_books.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

// A series text (UTF-16) and a CHARTFRTINFO, which a BIFF5 save converts and leaves out.
Records ChartInside() {
  return {{0x100D, {0, 0, 4, 1, 'U', 0, 'n', 0, 'i', 0, 't', 0}}, {0x0850, {0x50, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}};
}

class KeptKindsInterop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::create_directories(dir_);
    const std::map<std::string, Bytes> books = {{"functions", FunctionsBook()},
                                                {"chart", ChartSheetBook(0x0600, 0x0020, ChartInside())},
                                                {"macchart", ChartSheetBook(0x0500, 0x8000)},
                                                {"newer", NewerRecordsBook(false)},
                                                {"calibri", CalibriBook(true)},
                                                {"lochart", LibreOfficeChartSheetBook()}};
    for (const auto& [name, bytes] : books) {
      Write(name + ".xls", bytes);
      IXLSWorkbook book = Open(bytes);
      for (int format : {2, 1}) Write(name + (format == 2 ? "8" : "5") + ".xls", Saved(*book, format));
    }
  }
  static void TearDownTestSuite() {
    if (!std::getenv("KV_KEEP_KINDS")) fs::remove_all(dir_);
  }
  static void Write(const std::string& name, const Bytes& bytes) {
    std::FILE* f = std::fopen((dir_ / name).string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  // The tool's lines of each file, by file name.
  static std::map<std::string, std::string> Peer(const std::string& tool, std::initializer_list<std::string> files) {
    std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/kept_peer.py kinds-" + tool + " " + dir_.string();
    for (const std::string& f : files) command += " " + (dir_ / f).string();
    std::string out;
    EXPECT_EQ(RunCommand(command + " 2>&1", out), 0) << command << "\n" << out;
    return FileSections(out);
  }

  static inline const fs::path dir_ = fs::temp_directory_path() / ("kv_kinds_" + std::to_string(::getpid()));
};

// The lines of a tool's output that start with the prefix.
std::string LinesOf(const std::string& lines, const std::string& prefix) {
  std::string out;
  for (std::size_t at = 0; at < lines.size();) {
    const std::size_t end = std::min(lines.find('\n', at), lines.size());
    if (lines.compare(at, prefix.size(), prefix) == 0) out += lines.substr(at, end - at) + "\n";
    at = end + 1;
  }
  return out;
}

// LibreOffice reads the BIFF8 saves' functions, chart sheets and conditional formats as the
// originals', the BIFF8 chart sheets in our BIFF5 saves with their series, the Mac chart sheet in
// our BIFF5 save (not in the original, whose BOF it does not
// know), and the rows of the Calibri book 15 points high. (It reads no add-in call of a BIFF5
// file as its function, ours or the format's program's: the BIFF5 saves are held against
// gnumeric.)
TEST_F(KeptKindsInterop, LibreOfficeFindsWhatTheOriginalsHold) {
  std::map<std::string, std::string> lo = Peer("lo", {"functions.xls", "functions8.xls", "chart.xls", "chart8.xls",
                                                      "chart5.xls", "macchart5.xls", "newer.xls", "newer8.xls", "calibri8.xls",
                                                      "lochart.xls", "lochart8.xls", "lochart5.xls"});
  // LibreOffice's own chart as a chart sheet: its series in both saves.
  for (const char* file : {"lochart.xls", "lochart8.xls", "lochart5.xls"})
    EXPECT_NE(lo[file].find("sheet Chart1\nchart\nseries Data.B2:Data.B6\n"), std::string::npos) << file << "\n" << lo[file];
  EXPECT_NE(LinesOf(lo["functions.xls"], "formula 0 1 ").find("GETPIVOTDATA"), std::string::npos) << lo["functions.xls"];
  EXPECT_EQ(LinesOf(lo["functions8.xls"], "formula"), LinesOf(lo["functions.xls"], "formula"));
  for (const char* file : {"chart.xls", "chart8.xls", "chart5.xls", "macchart5.xls"})
    EXPECT_NE(lo[file].find("sheet Chart1\nchart\n"), std::string::npos) << file << "\n" << lo[file];
  EXPECT_EQ(LinesOf(lo["newer.xls"], "condition"), "condition S.A1:S.A2 condition >6\n");
  EXPECT_EQ(LinesOf(lo["newer8.xls"], "condition"), LinesOf(lo["newer.xls"], "condition"));
  EXPECT_EQ(LinesOf(lo["calibri8.xls"], "height"), "height 0.2083in\n");
}

// gnumeric reads both saves' functions as the original's (GETPIVOTDATA, DATESTRING and PHONETIC
// through the add-in book in BIFF5), the chart sheets with their series, the fill and conditional format of the
// book of newer records, and the Calibri book's rows 15 points high in both saves.
TEST_F(KeptKindsInterop, GnumericFindsWhatTheOriginalsHold) {
  std::map<std::string, std::string> gnumeric =
      Peer("gnumeric", {"functions.xls", "functions5.xls", "functions8.xls", "chart.xls", "chart8.xls", "chart5.xls",
                        "macchart5.xls", "lochart.xls", "lochart8.xls", "lochart5.xls", "newer.xls", "newer8.xls", "calibri5.xls", "calibri8.xls"});
  EXPECT_EQ(LinesOf(gnumeric["lochart.xls"], "series"),
            "series Data!$B$1\nseries Data!$A$2:$A$6\nseries Data!$B$2:$B$6\n");
  for (const char* file : {"lochart8.xls", "lochart5.xls"})
    EXPECT_EQ(LinesOf(gnumeric[file], "series"), LinesOf(gnumeric["lochart.xls"], "series")) << file;
  const std::string formulas = LinesOf(gnumeric["functions.xls"], "formula");
  EXPECT_EQ(formulas, "formula 0 1 =getpivotdata(\"Sum\",$A$1)\nformula 0 2 =DATESTRING(A1)\nformula 0 3 =PHONETIC(A1)\n");
  for (const char* file : {"functions5.xls", "functions8.xls"}) EXPECT_EQ(LinesOf(gnumeric[file], "formula"), formulas) << file;
  for (const char* file : {"chart.xls", "chart8.xls", "chart5.xls", "macchart5.xls"})
    EXPECT_EQ(LinesOf(gnumeric[file], "sheet") + LinesOf(gnumeric[file], "chart"), "sheet Chart1\nchart\n") << file;
  EXPECT_EQ(LinesOf(gnumeric["newer.xls"], "fill") + LinesOf(gnumeric["newer.xls"], "condition"),
            "fill 0 0 FFFF:0:0\ncondition 0:0-0:1 4\n");
  for (const char* prefix : {"fill", "condition"})
    EXPECT_EQ(LinesOf(gnumeric["newer8.xls"], prefix), LinesOf(gnumeric["newer.xls"], prefix));
  for (const char* file : {"calibri5.xls", "calibri8.xls"}) EXPECT_EQ(LinesOf(gnumeric[file], "height"), "height 15\n") << file;
}

// xlrd finds the fifteen style XFs of the other writer's book style XFs in our saves, the Normal
// style on the first of them.
TEST_F(KeptKindsInterop, XlrdFindsTheStyleXFs) {
  for (const char* file : {"calibri5.xls", "calibri8.xls"}) {
    const std::string script =
        "import sys, xlrd; b = xlrd.open_workbook(sys.argv[1], formatting_info=True); "
        "print(sum(x.is_style for x in b.xf_list[:15]), b.style_name_map['Normal'])";
    std::string out;
    EXPECT_EQ(RunCommand("/usr/bin/python3 -c \"" + script + "\" " + (dir_ / file).string() + " 2>&1", out), 0) << out;
    EXPECT_EQ(out, "15 (1, 0)\n") << file;
  }
}

}  // namespace
}  // namespace xls::test
