// The shared wildcard engine under both of its callers' rules: the spreadsheet criteria drop a
// "?" right after a "*", the filter's LIKE keeps it as one character; the rest is common.
#include <gtest/gtest.h>

#include <string>

#include "platform/wildcard_mask.h"

namespace platform {
namespace {

bool Criteria(const std::string& text, const std::string& mask) { return WildcardMask(mask).Matches(text); }
bool Like(const std::string& text, const std::string& mask) {
  return WildcardMask(mask, {1252, false}).Matches(text);
}

TEST(WildcardMask, QuestionAfterStarFollowsTheCallersRule) {
  EXPECT_TRUE(Criteria("", "*?"));
  EXPECT_FALSE(Like("", "*?"));
  EXPECT_TRUE(Criteria("a", "a*?"));
  EXPECT_FALSE(Like("a", "a*?"));
  EXPECT_TRUE(Like("ab", "a*?"));
  EXPECT_TRUE(Like("axyzb", "a*?b"));
  EXPECT_FALSE(Like("ab", "a*?b"));
  EXPECT_EQ(WildcardMask("*?x").StateCount() + 1, WildcardMask("*?x", {1252, false}).StateCount());
}

TEST(WildcardMask, CommonRulesAndErrors) {
  for (bool drop : {true, false}) {
    const WildcardRules rules{1252, drop};
    EXPECT_TRUE(WildcardMask("[a-c]*", rules).Matches("Bxx"));
    EXPECT_FALSE(WildcardMask("[!a-c]*", rules).Matches("bxx"));
    EXPECT_THROW(WildcardMask("x[ab", rules), WildcardMaskError);  // refused before any text
    std::string thirty, thirtyOne;
    for (int i = 0; i < 30; ++i) thirty += "*a";
    thirtyOne = thirty + "*a";
    EXPECT_NO_THROW(WildcardMask(thirty, rules));
    try {
      WildcardMask m(thirtyOne, rules);
      ADD_FAILURE() << "31 wildcards accepted";
    } catch (const WildcardMaskError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + thirtyOne + "' is an invalid mask at (62)");  // the 31st "a"
    }
  }
}

}  // namespace
}  // namespace platform
