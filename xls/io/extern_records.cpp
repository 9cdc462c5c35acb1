#include "xls/io/extern_records.h"

#include "xls/formula/extern_sheet.h"

namespace xls {

int WriteOwnBookReferences(TXLSBlobList& out, int sheetCount) {
  TXLSExternSheet externs;
  externs.Renumber();
  int result = externs.SupBook().WriteRecords(out, sheetCount);
  if (result == 1) result = externs.WriteExternSheet(out);
  return result;
}

}  // namespace xls
