// Whether a formula's result is a date serial. The calculator works in the model's 1900 date
// system; a 1904 workbook's file holds its dates 1462 days lower, so a result that is a date is
// moved back when it is written, whatever the format of its cell. A result that a date and a
// number make (A1+7, A1-0, MAX(A1;A2)) is a date; one of two dates (A1-B1) or of numbers only is
// a number; what cannot be told (a lookup, a name, a range) is left to the cell's format.
#pragma once

#include <cstdint>

namespace xls {

class IXLSWorksheet;
class TXLSCompiledFormula;

enum TXLSResultKind : int { kResultUnknown = 0, kResultNumber = 1, kResultDate = 2 };

TXLSResultKind FormulaResultKind(const TXLSCompiledFormula& formula, const IXLSWorksheet& sheet, int row,
                                 int column);

}  // namespace xls
