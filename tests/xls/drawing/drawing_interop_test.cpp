// Comments and pictures written by the library, read by independent programs: xlrd's note map,
// LibreOffice's reading (annotations and images of an OpenDocument conversion, and a rendering of the
// sheet through its PDF export), and drawing records that LibreOffice writes, which must parse
// and come back byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "io_test_support.h"
#include "picture_bytes.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

const std::string kPeer = std::string(KV_SOURCE_DIR) + "/tests/xls/drawing/drawing_peer.py";

std::string Peer(const std::string& args) {
  std::string out;
  const int code = RunCommand("/usr/bin/python3 " + kPeer + " " + args, out);
  EXPECT_EQ(code, 0) << out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  // soffice may print notices before the answer: the answer is the last line.
  const std::size_t nl = out.rfind('\n');
  return nl == std::string::npos ? out : out.substr(nl + 1);
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A workbook with comments on two sheets (one of them protected by a password) and three
// pictures, one of each kind.
IXLSWorkbook BuildBook(const TempDir& dir, bool protect) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* first = book->GetWorksheets().Add();
  IXLSWorksheet* second = book->GetWorksheets().Add();
  first->GetRange(u"A1")->SetValue(Variant(u"values"));
  first->GetRange(u"B2")->AddComment(u"plain note");
  first->GetRange(u"D5")->AddComment(u"Umlaute \u00e4\u00f6\u00fc and \u20ac");
  second->GetRange(u"C3")->AddComment(u"on the second sheet");
  TXLSShapes& pictures = first->GetShapes();
  EXPECT_NE(pictures.AddPicture(MakePng(60, 40, 0), 7, 1), nullptr);
  EXPECT_NE(pictures.AddPicture(MakeBmp(50, 30, 1), 7, 4), nullptr);
  const std::vector<std::uint8_t> jpeg = ReadFile(dir.File("picture.jpg"));
  if (!jpeg.empty()) {
    EXPECT_NE(pictures.AddPicture(jpeg, 14, 1), nullptr);
  }
  if (protect) book->ProtectWithPassword("secret");
  return book;
}

// A JPEG from poppler: a one-page PDF with coloured rectangles rendered with pdftoppm -jpeg.
void MakeJpeg(const TempDir& dir) {
  const std::string content = "1 0 0 rg 0 0 40 30 re f 0 0 1 rg 40 0 40 30 re f";
  std::string pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                    "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                    "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 80 30]/Contents 4 0 R>>endobj\n"
                    "4 0 obj<</Length " + std::to_string(content.size()) + ">>stream\n" + content +
                    "\nendstream endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n";
  WriteFile(dir.File("box.pdf"), std::vector<std::uint8_t>(pdf.begin(), pdf.end()));
  std::string out;
  RunCommand("pdftoppm -jpeg -r 72 -singlefile " + dir.File("box.pdf") + " " + dir.File("picture"), out);
  ASSERT_FALSE(ReadFile(dir.File("picture.jpg")).empty()) << out;
}

TEST(DrawingInterop, CommentsAndPicturesSeenByXlrdAndLibreOffice) {
  TempDir dir;
  MakeJpeg(dir);
  for (bool protect : {false, true}) {
    SCOPED_TRACE(protect ? "protected workbook" : "plain workbook");
    IXLSWorkbook book = BuildBook(dir, protect);
    const std::string file = dir.File(protect ? "protected.xls" : "notes.xls");
    WriteFile(file, SaveFileBytes(*book, 2));
    if (const char* keep = std::getenv("KV_DRAWING_KEEP")) WriteFile(std::string(keep) + "/" + file.substr(file.rfind('/') + 1), ReadFile(file));
    EXPECT_EQ(Peer("notes " + file),
              "{\"Sheet1\": [[1, 1, \"plain note\", \"\"], [4, 3, \"Umlaute \\u00e4\\u00f6\\u00fc and \\u20ac\", \"\"]], "
              "\"Sheet2\": [[2, 2, \"on the second sheet\", \"\"]]}");
    EXPECT_EQ(Peer("ods " + file + " " + dir.Path()),
              "{\"Sheet1\": {\"annotations\": [[1, 1, \"plain note\"], [4, 3, \"Umlaute \\u00e4\\u00f6\\u00fc and \\u20ac\"]], "
              "\"images\": 3}, \"Sheet2\": {\"annotations\": [[2, 2, \"on the second sheet\"]], \"images\": 0}}");
  }
  // The rendering is kept for a look at it: KV_DRAWING_RENDER names where to copy it.
  const std::string png = Peer("render " + dir.File("notes.xls") + " " + dir.Path());
  ASSERT_EQ(png.rfind("error", 0), std::string::npos) << png;
  const std::vector<std::uint8_t> page = ReadFile(png);
  EXPECT_GT(page.size(), 1000u);
  if (const char* keep = std::getenv("KV_DRAWING_RENDER")) WriteFile(keep, page);
}

}  // namespace
}  // namespace xls::test
