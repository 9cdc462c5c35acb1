#include "xls/model/xf_list.h"

#include "xls/model/codepage.h"
#include "xls/model/key_text.h"

namespace xls {

namespace {

constexpr int kFontPos = 1, kFormatPos = 5, kProtPos = 9, kParentPos = 10, kAlignPos = 14;
constexpr int kBorderPos = 20, kPatternPos = 36, kUsedPos = 42;

const char16_t* const kXF0 = u"000000001FFFF20000000000000000000000020C000";
const char16_t* const kXFStyle = u"000000001FFFF20000000000000000000000020C03D";
const char16_t* const kXF15 = u"000000001000020000000000000000000000020C000";
const char16_t* const kXF16to20[] = {
    u"0001002C50FFF20000000000000000000000020C03E", u"0001002A50FFF20000000000000000000000020C03E",
    u"0001000950FFF20000000000000000000000020C03E", u"0001002B50FFF20000000000000000000000020C03E",
    u"0001002950FFF20000000000000000000000020C03E"};

std::u16string WithField(std::u16string key, int pos, int width, std::uint32_t value) {
  key.replace(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(width), HexDigits(value, width));
  return key;
}

std::u16string WithPart(std::u16string key, int pos, const std::u16string& part) {
  key.replace(static_cast<std::size_t>(pos - 1), part.size(), part);
  return key;
}

}  // namespace

// ----- styles ---------------------------------------------------------------------------------

TXLSStyles::TXLSStyles(TXLSXFList* owner) : owner_(owner) { SetBaseIndex(0); }

std::int32_t TXLSStyles::AddBuiltIn(std::int32_t id, std::int32_t xf) {
  auto* e = new TXLSStyleEntry;
  e->key = HexDigits(static_cast<std::uint32_t>(id), 2);
  e->xfIndex = xf;
  return Add(e);
}

std::int32_t TXLSStyles::AddUser(const std::u16string& name, std::int32_t xf) {
  auto* e = new TXLSStyleEntry;
  e->key = u"XX" + name.substr(0, kMaxShortText);
  e->xfIndex = xf;
  return Add(e);
}

void TXLSStyles::AddDefaults() {
  AddBuiltIn(3, 19);
  AddBuiltIn(4, 16);
  AddBuiltIn(6, 20);
  AddBuiltIn(7, 17);
  AddBuiltIn(5, 18);
  AddBuiltIn(0, 0);
}

std::unique_ptr<TXLSBlob> TXLSStyles::BuildStyleRecord(std::int32_t i, int version, int codePage) const {
  auto* e = static_cast<const TXLSStyleEntry*>(GetItem(i));
  if (!e) return nullptr;
  std::uint32_t xf = static_cast<std::uint32_t>(owner_->GetOutputIndex(e->xfIndex) - 1) & 0x0FFF;
  if (e->key.compare(0, 2, u"XX") != 0) {
    auto b = std::make_unique<TXLSBlob>(8);
    b->AddWord(0x0293);
    b->AddWord(4);
    b->AddWord(xf | 0x8000);
    b->AddByte(HexField(e->key, 1, 2));
    b->AddByte(0xFF);
    return b;
  }
  std::u16string name = e->key.substr(2);
  bool biff5 = version == kBiff5;
  const std::string bytes = biff5 ? WideToAnsiCP(name, codePage).substr(0, 255) : std::string();
  std::uint32_t n = static_cast<std::uint32_t>(biff5 ? bytes.size() : name.size());
  auto b = std::make_unique<TXLSBlob>(biff5 ? n + 7 : 2 * n + 9);
  b->AddWord(0x0293);
  b->AddWord(0);
  b->AddWord(xf);
  if (biff5) {
    b->AddByte(n);
    b->AddString(bytes);
  } else {
    b->AddWord(n);
    b->AddByte(1);
    b->AddWideString(name);
  }
  b->PutWord(b->GetSize() - 4, 2);
  return b;
}

// ----- XF list ----------------------------------------------------------------------------------

TXLSXFList::TXLSXFList()
    : styles_(std::make_unique<TXLSStyles>(this)),
      numFormats_(std::make_unique<TXLSNumFormatList>()),
      fonts_(std::make_unique<TXLSFontList>()) {
  SetBaseIndex(0);
  SetFixedCountValue(kFixedXFs);
}

TXLSXFList::~TXLSXFList() = default;

void TXLSXFList::SetDefaults() {
  styles_->AddDefaults();
  for (int i = 0; i < 4; ++i) fonts_->SetEntry(i, TXLSFontList::kDefaultKey);
  fonts_->SetKeyIndex(TXLSFontList::kDefaultKey, 0);
  SetEntry(0, kXF0);
  for (int i = 1; i <= 14; ++i) SetEntry(i, kXFStyle);
  SetEntry(15, kXF15);
  for (int i = 0; i < 5; ++i) SetEntry(16 + i, kXF16to20[i]);
}

void TXLSXFList::AddMissingDefaults() {
  for (std::int32_t i = Count(); i <= kDefaultCellXF; ++i)
    SetEntry(i, i == 0 ? kXF0 : i == kDefaultCellXF ? kXF15 : kXFStyle);
}

void TXLSXFList::Clear() {
  TXLSKeyList::Clear();
  SetBaseIndex(0);
  SetFixedCountValue(16);
  styles_->Clear();
  numFormats_ = std::make_unique<TXLSNumFormatList>();
  fonts_->Clear();
}

std::u16string TXLSXFList::ResolvedPart(std::int32_t xf, std::uint32_t bit, int pos, int width) const {
  std::u16string key = KeyOf(xf);
  if (HexField(key, kUsedPos, 2) & bit) return KeyPart(key, pos, width);
  std::int32_t parent = static_cast<std::int32_t>(HexField(key, kParentPos, 4));
  // A style XF has no parent in the list; it then answers its own part.
  if (parent >= Count()) return KeyPart(key, pos, width);
  std::u16string parentKey = GetKey(parent);
  if (HexField(parentKey, kUsedPos, 2) & bit) return KeyPart(key, pos, width);
  return KeyPart(parentKey, pos, width);
}

std::int32_t TXLSXFList::GetFontIndex(std::int32_t xf) const {
  return static_cast<std::int32_t>(HexField(ResolvedPart(xf, kUsedFont, kFontPos, 4), 1, 4));
}

std::int32_t TXLSXFList::GetNumFormat(std::int32_t xf) const {
  std::uint32_t own = HexField(KeyOf(xf), kFormatPos, 4);
  if (own >= 1) return static_cast<std::int32_t>(own);
  return static_cast<std::int32_t>(HexField(ResolvedPart(xf, kUsedNumFormat, kFormatPos, 4), 1, 4));
}

std::int32_t TXLSXFList::GetProtection(std::int32_t xf) const {
  return static_cast<std::int32_t>(HexField(ResolvedPart(xf, kUsedProtection, kProtPos, 1), 1, 1));
}

std::u16string TXLSXFList::GetAlignmentKey(std::int32_t xf) const {
  return ResolvedPart(xf, kUsedAlignment, kAlignPos, 6);
}
std::u16string TXLSXFList::GetBorderKey(std::int32_t xf) const {
  return ResolvedPart(xf, kUsedBorder, kBorderPos, 16);
}
std::u16string TXLSXFList::GetPatternKey(std::int32_t xf) const {
  return ResolvedPart(xf, kUsedFill, kPatternPos, 6);
}

std::int32_t TXLSXFList::InternChanged(std::int32_t xf, std::u16string key, std::uint32_t bit, bool move) {
  key = WithField(key, kUsedPos, 2, HexField(key, kUsedPos, 2) | bit);
  return Intern(move ? (xf == 0 ? kDefaultCellXF : xf) : 0, key);
}

std::int32_t TXLSXFList::SetFontIndex(std::int32_t xf, std::int32_t font, bool move) {
  return InternChanged(xf, WithField(KeyOf(xf), kFontPos, 4, static_cast<std::uint32_t>(font)), kUsedFont, move);
}
std::int32_t TXLSXFList::SetNumFormat(std::int32_t xf, std::int32_t format, bool move) {
  return InternChanged(xf, WithField(KeyOf(xf), kFormatPos, 4, static_cast<std::uint32_t>(format)),
                       kUsedNumFormat, move);
}
std::int32_t TXLSXFList::SetProtection(std::int32_t xf, std::int32_t value, bool move) {
  return InternChanged(xf, WithField(KeyOf(xf), kProtPos, 1, static_cast<std::uint32_t>(value) & 0xFF),
                       kUsedProtection, move);
}
std::int32_t TXLSXFList::SetAlignmentKey(std::int32_t xf, const std::u16string& part, bool move) {
  return InternChanged(xf, WithPart(KeyOf(xf), kAlignPos, part.substr(0, 6)), kUsedAlignment, move);
}
std::int32_t TXLSXFList::SetBorders(std::int32_t xf, const std::u16string& part, bool move) {
  return InternChanged(xf, WithPart(KeyOf(xf), kBorderPos, part.substr(0, 16)), kUsedBorder, move);
}
std::int32_t TXLSXFList::SetPattern(std::int32_t xf, const std::u16string& part, bool move) {
  return InternChanged(xf, WithPart(KeyOf(xf), kPatternPos, part.substr(0, 6)), kUsedFill, move);
}

std::u16string TXLSXFList::GetFormatText(std::int32_t xf) const {
  return numFormats_->GetString(GetNumFormat(xf));
}
std::int32_t TXLSXFList::SetFormatText(std::int32_t xf, const std::u16string& text, bool move) {
  return SetNumFormat(xf, numFormats_->AddOrFind(text), move);
}
bool TXLSXFList::IsDateFormat(std::int32_t xf) const { return numFormats_->IsDateIndex(GetNumFormat(xf)); }

bool TXLSXFList::IsElapsedFormat(std::int32_t xf) const {
  if (!IsDateFormat(xf)) return false;
  const std::u16string text = GetFormatText(xf);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"') quoted = !quoted;
    else if (quoted) continue;
    else if (c == u'\\') ++i;
    else if (c == u';') return false;  // only the first section counts
    else if (c == u'[' && i + 1 < text.size()) {
      // [h], [mm], [ss]: one of the three letters repeated (not a colour such as [Magenta]).
      const char16_t n = static_cast<char16_t>(text[i + 1] | 0x20);
      std::size_t k = i + 1;
      while (k < text.size() && static_cast<char16_t>(text[k] | 0x20) == n) ++k;
      if ((n == u'h' || n == u'm' || n == u's') && k < text.size() && text[k] == u']') return true;
    }
  }
  return false;
}

