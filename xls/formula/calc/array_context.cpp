// The array context of the evaluator: a node evaluated as an array of values. A range gives its
// cells; operators, and functions of single values, are applied element by element through the
// same rules as outside the context: the operand nodes of the operator stand for the elements
// of their arrays while it is evaluated at one position (TXLSEvaluator::bound_). Operands of
// different sizes give a result of the smaller size, an operand of one row or column repeating
// it, as LibreOffice does.
#include <algorithm>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/calc/evaluator.h"
#include "xls/model/cell_store.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

std::int32_t Extent(std::int32_t a, std::int32_t b) { return a == 1 ? b : (b == 1 ? a : std::min(a, b)); }

// A single value: every element is that value.
void SingleValue(const Variant& v, TXLSCalcArray& out) {
  out = TXLSCalcArray{};
  out.fill = v;
}

// An element's outcome: its value, or its error; false for a status that is no element's.
bool TakeElement(std::int32_t st, Variant& v) {
  if (st == kCalcOk) return true;
  if (!IsErrorCode(st)) return false;
  v = Variant::Error(st);
  return true;
}

bool TooMany(std::int64_t rows, std::int64_t columns) { return rows * columns > kMaxArrayElements; }

}  // namespace

std::int32_t TXLSEvaluator::EvaluateArray(const TXLSSyntaxItem* node, TXLSCalcArray& out) {
  if (calc_.StackUsed() > kMaxEvalStack) return kCalcCircular;
  if (!node) return kCalcMalformed;
  std::vector<TXLSCalcArray> operands;
  auto operandsOf = [&](int count) {
    operands.resize(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
      const std::int32_t st = EvaluateArray(node->Child(i), operands[static_cast<std::size_t>(i - 1)]);
      if (st != kCalcOk) return st;
    }
    return static_cast<std::int32_t>(kCalcOk);
  };
  std::int32_t st = kCalcOk;
  switch (node->kind) {
    case kNodeParen:
    case kNodeMemFunc:
      return EvaluateArray(node->Child(1), out);
    case kNodeReference:
    case kNodeName:
    case kNodeRange:
      return RangeArray(node, out);
    case kNodeArray: {
      const int count = node->ChildCount(), columns = node->value;
      if (columns <= 0 || count == 0 || count % columns != 0) return kCalcMalformed;
      out = TXLSCalcArray{};
      out.rows = out.heldRows = count / columns;
      out.columns = out.heldColumns = columns;
      out.held.resize(static_cast<std::size_t>(count));
      for (int i = 1; i <= count; ++i) {
        Variant& v = out.held[static_cast<std::size_t>(i - 1)];
        if (!TakeElement(st = Evaluate(node->Child(i), false, kWantNone, v), v)) return st;
      }
      return kCalcOk;
    }
    case kNodeNegate:
    case kNodePercent:
    case kNodeUnaryPlus:
      if (!node->Child(1)) return kCalcMalformed;
      if ((st = operandsOf(1)) != kCalcOk) return st;
      return Elementwise(node, operands, out);
    case kNodeMul:
    case kNodeDiv:
    case kNodeAdd:
    case kNodeSub:
    case kNodePower:
    case kNodeConcat:
    case kNodeEQ:
    case kNodeNE:
    case kNodeGT:
    case kNodeLT:
    case kNodeGE:
    case kNodeLE:
      if (!node->Child(1) || !node->Child(2)) return kCalcMalformed;
      if ((st = operandsOf(2)) != kCalcOk) return st;
      return Elementwise(node, operands, out);
    case kNodeCall:
      if (node->ChildCount() > 0 && TakesSingleValues(node->value)) {
        for (int i = 1; i <= node->ChildCount(); ++i)
          if (!node->Child(i)) return kCalcMalformed;
        if ((st = operandsOf(node->ChildCount())) != kCalcOk) return st;
        return Elementwise(node, operands, out);
      }
      break;
    default:
      break;
  }
  // Anything else is one value, as outside the context.
  Variant v;
  if (!TakeElement(st = Evaluate(node, false, kWantNone, v), v)) return st;
  SingleValue(v, out);
  return kCalcOk;
}

