#include "platform/compound_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace platform {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> v(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return v;
}

std::uint32_t U32(const std::vector<std::uint8_t>& f, std::size_t at) {
  return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<std::uint32_t>(f[at + 3]) << 24);
}
void SetU32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> Save(const CompoundFileWriter& w) {
  MemoryStream out;
  FileResult r = w.Save(out);
  EXPECT_TRUE(r) << r.error;
  return out.Bytes();
}

// A writer with streams on both sides of the mini-stream limit and a nested storage.
struct Sample {
  CompoundFileWriter w;
  std::map<std::u16string, std::vector<std::uint8_t>> streams;  // path -> bytes
  Sample() {
    Add(CompoundFileWriter::kRoot, u"Workbook", Pattern(10000, 1));
    Add(CompoundFileWriter::kRoot, u"small", Pattern(100, 2));
    Add(CompoundFileWriter::kRoot, u"edge4095", Pattern(4095, 3));
    Add(CompoundFileWriter::kRoot, u"edge4096", Pattern(4096, 4));
    Add(CompoundFileWriter::kRoot, u"empty", {});
    int vba = w.AddStorage(CompoundFileWriter::kRoot, u"_VBA_PROJECT_CUR");
    Add(vba, u"PROJECT", Pattern(300, 5));
    int inner = w.AddStorage(vba, u"VBA");
    Add(inner, u"Module1", Pattern(5000, 6));
    Add(inner, u"dir", Pattern(64, 7));
    for (int i = 0; i < 12; ++i) Add(inner, u"s" + std::u16string(1, static_cast<char16_t>(u'a' + i)), Pattern(10 + i, 8));
  }
  void Add(int parent, const std::u16string& name, std::vector<std::uint8_t> data) {
    int id = w.AddStream(parent, name);
    ASSERT_GE(id, 0);
    w.StreamData(id) = data;
    std::u16string path = name;
    streams[path + u"@" + std::u16string(1, static_cast<char16_t>(u'0' + parent))] = std::move(data);
  }
};

TEST(CompoundFile, RoundTripsTreeAndBytes) {
  Sample s;
  auto file = Save(s.w);
  EXPECT_EQ(file.size() % 512, 0u);
  CompoundFileReader r;
  FileResult opened = r.Open(file);
  ASSERT_TRUE(opened) << opened.error;
  EXPECT_EQ(r.Version(), 3);
  std::vector<std::uint8_t> got;
  int wb = r.Find(CompoundFileReader::kRoot, u"WORKBOOK");
  ASSERT_GE(wb, 0);
  ASSERT_TRUE(r.ReadStream(wb, got));
  EXPECT_EQ(got, Pattern(10000, 1));
  for (auto name : {u"small", u"edge4095", u"edge4096", u"empty"}) {
    int id = r.Find(CompoundFileReader::kRoot, name);
    ASSERT_GE(id, 0);
    ASSERT_TRUE(r.ReadStream(id, got));
    EXPECT_EQ(got.size(), r.GetEntry(id).size);
  }
  int vba = r.Find(CompoundFileReader::kRoot, u"_VBA_PROJECT_CUR");
  ASSERT_GE(vba, 0);
  EXPECT_EQ(r.GetEntry(vba).type, CompoundEntryType::Storage);
  int inner = r.Find(vba, u"vba");
  ASSERT_GE(inner, 0);
  EXPECT_EQ(r.GetEntry(inner).children.size(), 14u);
  ASSERT_TRUE(r.ReadStream(r.Find(inner, u"Module1"), got));
  EXPECT_EQ(got, Pattern(5000, 6));
  ASSERT_TRUE(r.ReadStream(r.Find(inner, u"dir"), got));
  EXPECT_EQ(got, Pattern(64, 7));
  EXPECT_FALSE(r.ReadStream(vba, got));  // a storage is no stream
  // children come back in name order: shorter names first
  std::vector<std::u16string> names;
  for (int c : r.GetEntry(CompoundFileReader::kRoot).children) names.push_back(r.GetEntry(c).name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"empty", u"small", u"edge4095", u"edge4096", u"Workbook", u"_VBA_PROJECT_CUR"}));
}

