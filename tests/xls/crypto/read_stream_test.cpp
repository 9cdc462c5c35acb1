// The read stream over real files: the XOR and RC4 CryptoAPI samples against their plain twins,
// unencrypted files of LibreOffice, gnumeric and xlwt against olefile, compound files with a
// "Book" stream, bare BIFF streams, and damaged input.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/compound_file.h"
#include "tests/sample_files.h"
#include "tests/xls/crypto/crypto_test_support.h"
#include "xls/io/reader/read_stream.h"
#include "xls/model/codepage.h"

namespace xls {
namespace {

using test::Record;

class EncryptedSamples : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::SampleDir();
    if (dir_.empty()) KV_MISSING_SAMPLES("the encrypted samples are not here: " << KV_SOURCE_DIR << "/../shared/data/encrypted-xls");
  }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }

  void ExpectTwin(const std::string& file, const std::u16string& password, const std::string& twin) {
    int status;
    std::vector<Record> ours = test::ReadRecords(File(file), password, status);
    ASSERT_EQ(status, 1) << DecryptStatusText(status);
    std::vector<Record> plain = test::PeerRecords(File(twin));
    ASSERT_GT(plain.size(), 100u);
    EXPECT_EQ(test::CompareRecords(test::AfterFilePass(ours), test::AfterFilePass(plain)), "");
  }

  std::string dir_;
};

// The XOR sample's twin was written anew by its decrypter (numbers as NUMBER records, fonts
// re-encoded), so the two compare by their cells as xlrd reads them.
TEST_F(EncryptedSamples, XorObfuscationMatchesItsTwin) {
  int status;
  std::vector<Record> ours = test::ReadRecords(File("xor_password_123456789012345.xls"), u"123456789012345", status);
  ASSERT_EQ(status, 1) << DecryptStatusText(status);
  std::string copy = ::testing::TempDir() + "/xor_decrypted.xls";
  ASSERT_TRUE(test::WritePlainCopy(ours, copy));
  std::string cells = test::PeerCells(copy), twin = test::PeerCells(File("xor_password_123456789012345_plain.xls"));
  std::filesystem::remove(copy);
  EXPECT_GT(std::count(twin.begin(), twin.end(), '\n'), 10000);
  EXPECT_TRUE(cells == twin) << "xlrd reads different cells from our decrypted copy:\n" << cells.substr(0, 2000);
  test::ReadRecords(File("xor_password_123456789012345.xls"), u"12345678901234", status);
  EXPECT_EQ(status, kDecryptWrongPassword);
  test::ReadRecords(File("xor_password_123456789012345.xls"), u"", status);
  EXPECT_EQ(status, kDecryptNoPassword);
}

TEST_F(EncryptedSamples, CryptoApiMatchesItsTwin) {
  ExpectTwin("rc4cryptoapi_password.xls", u"Password1234_", "rc4cryptoapi_password_plain.xls");
  int status;
  test::ReadRecords(File("rc4cryptoapi_password.xls"), u"password1234_", status);
  EXPECT_EQ(status, kDecryptWrongPassword);
  test::ReadRecords(File("rc4cryptoapi_password.xls"), u"", status);
  EXPECT_EQ(status, kDecryptNoPassword);
  // The FILEPASS record itself arrives plain, decryption starts after it.
  std::vector<Record> records = test::ReadRecords(File("rc4cryptoapi_password.xls"), u"Password1234_", status);
  ASSERT_GT(records.size(), 2u);
  EXPECT_EQ(records[1].id, kRecFilePass);
  EXPECT_EQ(records[1].body[2], 4);  // version 4.2
}

TEST(ReadStream, UnencryptedFilesOfOtherProgramsYieldTheirRecords) {
  std::vector<std::string> paths;
  for (const char* name : {"libreoffice.xls", "gnumeric.xls", "xlwt.xls"}) paths.push_back(test::SourceDir() + "/tests/data/xls/" + name);
  if (!test::SampleDir().empty()) paths.push_back(test::SampleDir() + "/plain.xls");
  for (const std::string& path : paths) {
    int status;
    std::vector<Record> ours = test::ReadRecords(path, u"not needed", status);
    EXPECT_EQ(status, 1) << path;
    std::vector<Record> peer = test::PeerRecords(path);
    ASSERT_GT(peer.size(), 10u) << path;
    EXPECT_EQ(test::CompareRecords(ours, peer), "") << path;
  }
}

