// The number-format renderer against LibreOffice: a workbook of values x formats, saved by our
// writer and converted to CSV by LibreOffice (cells as shown), must show what the renderer gives
// for every pair, except the deliberate differences tabled below.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "io_test_support.h"
#include "xls/formula/cell_text/number_format.h"
#include "xls/model/codepage.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

const std::vector<std::u16string> kFormats = {
    u"0", u"0.00", u"#,##0", u"#,##0.00", u"0%", u"0.00%", u"0.00E+00", u"##0.0E+0", u"0.0E-00", u"# ?/?",
    u"# ?\?/??", u"?/?", u"# ?/8", u"0;(0)", u"0.00;[Red]-0.00", u"#,##0;(#,##0);\"zero\"", u"0;-0;;@",
    u"\"Total: \"0", u"0 \"units\"", u"\\$#,##0.00", u"#.##", u"0.0#", u"000000", u"000-000", u"#,##0,",
    u"0.0,,\"M\"", u"[>=100]\"big\";[<0]\"neg\";\"small\"", u"[Red][>100]0;[Blue]0", u"dd/mm/yyyy",
    u"yyyy-mm-dd hh:mm:ss", u"d mmm yy", u"dddd, mmmm d, yyyy", u"mmmmm", u"h:mm AM/PM", u"[h]:mm:ss",
    u"[mm]:ss", u"[ss]", u"hh:mm:ss.00", u"mm:ss", u"General", u"0_);(0)", u"??0.0?", u"\"x\"",
    u"0.00;-0.00;\"nil\";\"text: \"@", u"[Blue]General", u"mmm-yy", u"0.000%", u"# ?\?/100",
    u"[<=9999999]###-####;(###) ###-####", u"h:mm:ss am/pm", u"0\\ \\k\\g", u"#,##0.00_);[Red](#,##0.00)",
    u"00.00E+0", u"yyyy\"年\"m\"月\"d\"日\"", u"[mm]:ss.0", u"0;[Red]0;\"-\"",
};
const std::vector<Variant> kValues = {Variant(0.0),       Variant(1.0),         Variant(-1.0),    Variant(1234.5678),
                                      Variant(-1234.5678), Variant(0.25),        Variant(0.0625),  Variant(3.14159265),
                                      Variant(45322.75),   Variant(1234567.891), Variant(0.00001), Variant(12.5),
                                      Variant(-0.001),     Variant(0.9999999),   Variant(true),    Variant(u"abc")};

// Where LibreOffice and we part on purpose: (format, value) -> (ours, LibreOffice's). An empty
// format stands for every format.
struct Difference {
  std::u16string format;
  std::string value;
  std::string ours, theirs;
};
const std::vector<Difference> kDifferences = {
    // Booleans show as True / False whatever the format; LibreOffice shows a boolean cell
    // without a boolean format as a number.
    {u"", "TRUE", "True", "1"},
    // A negative value in a section without digit placeholders keeps its sign before the text.
    {u"\"x\"", "-1", "-x", "x"},
    {u"\"x\"", "-1234.5678", "-x", "x"},
    {u"\"x\"", "-0.001", "-x", "x"},
    // Fixed denominators round halves up (0.5 eighths is 1/8); LibreOffice rounds to even.
    {u"# ?/8", "0.0625", " 1/8", "0   "},
    // Times round to the second shown, as the format's own program shows them; LibreOffice cuts
    // them (but for 23:59:59.991 in yyyy-mm-dd hh:mm:ss). The days of 3.14159265 and 1E-05 are
    // those of serials below 61 (see the test).
    {u"yyyy-mm-dd hh:mm:ss", "1234.5678", "1903-05-18 13:37:38", "1903-05-18 13:37:37"},
    {u"yyyy-mm-dd hh:mm:ss", "3.14159265", "1900-01-03 03:23:54", "1900-01-02 03:23:53"},
    {u"yyyy-mm-dd hh:mm:ss", "1E-05", "1900-01-00 00:00:01", "1899-12-30 00:00:00"},
    {u"yyyy-mm-dd hh:mm:ss", "-0.001", "1899-12-29 23:58:34", "1899-12-29 23:58:33"},
    {u"h:mm AM/PM", "0.9999999", "12:00 AM", "11:59 PM"},
    {u"mm:ss", "1234.5678", "37:38", "37:37"},
    {u"mm:ss", "3.14159265", "23:54", "23:53"},
    {u"mm:ss", "1E-05", "00:01", "00:00"},
    {u"mm:ss", "-0.001", "58:34", "58:33"},
    {u"mm:ss", "0.9999999", "00:00", "59:59"},
    {u"h:mm:ss am/pm", "1234.5678", "1:37:38 PM", "1:37:37 PM"},
    {u"h:mm:ss am/pm", "3.14159265", "3:23:54 AM", "3:23:53 AM"},
    {u"h:mm:ss am/pm", "1E-05", "12:00:01 AM", "12:00:00 AM"},
    {u"h:mm:ss am/pm", "-0.001", "11:58:34 PM", "11:58:33 PM"},
    {u"h:mm:ss am/pm", "0.9999999", "12:00:00 AM", "11:59:59 PM"},
    // The decimal point shows without fraction digits, as the format's own program shows it;
    // LibreOffice leaves it out.
    {u"#.##", "0", ".", ""},
    {u"#.##", "1", "1.", "1"},
    {u"#.##", "-1", "-1.", "-1"},
    {u"#.##", "1E-05", ".", ""},
    {u"#.##", "-0.001", ".", ""},
    {u"#.##", "0.9999999", "1.", "1"},
    // Elapsed times of any size are shown; LibreOffice gives up past its own limit.
    {u"[h]:mm:ss", "1234567.891", "29629629:23:02", "#FMT"},
    {u"[mm]:ss", "1234567.891", "1777777763:02", "#FMT"},
    {u"[ss]", "1234567.891", "106666665782", "#FMT"},
    // Every integer placeholder before the exponent takes a digit; LibreOffice keeps one.
    {u"00.00E+0", "1", "10.00E-1", "01.00E+0"},
    {u"00.00E+0", "-1", "-10.00E-1", "-01.00E+0"},
    {u"00.00E+0", "0.0625", "62.50E-3", "06.25E-2"},
    {u"00.00E+0", "3.14159265", "31.42E-1", "03.14E+0"},
    {u"00.00E+0", "45322.75", "45.32E+3", "04.53E+4"},
    {u"00.00E+0", "1234567.891", "12.35E+5", "01.23E+6"},
    {u"00.00E+0", "0.9999999", "10.00E-1", "01.00E+0"},
    {u"[mm]:ss.0", "1234567.891", "1777777763:02.4", "#FMT"},
    // LibreOffice's CSV writes text cells as they are, without the text section.
    {u"0.00;-0.00;\"nil\";\"text: \"@", "abc", "text: abc", "abc"},
};

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false, fieldQuoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = fieldQuoted = true;
    } else if (c == ',') {
      rows.back().push_back(field), field.clear(), fieldQuoted = false;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      rows.back().push_back(field), field.clear(), fieldQuoted = false;
      rows.emplace_back();
    } else {
      field += c;
    }
  }
  if (!field.empty() || fieldQuoted) rows.back().push_back(field);
  return rows;
}

