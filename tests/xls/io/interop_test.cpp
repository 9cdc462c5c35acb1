// Our BIFF8 and BIFF5 files read by programs no one here wrote: python3-xlrd (values, types,
// formats, sizes, merges, panes, page breaks, BOUNDSHEET offsets through on-demand loading),
// LibreOffice (values as CSV, formatting through its xlsx conversion), gnumeric's ssconvert
// and catdoc's xls2csv. The expectations go to the checkers as JSON.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "io_test_support.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/codepage.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

const std::u16string kLong = [] {
  std::u16string s;
  for (int i = 0; i < 5000; ++i) s += static_cast<char16_t>(u'a' + i % 26);
  return s;
}();
const std::u16string kForeign = u"\u041F\u0440\u0438\u0432\u0435\u0442, \u4E16\u754C \u0395\u03BB\u03BB\u03AC\u03B4\u03B1";

std::string Json(const std::u16string& text) {
  std::string out = "\"";
  for (char c : WideToUtf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double v) {
  std::ostringstream s;
  s.precision(17);
  s << v;
  std::string t = s.str();
  if (t.find_first_of(".e") == std::string::npos) t += ".0";
  return t;
}

// A cell of the first sheet: what is stored, what xlrd gives, what a spreadsheet shows.
struct Cell {
  int row, column;
  Variant value;
  std::string type;                  // xlrd's kind
  std::vector<std::string> display;  // as spreadsheets show it; empty: the text itself
};

std::vector<Cell> FirstSheetCells() {
  return {
      {0, 0, Variant(u"Code"), "text", {}},
      {0, 1, Variant(u"Value"), "text", {}},
      {0, 3, Variant(u"Merged"), "text", {}},
      {1, 0, Variant(u"P-001"), "text", {}},
      {1, 1, Variant(u"1.50"), "text", {}},
      {2, 0, Variant(1234.5), "number", {"1234.5"}},
      {2, 1, Variant(-3.0), "number", {"-3"}},
      {3, 0, Variant(0.1), "number", {"0.1"}},
      {3, 1, Variant(123456789.125), "number", {"123456789.125"}},  // no RK form
      // LibreOffice shows a boolean whose cell has no boolean format as 1; gnumeric's CSV
      // writes dates in its own order and numbers without their format.
      {4, 0, Variant(true), "boolean", {"TRUE", "1"}},
      {4, 1, Variant::Date(45322.0), "date", {"2024-01-31", "2024/01/31"}},
      {4, 2, Variant(2.5), "number", {"2.50", "2.5"}},
      {5, 0, Variant(kLong), "text", {}},
      {6, 0, Variant(kForeign), "text", {}},
  };
}

IXLSWorkbook ReferenceWorkbook() {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->SetName(u"Values");
  sheet->GetRange(u"A1", u"B4")->SetHorizontalAlignment(-4108);
  for (const Cell& c : FirstSheetCells()) sheet->GetRangeRC(c.row + 1, c.column + 1, c.row + 1, c.column + 1)->SetValue(c.value);
  sheet->GetRange(u"A1", u"B1")->GetFont()->SetBold(true);
  sheet->GetRange(u"B5")->SetNumberFormat(u"yyyy-mm-dd");
  sheet->GetRange(u"C5")->SetNumberFormat(u"0.00");
  sheet->GetRange(u"D1", u"E2")->Merge();
  sheet->GetRange(u"A1")->SetColumnWidth(Variant(20.0));
  sheet->GetRange(u"A5")->SetRowHeight(Variant(30.0));
  sheet->FreezePanes(0, 1, 1, 0);
  sheet->GetHPageBreaks().AddBreak(10);
  sheet->GetVPageBreaks().AddBreak(3);
  sheet->GetPageSetup()->SetPrintArea(0, 0, 7, 4);
  sheet->GetPageSetup()->SetPrintTitleRows(u"$1:$1");
  IXLSWorksheet* second = book->GetWorksheets().Add();
  second->SetName(u"Second");
  second->GetRange(u"A1")->SetValue(Variant(u"x"));
  // A line break is a lone CR in BIFF5, which CSV writers treat each in their own way: it
  // stays on the sheet that only xlrd reads.
  second->GetRange(u"B1")->SetValue(Variant(u"two\nlines"));
  for (int r = 2; r <= 4; ++r) second->GetRangeRC(r, 1, r, 1)->SetValue(Variant(static_cast<double>(r)));
  book->GetWorksheets().GetItem(1)->Activate();
  return book;
}

// The text a BIFF5 file carries: 8-bit, cut to 255 bytes, line breaks as CR.
std::u16string Biff5Text(const std::u16string& text) {
  std::u16string t;
  for (char16_t ch : text) t += ch == u'\n' ? u'\r' : ch;
  std::string bytes = WideToAnsi(t);
  if (bytes.size() > 255) bytes.resize(255);
  return AnsiToWideCP(bytes);
}

std::string XlrdExpectations(const IXLSWorkbook& book, int format) {
  const bool biff5 = format == kSaveBiff5;
  std::ostringstream j;
  j << "{\"sheets\": [{\"name\": \"Values\", \"cells\": [";
  bool first = true;
  for (const Cell& c : FirstSheetCells()) {
    j << (first ? "" : ", ") << "[" << c.row << ", " << c.column << ", \"" << c.type << "\", ";
    first = false;
    if (c.type == "text") j << Json(biff5 ? Biff5Text(c.value.TextValue()) : c.value.TextValue());
    else if (c.type == "boolean") j << "true";
    else if (c.type == "date") j << "45322.0";
    else j << JsonNumber(c.value.NumberValue());
    j << "]";
  }
  const int width = book->GetWorksheets().GetItem(1)->ColumnInfo().GetEntry(0)->width;
  j << "], \"bold\": [[0, 0], [0, 1]], \"centred\": [[0, 0], [0, 1], [1, 0], [1, 1], [2, 0], [2, 1], [3, 0], [3, 1]],"
       " \"formats\": [[4, 1, \"yyyy-mm-dd\"], [4, 2, \"0.00\"]], \"widths\": [[0, " << width << "]],"
       " \"heights\": [[4, 600]], \"merged\": [[0, 2, 3, 5]], \"frozen\": [1, 0], \"hbreaks\": [10], \"vbreaks\": [3]},"
       " {\"name\": \"Second\", \"cells\": [[0, 0, \"text\", \"x\"], [0, 1, \"text\", "
    << Json(biff5 ? u"two\rlines" : u"two\nlines") << "], [1, 0, \"number\", 2.0], [2, 0, \"number\", 3.0],"
       " [3, 0, \"number\", 4.0]], \"bold\": [], \"centred\": [], \"formats\": [], \"widths\": [], \"heights\": [],"
       " \"merged\": [], \"frozen\": null, \"hbreaks\": [], \"vbreaks\": []}],"
       " \"names\": [[\"Print_Area\", 0, 0, 0, 8, 0, 5], [\"Print_Titles\", 0, 0, 0, 1, 0, 256]]}";
  return j.str();
}

std::string Display(int format) {
  std::ostringstream j;
  j << "[";
  bool first = true;
  for (const Cell& c : FirstSheetCells()) {
    std::vector<std::u16string> shown;
    for (const std::string& d : c.display) shown.push_back(Utf8ToWide(d));
    if (shown.empty()) shown.push_back(format == kSaveBiff5 ? Biff5Text(c.value.TextValue()) : c.value.TextValue());
    j << (first ? "" : ", ") << "[" << c.row << ", " << c.column << ", \"" << c.type << "\", [";
    for (std::size_t i = 0; i < shown.size(); ++i) j << (i ? ", " : "") << Json(shown[i]);
    j << "]]";
    first = false;
  }
  return j.str() + "]";
}

class Interop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    IXLSWorkbook book = ReferenceWorkbook();
    std::string error;
    ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(Path(kSaveBiff8)), kSaveBiff8, &error), 1) << error;
    ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(Path(kSaveBiff5)), kSaveBiff5, &error), 1) << error;
    for (int format : {kSaveBiff8, kSaveBiff5}) {
      std::ofstream(Path(format) + ".json") << XlrdExpectations(book, format);
    }
    std::ofstream(dir_->File("peers.json"))
        << "{\"files\": [{\"path\": \"" << Path(kSaveBiff8) << "\", \"sheet\": \"Values\", \"xlsx\": true, \"display\": " << Display(kSaveBiff8)
        << "}, {\"path\": \"" << Path(kSaveBiff5) << "\", \"sheet\": \"Values\", \"display\": " << Display(kSaveBiff5) << "}]}";
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Path(int format) { return dir_->File(format == kSaveBiff5 ? "book5.xls" : "book8.xls"); }
  static std::string Script(const char* name) { return std::string(KV_SOURCE_DIR) + "/tests/xls/io/" + name; }
  static void RunPeers(const char* mode) {
    std::string out;
    int status = test::RunCommand("/usr/bin/python3 '" + Script("peers_check.py") + "' " + mode + " '" + dir_->Path() +
                                      "' '" + dir_->File("peers.json") + "'",
                                  out);
    EXPECT_EQ(status, 0) << out;
  }
  static test::TempDir* dir_;
};

