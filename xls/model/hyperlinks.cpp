#include "xls/model/hyperlinks.h"

#include <algorithm>
#include <cstring>

#include "platform/little_endian.h"
#include "xls/model/blob.h"
#include "xls/model/format_objects.h"
#include "xls/model/worksheet.h"
#include "xls/model/xls_constants.h"

namespace xls {

namespace {

constexpr std::uint16_t kRecHLink = 0x01B8;
constexpr std::uint16_t kRecHLinkTooltip = 0x0800;
constexpr std::uint8_t kStdLink[16] = {0xD0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                                       0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
constexpr std::uint8_t kUrlMoniker[16] = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                                          0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
constexpr std::uint8_t kFileMoniker[16] = {0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kBlueRgb = 0xFF0000;  // 0x00BBGGRR

bool StartsWithLower(const std::u16string& lower, std::u16string_view prefix) {
  return lower.size() >= prefix.size() && lower.compare(0, prefix.size(), prefix) == 0;
}

void AddBytes(TXLSBlob& b, const std::uint8_t* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) b.AddByte(bytes[i]);
}

// u32 character count + 1, the characters, u16 0.
void AddCountedText(TXLSBlob& b, const std::u16string& text) {
  b.AddDWord(static_cast<std::uint32_t>(text.size()) + 1);
  b.AddWideString(text);
  b.AddWord(0);
}

std::uint32_t CountedTextSize(const std::u16string& text) { return 4 + 2 * static_cast<std::uint32_t>(text.size()) + 2; }

// A bounded reader over one record: every read checks the bytes left and fails once.
struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  bool ok = true;

  bool Need(std::size_t n) {
    if (!ok || n > size - pos) ok = false;
    return ok;
  }
  std::uint16_t Word() {
    if (!Need(2)) return 0;
    std::uint16_t v = platform::LoadLE16(data + pos);
    pos += 2;
    return v;
  }
  std::uint32_t DWord() {
    if (!Need(4)) return 0;
    std::uint32_t v = platform::LoadLE32(data + pos);
    pos += 4;
    return v;
  }
  void Skip(std::size_t n) {
    if (Need(n)) pos += n;
  }
  std::u16string Wide(std::size_t chars) {
    if (chars > (size - pos) / 2 || !Need(2 * chars)) {
      ok = false;
      return {};
    }
    std::u16string s;
    for (std::size_t i = 0; i < chars; ++i) s += static_cast<char16_t>(platform::LoadLE16(data + pos + 2 * i));
    pos += 2 * chars;
    return s;
  }
  // u32 count including the terminator, then the characters and the terminator.
  std::u16string CountedText() {
    std::uint32_t n = DWord();
    if (!ok || n == 0) {
      ok = false;
      return {};
    }
    std::u16string s = Wide(n - 1);
    Skip(2);
    return s;
  }
  std::string Narrow(std::size_t n) {
    if (!Need(n)) return {};
    std::string s(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
    return s;
  }
};

}  // namespace

// ---- One link --------------------------------------------------------------------------------

std::uint8_t TXLSCustomHyperlink::DetectKind(const std::u16string& address) {
  std::u16string lower = address;
  for (char16_t& c : lower)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  for (std::u16string_view p : {u"http://", u"https://", u"mailto:", u"www.", u"ftp."})
    if (StartsWithLower(lower, p)) return kLinkUrl;
  if (StartsWithLower(lower, u"\\\\")) return kLinkUnc;
  if (lower.find(u'/') != std::u16string::npos) return kLinkUrl;
  return lower.empty() ? kLinkPlace : kLinkFile;
}

std::unique_ptr<TXLSBlob> TXLSCustomHyperlink::BuildHLINK() const {
  std::uint32_t flags = 0;
  std::uint32_t size = 36 - 4;  // range, class id, version and flags
  if (!textToDisplay.empty()) flags |= 0x14, size += CountedTextSize(textToDisplay);
  if (!targetFrame.empty()) flags |= 0x80, size += CountedTextSize(targetFrame);
  const std::uint32_t n = static_cast<std::uint32_t>(address.size());
  switch (kind) {
    case kLinkUrl:
    case kLinkFile:
      flags |= 1;
      if (address.compare(0, 2, u"..") != 0) flags |= 2;
      size += kind == kLinkUrl ? 16 + 4 + 2 * (n + 1) : 16 + 2 + 4 + 24 + 4 + 4 + 2 + 2 * n;
      break;
    case kLinkUnc:
      flags |= 0x103;
      size += CountedTextSize(address);
      break;
    default:
      break;
  }
  if (!subAddress.empty()) flags |= 8, size += CountedTextSize(subAddress);

  auto b = std::make_unique<TXLSBlob>(4 + size);
  b->AddWord(kRecHLink);
  b->AddWord(size);
  b->AddWord(static_cast<std::uint32_t>(firstRow));
  b->AddWord(static_cast<std::uint32_t>(lastRow));
  b->AddWord(static_cast<std::uint32_t>(firstColumn));
  b->AddWord(static_cast<std::uint32_t>(lastColumn));
  AddBytes(*b, kStdLink, 16);
  b->AddDWord(2);
  b->AddDWord(flags);
  if (flags & 0x14) AddCountedText(*b, textToDisplay);
  if (flags & 0x80) AddCountedText(*b, targetFrame);
  if (kind == kLinkUrl) {
    AddBytes(*b, kUrlMoniker, 16);
    b->AddDWord(2 * (n + 1));
    b->AddWideString(address);
    b->AddWord(0);
  } else if (kind == kLinkFile) {
    AddBytes(*b, kFileMoniker, 16);
    b->AddWord(0);   // no up-level
    b->AddDWord(0);  // no short (8.3) form of the path on this platform
    b->AddByte(0xFF);
    b->AddByte(0xFF);
    b->AddByte(0xAD);
    b->AddByte(0xDE);
    for (int i = 0; i < 20; ++i) b->AddByte(0);
    b->AddDWord(2 * n + 6);
    b->AddDWord(2 * n);
    b->AddWord(3);
    b->AddWideString(address);
  } else if (kind == kLinkUnc) {
    AddCountedText(*b, address);
  }
  if (flags & 8) AddCountedText(*b, subAddress);
  return b;
}

std::unique_ptr<TXLSBlob> TXLSCustomHyperlink::BuildTooltip() const {
  if (screenTip.empty()) return nullptr;
  const std::uint32_t size = 10 + 2 * static_cast<std::uint32_t>(screenTip.size()) + 2;
  auto b = std::make_unique<TXLSBlob>(4 + size);
  b->AddWord(kRecHLinkTooltip);
  b->AddWord(size);
  b->AddWord(kRecHLinkTooltip);
  b->AddWord(static_cast<std::uint32_t>(firstRow));
  b->AddWord(static_cast<std::uint32_t>(lastRow));
  b->AddWord(static_cast<std::uint32_t>(firstColumn));
  b->AddWord(static_cast<std::uint32_t>(lastColumn));
  b->AddWideString(screenTip);
  b->AddWord(0);
  return b;
}

// ---- The store -------------------------------------------------------------------------------

TXLSCustomHyperlink* TXLSCustomHyperlinks::GetItem(std::int32_t i) const {
  if (i < 1 || i > Count()) return nullptr;
  return links_[static_cast<std::size_t>(i - 1)].get();
}

TXLSCustomHyperlink* TXLSCustomHyperlinks::NewHyperlink() {
  auto link = std::make_unique<TXLSCustomHyperlink>();
  link->owner_ = this;
  link->index_ = Count() + 1;
  links_.push_back(std::move(link));
  return links_.back().get();
}

void TXLSCustomHyperlinks::StyleCells(const TXLSCustomHyperlink& link, bool asLink) {
  IXLSRange cells = sheet_->GetRangeRC(link.firstRow + 1, link.firstColumn + 1, link.lastRow + 1, link.lastColumn + 1);
  IXLSFont font = cells->GetFont();
  font->SetName(u"Arial");
  font->SetSize(10);
  font->SetBold(false);
  font->SetItalic(false);
  font->SetUnderline(asLink ? kUnderlineSingle : kXlNone);
  font->SetColor(asLink ? kBlueRgb : 0);
}

void TXLSCustomHyperlinks::WriteText(const TXLSCustomHyperlink& link) {
  sheet_->GetRangeRC(link.firstRow + 1, link.firstColumn + 1, link.firstRow + 1, link.firstColumn + 1)
      ->SetValue(Variant(u"'" + link.textToDisplay));
}

TXLSCustomHyperlink* TXLSCustomHyperlinks::Add(const IXLSRange& anchor, const std::u16string& address,
                                               const std::u16string& subAddress, const std::u16string& screenTip,
                                               const std::u16string& textToDisplay) {
  if (!anchor || anchor->GetWorksheet() != sheet_) return nullptr;
  TXLSCustomHyperlink* link = NewHyperlink();
  link->firstRow = std::min(anchor->GetFirstRow(), anchor->GetLastRow());
  link->lastRow = std::max(anchor->GetFirstRow(), anchor->GetLastRow());
  link->firstColumn = std::min(anchor->GetFirstCol(), anchor->GetLastCol());
  link->lastColumn = std::max(anchor->GetFirstCol(), anchor->GetLastCol());
  StyleCells(*link, true);
  link->address = address;
  link->kind = TXLSCustomHyperlink::DetectKind(address);
  link->subAddress = subAddress;
  std::u16string text = textToDisplay.empty() ? address : textToDisplay;
  if (textToDisplay.empty() && !subAddress.empty()) text = address.empty() ? subAddress : address + u"#" + subAddress;
  link->textToDisplay = text;
  WriteText(*link);
  link->screenTip = screenTip;
  return link;
}

void TXLSCustomHyperlinks::Delete(std::int32_t i) {
  if (i < 1 || i > Count()) return;
  StyleCells(*links_[static_cast<std::size_t>(i - 1)], false);
  links_.erase(links_.begin() + (i - 1));
  for (std::int32_t k = i; k <= Count(); ++k) links_[static_cast<std::size_t>(k - 1)]->index_ = k;
}

void TXLSCustomHyperlinks::Clear() {
  for (std::int32_t i = Count(); i >= 1; --i) Delete(i);
}

void TXLSCustomHyperlinks::DeleteInRange(const IXLSRange& range) {
  if (!range || range->GetWorksheet() != sheet_) return;
  for (std::int32_t i = Count(); i >= 1; --i)
    if (GetItem(i)->Intersects(range->GetFirstRow(), range->GetFirstCol(), range->GetLastRow(), range->GetLastCol()))
      Delete(i);
}

std::int32_t TXLSCustomHyperlinks::CountInRange(const IXLSRange& range) const {
  if (!range || range->GetWorksheet() != sheet_) return 0;
  return static_cast<std::int32_t>(std::count_if(links_.begin(), links_.end(), [&](const auto& l) {
    return l->Intersects(range->GetFirstRow(), range->GetFirstCol(), range->GetLastRow(), range->GetLastCol());
  }));
}

TXLSCustomHyperlink* TXLSCustomHyperlinks::ItemInRange(const IXLSRange& range, std::int32_t i) const {
  if (!range || range->GetWorksheet() != sheet_ || i < 1) return nullptr;
  for (const auto& l : links_)
    if (l->Intersects(range->GetFirstRow(), range->GetFirstCol(), range->GetLastRow(), range->GetLastCol()) && --i == 0)
      return l.get();
  return nullptr;
}

void TXLSCustomHyperlinks::Pack() {
  links_.erase(std::remove(links_.begin(), links_.end(), nullptr), links_.end());
  for (std::size_t k = 0; k < links_.size(); ++k) links_[k]->index_ = static_cast<std::int32_t>(k + 1);
}

void TXLSCustomHyperlinks::DeleteArea(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2) {
  for (auto& l : links_)
    if (l->Intersects(r1, c1, r2, c2)) l.reset();
  Pack();
}

void TXLSCustomHyperlinks::MoveAreas(
    const std::function<bool(std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&)>& move) {
  for (auto& l : links_)
    if (!move(l->firstRow, l->firstColumn, l->lastRow, l->lastColumn)) l.reset();
  Pack();
}

std::vector<TXLSCustomHyperlink> TXLSCustomHyperlinks::LinksInside(std::int32_t r1, std::int32_t c1, std::int32_t r2,
                                                                   std::int32_t c2) const {
  std::vector<TXLSCustomHyperlink> out;
  for (const auto& l : links_)
    if (l->Inside(r1, c1, r2, c2)) out.push_back(*l);
  return out;
}

void TXLSCustomHyperlinks::RemoveInside(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2) {
  for (auto& l : links_)
    if (l->Inside(r1, c1, r2, c2)) l.reset();
  Pack();
}

TXLSCustomHyperlink* TXLSCustomHyperlinks::AddMoved(const TXLSCustomHyperlink& link, std::int32_t rows,
                                                    std::int32_t columns) {
  if (link.firstRow + rows < 0 || link.lastRow + rows > kMaxRow || link.firstColumn + columns < 0 ||
      link.lastColumn + columns > kMaxCol)
    return nullptr;
  TXLSCustomHyperlink* added = NewHyperlink();
  const std::int32_t index = added->index_;
  *added = link;
  added->owner_ = this;
  added->index_ = index;
  added->firstRow += rows;
  added->lastRow += rows;
  added->firstColumn += columns;
  added->lastColumn += columns;
  return added;
}

std::int32_t TXLSCustomHyperlinks::LoadHLINK(const std::uint8_t* data, std::size_t size) {
  Reader r{data, size};
  TXLSCustomHyperlink link;
  link.firstRow = r.Word();
  link.lastRow = r.Word();
  link.firstColumn = r.Word();
  link.lastColumn = r.Word();
  r.Skip(16 + 4);
  const std::uint32_t flags = r.DWord();
  if ((flags & 0x14) == 0x14) link.textToDisplay = r.CountedText();
  if (flags & 0x80) link.targetFrame = r.CountedText();
  link.kind = kLinkPlace;
  if (flags & 0x100) {
    link.kind = kLinkUnc;
    link.address = r.CountedText();
  } else if (flags & 1) {
    if (r.Need(16)) {
      const std::uint8_t* id = data + r.pos;
      r.Skip(16);
      if (std::memcmp(id, kUrlMoniker, 4) == 0) {
        link.kind = kLinkUrl;
        const std::uint32_t bytes = r.DWord();
        if (r.ok && bytes >= 2) {
          link.address = r.Wide(bytes / 2 - 1);
          r.Skip(2);
        } else {
          r.ok = false;
        }
      } else if (std::memcmp(id, kFileMoniker, 4) == 0) {
        link.kind = kLinkFile;
        const std::uint16_t up = r.Word();
        const std::uint32_t length = r.DWord();
        std::string shortPath = r.Narrow(length);
        if (!shortPath.empty() && shortPath.back() == '\0') shortPath.pop_back();
        std::u16string path(shortPath.begin(), shortPath.end());
        r.Skip(24);
        const std::uint32_t extra = r.DWord();
        if (r.ok && extra > 0) {
          const std::uint32_t bytes = r.DWord();
          r.Skip(2);
          if (r.ok) path = r.Wide(bytes / 2);
        }
        if (r.ok && up > 1024) r.ok = false;
        std::u16string prefix;
        for (std::uint16_t k = 0; k < up && r.ok; ++k) prefix += u"..\\";
        link.address = prefix + path;
      } else {
        r.ok = false;  // a moniker this library does not know
      }
    }
  }
  if (flags & 8) link.subAddress = r.CountedText();
  if (!r.ok || link.firstRow > link.lastRow || link.firstColumn > link.lastColumn || link.lastColumn > kMaxCol)
    return -1;
  TXLSCustomHyperlink* added = NewHyperlink();
  const std::int32_t index = added->index_;
  *added = std::move(link);
  added->owner_ = this;
  added->index_ = index;
  return index;
}

std::int32_t TXLSCustomHyperlinks::LoadHLINKTooltip(const std::uint8_t* data, std::size_t size) {
  if (links_.empty() || size < 12) return -1;
  TXLSCustomHyperlink& last = *links_.back();
  if (!last.screenTip.empty()) return -1;
  Reader r{data, size};
  r.Skip(2);
  if (r.Word() != static_cast<std::uint32_t>(last.firstRow) || r.Word() != static_cast<std::uint32_t>(last.lastRow) ||
      r.Word() != static_cast<std::uint32_t>(last.firstColumn) ||
      r.Word() != static_cast<std::uint32_t>(last.lastColumn))
    return -1;
  std::u16string tip = r.Wide((size - 12) / 2);
  if (!r.ok) return -1;
  last.screenTip = tip;
  return 1;
}

// ---- Interface objects -----------------------------------------------------------------------

TXLSCustomHyperlink* TXLSHyperLink::Link() const {
  for (std::int32_t i = 1; i <= store_.Count(); ++i)
    if (store_.GetItem(i) == link_) return link_;
  return nullptr;
}

void TXLSHyperLink::Delete() {
  if (TXLSCustomHyperlink* l = Link()) store_.Delete(l->Index());
}
std::u16string TXLSHyperLink::GetAddress() const {
  TXLSCustomHyperlink* l = Link();
  return l ? l->address : std::u16string();
}
void TXLSHyperLink::SetAddress(const std::u16string& v) {
  if (TXLSCustomHyperlink* l = Link()) l->address = v, l->kind = TXLSCustomHyperlink::DetectKind(v);
}
std::u16string TXLSHyperLink::GetSubAddress() const {
  TXLSCustomHyperlink* l = Link();
  return l ? l->subAddress : std::u16string();
}
void TXLSHyperLink::SetSubAddress(const std::u16string& v) {
  if (TXLSCustomHyperlink* l = Link()) l->subAddress = v, l->kind = TXLSCustomHyperlink::DetectKind(l->address);
}
std::u16string TXLSHyperLink::GetScreenTip() const {
  TXLSCustomHyperlink* l = Link();
  return l ? l->screenTip : std::u16string();
}
void TXLSHyperLink::SetScreenTip(const std::u16string& v) {
  if (TXLSCustomHyperlink* l = Link()) l->screenTip = v;
}
std::u16string TXLSHyperLink::GetTextToDisplay() const {
  TXLSCustomHyperlink* l = Link();
  return l ? l->textToDisplay : std::u16string();
}
void TXLSHyperLink::SetTextToDisplay(const std::u16string& v) {
  if (TXLSCustomHyperlink* l = Link()) {
    l->textToDisplay = v;
    store_.WriteText(*l);
  }
}
std::uint8_t TXLSHyperLink::GetKind() const {
  TXLSCustomHyperlink* l = Link();
  return l ? l->kind : static_cast<std::uint8_t>(kLinkPlace);
}
IXLSRange TXLSHyperLink::GetRange() const {
  TXLSCustomHyperlink* l = Link();
  if (!l) return {};
  return store_.Sheet()->GetRangeRC(l->firstRow + 1, l->firstColumn + 1, l->lastRow + 1, l->lastColumn + 1);
}
void TXLSHyperLink::SetRange(const IXLSRange& range) {
  TXLSCustomHyperlink* l = Link();
  if (!l || !range || range->GetWorksheet() != store_.Sheet()) return;
  store_.StyleCells(*l, false);
  l->firstRow = std::min(range->GetFirstRow(), range->GetLastRow());
  l->lastRow = std::max(range->GetFirstRow(), range->GetLastRow());
  l->firstColumn = std::min(range->GetFirstCol(), range->GetLastCol());
  l->lastColumn = std::max(range->GetFirstCol(), range->GetLastCol());
  store_.StyleCells(*l, true);
}

std::int32_t TXLSHyperLinks::GetCount() const { return range_ ? store_.CountInRange(range_) : store_.Count(); }

IXLSHyperLink TXLSHyperLinks::GetItem(std::int32_t i) const {
  TXLSCustomHyperlink* l = range_ ? store_.ItemInRange(range_, i) : store_.GetItem(i);
  return l ? std::make_shared<TXLSHyperLink>(store_, *l) : nullptr;
}

void TXLSHyperLinks::Delete() {
  if (range_) store_.DeleteInRange(range_);
  else store_.Clear();
}

IXLSHyperLink TXLSHyperLinks::Add(const IXLSRange& anchor, const std::u16string& address,
                                  const std::u16string& subAddress, const std::u16string& screenTip,
                                  const std::u16string& textToDisplay) {
  TXLSCustomHyperlink* l = store_.Add(anchor, address, subAddress, screenTip, textToDisplay);
  return l ? std::make_shared<TXLSHyperLink>(store_, *l) : nullptr;
}

// ---- Owners ----------------------------------------------------------------------------------

TXLSCustomHyperlinks& IXLSWorksheet::Hyperlinks() {
  if (!hyperlinks_) hyperlinks_ = std::make_unique<TXLSCustomHyperlinks>(this);
  return *hyperlinks_;
}

bool IXLSWorksheet::HasHyperlinks() const { return hyperlinks_ && hyperlinks_->Count() > 0; }

IXLSHyperLinks IXLSWorksheet::GetHyperlinks() { return std::make_shared<TXLSHyperLinks>(Hyperlinks(), IXLSRange()); }

IXLSHyperLinks TXLSRange::GetHyperlinks() {
  return std::make_shared<TXLSHyperLinks>(sheet_->Hyperlinks(), IXLSRange(shared_from_this()));
}

}  // namespace xls
