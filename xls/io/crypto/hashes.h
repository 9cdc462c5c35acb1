// MD4 (RFC 1320), MD5 (RFC 1321) and SHA-1 (RFC 3174), the hashes that the decryption of
// password-protected workbooks derives its keys with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace xls {

using TDigest16 = std::array<std::uint8_t, 16>;
using TDigest20 = std::array<std::uint8_t, 20>;

// MD5 with its state open: GetState copies the chaining words as they stand, so a caller that
// pads its own blocks (0x80, zeros, the bit length in the last 8 bytes) gets the digest without
// Final; Final pads whatever was fed in and gives the digest of the whole input.
class TMD5Hash {
 public:
  TMD5Hash() { Init(); }
  void Init();
  void Update(const void* data, std::size_t length);
  TDigest16 GetState() const;
  TDigest16 Final();
  // Init, Update and GetState: the digest of input that the caller has already padded.
  static TDigest16 Digest(const void* data, std::size_t length);

 private:
  void Transform(const std::uint8_t* block);

  std::uint32_t state_[4];
  std::uint64_t byteCount_ = 0;
  std::uint8_t buffer_[64];
};

// Digest of caller-padded input (a temporary TMD5Hash); MD5 the full digest of any input.
inline TDigest16 MD5Block(const void* data, std::size_t length) { return TMD5Hash::Digest(data, length); }
TDigest16 MD5(const void* data, std::size_t length);

class TMD4Hash {
 public:
  TMD4Hash() { Init(); }
  void Init();
  void Update(const void* data, std::size_t length);
  TDigest16 Final();

 private:
  void Transform(const std::uint8_t* block);

  std::uint32_t state_[4];
  std::uint64_t byteCount_ = 0;
  std::uint8_t buffer_[64];
};
TDigest16 MD4(const void* data, std::size_t length);

class TSHA1Hash {
 public:
  TSHA1Hash() { Init(); }
  void Init();
  void Update(const void* data, std::size_t length);
  TDigest20 Final();

 private:
  void Transform(const std::uint8_t* block);

  std::uint32_t state_[5];
  std::uint64_t byteCount_ = 0;
  std::uint8_t buffer_[64];
};
TDigest20 SHA1(const void* data, std::size_t length);

}  // namespace xls
