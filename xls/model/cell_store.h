// The cells of one worksheet: a sparse page tree addressed by 0-based row (0..65535) and
// column (0..255), kept with the sheet's exact used rectangle, each row's first and last used
// column (in the row information list) and balanced use counts of formats and shared strings.
#pragma once

#include <array>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace xls {

class IXLSWorksheet;
class TXLSCellRef;

// What a cell holds.
enum TXLSCellKind : std::uint8_t {
  kCellBlank = 0,
  kCellString = 1,
  kCellNumber = 2,
  kCellDate = 3,
  kCellBoolean = 4,
  kCellFormula = 5,
  kCellError = 6,  // a spreadsheet error code (7 #DIV/0!, 42 #N/A, ...) in the value
};

// The place of a cell in a merged area; the master (top-left cell) holds the area's size.
struct TXLSMergeInfo {
  TXLSCellRef* master = nullptr;
  std::int32_t rows = 0;
  std::uint16_t columns = 0;
};

class Variant;

// What a formula cell holds: the compiled formula with its cached result. The formula library
// supplies it (the calculator's compiled formula); the cell store only owns it.
class TXLSCellFormula {
 public:
  virtual ~TXLSCellFormula() = default;
  // A copy whose relative references move by the given rows and columns.
  virtual std::unique_ptr<TXLSCellFormula> CopyMoved(int rows, int columns) const = 0;
  // Calculates the formula of the cell at row/column of a sheet; the calculator's status.
  virtual std::int32_t Calculate(const IXLSWorksheet& sheet, int row, int column, Variant& out) = 0;
  // "=" and the formula text at the cell; empty when it cannot be printed.
  virtual std::u16string Text(const IXLSWorksheet& sheet, int row, int column) const = 0;

  // The result a file carried with the formula (status 1 with the value, or a spreadsheet
  // error code with an empty value). It is the formula's value while the workbook's results
  // stand as read; after a change, for as long as the calculator cannot evaluate the formula (functions it
  // does not compute, array formulas, ...), and it is dropped once the formula calculates to a value.
  // A provisional result is one the file's writer may never have calculated (an empty result,
  // as programs that do not calculate write every one, or a record flagged to be calculated on
  // load): the calculator's value goes before it even while the results stand as read.
  void KeepResult(std::int32_t status, const Variant& value, bool provisional = false);
  bool HasKeptResult() const { return kept_ != nullptr; }
  // The kept result as the file held it, when the workbook's results still stand as read and it
  // is not provisional.
  bool ResultAsRead(const IXLSWorksheet& sheet, std::int32_t& status, Variant& fileValue) const;
  // Takes over another formula's kept result and file options (a copy of it made for moved cells).
  void KeepResultOf(const TXLSCellFormula& other);
  // Calculates (Calculate) and falls back to the kept result when that fails; stale, when given,
  // tells whether the value is such a fallback, which the calculator did not confirm.
  std::int32_t Value(const IXLSWorksheet& sheet, int row, int column, Variant& out, bool* stale = nullptr);
  // The option bits of the file's FORMULA record that describe the formula itself (always
  // calculate, fill alignment, errors ignored, ...), written back with it; 0 for formulas of ours.
  std::uint16_t FileOptions() const { return fileOptions_; }
  void SetFileOptions(std::uint16_t options) { fileOptions_ = options; }

 private:
  struct Kept;
  std::shared_ptr<const Kept> kept_;
  std::uint16_t fileOptions_ = 0;
};

// One cell. Kept small: a numeric cell costs this record and its slot in the tree.
// A date cell (kind 3) holds the date value itself, so that every date, those before
// 1900-03-01 included, reads back as stored; SerialValue gives the spreadsheet serial that
// a file carries.
class TXLSCellRef {
 public:
  TXLSCellRef(std::uint16_t row, std::uint8_t column) : row_(row), column_(column) {}
  ~TXLSCellRef() { DropFormula(); }
  TXLSCellRef(TXLSCellRef&& other) noexcept;
  TXLSCellRef& operator=(TXLSCellRef&& other) noexcept;

  std::uint16_t Row() const { return row_; }
  std::uint8_t Column() const { return column_; }
  void SetAddress(std::uint16_t row, std::uint8_t column) {
    row_ = row;
    column_ = column;
  }

