// The exports read back by independent programs: Python's csv module and LibreOffice's text
// import for CSV/TSV, headless Chromium for the HTML pages (DOM dump with computed styles and
// a screenshot), LibreOffice's word processor and pdftotext for RTF. Screenshots and page
// renderings are kept in <build>/test_artefacts/export to be looked at.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../io/io_test_support.h"
#include "export_test_util.h"
#include "xls/io/export/rtf_export.h"

namespace xls {
namespace {

using testing::Book;

const std::string kChecker = std::string(KV_SOURCE_DIR) + "/tests/xls/export/export_check.py";
const std::string kArtefacts = std::string(KV_BINARY_DIR) + "/test_artefacts/export";

using test::Json;

// The workbook every check reads: texts that need quoting or escaping, numbers, a boolean,
// characters inside and outside code page 1252, formats, a formula error, a merged area and a
// second sheet.
struct Sample : Book {
  Sample() : Book(u"S<1>&") {
    const char16_t* texts[][5] = {
        {u"plain", u"two words", u"comma,inside", u"quote \"q\"", nullptr},
        {nullptr, nullptr, nullptr, u"line1\nline2", u"tab\there"},
        {u"\u00fcmlaut \u00e9 \u20ac", u"\u0416 \u043a\u0438\u0440", nullptr, nullptr,
         u"<b>not bold</b> & <script>x</script>"},
    };
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 5; ++c) {
        if (texts[r][c]) sheet->GetRangeRC(r + 1, c + 1, r + 1, c + 1)->SetValue(Variant(texts[r][c]));
      }
    }
    At(u"A2")->SetValue(Variant(12.5));
    At(u"B2")->SetValue(Variant(-3.0));
    At(u"C2")->SetValue(Variant(true));
    At(u"C3")->SetValue(Variant(1e20));
    At(u"D3")->SetValue(Variant(u"=1/0"));  // exported as its error text
    At(u"A1")->GetFont()->SetBold(true);
    At(u"A1")->GetFont()->SetColor(0x0000FF);
    At(u"A1")->SetHorizontalAlignment(kHAlignCenter);
    At(u"B4", u"D5")->Merge();
    At(u"B4")->SetValue(Variant(u"merged area"));
    At(u"B4", u"D5")->GetInterior()->SetColor(0x00FFFF);
    At(u"B4", u"D5")->GetInterior()->SetPattern(kPatternSolid);
    At(u"B4")->GetBorders()->GetItem(kBorderTop)->SetLineStyle(kLineContinuous);
    At(u"A6")->SetValue(Variant(1234.5));
    At(u"A6")->SetNumberFormat(u"#,##0.00");
    At(u"E6")->SetValue(Variant(u"end"));
    At(u"B1")->SetColumnWidth(Variant(14.0));
    second = book->GetWorksheets().Add();
    second->SetName(u"Zweite");
    second->GetRange(u"A1")->SetValue(Variant(u"second sheet text"));
    sheet->Activate();
  }
  IXLSWorksheet* second = nullptr;
};

