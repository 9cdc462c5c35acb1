#include "xls/io/crypto/hashes.h"

#include <cstring>

#include "platform/little_endian.h"

namespace xls {
namespace {

inline std::uint32_t Rol(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

using platform::LoadLE32;
inline std::uint32_t LoadBE(const std::uint8_t* p) {
  return std::uint32_t(p[3]) | std::uint32_t(p[2]) << 8 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[0]) << 24;
}

// The 64-byte block buffering that MD4, MD5 and SHA-1 share: whole blocks go to transform,
// the rest waits in the buffer.
template <class Transform>
void Feed(std::uint8_t* buffer, std::uint64_t& byteCount, const void* data, std::size_t length, Transform transform) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::size_t used = static_cast<std::size_t>(byteCount % 64);
  byteCount += length;
  if (used) {
    std::size_t take = std::min<std::size_t>(64 - used, length);
    std::memcpy(buffer + used, p, take);
    p += take;
    length -= take;
    if (used + take < 64) return;
    transform(buffer);
  }
  for (; length >= 64; p += 64, length -= 64) transform(p);
  if (length) std::memcpy(buffer, p, length);
}

// The padding of all three: 0x80, zeros, and the message length in bits in the last 8 bytes
// (little-endian for MD4 and MD5, big-endian for SHA-1).
template <class Update>
void Pad(std::uint64_t byteCount, bool bigEndian, Update update) {
  std::uint8_t pad[72] = {0x80};
  std::size_t used = static_cast<std::size_t>(byteCount % 64);
  std::size_t padLength = (used < 56 ? 56 : 120) - used;
  std::uint64_t bits = byteCount * 8;
  for (int i = 0; i < 8; ++i)
    pad[padLength + i] = static_cast<std::uint8_t>(bits >> (bigEndian ? 56 - 8 * i : 8 * i));
  update(pad, padLength + 8);
}

template <std::size_t N>
std::array<std::uint8_t, N * 4> StoreWords(const std::uint32_t* words, bool bigEndian) {
  std::array<std::uint8_t, N * 4> out{};
  for (std::size_t i = 0; i < N * 4; ++i)
    out[i] = static_cast<std::uint8_t>(words[i / 4] >> (bigEndian ? 24 - 8 * (i % 4) : 8 * (i % 4)));
  return out;
}

}  // namespace

// --- MD5 ---

void TMD5Hash::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xEFCDAB89;
  state_[2] = 0x98BADCFE;
  state_[3] = 0x10325476;
  byteCount_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
}

void TMD5Hash::Update(const void* data, std::size_t length) {
  Feed(buffer_, byteCount_, data, length, [this](const std::uint8_t* b) { Transform(b); });
}

TDigest16 TMD5Hash::GetState() const { return StoreWords<4>(state_, false); }

TDigest16 TMD5Hash::Final() {
  Pad(byteCount_, false, [this](const std::uint8_t* p, std::size_t n) {
    std::uint64_t keep = byteCount_;
    Update(p, n);
    byteCount_ = keep;
  });
  return GetState();
}

TDigest16 TMD5Hash::Digest(const void* data, std::size_t length) {
  TMD5Hash h;
  h.Update(data, length);
  return h.GetState();
}

TDigest16 MD5(const void* data, std::size_t length) {
  TMD5Hash h;
  h.Update(data, length);
  return h.Final();
}

void TMD5Hash::Transform(const std::uint8_t* block) {
  static constexpr std::uint32_t K[64] = {
      0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
      0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
      0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
      0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
      0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
      0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
      0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
      0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
  static constexpr int S[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLE32(block + 4 * i);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    switch (i / 16) {
      case 0: f = (b & c) | (~b & d); g = i; break;
      case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
    }
    std::uint32_t t = d;
    d = c;
    c = b;
    b = b + Rol(a + f + K[i] + x[g], S[i / 16][i % 4]);
    a = t;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

// --- MD4 ---

void TMD4Hash::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xEFCDAB89;
  state_[2] = 0x98BADCFE;
  state_[3] = 0x10325476;
  byteCount_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
}

void TMD4Hash::Update(const void* data, std::size_t length) {
  Feed(buffer_, byteCount_, data, length, [this](const std::uint8_t* b) { Transform(b); });
}

TDigest16 TMD4Hash::Final() {
  Pad(byteCount_, false, [this](const std::uint8_t* p, std::size_t n) {
    std::uint64_t keep = byteCount_;
    Update(p, n);
    byteCount_ = keep;
  });
  return StoreWords<4>(state_, false);
}

TDigest16 MD4(const void* data, std::size_t length) {
  TMD4Hash h;
  h.Update(data, length);
  return h.Final();
}

void TMD4Hash::Transform(const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLE32(block + 4 * i);
  std::uint32_t v[4] = {state_[0], state_[1], state_[2], state_[3]};
  // Round r, step i works on v[(16 - i) % 4] with the other three in order.
  auto step = [&](int r, int i, int k, int s) {
    std::uint32_t& a = v[(4 - i % 4) % 4];
    std::uint32_t b = v[(5 - i % 4) % 4], c = v[(6 - i % 4) % 4], d = v[(7 - i % 4) % 4];
    std::uint32_t f = r == 0 ? ((b & c) | (~b & d)) : r == 1 ? ((b & c) | (b & d) | (c & d)) : (b ^ c ^ d);
    std::uint32_t add = r == 0 ? 0 : r == 1 ? 0x5A827999 : 0x6ED9EBA1;
    a = Rol(a + f + x[k] + add, s);
  };
  static constexpr int S[3][4] = {{3, 7, 11, 19}, {3, 5, 9, 13}, {3, 9, 11, 15}};
  static constexpr int K3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  for (int i = 0; i < 16; ++i) step(0, i, i, S[0][i % 4]);
  for (int i = 0; i < 16; ++i) step(1, i, (i % 4) * 4 + i / 4, S[1][i % 4]);
  for (int i = 0; i < 16; ++i) step(2, i, K3[i], S[2][i % 4]);
  for (int i = 0; i < 4; ++i) state_[i] += v[i];
}

// --- SHA-1 ---

void TSHA1Hash::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xEFCDAB89;
  state_[2] = 0x98BADCFE;
  state_[3] = 0x10325476;
  state_[4] = 0xC3D2E1F0;
  byteCount_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
}

void TSHA1Hash::Update(const void* data, std::size_t length) {
  Feed(buffer_, byteCount_, data, length, [this](const std::uint8_t* b) { Transform(b); });
}

TDigest20 TSHA1Hash::Final() {
  Pad(byteCount_, true, [this](const std::uint8_t* p, std::size_t n) {
    std::uint64_t keep = byteCount_;
    Update(p, n);
    byteCount_ = keep;
  });
  return StoreWords<5>(state_, true);
}

TDigest20 SHA1(const void* data, std::size_t length) {
  TSHA1Hash h;
  h.Update(data, length);
  return h.Final();
}

void TSHA1Hash::Transform(const std::uint8_t* block) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = LoadBE(block + 4 * i);
  for (int i = 16; i < 80; ++i) w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) f = (b & c) | (~b & d), k = 0x5A827999;
    else if (i < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
    else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
    else f = b ^ c ^ d, k = 0xCA62C1D6;
    std::uint32_t t = Rol(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rol(b, 30);
    b = a;
    a = t;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
}

}  // namespace xls
