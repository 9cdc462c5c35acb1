#include "xls/formula/rules/autofilter.h"

#include <algorithm>
#include <cstring>

#include "xls/model/codepage.h"

namespace xls {
namespace {

constexpr std::uint32_t kItemFixed = 24;
constexpr std::size_t kMaxStringChars = 255;
constexpr std::size_t kMaxRuleRecord = 8224;  // the data of one BIFF8 record
constexpr std::int32_t kSheetColumns = 256;  // IV

}  // namespace

void TXLSAutofilterDOPER::Write(TXLSBlob& out, std::int32_t stringCount) const {
  out.AddByte(valueType);
  out.AddByte(comparison);
  std::uint8_t bytes[8] = {};
  switch (valueType) {
    case kNone: case kBlanks: case kNonBlanks:
      break;
    case kInteger: {
      const std::uint32_t v = static_cast<std::uint32_t>(value.IsNumber() ? value.IntegerValue() : 0);
      for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
      break;
    }
    case kDouble: {
      const double d = value.IsNumber() ? value.NumberValue() : 0;
      std::uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
      break;
    }
    case kString:
      bytes[4] = static_cast<std::uint8_t>(stringCount >= 0 ? stringCount : static_cast<std::int32_t>(StringText().size()));
      break;
    case kBoolErr:
      // The value, then whether it is an error code.
      if (value.IsError()) {
        bytes[0] = static_cast<std::uint8_t>(value.ErrorCode());
        bytes[1] = 1;
      } else {
        bytes[0] = value.IsBoolean() && value.BooleanValue() ? 1 : 0;
      }
      break;
    default:
      std::memcpy(bytes, raw.data(), raw.size());
      break;
  }
  for (std::uint8_t b : bytes) out.AddByte(b);
}

void TXLSAutofilterDOPER::Read(const TXLSBlob& data, std::uint32_t position) {
  valueType = data.GetByte(position);
  comparison = data.GetByte(position + 1);
  for (std::uint32_t i = 0; i < 8; ++i) raw[i] = data.GetByte(position + 2 + i);
  switch (valueType) {
    case kInteger:
      value = Variant(static_cast<int>(data.GetDWord(position + 2)));
      break;
    case kDouble:
      value = Variant(data.GetDouble(position + 2));
      break;
    case kString:
      value = Variant(std::u16string());
      break;
    case kBoolErr:
      value = data.GetByte(position + 3) ? Variant::Error(data.GetByte(position + 2))
                                         : Variant(data.GetByte(position + 2) != 0);
      break;
    default:
      value = Variant();
      break;
  }
}

std::u16string TXLSAutofilterDOPER::StringText() const {
  if (valueType != kString || !value.IsText()) return {};
  const std::u16string& text = value.TextValue();
  return text.size() > kMaxStringChars ? text.substr(0, kMaxStringChars) : text;
}

TXLSAutofilter::~TXLSAutofilter() = default;

TXLSAutofilterItem* TXLSAutofilter::Item(std::int32_t i) const {
  return i >= 0 && i < static_cast<std::int32_t>(items_.size()) ? items_[static_cast<std::size_t>(i)].get() : nullptr;
}

void TXLSAutofilter::ClearItems(bool removeShapes) {
  for (auto& item : items_)
    if (removeShapes && item->dropDown && dropDowns_.remove) dropDowns_.remove(item->dropDown);
  items_.clear();
  furtherDropDowns_.clear();
  columnCount_ = 0;
  lastItem12_ = nullptr;
}

void TXLSAutofilter::SetColumnCount(std::int32_t count) {
  // A filter spans at most the sheet's columns; a file's larger count is damage, and each
  // column costs an item.
  count = std::clamp(count, 0, kSheetColumns);
  if (count == columnCount_) return;
  ClearItems(true);
  for (std::int32_t i = 0; i < count; ++i) items_.push_back(std::make_unique<TXLSAutofilterItem>());
  columnCount_ = count;
}

void TXLSAutofilter::SetRange(std::int32_t headerRow, std::int32_t firstColumn, std::int32_t lastColumn,
                              std::int32_t lastRow) {
  if (IsActive()) ClearItems(true);
  filterModeAsRead_ = false;
  headerRow_ = headerRow;
  firstColumn_ = firstColumn;
  lastColumn_ = lastColumn;
  lastRow_ = lastRow;
  SetColumnCount(lastColumn - firstColumn + 1);
  for (std::int32_t i = 0; i < columnCount_; ++i)
    if (dropDowns_.add) items_[static_cast<std::size_t>(i)]->dropDown = dropDowns_.add(headerRow - 1, firstColumn - 1 + i);
}

void TXLSAutofilter::SetArea(std::int32_t headerRow, std::int32_t firstColumn, std::int32_t lastColumn,
                             std::int32_t lastRow) {
  if (IsActive()) {
    if (lastRow_ < 1) lastRow_ = lastRow;
    // A filter database wider than the count of AUTOFILTERINFO keeps its width.
    if (headerRow == headerRow_ && firstColumn == firstColumn_ && lastColumn <= kSheetColumns) {
      for (std::int32_t column = firstColumn_ - 1 + columnCount_; column < lastColumn; ++column) {
        auto item = std::make_unique<TXLSAutofilterItem>();
        for (const auto& [at, shape] : furtherDropDowns_)
          if (at == column) item->dropDown = shape;
        items_.push_back(std::move(item));
      }
      columnCount_ = static_cast<std::int32_t>(items_.size());
    }
    furtherDropDowns_.clear();
    if (lastColumn_ < 1) lastColumn_ = firstColumn_ + columnCount_ - 1;
    return;
  }
  headerRow_ = headerRow;
  firstColumn_ = firstColumn;
  lastColumn_ = lastColumn;
  lastRow_ = lastRow;
  SetColumnCount(lastColumn - firstColumn + 1);
}

void TXLSAutofilter::SetDropDown(std::int32_t row, std::int32_t column, TMSOShapeComboBox* shape) {
  if (!IsActive()) {
    headerRow_ = row + 1;
    firstColumn_ = column + 1;
  }
  const std::int32_t i = column + 1 - firstColumn_;
  if (row + 1 == headerRow_ && i >= columnCount_ && IsActive()) furtherDropDowns_.emplace_back(column, shape);
  if (row + 1 != headerRow_ || i < 0 || i >= columnCount_) return;
  TXLSAutofilterItem& item = *items_[static_cast<std::size_t>(i)];
  if (item.dropDown && item.dropDown != shape && dropDowns_.remove) dropDowns_.remove(item.dropDown);
  item.dropDown = shape;
}

namespace {
// Whether the band's side a1..a2 (-1 open) covers b1..b2.
bool Covers(std::int32_t a1, std::int32_t a2, std::int32_t b1, std::int32_t b2) {
  return (a1 < 0 || a1 <= b1) && (a2 < 0 || a2 >= b2);
}
}  // namespace

void TXLSAutofilter::AddMissingDropDowns() {
  if (!IsActive() || !dropDowns_.add) return;
  for (std::int32_t i = 0; i < columnCount_; ++i) {
    TXLSAutofilterItem& item = *items_[static_cast<std::size_t>(i)];
    if (!item.dropDown) item.dropDown = dropDowns_.add(headerRow_ - 1, firstColumn_ - 1 + i);
  }
}

void TXLSAutofilter::PlaceDropDowns() {
  if (!dropDowns_.place) return;
  for (std::int32_t i = 0; i < columnCount_; ++i)
    if (TMSOShapeComboBox* shape = items_[static_cast<std::size_t>(i)]->dropDown)
      dropDowns_.place(shape, headerRow_ - 1, firstColumn_ - 1 + i);
}

void TXLSAutofilter::ShiftCells(const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta) {
  if (!IsActive()) return;
  const std::int32_t header = headerRow_ - 1, c1 = firstColumn_ - 1, c2 = c1 + columnCount_ - 1;
  if (rowDelta != 0 && Covers(band.firstColumn, band.lastColumn, c1, c2)) {
    if (Covers(band.firstRow, band.lastRow, header, header)) {
      headerRow_ += rowDelta;
      if (lastRow_ >= 1) lastRow_ = std::min(lastRow_ + rowDelta, 65536);
      if (headerRow_ < 1 || headerRow_ > 65536) {
        ClearItems(true);
        return;
      }
      PlaceDropDowns();
    } else if (lastRow_ >= 1 && band.firstRow >= 0 && lastRow_ - 1 >= band.firstRow) {
      lastRow_ = std::clamp(lastRow_ + rowDelta, headerRow_, 65536);
    }
  }
  if (columnDelta > 0 && Covers(band.firstRow, band.lastRow, header, header) && band.firstColumn > c1 &&
      band.firstColumn <= c2) {
    InsertColumns(band.firstColumn - c1, columnDelta);
    return;
  }
  if (columnDelta != 0 && Covers(band.firstRow, band.lastRow, header, header) && band.firstColumn >= 0 &&
      c1 >= band.firstColumn) {
    firstColumn_ += columnDelta;
    lastColumn_ += columnDelta;
    if (firstColumn_ < 1 || firstColumn_ + columnCount_ - 1 > kSheetColumns) {
      ClearItems(true);
      return;
    }
    PlaceDropDowns();
  }
}

void TXLSAutofilter::DeleteRect(const TRuleBand& band) {
  if (!IsActive()) return;
  const std::int32_t header = headerRow_ - 1, c1 = firstColumn_ - 1, c2 = c1 + columnCount_ - 1;
  const bool headerRows = Covers(band.firstRow, band.lastRow, header, header);
  const bool headerColumns = (band.firstColumn < 0 || band.firstColumn <= c2) && (band.lastColumn < 0 || band.lastColumn >= c1);
  if (headerRows && headerColumns) {
    const std::int32_t last = lastRow_ >= 1 ? lastRow_ - 1 : 65535;
    const std::int32_t d1 = band.firstColumn < 0 ? c1 : std::max(c1, band.firstColumn);
    const std::int32_t d2 = band.lastColumn < 0 ? c2 : std::min(c2, band.lastColumn);
    if (!Covers(band.firstRow, band.lastRow, header, last) || (d1 == c1 && d2 == c2)) {
      ClearItems(true);
      return;
    }
    RemoveColumns(d1, d2, band.firstColumn);
    return;
  }
  // Rows deleted down from inside the body past its end: the filter ends above them.
  if (lastRow_ >= 1 && Covers(band.firstColumn, band.lastColumn, c1, c2) && band.firstRow > header &&
      band.firstRow <= lastRow_ - 1 && (band.lastRow < 0 || band.lastRow >= lastRow_ - 1))
    lastRow_ = band.firstRow;
}

void TXLSAutofilter::RemoveColumns(std::int32_t d1, std::int32_t d2, std::int32_t bandFirstColumn) {
  const std::int32_t c1 = firstColumn_ - 1;
  for (std::int32_t i = d2 - c1; i >= d1 - c1; --i) {
    auto it = items_.begin() + i;
    if ((*it)->dropDown && dropDowns_.remove) dropDowns_.remove((*it)->dropDown);
    items_.erase(it);
  }
  columnCount_ = static_cast<std::int32_t>(items_.size());
  // Columns deleted from in front of the filter on: its first column is where the band began.
  if (bandFirstColumn >= 0 && bandFirstColumn < c1) firstColumn_ = bandFirstColumn + 1;
  if (lastColumn_ >= 1) lastColumn_ = firstColumn_ + columnCount_ - 1;
  PlaceDropDowns();
}

void TXLSAutofilter::InsertColumns(std::int32_t index, std::int32_t count) {
  count = std::min(count, kSheetColumns - (firstColumn_ - 1) - columnCount_);
  for (std::int32_t i = 0; i < count; ++i) {
    auto item = std::make_unique<TXLSAutofilterItem>();
    if (dropDowns_.add) item->dropDown = dropDowns_.add(headerRow_ - 1, firstColumn_ - 1 + index + i);
    items_.insert(items_.begin() + index + i, std::move(item));
  }
  columnCount_ = static_cast<std::int32_t>(items_.size());
  if (lastColumn_ >= 1) lastColumn_ = firstColumn_ + columnCount_ - 1;
  PlaceDropDowns();
}

int TXLSAutofilter::ReadItem(const TXLSBlob& data, int version) {
  const std::uint32_t size = data.GetSize();
  if (size < kItemFixed) return -1;
  TXLSAutofilterItem* item = Item(data.GetWord(0));
  if (!item) return 1;
  const std::uint32_t options = data.GetWord(2);
  item->read = true;
  item->join = options & 3;
  item->top10Flags = (options >> 4) & 7;
  item->top10Count = static_cast<std::uint16_t>(options >> 7);
  item->condition1.emplace();
  item->condition1->Read(data, 4);
  item->condition2.emplace();
  item->condition2->Read(data, 14);
  std::uint32_t position = kItemFixed;
  for (TXLSAutofilterDOPER* c : {&*item->condition1, &*item->condition2}) {
    if (c->valueType != TXLSAutofilterDOPER::kString) continue;
    const std::uint32_t count = c->raw[4];
    bool wide = false;
    if (version != 0x0500) {
      if (position + 1 > size) return -1;
      wide = data.GetByte(position++) == 1;
    }
    const std::uint32_t bytes = wide ? 2 * count : count;
    if (position + bytes > size) return -1;
    c->value = Variant(wide ? data.GetRawWideString(position, bytes) : AnsiToWideCP(data.GetRawString(position, count)));
    position += bytes;
  }
  return 1;
}

void TXLSAutofilter::KeepRecord12(std::uint16_t id, std::vector<std::uint8_t> body) {
  if (body.size() > kMaxRuleRecord) return;  // more than one record holds: not kept
  if (id == kRecAutofilter12) {
    // The column's entry follows the 12-byte header of the record's kind.
    lastItem12_ = body.size() >= 14 ? Item(body[12] | body[13] << 8) : nullptr;
  }
  if (lastItem12_) lastItem12_->records12.emplace_back(id, std::move(body));
}

std::unique_ptr<TXLSBlob> TXLSAutofilter::WriteFilterMode() const {
  if (!IsActive()) return nullptr;
  if (filterModeAsRead_) return NewRuleRecord(kRecFilterMode, 0);
  for (const auto& item : items_)
    if (item->HasCriteria()) return NewRuleRecord(kRecFilterMode, 0);
  return nullptr;
}

std::unique_ptr<TXLSBlob> TXLSAutofilter::WriteAutofilterInfo() const {
  if (!IsActive()) return nullptr;
  auto b = NewRuleRecord(kRecAutofilterInfo, 2);
  b->AddWord(static_cast<std::uint32_t>(columnCount_));
  return b;
}

int TXLSAutofilter::WriteItems(const TRuleRecordSink& sink, std::int64_t& bytes, int format, int codePage) const {
  const bool biff5 = format == 1;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const TXLSAutofilterItem& item = *items_[i];
    if (!item.HasCriteria() && !item.read) continue;
    const TXLSAutofilterDOPER none;
    const TXLSAutofilterDOPER* c[2] = {item.condition1 ? &*item.condition1 : &none,
                                       item.condition2 ? &*item.condition2 : &none};
    std::string narrow[2];
    std::uint32_t length = kItemFixed;
    for (int k = 0; k < 2; ++k) {
      if (c[k]->valueType != TXLSAutofilterDOPER::kString) continue;
      const std::u16string text = c[k]->StringText();
      if (biff5) {
        narrow[k] = WideToAnsiCP(text, codePage).substr(0, kMaxStringChars);
        length += static_cast<std::uint32_t>(narrow[k].size());
      } else {
        length += 1 + 2 * static_cast<std::uint32_t>(text.size());
      }
    }
    std::uint32_t options = item.join & 3u;
    for (int k = 0; k < 2; ++k)
      if (c[k]->valueType != TXLSAutofilterDOPER::kNone && c[k]->comparison == 2) options |= 4u << k;
    if (!biff5 && item.top10Flags) options |= (item.top10Flags & 7u) << 4 | (item.top10Count & 0x1FFu) << 7;
    auto b = NewRuleRecord(kRecAutofilter, length);
    b->AddWord(static_cast<std::uint32_t>(i));
    b->AddWord(options);
    for (int k = 0; k < 2; ++k) c[k]->Write(*b, biff5 ? static_cast<std::int32_t>(narrow[k].size()) : -1);
    for (int k = 0; k < 2; ++k) {
      if (c[k]->valueType != TXLSAutofilterDOPER::kString) continue;
      if (biff5) {
        b->AddString(narrow[k]);
      } else {
        b->AddByte(1);
        b->AddWideString(c[k]->StringText());
      }
    }
    bytes += b->GetSize();
    if (int status = sink(std::move(b)); status != 1) return status;
    if (biff5) continue;
    for (const auto& [id, body] : item.records12) {
      auto r = NewRuleRecord(id, static_cast<std::uint32_t>(body.size()));
      for (std::size_t k = 0; k < body.size(); ++k)
        // The entry of an AUTOFILTER12 follows its column.
        r->AddByte(id == kRecAutofilter12 && (k == 12 || k == 13) ? static_cast<std::uint8_t>(k == 12 ? i & 0xFF : i >> 8)
                                                                  : body[k]);
      bytes += r->GetSize();
      if (int status = sink(std::move(r)); status != 1) return status;
    }
  }
  return 1;
}

int TXLSAutofilter::WriteRecords(const TRuleRecordSink& sink, std::int64_t& bytes, int format, int codePage) const {
  if (!IsActive()) return 1;
  std::unique_ptr<TXLSBlob> records[2] = {WriteFilterMode(), WriteAutofilterInfo()};
  for (auto& record : records) {
    if (!record) continue;
    bytes += record->GetSize();
    if (int status = sink(std::move(record)); status != 1) return status;
  }
  return WriteItems(sink, bytes, format, codePage);
}

}  // namespace xls
