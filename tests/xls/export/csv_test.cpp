// CSV and TSV: layout of values and arrays, quoting, UTF-16, and the saves of ranges, sheets
// and workbooks that reach the savers.
#include <gtest/gtest.h>

#include <filesystem>

#include "export_test_util.h"
#include "xls/io/export/csv_saver.h"
#include "xls/io/workbook_writer.h"

namespace xls {
namespace {

using testing::Book;
using testing::Text;

TEST(CsvSaver, ArraysLinesAndQuoting) {
  Variant a = Variant::Array2(2, 3);
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 3; ++j) *a.ArrayValue()->At(i, j) = Variant(i * 10 + j + 0.5);
  }
  platform::MemoryStream m;
  EXPECT_EQ(TXLSCSVSaver().SaveToStream(m, a), 1);
  EXPECT_EQ(Text(m), "0.5,1.5,2.5\r\n10.5,11.5,12.5\r\n");

  Variant row = Variant::Array1(5, 1);
  *row.ArrayValue()->At(1) = Variant(u"two words");
  *row.ArrayValue()->At(2) = Variant(u"a\"b");
  *row.ArrayValue()->At(3) = Variant(true);
  *row.ArrayValue()->At(4) = Variant(u"x,y");
  *row.ArrayValue()->At(5) = Variant(u"line\nbreak\ttab");
  platform::MemoryStream csv, tsv;
  TXLSCSVSaver().SaveToStream(csv, row);
  TXLSTSVSaver().SaveToStream(tsv, row);
  EXPECT_EQ(Text(csv), "\"two words\",\"a\"\"b\",True,\"x,y\",\"line\nbreak\ttab\"\r\n");
  EXPECT_EQ(Text(tsv), "\"two words\"\t\"a\"\"b\"\tTrue\tx,y\t\"line\nbreak\ttab\"\r\n");

  // A single value is one line with one field; an empty one an empty field.
  platform::MemoryStream one, empty;
  TXLSCSVSaver().SaveToStream(one, Variant(false));
  TXLSCSVSaver().SaveToStream(empty, Variant());
  EXPECT_EQ(Text(one), "False\r\n");
  EXPECT_EQ(Text(empty), "\r\n");
}

TEST(CsvSaver, UnicodeAndCodePages) {
  Variant row = Variant::Array1(2);
  *row.ArrayValue()->At(0) = Variant(u"\u00e9t\u00e9");
  *row.ArrayValue()->At(1) = Variant(u"\u0416 \U0001F600");
  platform::MemoryStream wide, narrow;
  EXPECT_EQ(TXLSCSVSaver::CreateEx(true).SaveToStream(wide, row), 1);
  const std::u16string expected = u"\u00e9t\u00e9,\"\u0416 \U0001F600\"\r\n";
  ASSERT_EQ(wide.Bytes().size(), 2 + expected.size() * 2);
  EXPECT_EQ(wide.Bytes()[0], 0xFF);
  EXPECT_EQ(wide.Bytes()[1], 0xFE);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(wide.Bytes()[2 + 2 * i] | (wide.Bytes()[3 + 2 * i] << 8), expected[i]) << i;
  }
  // 8-bit: code page 1252 by default, what it lacks becomes "?" (one for each UTF-16 unit).
  TXLSCSVSaver().SaveToStream(narrow, row);
  EXPECT_EQ(Text(narrow), "\xe9t\xe9,\"? ??\"\r\n");
  platform::MemoryStream cyrillic;
  TXLSCSVSaver saver;
  saver.SetCodePage(1251);
  saver.SaveToStream(cyrillic, Variant(u"\u0416"));
  EXPECT_EQ(Text(cyrillic), "\xc6\r\n");
}

TEST(CsvSaver, RangeSheetAndWorkbookSaves) {
  Book b;
  b.At(u"B2")->SetValue(Variant(u"name"));
  b.At(u"C2")->SetValue(Variant(1.25));
  b.At(u"B3")->SetValue(Variant(u"a b"));
  b.At(u"C3")->SetNumberFormat(u"yyyy-mm-dd");
  b.At(u"C3")->SetValue(Variant::Date(46363.0));  // 2026-12-07
  b.sheet->Activate();

  platform::MemoryStream csv, tsv, wide, none;
  EXPECT_EQ(b.sheet->SaveToStream(csv, 5), 1);
  EXPECT_EQ(Text(csv), "name,1.25\r\n\"a b\",2026-12-07\r\n");
  EXPECT_EQ(b.book->SaveToStreamFormat(tsv, 6), 1);
  EXPECT_EQ(Text(tsv), "name\t1.25\r\n\"a b\"\t2026-12-07\r\n");
  EXPECT_EQ(b.At(u"B2")->SaveAsToStream(wide, 8), 1);
  EXPECT_EQ(wide.Bytes().size(), 2u + 2u * 6u);
  EXPECT_EQ(b.At(u"B2")->SaveAsToStream(none, 4), -1);
  EXPECT_EQ(b.At(u"B2")->SaveAsToStream(none, 2), -1);
  EXPECT_TRUE(none.Bytes().empty());

  const auto dir = std::filesystem::temp_directory_path() / ("kv_csv_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "out.csv").string();
  EXPECT_EQ(b.book->SaveAsFormat(Utf8ToWide(file), 5), 1);
  EXPECT_EQ(testing::ReadFile(file), "name,1.25\r\n\"a b\",2026-12-07\r\n");
  // A failed save reports -1 and leaves what was there.
  EXPECT_EQ(b.At(u"B2")->SaveAsCSV(Utf8ToWide((dir / "missing" / "x.csv").string())), -1);
  EXPECT_EQ(b.book->SaveAsFormat(u"  ", 5), -1);
  EXPECT_EQ(testing::ReadFile(file), "name,1.25\r\n\"a b\",2026-12-07\r\n");
  std::filesystem::remove_all(dir);
}

// Formula errors are exported as their texts, as a stored error is (the HTML and RTF exports
// are read back with them by the interop tests).
TEST(CsvSaver, FormulaErrorsShowTheirText) {
  Book b;
  b.At(u"A1")->SetValue(Variant(u"=1/0"));
  b.At(u"B1")->SetValue(Variant(u"=NA()"));
  b.At(u"C1")->SetValue(Variant(u"=A1+1"));
  b.At(u"D1")->SetValue(Variant::Error(23));
  b.sheet->Activate();
  platform::MemoryStream csv, tsv;
  ASSERT_EQ(b.sheet->SaveToStream(csv, 5), 1);
  EXPECT_EQ(Text(csv), "#DIV/0!,#N/A,#DIV/0!,#REF!\r\n");
  ASSERT_EQ(b.sheet->SaveToStream(tsv, 6), 1);
  EXPECT_EQ(Text(tsv), "#DIV/0!\t#N/A\t#DIV/0!\t#REF!\r\n");
}

}  // namespace
}  // namespace xls
