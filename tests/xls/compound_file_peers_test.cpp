// Compound files checked by readers written elsewhere: python3-olefile (strict) and gnumeric's
// gsf tool; and our reader on files that LibreOffice, gnumeric and xlwt wrote.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/compound_file.h"
#include "xls/model/codepage.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

struct Command {
  int status = -1;
  std::string out;
};

Command Execute(const std::string& command) {
  Command r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::vector<std::uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TempDir {
 public:
  TempDir() {
    std::string t = (fs::temp_directory_path() / "kv_cfb_XXXXXX").string();
    path_ = mkdtemp(t.data()) ? fs::path(t) : fs::path();
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct OleView {
  std::map<std::string, std::vector<std::uint8_t>> streams;  // "storage/stream" -> bytes
  long rootSize = -1;
  long difatSectors = -1;
};

// Runs the olefile dump; fails the test when olefile finds any fault.
OleView Olefile(const fs::path& file, const fs::path& work) {
  OleView v;
  fs::path out = work / ("ole_" + file.filename().string());
  fs::create_directories(out);
  Command r = Execute("/usr/bin/python3 " + Quote(std::string(KV_SOURCE_DIR) + "/tests/xls/cfb_peer.py") + " " +
                  Quote(file.string()) + " " + Quote(out.string()));
  EXPECT_EQ(r.status, 0) << "olefile (python3-olefile) rejected " << file << ":\n" << r.out;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("root_size ", 0) == 0) v.rootSize = std::stol(line.substr(10));
    else if (line.rfind("difat_sectors ", 0) == 0) v.difatSectors = std::stol(line.substr(14));
    else {
      auto t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
      if (t1 == std::string::npos || t2 == std::string::npos) continue;
      v.streams[line.substr(t2 + 1)] = ReadFile(out / (line.substr(0, t1) + ".bin"));
    }
  }
  return v;
}

// Every stream our reader finds, by "storage/stream" path.
std::map<std::string, std::vector<std::uint8_t>> OurStreams(const CompoundFileReader& r) {
  std::map<std::string, std::vector<std::uint8_t>> all;
  std::vector<std::pair<int, std::string>> todo = {{0, ""}};
  while (!todo.empty()) {
    auto [id, prefix] = todo.back();
    todo.pop_back();
    for (int c : r.GetEntry(id).children) {
      const auto& e = r.GetEntry(c);
      std::string path = prefix + xls::WideToUtf8(e.name);
      if (e.type == CompoundEntryType::Storage) {
        todo.push_back({c, path + "/"});
      } else {
        std::vector<std::uint8_t> bytes;
        FileResult res = r.ReadStream(c, bytes);
        EXPECT_TRUE(res) << res.error;
        all[path] = bytes;
      }
    }
  }
  return all;
}

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  return v;
}

class Peers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.path().empty()); }
  TempDir dir;
};

TEST_F(Peers, OlefileAndGsfAcceptOurFiles) {
  CompoundFileWriter w;
  std::map<std::string, std::vector<std::uint8_t>> expected;
  auto add = [&](int parent, const std::string& prefix, const std::u16string& name, std::vector<std::uint8_t> data) {
    w.StreamData(w.AddStream(parent, name)) = data;
    expected[prefix + xls::WideToUtf8(name)] = std::move(data);
  };
  add(0, "", u"Workbook", Pattern(9000, 1));
  add(0, "", u"small", Pattern(100, 2));
  add(0, "", u"below", Pattern(4095, 3));
  add(0, "", u"at4096", Pattern(4096, 4));
  add(0, "", u"empty", {});
  int vba = w.AddStorage(0, u"_VBA_PROJECT_CUR");
  add(vba, "_VBA_PROJECT_CUR/", u"PROJECT", Pattern(500, 5));
  int inner = w.AddStorage(vba, u"VBA");
  for (int i = 0; i < 9; ++i)
    add(inner, "_VBA_PROJECT_CUR/VBA/", u"Module" + xls::Utf8ToWide(std::to_string(i)), Pattern(700 * static_cast<std::size_t>(i), 6));
  fs::path file = dir.path() / "ours.xls";
  FileResult saved = w.SaveToFile(file.string());
  ASSERT_TRUE(saved) << saved.error;

  OleView ole = Olefile(file, dir.path());
  EXPECT_EQ(ole.streams, expected);
  EXPECT_GT(ole.rootSize, 0);  // the small streams live in a mini stream
  EXPECT_EQ(ole.difatSectors, 0);

  Command list = Execute("gsf list " + Quote(file.string()));
  ASSERT_EQ(list.status, 0) << "gsf (libgsf-bin) failed:\n" << list.out;
  for (const auto& [path, bytes] : expected) {
    std::string leaf = path.substr(path.rfind('/') + 1);
    EXPECT_NE(list.out.find(leaf), std::string::npos) << leaf << " missing from gsf list:\n" << list.out;
    Command cat = Execute("gsf cat " + Quote(file.string()) + " " + Quote(path) + " > " + Quote((dir.path() / "cat.bin").string()));
    ASSERT_EQ(cat.status, 0) << path << ": " << cat.out;
    EXPECT_EQ(ReadFile(dir.path() / "cat.bin"), bytes) << path;
  }
}

TEST_F(Peers, TwentyMegabyteFileHasDifatAndReadsBack) {
  CompoundFileWriter w;
  auto big = Pattern(20u << 20, 7);
  w.StreamData(w.AddStream(0, u"Workbook")) = big;
  w.StreamData(w.AddStream(0, u"note")) = Pattern(33, 8);
  fs::path file = dir.path() / "big.xls";
  FileResult saved = w.SaveToFile(file.string());
  ASSERT_TRUE(saved) << saved.error;
  OleView ole = Olefile(file, dir.path());
  EXPECT_GT(ole.difatSectors, 0);
  EXPECT_TRUE(ole.streams["Workbook"] == big);
  EXPECT_EQ(ole.streams["note"], Pattern(33, 8));
  Command cat = Execute("gsf cat " + Quote(file.string()) + " Workbook | cmp -s - " + Quote((dir.path() / "ole_big.xls" / "0.bin").string()) + " && echo same");
  EXPECT_NE(cat.out.find("same"), std::string::npos) << cat.out;
}

TEST_F(Peers, OurReaderMatchesOlefileOnOtherWritersFiles) {
  for (const char* name : {"libreoffice.xls", "gnumeric.xls", "xlwt.xls"}) {
    fs::path file = fs::path(KV_TEST_DATA) / "xls" / name;
    CompoundFileReader r;
    FileResult opened = r.OpenFile(file.string());
    ASSERT_TRUE(opened) << name << ": " << opened.error;
    auto ours = OurStreams(r);
    OleView ole = Olefile(file, dir.path());
    EXPECT_EQ(ours, ole.streams) << name;
    EXPECT_TRUE(ours.count("Workbook")) << name;
  }
}

}  // namespace
}  // namespace platform
