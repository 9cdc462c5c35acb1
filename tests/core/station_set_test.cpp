#include "core/station_set.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Stations(std::string_view text) {
  std::vector<int> out;
  auto set = core::ParseStationList(text);
  for (int s = 0; s < 256; ++s)
    if (set.contains(s)) out.push_back(s);
  return out;
}

TEST(StationList, NumbersAndRanges) {
  EXPECT_EQ(Stations("1,3,5-12"), (std::vector<int>{1, 3, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(Stations("254"), (std::vector<int>{254}));
  EXPECT_EQ(Stations("1, 2,   3"), (std::vector<int>{1, 2, 3}));  // blanks after a comma do no harm
  EXPECT_EQ(Stations("7 ,9"), (std::vector<int>{9}));             // a blank before a comma spoils the item
  EXPECT_EQ(Stations("1- 5"), (std::vector<int>{1, 2, 3, 4, 5}));  // blank after the minus
  EXPECT_EQ(Stations("1 -5"), (std::vector<int>{}));               // blank before the minus
  EXPECT_EQ(Stations("$A"), (std::vector<int>{10}));
  EXPECT_EQ(Stations("0x10,+4"), (std::vector<int>{4, 16}));
  EXPECT_EQ(Stations("1\n2\r\n3"), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Stations(",,,5,,"), (std::vector<int>{5}));
  EXPECT_EQ(Stations("250-254").size(), 5u);
  EXPECT_EQ(Stations("1-254").size(), 254u);
}

TEST(StationList, BadItemsGiveNothing) {
  for (const char* text : {"5-5", "12-5", "-3", "0", "255", "1-300", "0-4", "3-5-7", "abc", "\"1,2\"", "'4'",
                           "1.5", "", "  ", "1x", "4294967297", "2-"}) {
    EXPECT_TRUE(core::ParseStationList(text).empty()) << text;
  }
  EXPECT_EQ(Stations("abc,7,300"), (std::vector<int>{7}));
  EXPECT_EQ(Stations("'1,2',3"), (std::vector<int>{3}));
}

TEST(StationList, SetOperations) {
  auto set = core::ParseStationList("9,3,200-202");
  EXPECT_EQ(set.count(), 5);
  EXPECT_EQ(set.lowest(), 3);
  EXPECT_EQ(set.highest(), 202);
  set.add(0);
  set.add(255);
  EXPECT_EQ(set.count(), 5);
  set.clear();
  EXPECT_TRUE(set.empty());
  EXPECT_EQ(set.lowest(), 0);
}

}  // namespace
