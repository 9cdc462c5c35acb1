#include "xls/io/drawing/sheet_drawing.h"

#include <algorithm>
#include <cstdio>

#include "platform/little_endian.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/filter_dropdowns.h"
#include "xls/model/codepage.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"
#include "xls/model/xls_constants.h"

namespace xls {
namespace {

enum : std::uint8_t { psNone, psDgContainer, psDg, psSpgrContainer, psSpContainer, psSp, psOpt, psTertiaryOpt, psAnchor };

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
}
using platform::LoadLE16;
using platform::LoadLE32;

// The blip type of picture bytes and their size in pixels; a BMP loses its file header (the
// store keeps the bitmap from its info header on). kBlipNone for anything else.
std::uint8_t SniffPicture(std::vector<std::uint8_t>& bytes, std::uint32_t& widthPx, std::uint32_t& heightPx) {
  widthPx = heightPx = 0;
  const std::size_t n = bytes.size();
  static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n >= 24 && std::equal(png, png + 8, bytes.begin())) {
    widthPx = Be32(bytes, 16);
    heightPx = Be32(bytes, 20);
    return kBlipPNG;
  }
  if (n >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
    std::size_t at = 2;
    while (at + 9 < n) {
      if (bytes[at] != 0xFF) {
        ++at;
        continue;
      }
      const std::uint8_t marker = bytes[at + 1];
      if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0xFF) {
        at += marker == 0xFF ? 1 : 2;
        continue;
      }
      const std::size_t length = static_cast<std::size_t>(bytes[at + 2] << 8 | bytes[at + 3]);
      if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
        heightPx = static_cast<std::uint32_t>(bytes[at + 5] << 8 | bytes[at + 6]);
        widthPx = static_cast<std::uint32_t>(bytes[at + 7] << 8 | bytes[at + 8]);
        break;
      }
      if (length < 2) break;
      at += 2 + length;
    }
    return kBlipJPEG;
  }
  std::size_t info = 0;
  if (n >= 14 + 12 && bytes[0] == 'B' && bytes[1] == 'M') info = 14;
  if (n >= info + 12) {
    const std::uint32_t headerSize = LoadLE32(&bytes[info]);
    if (headerSize == 12 && n >= info + 12) {
      widthPx = LoadLE16(&bytes[info + 4]);
      heightPx = LoadLE16(&bytes[info + 6]);
    } else if (headerSize >= 40 && headerSize <= 124 && n >= info + 16) {
      widthPx = LoadLE32(&bytes[info + 4]);
      const std::int32_t h = static_cast<std::int32_t>(LoadLE32(&bytes[info + 8]));
      heightPx = static_cast<std::uint32_t>(h < 0 ? -static_cast<std::int64_t>(h) : h);
    } else {
      return kBlipNone;
    }
    if (info) bytes.erase(bytes.begin(), bytes.begin() + 14);
    return kBlipDIB;
  }
  return kBlipNone;
}

// Characters of a BIFF5 note in one NOTE record.
constexpr std::size_t kBiff5NotePiece = 2048;

bool InRect(std::int32_t row, std::int32_t column, std::int32_t firstRow, std::int32_t firstColumn,
            std::int32_t lastColumn, std::int32_t lastRow) {
  return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
}

// The blocks of a TXO group that hold its text (from block 1 on).
std::size_t TxoTextBlocks(const TXLSBlobList& group, bool rotated) {
  const TXLSBlob* txo = group.GetChunk(0);
  const std::size_t wanted = txo && txo->GetSize() >= 12 ? txo->GetWord(10) : 0;
  std::size_t chars = 0, blocks = 0;
  for (std::size_t i = 1; i < group.Count() && chars < wanted; ++i) {
    const TXLSBlob* block = group.GetChunk(i);
    if (!block || block->GetSize() == 0) break;
    std::uint8_t flag = block->GetByte(0);
    if (rotated) flag = static_cast<std::uint8_t>((flag << 3) | (flag >> 5));
    chars += (flag & 1) ? (block->GetSize() - 1) / 2 : block->GetSize() - 1;
    ++blocks;
  }
  return blocks;
}

}  // namespace

// ---- comments

std::string TXLSComments::Key(std::int32_t row, std::int32_t column) {
  char key[16];
  std::snprintf(key, sizeof key, "%06X%06X", static_cast<unsigned>(row) & 0xFFFFFFu, static_cast<unsigned>(column) & 0xFFFFFFu);
  return key;
}

TXLSComment* TXLSComments::Add(TMSOShapeTextBox* box) {
  items_.push_back(std::make_unique<TXLSComment>(box));
  TXLSComment* c = items_.back().get();
  index_[Key(box->row, box->column)] = c;
  return c;
}

