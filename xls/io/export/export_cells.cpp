#include "xls/io/export/export_cells.h"

#include "xls/model/cell_address.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"
#include "xls/model/xls_constants.h"

namespace xls {

namespace {

// The interface's alignment constants by the codes the cell formats store.
constexpr std::int32_t kHorizontal[] = {kHAlignGeneral, kHAlignLeft,    kHAlignCenter,       kHAlignRight,
                                        kHAlignFill,    kHAlignJustify, kHAlignCenterAcross, kHAlignDistributed};
constexpr std::int32_t kVertical[] = {kVAlignTop, kVAlignCenter, kVAlignBottom, kVAlignJustify, kVAlignDistributed};

std::int32_t UnderlineConstant(std::int32_t code) {
  switch (code) {
    case 1: return 2;
    case 2: return -4119;
    case 0x21: return 4;
    case 0x22: return 5;
    default: return kXlNone;
  }
}

// Fill colours in the cell format: 8..63 palette, 64/65 automatic, 0 none.
std::int32_t FillColorIndex(std::int32_t code) {
  if (code == 64 || code == 65) return kXlAutomatic;
  if (code == 0) return kXlNone;
  return code < 8 ? code : code - 7;
}

}  // namespace

TXLSCellReader::TXLSCellReader(IXLSWorksheet& sheet)
    : sheet_(sheet), book_(*sheet.Workbook()), xfs_(sheet.Workbook()->XFList()) {}

std::int32_t TXLSCellReader::XF(std::int32_t row, std::int32_t column) const {
  return sheet_.GetCellXF(row, column);
}

Variant TXLSCellReader::Value(std::int32_t row, std::int32_t column) const {
  Variant v;
  const TXLSCellRef* cell = sheet_.Cells().FindCell(row, column);
  if (!cell) return v;
  TXLSCellRef::GetValueOrEmpty(*cell, sheet_, v);
  const std::int32_t xf = sheet_.GetCellXF(row, column);
  if (v.Type() == VarType::Double && xfs_.IsDateFormat(xf)) {
    // Durations ([h]:mm) are not dates: the 1900 leap day does not shift them.
    v = Variant::Date(xfs_.IsElapsedFormat(xf) ? v.NumberValue() : book_.DateOfSerial(v.NumberValue()));
  }
  return v;
}

std::uint32_t TXLSCellReader::ColorOf(std::int32_t index) const { return book_.GetColor(index) & 0xFFFFFF; }

const TXLSCellLook& TXLSCellReader::Look(std::int32_t xf) {
  auto found = looks_.find(xf);
  if (found != looks_.end()) return found->second;
  TXLSCellLook look;
  look.numberFormat = xfs_.GetFormatText(xf);
  const std::int32_t h = xfs_.GetHorizontalAlignment(xf), v = xfs_.GetVerticalAlignment(xf);
  look.horizontal = h >= 0 && h < 8 ? kHorizontal[h] : kHAlignGeneral;
  look.vertical = v >= 0 && v < 5 ? kVertical[v] : kVAlignBottom;
  look.wrap = xfs_.GetWrapText(xf);
  const std::int32_t r = xfs_.GetRotation(xf);
  look.orientation = r != 255 && r > 90 ? 90 - r : r;
  look.fontName = xfs_.GetFontName(xf);
  look.fontSize = xfs_.GetFontSize(xf);
  look.bold = xfs_.GetFontBold(xf);
  look.italic = xfs_.GetFontItalic(xf);
  look.strikethrough = xfs_.GetFontStrikethrough(xf);
  look.underline = UnderlineConstant(xfs_.GetFontUnderline(xf));
  const std::int32_t fc = xfs_.GetFontColor(xf);
  look.fontColorIndex = fc >= 8 && fc <= 63 ? fc - 7 : fc == 0 ? kXlNone : fc;
  look.fontColor = ColorOf(look.fontColorIndex);
  look.filled = (xfs_.GetFillPattern(xf) & 0xFF) != 0;
  look.interiorColorIndex = FillColorIndex(xfs_.GetInteriorColor(xf) & 0xFF);
  look.interiorColor = ColorOf(look.interiorColorIndex);
  return looks_.emplace(xf, std::move(look)).first->second;
}

bool IsRightAlignedType(const Variant& value) {
  const auto t = static_cast<std::uint16_t>(value.Type());
  return t < 7 || t == 11 || (t >= 16 && t <= 20);
}

}  // namespace xls
