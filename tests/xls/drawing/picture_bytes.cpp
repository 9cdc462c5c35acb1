#include "picture_bytes.h"

#include <string>

namespace xls::test {
namespace {

void Be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}
void Le16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Le32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Chunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& data) {
  Be32(png, static_cast<std::uint32_t>(data.size()));
  std::vector<std::uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  Be32(png, Crc32(body.data(), body.size()));
}

// Red, green and blue bands that differ by seed.
void Pixel(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t seed, std::uint8_t rgb[3]) {
  const std::uint32_t band = (x * 3 / width + seed) % 3;
  rgb[0] = band == 0 ? 230 : 20;
  rgb[1] = band == 1 ? 200 : static_cast<std::uint8_t>(y * 4);
  rgb[2] = band == 2 ? 220 : 30;
}

}  // namespace

std::vector<std::uint8_t> MakePng(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  std::vector<std::uint8_t> raw;
  for (std::uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t rgb[3];
      Pixel(x, y, width, seed, rgb);
      raw.insert(raw.end(), rgb, rgb + 3);
    }
  }
  std::vector<std::uint8_t> z = {0x78, 0x01};
  for (std::size_t at = 0; at < raw.size() || at == 0;) {
    const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
    z.push_back(at + n == raw.size() ? 1 : 0);
    Le16(z, static_cast<std::uint32_t>(n));
    Le16(z, static_cast<std::uint32_t>(~n & 0xFFFF));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    if (n == 0) break;
  }
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  Be32(z, (b << 16) | a);
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<std::uint8_t> ihdr;
  Be32(ihdr, width);
  Be32(ihdr, height);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  return png;
}

std::vector<std::uint8_t> MakeBmp(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  const std::uint32_t stride = (width * 3 + 3) & ~3u;
  std::vector<std::uint8_t> bmp = {'B', 'M'};
  Le32(bmp, 54 + stride * height);
  Le32(bmp, 0);
  Le32(bmp, 54);
  Le32(bmp, 40);
  Le32(bmp, width);
  Le32(bmp, height);
  Le16(bmp, 1);
  Le16(bmp, 24);
  for (int i = 0; i < 6; ++i) Le32(bmp, 0);
  for (std::uint32_t y = height; y-- > 0;) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t rgb[3];
      Pixel(x, y, width, seed, rgb);
      bmp.insert(bmp.end(), {rgb[2], rgb[1], rgb[0]});
    }
    for (std::uint32_t p = width * 3; p < stride; ++p) bmp.push_back(0);
  }
  return bmp;
}

}  // namespace xls::test
