// Per-sheet settings: row and column information with their records, panes and the PANE
// record, protection with the password verifier, page setup and page breaks, window settings.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model_test_util.h"
#include "xls_test_util.h"

namespace xls {
namespace {

using testing::BlobBytes;

class SheetSettings : public ::testing::Test {
 protected:
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
};

std::vector<std::vector<std::uint8_t>> Records(const TXLSBlobList& list) {
  std::vector<std::vector<std::uint8_t>> out;
  TXLSBlob bytes;
  list.CopyRange(0, list.TotalSize(), bytes);
  std::vector<std::uint8_t> all = BlobBytes(bytes);
  for (std::size_t p = 0; p + 4 <= all.size();) {
    std::size_t n = 4u + all[p + 2] + 256u * all[p + 3];
    out.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(p), all.begin() + static_cast<std::ptrdiff_t>(p + n));
    p += n;
  }
  return out;
}

TEST_F(SheetSettings, ColumnInfoRuns) {
  TXLSColumnInfoList& cols = sheet->ColumnInfo();
  for (int c = 0; c < 3; ++c) cols.SetColumnInfo(c, 3000, 1, 15, false);
  cols.SetColumnInfo(3, 4000, 1, 15, false);
  cols.SetColumnInfo(254, 2340, 1, 15, false);
  cols.SetColumnInfo(255, 2340, 1, 15, false);
  book->XFList().PackIndices();  // formats are numbered for writing first
  TXLSBlobList out;
  cols.WriteColInfos(out);
  auto recs = Records(out);
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0], (std::vector<std::uint8_t>{0x55, 0x00, 2, 0, 8, 0}));
  EXPECT_EQ(recs[1], (std::vector<std::uint8_t>{0x7D, 0, 12, 0, 0, 0, 2, 0, 0xB8, 0x0B, 15, 0, 2, 0, 2, 0}));
  EXPECT_EQ(recs[2][4], 3);
  EXPECT_EQ(recs[2][6], 3);
  EXPECT_EQ(recs[3][4], 254);
  EXPECT_EQ(recs[3][6], 0);  // last column 256 for a run ending at IV
  EXPECT_EQ(recs[3][7], 1);

  TXLSColumnInfoList alone(&book->XFList());
  alone.SetColumnWidth(255, 10);
  TXLSBlobList one;
  alone.WriteColInfos(one);
  EXPECT_EQ(Records(one)[1][6], 255);
  EXPECT_EQ(alone.BuildStandardWidth(), nullptr);
  alone.SetStandardWidth(10);
  ASSERT_NE(alone.BuildStandardWidth(), nullptr);
}

TEST_F(SheetSettings, ColumnOutlineLevelsAndBounds) {
  TXLSColumnInfoList& cols = sheet->ColumnInfo();
  cols.SetOutlineLevel(4, 1);
  EXPECT_EQ(cols.GetEntry(4), nullptr);
  cols.SetOutlineLevel(4, 3);
  ASSERT_NE(cols.GetEntry(4), nullptr);
  EXPECT_EQ(cols.GetOutlineLevel(4), 3);
  cols.SetOutlineLevel(4, 9);
  EXPECT_EQ(cols.GetOutlineLevel(4), 3);
  TXLSBlobList out;
  cols.WriteColInfos(out);
  auto recs = Records(out);
  EXPECT_EQ(recs[1][12] | recs[1][13] << 8, 0x0202);
  EXPECT_EQ(cols.MaxOutlineLevel(), 2);
  // A collapsed group's mark sits on the column beside it, whose COLINFO carries it alone.
  cols.SetColumnInfo(5, cols.GetEntry(4)->width, 1, 15, false, true);
  EXPECT_TRUE(cols.IsCollapsed(5) && !cols.IsCollapsed(4));
  TXLSBlobList marked;
  cols.WriteColInfos(marked);
  recs = Records(marked);
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[2][4] | recs[2][6] << 8 | recs[2][12] << 16 | recs[2][13] << 24, 0x10020505);
  cols.DeleteColumnInfo(5);
  cols.SetColumnWidth(300, 5);  // outside: ignored
  cols.SetHidden(-1, true);
  EXPECT_FALSE(cols.IsHidden(-1));
  EXPECT_EQ(cols.GetColumnWidth(999), cols.GetColumnWidth(0));
  cols.SetHidden(0, true);
  cols.SetHidden(1, true);
  EXPECT_EQ(cols.GetFirstVisibleColumn(), 2);
  cols.DeleteColumnInfo(0);
  cols.DeleteColumnInfo(4);
  EXPECT_EQ(cols.FirstColumn(), 1);
  EXPECT_EQ(cols.LastColumn(), 1);
  EXPECT_EQ(cols.Count(), 1);
}

