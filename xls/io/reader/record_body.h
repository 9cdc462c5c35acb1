// Bounded little-endian reads from one record body (platform::LEBytes) with the record's texts:
// every read outside the body gives 0 and clears ok, so that a handler can read all its fields
// first and check once.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/little_endian.h"
#include "xls/model/blob.h"
#include "xls/model/codepage.h"

namespace xls {

// The code page of UTF-16 text.
constexpr int kCodePageUtf16 = 1200;

struct TXLSRecordBody : platform::LEBytes {
  TXLSRecordBody() = default;
  TXLSRecordBody(const std::uint8_t* d, std::size_t n) : LEBytes(d, n) {}
  explicit TXLSRecordBody(const TXLSBlob* blob)
      : LEBytes(blob ? blob->GetData() : nullptr, blob ? blob->GetSize() : 0) {}

  // count characters at o, 16-bit or 8-bit (converted with the code page); false (and an
  // empty text) when they run past the body.
  bool Chars(std::size_t o, std::size_t count, bool wide, int codePage, std::u16string& text) {
    text.clear();
    const std::size_t bytes = wide ? count * 2 : count;
    if (!Has(o, bytes)) {
      Fail();
      return false;
    }
    if (wide) {
      text.resize(count);
      for (std::size_t i = 0; i < count; ++i)
        text[i] = static_cast<char16_t>(platform::LoadLE16(data + o + 2 * i));
    } else if (codePage == kCodePageUtf16 && LooksUtf16(o, count)) {
      // A BIFF5 file that declares code page 1200 (gnumeric writes them) keeps plain ASCII
      // texts in single bytes and every other text as UTF-16LE bytes, counted in bytes.
      text.resize(count / 2);
      for (std::size_t i = 0; i < count / 2; ++i)
        text[i] = static_cast<char16_t>(platform::LoadLE16(data + o + 2 * i));
    } else {
      text = AnsiToWideCP(std::string_view(reinterpret_cast<const char*>(data + o), count),
                          codePage == kCodePageUtf16 ? 1252 : codePage);
    }
    return true;
  }
  // The same characters appended to text, without a text of their own in between.
  bool AppendChars(std::size_t o, std::size_t count, bool wide, int codePage, std::u16string& text) {
    const std::size_t bytes = wide ? count * 2 : count;
    if (!Has(o, bytes)) {
      Fail();
      return false;
    }
    const std::uint8_t* p = data + o;
    if (wide) {
      const std::size_t at = text.size();
      text.resize(at + count);
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(text.data() + at, p, count * 2);
      } else {
        for (std::size_t i = 0; i < count; ++i) text[at + i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
      }
    } else if (codePage == 1252) {
      // Code page 1252 is Latin-1 but for 0x80..0x9F.
      static const std::u16string kHigh = [] {
        std::string bytes;
        for (int c = 0x80; c <= 0x9F; ++c) bytes += static_cast<char>(c);
        return AnsiToWideCP(bytes, 1252);
      }();
      const std::size_t at = text.size();
      text.resize(at + count);
      for (std::size_t i = 0; i < count; ++i)
        text[at + i] = p[i] >= 0x80 && p[i] <= 0x9F && kHigh.size() == 32 ? kHigh[p[i] - 0x80] : char16_t(p[i]);
    } else {
      std::u16string part;
      if (!Chars(o, count, false, codePage, part)) return false;
      text += part;
    }
    return true;
  }
  // A BIFF string at o: a 1- or 2-byte length, an option byte when hasOptions (bit 0: 16-bit
  // characters; rich and phonetic parts after the characters are passed over), then the
  // characters. o moves past what was read. False when the string runs past the body.
  bool String(std::size_t& o, bool shortLength, bool hasOptions, int codePage, std::u16string& text) {
    text.clear();
    const std::size_t count = shortLength ? Byte(o) : Word(o);
    if (!ok) return false;
    o += shortLength ? 1 : 2;
    bool wide = false;
    std::size_t runs = 0, phonetic = 0;
    if (hasOptions) {
      const std::uint8_t options = Byte(o);
      if (!ok) return false;
      o += 1;
      wide = options & 1;
      if (options & 8) {
        runs = Word(o);
        o += 2;
      }
      if (options & 4) {
        phonetic = DWord(o);
        o += 4;
      }
      if (!ok) return false;
    }
    if (!Chars(o, count, wide, codePage, text)) return false;
    o += wide ? count * 2 : count;
    if (!Has(o, runs * 4)) return Fail() != 0;
    o += runs * 4;
    if (!Has(o, phonetic)) return Fail() != 0;
    o += phonetic;
    return true;
  }

 private:
  bool LooksUtf16(std::size_t o, std::size_t count) const {
    if (count % 2 != 0) return false;
    for (std::size_t i = 0; i < count; ++i)
      if (data[o + i] == 0 || data[o + i] >= 0x80) return true;
    return false;
  }
};

}  // namespace xls