TXLSComment* TXLSComments::Item(std::size_t index) const {
  return index >= 1 && index <= items_.size() ? items_[index - 1].get() : nullptr;
}

TXLSComment* TXLSComments::Find(std::int32_t row, std::int32_t column) const {
  auto it = index_.find(Key(row, column));
  return it == index_.end() ? nullptr : it->second;
}

TXLSComment* TXLSComments::GetOrCreate(std::int32_t row, std::int32_t column) {
  if (TXLSComment* c = Find(row, column)) return c;
  return Add(drawing_.AddCommentBox(row, column));
}

void TXLSComments::Forget(TMSOShapeTextBox* box) {
  for (std::size_t i = items_.size(); i-- > 0;) {
    if (items_[i]->Shape() != box) continue;
    auto it = index_.find(Key(box->row, box->column));
    if (it != index_.end() && it->second == items_[i].get()) index_.erase(it);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void TXLSComments::DeleteRect(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                              std::int32_t lastRow) {
  for (std::size_t i = items_.size(); i-- > 0;) {
    TXLSComment* c = items_[i].get();
    if (!InRect(c->GetRow(), c->GetColumn(), firstRow, firstColumn, lastColumn, lastRow)) continue;
    auto it = index_.find(Key(c->GetRow(), c->GetColumn()));
    if (it != index_.end() && it->second == c) index_.erase(it);
    TMSOShapeTextBox* box = c->Shape();
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    drawing_.RemoveShape(box);  // freed here
  }
}

void TXLSComments::ShiftCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                              std::int32_t lastRow, std::int32_t columnDelta, std::int32_t rowDelta) {
  std::vector<TXLSComment*> moving;
  for (std::size_t i = items_.size(); i-- > 0;) {
    TXLSComment* c = items_[i].get();
    if (!InRect(c->GetRow(), c->GetColumn(), firstRow, firstColumn, lastColumn, lastRow)) continue;
    moving.push_back(c);
    auto it = index_.find(Key(c->GetRow(), c->GetColumn()));
    if (it != index_.end() && it->second == c) index_.erase(it);
  }
  for (TXLSComment* c : moving) {
    c->SetRow(c->GetRow() + rowDelta);
    c->SetColumn(c->GetColumn() + columnDelta);
    index_[Key(c->GetRow(), c->GetColumn())] = c;
    c->Shape()->MoveAnchor(rowDelta, columnDelta);
  }
}

// ---- pictures

const TMSOPicture* TXLSPicture::GetPicture() const {
  TMsoDrawing* drawing = frame_->Drawing();
  const std::uint32_t index = frame_->BlipIndex();
  if (!drawing || !drawing->Group() || index == 0) return nullptr;
  return drawing->Group()->Pictures().Item(index - 1);
}

TXLSPicture* TXLSShapes::Add(TMSOShapePictureFrame* frame) {
  items_.push_back(std::make_unique<TXLSPicture>(frame));
  return items_.back().get();
}

void TXLSShapes::Forget(TMSOShapePictureFrame* frame) {
  items_.erase(std::remove_if(items_.begin(), items_.end(), [frame](const auto& p) { return p->Shape() == frame; }), items_.end());
}

TXLSPicture* TXLSShapes::Item(std::size_t index) const {
  return index >= 1 && index <= items_.size() ? items_[index - 1].get() : nullptr;
}

TXLSPicture* TXLSShapes::AddPicture(const std::vector<std::uint8_t>& bytes, std::int32_t row, std::int32_t column,
                                    double width, double height) {
  if (!drawing_.Group() || row < 0 || row > 65535 || column < 0 || column > 255) return nullptr;
  std::vector<std::uint8_t> data = bytes;
  std::uint32_t widthPx = 0, heightPx = 0;
  const std::uint8_t type = SniffPicture(data, widthPx, heightPx);
  if (type == kBlipNone) return nullptr;
  const std::uint32_t blip = drawing_.Group()->AddPicture(std::move(data), type);
  if (blip == 0) return nullptr;
  TMSOShapePictureFrame* frame = drawing_.AddPictureFrame(blip);
  frame->width = width > 0 ? width : (widthPx > 0 && widthPx < 100000 ? widthPx * 0.75 : 96.0);
  frame->height = height > 0 ? height : (heightPx > 0 && heightPx < 100000 ? heightPx * 0.75 : 96.0);
  TMsoFbtClientAnchor& a = frame->Anchor();
  a.column1 = static_cast<std::uint16_t>(column);
  a.row1 = static_cast<std::uint16_t>(row);
  a.column2 = a.column1;
  a.row2 = a.row1;
  return Add(frame);
}

// ---- the drawing

TMsoDrawing::TMsoDrawing(TMSODrawingGroup* group, std::int32_t sheetId, TMsoDrawingCallbacks callbacks)
    : group_(group), sheetId_(sheetId), comments_(*this), pictures_(*this), callbacks_(std::move(callbacks)) {}

TMsoDrawing::~TMsoDrawing() {
  if (group_) group_->ReleaseDrawing(drawingId_);
}

void TMsoDrawing::DeleteRect(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                             std::int32_t lastRow) {
  comments_.DeleteRect(firstRow, firstColumn, lastColumn, lastRow);
}

void TMsoDrawing::ShiftCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                             std::int32_t lastRow, std::int32_t columnDelta, std::int32_t rowDelta) {
  comments_.ShiftCells(firstRow, firstColumn, lastColumn, lastRow, columnDelta, rowDelta);
  // Pictures whose top-left cell lies in the band move with it.
  for (std::size_t i = 1; i <= pictures_.Count(); ++i) {
    TMSOShapePictureFrame* frame = pictures_.Item(i)->Shape();
    const TMsoFbtClientAnchor& a = frame->Anchor();
    if (InRect(a.row1, a.column1, firstRow, firstColumn, lastColumn, lastRow)) frame->MoveAnchor(rowDelta, columnDelta);
  }
}