TEST_F(SheetSettings, RowRecords) {
  TXLSRowInfoList& rows = sheet->RowInfo();
  rows.SetRowHeight(2, 20);
  auto rec = BlobBytes(rows.BuildRowRecord(2));
  EXPECT_EQ(rec, (std::vector<std::uint8_t>{0x08, 0x02, 16, 0, 2, 0, 0, 0, 0, 0, 0x90, 0x01, 0, 0, 0, 0,
                                            0x40, 0x01, 15, 0}));
  rows.SetHidden(3, true);
  auto hidden = BlobBytes(rows.BuildRowRecord(3));
  EXPECT_EQ(hidden[16] & 0x60, 0x20);
  rows.SetRowInfo(65535, 300, true, 1, false, true, 21, false);
  ASSERT_NE(rows.Find(65535), nullptr);
  EXPECT_EQ(rows.GetRowXF(65535), 21);
  rows.SetRowInfo(65535, 300, true, 1, false, true, 4095, false);
  EXPECT_EQ(rows.GetRowXF(65535), 0);
  EXPECT_EQ(BlobBytes(rows.BuildDefaultRowHeight()), (std::vector<std::uint8_t>{0x25, 0x02, 4, 0, 0, 0, 0xFF, 0}));
  EXPECT_EQ(rows.GetRowHeight(100), 12.75);
  rows.SetOutlineLevel(10, 2);
  auto level = BlobBytes(rows.BuildRowRecord(10));
  EXPECT_EQ(level[16] & 0x17, 0x01);  // level 2, expanded: a level differing from its neighbours' is not collapsed
  rows.SetRowInfo(12, 255, false, 1, false, false, 15, false, true);
  EXPECT_TRUE(rows.IsCollapsed(12));
  EXPECT_EQ(BlobBytes(rows.BuildRowRecord(12))[16] & 0x17, 0x10);  // the collapsed group's mark
  sheet->GetRange(u"C3", u"E3")->SetValue(Variant(1.0));
  auto used = BlobBytes(rows.BuildRowRecord(2));
  EXPECT_EQ(used[6], 2);
  EXPECT_EQ(used[8], 5);
  TXLSBlobList out;
  rows.WriteRows(out, 0, 31);
  EXPECT_EQ(Records(out).size(), 4u);  // rows 3, 4, 11 and 13
  rows.SetRowHeight(7, 12.75);  // the default height set explicitly says nothing new
  EXPECT_TRUE(rows.IsDefaultRow(*rows.Find(7)));
}

TEST_F(SheetSettings, RowHeightIsClampedToItsField) {
  TXLSRowInfoList& rows = sheet->RowInfo();
  rows.SetRowHeight(1, 500);
  EXPECT_EQ(rows.Find(1)->height, 8190);
  EXPECT_EQ(rows.GetRowHeight(1), 409.5);
  rows.SetDefaultRowHeight(1e9);
  EXPECT_EQ(rows.GetDefaultRowHeight(), 409.5);
  rows.SetRowHeight(70000, 10);  // outside: ignored
  EXPECT_EQ(rows.Find(70000), nullptr);
}

