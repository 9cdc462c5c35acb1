#include "xls/io/drawing/shapes.h"

#include <algorithm>

#include "xls/formula/calc/calculator.h"
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/sheet_drawing.h"

namespace xls {
namespace {

constexpr std::uint16_t kFtEnd = 0x00, kFtCf = 0x07, kFtPioGrbit = 0x08, kFtPictFmla = 0x09, kFtSbs = 0x0C,
                        kFtGmo = 0x0E, kFtLbsData = 0x13, kFtCmo = 0x15;

std::unique_ptr<TXLSBlob> NewRecord(std::uint16_t id) {
  auto b = std::make_unique<TXLSBlob>(64);
  b->AddWord(id);
  b->AddWord(0);
  return b;
}

void AddBytes(TXLSBlob& blob, const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) blob.AddByte(b);
}

// The TXO's text and the two formatting runs, as CONTINUE records.
void WriteTxo(TXLSBlobList& output, std::uint16_t options, const std::u16string& text, bool protectedText,
              std::uint16_t limit) {
  TXLSBlob record(4 + 18);
  record.AddWord(kRecTxo);
  record.AddWord(18);
  record.AddWord(options);
  record.AddWord(0);  // rotation
  for (int i = 0; i < 6; ++i) record.AddByte(0);
  const std::uint16_t n = static_cast<std::uint16_t>(std::min<std::size_t>(text.size(), 0xFFFF));
  record.AddWord(n);
  record.AddWord(n ? 16 : 0);
  record.AddDWord(0);
  CloseDrawingRecord(record, output, limit);
  if (n == 0) return;
  // Characters are split over CONTINUE records below the limit, each with its flag byte.
  std::size_t done = 0;
  const std::size_t perRecord = (static_cast<std::size_t>(limit ? limit : 8224) - 1) / 2;
  while (done < n) {
    const std::size_t part = std::min<std::size_t>(n - done, perRecord);
    TXLSBlob chars(static_cast<std::uint32_t>(4 + 1 + 2 * part));
    chars.AddWord(kRecDrawingContinue);
    chars.AddWord(static_cast<std::uint32_t>(1 + 2 * part));
    chars.AddByte(1);
    chars.AddWideString(text.data() + done, part);
    if (protectedText) RotateRight3(chars);
    output.AppendBlob(&chars, true);
    done += part;
  }
  TXLSBlob runs(4 + 16);
  runs.AddWord(kRecDrawingContinue);
  runs.AddWord(16);
  runs.AddWord(0);
  runs.AddWord(0);
  runs.AddDWord(0);
  runs.AddWord(n);
  runs.AddWord(0);
  runs.AddDWord(0);
  output.AppendBlob(&runs, true);
}

void WriteClientTextbox(TXLSBlobList& output, std::uint16_t limit) {
  TXLSBlob record(4 + 8);
  record.AddWord(kRecMsoDrawing);
  record.AddWord(0);
  WriteEscherHeader(record, 0, 0, 0, kMsoClientTextbox);
  CloseDrawingRecord(record, output, limit);
}

// Text of the second block of a TXO group: flag byte (bit 0 = UTF-16), then the characters;
// further blocks continue the text, each with its own flag byte.
int ReadTxoText(const TXLSBlobList& txo, bool rotated, std::u16string& text) {
  const TXLSBlob* first = txo.GetChunk(0);
  if (txo.Count() < 2 || !first) return -1;
  std::size_t wanted = first->GetSize() >= 12 ? first->GetWord(10) : 0xFFFF;
  text.clear();
  for (std::size_t i = 1; i < txo.Count() && text.size() < wanted; ++i) {
    const TXLSBlob* block = txo.GetChunk(i);
    if (!block || block->GetSize() == 0) break;
    TXLSBlob copy(block->GetSize());
    copy.AddWholeBlob(*block);
    if (rotated) RotateLeft3(copy);
    const bool wide = (copy.GetByte(0) & 1) != 0;
    const std::uint32_t size = copy.GetSize();
    if (wide) {
      for (std::uint32_t at = 1; at + 1 < size && text.size() < wanted; at += 2) text += static_cast<char16_t>(copy.GetWord(at));
    } else {
      for (std::uint32_t at = 1; at < size && text.size() < wanted; ++at) text += static_cast<char16_t>(copy.GetByte(at));
    }
    if (i == 1 && wanted == 0xFFFF) break;
  }
  return 1;
}

TXLSCalculator* CalculatorOf(const TMsoShapeContainer& shape) {
  return shape.Drawing() ? shape.Drawing()->Calculator() : nullptr;
}
int SheetIdOf(const TMsoShapeContainer& shape) { return shape.Drawing() ? shape.Drawing()->SheetId() : 0; }

}  // namespace

