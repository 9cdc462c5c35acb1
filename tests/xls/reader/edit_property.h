// The property of edits shared by the unit and the interop tests: EditBook (kept_books.h) read,
// edited by a seeded random sequence of the library's edits and saved; where its names should
// have gone, and what the saved file holds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "kept_books.h"

namespace xls::test {

// An area a name stands for: 1-based sheet, 0-based rows and columns; gone once deleted.
struct TrackedArea {
  int sheet = 0, r1 = 0, c1 = 0, r2 = 0, c2 = 0;
  bool gone = false;
  // What a reference to the area becomes when whole rows (columns) are inserted (count > 0) or
  // deleted at `at` on a sheet, worked out on its own here.
  void Shift(int movedSheet, bool rows, int at, int count);
};

struct EditRun {
  bool date1904 = false;
  std::string log;                              // the edits made, for the failure message
  std::map<std::string, TrackedArea> expected;  // by name; built-in names as "builtin<code>@<sheet>"
  Bytes saved, saved5;                          // BIFF8, BIFF5
};
EditRun RunEdits(std::uint32_t seed, int steps);
// The expected and the saved names (NAME records) as "sheet:r1,c1:r2,c2" or "#REF!", by name as
// in EditRun.
std::map<std::string, std::string> ExpectedNames(const EditRun& run);
std::map<std::string, std::string> SavedNames(const Bytes& file);

using CellKey = std::tuple<int, int, int>;  // 1-based sheet, row, column
// A FORMULA record's cached result: type -1 a number, else the special type (0 text, 1 boolean,
// 2 error, 3 empty) with its code; and its option flags.
struct CachedResult {
  int type = -1, code = 0;
  double number = 0;
  int options = 0;
};
std::map<CellKey, CachedResult> SavedResults(const Bytes& file);
// The formula cells whose saved result is not what the calculator makes of the file read back,
// or, where it makes nothing (a function it does not compute), that are not flagged to be
// calculated on load in a file whose RECALCID (BIFF8) asks for a full calculation.
std::vector<std::string> ResultsDifferingFromFreshCalculation(const Bytes& file);

}  // namespace xls::test
