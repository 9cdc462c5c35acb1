// Comments and pictures written by the library, read by independent programs: xlrd's note map,
// LibreOffice's reading (annotations and images of an OpenDocument conversion, and a rendering of the
// sheet through its PDF export), and drawing records that LibreOffice writes, which must parse
// and come back byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "drawing_test_util.h"
#include "io_test_support.h"
#include "picture_bytes.h"
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/drawing_parser.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

const std::string kPeer = std::string(KV_SOURCE_DIR) + "/tests/xls/drawing/drawing_peer.py";

std::string Peer(const std::string& args) {
  std::string out;
  const int code = RunCommand("/usr/bin/python3 " + kPeer + " " + args, out);
  EXPECT_EQ(code, 0) << out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  // soffice may print notices before the answer: the answer is the last line.
  const std::size_t nl = out.rfind('\n');
  return nl == std::string::npos ? out : out.substr(nl + 1);
}

// A workbook with comments on two sheets (one of them protected by a password) and three
// pictures, one of each kind.
IXLSWorkbook BuildBook(const TempDir& dir, bool protect) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* first = book->GetWorksheets().Add();
  IXLSWorksheet* second = book->GetWorksheets().Add();
  first->GetRange(u"A1")->SetValue(Variant(u"values"));
  first->GetRange(u"B2")->AddComment(u"plain note");
  first->GetRange(u"D5")->AddComment(u"Umlaute \u00e4\u00f6\u00fc and \u20ac");
  second->GetRange(u"C3")->AddComment(u"on the second sheet");
  TXLSShapes& pictures = first->GetShapes();
  EXPECT_NE(pictures.AddPicture(MakePng(60, 40, 0), 7, 1), nullptr);
  EXPECT_NE(pictures.AddPicture(MakeBmp(50, 30, 1), 7, 4), nullptr);
  const std::vector<std::uint8_t> jpeg = ReadFileBytes(dir.File("picture.jpg"));
  if (!jpeg.empty()) {
    EXPECT_NE(pictures.AddPicture(jpeg, 14, 1), nullptr);
  }
  if (protect) book->ProtectWithPassword("secret");
  return book;
}

// A JPEG from poppler: a one-page PDF with coloured rectangles rendered with pdftoppm -jpeg.
void MakeJpeg(const TempDir& dir) {
  const std::string content = "1 0 0 rg 0 0 40 30 re f 0 0 1 rg 40 0 40 30 re f";
  std::string pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                    "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                    "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 80 30]/Contents 4 0 R>>endobj\n"
                    "4 0 obj<</Length " + std::to_string(content.size()) + ">>stream\n" + content +
                    "\nendstream endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";
  WriteFileBytes(dir.File("box.pdf"), std::vector<std::uint8_t>(pdf.begin(), pdf.end()));
  std::string out;
  RunCommand("pdftoppm -jpeg -r 72 -singlefile " + dir.File("box.pdf") + " " + dir.File("picture"), out);
  ASSERT_FALSE(ReadFileBytes(dir.File("picture.jpg")).empty()) << out;
}

