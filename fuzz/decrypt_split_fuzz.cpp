// A workbook stream decrypted in pieces split at fuzzer-chosen points, some pieces skipped, must
// give the same plaintext as one decryption of the whole: RC4 and RC4 CryptoAPI re-key at every
// 1024 bytes of stream however the reads fall.
//
// Input: byte 0 picks the scheme and the key size, bytes 1-2 the start position (in 64-byte
// steps), then pairs of (piece length, skip?) bytes until a zero length, then the data.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "xls/io/crypto/decrypter.h"

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::vector<std::uint8_t> Utf16(const std::u16string& s) {
  std::vector<std::uint8_t> out;
  for (char16_t c : s) Put16(out, c);
  return out;
}

const std::u16string kPassword = u"split";

// FILEPASS bodies for the password, encrypted with our own primitives (RC4 is its own inverse).
std::vector<std::uint8_t> Rc4FilePass() {
  std::vector<std::uint8_t> body = {1, 0, 1, 0, 1, 0};
  std::uint8_t salt[16];
  for (int i = 0; i < 16; ++i) salt[i] = static_cast<std::uint8_t>(i * 13);
  body.insert(body.end(), salt, salt + 16);
  std::vector<std::uint8_t> pw = Utf16(kPassword);
  xls::TDigest16 h0 = xls::MD5(pw.data(), pw.size());
  xls::TMD5Hash holder;
  for (int i = 0; i < 16; ++i) {
    holder.Update(h0.data(), 5);
    holder.Update(salt, 16);
  }
  xls::TRC4 rc4;
  rc4.SetBlockKey(0, holder.Final());
  std::uint8_t verifier[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  xls::TDigest16 hash = xls::MD5(verifier, 16);
  std::memcpy(verifier + 16, hash.data(), 16);
  rc4.Crypt(verifier, 32);
  body.insert(body.end(), verifier, verifier + 32);
  return body;
}

std::vector<std::uint8_t> CryptoApiFilePass(std::uint32_t keyBits) {
  std::vector<std::uint8_t> body = {1, 0, 2, 0, 2, 0};
  Put32(body, 0);   // flags
  Put32(body, 32);  // header size: no provider name
  for (std::uint32_t v : {0u, 0u, 0x6801u, 0x8004u, keyBits, 1u, 0u, 0u}) Put32(body, v);
  Put32(body, 16);
  std::uint8_t salt[16];
  for (int i = 0; i < 16; ++i) salt[i] = static_cast<std::uint8_t>(200 - i);
  body.insert(body.end(), salt, salt + 16);
  std::vector<std::uint8_t> pw = Utf16(kPassword);
  xls::TSHA1Hash h;
  h.Update(salt, 16);
  h.Update(pw.data(), pw.size());
  xls::TDigest20 base = h.Final();
  std::uint8_t input[24] = {};
  std::memcpy(input, base.data(), 20);
  xls::TDigest20 blockHash = xls::SHA1(input, 24);
  std::uint8_t key[20] = {};
  std::memcpy(key, blockHash.data(), keyBits / 8);
  xls::TRC4 rc4;
  rc4.KeySchedule(key, keyBits == 40 ? 16 : keyBits / 8);
  std::uint8_t verifier[36] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
  xls::TDigest20 hash = xls::SHA1(verifier, 16);
  std::memcpy(verifier + 16, hash.data(), 20);
  rc4.Crypt(verifier, 36);
  body.insert(body.end(), verifier, verifier + 16);
  Put32(body, 20);
  body.insert(body.end(), verifier + 16, verifier + 36);
  return body;
}

std::unique_ptr<xls::TXLSDecrypter> Make(std::uint8_t choice) {
  static const std::vector<std::uint8_t> bodies[] = {Rc4FilePass(), CryptoApiFilePass(40), CryptoApiFilePass(128),
                                                     CryptoApiFilePass(56)};
  const std::vector<std::uint8_t>& bytes = bodies[choice % 4];
  xls::TXLSBlob body(static_cast<std::uint32_t>(bytes.size()));
  body.PutBuffer(bytes.data(), 0, static_cast<std::uint32_t>(bytes.size()), 0);
  body.SetSize(static_cast<std::uint32_t>(bytes.size()));
  int status;
  auto d = xls::CreateDecrypter(body, status);
  if (!d || d->CheckPassword(body, kPassword) != 1) __builtin_trap();
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t choice = data[0];
  const std::uint32_t start = (data[1] | data[2] << 8) * 64u;
  std::size_t at = 3;
  std::vector<std::pair<std::uint32_t, bool>> pieces;
  while (at + 1 < size && data[at] != 0) {
    pieces.emplace_back(data[at] * 7u, data[at + 1] & 1);
    at += 2;
  }
  if (at < size) ++at;
  std::vector<std::uint8_t> whole(data + at, data + size), split = whole;
  auto one = Make(choice), parts = Make(choice);
  one->Skip(start);
  parts->Skip(start);
  one->Decrypt(whole.data(), static_cast<std::uint32_t>(whole.size()));
  std::vector<bool> skipped(split.size(), false);
  std::uint32_t done = 0;
  for (std::size_t i = 0; done < split.size(); ++i) {
    std::uint32_t n = i < pieces.size() ? pieces[i].first : static_cast<std::uint32_t>(split.size()) - done;
    n = std::min<std::uint32_t>(n, static_cast<std::uint32_t>(split.size()) - done);
    if (i < pieces.size() && pieces[i].second) {
      parts->Skip(n);
      for (std::uint32_t k = 0; k < n; ++k) skipped[done + k] = true;
    } else {
      parts->Decrypt(split.data() + done, n);
    }
    done += n;
  }
  if (parts->Position() != one->Position()) __builtin_trap();
  for (std::size_t k = 0; k < split.size(); ++k)
    if (!skipped[k] && split[k] != whole[k]) __builtin_trap();
  return 0;
}