void TMsoDrawing::CopyComment(std::int32_t row, std::int32_t column, IXLSWorksheet& destination,
                              std::int32_t destinationRow, std::int32_t destinationColumn) {
  if (const TXLSComment* comment = comments_.Find(row, column)) {
    const std::u16string text = comment->GetText();
    GetDrawing(destination).Comments().GetOrCreate(destinationRow, destinationColumn)->SetText(text);
  } else if (TMsoDrawing* target = FindDrawing(destination)) {
    target->comments_.DeleteRect(destinationRow, destinationColumn, destinationColumn, destinationRow);
  }
}

TMsoShapeContainer* TMsoDrawing::FindByObjectId(std::uint16_t id) const {
  auto it = byObjectId_.find(id);
  return it == byObjectId_.end() ? nullptr : it->second;
}

void TMsoDrawing::AddShape(std::unique_ptr<TMsoShapeContainer> shape) {
  if (!shape) return;
  byObjectId_[shape->objectId] = shape.get();
  shapes_.push_back(std::move(shape));
}

std::unique_ptr<TMsoShapeContainer> TMsoDrawing::RemoveShape(TMsoShapeContainer* shape) {
  for (std::size_t i = 0; i < shapes_.size(); ++i) {
    if (shapes_[i].get() != shape) continue;
    auto it = byObjectId_.find(shape->objectId);
    if (it != byObjectId_.end() && it->second == shape) byObjectId_.erase(it);
    if (current_ == shape) current_ = nullptr;
    unfinished_.erase(std::remove(unfinished_.begin(), unfinished_.end(), shape), unfinished_.end());
    if (shape->Kind() == TMsoShapeKind::kTextBox) comments_.Forget(static_cast<TMSOShapeTextBox*>(shape));
    if (shape->Kind() == TMsoShapeKind::kPictureFrame) pictures_.Forget(static_cast<TMSOShapePictureFrame*>(shape));
    std::unique_ptr<TMsoShapeContainer> taken = std::move(shapes_[i]);
    shapes_.erase(shapes_.begin() + static_cast<std::ptrdiff_t>(i));
    return taken;
  }
  return nullptr;
}

TMSOShapeTextBox* TMsoDrawing::AddCommentBox(std::int32_t row, std::int32_t column) {
  auto box = std::make_unique<TMSOShapeTextBox>(this, 2, 0x0A00, kShapeTextBox);
  box->row = static_cast<std::uint16_t>(row);
  box->column = static_cast<std::uint16_t>(column);
  box->width = 96.0;
  box->height = 55.5;
  box->objectType = kObjComment;
  TMsoFbtOpt& opt = box->Opt();
  opt.SetProperty(0x0080, 0x00BF0000);
  opt.SetProperty(0x008B, 2);
  opt.SetProperty(0x00BF, 0x00080008);
  opt.SetProperty(0x0181, 0x08000050);
  opt.SetProperty(0x0183, 0x08000050);
  opt.SetProperty(0x01BF, 0x00100010);
  opt.SetProperty(0x0201, 0);
  opt.SetProperty(0x023F, 0x00030003);
  opt.SetProperty(0x03BF, 0x00020002);
  box->Anchor();
  TMSOShapeTextBox* result = box.get();
  AddShape(std::move(box));
  return result;
}

