// The records of one sheet substream: their order, the choice of cell records, merged areas,
// row blocks, DIMENSIONS and the page, window and protection records.
#include <gtest/gtest.h>

#include "io_test_support.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/cell_address.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

using test::BiffRecord;

// The records of the first sheet of a workbook saved in a format.
std::vector<BiffRecord> FirstSheet(TXLSWorkbook& book, int format = kSaveBiff8) {
  const auto records = test::ParseRecords(test::SaveStream(book, format));
  const BiffRecord* bound = test::FindRecord(records, 0x0085);
  if (!bound) {
    ADD_FAILURE() << "no BOUNDSHEET";
    return {};
  }
  return test::Substream(records, bound->DWord(0));
}

std::vector<BiffRecord> CellRecords(const std::vector<BiffRecord>& sheet) {
  std::vector<BiffRecord> out;
  for (const BiffRecord& r : sheet) {
    switch (r.id) {
      case 0x0203: case 0x027E: case 0x00BD: case 0x0201: case 0x00BE: case 0x0205: case 0x00FD:
      case 0x0204: case 0x00E5:
        out.push_back(r);
        break;
      default:
        break;
    }
  }
  return out;
}

struct Book {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  void Set(const char16_t* cell, const Variant& v) { sheet->GetRange(cell)->SetValue(v); }
};

TEST(SheetWriter, PlainSheetRecordOrder) {
  Book b;
  b.Set(u"A1", Variant(u"text"));
  b.Set(u"B2", Variant(2.0));
  const auto sheet = FirstSheet(*b.book);
  const std::vector<std::uint16_t> expected = {
      0x0809, 0x020B, 0x000D, 0x000C, 0x000F, 0x0011, 0x0010, 0x005F, 0x0055, 0x0225, 0x002A, 0x002B,
      0x0082, 0x0080, 0x0081, 0x00A1, 0x0200, 0x0208, 0x0208, 0x00FD, 0x027E, 0x00D7, 0x0029, 0x0028,
      0x0027, 0x0026, 0x0084, 0x0083, 0x0015, 0x0014, 0x023E, 0x001D, 0x000A};
  EXPECT_EQ(test::Ids(sheet), expected);
  const BiffRecord* bof = test::FindRecord(sheet, 0x0809);
  EXPECT_EQ(bof->Word(0), 0x0600);
  EXPECT_EQ(bof->Word(2), 0x0010);
  const BiffRecord* dims = test::FindRecord(sheet, 0x0200);
  EXPECT_EQ(dims->data, (std::vector<std::uint8_t>{0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0, 0, 0}));
  EXPECT_EQ(test::FindRecord(sheet, 0x0081)->Word(0), 0x04C1);
  EXPECT_EQ(test::FindRecord(sheet, 0x0082)->Word(0), 0);  // gridlines printed by default
  const BiffRecord* window = test::FindRecord(sheet, 0x023E);
  EXPECT_EQ(window->Word(0), 0x0002 | 0x0004 | 0x0010 | 0x0020 | 0x0080 | 0x0200 | 0x0400);
  EXPECT_EQ(window->Word(6), 64);
  const BiffRecord* selection = test::FindRecord(sheet, 0x001D);
  EXPECT_EQ(selection->data, (std::vector<std::uint8_t>{3, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
  const BiffRecord* setup = test::FindRecord(sheet, 0x00A1);
  EXPECT_EQ(setup->Word(2), 100);
  EXPECT_EQ(setup->Word(10), 0x0002);  // portrait
  EXPECT_EQ(setup->Double(16), 0.5);
  // An empty header and footer are written all the same.
  EXPECT_EQ(test::FindRecord(sheet, 0x0014)->data, (std::vector<std::uint8_t>{0, 0, 1}));
}

TEST(SheetWriter, NumberRunsBlankRunsAndRecordChoice) {
  Book b;
  b.Set(u"A1", Variant(1.0));
  b.Set(u"B1", Variant(2.0));
  b.Set(u"C1", Variant(3.0));
  b.Set(u"A2", Variant(1.0));
  b.Set(u"B2", Variant(1.5));
  b.Set(u"C2", Variant(0.123));
  b.Set(u"E2", Variant(7.0));  // after an empty slot: a run of its own
  b.Set(u"A3", Variant(42.0));
  b.Set(u"B3", Variant::Date(45000.0));
  b.Set(u"C3", Variant(true));
  b.Set(u"D3", Variant::Error(7));
  b.sheet->GetRange(u"B4", u"C4")->SetFontBold(true);  // formatted blanks
  b.sheet->GetRange(u"E4")->SetFontBold(true);
  const auto cells = CellRecords(FirstSheet(*b.book));
  std::vector<std::uint16_t> ids;
  for (const auto& r : cells) ids.push_back(r.id);
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{0x00BD, 0x00BD, 0x0203, 0x027E, 0x027E, 0x0203, 0x0205, 0x0205,
                                             0x00BE, 0x0201}));
  // MULRK A1:C1: row 0, first column 0, three (XF, RK) pairs, last column 2.
  EXPECT_EQ(cells[0].data.size(), 6u + 18u);
  EXPECT_EQ(cells[0].Word(22), 2);
  EXPECT_EQ(DecodeRK(cells[0].DWord(6)), 1.0);
  EXPECT_EQ(DecodeRK(cells[0].DWord(18)), 3.0);
  EXPECT_EQ(DecodeRK(cells[1].DWord(12)), 1.5);
  EXPECT_EQ(cells[1].Word(22 - 6), 1);        // MULRK A2:B2 ends at column 1
  EXPECT_EQ(cells[2].Double(6), 0.123);
  EXPECT_EQ(cells[3].Word(2), 4);  // E2 on its own
  EXPECT_EQ(cells[5].Double(6), 45000.0);  // a date never goes into RK
  EXPECT_EQ(cells[6].data[6], 1);
  EXPECT_EQ(cells[6].data[7], 0);
  EXPECT_EQ(cells[7].data[6], 7);  // #DIV/0! as an error
  EXPECT_EQ(cells[7].data[7], 1);
  EXPECT_EQ(cells[8].Word(0), 3);
  EXPECT_EQ(cells[8].Word(2), 1);
  EXPECT_EQ(cells[8].Word(8), 2);
  EXPECT_NE(cells[8].Word(4), 0);
}

TEST(SheetWriter, MergedAreaWritesItsMasterBlanksAndMergeCells) {
  Book b;
  b.Set(u"A1", Variant(u"merged"));
  b.sheet->GetRange(u"A1", u"B2")->Merge();
  b.Set(u"D5", Variant(5.0));
  const auto cells = CellRecords(FirstSheet(*b.book));
  std::vector<std::uint16_t> ids;
  for (const auto& r : cells) ids.push_back(r.id);
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{0x00FD, 0x0201, 0x0201, 0x0201, 0x00E5, 0x027E}));
  EXPECT_EQ((std::vector<int>{cells[1].Word(0), cells[1].Word(2), cells[2].Word(0), cells[2].Word(2),
                              cells[3].Word(0), cells[3].Word(2)}),
            (std::vector<int>{0, 1, 1, 0, 1, 1}));
}

