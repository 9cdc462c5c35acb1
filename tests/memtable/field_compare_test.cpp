#include "memtable/field_list.h"

#include <gtest/gtest.h>

#include <cstring>

#include "memtable/errors.h"
#include "memtable/mem_table.h"

using namespace memtable;
using namespace dataset;

namespace {

int Text(const char* a, const char* b, TmvxMemTableCompareOptions o, bool* full = nullptr) {
  bool f = false;
  int r = CompareFields(a, b, ftString, kDefaultLocaleID, o, f);
  if (full) *full = f;
  return r;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

template <typename T>
int Native(T a, T b, FieldType type, TmvxMemTableCompareOptions o = 0) {
  std::uint8_t x[16] = {}, y[16] = {};
  std::memcpy(x, &a, sizeof a);
  std::memcpy(y, &b, sizeof b);
  bool f;
  return CompareFields(x, y, type, kDefaultLocaleID, o, f);
}

}  // namespace

TEST(FieldCompare, TextInOurCollation) {
  EXPECT_EQ(Text("abc", "abc", 0), 0);
  EXPECT_EQ(Text("abc", "ABC", mtcoCaseInsensitive), 0);
  // Letters order alphabetically first, case decides only between otherwise equal texts.
  EXPECT_EQ(Text("apple", "Banana", 0), -1);
  EXPECT_EQ(Text("Banana", "apple", 0), 1);
  EXPECT_EQ(Text("abc", "ABC", 0), -1);
  EXPECT_EQ(Text("ABC", "abc", 0), 1);
  EXPECT_EQ(Text("aBc", "abD", 0), -1);  // the letter difference wins over the earlier case difference
  EXPECT_EQ(Text("ab", "abc", 0), -1);
  EXPECT_EQ(Text("", "a", 0), -1);
  // By character codes: upper case before lower case.
  EXPECT_LT(Text("Banana", "apple", mtcoIgnoreLocale), 0);
  EXPECT_EQ(Sign(Text("apple", "BANANA", mtcoIgnoreLocale | mtcoCaseInsensitive)), -1);
  EXPECT_EQ(Text("abc", "ABC", mtcoIgnoreLocale | mtcoCaseInsensitive), 0);
}

TEST(FieldCompare, DescendingNegatesLast) {
  EXPECT_EQ(Text("a", "b", mtcoDescending), 1);
  EXPECT_EQ(Native<std::int32_t>(1, 2, ftInteger, mtcoDescending), 1);
  EXPECT_EQ(Native<double>(2.5, 1.0, ftFloat, mtcoDescending), -1);
}

TEST(FieldCompare, PartialKeyClearsFullCompare) {
  bool full = true;
  EXPECT_EQ(Text("AB", "ABC", mtcoPartialKey, &full), 0);
  EXPECT_FALSE(full);
  EXPECT_EQ(Text("ABC", "ABC", mtcoPartialKey, &full), 0);
  EXPECT_TRUE(full);
  EXPECT_EQ(Text("ABD", "ABC", mtcoPartialKey, &full), 1);
  EXPECT_EQ(Text("ABC", "AB", mtcoPartialKey, &full), 1);  // the key is longer than the value
  EXPECT_EQ(Text("ab", "ABC", mtcoPartialKey | mtcoCaseInsensitive, &full), 0);
}

TEST(FieldCompare, NumbersDatesAndOtherTypes) {
  EXPECT_EQ(Native<std::int16_t>(-3, 2, ftSmallint), -1);
  EXPECT_EQ(Native<std::uint16_t>(65535, 2, ftWord), 1);
  EXPECT_EQ(Native<std::uint16_t>(0, 7, ftBoolean), -1);
  EXPECT_EQ(Native<std::uint16_t>(3, 7, ftBoolean), 0);  // both true
  EXPECT_EQ(Native<std::int64_t>(1LL << 40, 1, ftLargeint), 1);
  EXPECT_EQ(Native<double>(1.5, 1.5, ftCurrency), 0);
  EXPECT_EQ(Native<std::int32_t>(700000, 700001, ftDate), -1);
  EXPECT_EQ(Native<double>(5e10, 4e10, ftDateTime), 1);
  EXPECT_EQ(Native<std::int32_t>(5, 1, ftAutoInc), 1);
  std::uint8_t m1[8] = {1}, m2[8] = {2};
  bool f;
  EXPECT_EQ(CompareFields(m1, m2, ftMemo, kDefaultLocaleID, 0, f), 0);
  EXPECT_EQ(CompareFields(m1, m2, ftBytes, kDefaultLocaleID, 0, f), 0);
  SqlTimeStamp a{2024, 5, 1, 10, 0, 0, 5}, b{2024, 5, 1, 10, 0, 0, 6};
  EXPECT_EQ(Native(a, b, ftTimeStamp), -1);
  std::uint8_t bcd1[kBcdSize] = {}, bcd2[kBcdSize] = {};
  std::int64_t v1 = 10000, v2 = 20000;
  std::memcpy(bcd1, &v1, 8);
  std::memcpy(bcd2, &v2, 8);
  EXPECT_EQ(CompareFields(bcd1, bcd2, ftBCD, kDefaultLocaleID, 0, f), -1);
  bcd2[20] = 1;  // not a valid decimal: counts as equal
  EXPECT_EQ(CompareFields(bcd1, bcd2, ftBCD, kDefaultLocaleID, 0, f), 0);
}

TEST(FieldCompare, RefusesLocalesTheCollationDoesNotServe) {
  bool f;
  EXPECT_EQ(CompareFields("a", "b", ftString, 1033, 0, f), -1);
  EXPECT_EQ(CompareFields("a", "b", ftString, 2048, 0, f), -1);
  try {
    CompareFields("a", "b", ftString, 0x10409, 0, f);
    FAIL();
  } catch (const EMemTableInvalidLocale& e) {
    EXPECT_STREQ(e.what(), "Invalid locale. 66569");
  }
  EXPECT_THROW(CompareFields("a", "b", ftString, 0, 0, f), EMemTableLocaleError);
  // Comparison by character codes needs no locale.
  EXPECT_LT(CompareFields("a", "b", ftString, 0, mtcoIgnoreLocale, f), 0);
}

TEST(FieldCompare, FieldListKeepsOptionsBesideFields) {
  TmvxMemTable t;
  t.GetFieldDefs().Add("A", ftInteger);
  t.GetFieldDefs().Add("B", ftString, 5);
  t.Open();
  TmvxFieldList list, copy;
  EXPECT_EQ(list.Add(&t.FieldByName("A"), mtcoDescending), 0);
  EXPECT_EQ(list.Add(&t.FieldByName("B"), 0), 1);
  list.SetOptions(1, mtcoCaseInsensitive);
  list.AssignTo(copy);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.Options(0), static_cast<unsigned>(mtcoDescending));
  EXPECT_EQ(copy.Options(1), static_cast<unsigned>(mtcoCaseInsensitive));
  EXPECT_EQ(copy.IndexOf(&t.FieldByName("B")), 1);
  copy.Clear();
  EXPECT_EQ(copy.Count(), 0);
  EXPECT_EQ(copy.IndexOf(&t.FieldByName("B")), -1);
  EXPECT_EQ(IndexOptionsToCompareOptions(ixUnique | ixDescending | ixCaseInsensitive | ixNonMaintained | ixPrimary),
            static_cast<unsigned>(mtcoUnique | mtcoDescending | mtcoCaseInsensitive | mtcoNonMaintained));

