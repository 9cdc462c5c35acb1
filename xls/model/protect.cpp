#include "xls/model/protect.h"

namespace xls {

void TXLSProtect::SetPasswordHash(std::uint16_t verifier) {
  // A protection without a password is still a protection: only Unprotect removes it.
  verifier_ = verifier;
  hasPassword_ = verifier != 0;
}

bool TXLSProtect::Protect(const std::string& password) {
  if (hasPassword_ && HashPassword(password) != verifier_) return false;
  protected_ = true;
  if (password.empty()) {
    hasPassword_ = false;
    verifier_ = 0;
  } else {
    verifier_ = HashPassword(password);
    hasPassword_ = true;
  }
  return true;
}

bool TXLSProtect::Unprotect(const std::string& password, bool check) {
  if (check && protected_ && hasPassword_ && HashPassword(password) != verifier_) return false;
  protected_ = false;
  hasPassword_ = false;
  verifier_ = 0;
  return true;
}

std::uint16_t TXLSProtect::HashPassword(const std::string& password) {
  if (password.empty()) return 0;
  std::uint32_t h = 0;
  std::uint32_t i = 0;
  for (unsigned char ch : password) {
    ++i;
    std::uint32_t c = ch & 0x7FFFu;
    std::uint32_t shift = i;
    while (shift > 15) shift -= 15;
    // Rotate within 15 bits: bit 15 never takes part.
    std::uint32_t r = ((c << shift) | (c >> (15 - shift))) & 0x7FFFu;
    h ^= r;
  }
  h ^= static_cast<std::uint32_t>(password.size());
  h ^= 0xCE4Bu;
  return static_cast<std::uint16_t>(h);
}

}  // namespace xls