TEST(CompoundFile, OutputIsDeterministicWithZeroTimeStamps) {
  Sample a, b;
  auto fa = Save(a.w), fb = Save(b.w);
  EXPECT_EQ(fa, fb);
  CompoundFileReader r;
  ASSERT_TRUE(r.Open(fa));
  std::size_t dirStart = 512 * (U32(fa, 48) + 1);
  for (std::size_t e = 0; e < r.Entries().size(); ++e)
    for (std::size_t k = 100; k < 116; ++k) ASSERT_EQ(fa[dirStart + 128 * e + k], 0) << e;
}

// Walks the raw structures and checks what other readers rely on.
void CheckStructure(const std::vector<std::uint8_t>& f, bool expectDifat) {
  ASSERT_GE(f.size(), 512u);
  const std::uint32_t sectors = static_cast<std::uint32_t>(f.size() / 512 - 1);
  const std::uint32_t fatCount = U32(f, 44);
  std::vector<std::uint32_t> fatSectors;
  for (std::uint32_t i = 0; i < 109 && fatSectors.size() < fatCount; ++i) fatSectors.push_back(U32(f, 76 + 4 * i));
  std::vector<std::uint32_t> difatSectors;
  for (std::uint32_t d = U32(f, 68); fatSectors.size() < fatCount; ) {
    ASSERT_LT(d, sectors);
    difatSectors.push_back(d);
    for (std::uint32_t k = 0; k < 127 && fatSectors.size() < fatCount; ++k) fatSectors.push_back(U32(f, 512 * (d + 1) + 4 * k));
    d = U32(f, 512 * (d + 1) + 508);
  }
  EXPECT_EQ(difatSectors.size(), U32(f, 72));
  EXPECT_EQ(!difatSectors.empty(), expectDifat);
  std::vector<std::uint32_t> fat;
  for (std::uint32_t s : fatSectors)
    for (std::uint32_t k = 0; k < 128; ++k) fat.push_back(U32(f, 512 * (s + 1) + 4 * k));
  std::vector<int> owner(sectors, 0);
  int chainNo = 0;
  for (std::uint32_t s : fatSectors) {
    EXPECT_EQ(fat[s], 0xFFFFFFFDu);
    owner[s] = -1;
  }
  for (std::uint32_t s : difatSectors) {
    EXPECT_EQ(fat[s], 0xFFFFFFFCu);
    owner[s] = -2;
  }
  auto walk = [&](std::uint32_t start) {
    ++chainNo;
    std::uint32_t n = 0;
    for (std::uint32_t s = start; s != 0xFFFFFFFEu; s = fat[s]) {
      EXPECT_LT(s, sectors);
      if (s >= sectors) return n;
      EXPECT_EQ(owner[s], 0) << "sector " << s << " is in two chains";
      owner[s] = chainNo;
      ++n;
    }
    return n;
  };
  std::uint32_t dirSectors = walk(U32(f, 48));
  if (U32(f, 64)) {
    EXPECT_EQ(walk(U32(f, 60)), U32(f, 64));
  }
  std::size_t dir = 512 * (U32(f, 48) + 1);  // contiguous here: checked by the walk above
  std::uint32_t entries = dirSectors * 4;
  std::uint32_t rootStart = U32(f, dir + 116), rootSize = U32(f, dir + 120);
  if (rootSize) {
    EXPECT_GE(walk(rootStart) * 512u, rootSize);
  }
  for (std::uint32_t e = 1; e < entries; ++e) {
    std::size_t at = dir + 128 * e;
    std::uint32_t size = U32(f, at + 120);
    if (f[at + 66] == 2 && size >= 4096) {
      EXPECT_EQ(walk(U32(f, at + 116)), (size + 511) / 512);
    }
    if (f[at + 66] == 2 && size > 0 && size < 4096) {
      EXPECT_LT(U32(f, at + 116), rootSize / 64);  // in the mini stream
    }
  }
  // Red-black sibling trees in name order.
  std::function<int(std::uint32_t, const std::u16string*, const std::u16string*, int)> check =
      [&](std::uint32_t id, const std::u16string* lo, const std::u16string* hi, int parentColour) -> int {
    if (id == 0xFFFFFFFFu) return 1;
    std::size_t at = dir + 128 * id;
    std::u16string name;
    for (std::size_t k = 0; k + 2 < U32(f, at + 64) % 65536; k += 2) name.push_back(static_cast<char16_t>(f[at + k] | (f[at + k + 1] << 8)));
    if (lo) {
      EXPECT_LT(CompareCompoundNames(*lo, name), 0);
    }
    if (hi) {
      EXPECT_LT(CompareCompoundNames(name, *hi), 0);
    }
    int colour = f[at + 67];
    if (parentColour == 0) {
      EXPECT_EQ(colour, 1) << "red node under a red node";
    }
    int l = check(U32(f, at + 68), lo, &name, colour);
    int r = check(U32(f, at + 72), &name, hi, colour);
    EXPECT_EQ(l, r) << "unequal black heights";
    if (f[at + 66] != 2) check(U32(f, at + 76), nullptr, nullptr, -1);
    return l + (colour == 1 ? 1 : 0);
  };
  std::size_t rootAt = dir;
  std::uint32_t top = U32(f, rootAt + 76);
  if (top != 0xFFFFFFFFu) {
    EXPECT_EQ(f[dir + 128 * top + 67], 1) << "tree root must be black";
  }
  check(top, nullptr, nullptr, -1);
}

