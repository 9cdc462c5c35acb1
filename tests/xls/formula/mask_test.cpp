// Wildcard masks against a table of expectations, which Python's fnmatch (case folded) must
// share except on the rows marked as our own rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "xls/formula/cell_text/mask.h"

namespace xls {
namespace {

struct Row {
  const char* mask;
  const char* text;
  bool match;
  const char* ownRule;  // why fnmatch answers otherwise; nullptr when it agrees
};

const std::vector<Row> kTable = {
    {"a*", "ABC", true, nullptr},
    {"a*", "a", true, nullptr},
    {"a*", "ba", false, nullptr},
    {"?b", "ab", true, nullptr},
    {"?b", "b", false, nullptr},
    {"a?", "a", false, nullptr},
    {"[!0-9]*", "x12", true, nullptr},
    {"[!0-9]*", "1x", false, nullptr},
    {"[!0-9]*", "", false, nullptr},
    {"*a*b*c", "xxaxxbxxc", true, nullptr},
    {"*a*b*c", "xxaxxbxx", false, nullptr},
    {"*x", "xxxx", true, nullptr},
    {"a*b?d", "aXbbbcd", true, nullptr},
    {"[a-c]1", "B1", true, nullptr},
    {"[a-c]1", "d1", false, nullptr},
    {"[c-a]", "b", false, nullptr},           // a backward range adds nothing but its start
    {"[c-a]", "c", true, "fnmatch drops a backward range whole"},
    {"[*]a", "*A", true, nullptr},            // a set is how a literal star is written
    {"~*", "~anything", true, nullptr},       // "~" is an ordinary character
    {"~*", "*", false, nullptr},
    {"*?", "", true, "a question mark after a star is dropped"},
    {"a*?", "a", true, "a question mark after a star is dropped"},
    {"a*?b", "ab", true, "a question mark after a star is dropped"},
    {"\\a", "\\a", true, nullptr},
    {"*", "", true, nullptr},
    {"", "", true, nullptr},
    {"", "a", false, nullptr},
};

// fnmatch's answers for every row, upper-casing both sides as the masks do.
std::string FnmatchAnswers() {
  std::string script = "import fnmatch\nrows = [";
  auto quote = [](const char* s) {
    std::string out = "'";
    for (const char* p = s; *p; ++p) {
      if (*p == '\\' || *p == '\'') out += '\\';
      out += *p;
    }
    return out + "'";
  };
  for (const Row& r : kTable) script += "(" + quote(r.mask) + ", " + quote(r.text) + "),";
  script += "]\nprint(''.join('1' if fnmatch.fnmatchcase(t.upper(), m.upper()) else '0' for m, t in rows))\n";
  FILE* f = std::fopen("/tmp/kv_mask_fnmatch.py", "w");
  if (!f) return {};
  std::fputs(script.c_str(), f);
  std::fclose(f);
  std::string out;
  FILE* p = popen("/usr/bin/python3 /tmp/kv_mask_fnmatch.py", "r");
  if (!p) return {};
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  std::remove("/tmp/kv_mask_fnmatch.py");
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

TEST(Mask, TableAgreesWithFnmatchExceptOurOwnRules) {
  const std::string fn = FnmatchAnswers();
  ASSERT_EQ(fn.size(), kTable.size()) << "python3 fnmatch did not answer";
  for (size_t i = 0; i < kTable.size(); ++i) {
    const Row& r = kTable[i];
    EXPECT_EQ(MatchesMask(r.text, r.mask), r.match) << "mask " << r.mask << " text " << r.text;
    const bool fnMatch = fn[i] == '1';
    if (r.ownRule) EXPECT_NE(fnMatch, r.match) << "row no longer differs from fnmatch: " << r.mask;
    else EXPECT_EQ(fnMatch, r.match) << "fnmatch disagrees: mask " << r.mask << " text " << r.text;
  }
}

std::string MaskError(const std::string& mask) {
  try {
    TMask m(mask);
  } catch (const EMaskException& e) {
    return e.what();
  }
  return "";
}

TEST(Mask, InvalidMasksNameThePosition) {
  EXPECT_EQ(MaskError("[]"), "'[]' is an invalid mask at (2)");
  EXPECT_EQ(MaskError("[-a]"), "'[-a]' is an invalid mask at (2)");
  EXPECT_EQ(MaskError("ab[cd"), "'ab[cd' is an invalid mask at (5)");
  std::string thirty, thirtyOne;
  for (int i = 0; i < 30; ++i) thirty += "*a";
  thirtyOne = thirty + "*b";
  EXPECT_EQ(MaskError(thirty), "");
  EXPECT_EQ(MaskError(thirtyOne), "'" + thirtyOne + "' is an invalid mask at (62)");
  // Thirty stars against a long text that almost matches still answers at once.
  EXPECT_FALSE(TMask(thirty).Matches(std::string(5000, 'a') + "b"));
  EXPECT_TRUE(TMask(thirty).Matches(std::string(5000, 'a')));
}

TEST(Mask, DoubleByteCharactersStayWhole) {
  // Code page 932: 0x83 0x41 is one character; its trail byte is not the letter A.
  const std::string ka = "\x83\x41";
  EXPECT_TRUE(MatchesMask(ka + "x", "?x", 932));
  EXPECT_FALSE(MatchesMask(ka + "x", "?x", 1252));
  EXPECT_FALSE(MatchesMask(ka, "*A", 932));
  EXPECT_TRUE(MatchesMask(ka, "*A", 1252));
  EXPECT_TRUE(MatchesMask("zz" + ka, "*" + ka, 932));
  EXPECT_TRUE(MatchesMask("a" + ka, "[" + ka + "a]*", 932));  // members cannot be double-byte
}

}  // namespace
}  // namespace xls
