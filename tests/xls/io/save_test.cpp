// The workbook stream and the save entry points: globals records in order, BOUNDSHEET offsets,
// padding, results of failed saves, and a failed save leaving an existing file whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "io_test_support.h"
#include "platform/compound_file.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/codepage.h"
#include "xls/model/string_table.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

using test::BiffRecord;
namespace fs = std::filesystem;

std::vector<std::uint16_t> WithoutRuns(const std::vector<std::uint16_t>& ids) {
  // Fonts, formats, XFs and styles collapse to one id each.
  std::vector<std::uint16_t> out;
  for (std::uint16_t id : ids)
    if (out.empty() || out.back() != id || (id != 0x0031 && id != 0x041E && id != 0x00E0 && id != 0x0293 && id != 0x0085))
      out.push_back(id);
  return out;
}

TEST(WorkbookSave, NewWorkbookGlobalsInOrder) {
  IXLSWorkbook book = TXLSWorkbook::Create();  // no sheet: the save adds "Sheet1"
  const auto stream = test::SaveStream(*book, kSaveBiff8);
  EXPECT_EQ(stream.size() % 512, 0u);
  EXPECT_EQ(book->GetWorksheets().GetCount(), 1);
  const auto records = test::ParseRecords(stream);
  const auto globals = test::Substream(records, 0);
  const std::vector<std::uint16_t> expected = {
      0x0809, 0x0042, 0x0161, 0x003D, 0x0040, 0x0022, 0x000E, 0x000F, 0x009C, 0x00DA, 0x0031,
      0x00E0, 0x0293, 0x0092, 0x008C, 0x01C1, 0x0085, 0x01AE, 0x0017, 0x00EB, 0x000A};
  EXPECT_EQ(WithoutRuns(test::Ids(globals)), expected);
  EXPECT_EQ(test::FindRecord(globals, 0x0042)->Word(0), 1200);
  EXPECT_EQ(test::FindRecord(globals, 0x0809)->Word(2), 0x0005);
  const BiffRecord* window = test::FindRecord(globals, 0x003D);
  EXPECT_EQ(window->Word(10), 0);
  EXPECT_EQ(window->Word(12), 0);
  EXPECT_EQ(window->Word(14), 1);
  EXPECT_EQ(test::FindRecord(globals, 0x000F)->Word(0), 1);
  EXPECT_EQ(test::FindRecord(globals, 0x0017)->data, (std::vector<std::uint8_t>{0, 0}));
  EXPECT_EQ(test::FindRecord(globals, 0x00EB)->data.size(), 40u);
  const BiffRecord* bound = test::FindRecord(globals, 0x0085);
  EXPECT_EQ(bound->data, (std::vector<std::uint8_t>{bound->data[0], bound->data[1], bound->data[2], bound->data[3],
                                                    0, 0, 6, 1, 'S', 0, 'h', 0, 'e', 0, 'e', 0, 't', 0, '1', 0}));
  EXPECT_EQ(bound->DWord(0), globals.back().offset + 4);  // the sheet follows the globals' EOF
  EXPECT_TRUE(test::CheckOffsets(stream).empty());

  // Saving again writes the same selected-tab count.
  const auto again = test::Substream(test::ParseRecords(test::SaveStream(*book, kSaveBiff8)), 0);
  EXPECT_EQ(test::FindRecord(again, 0x003D)->Word(14), 1);
}

