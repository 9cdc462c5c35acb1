// Protection of a workbook or a worksheet: the protected flag, the 16-bit password verifier
// that the PASSWORD record carries, and the sheet-protection option bits.
#pragma once

#include <cstdint>
#include <string>

namespace xls {

class TXLSProtect {
 public:
  static constexpr std::uint16_t kDefaultOptions = 0x4400;

  bool GetProtected() const { return protected_; }
  bool HasPassword() const { return hasPassword_; }
  std::uint16_t GetPasswordHash() const { return verifier_; }
  std::uint16_t GetOptions() const { return options_; }

  void SetProtected(bool flag) { protected_ = flag; }
  void SetOptions(std::uint16_t bits) { options_ = bits; }
  // 0 clears the password; the protected flag stays as it is (a sheet protected without a
  // password carries PROTECT 1 and PASSWORD 0).
  void SetPasswordHash(std::uint16_t verifier);

  // Protects; when a password is already set, the given one must match it. An empty
  // password protects without one. False when the password did not match.
  bool Protect(const std::string& password);
  // With check, a protection that has a password is removed only by that password.
  bool Unprotect(const std::string& password, bool check);

  // The verifier of an 8-bit password; 0 for the empty password.
  static std::uint16_t HashPassword(const std::string& password);

 private:
  bool protected_ = false;
  bool hasPassword_ = false;
  std::uint16_t verifier_ = 0;
  std::uint16_t options_ = kDefaultOptions;
};

}  // namespace xls
