#include "core/documents.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/config.h"
#include "core/settings.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, std::string_view bytes) {
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t U32(std::string_view b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
         static_cast<std::uint8_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

class DocumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_docs_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ::setenv("KVX_SETTINGS_DIR", (dir_ / "settings").c_str(), 1);
    core::ResetState();
    ASSERT_TRUE(core::LoadConfigurationFile(core::State(), KV_TEST_DATA "/Kestravel.cfg"));
  }
  void TearDown() override {
    ::unsetenv("KVX_SETTINGS_DIR");
    fs::remove_all(dir_);
    core::ResetState();
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // A document of the first three definitions of model 1 with values set.
  void MakeDocument() {
    auto& s = core::State();
    s.Document.assign(s.ParamDefs.begin(), s.ParamDefs.begin() + 3);
    s.Document[0].value = 2;
    s.Document[1].value = 49.5f;
    s.Document[2].value = -12.5f;
    s.ParHeader = {};
    s.ParHeader.recordCount = 3;
    s.ParHeader.model = 1;
    s.ParHeader.modelName = "KV100";
  }

  void MakeCompare() {
    auto& s = core::State();
    s.CompareRecords.resize(3);
    for (int i = 0; i < 3; ++i) {
      auto& c = s.CompareRecords[i];
      c.transferGroup = i + 1;
      c.displayGroup = 1;
      c.decimals = i;
      c.defaultValue = 1.5f * i;
      c.values = {static_cast<float>(i), core::AbsentValue(), 7.25f};
      c.code = "P" + std::to_string(i);
      c.unit = "Hz";
      c.descriptions[0] = "one";
      c.descriptions[1] = "uno";
      c.descriptions[2] = "eins";
      c.descriptions[3] = std::string(200, 'z');
    }
    s.CmpHeader = {};
    s.CmpHeader.kind = core::FilesWithDefaults;
    s.CmpHeader.recordCount = 3;
    s.CmpHeader.model = 2;
    s.CmpHeader.modelName = std::string(80, 'M');
    s.CmpHeader.fileNames[0] = "/a/x.par";
    s.CmpHeader.fileNames[1] = "/b/y.par";
    s.CmpHeader.fileNames[2] = "/c/z.par";
  }

  fs::path dir_;
};

TEST_F(DocumentsTest, ParameterFileLayoutAndRoundTrip) {
  MakeDocument();
  auto& s = core::State();
  ASSERT_TRUE(core::SaveParameterFile(path("a.par")));
  std::string bytes = ReadAll(path("a.par"));
  ASSERT_EQ(bytes.size(), 2780u);
  EXPECT_EQ(bytes[0], 3);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(U32(bytes, 4), 1u);
  EXPECT_EQ(bytes[8], 5);
  EXPECT_EQ(bytes.substr(9, 5), "KV100");
  // Second record: P0.01;W101 ... value 49.5, code at offset 48.
  const std::size_t r = 92 + 896;
  EXPECT_EQ(bytes[r], 'W');
  EXPECT_EQ(U32(bytes, r + 4), 101u);
  EXPECT_EQ(U32(bytes, r + 24), 2u);  // decimals
  EXPECT_EQ(std::bit_cast<float>(U32(bytes, r + 40)), 49.5f);
  EXPECT_EQ(U32(bytes, r + 44), 1u);
  EXPECT_EQ(bytes[r + 48], 5);
  EXPECT_EQ(bytes.substr(r + 49, 5), "P0.01");
  EXPECT_EQ(bytes[r + 69], 2);
  EXPECT_EQ(bytes.substr(r + 70, 2), "Hz");
  EXPECT_EQ(bytes.substr(r + 91, 17), "Maximum frequency");
  EXPECT_EQ(bytes.substr(r + 292, 17), "Frequenza massima");

  auto saved = s.Document;
  s.Document.clear();
  s.ParHeader = {};
  ASSERT_TRUE(core::LoadParameterFile(path("a.par"), true));
  ASSERT_EQ(s.Document.size(), 3u);
  EXPECT_EQ(s.ParHeader.modelName, "KV100");
  EXPECT_EQ(s.Document[2].value, -12.5f);
  EXPECT_EQ(s.Document[1].descriptions[3], saved[1].descriptions[3]);
  // Saving what was loaded gives the same bytes.
  ASSERT_TRUE(core::SaveParameterFile(path("b.par")));
  EXPECT_EQ(ReadAll(path("b.par")), bytes);
  EXPECT_EQ(core::RecentFiles()[0], path("b.par"));
  EXPECT_EQ(core::RecentFiles()[1], path("a.par"));
}

