#include "xls/model/range.h"

#include <algorithm>
#include <stdexcept>

#include "xls/model/cell_address.h"
#include "xls/model/codepage.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

bool Inside(std::int64_t row, std::int64_t column) {
  return row >= 0 && row <= 65535 && column >= 0 && column <= 255;
}

void CheckInside(std::int64_t row, std::int64_t column) {
  if (!Inside(row, column)) throw std::runtime_error(kInvalidRowColumn);
}

}  // namespace

TXLSRange::TXLSRange(IXLSWorksheet* sheet, std::int32_t row1, std::int32_t column1, std::int32_t row2,
                     std::int32_t column2)
    : sheet_(sheet) {
  CheckInside(row1, column1);
  CheckInside(row2, column2);
  firstRow_ = static_cast<std::uint16_t>(row1 < row2 ? row1 : row2);
  lastRow_ = static_cast<std::uint16_t>(row1 < row2 ? row2 : row1);
  firstCol_ = static_cast<std::uint8_t>(column1 < column2 ? column1 : column2);
  lastCol_ = static_cast<std::uint8_t>(column1 < column2 ? column2 : column1);
}

IXLSRange TXLSRange::Create(IXLSWorksheet* sheet, const std::u16string& first, const std::u16string& second) {
  std::uint16_t r1 = 0, r2 = 0;
  std::uint8_t c1 = 0, c2 = 0;
  if (ParseCellRef(WideToAnsi(first), r1, c1) != 1) r1 = 0, c1 = 0;
  if (ParseCellRef(WideToAnsi(second), r2, c2) != 1) r2 = 0, c2 = 0;
  return CreateRC(sheet, r1, c1, r2, c2);
}

IXLSRange TXLSRange::CreateRC(IXLSWorksheet* sheet, std::int32_t row1, std::int32_t column1,
                              std::int32_t row2, std::int32_t column2) {
  return IXLSRange(std::make_shared<TXLSRange>(sheet, row1, column1, row2, column2));
}

IXLSRange TXLSRange::GetItem(std::int32_t row, std::int32_t column) const {
  std::int64_t r = static_cast<std::int64_t>(firstRow_) + row - 1;
  std::int64_t c = static_cast<std::int64_t>(firstCol_) + column - 1;
  CheckInside(r, c);
  return CreateRC(sheet_, static_cast<std::int32_t>(r), static_cast<std::int32_t>(c),
                  static_cast<std::int32_t>(r), static_cast<std::int32_t>(c));
}

IXLSRowItemRange TXLSRange::GetRowItem(std::int32_t i) const {
  std::int64_t r = static_cast<std::int64_t>(firstRow_) + i - 1;
  CheckInside(r, firstCol_);
  return IXLSRowItemRange(std::make_shared<TXLSRange>(sheet_, static_cast<std::int32_t>(r), firstCol_,
                                                      static_cast<std::int32_t>(r), lastCol_));
}

IXLSRange TXLSRange::GetColumnItem(std::int32_t i) const {
  std::int64_t c = static_cast<std::int64_t>(firstCol_) + i - 1;
  CheckInside(firstRow_, c);
  return CreateRC(sheet_, firstRow_, static_cast<std::int32_t>(c), lastRow_, static_cast<std::int32_t>(c));
}

IXLSRowsRange TXLSRange::GetEntireRow() const {
  return IXLSRowsRange(std::make_shared<TXLSRange>(sheet_, firstRow_, 0, lastRow_, 255));
}

IXLSColsRange TXLSRange::GetEntireColumn() const {
  return IXLSColsRange(std::make_shared<TXLSRange>(sheet_, 0, firstCol_, 65535, lastCol_));
}

IXLSRange TXLSRange::GetOffset(std::int32_t rowOffset, std::int32_t columnOffset) const {
  std::int64_t r1 = static_cast<std::int64_t>(firstRow_) + rowOffset;
  std::int64_t c1 = static_cast<std::int64_t>(firstCol_) + columnOffset;
  std::int64_t r2 = static_cast<std::int64_t>(lastRow_) + rowOffset;
  std::int64_t c2 = static_cast<std::int64_t>(lastCol_) + columnOffset;
  CheckInside(r1, c1);
  CheckInside(r2, c2);
  return CreateRC(sheet_, static_cast<std::int32_t>(r1), static_cast<std::int32_t>(c1),
                  static_cast<std::int32_t>(r2), static_cast<std::int32_t>(c2));
}

void TXLSRange::SetPosition(std::int32_t row, std::int32_t column) {
  std::int64_t r2 = static_cast<std::int64_t>(row) + (lastRow_ - firstRow_);
  std::int64_t c2 = static_cast<std::int64_t>(column) + (lastCol_ - firstCol_);
  CheckInside(row, column);
  CheckInside(r2, c2);
  firstRow_ = static_cast<std::uint16_t>(row);
  lastRow_ = static_cast<std::uint16_t>(r2);
  firstCol_ = static_cast<std::uint8_t>(column);
  lastCol_ = static_cast<std::uint8_t>(c2);
}

