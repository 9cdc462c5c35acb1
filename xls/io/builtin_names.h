// The built-in names that a save writes from the sheets' page setups and autofilters: the print
// area (built-in name 6), the print titles (7) and the filter database (13, hidden), as NAME
// records over 3-D areas. The sheets are taken in the order of their names, print areas first,
// then print titles, then filter databases.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "xls/model/blob.h"

namespace xls {

class TXLSWorkbook;

class IXLSWorksheet;

// Whether the sheet's own settings give it the built-in name of the code (6 print area, 7 print
// titles, 13 filter database): a name of that code kept from a file for the sheet then goes.
bool SheetHasBuiltInName(IXLSWorksheet& sheet, int code);

// The 1-based positions of the sheets that have a print area, print titles or an autofilter.
std::vector<int> SheetsWithBuiltInNames(TXLSWorkbook& book);

// Appends the NAME records. BIFF8 areas name their sheet through externIndex (1-based sheet
// position -> 0-based EXTERNSHEET entry); BIFF5 areas through the sheet's own EXTERNSHEET.
// 1, or the first failing status.
int WriteBuiltInNames(TXLSBlobList& out, TXLSWorkbook& book, int version,
                      const std::map<int, int>& externIndex, std::uint16_t limit);

}  // namespace xls
