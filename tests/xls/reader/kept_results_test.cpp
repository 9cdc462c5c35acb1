// What a file said, through our save: cached results until a cell changes (then calculated),
// the 1904 date system's results whatever the cell's format, BIFF5 calls through a defined name,
// command-equivalent function numbers, ARRAY records as read and the results of formulas under
// a merged area.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "kept_books.h"
#include "xls/formula/names.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

double Value(TXLSWorkbook& book, const char16_t* cell) {
  return book.GetWorksheets().GetItem(1)->GetRange(cell)->GetValue().NumberValue();
}

// The cached numbers of a file's FORMULA records, in order.
std::vector<double> FormulaResults(const Bytes& file) {
  std::vector<double> out;
  for (const auto& [id, body] : RecordsOf(file, {0x0006})) {
    out.push_back(0);
    std::memcpy(&out.back(), body.data() + 6, 8);
  }
  return out;
}

TEST(KeptResults, FileResultsStandUntilACellChanges) {
  IXLSWorkbook read = Open(StaleBook());
  EXPECT_EQ(Value(*read, u"B1"), 7);
  EXPECT_EQ(Value(*read, u"C1"), 9);
  // A column's width is no value: the results stand.
  read->GetWorksheets().GetItem(1)->GetRange(u"B1")->SetColumnWidth(Variant(20.0));
  for (int format : {2, 1}) {
    IXLSWorkbook again = Open(Saved(*read, format));
    EXPECT_EQ(Value(*again, u"B1"), 7) << format;
    EXPECT_EQ(Value(*again, u"C1"), 9) << format;
  }
  // Every change a formula could see calculates the workbook again.
  auto sheet = [](TXLSWorkbook& b) { return b.GetWorksheets().GetItem(1); };
  const std::vector<std::pair<const char*, std::function<void(TXLSWorkbook&)>>> changes = {
      {"a value elsewhere", [&](TXLSWorkbook& b) { sheet(b)->GetRange(u"F9")->SetValue(Variant(1.0)); }},
      {"a row inserted", [&](TXLSWorkbook& b) { sheet(b)->GetRange(u"A5")->GetEntireRow()->Insert(); }},
      {"a column deleted", [&](TXLSWorkbook& b) { sheet(b)->GetRange(u"H1")->GetEntireColumn()->Delete(); }},
      {"the sheet renamed", [&](TXLSWorkbook& b) { sheet(b)->SetName(u"Other"); }},
      {"a sheet added", [](TXLSWorkbook& b) { b.GetWorksheets().Add(); }},
      {"a name defined", [](TXLSWorkbook& b) { b.GetNames()->Add(u"Ten", u"=10"); }},
      {"the date system", [](TXLSWorkbook& b) { b.SetDate1904(true); }},
      {"an area merged", [&](TXLSWorkbook& b) { sheet(b)->GetRange(u"E1", u"F1")->Merge(); }},
  };
  for (const auto& [what, change] : changes) {
    IXLSWorkbook book = Open(StaleBook());
    change(*book);
    EXPECT_EQ(Value(*book, u"B1"), 6) << what;
    EXPECT_EQ(Value(*book, u"C1"), 7) << what;
    IXLSWorkbook again = Open(Saved(*book, 2));
    EXPECT_EQ(Value(*again, u"C1"), 7) << what;
  }
}

// The file holds every result in its own system: B1 =A1 in General 41639 (the 1900 system's 43101
// less 1462), E1 =A1-A2 in a date format the 7 days; calculated by us or kept as read.
TEST(KeptResults, ResultsOfA1904BookInItsOwnDateSystem) {
  IXLSWorkbook book = Book1904();
  const std::vector<double> expected = {41639, 41639, 7, 2018, 41640, 41646};
  const Bytes calculated = Saved(*book, 2);
  EXPECT_EQ(FormulaResults(calculated), expected);
  IXLSWorkbook read = Open(calculated);
  EXPECT_EQ(Value(*read, u"B1"), 41639);  // General: as the file holds it
  EXPECT_EQ(Value(*read, u"H1"), 43108);  // a date: its date value
  EXPECT_EQ(FormulaResults(Saved(*read, 2)), expected);
  EXPECT_EQ(FormulaResults(Saved(*read, 1)), expected);
}

