// LibreOffice calculates REPT("xy";5000) into a STRING record continued in a CONTINUE record. We
// do not calculate REPT: the result read from the file is the cell's value, and our save must
// write all of it: xlrd reads back its 10,000 characters and the LEN of it that we calculated,
// as cached in our file; LibreOffice and gnumeric read the file and calculate; our reader joins
// what our writer split.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "reader_test_support.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

namespace fs = std::filesystem;

TEST(LongResultInterop, LibreOfficesLongTextResultSurvivesOurSave) {
  const fs::path dir = fs::temp_directory_path() / ("kv_long_result_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  auto path = [&](const std::string& name) { return (dir / name).string(); };
  std::ofstream(path("rept.fods"))
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
         "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" office:version=\"1.2\" "
         "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">\n"
         "<office:body><office:spreadsheet><table:table table:name=\"Sheet1\">\n"
         "<table:table-row><table:table-cell table:formula=\"of:=REPT(&quot;xy&quot;;5000)\"/></table:table-row>\n"
         "<table:table-row><table:table-cell table:formula=\"of:=LEN([.A1])\"/></table:table-row>\n"
         "</table:table></office:spreadsheet></office:body></office:document>\n";
  std::string output;
  ASSERT_EQ(test::RunCommand("cd " + dir.string() + " && soffice --headless --norestore -env:UserInstallation=file://" +
                                 path("profile") + " --convert-to 'xls:MS Excel 97' rept.fods 2>&1",
                             output),
            0)
      << output;
  std::string twice;
  for (int i = 0; i < 5000; ++i) twice += "xy";
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Utf8ToWide(path("rept.xls"))), 1);
  IXLSWorksheet* sheet = book->GetWorksheets().GetItem(1);
  ASSERT_NE(sheet->GetCellFormula(0, 0), nullptr);
  EXPECT_TRUE(sheet->GetRange(u"A1")->GetValue().TextValue() == Utf8ToWide(twice));
  EXPECT_EQ(sheet->GetRange(u"A2")->GetValue().NumberValue(), 10000.0);
  const std::string ours = path("ours.xls");
  ASSERT_EQ(book->SaveAsFormat(Utf8ToWide(ours), 2), 1);
  std::ofstream(path("expected.json"))
      << "{\"cells\": [{\"row\": 0, \"col\": 0, \"formula\": \"REPT\", \"kind\": \"s\", \"value\": \"" << twice
      << "\"}, {\"row\": 1, \"col\": 0, \"formula\": \"LEN\", \"kind\": \"n\", \"value\": 10000.0}], \"known\": []}\n";
  for (const char* program : {"xlrd", "libreoffice", "gnumeric"}) {
    EXPECT_EQ(test::RunCommand("/usr/bin/python3 " + test::SourceDir() + "/tests/xls/io/calc_check.py " + program +
                                   " " + ours + " " + path("expected.json") + " 2>&1",
                               output),
              0)
        << program << ":\n" << output.substr(0, 2000);
  }
  IXLSWorkbook again = TXLSWorkbook::Create();
  ASSERT_EQ(again->Open(Utf8ToWide(ours)), 1);
  EXPECT_EQ(again->GetWorksheets().GetItem(1)->GetRange(u"A1")->GetValue().TextValue().size(), twice.size());
  EXPECT_TRUE(again->GetWorksheets().GetItem(1)->GetRange(u"A1")->GetValue().TextValue() == Utf8ToWide(twice));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace xls