void TObjFormula::Compile(TXLSCalculator* calculator) {
  if (!calculator || data.size() < 8) return;
  const std::size_t cce = static_cast<std::size_t>(data[2] | data[3] << 8);
  if (cce == 0 || 8 + cce > data.size()) return;
  formula = calculator->CompileBytes(data.data(), data.size(), 8, 0x0600, cce);
}

std::vector<std::uint8_t> TObjFormula::Bytes(TXLSCalculator* calculator, int sheetId) const {
  std::unique_ptr<TXLSBlob> tokens;
  if (!formula || !calculator || calculator->GetFormulaBytes(*formula, tokens, 0, sheetId, 0, 0) != 1 || !tokens ||
      tokens->GetSize() < 2)
    return data;
  const std::size_t oldCce = static_cast<std::size_t>(data[2] | data[3] << 8);
  const std::size_t newCce = tokens->GetWord(0);
  std::vector<std::uint8_t> out(data.begin(), data.begin() + 8);
  out.insert(out.end(), tokens->GetData() + 2, tokens->GetData() + 2 + newCce);
  out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(8 + oldCce), data.end());
  // Both size words follow the new tokens: the token count and the formula's byte count.
  const std::int64_t cbFmla = static_cast<std::int64_t>(data[0] | data[1] << 8) + static_cast<std::int64_t>(newCce) -
                              static_cast<std::int64_t>(oldCce);
  out[0] = static_cast<std::uint8_t>(cbFmla), out[1] = static_cast<std::uint8_t>(cbFmla >> 8);
  out[2] = static_cast<std::uint8_t>(newCce), out[3] = static_cast<std::uint8_t>(newCce >> 8);
  return out;
}

void CloseDrawingRecord(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit) {
  if (blob.GetSize() < 4) return;
  const std::uint32_t length = blob.GetSize() - 4;
  if (limit == 0) limit = 8224;
  if (length <= limit) {
    blob.WriteWord(2, length);
    output.AppendBlob(&blob, true);
  } else {
    TXLSBlob data(length);
    data.AddBlobRange(blob, 4, length);
    AppendSplitRecord(output, blob.GetWord(0), data, limit);
  }
  blob.Reset();
}

template <typename Visit>
void TMsoShapeContainer::WalkSubRecords(const TXLSBlob& obj, Visit visit) {
  std::uint32_t at = 0;
  const std::uint32_t size = obj.GetSize();
  while (size - at >= 4) {
    const std::uint16_t id = obj.GetWord(at);
    const std::uint32_t length = std::min<std::uint32_t>(obj.GetWord(at + 2), size - at - 4);
    if (id == kFtEnd) break;
    if (!visit(id, at + 4, length)) break;
    at += 4 + length;
  }
}

TMsoShapeContainer::TMsoShapeContainer(TMsoDrawing* drawing, std::uint32_t spVersion, std::uint32_t spFlags,
                                       std::uint16_t shapeType)
    : drawing_(drawing), sp_(std::make_unique<TMsoFbtSp>(spVersion, spFlags, shapeType)) {
  if (drawing_) objectId = static_cast<std::uint16_t>(drawing_->NextObjectId());
}

TMsoShapeContainer::TMsoShapeContainer(TMsoDrawing* drawing, std::unique_ptr<TMsoFbtSp> sp)
    : drawing_(drawing), sp_(std::move(sp)) {}

TMsoShapeContainer::~TMsoShapeContainer() = default;

TMsoFbtOpt& TMsoShapeContainer::Opt() {
  if (!opt_) opt_ = std::make_unique<TMsoFbtOpt>();
  return *opt_;
}
TMsoFbtOpt& TMsoShapeContainer::TertiaryOpt() {
  if (!tertiary_) tertiary_ = std::make_unique<TMsoFbtOpt>(kMsoTertiaryOpt);
  return *tertiary_;
}
TMsoFbtClientAnchor& TMsoShapeContainer::Anchor() {
  if (!anchor_) anchor_ = std::make_unique<TMsoFbtClientAnchor>();
  return *anchor_;
}

