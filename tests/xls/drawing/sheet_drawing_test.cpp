// Sheet drawings as the writer saves them: the records of a comment, the plain text of a
// protected workbook, NOTE records in both formats, comments and pictures that move with
// inserted and deleted cells, and the records read back into a drawing and written again.
#include <gtest/gtest.h>

#include <algorithm>

#include "drawing_test_util.h"
#include "platform/byte_stream.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/drawing/chart.h"
#include "picture_bytes.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<BiffRecord> FirstSheet(TXLSWorkbook& book, int format = kSaveBiff8) {
  const std::vector<BiffRecord> all = ParseRecords(SaveStream(book, format));
  return SheetRecords(all, SheetOffsets(all).at(0));
}

std::vector<BiffRecord> WithId(const std::vector<BiffRecord>& records, std::uint16_t id) {
  std::vector<BiffRecord> out;
  std::copy_if(records.begin(), records.end(), std::back_inserter(out), [id](const BiffRecord& r) { return r.id == id; });
  return out;
}

Bytes Utf16Text(const std::u16string& text) {
  Bytes out = {1};
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

TEST(SheetDrawing, CommentRecordsInTheDrawingList) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->GetRange(u"C4")->AddComment(u"Hello");
  sheet->GetRange(u"A1")->AddComment(u"");
  const std::vector<BiffRecord> part = DrawingPart(FirstSheet(*book));
  // MSODRAWING (fixed part + first SpContainer), OBJ, ClientTextbox, TXO, text, runs; then the
  // empty comment without text records; then the NOTEs.
  EXPECT_EQ(Ids(part), (std::vector<std::uint16_t>{0xEC, 0x5D, 0xEC, 0x1B6, 0x3C, 0x3C, 0xEC, 0x5D, 0xEC, 0x1B6, 0x1C, 0x1C}));
  const Bytes obj = {0x15, 0, 0x12, 0, 0x19, 0, 1, 0, 0x11, 0x60, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(part[1].data, obj);
  EXPECT_EQ(part[2].data, (Bytes{0, 0, 0x0D, 0xF0, 0, 0, 0, 0}));
  EXPECT_EQ(part[3].data, (Bytes{0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0x10, 0, 0, 0, 0, 0}));
  EXPECT_EQ(part[4].data, Utf16Text(u"Hello"));
  EXPECT_EQ(part[5].data, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(part[9].data, (Bytes{0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(part[10].data, (Bytes{3, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0}));  // C4, object 1
  EXPECT_EQ(part[11].data, (Bytes{0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0}));
  // The fixed part: DgContainer, Dg (drawing 1, 3 shapes, last id 1026), the group shape 1024.
  const Bytes& first = part[0].data;
  ASSERT_GE(first.size(), 80u);
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 4), (Bytes{0x0F, 0, 0x02, 0xF0}));
  EXPECT_EQ(Bytes(first.begin() + 8, first.begin() + 24), (Bytes{0x10, 0, 0x08, 0xF0, 8, 0, 0, 0, 3, 0, 0, 0, 0x02, 0x04, 0, 0}));
  EXPECT_EQ(Bytes(first.begin() + 64, first.begin() + 80), (Bytes{0x02, 0, 0x0A, 0xF0, 8, 0, 0, 0, 0, 4, 0, 0, 5, 0, 0, 0}));
  // The drawing group now has the Dgg with one cluster of 3 ids.
  const std::vector<BiffRecord> all = ParseRecords(SaveStream(*book, kSaveBiff8));
  const BiffRecord* group = FindRecord(all, kRecDrawingGroup);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(Bytes(group->data.begin() + 8, group->data.begin() + 40),
            (Bytes{0, 0, 6, 0xF0, 24, 0, 0, 0, 3, 4, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0}));
  EXPECT_TRUE(CheckOffsets(SaveStream(*book, kSaveBiff8)).empty());
}

TEST(SheetDrawing, ProtectedWorkbookWritesPlainCommentText) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->GetRange(u"B2")->AddComment(u"readable");
  ASSERT_TRUE(book->ProtectWithPassword("pw"));
  const std::vector<BiffRecord> all = ParseRecords(SaveStream(*book, kSaveBiff8));
  EXPECT_EQ(FindRecord(all, 0x002F), nullptr);  // no FILEPASS
  const std::vector<BiffRecord> part = DrawingPart(SheetRecords(all, SheetOffsets(all).at(0)));
  ASSERT_GE(part.size(), 5u);
  EXPECT_EQ(part[4].data, Utf16Text(u"readable"));
  // The scrambling itself, for workbooks that would carry a FILEPASS: the record header stays.
  TXLSBlob blob(8);
  for (std::uint8_t b : {0x3C, 0x00, 0x04, 0x00, 0x01, 0x72, 0x00, 0xFF}) blob.AddByte(b);
  RotateRight3(blob);
  EXPECT_EQ(Bytes(blob.GetData(), blob.GetData() + 8), (Bytes{0x3C, 0x00, 0x04, 0x00, 0x20, 0x4E, 0x00, 0xFF}));
}

TEST(SheetDrawing, NotesInBiff5AndSheetsWithoutShapes) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  IXLSWorksheet* plain = book->GetWorksheets().Add();
  sheet->GetRange(u"B3")->AddComment(u"caf\u00e9");
  sheet->GetRange(u"C1")->AddComment(std::u16string(2049, u'x'));  // longer than one BIFF5 NOTE
  plain->GetRange(u"A1")->SetValue(Variant(u"text"));
  const std::vector<BiffRecord> biff5 = DrawingPart(FirstSheet(*book, kSaveBiff5));
  ASSERT_EQ(Ids(biff5), (std::vector<std::uint16_t>{0x1C, 0x1C, 0x1C}));
  EXPECT_EQ(biff5[0].data, (Bytes{2, 0, 1, 0, 4, 0, 'c', 'a', 'f', 0xE9}));
  // The long note: 2048 characters and the whole length, then a record of row 0xFFFF with the rest.
  Bytes first = {0, 0, 2, 0, 0x01, 0x08};
  first.insert(first.end(), 2048, 'x');
  EXPECT_EQ(biff5[1].data, first);
  EXPECT_EQ(biff5[2].data, (Bytes{0xFF, 0xFF, 0, 0, 1, 0, 'x'}));
  const std::vector<BiffRecord> all = ParseRecords(SaveStream(*book, kSaveBiff5));
  EXPECT_EQ(FindRecord(all, kRecDrawingGroup), nullptr);
  // BIFF8: the sheet without shapes has no drawing records; only one drawing is registered.
  const std::vector<BiffRecord> all8 = ParseRecords(SaveStream(*book, kSaveBiff8));
  EXPECT_TRUE(DrawingPart(SheetRecords(all8, SheetOffsets(all8).at(1))).empty());
  EXPECT_EQ(FindRecord(all8, kRecDrawingGroup)->DWord(8 + 20), 1u);  // drawings saved
  // A long comment goes on in further CONTINUE records, each below the limit.
  for (const BiffRecord& r : DrawingPart(SheetRecords(all8, SheetOffsets(all8).at(0)))) EXPECT_LE(r.data.size(), 8224u);
}

TEST(SheetDrawing, CommentsAndPicturesMoveWithCells) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  TXLSComment* c5 = sheet->GetRange(u"C5")->AddComment(u"c5");
  sheet->GetRange(u"C9")->AddComment(u"c9");
  sheet->GetRange(u"E2")->AddComment(u"e2");
  EXPECT_EQ(sheet->GetRange(u"C5")->GetOrCreateComment(), c5);  // no second shape
  TXLSPicture* picture = sheet->GetShapes().AddPicture(MakePng(8, 8, 0), 10, 2);
  ASSERT_NE(picture, nullptr);
  TMsoDrawing& drawing = GetDrawing(*sheet);
  EXPECT_EQ(drawing.ShapeCount(), 4u);

  sheet->GetRange(u"A3", u"A4")->GetEntireRow()->Insert();  // two rows above C5
  EXPECT_EQ(sheet->GetRange(u"C7")->GetComment(), c5);
  EXPECT_EQ(sheet->GetRange(u"C5")->GetComment(), nullptr);
  EXPECT_EQ(sheet->GetRange(u"C11")->GetComment()->GetText(), u"c9");
  EXPECT_EQ(sheet->GetRange(u"E2")->GetComment()->GetText(), u"e2");
  EXPECT_EQ(picture->Shape()->Anchor().row1, 12);

  sheet->GetRange(u"C11")->GetEntireRow()->Delete();  // the comment's row goes
  EXPECT_EQ(sheet->GetRange(u"C11")->GetComment(), nullptr);
  EXPECT_EQ(sheet->GetRange(u"C7")->GetComment(), c5);
  EXPECT_EQ(drawing.ShapeCount(), 3u);
  EXPECT_EQ(picture->Shape()->Anchor().row1, 11);

  sheet->GetRange(u"E1", u"E3")->Clear();
  EXPECT_EQ(sheet->GetRange(u"E2")->GetComment(), nullptr);
  EXPECT_EQ(drawing.Comments().Count(), 1u);
  // The save writes one NOTE and OBJ records for what is left (the comment and the picture).
  const std::vector<BiffRecord> part = DrawingPart(FirstSheet(*book));
  EXPECT_EQ(WithId(part, kRecNote).size(), 1u);
  EXPECT_EQ(WithId(part, kRecObj).size(), 2u);
  EXPECT_EQ(WithId(part, kRecNote)[0].Word(0), 6);
  // A shape taken out of the drawing leaves no picture or comment behind.
  std::unique_ptr<TMsoShapeContainer> taken = drawing.RemoveShape(picture->Shape());
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(sheet->GetShapes().Count(), 0u);
  taken = drawing.RemoveShape(c5->Shape());
  EXPECT_EQ(drawing.Comments().Count(), 0u);
  EXPECT_EQ(drawing.ShapeCount(), 0u);
}

