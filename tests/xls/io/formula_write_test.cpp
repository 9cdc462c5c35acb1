// FORMULA records as the sheet writer frames them: the cached result of each kind, the
// calculate-on-load option when there is none, and the STRING record after a text result.
#include <gtest/gtest.h>

#include "io_test_support.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

using test::BiffRecord;

TEST(FormulaWrite, CachedResultsOfEveryKind) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  const char16_t* formulas[] = {u"=1.5*2", u"=\"x\"&\"y\"", u"=MID(\"a\";5;1)", u"=1/0", u"=1<2", u"=OFFSET(A1;1;1)"};
  for (int i = 0; i < 6; ++i) ASSERT_EQ(sheet->GetRangeRC(i + 1, 1, i + 1, 1)->SetValue(Variant(formulas[i])), 1);
  for (int format : {kSaveBiff8, kSaveBiff5}) {
    SCOPED_TRACE(format);
    const auto records = test::ParseRecords(test::SaveStream(*book, format));
    std::vector<const BiffRecord*> cells;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].id == 0x0006) cells.push_back(&records[i]);
    }
    ASSERT_EQ(cells.size(), 6u);
    auto result = [](const BiffRecord* r) { return std::vector<std::uint8_t>(r->data.begin() + 6, r->data.begin() + 14); };
    // (xlrd reads the cached numbers, texts, errors and booleans of both formats back in
    // calc_interop_test.cpp.) The STRING record follows the text result's FORMULA at once; an
    // empty text has none.
    EXPECT_EQ(cells[0]->Word(14), 0u);
    ASSERT_EQ((cells[1] + 1)->id, 0x0207);
    if (format == kSaveBiff8) {
      EXPECT_EQ(result(cells[2]), (std::vector<std::uint8_t>{3, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
    } else {
      EXPECT_EQ(cells[2]->Double(6), 0.0);
    }
    EXPECT_NE((cells[2] + 1)->id, 0x0207);
    // Not computed here: no result, calculated on loading.
    EXPECT_EQ(cells[5]->Double(6), 0.0);
    EXPECT_EQ(cells[5]->Word(14), 2u);
    EXPECT_TRUE(test::CheckOffsets(test::SaveStream(*book, format)).empty());
  }
}

// A chain of SUMs each reading the cell below, saved: the writer calculates every cell from
// the top, and each calculation runs down the whole chain below it.
TEST(FormulaWrite, ChainsOfFunctionsSave) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  for (int r = 1; r < 3000; ++r) {
    ASSERT_EQ(sheet->GetRangeRC(r, 1, r, 1)->SetValue(Variant(u"=SUM(A" + Utf8ToWide(std::to_string(r + 1)) + u";1)")), 1);
  }
  ASSERT_EQ(sheet->GetRangeRC(3000, 1, 3000, 1)->SetValue(Variant(1.0)), 1);
  const auto records = test::ParseRecords(test::SaveStream(*book, kSaveBiff8));
  const BiffRecord* first = nullptr;
  for (const BiffRecord& r : records) {
    if (r.id == 0x0006 && !first) first = &r;
  }
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Double(6), 3000.0);  // A1's cached result
}

}  // namespace
}  // namespace xls