void TMsoShapeContainer::TakeFields(TMsoShapeContainer& from) {
  sp_ = std::move(from.sp_);
  opt_ = std::move(from.opt_);
  tertiary_ = std::move(from.tertiary_);
  anchor_ = std::move(from.anchor_);
  formula_ = std::move(from.formula_);
  objectId = from.objectId;
  objectType = from.objectType;
  objectFlags = from.objectFlags;
  width = from.width;
  height = from.height;
  drawing_ = from.drawing_;
}

std::int64_t TMsoShapeContainer::GetSize() const {
  std::int64_t size = 16 + 8 + (opt_ ? opt_->GetSize() : 8) + 26 + 8;
  if (tertiary_) size += tertiary_->GetSize();
  return size;
}

int TMsoShapeContainer::ReadObj(const TXLSBlob& obj) {
  int result = -1;
  WalkSubRecords(obj, [&](std::uint16_t id, std::uint32_t at, std::uint32_t length) {
    if (id == kFtCmo && length >= 6) {
      objectType = obj.GetWord(at);
      objectId = obj.GetWord(at + 2);
      objectFlags = obj.GetWord(at + 4);
      result = 1;
    } else if (id == kFtPictFmla) {
      formula_ = std::make_unique<TObjFormula>();
      formula_->id = id;
      formula_->data.assign(obj.GetData() + at, obj.GetData() + at + length);
      formula_->Compile(CalculatorOf(*this));
    }
    return true;
  });
  return result;
}

bool TMsoShapeContainer::GetVisible() const { return !opt_ || (opt_->GetProperty(0x03BF) & 2) == 0; }

void TMsoShapeContainer::SetVisible(bool visible) {
  const std::uint32_t v = Opt().GetProperty(0x03BF);
  Opt().SetProperty(0x03BF, visible ? (v & ~2u) : (v | 2u));
}

int TMsoShapeContainer::ReadText(const TXLSBlobList& txo, bool rotated) {
  (void)txo, (void)rotated;
  return -1;
}

void TMsoShapeContainer::MoveAnchor(std::int32_t rows, std::int32_t columns) {
  TMsoFbtClientAnchor& a = Anchor();
  auto clamp = [](std::int32_t v, std::int32_t hi) { return static_cast<std::uint16_t>(std::clamp(v, 0, hi)); };
  a.row1 = clamp(a.row1 + rows, 65535);
  a.row2 = clamp(a.row2 + rows, 65535);
  a.column1 = clamp(a.column1 + columns, 255);
  a.column2 = clamp(a.column2 + columns, 255);
}

void TMsoShapeContainer::WriteEscher(TXLSBlob& blob) const {
  const std::int64_t size = GetSize();
  if (size < 1) return;
  if (blob.GetSize() == 0) {
    blob.AddWord(kRecMsoDrawing);
    blob.AddWord(0);
  }
  WriteEscherHeader(blob, 15, 0, static_cast<std::uint32_t>(size - 8), kMsoSpContainer);
  sp_->WriteTo(blob);
  if (opt_) opt_->WriteTo(blob);
  else WriteEscherHeader(blob, 3, 0, 0, kMsoOpt);
  if (tertiary_) tertiary_->WriteTo(blob);
  if (anchor_) anchor_->WriteTo(blob);
  else TMsoFbtClientAnchor().WriteTo(blob);
  WriteEscherHeader(blob, 0, 0, 0, kMsoClientData);
  // Text shapes close their ClientTextbox in a record of its own, after the OBJ.
}

void TMsoShapeContainer::WriteCmo(TXLSBlob& obj, std::uint16_t flags) const {
  obj.AddWord(kFtCmo);
  obj.AddWord(0x12);
  obj.AddWord(objectType);
  obj.AddWord(objectId);
  obj.AddWord(flags);
  for (int i = 0; i < 12; ++i) obj.AddByte(0);
}

