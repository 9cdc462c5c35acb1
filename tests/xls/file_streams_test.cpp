#include "xls/model/file_streams.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "xls/model/codepage.h"

namespace xls {
namespace {

namespace fs = std::filesystem;
using platform::CompoundFileReader;
using platform::CompoundFileWriter;

class FileStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "kv_fs_XXXXXX").string();
    ASSERT_TRUE(mkdtemp(t.data()));
    dir = t;
  }
  void TearDown() override { fs::remove_all(dir); }
  std::u16string Path(const std::string& leaf) { return Utf8ToWide((dir / leaf).string()); }
  fs::path dir;
};

TEST_F(FileStreams, CreateTruncatesAndOpenHonoursAccessBits) {
  {
    std::ofstream(dir / "f.bin") << "0123456789";
  }
  {
    TWFileStream s(Path("f.bin"), kFileCreate);
    EXPECT_EQ(s.Size(), 0);
    WriteStringToStream(s, "abc");
  }
  EXPECT_EQ(fs::file_size(dir / "f.bin"), 3u);
  EXPECT_EQ(WideFileOpen(Path("f.bin"), 3), -1);
  EXPECT_EQ(fs::file_size(dir / "f.bin"), 3u);
  int fd = WideFileOpen(Path("f.bin"), 0x20);  // read, others may read
  ASSERT_GE(fd, 0);
  close(fd);
  TWFileStream r(Path("f.bin"), 0);
  char buf[8] = {};
  EXPECT_EQ(r.Read(buf, 8), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(r.Write("x", 1), 0u);  // opened for reading only
  EXPECT_EQ(r.Seek(1, platform::SeekOrigin::Begin), 1);
  EXPECT_EQ(r.Read(buf, 1), 1u);
  EXPECT_EQ(buf[0], 'b');
}

TEST_F(FileStreams, FailuresRaiseTheFileErrors) {
  try {
    TWFileStream s(Path("missing/x.bin"), kFileCreate);
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + (dir / "missing/x.bin").string());
  }
  try {
    TWFileStream s(Path("absent.bin"), 0);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + (dir / "absent.bin").string());
  }
}

TEST(WideStrings, ReplaceWithoutRescanning) {
  std::u16string out;
  WideStringReplace(u"aXbXc", u"X", u"XX", out);
  EXPECT_EQ(out, u"aXXbXXc");
  WideStringReplace(u"abc", u"", u"Z", out);
  EXPECT_EQ(out, u"abc");
  WideStringReplace(u"abc", u"q", u"Z", out);
  EXPECT_EQ(out, u"abc");
  WideStringReplace(u"aaaa", u"aa", u"a", out);
  EXPECT_EQ(out, u"aa");
  EXPECT_TRUE(Succeeded(0));
  EXPECT_FALSE(Succeeded(-2147467259));
}

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
  return v;
}

TEST(StorageTree, LoadsSavesAndLoadsAgain) {
  CompoundFileWriter w;
  int vba = w.AddStorage(0, u"_VBA_PROJECT_CUR");
  w.StreamData(w.AddStream(vba, u"PROJECT")) = Bytes(300, 1);
  w.StreamData(w.AddStream(vba, u"PROJECTwm")) = Bytes(5000, 2);
  int inner = w.AddStorage(vba, u"VBA");
  w.StreamData(w.AddStream(inner, u"Module1")) = Bytes(77, 3);
  w.StreamData(w.AddStream(0, u"Ctls")) = Bytes(10, 4);
  platform::MemoryStream file;
  ASSERT_TRUE(w.Save(file));
  CompoundFileReader r;
  ASSERT_TRUE(r.Open(file.Bytes()));

  TXLSFileStorage tree(u"_VBA_PROJECT_CUR");
  ASSERT_EQ(tree.Load(r, CompoundFileReader::kRoot), 1);
  EXPECT_EQ(tree.ChildCount(), 3u);
  auto* nested = dynamic_cast<TXLSFileStorage*>(tree.FindItem(u"vba"));
  ASSERT_NE(nested, nullptr);
  EXPECT_NE(nested->FindItem(u"module1"), nullptr);
  EXPECT_EQ(tree.FindItem(u"absent"), nullptr);
  auto ctls = TXLSFileStream::CreateAutoSize(u"Ctls");
  ASSERT_EQ(ctls->Load(r, CompoundFileReader::kRoot), 1);
  EXPECT_EQ(ctls->Size(), 10u);

  CompoundFileWriter again;
  ASSERT_EQ(tree.Save(again, CompoundFileWriter::kRoot), 1);
  ASSERT_EQ(ctls->Save(again, CompoundFileWriter::kRoot), 1);
  platform::MemoryStream file2;
  ASSERT_TRUE(again.Save(file2));
  CompoundFileReader r2;
  ASSERT_TRUE(r2.Open(file2.Bytes()));
  int vba2 = r2.Find(0, u"_VBA_PROJECT_CUR");
  ASSERT_GE(vba2, 0);
  std::vector<std::uint8_t> got;
  ASSERT_TRUE(r2.ReadStream(r2.Find(vba2, u"PROJECTwm"), got));
  EXPECT_EQ(got, Bytes(5000, 2));
  ASSERT_TRUE(r2.ReadStream(r2.Find(r2.Find(vba2, u"VBA"), u"Module1"), got));
  EXPECT_EQ(got, Bytes(77, 3));
  ASSERT_TRUE(r2.ReadStream(r2.Find(0, u"Ctls"), got));
  EXPECT_EQ(got, Bytes(10, 4));

  // saving the same tree twice into one storage fails instead of doubling entries
  EXPECT_EQ(tree.Save(again, CompoundFileWriter::kRoot), -1);
  TXLSFileStorage missing(u"nothing");
  EXPECT_EQ(missing.Load(r, CompoundFileReader::kRoot), -1);
  TXLSFileStream notAStream(u"_VBA_PROJECT_CUR", 1);
  EXPECT_EQ(notAStream.Load(r, CompoundFileReader::kRoot), -1);
}

TEST(StorageTree, ShortStreamReadIsAFailure) {
  CompoundFileWriter w;
  w.StreamData(w.AddStream(0, u"s")) = Bytes(20, 1);
  platform::MemoryStream file;
  ASSERT_TRUE(w.Save(file));
  CompoundFileReader r;
  ASSERT_TRUE(r.Open(file.Bytes()));
  TXLSFileStream exact(u"s", 20);
  EXPECT_EQ(exact.Load(r, 0), 1);
  TXLSFileStream tooShort(u"s", 21);
  EXPECT_EQ(tooShort.Load(r, 0), -1);
}

}  // namespace
}  // namespace xls
