#include <gtest/gtest.h>

#include <cmath>

#include "fake_book.h"
#include "xls/formula/lexer.h"

namespace xls {
namespace {

using test::Compiler;

struct TextTest : ::testing::Test {
  Compiler c;
  // Text to tree to text, without tokens.
  std::string Print(const std::u16string& text, int row = 0, int col = 0) {
    auto tree = c.formula.CompileText(text, 0);
    if (!tree) return "parse";
    std::u16string out;
    if (c.writer.NodeText(tree.get(), row, col, out) != 1) return "text";
    return WideToUtf8(out);
  }
};

TEST_F(TextTest, PrintsTheFixedSyntax) {
  EXPECT_EQ(Print(u"SUM(A1:B2;3)"), "SUM(A1:B2;3)");
  EXPECT_EQ(Print(u"\"say \"\"hi\"\"\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(Print(u"false"), "FALSE");
  EXPECT_EQ(Print(u"A:A"), "A:A");
  EXPECT_EQ(Print(u"3:5"), "3:5");
  EXPECT_EQ(Print(u"$A$1:$B$2"), "$A$1:$B$2");
  EXPECT_EQ(Print(u"$A:B"), "$A:B");
  EXPECT_EQ(Print(u"sheet2!a1"), "'Sheet2'!A1");
  EXPECT_EQ(Print(u"'It''s':Sheet2!B1:C2"), "'Sheet2':'It''s'!B1:C2");
  EXPECT_EQ(Print(u"MyName+Sheet2!Local"), "MyName+'Sheet2'!Local");
  EXPECT_EQ(Print(u"-1%"), "-1%");
  EXPECT_EQ(Print(u"1 >= 2"), "1>=2");
}

TEST_F(TextTest, ReferencesWithOffsetsAndInvalidShapes) {
  TXLSRangeItem r;
  r.offset = 1;
  r.firstRow = r.lastRow = -1;
  r.firstCol = r.lastCol = 0;
  std::u16string text;
  ASSERT_EQ(c.writer.ReferenceText(r, 5, 2, text), 1);
  EXPECT_EQ(text, u"C5");
  r.kind = kRangeCell + kRangeInvalid;
  ASSERT_EQ(c.writer.ReferenceText(r, 5, 2, text), 1);
  EXPECT_EQ(text, u"#REF!");
  r.kind = kRangeCell;
  ASSERT_EQ(c.writer.ReferenceText(r, 0, 0, text), 1);
  EXPECT_EQ(text, u"#REF!") << "an offset pointing above the sheet";
  // A 3-D reference whose sheet is gone fails the whole text.
  auto tree = c.formula.CompileText(u"Sheet2!A1", 0);
  c.book.DeleteSheet(u"Sheet2");
  EXPECT_EQ(c.writer.NodeText(tree.get(), 0, 0, text), -1);
  tree->range->kind += kRangeInvalid;
  EXPECT_EQ(c.writer.NodeText(tree.get(), 0, 0, text), -1);
}

TEST_F(TextTest, NumbersPrintInAFormTheLexerReads) {
  EXPECT_EQ(FormatFormulaNumber(1.5), "1.5");
  EXPECT_EQ(FormatFormulaNumber(100), "100");
  EXPECT_EQ(FormatFormulaNumber(1e20), "100000000000000000000");
  EXPECT_EQ(FormatFormulaNumber(1.25e-7), "0.000000125");
  EXPECT_EQ(FormatFormulaNumber(-3.5e16), "-35000000000000000");
  EXPECT_EQ(FormatFormulaNumber(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatFormulaNumber(123456789012345678.0), "123456789012346000");
  for (double v : {1e20, 1.25e-7, 6.02214076e23, 1e-300, 12345.678}) {
    std::string s = FormatFormulaNumber(v);
    TXLSLexer lexer;
    lexer.SetText(s);
    ASSERT_EQ(lexer.Scan(), 1) << s;
    ASSERT_EQ(lexer.Tokens().Count(), 1) << s;
    double back = 0;
    ASSERT_TRUE(TryTextToFloat(Utf8ToWide(s), back));
    EXPECT_NEAR(back, v, std::abs(v) * 1e-14) << s;
  }
  TXLSSyntaxItem inf(kNodeNumber);
  inf.number = INFINITY;
  std::u16string text;
  EXPECT_EQ(c.writer.NodeText(&inf, 0, 0, text), -1);
}

TEST_F(TextTest, NodesWithoutAWrittenForm) {
  std::u16string text;
  EXPECT_EQ(c.writer.NodeText(nullptr, 0, 0, text), -1);
  TXLSSyntaxItem odd(12345);
  EXPECT_EQ(c.writer.NodeText(&odd, 0, 0, text), -1);
  TXLSSyntaxItem emptyArray(kNodeArray);
  EXPECT_EQ(c.writer.NodeText(&emptyArray, 0, 0, text), -1) << "an array without its values";
  TXLSSyntaxItem call(kNodeCall);
  call.value = 53;
  EXPECT_EQ(c.writer.NodeText(&call, 0, 0, text), -1);
  // A name the store does not know prints as the error it is.
  TXLSSyntaxItem name(kNodeName);
  name.value = 99;
  ASSERT_EQ(c.writer.NodeText(&name, 0, 0, text), 1);
  EXPECT_EQ(text, u"#NAME?");
  EXPECT_EQ(ColumnLetters(255), "IV");
  EXPECT_EQ(ColumnLetters(26), "AA");
  EXPECT_EQ(ColumnLetters(256), "");
}

// Text to tree to BIFF8 (and BIFF5) tokens to tree to text; the formulas of the corpus that
// LibreOffice and gnumeric wrote go the same way in golden_test.cpp.
TEST_F(TextTest, CorpusRoundTrips) {
  const char16_t* corpus[] = {
      u"1=2=3", u"SUM(3:5)", u"SUM($1:$2)", u"'Sheet2':'My Sheet'!B3", u"'It''s'!A1", u"'Sheet2'!Local",
      u"ACCRINT(A1;A2;A3;0.05;1000;2)", u"#N/A", u"IF(A1;#DIV/0!;#REF!)",
      u"ISERROR(#NULL!)+ISERROR(#NAME?)+ISERROR(#NUM!)+ISERROR(#VALUE!)", u"SUM({1.5;\"x\"\"y\";TRUE;#N/A})",
      u"IV65536", u"0.000001", u"TRUE()", u"SUM()", u"+A1", u"\"\"", u"\"caf\u00e9\"", u"'Sheet2':'It''s'!A:A",
  };
  for (const char16_t* text : corpus) {
    std::string expect = WideToUtf8(text);
    EXPECT_EQ(c.RoundTrip(text), expect) << "BIFF8";
    // BIFF5 rows end at 16384: a cell below becomes #REF!.
    EXPECT_EQ(c.RoundTrip(text, kFormatBiff5), expect == "IV65536" ? "#REF!" : expect) << "BIFF5";
  }
}

}  // namespace
}  // namespace xls