TEST_F(DocumentsTest, CompareFileLayoutAndRoundTrip) {
  MakeCompare();
  auto& s = core::State();
  s.Models[1].name = s.CmpHeader.modelName.view();  // a load takes the model of the header's name
  ASSERT_TRUE(core::SaveCompareFile(path("c.cmp")));
  std::string bytes = ReadAll(path("c.cmp"));
  ASSERT_EQ(bytes.size(), 3320u);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[2], 3);
  EXPECT_EQ(U32(bytes, 4), 2u);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[8]), 80);
  EXPECT_EQ(bytes[89], 8);
  EXPECT_EQ(bytes.substr(90, 8), "/a/x.par");
  EXPECT_EQ(bytes.substr(492, 8), "/c/z.par");
  const std::size_t r = 692 + 876;
  EXPECT_EQ(U32(bytes, r), 2u);
  EXPECT_EQ(U32(bytes, r + 20), 0xFFC00000u);  // absent value 2
  EXPECT_EQ(std::bit_cast<float>(U32(bytes, r + 24)), 7.25f);
  EXPECT_EQ(bytes.substr(r + 29, 2), "P1");
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[r + 673]), 200);

  s.CompareRecords.clear();
  ASSERT_TRUE(core::LoadCompareFile(path("c.cmp")));
  ASSERT_EQ(s.CompareRecords.size(), 3u);
  EXPECT_TRUE(core::IsAbsent(s.CompareRecords[1].values[1]));
  EXPECT_EQ(s.CmpHeader.modelName.size(), 80u);
  ASSERT_TRUE(core::SaveCompareFile(path("d.cmp")));
  EXPECT_EQ(ReadAll(path("d.cmp")), bytes);
}

// A comparison that found no difference is a header alone: it saves, opens again with its
// header and no records, and the same header with a record's bytes behind it is refused.
TEST_F(DocumentsTest, EmptyComparisonSavesAndLoads) {
  MakeCompare();
  auto& s = core::State();
  s.Models[1].name = s.CmpHeader.modelName.view();
  s.CompareRecords.clear();
  s.CmpHeader.recordCount = 3;  // the count follows the records saved
  ASSERT_TRUE(core::SaveCompareFile(path("none.cmp")));
  const std::string bytes = ReadAll(path("none.cmp"));
  ASSERT_EQ(bytes.size(), 692u);
  EXPECT_EQ(bytes[2], 0);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(s.CmpHeader.recordCount, 0);
  EXPECT_EQ(core::RecentFiles()[0], path("none.cmp"));

  MakeCompare();
  ASSERT_TRUE(core::LoadCompareFile(path("none.cmp")));
  EXPECT_TRUE(s.CompareRecords.empty());
  EXPECT_EQ(s.CmpHeader.recordCount, 0);
  EXPECT_EQ(s.CmpHeader.kind, core::FilesWithDefaults);
  EXPECT_EQ(s.CmpHeader.model, 2u);
  EXPECT_EQ(s.CmpHeader.fileNames[2], "/c/z.par");
  ASSERT_TRUE(core::SaveCompareFile(path("again.cmp")));
  EXPECT_EQ(ReadAll(path("again.cmp")), bytes);

  WriteAll(path("bad.cmp"), bytes + std::string(876, '\0'));
  EXPECT_FALSE(core::LoadCompareFile(path("bad.cmp")));
  EXPECT_EQ(s.CmpHeader.model, 0u);
  // A parameter document still holds at least one line.
  MakeDocument();
  s.Document.clear();
  const auto refused = core::SaveParameterFile(path("none.par"));
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.error, "A document holds 1 to 500 records, not 0");
  EXPECT_FALSE(fs::exists(path("none.par")));
}

TEST_F(DocumentsTest, BadParameterFilesFailAndLeaveAnEmptyDocument) {
  MakeDocument();
  ASSERT_TRUE(core::SaveParameterFile(path("good.par")));
  const std::string good = ReadAll(path("good.par"));
  auto& s = core::State();

  auto expectFails = [&](const std::string& bytes, const char* why) {
    WriteAll(path("bad.par"), bytes);
    MakeDocument();
    EXPECT_FALSE(core::LoadParameterFile(path("bad.par"), false)) << why;
    EXPECT_TRUE(s.Document.empty()) << why;
    EXPECT_EQ(s.ParHeader.recordCount, 0) << why;
    EXPECT_EQ(s.ParHeader.model, 0u) << why;
  };
  std::string b = good;
  b[0] = 0;
  expectFails(b, "count 0");
  b = good;
  b[0] = static_cast<char>(501 & 0xFF);
  b[1] = static_cast<char>(501 >> 8);
  expectFails(b, "count 501");
  expectFails(good + "x", "trailing byte");  // every truncation: CodecsRejectEveryTruncation
  expectFails("", "empty");
  // A header without a name needs a model number of the configuration.
  b = good;
  b[8] = 0;   // no name
  b[4] = 4;   // model 4 of a configuration with 3
  expectFails(b, "unknown model");
  b[4] = 0;
  expectFails(b, "model 0");
  b = good;
  b[1] = 2;  // count 515 with the size of 3 records
  expectFails(b, "count and size disagree");

  MakeDocument();
  EXPECT_FALSE(core::LoadParameterFile(path("missing.par"), true));
  EXPECT_TRUE(s.Document.empty());
  EXPECT_EQ(core::RecentFiles()[0], path("missing.par"));  // entered even after a failure
}

