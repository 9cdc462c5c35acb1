// The drawing layer's slot in the model (xls/model/library_slots.h): the model's comment,
// picture, chart-sheet and autofilter operations, over the sheet's drawing.
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/filter_dropdowns.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/library_slots.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

class TDrawingLibrary final : public TXLSDrawingLibrary {
 public:
  TDrawingLibrary() { LibrarySlots().drawing = this; }

  TXLSComment* GetComment(TXLSRange& range) override {
    TMsoDrawing* drawing = FindDrawing(*range.GetWorksheet());
    return drawing ? drawing->Comments().Find(range.GetFirstRow(), range.GetFirstCol()) : nullptr;
  }

  TXLSComment* GetOrCreateComment(TXLSRange& range) override {
    return GetDrawing(*range.GetWorksheet()).Comments().GetOrCreate(range.GetFirstRow(), range.GetFirstCol());
  }

  TXLSComment* AddComment(TXLSRange& range, const std::u16string& text) override {
    TXLSComment* comment = GetOrCreateComment(range);
    comment->SetText(text);
    return comment;
  }

  void ClearComments(TXLSRange& range) override {
    if (TMsoDrawing* drawing = FindDrawing(*range.GetWorksheet()))
      drawing->Comments().DeleteRect(range.GetFirstRow(), range.GetFirstCol(), range.GetLastCol(), range.GetLastRow());
  }

  void AutoFilter(TXLSRange& range) override { AutoFilterRange(range); }

  TXLSShapes& GetShapes(IXLSWorksheet& sheet) override { return GetDrawing(sheet).Pictures(); }

  void SetChart(IXLSWorksheet& sheet, std::unique_ptr<TXLSCustomChart>& chart) override {
    GetDrawing(sheet).SetSheetChart(std::move(chart));
  }

  bool IsChartSheet(const IXLSWorksheet& sheet) override {
    const TMsoDrawing* drawing = FindDrawing(sheet);
    return drawing && drawing->SheetChart();
  }
};

TDrawingLibrary library;

}  // namespace

}  // namespace xls

// Named in kv_xls_drawing's link interface, so that every program linking it fills the slot.
extern "C" void kv_xls_drawing_slot() {}
