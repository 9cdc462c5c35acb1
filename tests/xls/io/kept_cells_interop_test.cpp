// Cells that a save once left out, read back by programs no one here wrote: text that is no
// formula (PI(1), ROUND(1)) and a formula read from a file that has no tokens to write go as
// their text. (LibreOffice's long text results through our save: tests/xls/reader.)
#include <gtest/gtest.h>

#include <fstream>

#include "io_test_support.h"
#include "xls/formula/calc/calculator.h"
#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

using test::Json;
using test::JsonNumber;

std::u16string U(const std::string& s) { return Utf8ToWide(s); }

// calc_check.py over the file: the cells of column A as expected.
void Check(const std::string& program, const std::string& file, const std::string& cells, test::TempDir& dir) {
  const std::string expected = dir.File(program + ".json");
  std::ofstream(expected) << "{\"cells\": [" << cells << "], \"known\": []}\n";
  std::string output;
  EXPECT_EQ(test::RunCommand("/usr/bin/python3 " + std::string(KV_SOURCE_DIR) + "/tests/xls/io/calc_check.py " +
                                 program + " " + file + " " + expected + " 2>&1",
                             output),
            0)
      << program << ":\n" << output;
}

std::string Cell(int row, const std::string& formula, const std::string& kind, const std::string& value) {
  return "{\"row\": " + std::to_string(row) + ", \"col\": 0, \"formula\": " + Json(formula) + ", \"kind\": \"" + kind +
         "\", \"value\": " + value + "}";
}

TEST(KeptCellsInterop, FormulasWithoutTokensReadAsTheirText) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  ASSERT_EQ(sheet->GetRange(u"A1")->SetValue(Variant(u"=PI(1)")), 1);
  ASSERT_EQ(sheet->GetRange(u"A2")->SetValue(Variant(u"=ROUND(1)")), 1);
  // PI given one argument, as a file's tokens may say it (ptgNum 2, ptgFuncVar PI with count 1).
  const std::uint8_t tokens[] = {0x1F, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x42, 1, 19, 0};
  ASSERT_EQ(sheet->SetCellFormula(2, 0, book->Formulas().Calculator().CompileBytes(tokens, sizeof tokens, 0, 0x0600,
                                                                                  sizeof tokens)),
            1);
  ASSERT_EQ(sheet->GetRange(u"A4")->SetValue(Variant(u"=PI()*2")), 1);
  const std::string cells = Cell(0, "PI(1)", "s", Json("=PI(1)")) + "," + Cell(1, "ROUND(1)", "s", Json("=ROUND(1)")) +
                            "," + Cell(2, "PI(2)", "s", Json("=PI(2)")) + "," +
                            Cell(3, "PI()*2", "n", JsonNumber(2 * 3.14159265358979323846));
  test::TempDir dir;
  const std::string biff8 = dir.File("book8.xls"), biff5 = dir.File("book5.xls");
  ASSERT_EQ(book->SaveAsFormat(U(biff8), 2), 1);
  ASSERT_EQ(book->SaveAsFormat(U(biff5), 1), 1);
  for (const char* program : {"xlrd", "libreoffice", "gnumeric"}) Check(program, biff8, cells, dir);
  for (const char* program : {"xlrd5", "libreoffice5"}) Check(program, biff5, cells, dir);
}

}  // namespace
}  // namespace xls
