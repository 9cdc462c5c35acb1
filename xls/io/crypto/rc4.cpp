#include "xls/io/crypto/rc4.h"

#include <utility>

namespace xls {

void TRC4::KeySchedule(const std::uint8_t* key, std::size_t keyLength) {
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<std::uint8_t>(k);
  std::uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + s_[k] + (keyLength ? key[k % keyLength] : 0));
    std::swap(s_[k], s_[j]);
  }
  i_ = j_ = 0;
}

void TRC4::Crypt(std::uint8_t* buffer, std::size_t count) {
  for (std::size_t n = 0; n < count; ++n) {
    i_ = static_cast<std::uint8_t>(i_ + 1);
    j_ = static_cast<std::uint8_t>(j_ + s_[i_]);
    std::swap(s_[i_], s_[j_]);
    if (buffer) buffer[n] ^= s_[static_cast<std::uint8_t>(s_[i_] + s_[j_])];
  }
}

void TRC4::Discard(std::size_t count) { Crypt(nullptr, count); }

void TRC4::SetBlockKey(std::uint32_t block, const TDigest16& derivedKey) {
  std::uint8_t input[9];
  for (int k = 0; k < 5; ++k) input[k] = derivedKey[k];
  for (int k = 0; k < 4; ++k) input[5 + k] = static_cast<std::uint8_t>(block >> (8 * k));
  TDigest16 key = MD5(input, sizeof input);
  KeySchedule(key.data(), key.size());
}

}  // namespace xls
