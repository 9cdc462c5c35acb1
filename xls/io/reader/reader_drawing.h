// The reader's bridge to the drawing layer: drawing group, sheet drawings, objects, text
// objects, notes and embedded charts. Each step gives the drawing layer's result, or -1 when
// it finds the drawing data malformed. (Kept apart from the record stream's header, whose
// record constants the drawing headers define as well.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace xls {

class IXLSWorksheet;
class TXLSBlobList;
class TXLSCustomChart;
class TXLSFileStorage;
class TXLSWorkbook;

// lostPictures counts the picture store entries that could not be read (the pictures lost).
int ReadDrawingGroupRecords(TXLSWorkbook& book, const TXLSBlobList& group, std::size_t& lostPictures);
int ReadSheetDrawingRecords(IXLSWorksheet& sheet, const TXLSBlobList& group);
int ReadSheetObjRecords(IXLSWorksheet& sheet, const TXLSBlobList& group);
int ReadSheetTxoRecords(IXLSWorksheet& sheet, const TXLSBlobList& group, bool rotated);
int ReadSheetNote(IXLSWorksheet& sheet, std::uint16_t objectId, std::uint16_t row, std::uint16_t column,
                  const std::u16string& author, std::uint16_t options);
// A BIFF5 note: the text goes to the cell as a comment.
int AddSheetComment(IXLSWorksheet& sheet, std::int32_t row, std::int32_t column, const std::u16string& text);
// The next piece of a long BIFF5 note, appended to the cell's comment.
int AppendSheetComment(IXLSWorksheet& sheet, std::int32_t row, std::int32_t column, const std::u16string& text);
// The sheet's EOF: the drawing (when the sheet has one) ends its reading; lostCharts counts
// the chart objects dropped because no chart records came for them.
int FinishSheetDrawing(IXLSWorksheet& sheet, std::size_t& lostCharts);
// The objects of the sheet that no shape kept, counted by object type.
std::map<std::uint16_t, std::size_t> TakeDroppedObjects(IXLSWorksheet& sheet);
// The storage of an embedded object, kept by the drawing group for a later save.
void KeepEmbeddedStorage(TXLSWorkbook& book, std::unique_ptr<TXLSFileStorage> storage);
// An embedded chart, its records kept as read, handed to the sheet's drawing.
int AddEmbeddedChart(IXLSWorksheet& sheet, std::unique_ptr<TXLSCustomChart> chart);

}  // namespace xls
