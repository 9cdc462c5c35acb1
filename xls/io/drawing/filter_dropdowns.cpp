#include "xls/io/drawing/filter_dropdowns.h"

#include "xls/formula/rules/sheet_rules.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"

namespace xls {

void ConnectFilterDropDowns(IXLSWorksheet& sheet, TMsoDrawing& drawing) {
  TXLSSheetRules& rules = SheetRules(sheet);
  TMsoDrawing* d = &drawing;
  rules.Autofilter().SetDropDowns(
      {[d](std::int32_t row, std::int32_t column) { return d->AddFilterDropDown(row, column); },
       [d](TMSOShapeComboBox* shape) { d->RemoveShape(shape); },
       [](TMSOShapeComboBox* shape, std::int32_t row, std::int32_t column) {
         shape->dropRow = row;
         shape->dropColumn = column;
       }});
  rules.Validations().SetRemoveObject([d](std::uint32_t objectId) {
    if (objectId > 0xFFFF) return;
    if (TMsoShapeContainer* shape = d->FindByObjectId(static_cast<std::uint16_t>(objectId))) d->RemoveShape(shape);
  });
}

void ConnectSheetDropDowns(IXLSWorksheet& sheet) {
  if (TMsoDrawing* drawing = FindDrawing(sheet)) ConnectFilterDropDowns(sheet, *drawing);
}

void AddMissingFilterDropDowns(IXLSWorksheet& sheet) {
  TXLSAutofilter& filter = SheetRules(sheet).Autofilter();
  if (!filter.IsActive() || !sheet.Workbook()) return;
  ConnectFilterDropDowns(sheet, GetDrawing(sheet));
  filter.AddMissingDropDowns();
}

void FilterDropDownRead(IXLSWorksheet& sheet, std::int32_t row, std::int32_t column, TMsoShapeContainer* shape) {
  auto* combo = dynamic_cast<TMSOShapeComboBox*>(shape);
  if (!combo || !sheet.Workbook()) return;
  ConnectFilterDropDowns(sheet, GetDrawing(sheet));
  SheetRules(sheet).Autofilter().SetDropDown(row, column, combo);
}

void AutoFilterRange(TXLSRange& range) {
  IXLSWorksheet& sheet = *range.GetWorksheet();
  ConnectFilterDropDowns(sheet, GetDrawing(sheet));
  TXLSAutofilter& filter = SheetRules(sheet).Autofilter();
  if (filter.IsActive())
    filter.ClearItems(true);
  else
    filter.SetRange(range.GetRow(), range.GetColumn(), range.GetLastCol() + 1, range.GetLastRow() + 1);
}

}  // namespace xls