TMSOShapeComboBox* TMsoDrawing::AddFilterDropDown(std::int32_t row, std::int32_t column) {
  auto combo = std::make_unique<TMSOShapeComboBox>(this, 2, 0x0A00, kShapeHostControl);
  combo->objectType = kObjComboBox;
  combo->filterDropDown = true;
  combo->objectFlags = 0x0121;
  combo->dropRow = row;
  combo->dropColumn = column;
  TMsoFbtOpt& opt = combo->Opt();
  opt.SetProperty(0x007F, 0x01040104);
  opt.SetProperty(0x00BF, 0x00080008);
  opt.SetProperty(0x01FF, 0x00080000);
  opt.SetProperty(0x03BF, 0x00020000);
  combo->Anchor();
  TMSOShapeComboBox* result = combo.get();
  AddShape(std::move(combo));
  return result;
}

TMSOShapePictureFrame* TMsoDrawing::AddPictureFrame(std::uint32_t blipIndex) {
  auto frame = std::make_unique<TMSOShapePictureFrame>(this, 2, 0x0A00, kShapePictureFrame);
  frame->objectType = kObjPicture;
  TMsoFbtOpt& opt = frame->Opt();
  opt.SetProperty(0x0104, blipIndex, 0x4000);
  opt.SetProperty(0x03BF, 0x00080000);
  frame->Anchor();
  TMSOShapePictureFrame* result = frame.get();
  AddShape(std::move(frame));
  return result;
}

// ---- reading

void TMsoDrawing::WalkDrawing(const TXLSBlobList& group, std::size_t fromBlock) {
  if (!parser_) {
    parser_ = std::make_unique<TXLSDrawingParser>();
    parser_->OnHeader = [this](TXLSDrawingParser&, const TMSOHeader& h, bool& skip, bool) { OnHeader(h, skip); };
    parser_->OnAtom = [this](TXLSDrawingParser&, const TMSOHeader& h, const TXLSBlob& data) { OnAtom(h, data); };
    parser_->OnEnd = [this](TXLSDrawingParser&, const TMSOHeader& h, bool) { OnEnd(h); };
    parser_->OnFinish = [this](TXLSDrawingParser&) { state_ = psNone; };
    state_ = psNone;
  }
  parser_->ParseFrom(group, fromBlock);
  if (state_ == psNone) parser_.reset();
}

int TMsoDrawing::ReadDrawing(const TXLSBlobList& group) {
  WalkDrawing(group, 0);
  return 1;
}

void TMsoDrawing::OnHeader(const TMSOHeader& h, bool& skip) {
  const std::uint16_t type = h.RecType();
  switch (state_) {
    case psNone:
      if (type == kMsoDgContainer) return void(state_ = psDgContainer);
      break;
    case psDgContainer:
      if (type == kMsoSpgrContainer) return void(state_ = psSpgrContainer);
      if (type == kMsoDg) return void(state_ = psDg);
      break;
    case psSpgrContainer:
      if (type == kMsoSpContainer) return void(state_ = psSpContainer);
      if (type == kMsoSpgrContainer) {
        // Shapes inside nested groups are not kept.
        reading_.reset();
        current_ = nullptr;
      }
      break;
    case psSpContainer:
      if (type == kMsoSp) return void(state_ = psSp);
      if (type == kMsoOpt) return void(state_ = psOpt);
      if (type == kMsoClientAnchor) return void(state_ = psAnchor);
      if (type == kMsoTertiaryOpt) return void(state_ = psTertiaryOpt);
      break;
    default:
      break;
  }
  skip = true;
}