template <typename Setter>
std::int32_t TXLSXFList::ChangeFont(std::int32_t xf, bool move, Setter setter) {
  std::int32_t font = setter(*fonts_, GetFontIndex(xf));
  return SetFontIndex(xf, font, move);
}

std::int32_t TXLSXFList::SetFontBold(std::int32_t xf, bool v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetBold(i, v); });
}
std::int32_t TXLSXFList::SetFontItalic(std::int32_t xf, bool v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetItalic(i, v); });
}
std::int32_t TXLSXFList::SetFontStrikethrough(std::int32_t xf, bool v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetStrikethrough(i, v); });
}
std::int32_t TXLSXFList::SetFontOutline(std::int32_t xf, bool v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetOutline(i, v); });
}
std::int32_t TXLSXFList::SetFontShadow(std::int32_t xf, bool v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetShadow(i, v); });
}
std::int32_t TXLSXFList::SetFontSubscript(std::int32_t xf, bool v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetSubscript(i, v); });
}
std::int32_t TXLSXFList::SetFontSuperscript(std::int32_t xf, bool v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetSuperscript(i, v); });
}
std::int32_t TXLSXFList::SetFontUnderline(std::int32_t xf, std::int32_t v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetUnderline(i, v); });
}
std::int32_t TXLSXFList::SetFontColor(std::int32_t xf, std::int32_t v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetColor(i, v); });
}
std::int32_t TXLSXFList::SetFontFamily(std::int32_t xf, std::int32_t v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetFamily(i, v); });
}
std::int32_t TXLSXFList::SetFontCharset(std::int32_t xf, std::int32_t v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetCharset(i, v); });
}
std::int32_t TXLSXFList::SetFontSize(std::int32_t xf, double v, bool move) {
  return ChangeFont(xf, move, [v](TXLSFontList& f, std::int32_t i) { return f.SetSize(i, v); });
}
std::int32_t TXLSXFList::SetFontName(std::int32_t xf, const std::u16string& v, bool move) {
  return ChangeFont(xf, move, [&v](TXLSFontList& f, std::int32_t i) { return f.SetName(i, v); });
}