bool TXLSRange::ClipToUsedArea(std::int32_t& r1, std::int32_t& c1, std::int32_t& r2,
                               std::int32_t& c2) const {
  const TXLSCellHeap& heap = sheet_->Cells();
  if (heap.Empty()) return false;
  r1 = std::max<std::int32_t>(firstRow_, heap.FirstRow());
  r2 = std::min<std::int32_t>(lastRow_, heap.LastRow());
  c1 = std::max<std::int32_t>(firstCol_, heap.FirstColumn());
  c2 = std::min<std::int32_t>(lastCol_, heap.LastColumn());
  return r1 <= r2 && c1 <= c2;
}

// ----- values -------------------------------------------------------------------------------

std::int32_t TXLSRange::SetValue(const Variant& value) {
  // An array is copied: the caller's array may hold values read from this range. Any other
  // value is the caller's own and is read where it is.
  Variant arrayCopy;
  if (value.IsArray()) arrayCopy = value;
  const Variant& v = value.IsArray() ? arrayCopy : value;
  TXLSCellHeap& heap = sheet_->Cells();
  std::int32_t result = 1;
  auto store = [&](std::int32_t r, std::int32_t c, const Variant& x) {
    TXLSCellRef* cell = heap.GetOrCreateCell(r, c);
    if (TXLSCellRef::SetValue(*cell, *sheet_, x) != 1) result = -1;
  };
  if (!v.IsArray()) {
    for (std::int32_t r = firstRow_; r <= lastRow_; ++r) {
      for (std::int32_t c = firstCol_; c <= lastCol_; ++c) store(r, c, v);
    }
  } else {
    const VariantArray* a = v.ArrayValue();
    if (!a || a->Dimensions() < 1 || a->Dimensions() > 2) return 1;
    const Variant missing(std::u16string(u"#N/D"));
    // Offset i of the range maps to element low + i, or to the single element of a dimension
    // that has only one; otherwise the cell is outside the array.
    auto map = [](std::int32_t i, std::int32_t low, std::int32_t n, std::int32_t& at) {
      if (i < n) {
        at = low + i;
        return true;
      }
      if (n == 1) {
        at = low;
        return true;
      }
      return false;
    };
    for (std::int32_t r = firstRow_; r <= lastRow_; ++r) {
      for (std::int32_t c = firstCol_; c <= lastCol_; ++c) {
        std::int32_t i = 0, j = 0;
        const Variant* e = nullptr;
        if (a->Dimensions() == 1) {
          if (map(c - firstCol_, a->Low(0), a->Count(0), j)) e = a->At(j);
        } else if (map(r - firstRow_, a->Low(0), a->Count(0), i) &&
                   map(c - firstCol_, a->Low(1), a->Count(1), j)) {
          e = a->At(i, j);
        }
        store(r, c, e ? *e : missing);
      }
    }
  }
  return result;  // each cell stored advanced the calculation stamp
}

namespace {

// A cell's value as the range hands it out: numbers in a date format become dates.
Variant CellValue(const IXLSWorksheet& sheet, std::int32_t r, std::int32_t c, bool formula) {
  Variant v;
  const TXLSCellRef* cell = sheet.Cells().FindCell(r, c);
  if (!cell) return v;
  if (formula) {
    if (TXLSCellRef::GetFormulaOrValue(*cell, sheet, v) != 1) v = Variant();
    return v;
  }
  TXLSCellRef::GetValueOrEmpty(*cell, sheet, v);
  const TXLSWorkbook& book = *const_cast<IXLSWorksheet&>(sheet).Workbook();
  const TXLSXFList& xfs = const_cast<TXLSWorkbook&>(book).XFList();
  if (v.Type() == VarType::Double && xfs.IsDateFormat(sheet.GetCellXF(r, c))) {
    // Durations ([h]:mm) are not dates: the 1900 leap day does not shift them.
    const double d = v.NumberValue();
    v = Variant::Date(xfs.IsElapsedFormat(sheet.GetCellXF(r, c)) ? d : book.DateOfSerial(d));
  }
  return v;
}

Variant RangeValues(const IXLSWorksheet& sheet, std::int32_t r1, std::int32_t c1, std::int32_t r2,
                    std::int32_t c2, bool formula) {
  if (r1 == r2 && c1 == c2) return CellValue(sheet, r1, c1, formula);
  Variant out = Variant::Array2(r2 - r1 + 1, c2 - c1 + 1);
  VariantArray* a = out.ArrayValue();
  for (std::int32_t r = r1; r <= r2; ++r) {
    for (std::int32_t c = c1; c <= c2; ++c) *a->At(r - r1, c - c1) = CellValue(sheet, r, c, formula);
  }
  return out;
}

}  // namespace

Variant TXLSRange::GetValue() const {
  return RangeValues(*sheet_, firstRow_, firstCol_, lastRow_, lastCol_, false);
}

Variant TXLSRange::GetFormula() const {
  return RangeValues(*sheet_, firstRow_, firstCol_, lastRow_, lastCol_, true);
}

bool TXLSRange::GetHasFormula() const {
  const TXLSCellHeap& heap = sheet_->Cells();
  std::int32_t r1, c1, r2, c2;
  if (!ClipToUsedArea(r1, c1, r2, c2)) return false;
  for (std::int32_t r = r1; r <= r2; ++r) {
    for (std::int32_t c = c1; c <= c2; ++c) {
      const TXLSCellRef* cell = heap.FindCell(r, c);
      if (cell && TXLSCellRef::HasFormula(*cell)) return true;
    }
  }
  return false;
}

}  // namespace xls
