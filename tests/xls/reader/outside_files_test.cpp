// Workbooks that gnumeric and LibreOffice wrote (tests/data/xls): comments, protection and
// embedded charts are read as the file holds them and kept through a save; what cannot be read
// is left out, the rest of the sheet is read and the workbook says what was lost.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/byte_stream.h"
#include "platform/compound_file.h"
#include "reader_test_support.h"
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::u16string CommentText(IXLSWorksheet& sheet, const std::u16string& cell) {
  TXLSComment* comment = sheet.GetRange(cell)->GetComment();
  return comment ? comment->GetText() : u"(none)";
}

std::vector<const TXLSCustomChart*> Charts(IXLSWorksheet& sheet) {
  std::vector<const TXLSCustomChart*> charts;
  TMsoDrawing* drawing = FindDrawing(sheet);
  for (std::size_t i = 0; drawing && i < drawing->ShapeCount(); ++i)
    if (drawing->Shape(i)->Kind() == TMsoShapeKind::kChart)
      charts.push_back(static_cast<TMSOShapeChart*>(drawing->Shape(i))->Chart());
  return charts;
}

// gnumeric's BIFF5 file: two comments (not four), each the size of a new comment box, the first
// sheet protected without a password (PROTECT 1, then PASSWORD 0), and on the second sheet a
// note of 2103 characters in two NOTE records; so again after a BIFF8 and a BIFF5 save.
TEST(OutsideFiles, GnumericBiff5CommentsAndProtectionWithoutPassword) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(DataFile("gnumeric_biff5_notes.xls")), 1);
  EXPECT_EQ(book->GetCurrentFormat(), 1);
  auto check = [](TXLSWorkbook& b, const char* what) {
    SCOPED_TRACE(what);
    IXLSWorksheet& notes = *b.GetWorksheets().GetItem(1);
    EXPECT_TRUE(notes.Protection().GetProtected());
    EXPECT_FALSE(notes.Protection().HasPassword());
    EXPECT_FALSE(b.GetWorksheets().GetItem(2)->Protection().GetProtected());
    TMsoDrawing* drawing = FindDrawing(notes);
    ASSERT_NE(drawing, nullptr);
    EXPECT_EQ(drawing->Comments().Count(), 2u);
    EXPECT_EQ(drawing->ShapeCount(), 2u);
    EXPECT_EQ(CommentText(notes, u"B2"), u"first note");
    EXPECT_EQ(CommentText(notes, u"D5"), u"second note");
    for (std::size_t i = 1; i <= drawing->Comments().Count(); ++i) {
      const TMSOShapeTextBox* box = drawing->Comments().Item(i)->Shape();
      // A box measured back from a written anchor (whole rows and columns and their parts in
      // 1/1024 and 1/256) comes within a few points of its size; an empty anchor measured 0.
      EXPECT_NEAR(box->width, 96.0, 4.0);
      EXPECT_NEAR(box->height, 55.5, 4.0);
    }
    std::u16string longNote;
    for (int i = 0; i < 210; ++i) longNote += u"0123456789";
    EXPECT_EQ(CommentText(*b.GetWorksheets().GetItem(2), u"B3"), longNote + u"end");
    EXPECT_TRUE(b.GetReadLosses().empty());
  };
  check(*book, "opened");
  check(*SavedAndOpened(*book, 2), "saved as BIFF8");
  check(*SavedAndOpened(*book, 1), "saved as BIFF5");
}

