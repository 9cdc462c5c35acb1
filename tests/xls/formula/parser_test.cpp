#include <gtest/gtest.h>

#include "fake_book.h"
#include "xls/formula/parser.h"

namespace xls {
namespace {

using test::Compiler;

// A compact dump: numbers as their value, operators and calls as kind(children...), references
// as R<kind>:<firstRow>,<firstCol>:<lastRow>,<lastCol> with "$" flags and @externId.
std::string Dump(const TXLSSyntaxItem* n) {
  if (!n) return "null";
  std::string s;
  switch (n->kind) {
    case kNodeNumber: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%g", n->number);
      return buf;
    }
    case kNodeString: return "\"" + WideToUtf8(n->text) + "\"";
    case kNodeBool: return n->value ? "T" : "F";
    case kNodeMissing: return "_";
    case kNodeError: return "E" + std::to_string(n->value);
    case kNodeName: s = "N" + std::to_string(n->value); break;
    case kNodeReference: {
      const TXLSRangeItem& r = *n->range;
      s = "R" + std::to_string(r.kind) + ":" + (r.firstRowAbs ? "$" : "") + std::to_string(r.firstRow) +
          "," + (r.firstColAbs ? "$" : "") + std::to_string(r.firstCol) + ":" +
          (r.lastRowAbs ? "$" : "") + std::to_string(r.lastRow) + "," + (r.lastColAbs ? "$" : "") +
          std::to_string(r.lastCol);
      break;
    }
    default: s = std::to_string(n->kind);
  }
  if (n->range && n->range->externId) s += "@" + std::to_string(n->range->externId);
  if (n->kind == kNodeCall) s += "#" + std::to_string(n->value);
  if (n->ChildCount()) {
    s += "(";
    for (int i = 1; i <= n->ChildCount(); ++i) {
      if (i > 1) s += ",";
      s += Dump(n->Child(i));
    }
    s += ")";
  }
  return s;
}

struct ParserTest : ::testing::Test {
  Compiler c;
  std::string P(const std::u16string& text, int scope = 0) {
    auto tree = c.formula.CompileText(text, scope);
    return tree ? Dump(tree.get()) : "FAIL";
  }
};

TEST_F(ParserTest, PrecedenceAndAssociativity) {
  // The corpus formulas (1+2*3, 2^3^2, (1+2)*3, 50%, A1+B1-C1/D1*A2...) are compiled to the
  // tokens LibreOffice writes for them in golden_test.cpp.
  EXPECT_EQ(P(u"-2^2"), "1013(1000(2),2)");
  EXPECT_EQ(P(u"1=2=3"), "1007(1,1007(2,3))");
}

TEST_F(ParserTest, ConcatenationBindsLessTightlyThanAddition) {
  // ="Total "&A1+A2 joins the text to the sum, as in every spreadsheet.
  EXPECT_EQ(P(u"\"Total \"&A1+A2"), "1006(\"Total \",1004(R1:0,0:0,0,R1:1,0:1,0))");
  EXPECT_EQ(P(u"\"a\"&\"b\"&1"), "1006(1006(\"a\",\"b\"),1)");
  EXPECT_EQ(P(u"1&2=\"12\""), "1007(1006(1,2),\"12\")");
}

TEST_F(ParserTest, CellAndAreaReferences) {
  EXPECT_EQ(P(u"A1"), "R1:0,0:0,0");
  EXPECT_EQ(P(u"a1"), "R1:0,0:0,0");
  EXPECT_EQ(P(u"$B$2"), "R1:$1,$1:$1,$1");
  EXPECT_EQ(P(u"B$2"), "R1:$1,1:$1,1");
  EXPECT_EQ(P(u"A65536"), "R1:65535,0:65535,0");
  EXPECT_EQ(P(u"IV1"), "R1:0,255:0,255");
  // Whole columns keep every row and whole rows every column: those parts are absolute.
  EXPECT_EQ(P(u"A:A"), "R3:$0,0:$65535,0");
  EXPECT_EQ(P(u"3:5"), "R3:2,$0:4,$255");
  EXPECT_EQ(P(u"$3:$5"), "R3:$2,$0:$4,$255");
  EXPECT_EQ(P(u"A1:B2"), "R3:0,0:1,1");
  EXPECT_EQ(P(u"A1:3"), "FAIL");
  // Out of range cells are looked up as names, and these names do not exist.
  EXPECT_EQ(P(u"A65537"), "FAIL");
  EXPECT_EQ(P(u"IW1"), "FAIL");
  EXPECT_EQ(P(u"A0"), "FAIL");
}

TEST_F(ParserTest, SheetReferencesShareEntries) {
  std::string a = P(u"Sheet2!A1");
  EXPECT_EQ(a, "R2:0,0:0,0@1");
  EXPECT_EQ(P(u"Sheet2!A1"), a);
  EXPECT_EQ(P(u"'My Sheet'!A1:B2"), "R4:0,0:1,1@2");
  EXPECT_EQ(P(u"Sheet2:'My Sheet'!A1"), "R2:0,0:0,0@3");
  EXPECT_EQ(P(u"'My Sheet':Sheet2!A1"), "R2:0,0:0,0@3");
  EXPECT_EQ(P(u"'It''s'!C3"), "R2:2,2:2,2@4");
  EXPECT_EQ(P(u"Nowhere!A1"), "FAIL");
}

TEST_F(ParserTest, NamesBooleansCallsAndConstants) {
  EXPECT_EQ(P(u"MyName*2"), "1002(N1,2)");
  EXPECT_EQ(P(u"Sheet2!Local"), "N3@1");
  EXPECT_EQ(P(u"Local"), "FAIL") << "a sheet name is not visible from the workbook scope";
  EXPECT_EQ(P(u"Local", 12), "N3");
  EXPECT_EQ(P(u"TRUE"), "T");
  EXPECT_EQ(P(u"false"), "F");
  EXPECT_EQ(P(u"TRUE()"), "2000#34");
  EXPECT_EQ(P(u"sum(A1)"), "2000#4(R1:0,0:0,0)");
  EXPECT_EQ(P(u"SUM()"), "2000#4");
  EXPECT_EQ(P(u"SUMM(1)"), "FAIL");
  EXPECT_EQ(P(u"ROUND(1)"), "2000#27(1)") << "argument counts are checked when compiling";
  EXPECT_EQ(P(u"SUM(1"), "FAIL");
  EXPECT_EQ(P(u"1 2"), "FAIL");
  EXPECT_EQ(P(u""), "FAIL");
  EXPECT_EQ(P(u"\"x\"\"y\""), "\"x\"y\"");
  // An add-in call gets its external name as first argument.
  EXPECT_EQ(P(u"ISEVEN(A1)"), "2000#255(N1@2,R1:0,0:0,0)");
}

TEST_F(ParserTest, EmptyArgumentsErrorsArraysAndReferenceOperators) {
  EXPECT_EQ(P(u"SUM(1;;2)"), "2000#4(1,_,2)");
  EXPECT_EQ(P(u"IF(A1;)"), "2000#1(R1:0,0:0,0,_)");
  EXPECT_EQ(P(u"#N/A"), "E42");
  EXPECT_EQ(P(u"IF(A1;#DIV/0!;#REF!)"), "2000#1(R1:0,0:0,0,E7,E23)");
  EXPECT_EQ(P(u"{1;-2|\"a\";TRUE}"), "7(1,-2,\"a\",T)");
  EXPECT_EQ(P(u"{1;2|3}"), "FAIL") << "rows of unequal length";
  EXPECT_EQ(P(u"{A1}"), "FAIL");
  EXPECT_EQ(P(u"SUM((A1,B2))"), "2000#4(5(1015(R1:0,0:0,0,R1:1,1:1,1)))");
  EXPECT_EQ(P(u"SUM(A1:B2 B1:C3)"), "2000#4(1016(R3:0,0:1,1,R3:0,1:2,2))");
  // The range operator typed between references: B2:B3:B4 is (B2:B3):B4.
  EXPECT_EQ(P(u"SUM(B2:B3:B4)"), "2000#4(1017(R3:1,1:2,1,R1:3,1:3,1))");
  EXPECT_EQ(P(u"SUM(B2:B3:B4:C1)"), "2000#4(1017(1017(R3:1,1:2,1,R1:3,1:3,1),R1:0,2:0,2))");
  EXPECT_EQ(P(u"B2:TRUE"), "FAIL");
  EXPECT_EQ(P(u"B2:B3:"), "FAIL");
  std::u16string chain = u"A1";
  for (int i = 0; i < 20000; ++i) chain += u":A1";
  EXPECT_EQ(P(chain), "FAIL");  // deeper than any formula nests
}

TEST_F(ParserTest, CopyMovedAndCopyShifted) {
  auto tree = c.formula.CompileText(u"B2:A1+$C$3", 0);
  ASSERT_TRUE(tree);
  auto moved = tree->CopyMoved(1, 1);
  EXPECT_EQ(Dump(moved.get()), "1004(R3:1,1:2,2,R1:$2,$2:$2,$2)");
  EXPECT_EQ(Dump(tree.get()), "1004(R3:1,1:0,0,R1:$2,$2:$2,$2)") << "the original is unchanged";

  // A swapped pair with different flags takes its flags along.
  auto mixed = c.formula.CompileText(u"$C1:A1", 0);
  EXPECT_EQ(Dump(mixed->CopyMoved(0, 0).get()), "R3:0,0:0,$2");

  // Two rows inserted at row 5 (0-based 4) across all columns.
  auto refs = c.formula.CompileText(u"SUM(A3:A10;B6;A:A;C2)", 0);
  auto shifted = refs->CopyShifted(4, 0, 0, 2, 255, 65535);
  EXPECT_EQ(Dump(shifted.get()),
            "2000#4(R3:2,0:11,0,R1:7,1:7,1,R3:$0,0:$65535,0,R1:1,2:1,2)");
  // Rows 5..7 deleted: the area shrinks, a cell in the deleted rows is gone (#REF!).
  auto deleted = refs->CopyShifted(4, 0, 0, -3, 255, 65535);
  EXPECT_EQ(Dump(deleted.get()), "2000#4(R3:2,0:6,0,R9:5,1:5,1,R3:$0,0:$65535,0,R1:1,2:1,2)");
  // An area losing its end, its start or all of it; a column deleted under a cell and an area.
  auto parts = c.formula.CompileText(u"SUM(A3:A6;A6:A9;A5:A7;B2:D2;C9)", 0);
  EXPECT_EQ(Dump(parts->CopyShifted(4, 0, 0, -3, 255, 65535).get()),
            "2000#4(R3:2,0:3,0,R3:4,0:5,0,R11:4,0:3,0,R3:1,1:1,3,R1:5,2:5,2)");
  EXPECT_EQ(Dump(parts->CopyShifted(0, 2, -1, 0, 255, 65535).get()),
            "2000#4(R3:2,0:5,0,R3:5,0:8,0,R3:4,0:6,0,R3:1,1:1,2,R9:8,2:8,2)");
  // A moved whole column stays whole.
  EXPECT_EQ(Dump(c.formula.CompileText(u"A:A", 0)->CopyMoved(3, 1).get()), "R3:$0,1:$65535,1");
  // A column inserted before B: whole rows stay, B6 becomes C6.
  auto cols = c.formula.CompileText(u"B6+SUM(3:4)", 0)->CopyShifted(0, 1, 1, 0, 255, 65535);
  EXPECT_EQ(Dump(cols.get()), "1004(R1:5,2:5,2,2000#4(R3:2,$0:3,$255))");
  // An area that shrinks to one cell becomes a cell; one pushed off the sheet is invalid.
  auto one = c.formula.CompileText(u"A1:A3", 0)->CopyShifted(0, 0, 0, -2, 255, 65535);
  EXPECT_EQ(Dump(one.get()), "R1:0,0:0,0");
  auto off = c.formula.CompileText(u"A65535", 0)->CopyShifted(0, 0, 0, 5, 255, 65535);
  EXPECT_EQ(off->range->kind, kRangeCell + kRangeInvalid);
}

TEST_F(ParserTest, DeepTextFailsInsteadOfExhaustingTheStack) {
  auto nested = [](int n) { return std::u16string(n, u'(') + u"1" + std::u16string(n, u')'); };
  EXPECT_NE(P(nested(200)), "FAIL");
  EXPECT_EQ(P(nested(100000)), "FAIL");
  EXPECT_EQ(P(std::u16string(100000, u'-') + u"1"), "FAIL");
  std::u16string chain = u"1";
  for (int i = 0; i < 2000; ++i) chain += u"+1";
  EXPECT_EQ(P(chain), "FAIL");
  EXPECT_EQ(P(u"1" + std::u16string(5000, u'%')), "FAIL");
  std::u16string calls;
  for (int i = 0; i < 1000; ++i) calls += u"ABS(";
  EXPECT_EQ(P(calls + u"1" + std::u16string(1000, u')')), "FAIL");
  std::u16string compare = u"1";
  for (int i = 0; i < 1000; ++i) compare += u"=1";
  EXPECT_EQ(P(compare), "FAIL");
}

TEST(ParserCellPart, Sorts) {
  CellPart p;
  EXPECT_TRUE(ParseCellPart("$IV$65536", p));
  EXPECT_EQ(p.sort, 1);
  EXPECT_EQ(p.col, 255);
  EXPECT_EQ(p.row, 65535);
  EXPECT_TRUE(p.rowAbs && p.colAbs);
  EXPECT_TRUE(ParseCellPart("c", p));
  EXPECT_EQ(p.sort, 2);
  EXPECT_TRUE(ParseCellPart("$7", p));
  EXPECT_EQ(p.sort, 3);
  EXPECT_TRUE(p.rowAbs);
  EXPECT_FALSE(ParseCellPart("C$", p));
  EXPECT_FALSE(ParseCellPart("ABC1", p));
  EXPECT_FALSE(ParseCellPart("A1B", p));
  EXPECT_FALSE(ParseCellPart("A123456", p));
  EXPECT_FALSE(ParseCellPart("", p));
}

}  // namespace
}  // namespace xls