  TmvxFieldList parsed;
  t.ParseFieldList("a:DC; B :PNL", parsed);
  ASSERT_EQ(parsed.Count(), 2);
  EXPECT_EQ(parsed.Options(0), static_cast<unsigned>(mtcoDescending | mtcoCaseInsensitive));
  EXPECT_EQ(parsed.Options(1), static_cast<unsigned>(mtcoPartialKey | mtcoIgnoreNullKey | mtcoIgnoreLocale));
  EXPECT_THROW(t.ParseFieldList("A;Missing", parsed), EDatabaseError);
}

class CompareRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.GetFieldDefs().Add("N", ftInteger);
    t.GetFieldDefs().Add("S", ftString, 10);
    t.GetFieldDefs().Add("L", ftString, 30);
    t.SetPerformance(mtpfBalanced);  // L out of line
    t.Open();
    key = t.Common().AllocRecord();
    rec = t.Common().AllocRecord();
  }
  void TearDown() override {
    t.Common().FreeRecord(key, true, false);
    t.Common().FreeRecord(rec, true, false);
  }
  void Set(PmvxRecord r, const char* field, const Variant& v) { t.WriteFieldValue(r, &t.FieldByName(field), v); }
  int Cmp(const std::string& fields, bool ignoreNull = false, bool partial = false, int mode = 0) {
    TmvxFieldList list;
    t.ParseFieldList(fields, list);
    return t.Common().CompareRecords(list, 0, key, rec, ignoreNull, partial, mode);
  }
  TmvxMemTable t;
  PmvxRecord key = nullptr, rec = nullptr;
};

TEST_F(CompareRecordsTest, NullsFirstAlsoWhenDescending) {
  Set(rec, "N", Variant(5));
  EXPECT_EQ(Cmp("N"), -1);
  EXPECT_EQ(Cmp("N:D"), -1);
  Set(rec, "N", Variant::MakeNull());
  EXPECT_EQ(Cmp("N"), 0);
  Set(key, "N", Variant(1));
  EXPECT_EQ(Cmp("N"), 1);
  EXPECT_EQ(Cmp("N:D"), 1);
}

