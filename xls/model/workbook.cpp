#include "xls/model/workbook.h"

#include <cstdlib>

#include "xls/model/cell_address.h"
#include "xls/model/cell_store.h"
#include "xls/model/file_streams.h"
#include "xls/model/string_table.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

// The eight basic colours, then the 56 colours of the default BIFF8 palette, as 0x00BBGGRR.
constexpr std::uint32_t kDefaultColors[TXLSWorkbook::kPaletteSize] = {
    0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00,
    0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00,
    0x000080, 0x008000, 0x800000, 0x008080, 0x800080, 0x808000, 0xC0C0C0, 0x808080,
    0xFF9999, 0x663399, 0xCCFFFF, 0xFFFFCC, 0x660066, 0x8080FF, 0xCC6600, 0xFFCCCC,
    0x800000, 0xFF00FF, 0x00FFFF, 0xFFFF00, 0x800080, 0x000080, 0x808000, 0xFF0000,
    0xFFCC00, 0xFFFFCC, 0xCCFFCC, 0x99FFFF, 0xFFCC99, 0xCC99FF, 0xFF99CC, 0x99CCFF,
    0xFF6633, 0xCCCC33, 0x00CC99, 0x00CCFF, 0x0099FF, 0x0066FF, 0x996666, 0x969696,
    0x663300, 0x669933, 0x003300, 0x003333, 0x003399, 0x663399, 0x993333, 0x333333};

// System colours stand for what a desktop shows; these are the classic defaults.
constexpr std::uint32_t kTooltipBackground = 0xE1FFFF;  // system colour 24
constexpr std::uint32_t kWindowText = 0x000000;         // system colour 8

}  // namespace

IXLSWorkbook TXLSWorkbook::Create() { return IXLSWorkbook(new TXLSWorkbook()); }

TXLSWorkbook::TXLSWorkbook()
    : xfList_(std::make_unique<TXLSXFList>()), strings_(std::make_unique<TXLSStringTable>()) {
  xfList_->SetDefaults();
  ResetPalette();
  sheets_ = std::make_unique<IXLSWorkSheets>(this);
}

TXLSWorkbook::~TXLSWorkbook() {
  Close();
  sheets_.reset();  // cells give their uses back while the lists still exist
}

void TXLSWorkbook::Clear() {
  resultsAsRead_ = false;
  formulas_.reset();
  sheets_.reset();  // the cells give their uses back to the lists below
  if (drawingGroup_) drawingGroup_->Clear();
  protect_ = TXLSProtect();
  xfList_->Clear();
  strings_ = std::make_unique<TXLSStringTable>();
  sheets_ = std::make_unique<IXLSWorkSheets>(this);
  refModeA1_ = 1;
  calcSettings_ = TXLSCalcSettings();
  ClearVBA();
  propertyStreams_.clear();
  keptGlobals_.clear();
}

void TXLSWorkbook::SetVBAParts(std::unique_ptr<TXLSFileStorage> storage, std::unique_ptr<TXLSFileStream> controls,
                               std::int32_t loadedFormat) {
  vbaProject_.reset();
  vbaStorage_ = std::move(storage);
  controls_ = std::move(controls);
  loadedFormat_ = loadedFormat;
}

void TXLSWorkbook::KeepPropertyStream(std::unique_ptr<TXLSFileStream> stream) {
  propertyStreams_.push_back(std::move(stream));
}

void TXLSWorkbook::ClearVBA() {
  vbaProject_.reset();
  vbaStorage_.reset();
  controls_.reset();
}

void TXLSWorkbook::SetPaletteColor(std::int32_t index, std::uint32_t rgb) {
  if (index < 1 || index > 56) return;
  colors_[static_cast<std::size_t>(index + 7)] = rgb & 0x00FFFFFFu;
}

std::int32_t TXLSWorkbook::ResetPalette() {
  for (int i = 0; i < kPaletteSize; ++i) colors_[static_cast<std::size_t>(i)] = kDefaultColors[i];
  return 1;
}

