#include "xls/model/row_col_info.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "xls/model/cell_address.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

bool ColumnInside(std::int32_t c) { return c >= 0 && c <= 255; }
bool RowInside(std::int32_t r) { return r >= 0 && r <= 65535; }

double ClampChars(double characters) {
  if (!(characters > 0)) return 0;  // negative and NaN alike
  return characters > 255 ? 255 : characters;
}

double ClampPoints(double points) {
  if (!(points > 0)) return 0;
  return points > TXLSRowInfoList::kMaxRowHeight ? TXLSRowInfoList::kMaxRowHeight : points;
}

std::unique_ptr<TXLSBlob> Record(std::uint16_t id, std::uint16_t length) {
  auto b = std::make_unique<TXLSBlob>(4u + length);
  b->AddWord(id);
  b->AddWord(length);
  return b;
}

// Entries sit in a fixed array; after removing one at index i, first/last move to the
// nearest remaining entries.
template <typename Has>
void Narrow(std::int32_t i, std::int32_t& first, std::int32_t& last, std::int32_t& count, Has has) {
  --count;
  if (count <= 0) {
    first = last = count = 0;
    return;
  }
  if (i == first) {
    while (first < last && !has(first)) ++first;
  }
  if (i == last) {
    while (last > first && !has(last)) --last;
  }
  if (first > last) first = last = count = 0;
}

}  // namespace

// ----- columns -----------------------------------------------------------------------------

TXLSColumnInfoList::TXLSColumnInfoList(TXLSXFList* xfList) : xfList_(xfList) {}
TXLSColumnInfoList::~TXLSColumnInfoList() = default;

TXLSColumnInfo* TXLSColumnInfoList::GetEntry(std::int32_t c) const {
  if (!ColumnInside(c) || !present_[static_cast<std::size_t>(c)]) return nullptr;
  return const_cast<TXLSColumnInfo*>(&entries_[static_cast<std::size_t>(c)]);
}

void TXLSColumnInfoList::Track(std::int32_t c) {
  if (count_ == 0 || c < first_) first_ = c;
  if (count_ == 0 || c > last_) last_ = c;
  ++count_;
}

TXLSColumnInfo* TXLSColumnInfoList::GetOrCreate(std::int32_t c) {
  if (!ColumnInside(c)) return nullptr;
  auto& slot = entries_[static_cast<std::size_t>(c)];
  if (!present_[static_cast<std::size_t>(c)]) {
    present_.set(static_cast<std::size_t>(c));
    slot = TXLSColumnInfo();
    slot.width = default_.width;
    Track(c);
  }
  return &slot;
}

void TXLSColumnInfoList::SetColumnInfo(std::int32_t c, std::uint16_t width, std::int32_t level,
                                       std::int32_t xf, bool hidden, bool collapsed, bool bestFit) {
  TXLSColumnInfo* e = GetOrCreate(c);
  if (!e) return;
  e->width = width;
  e->hidden = hidden ? 1 : 0;
  e->collapsed = collapsed ? 1 : 0;
  e->bestFit = bestFit ? 1 : 0;
  if (level >= 1 && level <= 8) e->outlineLevel = static_cast<std::uint8_t>(level - 1);
  SetColumnXF(c, xf);
}

double TXLSColumnInfoList::GetColumnWidth(std::int32_t c) const {
  const TXLSColumnInfo* e = GetEntry(c);
  return ColWidthToChars(e ? e->width : default_.width);
}

void TXLSColumnInfoList::SetColumnWidth(std::int32_t c, double characters) {
  TXLSColumnInfo* e = GetOrCreate(c);
  if (!e) return;
  e->width = CharsToColWidth(ClampChars(characters));
  e->bestFit = 0;
}

void TXLSColumnInfoList::SetStandardWidth(double characters) {
  default_.width = CharsToColWidth(ClampChars(characters));
}

double TXLSColumnInfoList::GetStandardWidth() const { return ColWidthToChars(default_.width); }

std::int32_t TXLSColumnInfoList::GetColumnXF(std::int32_t c) const {
  const TXLSColumnInfo* e = GetEntry(c);
  return e ? e->xf : default_.xf;
}