TEST(SheetWriter, RowBlocksOfThirtyTwoRowsAndSparseRows) {
  Book b;
  for (int r = 1; r <= 41; ++r) b.sheet->GetRangeRC(r, 1, r, 1)->SetValue(Variant(static_cast<double>(r)));
  auto sheet = FirstSheet(*b.book);
  std::vector<std::uint16_t> blockIds;
  for (const auto& r : sheet)
    if (r.id == 0x0208 || r.id == 0x00D7) blockIds.push_back(r.id);
  std::vector<std::uint16_t> expected(32, 0x0208);
  expected.push_back(0x00D7);
  expected.insert(expected.end(), 9, 0x0208);
  expected.push_back(0x00D7);
  EXPECT_EQ(blockIds, expected);

  Book sparse;
  sparse.Set(u"A1", Variant(1.0));
  sparse.Set(u"A101", Variant(2.0));
  sheet = FirstSheet(*sparse.book);
  const BiffRecord* index = test::FindRecord(sheet, 0x020B);
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(index->data.size(), 16u + 4 * 4);
  EXPECT_EQ(index->DWord(4), 0u);
  EXPECT_EQ(index->DWord(8), 101u);
  std::vector<std::size_t> dbSizes;
  for (const auto& r : sheet)
    if (r.id == 0x00D7) dbSizes.push_back(r.data.size());
  EXPECT_EQ(dbSizes, (std::vector<std::size_t>{6, 4, 4, 6}));
  EXPECT_TRUE(test::CheckOffsets(test::SaveStream(*sparse.book, kSaveBiff8)).empty());
}