std::int32_t TXLSEvaluator::RangeArray(const TXLSSyntaxItem* node, TXLSCalcArray& out) {
  TXLSResolved r;
  std::int32_t st = Resolve(node, r);
  if (st != kCalcOk) return st;
  if (r.firstSheet != r.lastSheet) return kErrValue;
  IXLSWorksheet* sheet = calc_.Sheet(r.firstSheet);
  if (!sheet) return kCalcUnresolved;
  out = TXLSCalcArray{};
  out.rows = r.lastRow - r.firstRow + 1;
  out.columns = r.lastColumn - r.firstColumn + 1;
  // Cells beyond the used area are blank: only those inside it are read.
  const TXLSCellHeap& heap = sheet->Cells();
  if (!heap.Empty()) {
    out.heldRows = std::clamp(std::min(r.lastRow, heap.LastRow()) - r.firstRow + 1, 0, out.rows);
    out.heldColumns = std::clamp(std::min(r.lastColumn, heap.LastColumn()) - r.firstColumn + 1, 0, out.columns);
  }
  if (out.heldRows == 0 || out.heldColumns == 0) {
    out.heldRows = out.heldColumns = 0;
    return kCalcOk;
  }
  if (TooMany(out.heldRows, out.heldColumns)) return kCalcNotComputable;
  out.held.resize(static_cast<std::size_t>(out.heldRows) * static_cast<std::size_t>(out.heldColumns));
  std::size_t at = 0;
  for (int i = 0; i < out.heldRows; ++i) {
    for (int j = 0; j < out.heldColumns; ++j) {
      bool outside = false;
      Variant& v = out.held[at++];
      st = calc_.GetCellValue(r.firstSheet, r.firstRow + i, r.firstColumn + j, outside, v);
      if (!TakeElement(st, v)) return st;
    }
  }
  return kCalcOk;
}

std::int32_t TXLSEvaluator::ElementAt(const TXLSSyntaxItem* node, const std::vector<TXLSCalcArray>& operands,
                                      std::int32_t row, std::int32_t column, Variant& out) {
  struct Bound {
    std::vector<std::pair<const TXLSSyntaxItem*, const Variant*>>& list;
    std::size_t size;
    ~Bound() { list.resize(size); }
  } restore{bound_, bound_.size()};
  for (std::size_t k = 0; k < operands.size(); ++k)
    bound_.emplace_back(node->Child(static_cast<int>(k) + 1), &operands[k].At(row, column));
  const std::int32_t st = Evaluate(node, false, kWantNone, out);
  return TakeElement(st, out) ? kCalcOk : st;
}

std::int32_t TXLSEvaluator::Elementwise(const TXLSSyntaxItem* node, const std::vector<TXLSCalcArray>& operands,
                                        TXLSCalcArray& out) {
  std::int32_t rows = 1, columns = 1;
  for (const TXLSCalcArray& a : operands) {
    rows = Extent(rows, a.rows);
    columns = Extent(columns, a.columns);
  }
  // The block of positions where the operands' elements may differ; beyond it each operand
  // gives its fill. An operand of one row varies along its row whatever the row: the block
  // then takes every row (and one of one column every column).
  std::int32_t heldRows = 0, heldColumns = 0;
  bool allRows = false, allColumns = false;
  for (const TXLSCalcArray& a : operands) {
    const std::int32_t hr = std::min(a.heldRows, rows), hc = std::min(a.heldColumns, columns);
    if (hr == 0 || hc == 0 || (a.rows == 1 && a.columns == 1)) continue;
    if (a.rows == 1) {
      allRows = true;
      heldColumns = std::max(heldColumns, hc);
    } else if (a.columns == 1) {
      allColumns = true;
      heldRows = std::max(heldRows, hr);
    } else {
      heldRows = std::max(heldRows, hr);
      heldColumns = std::max(heldColumns, hc);
    }
  }
  if (allRows) heldRows = rows;
  if (allColumns) heldColumns = columns;
  if (heldRows == 0 || heldColumns == 0) heldRows = heldColumns = 0;
  if (TooMany(heldRows, heldColumns)) return kCalcNotComputable;
  TXLSCalcArray result;
  result.rows = rows;
  result.columns = columns;
  result.heldRows = heldRows;
  result.heldColumns = heldColumns;
  result.held.resize(static_cast<std::size_t>(heldRows) * static_cast<std::size_t>(heldColumns));
  std::size_t at = 0;
  for (int i = 0; i < heldRows; ++i) {
    for (int j = 0; j < heldColumns; ++j) {
      const std::int32_t st = ElementAt(node, operands, i, j, result.held[at++]);
      if (st != kCalcOk) return st;
    }
  }
  if (heldRows < rows || heldColumns < columns) {
    const std::int32_t st = heldRows < rows ? ElementAt(node, operands, heldRows, 0, result.fill)
                                            : ElementAt(node, operands, 0, heldColumns, result.fill);
    if (st != kCalcOk) return st;
  }
  out = std::move(result);
  return kCalcOk;
}

}  // namespace xls