void TXLSColumnInfoList::SetColumnXF(std::int32_t c, std::int32_t xf) {
  TXLSColumnInfo* e = GetOrCreate(c);
  if (!e) return;
  if (xfList_) xfList_->MoveUse(e->xf, xf);
  e->xf = xf;
}

bool TXLSColumnInfoList::IsHidden(std::int32_t c) const {
  if (!ColumnInside(c)) return false;
  const TXLSColumnInfo* e = GetEntry(c);
  return (e ? e->hidden : default_.hidden) != 0;
}

void TXLSColumnInfoList::SetHidden(std::int32_t c, bool hidden) {
  TXLSColumnInfo* e = GetOrCreate(c);
  if (e) e->hidden = hidden ? 1 : 0;
}

std::int32_t TXLSColumnInfoList::GetFirstVisibleColumn() const {
  std::int32_t c = 0;
  while (c <= 255 && IsHidden(c)) ++c;
  return c;
}

std::int32_t TXLSColumnInfoList::GetOutlineLevel(std::int32_t c) const {
  const TXLSColumnInfo* e = GetEntry(c);
  return e ? e->outlineLevel + 1 : 1;
}

void TXLSColumnInfoList::SetOutlineLevel(std::int32_t c, std::int32_t level) {
  if (!ColumnInside(c) || level < 1 || level > 8) return;
  TXLSColumnInfo* e = GetEntry(c);
  if (!e) {
    if (level == 1) return;
    e = GetOrCreate(c);
  }
  e->outlineLevel = static_cast<std::uint8_t>(level - 1);
}

bool TXLSColumnInfoList::IsCollapsed(std::int32_t c) const {
  const TXLSColumnInfo* e = GetEntry(c);
  return e && e->collapsed;
}

void TXLSColumnInfoList::CopyColumnInfo(std::int32_t c, const TXLSColumnInfo* source) {
  if (!ColumnInside(c)) return;
  const TXLSColumnInfo& s = source ? *source : default_;
  TXLSColumnInfo* e = source ? GetOrCreate(c) : GetEntry(c);
  if (!e) return;
  if (xfList_) xfList_->MoveUse(e->xf, s.xf);
  e->xf = s.xf;
  e->width = s.width;
  e->hidden = s.hidden;
  e->outlineLevel = s.outlineLevel;
  e->collapsed = s.collapsed;
  e->bestFit = s.bestFit;
}

void TXLSColumnInfoList::DeleteColumnInfo(std::int32_t c) {
  TXLSColumnInfo* e = GetEntry(c);
  if (!e) return;
  if (xfList_) xfList_->MoveUse(e->xf, default_.xf);
  present_.reset(static_cast<std::size_t>(c));
  Narrow(c, first_, last_, count_, [this](std::int32_t i) { return GetEntry(i) != nullptr; });
}

std::unique_ptr<TXLSBlob> TXLSColumnInfoList::BuildStandardWidth() const {
  if (default_.width == kDefaultWidth) return nullptr;
  auto b = Record(0x0099, 2);
  b->AddWord(default_.width);
  return b;
}

void TXLSColumnInfoList::WriteColInfos(TXLSBlobList& out) {
  maxLevel_ = 0;
  auto def = Record(0x0055, 2);
  def->AddWord(8);
  out.Append(def.release());
  std::int32_t c = 0;
  while (c <= 255) {
    const TXLSColumnInfo* e = GetEntry(c);
    if (!e) {
      ++c;
      continue;
    }
    std::int32_t end = c;
    while (end < 255) {
      const TXLSColumnInfo* n = GetEntry(end + 1);
      if (!n || n->width != e->width || n->xf != e->xf || n->outlineLevel != e->outlineLevel ||
          n->hidden != e->hidden || n->collapsed != e->collapsed || n->bestFit != e->bestFit) {
        break;
      }
      ++end;
    }
    auto b = Record(0x007D, 12);
    b->AddWord(static_cast<std::uint32_t>(c));
    b->AddWord(static_cast<std::uint32_t>(end == 255 && end > c ? 256 : end));
    b->AddWord(e->width);
    b->AddWord(e->xf <= 0 || !xfList_ ? 0u : static_cast<std::uint32_t>(xfList_->GetOutputIndex(e->xf) - 1));
    b->AddWord(static_cast<std::uint32_t>((e->outlineLevel & 7) << 8) | e->hidden | 0x0002u |
               (e->bestFit ? 0x0004u : 0u) | (e->collapsed ? 0x1000u : 0u));
    b->AddWord(2);
    out.Append(b.release());
    if (e->outlineLevel > maxLevel_) maxLevel_ = e->outlineLevel;
    c = end + 1;
  }
}

