// The reader against independent readers and writers: files written by python3-xlwt, gnumeric
// (ssconvert, BIFF8 and BIFF5) and LibreOffice read the same in our model as python3-xlrd reads
// them; LibreOffice's CSV of a file we read and saved again equals its CSV of the original;
// encrypted samples open with their password.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "reader_test_support.h"
#include "tests/sample_files.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/cell_store.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

class ReaderInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv_reader_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Our reading of the file must equal xlrd's reading of it (or of its twin).
  // Lines that begin with one of the skipped prefixes are left out on both sides.
  void ExpectSameAsXlrd(const std::string& path, const std::string& peerPath = {},
                        const std::vector<std::string>& skipped = {}) {
    SCOPED_TRACE(path);
    IXLSWorkbook book = TXLSWorkbook::Create();
    const std::u16string name(path.begin(), path.end());
    ASSERT_EQ(book->Open(name), 1);
    const std::string peer = PeerDump(peerPath.empty() ? path : peerPath);
    ASSERT_FALSE(peer.empty()) << "xlrd cannot read " << path;
    auto drop = [&](const std::string& text) {
      std::string kept, line;
      std::istringstream in(text);
      while (std::getline(in, line)) {
        bool skip = false;
        for (const std::string& prefix : skipped) skip = skip || line.rfind(prefix, 0) == 0;
        if (!skip) kept += line + '\n';
      }
      return kept;
    };
    EXPECT_EQ(CompareDumps(drop(DumpModel(*book, peer)), drop(peer)), "");
  }

  fs::path dir_;
};

std::string Shell(const std::string& command) {
  std::string output;
  EXPECT_EQ(RunCommand(command + " 2>&1", output), 0) << command << "\n" << output;
  return output;
}

TEST_F(ReaderInterop, FilesOfThreeWritersReadAsXlrdReadsThem) {
  for (const char* file : {"xlwt.xls", "gnumeric.xls", "libreoffice.xls"})
    ExpectSameAsXlrd(SourceDir() + "/tests/data/xls/" + file);
}

TEST_F(ReaderInterop, XlwtAndGnumericBiff8AndBiff5ReadAsXlrdReadsThem) {
  const std::string script = SourceDir() + "/tests/xls/reader/make_xlwt.py";
  Shell("/usr/bin/python3 " + script + " " + Path("xlwt.xls"));
  Shell("/usr/bin/python3 " + script + " " + Path("xlwt1904.xls") + " 1904");
  ExpectSameAsXlrd(Path("xlwt.xls"));
  ExpectSameAsXlrd(Path("xlwt1904.xls"));
  Shell("ssconvert -T Gnumeric_Excel:excel_biff8 " + Path("xlwt.xls") + " " + Path("gnumeric8.xls"));
  Shell("ssconvert -T Gnumeric_Excel:excel_biff7 " + Path("xlwt.xls") + " " + Path("gnumeric5.xls"));
  ExpectSameAsXlrd(Path("gnumeric8.xls"));
  // xlrd fails on gnumeric's BIFF5 files (a UTF-16 decoding error): the BIFF5 file must read
  // as xlrd reads gnumeric's BIFF8 file of the same workbook.
  ExpectSameAsXlrd(Path("gnumeric5.xls"), Path("gnumeric8.xls"));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// LibreOffice writes a workbook from a flat OpenDocument file (values, styles, number formats,
// layout, merged cells, a comment, names, long and many distinct texts): we read it as xlrd
// does; saved again by our writer, LibreOffice's CSV of it equals its CSV of the original.
TEST_F(ReaderInterop, LibreOfficeWorkbookReadsAsXlrdReadsItAndSurvivesOurSave) {
  const std::string soffice = "HOME=" + Path("home") + " soffice --headless ";
  Shell("/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/make_fods.py " + Path("book.fods"));
  Shell(soffice + "--convert-to 'xls:MS Excel 97' --outdir " + Path("") + " " + Path("book.fods"));
  // The cells of the array formula are read as such, but the calculator does not compute
  // array formulas: their values are left out of the comparison.
  const std::vector<std::string> arrayCells = {"cell 70 0 ", "cell 71 0 ", "cell 72 0 "};
  ExpectSameAsXlrd(Path("book.xls"), {}, arrayCells);

  IXLSWorkbook book = TXLSWorkbook::Create();
  const std::string in = Path("book.xls");
  ASSERT_EQ(book->Open(std::u16string(in.begin(), in.end())), 1);
  IXLSWorksheet& values = *book->GetWorksheets().GetItem(1);
  for (int row = 70; row <= 72; ++row) {
    const TXLSCellFormula* f = values.GetCellFormula(row, 0);
    ASSERT_NE(f, nullptr) << row;
    EXPECT_EQ(f->Text(values, row, 0), u"{=A66:A68*10}") << row;
  }
  // The picture is in the sheet's drawing with its bytes in the picture store.
  ASSERT_EQ(values.GetShapes().Count(), 1u);
  ASSERT_NE(values.GetShapes().Item(1)->GetPicture(), nullptr);
  // The shared formula's cells each refer to their own row.
  ASSERT_NE(values.GetCellFormula(67, 1), nullptr);
  EXPECT_EQ(values.GetCellFormula(67, 1)->Text(values, 67, 1), u"=A68*2+$A$66");
  const std::string out = Path("saved.xls");
  ASSERT_EQ(book->SaveAsFormat(std::u16string(out.begin(), out.end()), 2), 1);
  // What we wrote back reads the same in xlrd, the comment included.
  ExpectSameAsXlrd(out, {}, arrayCells);
  EXPECT_NE(PeerDump(out).find("note 63 2 "), std::string::npos);
  IXLSWorkbook again = TXLSWorkbook::Create();
  ASSERT_EQ(again->Open(std::u16string(out.begin(), out.end())), 1);
  EXPECT_EQ(again->GetWorksheets().GetItem(1)->GetShapes().Count(), 1u);
  fs::create_directories(Path("csv"));
  Shell(soffice + "--convert-to csv --outdir " + Path("csv") + " " + in + " " + out);
  const std::string original = ReadFile(Path("csv/book.csv"));
  ASSERT_GT(original.size(), 1000u);
  EXPECT_EQ(ReadFile(Path("csv/saved.csv")), original);
}

TEST_F(ReaderInterop, EncryptedSamplesOpenWithTheirPassword) {
  const fs::path samples = fs::path(SourceDir()) / ".." / "shared" / "data" / "encrypted-xls";
  if (!fs::is_directory(samples)) KV_MISSING_SAMPLES("no encrypted samples beside the source tree: " << samples.string());
  struct Sample {
    const char* file;
    const char* twin;
    std::u16string password;
  };
  for (const Sample& s : {Sample{"xor_password_123456789012345.xls", "xor_password_123456789012345_plain.xls",
                                 u"123456789012345"},
                          Sample{"rc4cryptoapi_password.xls", "rc4cryptoapi_password_plain.xls", u"Password1234_"}}) {
    const std::string path = (samples / s.file).string();
    IXLSWorkbook book = TXLSWorkbook::Create();
    const std::u16string name(path.begin(), path.end());
    EXPECT_LT(book->OpenWithPassword(name, u"wrong"), -1000) << s.file;
    ASSERT_EQ(book->OpenWithPassword(name, s.password), 1) << s.file;
    // The decrypted cells equal what xlrd reads from the plain twin.
    const std::string peer = PeerDump((samples / s.twin).string());
    ASSERT_FALSE(peer.empty());
    EXPECT_EQ(CompareDumps(DumpModel(*book, peer), peer), "") << s.file;
  }
}

}  // namespace
}  // namespace xls::test
