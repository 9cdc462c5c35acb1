// Workbooks built record by record for the tests of what a save keeps from other programs'
// files: compound files around a workbook stream, and the books themselves.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "reader_test_support.h"

namespace xls::test {

using Bytes = std::vector<std::uint8_t>;
using Records = std::vector<std::pair<std::uint16_t, Bytes>>;

// A compound file holding the stream (named "Workbook", or "Book" for BIFF5) and further
// entries of the root; a name ending in "/" is a storage (with one stream "1").
Bytes Compound(const Bytes& stream, const std::u16string& name, const std::vector<std::pair<std::u16string, Bytes>>& more = {});
// The named stream of the root of a compound file (empty when absent).
Bytes StreamOf(const Bytes& file, const std::u16string& name);
// Globals of one sheet with the given records (a CODEPAGE first), then the sheet's records.
// Of the usual sixteen XFs only the first xfs.
BiffBuilder Book(std::uint16_t version, const std::string& sheetName, const Records& globals, const Records& sheet,
                 int xfs = 16);
// A property set of one section: code page 1252 and 8-bit texts under the given ids.
Bytes PropertySet(const Bytes& formatId, const std::vector<std::pair<std::uint32_t, std::string>>& texts);
extern const Bytes kSummaryId, kDocSummaryId;

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
// BIFF8 whose comment at C4 has its right offset at 1043 of 1024 and its bottom at 300 of 256.
Bytes CommentBook();

}  // namespace xls::test
