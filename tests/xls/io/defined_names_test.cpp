// Defined names: validation, scopes and lookup, renaming and deleting, and the numbering of the
// NAME records a save writes for BIFF8 and BIFF5.
#include <gtest/gtest.h>

#include "io_test_support.h"
#include "xls/formula/names.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/codepage.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

struct Book {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet1 = book->GetWorksheets().Add();
  IXLSWorksheet* sheet2 = book->GetWorksheets().Add();
  TXLSCustomNames& names = book->Formulas().Names();
};

std::vector<test::BiffRecord> NameRecords(TXLSWorkbook& book, int format) {
  std::vector<test::BiffRecord> out;
  for (auto& r : test::ParseRecords(test::SaveStream(book, format)))
    if (r.id == 0x0018) out.push_back(r);
  return out;
}

std::u16string RecordName(const test::BiffRecord& r, bool biff8) {
  const std::size_t n = r.data[3];
  std::u16string s;
  for (std::size_t i = 0; i < n; ++i) s += biff8 ? static_cast<char16_t>(r.Word(15 + 2 * i)) : r.data[14 + i];
  return s;
}

TEST(DefinedNames, Validation) {
  for (const char16_t* ok : {u"Total", u"_x", u"Net.Sales", u"a1b", u"\u00e9t\u00e9"})
    EXPECT_EQ(TXLSCustomNames::ValidateName(ok), 1) << WideToUtf8(ok);
  for (const char16_t* bad : {u"", u"1Total", u".x", u"My Name", u"A-B", u"Sum!", u"Cost$", u"a~b"})
    EXPECT_EQ(TXLSCustomNames::ValidateName(bad), -1) << WideToUtf8(bad);
  // The NAME record keeps the length in one byte.
  EXPECT_EQ(TXLSCustomNames::ValidateName(std::u16string(255, u'n')), 1);
  EXPECT_EQ(TXLSCustomNames::ValidateName(std::u16string(256, u'n')), -1);
}

TEST(DefinedNames, ScopesLookupRenameAndDelete) {
  Book b;
  TXLSCustomName* total = b.names.Add(u"Total", u"=Sheet1!$A$1:$B$3", true);
  ASSERT_NE(total, nullptr);
  const std::int32_t totalId = total->Id();  // the name object goes with Delete below
  EXPECT_EQ(b.names.Add(u"Total", u"=Sheet1!$A$1", true), nullptr);
  EXPECT_EQ(b.names.Add(u"NoEquals", u"Sheet1!$A$1", true), nullptr);
  EXPECT_EQ(b.names.Add(u"Unclosed", u"=SUM(1;2", true), nullptr);
  TXLSCustomNames* local = b.names.SheetList(b.sheet1->GetSheetId());
  TXLSCustomName* localTotal = local->Add(u"Total", u"=Sheet1!$C$1", true);
  ASSERT_NE(localTotal, nullptr);
  EXPECT_NE(localTotal->Id(), total->Id());
  // Sheet1's formulas see its own Total; Sheet2's see the workbook's.
  EXPECT_EQ(b.names.FindIdByName(u"Total", b.sheet1->GetSheetId()), localTotal->Id());
  EXPECT_EQ(b.names.FindIdByName(u"Total", b.sheet2->GetSheetId()), total->Id());
  auto tree = b.book->Formulas().CompileText(u"Total*2", b.sheet1->GetSheetId());
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->Child(1)->value, localTotal->Id());

  IXLSNames names = b.book->GetNames();
  EXPECT_EQ(WideToUtf8(names->GetItem(Variant(u"Total"))->GetRefersTo()), "='Sheet1'!$A$1:$B$3");
  IXLSRange range = names->GetItem(Variant(1))->GetRefersToRange();
  ASSERT_TRUE(range);
  EXPECT_EQ(range->GetWorksheet(), b.sheet1);
  EXPECT_EQ(range->GetFirstRow(), 0);
  EXPECT_EQ(range->GetLastRow(), 2);
  EXPECT_EQ(range->GetLastCol(), 1);
  EXPECT_EQ(names->GetItem(Variant(2)), nullptr);
  ASSERT_TRUE(names->Add(u"Second", u"=Sheet2!$B$2"));
  ASSERT_TRUE(names->Add(u"Third", u"=1+2", false));
  EXPECT_FALSE(names->GetItem(Variant(u"Third"))->GetRefersToRange());  // not a reference
  EXPECT_FALSE(names->GetItem(Variant(u"Third"))->GetVisible());
  const std::int32_t secondId = b.names.FindByName(u"Second")->Id();

  IXLSName third = names->GetItem(Variant(3));
  EXPECT_EQ(third->SetName(u"Second"), -1);  // taken
  EXPECT_EQ(third->SetName(u"Bad Name"), -1);
  EXPECT_EQ(third->SetName(u"Renamed"), 1);
  EXPECT_EQ(names->GetItem(Variant(u"Third")), nullptr);
  EXPECT_EQ(third->SetRefersTo(u"=SUM("), -1);
  EXPECT_EQ(third->SetRefersTo(u"1+2"), -1);
  EXPECT_EQ(WideToUtf8(third->GetRefersTo()), "=1+2");

  EXPECT_EQ(names->GetItem(Variant(1))->Delete(), 1);
  EXPECT_EQ(names->GetCount(), 2);
  EXPECT_EQ(names->GetItem(Variant(u"Second"))->GetIndex(), 1);
  EXPECT_EQ(third->GetIndex(), 2);
  EXPECT_EQ(b.names.FindByName(u"Second")->Id(), secondId);
  EXPECT_EQ(b.names.GetNameTextById(totalId /* deleted */), u"");
  // A new name never takes a deleted name's id.
  EXPECT_GT(b.names.Add(u"Fourth", u"=2", true)->Id(), localTotal->Id());
}

