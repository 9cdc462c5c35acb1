// Drawings of workbooks laid out as the format's own program writes them (made by
// tests/data/xls/gen_excel_objects.py): odd picture store entries and embedded OLE objects,
// opened and saved again, compared record by record and storage by storage with the source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drawing_test_util.h"
#include "io_test_support.h"
#include "platform/compound_file.h"
#include "xls/model/codepage.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string DataFile(const std::string& name) { return std::string(KV_TEST_DATA) + "/xls/" + name; }

// The picture store entries of a workbook stream's drawing group, each as its bytes.
std::vector<Bytes> StoreEntries(const std::vector<BiffRecord>& records) {
  std::unique_ptr<TXLSBlobList> group = DrawingGroupData(records);
  Bytes b;
  for (std::size_t i = 0; group && i < group->Count(); ++i)
    b.insert(b.end(), group->GetChunk(i)->GetData(), group->GetChunk(i)->GetData() + group->GetChunk(i)->GetSize());
  auto word = [&](std::size_t at) { return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8); };
  auto dword = [&](std::size_t at) { return word(at) | word(at + 2) << 16; };
  std::vector<Bytes> entries;
  for (std::size_t at = 8; at + 8 <= b.size();) {
    const std::uint32_t type = word(at + 2), length = dword(at + 4);
    if (type != 0xF001) {
      at += 8 + length;
      continue;
    }
    for (std::size_t e = at + 8; e + 8 <= at + 8 + length;) {
      const std::size_t size = 8 + dword(e + 4);
      entries.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(e), b.begin() + static_cast<std::ptrdiff_t>(e + size));
      e += size;
    }
    break;
  }
  return entries;
}

std::vector<BiffRecord> Only(const std::vector<BiffRecord>& records, std::uint16_t id) {
  std::vector<BiffRecord> out;
  for (const BiffRecord& r : records)
    if (r.id == id) out.push_back(r);
  return out;
}

// A data file opened, with nothing listed lost, and saved as BIFF8: its workbook stream's records
// before and after.
struct Resaved {
  IXLSWorkbook book = TXLSWorkbook::Create();
  std::vector<BiffRecord> before, after;
};
void OpenAndSave(const std::string& name, Resaved& r) {
  ASSERT_EQ(r.book->Open(Utf8ToWide(DataFile(name))), 1);
  EXPECT_TRUE(r.book->GetReadLosses().empty()) << WideToUtf8(r.book->GetReadLosses().front());
  r.before = ParseRecords(ReadStream(ReadFileBytes(DataFile(name)), u"Workbook"));
  r.after = ParseRecords(SaveStream(*r.book, 2));
}

TEST(ExcelObjects, OddPictureEntriesCostNothingAndComeBackAsRead) {
  Resaved r;
  ASSERT_NO_FATAL_FAILURE(OpenAndSave("excel_odd_pictures.xls", r));
  ASSERT_EQ(r.book->GetWorksheets().GetCount(), 3);
  const std::vector<Bytes> read = StoreEntries(r.before), written = StoreEntries(r.after);
  ASSERT_EQ(read.size(), 4u);
  ASSERT_EQ(written.size(), 4u);
  // The entry without its picture and both PICT entries of the Macintosh version go back as
  // they came; the PNG (entry 3) keeps its picture bytes.
  for (std::size_t i : {0, 1, 3}) EXPECT_EQ(written[i], read[i]) << i;
  ASSERT_EQ(written[2].size(), read[2].size());
  EXPECT_TRUE(std::equal(read[2].begin() + 8 + 36 + 25, read[2].end(), written[2].begin() + 8 + 36 + 25));
  // The three frames still show entries 2, 3 and 4.
  TempDir dir;
  WriteFileBytes(dir.File("saved.xls"), SaveFileBytes(*r.book, 2));
  IXLSWorkbook again = TXLSWorkbook::Create();
  ASSERT_EQ(again->Open(Utf8ToWide(dir.File("saved.xls"))), 1);
  TXLSShapes& frames = again->GetWorksheets().GetItem(1)->GetShapes();
  ASSERT_EQ(frames.Count(), 3u);
  for (std::uint32_t i = 1; i <= 3; ++i) EXPECT_EQ(frames.Item(i)->Shape()->BlipIndex(), i + 1);
}

