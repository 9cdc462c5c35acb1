// The evaluator: walks a formula's syntax tree and computes a variant value, reading cells
// through the calculator (which calculates the formulas of the cells it reads). Functions are
// computed by the dispatcher in functions.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "xls/formula/calc/compiled_formula.h"

namespace xls {

class TXLSCalculator;

// Wanted types of an evaluation.
enum TXLSWanted : int { kWantNone = 0, kWantNumber = 1, kWantString = 2, kWantBoolean = 3 };
// Value classes, in their order.
enum TXLSValueClass : int { kClassOther = 0, kClassNumber = 1, kClassString = 2, kClassBoolean = 3 };

bool IsEmptyValue(const Variant& v);
bool IsNumberValue(const Variant& v);
bool IsStringValue(const Variant& v);
bool IsBooleanValue(const Variant& v);
int ValueClass(const Variant& v);
// Converts to a wanted type; 1, or 15 when the value does not convert. A text that reads as a
// date becomes the serial of the book's date system (date1904: days from 1 January 1904, so that
// a date before it reads as none).
std::int32_t ConvertValue(Variant& v, int wanted, bool date1904 = false);
// -1, 0 or 1: the order of two numbers as rounded to 15 significant digits (the digits a cell
// shows), so that a sum of decimal fractions equals the number it shows. Every comparison of
// numbers (operators, criteria, lookups) is made so.
int CompareNumbers(double a, double b);
// -1, 0 or 1: the order of comparison operators (an empty side takes the other side's class).
int CompareValues(const Variant& a, const Variant& b);
// -1, 0 or 1: the order of lookups (an empty side is the empty value of the other's class).
int CompareForLookup(const Variant& a, const Variant& b);

// A reference resolved to a rectangle over a sheet span (1-based sheets, 0-based cells).
struct TXLSResolved {
  std::int32_t firstSheet = 0, lastSheet = 0;
  std::int32_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
  bool OneCell() const {
    return firstSheet == lastSheet && firstRow == lastRow && firstColumn == lastColumn;
  }
};

// Whether a text matches a pattern of criteria and exact lookups as a whole, letters without
// regard to case: "?" stands for one character, "*" for any run of them, "~" takes the next
// character as it is (a "~" at the end stands for itself).
bool WildcardMatches(const std::u16string& pattern, const std::u16string& text);

// A criterion: operator 0 none, 1 <, 2 <=, 3 =, 4 >=, 5 >, 6 <>.
// A criterion given as text ("2", "<>a*", "TRUE") keeps that text: for = and <> it is a
// wildcard mask over text cells (so the text "2" equals "2" as the number 2 does), it names
// the boolean or error a cell may hold, and an empty one stands for blank cells: "<>" passes
// every cell that is not blank, "=" only blank ones, "" blank ones and empty texts, "<=" and ">="
// no empty text. What follows "<", ">", "<=" or ">=" orders numbers (dates and times read as
// arithmetic reads them), texts, or booleans (TRUE, FALSE).
struct TXLSCriterion {
  int op = 0;
  Variant value;
  bool fromText = false;
  bool bareEquals = false;  // "=" with nothing after it
  std::u16string text;      // upper case
  bool Passes(const Variant& cell) const;

 private:
  bool Equals(const Variant& cell) const;
};

// What a range walk hands its cells to: numbers and dates as doubles, every other value (blanks,
// texts, booleans, errors) as a variant. A sink that takes numbers only is given nothing else:
// the walk then builds no variant for the cells that hold values.
class TXLSCellSink {
 public:
  explicit TXLSCellSink(bool numbersOnly) : numbersOnly_(numbersOnly) {}
  virtual ~TXLSCellSink() = default;
  virtual std::int32_t Number(double x) = 0;
  // Numbers of cells in walk order, handed over in runs.
  virtual std::int32_t Numbers(const double* x, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      const std::int32_t st = Number(x[i]);
      if (st != 1) return st;
    }
    return 1;
  }
  virtual std::int32_t Value(const Variant& v) = 0;
  bool NumbersOnly() const { return numbersOnly_; }

 private:
  bool numbersOnly_;
};

// A value of the array context (the arguments of SUMPRODUCT): rows x columns elements, each a
// number, text, boolean, blank or spreadsheet error (an error variant). The elements of the
// held block, the first heldRows x heldColumns, are kept one by one; every other element has
// the value fill: the cells of a range beyond the used area, and what operators and functions
// make of them, are all alike. An array of one row stands for that row in every row, one of
// one column for that column in every column.
struct TXLSCalcArray {
  std::int32_t rows = 1, columns = 1;
  std::int32_t heldRows = 0, heldColumns = 0;
  std::vector<Variant> held;
  Variant fill;

