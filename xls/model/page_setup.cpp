#include "xls/model/page_setup.h"

#include <algorithm>

#include "xls/model/cell_address.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"

namespace xls {

void TXLSPageSetup::SetOrientation(std::int32_t v) {
  if (v != 1 && v != 2) return;
  portrait_ = v == 1;
  asRead_.printerFieldsValid = asRead_.orientationValid = true;
}

void TXLSPageSetup::SetSetupAsRead(const TXLSSetupAsRead& read) {
  asRead_ = read;
  if (!read.printerFieldsValid) {
    paperSize_ = 0;
    zoom_ = 100;
  }
  if (!read.printerFieldsValid || !read.orientationValid) portrait_ = true;
}

void TXLSPageSetup::SetOrder(std::int32_t v) {
  if (v == 0 || v == 1) order_ = static_cast<std::uint8_t>(v);
}

Variant TXLSPageSetup::GetZoom() const {
  if (fitMode_) return Variant(false);
  return Variant(static_cast<int>(zoom_));
}

void TXLSPageSetup::SetZoom(const Variant& v) {
  if (v.IsBoolean()) {
    fitMode_ = !v.BooleanValue();
    return;
  }
  std::int64_t z = 0;
  if (v.ToInteger(z) && z >= 10 && z <= 400) {
    zoom_ = static_cast<std::uint16_t>(z);
    fitMode_ = false;
    asRead_.printerFieldsValid = true;
  }
}

Variant TXLSPageSetup::PageCount(std::uint16_t n) {
  if (n == 0) return Variant(false);
  return Variant(static_cast<int>(n));
}

void TXLSPageSetup::SetFit(std::uint16_t& count, const Variant& v) {
  if (v.IsBoolean()) {
    fitMode_ = v.BooleanValue();
    if (!v.BooleanValue()) count = 0;
    return;
  }
  std::int64_t n = 0;
  if (!v.ToInteger(n) || n < 0 || n > 0xFFFF) return;  // a page count the record cannot hold
  count = static_cast<std::uint16_t>(n);
  fitMode_ = true;
}

bool TXLSPageSetup::SetPrintArea(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow,
                                 std::int32_t lastColumn) {
  if (firstRow < 0 || firstColumn < 0 || lastRow < firstRow || lastColumn < firstColumn ||
      lastRow > 65535 || lastColumn > 255) {
    return false;
  }
  areaFirstRow_ = firstRow;
  areaFirstCol_ = firstColumn;
  areaLastRow_ = lastRow;
  areaLastCol_ = lastColumn;
  printAreaText_ = AnsiToWideCP(AreaRefName(static_cast<std::uint16_t>(firstRow),
                                            static_cast<std::uint8_t>(firstColumn),
                                            static_cast<std::uint16_t>(lastRow),
                                            static_cast<std::uint8_t>(lastColumn)));
  return true;
}

bool TXLSPageSetup::SetPrintAreaText(const std::u16string& text) {
  if (text.empty()) {
    areaFirstRow_ = areaLastRow_ = areaFirstCol_ = areaLastCol_ = -1;
    printAreaText_.clear();
    return true;
  }
  std::uint16_t r1 = 0, r2 = 0;
  std::uint8_t c1 = 0, c2 = 0;
  if (ParseAreaRef(WideToAnsi(text), r1, c1, r2, c2) != 1) return false;
  return SetPrintArea(r1, c1, r2, c2);
}

std::u16string TXLSPageSetup::GetPrintTitleRows() const {
  return AnsiToWideCP(RowsToAbsRef(titleFirstRow_, titleLastRow_));
}

std::u16string TXLSPageSetup::GetPrintTitleColumns() const {
  return AnsiToWideCP(ColsToAbsRef(titleFirstCol_, titleLastCol_));
}

bool TXLSPageSetup::SetPrintTitleRows(const std::u16string& text) {
  int first = 0, last = 0;
  return ParseRowRange(WideToAnsi(text), first, last) && first >= 1 && SetPrintTitleRows(first, last);
}

bool TXLSPageSetup::SetPrintTitleColumns(const std::u16string& text) {
  int first = 0, last = 0;
  return ParseColRange(WideToAnsi(text), first, last) && first >= 1 && SetPrintTitleColumns(first, last);
}

bool TXLSPageSetup::SetPrintTitleRows(std::int32_t first, std::int32_t last) {
  const bool none = first == 0 && last == 0;
  if (!none && (first < 1 || last < first || last > 65536)) return false;
  titleFirstRow_ = first;
  titleLastRow_ = last;
  return true;
}

bool TXLSPageSetup::SetPrintTitleColumns(std::int32_t first, std::int32_t last) {
  const bool none = first == 0 && last == 0;
  if (!none && (first < 1 || last < first || last > 256)) return false;
  titleFirstCol_ = first;
  titleLastCol_ = last;
  return true;
}

TXLSPageBreak* TXLSPageBreaks::AddBreak(std::int32_t position) {
  auto at = std::lower_bound(breaks_.begin(), breaks_.end(), position,
                             [](const std::unique_ptr<TXLSPageBreak>& b, std::int32_t p) {
                               return b->GetPosition() < p;
                             });
  if (at != breaks_.end() && (*at)->GetPosition() == position) return at->get();
  at = breaks_.insert(at, NewItem(position, 0));
  TXLSPageBreak* added = at->get();
  for (std::size_t i = 0; i < breaks_.size(); ++i) breaks_[i]->SetIndex(static_cast<std::int32_t>(i + 1));
  return added;
}

TXLSPageBreak* TXLSPageBreaks::Add(const TXLSRange& range) {
  return AddBreak(kind_ == 1 ? range.GetFirstCol() : range.GetFirstRow());
}

TXLSPageBreak* TXLSPageBreaks::GetItem(std::int32_t i) const {
  if (i < 1 || i > GetCount()) return nullptr;
  return breaks_[static_cast<std::size_t>(i - 1)].get();
}

}  // namespace xls
