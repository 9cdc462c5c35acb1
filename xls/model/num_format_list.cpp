#include "xls/model/num_format_list.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <mutex>

#include "xls/model/codepage.h"
#include "xls/model/key_text.h"

namespace xls {

TXLSNumFormatList::TXLSNumFormatList()
    : TXLSStringList(kFirstUserFormat),
      builtIn_(BuiltIns()),
      dateFlags_(std::make_unique<TBoolArray>()) {}

bool TXLSNumFormatList::IsDateIndex(std::int32_t index) const {
  // The built-in date and time formats are dates until a format record says otherwise; the
  // flags hold only what records and callers have set.
  const std::u16string key = IndexKey(index);
  if (dateFlags_->Exists(key)) return dateFlags_->GetItem(index);
  return (index >= 14 && index <= 22) || (index >= 45 && index <= 47);
}

TXLSNumFormatList::~TXLSNumFormatList() = default;

namespace {

// The locale's strftime pattern (nl_langinfo) for the process's LC_TIME; none for the C and
// POSIX locales, which stand for no locale chosen.
std::string LocalePattern(nl_item item) {
  const char* name = std::setlocale(LC_TIME, nullptr);
  if (!name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0) return {};
  const char* pattern = nl_langinfo(item);
  return pattern ? pattern : "";
}

// A strftime pattern as a number format: fields become their format codes, other characters
// stay, letters and other text in double quotes. Seconds are left out: short times show hours
// and minutes.
std::u16string PatternToFormat(const std::string& pattern, int depth = 0) {
  std::u16string out, literal;
  auto flush = [&]() {
    if (literal.empty()) return;
    bool plain = true;
    for (char16_t c : literal)
      if (!(c == u'/' || c == u'.' || c == u'-' || c == u':' || c == u' ' || c == u',')) plain = false;
    out += plain ? literal : u"\"" + literal + u"\"";
    literal.clear();
  };
  const std::u16string text = Utf8ToWide(pattern);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%' || i + 1 >= text.size()) {
      literal += text[i];
      continue;
    }
    char16_t code = text[++i];
    while ((code == u'E' || code == u'O' || code == u'-' || code == u'_' || code == u'0' || code == u'^') &&
           i + 1 < text.size())
      code = text[++i];
    std::u16string field;
    switch (code) {
      case u'd': field = u"dd"; break;
      case u'e': field = u"d"; break;
      case u'm': field = u"mm"; break;
      case u'b': case u'h': field = u"mmm"; break;
      case u'B': field = u"mmmm"; break;
      case u'a': field = u"ddd"; break;
      case u'A': field = u"dddd"; break;
      case u'y': field = u"yy"; break;
      case u'Y': case u'G': field = u"yyyy"; break;
      case u'H': case u'I': field = u"hh"; break;
      case u'k': case u'l': field = u"h"; break;
      case u'M': field = u"mm"; break;
      case u'p': case u'P': field = u"AMPM"; break;
      case u'S':
        // A separator before the seconds goes with them ("%H:%M:%S"), else the unit text after
        // them ("%H\u6642%M\u5206%S\u79D2").
        if (!literal.empty() && (literal.back() == u':' || literal.back() == u'.')) {
          literal.pop_back();
        } else {
          while (i + 1 < text.size() && text[i + 1] != u'%' && text[i + 1] != u' ') ++i;
        }
        continue;
      case u'D': field = PatternToFormat("%m/%d/%y", depth + 1); break;
      case u'F': field = PatternToFormat("%Y-%m-%d", depth + 1); break;
      case u'R': case u'T': field = PatternToFormat("%H:%M", depth + 1); break;
      case u'r':
        if (depth < 2) field = PatternToFormat(nl_langinfo(T_FMT_AMPM), depth + 1);
        break;
      case u'%': literal += u'%'; continue;
      default: break;
    }
    flush();
    out += field;
  }
  flush();
  // Trailing blanks of a dropped field.
  while (!out.empty() && out.back() == u' ') out.pop_back();
  return out;
}

}  // namespace

std::u16string TXLSNumFormatList::GetLocaleDateFormat() {
  const std::string pattern = LocalePattern(D_FMT);
  const std::u16string format = pattern.empty() ? std::u16string() : PatternToFormat(pattern);
  return format.empty() ? u"M/D/YYYY" : format;
}

std::u16string TXLSNumFormatList::GetLocaleTimeFormat() {
  const std::string pattern = LocalePattern(T_FMT);
  std::u16string time = pattern.empty() ? std::u16string() : PatternToFormat(pattern);
  if (time.empty()) time = u"h:mm AMPM";
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

std::shared_ptr<const TXLSStringList> TXLSNumFormatList::BuiltIns() {
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
  static std::mutex guard;
  static std::shared_ptr<const TXLSStringList> shared;
  // The LC_TIME locale the shared list was made for: while it stays, the list is handed out
  // without asking the locale for its patterns again (every workbook clear makes a list).
  static std::string sharedLocale;
  std::lock_guard<std::mutex> lock(guard);
  const char* locale = std::setlocale(LC_TIME, nullptr);
  if (shared && locale && sharedLocale == locale) return shared;
  sharedLocale = locale ? locale : "";

  std::u16string date;
  for (char16_t c : GetLocaleDateFormat()) date += (c >= u'a' && c <= u'z') ? c - 32 : c;
  const std::u16string dateTime = date + u" " + GetLocaleTimeFormat();
  if (shared && shared->GetString(14) == date && shared->GetString(22) == dateTime) return shared;
  auto made = std::make_shared<TXLSStringList>();
  for (const auto& f : kBuiltIns) made->SetString(f.index, f.text);
  made->SetString(14, date);
  made->SetString(22, dateTime);
  shared = std::move(made);
  return shared;
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