class ExportInterop : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(kArtefacts); }

  void Check(const std::string& mode, const std::string& expected) {
    const std::string path = dir_.File(mode + ".json");
    { std::ofstream(path) << expected; }
    std::string output;
    const int code = test::RunCommand("/usr/bin/python3 " + kChecker + " " + mode + " " + path + " " + dir_.Path() +
                                          " " + kArtefacts,
                                      output);
    EXPECT_EQ(code, 0) << output;
    EXPECT_EQ(output, "");
  }

  // The delimited files of the sample in formats 5 to 8 with the rows the cells give.
  std::string DelimitedFiles(Sample& s) {
    std::string files;
    const struct {
      int format;
      const char* name;
      const char* encoding;
      const char* delimiter;
    } kinds[] = {{5, "book.csv", "cp1252", ","},
                 {6, "book.tsv", "cp1252", "\\t"},
                 {7, "book16.csv", "utf-16", ","},
                 {8, "book16.tsv", "utf-16", "\\t"}};
    for (const auto& k : kinds) {
      EXPECT_EQ(s.book->SaveAsFormat(Utf8ToWide(dir_.File(k.name)), k.format), 1);
      const bool wide = k.format >= 7;
      std::string rows, types;
      IXLSRange used = s.sheet->GetUsedRange();
      for (std::int32_t r = used->GetFirstRow(); r <= used->GetLastRow(); ++r) {
        rows += rows.empty() ? "[" : ",[";
        types += types.empty() ? "[" : ",[";
        for (std::int32_t c = used->GetFirstCol(); c <= used->GetLastCol(); ++c) {
          const Variant v = s.sheet->GetRangeRC(r + 1, c + 1, r + 1, c + 1)->GetValue();
          std::u16string text = v.IsBoolean() ? (v.BooleanValue() ? u"True" : u"False") : v.ToText();
          if (!wide) text = AnsiToWideCP(WideToAnsiCP(text, 1252), 1252);
          rows += (c > used->GetFirstCol() ? "," : "") + Json(text);
          types += std::string(c > used->GetFirstCol() ? "," : "") + (v.IsBoolean() ? "\"b\"" : v.IsNumber() ? "\"n\"" : "\"s\"");
        }
        rows += "]";
        types += "]";
      }
      if (!files.empty()) files += ",";
      files += std::string("{\"file\":\"") + k.name + "\",\"encoding\":\"" + k.encoding + "\",\"delimiter\":\"" +
               k.delimiter + "\",\"rows\":[" + rows + "],\"kinds\":[" + types + "]}";
    }
    return "{\"files\":[" + files + "]}";
  }

  test::TempDir dir_;
};

// The same four delimited files read by Python's csv module and imported by LibreOffice.
TEST_F(ExportInterop, PythonCsvAndLibreOfficeReadTheCells) {
  Sample s;
  const std::string files = DelimitedFiles(s);
  Check("csv", files);
  Check("libreoffice", files);
}

TEST_F(ExportInterop, ChromiumShowsPagesCellsAndStyles) {
  Sample s;
  ASSERT_EQ(s.book->SaveAsFormat(Utf8ToWide(dir_.File("book.htm")), 3), 1);
  const std::string nbsp = "\u00a0";
  auto row = [&](std::initializer_list<const char*> texts) {
    std::string out;
    for (const char* t : texts) {
      const std::string text = *t ? t : nbsp;
      const bool area = text == "merged area";
      out += std::string(out.empty() ? "" : ",") + "[" + Json(Utf8ToWide(text)) + (area ? ",\"3\",\"2\"]" : ",\"1\",\"1\"]");
    }
    return out;
  };
  const std::string cells = "[" + row({"plain", "two words", "comma,inside", "quote \"q\"", ""}) + "," +
                            row({"12.5", "-3", "True", "line1\\nline2", "tab\\there"}) + "," +
                            row({"\u00fcmlaut \u00e9 \u20ac", "\u0416 \u043a\u0438\u0440", "1E+20", "#DIV/0!",
                                 "<b>not bold</b> & <script>x</script>"}) +
                            "," + row({"", "merged area", ""}) + "," + row({"", ""}) + "," +
                            row({"1,234.50", "", "", "", "end"}) + "]";
  // The cells' own line feed and tab are in the DOM as they are.
  std::string fixed = cells;
  for (const char* esc : {"line1\\\\nline2", "tab\\\\there"}) {
    const std::string from = esc;
    std::string to = from;
    to.erase(to.find("\\\\"), 1);
    fixed.replace(fixed.find(from), from.size(), to);
  }
  // Another workbook saved as book.html shares the folder book.files: both framesets show their
  // own sets, the first one's sheet pages are still there.
  Book other(u"Andere");
  other.At(u"A1")->SetValue(Variant(u"other set"));
  other.book->GetWorksheets().Add()->SetName(u"Noch eine");
  ASSERT_EQ(other.book->SaveAsFormat(Utf8ToWide(dir_.File("book.html")), 3), 1);
  // The sheet pages are in the subfolder of book.files that this save made and the frameset
  // page names; its frames and the tab strip's links must lead to them.
  const std::vector<std::uint8_t> page = test::ReadFileBytes(dir_.File("book.htm"));
  const std::string frames(page.begin(), page.end()), prefix = "<frame src=\"book.files/";
  const std::size_t found = frames.find(prefix);
  ASSERT_NE(found, std::string::npos) << frames;
  const std::size_t at = found + prefix.size();
  const std::string folder = "book.files/" + frames.substr(at, frames.find('/', at) - at);
  const std::string expected =
      "{\"pages\":[{\"file\":\"" + folder + "/Sheet001.htm\",\"screenshot\":\"sheet_page.png\",\"absent_tags\":[\"b\"],"
      "\"cells\":" + fixed + ",\"styles\":{"
      "\"plain\":{\"fontWeight\":\"700\",\"color\":\"rgb(255, 0, 0)\",\"textAlign\":\"center\"},"
      "\"merged area\":{\"borderTopStyle\":\"solid\",\"backgroundColor\":\"rgb(255, 255, 0)\",\"fontWeight\":\"400\"},"
      "\"two words\":{\"whiteSpace\":\"nowrap\",\"color\":\"rgb(0, 0, 0)\",\"textAlign\":\"left\"},"
      "\"12.5\":{\"textAlign\":\"right\"}}},"
      "{\"file\":\"" + folder + "/tabstrip.htm\",\"texts\":[\"\\u00a0S<1>&\\u00a0\",\"Zweite\"],"
      "\"screenshot\":\"tab_strip.png\"},"
      "{\"file\":\"book.htm\",\"texts\":[\"src=\\\"" + folder + "/Sheet001.htm\\\"\","
      "\"src=\\\"" + folder + "/tabstrip.htm\\\"\"],"
      "\"frames\":{\"frSheet\":\"two words\",\"frTabs\":\"Zweite\"},\"screenshot\":\"frameset.png\"},"
      "{\"file\":\"book.html\",\"frames\":{\"frSheet\":\"other set\",\"frTabs\":\"Noch eine\"}}]}";
  Check("chromium", expected);
}

