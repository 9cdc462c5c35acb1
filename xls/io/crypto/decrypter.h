// Decryption of password-protected BIFF workbooks: the read stream creates a decrypter for the
// FILEPASS record it meets, lets it check a password against the record, and then hands it
// every record body (or the count of bytes that stay plain) with the stream position.
//
// Three schemes: XOR obfuscation (FILEPASS type 0), RC4 with MD5 keys (type 1, version 1.1)
// and RC4 CryptoAPI with SHA-1 keys (type 1, versions 2.2, 3.2 and 4.2). Both RC4 schemes key
// the cipher afresh for every 1024 bytes of the workbook stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/io/crypto/hashes.h"
#include "xls/io/crypto/rc4.h"
#include "xls/model/blob.h"

namespace xls {

// Status codes of decryption, beside the library's 1 for success.
constexpr int kDecryptBadRecord = -1001;       // FILEPASS too short or malformed
constexpr int kDecryptUnsupported = -1002;     // encryption type or version not known
constexpr int kDecryptNoPassword = -1003;      // the default password fails and none was given
constexpr int kDecryptPasswordTooLong = -1004;
constexpr int kDecryptWrongPassword = -1005;
// The text of a decryption status; empty for other values.
const char* DecryptStatusText(int status);

// The password that opens workbooks that are encrypted only to protect their structure.
inline constexpr char16_t kDefaultPassword[] = u"VelvetSweatshop";

class TXLSDecrypter {
 public:
  virtual ~TXLSDecrypter() = default;
  // 1 when the password opens the FILEPASS body; the decrypter is then at stream position 0.
  virtual int CheckPassword(const TXLSBlob& body, const std::u16string& password) = 0;
  // Advances the stream position (and the key stream) over count bytes that stay plain.
  virtual void Skip(std::uint32_t count) = 0;
  // Decrypts count bytes in place and advances the position.
  virtual void Decrypt(std::uint8_t* data, std::uint32_t count) = 0;
  // The first count bytes of the blob (at most its size).
  void Decrypt(TXLSBlob& blob, std::uint32_t count);
  std::uint32_t Position() const { return position_; }

 protected:
  std::uint32_t position_ = 0;
};

// RC4 with MD5 keys (the encryption of Office 97-2000 binary documents).
class TXLSDecrypterRC4 : public TXLSDecrypter {
 public:
  static constexpr std::uint32_t kBlockSize = 1024;
  static constexpr std::size_t kMaxPassword = 31;

  int CheckPassword(const TXLSBlob& body, const std::u16string& password) override;
  void Skip(std::uint32_t count) override;
  void Decrypt(std::uint8_t* data, std::uint32_t count) override;
  using TXLSDecrypter::Decrypt;

 protected:
  // Keys the cipher for a block of the stream.
  virtual void SetBlock(std::uint32_t block);

  std::u16string password_;
  TDigest16 derivedKey_{};
  TRC4 cipher_;
  std::int64_t currentBlock_ = -1;
};

// RC4 CryptoAPI: the key of block b is SHA-1(SHA-1(salt, password), b), cut to the key size.
class TXLSDecrypterCryptoAPI : public TXLSDecrypterRC4 {
 public:
  static constexpr std::size_t kMaxPassword = 255;
  int CheckPassword(const TXLSBlob& body, const std::u16string& password) override;

 protected:
  void SetBlock(std::uint32_t block) override;

 private:
  TDigest20 baseHash_{};
  std::uint32_t keyBytes_ = 5;
};

// XOR obfuscation: a 16-byte array from the password and the key word of the FILEPASS record.
class TXLSDecrypterXOR : public TXLSDecrypter {
 public:
  int CheckPassword(const TXLSBlob& body, const std::u16string& password) override;
  void Skip(std::uint32_t count) override { position_ += count; }
  void Decrypt(std::uint8_t* data, std::uint32_t count) override;
  using TXLSDecrypter::Decrypt;

  // The published 16-bit password verifier of 8-bit password bytes.
  static std::uint16_t PasswordVerifier(const std::string& password);

 private:
  std::uint8_t array_[16] = {};
};

// The decrypter that a FILEPASS body asks for: XOR for type 0 or a 4-byte body, RC4 for type 1
// version 1.1, CryptoAPI for type 1 versions 2.2, 3.2 and 4.2; nullptr with the status
// kDecryptBadRecord (body under 2 bytes, or a type-1 body without its version) or
// kDecryptUnsupported (any other type or version).
std::unique_ptr<TXLSDecrypter> CreateDecrypter(const TXLSBlob& body, int& status);

}  // namespace xls
