// Our saves of recalc_books.h's workbooks and of a workbook python3-xlwt writes, read back by
// xlrd, gnumeric and LibreOffice (kept_peer.py's "results"): results that were empty read as
// the calculator's, formulas written with the file's own tokens read and compute as the original.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>
#include <unistd.h>

#include "platform/atomic_file.h"
#include "recalc_books.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

class RecalcInterop : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const Bytes& bytes) const {
    ASSERT_TRUE(platform::WriteFileAtomically(Path(name), bytes.data(), bytes.size())) << name;
  }
  // The "results" lines of each file, by file name.
  std::map<std::string, std::string> Results(const std::vector<std::string>& files) const {
    std::string command = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/kept_peer.py results " + dir_.string();
    for (const std::string& f : files) command += " " + Path(f);
    std::string out;
    EXPECT_EQ(RunCommand(command + " 2>&1", out), 0) << command << "\n" << out;
    return FileSections(out);
  }
  static void Expect(std::map<std::string, std::string>& seen, const std::string& file,
                     const std::vector<std::string>& lines, bool present = true) {
    for (const std::string& line : lines)
      EXPECT_EQ(seen[file].find(line + "\n") != std::string::npos, present)
          << file << (present ? ": no " : ": still ") << line << " in\n" << seen[file];
  }

  const fs::path dir_ = fs::temp_directory_path() / ("kv_recalc_" + std::to_string(::getpid()));
};

// xlwt writes every result empty: xlrd and gnumeric read the cells blank. After our unchanged
// save they read the calculator's results; GAMMALN, which it does not compute, stays blank and is
// flagged (LibreOffice calculates it on load).
TEST_F(RecalcInterop, ResultsOfXlwtReadAfterOurSave) {
  const std::string make =
      "/usr/bin/python3 -c 'import sys, xlwt\n"
      "b = xlwt.Workbook(); s = b.add_sheet(\"S\")\n"
      "s.write(0, 0, 2); s.write(0, 1, xlwt.Formula(\"A1*3\")); s.write(0, 2, xlwt.Formula(\"B1+1\"))\n"
      "s.write(0, 3, xlwt.Formula(\"IF(A1>1,\\\"big\\\",\\\"small\\\")\")); s.write(0, 4, xlwt.Formula(\"GAMMALN(A1)\"))\n"
      "b.save(sys.argv[1])' " + Path("xlwt.xls");
  std::string out;
  ASSERT_EQ(RunCommand(make + " 2>&1", out), 0) << out;
  Bytes xlwt;
  ASSERT_TRUE(platform::ReadWholeFile(Path("xlwt.xls"), xlwt, 1 << 20));
  IXLSWorkbook book = Open(xlwt);
  Write("xlwt8.xls", Saved(*book, 2));
  Write("xlwt5.xls", Saved(*book, 1));
  std::map<std::string, std::string> seen = Results({"xlwt.xls", "xlwt8.xls", "xlwt5.xls"});
  Expect(seen, "xlwt.xls", {"xlrd B1 s ''", "xlrd C1 s ''", "xlrd D1 s ''"});
  Expect(seen, "xlwt.xls", {"gnumeric B1 6", "gnumeric C1 7", "gnumeric D1 big"}, false);
  for (const char* file : {"xlwt8.xls", "xlwt5.xls"}) {
    Expect(seen, file, {"xlrd B1 n 6.0", "xlrd C1 n 7.0", "xlrd D1 s 'big'", "gnumeric B1 6", "gnumeric C1 7",
                        "gnumeric D1 big", "libreoffice B1 6", "libreoffice C1 7", "libreoffice D1 big",
                        "libreoffice E1 0"});
    Expect(seen, file, {"gnumeric E1"}, false);
  }
}

// The formulas written with the file's tokens (IF's attributes, ptgInt, the token classes) read
// in gnumeric as in the original and calculate so in LibreOffice; after a change the one we do not
// compute keeps its old result for xlrd and gnumeric, and LibreOffice calculates every formula.
TEST_F(RecalcInterop, TokensAsReadReadAsTheOriginal) {
  for (std::uint16_t version : {0x0600, 0x0500}) {
    const std::string v = version == 0x0600 ? "8.xls" : "5.xls";
    const int format = version == 0x0600 ? 2 : 1;
    Write("calc" + v, CalculatedBook(version));
    IXLSWorkbook book = Open(CalculatedBook(version));
    Write("ours" + v, Saved(*book, format));
    book->GetWorksheets().GetItem(1)->GetRange(u"A1")->SetValue(Variant(0.5));
    Write("changed" + v, Saved(*book, format));
  }
  std::map<std::string, std::string> seen =
      Results({"calc8.xls", "ours8.xls", "changed8.xls", "calc5.xls", "ours5.xls", "changed5.xls"});
  for (const char* file : {"calc8.xls", "ours8.xls", "calc5.xls", "ours5.xls"})
    Expect(seen, file, {"xlrd B1 n 0.5", "xlrd C1 n 1.5", "xlrd D1 n 10.0", "gnumeric D1 10", "gnumeric B3 10",
                        "gnumeric C3 20", "gnumeric A5 4", "libreoffice C1 1", "libreoffice D1 10",
                        "libreoffice B3 10", "libreoffice A5 4"});
  for (const char* file : {"changed8.xls", "changed5.xls"})
    Expect(seen, file, {"xlrd B1 n 0.5", "xlrd C1 n 1.5", "xlrd D1 n 20.0", "xlrd A5 n 1.0", "gnumeric D1 20",
                        "libreoffice D1 20", "libreoffice A5 1"});
}

}  // namespace
}  // namespace xls::test