void TXLSXFList::PackIndices(const std::vector<std::int32_t>& otherFontUses) {
  fonts_->ResetUseCounts();
  Compact();
  for (const TXLSKeyEntry* e : OutputOrder())
    fonts_->AddUse(static_cast<std::int32_t>(HexField(e->key, kFontPos, 4)));
  for (const std::int32_t font : otherFontUses) fonts_->AddUse(font);
  fonts_->Compact();
}

// BIFF5 border fields are 3 bits wide and hold the line styles 0 to 7 (none, thin, medium,
// dashed, dotted, thick, double, hair). The later styles go to the nearest of those:
//   8 medium dashed        -> 2 medium
//   9 dash-dot             -> 3 dashed
//  10 medium dash-dot      -> 3 dashed
//  11 dash-dot-dot         -> 4 dotted
//  12 medium dash-dot-dot  -> 4 dotted
//  13 slanted dash-dot     -> 3 dashed
// anything else            -> 1 thin
std::uint32_t Biff5LineStyle(std::uint32_t style) {
  static constexpr std::uint8_t kNearest[16] = {0, 1, 2, 3, 4, 5, 6, 7, 2, 3, 3, 4, 4, 3, 1, 1};
  return kNearest[style & 0xF];
}

std::unique_ptr<TXLSBlob> TXLSXFList::BuildXFRecord(std::int32_t i, int version) const {
  if (i < 0 || static_cast<std::size_t>(i) >= OutputOrder().size()) return nullptr;
  const std::u16string& k = OutputOrder()[static_cast<std::size_t>(i)]->key;
  bool biff5 = version == kBiff5;
  auto b = std::make_unique<TXLSBlob>(biff5 ? 20 : 24);
  b->AddWord(0x00E0);
  b->AddWord(biff5 ? 16 : 20);
  b->AddWord(static_cast<std::uint32_t>(fonts_->GetOutputIndex(static_cast<std::int32_t>(HexField(k, kFontPos, 4)))));
  b->AddWord(HexField(k, kFormatPos, 4));
  std::uint32_t type = (HexField(k, kParentPos, 4) & 0x0FFF) << 4;
  if (KeyPart(k, 11, 3) == u"FFF") type |= 4;
  type |= HexField(k, kProtPos, 1) & 3;
  b->AddWord(type);
  std::uint32_t align = HexField(k, 14, 2), rotation = HexField(k, 16, 2), indent = HexField(k, 18, 2);
  std::uint32_t used = HexField(k, kUsedPos, 2);
  std::uint32_t w1 = HexField(k, 20, 8), w2 = HexField(k, 28, 8);
  std::uint32_t pattern = HexField(k, 36, 2), colours = HexField(k, 38, 4);
  if (!biff5) {
    b->AddByte(align);
    b->AddByte(rotation);
    b->AddByte(indent);
    b->AddByte((used * 4) & 0xFF);
    b->AddDWord(w1);
    b->AddDWord(w2 | (pattern << 26));
    b->AddWord(colours);
    return b;
  }
  std::uint32_t orientation = rotation < 46 ? 0 : rotation < 136 ? 2 : rotation < 255 ? 3 : 1;
  b->AddWord(align | (orientation << 8) | ((used & 63) << 10));
  b->AddWord(colours);
  std::uint32_t leftStyle = Biff5LineStyle(w1 & 0xF), rightStyle = Biff5LineStyle((w1 >> 4) & 0xF);
  std::uint32_t topStyle = Biff5LineStyle((w1 >> 8) & 0xF), bottomStyle = Biff5LineStyle((w1 >> 12) & 0xF);
  std::uint32_t leftColour = (w1 >> 16) & 0x7F, rightColour = (w1 >> 23) & 0x7F;
  std::uint32_t topColour = w2 & 0x7F, bottomColour = (w2 >> 7) & 0x7F;
  b->AddWord((pattern & 63) | (bottomStyle << 6) | (bottomColour << 9));
  b->AddWord(topStyle | (leftStyle << 3) | (rightStyle << 6) | (topColour << 9));
  b->AddWord(leftColour | (rightColour << 7));
  return b;
}