TEST(CompoundFile, StructureIsSound) {
  Sample s;
  CheckStructure(Save(s.w), false);
  for (int kids : {1, 2, 3, 4, 7, 8, 15, 16, 33}) {
    CompoundFileWriter w;
    for (int i = 0; i < kids; ++i) w.StreamData(w.AddStream(CompoundFileWriter::kRoot, u"n" + std::u16string(static_cast<std::size_t>(i % 5 + 1), static_cast<char16_t>(u'a' + i)))) = Pattern(static_cast<std::size_t>(i * 300), 1);
    CheckStructure(Save(w), false);
  }
}

TEST(CompoundFile, LargeFileUsesDifat) {
  CompoundFileWriter w;
  int id = w.AddStream(CompoundFileWriter::kRoot, u"Workbook");
  w.StreamData(id) = Pattern(8u << 20, 9);
  w.StreamData(w.AddStream(CompoundFileWriter::kRoot, u"tail")) = Pattern(50, 3);
  auto file = Save(w);
  EXPECT_GT(U32(file, 44), 109u);
  CheckStructure(file, true);
  CompoundFileReader r;
  FileResult opened = r.Open(file);
  ASSERT_TRUE(opened) << opened.error;
  std::vector<std::uint8_t> got;
  ASSERT_TRUE(r.ReadStream(r.Find(0, u"Workbook"), got));
  EXPECT_TRUE(got == w.StreamData(id));

  // A DIFAT chain that leaves the file is caught.
  std::uint32_t difat = U32(file, 68);
  SetU32(file, 44, 240);
  SetU32(file, 512 * (difat + 1) + 508, 0x00FFFFFF);
  CompoundFileReader bad;
  FileResult r2 = bad.Open(file);
  EXPECT_FALSE(r2);
  EXPECT_NE(r2.error.find("DIFAT chain leaves the file"), std::string::npos) << r2.error;
}