TEST_F(SheetSettings, PasswordVerifier) {
  EXPECT_EQ(TXLSProtect::HashPassword(""), 0);
  EXPECT_EQ(TXLSProtect::HashPassword("password"), 0x83AF);
  EXPECT_EQ(TXLSProtect::HashPassword("abcdefghijklmnopq"), TXLSProtect::HashPassword("abcdefghijklmnopq"));
  EXPECT_NE(TXLSProtect::HashPassword("a"), TXLSProtect::HashPassword("b"));
  TXLSProtect p;
  EXPECT_EQ(p.GetOptions(), 0x4400);
  EXPECT_TRUE(p.Protect(""));
  EXPECT_TRUE(p.GetProtected());
  EXPECT_FALSE(p.HasPassword());
  EXPECT_TRUE(p.Unprotect("", true));
  EXPECT_TRUE(p.Protect("pw"));
  EXPECT_EQ(p.GetPasswordHash(), TXLSProtect::HashPassword("pw"));
  EXPECT_FALSE(p.Protect("other"));
  EXPECT_EQ(p.GetPasswordHash(), TXLSProtect::HashPassword("pw"));
  EXPECT_FALSE(p.Unprotect("wrong", true));
  EXPECT_TRUE(p.GetProtected());
  EXPECT_TRUE(p.Unprotect("anything", false));
  EXPECT_FALSE(p.GetProtected());
  p.SetProtected(true);
  p.SetPasswordHash(0x1234);
  EXPECT_TRUE(p.HasPassword());
  p.SetPasswordHash(0);
  EXPECT_TRUE(p.GetProtected());
  EXPECT_FALSE(p.HasPassword());
  EXPECT_EQ(p.GetPasswordHash(), 0);
  EXPECT_TRUE(p.Unprotect("", true));
  EXPECT_FALSE(p.GetProtected());
}

TEST_F(SheetSettings, FrozenPanesFromTheSelection) {
  sheet->SetSelection(sheet->GetRange(u"C5"));
  TXLSPanes& panes = sheet->GetPanes();
  EXPECT_EQ(panes.GetActivePane(), 3);
  EXPECT_EQ(panes.BuildPane(), nullptr);
  panes.SetFrozen(true);
  EXPECT_EQ(panes.RowSplit(), 4);
  EXPECT_EQ(panes.ColumnSplit(), 2);
  EXPECT_EQ(panes.TopRow(), 4);
  EXPECT_EQ(panes.LeftColumn(), 2);
  EXPECT_EQ(BlobBytes(panes.BuildPane()), (std::vector<std::uint8_t>{0x41, 0, 10, 0, 2, 0, 4, 0, 4, 0, 2, 0, 0, 0}));
  EXPECT_EQ(panes.GetActivePane(), 0);
  panes.SetSplitRow(2.3);
  EXPECT_EQ(panes.RowSplit(), 3);
  panes.SetSplitPosition(0, 0);
  EXPECT_FALSE(panes.HasPanes());
}

TEST_F(SheetSettings, DefaultSplitLimits) {
  sheet->SetSelection(sheet->GetRange(u"A31"));
  sheet->GetPanes().SetSplit(true);
  EXPECT_EQ(sheet->GetPanes().RowSplit(), 1);  // 30 rows down is past the limit
  EXPECT_EQ(sheet->GetPanes().ColumnSplit(), 1);
  sheet->GetPanes().SetSplit(false);
  sheet->SetSelection(sheet->GetRange(u"Z3"));
  sheet->GetPanes().SetSplit(true);
  EXPECT_EQ(sheet->GetPanes().RowSplit(), 2);
  EXPECT_EQ(sheet->GetPanes().ColumnSplit(), 0);
}

