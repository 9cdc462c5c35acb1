// HLINK and HLINKTOOLTIP record data as a file holds it. Input: one byte whose bit 0 picks the
// tooltip record, then the record data. A link that loads must be written and loaded back to
// the same fields.
#include <cstddef>
#include <cstdint>

#include "xls/model/blob.h"
#include "xls/model/hyperlinks.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  static xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
  if (size < 1) return 0;
  xls::TXLSCustomHyperlinks links(sheet);
  const bool tooltip = data[0] & 1;
  links.LoadHLINK(reinterpret_cast<const uint8_t*>("\0\0\0\0\0\0\0\0"), 8);  // refused: too short
  if (links.Count() != 0) __builtin_trap();
  if (tooltip) {
    const uint8_t plain[40] = {0};
    links.LoadHLINK(plain, sizeof plain);
    links.LoadHLINKTooltip(data + 1, size - 1);
    return 0;
  }
  const int index = links.LoadHLINK(data + 1, size - 1);
  if (index < 1) return 0;
  const xls::TXLSCustomHyperlink& got = *links.GetItem(index);
  auto record = got.BuildHLINK();
  xls::TXLSCustomHyperlinks again(sheet);
  if (again.LoadHLINK(record->GetData() + 4, record->GetSize() - 4) != 1) __builtin_trap();
  const xls::TXLSCustomHyperlink& back = *again.GetItem(1);
  if (back.firstRow != got.firstRow || back.lastColumn != got.lastColumn || back.textToDisplay != got.textToDisplay ||
      back.subAddress != got.subAddress || back.targetFrame != got.targetFrame)
    __builtin_trap();
  if (back.kind != got.kind && got.kind != xls::kLinkPlace) __builtin_trap();
  return 0;
}
