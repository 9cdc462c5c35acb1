// The shared wildcard engine under both of its callers' rules: the spreadsheet criteria drop a
// "?" right after a "*", the filter's LIKE keeps it as one character; the rest is common.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/wildcard_mask.h"

namespace platform {
namespace {

bool Criteria(const std::string& text, const std::string& mask) { return WildcardMask(mask).Matches(text); }
bool Like(const std::string& text, const std::string& mask) {
  return WildcardMask(mask, {1252, false}).Matches(text);
}

TEST(WildcardMask, QuestionAfterStarFollowsTheCallersRule) {
  // text, mask, matched under the criteria's rule, under LIKE's
  for (auto [text, mask, criteria, like] : std::vector<std::tuple<const char*, const char*, bool, bool>>{
           {"", "*?", true, false}, {"a", "a*?", true, false}, {"ab", "a*?", true, true},
           {"axyzb", "a*?b", true, true}, {"ab", "a*?b", true, false}, {"ac", "a*?b", false, false}}) {
    EXPECT_EQ(Criteria(text, mask), criteria) << text << " " << mask;
    EXPECT_EQ(Like(text, mask), like) << text << " " << mask;
  }
}

TEST(WildcardMask, CommonRulesAndErrors) {
  for (bool drop : {true, false}) {
    const WildcardRules rules{1252, drop};
    EXPECT_TRUE(WildcardMask("[a-c]*", rules).Matches("Bxx"));
    EXPECT_FALSE(WildcardMask("[!a-c]*", rules).Matches("bxx"));
    EXPECT_THROW(WildcardMask("x[ab", rules), WildcardMaskError);  // refused before any text
    std::string thirty;
    for (int i = 0; i < 30; ++i) thirty += "*a";
    const std::string thirtyOne = thirty + "*a";
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