std::vector<std::uint8_t> Biff(std::initializer_list<std::pair<std::uint16_t, std::vector<std::uint8_t>>> records) {
  std::vector<std::uint8_t> out;
  for (const auto& [id, body] : records) {
    out.push_back(static_cast<std::uint8_t>(id));
    out.push_back(static_cast<std::uint8_t>(id >> 8));
    out.push_back(static_cast<std::uint8_t>(body.size()));
    out.push_back(static_cast<std::uint8_t>(body.size() >> 8));
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

const std::vector<std::uint8_t> kBof8 = {0, 6, 5, 0, 0, 0, 0, 0};

TEST(ReadStream, StreamNamesBareStreamsAndDamage) {
  // A compound file whose stream is named "Book", read from a caller's stream.
  std::vector<std::uint8_t> records = Biff({{kRecBOF, kBof8}, {0x003C, {1, 2}}, {0x000A, {}}});
  platform::CompoundFileWriter writer;
  writer.StreamData(writer.AddStream(platform::CompoundFileWriter::kRoot, u"Book")) = records;
  platform::MemoryStream file;
  ASSERT_TRUE(writer.Save(file));
  file.Seek(0, platform::SeekOrigin::Begin);
  TXLSReadStream stream;
  ASSERT_EQ(stream.OpenStream(file), 1);
  EXPECT_FALSE(stream.Bare());
  ASSERT_NE(stream.RootStorage(), nullptr);
  std::uint16_t id, length;
  ASSERT_EQ(stream.ReadHeader(id, length), 1);
  EXPECT_EQ(id, kRecBOF);
  std::unique_ptr<TXLSBlob> body;
  ASSERT_EQ(stream.ReadBody(length, body), 1);
  EXPECT_EQ(stream.Position(), 12u);
  stream.ReadHeader(id, length);
  stream.ReadBody(length, body);
  ASSERT_EQ(stream.ReadHeader(id, length), 1);
  EXPECT_EQ(id, 0x000A);
  EXPECT_EQ(stream.ReadBody(length, body), 1);
  EXPECT_EQ(body, nullptr);
  EXPECT_EQ(stream.ReadHeader(id, length), kReadEndOfStream);

  // A bare BIFF stream with a BOF of length 8 opens; one of length 64 does not.
  platform::MemoryStream bare(records);
  TXLSReadStream s2;
  EXPECT_EQ(s2.OpenStream(bare), 1);
  EXPECT_TRUE(s2.Bare());
  EXPECT_EQ(s2.RootStorage(), nullptr);
  ASSERT_EQ(s2.ReadHeader(id, length), 1);
  EXPECT_EQ(length, 8);
  platform::MemoryStream notBiff(std::vector<std::uint8_t>{0x09, 0x08, 0x40, 0x00, 0, 6});
  TXLSReadStream s3;
  EXPECT_EQ(s3.OpenStream(notBiff), kReadNoWorkbook);
  // A compound file without a workbook stream, a missing file.
  platform::CompoundFileWriter other;
  other.AddStream(platform::CompoundFileWriter::kRoot, u"Other");
  platform::MemoryStream otherFile;
  ASSERT_TRUE(other.Save(otherFile));
  otherFile.Seek(0, platform::SeekOrigin::Begin);
  TXLSReadStream s4;
  EXPECT_EQ(s4.OpenStream(otherFile), kReadNoWorkbook);
  TXLSReadStream s5;
  EXPECT_EQ(s5.OpenFile(u"/nonexistent/kv-crypto.xls"), kReadNoCompoundFile);
  // A body cut short.
  std::vector<std::uint8_t> cut = Biff({{kRecBOF, kBof8}});
  cut.insert(cut.end(), {0x3C, 0x00, 0x10, 0x00, 1, 2, 3});
  platform::MemoryStream cutFile(cut);
  TXLSReadStream s6;
  ASSERT_EQ(s6.OpenStream(cutFile), 1);
  TXLSRecordGroupReader groups(s6);
  TXLSRecordGroup group;
  EXPECT_EQ(groups.Next(group), 1);
  EXPECT_EQ(groups.Next(group), kReadShortRecord);
}

TEST(RecordGroups, ContinueAndDrawingGroupsJoin) {
  std::vector<std::uint8_t> bytes = Biff({{kRecBOF, kBof8},
                                          {0x00FC, {1}},
                                          {0x003C, {2}},
                                          {0x003C, {}},
                                          {0x00EB, {3}},
                                          {0x00EB, {4}},
                                          {0x00EC, {5}},
                                          {0x00EC, {6}},
                                          {0x0809, {0, 6, 0x20, 0, 0, 0, 0, 0}},
                                          {0x1002, {7}},
                                          {0x003C, {8}},
                                          {0x000A, {}}});
  platform::MemoryStream in(bytes);
  TXLSReadStream stream;
  ASSERT_EQ(stream.OpenStream(in), 1);
  TXLSRecordGroupReader groups(stream);
  TXLSRecordGroup g;
  std::vector<std::pair<std::uint16_t, std::size_t>> seen;
  int status;
  while ((status = groups.Next(g)) == 1) {
    seen.emplace_back(g.id, g.chunks->Count());
    if (g.id == 0x00EC && g.chunks->GetChunk(0)->GetByte(0) == 6) groups.SetJoinContinue(false);  // a chart sheet follows
  }
  EXPECT_EQ(status, kReadEndOfStream);
  std::vector<std::pair<std::uint16_t, std::size_t>> want = {{kRecBOF, 1}, {0x00FC, 3}, {0x00EB, 2}, {0x00EC, 1},
                                                             {0x00EC, 1}, {kRecBOF, 1}, {0x1002, 1}, {0x003C, 1},
                                                             {0x000A, 1}};
  EXPECT_EQ(seen, want);
}

// The group reader reuses its buffers record after record: a short body after a long one
// shows only its own bytes (and zeros past them), also when the workbook stream is read in
// place in the file and the file is let go halfway.
TEST(RecordGroups, ReusedBuffersShowOnlyTheirOwnRecord) {
  std::vector<std::uint8_t> longBody(3000, 0xAB);
  std::vector<std::uint8_t> records =
      Biff({{kRecBOF, kBof8}, {0x0012, longBody}, {0x0013, {7}}, {0x0014, longBody}, {0x0015, {}}, {0x000A, {}}});
  platform::CompoundFileWriter writer;
  writer.StreamData(writer.AddStream(platform::CompoundFileWriter::kRoot, u"Workbook")) = records;
  platform::MemoryStream file;
  ASSERT_TRUE(writer.Save(file));
  file.Seek(0, platform::SeekOrigin::Begin);
  TXLSReadStream stream;
  ASSERT_EQ(stream.OpenStream(file), 1);
  TXLSRecordGroupReader groups(stream);
  TXLSRecordGroup g;
  std::vector<std::uint16_t> ids;
  while (groups.Next(g) == 1) {
    ids.push_back(g.id);
    const TXLSBlob& body = *g.chunks->GetChunk(0);
    if (g.id == 0x0012 || g.id == 0x0014) {
      EXPECT_EQ(body.GetSize(), 3000u);
      EXPECT_EQ(body.GetByte(2999), 0xAB);
    }
    if (g.id == 0x0013) {
      EXPECT_EQ(body.GetSize(), 1u);
      EXPECT_EQ(body.GetByte(0), 7);
      EXPECT_EQ(body.GetDWord(1), 0u);  // not the long record's bytes
      stream.CloseStorage();           // the stream reads on from its own copy
    }
    if (g.id == 0x0015 || g.id == 0x000A) {
      EXPECT_EQ(body.GetSize(), 0u);
      EXPECT_EQ(body.GetWord(0), 0u);
      EXPECT_EQ(body.GetByte(100), 0u);  // the buffer the long records had
    }
  }
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{kRecBOF, 0x0012, 0x0013, 0x0014, 0x0015, 0x000A}));
}

// Missing samples skip a developer's run but fail a CI run.
TEST(MissingSamples, FailACiRun) {
  const char* before = std::getenv("CI");
  const std::string saved = before ? before : "";
  setenv("CI", "true", 1);
  EXPECT_FATAL_FAILURE(KV_MISSING_SAMPLES("no samples at /nowhere"), "no samples at /nowhere (a CI run always has the samples)");
  setenv("CI", "false", 1);
  EXPECT_FALSE(kvtest::InContinuousIntegration());
  if (before) setenv("CI", saved.c_str(), 1); else unsetenv("CI");
}

}  // namespace
}  // namespace xls
