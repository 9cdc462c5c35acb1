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
// CalculatedBook of the format's version (2 BIFF8, 1 BIFF5), read.
IXLSWorkbook Calculated(int format) { return Open(CalculatedBook(format == 2 ? 0x0600 : 0x0500)); }
// A workbook of ours with a value or formula in A1.
IXLSWorkbook Made(const Variant& a1) {
  IXLSWorkbook made = TXLSWorkbook::Create();
  made->GetWorksheets().Add();
  First(*made).GetRange(u"A1")->SetValue(a1);
  return made;
}

// One FORMULA record of a saved file: its result (bytes, and as a double), options and tokens
// (their size first).
struct Written {
  Bytes result;
  double number = 0;
  std::uint16_t options = 0;
  Bytes tokens;
};
// By row * 256 + column: row 1's by column.
std::map<int, Written> Formulas(const Bytes& file) {
  std::map<int, Written> out;
  for (const auto& [id, body] : RecordsOf(file, {0x0006})) {
    Written& w = out[(body[0] | body[1] << 8) * 256 + body[2]];
    w.result.assign(body.begin() + 6, body.begin() + 14);
    std::memcpy(&w.number, body.data() + 6, 8);
    w.options = static_cast<std::uint16_t>(body[14] | body[15] << 8);
    w.tokens.assign(body.begin() + 20, body.end());
  }
  return out;
}
// The saved results and options of the given cells.
void ExpectResults(const std::map<int, Written>& saved, const std::map<int, std::pair<double, std::uint16_t>>& want) {
  for (const auto& [cell, w] : want) {
    ASSERT_TRUE(saved.count(cell)) << cell;
    EXPECT_EQ(saved.at(cell).number, w.first) << cell;
    EXPECT_EQ(saved.at(cell).options, w.second) << cell;
  }
}
Bytes Sized(const Bytes& tokens) {
  Bytes b = {static_cast<std::uint8_t>(tokens.size()), 0};
  b.insert(b.end(), tokens.begin(), tokens.end());
  return b;
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
    double v = body[0] | body[1] << 8;
    if (id == 0x0010) std::memcpy(&v, body.data(), 8);
    out.emplace(id, v);
  }
  return out;
}

constexpr std::int64_t kNoCalculationNeeded = 0x00FFFFFF;
constexpr std::int64_t kCalculateAll = 0;

TEST(Recalc, CalculationSettingsKeptAsRead) {
  const std::map<std::uint16_t, double> read = {{0x000D, 0},    {0x000C, 50}, {0x0011, 1},
                                                {0x0010, 0.01}, {0x005F, 0},  {0x000E, 0}};
  for (std::uint16_t version : {0x0600, 0x0500})
    for (int format : {2, 1})
      EXPECT_EQ(Settings(Saved(*Open(CalculatedBook(version)), format)), read) << version << " " << format;
  EXPECT_EQ(RecalcBuild(Saved(*Calculated(2), 2)), 0x23A55);
  // A file that names no build (BIFF5 has none) is calculated on load: so is our save of it.
  EXPECT_EQ(RecalcBuild(Saved(*Open(StaleBook()), 2)), kCalculateAll);
  EXPECT_EQ(RecalcBuild(Saved(*Calculated(1), 2)), kCalculateAll);
  // The library's own for a workbook it made, and for one read again into a workbook object.
  IXLSWorkbook made = Made(Variant(1.0));
  const std::map<std::uint16_t, double> ours = {{0x000D, 1},     {0x000C, 100}, {0x0011, 0},
                                                {0x0010, 0.001}, {0x005F, 1},   {0x000E, 1}};
  EXPECT_EQ(Settings(Saved(*made, 2)), ours);
  EXPECT_EQ(RecalcBuild(Saved(*made, 2)), kNoCalculationNeeded);
}

