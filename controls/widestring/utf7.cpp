#include "controls/widestring/utf7.h"

#include <array>
#include <cstdint>

#include "controls/widestring/wide_texts.h"

namespace widestring {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Character classes of the 7-bit range, built once.
struct Classes {
  std::array<bool, 128> direct{};  // written as it is by the encoder
  std::array<int, 128> base64{};   // the letter's value, or -1
  Classes() {
    base64.fill(-1);
    for (int i = 0; i < 64; ++i) base64[static_cast<unsigned char>(kBase64[i])] = i;
    const std::string_view setD =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'(),-./:?";
    const std::string_view setO = "!\"#$%&*;<=>@[]^_`{|}";
    const std::string_view white = "\t\r\n ";
    for (std::string_view set : {setD, setO, white})
      for (char c : set) direct[static_cast<unsigned char>(c)] = true;
  }
};

const Classes& Table() {
  static const Classes classes;
  return classes;
}

}  // namespace

std::string WideToUtf7Text(std::u16string_view text) {
  if (text.empty()) return std::string();
  const Classes& t = Table();
  std::string out(text.size() * 7, '\0');
  std::size_t n = 0;
  auto put = [&](char c) {
    if (n >= out.size()) throw EWideInternalError(SBufferOverflow);
    out[n++] = c;
  };
  bool shifted = false;
  std::uint32_t bits = 0;  // pending bits, the lowest `count` of them
  int count = 0;
  auto flush = [&] {
    if (count > 0) put(kBase64[(bits << (6 - count)) & 0x3F]);
    bits = 0;
    count = 0;
  };
  for (char16_t c : text) {
    const bool direct = c < 128 && t.direct[c];
    if (shifted) {
      if (direct) {
        flush();
        shifted = false;
        if (t.base64[c] >= 0 || c == u'-') put('-');
        put(static_cast<char>(c));
        continue;
      }
    } else if (c == u'+') {
      put('+');
      put('-');
      continue;
    } else if (direct) {
      put(static_cast<char>(c));
      continue;
    } else {
      put('+');
      shifted = true;
    }
    bits = (bits << 16) | c;
    count += 16;
    while (count >= 6) {
      count -= 6;
      put(kBase64[(bits >> count) & 0x3F]);
    }
    bits &= (1u << count) - 1;
  }
  if (shifted) flush();
  out.resize(n);
  return out;
}

std::u16string Utf7TextToWide(std::string_view text) {
  if (text.empty()) return std::u16string();
  const Classes& t = Table();
  std::u16string out(text.size(), u'\0');
  std::size_t n = 0;
  auto put = [&](char16_t c) {
    if (n >= out.size()) throw EWideInternalError(SBufferOverflow);
    out[n++] = c;
  };
  bool shifted = false;
  bool yielded = false;  // the current run gave a character
  std::uint32_t bits = 0;
  int count = 0;
  auto endRun = [&] {
    if (!yielded || (bits & ((1u << count) - 1)) != 0) throw EWideGeneralError(SInvalidUtf7);
    shifted = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b > 127) throw EWideGeneralError(SInvalidUtf7);
    if (shifted) {
      const int value = t.base64[b];
      if (value >= 0) {
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 16) {
          count -= 16;
          put(static_cast<char16_t>(bits >> count));
          bits &= (1u << count) - 1;
          yielded = true;
        }
        continue;
      }
      endRun();
      if (b == '-') continue;  // the closing "-" is not text
    }
    if (b != '+') {
      put(static_cast<char16_t>(b));
    } else if (i + 1 < text.size() && text[i + 1] == '-') {
      put(u'+');
      ++i;
    } else {
      shifted = true;
      yielded = false;
      bits = 0;
      count = 0;
    }
  }
  if (shifted) endRun();
  out.resize(n);
  return out;
}

}  // namespace widestring