TEST(WorkbookSave, Biff5GlobalsAndBookStream) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  book->GetWorksheets().Add()->GetRange(u"A1")->SetValue(Variant(u"x"));
  book->GetWorksheets().Add()->SetName(u"Zweite");
  book->Protect();
  const auto file = test::SaveFileBytes(*book, kSaveBiff5);
  platform::CompoundFileReader reader;
  ASSERT_TRUE(reader.Open(file).ok);
  EXPECT_LT(reader.Find(platform::CompoundFileReader::kRoot, u"Workbook"), 0);
  const auto stream = test::ReadStream(file, u"Book");
  const auto globals = test::Substream(test::ParseRecords(stream), 0);
  const std::vector<std::uint16_t> expected = {
      0x0809, 0x0042, 0x0016, 0x0017, 0x0017, 0x0017, 0x003D, 0x0040, 0x0022, 0x000E, 0x000F, 0x0012,
      0x0013, 0x00DA, 0x0031, 0x00E0, 0x0293, 0x0092, 0x0085, 0x000A};
  EXPECT_EQ(WithoutRuns(test::Ids(globals)), expected);
  EXPECT_EQ(test::FindRecord(globals, 0x0809)->data.size(), 8u);
  EXPECT_EQ(test::FindRecord(globals, 0x0042)->Word(0), 1252);
  EXPECT_EQ(test::FindRecord(globals, 0x0016)->Word(0), 3);
  std::vector<std::vector<std::uint8_t>> externs;
  for (const auto& r : globals)
    if (r.id == 0x0017) externs.push_back(r.data);
  EXPECT_EQ(externs.back(), (std::vector<std::uint8_t>{1, 4}));
  EXPECT_EQ(externs.front(), (std::vector<std::uint8_t>{6, 3, 'S', 'h', 'e', 'e', 't', '1'}));
  std::vector<std::string> names;
  for (const auto& r : globals)
    if (r.id == 0x0085) names.emplace_back(r.data.begin() + 7, r.data.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Sheet1", "Zweite"}));
  EXPECT_TRUE(test::CheckOffsets(stream).empty());
}

TEST(WorkbookSave, OffsetsHoldOverManySheetsStringsAndBlocks) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  for (int s = 0; s < 3; ++s) {
    IXLSWorksheet* sheet = book->GetWorksheets().Add();
    for (int r = 1; r <= 300; r += (s + 1)) {
      sheet->GetRangeRC(r, 1, r, 1)->SetValue(Variant(Utf8ToWide("text " + std::to_string(r * 7 + s))));
      sheet->GetRangeRC(r, 2, r, 2)->SetValue(Variant(r * 0.37));
      if (r % 50 == 0) sheet->GetRangeRC(r, 3, r, 3)->SetValue(Variant(std::u16string(5000, u'\u0416')));
    }
    sheet->GetRangeRC(400, 1, 401, 3)->Merge();
  }
  for (int format : {kSaveBiff8, kSaveBiff5}) {
    const auto stream = test::SaveStream(*book, format);
    const auto problems = test::CheckOffsets(stream);
    EXPECT_TRUE(problems.empty()) << "format " << format << ": " << problems.front();
  }
  // The checker itself catches a wrong BOUNDSHEET offset and a wrong DBCELL position.
  auto stream = test::SaveStream(*book, kSaveBiff8);
  const auto records = test::ParseRecords(stream);
  const BiffRecord* bound = test::FindRecord(records, 0x0085);
  stream[bound->offset + 4] ^= 0x01;
  EXPECT_FALSE(test::CheckOffsets(stream).empty());
  stream[bound->offset + 4] ^= 0x01;
  const BiffRecord* index = test::FindRecord(records, 0x020B);
  stream[index->offset + 4 + 16] ^= 0x04;
  EXPECT_FALSE(test::CheckOffsets(stream).empty());
}

class FailingStream : public platform::ByteStream {
 public:
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void*, std::size_t count) override { return count > 100 ? 100 : count; }
  std::int64_t Seek(std::int64_t, platform::SeekOrigin) override { return 0; }
};