TEST(CompoundFile, NamesCompareByLengthThenUpperCase) {
  EXPECT_LT(CompareCompoundNames(u"zz", u"aaa"), 0);
  EXPECT_EQ(CompareCompoundNames(u"Workbook", u"WORKBOOK"), 0);
  EXPECT_EQ(CompareCompoundNames(u"\u00E9t\u00E9", u"\u00C9T\u00C9"), 0);
  EXPECT_EQ(CompareCompoundNames(u"\u013A\u0101", u"\u0139\u0100"), 0);  // Latin Extended-A pairs
  EXPECT_EQ(CompareCompoundNames(u"\u0436", u"\u0416"), 0);
  EXPECT_LT(CompareCompoundNames(u"A", u"B"), 0);
  EXPECT_GT(CompareCompoundNames(u"b", u"A"), 0);
}

TEST(CompoundFile, WriterRejectsBadNames) {
  CompoundFileWriter w;
  std::string error;
  EXPECT_EQ(w.AddStream(0, u"", &error), -1);
  EXPECT_EQ(w.AddStream(0, std::u16string(32, u'x'), &error), -1);
  EXPECT_GE(w.AddStream(0, std::u16string(31, u'x'), &error), 0);
  EXPECT_EQ(w.AddStream(0, u"a/b", &error), -1);
  EXPECT_NE(error.find("/ \\ : !"), std::string::npos);
  int book = w.AddStream(0, u"Book");
  EXPECT_EQ(w.AddStream(0, u"BOOK", &error), -1);
  EXPECT_NE(error.find("exists"), std::string::npos);
  EXPECT_EQ(w.AddStream(book, u"child", &error), -1);
  EXPECT_EQ(w.AddStorage(99, u"x", &error), -1);
  EXPECT_THROW(w.StreamData(0), std::invalid_argument);
}

TEST(CompoundFile, EveryWriteErrorReachesTheCaller) {
  struct Failing : ByteStream {
    std::size_t budget;
    explicit Failing(std::size_t b) : budget(b) {}
    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void*, std::size_t count) override {
      std::size_t n = std::min(count, budget);
      budget -= n;
      return n;
    }
    std::int64_t Seek(std::int64_t, SeekOrigin) override { return 0; }
  };
  Sample s;
  std::size_t full = Save(s.w).size();
  for (std::size_t budget : {std::size_t(0), std::size_t(511), std::size_t(600), std::size_t(2048 + 100), full - 1}) {
    Failing out(budget);
    FileResult r = s.w.Save(out);
    EXPECT_FALSE(r) << budget;
    EXPECT_NE(r.error.find("write failed"), std::string::npos);
  }
  Failing enough(full);
  EXPECT_TRUE(s.w.Save(enough));
  FileResult r = s.w.SaveToFile("/nonexistent-folder/x.xls");
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find("/nonexistent-folder/x.xls"), std::string::npos);
}

// ----- the reader against damaged files -----------------------------------------------------

class DamagedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Sample s;
    file = Save(s.w);
    dir = 512 * (U32(file, 48) + 1);
  }
  std::string OpenError() {
    CompoundFileReader r;
    FileResult res = r.Open(file);
    if (res) {
      // opening may succeed; reading every stream must then fail or succeed cleanly
      std::vector<std::uint8_t> out;
      for (std::size_t i = 0; i < r.Entries().size(); ++i) {
        FileResult rr = r.ReadStream(static_cast<int>(i), out);
        if (!rr && r.GetEntry(static_cast<int>(i)).type == CompoundEntryType::Stream) return rr.error;
      }
      return "";
    }
    EXPECT_TRUE(r.Entries().empty());
    return res.error;
  }
  std::size_t EntryAt(const std::u16string& name) {
    CompoundFileReader r;
    EXPECT_TRUE(r.Open(file));
    for (std::size_t i = 0; i < r.Entries().size(); ++i)
      if (r.Entries()[i].name == name) return dir + 128 * i;
    ADD_FAILURE() << "no entry";
    return dir;
  }
  std::vector<std::uint8_t> file;
  std::size_t dir = 0;
};