void TMsoShapeContainer::Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) {
  (void)protectedText;
  WriteEscher(blob);
  CloseDrawingRecord(blob, output, limit);
  auto obj = NewRecord(kRecObj);
  WriteCmo(*obj, 0x6011);
  obj->AddDWord(0);
  CloseDrawingRecord(*obj, output, limit);
}

// ---- comment box

void TMSOShapeTextBox::SetVisible(bool visible) {
  noteOptions = static_cast<std::uint16_t>(visible ? (noteOptions | 2) : (noteOptions & ~2));
  TMsoShapeContainer::SetVisible(visible);
}

void TMSOShapeTextBox::Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) {
  TMsoShapeContainer::Write(blob, output, limit, protectedText);
  WriteClientTextbox(output, limit);
  WriteTxo(output, 0x0012, text, protectedText, limit);
}

int TMSOShapeTextBox::ReadText(const TXLSBlobList& txo, bool rotated) { return ReadTxoText(txo, rotated, text); }

// ---- picture frame

int TMSOShapePictureFrame::ReadObj(const TXLSBlob& obj) {
  const int result = TMsoShapeContainer::ReadObj(obj);
  flagsRead = result == 1;
  WalkSubRecords(obj, [&](std::uint16_t id, std::uint32_t at, std::uint32_t length) {
    if (id == kFtCf && length >= 2) clipboardFormat = obj.GetWord(at);
    if (id == kFtPioGrbit && length >= 2) pictureOptions = obj.GetWord(at);
    return true;
  });
  return result;
}

void TMSOShapePictureFrame::SetVisible(bool visible) {
  const std::uint32_t base = Opt().HasProperty(0x03BF) ? (Opt().GetProperty(0x03BF) & ~0x00020002u) : 0x00080000u;
  Opt().SetProperty(0x03BF, visible ? base : base | 0x00020002u);
}

std::uint32_t TMSOShapePictureFrame::BlipIndex() const { return opt_ ? opt_->GetProperty(0x0104) : 0; }

namespace {
void WritePictureObj(const TMsoShapeContainer& shape, TXLSBlob& obj, std::int32_t clipboardFormat,
                     std::int32_t pictureOptions, const TObjFormula* formula) {
  if (clipboardFormat >= 0) {
    obj.AddWord(kFtCf);
    obj.AddWord(2);
    obj.AddWord(static_cast<std::uint32_t>(clipboardFormat));
  }
  if (pictureOptions >= 0) {
    obj.AddWord(kFtPioGrbit);
    obj.AddWord(2);
    obj.AddWord(static_cast<std::uint32_t>(pictureOptions));
  }
  if (formula) {
    const std::vector<std::uint8_t> bytes = formula->Bytes(CalculatorOf(shape), SheetIdOf(shape));
    obj.AddWord(formula->id);
    obj.AddWord(static_cast<std::uint32_t>(bytes.size()));
    AddBytes(obj, bytes);
  }
  obj.AddDWord(0);
}
}  // namespace

void TMSOShapePictureFrame::Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) {
  (void)protectedText;
  WriteEscher(blob);
  CloseDrawingRecord(blob, output, limit);
  auto obj = NewRecord(kRecObj);
  WriteCmo(*obj, flagsRead ? objectFlags : 0x6011);
  WritePictureObj(*this, *obj, clipboardFormat, pictureOptions, formula_.get());
  CloseDrawingRecord(*obj, output, limit);
}

// ---- chart

TMSOShapeChart::~TMSOShapeChart() = default;

void TMSOShapeChart::SetChart(std::unique_ptr<TXLSCustomChart> chart) { chart_ = std::move(chart); }

void TMSOShapeChart::Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) {
  TMsoShapeContainer::Write(blob, output, limit, protectedText);
  if (chart_) chart_->WriteRecords(output);
}

// ---- check box

void TMSOShapeCheckBox::Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) {
  WriteEscher(blob);
  CloseDrawingRecord(blob, output, limit);
  auto obj = NewRecord(kRecObj);
  WriteCmo(*obj, objectFlags);
  obj->AddDWord(0);
  CloseDrawingRecord(*obj, output, limit);
  WriteClientTextbox(output, limit);
  WriteTxo(output, 0x0222, text, protectedText, limit);
}

int TMSOShapeCheckBox::ReadText(const TXLSBlobList& txo, bool rotated) { return ReadTxoText(txo, rotated, text); }

