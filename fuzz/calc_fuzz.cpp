// Formulas from outside calculated in a workbook: token bytes as a file holds them, or formula
// text, put into a cell among numbers, texts, booleans, errors and other formulas, calculated,
// printed, copied and shifted. Input: one byte (bit 0: text, else tokens; bit 1: BIFF5), then
// for tokens a 16-bit size and the tokens, for text the UTF-8 text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace {

struct Book {
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet* first;
  Book() {
    first = book->GetWorksheets().Add();
    xls::IXLSWorksheet* second = book->GetWorksheets().Add();
    for (int r = 1; r <= 6; ++r) first->GetRangeRC(r, 1, r, 1)->SetValue(xls::Variant(r * 1.5));
    first->GetRange(u"B1")->SetValue(xls::Variant(u"text"));
    first->GetRange(u"B2")->SetValue(xls::Variant(true));
    first->GetRange(u"B3")->SetValue(xls::Variant::Error(7));
    first->GetRange(u"B4")->SetValue(xls::Variant(u"=A1*2"));
    first->GetRange(u"B5")->SetValue(xls::Variant(u"=B5+1"));
    second->GetRange(u"C3")->SetValue(xls::Variant(u"=Sheet1!A2"));
    book->GetNames()->Add(u"Area", u"=Sheet1!$A$1:$A$6");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Book b;
  if (size < 1) return 0;
  const bool text = data[0] & 1;
  const int version = (data[0] & 2) ? 0x500 : 0x600;
  xls::IXLSWorksheet& sheet = *b.first;
  xls::TXLSCalculator& calc = b.book->Formulas().Calculator();
  std::unique_ptr<xls::TXLSCompiledFormula> f;
  if (text) {
    f = calc.CompileText(xls::Utf8ToWide(std::string(reinterpret_cast<const char*>(data + 1), size - 1)),
                         sheet.GetSheetId());
  } else {
    f = calc.CompileSizedBytes(data + 1, size - 1, 0, version);
  }
  if (!f) return 0;
  b.book->BumpRecalcStamp();
  // In a cell that others read: C1, read by C2.
  auto copy = f->CopyMovedFormula(1, 0);
  sheet.SetCellFormula(0, 2, std::move(f));
  sheet.GetRange(u"C2")->SetValue(xls::Variant(u"=C1+SUM(C1:C1)"));
  xls::Variant v;
  (void)sheet.GetRange(u"C2")->GetValue();
  (void)sheet.GetRange(u"C1")->GetFormula();
  xls::Variant out;
  calc.CalculateName(1, *copy, 0, out, 2, 0);
  // Rows inserted above and deleted again shift it and every formula of the book.
  sheet.GetRange(u"A1")->GetEntireRow()->Insert();
  sheet.GetRange(u"A1")->GetEntireRow()->Delete();
  b.book->BumpRecalcStamp();
  (void)sheet.GetRange(u"C2")->GetValue();
  sheet.GetRange(u"C1", u"C2")->SetValue(xls::Variant());
  return 0;
}