// A call of a macro function through its NAME and a command-equivalent function come back as
// the calls they were, with their results.
TEST(KeptResults, CallsByNameAndCommandFunctionsKeepTheirTokens) {
  // B1's tokens in BIFF5 (ptgName of 14 bytes) and BIFF8 (of 4), C1's the same in both.
  const Bytes calls[2] = {{0x23, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x24, 0, 0xC0, 0, 0x42, 2, 0xFF, 0},
                          {0x23, 1, 0, 0, 0, 0x24, 0, 0, 0, 0xC0, 0x42, 2, 0xFF, 0}};
  IXLSWorkbook read = Open(CallBook());
  IXLSWorksheet& s = *read->GetWorksheets().GetItem(1);
  EXPECT_EQ(s.GetRange(u"B1")->GetFormula().TextValue(), u"=Comment(A1)");
  for (int format : {1, 2}) {
    const Bytes file = Saved(*read, format);
    const Records names = RecordsOf(file, {0x0018});
    ASSERT_EQ(names.size(), 1u) << format;
    EXPECT_EQ(names[0].second[0] | names[0].second[1] << 8, 0x000E) << format;  // still the function the call names
    const Records formulas = RecordsOf(file, {0x0006});
    ASSERT_EQ(formulas.size(), 2u) << format;  // no text cells
    EXPECT_EQ(Bytes(formulas[0].second.begin() + 22, formulas[0].second.end()), calls[format - 1]) << format;
    EXPECT_EQ(Bytes(formulas[1].second.begin() + 22, formulas[1].second.end()), (Bytes{0x42, 0, 0xA3, 0x80})) << format;
    IXLSWorkbook again = Open(file);
    EXPECT_EQ(again->GetWorksheets().GetItem(1)->GetRange(u"B1")->GetFormula().TextValue(), u"=Comment(A1)");
    EXPECT_EQ(Value(*again, u"B1"), 5) << format;
    EXPECT_EQ(Value(*again, u"C1"), 1) << format;
  }
  // Calculated again, neither call has a value of ours: both keep the file's.
  s.GetRange(u"A1")->SetValue(Variant(6.0));
  EXPECT_EQ(Value(*read, u"B1"), 5);
  EXPECT_EQ(Value(*read, u"C1"), 1);
}

// Our saves write the ARRAY record's tokens as read; the cells under a merged area keep their
// results.
TEST(KeptResults, ArrayRecordsAndMergedCellsAsRead) {
  const Bytes array = ArrayRecord();
  IXLSWorkbook read = Open(ArrayBook());
  const Bytes saved = Saved(*read, 2);
  EXPECT_EQ(RecordsOf(saved, {0x0221}), (Records{{0x0221, array}}));
  EXPECT_EQ(FormulaResults(saved), (std::vector<double>{3, 4, 3}));
  // A changed array formula is written from its tokens as we make them; the merged cells'
  // formulas are calculated.
  read->GetWorksheets().GetItem(1)->GetRange(u"A1")->GetEntireRow()->Insert();
  const Bytes changed = Saved(*read, 2);
  EXPECT_EQ(FormulaResults(changed), (std::vector<double>{3, 4, 3}));
  const Records moved = RecordsOf(changed, {0x0221});
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_NE(Bytes(moved[0].second.begin() + 6, moved[0].second.end()), Bytes(array.begin() + 6, array.end()));
  // Cells no longer under an area read as their values: what formulas see changed.
  IXLSWorkbook unmerged = Open(ArrayBook());
  EXPECT_TRUE(unmerged->ResultsAsRead());
  unmerged->GetWorksheets().GetItem(1)->GetRange(u"B3")->UnMerge();
  EXPECT_FALSE(unmerged->ResultsAsRead());
}

// Array formulas that name sheets and names by the numbers of the file's lists: our save
// numbers the workbook's names before a sheet's, so B4's tokens are written anew and still name
// Alpha and Local; B1:B2 still reads the sheet Other.
TEST(KeptResults, ArrayRecordsByListNumbersStillNameWhatTheyNamed) {
  IXLSWorkbook read = Open(ArrayRefBook());
  IXLSWorksheet& sheet = *read->GetWorksheets().GetItem(1);
  const std::u16string product = sheet.GetRange(u"B1")->GetFormula().TextValue();
  ASSERT_EQ(sheet.GetRange(u"B4")->GetFormula().TextValue(), u"{=SUM(Alpha)+Local}");
  IXLSWorkbook again = Open(Saved(*read, 2));
  IXLSWorksheet& saved = *again->GetWorksheets().GetItem(1);
  EXPECT_EQ(saved.GetRange(u"B1")->GetFormula().TextValue(), product);
  EXPECT_EQ(saved.GetRange(u"B4")->GetFormula().TextValue(), u"{=SUM(Alpha)+Local}");
  saved.GetRange(u"F9")->SetValue(Variant(1.0));  // calculated again
  EXPECT_EQ(saved.GetRange(u"B2")->GetValue().NumberValue(), 4);
  EXPECT_EQ(saved.GetRange(u"B4")->GetValue().NumberValue(), 4);
  // BIFF5 references number the file's sheets, the macro sheet we leave out included: Other is
  // the third sheet of the file and the second of our save.
  IXLSWorkbook biff5 = Open(MacroSheetArrayBook());
  ASSERT_EQ(biff5->GetWorksheets().GetCount(), 2);
  ASSERT_EQ(biff5->GetWorksheets().GetItem(1)->GetRange(u"B1")->GetFormula().TextValue(), u"{='Other'!$A$1:$A$2*2}");
  IXLSWorkbook back = Open(Saved(*biff5, 1));
  IXLSWorksheet& data = *back->GetWorksheets().GetItem(1);
  EXPECT_EQ(data.GetRange(u"B1")->GetFormula().TextValue(), u"{='Other'!$A$1:$A$2*2}");
  data.GetRange(u"F9")->SetValue(Variant(1.0));
  EXPECT_EQ(data.GetRange(u"B2")->GetValue().NumberValue(), 4);
}

}  // namespace
}  // namespace xls::test