TEST(DrawingInterop, CommentsAndPicturesSeenByXlrdAndLibreOffice) {
  TempDir dir;
  MakeJpeg(dir);
  for (bool protect : {false, true}) {
    SCOPED_TRACE(protect ? "protected workbook" : "plain workbook");
    IXLSWorkbook book = BuildBook(dir, protect);
    const std::string file = dir.File(protect ? "protected.xls" : "notes.xls");
    WriteFileBytes(file, SaveFileBytes(*book, 2));
    if (const char* keep = std::getenv("KV_DRAWING_KEEP")) WriteFileBytes(std::string(keep) + "/" + file.substr(file.rfind('/') + 1), ReadFileBytes(file));
    EXPECT_EQ(Peer("notes " + file),
              "{\"Sheet1\": [[1, 1, \"plain note\", \"\"], [4, 3, \"Umlaute \\u00e4\\u00f6\\u00fc and \\u20ac\", \"\"]], "
              "\"Sheet2\": [[2, 2, \"on the second sheet\", \"\"]]}");
    EXPECT_EQ(Peer("ods " + file + " " + dir.Path()),
              "{\"Sheet1\": {\"annotations\": [[1, 1, \"plain note\"], [4, 3, \"Umlaute \\u00e4\\u00f6\\u00fc and \\u20ac\"]], "
              "\"images\": 3}, \"Sheet2\": {\"annotations\": [[2, 2, \"on the second sheet\"]], \"images\": 0}}");
  }
  // The rendering is kept for a look at it: KV_DRAWING_RENDER names where to copy it.
  // The pictures' red, green and blue bands (and the JPEG's red and blue halves) are on the page.
  const std::string rendered = Peer("render " + dir.File("notes.xls") + " " + dir.Path());
  ASSERT_EQ(rendered.rfind("error", 0), std::string::npos) << rendered;
  const std::string png = rendered.substr(0, rendered.find(' '));
  int red = 0, green = 0, blue = 0;
  ASSERT_EQ(std::sscanf(rendered.c_str() + png.size(), " red %d green %d blue %d", &red, &green, &blue), 3) << rendered;
  EXPECT_GT(red, 150) << rendered;
  EXPECT_GT(green, 100) << rendered;
  EXPECT_GT(blue, 150) << rendered;
  const std::vector<std::uint8_t> page = ReadFileBytes(png);
  if (const char* keep = std::getenv("KV_DRAWING_RENDER")) WriteFileBytes(keep, page);
}

// Row, column, width and height (points) of every comment box, sheet by sheet, as we read them.
std::vector<double> OurBoxes(const std::string& file) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->Open(Utf8ToWide(file)), 1) << file;
  std::vector<double> boxes;
  for (std::int32_t i = 1; i <= book->GetWorksheets().GetCount(); ++i)
    if (TMsoDrawing* drawing = FindDrawing(*book->GetWorksheets().GetItem(i)))
      for (std::size_t k = 1; k <= drawing->Comments().Count(); ++k) {
        const TMSOShapeTextBox& box = *drawing->Comments().Item(k)->Shape();
        boxes.insert(boxes.end(), {1.0 * box.row, 1.0 * box.column, box.width, box.height});
      }
  return boxes;
}

// LibreOffice's two comment boxes and gnumeric's three (one of 2103 characters) through our save:
// we read them at the size we read from the original (within 0.1 point: anchors are rounded to
// 1/256 of a row, 1/1024 of a column), LibreOffice as it measured them there (within 0.1 mm), and
// xlrd and gnumeric find the comments.
TEST(DrawingInterop, CommentBoxesOfOtherProgramsKeepTheirSize) {
  TempDir dir;
  WriteFileBytes(dir.File("picture.png"), MakePng(40, 30, 2));
  const std::string lo = Peer("make " + dir.File("lo.xls") + " " + dir.File("picture.png") + " " + dir.Path());
  std::string out;
  ASSERT_EQ(RunCommand("ssconvert -T Gnumeric_Excel:excel_biff8 " + std::string(KV_SOURCE_DIR) +
                       "/tests/data/xls/gnumeric_notes.gnumeric " + dir.File("gnumeric.xls") + " 2>&1", out), 0) << out;
  auto same = [](const std::vector<double>& saved, const std::vector<double>& source, double tolerance) {
    ASSERT_EQ(saved.size(), source.size());
    for (std::size_t k = 0; k < saved.size(); ++k) EXPECT_NEAR(saved[k], source[k], k % 4 < 2 ? 0 : tolerance) << k;
  };
  auto measured = [](const std::string& source) {  // LibreOffice's [[[row, column, width, height], ...], ...]
    std::istringstream in(std::regex_replace(Peer("boxes " + source), std::regex("[^0-9]+"), " "));
    return std::vector<double>(std::istream_iterator<double>(in), std::istream_iterator<double>());
  };
  for (const std::string& source : {lo, dir.File("gnumeric.xls")}) {
    SCOPED_TRACE(source);
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Utf8ToWide(source)), 1);
    const std::string saved = source + ".saved.xls";
    WriteFileBytes(saved, SaveFileBytes(*book, 2));
    ASSERT_EQ(OurBoxes(source).size(), source == lo ? 8u : 12u);
    same(OurBoxes(saved), OurBoxes(source), 0.1);
    same(measured(saved), measured(source), 10);
    EXPECT_EQ(Peer("notes " + saved), Peer("notes " + source));
    EXPECT_NE(Peer("gnumeric " + saved + " " + saved + ".gnumeric.xls").find("\"warnings\": []"), std::string::npos);
  }
}