// Every load finds the model by the header's name, whatever its number, as Open does.
TEST_F(DocumentsTest, LoadsFindTheModelByNameAsOpenDoes) {
  auto& s = core::State();
  MakeDocument();
  const auto records = s.Document;
  for (auto [number, name, model] : {std::tuple{0u, "KV200", 2u}, {7u, "KV300", 3u}, {1u, "KV999", 0u}}) {
    SCOPED_TRACE(std::to_string(number) + name);
    core::ParameterFileHeader h;
    h.recordCount = 3;
    h.model = number;
    h.modelName = name;
    WriteAll(path("m.par"), core::EncodeParameterFile(h, records));
    MakeCompare();
    s.CmpHeader.model = number;
    s.CmpHeader.modelName = name;
    WriteAll(path("m.cmp"), core::EncodeCompareFile(s.CmpHeader, s.CompareRecords));
    EXPECT_EQ(core::LoadParameterFile(path("m.par"), false), model != 0);
    EXPECT_EQ(core::LoadCompareFile(path("m.cmp")), model != 0);
    EXPECT_EQ(s.ParHeader.model, model);
    EXPECT_EQ(s.CmpHeader.model, model);
    EXPECT_EQ(s.Document.size() + s.CompareRecords.size(), model != 0 ? 6u : 0u);
  }
  s.Models[2].name = "KV100";  // models 1 and 3 share a name: the header's own number picks
  EXPECT_EQ(core::ModelOfDocument(1, "KV100"), 1);
  EXPECT_EQ(core::ModelOfDocument(2, "KV100"), 3);
}

TEST_F(DocumentsTest, HugeLengthBytesAreClamped) {
  MakeDocument();
  ASSERT_TRUE(core::SaveParameterFile(path("len.par")));
  std::string b = ReadAll(path("len.par"));
  b[8] = static_cast<char>(0xFF);             // model name length 255 > 80
  b[92 + 48] = static_cast<char>(0xFF);       // code length 255 > 20
  b[92 + 693] = static_cast<char>(0xFF);      // description 4 length 255 > 200
  WriteAll(path("len.par"), b);
  // Read without a model: the clamped name names none.
  core::ParameterFileHeader h;
  std::vector<core::ParameterDefinition> recs;
  ASSERT_TRUE(core::ReadParameterFile(path("len.par"), 3, h, recs));
  EXPECT_EQ(h.modelName.size(), 80u);
  EXPECT_EQ(recs[0].code.size(), 20u);
  EXPECT_EQ(recs[0].descriptions[3].size(), 200u);
}

TEST_F(DocumentsTest, BadCompareFilesFail) {
  MakeCompare();
  ASSERT_TRUE(core::SaveCompareFile(path("good.cmp")));
  const std::string good = ReadAll(path("good.cmp"));
  auto& s = core::State();
  auto expectFails = [&](const std::string& bytes, const char* why) {
    WriteAll(path("bad.cmp"), bytes);
    MakeCompare();
    EXPECT_FALSE(core::LoadCompareFile(path("bad.cmp"))) << why;
    EXPECT_TRUE(s.CompareRecords.empty()) << why;
    EXPECT_EQ(s.CmpHeader.recordCount, 0) << why;
  };
  std::string b = good;
  b[2] = 0;
  expectFails(b, "count 0");
  b = good;
  b[0] = 3;
  expectFails(b, "unknown kind");
  b = good;
  b[4] = 9;
  expectFails(b, "unknown model");
  expectFails(good.substr(0, good.size() - 10), "truncated");
}

