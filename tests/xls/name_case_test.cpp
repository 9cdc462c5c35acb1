// Names that differ only in letter case are one name, in every script: sheet names and the
// entry names of the compound file share one Unicode case folding.
#include <gtest/gtest.h>

#include "platform/case_fold.h"
#include "platform/compound_file.h"
#include "xls/model/codepage.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

TEST(NameCase, SheetNamesFoldInEveryScript) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorkSheets& sheets = book->GetWorksheets();
  sheets.Add()->SetName(u"Лист");
  sheets.Add()->SetName(u"Φύλλο");
  sheets.Add()->SetName(u"Ärger");
  for (const char16_t* taken : {u"ЛИСТ", u"лист", u"ΦΎΛΛΟ", u"φύλλο", u"äRGER", u"ÄRGER"})
    EXPECT_FALSE(sheets.IsValidName(0, taken)) << "taken: " << WideToUtf8(taken);
  EXPECT_TRUE(sheets.IsValidName(2, u"ΦΎΛΛΟ")) << "a sheet may change the case of its own name";
  EXPECT_EQ(sheets.IdOfName(u"ЛИСТ"), sheets.GetItem(1)->GetSheetId());
  // Final sigma and the micro sign fold with their capitals, Armenian and Cherokee too;
  // a character and its look-alike in another script stay apart.
  EXPECT_TRUE(IXLSWorkSheets::SameName(u"ΟΔΟΣ", u"οδος"));
  EXPECT_TRUE(IXLSWorkSheets::SameName(u"µ", u"Μ"));
  EXPECT_TRUE(IXLSWorkSheets::SameName(u"\u0561", u"\u0531"));
  EXPECT_TRUE(IXLSWorkSheets::SameName(u"\uAB70", u"\u13A0"));
  EXPECT_FALSE(IXLSWorkSheets::SameName(u"A", u"\u0410"));  // Latin and Cyrillic A
  EXPECT_FALSE(IXLSWorkSheets::SameName(u"i", u"\u0131"));  // dotless i stands alone
  EXPECT_FALSE(IXLSWorkSheets::SameName(u"ß", u"ss"));
}

TEST(NameCase, CompoundNamesOrderByCapitalsAndRefuseCaseTwins) {
  // Upper-cased order: "_" (0x5F) sorts after "A" (0x41), though after folding to lower case
  // it would come before "a".
  EXPECT_GT(platform::CompareCompoundNames(u"A_", u"Aa"), 0);
  EXPECT_LT(platform::CompareCompoundNames(u"Book", u"Workbook"), 0);
  EXPECT_EQ(platform::CompareCompoundNames(u"ЛИСТ", u"лист"), 0);
  EXPECT_EQ(platform::FoldCase(u'я'), u'Я');
  EXPECT_EQ(platform::FoldCase(0x00FF), 0x0178);
  platform::CompoundFileWriter file;
  std::string error;
  EXPECT_GE(file.AddStream(platform::CompoundFileWriter::kRoot, u"Данные", &error), 0) << error;
  EXPECT_EQ(file.AddStream(platform::CompoundFileWriter::kRoot, u"ДАННЫЕ", &error), -1);
}

}  // namespace
}  // namespace xls
