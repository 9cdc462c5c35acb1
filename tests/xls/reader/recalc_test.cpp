// What our saves tell a reader about the results they carry: the calculate-on-load bit of a
// formula whose result the calculator did not confirm, RECALCID, the calculation settings and
// FORMULA options as read, and the file's own tokens for formulas that did not change.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "recalc_books.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

IXLSWorksheet& First(TXLSWorkbook& book) { return *book.GetWorksheets().GetItem(1); }

// One FORMULA record of a saved file: its result bytes, options and tokens (their size first).
struct Written {
  Bytes result;
  std::uint16_t options = 0;
  Bytes tokens;
};
// By row * 256 + column: row 1's by column.
std::map<int, Written> Formulas(const Bytes& file) {
  std::map<int, Written> out;
  for (const auto& [id, body] : RecordsOf(file, {0x0006})) {
    Written& w = out[(body[0] | body[1] << 8) * 256 + body[2]];
    w.result.assign(body.begin() + 6, body.begin() + 14);
    w.options = static_cast<std::uint16_t>(body[14] | body[15] << 8);
    w.tokens.assign(body.begin() + 20, body.end());
  }
  return out;
}
double Number(const Written& w) {
  double v = 0;
  std::memcpy(&v, w.result.data(), 8);
  return v;
}
// The build a BIFF8 file's RECALCID names (-1 without one).
std::int64_t RecalcBuild(const Bytes& file) {
  const Records r = RecordsOf(file, {0x01C1});
  if (r.empty()) return -1;
  return r[0].second[4] | r[0].second[5] << 8 | r[0].second[6] << 16 | static_cast<std::int64_t>(r[0].second[7]) << 24;
}
// The first word (DELTA: the double) of each calculation setting of the first sheet, by id.
std::map<std::uint16_t, double> Settings(const Bytes& file) {
  std::map<std::uint16_t, double> out;
  for (const auto& [id, body] : RecordsOf(file, {0x000D, 0x000C, 0x0011, 0x0010, 0x005F, 0x000E})) {
    if (out.count(id)) continue;
    double v = body[0] | body[1] << 8;
    if (id == 0x0010) std::memcpy(&v, body.data(), 8);
    out[id] = v;
  }
  return out;
}

constexpr std::int64_t kNoCalculationNeeded = 0x00FFFFFF;
constexpr std::int64_t kCalculateAll = 0;

TEST(Recalc, CalculationSettingsKeptAsRead) {
  const std::map<std::uint16_t, double> read = {{0x000D, 0},    {0x000C, 50}, {0x0011, 1},
                                                {0x0010, 0.01}, {0x005F, 0},  {0x000E, 0}};
  for (std::uint16_t version : {0x0600, 0x0500})
    for (int format : {2, 1}) {
      IXLSWorkbook book = Open(CalculatedBook(version));
      EXPECT_EQ(Settings(Saved(*book, format)), read) << version << " " << format;
    }
  EXPECT_EQ(RecalcBuild(Saved(*Open(CalculatedBook(0x0600)), 2)), 0x23A55);
  // A file that names no build (BIFF5 has none) is calculated on load: so is our save of it.
  EXPECT_EQ(RecalcBuild(Saved(*Open(StaleBook()), 2)), kCalculateAll);
  EXPECT_EQ(RecalcBuild(Saved(*Open(CalculatedBook(0x0500)), 2)), kCalculateAll);
  // The library's own for a workbook it made, and for one read again into a workbook object.
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add();
  First(*made).GetRange(u"A1")->SetValue(Variant(1.0));
  const std::map<std::uint16_t, double> ours = {{0x000D, 1},     {0x000C, 100}, {0x0011, 0},
                                                {0x0010, 0.001}, {0x005F, 1},   {0x000E, 1}};
  EXPECT_EQ(Settings(Saved(*made, 2)), ours);
  EXPECT_EQ(RecalcBuild(Saved(*made, 2)), kNoCalculationNeeded);
}

Bytes Sized(const Bytes& tokens) {
  Bytes b = {static_cast<std::uint8_t>(tokens.size()), 0};
  b.insert(b.end(), tokens.begin(), tokens.end());
  return b;
}