void TMsoDrawing::OnAtom(const TMSOHeader& h, const TXLSBlob& data) {
  switch (state_) {
    case psDg: {
      drawingId_ = static_cast<std::uint16_t>(h.Instance());
      if (group_) group_->Dgg().RegisterDrawing(drawingId_);
      break;
    }
    case psSp: {
      // A shape of another type than ours that came without its OBJ is let go.
      const bool ours = reading_ && (reading_->Sp().ShapeType() == kShapePictureFrame ||
                                     reading_->Sp().ShapeType() == kShapeHostControl ||
                                     reading_->Sp().ShapeType() == kShapeTextBox);
      if (ours && reading_->objectId == 0) throw EMsoParseError("Previous Shape is not parsed completely");
      reading_.reset();
      current_ = nullptr;
      auto sp = std::make_unique<TMsoFbtSp>(h, &data);
      switch (sp->ShapeType()) {
        case kShapeGroup:
          if (groupShapeId_ == 0) groupShapeId_ = sp->ShapeId();
          break;
        case kShapePictureFrame: reading_ = std::make_unique<TMSOShapePictureFrame>(this, std::move(sp)); break;
        case kShapeHostControl: reading_ = std::make_unique<TMSOShapeHostControl>(this, std::move(sp)); break;
        case kShapeTextBox: reading_ = std::make_unique<TMSOShapeTextBox>(this, std::move(sp)); break;
        default:
          // Other programs give their charts other shape types (gnumeric 146): the OBJ decides
          // whether the shape is one that is kept.
          reading_ = std::make_unique<TMSOShapeHostControl>(this, std::move(sp));
          break;
      }
      current_ = reading_.get();
      break;
    }
    case psOpt:
      if (reading_) reading_->Opt().ReadFromBlob(h, data);
      break;
    case psTertiaryOpt:
      if (reading_) reading_->TertiaryOpt().ReadFromBlob(h, data);
      break;
    case psAnchor:
      if (reading_) reading_->Anchor().ReadFromBlob(h, data);
      break;
    default:
      break;
  }
}

void TMsoDrawing::OnEnd(const TMSOHeader& h) {
  switch (state_) {
    case psDgContainer: state_ = psNone; break;
    case psDg:
    case psSpgrContainer: state_ = psDgContainer; break;
    case psSpContainer: state_ = psSpgrContainer; break;
    case psSp:
    case psOpt:
    case psTertiaryOpt:
    case psAnchor: state_ = psSpContainer; break;
    case psNone: throw EMsoParseError("psNone!!!");
    default: {
      char text[40];
      std::snprintf(text, sizeof text, "Unknown fbt parsed $%04X", h.RecType());
      throw EMsoParseError(text);
    }
  }
}

int TMsoDrawing::ReadObj(const TXLSBlobList& group) {
  const TXLSBlob* obj = group.GetChunk(0);
  // An object no shape keeps is counted by its type, the word at 4 in BIFF8 (in the common
  // object data) and BIFF5 alike.
  auto dropped = [&]() {
    if (obj && obj->GetSize() >= 6) ++droppedObjects_[static_cast<std::uint16_t>(obj->GetWord(4))];
  };
  if (!reading_ || !obj) {
    dropped();
    current_ = nullptr;
    if (group.Count() > 1) WalkDrawing(group, 1);
    return -1;
  }
  std::unique_ptr<TMsoShapeContainer> shape = std::move(reading_);
  int result = shape->ReadObj(*obj);
  if (result == 1) {
    NoteObjectId(shape->objectId);
    if (shape->Kind() == TMsoShapeKind::kHostControl) {
      std::unique_ptr<TMSOShapeHostControl> specific;
      switch (shape->objectType) {
        case kObjChart: specific = std::make_unique<TMSOShapeChart>(this, nullptr); break;
        case kObjCheckBox: specific = std::make_unique<TMSOShapeCheckBox>(this, nullptr); break;
        case kObjPicture: specific = std::make_unique<TMSOShapePicture>(this, nullptr); break;
        case kObjComboBox: specific = std::make_unique<TMSOShapeComboBox>(this, nullptr); break;
        case kObjListBox: specific = std::make_unique<TMSOShapeListBox>(this, nullptr); break;
        default: break;
      }
      if (specific) {
        specific->TakeFields(*shape);
        specific->ReadOwnObj(*obj);
        auto* combo = specific->Kind() == TMsoShapeKind::kComboBox ? static_cast<TMSOShapeComboBox*>(specific.get()) : nullptr;
        if (combo && combo->filterDropDown && callbacks_.SetFilterDropDown)
          callbacks_.SetFilterDropDown(combo->dropRow, combo->dropColumn, combo);
        shape = std::move(specific);
      } else {
        shape.reset();
      }
    }
    if (shape && shape->objectType == 6) shape.reset();
    // A chart whose shape is a picture frame takes its chart records all the same: written back
    // without them its OBJ would name a chart that is not there.
    if (shape && shape->Kind() == TMsoShapeKind::kPictureFrame && shape->objectType == kObjChart) {
      auto chart = std::make_unique<TMSOShapeChart>(this, nullptr);
      chart->TakeFields(*shape);
      shape = std::move(chart);
    }
  } else {
    shape.reset();
  }
  current_ = shape.get();
  if (shape) unfinished_.push_back(shape.get());
  AddShape(std::move(shape));
  if (!current_) {
    dropped();
    result = -1;
  }
  if (group.Count() > 1) WalkDrawing(group, 1);
  return result;
}