// A device-independent bitmap of one colour (0x00BBGGRR), 24 bits a pixel.
std::vector<std::uint8_t> Bitmap(std::int32_t width, std::int32_t height, std::uint32_t colour) {
  const std::int32_t stride = (width * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> b(40 + static_cast<std::size_t>(stride * height), 0);
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
  };
  put(0, 40);
  put(4, static_cast<std::uint32_t>(width));
  put(8, static_cast<std::uint32_t>(height));
  put(12, 1 | (24 << 16));  // one plane, 24 bits
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::size_t at = 40 + static_cast<std::size_t>(y * stride + x * 3);
      b[at] = static_cast<std::uint8_t>(colour >> 16);  // blue, green, red
      b[at + 1] = static_cast<std::uint8_t>(colour >> 8);
      b[at + 2] = static_cast<std::uint8_t>(colour);
    }
  }
  return b;
}

TEST_F(ExportInterop, LibreOfficeReadsTheRtfTables) {
  Sample s;
  // Pictures as the drawing layer hands them over: a green bitmap in B6 and a blue PNG in E1,
  // each shown 30 x 15 points.
  TXLSRTFExport rtf;
  rtf.SetPictureSource([](IXLSWorksheet& sheet) {
    std::vector<TXLSRTFPicture> pictures;
    if (sheet.GetName() == u"S<1>&") {
      pictures.push_back({5, 1, 7, Bitmap(40, 20, 0x00FF00), 30, 15});
      pictures.push_back({0, 4, 6, testing::kBluePng, 30, 15});
    }
    return pictures;
  });
  ASSERT_EQ(rtf.SaveWorkbookToFile(*s.book, Utf8ToWide(dir_.File("book.rtf"))), 1);
  Check("rtf",
        "{\"file\":\"book.rtf\",\"render\":\"rtf_page\",\"pages\":2,\"counts\":{\"merged area\":1},"
        "\"colours\":[[[0,255,0],200],[[0,0,255],200]],"
        "\"in_order\":[\"plain\",\"two words\",\"comma,inside\",\"quote \\\"q\\\"\",\"12.5\",\"-3\",\"True\","
        "\"line1\",\"line2\",\"tab\",\"here\",\"\\u00fcmlaut \\u00e9 \\u20ac\",\"\\u0416 \\u043a\\u0438\\u0440\","
        "\"1E+20\",\"#DIV/0!\",\"merged area\",\"1,234.50\",\"end\",\"second sheet text\"],"
        "\"pdf_in_order\":[\"plain\",\"two words\",\"12.5\",\"-3\",\"True\",\"1E+20\",\"#DIV/0!\",\"merged area\","
        "\"1,234.50\",\"end\",\"second\"]}");
}

}  // namespace
}  // namespace xls
