// The shared wildcard engine under both of its callers' rules: the spreadsheet criteria drop a
// "?" right after a "*", the filter's LIKE keeps it as one character; the rest is common.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/wildcard_mask.h"

namespace platform {
namespace {

bool Like(const std::string& text, const std::string& mask) { return WildcardMask(mask, {1252, false}).Matches(text); }

// The criteria's rule (the "?" dropped), sets, limits and error texts are checked with the
// spreadsheet masks; these are LIKE's.
TEST(WildcardMask, LikeKeepsAQuestionAfterAStarAsOneCharacter) {
  for (auto [text, mask, like] : std::vector<std::tuple<const char*, const char*, bool>>{
           {"", "*?", false}, {"a", "a*?", false}, {"ab", "a*?", true}, {"axyzb", "a*?b", true}, {"ab", "a*?b", false}})
    EXPECT_EQ(Like(text, mask), like) << text << " " << mask;
}

TEST(WildcardMask, LikeSharesTheSetsAndLimitsOfTheCriteria) {
  EXPECT_TRUE(Like("Bxx", "[a-c]*"));
  EXPECT_FALSE(Like("bxx", "[!a-c]*"));
  std::string thirty;
  for (int i = 0; i < 30; ++i) thirty += "*a";
  EXPECT_NO_THROW(WildcardMask(thirty, {1252, false}));
  EXPECT_THROW(WildcardMask(thirty + "*a", {1252, false}), WildcardMaskError);
}

}  // namespace
}  // namespace platform
