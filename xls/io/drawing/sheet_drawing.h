// A worksheet's drawing: its shapes (comment boxes, pictures, charts, form controls), the
// comments and pictures built over them, the drawing id and shape ids it shares with the
// workbook's drawing group, and the reading and writing of the sheet's MSODRAWING, OBJ, TXO,
// CONTINUE and NOTE records. Comments and pictures move with inserted and deleted cells.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "xls/io/drawing/drawing_group.h"
#include "xls/io/drawing/drawing_parser.h"
#include "xls/io/drawing/shapes.h"
#include "xls/model/drawing_slot.h"

namespace xls {

class IXLSWorksheet;
class TMsoDrawing;
class TXLSCalculator;
class TXLSFontList;

// What the drawing asks of its sheet. The anchors hold column1, dx1, row1, dy1, column2, dx2,
// row2, dy2 as the client anchor does.
struct TMsoDrawingCallbacks {
  // The whole anchor of a comment box of width x height points beside the cell.
  std::function<void(std::int32_t row, std::int32_t column, double width, double height, TMsoFbtClientAnchor& anchor)>
      GetCommentAnchor;
  // The second corner of a shape from its first corner and its size.
  std::function<void(TMsoFbtClientAnchor& anchor, double width, double height)> PositionToAnchor;
  // A shape's size in points from its anchor.
  std::function<void(const TMsoFbtClientAnchor& anchor, double& width, double& height)> AnchorToSize;
  // The workbook's calculator, for the formulas of charts (nullptr when there is none).
  std::function<TXLSCalculator*()> Calculator;
  // The workbook's fonts, which the records of charts name (nullptr when there are none).
  std::function<const TXLSFontList*()> Fonts;
  // An autofilter drop-down read from the file.
  std::function<void(std::int32_t row, std::int32_t column, TMsoShapeContainer* shape)> SetFilterDropDown;
};

class TXLSComment {
 public:
  explicit TXLSComment(TMSOShapeTextBox* box) : box_(box) {}
  const std::u16string& GetText() const { return box_->text; }
  void SetText(const std::u16string& text) { box_->text = text; }
  std::int32_t GetRow() const { return box_->row; }
  std::int32_t GetColumn() const { return box_->column; }
  void SetRow(std::int32_t row) { box_->row = static_cast<std::uint16_t>(row); }
  void SetColumn(std::int32_t column) { box_->column = static_cast<std::uint16_t>(column); }
  const std::u16string& GetAuthor() const { return box_->author; }
  void SetAuthor(const std::u16string& author) { box_->author = author; }
  bool GetVisible() const { return box_->GetVisible(); }
  void SetVisible(bool visible) { box_->SetVisible(visible); }
  TMSOShapeTextBox* Shape() const { return box_; }

 private:
  TMSOShapeTextBox* box_;
};

class TXLSComments {
 public:
  explicit TXLSComments(TMsoDrawing& drawing) : drawing_(drawing) {}
  TXLSComment* Add(TMSOShapeTextBox* box);
  // 1-based; nullptr outside 1..Count().
  TXLSComment* Item(std::size_t index) const;
  std::size_t Count() const { return items_.size(); }
  TXLSComment* Find(std::int32_t row, std::int32_t column) const;
  TXLSComment* GetOrCreate(std::int32_t row, std::int32_t column);
  void DeleteRect(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn, std::int32_t lastRow);
  void ShiftCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn, std::int32_t lastRow,
                  std::int32_t columnDelta, std::int32_t rowDelta);
  // Forgets a comment whose shape has gone (without touching the shape).
  void Forget(TMSOShapeTextBox* box);

  // Row and column as 6 upper-case hexadecimal digits each.
  static std::string Key(std::int32_t row, std::int32_t column);

 private:
  TMsoDrawing& drawing_;
  std::vector<std::unique_ptr<TXLSComment>> items_;
  std::map<std::string, TXLSComment*> index_;
};

class TXLSPicture {
 public:
  explicit TXLSPicture(TMSOShapePictureFrame* frame) : frame_(frame) {}
  TMSOShapePictureFrame* Shape() const { return frame_; }
  // The picture store entry, or nullptr.
  const TMSOPicture* GetPicture() const;

 private:
  TMSOShapePictureFrame* frame_;
};

class TXLSShapes {
 public:
  explicit TXLSShapes(TMsoDrawing& drawing) : drawing_(drawing) {}
  TXLSPicture* Add(TMSOShapePictureFrame* frame);
  TXLSPicture* Item(std::size_t index) const;  // 1-based
  std::size_t Count() const { return items_.size(); }
  // Forgets a picture whose shape has gone.
  void Forget(TMSOShapePictureFrame* frame);
  // A picture from PNG, JPEG or BMP (with or without its file header) bytes, its top-left
  // corner at the cell (0-based). A size of 0 takes the image's own size at 96 dots per inch.
  // nullptr for bytes of another kind.
  TXLSPicture* AddPicture(const std::vector<std::uint8_t>& bytes, std::int32_t row, std::int32_t column,
                          double width = 0, double height = 0);

 private:
  TMsoDrawing& drawing_;
  std::vector<std::unique_ptr<TXLSPicture>> items_;
};

class TMsoDrawing : public TXLSSheetDrawingBase {
 public:
  TMsoDrawing(TMSODrawingGroup* group, std::int32_t sheetId, TMsoDrawingCallbacks callbacks);
  ~TMsoDrawing() override;

