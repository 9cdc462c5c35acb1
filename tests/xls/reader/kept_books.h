// Workbooks built record by record as other programs leave them, for the tests of what our saves
// keep of a file, and the helpers that open, save and list them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "reader_test_support.h"
#include "xls/model/workbook.h"

namespace xls::test {

using Bytes = std::vector<std::uint8_t>;
using Records = std::vector<std::pair<std::uint16_t, Bytes>>;

IXLSWorkbook Open(const Bytes& file);
Bytes Saved(TXLSWorkbook& book, int format);
// The named stream of the root of a compound file (empty when absent).
Bytes StreamOf(const Bytes& file, const std::u16string& name);
// The records of a compound file's workbook stream ("Workbook", else "Book"); only those of the
// given ids when any are given.
Records RecordsOf(const Bytes& file, std::initializer_list<std::uint16_t> ids = {});

// A worksheet (type 0), macro sheet (1) or chart sheet (2) and its records.
struct Sheet {
  std::string name;
  Records records;
  std::uint8_t type = 0;
  std::uint16_t bof = 0;  // the type of its BOF when not that of its kind (a chart sheet's 0x8000)
};
// A bare workbook stream: WINDOW1, five fonts (10 pt Arial) and the first xfs of sixteen XFs
// (fifteen of styles of the type word given, then the cells' XF 15), as the format's program
// starts its globals; the globals given after the BOUNDSHEETs (a CODEPAGE before all, FONTs in
// place of the five, XF, XFCRC, XFEXT, DXF and STYLE after the sixteen XFs); then the sheets,
// a worksheet's records between DIMENSIONS and WINDOW2.
Bytes Workbook(std::uint16_t version, const std::vector<Sheet>& sheets, const Records& globals = {}, int xfs = 16,
               std::uint16_t styleXFType = 0xFFF5);

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
// {=SUM(Alpha)+Local} by the names' numbers (cached 4); Other: A1 = 1, A2 = 2. More records of
// Data may follow.
Bytes ArrayRefBook(const Records& moreData = {});
// BIFF5, sheets "Data", the macro sheet "Macro1" (which we do not read) and "Other": Data's B1:B2
// hold the array formula {=Other!$A$1:$A$2*2} by the file's third sheet (cached 2, 4).
Bytes MacroSheetArrayBook();
// Ours, 1904 dates: A1 2018-01-01, A2 2017-12-25 (given as dates) and E1, H1 in a date format; B1 =A1, D1 =A1-0,
// E1 =A1-A2, F1 =YEAR(A1), G1 =MAX(A1;A2)+1, H1 =A1+7.
IXLSWorkbook Book1904();

// A book of the given version and only the first xfs of the sixteen XFs: A1:A4 = 1..4 in the
// XFs 0, 4, 15 and 40, column B and row 6 in XF 40.
Bytes FewXFsBook(std::uint16_t version, int xfs);
// BIFF5, code page 10029 (Mac Central Europe): sheet "Ärkusz1", A1 "Ładowność", A2 "abc" LF "def".
Bytes MacTextsBook();
// BIFF8, sheet "S" with numbers in A1:B5 and an autofilter over them (_FilterDatabase A1:B5):
// the sheet's filter records (FILTERMODE, AUTOFILTERINFO, AUTOFILTER of column A = 1, AUTOFILTER
// of column B without conditions, its AUTOFILTER12 of an above-average filter and a
// CONTINUEFRT12) and, with backwardsByteOrder, a compound file whose byte-order mark is FF FE.
Records FilterRecords();
Bytes FilterBook(bool backwardsByteOrder = false);
// Our BIFF8 save of an autofilter over A1:C5 (drop-downs in A1, B1, C1) as other writers leave
// it: change 0 AUTOFILTERINFO counting two columns, 1 the filter database a hidden name of text
// "_FilterDatabase" instead of the built-in name, 2 no filter database.
Bytes OtherWritersFilterBook(int change);
// BIFF8 with SummaryInformation (title, author) and DocumentSummaryInformation (company), a sheet
// with a number, two pivot tables (SXVIEW), column B fitted to its contents (COLINFO 0x0004) and
// column C of a width set, and a "_SX_DB_CUR" storage.
Bytes PropertiesBook();
// The Mac program's BIFF5 (globals BOF 0x0580, code page 32768) of one chart sheet "Chart1".
Bytes MacChartBook();
// BIFF8, A1 = 1, B1 =GETPIVOTDATA("Sum";$A$1), C1 =DATESTRING(A1) and D1 =PHONETIC(A1), each by
// its function number as the format's program writes them (D1 with the fixed-count token).
Bytes FunctionsBook();
// One chart sheet "Chart1" of the version whose chart substream starts with a BOF of the type:
// UNITS, CHART, BEGIN, the records given, END.
Bytes ChartSheetBook(std::uint16_t version, std::uint16_t bofType, const Records& inside = {});
// BIFF8, sheet "Data" (A2:A6 = 1..5, B2:B6 = 10..50) and the chart sheet "Chart1" holding the
// records of the chart LibreOffice embedded in lo_chart_bad_bof.xls (a series of B2:B6 over
// A2:A6); empty when that file is missing.
Bytes LibreOfficeChartSheetBook();
// BIFF8 with records the model holds nothing of: THEME (the default theme; with a CONTINUEFRT
// when asked), a DXF, XFCRC and an XFEXT giving XF 17 (A1's; XF 16 unused) an orange fill
// over its red one; on sheet "S" (A1 = 5, A2 = 7) a CONDFMT of A1:A2 (number 1) with its CF, a
// CONDFMT12 and CF12 with a CONTINUEFRT12, a CFEX naming format 1, a SORT, and a FEATHEADR and
// FEAT of ignored errors over A1:A2, then the FEAT of a protected range over A1:A2.
Bytes NewerRecordsBook(bool themeContinued);
// The kept records of NewerRecordsBook's sheet, in their order (CONDFMT12 to FEAT).
Records NewerSheetRecords();
// BIFF8 whose first font is 11 pt Calibri, no DEFAULTROWHEIGHT; its fifteen style XFs have the
// style flag but parent 0 (as some writers leave them) when otherStyles.
Bytes CalibriBook(bool otherStyles);
// BIFF8 whose comment at C4 has its right offset at 1043 of 1024 and its bottom at 300 of 256.
Bytes CommentBook();
// BIFF8 for the tests of edits, optionally in the 1904 date system. Sheets "Data" and "Other"
// (Other!A1 = 100). Data: A1:C4 = 1 2 3 / 5 60 7 / 2 4 8 / 3 9 1, B2 (60) in the date format
// yyyy-mm-dd; D1 =Rate*2, D2 =SUM(Block), D3 =A2*2, D4 =B2*1, D5 =IF(B2=60;1;2),
// D6 =VLOOKUP(60;B2:C4;2;FALSE), D7 =MAX(B2:B4), D8 =Far+1; E1:E3 the shared formula =A1+B1;
// F1 the array formula {=SUM(A1:A3*B1:B3)}; A6:C6 merged, A6 = 12, under it B6 =6-B1 and
// C6 =A6/B6 (every cached result 0). Names: Rate =Data!$A$2, Block =Data!$A$3:$B$4,
// Far =Other!$A$1; Data's print area $A$1:$C$8, title rows $1:$1 and filter database
// $A$1:$C$6 (three columns).
Bytes EditBook(bool date1904);
// Where the first drawing ClientAnchor's header starts in the bytes (their size when none).
std::size_t ClientAnchorAt(const Bytes& bytes);

}  // namespace xls::test
