// The RC4 stream cipher, and the per-block keys of the RC4 encryption of BIFF8 workbooks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xls/io/crypto/hashes.h"

namespace xls {

class TRC4 {
 public:
  // The key schedule: S from the identity, j accumulating the key bytes cyclically; i, j := 0.
  void KeySchedule(const std::uint8_t* key, std::size_t keyLength);
  // XORs the next count bytes of key stream into the buffer; i and j carry over between calls.
  void Crypt(std::uint8_t* buffer, std::size_t count);
  // Drops count bytes of key stream.
  void Discard(std::size_t count);
  // Keys the cipher for one 1024-byte block of the workbook stream: the RC4 key is the MD5 of
  // the first 5 bytes of the derived key followed by the block number (32-bit little-endian).
  void SetBlockKey(std::uint32_t block, const TDigest16& derivedKey);

 private:
  std::uint8_t s_[256];
  std::uint8_t i_ = 0, j_ = 0;
};

}  // namespace xls
