#include "controls/widestring/code_pages.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>

#include "controls/widestring/utf7.h"
#include "platform/codepage.h"

namespace widestring {

namespace {

std::atomic<unsigned> defaultCodePage{CP_THREAD_ACP};
constexpr unsigned kStartupCodePage = CP_THREAD_ACP;

bool IsTwoByte(unsigned codePage) { return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950; }

// The characters of the 256 bytes of a one-byte code page, read byte by byte off the shared
// converter: the C library's converters of 1255 and 1258 would join a letter and a following
// combining mark into one character, which the code page's own table does not.
const std::array<char16_t, 256>& OneByteTable(unsigned codePage) {
  static std::mutex lock;
  static std::map<unsigned, std::array<char16_t, 256>> tables;
  std::lock_guard<std::mutex> guard(lock);
  auto found = tables.find(codePage);
  if (found != tables.end()) return found->second;
  std::array<char16_t, 256>& table = tables[codePage];
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const std::u16string w = platform::AnsiToWideCP(std::string_view(&byte, 1), static_cast<int>(codePage));
    table[b] = w.size() == 1 ? w[0] : u'\uFFFD';
  }
  return table;
}

// The single bytes of 932 that stand for characters of their own, which the C library's
// converter does not know.
char16_t Single932(unsigned char b) {
  switch (b) {
    case 0x80: return u'\u0080';
    case 0xA0: return u'\uF8F0';
    case 0xFD: return u'\uF8F1';
    case 0xFE: return u'\uF8F2';
    case 0xFF: return u'\uF8F3';
    default: return 0;
  }
}

std::u16string Read932(std::string_view text) {
  std::u16string out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
      ++i;  // a lead byte and its trail byte
      continue;
    }
    if (const char16_t c = Single932(b)) {
      out += platform::AnsiToWideCP(text.substr(start, i - start), 932);
      out.push_back(c);
      start = i + 1;
    }
  }
  return out + platform::AnsiToWideCP(text.substr(std::min(start, text.size())), 932);
}

std::string Write932(std::u16string_view text, bool& lossless) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    int single = -1;
    if (i < text.size())
      for (int b : {0x80, 0xA0, 0xFD, 0xFE, 0xFF})
        if (Single932(static_cast<unsigned char>(b)) == text[i]) single = b;
    if (single < 0 && i < text.size()) continue;
    bool all = true;
    out += platform::WideToAnsiCP(text.substr(start, i - start), 932, &all);
    lossless = lossless && all;
    if (single >= 0) out.push_back(static_cast<char>(single));
    start = i + 1;
  }
  return out;
}

}  // namespace

bool PlatformIsUnicode() { return true; }
bool PlatformIsXPOrLater() { return true; }
bool PlatformIs2003OrLater() { return true; }
bool PlatformIsVistaOrLater() { return true; }

unsigned DefaultUserCodePage() { return defaultCodePage; }
void SetDefaultUserCodePage(unsigned codePage) { defaultCodePage = codePage; }
void RestoreDefaultUserCodePage() { defaultCodePage = kStartupCodePage; }

unsigned AnsiCodePageOfLocale(std::string_view locale) {
  const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  const std::string_view language = name.substr(0, name.find('_'));
  const std::string_view territory = name.find('_') == std::string_view::npos ? "" : name.substr(name.find('_') + 1);
  auto in = [language](std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), language) != names.end();
  };
  if (in({"cs", "hu", "pl", "ro", "hr", "sk", "sl", "sq", "bs"})) return 1250;
  if (in({"ru", "uk", "be", "bg", "mk", "sr", "kk", "ky", "mn", "tt"})) return 1251;
  if (in({"el"})) return 1253;
  if (in({"tr", "az", "uz"})) return 1254;
  if (in({"he", "yi"})) return 1255;
  if (in({"ar", "fa", "ur"})) return 1256;
  if (in({"et", "lv", "lt"})) return 1257;
  if (in({"vi"})) return 1258;
  if (in({"th"})) return 874;
  if (in({"ja"})) return 932;
  if (in({"ko"})) return 949;
  if (in({"zh"})) return (territory == "TW" || territory == "HK" || territory == "MO") ? 950 : 936;
  return 1252;
}

unsigned ThreadAnsiCodePage() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return AnsiCodePageOfLocale(value);
  }
  return 1252;
}

bool FarEastLocale() {
  const unsigned codePage = ThreadAnsiCodePage();
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

unsigned ResolveCodePage(unsigned codePage) {
  // One locale serves the process and its threads here.
  return codePage == CP_ACP || codePage == CP_THREAD_ACP ? ThreadAnsiCodePage() : codePage;
}

const std::vector<unsigned>& SupportedCodePages() {
  static const std::vector<unsigned> pages = {874,  932,  936,  949,  950,  1250,  1251,  1252,
                                              1253, 1254, 1255, 1256, 1257, 1258, 28591, CP_UTF7, CP_UTF8};
  return pages;
}

bool IsSupportedCodePage(unsigned codePage) {
  const auto& pages = SupportedCodePages();
  return std::find(pages.begin(), pages.end(), codePage) != pages.end();
}

std::u16string StringToWideStringEx(std::string_view text, unsigned codePage) {
  codePage = ResolveCodePage(codePage);
  if (codePage == CP_UTF7) return Utf7TextToWide(text);
  if (!IsSupportedCodePage(codePage)) codePage = 1252;
  if (codePage == 932) return Read932(text);
  if (codePage == CP_UTF8 || IsTwoByte(codePage)) return platform::AnsiToWideCP(text, static_cast<int>(codePage));
  const auto& table = OneByteTable(codePage);
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(table[static_cast<unsigned char>(c)]);
  return out;
}

std::string WideStringToStringEx(std::u16string_view text, unsigned codePage, bool* lossless) {
  codePage = ResolveCodePage(codePage);
  if (codePage == CP_UTF7) {
    if (lossless) *lossless = true;
    return WideToUtf7Text(text);
  }
  if (codePage == CP_UTF8) {
    std::string out = platform::WideToUtf8(text);
    // A lone surrogate has no UTF-8 form.
    if (lossless) *lossless = platform::Utf8ToWide(out) == text;
    return out;
  }
  if (!IsSupportedCodePage(codePage)) codePage = 1252;
  auto write = [codePage](std::u16string_view part, bool& all) {
    if (codePage == 932) return Write932(part, all);
    return platform::WideToAnsiCP(part, static_cast<int>(codePage), &all);
  };
  bool all = true;
  std::string out = write(text, all);
  if (IsTwoByte(codePage) && StringToWideStringEx(out, codePage) != text) {
    // The C library's converters also write some characters as the bytes of a look-alike
    // (the yen sign as a backslash): such a character is one the code page lacks.
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
      const bool pair = text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
      const std::u16string_view one = text.substr(i, pair ? 2 : 1);
      bool ignored = true;
      const std::string bytes = write(one, ignored);
      const bool kept = StringToWideStringEx(bytes, codePage) == one;
      out += kept ? bytes : "?";
      all = all && kept;
      i += pair ? 1 : 0;
    }
  }
  if (lossless) *lossless = all;
  return out;
}

std::u16string StringToWideString(std::string_view text) {
  return StringToWideStringEx(text, DefaultUserCodePage());
}

std::string WideStringToString(std::u16string_view text) {
  return WideStringToStringEx(text, DefaultUserCodePage());
}

}  // namespace widestring