TEST(SheetDrawing, PicturesShareTheStoreAndRefuseOtherBytes) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  TXLSShapes& pictures = sheet->GetShapes();
  const Bytes png = MakePng(30, 20, 1), bmp = MakeBmp(5, 3, 2);
  ASSERT_NE(pictures.AddPicture(png, 0, 0), nullptr);
  ASSERT_NE(pictures.AddPicture(png, 5, 0), nullptr);
  TXLSPicture* dib = pictures.AddPicture(bmp, 0, 3);
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(pictures.AddPicture(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0), nullptr);
  EXPECT_EQ(pictures.Count(), 3u);
  TMSOPictureList& store = GetDrawingGroup(*book).Pictures();
  ASSERT_EQ(store.Count(), 2u);
  EXPECT_EQ(store.Item(0)->refCount, 2u);
  EXPECT_EQ(store.Item(0)->blipType, kBlipPNG);
  // A BMP is kept from its info header on; the size comes from the image (22.5 x 15 points).
  EXPECT_EQ(dib->GetPicture()->blipType, kBlipDIB);
  EXPECT_EQ(dib->GetPicture()->data, Bytes(bmp.begin() + 14, bmp.end()));
  EXPECT_DOUBLE_EQ(pictures.Item(1)->Shape()->width, 22.5);
  EXPECT_DOUBLE_EQ(pictures.Item(1)->Shape()->height, 15.0);
}