test::TempDir* Interop::dir_ = nullptr;

TEST_F(Interop, XlrdReadsBiff8AndBiff5) {
  for (int format : {kSaveBiff8, kSaveBiff5}) {
    std::string out;
    int status = test::RunCommand("/usr/bin/python3 '" + Script("xlrd_check.py") + "' '" + Path(format) + "' '" +
                                      Path(format) + ".json'",
                                  out);
    EXPECT_EQ(status, 0) << "format " << format << ":\n" << out;
  }
}

TEST_F(Interop, OwnOffsetCheckerAcceptsBothFiles) {
  for (int format : {kSaveBiff8, kSaveBiff5}) {
    std::ifstream in(Path(format), std::ios::binary);
    std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto problems = test::CheckOffsets(test::ReadStream(file, format == kSaveBiff5 ? u"Book" : u"Workbook"));
    EXPECT_TRUE(problems.empty()) << problems.front();
  }
}

TEST_F(Interop, LibreOfficeReadsValuesAndFormats) { RunPeers("libreoffice"); }
TEST_F(Interop, GnumericConvertsWithoutErrors) { RunPeers("gnumeric"); }
TEST_F(Interop, CatdocReadsTheTexts) { RunPeers("catdoc"); }

}  // namespace
}  // namespace xls
