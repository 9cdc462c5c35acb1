// The SUPBOOK and EXTERNSHEET records of a BIFF8 workbook. Kept apart from the writer because
// the formula library's reference table brings its own sheet-bound constants.
#pragma once

#include "xls/model/blob.h"

namespace xls {

// The reference table of a workbook whose formulas refer to no other sheet: the own book's
// SUPBOOK and an EXTERNSHEET without entries. 1, or the first failing status.
int WriteOwnBookReferences(TXLSBlobList& out, int sheetCount);

}  // namespace xls
