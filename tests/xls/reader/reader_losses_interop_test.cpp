// The workbooks of gen_reader_losses.py opened by us and saved again, read back by LibreOffice,
// gnumeric and xlrd: they find in our file the long formula, the validation (its message cut to
// what the format holds), the cells under the merged area and the BIFF5 autofilter with its
// criteria, as they find them in the original.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "reader_test_support.h"
#include "xls/model/workbook.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

std::string Peer(const std::string& args) {
  std::string out;
  const std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/losses_peer.py " + args + " 2>&1";
  EXPECT_EQ(RunCommand(command, out), 0) << command << "\n" << out;
  return out;
}

// The lines of one file that mention one of the words (all lines without words).
std::string Lines(const std::string& text, std::initializer_list<const char*> words = {}) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    bool keep = words.size() == 0;
    for (const char* w : words) keep = keep || line.find(w) != std::string::npos;
    if (keep) out += line + "\n";
  }
  return out;
}

class ReaderLossesInterop : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Data(const std::string& name) { return SourceDir() + "/tests/data/xls/" + name; }
  void Resave(const std::string& data, int format, const std::string& name) {
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Wide(Data(data))), 1);
    ASSERT_EQ(book->SaveAsFormat(Wide(Path(name)), format), 1);
  }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
  std::string Gnumeric(const std::string& path) { return Peer("gnumeric " + dir_.string() + " " + path); }
  std::string Xlrd(const std::string& path) { return Peer("xlrd " + path); }

  fs::path dir_ = fs::temp_directory_path() / ("kv_losses_" + std::to_string(::getpid()));
};

TEST_F(ReaderLossesInterop, OtherProgramsFilesThroughOurSaves) {
  Resave("gnumeric_losses.xls", 2, "losses8.xls");
  Resave("lo_merged_rich.xls", 2, "merged8.xls");
  Resave("lo_merged_rich.xls", 1, "merged5.xls");
  Resave("gnumeric_biff5_filter.xls", 2, "filter8.xls");
  Resave("gnumeric_biff5_filter.xls", 1, "filter5.xls");

  // LibreOffice does not open gnumeric's file with the long records; it opens ours.
  std::map<std::string, std::string> lo;
  {
    std::istringstream in(Peer("lo " + Data("lo_merged_rich.xls") + " " + Data("gnumeric_biff5_filter.xls") + " " + Path("losses8.xls") + " " +
                               Path("merged8.xls") + " " + Path("merged5.xls") + " " + Path("filter8.xls") + " " +
                               Path("filter5.xls")));
    std::string line, current;
    while (std::getline(in, line)) {
      if (line.rfind("file ", 0) == 0) current = fs::path(line.substr(5)).filename().string();
      else lo[current] += line + "\n";
    }
  }
  std::string validations;
  for (const char* cell : {"D1", "D2", "D3", "D4"}) validations += std::string("validation 0 ") + cell + " Whole number 225\n";
  // Nor does it read a FORMULA record continued in a CONTINUE record (B2, an error there): the
  // rest of our file it reads.
  EXPECT_EQ(Lines(lo["losses8.xls"], {"cell", "validation"}),
            "cell 0 A1 top\ncell 0 B3 7\ncell 1 A1 objects\n" + validations);
  EXPECT_EQ(Lines(lo["merged8.xls"]), Lines(lo["lo_merged_rich.xls"]));
  EXPECT_NE(lo["merged8.xls"].find("cell 0 B1 b1\n"), std::string::npos) << lo["merged8.xls"];
  EXPECT_EQ(lo["merged5.xls"], lo["merged8.xls"]);
  EXPECT_NE(lo["filter8.xls"].find("filter 0 A1:B5 0:drive\n"), std::string::npos) << lo["filter8.xls"];
  // LibreOffice reads no autofilter from BIFF5 files, gnumeric's or ours.
  EXPECT_EQ(lo["filter5.xls"], lo["gnumeric_biff5_filter.xls"]);
  EXPECT_EQ(Lines(lo["filter5.xls"], {"cell", "hidden"}), Lines(lo["filter8.xls"], {"cell", "hidden"}));

  // gnumeric and xlrd read the originals as they read our saves; the validation message is cut.
  std::string original = Gnumeric(Data("gnumeric_losses.xls"));
  const std::size_t message = original.find("Whole number 9000");
  ASSERT_NE(message, std::string::npos) << original;
  EXPECT_EQ(Gnumeric(Path("losses8.xls")), original.replace(message, 17, "Whole number 225"));
  EXPECT_EQ(Xlrd(Path("losses8.xls")), Xlrd(Data("gnumeric_losses.xls")));
  const std::string merged = Gnumeric(Data("lo_merged_rich.xls"));
  EXPECT_NE(merged.find("cell 0 C2 c2\n"), std::string::npos) << merged;
  EXPECT_EQ(Gnumeric(Path("merged8.xls")), merged);
  EXPECT_EQ(Gnumeric(Path("merged5.xls")), merged);
  const std::string mergedXlrd = Xlrd(Data("lo_merged_rich.xls"));
  EXPECT_EQ(Xlrd(Path("merged8.xls")), mergedXlrd);
  EXPECT_EQ(Xlrd(Path("merged5.xls")), mergedXlrd);
  const std::string filter = Gnumeric(Data("gnumeric_biff5_filter.xls"));
  EXPECT_NE(filter.find("filter 0 A1:B5 0:drive\n"), std::string::npos) << filter;
  EXPECT_EQ(Gnumeric(Path("filter8.xls")), filter);
  EXPECT_EQ(Gnumeric(Path("filter5.xls")), filter);
  // xlrd cannot read gnumeric's BIFF5 names; it reads ours.
  const std::string filterXlrd = Xlrd(Path("filter8.xls"));
  EXPECT_NE(filterXlrd.find("filter 0 A1:B5\n"), std::string::npos) << filterXlrd;
  EXPECT_EQ(Xlrd(Path("filter5.xls")), filterXlrd);
}

}  // namespace
}  // namespace xls::test
