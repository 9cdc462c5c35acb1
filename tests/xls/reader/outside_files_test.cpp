// Workbooks that gnumeric and LibreOffice wrote (tests/data/xls): comments, protection and
// embedded charts are read as the file holds them and kept through a save; what cannot be read
// is left out, the rest of the sheet is read and the workbook says what was lost.
#include <gtest/gtest.h>

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

std::u16string Data(const std::string& name) {
  const std::string path = std::string(KV_TEST_DATA) + "/xls/" + name;
  return std::u16string(path.begin(), path.end());
}

IXLSWorkbook SavedAndOpened(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1);
  platform::MemoryStream stream(saved.Bytes());
  IXLSWorkbook again = TXLSWorkbook::Create();
  EXPECT_EQ(again->OpenStream(stream), 1);
  return again;
}

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
  ASSERT_EQ(book->Open(Data("gnumeric_biff5_notes.xls")), 1);
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
TEST(OutsideFiles, EmbeddedChartOfAnEncryptedLibreOfficeFile) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->OpenWithPassword(Data("lo_chart_encrypted.xls"), u"kestravel"), 1);
  auto check = [](TXLSWorkbook& b, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(b.GetReadLosses().empty());
    IXLSWorksheet& sheet = *b.GetWorksheets().GetItem(1);
    const auto charts = Charts(sheet);
    ASSERT_EQ(charts.size(), 1u);
    ASSERT_NE(charts[0], nullptr);
    const auto& items = charts[0]->Items();
    ASSERT_GT(items.size(), 20u);
    EXPECT_EQ(items.front().id, 0x0809);
    ASSERT_GE(items.front().length, 4u);
    EXPECT_EQ(charts[0]->Data(items.front())[0] | charts[0]->Data(items.front())[1] << 8, 0x0600);
    EXPECT_EQ(charts[0]->Data(items.front())[2] | charts[0]->Data(items.front())[3] << 8, 0x0020);
    EXPECT_EQ(items.back().id, 0x000A);
    std::size_t seriesLinks = 0;
    for (const auto& item : items) seriesLinks += item.id == kRecChartSeriesLink;
    EXPECT_EQ(seriesLinks, 4u);
    EXPECT_EQ(CommentText(sheet, u"A8"), u"after the chart");
    EXPECT_TRUE(sheet.Protection().GetProtected());
    EXPECT_TRUE(sheet.GetRange(u"D10")->GetMergeCells());
    EXPECT_EQ(b.GetWorksheets().GetItem(2)->GetName(), u"Second");
    EXPECT_EQ(b.GetWorksheets().GetItem(2)->GetRange(u"A1")->GetValue().TextValue(), u"next sheet");
  };
  check(*book, "opened");
  check(*SavedAndOpened(*book, 2), "saved");
}

// The same file whose chart BOF stays encrypted in a plain stream: the chart cannot be read. It
// is left out with its chart object, the workbook says so, and the rest of the sheet is read.
TEST(OutsideFiles, UnreadableEmbeddedChartIsReportedAndTheSheetReadOn) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Data("lo_chart_bad_bof.xls")), 1);
  EXPECT_EQ(book->GetReadLosses(),
            std::vector<std::u16string>{u"Sheet \"Sheet1\": an embedded object that could not be read was left out"});
  IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
  EXPECT_TRUE(Charts(sheet).empty());
  EXPECT_EQ(CommentText(sheet, u"A8"), u"after the chart");
  EXPECT_TRUE(sheet.Protection().GetProtected());
  EXPECT_EQ(book->GetWorksheets().GetItem(2)->GetRange(u"A1")->GetValue().TextValue(), u"next sheet");
  IXLSWorkbook again = SavedAndOpened(*book, 2);
  EXPECT_TRUE(again->GetReadLosses().empty());
  EXPECT_EQ(CommentText(*again->GetWorksheets().GetItem(1), u"A8"), u"after the chart");
}

// Chart records that no chart object takes, substreams that cannot be read, and a chart object
// whose records never come: each is left out and told of; the cell after them is read.
TEST(OutsideFiles, ChartsWithoutTheirOtherHalfAreReported) {
  BiffBuilder b;
  b.Bof(0x0005);
  std::vector<std::uint8_t> boundSheet;
  PutDWord(boundSheet, 0);
  PutWord(boundSheet, 0);
  PutString8(boundSheet, "Data", true);
  b.Record(0x0085, boundSheet).Eof().Bof(0x0010).Bof(0x0020).Record(0x1001, {0, 0}).Eof();
  std::vector<std::uint8_t> number = {1, 0, 0, 0, 15, 0};
  PutDouble(number, 7.5);
  b.Record(0x0203, number).Eof();
  platform::MemoryStream stream(b.bytes);
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->OpenStream(stream), 1);
  EXPECT_EQ(book->GetReadLosses(),
            std::vector<std::u16string>{u"Sheet \"Data\": an embedded chart without its chart object was left out"});
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"A2")->GetValue().NumberValue(), 7.5);

  // 150 substreams that cannot be read: a hundred are listed, then one line for the rest.
  BiffBuilder many;
  many.Bof(0x0005).Record(0x0085, boundSheet).Eof().Bof(0x0010);
  for (int i = 0; i < 150; ++i) many.Record(0x0809, {0xFF, 0xFF, 0xFF, 0xFF}).Record(0x1001, {0, 0}).Eof();
  many.Record(0x0203, number).Eof();
  platform::MemoryStream manyStream(many.bytes);
  ASSERT_EQ(book->OpenStream(manyStream), 1);
  ASSERT_EQ(book->GetReadLosses().size(), 101u);
  EXPECT_EQ(book->GetReadLosses()[99], u"Sheet \"Data\": an embedded object that could not be read was left out");
  EXPECT_EQ(book->GetReadLosses()[100], u"More was left out than is listed");
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"A2")->GetValue().NumberValue(), 7.5);

  // LibreOffice's records with the chart substream taken out: its chart object stands alone.
  platform::CompoundFileReader file;
  ASSERT_TRUE(file.OpenFile(std::string(KV_TEST_DATA) + "/xls/lo_chart_bad_bof.xls"));
  std::vector<std::uint8_t> workbook;
  ASSERT_TRUE(file.ReadStream(file.Find(platform::CompoundFileReader::kRoot, u"Workbook"), workbook));
  BiffBuilder without;
  int sheets = 0;
  bool inChart = false;
  for (std::size_t p = 0; p + 4 <= workbook.size();) {
    const std::uint16_t id = static_cast<std::uint16_t>(workbook[p] | workbook[p + 1] << 8);
    const std::size_t n = static_cast<std::size_t>(workbook[p + 2] | workbook[p + 3] << 8);
    const std::vector<std::uint8_t> body(workbook.begin() + static_cast<std::ptrdiff_t>(p + 4),
                                         workbook.begin() + static_cast<std::ptrdiff_t>(std::min(workbook.size(), p + 4 + n)));
    p += 4 + n;
    if (id == 0x0809 && ++sheets == 3) inChart = true;  // globals, Sheet1, then the chart
    if (!inChart) without.Record(id, body);
    if (id == 0x000A) inChart = false;
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