int TMsoDrawing::ReadTxo(const TXLSBlobList& group, bool rotated) {
  const TXLSBlob* second = group.GetChunk(1);
  if (second && second->GetSize() > 0 && second->GetByte(0) == 0x0F) {
    WalkDrawing(group, 1);
    return 1;
  }
  int result = current_ ? current_->ReadText(group, rotated) : -1;
  const std::size_t textBlocks = TxoTextBlocks(group, rotated);
  const std::size_t drawingFrom = 1 + textBlocks + (textBlocks ? 1 : 0);
  if (group.Count() > drawingFrom) WalkDrawing(group, drawingFrom);
  return result;
}

int TMsoDrawing::ReadNote(std::uint16_t objectId, std::uint16_t row, std::uint16_t column, const std::u16string& author,
                          std::uint16_t options) {
  TMsoShapeContainer* shape = FindByObjectId(objectId);
  if (!shape || shape->Kind() != TMsoShapeKind::kTextBox) return -1;
  auto* box = static_cast<TMSOShapeTextBox*>(shape);
  box->row = row;
  box->column = column;
  box->noteOptions = options;
  box->author = author;
  return 1;
}

int TMsoDrawing::SetChart(std::unique_ptr<TXLSCustomChart> chart) {
  if (!current_ || current_->Kind() != TMsoShapeKind::kChart || !chart) return -1;
  if (TXLSCalculator* calculator = Calculator()) chart->Compile(*calculator);
  chart->SetFontList(Fonts());
  static_cast<TMSOShapeChart*>(current_)->SetChart(std::move(chart));
  return 1;
}

void TMsoDrawing::SetSheetChart(std::unique_ptr<TXLSCustomChart> chart) {
  if (chart) {
    if (TXLSCalculator* calculator = Calculator()) chart->Compile(*calculator);
    chart->SetFontList(Fonts());
  }
  sheetChart_ = std::move(chart);
}

void TMsoDrawing::AddChartFontUses(std::vector<std::int32_t>& positions) const {
  if (sheetChart_) sheetChart_->AddFontUses(positions);
  for (const auto& shape : shapes_)
    if (shape->Kind() == TMsoShapeKind::kChart)
      if (const TXLSCustomChart* chart = static_cast<const TMSOShapeChart*>(shape.get())->Chart())
        chart->AddFontUses(positions);
}

int TMsoDrawing::FinishRead(std::size_t* lostCharts) {
  parser_.reset();
  reading_.reset();
  state_ = psNone;
  // A chart object whose chart records did not come (or could not be read) is no chart: written
  // back without them it would spoil the file.
  std::size_t lost = 0;
  for (std::size_t i = unfinished_.size(); i-- > 0;) {
    TMsoShapeContainer* shape = unfinished_[i];
    if (shape->Kind() != TMsoShapeKind::kChart || static_cast<TMSOShapeChart*>(shape)->Chart()) continue;
    RemoveShape(shape);  // also takes it out of unfinished_; freed here
    ++lost;
  }
  if (lostCharts) *lostCharts = lost;
  // A comment box is written again from its cell down by its height, so the part of its first
  // row above its top edge is no part of that height (it would make the box taller at each
  // save). Other shapes are written again from their first row's top edge and keep it.
  auto firstRowPart = [this](const TMsoFbtClientAnchor& a) {
    if (a.dy1 == 0 || a.dy1 > 256 || a.dx1 > 1024) return 0.0;
    TMsoFbtClientAnchor above = a;
    above.column2 = a.column1, above.dx2 = a.dx1, above.row2 = a.row1, above.dy2 = a.dy1;
    double width = 0, height = 0;
    callbacks_.AnchorToSize(above, width, height);
    return height;
  };
  // Only the shapes read from the sheet's drawing records: a comment that a BIFF5 NOTE made is
  // a comment already and keeps the size it was made with (it has no anchor to measure).
  for (TMsoShapeContainer* shape : unfinished_) {
    if (shape->Kind() == TMsoShapeKind::kTextBox) comments_.Add(static_cast<TMSOShapeTextBox*>(shape));
    if (shape->Kind() == TMsoShapeKind::kPictureFrame) pictures_.Add(static_cast<TMSOShapePictureFrame*>(shape));
    // An offset past its column's 1024 or its row's 256 parts (other writers leave such) is
    // taken as the cell's far edge.
    TMsoFbtClientAnchor& anchor = shape->Anchor();
    anchor.dx1 = std::min<std::uint16_t>(anchor.dx1, 1024);
    anchor.dx2 = std::min<std::uint16_t>(anchor.dx2, 1024);
    anchor.dy1 = std::min<std::uint16_t>(anchor.dy1, 256);
    anchor.dy2 = std::min<std::uint16_t>(anchor.dy2, 256);
    if (!callbacks_.AnchorToSize) continue;
    callbacks_.AnchorToSize(shape->Anchor(), shape->width, shape->height);
    const double above = shape->Kind() == TMsoShapeKind::kTextBox ? firstRowPart(shape->Anchor()) : 0;
    if (above < shape->height) shape->height -= above;
  }
  unfinished_.clear();
  return 1;
}

