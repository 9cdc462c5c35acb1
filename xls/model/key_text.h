// Fixed-width upper-case hexadecimal fields inside the key strings of fonts and cell formats.
#pragma once

#include <cstdint>
#include <string>

namespace xls {

// value as exactly width upper-case hex digits (the low 4 x width bits).
std::u16string HexDigits(std::uint32_t value, int width);
// The same digits appended to key, which builds a key without a string per field.
void AppendHex(std::u16string& key, std::uint32_t value, int width);
// The hex field at 1-based position pos of the given width; 0 when the key is too short or
// the field holds a character that is no hex digit.
std::uint32_t HexField(const std::u16string& key, int pos, int width);
// Characters pos..pos+width-1 (1-based) of the key, empty when it is too short.
std::u16string KeyPart(const std::u16string& key, int pos, int width);
// Characters pos..end (1-based).
std::u16string KeyTail(const std::u16string& key, int pos);

// The longest texts that the records' length fields hold.
constexpr std::size_t kMaxShortText = 255;    // one-byte lengths: font, format, style names
constexpr std::size_t kMaxCellText = 32767;   // cell texts

}  // namespace xls
