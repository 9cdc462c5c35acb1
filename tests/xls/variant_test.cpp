#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "xls/model/variant.h"

namespace xls {
namespace {

TEST(VariantTest, TypesCarryTheAutomationNumbers) {
  EXPECT_EQ(static_cast<int>(Variant().Type()), 0);
  EXPECT_EQ(static_cast<int>(Variant::Null().Type()), 1);
  EXPECT_EQ(static_cast<int>(Variant(3).Type()), 3);
  EXPECT_EQ(static_cast<int>(Variant(2.5).Type()), 5);
  EXPECT_EQ(static_cast<int>(Variant::Date(45000).Type()), 7);
  EXPECT_EQ(static_cast<int>(Variant(u"x").Type()), 8);
  EXPECT_EQ(static_cast<int>(Variant::Error(7).Type()), 10);
  EXPECT_EQ(static_cast<int>(Variant(true).Type()), 11);
  EXPECT_EQ(static_cast<int>(Variant::FromInteger(1, VarType::Int64).Type()), 20);
  EXPECT_EQ(static_cast<int>(Variant::FromAnsi("abc").Type()), 256);
  EXPECT_EQ(static_cast<int>(Variant::Array1(2).Type()), 0x2000);
  EXPECT_TRUE(Variant::Date(1).IsNumber());
  EXPECT_TRUE(Variant::FromInteger(5, VarType::Byte).IsInteger());
  EXPECT_FALSE(Variant(true).IsNumber());
  EXPECT_EQ(Variant::FromAnsi("\xE9t\xE9").TextValue(), u"\u00E9t\u00E9");
}

TEST(VariantTest, ConversionsIgnoreTheLocale) {
  // A decimal-comma locale, when the machine has one, must change nothing.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  double d = 0;
  EXPECT_TRUE(Variant(u" 1.5 ").ToDouble(d));
  EXPECT_EQ(d, 1.5);
  EXPECT_TRUE(Variant(u"-2.5E3").ToDouble(d));
  EXPECT_EQ(d, -2500);
  EXPECT_TRUE(Variant(u"+7").ToDouble(d));
  EXPECT_EQ(d, 7);
  EXPECT_FALSE(Variant(u"1,5").ToDouble(d));
  EXPECT_FALSE(Variant(u"").ToDouble(d));
  EXPECT_FALSE(Variant(u"12abc").ToDouble(d));
  EXPECT_FALSE(Variant(u"++1").ToDouble(d));
  EXPECT_FALSE(Variant(u"1e999").ToDouble(d));
  EXPECT_EQ(Variant(1.5).ToText(), u"1.5");
  EXPECT_EQ(Variant(0.1).ToText(), u"0.1");
  EXPECT_EQ(Variant(1e20).ToText(), u"1E+20");
  EXPECT_EQ(Variant(-0.0).ToText(), u"0");
  EXPECT_EQ(Variant(42).ToText(), u"42");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(VariantTest, BooleanNumberAndErrorConversions) {
  double d = -1;
  EXPECT_TRUE(Variant(true).ToDouble(d));
  EXPECT_EQ(d, 1);
  EXPECT_TRUE(Variant().ToDouble(d));
  EXPECT_EQ(d, 0);
  EXPECT_FALSE(Variant::Error(7).ToDouble(d));
  bool b = false;
  EXPECT_TRUE(Variant(u"true").ToBoolean(b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(Variant(u"FALSE").ToBoolean(b));
  EXPECT_FALSE(b);
  EXPECT_TRUE(Variant(0.25).ToBoolean(b));
  EXPECT_TRUE(b);
  EXPECT_FALSE(Variant(u"maybe").ToBoolean(b));
  std::int64_t i = 0;
  EXPECT_TRUE(Variant(2.5).ToInteger(i));
  EXPECT_EQ(i, 3);
  EXPECT_TRUE(Variant(-2.5).ToInteger(i));
  EXPECT_EQ(i, -3);
  EXPECT_FALSE(Variant(1e300).ToInteger(i));
  EXPECT_FALSE(Variant(std::nan("")).ToInteger(i));
  EXPECT_EQ(Variant(true).ToText(), u"TRUE");
  EXPECT_EQ(Variant::Error(7).ToText(), u"#DIV/0!");
  EXPECT_EQ(Variant::Error(42).ToText(), u"#N/A");
  EXPECT_EQ(Variant::Null().ToText(), u"");
}

TEST(VariantTest, ArraysKeepBoundsAndCopyDeeply) {
  Variant a = Variant::Array2(2, 3, 1, 0);
  VariantArray* arr = a.ArrayValue();
  ASSERT_NE(arr, nullptr);
  EXPECT_EQ(arr->Dimensions(), 2);
  EXPECT_EQ(arr->Count(0), 2);
  EXPECT_EQ(arr->Count(1), 3);
  EXPECT_EQ(arr->Low(0), 1);
  EXPECT_EQ(arr->At(0, 0), nullptr);  // below the low bound
  EXPECT_EQ(arr->At(3, 0), nullptr);
  EXPECT_EQ(arr->At(1, 3), nullptr);
  *arr->At(2, 2) = Variant(u"last");
  Variant copy = a;
  *arr->At(2, 2) = Variant(5);
  EXPECT_EQ(*copy.ArrayValue()->At(2, 2), Variant(u"last"));
  EXPECT_FALSE(copy == a);
  Variant one = Variant::Array1(2, 5);
  EXPECT_EQ(one.ArrayValue()->At(4), nullptr);
  EXPECT_NE(one.ArrayValue()->At(6), nullptr);
  EXPECT_EQ(one.ArrayValue()->At(1, 1), nullptr);  // not two-dimensional
  EXPECT_TRUE(Variant::Array1(-3).ArrayValue()->Elements().empty());
}

TEST(VariantTest, EqualityComparesTypeAndValue) {
  EXPECT_EQ(Variant(1.0), Variant(1.0));
  EXPECT_FALSE(Variant(1.0) == Variant(1));
  EXPECT_FALSE(Variant(u"a") == Variant::FromAnsi("a"));
  EXPECT_EQ(Variant(), Variant());
  EXPECT_FALSE(Variant() == Variant::Null());
  EXPECT_EQ(Variant::Date(3.5), Variant::Date(3.5));
}

}  // namespace
}  // namespace xls