// ----- rows --------------------------------------------------------------------------------

TXLSRowInfoList::TXLSRowInfoList(TXLSXFList* xfList) : xfList_(xfList) {
  default_.xf = 0;
  SetDefaultRowHeight(12.75);
}

TXLSRowInfoList::~TXLSRowInfoList() = default;

TXLSRowInfo* TXLSRowInfoList::Find(std::int32_t r) const {
  if (!RowInside(r)) return nullptr;
  const auto& page = pages_[static_cast<std::size_t>(r >> 8)];
  const std::size_t i = static_cast<std::size_t>(r & 255);
  return page && page->Has(i) ? &page->rows[i] : nullptr;
}

TXLSRowInfo* TXLSRowInfoList::GetOrCreate(std::int32_t r) {
  if (!RowInside(r)) return nullptr;
  auto& page = pages_[static_cast<std::size_t>(r >> 8)];
  if (!page) page = std::make_unique<Page>();
  const std::size_t i = static_cast<std::size_t>(r & 255);
  TXLSRowInfo& slot = page->rows[i];
  if (!page->Has(i)) {
    page->Mark(i, true);
    slot = TXLSRowInfo();
    slot.height = default_.height;
    slot.xf = 0;
    if (count_ == 0 || r < first_) first_ = r;
    if (count_ == 0 || r > last_) last_ = r;
    ++count_;
  }
  return &slot;
}

void TXLSRowInfoList::SetRowInfo(std::int32_t r, std::uint16_t height, bool customHeight,
                                 std::int32_t level, bool hidden, bool hasStyle, std::int32_t xf,
                                 bool unsynced, bool collapsed) {
  TXLSRowInfo* e = GetOrCreate(r);
  if (!e) return;
  e->collapsed = collapsed ? 1 : 0;
  e->height = height > 8190 ? 8190 : height;
  e->customHeight = customHeight ? 1 : 0;
  if (level >= 1 && level <= 8) e->outlineLevel = static_cast<std::uint8_t>(level - 1);
  e->hidden = hidden ? 1 : 0;
  e->unsynced = unsynced ? 1 : 0;
  std::int32_t newXF = 0;
  bool style = false;
  if (xf != 4095 && hasStyle) {
    newXF = xf;
    style = true;
  }
  if (xfList_) xfList_->MoveUse(e->xf, newXF);
  e->xf = newXF;
  e->hasStyle = style ? 1 : 0;
}

double TXLSRowInfoList::GetRowHeight(std::int32_t r) const {
  const TXLSRowInfo* e = Find(r);
  if (!e) return TwipsToPoints(default_.height);
  return e->hidden ? 0.0 : TwipsToPoints(e->height);
}

void TXLSRowInfoList::SetRowHeight(std::int32_t r, double points) {
  TXLSRowInfo* e = GetOrCreate(r);
  if (!e) return;
  e->hidden = 0;
  e->height = static_cast<std::uint16_t>(PointsToTwips(ClampPoints(points)));
  e->customHeight = 1;
  e->unsynced = 1;
}

std::uint16_t DefaultRowTwipsOfFont(const std::u16string& name, double points) {
  // Ascent and descent of the font's line in units of its 2048-unit em (those of the fonts the
  // format's program starts books with; any other font is taken as Arial).
  struct Line {
    const char16_t* name;
    int ascent, descent;
  };
  static constexpr Line kLines[] = {{u"Arial", 1854, 434}, {u"Calibri", 1950, 550},
                                    {u"Times New Roman", 1825, 443}, {u"Courier New", 1705, 615}};
  const Line* line = &kLines[0];
  for (const Line& l : kLines)
    if (name == l.name) line = &l;
  if (!(points > 0) || points > 409) return 255;
  const double pixels = std::ceil(points * 96 / 72 * (line->ascent + line->descent) / 2048 - 1e-9) + 2;
  return static_cast<std::uint16_t>(std::min(pixels * 15, 8190.0));
}

