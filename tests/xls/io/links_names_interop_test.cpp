// Defined names, hyperlinks and merged areas in our BIFF8 and BIFF5 files, read back by
// python3-xlrd (name_map, hyperlink_list, merged_cells), by LibreOffice (converted to a flat
// .fods whose XML is read) and by gnumeric (its own XML). The checker script holds the
// expectations.
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

IXLSWorkbook LinksAndNamesBook() {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* data = book->GetWorksheets().Add();
  data->SetName(u"Data");
  IXLSWorksheet* other = book->GetWorksheets().Add();
  other->SetName(u"Other");
  for (int r = 1; r <= 4; ++r)
    for (int c = 1; c <= 3; ++c) data->GetRangeRC(r, c, r, c)->SetValue(Variant(static_cast<double>(r * 10 + c)));
  data->GetRange(u"B6")->SetValue(Variant(u"merged"));
  data->GetRange(u"B6", u"C7")->Merge();
  data->GetRange(u"A9", u"C9")->Merge();
  IXLSHyperLinks links = data->GetHyperlinks();
  links->Add(data->GetRange(u"A11"), u"http://example.com/page", u"", u"Go there", u"Example");
  links->Add(data->GetRange(u"A12"), u"mailto:team@example.com");
  links->Add(data->GetRange(u"A13"), u"", u"Other!B2");
  links->Add(data->GetRange(u"A14"), u"report.xls");
  links->Add(data->GetRange(u"A15"), u"\\\\server\\share\\doc.txt");
  other->GetRange(u"B2")->SetValue(Variant(5.0));

  TXLSCustomNames& names = book->Formulas().Names();
  names.Add(u"Total", u"=Data!$A$1:$C$4", true);
  names.Add(u"OneCell", u"=Data!$B$2", true);
  names.Add(u"Hidden", u"=Other!$A$1:$A$3", false);
  names.Add(u"Consts", u"={1|2|3}", true);
  names.Add(u"Expr", u"=1+2", true);
  names.SheetList(other->GetSheetId())->Add(u"Local", u"=Other!$B$2", true);
  data->GetPageSetup()->SetPrintArea(0, 0, 3, 2);
  return book;
}

class LinksNamesInterop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir();
    IXLSWorkbook book = LinksAndNamesBook();
    std::string error;
    ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir_->File("links8.xls")), kSaveBiff8, &error), 1) << error;
    ASSERT_EQ(SaveWorkbookAs(*book, Utf8ToWide(dir_->File("links5.xls")), kSaveBiff5, &error), 1) << error;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static void Check(const char* reader) {
    std::string out;
    const std::string script = std::string(KV_SOURCE_DIR) + "/tests/xls/io/links_names_check.py";
    const int status = test::RunCommand("/usr/bin/python3 '" + script + "' " + reader + " '" + dir_->Path() + "'", out);
    EXPECT_EQ(status, 0) << out;
  }
  static test::TempDir* dir_;
};

test::TempDir* LinksNamesInterop::dir_ = nullptr;

TEST_F(LinksNamesInterop, XlrdReadsNamesLinksAndMerges) { Check("xlrd"); }
TEST_F(LinksNamesInterop, LibreOfficeReadsNamesLinksAndMerges) { Check("libreoffice"); }
TEST_F(LinksNamesInterop, GnumericReadsNamesLinksAndMerges) { Check("gnumeric"); }

}  // namespace
}  // namespace xls
