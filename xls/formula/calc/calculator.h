// The calculator: the one door through which the workbook compiles formula text and file
// tokens into compiled formulas, turns them back into token bytes (FORMULA, ARRAY, NAME
// records) or text, and calculates them with a per-formula cache keyed by the workbook's
// recalculation stamp.
//
// Calculation never recurses without bound: a formula that reads a cell whose formula is not
// calculated yet calculates it on the spot, but once the calculation has used kSetAsideStack
// bytes of stack the inner formula is set aside and calculated first, from an explicit list
// of pending formulas, so a chain of any length and of any function calculates (what one link
// costs differs: SUM walks a range, + reads one cell). Pending formulas count as busy, so a
// circular reference is found however long the circle is. A single formula nested so deep
// that it alone passes kMaxEvalStack gives the circular status.
//
// Results are cached under the stamp. A failure is cached too (so that an error heading a
// long chain is not followed again for every cell that reads it) but only while the
// workbook's own stamp stays as it was: once an input changed it is calculated again, even
// under the same stamp.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/cell_text/number_format.h"

namespace xls {

class TXLSBlob;
class TXLSFormula;
class TXLSExternSheet;
class TXLSWorkbook;
class TXLSWorkbookFormulas;
class IXLSWorksheet;

// The cells along a sorted lookup's scan (a column or row of one sheet) up to the used area's
// edge, read once per stamp (a cell holding an error as that error), and for each class of key
// (1 number, 2 text, 3 boolean) that has bisected them, where the nearest cell of that class
// lies at or before each cell and at or after it (-1 for none), and where the run of cells of
// that class holding a cell's value ends.
struct TXLSLookupVector {
  std::uint32_t stamp = 0;
  std::vector<Variant> values;
  std::vector<std::int32_t> before[4], after[4], runEnd[4];
  bool scan = false;  // a cell did not calculate: the lookups read the cells they look at
};

// The cells along an exact lookup's scan as exact lookups under one stamp have read them so
// far, in scan order: where each value stands first (numbers and texts are keyed, texts in
// upper case; cells holding errors are left out as the scan skips them, and blank ones, which no
// key finds). An exact lookup takes
// its hit from here when the cells read so far hold it, else reads on from next, so that the
// cells read are those the scan would read.
struct TXLSExactIndex {
  bool looked = false;         // a lookup of this scan was made under the stamp
  std::int32_t next = 0;       // offset along the scan of the first cell not read yet
  bool ended = false;          // the scan ends before next (the used area's edge, the range's end)
  bool scanOnly = false;       // a number that is not finite was read: the lookups scan the cells
  std::int32_t firstFalse = -1, firstTrue = -1;
  std::map<double, std::int32_t> numbers;
  std::unordered_map<std::u16string, std::int32_t> texts;
};

// What calculations did, counted since the calculator was made: the cells read one by one,
// the cell slots that range walks and running totals went through, and the lookups and sums
// that the per-stamp memos answered.
struct TXLSCalcCounters {
  std::uint64_t cellsRead = 0;
  std::uint64_t slotsWalked = 0;
  std::uint64_t bisections = 0;      // sorted lookups answered by bisecting a lookup vector
  std::uint64_t equalRunsJumped = 0; // runs of equal cells a bisection's hit passed in one step
  std::uint64_t exactIndexed = 0;    // exact lookups answered through an exact index
  std::uint64_t totalsUsed = 0;      // range sums and counts taken from running totals
};

class TXLSCalculator {
 public:
  explicit TXLSCalculator(TXLSWorkbookFormulas& formulas);
  ~TXLSCalculator();
  TXLSCalculator(const TXLSCalculator&) = delete;
  TXLSCalculator& operator=(const TXLSCalculator&) = delete;

  // Formula text without "=", names looked up in the sheet scope (sheet id, 0 the workbook);
  // nullptr when it does not parse or its tokens could not be written (a function given the
  // wrong number of arguments among them).
  std::unique_ptr<TXLSCompiledFormula> CompileText(const std::u16string& text, int sheetScope);
  // File tokens at data[offset, offset + tokenSize) (version 0x0500 BIFF5, 0x0600 BIFF8); the
  // bytes after them up to size are read as array constants (kept without them when those do
  // not read). nullptr when the tokens do not decode.
  std::unique_ptr<TXLSCompiledFormula> CompileBytes(const std::uint8_t* data, std::size_t size, std::size_t offset,
                                                    int version, std::size_t tokenSize);
  // The same with the 16-bit token size at offset. Given the cell (0-based row and column) of
  // the formula, offset references (a shared formula's) become references of that cell, as
  // TXLSCompiledFormula::ResolveOffsets makes them.
  std::unique_ptr<TXLSCompiledFormula> CompileSizedBytes(const std::uint8_t* data, std::size_t size,
                                                         std::size_t offset, int version, int row = -1,
                                                         int column = 0);

  // [size word][tokens][array constants] with the root class kind (0 reference, 1 value,
  // 2 array) at the cell row/column of the sheet (id); 1, or the failure with no buffer.
  std::int32_t GetFormulaBytes(const TXLSCompiledFormula& f, std::unique_ptr<TXLSBlob>& out, int kind, int sheetId,
                               int row, int column);
  // The tokens of a FORMULA record: a cell of an array formula holds the 7 bytes of a ptgExp
  // pointing at the anchor.
  std::int32_t GetCellFormulaBytes(const TXLSCompiledFormula& f, std::unique_ptr<TXLSBlob>& out, int sheetId,
                                   int row, int column);
  // The body of the ARRAY record of an array formula's anchor.
  std::int32_t GetArrayRecordBytes(const TXLSCompiledFormula& f, int sheetId, std::unique_ptr<TXLSBlob>& out);
  // "=" and the text at the cell; array formulas as "{=...}"; empty when it cannot be printed.
  std::int32_t GetFormulaText(int sheetId, const TXLSCompiledFormula& f, std::u16string& out, int row, int column);