TEST_F(CompareRecordsTest, IgnoredNullKeysMatchEverything) {
  Set(rec, "N", Variant(5));
  Set(rec, "S", Variant("x"));
  EXPECT_EQ(Cmp("N;S", true), 0);
  EXPECT_EQ(Cmp("N:N;S:N"), 0);
  Set(key, "S", Variant("y"));
  EXPECT_EQ(Cmp("N;S", true), 1);
}

TEST_F(CompareRecordsTest, WalksFieldsInOrderAndStopsAtTheFirstDifference) {
  Set(key, "N", Variant(1));
  Set(rec, "N", Variant(1));
  Set(key, "S", Variant("b"));
  Set(rec, "S", Variant("a"));
  EXPECT_EQ(Cmp("N;S"), 1);
  EXPECT_EQ(Cmp("N;S:D"), -1);
  Set(rec, "N", Variant(2));
  EXPECT_EQ(Cmp("N;S"), -1);
}

TEST_F(CompareRecordsTest, APartialMatchOfOneFieldGoesOnToTheNextInModeZero) {
  Set(key, "S", Variant("AB"));
  Set(rec, "S", Variant("ABC"));
  Set(key, "N", Variant(1));
  Set(rec, "N", Variant(2));
  // Every given field counts: the prefix matches, the number does not.
  EXPECT_EQ(Cmp("S;N", false, true), -1);
  EXPECT_EQ(Cmp("S;N"), -1);
  Set(rec, "N", Variant(1));
  EXPECT_EQ(Cmp("S;N", false, true), 0);
  EXPECT_EQ(Cmp("S;N"), -1);  // without the partial flag the texts differ
}

TEST_F(CompareRecordsTest, RangeModesIgnoreDescending) {
  Set(key, "N", Variant(1));
  Set(rec, "N", Variant(2));
  EXPECT_EQ(Cmp("N:D", false, false, 1), -1);
  EXPECT_EQ(Cmp("N:D", false, false, 2), -1);  // walk ends without a positive result
  EXPECT_EQ(Cmp("N:D", false, false, 3), -1);
  Set(key, "N", Variant(3));
  EXPECT_EQ(Cmp("N:D", false, false, 2), 1);
  EXPECT_EQ(Cmp("N:D", false, false, 4), 1);
}

TEST_F(CompareRecordsTest, OutOfLineValuesCompareByContent) {
  Set(key, "L", Variant("a long text value"));
  Set(rec, "L", Variant("a long text valuf"));
  EXPECT_EQ(Cmp("L"), -1);
  Set(rec, "L", Variant("A LONG TEXT VALUE"));
  EXPECT_EQ(Cmp("L:C"), 0);
  // A cursor buffer without its own block uses the stored record's; one without identity cannot.
  TmvxCommon& c = t.Common();
  std::uint8_t* slot = rec->Data + c.FieldOffset(2);
  c.BlobFree(TmvxCommon::SlotBlob(slot));
  TmvxCommon::SetSlotBlob(slot, 0);
  EXPECT_THROW(Cmp("L"), EMemTableInvalidRecord);
}

TEST_F(CompareRecordsTest, CompareEventReplacesTheComparison) {
  Set(key, "N", Variant(1));
  Set(rec, "N", Variant(2));
  int calls = 0;
  t.OnCompareFields = [&](TmvxCustomMemTable&, const void*, const void*, FieldType type, TmvxMemTableCompareOptions,
                          bool&, int& result) {
    ++calls;
    EXPECT_EQ(type, ftInteger);
    result = 7;
  };
  EXPECT_EQ(Cmp("N"), 7);
  EXPECT_EQ(calls, 1);
}

TEST(FieldCompare, OnePassTextComparisonAgreesWithTheGeneralOne) {
  const char alphabet[] = "aAbB_zZ0";
  unsigned seed = 99;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  auto text = [&] {
    std::string s;
    for (unsigned n = next() % 5; n > 0; --n) s += alphabet[(next() >> 8) % 8];
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string a = text(), b = text();
    TmvxMemTableCompareOptions o = (next() >> 4) % 32 & (mtcoDescending | mtcoCaseInsensitive | mtcoIgnoreLocale);
    bool full;
    ASSERT_EQ(Sign(CompareTextFast(a.c_str(), b.c_str(), o)), Sign(CompareFields(a.c_str(), b.c_str(), ftString, kDefaultLocaleID, o, full)))
        << a << " / " << b << " options " << o;
  }
}
