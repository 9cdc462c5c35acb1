#include "xls/formula/calc/calculator.h"

#include <algorithm>

#include "xls/formula/calc/evaluator.h"
#include "xls/formula/formula.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/blob.h"
#include "xls/model/cell_address.h"
#include "xls/model/cell_store.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {

TXLSCalculator::TXLSCalculator(TXLSWorkbookFormulas& formulas) : formulas_(formulas) {}
TXLSCalculator::~TXLSCalculator() = default;

TXLSFormula& TXLSCalculator::Compiler() { return formulas_.Compiler(); }
TXLSExternSheet& TXLSCalculator::Externs() { return formulas_.Externs(); }
TXLSWorkbook& TXLSCalculator::Book() { return formulas_.Book(); }

std::unique_ptr<TXLSCompiledFormula> TXLSCalculator::CompileText(const std::u16string& text, int sheetScope) {
  std::unique_ptr<TXLSSyntaxItem> tree = formulas_.CompileText(text, sheetScope);
  // Text that parses but that no file can hold (PI(1), ROUND(1), a string constant past 255
  // characters) is no formula either: a save could write nothing for it.
  if (!tree || !Compiler().FitsTokens(*tree)) return nullptr;
  return std::make_unique<TXLSCompiledFormula>(std::move(tree), nullptr);
}

namespace {

void ResolveTreeOffsets(TXLSSyntaxItem& node, int row, int column) {
  if (node.range) ResolveRangeOffsets(*node.range, row, column);
  for (int i = 1; i <= node.ChildCount(); ++i) ResolveTreeOffsets(*node.Child(i), row, column);
}

}  // namespace

std::unique_ptr<TXLSCompiledFormula> TXLSCalculator::CompileBytes(const std::uint8_t* data, std::size_t size,
                                                                  std::size_t offset, int version,
                                                                  std::size_t tokenSize) {
  return CompileCellBytes(data, size, offset, version, tokenSize, -1, 0);
}

std::unique_ptr<TXLSCompiledFormula> TXLSCalculator::CompileCellBytes(const std::uint8_t* data, std::size_t size,
                                                                      std::size_t offset, int version,
                                                                      std::size_t tokenSize, int row, int column) {
  // The common formulas go straight into their packed form, without a tree.
  thread_local TXLSFlatTree flat;
  if (Compiler().DecodeFlat(data, size, offset, version >= 0x0600 ? 0x0600 : 0x0500, tokenSize, flat)) {
    if (row >= 0) {
      for (TXLSFlatNode& n : flat.nodes)
        if (n.hasRange) ResolveRangeOffsets(n.range, row, column);
    }
    return std::make_unique<TXLSCompiledFormula>(TXLSPackedTree(flat));
  }
  std::size_t pos = offset;
  // The decoder reads the array constants that follow the tokens into the tree.
  std::unique_ptr<TXLSSyntaxItem> tree =
      Compiler().DecodeTokens(data, size, pos, version >= 0x0600 ? 0x0600 : 0x0500, tokenSize);
  if (!tree) return nullptr;
  // In the tree, before it is packed: in the packed bytes it would take another pass.
  if (row >= 0) ResolveTreeOffsets(*tree, row, column);
  std::unique_ptr<TXLSFormulatArrays> arrays = TXLSFormulatArrays::FromTree(*tree);
  if (arrays && arrays->Count() == 0) arrays.reset();
  return std::make_unique<TXLSCompiledFormula>(std::move(tree), std::move(arrays));
}

std::unique_ptr<TXLSCompiledFormula> TXLSCalculator::CompileSizedBytes(const std::uint8_t* data, std::size_t size,
                                                                       std::size_t offset, int version, int row,
                                                                       int column) {
  if (!data || offset + 2 > size) return nullptr;
  const std::size_t tokenSize = static_cast<std::size_t>(data[offset] | (data[offset + 1] << 8));
  return CompileCellBytes(data, size, offset + 2, version, tokenSize, row, column);
}

std::int32_t TXLSCalculator::GetFormulaBytes(const TXLSCompiledFormula& f, std::unique_ptr<TXLSBlob>& out, int kind,
                                             int sheetId, int row, int column) {
  out.reset();
  const std::unique_ptr<TXLSSyntaxItem> tree = f.Tree();
  if (!tree) return kCalcMalformed;
  // The compiler writes the array constants of the tree after the tokens.
  return formulas_.GetFormulaBytes(*tree, kind, sheetId, row, column, GetFileFormat(), out) == 1 ? kCalcOk
                                                                                                : kCalcUnresolved;
}