// The file's tokens and options while nothing changed; the results as read (B1's too, which we
// cannot calculate, and which stands as the file's result: no calculation asked for). The
// cells of the shared formula are written as formulas of their own, without the shared bit.
// With a row inserted between, the formulas above it stay as read (B1 now asking for a
// calculation), and A5's goes to A6 and is written anew although it names the same cell.
TEST(Recalc, UnchangedFormulasAsReadMovedOneWrittenAnew) {
  for (int format : {2, 1})
    for (bool moved : {false, true}) {
      SCOPED_TRACE(testing::Message() << format << (moved ? " moved" : ""));
      IXLSWorkbook book = Calculated(format);
      if (moved) First(*book).GetRange(u"A4")->GetEntireRow()->Insert();
      const std::map<int, Written> saved = Formulas(Saved(*book, format));
      const int a5 = (moved ? 5 : 4) * 256;
      ASSERT_EQ(saved.size(), 6u);
      ExpectResults(saved, {{1, {0.5, moved ? 3 : 1}}, {2, {1.5, 0x20}}, {3, {10, 0}}, {2 * 256 + 1, {10, 0}},
                            {2 * 256 + 2, {20, 0}}, {a5, {4, 0}}});
      for (const auto& [column, t] : CalculatedTokens(format == 2)) EXPECT_EQ(saved.at(column).tokens, Sized(t));
      if (moved) EXPECT_NE(saved.at(a5).tokens, Sized(A5Tokens(format == 2)));
      else EXPECT_EQ(saved.at(a5).tokens, Sized(A5Tokens(format == 2)));
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
  auto rpn = [](const Bytes& sized) { return Bytes(sized.begin() + 2, sized.end()); };
  for (int format : {2, 1})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << " " << format);
      IXLSWorkbook book = Calculated(format);
      c.change(*book);
      const Bytes file = Saved(*book, format);
      const std::map<int, Written> saved = Formulas(file);
      ASSERT_EQ(saved.size(), 6u);
      for (int i : {1, 2}) EXPECT_NE(rpn(saved.at(c.firstCell + i).tokens), CalculatedTokens(format == 2).at(1 + i));
      EXPECT_EQ(First(*Open(file)).GetRange(c.ifCell)->GetValue().NumberValue(), 10);
    }
  // The other format's tokens are its own.
  EXPECT_NE(rpn(Formulas(Saved(*Calculated(2), 1)).at(2).tokens), CalculatedTokens(false).at(2));
}

// After a change the calculator's results go with the cleared bit; B1, whose result it cannot
// confirm, keeps the file's with the calculate-on-load bit, and RECALCID asks for a calculation of
// every formula. Read again, B1's result stays unconfirmed through the next saves.
TEST(Recalc, ResultsNotConfirmedAskForACalculation) {
  IXLSWorkbook book = Calculated(2);
  First(*book).GetRange(u"A1")->SetValue(Variant(0.5));
  for (int format : {2, 1}) {
    SCOPED_TRACE(format);
    const Bytes file = Saved(*book, format);
    ExpectResults(Formulas(file), {{1, {0.5, 0x0003}}, {2, {1.5, 0x0020}}, {3, {20, 0}}});
    EXPECT_EQ(RecalcBuild(file), format == 2 ? kCalculateAll : -1);  // BIFF5 has no RECALCID
  }
  const Bytes unchanged = Saved(*Open(Saved(*book, 2)), 2);
  ExpectResults(Formulas(unchanged), {{1, {0.5, 0x0003}}, {3, {20, 0}}});
  EXPECT_EQ(RecalcBuild(unchanged), kCalculateAll);
  // A workbook of ours whose formula the calculator cannot compute asks the same.
  IXLSWorkbook made = Made(Variant(u"=GAMMALN(2)"));
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
  ExpectResults(saved, {{1, {6, 0}}, {2, {7, 0}}});
  EXPECT_EQ(saved.at(3).result, kEmptyResult);
  EXPECT_EQ(saved.at(3).options, 0x0002);
  EXPECT_EQ(RecalcBuild(file), kCalculateAll);
  // A formula whose empty result the calculator confirms keeps it, and nothing is asked.
  const Bytes empty =
      Saved(*Open(Workbook(0x0600, {{"Data", {Formula(0, 1, kEmptyResult, 0, {0x17, 0, 0})}}}, {kRecalcId})), 2);
  EXPECT_EQ(Formulas(empty).at(1).result, kEmptyResult);
  EXPECT_EQ(Formulas(empty).at(1).options, 0);
  EXPECT_EQ(RecalcBuild(empty), 0x23A55);
}

}  // namespace
}  // namespace xls::test