TEST_F(DocumentsTest, SavesKeepTheLimitsAndFailuresKeepTheOldFile) {
  auto& s = core::State();
  // 500 records is the most a document holds: it saves and loads again; 501 and 0 are refused.
  MakeDocument();
  s.Document.resize(500, s.Document[1]);
  ASSERT_TRUE(core::SaveParameterFile(path("full.par")));
  EXPECT_EQ(fs::file_size(path("full.par")), 92u + 500 * 896u);
  s.Document.clear();
  ASSERT_TRUE(core::LoadParameterFile(path("full.par"), false));
  ASSERT_EQ(s.Document.size(), 500u);
  EXPECT_EQ(s.Document[499].value, 49.5f);
  s.Document.resize(501);
  EXPECT_FALSE(core::SaveParameterFile(path("big.par")).error.empty());
  EXPECT_FALSE(fs::exists(path("big.par")));
  s.Document.clear();
  EXPECT_FALSE(core::SaveParameterFile(path("empty.par")));
  s.CompareRecords.resize(501);
  EXPECT_FALSE(core::SaveCompareFile(path("big.cmp")));
  // The header's count follows the records the document holds.
  MakeDocument();
  s.ParHeader.recordCount = 7;
  ASSERT_TRUE(core::SaveParameterFile(path("keep.par")));
  EXPECT_EQ(fs::file_size(path("keep.par")), 92u + 3 * 896u);
  EXPECT_EQ(s.ParHeader.recordCount, 3);

  const std::string before = ReadAll(path("keep.par"));
  ASSERT_EQ(::chmod(path("keep.par").c_str(), 0604), 0);
  core::AddRecentFile("/other");
  // Saving into a folder that does not exist fails with a message and changes nothing.
  auto r = core::SaveParameterFile(path("no/such/folder/x.par"));
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find("x.par"), std::string::npos);
  EXPECT_EQ(core::RecentFiles()[0], "/other");
  // A target that cannot be replaced (a folder of that name) leaves it as it was.
  fs::create_directories(path("dir.par"));
  EXPECT_FALSE(core::SaveParameterFile(path("dir.par")));
  EXPECT_TRUE(fs::is_directory(path("dir.par")));
  // A save cut short by a full disk (here the file size limit) keeps the old file whole.
  s.Document.resize(500, s.Document[1]);
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 64 * 1024;
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  r = core::SaveParameterFile(path("keep.par"));
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(r);
  EXPECT_EQ(ReadAll(path("keep.par")), before);
  // No temporary file is left, and a good save keeps the file's mode.
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"dir.par", "full.par", "keep.par", "settings"}));
  ASSERT_TRUE(core::SaveParameterFile(path("keep.par")));
  EXPECT_EQ(fs::status(path("keep.par")).permissions(), fs::perms(0604));
}

TEST_F(DocumentsTest, Blocks) {
  std::vector<std::uint8_t> block(64);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(core::SaveBlock(path("KV100.pmo"), block.data(), block.size()));
  EXPECT_EQ(fs::file_size(path("KV100.pmo")), 64u);
  std::vector<std::uint8_t> back(64, 0);
  EXPECT_TRUE(core::LoadBlock(path("KV100.pmo"), back.data(), back.size()));
  EXPECT_EQ(back, block);
  // A short file: the unread records stay free (0xFF), never zero.
  ASSERT_TRUE(core::SaveBlock(path("short.pmo"), block.data(), 32));
  std::vector<std::uint8_t> part(96, 0);
  EXPECT_FALSE(core::LoadBlock(path("short.pmo"), part.data(), part.size()));
  for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(part[i], i);
  for (std::size_t i = 32; i < 96; ++i) ASSERT_EQ(part[i], 0xFF);
  std::vector<std::uint8_t> none(16, 0);
  EXPECT_FALSE(core::LoadBlock(path("missing.pmo"), none.data(), none.size()));
  for (auto b : none) ASSERT_EQ(b, 0xFF);
}

TEST_F(DocumentsTest, CodecsRejectEveryTruncation) {
  MakeDocument();
  auto& s = core::State();
  std::string bytes = core::EncodeParameterFile(s.ParHeader, s.Document);
  core::ParameterFileHeader h;
  std::vector<core::ParameterDefinition> recs;
  ASSERT_TRUE(core::DecodeParameterFile(bytes, 3, h, recs));
  for (std::size_t n = 0; n < bytes.size(); n += 37) EXPECT_FALSE(core::DecodeParameterFile(bytes.substr(0, n), 3, h, recs));
  MakeCompare();
  bytes = core::EncodeCompareFile(s.CmpHeader, s.CompareRecords);
  core::CompareFileHeader ch;
  std::vector<core::CompareRecord> crecs;
  ASSERT_TRUE(core::DecodeCompareFile(bytes, 3, ch, crecs));
  for (std::size_t n = 0; n < bytes.size(); n += 41) EXPECT_FALSE(core::DecodeCompareFile(bytes.substr(0, n), 3, ch, crecs));
}

}  // namespace