TEST_F(SheetSettings, SplitPaneRecordMeasuresColumnsAndRows) {
  TXLSPanes& panes = sheet->GetPanes();
  panes.SetSplitPosition(1.5, 2);
  // W = 8.43 + 0.5 x 8.43 characters, H = 2 x 12.75 points.
  auto rec = BlobBytes(panes.BuildPane());
  std::int32_t x = rec[4] | rec[5] << 8, y = rec[6] | rec[7] << 8;
  EXPECT_EQ(x, static_cast<std::int32_t>(std::nearbyint(390 + 113.879 * 8.43 * 1.5)));
  EXPECT_EQ(y, 255 + 20 * 25.5);
  EXPECT_EQ(panes.TopRow(), 2);
  EXPECT_EQ(panes.LeftColumn(), 1);
  EXPECT_EQ(sheet->SplitPanes(0, 0), 1);
  EXPECT_FALSE(panes.HasPanes());
  sheet->SplitPanes(8.43 * 5.625 * 2, 12.75);
  EXPECT_EQ(panes.ColumnSplit(), 2);
  EXPECT_EQ(panes.RowSplit(), 1);
  sheet->FreezePanes(1, 3, 10, 4);
  EXPECT_TRUE(panes.Frozen());
  EXPECT_EQ(panes.TopRow(), 10);
  EXPECT_EQ(panes.LeftColumn(), 4);
}

TEST_F(SheetSettings, PageSetupDefaultsAndRules) {
  IXLSPageSetup ps = sheet->GetPageSetup();
  EXPECT_EQ(ps->GetOrientation(), 1);
  EXPECT_EQ(ps->GetPaperSize(), 256);
  EXPECT_EQ(ps->GetZoom(), Variant(100));
  EXPECT_EQ(ps->GetFitToPagesTall(), Variant(false));
  EXPECT_EQ((std::vector<double>{ps->GetLeftMargin(), ps->GetRightMargin(), ps->GetTopMargin(), ps->GetBottomMargin(),
                                 ps->GetHeaderMargin(), ps->GetFooterMargin()}),
            (std::vector<double>{0.75, 0.75, 1, 1, 0.5, 0.5}));
  EXPECT_TRUE(ps->GetPrintGridlines());
  EXPECT_EQ(ps->GetPrintArea(), u"");
  ps->SetZoom(Variant(5));
  ps->SetZoom(Variant(401));
  EXPECT_EQ(ps->GetZoom(), Variant(100));
  ps->SetZoom(Variant(75));
  EXPECT_EQ(ps->GetZoom(), Variant(75));
  ps->SetZoom(Variant(false));
  EXPECT_EQ(ps->GetZoom(), Variant(false));
  ps->SetFitToPagesWide(Variant(2));
  EXPECT_EQ(ps->GetFitToPagesWide(), Variant(2));
  EXPECT_TRUE(ps->GetFitMode());
  ps->SetFitToPagesWide(Variant(false));
  EXPECT_EQ(ps->GetFitToPagesWide(), Variant(false));
  ps->SetOrientation(3);
  EXPECT_EQ(ps->GetOrientation(), 1);
  ps->SetOrder(2);
  EXPECT_EQ(ps->GetOrder(), 0);

  EXPECT_FALSE(ps->SetPrintArea(5, 0, 4, 3));
  EXPECT_FALSE(ps->SetPrintArea(0, 0, 65536, 3));
  EXPECT_TRUE(ps->SetPrintArea(0, 0, 9, 2));
  EXPECT_EQ(ps->GetPrintArea(), u"A1:C10");
  EXPECT_TRUE(ps->SetPrintAreaText(u"B2:D4"));
  EXPECT_EQ(ps->PrintAreaFirstRow(), 1);
  EXPECT_EQ(ps->PrintAreaLastColumn(), 3);
  EXPECT_FALSE(ps->SetPrintAreaText(u"B2"));
  EXPECT_EQ(ps->GetPrintArea(), u"B2:D4");
  EXPECT_TRUE(ps->SetPrintAreaText(u""));
  EXPECT_EQ(ps->GetPrintArea(), u"");
  EXPECT_EQ(ps->PrintAreaFirstRow(), -1);

  EXPECT_TRUE(ps->SetPrintTitleRows(u"$3:$1"));
  EXPECT_EQ(ps->GetPrintTitleRows(), u"$1:$3");
  EXPECT_TRUE(ps->SetPrintTitleColumns(u"$A:$B"));
  EXPECT_EQ(ps->GetPrintTitleColumns(), u"$A:$B");
  EXPECT_FALSE(ps->SetPrintTitleRows(u"x:y"));
  EXPECT_EQ(ps->GetPrintTitleRows(), u"$1:$3");
}

