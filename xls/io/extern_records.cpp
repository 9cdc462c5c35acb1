#include "xls/io/extern_records.h"

#include "xls/formula/extern_sheet.h"
#include "xls/model/workbook.h"

namespace xls {

int WriteOwnBookReferences(TXLSBlobList& out, const TXLSWorkbook& book, const std::vector<int>& sheets,
                           std::map<int, int>& externIndex, TXLSExternSheet* table) {
  TXLSExternCallbacks callbacks;
  callbacks.sheetIndexById = [&book](int id) {
    std::int32_t index = -1;
    return book.GetSheetIndexById(id, index) == 1 ? index : -1;
  };
  callbacks.sheetNameByIndex = [&book](int index) {
    std::u16string name;
    book.GetSheetNameByIndex(index, name);
    return name;
  };
  callbacks.sheetIdByName = [&book](const std::u16string& name) {
    std::int32_t id = -1;
    return book.GetSheetIdByName(name, id) == 1 ? id : -1;
  };
  TXLSExternSheet local(callbacks);
  TXLSExternSheet& externs = table ? *table : local;
  std::map<int, int> entries;
  for (int sheet : sheets) entries[sheet] = externs.FindOrAddBySheetIndex(sheet, sheet);
  externs.Renumber();
  externIndex.clear();
  for (const auto& [sheet, entry] : entries) {
    const int output = externs.GetOutputIndex(entry);
    if (output < 1) return -1;
    externIndex[sheet] = output - 1;
  }
  int result = externs.SupBook().WriteRecords(out, book.GetNextSheetIndex() - 1);
  if (result == 1) result = externs.WriteExternSheet(out);
  return result;
}

}  // namespace xls
