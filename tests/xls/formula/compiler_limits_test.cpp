// What the compiler must refuse or write so that other programs read the formula as ours:
// union and intersection of values, whole columns in each format, BIFF5 names of a sheet next
// to add-in calls, array constants longer than the format holds, BIFF5 strings in the
// workbook's code page.
#include <gtest/gtest.h>

#include "fake_book.h"

namespace xls {
namespace {

using test::Compiler;

struct CompilerLimits : ::testing::Test {
  Compiler c;
  bool Parses(const std::u16string& text) { return c.formula.CompileText(text, 0) != nullptr; }
  std::string Print(const std::u16string& text) {
    auto tree = c.formula.CompileText(text, 0);
    std::u16string out;
    if (!tree || c.writer.NodeText(tree.get(), 0, 0, out) != 1) return "fail";
    return WideToUtf8(out);
  }
};

TEST_F(CompilerLimits, UnionAndIntersectionTakeReferencesOnly) {
  for (const char16_t* text : {u"SUM(1,2)", u"1,2", u"TRUE FALSE", u"A1,2", u"(1),A1", u"A1,-B1",
                               u"\"a\" A1", u"A1 {1;2}", u"SUM(A1,GCD(4;6))", u"(A1+1),B1"}) {
    EXPECT_FALSE(Parses(text)) << WideToUtf8(text);
  }
  for (const char16_t* text : {u"SUM(A1,B1)", u"SUM((A1:B2,C3))", u"SUM(A1:B2 B1:C3)", u"SUM(MyRange,A1)",
                               u"SUM(Sheet2!A1,Sheet2!Local)", u"SUM(INDEX(A1:B2;1;1),C1)",
                               u"SUM(OFFSET(A1;1;1) A1:C3)", u"SUM((A1,B1),C1)"}) {
    EXPECT_TRUE(Parses(text)) << WideToUtf8(text);
  }
  EXPECT_EQ(c.RoundTrip(u"SUM(A1,B1 B2)"), "SUM(A1,B1 B2)");
}

TEST_F(CompilerLimits, WholeColumnsOnlyForAllRowsOfTheFormat) {
  EXPECT_EQ(Print(u"SUM(A1:B16384)"), "SUM(A1:B16384)");
  EXPECT_EQ(c.RoundTrip(u"SUM(A1:B16384)"), "SUM(A1:B16384)");
  EXPECT_EQ(c.RoundTrip(u"SUM(A1:B65536)"), "SUM(A:B)");
  EXPECT_EQ(c.RoundTrip(u"SUM($A:B)", kFormatBiff5), "SUM($A:B)");
  // BIFF5 tokens over rows 1..16384 are a whole column, read back as one.
  EXPECT_EQ(c.Text("25" "0040" "ff7f" "00" "01" "42010400", 0x500), "SUM(A:B)");
  EXPECT_EQ(c.Text("25" "0040" "fe7f" "00" "01" "42010400", 0x500), "SUM(A$1:B$16383)");
  // Read back from BIFF5 and written as BIFF8, the column stays whole.
  auto bytes = test::Unhex("25" "0040" "ff7f" "00" "01" "42010400");
  std::size_t pos = 0;
  auto tree = c.formula.DecodeTokens(bytes.data(), bytes.size(), pos, 0x500, bytes.size());
  ASSERT_TRUE(tree);
  c.formula.SetFileFormat(kFormatBiff8);
  std::unique_ptr<TXLSBlob> blob;
  ASSERT_EQ(c.formula.Compile(*tree, kRootValue, 1, 0, 0, blob), 1);
  EXPECT_EQ(test::Hex(blob->GetData() + 2, blob->GetSize() - 2), "25" "0000" "ffff" "0040" "0140" "42010400");
}

TEST_F(CompilerLimits, Biff5NamesOfASheetBesideAnAddInCall) {
  // Sheet2 is the second sheet: its name goes by the sheet's EXTERNSHEET (-2); the add-in by
  // the record after the four sheets (5).
  const std::string tokens = c.Tokens(u"Sheet2!Local+GCD(4;6)", kRootValue, kFormatBiff5);
  EXPECT_EQ(tokens.substr(0, 6), "59" "feff") << tokens;
  EXPECT_EQ(tokens.substr(22, 4), "0300") << "the NAME record of Local";
  EXPECT_EQ(tokens.substr(50, 6), "39" "0500") << tokens;
  EXPECT_EQ(c.RoundTrip(u"Sheet2!Local+GCD(4;6)", kFormatBiff5), "'Sheet2'!Local+GCD(4;6)");
}

TEST_F(CompilerLimits, ArrayConstantsLongerThanTheFormatAreRefused) {
  auto column = [](int rows) {
    std::u16string text = u"SUM({1";
    for (int i = 1; i < rows; ++i) text += u"|1";
    return text + u"})";
  };
  EXPECT_EQ(c.Tokens(column(65537)), "compile");
  EXPECT_NE(c.Tokens(column(65536)), "compile");
  EXPECT_EQ(c.Tokens(column(65536), kRootValue, kFormatBiff5), "compile");
  EXPECT_NE(c.Tokens(column(65535), kRootValue, kFormatBiff5), "compile");
  EXPECT_EQ(c.RoundTrip(column(3)), "SUM({1|1|1})");
}

TEST_F(CompilerLimits, Biff5StringsInTheWorkbooksCodePage) {
  c.formula.SetCodePage(1251);
  EXPECT_EQ(c.Tokens(u"\"Щи\"&\"é\"", kRootValue, kFormatBiff5), "17" "02" "d9e8" "17" "01" "3f" "08");
  EXPECT_EQ(c.RoundTrip(u"\"Щи\"", kFormatBiff5), "\"Щи\"");
  // Also inside a sub-expression of references (a memory token before the union).
  EXPECT_EQ(c.Text("29" "0d00" "1702d9e8" "22019400" "2400c000" "10" "15" "42010400", 0x500),
            "SUM((INDIRECT(\"Щи\"),A1))");
  EXPECT_EQ(c.RoundTrip(u"SUM((INDIRECT(\"Щи\"),A1))", kFormatBiff5), "SUM((INDIRECT(\"Щи\"),A1))");
  EXPECT_EQ(c.Tokens(u"\"Щи\""), "17" "02" "01" "2904" "3804") << "BIFF8 strings stay UTF-16";
}

}  // namespace
}  // namespace xls
