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

// Other Windows code pages through the C library's converters; false when it has none.
bool ConvertWithIconv(std::string_view text, int codePage, std::u16string& out) {
  std::string name = "CP" + std::to_string(codePage);
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
