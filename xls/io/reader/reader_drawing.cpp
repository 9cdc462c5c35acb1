#include "xls/io/reader/reader_drawing.h"

#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/drawing_group.h"
#include "xls/io/drawing/escher.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

template <typename Step>
int Guarded(Step step) {
  try {
    return step();
  } catch (const EMsoParseError&) {
    return -1;
  }
}

}  // namespace

int ReadDrawingGroupRecords(TXLSWorkbook& book, const TXLSBlobList& group, std::size_t& lostPictures) {
  TMSODrawingGroup& drawingGroup = GetDrawingGroup(book);
  const int result = Guarded([&] { return drawingGroup.Read(group); });
  lostPictures = drawingGroup.TakeLostPictures();
  return result;
}

int ReadSheetDrawingRecords(IXLSWorksheet& sheet, const TXLSBlobList& group) {
  return Guarded([&] { return GetDrawing(sheet).ReadDrawing(group); });
}

int ReadSheetObjRecords(IXLSWorksheet& sheet, const TXLSBlobList& group) {
  return Guarded([&] { return GetDrawing(sheet).ReadObj(group); });
}

int ReadSheetTxoRecords(IXLSWorksheet& sheet, const TXLSBlobList& group, bool rotated) {
  return Guarded([&] { return GetDrawing(sheet).ReadTxo(group, rotated); });
}

int ReadSheetNote(IXLSWorksheet& sheet, std::uint16_t objectId, std::uint16_t row, std::uint16_t column,
                  const std::u16string& author, std::uint16_t options) {
  return Guarded([&] { return GetDrawing(sheet).ReadNote(objectId, row, column, author, options); });
}

int AddSheetComment(IXLSWorksheet& sheet, std::int32_t row, std::int32_t column, const std::u16string& text) {
  return Guarded([&] { return TXLSRange::CreateRC(&sheet, row, column, row, column)->AddComment(text) ? 1 : -1; });
}

int AppendSheetComment(IXLSWorksheet& sheet, std::int32_t row, std::int32_t column, const std::u16string& text) {
  TXLSComment* comment = GetDrawing(sheet).Comments().Find(row, column);
  if (!comment) return 1;
  comment->SetText(comment->GetText() + text);
  return 1;
}

int FinishSheetDrawing(IXLSWorksheet& sheet, std::size_t& lostCharts) {
  lostCharts = 0;
  TMsoDrawing* drawing = FindDrawing(sheet);
  return drawing ? Guarded([&] { return drawing->FinishRead(&lostCharts); }) : 1;
}

std::map<std::uint16_t, std::size_t> TakeDroppedObjects(IXLSWorksheet& sheet) {
  TMsoDrawing* drawing = FindDrawing(sheet);
  return drawing ? drawing->TakeDroppedObjects() : std::map<std::uint16_t, std::size_t>();
}

void KeepEmbeddedStorage(TXLSWorkbook& book, std::unique_ptr<TXLSFileStorage> storage) {
  GetDrawingGroup(book).KeepEmbeddedStorage(std::move(storage));
}

int AddEmbeddedChart(IXLSWorksheet& sheet, std::unique_ptr<TXLSCustomChart> chart) {
  return Guarded([&] { return GetDrawing(sheet).SetChart(std::move(chart)); });
}

}  // namespace xls