// The file's tokens and options while nothing changed; the results as read (B1's too, which we
// cannot calculate, and which stands as the file's result: no calculation asked for). The
// cells of the shared formula are written as formulas of their own, without the shared bit.
TEST(Recalc, UnchangedFormulasAsRead) {
  for (std::uint16_t version : {0x0600, 0x0500}) {
    const int format = version == 0x0600 ? 2 : 1;
    std::map<int, Bytes> tokens = CalculatedTokens(format == 2);
    tokens[4 * 256] = A5Tokens(format == 2);
    const std::map<int, Written> saved = Formulas(Saved(*Open(CalculatedBook(version)), format));
    ASSERT_EQ(saved.size(), 6u);
    const std::map<int, std::pair<double, std::uint16_t>> expected = {
        {1, {0.5, 1}}, {2, {1.5, 0x20}}, {3, {10, 0}}, {2 * 256 + 1, {10, 0}}, {2 * 256 + 2, {20, 0}}, {4 * 256, {4, 0}}};
    for (const auto& [cell, want] : expected) {
      const Written& w = saved.at(cell);
      EXPECT_EQ(Number(w), want.first) << version << " " << cell;
      EXPECT_EQ(w.options, want.second) << version << " " << cell;
      if (tokens.count(cell)) EXPECT_EQ(w.tokens, Sized(tokens.at(cell))) << version << " " << cell;
    }
  }
}

// A row inserted between: the formulas above it stay as read, A5's goes to A6 and is written
// anew although it names the same cell.
TEST(Recalc, MovedFormulaWrittenAnew) {
  for (int format : {2, 1}) {
    IXLSWorkbook book = Open(CalculatedBook(format == 2 ? 0x0600 : 0x0500));
    First(*book).GetRange(u"A4")->GetEntireRow()->Insert();
    const std::map<int, Written> saved = Formulas(Saved(*book, format));
    const std::map<int, Bytes> tokens = CalculatedTokens(format == 2);
    for (int column : {1, 2, 3}) EXPECT_EQ(saved.at(column).tokens, Sized(tokens.at(column))) << format;
    EXPECT_NE(saved.at(5 * 256).tokens, Sized(A5Tokens(format == 2))) << format;
    EXPECT_EQ(Number(saved.at(5 * 256)), 4) << format;
  }
}

// Tokens that name something by a number of the file's lists are written anew (our saves number
// the names otherwise); the formulas after them in the file keep theirs.
TEST(Recalc, FormulasByListNumbersWrittenAnew) {
  const Bytes byNames = {0x23, 2, 0, 0, 0, 0x42, 1, 4, 0, 0x23, 1, 0, 0, 0, 0x03};  // =SUM(Alpha)+Local
  const Bytes plain = {0x1E, 1, 0, 0x1E, 1, 0, 0x03};                            // =1+1
  IXLSWorkbook book = Open(ArrayRefBook({Formula(5, 1, Cached(4), 0, byNames), Formula(5, 3, Cached(2), 0, plain)}));
  const Bytes file = Saved(*book, 2);
  const std::map<int, Written> saved = Formulas(file);
  EXPECT_NE(saved.at(5 * 256 + 1).tokens, Sized(byNames));
  EXPECT_EQ(saved.at(5 * 256 + 3).tokens, Sized(plain));
  IXLSWorkbook again = Open(file);
  EXPECT_EQ(First(*again).GetRange(u"B6")->GetFormula().TextValue(), u"=SUM(Alpha)+Local");
  EXPECT_EQ(First(*again).GetRange(u"B6")->GetValue().NumberValue(), 4);
}

// A formula that changed, moved or goes to the other format is written from its tree (C1's 1 as
// a ptgNum, D1's IF without the file's attributes), still computing what it did.
TEST(Recalc, ChangedOrMovedFormulasWrittenAnew) {
  struct Case {
    const char* what;
    std::function<void(TXLSWorkbook&)> change;
    int firstCell;           // where B1's formula went
    const char16_t* ifCell;  // and D1's
  };
  const std::vector<Case> cases = {
      {"rows inserted above", [](TXLSWorkbook& b) { First(b).GetRange(u"A1")->GetEntireRow()->Insert(); }, 257, u"D2"},
      {"columns inserted before", [](TXLSWorkbook& b) { First(b).GetRange(u"A1")->GetEntireColumn()->Insert(); }, 2,
       u"E1"},
      {"formulas entered again",
       [](TXLSWorkbook& b) {
         for (const char16_t* cell : {u"C1", u"D1"})
           First(b).GetRange(cell)->SetValue(First(b).GetRange(cell)->GetFormula());
       },
       1, u"D1"}};
  for (int format : {2, 1}) {
    const std::map<int, Bytes> tokens = CalculatedTokens(format == 2);
    for (const Case& c : cases) {
      IXLSWorkbook book = Open(CalculatedBook(format == 2 ? 0x0600 : 0x0500));
      c.change(*book);
      const Bytes file = Saved(*book, format);
      const std::map<int, Written> saved = Formulas(file);
      ASSERT_EQ(saved.size(), 6u) << c.what;
      for (int i : {1, 2}) {
        const Bytes& now = saved.at(c.firstCell + i).tokens;
        EXPECT_NE(Bytes(now.begin() + 2, now.end()), tokens.at(1 + i)) << c.what << " " << format;
      }
      IXLSWorkbook again = Open(file);
      EXPECT_EQ(First(*again).GetRange(c.ifCell)->GetValue().NumberValue(), 10) << c.what << " " << format;
    }
  }
  // The other format's tokens are its own.
  const std::map<int, Written> biff5 = Formulas(Saved(*Open(CalculatedBook(0x0600)), 1));
  const Bytes c1 = biff5.at(2).tokens;
  EXPECT_NE(Bytes(c1.begin() + 2, c1.end()), CalculatedTokens(false).at(2));
}