TEST(ExcelObjects, EmbeddedObjectsKeepTheirObjRecordsAndStorages) {
  Resaved r;
  ASSERT_NO_FATAL_FAILURE(OpenAndSave("excel_ole_objects.xls", r));
  // Each OBJ (ftCmo, ftCf, ftPioGrbit, the picture formula with the class and the storage id)
  // comes back byte for byte; the Macintosh chart's PICT picture stays in the store as read.
  const std::vector<BiffRecord> objBefore = Only(SheetRecords(r.before, SheetOffsets(r.before)[0]), 0x005D);
  const std::vector<BiffRecord> objAfter = Only(SheetRecords(r.after, SheetOffsets(r.after)[0]), 0x005D);
  ASSERT_EQ(objBefore.size(), 2u);
  ASSERT_EQ(objAfter.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(objAfter[i].data, objBefore[i].data) << "object " << i + 1;
  EXPECT_EQ(StoreEntries(r.after)[1], StoreEntries(r.before)[1]);

  // Both storages are in the saved file with their class ids and every stream's bytes.
  platform::CompoundFileReader in, out;
  ASSERT_TRUE(in.Open(ReadFileBytes(DataFile("excel_ole_objects.xls"))));
  ASSERT_TRUE(out.Open(SaveFileBytes(*r.book, 2)));
  for (const char16_t* name : {u"MBD0001B3C4", u"MBD0001B3C5"}) {
    SCOPED_TRACE(WideToUtf8(name));
    const int a = in.Find(platform::CompoundFileReader::kRoot, name);
    const int b = out.Find(platform::CompoundFileReader::kRoot, name);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(out.GetEntry(b).classId, in.GetEntry(a).classId);
    ASSERT_EQ(out.GetEntry(b).children.size(), in.GetEntry(a).children.size());
    for (int child : in.GetEntry(a).children) {
      const int twin = out.Find(b, in.GetEntry(child).name);
      ASSERT_GE(twin, 0) << WideToUtf8(in.GetEntry(child).name);
      Bytes x, y;
      ASSERT_TRUE(in.ReadStream(child, x));
      ASSERT_TRUE(out.ReadStream(twin, y));
      EXPECT_EQ(y, x) << WideToUtf8(in.GetEntry(child).name);
    }
  }
  // A BIFF5 save has no drawings and writes no storages of their objects.
  r.book->SetCurrentFormat(1);
  platform::CompoundFileReader biff5;
  ASSERT_TRUE(biff5.Open(SaveFileBytes(*r.book, 1)));
  EXPECT_LT(biff5.Find(platform::CompoundFileReader::kRoot, u"MBD0001B3C4"), 0);
}

// A chart whose shape is a picture frame keeps its chart: the OBJ and the chart substream come
// back as read, nothing is listed.
TEST(ExcelObjects, ChartInAPictureFrameKeepsItsChartRecords) {
  Resaved r;
  ASSERT_NO_FATAL_FAILURE(OpenAndSave("excel_frame_chart.xls", r));
  const std::vector<BiffRecord> read = SheetRecords(r.before, SheetOffsets(r.before)[0]);
  const std::vector<BiffRecord> written = SheetRecords(r.after, SheetOffsets(r.after)[0]);
  auto fromObj = [](const std::vector<BiffRecord>& sheet) {
    std::vector<std::pair<std::uint16_t, Bytes>> out;
    bool on = false;
    for (std::size_t i = 0; i + 1 < sheet.size(); ++i) {
      on = on || sheet[i].id == 0x005D;
      if (on) out.emplace_back(sheet[i].id, sheet[i].data);
      if (on && sheet[i].id == 0x000A) break;  // the chart's EOF
    }
    return out;
  };
  const auto expected = fromObj(read);
  ASSERT_EQ(expected.size(), 11u);  // OBJ, then BOF to EOF of the chart
  EXPECT_EQ(fromObj(written), expected);
}

}  // namespace
}  // namespace xls::test
