// MD4, MD5, SHA-1 and RC4 against their published test vectors and against Python's hashlib and
// an RC4 written in the test in Python; the RC4 decrypter against keys that Python derives.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/xls/crypto/crypto_test_support.h"
#include "xls/io/crypto/decrypter.h"
#include "xls/io/crypto/hashes.h"
#include "xls/io/crypto/rc4.h"

namespace xls {
namespace {

template <class Digest>
std::string Hex(const Digest& d) {
  std::string out;
  char buf[3];
  for (auto b : d) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(b));
    out += buf;
  }
  return out;
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string Peer(const std::string& args) {
  std::string out;
  int rc = test::RunCommand("/usr/bin/python3 '" + test::SourceDir() + "/tests/xls/crypto/crypto_peer.py' " + args, out);
  EXPECT_EQ(rc, 0) << out;
  return out;
}

TEST(Hashes, PublishedTestVectors) {
  struct Vector {
    std::string input, md4, md5;
  };
  // RFC 1320 and RFC 1321, appendix A.5 of each.
  const Vector vectors[] = {
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0", "d41d8cd98f00b204e9800998ecf8427e"},
      {"message digest", "d9130a8164549fe818874806e1c7014b", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "e33b4ddc9c38f2199c3e7b164fcc0536", "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& v : vectors) {
    EXPECT_EQ(Hex(MD4(v.input.data(), v.input.size())), v.md4) << v.input;
    EXPECT_EQ(Hex(MD5(v.input.data(), v.input.size())), v.md5) << v.input;
  }
  // RFC 3174 section 7.3, the million "a" fed in uneven pieces.
  const std::string abc = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Hex(SHA1("abc", 3)), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Hex(SHA1(abc.data(), abc.size())), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  TSHA1Hash sha;
  std::string a(1001, 'a');
  for (int i = 0; i < 1000; ++i) sha.Update(a.data(), i % 2 ? 999 : 1001);
  EXPECT_EQ(Hex(sha.Final()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");

  // A block padded by the caller gives the digest through GetState; unpadded input only the
  // chaining state, which is no digest.
  std::uint8_t block[64] = {'a', 'b', 'c', 0x80};
  block[56] = 24;
  EXPECT_EQ(Hex(TMD5Hash::Digest(block, 64)), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Hex(MD5Block("abc", 3)), "0123456789abcdeffedcba9876543210");
}

TEST(Hashes, RandomInputsAgreeWithHashlib) {
  std::mt19937 random(25);
  std::vector<std::vector<std::uint8_t>> inputs;
  for (std::size_t length : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 4097}) {
    std::vector<std::uint8_t> data(length);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    inputs.push_back(data);
  }
  for (int i = 0; i < 40; ++i) {
    std::vector<std::uint8_t> data(random() % 700);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    inputs.push_back(data);
  }
  std::string file = ::testing::TempDir() + "/hash_inputs.txt";
  {
    std::ofstream out(file);
    for (const auto& d : inputs) out << (d.empty() ? std::string() : Hex(d)) << "\n";
  }
  std::istringstream lines(Peer("hashes '" + file + "'"));
  for (const auto& d : inputs) {
    std::string md5, sha1;
    lines >> md5 >> sha1;
    // Fed in two pieces, so that the buffering is exercised as well.
    TMD5Hash h;
    std::size_t cut = d.size() / 3;
    h.Update(d.data(), cut);
    h.Update(d.data() + cut, d.size() - cut);
    EXPECT_EQ(Hex(h.Final()), md5) << "length " << d.size();
    EXPECT_EQ(Hex(SHA1(d.data(), d.size())), sha1) << "length " << d.size();
  }
  std::remove(file.c_str());
}

TEST(RC4, PublishedVectorsAndPythonRC4) {
  // RFC 6229: key 0x0102030405, key stream at offsets 0 and 1536.
  const std::uint8_t key[] = {1, 2, 3, 4, 5};
  TRC4 rc4;
  rc4.KeySchedule(key, 5);
  std::uint8_t stream[16] = {};
  rc4.Crypt(stream, 16);
  EXPECT_EQ(Hex(stream), "b2396305f03dc027ccc3524a0a1118a8");
  rc4.Discard(1536 - 16);
  std::fill(std::begin(stream), std::end(stream), 0);
  rc4.Crypt(stream, 16);
  EXPECT_EQ(Hex(stream), "d8729db41882259bee4f825325f5a130");

  std::mt19937 random(6229);
  std::vector<std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>>> cases;
  for (int i = 0; i < 30; ++i) {
    std::vector<std::uint8_t> k(1 + random() % 32), d(random() % 600);
    for (auto& b : k) b = static_cast<std::uint8_t>(random());
    for (auto& b : d) b = static_cast<std::uint8_t>(random());
    cases.emplace_back(k, d);
  }
  std::string file = ::testing::TempDir() + "/rc4_inputs.txt";
  {
    std::ofstream out(file);
    for (const auto& [k, d] : cases) out << Hex(k) << " " << (d.empty() ? "00" : Hex(d)) << "\n";
  }
  std::istringstream lines(Peer("rc4 '" + file + "'"));
  for (auto& [k, d] : cases) {
    if (d.empty()) d.push_back(0);
    std::string expected;
    lines >> expected;
    TRC4 c;
    c.KeySchedule(k.data(), k.size());
    std::size_t cut = d.size() / 2;
    c.Crypt(d.data(), cut);
    c.Crypt(d.data() + cut, d.size() - cut);
    EXPECT_EQ(Hex(d), expected);
  }
  std::remove(file.c_str());
}

std::unique_ptr<TXLSBlob> BlobOf(const std::vector<std::uint8_t>& bytes) {
  auto blob = std::make_unique<TXLSBlob>(static_cast<std::uint32_t>(bytes.size()));
  for (auto b : bytes) blob->AddByte(b);
  return blob;
}

// Passwords up to the format's 31 characters, 28 to 31 among them (their UTF-16 no longer fits
// one MD5 block with its padding), checked against FILEPASS records made by Python.
TEST(DecrypterRC4, PasswordsOfEveryLengthUpTo31) {
  const std::string salt = "00112233445566778899aabbccddeeff", verifier = "0f1e2d3c4b5a69788796a5b4c3d2e1f0";
  for (std::string password : {std::string("a"), std::string("kestravel"), std::string(27, 'q'), std::string(28, 'x'),
                               std::string("abcdefghijklmnopqrstuvwxyz1234"), std::string(30, 'z') + "!"}) {
    std::string hex = Peer("filepass '" + password + "' " + salt + " " + verifier);
    auto bodyOwned = BlobOf(FromHex(hex.substr(0, hex.find('\n'))));
    TXLSBlob& body = *bodyOwned;
    ASSERT_EQ(body.GetSize(), 54u);
    std::u16string wide(password.begin(), password.end());
    int status;
    auto decrypter = CreateDecrypter(body, status);
    ASSERT_TRUE(decrypter);
    EXPECT_EQ(decrypter->CheckPassword(body, wide), 1) << password.size() << " characters";
    EXPECT_EQ(decrypter->CheckPassword(body, wide + u"x"), wide.size() == 31 ? kDecryptPasswordTooLong
                                                                              : kDecryptWrongPassword);
    EXPECT_EQ(decrypter->CheckPassword(body, std::u16string(32, u'x')), kDecryptPasswordTooLong);
  }
}

// The key stream of a whole workbook stream (re-keyed every 1024 bytes) from Python, against
// our decrypter fed in pieces split anywhere, a piece starting exactly on a block boundary,
// skips that cross blocks among them.
TEST(DecrypterRC4, KeyStreamDoesNotDependOnTheSplit) {
  const std::string salt = "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf", verifier = "00000000000000000000000000000001";
  std::string hex = Peer("filepass 'split' " + salt + " " + verifier);
  auto bodyOwned = BlobOf(FromHex(hex.substr(0, hex.find('\n'))));
    TXLSBlob& body = *bodyOwned;
  std::string ks = Peer("keystream 'split' " + salt + " 5000");
  std::vector<std::uint8_t> expected = FromHex(ks.substr(0, ks.find('\n')));
  ASSERT_EQ(expected.size(), 5000u);
  std::mt19937 random(1024);
  for (int round = 0; round < 20; ++round) {
    TXLSDecrypterRC4 d;
    ASSERT_EQ(d.CheckPassword(body, u"split"), 1);
    std::vector<std::uint8_t> data(5000, 0);
    std::vector<bool> skipped(5000, false);
    std::uint32_t at = 0;
    if (round == 0) {  // 1024 skipped, then a piece from the boundary on
      d.Skip(1024);
      std::fill(skipped.begin(), skipped.begin() + 1024, true);
      at = 1024;
    }
    while (at < 5000) {
      std::uint32_t n = std::min<std::uint32_t>(5000 - at, random() % (round % 2 ? 3000 : 200));
      if (random() % 4 == 0) {
        d.Skip(n);
        std::fill(skipped.begin() + at, skipped.begin() + at + n, true);
      } else {
        d.Decrypt(data.data() + at, n);
      }
      at += n;
      EXPECT_EQ(d.Position(), at);
    }
    for (std::size_t i = 0; i < 5000; ++i)
      if (!skipped[i]) {
        ASSERT_EQ(data[i], expected[i]) << "round " << round << ", byte " << i;
      }
  }
}

TEST(DecrypterXOR, VerifierAndBadRecords) {
  // The published verifier: an empty password leaves only the length and constant terms.
  EXPECT_EQ(TXLSDecrypterXOR::PasswordVerifier(""), 0xCE4B);
  auto empty4Owned = BlobOf({0x34, 0x12, 0x4B, 0xCE});
    TXLSBlob& empty4 = *empty4Owned;  // 4-byte body: key, verifier of ""
  TXLSDecrypterXOR x;
  EXPECT_EQ(x.CheckPassword(empty4, u""), 1);
  EXPECT_EQ(x.CheckPassword(empty4, u"a"), kDecryptWrongPassword);
  auto fiveOwned = BlobOf({0, 0, 0x34, 0x12, 0x4B});
    TXLSBlob& five = *fiveOwned;
  EXPECT_EQ(x.CheckPassword(five, u""), kDecryptBadRecord);

  int status;
  EXPECT_FALSE(CreateDecrypter(*BlobOf({1}), status));
  EXPECT_EQ(status, kDecryptBadRecord);
  EXPECT_FALSE(CreateDecrypter(*BlobOf({2, 0, 1, 0, 1, 0}), status));
  EXPECT_EQ(status, kDecryptUnsupported);
  EXPECT_FALSE(CreateDecrypter(*BlobOf({1, 0, 5, 0, 2, 0}), status));
  EXPECT_EQ(status, kDecryptUnsupported);
  EXPECT_STREQ(DecryptStatusText(kDecryptUnsupported), "unsupported encryption");
  // Short RC4 and CryptoAPI records are refused without reading past them.
  std::vector<std::uint8_t> rc4(53, 0);
  rc4[0] = rc4[2] = rc4[4] = 1;
  auto d = CreateDecrypter(*BlobOf(rc4), status);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->CheckPassword(*BlobOf(rc4), u"x"), kDecryptBadRecord);
  std::vector<std::uint8_t> api = {1, 0, 4, 0, 2, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
  d = CreateDecrypter(*BlobOf(api), status);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->CheckPassword(*BlobOf(api), u"x"), kDecryptBadRecord);
}

}  // namespace
}  // namespace xls