// Our own drawing records, read into a fresh drawing and group and written again, come back
// byte for byte, comment boxes too; object ids are kept and a new comment takes the next one.
TEST(SheetDrawing, OwnRecordsReadBackAndWriteAgain) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->GetRange(u"B2")->AddComment(u"one");
  sheet->GetRange(u"D7")->AddComment(u"two \u20ac");
  sheet->GetShapes().AddPicture(MakePng(12, 9, 0), 3, 3);
  sheet->GetShapes().AddPicture(MakeBmp(7, 4, 1), 12, 1);
  const std::vector<BiffRecord> all = ParseRecords(SaveStream(*book, kSaveBiff8));
  const std::vector<BiffRecord> records = SheetRecords(all, SheetOffsets(all).at(0));

  IXLSWorkbook copy = TXLSWorkbook::Create();
  IXLSWorksheet* target = copy->GetWorksheets().Add();
  ASSERT_EQ(GetDrawingGroup(*copy).Read(*DrawingGroupData(all)), 1);
  TMsoDrawing& drawing = GetDrawing(*target);
  ReadSheetDrawing(records, drawing);
  ASSERT_EQ(drawing.Comments().Count(), 2u);
  EXPECT_EQ(drawing.Comments().Find(6, 3)->GetText(), u"two \u20ac");
  ASSERT_EQ(drawing.Pictures().Count(), 2u);
  EXPECT_EQ(drawing.Pictures().Item(2)->GetPicture()->blipType, kBlipDIB);
  EXPECT_EQ(GetDrawingGroup(*copy).Pictures().Count(), 2u);

  const std::vector<BiffRecord> again = ParseRecords(SaveStream(*copy, kSaveBiff8));
  const std::vector<BiffRecord> part = DrawingPart(records), partAgain = DrawingPart(SheetRecords(again, SheetOffsets(again).at(0)));
  ASSERT_EQ(Ids(part), Ids(partAgain));
  // A comment box is placed again beside its cell from the size read from its anchor: the same
  // anchor.
  for (std::size_t i = 0; i < part.size(); ++i) EXPECT_EQ(part[i].data, partAgain[i].data) << "record " << i;
  EXPECT_EQ(FindRecord(all, kRecDrawingGroup)->data, FindRecord(again, kRecDrawingGroup)->data);

  TXLSComment* added = target->GetRange(u"A1")->AddComment(u"new");
  EXPECT_EQ(added->Shape()->objectId, 5);
}

