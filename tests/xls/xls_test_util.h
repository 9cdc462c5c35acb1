// Helpers shared by the spreadsheet tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/blob.h"

namespace xls::testing {

inline std::vector<std::uint8_t> BlobBytes(const TXLSBlob& b) {
  return std::vector<std::uint8_t>(b.GetData(), b.GetData() + b.GetSize());
}
inline std::vector<std::uint8_t> BlobBytes(const std::unique_ptr<TXLSBlob>& b) { return BlobBytes(*b); }

inline std::vector<std::uint8_t> Utf16(const std::u16string& s) {
  std::vector<std::uint8_t> out;
  for (char16_t c : s) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

inline std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace xls::testing