// ---- writing

void TMsoDrawing::AssignShapeIds() {
  if (shapes_.empty() || !group_) return;
  TMsoFbtDGG& dgg = group_->Dgg();
  dgg.RegisterDrawing(drawingId_);
  if (groupShapeId_ == 0) {
    groupShapeId_ = dgg.NewShapeId(drawingId_);
    lastShapeId_ = groupShapeId_;
  }
  dgg.RegisterShapeId(groupShapeId_);
  lastShapeId_ = std::max(lastShapeId_, groupShapeId_);
  for (const auto& shape : shapes_) {
    if (shape->Sp().ShapeId() == 0) shape->Sp().SetShapeId(dgg.NewShapeId(drawingId_));
    // The Dg record reports the largest id in use, also for shapes that kept theirs.
    lastShapeId_ = std::max(lastShapeId_, shape->Sp().ShapeId());
    dgg.RegisterShapeId(shape->Sp().ShapeId());
  }
}

int TMsoDrawing::WriteDrawing(TXLSBlobList& output, std::uint16_t limit, bool protectedText) {
  if (shapes_.empty()) return 1;
  std::int64_t size = 80;
  for (const auto& shape : shapes_) size += shape->GetSize();
  if (size > 0x7FFFFFFF) return -1;
  TXLSBlob blob(static_cast<std::uint32_t>((limit ? limit : 8224) + 4));
  blob.AddWord(kRecMsoDrawing);
  blob.AddWord(0);
  WriteEscherHeader(blob, 15, 0, static_cast<std::uint32_t>(size - 8), kMsoDgContainer);
  WriteEscherHeader(blob, 0, drawingId_, 8, kMsoDg);
  blob.AddDWord(static_cast<std::uint32_t>(shapes_.size() + 1));
  blob.AddDWord(lastShapeId_);
  WriteEscherHeader(blob, 15, 0, static_cast<std::uint32_t>(size - 32), kMsoSpgrContainer);
  WriteEscherHeader(blob, 15, 0, 40, kMsoSpContainer);
  WriteEscherHeader(blob, 1, 0, 16, kMsoSpgr);
  for (int i = 0; i < 4; ++i) blob.AddDWord(0);
  WriteEscherHeader(blob, 2, 0, 8, kMsoSp);
  blob.AddDWord(groupShapeId_);
  blob.AddDWord(5);
  for (const auto& shape : shapes_) {
    TMsoFbtClientAnchor& a = shape->Anchor();
    if (shape->Kind() == TMsoShapeKind::kTextBox) {
      const auto* box = static_cast<const TMSOShapeTextBox*>(shape.get());
      if (callbacks_.GetCommentAnchor) callbacks_.GetCommentAnchor(box->row, box->column, box->width, box->height, a);
    } else if (callbacks_.PositionToAnchor) {
      callbacks_.PositionToAnchor(a, shape->width, shape->height);
    }
    shape->Write(blob, output, limit, protectedText);
  }
  return 1;
}

int TMsoDrawing::WriteNotes(TXLSBlobList& output, int version, int codePage) {
  for (const auto& shape : shapes_) {
    if (shape->Kind() != TMsoShapeKind::kTextBox) continue;
    const auto* box = static_cast<const TMSOShapeTextBox*>(shape.get());
    if (version == 0x0600) {
      const std::u16string& author = box->author;
      const std::size_t n = std::min<std::size_t>(author.size(), 255);
      TXLSBlob note(static_cast<std::uint32_t>(4 + 12 + 2 * n));
      note.AddWord(kRecNote);
      note.AddWord(0);
      note.AddWord(box->row);
      note.AddWord(box->column);
      note.AddWord(box->noteOptions);
      note.AddWord(box->objectId);
      note.AddWord(static_cast<std::uint32_t>(n));
      note.AddByte(n ? 1 : 0);
      if (n) note.AddWideString(author.data(), n);
      note.AddByte(0);
      note.WriteWord(2, note.GetSize() - 4);
      output.AppendBlob(&note, true);
    } else {
      // At most 2048 characters a record: a longer note goes on in NOTE records of row 0xFFFF,
      // each giving the length of its own piece; the first gives the whole length.
      std::string text = WideToAnsiCP(box->text, codePage);
      if (text.size() > 0xFFFF) text.resize(0xFFFF);
      std::size_t at = 0;
      do {
        const std::size_t n = std::min<std::size_t>(text.size() - at, kBiff5NotePiece);
        TXLSBlob note(static_cast<std::uint32_t>(4 + 6 + n));
        note.AddWord(kRecNote);
        note.AddWord(static_cast<std::uint32_t>(6 + n));
        note.AddWord(at == 0 ? box->row : 0xFFFF);
        note.AddWord(at == 0 ? box->column : 0);
        note.AddWord(static_cast<std::uint32_t>(at == 0 ? text.size() : n));
        note.AddString(text.substr(at, n));
        output.AppendBlob(&note, true);
        at += n;
      } while (at < text.size());
    }
  }
  return 1;
}

