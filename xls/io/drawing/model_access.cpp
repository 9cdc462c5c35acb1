// The model's comment, picture and chart-sheet operations, over the sheet's drawing.
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"

namespace xls {

TXLSComment* TXLSRange::GetComment() {
  TMsoDrawing* drawing = FindDrawing(*sheet_);
  return drawing ? drawing->Comments().Find(firstRow_, firstCol_) : nullptr;
}

TXLSComment* TXLSRange::GetOrCreateComment() { return GetDrawing(*sheet_).Comments().GetOrCreate(firstRow_, firstCol_); }

TXLSComment* TXLSRange::AddComment(const std::u16string& text) {
  TXLSComment* comment = GetOrCreateComment();
  comment->SetText(text);
  return comment;
}

void TXLSRange::ClearComments() {
  if (TMsoDrawing* drawing = FindDrawing(*sheet_)) drawing->Comments().DeleteRect(firstRow_, firstCol_, lastCol_, lastRow_);
}

TXLSShapes& IXLSWorksheet::GetShapes() { return GetDrawing(*this).Pictures(); }

void IXLSWorksheet::SetChart(std::unique_ptr<TXLSCustomChart> chart) { GetDrawing(*this).SetSheetChart(std::move(chart)); }

bool IXLSWorksheet::IsChartSheet() const {
  const TMsoDrawing* drawing = FindDrawing(*this);
  return drawing && drawing->SheetChart();
}

}  // namespace xls
