// Pictures for the drawing tests, made here: an uncompressed PNG (stored deflate blocks) and a
// 24-bit BMP of a given size and colour pattern.
#pragma once

#include <cstdint>
#include <vector>

namespace xls::test {

std::vector<std::uint8_t> MakePng(std::uint32_t width, std::uint32_t height, std::uint32_t seed);
std::vector<std::uint8_t> MakeBmp(std::uint32_t width, std::uint32_t height, std::uint32_t seed);

}  // namespace xls::test
