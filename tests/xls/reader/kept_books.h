// Workbooks built record by record for the tests of what our saves keep of a file: results
// cached by hand, a BIFF5 call through a defined name with a command-equivalent function, an
// array formula as the format's program writes it beside a merged area; and a 1904 book of ours.
#pragma once

#include <cstdint>
#include <vector>

#include "xls/model/workbook.h"

namespace xls::test {

using Bytes = std::vector<std::uint8_t>;

// A1 = 3, B1 = A1*2 and C1 = B1+1 cached 7 and 9, as a workbook calculated by hand leaves them.
Bytes StaleBook();
// BIFF5: a hidden NAME "Comment" (a macro function) and A1 = 5, B1 = Comment(A1) through
// ptgName and ptgFuncVar 255 (cached 5), C1 a command-equivalent function (ptgFuncVar 0x80A3,
// cached 1).
Bytes CallBook();
// A1:A3 = 1, 2, 3; B1 the array formula {=SUM(IF(FREQUENCY(A1:A3;A1:A3)>0;1;0))} as the format's
// program writes it (array-class areas, IF with its jumps, ptgInt, option flags 0), cached 3;
// B3 = 1+3 and C3 = 1+2 (cached 4 and 3) under the merged area A3:C3.
Bytes ArrayBook();
// ArrayBook's ARRAY record body.
Bytes ArrayRecord();
// Sheets "Data" and "Other", EXTERNSHEET entry 1 naming Other, the name "Local" of Data
// (=Other!$A$1) before the workbook's "Alpha" (=Other!$A$1:$A$2), which our saves number first.
// Data: A1 = 5, B1:B2 the array formula {=Other!$A$1:$A$2*2} (cached 2, 4) and B4
// {=SUM(Alpha)+Local} by the names' numbers (cached 4); Other: A1 = 1, A2 = 2.
Bytes ArrayRefBook();
// BIFF5, sheets "Data", the macro sheet "Macro1" (which we do not read) and "Other": Data's B1:B2
// hold the array formula {=Other!$A$1:$A$2*2} by the file's third sheet (cached 2, 4).
Bytes MacroSheetArrayBook();
// Ours, 1904 dates: A1 2018-01-01, A2 2017-12-25 and E1, H1 in a date format; B1 =A1, D1 =A1-0,
// E1 =A1-A2, F1 =YEAR(A1), G1 =MAX(A1;A2)+1, H1 =A1+7.
IXLSWorkbook Book1904();

IXLSWorkbook Open(const Bytes& bytes);
Bytes Saved(TXLSWorkbook& book, int format);
// The bodies of a saved file's workbook-stream records with the given id.
std::vector<Bytes> Records(const Bytes& file, std::uint16_t id);
// The cached numbers of a saved file's FORMULA records, in order.
std::vector<double> FormulaResults(const Bytes& file);

}  // namespace xls::test
