// The SUPBOOK and EXTERNSHEET records of a BIFF8 workbook. Kept apart from the writer because
// the formula library's reference table brings its own sheet-bound constants.
#pragma once

#include <map>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

class TXLSExternSheet;
class TXLSWorkbook;

// The reference table as the workbook's own records need it: the own book's SUPBOOK and an
// EXTERNSHEET with one entry per listed sheet (1-based positions; the built-in names refer
// to their sheets through them). externIndex receives each listed sheet's 0-based entry.
// 1, or the first failing status.
// With a table (the workbook's own, once its formulas or names use one) the listed sheets'
// entries join it and every entry of it is written; without, a table of those entries alone.
int WriteOwnBookReferences(TXLSBlobList& out, const TXLSWorkbook& book, const std::vector<int>& sheets,
                           std::map<int, int>& externIndex, TXLSExternSheet* table = nullptr);

}  // namespace xls
