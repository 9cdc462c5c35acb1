#include "xls/model/num_format_list.h"

#include "xls/model/codepage.h"
#include "xls/model/key_text.h"

namespace xls {

TXLSNumFormatList::TXLSNumFormatList()
    : TXLSStringList(kFirstUserFormat),
      builtIn_(std::make_unique<TXLSStringList>()),
      dateFlags_(std::make_unique<TBoolArray>()) {
  AddBuiltIns();
}

TXLSNumFormatList::~TXLSNumFormatList() = default;

std::u16string TXLSNumFormatList::GetLocaleDateFormat() { return u"M/D/YYYY"; }

std::u16string TXLSNumFormatList::GetLocaleTimeFormat() {
  std::u16string time = u"h:mm AMPM";
  std::u16string out;
  for (std::size_t i = 0; i < time.size();) {
    if (time.compare(i, 4, u"AMPM") == 0) {
      out += u"AM/PM";
      i += 4;
    } else {
      out += time[i++];
    }
  }
  return out;
}

void TXLSNumFormatList::AddBuiltIns() {
  static const struct {
    int index;
    const char16_t* text;
  } kBuiltIns[] = {
      {0, u"General"},
      {1, u"0"},
      {2, u"0.00"},
      {3, u"#,##0"},
      {4, u"#,##0.00"},
      {5, u"\"$\"#,##0_);(\"$\"#,##0)"},
      {6, u"\"$\"#,##0_);[Red](\"$\"#,##0)"},
      {7, u"\"$\"#,##0.00_);(\"$\"#,##0.00)"},
      {8, u"\"$\"#,##0.00_);[Red](\"$\"#,##0.00)"},
      {9, u"0%"},
      {10, u"0.00%"},
      {11, u"0.00E+00"},
      {12, u"# ?/?"},
      {13, u"# ?\?/?\?"},
      {15, u"D-MMM-YY"},
      {16, u"D-MMM"},
      {17, u"MMM-YY"},
      {18, u"h:mm AM/PM"},
      {19, u"h:mm:ss AM/PM"},
      {20, u"h:mm"},
      {21, u"h:mm:ss"},
      {37, u"#,##0_);(#,##0)"},
      {38, u"#,##0_);[Red](#,##0)"},
      {39, u"#,##0.00_);(#,##0.00)"},
      {40, u"#,##0.00_);[Red](#,##0.00)"},
      {41, u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)"},
      {42, u"_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)"},
      {43, u"_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)"},
      {44, u"_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"??_);_(@_)"},
      {45, u"mm:ss"},
      {46, u"[h]:mm:ss"},
      {47, u"mm:ss.0"},
      {48, u"##0.0E+0"},
      {49, u"@"},
  };
  for (const auto& f : kBuiltIns) builtIn_->SetString(f.index, f.text);
  std::u16string date;
  for (char16_t c : GetLocaleDateFormat()) date += (c >= u'a' && c <= u'z') ? c - 32 : c;
  builtIn_->SetString(14, date);
  builtIn_->SetString(22, date + u" " + GetLocaleTimeFormat());
  for (int i = 14; i <= 22; ++i) dateFlags_->SetItem(i, true);
  for (int i = 45; i <= 47; ++i) dateFlags_->SetItem(i, true);
}

bool TXLSNumFormatList::IsDateText(const std::u16string& text) {
  std::string s = WideToAnsi(text);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  for (const char* part : {"DD", "MM", "YY", "HH", "SS"})
    if (s.find(part) != std::string::npos) return true;
  return false;
}

void TXLSNumFormatList::SetString(std::int32_t index, const std::u16string& text) {
  if (index < 0) return;
  std::u16string cut = text.substr(0, kMaxShortText);
  TXLSStringList::SetString(index, cut);
  dateFlags_->SetItem(index, IsDateText(cut));
}

std::u16string TXLSNumFormatList::GetString(std::int32_t index) const {
  std::u16string own = TXLSStringList::GetString(index);
  if (own.empty() && index < kFirstUserFormat) return builtIn_->GetString(index);
  return own;
}

std::int32_t TXLSNumFormatList::AddOrFind(const std::u16string& text) {
  std::u16string cut = text.substr(0, kMaxShortText);
  bool date = IsDateText(cut);
  if (Exists(cut)) {
    std::int32_t index = IndexOf(cut);
    if (date) dateFlags_->SetItem(index, true);
    return index;
  }
  if (builtIn_->Exists(cut)) return builtIn_->IndexOf(cut);
  std::int32_t index = TXLSStringList::AddOrFind(cut);
  if (date) dateFlags_->SetItem(index, true);
  return index;
}

std::unique_ptr<TXLSBlob> TXLSNumFormatList::BuildFormatRecord(std::int32_t index, int version, int codePage) const {
  std::u16string text = GetString(index);
  if (text.empty() || !Exists(text)) return nullptr;
  bool biff5 = version == kBiff5;
  const std::string bytes = biff5 ? WideToAnsiCP(text, codePage).substr(0, 255) : std::string();
  std::uint32_t n = static_cast<std::uint32_t>(biff5 ? bytes.size() : text.size());
  auto b = std::make_unique<TXLSBlob>(biff5 ? 4 + 3 + n : 4 + 5 + 2 * n);
  b->AddWord(0x041E);
  b->AddWord(0);
  b->AddWord(static_cast<std::uint32_t>(index));
  if (biff5) {
    b->AddByte(n);
    b->AddString(bytes);
  } else {
    b->AddWord(n);
    b->AddByte(1);
    b->AddWideString(text);
  }
  b->PutWord(b->GetSize() - 4, 2);
  return b;
}

}  // namespace xls