TEST(WorkbookSave, FailuresAreReportedAndLeaveFilesAlone) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  book->GetWorksheets().Add()->GetRange(u"A1")->SetValue(Variant(1.0));
  test::TempDir dir;
  std::string error;

  EXPECT_EQ(SaveWorkbookAs(*book, u"  \t ", kSaveBiff8, &error), -1);
  EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir.File("missing/x.htm")), kSaveHtml, &error), -1);
  EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir.File("missing/book.xls")), kSaveBiff8, &error), -2);
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_empty(dir.Path()));
  EXPECT_EQ(SaveWorkbook(*book, &error), -4);  // no file name yet

  FailingStream failing;
  EXPECT_EQ(SaveWorkbookToStream(*book, failing, kSaveBiff8, &error), -1);
  platform::MemoryStream untouched;
  EXPECT_EQ(SaveWorkbookToStream(*book, untouched, kSaveHtml, &error), -1);  // pages go to files
  EXPECT_TRUE(untouched.Bytes().empty());

  // A save that fails while writing keeps the file that was there.
  const std::string target = dir.File("book.xls");
  { std::ofstream(target) << "the previous file"; }
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 1024;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::int32_t result = SaveWorkbookAs(*book, Utf8ToWide(target), kSaveBiff8, &error);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, -2);
  std::ifstream in(target);
  std::stringstream kept;
  kept << in.rdbuf();
  EXPECT_EQ(kept.str(), "the previous file");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

  // A good save replaces it, remembers the name, and Save repeats it.
  EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(target), kSaveBiff8, &error), 1) << error;
  EXPECT_EQ(book->GetFileName(), Utf8ToWide(target));
  EXPECT_GT(fs::file_size(target), 512u);
  const mode_t mask = umask(0);
  umask(mask);
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);  // not the temporary file's private mode
  // A private workbook stays private when it is saved again.
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  EXPECT_EQ(SaveWorkbook(*book, &error), 1) << error;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  fs::remove(target);
  EXPECT_EQ(SaveWorkbook(*book, &error), 1);
  EXPECT_TRUE(fs::exists(target));
}

}  // namespace
}  // namespace xls

namespace xls {
namespace {

std::vector<BiffRecord> Names(const std::vector<BiffRecord>& globals) {
  std::vector<BiffRecord> out;
  for (const auto& r : globals)
    if (r.id == 0x0018) out.push_back(r);
  return out;
}

TEST(WorkbookSave, BuiltInNamesOfPrintAreasAndTitles) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* b = book->GetWorksheets().Add();
  b->SetName(u"b");
  IXLSWorksheet* a = book->GetWorksheets().Add();
  a->SetName(u"a");
  book->GetWorksheets().Add();  // "Sheet3": no print settings, no entry
  ASSERT_TRUE(b->GetPageSetup()->SetPrintArea(1, 2, 10, 3));
  ASSERT_TRUE(a->GetPageSetup()->SetPrintArea(0, 0, 4, 1));
  ASSERT_TRUE(a->GetPageSetup()->SetPrintTitleRows(u"$1:$2"));
  ASSERT_TRUE(a->GetPageSetup()->SetPrintTitleColumns(u"$A:$A"));
  ASSERT_TRUE(b->GetPageSetup()->SetPrintTitleRows(u"$3:$3"));