  void SetFileFormat(int format);
  int GetFileFormat() const;
  void SetReferenceMode(char mode);

  // Calculates a cell's formula on a sheet (1-based index) at column/row; the status (1, a
  // BIFF error code, -1, -100, -101, -102). A non-zero stamp equal to the formula's returns
  // the cached result without calculating.
  std::int32_t CalculateCell(int sheetIndex, TXLSCompiledFormula& f, std::uint32_t stamp, Variant& out,
                             int column, int row);
  // The same for a defined name: a reference at the root gives a range list; results are not
  // normalised.
  std::int32_t CalculateName(int sheetIndex, TXLSCompiledFormula& f, std::uint32_t stamp, Variant& out,
                             int column, int row);
  // A reference node (or a defined-name node) as a range list variant; 15 for other nodes.
  std::int32_t EvaluateReferenceAsRanges(int sheetIndex, int row, Variant& out, const TXLSSyntaxItem* node,
                                         int column);
  std::int32_t EvaluateNameAsRanges(int sheetIndex, int row, Variant& out, const TXLSSyntaxItem* node,
                                    int column);

  // What the evaluator reaches through the calculator.
  std::int32_t GetCellValue(int sheetIndex, int row, int column, bool& outside, Variant& value);
  IXLSWorksheet* Sheet(int sheetIndex);
  TXLSFormula& Compiler();
  TXLSExternSheet& Externs();
  TXLSWorkbook& Book();
  TXLSWorkbookFormulas& Formulas() { return formulas_; }
  const TXLSFormater& Formater() const { return formater_; }
  // Bytes of stack the running calculation has used (0 when none runs).
  std::size_t StackUsed() const;
  // The stamp of the running calculation (0: none, or calculated every time).
  std::uint32_t Stamp() const { return running_ ? stamp_ : 0; }
  // The sum and count of the numbers in rows firstRow..lastRow of columns firstColumn..
  // lastColumn, as a walk adds them (row by row, columns inside), from running totals kept for
  // that span of columns under the current stamp. False when the totals cannot give that
  // exactly (numbers above firstRow, a formula or an error in the rows, no stamp, too many
  // spans under one stamp); the caller then walks the cells.
  bool RangeTotals(int sheetIndex, int firstColumn, int lastColumn, int firstRow, int lastRow, double& sum,
                   std::int64_t& count);
  // The lookup vector of a scan under the current stamp, nullptr when none is kept (no stamp,
  // or too many vectors under one stamp); one whose stamp is not the current one is to be filled.
  TXLSLookupVector* LookupVector(int sheetIndex, int fixed, int from, int to, bool down);
  // The exact index of a scan under the current stamp (empty when new), nullptr when none is
  // kept (no stamp, or too many indexes under one stamp).
  TXLSExactIndex* ExactIndex(int sheetIndex, int fixed, int from, int to, bool down);
  // The memos above (running totals, lookup vectors, exact indexes) are kept by sheet position
  // and hold for one stamp of the calculation and one state of the workbook's cells and sheets:
  // a calculation under another stamp, or after the workbook's own stamp moved on (every value
  // change, a new sheet), starts them afresh.
  const TXLSCalcCounters& Counters() const { return counters_; }
  TXLSCalcCounters& Counters() { return counters_; }

 private:
  // CompileBytes, offset references resolved for the cell at row/column when row >= 0.
  std::unique_ptr<TXLSCompiledFormula> CompileCellBytes(const std::uint8_t* data, std::size_t size,
                                                        std::size_t offset, int version, std::size_t tokenSize,
                                                        int row, int column);
  struct Pending {
    TXLSCompiledFormula* formula;
    int sheetIndex, column, row;
    std::uint32_t stamp;
    bool name;
  };
  std::int32_t Calculate(const Pending& p, Variant& out);
  std::int32_t CalculateOnce(const Pending& p, Variant& out);

  TXLSWorkbookFormulas& formulas_;
  TXLSFormater formater_;
  struct Totals {
    int built = 0;       // rows 0..built-1 are summed
    int limit = 65536;   // the first row holding a formula or an error
    std::vector<double> sum;
    std::vector<std::int32_t> count;
  };
  // False when no memo may be kept (no stamp); else drops the memos of other stamps.
  bool KeepMemos();
  std::map<std::tuple<int, int, int>, Totals> totals_;  // sheet, first and last column
  std::map<std::tuple<int, int, int, int, bool>, TXLSLookupVector> lookups_;
  std::map<std::tuple<int, int, int, int, bool>, TXLSExactIndex> exact_;
  std::uint32_t memoStamp_ = 0, memoInputs_ = 0;  // the calculation's and the workbook's stamps
  TXLSCalcCounters counters_;
  std::uint32_t stamp_ = 0;  // of the outermost calculation
  std::uint32_t runInputs_ = 0;  // the workbook's stamp when it started
  std::uintptr_t stackBase_ = 0;
  bool running_ = false;
  Pending tooDeep_{};
};

// The internal status of a calculation set aside because it nests too deep; it never leaves
// the calculator.
constexpr std::int32_t kCalcTooDeep = -103;
// Stack a calculation uses before a formula met on the way is set aside, and the most that one
// formula's own evaluation may use. A 65,536-cell chain of SUM(A1;1) links then calculates
// in segments of about 60 links (about 1,000 of +), far from an 8 MB stack's end, also
// in a sanitizer build whose frames are several times larger.
constexpr std::size_t kSetAsideStack = 512 * 1024;
constexpr std::size_t kMaxEvalStack = 2 * 1024 * 1024;

}  // namespace xls