TEST(RenderInterop, LibreOfficeShowsWhatTheRendererGives) {
  test::TempDir dir;
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  for (size_t f = 0; f < kFormats.size(); ++f) {
    for (size_t v = 0; v < kValues.size(); ++v) {
      auto cell = sheet->GetRangeRC(static_cast<int>(f) + 1, static_cast<int>(v) + 1, static_cast<int>(f) + 1,
                                    static_cast<int>(v) + 1);
      cell->SetValue(kValues[v]);
      cell->SetNumberFormat(kFormats[f]);
    }
  }
  const std::string path = dir.File("formats.xls");
  ASSERT_EQ(book->SaveAsFormat(Utf8ToWide(path), 2), 1);
  std::string out;
  const std::string command = "soffice --headless --norestore -env:UserInstallation=file://" + dir.File("profile") +
                              " --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1' --outdir " + dir.Path() +
                              " " + path;
  ASSERT_EQ(test::RunCommand(command, out), 0) << out;
  std::string csv;
  {
    std::ifstream in(dir.File("formats.csv"), std::ios::binary);
    ASSERT_TRUE(in) << out;
    csv.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  auto rows = ParseCsv(csv);
  TXLSFormater formater;
  std::map<std::pair<std::u16string, std::string>, const Difference*> known;
  for (const Difference& d : kDifferences) {
    if (!d.format.empty()) known[{d.format, d.value}] = &d;
    else
      for (const auto& f : kFormats) known[{f, d.value}] = &d;
  }
  size_t compared = 0, earlyDays = 0;
  for (size_t f = 0; f < kFormats.size(); ++f) {
    for (size_t v = 0; v < kValues.size(); ++v) {
      std::string theirs = f < rows.size() && v < rows[f].size() ? rows[f][v] : std::string("<missing>");
      std::string ours = WideToUtf8(formater.FormatValue(kValues[v], kFormats[f]));
      const std::string key = WideToUtf8(kValues[v].ToText());
      const bool early = kValues[v].IsNumber() && kValues[v].NumberValue() >= 0 && kValues[v].NumberValue() < 61;
      auto it = known.find({kFormats[f], key});
      if (it != known.end()) {
        EXPECT_EQ(ours, it->second->ours) << WideToUtf8(kFormats[f]) << " " << key;
        EXPECT_EQ(theirs, it->second->theirs) << WideToUtf8(kFormats[f]) << " " << key;
      } else if (ours != theirs && early && TXLSFormater::IsDateFormat(kFormats[f])) {
        // Serials 0 to 60 show the format's own program's days here (serial 1 is 1900-01-01, 60
        // its 29 February 1900); LibreOffice counts from 1899-12-30 throughout, as a date value
        // of the proleptic calendar shows here.
        EXPECT_EQ(theirs, WideToUtf8(formater.FormatValue(Variant::Date(kValues[v].NumberValue()), kFormats[f])))
            << WideToUtf8(kFormats[f]) << " " << key;
        ++earlyDays;
      } else {
        EXPECT_EQ(ours, theirs) << "format " << WideToUtf8(kFormats[f]) << " value " << key;
      }
      ++compared;
    }
  }
  EXPECT_EQ(compared, kFormats.size() * kValues.size());
  EXPECT_GT(earlyDays, 20u);
}

}  // namespace
}  // namespace xls