// ---- picture control

int TMSOShapePicture::ReadOwnObj(const TXLSBlob& obj) {
  WalkSubRecords(obj, [&](std::uint16_t id, std::uint32_t at, std::uint32_t length) {
    if (id == kFtCf && length >= 2) clipboardFormat = obj.GetWord(at);
    if (id == kFtPioGrbit && length >= 2) pictureOptions = obj.GetWord(at);
    return true;
  });
  return 1;
}

void TMSOShapePicture::Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) {
  (void)protectedText;
  WriteEscher(blob);
  CloseDrawingRecord(blob, output, limit);
  auto obj = NewRecord(kRecObj);
  WriteCmo(*obj, objectFlags);
  WritePictureObj(*this, *obj, clipboardFormat, pictureOptions, formula_.get());
  CloseDrawingRecord(*obj, output, limit);
}

int TMSOShapePicture::ReadText(const TXLSBlobList& txo, bool rotated) { return ReadTxoText(txo, rotated, text); }

// ---- list controls

int TMSOShapeListControl::ReadOwnObj(const TXLSBlob& obj) {
  if (Kind() == TMsoShapeKind::kComboBox && (objectFlags & 0x0100)) {
    filterDropDown = true;
    dropRow = Anchor().row1;
    dropColumn = Anchor().column1;
    return 1;
  }
  WalkSubRecords(obj, [&](std::uint16_t id, std::uint32_t at, std::uint32_t length) {
    auto keep = [&](std::uint32_t n) {
      return std::make_unique<std::vector<std::uint8_t>>(obj.GetData() + at, obj.GetData() + at + n);
    };
    if (id == kFtSbs) sbs = keep(length);
    if (id == kFtGmo) gmo = keep(length);
    if (id == kFtLbsData) {
      // Its size word is not to be trusted: it takes the rest of the record.
      lbsData = std::make_unique<TObjFormula>();
      lbsData->id = id;
      lbsData->data.assign(obj.GetData() + at, obj.GetData() + obj.GetSize());
      lbsData->Compile(CalculatorOf(*this));
      return false;
    }
    return true;
  });
  return 1;
}

int TMSOShapeListBox::ReadOwnObj(const TXLSBlob& obj) { return TMSOShapeListControl::ReadOwnObj(obj); }

void TMSOShapeListControl::Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) {
  (void)protectedText;
  if (filterDropDown) {
    TMsoFbtClientAnchor& a = Anchor();
    a.column1 = static_cast<std::uint16_t>(dropColumn);
    a.row1 = static_cast<std::uint16_t>(dropRow);
    a.column2 = static_cast<std::uint16_t>(dropColumn + 1);
    a.row2 = static_cast<std::uint16_t>(dropRow + 1);
    a.dx1 = a.dy1 = a.dx2 = a.dy2 = 0;
  }
  WriteEscher(blob);
  CloseDrawingRecord(blob, output, limit);
  auto obj = NewRecord(kRecObj);
  WriteCmo(*obj, objectFlags);
  obj->AddWord(kFtSbs);
  if (sbs && !filterDropDown) {
    obj->AddWord(static_cast<std::uint32_t>(sbs->size()));
    AddBytes(*obj, *sbs);
  } else {
    obj->AddWord(20);
    for (std::uint32_t w : {0u, 0u, 0u, 0u, 100u, 1u, 10u, 0u, 16u, 1u}) obj->AddWord(w);
  }
  if (gmo && !filterDropDown) {
    obj->AddWord(kFtGmo);
    obj->AddWord(static_cast<std::uint32_t>(gmo->size()));
    AddBytes(*obj, *gmo);
  }
  if (lbsData && !filterDropDown) {
    obj->AddWord(kFtLbsData);
    obj->AddWord(0x1FDE);
    AddBytes(*obj, lbsData->Bytes(CalculatorOf(*this), SheetIdOf(*this)));
  } else {
    obj->AddWord(kFtLbsData);
    obj->AddWord(0x1FEE);
    for (std::uint32_t w : {0u, 0u, 4u, 0x0301u, 0u, 2u, 8u, 0x00A2u, 0u, 0u}) obj->AddWord(w);
  }
  CloseDrawingRecord(*obj, output, limit);
}

}  // namespace xls
