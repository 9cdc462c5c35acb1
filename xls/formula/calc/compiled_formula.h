// A formula as the workbook keeps it: the syntax tree (packed; Tree() builds it on demand),
// the array constants that follow its tokens in a file, the result of its last calculation
// with the recalculation stamp it was computed under, and the link of a cell that belongs to an
// array formula. Values of references evaluated as ranges travel as TXLSCalcRangeList objects
// inside variants.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/formula/calc/packed_tree.h"
#include "xls/formula/formula_arrays.h"
#include "xls/formula/syntax_tree.h"
#include "xls/model/cell_store.h"
#include "xls/model/variant.h"

namespace xls {

class TXLSBlob;
class TXLSCompiledFormula;

// Status codes of compiling and calculating formulas. Spreadsheet errors are the BIFF codes.
enum TXLSCalcStatus : std::int32_t {
  kCalcOk = 1,
  kCalcUnresolved = -1,      // a reference or name that cannot be resolved
  kCalcNotComputable = -100,
  kCalcCircular = -101,
  kCalcMalformed = -102,
};
enum TXLSErrorCode : std::int32_t {
  kErrNull = 0,
  kErrDiv0 = 7,
  kErrValue = 15,
  kErrRef = 23,
  kErrName = 29,
  kErrNum = 36,
  kErrNA = 42,
};
bool IsErrorCode(std::int32_t status);

// The rectangle of an array formula. The anchor (top-left) cell holds the owning link; every
// other cell of the rectangle holds a member link to the anchor's formula.
struct TXLSArrayFormula {
  std::int32_t firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;  // owner only
  std::int32_t anchorRow = 0, anchorColumn = 0;
  bool owner = false;
  TXLSCompiledFormula* formula = nullptr;  // owner: the formula itself; member: the anchor's

  static std::unique_ptr<TXLSArrayFormula> Create(std::int32_t firstRow, std::int32_t firstColumn,
                                                  std::int32_t lastRow, std::int32_t lastColumn,
                                                  TXLSCompiledFormula* formula);
  static std::unique_ptr<TXLSArrayFormula> CreateMember(std::int32_t anchorRow, std::int32_t anchorColumn,
                                                        TXLSCompiledFormula* anchorFormula);
};

class TXLSCompiledFormula : public TXLSCellFormula {
 public:
  TXLSCompiledFormula(std::unique_ptr<TXLSSyntaxItem> tree, std::unique_ptr<TXLSFormulatArrays> arrays);
  // A formula without array constants whose tree is already packed.
  explicit TXLSCompiledFormula(TXLSPackedTree tree);
  ~TXLSCompiledFormula() override;
  static std::unique_ptr<TXLSCompiledFormula> CreateArrayMember(std::unique_ptr<TXLSArrayFormula> link);

  // The formula's syntax tree, built anew from its packed form (nullptr for an array member).
  std::unique_ptr<TXLSSyntaxItem> Tree() const { return tree_.Unpack(); }
  bool HasTree() const { return !tree_.Empty(); }
  const TXLSPackedTree& PackedTree() const { return tree_; }
  // Whether some node of the tree answers `test`, read from its packed form.
  bool AnyNode(const TXLSPackedTree::NodeTest& test) const { return tree_.AnyNode(test); }
  void SetTree(const TXLSSyntaxItem* tree) {
    tree_ = TXLSPackedTree(tree);
    readBytes_.reset();
  }
  TXLSFormulatArrays* Arrays() const { return arrays_.get(); }
  bool HasArrays() const { return arrays_ && arrays_->Count() > 0; }
  bool IsArrayMember() const { return link_ != nullptr; }
  TXLSArrayFormula* ArrayLink() const { return link_.get(); }
  void SetArrayFormula(std::unique_ptr<TXLSArrayFormula> link) { link_ = std::move(link); }
  // The bytes an array formula's ARRAY record held after its cell range (option flags, tokens,
  // array constants), or those a cell's FORMULA record held after its options (token size,
  // tokens, array constants), in a file of the given format (1 BIFF5, 2 BIFF8): written back as
  // read while the formula stays as it was read, a cell's formula only in the cell it was read
  // in (row -1: anywhere); copies and a changed tree do not have them.
  void KeepReadBytes(std::vector<std::uint8_t> bytes, int format, int row = -1, int column = -1) {
    readBytes_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    readFormat_ = format;
    readRow_ = row;
    readColumn_ = column;
  }
  const std::vector<std::uint8_t>* ReadBytes(int format, int row = -1, int column = -1) const {
    if (!readBytes_ || readFormat_ != format) return nullptr;
    return readRow_ < 0 || (readRow_ == row && readColumn_ == column) ? readBytes_.get() : nullptr;
  }