void TXLSRowInfoList::SetDefaultRowHeight(double points) {
  default_.height = static_cast<std::uint16_t>(PointsToTwips(ClampPoints(points)));
  default_.customHeight = 1;
  default_.unsynced = 1;
}

void TXLSRowInfoList::SetDefaultRowAsRead(std::uint16_t options, std::uint16_t twips) {
  default_.height = std::min<std::uint16_t>(twips, 8190);
  default_.customHeight = 1;
  default_.unsynced = 1;
  defaultOptions_ = options;
}

double TXLSRowInfoList::GetDefaultRowHeight() const { return TwipsToPoints(default_.height); }

std::int32_t TXLSRowInfoList::GetRowXF(std::int32_t r) const {
  const TXLSRowInfo* e = Find(r);
  return e && e->hasStyle ? e->xf : 0;
}

void TXLSRowInfoList::SetRowXF(std::int32_t r, std::int32_t xf) {
  TXLSRowInfo* e = GetOrCreate(r);
  if (!e) return;
  if (xfList_) xfList_->MoveUse(e->xf, xf);
  e->xf = xf;
  e->hasStyle = 1;
}

bool TXLSRowInfoList::IsHidden(std::int32_t r) const {
  const TXLSRowInfo* e = Find(r);
  return e ? e->hidden != 0 : false;
}

void TXLSRowInfoList::SetHidden(std::int32_t r, bool hidden) {
  TXLSRowInfo* e = GetOrCreate(r);
  if (e) e->hidden = hidden ? 1 : 0;
}

std::int32_t TXLSRowInfoList::GetFirstVisibleRow() const {
  std::int32_t r = 0;
  while (r <= 65535 && IsHidden(r)) ++r;
  return r;
}

bool TXLSRowInfoList::HasCustomHeight(std::int32_t r) const {
  const TXLSRowInfo* e = Find(r);
  return e && e->customHeight;
}

std::int32_t TXLSRowInfoList::GetOutlineLevel(std::int32_t r) const {
  const TXLSRowInfo* e = Find(r);
  return e ? e->outlineLevel + 1 : 1;
}

void TXLSRowInfoList::SetOutlineLevel(std::int32_t r, std::int32_t level) {
  if (!RowInside(r) || level < 1 || level > 8) return;
  TXLSRowInfo* e = Find(r);
  if (!e) {
    if (level == 1) return;
    e = GetOrCreate(r);
  }
  e->outlineLevel = static_cast<std::uint8_t>(level - 1);
}

bool TXLSRowInfoList::IsCollapsed(std::int32_t r) const {
  const TXLSRowInfo* e = Find(r);
  return e && e->collapsed;
}

void TXLSRowInfoList::CopyRowInfo(std::int32_t r, const TXLSRowInfo* source) {
  if (!RowInside(r)) return;
  TXLSRowInfo* e = Find(r);
  if (!source) {
    if (!e) return;
    if (e->firstUsedColumn < 0) {
      DeleteRow(r);
      return;
    }
  } else if (!e) {
    e = GetOrCreate(r);
  }
  const TXLSRowInfo& s = source ? *source : default_;
  if (xfList_) xfList_->MoveUse(e->xf, s.xf);
  e->xf = s.xf;
  e->hasStyle = s.hasStyle;
  e->hidden = s.hidden;
  e->height = s.height;
  e->customHeight = s.customHeight;
  // A set height is written as such only with this flag: it travels with a copied height.
  if (source) e->unsynced = source->unsynced;
  e->outlineLevel = s.outlineLevel;
  e->collapsed = s.collapsed;
}

