#include "platform/codepage.h"

#include <iconv.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace platform {

namespace {

// Code page 1252 bytes 0x80..0x9F; 0 marks the five bytes that have no character.
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The Macintosh code pages of one byte that the C library's converters lack or read otherwise
// than Apple's tables: bytes 0x80..0xFF of Mac Roman (10000, or 32768), which Icelandic (10079),
// Turkish (10081), Croatian (10082) and Romanian (10010) change in a few places, and Greek
// (10006).
constexpr char16_t kHighMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

constexpr char16_t kHighMacGreek[128] = {
    0x00C4, 0x00B9, 0x00B2, 0x00C9, 0x00B3, 0x00D6, 0x00DC, 0x0385,
    0x00E0, 0x00E2, 0x00E4, 0x0384, 0x00A8, 0x00E7, 0x00E9, 0x00E8,
    0x00EA, 0x00EB, 0x00A3, 0x2122, 0x00EE, 0x00EF, 0x2022, 0x00BD,
    0x2030, 0x00F4, 0x00F6, 0x00A6, 0x20AC, 0x00F9, 0x00FB, 0x00FC,
    0x2020, 0x0393, 0x0394, 0x0398, 0x039B, 0x039E, 0x03A0, 0x00DF,
    0x00AE, 0x00A9, 0x03A3, 0x03AA, 0x00A7, 0x2260, 0x00B0, 0x00B7,
    0x0391, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x0392, 0x0395, 0x0396,
    0x0397, 0x0399, 0x039A, 0x039C, 0x03A6, 0x03AB, 0x03A8, 0x03A9,
    0x03AC, 0x039D, 0x00AC, 0x039F, 0x03A1, 0x2248, 0x03A4, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x03A5, 0x03A7, 0x0386, 0x0388, 0x0153,
    0x2013, 0x2015, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x0389,
    0x038A, 0x038C, 0x038E, 0x03AD, 0x03AE, 0x03AF, 0x03CC, 0x038F,
    0x03CD, 0x03B1, 0x03B2, 0x03C8, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03BE, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,
    0x03C0, 0x03CE, 0x03C1, 0x03C3, 0x03C4, 0x03B8, 0x03C9, 0x03C2,
    0x03C7, 0x03C5, 0x03B6, 0x03CA, 0x03CB, 0x0390, 0x03B0, 0x00AD};

struct MacChange {
  std::uint8_t byte;
  char16_t character;
};

constexpr MacChange kMacIcelandic[] = {{0xA0, 0x00DD}, {0xDC, 0x00D0}, {0xDD, 0x00F0},
                                       {0xDE, 0x00DE}, {0xDF, 0x00FE}, {0xE0, 0x00FD}};
constexpr MacChange kMacTurkish[] = {{0xDA, 0x011E}, {0xDB, 0x011F}, {0xDC, 0x0130}, {0xDD, 0x0131},
                                     {0xDE, 0x015E}, {0xDF, 0x015F}, {0xF5, 0xF8A0}};
constexpr MacChange kMacCroatian[] = {
    {0xA9, 0x0160}, {0xAE, 0x017D}, {0xB4, 0x2206}, {0xB9, 0x0161}, {0xBE, 0x017E},
    {0xC6, 0x0106}, {0xC8, 0x010C}, {0xD0, 0x0110}, {0xD8, 0xF8FF}, {0xD9, 0x00A9},
    {0xDE, 0x00C6}, {0xDF, 0x00BB}, {0xE0, 0x2013}, {0xE6, 0x0107}, {0xE8, 0x010D},
    {0xF0, 0x0111}, {0xF9, 0x03C0}, {0xFA, 0x00CB}, {0xFD, 0x00CA}, {0xFE, 0x00E6}};
constexpr MacChange kMacRomanian[] = {{0xAE, 0x0102}, {0xAF, 0x0218}, {0xBE, 0x0103},
                                      {0xBF, 0x0219}, {0xDE, 0x021A}, {0xDF, 0x021B}};

// The character of a byte of 0x80 or above in one of the Mac code pages above; false for
// another code page.
bool MacCharacter(int codePage, std::uint8_t byte, char16_t& character) {
  auto changed = [&](const auto& changes) {
    character = kHighMacRoman[byte - 0x80];
    for (const MacChange& c : changes)
      if (c.byte == byte) character = c.character;
    return true;
  };
  switch (codePage) {
    case 10000:
    case 32768:  // the number the Mac version of the spreadsheet program writes for Mac Roman
      character = kHighMacRoman[byte - 0x80];
      return true;
    case 10006: character = kHighMacGreek[byte - 0x80]; return true;
    case 10079: return changed(kMacIcelandic);
    case 10081: return changed(kMacTurkish);
    case 10082: return changed(kMacCroatian);
    case 10010: return changed(kMacRomanian);
    default: return false;
  }
}

// The C library's name of a code page: Windows code pages are "CP" and the number; the Mac
// code pages it has go by their own names.
std::string IconvName(int codePage) {
  switch (codePage) {
    case 10007: return "MAC-CYRILLIC";
    case 10017: return "MAC-UK";
    case 10029: return "MAC-CENTRALEUROPE";
    default: return "CP" + std::to_string(codePage);
  }
}

// Other Windows code pages through the C library's converters; false when it has none.
bool ConvertWithIconv(std::string_view text, int codePage, std::u16string& out) {
  std::string name = IconvName(codePage);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in(text);
  std::string buffer(in.size() * 4 + 4, '\0');
  char* src = in.data();
  std::size_t srcLeft = in.size();
  char* dst = buffer.data();
  std::size_t dstLeft = buffer.size();
  bool ok = true;
  while (srcLeft > 0) {
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) continue;
    if (dstLeft < 2) {
      ok = false;
      break;
    }
    // A byte the code page does not define becomes U+FFFD. The converter of 949 may have taken
    // the undefined pair already (A2 E8): then nothing is left to skip.
    if (srcLeft > 0) {
      ++src;
      --srcLeft;
    }
    *dst++ = static_cast<char>(0xFD);
    *dst++ = static_cast<char>(0xFF);
    dstLeft -= 2;
  }
  // The converters of 1255 and 1258 hold back a letter that a combining mark may follow: flush it.
  if (ok) iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  iconv_close(cd);
  if (!ok) return false;
  std::size_t bytes = buffer.size() - dstLeft;
  out.clear();
  for (std::size_t i = 0; i + 1 < bytes; i += 2)
    out.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(buffer[i]) | (static_cast<std::uint8_t>(buffer[i + 1]) << 8)));
  return true;
}