  const Variant& At(std::int32_t row, std::int32_t column) const {
    if (rows == 1) row = 0;
    if (columns == 1) column = 0;
    return row < heldRows && column < heldColumns
               ? held[static_cast<std::size_t>(row) * static_cast<std::size_t>(heldColumns) +
                      static_cast<std::size_t>(column)]
               : fill;
  }
};

// Whether a function computes one value from single values, so that the array context applies
// it element by element (functions of ranges, such as SUM or VLOOKUP, are not).
bool TakesSingleValues(int function);

// The most elements an array context holds one by one.
constexpr std::int64_t kMaxArrayElements = std::int64_t{1} << 20;

class TXLSEvaluator {
 public:
  TXLSEvaluator(TXLSCalculator& calc, int sheetIndex, int column, int row)
      : calc_(calc), sheet_(sheetIndex), column_(column), row_(row) {}

  // Evaluates a node; rangeMode gives references as range lists when wanted is none.
  std::int32_t Evaluate(const TXLSSyntaxItem* node, bool rangeMode, int wanted, Variant& out, bool root = false);
  std::int32_t Resolve(const TXLSSyntaxItem* node, TXLSResolved& out);
  // Reads one cell; a cell holding an error value gives that error as the status.
  std::int32_t ReadCell(int sheet, int row, int column, bool& outside, Variant& value);
  // Every cell of a resolved rectangle in sheet, row, column order, skipping what lies beyond
  // the used area, read straight from the sheets' cell stores; the sink returns a status,
  // anything but 1 ends the walk. Cells holding errors reach the sink as error values when
  // errorsAsValues is set, else end the walk.
  std::int32_t Walk(const TXLSResolved& r, bool errorsAsValues, TXLSCellSink& sink);
  std::int32_t Walk(const TXLSResolved& r, bool errorsAsValues,
                    const std::function<std::int32_t(const Variant&)>& visit);
  // The criteria range and the value range walked in pairs (both on one sheet).
  std::int32_t WalkPaired(const TXLSResolved& criteria, const TXLSResolved& values,
                          const std::function<std::int32_t(const Variant& c, const Variant& v)>& visit);
  std::int32_t CallFunction(const TXLSSyntaxItem* node, bool rangeMode, int wanted, Variant& out);
  // A node in the array context: ranges give their cells, and operators and the functions of
  // single values work element by element on arrays (array_context.cpp). 1 or a status that is
  // no element's: an element that fails holds its error.
  std::int32_t EvaluateArray(const TXLSSyntaxItem* node, TXLSCalcArray& out);

  int Row() const { return row_; }
  int Column() const { return column_; }
  int Sheet() const { return sheet_; }
  TXLSCalculator& Calc() { return calc_; }

 private:
  std::int32_t EvaluateNode(const TXLSSyntaxItem* node, bool rangeMode, int wanted, Variant& out, bool root);
  std::int32_t ReferenceValue(const TXLSSyntaxItem* node, Variant& out);
  std::int32_t ResolveSpan(const TXLSSyntaxItem* node, TXLSResolved& out);
  std::int32_t Arithmetic(const TXLSSyntaxItem* node, Variant& out, bool root);
  std::int32_t RangeArray(const TXLSSyntaxItem* node, TXLSCalcArray& out);
  std::int32_t Elementwise(const TXLSSyntaxItem* node, const std::vector<TXLSCalcArray>& operands,
                           TXLSCalcArray& out);
  std::int32_t ElementAt(const TXLSSyntaxItem* node, const std::vector<TXLSCalcArray>& operands, std::int32_t row,
                         std::int32_t column, Variant& out);

  // While an operator or function is applied to one element of its array operands, its operand
  // nodes stand for those elements: evaluating such a node gives its element.
  std::vector<std::pair<const TXLSSyntaxItem*, const Variant*>> bound_;

  TXLSCalculator& calc_;
  int sheet_, column_, row_;
};

// Rounding with the tolerance that grows with the magnitude (ROUND, INT, FLOOR, ...).
double FloorTolerant(double x);
double CeilTolerant(double x);
double RoundDigits(double x, double digits, double (*rule)(double));
double RoundHalfAway(double x);
double RoundTruncate(double x);
double RoundAway(double x);
double NormSInv(double p);  // throws std::domain_error outside 0 < p < 1
// x to the power y, for ^ and POWER alike: 0 to a negative power is #DIV/0!, a result that is
// not a finite real number #NUM!.
std::int32_t PowerOf(double x, double y, Variant& out);

// Dates: the date value (days from 1899-12-30) of a civil date, and back.
double DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);
void CivilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day);
// Dates as the format's own program counts them, the serials its files hold: serial 1 is
// 1900-01-01, 60 the 29 February 1900 it has, 0 the "1900-01-00" it shows; from 61
// (1900-03-01) on a serial is the date value. Months and days roll over.
double SerialFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);
void CivilFromSerial(std::int64_t serial, std::int64_t& year, int& month, int& day);

}  // namespace xls
