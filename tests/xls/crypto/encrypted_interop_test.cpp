// Workbooks encrypted by LibreOffice (RC4, stored with the "MS Excel 97" filter and a password,
// and one whose structure is protected without a password, which is encrypted with the default
// password), decrypted by us and compared record by record with the plain twins that
// msoffcrypto-tool (python3-msoffcrypto-tool) makes of the same files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/xls/crypto/crypto_test_support.h"
#include "xls/io/crypto/decrypter.h"
#include "xls/model/codepage.h"

namespace xls {
namespace {

class LibreOfficeEncrypted : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::string(::testing::TempDir() + "/kv-crypto-lo-" + std::to_string(getpid()));
    std::string output;
    status_ = test::RunCommand("/usr/bin/python3 '" + test::SourceDir() + "/tests/xls/crypto/lo_encrypt.py' '" + *dir_ + "'", output);
    output_ = new std::string(output);
  }
  static void TearDownTestSuite() {
    std::filesystem::remove_all(*dir_);
    delete dir_;
    delete output_;
  }
  void SetUp() override { ASSERT_EQ(status_, 0) << "LibreOffice or msoffcrypto-tool failed:\n" << *output_; }

  static std::string File(const std::string& name) { return *dir_ + "/" + name; }
  static std::u16string Password(const std::string& name) {
    std::ifstream in(File(name + ".password"));
    std::stringstream text;
    text << in.rdbuf();
    return Utf8ToWide(text.str());
  }
  static void ExpectTwin(const std::string& name, const std::u16string& password) {
    int status;
    std::vector<test::Record> ours = test::ReadRecords(File(name + ".xls"), password, status);
    ASSERT_EQ(status, 1) << name << ": " << DecryptStatusText(status);
    ASSERT_GT(ours.size(), 2u);
    EXPECT_EQ(ours[1].id, 0x002F) << name << " holds no FILEPASS";
    std::vector<test::Record> twin = test::PeerRecords(File(name + "_plain.xls"));
    ASSERT_GT(twin.size(), 100u) << name;
    EXPECT_EQ(test::CompareRecords(test::AfterFilePass(ours), test::AfterFilePass(twin)), "") << name;
  }

  static std::string* dir_;
  static std::string* output_;
  static int status_;
};
std::string* LibreOfficeEncrypted::dir_ = nullptr;
std::string* LibreOfficeEncrypted::output_ = nullptr;
int LibreOfficeEncrypted::status_ = -1;

// One test, so that LibreOffice starts once.
TEST_F(LibreOfficeEncrypted, Rc4FilesDecryptLikeTheirTwins) {
  for (int i = 0; i < 4; ++i) {
    std::string name = "rc4_" + std::to_string(i);
    std::u16string password = Password(name);
    ExpectTwin(name, password);
    int status;
    test::ReadRecords(File(name + ".xls"), u"", status);
    EXPECT_EQ(status, kDecryptNoPassword) << name;
    test::ReadRecords(File(name + ".xls"), password + u"?", status);
    EXPECT_EQ(status, kDecryptWrongPassword) << name;
    test::ReadRecords(File(name + ".xls"), std::u16string(32, u'p'), status);
    EXPECT_EQ(status, kDecryptPasswordTooLong) << name;
  }
  // Structure protected without a password: encrypted with the default one, opened without.
  ExpectTwin("protected", u"");
  ExpectTwin("protected", u"some other password");
}

}  // namespace
}  // namespace xls