TEST(DefinedNames, NameRecordsNumberedAcrossScopes) {
  Book b;
  ASSERT_TRUE(b.names.Add(u"Later", u"=1", true));
  ASSERT_TRUE(b.names.Add(u"UsesGone", u"=Gone*2", true) == nullptr);  // unknown names do not compile
  ASSERT_TRUE(b.names.Add(u"Gone", u"=5", true));
  ASSERT_TRUE(b.names.Add(u"UsesGone", u"=Gone*2", true));
  ASSERT_TRUE(b.names.Add(u"Hidden", u"=Sheet2!$A$1:$A$4", false));
  TXLSCustomNames* s2 = b.names.SheetList(b.sheet2->GetSheetId());
  ASSERT_TRUE(s2->Add(u"LocalA", u"=Sheet2!$B$1", true));
  ASSERT_TRUE(s2->Add(u"LocalB", u"=Later+LocalA", true));
  ASSERT_EQ(b.names.Delete(b.names.IndexOfId(b.names.FindByName(u"Gone")->Id())), 1);

  for (int format : {kSaveBiff8, kSaveBiff5}) {
    const bool biff8 = format == kSaveBiff8;
    const auto records = NameRecords(*b.book, format);
    ASSERT_EQ(records.size(), 4u);  // UsesGone is skipped without a gap
    EXPECT_EQ(RecordName(records[0], biff8), u"Later");
    EXPECT_EQ(RecordName(records[1], biff8), u"Hidden");
    EXPECT_EQ(RecordName(records[2], biff8), u"LocalA");
    EXPECT_EQ(RecordName(records[3], biff8), u"LocalB");
    EXPECT_EQ(b.names.FindByName(u"UsesGone")->OutputIndex(), -1);
    EXPECT_EQ(s2->FindByName(u"LocalB")->OutputIndex(), 4);
    // (Hidden names, sheet scopes and array constants are read back by xlrd, LibreOffice and
    // gnumeric from both formats in links_names_interop_test.cpp.)
    // LocalB = Later + LocalA refers to NAME records 1 and 3.
    const auto& f = records[3].data;
    const std::size_t at = 14 + (biff8 ? 1 + 2 * 6 : 6);
    EXPECT_EQ(f[at] & 0x1F, 0x03);  // ptgName
    EXPECT_EQ(records[3].Word(at + 1), 1);
    EXPECT_EQ(records[3].Word(at + (biff8 ? 5 : 15) + 1), 3);
  }
}

}  // namespace
}  // namespace xls
