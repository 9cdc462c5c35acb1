#include <gtest/gtest.h>

#include "fake_book.h"

namespace xls {
namespace {

using test::FakeBook;
using test::Hex;

// Every record of a chunk list as "id:body" hex.
std::vector<std::string> Records(const TXLSBlobList& list) {
  TXLSBlob all(0);
  list.CopyRange(0, list.TotalSize(), all);
  std::vector<std::string> out;
  uint32_t pos = 0;
  while (pos + 4 <= all.GetSize()) {
    uint16_t id = all.GetWord(pos);
    uint16_t len = all.GetWord(pos + 2);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x:", id);
    out.push_back(buf + Hex(all.GetData() + pos + 4, len));
    pos += 4 + len;
  }
  return out;
}

TEST(ExternSheet, EntriesAreSharedAndOrdered) {
  FakeBook book;
  TXLSExternSheet ext(book.Callbacks());
  int a = ext.FindOrAddBySheetNames(u"Sheet2", u"");
  EXPECT_EQ(a, 1);
  EXPECT_EQ(ext.FindOrAddBySheetNames(u"sheet2", u"Sheet2"), a);
  int range = ext.FindOrAddBySheetNames(u"Sheet2", u"My Sheet");
  EXPECT_EQ(ext.FindOrAddBySheetNames(u"My Sheet", u"Sheet2"), range);
  EXPECT_EQ(ext.FindOrAddBySheetIndex(2, 3), range);
  EXPECT_EQ(ext.FindOrAddBySheetIds(13, 12), range);
  EXPECT_LT(ext.FindOrAddBySheetNames(u"Nowhere", u""), 1);
  EXPECT_LT(ext.FindOrAddBySheetIndex(9, 9), 1);
  EXPECT_EQ(ext.EntryOfNameScope(3), a) << "Local belongs to Sheet2";
  EXPECT_LT(ext.EntryOfNameScope(1), 1) << "a workbook name has no sheet";

  int book1 = 0, first = 0, last = 0;
  ASSERT_EQ(ext.ResolveEntry(range, book1, first, last), 1);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 3);
  ASSERT_EQ(ext.GetEntry(range, book1, first, last), 1);
  EXPECT_EQ(first, 12);
  EXPECT_EQ(ext.GetSheetText(range), u"'Sheet2':'My Sheet'");
  EXPECT_EQ(ext.ResolveEntry(99, book1, first, last), -1);
  EXPECT_TRUE(ext.IsOwnBook(99));
  EXPECT_EQ(ext.GetSheetText(99), u"");
}

TEST(ExternSheet, RenumberDropsEntriesOfDeletedSheets) {
  FakeBook book;
  TXLSExternSheet ext(book.Callbacks());
  int s1 = ext.FindOrAddBySheetNames(u"Sheet1", u"");
  int s2 = ext.FindOrAddBySheetNames(u"Sheet2", u"");
  int s3 = ext.FindOrAddBySheetNames(u"My Sheet", u"");
  book.DeleteSheet(u"Sheet2");
  ext.Renumber();
  EXPECT_EQ(ext.OutputCount(), 2);
  EXPECT_EQ(ext.GetOutputIndex(s1), 1);
  EXPECT_EQ(ext.GetOutputIndex(s2), -1);
  EXPECT_EQ(ext.GetOutputIndex(s3), 2);
  int b = 0, f = 0, l = 0;
  ASSERT_EQ(ext.ResolveEntryAt(2, b, f, l), 1);
  EXPECT_EQ(f, 2) << "My Sheet moved to index 2";
  TXLSBlobList out;
  ext.WriteExternSheet(out);
  EXPECT_EQ(Records(out), std::vector<std::string>{"0017:0200" "000000000000" "000001000100"});
}

TEST(ExternSheet, AddInsGetTheirBookAndNames) {
  FakeBook book;
  TXLSExternSheet ext(book.Callbacks());
  TXLSFormula formula(ext);
  ASSERT_TRUE(formula.CompileText(u"ACCRINT(1;2;3;4;5)+ISEVEN(1)+ACCRINT(1;2;3;4;5)", 0));
  int addIn = ext.AddInEntry();
  EXPECT_EQ(ext.GetAddInName(addIn, 1), u"ACCRINT");
  EXPECT_EQ(ext.GetAddInName(addIn, 2), u"ISEVEN");
  EXPECT_EQ(ext.GetAddInName(addIn, 3), u"");
  EXPECT_FALSE(ext.IsOwnBook(addIn));
  ext.Renumber();
  TXLSBlobList out;
  ext.SupBook().WriteRecords(out, 4);
  ext.WriteExternSheet(out);
  std::vector<std::string> expect = {
      "01ae:04000104",
      "01ae:0100013a",
      "0023:0000000000000701410043004300520049004e00540002001c17",
      "0023:0000000000000601490053004500560045004e0002001c17",
      "0017:0100" "0100feff" "feff",
  };
  EXPECT_EQ(Records(out), expect);
}

TEST(ExternSheet, ReadsSupBookExternNameAndExternSheetEntries) {
  FakeBook book;
  TXLSExternSheet ext(book.Callbacks());
  TXLSSupBook& sb = ext.SupBook();
  auto own = test::Unhex("04000104");
  auto addIn = test::Unhex("0100013a");
  auto name = test::Unhex("000000000000060049534556454e02001c17");
  auto other = test::Unhex("0100" "0300" "01" "610062006300" "0200" "00" "5331");
  ASSERT_EQ(sb.ReadSupBook(own.data(), own.size()), 1);
  ASSERT_EQ(sb.ReadSupBook(addIn.data(), addIn.size()), 1);
  ASSERT_EQ(sb.ReadExternName(name.data(), name.size()), 1);
  ASSERT_EQ(sb.ReadSupBook(other.data(), other.size()), 1);
  EXPECT_EQ(sb.Count(), 3);
  EXPECT_EQ(sb.Item(2).path, u"abc");
  ASSERT_EQ(sb.Item(2).sheetNames.size(), 1u);
  EXPECT_EQ(sb.Item(2).sheetNames[0], u"S1");
  EXPECT_EQ(sb.NameAt(1, 1), u"ISEVEN");
  auto cut = test::Unhex("0100" "0900" "01" "6100");
  EXPECT_EQ(sb.ReadSupBook(cut.data(), cut.size()), -1);
  EXPECT_EQ(sb.ReadSupBook(cut.data(), 3), -1);

  // EXTERNSHEET entries under imposed ids; the first sheet past the last is kept.
  EXPECT_EQ(ext.AddFromRecord(1, 0, 2, 1), 1);
  EXPECT_EQ(ext.AddFromRecord(2, 1, 0xFFFE, 0xFFFE), 2);
  EXPECT_EQ(ext.AddFromRecord(3, 2, 0, 0), 3);
  int b = 0, f = 0, l = 0;
  ASSERT_EQ(ext.ResolveEntry(1, b, f, l), 1);
  EXPECT_EQ(f, 2);
  EXPECT_EQ(l, 3);
  EXPECT_EQ(ext.FindOrAddBySheetNames(u"Sheet2", u"My Sheet"), 1) << "the read entry is found";
  EXPECT_EQ(ext.AddInEntry(), 2);
  EXPECT_FALSE(ext.IsOwnBook(3));
  EXPECT_EQ(ext.FindOrAddBySheetNames(u"Sheet1", u""), 4) << "new ids follow the read ones";
}

TEST(ExternSheet, UnsetCallbacksAnswerFailure) {
  TXLSExternSheet ext;
  EXPECT_LT(ext.FindOrAddBySheetNames(u"Sheet1", u""), 1);
  EXPECT_EQ(ext.NameTextById(1), u"");
  EXPECT_EQ(ext.NameOutputIndexById(1), -1);
  EXPECT_EQ(ext.NameIdByText(u"x", 0), -1);
  EXPECT_EQ(ext.NextSheetNumber(), -1);
  TXLSRangeItem r;
  EXPECT_EQ(ext.NameRangeById(1, r), -1);
  TXLSBlobList out;
  ext.SupBook().WriteRecords(out, 1);
  EXPECT_EQ(Records(out), std::vector<std::string>{"01ae:01000104"})
      << "the own book is written even without references";
}

}  // namespace
}  // namespace xls