  TXLSCellKind Kind() const { return static_cast<TXLSCellKind>(kind_); }
  // A kind other than 5 frees the formula of a formula cell; kind 5 is set by SetFormula.
  void SetKind(TXLSCellKind k) {
    if (k == kCellFormula) return;
    DropFormula();
    kind_ = k;
  }
  // The cell's own format; 0 = none (the row's or column's applies).
  std::int32_t XF() const { return xf_; }
  void SetXF(std::int32_t xf) { xf_ = xf; }
  // Number, date value, boolean (1/0) or error code of kinds 2, 3, 4 and 6.
  double Value() const { return data_.value; }
  void SetNumber(double v) {
    DropFormula();
    data_.value = v;
  }
  // Shared-string index of a kind-1 cell.
  std::int32_t StringIndex() const { return data_.stringIndex; }
  void SetStringIndex(std::int32_t i) {
    DropFormula();
    data_.value = 0;
    data_.stringIndex = i;
  }
  // The compiled formula of a kind-5 cell, else nullptr.
  TXLSCellFormula* Formula() const { return kind_ == kCellFormula ? data_.formula : nullptr; }
  // Makes the cell a formula cell owning the formula (nullptr makes it blank).
  void SetFormula(std::unique_ptr<TXLSCellFormula> formula);

  bool Merged() const { return merge_ != nullptr; }
  TXLSMergeInfo* Merge() const { return merge_.get(); }
  void SetMerge(std::unique_ptr<TXLSMergeInfo> m) { merge_ = std::move(m); }
  bool IsMergeMaster() const { return merge_ && merge_->master == this; }
  // A cell inside a merged area other than its top-left one has no value of its own.
  bool IsMergedNonMaster() const { return merge_ && merge_->master != this; }

  // The number a file stores for kinds 2 to 4 (dates as 1900-system serials).
  double SerialValue() const;

  // Cell values as variants (the cell-value routines of the sheet).
  // Stores a value: numbers, dates, booleans, texts (literal after a leading "'"; a line feed
  // turns wrap text on for the cell), empty and null (blank). A text beginning with "=" is a
  // formula, compiled for the cell by the formula library; text that does not compile (or a
  // program without that library) keeps it as text, "=" included. A merged cell other than its
  // area's top-left one takes nothing. The result is 1.
  static std::int32_t SetValue(TXLSCellRef& cell, IXLSWorksheet& sheet, const Variant& v);
  // 1, or -1 for a kind the model does not know. A cell a merged area covers gives what it
  // holds, as formulas read it; GetValueOrEmpty (what is shown) gives empty for it.
  static std::int32_t GetValue(const TXLSCellRef& cell, const IXLSWorksheet& sheet, Variant& out);
  static void GetValueOrEmpty(const TXLSCellRef& cell, const IXLSWorksheet& sheet, Variant& out);
  static std::int32_t GetFormulaOrValue(const TXLSCellRef& cell, const IXLSWorksheet& sheet,
                                        Variant& out);
  static bool HasFormula(const TXLSCellRef& cell);

 private:
  void DropFormula() {
    if (kind_ == kCellFormula) {
      delete data_.formula;
      data_.value = 0;
      kind_ = kCellBlank;
    }
  }

  std::uint16_t row_;
  std::uint8_t column_;
  std::uint8_t kind_ = kCellBlank;
  std::int32_t xf_ = 0;
  union {
    double value;
    std::int32_t stringIndex;
    TXLSCellFormula* formula;  // owned, kind 5
  } data_{0.0};
  std::unique_ptr<TXLSMergeInfo> merge_;
};

class TXLSCellHeap {
 public:
  explicit TXLSCellHeap(IXLSWorksheet* owner);
  ~TXLSCellHeap();
  TXLSCellHeap(const TXLSCellHeap&) = delete;
  TXLSCellHeap& operator=(const TXLSCellHeap&) = delete;