// ---- the model's side

TMsoDrawing* FindDrawing(const IXLSWorksheet& sheet) { return static_cast<TMsoDrawing*>(sheet.DrawingSlot()); }

TMsoDrawing& GetDrawing(IXLSWorksheet& sheet) {
  if (TMsoDrawing* d = FindDrawing(sheet)) return *d;
  IXLSWorksheet* s = &sheet;
  TMsoDrawingCallbacks callbacks;
  callbacks.GetCommentAnchor = [s](std::int32_t row, std::int32_t column, double width, double height, TMsoFbtClientAnchor& a) {
    const XLSAnchor x = s->GetCommentAnchor(row, column, width, height);
    a.column1 = static_cast<std::uint16_t>(x.column1);
    a.dx1 = static_cast<std::uint16_t>(x.columnOffset1);
    a.row1 = static_cast<std::uint16_t>(x.row1);
    a.dy1 = static_cast<std::uint16_t>(x.rowOffset1);
    a.column2 = static_cast<std::uint16_t>(x.column2);
    a.dx2 = static_cast<std::uint16_t>(x.columnOffset2);
    a.row2 = static_cast<std::uint16_t>(x.row2);
    a.dy2 = static_cast<std::uint16_t>(x.rowOffset2);
  };
  callbacks.PositionToAnchor = [s](TMsoFbtClientAnchor& a, double width, double height) {
    XLSAnchor x;
    x.column1 = a.column1;
    x.columnOffset1 = a.dx1;
    x.row1 = a.row1;
    x.rowOffset1 = a.dy1;
    s->PositionToAnchor(x, width, height);
    a.column2 = static_cast<std::uint16_t>(x.column2);
    a.dx2 = static_cast<std::uint16_t>(x.columnOffset2);
    a.row2 = static_cast<std::uint16_t>(x.row2);
    a.dy2 = static_cast<std::uint16_t>(x.rowOffset2);
  };
  callbacks.AnchorToSize = [s](const TMsoFbtClientAnchor& a, double& width, double& height) {
    XLSAnchor x{a.column1, a.dx1, a.row1, a.dy1, a.column2, a.dx2, a.row2, a.dy2};
    s->AnchorToSize(x, width, height);
  };
  callbacks.Calculator = [s]() -> TXLSCalculator* { return s->Workbook() ? &s->Workbook()->Formulas().Calculator() : nullptr; };
  callbacks.Fonts = [s]() -> const TXLSFontList* { return s->Workbook() ? &s->Workbook()->XFList().Fonts() : nullptr; };
  callbacks.SetFilterDropDown = [s](std::int32_t row, std::int32_t column, TMsoShapeContainer* shape) {
    FilterDropDownRead(*s, row, column, shape);
  };
  TMSODrawingGroup* group = sheet.Workbook() ? &GetDrawingGroup(*sheet.Workbook()) : nullptr;
  sheet.SetDrawingSlot(std::make_unique<TMsoDrawing>(group, sheet.GetSheetId(), std::move(callbacks)));
  return *FindDrawing(sheet);
}

TXLSCustomChart* WrittenSheetChart(const IXLSWorksheet& sheet, int format) {
  const TMsoDrawing* drawing = FindDrawing(sheet);
  TXLSCustomChart* chart = drawing ? drawing->SheetChart() : nullptr;
  // A BIFF8 chart goes to BIFF5 in BIFF5's layouts; a BIFF5 one has too little for BIFF8.
  if (!chart || (chart->FileVersion() < 0x0600 && format == kBiff8)) return nullptr;
  return chart;
}

}  // namespace xls