namespace {

// Cells keep a formula that BIFF5's grid cannot hold as its text (see SetOffGridFails).
class OffGridFails {
 public:
  explicit OffGridFails(TXLSFormula& compiler) : compiler_(compiler) { compiler_.SetOffGridFails(true); }
  ~OffGridFails() { compiler_.SetOffGridFails(false); }
  OffGridFails(const OffGridFails&) = delete;
  OffGridFails& operator=(const OffGridFails&) = delete;

 private:
  TXLSFormula& compiler_;
};

}  // namespace

std::int32_t TXLSCalculator::GetCellFormulaBytes(const TXLSCompiledFormula& f, std::unique_ptr<TXLSBlob>& out,
                                                 int sheetId, int row, int column) {
  if (const TXLSArrayFormula* link = f.ArrayLink()) {
    out = std::make_unique<TXLSBlob>(7);
    out->AddWord(5);
    out->AddByte(0x01);
    out->AddWord(static_cast<std::uint32_t>(link->anchorRow));
    out->AddWord(static_cast<std::uint32_t>(link->anchorColumn));
    return kCalcOk;
  }
  if (const std::vector<std::uint8_t>* read = f.ReadBytes(GetFileFormat(), row, column)) {
    // As the file held them: the tokens' classes, IF's and CHOOSE's jumps, integers and spaces stay.
    out = std::make_unique<TXLSBlob>(static_cast<std::uint32_t>(read->size()));
    for (std::uint8_t b : *read) out->AddByte(b);
    return kCalcOk;
  }
  OffGridFails cell(formulas_.Compiler());
  return GetFormulaBytes(f, out, kRootValue, sheetId, row, column);
}

std::int32_t TXLSCalculator::GetArrayRecordBytes(const TXLSCompiledFormula& f, int sheetId,
                                                 std::unique_ptr<TXLSBlob>& out) {
  out.reset();
  const TXLSArrayFormula* link = f.ArrayLink();
  if (!link || !link->owner) return kCalcUnresolved;
  const std::uint32_t limit = GetFileFormat() == kFormatBiff5 ? 2080 : 8224;
  if (const std::vector<std::uint8_t>* read = f.ReadBytes(GetFileFormat()); read && 6 + read->size() <= limit) {
    // As the file held it: the tokens' classes, IF's jumps, integers and flags stay.
    auto body = std::make_unique<TXLSBlob>(6 + static_cast<std::uint32_t>(read->size()));
    body->AddWord(static_cast<std::uint32_t>(link->firstRow));
    body->AddWord(static_cast<std::uint32_t>(link->lastRow));
    body->AddByte(static_cast<std::uint8_t>(link->firstColumn));
    body->AddByte(static_cast<std::uint8_t>(link->lastColumn));
    for (std::uint8_t b : *read) body->AddByte(b);
    out = std::move(body);
    return kCalcOk;
  }
  std::unique_ptr<TXLSBlob> tokens;
  OffGridFails cells(formulas_.Compiler());
  const std::int32_t st = GetFormulaBytes(f, tokens, kRootArray, sheetId, link->anchorRow, link->anchorColumn);
  if (st != kCalcOk) return st;
  auto body = std::make_unique<TXLSBlob>(12 + tokens->GetSize());
  body->AddWord(static_cast<std::uint32_t>(link->firstRow));
  body->AddWord(static_cast<std::uint32_t>(link->lastRow));
  body->AddByte(static_cast<std::uint8_t>(link->firstColumn));
  body->AddByte(static_cast<std::uint8_t>(link->lastColumn));
  body->AddWord(0x0002);
  body->AddDWord(0);
  body->AddWholeBlob(*tokens);
  out = std::move(body);
  return kCalcOk;
}

std::int32_t TXLSCalculator::GetFormulaText(int sheetId, const TXLSCompiledFormula& f, std::u16string& out, int row,
                                            int column) {
  (void)sheetId;
  out.clear();
  const TXLSArrayFormula* link = f.ArrayLink();
  const TXLSCompiledFormula* source = &f;
  if (link && !link->owner) {
    source = link->formula;
    row = link->anchorRow;
    column = link->anchorColumn;
  }
  const std::unique_ptr<TXLSSyntaxItem> tree = source ? source->Tree() : nullptr;
  if (!tree) return kCalcMalformed;
  const std::u16string text = formulas_.FormulaText(*tree, row, column);
  if (text.empty()) return kCalcMalformed;
  out = link ? u"{=" + text + u"}" : u"=" + text;
  return kCalcOk;
}

void TXLSCalculator::SetFileFormat(int format) { Compiler().SetFileFormat(format == kFormatBiff5 ? kFormatBiff5 : kFormatBiff8); }
int TXLSCalculator::GetFileFormat() const { return formulas_.Compiler().FileFormat(); }
void TXLSCalculator::SetReferenceMode(char mode) { Compiler().SetReferenceMode(mode); }