// A chart's records come back as read but for the series links, whose formulas go through the
// calculator; one that does not compile is written with an empty formula.
TEST(SheetDrawing, ChartRecordsWithSeriesFormulas) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  book->GetWorksheets().Add();
  TXLSCustomChart chart;
  const Bytes bof = {0, 6, 0x20, 0, 0xBB, 0x0D, 0xCC, 0x07};
  const Bytes link = {1, 2, 0, 0, 0, 0, 5, 0, 0x24, 3, 0, 1, 0xC0};  // ptgRef $B$4
  const Bytes broken = {1, 1, 0, 0, 0, 0, 2, 0, 0xFF, 0xFF};
  chart.AddRecord(0x0809, static_cast<std::uint32_t>(bof.size()), bof.data());
  chart.AddRecord(kRecChartSeriesLink, static_cast<std::uint32_t>(link.size()), link.data());
  chart.AddRecord(kRecChartSeriesLink, static_cast<std::uint32_t>(broken.size()), broken.data());
  chart.AddRecord(0x000A, 0, nullptr);
  chart.Compile(book->Formulas().Calculator());
  TXLSBlobList out;
  ASSERT_EQ(chart.WriteRecords(out), 1);
  Bytes written;
  for (std::size_t i = 0; i < out.Count(); ++i) written.insert(written.end(), out.GetChunk(i)->GetData(), out.GetChunk(i)->GetData() + out.GetChunk(i)->GetSize());
  Bytes expected = {0x09, 0x08, 8, 0};
  expected.insert(expected.end(), bof.begin(), bof.end());
  expected.insert(expected.end(), {0x51, 0x10, 13, 0});
  expected.insert(expected.end(), link.begin(), link.end());
  expected.insert(expected.end(), {0x51, 0x10, 8, 0, 1, 1, 0, 0, 0, 0, 0, 0});
  expected.insert(expected.end(), {0x0A, 0, 0, 0});
  EXPECT_EQ(written, expected);
}

TEST(SheetDrawing, CommentsGoWithCopiedAndClearedCells) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  IXLSWorksheet* other = book->GetWorksheets().Add();
  sheet->GetRange(u"B2")->AddComment(u"note");
  sheet->GetRange(u"B2")->Copy(sheet->GetRange(u"D4"));
  ASSERT_NE(sheet->GetRange(u"D4")->GetComment(), nullptr);
  EXPECT_EQ(sheet->GetRange(u"D4")->GetComment()->GetText(), u"note");
  sheet->GetRange(u"B2")->CopyTo(other->GetRange(u"A1"), 16);  // comments only, to another sheet
  ASSERT_NE(other->GetRange(u"A1")->GetComment(), nullptr);
  EXPECT_EQ(other->GetRange(u"A1")->GetComment()->GetText(), u"note");
  sheet->GetRange(u"C9")->Copy(sheet->GetRange(u"D4"));  // a cell without a comment over it
  EXPECT_EQ(sheet->GetRange(u"D4")->GetComment(), nullptr);
  sheet->GetRange(u"B2")->Cut(sheet->GetRange(u"F6"));
  EXPECT_EQ(sheet->GetRange(u"B2")->GetComment(), nullptr);
  EXPECT_EQ(sheet->GetRange(u"F6")->GetComment()->GetText(), u"note");
  EXPECT_EQ(GetDrawing(*sheet).ShapeCount(), 1u);
}

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void EscherHeader(Bytes& b, std::uint32_t version, std::uint32_t instance, std::uint16_t type, std::size_t length) {
  const std::uint32_t first = version | instance << 4 | static_cast<std::uint32_t>(type) << 16;
  Put16(b, first & 0xFFFF), Put16(b, first >> 16);
  Put16(b, static_cast<std::uint32_t>(length & 0xFFFF)), Put16(b, static_cast<std::uint32_t>(length >> 16));
}

std::unique_ptr<TXLSBlobList> OneBlock(const Bytes& bytes) {
  auto list = std::make_unique<TXLSBlobList>();
  auto* block = new TXLSBlob(0);
  for (std::uint8_t c : bytes) block->AddByte(c);
  list->Add(block);
  return list;
}