// Every record object's bytes from header and data, as read.
template <typename Record>
std::vector<std::uint8_t> Rewritten(Record& record, const TMSOHeader& header, const TXLSBlob& data) {
  EXPECT_EQ(record.ReadFromBlob(header, data), 1);
  std::unique_ptr<TXLSBlob> blob = record.GetBlob();
  return blob ? std::vector<std::uint8_t>(blob->GetData(), blob->GetData() + blob->GetSize()) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> Original(const TMSOHeader& h, const TXLSBlob& data) {
  TXLSBlob b(8 + data.GetSize());
  WriteEscherHeader(b, h.Version(), h.Instance(), h.Length(), h.RecType());
  b.AddWholeBlob(data);
  return std::vector<std::uint8_t>(b.GetData(), b.GetData() + b.GetSize());
}

// The records of the chart embedded in a sheet (between its BOF and EOF), in their order.
std::vector<const BiffRecord*> ChartRecords(const std::vector<BiffRecord>& records) {
  std::vector<const BiffRecord*> out;
  int depth = 0;
  for (const BiffRecord& r : records) {
    if (r.id == 0x0809) ++depth;
    if (depth > 1) out.push_back(&r);
    if (r.id == 0x000A && depth > 1) --depth;
  }
  return out;
}

// A workbook that LibreOffice writes with two comments, a picture and a chart (LibreOffice is
// started once to make it). Its drawing group and its sheet's drawing records parse, every record
// object comes back byte for byte, and the drawing read into our model is written again and read
// by xlrd and LibreOffice. Opened by the reader with a sheet put in front of the chart's sheet,
// the chart's series still point at their cells. Its chart records written as a chart sheet of
// their own (behind a BOUNDSHEET of type 2) keep the stream's offsets and LibreOffice finds them.
// The chart's own fonts survive the saves, and a chart sheet that gnumeric writes is read as one
// and saved again with a sheet in front of it.
TEST(DrawingInterop, LibreOfficeDrawingRecordsParseComeBackAndMove) {
  TempDir dir;
  const std::vector<std::uint8_t> png = MakePng(40, 30, 2);
  WriteFileBytes(dir.File("picture.png"), png);
  const std::string made = Peer("make " + dir.File("lo.xls") + " " + dir.File("picture.png") + " " + dir.Path());
  ASSERT_EQ(made, dir.File("lo.xls"));
  const std::vector<BiffRecord> all = ParseRecords(ReadStream(ReadFileBytes(made), u"Workbook"));

  // The drawing group: the picture store, the clusters and the property table.
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  TMSODrawingGroup& group = GetDrawingGroup(*book);
  ASSERT_EQ(group.Read(*DrawingGroupData(all)), 1);
  ASSERT_EQ(group.Pictures().Count(), 1u);
  EXPECT_EQ(group.Pictures().Item(0)->blipType, kBlipPNG);
  EXPECT_EQ(group.Dgg().ClusterCount(), 1u);

  // The sheet's Escher records, walked over its MSODRAWING records: every atom that the library
  // keeps as an object is written back as read.
  const std::vector<BiffRecord> records = SheetRecords(all, SheetOffsets(all).at(0));
  TXLSDrawingParser parser;
  int compared = 0;
  parser.OnHeader = [](TXLSDrawingParser&, const TMSOHeader&, bool&, bool) {};
  parser.OnAtom = [&](TXLSDrawingParser&, const TMSOHeader& h, const TXLSBlob& data) {
    std::vector<std::uint8_t> again;
    if (h.RecType() == kMsoOpt || h.RecType() == kMsoTertiaryOpt) {
      TMsoFbtOpt opt;
      again = Rewritten(opt, h, data);
    } else if (h.RecType() == kMsoClientAnchor) {
      TMsoFbtClientAnchor anchor;
      again = Rewritten(anchor, h, data);
    } else if (h.RecType() == kMsoSp) {
      TMsoFbtSp sp(h, &data);
      std::unique_ptr<TXLSBlob> blob = sp.GetBlob();
      again = std::vector<std::uint8_t>(blob->GetData(), blob->GetData() + blob->GetSize());
    } else {
      TMsoFbtUnknown kept;
      again = Rewritten(kept, h, data);
    }
    EXPECT_EQ(again, Original(h, data)) << "record type " << std::hex << h.RecType();
    ++compared;
  };
  for (const BiffRecord& r : records) {
    if (r.id == kRecMsoDrawing) parser.ParseBytes(r.data.data(), r.data.size());
  }
  EXPECT_GE(compared, 12);  // Dg, and Sp, Opt, anchor, client data of every shape
  // The picture store's entries come back as read but for the uid, which is our MD4 of the data.
  const std::vector<std::uint8_t> groupBytes = [&] {
    std::unique_ptr<TXLSBlobList> data = DrawingGroupData(all);
    std::vector<std::uint8_t> b;
    for (std::size_t i = 0; i < data->Count(); ++i) b.insert(b.end(), data->GetChunk(i)->GetData(), data->GetChunk(i)->GetData() + data->GetChunk(i)->GetSize());
    return b;
  }();
  TXLSBlob entry(0);
  group.Pictures().Item(0)->WriteTo(entry);
  std::vector<std::uint8_t> written(entry.GetData(), entry.GetData() + entry.GetSize());
  const auto bse = std::search(groupBytes.begin(), groupBytes.end(), written.begin(), written.begin() + 4);
  ASSERT_NE(bse, groupBytes.end());
  std::vector<std::uint8_t> read(bse, bse + static_cast<std::ptrdiff_t>(std::min<std::size_t>(written.size(), static_cast<std::size_t>(groupBytes.end() - bse))));
  for (std::size_t at : {10u, 8u + 36u + 8u})
    for (std::size_t k = 0; k < 16; ++k) read[at + k] = written[at + k];
  EXPECT_EQ(written, read);

  // The shapes read into our model: two comments, the picture and the chart with its records.
  TMsoDrawing& drawing = GetDrawing(*sheet);
  ReadSheetDrawing(records, drawing);
  ASSERT_EQ(drawing.Comments().Count(), 2u);
  EXPECT_EQ(drawing.Comments().Find(2, 3)->GetText(), u"first note");
  EXPECT_EQ(drawing.Comments().Find(7, 5)->GetText(), u"second note\nwith two lines");
  ASSERT_EQ(drawing.Pictures().Count(), 1u);
  EXPECT_EQ(drawing.Pictures().Item(1)->GetPicture()->blipType, kBlipPNG);
  const TMSOShapeChart* chart = nullptr;
  for (std::size_t i = 0; i < drawing.ShapeCount(); ++i)
    if (drawing.Shape(i)->Kind() == TMsoShapeKind::kChart) chart = static_cast<const TMSOShapeChart*>(drawing.Shape(i));
  ASSERT_NE(chart, nullptr);
  ASSERT_NE(chart->Chart(), nullptr);
  const std::vector<const BiffRecord*> chartRecords = ChartRecords(records);
  EXPECT_EQ(chart->Chart()->Items().size(), chartRecords.size());

  // Saved again, the comments and the picture are what xlrd and LibreOffice find. (The chart's
  // series cannot compile in a workbook that lacks the file's sheet references: that is the
  // reader's part, below.) LibreOffice's own notes carry the author " ", which is kept.
  const std::string notes = "\"Sheet1\": [[2, 3, \"first note\", \" \"], [7, 5, \"second note\\nwith two lines\", \" \"]]}";
  const std::string file = dir.File("again.xls");
  WriteFileBytes(file, SaveFileBytes(*book, 2));
  EXPECT_EQ(Peer("notes " + file), "{" + notes);
  const std::string ours = Peer("ods " + file + " " + dir.Path());
  EXPECT_NE(ours.find("{\"Sheet1\": {\"annotations\": [[2, 3, \"first note\"], [7, 5, \"second note\\nwith two lines\"]], \"images\": 2"),
            std::string::npos) << ours;

  // Opened by the reader, a sheet put in front of the chart's sheet, saved.
  IXLSWorkbook opened = TXLSWorkbook::Create();
  ASSERT_EQ(opened->Open(Utf8ToWide(made)), 1);
  IXLSWorksheet* front = opened->GetWorksheets().Insert(1);
  ASSERT_NE(front, nullptr);
  front->SetName(u"Front");
  front->GetRange(u"A1")->SetValue(Variant(1.0));
  const std::string moved = dir.File("moved.xls");
  WriteFileBytes(moved, SaveFileBytes(*opened, 2));
  std::string expected = Peer("ods " + made + " " + dir.Path());
  ASSERT_NE(expected.find("\"chart series\": [\"Sheet1.A1:Sheet1.A4\", \"Sheet1.B1:Sheet1.B4\"]"), std::string::npos) << expected;
  expected.insert(1, "\"Front\": {\"annotations\": [], \"images\": 0}, ");
  EXPECT_EQ(Peer("ods " + moved + " " + dir.Path()), expected);
  EXPECT_EQ(Peer("notes " + moved), "{\"Front\": [], " + notes);

  // The chart's records as a chart sheet of their own behind the opened sheet.
  auto custom = std::make_unique<TXLSCustomChart>();
  for (const BiffRecord* r : chartRecords) custom->AddRecord(r->id, static_cast<std::uint32_t>(r->data.size()), r->data.data());
  IXLSWorkbook charted = TXLSWorkbook::Create();
  ASSERT_EQ(charted->Open(Utf8ToWide(made)), 1);
  IXLSWorksheet* chartSheet = charted->GetWorksheets().Add();
  chartSheet->SetName(u"Chart");
  chartSheet->SetChart(std::move(custom));
  const std::vector<std::uint8_t> bytes = SaveFileBytes(*charted, 2);
  const std::vector<std::uint8_t> stream = ReadStream(bytes, u"Workbook");
  const std::vector<BiffRecord> saved = ParseRecords(stream);
  ASSERT_EQ(SheetOffsets(saved).size(), 2u);
  const std::uint32_t chartOffset = SheetOffsets(saved)[1];
  const std::vector<BiffRecord> chartSheetRecords = SheetRecords(saved, chartOffset);
  ASSERT_FALSE(chartSheetRecords.empty());
  EXPECT_EQ(chartSheetRecords.front().offset, chartOffset);
  EXPECT_EQ(chartSheetRecords.front().id, 0x0809);
  EXPECT_EQ(chartSheetRecords.front().Word(2), 0x0020);  // the chart's BOF
  EXPECT_EQ(chartSheetRecords.size(), chartRecords.size());
  std::vector<int> types;
  for (const BiffRecord& r : saved)
    if (r.id == 0x0085) types.push_back(r.data.at(5));
  EXPECT_EQ(types, (std::vector<int>{0, 2}));  // the second sheet is a chart sheet
  // The offset checker knows worksheets only: the chart's BOF is where the BOUNDSHEET points.
  for (const std::string& problem : CheckOffsets(stream))
    if (problem != "BOUNDSHEET offset " + std::to_string(chartOffset) + " is not a worksheet BOF") ADD_FAILURE() << problem;
  const std::string chartFile = dir.File("chartsheet.xls");
  WriteFileBytes(chartFile, bytes);
  const std::string ods = Peer("ods " + chartFile + " " + dir.Path());
  EXPECT_NE(ods.find("\"Chart\": {\"annotations\": [], \"images\": 1, \"chart series\": [\"Sheet1.A1:Sheet1.A4\", \"Sheet1.B1:Sheet1.B4\"]}"),
            std::string::npos) << ods;

  // The chart's title font (16 points) is named by the chart alone, no cell format uses it: the
  // saves keep it, and every font the chart names is a FONT record of the file.
  for (const std::string& file : {moved, chartFile}) {
    const std::vector<BiffRecord> written = ParseRecords(ReadStream(ReadFileBytes(file), u"Workbook"));
    std::vector<std::uint16_t> heights;  // by the number that records name a font by
    std::vector<std::uint16_t> named;
    for (const BiffRecord& r : written) {
      if (r.id == 0x0031) {
        if (heights.size() == 4) heights.push_back(0);  // number 4 is never used
        heights.push_back(r.Word(0));
      }
      if (r.id == 0x1026) {
        const std::uint16_t font = r.Word(0);
        ASSERT_TRUE(font != 4 && font < heights.size()) << file << ": FONTX " << font << " of " << heights.size();
        named.push_back(heights[font]);
      }
    }
    std::vector<std::uint16_t> expected = {200, 200, 320};
    if (file == chartFile) expected.insert(expected.end(), {200, 200, 320});  // embedded, and the chart sheet
    EXPECT_EQ(named, expected) << file;
  }
  const std::string series = "[\"Sheet1!$A$1:$A$4\", \"Sheet1!$B$1:$B$4\"]";
  EXPECT_EQ(Peer("gnumeric " + moved + " " + dir.File("moved-gnumeric.xls")),
            "{\"sheets\": [[\"Front\", 0, []], [\"Sheet1\", 0, " + series + "]], \"warnings\": []}");

  // gnumeric saves our chart sheet as a chart sheet of its own making (its BOF twice, one EOF).
  const std::string gnumericMade = dir.File("gnumeric-made.xls");
  const std::string both = "{\"sheets\": [[\"Sheet1\", 0, " + series + "], [\"Chart\", 2, " + series + "]], \"warnings\": []}";
  EXPECT_EQ(Peer("gnumeric " + chartFile + " " + gnumericMade), both);
  // Each chart sheet file, ours and gnumeric's, opened by the reader: the chart sheet keeps its
  // chart; a sheet put in front of both and the workbook saved, LibreOffice and gnumeric find
  // what they found in the file opened, the chart sheet with its series on Sheet1 (LibreOffice
  // finds no series in gnumeric's chart sheet, its own file included).
  for (const std::string& source : {chartFile, gnumericMade}) {
    SCOPED_TRACE(source);
    IXLSWorkbook reopened = TXLSWorkbook::Create();
    ASSERT_EQ(reopened->Open(Utf8ToWide(source)), 1);
    ASSERT_EQ(reopened->GetWorksheets().GetCount(), 2);
    EXPECT_FALSE(reopened->GetWorksheets().GetItem(1)->IsChartSheet());
    EXPECT_TRUE(reopened->GetWorksheets().GetItem(2)->IsChartSheet());
    IXLSWorksheet* first = reopened->GetWorksheets().Insert(1);
    ASSERT_NE(first, nullptr);
    first->SetName(u"Front");
    const std::string resaved = dir.File("resaved.xls");
    WriteFileBytes(resaved, SaveFileBytes(*reopened, 2));
    EXPECT_EQ(Peer("gnumeric " + resaved + " " + dir.File("resaved-gnumeric.xls")),
              "{\"sheets\": [[\"Front\", 0, []], " + both.substr(12));
    std::string lo = Peer("ods " + source + " " + dir.Path());
    lo.insert(1, "\"Front\": {\"annotations\": [], \"images\": 0}, ");
    EXPECT_EQ(Peer("ods " + resaved + " " + dir.Path()), lo);
  }
}

// Workbooks laid out as the format's own program writes them (tests/data/xls/gen_excel_objects.py):
// odd picture store entries (one without its picture, PICT pictures of the Macintosh version)
// and embedded OLE objects (one a chart of the Macintosh version). Opened and saved, each reads
// in xlrd, olefile and LibreOffice as the source does: the same values, the same storages with
// their class ids and stream bytes, the same frames (embedded objects, pictures of each type).
TEST(DrawingInterop, ObjectsOfTheFormatsOwnProgramComeBackForOtherReaders) {
  struct Case {
    const char* file;
    const char* expected;  // a part of the source's reading that shows what is at stake
  };
  for (const Case& c : {Case{"excel_odd_pictures.xls", "\"Values\": [\"image/png\", \"image/x-pict\", \"image/x-pict\"]"},
                        Case{"excel_ole_objects.xls", "\"Objects\": [\"ole\", \"ole\"]"}}) {
    SCOPED_TRACE(c.file);
    TempDir dir;
    const std::string source = std::string(KV_SOURCE_DIR) + "/tests/data/xls/" + c.file;
    const std::string theirs = Peer("objects " + source + " " + dir.Path());
    ASSERT_NE(theirs.find(c.expected), std::string::npos) << theirs;
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Utf8ToWide(source)), 1);
    EXPECT_TRUE(book->GetReadLosses().empty());
    const std::string saved = dir.File("saved.xls");
    ASSERT_EQ(book->SaveAs(Utf8ToWide(saved)), 1);
    EXPECT_EQ(Peer("objects " + saved + " " + dir.Path()), theirs);
  }
}

}  // namespace
}  // namespace xls::test
