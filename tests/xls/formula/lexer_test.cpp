#include <gtest/gtest.h>

#include "xls/formula/lexer.h"

namespace xls {
namespace {

// "kind:text" of every token, space separated; "FAIL" when the scan fails.
std::string Scan(const std::string& text) {
  TXLSLexer lexer;
  lexer.SetText(text);
  if (lexer.Scan() != 1) return "FAIL";
  std::string out;
  TXLSTokens& t = lexer.Tokens();
  for (int i = 0; i < t.Count(); ++i) {
    if (i) out += ' ';
    out += std::to_string(t.At(i).kind) + ":" + t.At(i).text;
  }
  return out;
}

TEST(FormulaLexer, CutsTokens) {
  EXPECT_EQ(Scan("SUM(A1:B2;5)"), "1:SUM 4:( 11:A1:B2 6:; 2:5 5:)");
  EXPECT_EQ(Scan("'My Sheet'!$A$1"), "21:My Sheet!$A$1");
  EXPECT_EQ(Scan("'It''s'!A1"), "21:It's!A1");
  EXPECT_EQ(Scan("A1"), "1:A1");
  EXPECT_EQ(Scan("$A1"), "11:$A1");
  EXPECT_EQ(Scan("A:A"), "11:A:A");
  EXPECT_EQ(Scan("Sheet1!A1"), "21:Sheet1!A1");
  EXPECT_EQ(Scan("\"say \"\"hi\"\"\""), "3:say \"hi\"");
  EXPECT_EQ(Scan("1.5"), "2:1.5");
  EXPECT_EQ(Scan(".5"), "2:.5");
  EXPECT_EQ(Scan("1:3"), "11:1:3");
  EXPECT_EQ(Scan(""), "");
  EXPECT_EQ(Scan("Sheet1!A1+1"), "21:Sheet1!A1 7:+ 2:1");
  EXPECT_EQ(Scan("1E5"), "2:1 1:E5");
  EXPECT_EQ(Scan("a>=b<=c<>d<e>f"), "1:a 17:>= 1:b 18:<= 1:c 14:<> 1:d 16:< 1:e 15:> 1:f");
  EXPECT_EQ(Scan("-1^2*3/4&5%=6"), "8:- 2:1 19:^ 2:2 9:* 2:3 10:/ 2:4 12:& 2:5 20:% 13:= 2:6");
  EXPECT_EQ(Scan("'Sheet2':'My Sheet'!B3"), "21:Sheet2:My Sheet!B3");
  EXPECT_EQ(Scan("x\x80y"), "1:x\x80y");
}

TEST(FormulaLexer, FailsOnBadCharactersAndOpenQuotes) {
  EXPECT_EQ(Scan("\"open"), "FAIL");
  EXPECT_EQ(Scan("'open!A1"), "FAIL");
  EXPECT_EQ(Scan("1\t+2"), "FAIL");
  EXPECT_EQ(Scan("A1[1]"), "1:A1[1]");
  EXPECT_EQ(Scan("!A1"), "FAIL");
  EXPECT_EQ(Scan("#BOGUS"), "FAIL");
  EXPECT_EQ(Scan("_x"), "FAIL");
}

TEST(FormulaLexer, ReadsWhatTheTextWriterPrints) {
  // Unions, intersections, error constants and array constants print in forms that read back.
  EXPECT_EQ(Scan("(A1,B2)"), "4:( 1:A1 22:, 1:B2 5:)");
  EXPECT_EQ(Scan("A1:B2 B1:C3"), "11:A1:B2 23:  11:B1:C3");
  EXPECT_EQ(Scan("A1 + B1"), "1:A1 7:+ 1:B1");
  EXPECT_EQ(Scan("#N/A+#div/0!"), "24:#N/A 7:+ 24:#DIV/0!");
  EXPECT_EQ(Scan("{1;2|\"a\";TRUE}"), "25:{ 2:1 6:; 2:2 27:| 3:a 6:; 1:TRUE 26:}");
}

TEST(FormulaLexer, TokenListNavigation) {
  TXLSLexer lexer;
  lexer.SetText("1+2");
  ASSERT_EQ(lexer.Scan(), 1);
  TXLSTokens& t = lexer.Tokens();
  t.First();
  EXPECT_FALSE(t.End());
  EXPECT_EQ(t.Kind(), kTokNumber);
  EXPECT_EQ(t.Peek(1)->kind, kTokPlus);
  EXPECT_EQ(t.Peek(-1), nullptr);
  t.Next();
  t.Next();
  EXPECT_EQ(t.Text(), "2");
  t.Next();
  EXPECT_TRUE(t.End());
  EXPECT_EQ(t.Kind(), -1);
  EXPECT_EQ(t.Text(), "");
  TXLSTokens empty;
  EXPECT_TRUE(empty.End());
  empty.First();
  EXPECT_TRUE(empty.End());
}

}  // namespace
}  // namespace xls