// A list box read from a file: its list formula is compiled, and written back through the
// calculator with both size words; its other sub-records as read.
TEST(SheetDrawing, ListBoxFormulaReadAndWrittenBack) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  Bytes shape;
  EscherHeader(shape, 2, kShapeHostControl, kMsoSp, 8);
  for (std::uint32_t w : {0x0401u, 0u, 0x0A00u, 0u}) Put16(shape, w);
  EscherHeader(shape, 3, 0, kMsoOpt, 0);
  EscherHeader(shape, 0, 0, kMsoClientAnchor, 18);
  for (std::uint32_t w : {0u, 1u, 0u, 2u, 0u, 3u, 0u, 6u, 0u}) Put16(shape, w);
  EscherHeader(shape, 0, 0, kMsoClientData, 0);
  Bytes container;
  EscherHeader(container, 15, 0, kMsoSpContainer, shape.size());
  container.insert(container.end(), shape.begin(), shape.end());
  Bytes group;
  EscherHeader(group, 15, 0, kMsoSpgrContainer, container.size());
  group.insert(group.end(), container.begin(), container.end());
  Bytes dg;
  EscherHeader(dg, 0, 1, kMsoDg, 8);
  for (std::uint32_t w : {2u, 0u, 0x0401u, 0u}) Put16(dg, w);
  Bytes drawingData;
  EscherHeader(drawingData, 15, 0, kMsoDgContainer, dg.size() + group.size());
  drawingData.insert(drawingData.end(), dg.begin(), dg.end());
  drawingData.insert(drawingData.end(), group.begin(), group.end());

  Bytes cmo = {0x15, 0, 0x12, 0, 18, 0, 7, 0, 0x11, 0x20};
  cmo.resize(4 + 18, 0);
  const Bytes sbs = {0x0C, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 1, 0, 10, 0, 0, 0, 16, 0, 1, 0};
  // ftLbsData: cbFmla, cce 9, 4 bytes, ptgArea $A$1:$A$3, then lines, selection, flags, edit id.
  const Bytes lbs = {15, 0, 9, 0, 0, 0, 0, 0, 0x25, 0, 0, 2, 0, 0, 0xC0, 0, 0xC0, 3, 0, 0, 0, 0x01, 0x03, 0, 0};
  Bytes obj = cmo;
  obj.insert(obj.end(), sbs.begin(), sbs.end());
  obj.insert(obj.end(), {0x13, 0, 0xEE, 0x1F});
  obj.insert(obj.end(), lbs.begin(), lbs.end());

  TMsoDrawing& drawing = GetDrawing(*sheet);
  ASSERT_EQ(drawing.ReadDrawing(*OneBlock(drawingData)), 1);
  ASSERT_EQ(drawing.ReadObj(*OneBlock(obj)), 1);
  ASSERT_EQ(drawing.FinishRead(), 1);
  ASSERT_EQ(drawing.ShapeCount(), 1u);
  auto* list = dynamic_cast<TMSOShapeListBox*>(drawing.Shape(0));
  ASSERT_NE(list, nullptr);
  ASSERT_NE(list->lbsData, nullptr);
  EXPECT_NE(list->lbsData->formula, nullptr);

  const std::vector<BiffRecord> objs = WithId(DrawingPart(FirstSheet(*book)), kRecObj);
  ASSERT_EQ(objs.size(), 1u);
  Bytes expected = cmo;
  expected.insert(expected.end(), sbs.begin(), sbs.end());
  expected.insert(expected.end(), {0x13, 0, 0xDE, 0x1F});
  expected.insert(expected.end(), lbs.begin(), lbs.end());
  EXPECT_EQ(objs[0].data, expected);
}

// The RTF export takes the sheet's pictures (those in the used range) from the drawing.
TEST(SheetDrawing, RtfExportShowsThePictures) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->GetRange(u"A1")->SetValue(Variant(u"x"));
  sheet->GetRange(u"C3")->SetValue(Variant(u"y"));
  const Bytes png = MakePng(4, 3, 0);
  ASSERT_NE(sheet->GetShapes().AddPicture(png, 1, 1), nullptr);
  platform::MemoryStream out;
  ASSERT_EQ(book->SaveAsRTFToStream(out), 1);
  const Bytes bytes = out.Bytes();
  const std::string rtf(bytes.begin(), bytes.end());
  EXPECT_NE(rtf.find("{\\pict\\pngblip"), std::string::npos);
  EXPECT_NE(rtf.find("89504E470D0A1A0A"), std::string::npos);  // the PNG's signature in hexadecimal
}

}  // namespace
}  // namespace xls::test