  // Range operations of the sheet.
  void DeleteRect(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                  std::int32_t lastRow) override;
  void ShiftCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn, std::int32_t lastRow,
                  std::int32_t columnDelta, std::int32_t rowDelta) override;
  void CopyComment(std::int32_t row, std::int32_t column, IXLSWorksheet& destination, std::int32_t destinationRow,
                   std::int32_t destinationColumn) override;

  std::int32_t NextObjectId() { return ++lastObjectId_; }
  void NoteObjectId(std::int32_t id) {
    if (id > lastObjectId_) lastObjectId_ = id;
  }

  // Reading: each call gets a record group (the record's body, then its CONTINUE bodies, one
  // block each). 1 or -1; malformed drawing data throws EMsoParseError.
  int ReadDrawing(const TXLSBlobList& group);
  int ReadObj(const TXLSBlobList& group);
  int ReadTxo(const TXLSBlobList& group, bool rotated);
  int ReadNote(std::uint16_t objectId, std::uint16_t row, std::uint16_t column, const std::u16string& author,
               std::uint16_t options);
  int SetChart(std::unique_ptr<TXLSCustomChart> chart);
  // The chart of a chart sheet (its whole substream as read); the sheet is then written as it.
  void SetSheetChart(std::unique_ptr<TXLSCustomChart> chart);
  TXLSCustomChart* SheetChart() const { return sheetChart_.get(); }
  // Appends the font list positions that the charts (embedded, or the chart sheet's) name.
  void AddChartFontUses(std::vector<std::int32_t>& positions) const;
  // The sheet's EOF: the shapes read become comments and pictures and get their sizes from
  // their anchors; chart objects that got no chart are dropped and counted in lostCharts.
  int FinishRead(std::size_t* lostCharts = nullptr);
  // The objects read from OBJ records that no shape keeps, counted by their object type since
  // the last call.
  std::map<std::uint16_t, std::size_t> TakeDroppedObjects() { return std::exchange(droppedObjects_, {}); }

  // Writing.
  void AssignShapeIds();
  int WriteDrawing(TXLSBlobList& output, std::uint16_t limit, bool protectedText);
  int WriteNotes(TXLSBlobList& output, int version, int codePage = 1252);

  TMSOShapeTextBox* AddCommentBox(std::int32_t row, std::int32_t column);
  TMSOShapeComboBox* AddFilterDropDown(std::int32_t row, std::int32_t column);
  TMSOShapePictureFrame* AddPictureFrame(std::uint32_t blipIndex);
  // Takes the shape out of the list, the object-id index and the comments or pictures; the
  // caller owns it again.
  std::unique_ptr<TMsoShapeContainer> RemoveShape(TMsoShapeContainer* shape);

  std::size_t ShapeCount() const { return shapes_.size(); }
  TMsoShapeContainer* Shape(std::size_t i) const { return i < shapes_.size() ? shapes_[i].get() : nullptr; }
  TMsoShapeContainer* FindByObjectId(std::uint16_t id) const;
  TXLSComments& Comments() { return comments_; }
  TXLSShapes& Pictures() { return pictures_; }
  TMSODrawingGroup* Group() const { return group_; }
  std::uint16_t DrawingId() const { return drawingId_; }
  std::uint32_t GroupShapeId() const { return groupShapeId_; }
  std::uint32_t LastShapeId() const { return lastShapeId_; }
  std::int32_t SheetId() const { return sheetId_; }
  // The workbook's calculator for the formulas of shapes and charts, or nullptr.
  TXLSCalculator* Calculator() const { return callbacks_.Calculator ? callbacks_.Calculator() : nullptr; }
  const TXLSFontList* Fonts() const { return callbacks_.Fonts ? callbacks_.Fonts() : nullptr; }
  // True while a drawing's top container is still open.
  bool Reading() const { return parser_ != nullptr; }

 private:
  void AddShape(std::unique_ptr<TMsoShapeContainer> shape);
  void WalkDrawing(const TXLSBlobList& group, std::size_t fromBlock);
  void OnHeader(const TMSOHeader& header, bool& skip);
  void OnAtom(const TMSOHeader& header, const TXLSBlob& data);
  void OnEnd(const TMSOHeader& header);

  TMSODrawingGroup* group_;
  std::uint16_t drawingId_ = 0;
  std::int32_t lastObjectId_ = 0;
  std::uint32_t lastShapeId_ = 0;
  std::uint32_t groupShapeId_ = 0;
  std::int32_t sheetId_;
  std::unique_ptr<TXLSDrawingParser> parser_;
  std::uint8_t state_ = 0;
  std::vector<std::unique_ptr<TMsoShapeContainer>> shapes_;
  std::map<std::uint16_t, TMsoShapeContainer*> byObjectId_;
  std::unique_ptr<TMsoShapeContainer> reading_;  // read from its Sp, waiting for its OBJ
  TMsoShapeContainer* current_ = nullptr;        // the shape the next OBJ, TXO or chart belongs to
  // Shapes read from drawing records since the last FinishRead, which makes them comments and
  // pictures and measures them.
  std::vector<TMsoShapeContainer*> unfinished_;
  TXLSComments comments_;
  TXLSShapes pictures_;
  std::unique_ptr<TXLSCustomChart> sheetChart_;
  TMsoDrawingCallbacks callbacks_;
  std::map<std::uint16_t, std::size_t> droppedObjects_;
};

// The sheet's drawing, made on first use with the sheet's geometry as its callbacks.
TMsoDrawing& GetDrawing(IXLSWorksheet& sheet);
// The sheet's drawing when it has one.
TMsoDrawing* FindDrawing(const IXLSWorksheet& sheet);
// The chart that a save in the format (kBiff5, kBiff8) writes as the sheet: a chart sheet's
// chart read from a file of that BIFF version, or from BIFF8 for a BIFF5 save (in BIFF5's
// layouts); nullptr otherwise (a BIFF5 chart has too little for BIFF8, and the sheet is then
// saved as an empty worksheet).
TXLSCustomChart* WrittenSheetChart(const IXLSWorksheet& sheet, int format);

}  // namespace xls
