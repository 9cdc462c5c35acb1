#include <gtest/gtest.h>

#include "fake_book.h"

namespace xls {
namespace {

using test::Compiler;
using test::Unhex;

struct TokensTest : ::testing::Test {
  Compiler c;
};

// The tokens of the formulas LibreOffice and gnumeric also write (cells, areas, IF, strings,
// names, add-ins...) are compared with theirs in golden_test.cpp; these are the rest.
TEST_F(TokensTest, CellFormulaTokensAndClasses) {
  EXPECT_EQ(c.Tokens(u"\"\""), "17" "00" "01");
  EXPECT_EQ(c.Tokens(u"-A1%"), "440000""00c0" "13" "14");
  EXPECT_EQ(c.Tokens(u"+(1)"), "1f000000000000f03f" "15" "12");
  EXPECT_EQ(c.Tokens(u"1&2<>3"), "1f000000000000f03f" "1f0000000000000040" "08"
                                 "1f0000000000000840" "0e");
  EXPECT_EQ(c.Tokens(u"INDEX(A1:B2;1;1)", kRootReference).substr(0, 2), "25");
  EXPECT_EQ(c.Tokens(u"INDEX(A1:B2;1;1)", kRootReference).substr(54), "22" "03" "1d00");
  // Inside an argument of array class the references and functions take the array class, so
  // that ABS works on the whole range (the classes LibreOffice writes: tAreaA, tFuncA).
  EXPECT_EQ(c.Tokens(u"SUMPRODUCT(ABS(A1:A3-10))"),
            "65" "0000" "0200" "00c0" "00c0" "1f0000000000002440" "04" "611800" "4201e400");
}

TEST_F(TokensTest, ArgumentCountsAreCheckedWhenCompiling) {
  EXPECT_EQ(c.Tokens(u"ROUND(1)"), "compile");
  EXPECT_EQ(c.Tokens(u"PI(1)"), "compile");
  EXPECT_EQ(c.Tokens(u"SUM()"), "42" "00" "0400");
  EXPECT_EQ(c.Tokens(u"EDATE(1)"), "compile") << "an add-in with a fixed count takes count + 1";
}

TEST_F(TokensTest, ReferencesOutsideTheFormatBecomeErrorTokens) {
  // Row 20000 does not exist in BIFF5.
  EXPECT_EQ(c.Tokens(u"A20001", kRootValue, kFormatBiff5), "4a" "0000" "00");
  EXPECT_EQ(c.Tokens(u"A20001:B20002", kRootReference, kFormatBiff5), "2b" "00000000" "0000");
  // A whole column keeps its meaning in BIFF5: rows 0..16383.
  EXPECT_EQ(c.Tokens(u"SUM(A:A)", kRootValue, kFormatBiff5), "25" "0040" "ff7f" "00" "00" "42010400");
  EXPECT_EQ(c.Tokens(u"SUM(A:A)"), "25" "0000" "ffff" "0040" "0040" "42010400");
}

TEST_F(TokensTest, ThreeDReferencesAndNames) {
  // Entries are numbered in id order: 'Sheet2' is entry 1 (ixti 0), 'My Sheet' entry 2.
  EXPECT_EQ(c.Tokens(u"Sheet2!A1+'My Sheet'!B2:C3"),
            "5a" "0000" "0000" "00c0" "5b" "0100" "0100" "0200" "01c0" "02c0" "03");
  EXPECT_EQ(c.Tokens(u"Sheet2:'My Sheet'!A1", kRootValue, kFormatBiff5),
            "5a" "feff" "0000000000000000" "0100" "0200" "00c0" "00");
  EXPECT_EQ(c.Tokens(u"Sheet2!Local").substr(0, 2), "59");
  // BIFF5: the add-in document is the EXTERNSHEET after the four sheets, a positive index.
  EXPECT_EQ(c.Tokens(u"ISEVEN(A1)", kRootValue, kFormatBiff5),
            "39" "0500" "0000000000000000" "0100" "000000000000000000000000" "4400c000" "4202ff00");
  EXPECT_EQ(c.Text("39" "0500" "0000000000000000" "0100" "000000000000000000000000" "4400c000"
                   "4202ff00", 0x500),
            "ISEVEN(A1)");
  EXPECT_EQ(c.Text("39" "fbff" "0000000000000000" "0100" "000000000000000000000000" "4400c000"
                   "4202ff00", 0x500),
            "ISEVEN(A1)") << "a negative index names the same record";
  // A deleted sheet has no output index: its references cannot be written.
  auto tree = c.formula.CompileText(u"Sheet2!A1", 0);
  c.book.DeleteSheet(u"Sheet2");
  c.externs.Renumber();
  EXPECT_EQ(c.formula.CompileTree(*tree, kRootValue, 1, 0, 0), nullptr);
}

TEST_F(TokensTest, ArrayFormulasTakeTheArrayClass) {
  EXPECT_EQ(c.Tokens(u"SUM(A1:B2*2)", kRootArray),
            "65" "0000" "0100" "00c0" "01c0" "1f0000000000000040" "05" "42" "01" "0400");
  EXPECT_EQ(c.Tokens(u"A1", kRootArray), "44000000c0");
}

TEST_F(TokensTest, OffsetReferencesInModeB) {
  auto tree = c.formula.CompileText(u"A1", 0);
  ASSERT_TRUE(tree);
  tree->range->offset = 1;
  tree->range->firstRow = tree->range->lastRow = -1;
  tree->range->firstCol = tree->range->lastCol = 2;
  c.formula.SetReferenceMode('B');
  auto blob = c.formula.CompileTree(*tree, kRootValue, 1, 5, 5);
  ASSERT_TRUE(blob);
  EXPECT_EQ(test::Hex(blob->GetData() + 2, blob->GetSize() - 2), "4c" "ffff" "02c0");
  c.formula.SetFileFormat(kFormatBiff5);
  blob = c.formula.CompileTree(*tree, kRootValue, 1, 5, 5);
  EXPECT_EQ(test::Hex(blob->GetData() + 2, blob->GetSize() - 2), "4c" "ffff" "02");
  // Mode A writes the absolute position the offsets point at from the formula's cell.
  c.formula.SetReferenceMode('A');
  c.formula.SetFileFormat(kFormatBiff8);
  blob = c.formula.CompileTree(*tree, kRootValue, 1, 5, 5);
  EXPECT_EQ(test::Hex(blob->GetData() + 2, blob->GetSize() - 2), "44" "0400" "07c0");
  // An offset pointing above row 1 cannot be written as an absolute position.
  blob = c.formula.CompileTree(*tree, kRootValue, 1, 0, 0);
  EXPECT_EQ(test::Hex(blob->GetData() + 2, blob->GetSize() - 2), "4a" "0000" "0000");
}

TEST_F(TokensTest, DecodesWhatValidFilesContain) {
  // Missing argument, error constant, intersection, range operator.
  EXPECT_EQ(c.Text("44000000c0" "16" "1f0000000000000040" "42030100"), "IF(A1;;2)");
  EXPECT_EQ(c.Text("1c07"), "#DIV/0!");
  EXPECT_EQ(c.Text("250000010000c001c0" "250000020001c002c0" "0f" "42010400"),
            "SUM(A1:B2 B1:C3)");
  EXPECT_EQ(c.Text("24000000c0" "24010001c0" "11"), "A1:B2");
  EXPECT_EQ(c.Text("24000000c0" "24010001c0" "10" "15" "42010400"), "SUM((A1,B2))");
  // Memory tokens wrap their sub-expression.
  EXPECT_EQ(c.Text("290f00" "250000010000c001c0" "24020002c0" "10" "15" "19100000"),
            "SUM((A1:B2,C3))");
  EXPECT_EQ(c.Text("260000000007002400000000c0" "42010400"), "decode")
      << "a memory area without its rectangles after the tokens";
  EXPECT_EQ(c.Text("2e0500" "24000000c0" "42010400"), "SUM(A1)");
  // ptgInt, ptgAttr sum and choose, the volatile mark.
  EXPECT_EQ(c.Text("1e0700"), "7");
  EXPECT_EQ(c.Text("24000000c0" "19100000"), "SUM(A1)");
  EXPECT_EQ(c.Text("1e0200" "19040200080011001a00" "1e0100" "190803001e0200" "19080000" "42036400")
                .substr(0, 6),
            "CHOOSE");
  EXPECT_EQ(c.Text("19010000" "41" "4a00"), "NOW()");
  // A compressed string.
  EXPECT_EQ(c.Text("17020061" "62"), "\"ab\"");
  // Relative offset tokens print for the formula's cell.
  auto rel = Unhex("4cffff00c0");
  EXPECT_EQ(c.Text(rel, rel.size(), 0x600, 5, 2), "C5");
  auto relArea = Unhex("4d" "0000" "0100" "ffc0" "00c0");
  EXPECT_EQ(c.Text(relArea, relArea.size(), 0x600, 9, 3), "C10:D11");
  auto rel5 = Unhex("4cffff" "ff");
  EXPECT_EQ(c.Text(rel5, rel5.size(), 0x500, 5, 2), "B5");
}

TEST_F(TokensTest, UnknownFunctionNumbersKeepTheirNumber) {
  // ptgFuncVar of function number 358 (not catalogued) with two arguments.
  auto bytes = Unhex("1e0100" "1e0200" "42" "02" "6601");
  EXPECT_EQ(c.RoundTripTokens("24000000c0" "250000010000c001c0" "22" "02" "6601"),
            "24000000c0" "250000010000c001c0" "22" "02" "6601")
      << "classes of the call and its arguments are kept";
  size_t pos = 0;
  auto tree = c.formula.DecodeTokens(bytes.data(), bytes.size(), pos, 0x600, bytes.size());
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->value, 358);
  auto blob = c.formula.CompileTree(*tree, kRootValue, 1, 0, 0);
  ASSERT_TRUE(blob);
  EXPECT_EQ(test::Hex(blob->GetData() + 2, blob->GetSize() - 2),
            "1f000000000000f03f" "1f0000000000000040" "42" "02" "6601");
  // A fixed-count worksheet function the catalogue lacks (DATEDIF, 351).
  bytes = Unhex("1e01001e0200170101790041" "5f01");
  pos = 0;
  tree = c.formula.DecodeTokens(bytes.data(), bytes.size(), pos, 0x600, bytes.size());
  ASSERT_TRUE(tree);
  blob = c.formula.CompileTree(*tree, kRootValue, 1, 0, 0);
  ASSERT_TRUE(blob);
  EXPECT_EQ(test::Hex(blob->GetData() + 2, blob->GetSize() - 2),
            "1f000000000000f03f" "1f0000000000000040" "1701017900" "41" "5f01");
  std::u16string text;
  EXPECT_EQ(c.writer.NodeText(tree.get(), 0, 0, text), -1) << "no name to print";
  // A fixed-count number that nobody knows cannot be decoded: its operand count is unknown.
  EXPECT_EQ(c.Text("1e0100" "41" "3500"), "decode");
}

TEST_F(TokensTest, DecodingFailsCleanlyOnBadStreams) {
  EXPECT_EQ(c.Text("1e0100" "1e0200"), "decode") << "two operands left";
  EXPECT_EQ(c.Text("03"), "decode") << "an operator without operands";
  EXPECT_EQ(c.Text("01000000" ""), "decode") << "ptgExp is not a formula of its own";
  EXPECT_EQ(c.Text("ff"), "decode");
  EXPECT_EQ(c.Text("1f0000"), "decode") << "a number cut short";
  EXPECT_EQ(c.Text("1705016100"), "decode") << "a string longer than the tokens";
  EXPECT_EQ(c.Text("24000000"), "decode");
  EXPECT_EQ(c.Text("42050400"), "decode") << "more arguments than operands";
  EXPECT_EQ(c.Text("1904ffff"), "decode") << "a choose table past the end";
  EXPECT_EQ(c.Text("29ff7f"), "decode") << "a memory token longer than the tokens";
  EXPECT_EQ(c.Text("5a0900000000c0"), "decode") << "ixti of no entry";
  // Nested memory tokens beyond any sane depth.
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "29" + std::string(4, '0');
  EXPECT_EQ(c.Text(deep), "decode");
  // Tokens nesting deeper than any formula (60000 parentheses around one number).
  std::string parens = "1e0100";
  for (int i = 0; i < 60000; ++i) parens += "15";
  EXPECT_EQ(c.Text(parens), "decode");
  // Sizes past the buffer.
  auto bytes = Unhex("1e0100");
  size_t pos = 0;
  EXPECT_EQ(c.formula.DecodeTokens(bytes.data(), bytes.size(), pos, 0x600, 4), nullptr);
  pos = 5;
  EXPECT_EQ(c.formula.DecodeTokens(bytes.data(), bytes.size(), pos, 0x600, 1), nullptr);
  TXLSBlob blob(0);
  blob.AddWord(9);
  blob.AddByte(0x1E);
  uint32_t p = 0;
  EXPECT_EQ(c.formula.DecodeSized(blob, p, 0x600), nullptr);
  // An array constant whose size runs past the data after the tokens.
  auto arr = Unhex("4000000000000000" "ff" "ffff");
  EXPECT_EQ(c.Text(arr, 8), "decode");
}

TEST_F(TokensTest, ArrayConstantsTravelAfterTheTokens) {
  std::string hex = c.Tokens(u"SUM({1;\"ab\"|TRUE;#N/A})");
  EXPECT_EQ(hex.substr(0, 16), "6000000000000000");
  EXPECT_EQ(hex.substr(16, 8), "42010400");
  EXPECT_EQ(hex.substr(24), "01" "0100" "01000000000000f03f" "020200016100" "6200"
                            "040100000000000000" "102a00000000000000");
  EXPECT_EQ(c.RoundTrip(u"SUM({1;\"ab\"|TRUE;#N/A})"), "SUM({1;\"ab\"|TRUE;#N/A})");
  EXPECT_EQ(c.RoundTrip(u"SUM({1;\"ab\"|TRUE;#N/A})", kFormatBiff5), "SUM({1;\"ab\"|TRUE;#N/A})");
  EXPECT_EQ(c.Tokens(u"{1;2}*2").substr(0, 2), "40");
}

}  // namespace
}  // namespace xls