  // Callers keep row and column inside the sheet.
  TXLSCellRef* FindCell(std::int32_t row, std::int32_t column) const;
  // A new cell takes the position's effective format, counting one use of it.
  TXLSCellRef* GetOrCreateCell(std::int32_t row, std::int32_t column);
  // Stores a cell (its contents move into the store's own record), deleting one that is there.
  void PutCell(std::int32_t row, std::int32_t column, std::unique_ptr<TXLSCellRef> cell);
  // Frees the cell and gives back its format and string uses.
  void DeleteCell(std::int32_t row, std::int32_t column);
  // Takes the cell out as a record of its own; its uses go with it to the caller.
  std::unique_ptr<TXLSCellRef> DetachCell(std::int32_t row, std::int32_t column);
  // Every existing cell of the master's area leaves the area; values and formats stay.
  void DissolveMerge(TXLSCellRef* master);
  // Moves a cell for inserted or deleted rows and columns.
  void MoveCell(std::int32_t srcRow, std::int32_t srcColumn, std::int32_t dstRow,
                std::int32_t dstColumn, bool copyFormat);

  std::int32_t FirstRow() const { return firstRow_; }
  std::int32_t LastRow() const { return lastRow_; }
  std::int32_t RowCount() const { return rowCount_; }
  std::int32_t FirstColumn() const { return firstColumn_; }
  std::int32_t LastColumn() const { return lastColumn_; }
  std::int32_t ColumnCount() const { return columnCount_; }
  bool Empty() const { return rowCount_ == 0; }

  // The slots of one row from column first to last (0..255), page by page with no lookup per
  // cell: f(column, const TXLSCellRef* or nullptr) returns false to stop; false when stopped.
  template <typename F>
  bool ForEachSlot(std::int32_t row, std::int32_t first, std::int32_t last, F f) const {
    const Row* r = row >= 0 && row <= 65535 ? RowAt(row) : nullptr;
    for (std::int32_t c = first < 0 ? 0 : first; c <= last && c <= 255;) {
      const ColumnPage* page = r ? (*r)[static_cast<std::size_t>(c >> kColumnPageBits)].get() : nullptr;
      const std::int32_t end = (c | (kColumnPageSize - 1)) < last ? (c | (kColumnPageSize - 1)) : last;
      for (; c <= end; ++c) {
        if (!f(c, page ? (*page)[static_cast<std::size_t>(c & (kColumnPageSize - 1))] : nullptr)) return false;
      }
    }
    return true;
  }

  // Every cell in row order, columns inside: f(TXLSCellRef&).
  template <typename F>
  void ForEach(F f) const {
    if (rowCount_ == 0) return;
    for (std::int32_t r = firstRow_; r <= lastRow_; ++r) {
      const Row* row = RowAt(r);
      if (!row) continue;
      for (const auto& page : *row) {
        if (!page) continue;
        for (TXLSCellRef* cell : *page) {
          if (cell) f(*cell);
        }
      }
    }
  }

 private:
  static constexpr int kColumnPageBits = 4;
  static constexpr int kColumnPageSize = 1 << kColumnPageBits;  // cells per column page
  using ColumnPage = std::array<TXLSCellRef*, kColumnPageSize>;
  using Row = std::array<std::unique_ptr<ColumnPage>, 256 / kColumnPageSize>;
  using RowPage = std::array<std::unique_ptr<Row>, 256>;

  // Cell records come from slabs owned by the store: a numeric cell then costs its 24 bytes
  // and no allocator overhead. Freed records are reused first.
  struct alignas(TXLSCellRef) CellSlot {
    unsigned char bytes[sizeof(TXLSCellRef)];
  };
  static_assert(sizeof(CellSlot) >= sizeof(void*));
  TXLSCellRef* NewCell(std::int32_t row, std::int32_t column);
  void FreeCell(TXLSCellRef* cell);

  const Row* RowAt(std::int32_t row) const;
  TXLSCellRef** Slot(std::int32_t row, std::int32_t column, bool create);
  void Attach(std::int32_t row, std::int32_t column, TXLSCellRef*& slot, TXLSCellRef* given);
  void ShrinkBounds(std::int32_t row, std::int32_t column);
  void ReleaseUses(TXLSCellRef& cell);

  std::array<std::unique_ptr<RowPage>, 256> top_;
  std::vector<std::unique_ptr<CellSlot[]>> slabs_;
  std::size_t slabSize_ = 0;
  std::size_t slabUsed_ = 0;
  void* freeCells_ = nullptr;
  IXLSWorksheet* owner_;
  std::int32_t firstRow_ = 0, lastRow_ = 0, rowCount_ = 0;
  std::int32_t firstColumn_ = 0, lastColumn_ = 0, columnCount_ = 0;
};

}  // namespace xls