// LibreOffice encrypts the BOF of an embedded chart: the chart is read with its records, the
// settings after it (the comment's NOTE) and the next sheet are read, and a save keeps the chart.
// The same file whose chart BOF stays encrypted in a plain stream (msoffcrypto-tool's twin):
// the chart cannot be read; it is left out with its chart object, the workbook says so, and the
// rest of the sheet is read.
TEST(OutsideFiles, EmbeddedChartOfAnEncryptedLibreOfficeFile) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorkbook twin = TXLSWorkbook::Create();
  ASSERT_EQ(book->OpenWithPassword(DataFile("lo_chart_encrypted.xls"), u"kestravel"), 1);
  ASSERT_EQ(twin->Open(DataFile("lo_chart_bad_bof.xls")), 1);
  auto check = [](TXLSWorkbook& b, bool chart, const char* what) {
    SCOPED_TRACE(what);
    IXLSWorksheet& sheet = *b.GetWorksheets().GetItem(1);
    const auto charts = Charts(sheet);
    ASSERT_EQ(charts.size(), chart ? 1u : 0u);
    if (chart) {
      ASSERT_NE(charts[0], nullptr);
      const auto& items = charts[0]->Items();
      ASSERT_GE(items.front().length, 4u);
      EXPECT_EQ(Bytes(charts[0]->Data(items.front()), charts[0]->Data(items.front()) + 4), (Bytes{0x00, 0x06, 0x20, 0x00}));
      EXPECT_EQ(items.back().id, 0x000A);
      EXPECT_EQ(std::count_if(items.begin(), items.end(), [](const auto& i) { return i.id == kRecChartSeriesLink; }), 4);
    }
    EXPECT_EQ(CommentText(sheet, u"A8"), u"after the chart");
    EXPECT_TRUE(sheet.Protection().GetProtected());
    EXPECT_TRUE(sheet.GetRange(u"D10")->GetMergeCells());
    EXPECT_EQ(b.GetWorksheets().GetItem(2)->GetRange(u"A1")->GetValue().TextValue(), u"next sheet");
  };
  EXPECT_TRUE(book->GetReadLosses().empty());
  check(*book, true, "opened");
  check(*SavedAndOpened(*book, 2), true, "saved");
  EXPECT_EQ(twin->GetReadLosses(),
            std::vector<std::u16string>{u"Sheet \"Sheet1\": an embedded object that could not be read was left out"});
  check(*twin, false, "twin");
  check(*SavedAndOpened(*twin, 2), false, "twin saved");
}

// Chart records that no chart object takes, substreams that cannot be read (a hundred are
// listed, then one line for the rest), and a chart object whose records never come (LibreOffice's
// records without the chart substream): each is left out and told of; what follows is read.
TEST(OutsideFiles, ChartsWithoutTheirOtherHalfAreReported) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  auto read = [&book](const BiffBuilder& b) {
    platform::MemoryStream stream(b.bytes);
    EXPECT_EQ(book->OpenStream(stream), 1);
    EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"A2")->GetValue().NumberValue(), 7.5);
    return book->GetReadLosses();
  };
  Bytes boundSheet = {0, 0, 0, 0, 0, 0}, number = {1, 0, 0, 0, 15, 0};
  PutString8(boundSheet, "Data", true);
  PutDouble(number, 7.5);
  BiffBuilder one, many;
  one.Bof(0x0005).Record(0x0085, boundSheet).Eof().Bof(0x0010).Bof(0x0020).Record(0x1001, {0, 0}).Eof();
  EXPECT_EQ(read(one.Record(0x0203, number).Eof()),
            std::vector<std::u16string>{u"Sheet \"Data\": an embedded chart without its chart object was left out"});
  many.Bof(0x0005).Record(0x0085, boundSheet).Eof().Bof(0x0010);
  for (int i = 0; i < 150; ++i) many.Record(0x0809, {0xFF, 0xFF, 0xFF, 0xFF}).Record(0x1001, {0, 0}).Eof();
  const auto losses = read(many.Record(0x0203, number).Eof());
  ASSERT_EQ(losses.size(), 101u);
  EXPECT_EQ(losses[99], u"Sheet \"Data\": an embedded object that could not be read was left out");
  EXPECT_EQ(losses[100], u"More was left out than is listed");

  platform::CompoundFileReader file;
  ASSERT_TRUE(file.OpenFile(std::string(KV_TEST_DATA) + "/xls/lo_chart_bad_bof.xls"));
  Bytes w;
  ASSERT_TRUE(file.ReadStream(file.Find(platform::CompoundFileReader::kRoot, u"Workbook"), w));
  BiffBuilder without;
  int bofs = 0;
  for (std::size_t p = 0, end = 0; p + 4 <= w.size(); p = end) {
    const std::uint16_t id = static_cast<std::uint16_t>(w[p] | w[p + 1] << 8);
    end = std::min(w.size(), p + 4 + static_cast<std::size_t>(w[p + 2] | w[p + 3] << 8));
    if (id == 0x0809) ++bofs;  // the globals, Sheet1, the chart, Second
    if (bofs != 3) without.Record(id, Bytes(w.begin() + static_cast<std::ptrdiff_t>(p + 4), w.begin() + static_cast<std::ptrdiff_t>(end)));
    if (id == 0x000A && bofs == 3) bofs = 4;
  }
  platform::MemoryStream stripped(without.bytes);
  ASSERT_EQ(book->OpenStream(stripped), 1);
  EXPECT_EQ(book->GetReadLosses(),
            std::vector<std::u16string>{u"Sheet \"Sheet1\": a chart object without its chart records was left out"});
  EXPECT_TRUE(Charts(*book->GetWorksheets().GetItem(1)).empty());
  EXPECT_EQ(CommentText(*book->GetWorksheets().GetItem(1), u"A8"), u"after the chart");
}

}  // namespace
}  // namespace xls::test