TEST_F(DamagedFile, NotACompoundFile) {
  file.assign(100, 0);
  EXPECT_EQ(OpenError(), "not a compound file");
  file.assign(4096, 'x');
  EXPECT_EQ(OpenError(), "not a compound file");
}

TEST_F(DamagedFile, BadVersionAndSectorShift) {
  file[26] = 5;
  EXPECT_NE(OpenError().find("unsupported version"), std::string::npos);
  SetUp();
  file[30] = 12;  // version 3 with 4096-byte sectors
  EXPECT_NE(OpenError().find("unsupported version"), std::string::npos);
}

TEST_F(DamagedFile, ByteOrderMarkWrittenBackwardsStillReads) {
  // FF FE instead of FE FF: the rest of the file is little-endian all the same.
  file[28] = 0xFF;
  file[29] = 0xFE;
  EXPECT_EQ(OpenError(), "");
  file[28] = 0xFE;
  file[29] = 0xFE;
  EXPECT_EQ(OpenError(), "compound file: unknown byte order");
}

TEST_F(DamagedFile, ChainCycleIsCaught) {
  std::size_t wb = EntryAt(u"Workbook");
  std::uint32_t start = U32(file, wb + 116);
  std::size_t fat0 = 512 * (U32(file, 76) + 1);
  SetU32(file, fat0 + 4 * (start + 3), start);  // the fourth sector links back to the first
  EXPECT_NE(OpenError().find("runs in a circle"), std::string::npos);
}

TEST_F(DamagedFile, SectorOutOfRange) {
  std::size_t wb = EntryAt(u"Workbook");
  SetU32(file, wb + 116, 0x00FFFFF0);
  EXPECT_NE(OpenError().find("leaves the file"), std::string::npos);
  SetUp();
  SetU32(file, 48, 0x7FFFFFFF);  // directory start
  EXPECT_NE(OpenError().find("directory"), std::string::npos);
  SetUp();
  SetU32(file, 76, 0x00FFFFFF);  // FAT sector
  EXPECT_NE(OpenError().find("FAT sector"), std::string::npos);
}

TEST_F(DamagedFile, HugeCountsAreRefused) {
  SetU32(file, 44, 0xFFFFFFF0);
  EXPECT_NE(OpenError().find("more FAT sectors"), std::string::npos);
  SetUp();
  SetU32(file, 44, 3);  // the header lists one FAT sector; the others read as free
  EXPECT_NE(OpenError().find("FAT sector lies outside"), std::string::npos);
  SetUp();
  std::size_t wb = EntryAt(u"Workbook");
  SetU32(file, wb + 120, 0xFFFFFFF0);  // size far beyond its chain
  EXPECT_NE(OpenError().find("shorter than its size"), std::string::npos);
}

TEST_F(DamagedFile, ShortStreamIsAFailure) {
  std::size_t small = EntryAt(u"small");
  SetU32(file, small + 120, 200);  // two mini sectors claimed... the chain has two: make it longer
  SetU32(file, small + 120, 4000);
  EXPECT_NE(OpenError().find("shorter than its size"), std::string::npos);
  SetUp();
  std::size_t root = dir;
  SetU32(file, root + 120, U32(file, root + 120) + 100000);
  EXPECT_NE(OpenError().find("mini stream"), std::string::npos);
}