std::u16string TXLSXFList::ExportPortableKey(std::int32_t xf) const {
  std::u16string k = KeyOf(xf);
  std::uint32_t u = HexField(k, kUsedPos, 2);
  std::u16string r = u"00000000" + KeyPart(k, kProtPos, 1) + u"0000" + KeyTail(k, kAlignPos);
  if (r.size() != 43) r.resize(43, u'0');
  if (!(u & kUsedProtection)) {
    u |= kUsedProtection;
    r = WithField(r, kProtPos, 1, static_cast<std::uint32_t>(GetProtection(xf)));
  }
  if (!(u & kUsedAlignment)) {
    u |= kUsedAlignment;
    r = WithPart(r, kAlignPos, GetAlignmentKey(xf));
  }
  if (!(u & kUsedBorder)) {
    u |= kUsedBorder;
    r = WithPart(r, kBorderPos, GetBorderKey(xf));
  }
  if (!(u & kUsedFill)) {
    u |= kUsedFill;
    r = WithPart(r, kPatternPos, GetPatternKey(xf));
  }
  r = WithField(r, kUsedPos, 2, u);
  std::u16string fontKey = fonts_->GetKey(GetFontIndex(xf));
  std::int32_t format = GetNumFormat(xf);
  std::u16string formatText;
  if (format < 50) {
    std::string digits = std::to_string(format);
    formatText.assign(digits.begin(), digits.end());
  } else {
    formatText = numFormats_->GetString(format);
  }
  return HexDigits(static_cast<std::uint32_t>(fontKey.size()), 4) +
         HexDigits(static_cast<std::uint32_t>(formatText.size()), 4) + KeyPart(r, 9, 35) + fontKey + formatText;
}

std::int32_t TXLSXFList::ImportPortableKey(const std::u16string& s) {
  std::size_t fontLength = HexField(s, 1, 4), formatLength = HexField(s, 5, 4);
  if (s.size() < 43 + fontLength + formatLength) return kDefaultCellXF;  // not a portable key
  std::u16string fontKey = s.substr(43, fontLength);
  std::u16string formatText = s.substr(43 + fontLength, formatLength);
  std::int32_t font = fonts_->Intern(0, fontKey);
  std::int32_t format = 0;
  bool numeric = !formatText.empty() && formatText.size() <= 4;
  for (char16_t c : formatText) numeric = numeric && c >= u'0' && c <= u'9';
  if (numeric) {
    for (char16_t c : formatText) format = format * 10 + (c - u'0');
  } else {
    format = numFormats_->AddOrFind(formatText);
  }
  std::u16string key = HexDigits(static_cast<std::uint32_t>(font), 4) +
                       HexDigits(static_cast<std::uint32_t>(format), 4) + s.substr(8, 35);
  return Intern(-1, key);
}

}  // namespace xls