bool TXLSRowInfoList::IsDefaultRow(const TXLSRowInfo& e) const {
  if (e.height != default_.height || e.xf != default_.xf || e.hasStyle != default_.hasStyle ||
      e.hidden != default_.hidden || e.outlineLevel != default_.outlineLevel || e.collapsed != default_.collapsed) {
    return false;
  }
  // A row that never had its height set says nothing about it; one whose height was set to
  // the default height says the same as the default row.
  if (!e.customHeight) return !e.unsynced;
  return e.customHeight == default_.customHeight && e.unsynced == default_.unsynced;
}

void TXLSRowInfoList::DeleteRow(std::int32_t r) {
  TXLSRowInfo* e = Find(r);
  if (!e) return;
  if (xfList_) xfList_->MoveUse(e->xf, 0);
  pages_[static_cast<std::size_t>(r >> 8)]->Mark(static_cast<std::size_t>(r & 255), false);
  Narrow(r, first_, last_, count_, [this](std::int32_t i) { return Find(i) != nullptr; });
}

std::unique_ptr<TXLSBlob> TXLSRowInfoList::BuildDefaultRowHeight() const {
  auto b = Record(0x0225, 4);
  b->AddWord(defaultOptions_);
  b->AddWord(default_.customHeight ? default_.height : 255u);
  return b;
}

std::unique_ptr<TXLSBlob> TXLSRowInfoList::BuildRowRecord(std::int32_t r) {
  const TXLSRowInfo* e = Find(r);
  if (!e) return nullptr;
  auto b = Record(0x0208, 16);
  b->AddWord(static_cast<std::uint32_t>(r));
  b->AddWord(e->firstUsedColumn < 0 ? 0u : static_cast<std::uint32_t>(e->firstUsedColumn));
  b->AddWord(e->lastUsedColumn < 0 ? 0u : static_cast<std::uint32_t>(e->lastUsedColumn + 1));
  // A row of no height set has the one it was made with (the default row's) or read with.
  b->AddWord(e->height);
  b->AddWord(0);
  b->AddWord(0);
  std::uint32_t options = 0x0100;
  if (e->hasStyle) options |= 0x0080;
  if (e->hidden) options |= 0x0020;
  if (e->customHeight && !e->hidden && e->unsynced) options |= 0x0040;
  options |= e->outlineLevel & 7u;
  // The bit marks a collapsed group (other programs open it closed), not a change of level.
  if (e->collapsed) options |= 0x0010;
  b->AddWord(options);
  std::uint32_t xf = 15;
  if (e->hasStyle) {
    xf = e->xf <= 0 || !xfList_ ? 0u : static_cast<std::uint32_t>(xfList_->GetOutputIndex(e->xf) - 1);
  }
  b->AddWord(xf);
  if (e->outlineLevel > maxLevel_) maxLevel_ = e->outlineLevel;
  return b;
}

void TXLSRowInfoList::WriteRows(TXLSBlobList& out, std::int32_t from, std::int32_t to) {
  if (count_ == 0) return;
  std::int32_t a = from > first_ ? from : first_;
  std::int32_t z = to < last_ ? to : last_;
  for (std::int32_t r = NextRow(a, z); r >= 0; r = NextRow(r + 1, z)) {
    if (auto b = BuildRowRecord(r)) out.Append(b.release());
  }
}

std::int32_t TXLSRowInfoList::NextRow(std::int32_t r, std::int32_t limit) const {
  if (limit > last_) limit = last_;
  if (count_ == 0) return -1;
  if (r < first_) r = first_;
  while (r <= limit) {
    if (const auto& page = pages_[static_cast<std::size_t>(r >> 8)]) {
      const std::size_t i = static_cast<std::size_t>(r & 255);
      for (std::size_t w = i >> 6; w < 4; ++w) {
        std::uint64_t bits = page->present[w];
        if (w == (i >> 6)) bits &= ~std::uint64_t{0} << (i & 63);
        if (!bits) continue;
        const std::int32_t found = (r & ~255) + static_cast<std::int32_t>(w * 64 + std::countr_zero(bits));
        return found <= limit ? found : -1;
      }
    }
    r = (r | 255) + 1;
  }
  return -1;
}

}  // namespace xls
