// Hyperlinks: kinds, cell text and styling, deleting and shifting, the HLINK and HLINKTOOLTIP
// bytes, and reading them back, malformed records included.
#include <gtest/gtest.h>

#include <vector>

#include "model_test_util.h"
#include "xls/model/blob.h"
#include "xls/model/cell_address.h"
#include "xls/model/hyperlinks.h"

namespace xls {
namespace {

std::vector<std::uint8_t> Data(const TXLSBlob& record) {
  return std::vector<std::uint8_t>(record.GetData() + 4, record.GetData() + record.GetSize());
}

struct Sheet {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  TXLSCustomHyperlinks& links = sheet->Hyperlinks();
  IXLSRange R(const char16_t* a, const char16_t* b) { return sheet->GetRange(a, b); }
};

TEST(Hyperlinks, KindsTextAndStyle) {
  EXPECT_EQ(TXLSCustomHyperlink::DetectKind(u"HTTP://example.com"), kLinkUrl);
  EXPECT_EQ(TXLSCustomHyperlink::DetectKind(u"mailto:a@b.c"), kLinkUrl);
  EXPECT_EQ(TXLSCustomHyperlink::DetectKind(u"\\\\server\\share\\f.txt"), kLinkUnc);
  EXPECT_EQ(TXLSCustomHyperlink::DetectKind(u"docs/readme.txt"), kLinkUrl);
  EXPECT_EQ(TXLSCustomHyperlink::DetectKind(u"report.xls"), kLinkFile);
  EXPECT_EQ(TXLSCustomHyperlink::DetectKind(u""), kLinkPlace);

  Sheet s;
  IXLSHyperLinks all = s.sheet->GetHyperlinks();
  IXLSHyperLink a = all->Add(s.R(u"C3", u"B2"), u"report.xls", u"Sheet2!A1");
  ASSERT_TRUE(a);
  EXPECT_EQ(s.R(u"B2", u"B2")->GetValue(), Variant(u"report.xls#Sheet2!A1"));
  EXPECT_EQ(s.R(u"C3", u"C3")->GetFontUnderline(), 1);  // single
  EXPECT_EQ(s.R(u"C3", u"C3")->GetFont()->GetColor(), 0xFF0000u);
  IXLSHyperLink place = all->Add(s.R(u"A5", u"A5"), u"", u"Sheet1!D4", u"tip");
  EXPECT_EQ(s.R(u"A5", u"A5")->GetValue(), Variant(u"Sheet1!D4"));
  EXPECT_EQ(place->GetKind(), kLinkPlace);
  all->Add(s.R(u"A7", u"A7"), u"mailto:x@y.z", u"", u"", u"Mail us");
  EXPECT_EQ(s.R(u"A7", u"A7")->GetValue(), Variant(u"Mail us"));
  EXPECT_EQ(s.R(u"A1", u"B4")->GetHyperlinks()->GetCount(), 1);

  place->Delete();
  EXPECT_EQ(all->GetCount(), 2);
  EXPECT_EQ(s.links.GetItem(2)->Index(), 2);
  EXPECT_EQ(s.R(u"A5", u"A5")->GetFontUnderline(), 0);
  EXPECT_EQ(place->GetAddress(), u"");  // the object outlives its link harmlessly
  a->SetRange(s.R(u"D1", u"D1"));
  EXPECT_EQ(s.R(u"B2", u"B2")->GetFontUnderline(), 0);
  EXPECT_EQ(s.R(u"D1", u"D1")->GetFontUnderline(), 1);
  s.R(u"A1", u"IV65536")->GetHyperlinks()->Delete();
  EXPECT_EQ(all->GetCount(), 0);
  testing::ExpectBalancedUses(*s.book);
}

TEST(Hyperlinks, AreasDropAndShift) {
  Sheet s;
  s.links.Add(s.R(u"A1", u"A1"), u"http://a", u"", u"", u"");
  s.links.Add(s.R(u"B5", u"C6"), u"http://b", u"", u"", u"");
  s.links.Add(s.R(u"A65535", u"A65535"), u"http://c", u"", u"", u"");
  // Two rows inserted above row 2.
  s.links.MoveAreas([](std::int32_t& r1, std::int32_t& c1, std::int32_t& r2, std::int32_t& c2) {
    return ShiftReference(r1, c1, r2, c2, true, TXLSCellShift{1, 0, 0, 2, 255, 65535});
  });
  ASSERT_EQ(s.links.Count(), 2);              // the last one went off the sheet
  EXPECT_EQ(s.links.GetItem(2)->firstRow, 6);
  EXPECT_EQ(s.links.GetItem(2)->Index(), 2);
  s.links.DeleteArea(7, 2, 7, 2);  // one common cell is enough
  ASSERT_EQ(s.links.Count(), 1);
  EXPECT_EQ(s.links.GetItem(1)->address, u"http://a");
}

TEST(Hyperlinks, TravelWithTheirCells) {
  Sheet s;
  s.links.Add(s.R(u"B2", u"B2"), u"http://b2", u"", u"", u"");
  s.links.Add(s.R(u"D4", u"E5"), u"http://d4", u"", u"", u"");
  s.R(u"A1", u"A1")->GetEntireRow()->Insert();  // one row above both
  EXPECT_EQ(s.links.GetItem(1)->firstRow, 2);
  EXPECT_EQ(s.links.GetItem(2)->lastRow, 5);
  s.R(u"A1", u"A1")->GetEntireColumn()->Insert();
  EXPECT_EQ(s.links.GetItem(1)->firstColumn, 2);
  s.R(u"C3", u"C3")->GetEntireRow()->Delete();  // the first link's row
  ASSERT_EQ(s.links.Count(), 1);
  EXPECT_EQ(s.links.GetItem(1)->firstRow, 3);
  EXPECT_EQ(s.R(u"E4", u"E4")->GetValue(), Variant(u"http://d4"));
  // Cells left of the link move left over all its rows: so does it (as a reference to its cells).
  s.R(u"A4", u"B5")->Delete(Variant(-4159));
  EXPECT_EQ(s.links.GetItem(1)->firstColumn, 2);
  EXPECT_EQ(s.links.GetItem(1)->lastColumn, 3);
  s.R(u"A1", u"C3")->Clear();  // does not touch it
  EXPECT_EQ(s.links.Count(), 1);
  s.R(u"D5", u"D5")->ClearContents();  // values only
  EXPECT_EQ(s.links.Count(), 1);
  s.R(u"D5", u"D5")->Clear();
  EXPECT_EQ(s.links.Count(), 0);
  testing::ExpectBalancedUses(*s.book);
}

TEST(Hyperlinks, CopiedAndMovedWithTheirCells) {
  Sheet s;
  s.links.Add(s.R(u"A1", u"A1"), u"http://a", u"", u"", u"");
  s.links.Add(s.R(u"A2", u"B2"), u"http://wide", u"", u"", u"");  // not wholly inside A1:A2
  s.R(u"A1", u"A2")->Copy(s.R(u"C1", u"C6"));
  ASSERT_EQ(s.links.Count(), 5);  // three copies of the first link
  EXPECT_EQ(s.links.GetItem(5)->firstRow, 4);
  EXPECT_EQ(s.links.GetItem(5)->firstColumn, 2);
  EXPECT_EQ(s.R(u"C5", u"C5")->GetValue(), Variant(u"http://a"));
  Sheet t;
  t.links.Add(t.R(u"A1", u"A1"), u"http://a", u"", u"", u"");
  t.R(u"A1", u"B1")->Cut(t.R(u"B1", u"C1"));
  ASSERT_EQ(t.links.Count(), 1);
  EXPECT_EQ(t.links.GetItem(1)->firstColumn, 1);
  EXPECT_EQ(t.R(u"B1", u"B1")->GetFontUnderline(), 1);
  EXPECT_TRUE(t.R(u"A1", u"A1")->GetValue().IsEmpty());
  IXLSWorksheet* other = t.book->GetWorksheets().Add();
  t.R(u"B1", u"B1")->Cut(other->GetRange(u"D4"));
  EXPECT_EQ(t.links.Count(), 0);
  ASSERT_EQ(other->Hyperlinks().Count(), 1);
  EXPECT_EQ(other->Hyperlinks().GetItem(1)->firstRow, 3);
  testing::ExpectBalancedUses(*t.book);
}

TEST(Hyperlinks, RecordsAndReadingBack) {
  Sheet s;
  TXLSCustomHyperlink* url = s.links.Add(s.R(u"B2", u"C3"), u"http://example.com/x", u"top", u"Go there", u"Example");
  TXLSCustomHyperlink* file = s.links.Add(s.R(u"A9", u"A9"), u"..\\data\\f.xls", u"", u"", u"");
  TXLSCustomHyperlink* unc = s.links.Add(s.R(u"A10", u"A10"), u"\\\\srv\\share", u"", u"", u"");
  std::vector<std::unique_ptr<TXLSBlob>> records;
  ASSERT_EQ(s.links.WriteRecords([&](std::unique_ptr<TXLSBlob> r) {
    records.push_back(std::move(r));
    return 1;
  }), 1);
  ASSERT_EQ(records.size(), 4u);  // HLINK, HLINKTOOLTIP, HLINK, HLINK
  EXPECT_EQ(records[0]->GetWord(0), 0x01B8);
  EXPECT_EQ(records[0]->GetWord(2), records[0]->GetSize() - 4);
  EXPECT_EQ(records[0]->GetWord(4), 1);  // rows 1-2, columns 1-2
  EXPECT_EQ(records[0]->GetWord(6), 2);
  EXPECT_EQ(records[0]->GetWord(8), 1);
  EXPECT_EQ(records[0]->GetWord(10), 2);
  EXPECT_EQ(records[0]->GetDWord(32), 0x1Fu);  // text, URL, absolute, sub-address
  EXPECT_EQ(records[1]->GetWord(0), 0x0800);
  EXPECT_EQ(records[2]->GetDWord(32) & 3, 1u);  // relative file: no flag 2
  EXPECT_EQ(records[3]->GetDWord(32) & 0x103, 0x103u);

  Sheet back;
  for (const auto& r : records) {
    auto d = Data(*r);
    if (r->GetWord(0) == 0x01B8) EXPECT_GT(back.links.LoadHLINK(d.data(), d.size()), 0);
    else EXPECT_EQ(back.links.LoadHLINKTooltip(d.data(), d.size()), 1);
  }
  ASSERT_EQ(back.links.Count(), 3);
  for (int i = 1; i <= 3; ++i) {
    const TXLSCustomHyperlink* want = i == 1 ? url : i == 2 ? file : unc;
    const TXLSCustomHyperlink* got = back.links.GetItem(i);
    EXPECT_EQ(got->address, want->address);
    EXPECT_EQ(got->kind, want->kind);
    EXPECT_EQ(got->subAddress, want->subAddress);
    EXPECT_EQ(got->textToDisplay, want->textToDisplay);
    EXPECT_EQ(got->screenTip, want->screenTip);
    EXPECT_EQ(got->lastRow, want->lastRow);
  }
}

TEST(Hyperlinks, OverrunningRecordsAreDropped) {
  Sheet s;
  s.links.Add(s.R(u"A1", u"A1"), u"http://example.com", u"Sheet1!B2", u"tip", u"text");
  auto d = Data(*s.links.GetItem(1)->BuildHLINK());
  Sheet back;
  // Every cut of the record is refused, and a count that claims more than the record holds too.
  for (std::size_t n = 0; n < d.size(); ++n) EXPECT_EQ(back.links.LoadHLINK(d.data(), n), -1) << n;
  auto inflated = d;
  inflated[34] = 0xFF;  // text-to-display count
  inflated[35] = 0x7F;
  EXPECT_EQ(back.links.LoadHLINK(inflated.data(), inflated.size()), -1);
  EXPECT_EQ(back.links.Count(), 0);
  EXPECT_EQ(back.links.LoadHLINKTooltip(d.data(), 4), -1);  // no link to take it
  ASSERT_EQ(back.links.LoadHLINK(d.data(), d.size()), 1);
  const std::uint8_t tooltip[] = {0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 'h', 0, 'i', 0, 0, 0};
  EXPECT_EQ(back.links.LoadHLINKTooltip(tooltip, 11), -1);  // shorter than its head and terminator
  EXPECT_EQ(back.links.LoadHLINKTooltip(tooltip, sizeof tooltip), 1);
  EXPECT_EQ(back.links.GetItem(1)->screenTip, u"hi");
}

}  // namespace
}  // namespace xls