namespace xls {
namespace {

// gnumeric's BIFF5 export of the golden corpus holds these records for three sheets and the
// add-ins ISEVEN and EDATE (tests/data/formula/corpus-biff5.records).
TEST(ExternSheet, Biff5RecordsAsGnumericWritesThem) {
  FakeBook book;
  TXLSExternSheet ext(book.Callbacks());
  ext.AddInEntry();
  ext.AddInNameIndex(u"ISEVEN");
  ext.AddInNameIndex(u"EDATE");
  TXLSBlobList out;
  ext.SupBook().WriteBiff5Records(out, {u"Sheet1", u"Sheet2", u"My Sheet"});
  std::vector<std::string> expect = {
      "0016:0400",
      "0017:0603536865657431",
      "0017:0603536865657432",
      "0017:08034d79205368656574",
      "0017:013a",
      "0023:0000000000000649534556454e02001c17",
      "0023:00000000000005454441544502001c17",
  };
  EXPECT_EQ(Records(out), expect);
  // (gnumeric's BIFF5 names are read back, and its add-in calls decoded, in golden_test.cpp.)
  auto name = test::Unhex("0000000000000649534556454e02001c17");
  EXPECT_EQ(ext.SupBook().ReadExternName(name.data(), 9, false), -1) << "a name cut short";
}

}  // namespace
}  // namespace xls