  const auto stream = test::SaveStream(*book, kSaveBiff8);
  EXPECT_TRUE(test::CheckOffsets(stream).empty());
  const auto globals = test::Substream(test::ParseRecords(stream), 0);
  // EXTERNSHEET: one entry per sheet with names, in sheet order.
  EXPECT_EQ(test::FindRecord(globals, 0x0017)->data,
            (std::vector<std::uint8_t>{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}));
  auto names = Names(globals);
  ASSERT_EQ(names.size(), 4u);
  // Print areas, "a" (sheet 2, entry 1) before "b" (sheet 1, entry 0).
  EXPECT_EQ(names[0].data, (std::vector<std::uint8_t>{0x20, 0, 0, 1, 11, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 6,
                                                      0x3B, 1, 0, 0, 0, 4, 0, 0, 0, 1, 0}));
  EXPECT_EQ(names[1].data, (std::vector<std::uint8_t>{0x20, 0, 0, 1, 11, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 6,
                                                      0x3B, 0, 0, 1, 0, 10, 0, 2, 0, 3, 0}));
  // Titles of "a": columns A and rows 1..2 joined; of "b": row 3 over every column.
  EXPECT_EQ(names[2].data.size(), 42u);
  EXPECT_EQ(names[2].data[15], 7);
  EXPECT_EQ(std::vector<std::uint8_t>(names[2].data.begin() + 16, names[2].data.end()),
            (std::vector<std::uint8_t>{0x29, 23, 0, 0x3B, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0x3B, 1, 0, 0, 0, 1, 0,
                                       0, 0, 0xFF, 0, 0x10}));
  EXPECT_EQ(names[3].data.size(), 27u);
  EXPECT_EQ(std::vector<std::uint8_t>(names[3].data.begin() + 16, names[3].data.end()),
            (std::vector<std::uint8_t>{0x3B, 0, 0, 2, 0, 2, 0, 0, 0, 0xFF, 0}));

  // BIFF5: the names follow the EXTERNSHEET records, before WINDOW1.
  const auto globals5 = test::Substream(test::ParseRecords(test::SaveStream(*book, kSaveBiff5)), 0);
  names = Names(globals5);
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0].data, (std::vector<std::uint8_t>{0x20, 0, 0, 1, 21, 0, 2, 0, 2, 0, 0, 0, 0, 0, 6, 0x3B, 0xFE,
                                                      0xFF, 0, 0, 0, 0, 0x87, 0x10, 0x05, 0x80, 1, 0, 1, 0, 0, 0, 4,
                                                      0, 0, 1}));
  EXPECT_EQ(names[2].data.size(), 61u);
  EXPECT_EQ(names[2].data[27], 0x08);  // the areas of print titles carry 0x8008
  EXPECT_EQ(names[2].data[28], 0x80);
  const auto ids = test::Ids(globals5);
  EXPECT_LT(std::find(ids.begin(), ids.end(), 0x0018), std::find(ids.begin(), ids.end(), 0x003D));
}

}  // namespace
}  // namespace xls

namespace xls {
namespace {

TEST(WorkbookSave, WorkbookMembersForwardToTheWriter) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  book->GetWorksheets().Add()->GetRange(u"A1")->SetValue(Variant(u"kept"));
  test::TempDir dir;
  const std::u16string name = Utf8ToWide(dir.File("members.xls"));
  EXPECT_EQ(book->SaveAs(u" "), -1);
  EXPECT_EQ(book->GetLastSaveError(), "no file name");  // the reason of the last failed save
  EXPECT_EQ(book->SaveAsFormat(Utf8ToWide(dir.File("missing/members.xls")), kSaveBiff5), -2);
  EXPECT_NE(book->GetLastSaveError().find("missing/members.xls"), std::string::npos) << book->GetLastSaveError();
  EXPECT_EQ(book->SaveAs(name), 1);
  EXPECT_EQ(book->GetLastSaveError(), "");
  EXPECT_EQ(book->GetCurrentFormat(), kSaveBiff8);
  platform::MemoryStream memory;
  EXPECT_EQ(book->SaveToStreamFormat(memory, kSaveBiff5), 1);
  EXPECT_FALSE(test::ReadStream(memory.Bytes(), u"Book").empty());
  platform::MemoryStream again;
  EXPECT_EQ(book->SaveToStream(again), 1);
  EXPECT_FALSE(test::ReadStream(again.Bytes(), u"Workbook").empty());
  fs::remove(WideToUtf8(name));
  EXPECT_EQ(book->Save(), 1);  // the last file name, the current format
  EXPECT_TRUE(fs::exists(WideToUtf8(name)));
  EXPECT_EQ(book->SaveAsFormat(name, kSaveRtf), 1);
  EXPECT_EQ(book->Save(), 1);  // an RTF save does not change the format that Save repeats
}

}  // namespace
}  // namespace xls
