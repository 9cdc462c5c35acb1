#include "xls/model/hash.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace xls {
namespace {

TEST(Hash, KeysAreCaseSensitive) {
  THashInteger map;
  map.SetValue(u"a", 1);
  map.SetValue(u"A", 2);
  EXPECT_EQ(map.Count(), 2);
  EXPECT_EQ(map.GetValue(u"a"), 1);
  EXPECT_EQ(map.GetValue(u"A"), 2);
  EXPECT_EQ(map.GetValue(u"b"), 0);
}

TEST(Hash, DoublesOnTheNinthInsertAndKeepsEveryEntry) {
  THashInteger map;
  for (int i = 0; i < 8; ++i) map.SetValue(IndexKey(i), i * 10);
  EXPECT_EQ(map.BucketCount(), 8u);
  map.SetValue(u"8", 80);
  EXPECT_EQ(map.BucketCount(), 16u);
  for (int i = 0; i < 200; ++i) map.SetValue(IndexKey(i), i * 10);
  EXPECT_EQ(map.Count(), 200);
  EXPECT_GE(map.BucketCount(), 200u);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(map.GetValue(IndexKey(i)), i * 10);
  auto keys = map.GetKeys();
  EXPECT_EQ(keys.size(), 200u);
  EXPECT_NE(std::find(keys.begin(), keys.end(), "199"), keys.end());
}

TEST(Hash, LimitStopsGrowth) {
  THashInteger map;
  map.SetLimit(8);
  for (int i = 0; i < 50; ++i) map.SetValue(IndexKey(i), i);
  EXPECT_EQ(map.BucketCount(), 8u);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(map.GetValue(IndexKey(i)), i);
}

TEST(Hash, RemoveUnlinksOnlyTheKey) {
  THashString map;
  map.SetValue(u"x", "1");
  map.SetValue(u"y", "2");
  map.Remove(u"absent");
  EXPECT_EQ(map.Count(), 2);
  map.Remove(u"x");
  EXPECT_EQ(map.Count(), 1);
  EXPECT_FALSE(map.Exists(u"x"));
  EXPECT_EQ(map.GetValue(u"y"), "2");
  EXPECT_EQ(map.GetValue(u"x"), "");
}

TEST(Hash, SparseArraysAnswerTheirEmptyValues) {
  TIntegerArray ints;
  EXPECT_EQ(ints.GetItem(3), -1);
  ints.SetItem(-5, 1);
  EXPECT_TRUE(ints.Exists(u"-5"));
  EXPECT_EQ(ints.GetItem(-5), 1);
  ints.Delete(-5);
  EXPECT_EQ(ints.GetItem(-5), -1);
  TBoolArray bools;
  EXPECT_FALSE(bools.GetItem(0));
  bools.SetItem(0, true);
  EXPECT_TRUE(bools.GetItem(0));
  TWideStringArray strings;
  EXPECT_EQ(strings.GetItem(9), u"");
  strings.SetItem(9, u"nine");
  EXPECT_EQ(strings.GetItem(9), u"nine");
}

struct Counted : THashObjectBase {
  explicit Counted(int& live) : live(live) { ++live; }
  ~Counted() override { --live; }
  int& live;
};

TEST(Hash, OwningMapsFreeReplacedObjects) {
  int live = 0;
  {
    THashObject owning;
    auto* first = new Counted(live);
    owning.SetValue(u"k", first);
    owning.SetValue(u"k", first);  // the same object again is kept
    EXPECT_EQ(live, 1);
    owning.SetValue(u"k", new Counted(live));
    EXPECT_EQ(live, 1);
    TObjectArray array;
    array.SetItem(2, new Counted(live));
    EXPECT_TRUE(array.Exists(2));
    array.Delete(2);
    EXPECT_FALSE(array.Exists(2));
    EXPECT_EQ(live, 1);
  }
  EXPECT_EQ(live, 0);
  Counted kept(live);
  Counted other(live);
  {
    THashObject notOwning(false);
    notOwning.SetValue(u"k", &kept);
    notOwning.SetValue(u"k", &other);
    EXPECT_EQ(notOwning.GetValue(u"k"), &other);
  }
  EXPECT_EQ(live, 2);
}

}  // namespace
}  // namespace xls