std::uint32_t TXLSWorkbook::PaletteIndexToRGB(std::int32_t index) const {
  if (index == 0) return colors_[0];
  if (index >= 1 && index <= 56) return colors_[static_cast<std::size_t>(index + 7)];
  if (index == 80) return kTooltipBackground;
  std::uint32_t low = static_cast<std::uint32_t>(index) & 0xFFFFu;
  if (low == 0xEFF0 || low == 0xEFF7) return kWindowText;
  return 0;
}

std::int32_t TXLSWorkbook::NearestColorIndex(std::uint32_t rgb) const {
  auto channel = [](std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
  int best = 768;
  std::int32_t bestIndex = 1;
  for (std::int32_t i = 1; i <= 56; ++i) {
    std::uint32_t p = colors_[static_cast<std::size_t>(i + 7)];
    int d = std::abs(channel(p, 0) - channel(rgb, 0)) + std::abs(channel(p, 8) - channel(rgb, 8)) +
            std::abs(channel(p, 16) - channel(rgb, 16));
    if (d < best) {
      best = d;
      bestIndex = i;
      if (d == 0) break;
    }
  }
  return bestIndex;
}

std::int32_t TXLSWorkbook::SetCodePage(std::uint16_t codePage) {
  codePage_ = codePage;
  return 1;
}

IXLSWorksheet* TXLSWorkbook::GetActiveSheet() const { return sheets_->GetActive(); }

void TXLSWorkbook::SetDate1904(bool flag) {
  if (flag == date1904_) return;
  BumpRecalcStamp();
  date1904_ = flag;
  // A date cell holds a date value; its serial is what stays.
  for (std::int32_t s = 1; s <= sheets_->GetCount(); ++s) {
    sheets_->GetItem(s)->Cells().ForEach([](TXLSCellRef& cell) {
      if (cell.Kind() != kCellDate) return;
      const double serial = cell.SerialValue();
      cell.SetKind(kCellNumber);
      cell.SetNumber(serial);
    });
  }
}

double TXLSWorkbook::SerialOfDate(double dateValue) const {
  if (!date1904_ || dateValue < 1) return DateTimeToSerial(dateValue);
  return dateValue - kDate1904Days;
}

double TXLSWorkbook::DateOfSerial(double serial) const {
  return date1904_ ? serial + kDate1904Days : SerialToDateTime(serial);
}

void TXLSWorkbook::BumpRecalcStamp() {
  resultsAsRead_ = false;
  recalcStamp_ = recalcStamp_ == 0xFFFFFFFFu ? 1u : recalcStamp_ + 1u;
}

std::int32_t TXLSWorkbook::GetCellValue(std::int32_t sheetIndex, std::int32_t row, std::int32_t column,
                                        bool& outside, Variant& value) const {
  IXLSWorksheet* sheet = sheets_->GetItem(sheetIndex);
  if (!sheet || row < 0 || row > 65535 || column < 0 || column > 255) return -1;
  const TXLSCellHeap& heap = sheet->Cells();
  outside = row > heap.LastRow() || column > heap.LastColumn();
  value = Variant();
  if (const TXLSCellRef* cell = heap.FindCell(row, column)) {
    // A formula cell's failure (an error value, a circular reference) reaches the formulas
    // that read it.
    const std::int32_t status = TXLSCellRef::GetValue(*cell, *sheet, value);
    if (status != 1) value = Variant();
    return status;
  }
  return 1;
}

std::int32_t TXLSWorkbook::GetSheetIdByName(const std::u16string& name, std::int32_t& id) const {
  id = sheets_->IdOfName(name);
  return id < 0 ? -1 : 1;
}

std::int32_t TXLSWorkbook::GetSheetIndexById(std::int32_t id, std::int32_t& index) const {
  index = sheets_->IndexOfId(id);
  return index < 0 ? -1 : 1;
}

std::int32_t TXLSWorkbook::GetSheetNameByIndex(std::int32_t index, std::u16string& name) const {
  IXLSWorksheet* sheet = sheets_->GetItem(index);
  name = sheet ? sheet->GetName() : std::u16string();
  return sheet ? 1 : -1;
}

std::int32_t TXLSWorkbook::GetNextSheetIndex() const { return sheets_->GetCount() + 1; }

}  // namespace xls