std::int32_t TXLSCalculator::GetCellValue(int sheetIndex, int row, int column, bool& outside, Variant& value) {
  ++counters_.cellsRead;
  return Book().GetCellValue(sheetIndex, row, column, outside, value);
}

IXLSWorksheet* TXLSCalculator::Sheet(int sheetIndex) { return Book().GetWorksheets().GetItem(sheetIndex); }

std::int32_t TXLSCalculator::CalculateCell(int sheetIndex, TXLSCompiledFormula& f, std::uint32_t stamp, Variant& out,
                                           int column, int row) {
  return Calculate(Pending{&f, sheetIndex, column, row, stamp, false}, out);
}

std::int32_t TXLSCalculator::CalculateName(int sheetIndex, TXLSCompiledFormula& f, std::uint32_t stamp, Variant& out,
                                           int column, int row) {
  return Calculate(Pending{&f, sheetIndex, column, row, stamp, true}, out);
}

namespace {

std::uintptr_t StackHere() { return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)); }

}  // namespace

std::size_t TXLSCalculator::StackUsed() const {
  if (!running_) return 0;
  const std::uintptr_t here = StackHere();
  return here < stackBase_ ? stackBase_ - here : 0;
}

std::int32_t TXLSCalculator::Calculate(const Pending& p, Variant& out) {
  TXLSCompiledFormula& f = *p.formula;
  if (f.busy_) return kCalcCircular;
  if (p.stamp != 0 && f.stamp_ == p.stamp && (f.status_ == kCalcOk || f.inputs_ == Book().GetRecalcStamp())) {
    out = f.cached_;
    return f.status_;
  }
  if (running_) {
    // Reached while another formula calculates: on the spot, unless that nests too deep.
    if (StackUsed() >= kSetAsideStack) {
      tooDeep_ = p;
      return kCalcTooDeep;
    }
    return CalculateOnce(p, out);
  }
  // The outermost calculation: formulas set aside wait on a stack, busy, and are calculated
  // before the formula that met them is tried again.
  running_ = true;
  stackBase_ = StackHere();
  stamp_ = p.stamp;
  runInputs_ = Book().GetRecalcStamp();
  std::vector<Pending> stack{p};
  std::int32_t st = kCalcOk;
  try {
    while (true) {
      const Pending top = stack.back();
      top.formula->busy_ = false;
      st = CalculateOnce(top, out);
      if (st == kCalcTooDeep) {
        top.formula->busy_ = true;
        stack.push_back(tooDeep_);
        continue;
      }
      stack.pop_back();
      if (stack.empty()) break;
    }
  } catch (...) {
    // Nothing may stay busy or running after a failure (out of memory): the next calculation
    // starts clean.
    for (const Pending& q : stack) q.formula->busy_ = false;
    running_ = false;
    out = Variant();
    return kCalcNotComputable;
  }
  running_ = false;
  return st;
}

std::int32_t TXLSCalculator::CalculateOnce(const Pending& p, Variant& out) {
  TXLSCompiledFormula& f = *p.formula;
  struct Busy {
    bool& flag;
    explicit Busy(bool& b) : flag(b) { flag = true; }
    ~Busy() { flag = false; }
  };
  std::int32_t st = kCalcOk;
  out = Variant();
  {
    Busy busy(f.busy_);
    if (f.link_ || f.tree_.Empty()) {
      st = kCalcNotComputable;  // array formulas are calculated by the program that shows them
    } else {
      const std::unique_ptr<TXLSSyntaxItem> tree = f.Tree();
      TXLSEvaluator ev(*this, p.sheetIndex, p.column, p.row);
      st = ev.Evaluate(tree.get(), p.name, kWantNone, out, true);
    }
  }
  if (st == kCalcTooDeep) return st;
  if (st == kCalcOk && !p.name) {
    if (out.IsEmptyOrNull() || (out.IsNumber() && out.NumberValue() == 0)) {
      out = Variant::FromInteger(0, VarType::Byte);
    }
  }
  if (st != kCalcOk) out = Variant();
  f.cached_ = out;
  f.status_ = st;
  f.stamp_ = p.stamp;
  f.inputs_ = Book().GetRecalcStamp();
  return st;
}

bool TXLSCalculator::KeepMemos() {
  if (Stamp() == 0) return false;
  // Taken at the start of the calculation: no memo goes while a lookup or a sum holds it.
  if (memoStamp_ != stamp_ || memoInputs_ != runInputs_) {
    totals_.clear();
    lookups_.clear();
    exact_.clear();
    memoStamp_ = stamp_;
    memoInputs_ = runInputs_;
  }
  return true;
}

