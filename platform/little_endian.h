// Little-endian integers and doubles in bytes, the byte order of every file format and frame
// this program reads, whatever the machine's own: loads and stores at a pointer, and bounded
// reads at offsets of a byte range.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace platform {

constexpr std::uint16_t LoadLE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

constexpr std::uint32_t LoadLE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr std::uint64_t LoadLE64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(LoadLE32(p)) | static_cast<std::uint64_t>(LoadLE32(p + 4)) << 32;
}

// An IEEE double stored as 8 little-endian bytes.
constexpr double LoadLEDouble(const std::uint8_t* p) { return std::bit_cast<double>(LoadLE64(p)); }

constexpr void StoreLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

constexpr void StoreLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Bounded reads at offsets of a byte range: every read outside the range gives 0 and clears
// ok, so that a reader can take all its fields first and check once.
struct LEBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  bool ok = true;

  LEBytes() = default;
  LEBytes(const std::uint8_t* d, std::size_t n) : data(d), size(n) {}

  bool Has(std::size_t offset, std::size_t count) const { return offset <= size && count <= size - offset; }
  std::uint8_t Byte(std::size_t o) { return Has(o, 1) ? data[o] : Fail(); }
  std::uint16_t Word(std::size_t o) { return Has(o, 2) ? LoadLE16(data + o) : Fail(); }
  std::uint32_t DWord(std::size_t o) { return Has(o, 4) ? LoadLE32(data + o) : Fail(); }
  double Double(std::size_t o) { return Has(o, 8) ? LoadLEDouble(data + o) : Fail(); }

 protected:
  std::uint8_t Fail() {
    ok = false;
    return 0;
  }
};

}  // namespace platform