// After a change the calculator's results go with the cleared bit; B1, whose result it cannot
// confirm, keeps the file's with the calculate-on-load bit, and RECALCID asks for a calculation of
// every formula. Read again, B1's result stays unconfirmed through the next saves.
TEST(Recalc, ResultsNotConfirmedAskForACalculation) {
  IXLSWorkbook book = Open(CalculatedBook(0x0600));
  First(*book).GetRange(u"A1")->SetValue(Variant(0.5));
  for (int format : {2, 1}) {
    const Bytes file = Saved(*book, format);
    const std::map<int, Written> saved = Formulas(file);
    EXPECT_EQ(Number(saved.at(1)), 0.5) << format;
    EXPECT_EQ(saved.at(1).options, 0x0003) << format;
    EXPECT_EQ(Number(saved.at(2)), 1.5) << format;
    EXPECT_EQ(saved.at(2).options, 0x0020) << format;
    EXPECT_EQ(Number(saved.at(3)), 20) << format;
    EXPECT_EQ(saved.at(3).options, 0) << format;
    if (format == 2) EXPECT_EQ(RecalcBuild(file), kCalculateAll);
  }
  IXLSWorkbook again = Open(Saved(*book, 2));
  const Bytes unchanged = Saved(*again, 2);
  EXPECT_EQ(Formulas(unchanged).at(1).options, 0x0003);
  EXPECT_EQ(Formulas(unchanged).at(3).options, 0);
  EXPECT_EQ(RecalcBuild(unchanged), kCalculateAll);
  // A workbook of ours whose formula the calculator cannot compute asks the same.
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add();
  First(*made).GetRange(u"A1")->SetValue(Variant(u"=GAMMALN(2)"));
  const Bytes ours = Saved(*made, 2);
  EXPECT_EQ(Formulas(ours).at(0).options, 0x0002);
  EXPECT_EQ(RecalcBuild(ours), kCalculateAll);
  First(*made).GetRange(u"A1")->SetValue(Variant(u"=2+2"));
  EXPECT_EQ(RecalcBuild(Saved(*made, 2)), kNoCalculationNeeded);
}

// Empty results, as programs that do not calculate leave every one: the calculator's go in their
// place, from the moment the book is open; the one it cannot compute stays empty and asks for a
// calculation.
TEST(Recalc, ResultsOfAWriterThatDoesNotCalculate) {
  IXLSWorkbook book = Open(UncalculatedBook());
  EXPECT_EQ(First(*book).GetRange(u"B1")->GetValue().NumberValue(), 6);
  EXPECT_EQ(First(*book).GetRange(u"C1")->GetValue().NumberValue(), 7);
  const Bytes file = Saved(*book, 2);
  const std::map<int, Written> saved = Formulas(file);
  EXPECT_EQ(Number(saved.at(1)), 6);
  EXPECT_EQ(saved.at(1).options, 0);
  EXPECT_EQ(Number(saved.at(2)), 7);
  EXPECT_EQ(saved.at(3).result, kEmptyResult);
  EXPECT_EQ(saved.at(3).options, 0x0002);
  EXPECT_EQ(RecalcBuild(file), kCalculateAll);
  // A formula whose empty result the calculator confirms keeps it, and nothing is asked.
  IXLSWorkbook empty = Open(Workbook(
      0x0600, {{"Data", {Formula(0, 1, kEmptyResult, 0, {0x17, 0, 0})}}}, {{0x01C1, {0xC1, 0x01, 0, 0, 0x55, 0x3A, 0x02, 0}}}));
  const Bytes emptyFile = Saved(*empty, 2);
  EXPECT_EQ(Formulas(emptyFile).at(1).result, kEmptyResult);
  EXPECT_EQ(Formulas(emptyFile).at(1).options, 0);
  EXPECT_EQ(RecalcBuild(emptyFile), 0x23A55);
}

}  // namespace
}  // namespace xls::test