// The code pages with two-byte characters: these go through the C library's converter.
bool IsMultiByte(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
         codePage == 1361;
}

// The bytes of a one-byte code page by character, read off AnsiToWideCP so that what is written
// reads back as it was.
struct ByteTable {
  std::unordered_map<char16_t, char> bytes;
};

const ByteTable& ByteTableOf(int codePage) {
  static std::mutex lock;
  static std::map<int, ByteTable> tables;
  std::lock_guard<std::mutex> guard(lock);
  auto found = tables.find(codePage);
  if (found != tables.end()) return found->second;
  ByteTable& table = tables[codePage];
  for (int b = 0xFF; b >= 0x80; --b) {
    const char byte = static_cast<char>(b);
    std::u16string w = AnsiToWideCP(std::string_view(&byte, 1), codePage);
    if (w.size() == 1 && w[0] != 0xFFFD) table.bytes[w[0]] = byte;
  }
  return table;
}

std::string MultiByteWithIconv(std::u16string_view text, int codePage, bool& lossless) {
  std::string out;
  iconv_t cd = iconv_open(("CP" + std::to_string(codePage)).c_str(), "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return WideToAnsiCP(text, kCodePage1252, &lossless);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t units =
        (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) ? 2 : 1;
    char in[4];
    for (std::size_t k = 0; k < units; ++k) {
      in[2 * k] = static_cast<char>(text[i + k] & 0xFF);
      in[2 * k + 1] = static_cast<char>(text[i + k] >> 8);
    }
    char buffer[16];
    char* src = in;
    std::size_t srcLeft = 2 * units;
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    if (text[i] < 0x80) {
      out.push_back(static_cast<char>(text[i]));
    } else if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      out.push_back('?');
      lossless = false;
    } else {
      out.append(buffer, sizeof buffer - dstLeft);
    }
    i += units - 1;
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string WideToAnsiCP(std::u16string_view text, int codePage, bool* lossless) {
  bool all = true;
  std::string out;
  if (codePage == 65001) {
    out = WideToUtf8(text);
  } else if (codePage == kCodePage1252 || codePage == 1200 || codePage <= 0) {
    out = WideToAnsi(text);
    for (std::size_t i = 0; i < text.size(); ++i)
      if (out[i] == '?' && text[i] != u'?') all = false;
  } else if (IsMultiByte(codePage)) {
    out = MultiByteWithIconv(text, codePage, all);
  } else {
    const ByteTable& table = ByteTableOf(codePage);
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char16_t w = text[i];
      if (w < 0x80) {
        out.push_back(static_cast<char>(w));
        continue;
      }
      auto found = table.bytes.find(w);
      if (found != table.bytes.end()) {
        out.push_back(found->second);
        continue;
      }
      out.push_back('?');
      all = false;
      // A pair of surrogates is one character: one "?".
      if (w >= 0xD800 && w < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) ++i;
    }
  }
  if (lossless) *lossless = all;
  return out;
}

