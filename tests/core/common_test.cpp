#include "core/common.h"

#include <gtest/gtest.h>

#include <bit>

namespace {

TEST(CommonTest, ResetGivesAFreshState) {
  core::ResetState();
  auto& s = core::State();
  EXPECT_EQ(s.LinkedStation, 0);
  EXPECT_TRUE(s.Models.empty());
  for (bool f : s.PrintSet) EXPECT_TRUE(f);
  s.LinkedStation = 5;
  s.Document.resize(3);
  core::ResetState();
  EXPECT_EQ(core::State().LinkedStation, 0);
  EXPECT_TRUE(core::State().Document.empty());
}

TEST(CommonTest, ShortTextCutsAndAbsentValueIsTheCanonicalNaN) {
  core::ShortText<20> code(std::string(25, 'x'));
  EXPECT_EQ(code.size(), 20u);
  core::ShortText<80> name;
  name = std::string(85, 'n');
  EXPECT_EQ(name.str(), std::string(80, 'n'));
  EXPECT_EQ(std::bit_cast<std::uint32_t>(core::AbsentValue()), 0xFFC00000u);
  EXPECT_TRUE(core::IsAbsent(core::AbsentValue()));
  EXPECT_FALSE(core::IsAbsent(0.0f));
}

}  // namespace