bool TXLSCalculator::RangeTotals(int sheetIndex, int firstColumn, int lastColumn, int firstRow, int lastRow,
                                 double& sum, std::int64_t& count) {
  if (firstRow < 0 || lastRow > 65535 || firstRow > lastRow || firstColumn < 0 || lastColumn > 255 ||
      firstColumn > lastColumn || !KeepMemos())
    return false;
  IXLSWorksheet* sheet = Sheet(sheetIndex);
  if (!sheet) return false;
  // A bounded number of column spans under one stamp.
  constexpr std::size_t kMaxSpans = 32;
  const auto key = std::make_tuple(sheetIndex, firstColumn, lastColumn);
  auto found = totals_.find(key);
  if (found == totals_.end()) {
    if (totals_.size() >= kMaxSpans) return false;
    found = totals_.emplace(key, Totals{}).first;
  }
  Totals& t = found->second;
  const TXLSCellHeap& heap = sheet->Cells();
  const int end = std::min(lastRow, heap.Empty() ? -1 : heap.LastRow());
  if (end >= t.built && t.limit >= t.built) {
    double s = t.built ? t.sum[static_cast<std::size_t>(t.built - 1)] : 0.0;
    std::int32_t n = t.built ? t.count[static_cast<std::size_t>(t.built - 1)] : 0;
    t.sum.resize(static_cast<std::size_t>(end + 1));
    t.count.resize(static_cast<std::size_t>(end + 1));
    for (int r = t.built; r <= end; ++r) {
      heap.ForEachSlot(r, firstColumn, lastColumn, [&](int, const TXLSCellRef* cell) {
        if (!cell) return true;
        const TXLSCellKind k = cell->Kind();
        if (k == kCellNumber || k == kCellDate) {
          s += k == kCellDate ? DateTimeToSerial(cell->Value()) : cell->Value();
          ++n;
        } else if ((k == kCellFormula || k == kCellError) && t.limit > r) {
          t.limit = r;
        }
        return true;
      });
      counters_.slotsWalked += static_cast<std::uint64_t>(lastColumn - firstColumn + 1);
      t.sum[static_cast<std::size_t>(r)] = s;
      t.count[static_cast<std::size_t>(r)] = n;
    }
    t.built = end + 1;
  }
  const int last = std::min(lastRow, t.built - 1);
  if (lastRow >= t.limit) return false;
  // The totals are the walk's own sums only when nothing is counted above the first row.
  const int above = std::min(firstRow - 1, t.built - 1);
  if (above >= 0 && t.count[static_cast<std::size_t>(above)] != 0) return false;
  sum = last >= 0 ? t.sum[static_cast<std::size_t>(last)] : 0.0;
  count = last >= 0 ? t.count[static_cast<std::size_t>(last)] : 0;
  ++counters_.totalsUsed;
  return true;
}

TXLSLookupVector* TXLSCalculator::LookupVector(int sheetIndex, int fixed, int from, int to, bool down) {
  if (!KeepMemos()) return nullptr;
  constexpr std::size_t kMaxVectors = 64;
  const auto key = std::make_tuple(sheetIndex, fixed, from, to, down);
  auto found = lookups_.find(key);
  if (found != lookups_.end()) return &found->second;
  if (lookups_.size() >= kMaxVectors) return nullptr;
  return &lookups_[key];
}

TXLSExactIndex* TXLSCalculator::ExactIndex(int sheetIndex, int fixed, int from, int to, bool down) {
  if (!KeepMemos()) return nullptr;
  constexpr std::size_t kMaxIndexes = 32;  // a full column of texts takes some 7 MB
  const auto key = std::make_tuple(sheetIndex, fixed, from, to, down);
  auto found = exact_.find(key);
  if (found != exact_.end()) return &found->second;
  if (exact_.size() >= kMaxIndexes) return nullptr;
  return &exact_[key];
}

std::int32_t TXLSCalculator::EvaluateReferenceAsRanges(int sheetIndex, int row, Variant& out,
                                                       const TXLSSyntaxItem* node, int column) {
  if (!node || node->kind != kNodeReference) return kErrValue;
  TXLSEvaluator ev(*this, sheetIndex, column, row);
  return ev.Evaluate(node, true, kWantNone, out);
}

std::int32_t TXLSCalculator::EvaluateNameAsRanges(int sheetIndex, int row, Variant& out, const TXLSSyntaxItem* node,
                                                  int column) {
  if (!node || node->kind != kNodeName) return kErrValue;
  TXLSEvaluator ev(*this, sheetIndex, column, row);
  return ev.Evaluate(node, true, kWantNone, out);
}

}  // namespace xls
