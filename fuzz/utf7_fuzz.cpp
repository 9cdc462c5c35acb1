// The UTF-7 decoder over arbitrary bytes: it reads the text or refuses it as "Invalid UTF7",
// and what it reads encodes and reads back unchanged. The same bytes taken as UTF-16 text
// encode into 7-bit text that reads back as that text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "controls/widestring/utf7.h"
#include "controls/widestring/wide_texts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const std::u16string text = widestring::Utf7TextToWide(bytes);
    if (text.size() > size) __builtin_trap();
    if (widestring::Utf7TextToWide(widestring::WideToUtf7Text(text)) != text) __builtin_trap();
  } catch (const widestring::EWideGeneralError& e) {
    if (std::strcmp(e.what(), widestring::SInvalidUtf7) != 0) __builtin_trap();
  }
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  const std::string encoded = widestring::WideToUtf7Text(units);
  for (char c : encoded)
    if (static_cast<unsigned char>(c) > 127) __builtin_trap();
  if (widestring::Utf7TextToWide(encoded) != units) __builtin_trap();
  return 0;
}