TEST(SheetWriter, EmptySheetHasNoIndexAndFullWidthDimensions) {
  Book b;
  const auto sheet = FirstSheet(*b.book);
  EXPECT_EQ(test::FindRecord(sheet, 0x020B), nullptr);
  EXPECT_EQ(test::FindRecord(sheet, 0x0200)->data, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}));
  const BiffRecord* db = test::FindRecord(sheet, 0x00D7);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->data, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST(SheetWriter, PageWindowAndProtectionRecords) {
  Book b;
  b.Set(u"A1", Variant(1.0));
  b.sheet->SetZoom(Variant(75));
  TXLSPageSetup& page = *b.sheet->GetPageSetup();
  page.SetCenterHeader(u"Title");
  page.SetLeftFooter(u"L");
  page.SetRightFooter(u"R");
  page.SetPrintGridlines(false);
  page.SetOrientation(2);
  page.SetZoom(Variant(false));
  b.sheet->GetHPageBreaks().AddBreak(20);
  b.sheet->GetHPageBreaks().AddBreak(10);
  b.sheet->GetVPageBreaks().AddBreak(3);
  b.sheet->Protection().Protect("secret");
  b.sheet->FreezePanes(1, 2, 2, 1);
  auto sheet = FirstSheet(*b.book);
  EXPECT_EQ(test::FindRecord(sheet, 0x00A0)->data, (std::vector<std::uint8_t>{75, 0, 100, 0}));
  const BiffRecord* header = test::FindRecord(sheet, 0x0014);
  EXPECT_EQ(header->Word(0), 7);
  EXPECT_EQ(header->data.size(), 3u + 14u);
  EXPECT_EQ(header->Word(3), u'&');
  EXPECT_EQ(header->Word(5), u'C');
  EXPECT_EQ(test::FindRecord(sheet, 0x0015)->Word(0), 6);  // "&LL&RR"
  EXPECT_EQ(test::FindRecord(sheet, 0x0082)->Word(0), 1);
  EXPECT_EQ(test::FindRecord(sheet, 0x0081)->Word(0), 0x05C1);
  EXPECT_EQ(test::FindRecord(sheet, 0x00A1)->Word(10) & 0x0002, 0);  // landscape
  EXPECT_EQ(test::FindRecord(sheet, 0x0012)->Word(0), 1);
  EXPECT_EQ(test::FindRecord(sheet, 0x0013)->Word(0), TXLSProtect::HashPassword("secret"));
  EXPECT_EQ(test::FindRecord(sheet, 0x0867)->data.size(), 23u);

  // BIFF5: the same protection without SHEETPROTECTION. (Page breaks, frozen panes, merged
  // areas and BIFF5 labels with their CR and 255-byte cut are read back by xlrd in interop_test.cpp.)
  sheet = FirstSheet(*b.book, kSaveBiff5);
  EXPECT_NE(test::FindRecord(sheet, 0x0013), nullptr);
  EXPECT_EQ(test::FindRecord(sheet, 0x0867), nullptr);

  Book plain;
  sheet = FirstSheet(*plain.book);
  for (std::uint16_t id : {0x0012, 0x00DD, 0x0063, 0x0013, 0x0867, 0x00A0, 0x001B, 0x001A, 0x0041})
    EXPECT_EQ(test::FindRecord(sheet, id), nullptr) << std::hex << id;
}

TEST(SheetWriter, Biff5SheetCarriesLabelsAndItsExternSheets) {
  Book b;
  b.book->GetWorksheets().Add();
  b.Set(u"A1", Variant(u"caf\u00E9\nline"));
  const auto sheet = FirstSheet(*b.book, kSaveBiff5);
  EXPECT_EQ(test::FindRecord(sheet, 0x0809)->Word(0), 0x0500);
  EXPECT_EQ(test::FindRecord(sheet, 0x00FD), nullptr);
  std::vector<std::vector<std::uint8_t>> externs;
  for (const auto& r : sheet)
    if (r.id == 0x0017) externs.push_back(r.data);
  EXPECT_EQ(test::FindRecord(sheet, 0x0016)->Word(0), 3);
  EXPECT_EQ(externs, (std::vector<std::vector<std::uint8_t>>{
                         {1, 2}, {6, 3, 'S', 'h', 'e', 'e', 't', '2'}, {1, 4}}));
  EXPECT_EQ(test::FindRecord(sheet, 0x0200)->data.size(), 10u);
  EXPECT_EQ(test::FindRecord(sheet, 0x023E)->data.size(), 10u);
}

TEST(SheetWriter, Date1904ShiftKeepsTimesOfDay) {
  Book b;
  b.book->SetDate1904(true);
  b.Set(u"A1", Variant::Date(40000.0));
  b.Set(u"A2", Variant::Date(1000.0));  // before 1904: a negative serial there
  b.Set(u"A3", Variant(0.75));
  b.sheet->GetRange(u"A3")->SetNumberFormat(u"hh:mm");
  b.Set(u"A4", Variant(40000.0));  // a plain number is not moved
  const auto cells = CellRecords(FirstSheet(*b.book));
  ASSERT_EQ(cells.size(), 4u);
  // Whole serials go as RK numbers.
  ASSERT_EQ(cells[0].id, 0x027E);
  EXPECT_EQ(DecodeRK(cells[0].DWord(6)), 40000.0 - 1462);
  ASSERT_EQ(cells[1].id, 0x027E);
  EXPECT_EQ(DecodeRK(cells[1].DWord(6)), 1000.0 - 1462);
  ASSERT_EQ(cells[2].id, 0x027E);
  EXPECT_EQ(DecodeRK(cells[2].DWord(6)), 0.75);  // kept
  ASSERT_EQ(cells[3].id, 0x027E);
}

}  // namespace
}  // namespace xls