std::u16string AnsiToWideCP(std::string_view text, int codePage) {
  std::u16string out;
  if (codePage == 65001) return Utf8ToWide(text);
  if (char16_t probe = 0; MacCharacter(codePage, 0x80, probe)) {
    out.reserve(text.size());
    for (char c : text) {
      char16_t w = static_cast<char16_t>(static_cast<std::uint8_t>(c));
      if (w >= 0x80) MacCharacter(codePage, static_cast<std::uint8_t>(c), w);
      out.push_back(w);
    }
    return out;
  }
  if (codePage != kCodePage1252 && codePage != 28591 && codePage != 1200 && ConvertWithIconv(text, codePage, out))
    return out;
  out.reserve(text.size());
  for (char c : text) {
    auto b = static_cast<std::uint8_t>(c);
    if (b >= 0x80 && b < 0xA0 && codePage != 28591) {
      char16_t w = kHigh1252[b - 0x80];
      // The undefined bytes map to the control character of the same value, as Windows does.
      out.push_back(w ? w : static_cast<char16_t>(b));
    } else {
      out.push_back(static_cast<char16_t>(b));
    }
  }
  return out;
}

std::string WideToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t w : text) {
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) {
      out.push_back(static_cast<char>(w));
      continue;
    }
    char b = '?';
    for (int i = 0; i < 32; ++i) {
      if (kHigh1252[i] == w || (kHigh1252[i] == 0 && w == 0x80 + i)) {
        b = static_cast<char>(0x80 + i);
        break;
      }
    }
    out.push_back(b);
  }
  return out;
}

std::u16string Utf8ToWide(std::string_view text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<std::uint8_t>(text[i]);
    std::uint32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      if (i + len > text.size()) {
        len = 1;
      } else {
        cp = b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
          auto c = static_cast<std::uint8_t>(text[i + k]);
          if ((c & 0xC0) != 0x80) {
            cp = 0xFFFD;
            len = k;
            break;
          }
          cp = (cp << 6) | (c & 0x3F);
        }
      }
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
      out.push_back(0xFFFD);
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace platform