  // The cached result and the stamp and status it was computed with (stamp 0: none).
  void SetValue(const Variant& value) { cached_ = value; }
  const Variant& CachedValue() const { return cached_; }
  std::uint32_t Stamp() const { return stamp_; }
  std::int32_t CachedStatus() const { return status_; }

  // Copies: the tree as it is, moved, or adjusted for inserted or deleted rows or columns;
  // array constants copied; no cached result and no array link.
  std::unique_ptr<TXLSCompiledFormula> Copy() const;
  std::unique_ptr<TXLSCompiledFormula> CopyMovedFormula(int rows, int columns) const;
  std::unique_ptr<TXLSCompiledFormula> CopyShifted(int row, int column, int columnCount, int rowCount,
                                                   int lastColumn, int lastRow) const;
  // References read from a shared formula are offsets from the cell that uses them; this
  // turns them into references of the cell at row/column, so that they follow inserted and
  // deleted cells like every other reference.
  void ResolveOffsets(int row, int column);
  // The array constants as file bytes (format 1 BIFF5, else BIFF8); 1 with no buffer when there
  // are none, -1 when they cannot be written.
  std::int32_t GetArraysBytes(std::unique_ptr<TXLSBlob>& out, int format) const;

  // TXLSCellFormula
  std::unique_ptr<TXLSCellFormula> CopyMoved(int rows, int columns) const override;
  std::int32_t Calculate(const IXLSWorksheet& sheet, int row, int column, Variant& out) override;
  std::u16string Text(const IXLSWorksheet& sheet, int row, int column) const override;

 private:
  friend class TXLSCalculator;
  TXLSPackedTree tree_;
  std::unique_ptr<TXLSFormulatArrays> arrays_;
  std::unique_ptr<TXLSArrayFormula> link_;
  std::shared_ptr<const std::vector<std::uint8_t>> readBytes_;
  int readFormat_ = 0;
  std::int32_t readRow_ = -1, readColumn_ = -1;
  Variant cached_;
  std::uint32_t stamp_ = 0;
  std::uint32_t inputs_ = 0;  // the workbook's stamp when a failure was cached
  std::int32_t status_ = kCalcOk;
  bool busy_ = false;
};

// What ResolveOffsets does to one reference: an offset reference (a shared formula's) becomes a
// reference of the cell at row/column, wrapped round the grid's edges.
void ResolveRangeOffsets(TXLSRangeItem& r, int row, int column);

// The formula of the array formula a member cell belongs to, when its anchor cell on the sheet
// still holds that array formula; nullptr otherwise.
const TXLSCompiledFormula* ArrayAnchorFormula(const IXLSWorksheet& sheet, const TXLSCompiledFormula& member);

// One rectangle on one sheet (0-based rows and columns, 1-based sheet index).
struct TXLSCalcRange {
  std::int32_t firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
  std::int32_t sheet = 0;
};

// A reference or name evaluated as a range: one rectangle per sheet of its sheet span.
class TXLSCalcRangeList : public VariantObject {
 public:
  TXLSCalcRangeList(std::int32_t firstSheet, std::int32_t lastSheet, std::int32_t firstRow,
                    std::int32_t firstColumn, std::int32_t lastRow, std::int32_t lastColumn);
  std::int32_t Count() const { return static_cast<std::int32_t>(ranges_.size()); }
  // 1-based; nullptr outside 1..Count.
  const TXLSCalcRange* Item(std::int32_t i) const;

 private:
  std::vector<TXLSCalcRange> ranges_;
};

// The range list a variant carries, or nullptr.
const TXLSCalcRangeList* GetRangeFromValue(const Variant& v);

}  // namespace xls