TEST_F(DamagedFile, DirectoryLoopsAndSharedEntries) {
  std::size_t wb = EntryAt(u"Workbook");
  SetU32(file, wb + 68, 0);  // links back to the root
  EXPECT_NE(OpenError().find("directory tree"), std::string::npos);
  SetUp();
  wb = EntryAt(u"Workbook");
  std::uint32_t self = static_cast<std::uint32_t>((wb - dir) / 128);
  SetU32(file, wb + 72, self);
  EXPECT_NE(OpenError().find("loop"), std::string::npos);
  SetUp();
  wb = EntryAt(u"Workbook");
  SetU32(file, wb + 72, 5000);
  EXPECT_NE(OpenError().find("leaves the directory"), std::string::npos);
  SetUp();
  std::size_t vba = EntryAt(u"_VBA_PROJECT_CUR");
  SetU32(file, vba + 76, static_cast<std::uint32_t>((EntryAt(u"small") - dir) / 128));  // shared child
  EXPECT_NE(OpenError().find("loop"), std::string::npos);
}

TEST_F(DamagedFile, TruncatedFileFailsCleanly) {
  for (std::size_t keep : {std::size_t(512), std::size_t(1024), file.size() / 2, file.size() - 700}) {
    std::vector<std::uint8_t> whole = file;
    file.resize(keep);
    std::string e = OpenError();
    EXPECT_FALSE(e.empty()) << keep;
    file = whole;
  }
}

TEST(CompoundFile, VersionFourFilesAreRead) {
  // A version 4 file written by hand: 4096-byte sectors, one FAT sector (0), directory (1),
  // one stream of 5000 bytes (2, 3).
  std::vector<std::uint8_t> f(4096 * 5, 0);
  const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(sig, sig + 8, f.begin());
  f[24] = 0x3E;
  f[26] = 4;
  f[28] = 0xFE;
  f[29] = 0xFF;
  f[30] = 12;
  f[32] = 6;
  SetU32(f, 40, 1);
  SetU32(f, 44, 1);
  SetU32(f, 48, 1);
  SetU32(f, 56, 4096);
  SetU32(f, 60, 0xFFFFFFFE);
  SetU32(f, 68, 0xFFFFFFFE);
  for (int i = 0; i < 109; ++i) SetU32(f, 76 + 4 * i, i == 0 ? 0 : 0xFFFFFFFF);
  std::size_t fat = 4096;
  for (int i = 0; i < 1024; ++i) SetU32(f, fat + 4 * i, 0xFFFFFFFF);
  SetU32(f, fat + 0, 0xFFFFFFFD);
  SetU32(f, fat + 4, 0xFFFFFFFE);
  SetU32(f, fat + 8, 3);
  SetU32(f, fat + 12, 0xFFFFFFFE);
  std::size_t dir = 4096 * 2;
  auto name = [&](std::size_t at, const std::u16string& n) {
    for (std::size_t k = 0; k < n.size(); ++k) f[at + 2 * k] = static_cast<std::uint8_t>(n[k]);
    f[at + 64] = static_cast<std::uint8_t>(2 * (n.size() + 1));
  };
  for (int e = 0; e < 32; ++e) {
    SetU32(f, dir + 128 * e + 68, 0xFFFFFFFF);
    SetU32(f, dir + 128 * e + 72, 0xFFFFFFFF);
    SetU32(f, dir + 128 * e + 76, 0xFFFFFFFF);
  }
  name(dir, u"Root Entry");
  f[dir + 66] = 5;
  SetU32(f, dir + 76, 1);
  SetU32(f, dir + 116, 0xFFFFFFFE);
  name(dir + 128, u"Workbook");
  f[dir + 128 + 66] = 2;
  f[dir + 128 + 67] = 1;
  SetU32(f, dir + 128 + 116, 2);
  SetU32(f, dir + 128 + 120, 5000);
  auto data = Pattern(5000, 4);
  std::copy(data.begin(), data.end(), f.begin() + 4096 * 3);
  CompoundFileReader r;
  FileResult opened = r.Open(f);
  ASSERT_TRUE(opened) << opened.error;
  EXPECT_EQ(r.Version(), 4);
  std::vector<std::uint8_t> got;
  ASSERT_TRUE(r.ReadStream(r.Find(0, u"workbook"), got));
  EXPECT_EQ(got, data);
}

}  // namespace
}  // namespace platform