TEST_F(SheetSettings, PageBreaksStaySortedAndUnique) {
  TXLSHPageBreaks& h = sheet->GetHPageBreaks();
  TXLSPageBreak* ten = h.Add(*sheet->GetRange(u"A11"));
  h.Add(*sheet->GetRange(u"C6"));
  EXPECT_EQ(h.Add(*sheet->GetRange(u"B11")), ten);
  ASSERT_EQ(h.GetCount(), 2);
  EXPECT_EQ(h.GetItem(1)->GetPosition(), 5);
  EXPECT_EQ(h.GetItem(1)->GetIndex(), 1);
  EXPECT_EQ(h.GetItem(2)->GetPosition(), 10);
  EXPECT_EQ(h.GetItem(2)->GetIndex(), 2);
  EXPECT_EQ(h.GetItem(0), nullptr);
  EXPECT_EQ(h.GetItem(3), nullptr);
  EXPECT_NE(dynamic_cast<TXLSHPageBreak*>(ten), nullptr);
  TXLSVPageBreaks& v = sheet->GetVPageBreaks();
  EXPECT_EQ(v.Add(*sheet->GetRange(u"D1"))->GetPosition(), 3);
  EXPECT_NE(dynamic_cast<TXLSVPageBreak*>(v.GetItem(1)), nullptr);
  h.Clear();
  EXPECT_EQ(h.GetCount(), 0);
}

TEST_F(SheetSettings, WindowSettings) {
  sheet->SetZoom(Variant(5));
  sheet->SetZoom(Variant(401));
  EXPECT_EQ(sheet->GetZoom(), 100);
  sheet->SetZoom(Variant(250));
  EXPECT_EQ(sheet->GetZoom(), 250);
  sheet->SetZoom(Variant(true));
  EXPECT_EQ(sheet->GetZoom(), 250);
  sheet->SetZoom(Variant(false));
  EXPECT_EQ(sheet->GetZoom(), 100);
  sheet->SetVisible(Variant(3));
  EXPECT_EQ(sheet->GetVisible(), 0);
  sheet->SetVisible(Variant(false));
  EXPECT_EQ(sheet->GetVisible(), 1);
  sheet->SetVisible(Variant(2));
  EXPECT_EQ(sheet->GetVisible(), 2);
  sheet->SetScrollRow(0);
  sheet->SetScrollRow(65537);
  EXPECT_EQ(sheet->GetScrollRow(), 1);
  sheet->SetScrollRow(65536);
  EXPECT_EQ(sheet->GetScrollRow(), 65536);
  sheet->SetScrollColumn(257);
  EXPECT_EQ(sheet->GetScrollColumn(), 1);
  IXLSWorksheet* second = book->GetWorksheets().Add();
  second->Activate();
  EXPECT_EQ(book->GetActiveSheet(), second);
  EXPECT_FALSE(sheet->GetSelected());
  sheet->Select(false);
  EXPECT_TRUE(sheet->GetSelected());
  EXPECT_TRUE(second->GetSelected());
  sheet->Select(true);
  EXPECT_FALSE(second->GetSelected());
  EXPECT_EQ(book->GetActiveSheet(), sheet);
  EXPECT_EQ(second->MakeFirstVisibleTab(), 1);
  EXPECT_EQ(book->GetFirstVisibleTab(), 1);
  sheet->GetOutline().SetSummaryRow(0);
  sheet->GetOutline().SetSummaryColumn(2);
  EXPECT_EQ(sheet->GetOutline().GetSummaryRow(), 0);
  EXPECT_EQ(sheet->GetOutline().GetSummaryColumn(), 1);
}

}  // namespace
}  // namespace xls
