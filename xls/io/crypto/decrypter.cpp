#include "xls/io/crypto/decrypter.h"

#include <algorithm>
#include <cstring>

#include "xls/model/codepage.h"

namespace xls {
namespace {

std::vector<std::uint8_t> Utf16Le(const std::u16string& text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

inline std::uint8_t Rol8(std::uint8_t b, int n) { return static_cast<std::uint8_t>((b << n) | (b >> (8 - n))); }

}  // namespace

const char* DecryptStatusText(int status) {
  switch (status) {
    case kDecryptBadRecord: return "bad encryption record";
    case kDecryptUnsupported: return "unsupported encryption";
    case kDecryptNoPassword: return "password required";
    case kDecryptPasswordTooLong: return "password too long";
    case kDecryptWrongPassword: return "wrong password";
    default: return "";
  }
}

void TXLSDecrypter::Decrypt(TXLSBlob& blob, std::uint32_t count) {
  Decrypt(blob.GetData(), std::min(count, blob.GetSize()));
}

// --- RC4 ---

int TXLSDecrypterRC4::CheckPassword(const TXLSBlob& body, const std::u16string& password) {
  // type, version (2 words), salt (16), encrypted verifier (16), encrypted verifier hash (16)
  if (body.GetSize() < 54) return kDecryptBadRecord;
  if (password.size() > kMaxPassword) return kDecryptPasswordTooLong;
  const std::uint8_t* salt = body.GetData() + 6;
  std::vector<std::uint8_t> utf16 = Utf16Le(password);
  TDigest16 h0 = MD5(utf16.data(), utf16.size());
  TMD5Hash keyHolder;
  for (int k = 0; k < 16; ++k) {
    keyHolder.Update(h0.data(), 5);
    keyHolder.Update(salt, 16);
  }
  derivedKey_ = keyHolder.Final();
  cipher_.SetBlockKey(0, derivedKey_);
  std::uint8_t verifier[32];
  std::memcpy(verifier, body.GetData() + 22, 32);
  cipher_.Crypt(verifier, 32);
  TDigest16 hash = MD5(verifier, 16);
  if (std::memcmp(hash.data(), verifier + 16, 16) != 0) return kDecryptWrongPassword;
  password_ = password;
  currentBlock_ = -1;
  position_ = 0;
  return 1;
}

void TXLSDecrypterRC4::SetBlock(std::uint32_t block) { cipher_.SetBlockKey(block, derivedKey_); }

void TXLSDecrypterRC4::Decrypt(std::uint8_t* data, std::uint32_t count) {
  while (count > 0) {
    std::uint32_t block = position_ / kBlockSize, inBlock = position_ % kBlockSize;
    if (block != currentBlock_) {
      SetBlock(block);
      cipher_.Discard(inBlock);
      currentBlock_ = block;
    }
    std::uint32_t n = std::min(count, kBlockSize - inBlock);
    cipher_.Crypt(data, n);
    data += n;
    position_ += n;
    count -= n;
  }
}

void TXLSDecrypterRC4::Skip(std::uint32_t count) {
  // Straight to the block of the new position, discarding only its part before that position.
  const std::uint32_t target = position_ + count;
  const std::uint32_t block = target / kBlockSize;
  if (block != currentBlock_) {
    SetBlock(block);
    cipher_.Discard(target % kBlockSize);
    currentBlock_ = block;
  } else {
    cipher_.Discard(count);
  }
  position_ = target;
}


// --- RC4 CryptoAPI ---

int TXLSDecrypterCryptoAPI::CheckPassword(const TXLSBlob& body, const std::u16string& password) {
  // type (2), version (2 words), flags (4), header size (4), header, verifier
  const std::uint32_t size = body.GetSize();
  if (size < 14) return kDecryptBadRecord;
  const std::uint32_t headerSize = body.GetDWord(10);
  if (headerSize < 32 || headerSize > size) return kDecryptBadRecord;
  const std::uint32_t verifierAt = 14 + headerSize;
  if (static_cast<std::uint64_t>(verifierAt) + 4 + 16 + 16 + 4 + 20 > size) return kDecryptBadRecord;
  const std::uint32_t algorithm = body.GetDWord(14 + 8), hashAlgorithm = body.GetDWord(14 + 12);
  std::uint32_t keyBits = body.GetDWord(14 + 16);
  if (keyBits == 0) keyBits = 40;
  if ((algorithm != 0x6801 && algorithm != 0) || (hashAlgorithm != 0x8004 && hashAlgorithm != 0) ||
      keyBits < 40 || keyBits > 128 || keyBits % 8 != 0)
    return kDecryptUnsupported;
  if (body.GetDWord(verifierAt) != 16 || body.GetDWord(verifierAt + 36) != 20) return kDecryptBadRecord;
  if (password.size() > kMaxPassword) return kDecryptPasswordTooLong;
  keyBytes_ = keyBits / 8;
  std::vector<std::uint8_t> utf16 = Utf16Le(password);
  TSHA1Hash h;
  h.Update(body.GetData() + verifierAt + 4, 16);
  h.Update(utf16.data(), utf16.size());
  baseHash_ = h.Final();
  SetBlock(0);
  std::uint8_t verifier[36];
  std::memcpy(verifier, body.GetData() + verifierAt + 20, 16);
  std::memcpy(verifier + 16, body.GetData() + verifierAt + 40, 20);
  cipher_.Crypt(verifier, sizeof verifier);
  TDigest20 hash = SHA1(verifier, 16);
  if (std::memcmp(hash.data(), verifier + 16, 20) != 0) return kDecryptWrongPassword;
  password_ = password;
  currentBlock_ = -1;
  position_ = 0;
  return 1;
}

void TXLSDecrypterCryptoAPI::SetBlock(std::uint32_t block) {
  std::uint8_t input[24];
  std::memcpy(input, baseHash_.data(), 20);
  for (int k = 0; k < 4; ++k) input[20 + k] = static_cast<std::uint8_t>(block >> (8 * k));
  TDigest20 hash = SHA1(input, sizeof input);
  // A 40-bit key is used as 128 bits with the rest zero.
  std::uint8_t key[20] = {};
  std::memcpy(key, hash.data(), keyBytes_);
  cipher_.KeySchedule(key, keyBytes_ == 5 ? 16 : keyBytes_);
}

// --- XOR obfuscation ---

std::uint16_t TXLSDecrypterXOR::PasswordVerifier(const std::string& password) {
  // Each byte at 1-based position p rotated left by p within 15 bits; then the length and
  // the constant.
  std::uint32_t v = 0;
  for (std::size_t p = 1; p <= password.size(); ++p) {
    std::uint32_t c = static_cast<std::uint8_t>(password[p - 1]);
    int r = static_cast<int>(p % 15);
    std::uint32_t x = c << r;
    v ^= (x & 0x7FFF) | (x >> 15);
  }
  return static_cast<std::uint16_t>(v ^ password.size() ^ 0xCE4B);
}

int TXLSDecrypterXOR::CheckPassword(const TXLSBlob& body, const std::u16string& password) {
  std::uint16_t key, stored;
  if (body.GetSize() == 4) {
    key = body.GetWord(0);
    stored = body.GetWord(2);
  } else if (body.GetSize() >= 6) {
    key = body.GetWord(2);
    stored = body.GetWord(4);
  } else {
    return kDecryptBadRecord;
  }
  std::string bytes = WideToAnsi(password);
  if (PasswordVerifier(bytes) != stored) return kDecryptWrongPassword;
  static constexpr std::uint8_t kPad[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                            0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};
  for (std::size_t k = 0; k < 16; ++k) {
    std::uint8_t b = k < bytes.size() ? static_cast<std::uint8_t>(bytes[k])
                     : k - bytes.size() < 15 ? kPad[k - bytes.size()]
                                             : 0;
    b ^= static_cast<std::uint8_t>(k % 2 == 0 ? key : key >> 8);
    array_[k] = Rol8(b, 2);
  }
  position_ = 0;
  return 1;
}

void TXLSDecrypterXOR::Decrypt(std::uint8_t* data, std::uint32_t count) {
  std::uint32_t index = (position_ + count) % 16;
  for (std::uint32_t k = 0; k < count; ++k) {
    data[k] = static_cast<std::uint8_t>(Rol8(data[k], 3) ^ array_[index]);
    index = (index + 1) % 16;
  }
  position_ += count;
}

// --- choosing the scheme ---

std::unique_ptr<TXLSDecrypter> CreateDecrypter(const TXLSBlob& body, int& status) {
  status = 1;
  if (body.GetSize() < 2) {
    status = kDecryptBadRecord;
    return nullptr;
  }
  std::uint16_t type = body.GetWord(0);
  if (type == 0 || body.GetSize() == 4) return std::make_unique<TXLSDecrypterXOR>();
  if (type == 1) {
    if (body.GetSize() < 6) {
      status = kDecryptBadRecord;
      return nullptr;
    }
    std::uint16_t major = body.GetWord(2), minor = body.GetWord(4);
    if (major == 1 && minor == 1) return std::make_unique<TXLSDecrypterRC4>();
    if ((major == 2 || major == 3 || major == 4) && minor == 2) return std::make_unique<TXLSDecrypterCryptoAPI>();
  }
  status = kDecryptUnsupported;
  return nullptr;
}

}  // namespace xls
