#include "xls/formula/rules/sheet_rules.h"

#include <algorithm>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {

void TXLSSheetRules::DeleteRect(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                                std::int32_t lastRow) {
  const TRuleBand band{firstRow, firstColumn, lastRow, lastColumn};
  condFormats_.DeleteRect(band);
  validations_.DeleteRect(band);
  kept_.clear();
}

void TXLSSheetRules::DeleteCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                                 std::int32_t lastRow) {
  DeleteRect(firstRow, firstColumn, lastColumn, lastRow);
  autofilter_.DeleteRect(TRuleBand{firstRow, firstColumn, lastRow, lastColumn});
}

void TXLSSheetRules::ShiftCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow,
                                std::int32_t lastColumn, std::int32_t rowDelta, std::int32_t columnDelta) {
  const TRuleBand band{firstRow, firstColumn, lastRow, lastColumn};
  kept_.clear();
  condFormats_.ShiftCells(band, rowDelta, columnDelta);
  validations_.ShiftCells(band, rowDelta, columnDelta);
  autofilter_.ShiftCells(band, rowDelta, columnDelta);
  const TRuleMove move{band, rowDelta, columnDelta};
  IXLSWorkSheets& sheets = calc_.Book().GetWorksheets();
  std::int32_t moved = -1;
  for (std::int32_t s = 1; s <= sheets.GetCount(); ++s)
    if (sheets.GetItem(s)->GetSheetId() == sheetId_) moved = sheets.GetItem(s)->GetIndex();
  if (moved < 0) return;
  const TXLSExternSheet& externs = calc_.Externs();
  for (std::int32_t s = 1; s <= sheets.GetCount(); ++s) {
    IXLSWorksheet& sheet = *sheets.GetItem(s);
    TXLSSheetRules* rules = FindSheetRules(sheet);
    if (!rules) continue;
    const bool own = sheet.GetIndex() == moved;
    rules->condFormats_.MoveFormulas(move, own, moved, externs);
    rules->validations_.MoveFormulas(move, own, moved, externs);
  }
}

void TXLSSheetRules::KeepRecord(TKeptPlace place, std::uint16_t id, std::vector<std::uint8_t> body) {
  if (body.size() > 8224) return;  // more than one record holds: not kept
  kept_.push_back({place, id, std::move(body)});
}

std::int64_t TXLSSheetRules::WriteKept(TKeptPlace place, const TRuleRecordSink& sink) const {
  std::int64_t bytes = 0;
  for (const Kept& k : kept_) {
    if (k.place != place) continue;
    auto record = NewRuleRecord(k.id, static_cast<std::uint32_t>(k.body.size()));
    for (std::uint8_t b : k.body) record->AddByte(b);
    bytes += record->GetSize();
    if (sink(std::move(record)) != 1) return -1;
  }
  return bytes;
}

std::int64_t WriteSheetKeptRecords(const IXLSWorksheet& sheet, TKeptPlace place, const TRuleRecordSink& sink) {
  const TXLSSheetRules* rules = FindSheetRules(sheet);
  return rules ? rules->WriteKept(place, sink) : 0;
}

TXLSSheetRules& SheetRules(IXLSWorksheet& sheet) {
  if (TXLSSheetRules* rules = FindSheetRules(sheet)) return *rules;
  auto made = std::make_unique<TXLSSheetRules>(sheet.Workbook()->Formulas().Calculator(), sheet.GetSheetId());
  TXLSSheetRules& rules = *made;
  sheet.SetRulesSlot(std::move(made));
  return rules;
}

TXLSSheetRules* FindSheetRules(const IXLSWorksheet& sheet) {
  return static_cast<TXLSSheetRules*>(sheet.RulesSlot());
}

std::int64_t WriteSheetRuleRecords(const IXLSWorksheet& sheet, const TRuleRecordSink& sink) {
  TXLSSheetRules* rules = FindSheetRules(sheet);
  if (!rules) return 0;
  const std::int64_t formats = rules->CondFormats().Write(sink);
  if (formats < 0) return -1;
  const std::int64_t newer = rules->WriteKept(TKeptPlace::kCondFormats, sink);
  if (newer < 0) return -1;
  const std::int64_t validations = rules->Validations().Write(sink);
  return validations < 0 ? -1 : formats + newer + validations;
}

int WriteSheetAutofilter(const IXLSWorksheet& sheet, const TRuleRecordSink& sink, int format, int codePage) {
  TXLSSheetRules* rules = FindSheetRules(sheet);
  if (!rules) return 1;
  std::int64_t bytes = 0;
  return rules->Autofilter().WriteRecords(sink, bytes, format, codePage);
}

bool SheetFilterDatabase(IXLSWorksheet& sheet, std::int32_t& firstRow, std::int32_t& firstColumn,
                         std::int32_t& lastRow, std::int32_t& lastColumn) {
  TXLSSheetRules* rules = FindSheetRules(sheet);
  if (!rules || !rules->Autofilter().IsActive()) return false;
  const TXLSAutofilter& filter = rules->Autofilter();
  firstRow = filter.HeaderRow() - 1;
  firstColumn = filter.FirstColumn() - 1;
  // Without a filter database read, the filter spans its columns.
  lastColumn = filter.LastColumn() >= 1 ? std::max(filter.LastColumn() - 1, firstColumn)
                                        : firstColumn + filter.ColumnCount() - 1;
  if (filter.LastRow() >= 1) {
    // As read or set: a filter of its header row alone stays one.
    lastRow = std::min(std::max(filter.LastRow() - 1, firstRow), 65535);
  } else {
    const TXLSCellHeap& cells = sheet.Cells();
    lastRow = cells.Empty() ? 0 : cells.LastRow();
    lastRow = std::min(std::max(lastRow, firstRow + 1), 65535);
  }
  return true;
}

}  // namespace xls
