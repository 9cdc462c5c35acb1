#include <gtest/gtest.h>

#include "xls/formula/function_catalogue.h"

namespace xls {
namespace {

TEST(FunctionCatalogue, TablesHoldEveryRowWithItsValues) {
  auto cat = MakeFunctionCatalogue();
  EXPECT_EQ(cat->Count(), 234u);
  ASSERT_NE(cat->AddIns(), nullptr);
  EXPECT_EQ(cat->AddIns()->Count(), 93u);

  const THashFuncEntry* sum = cat->FindByName(u"SUM");
  ASSERT_NE(sum, nullptr);
  EXPECT_EQ(sum->number, 4);
  EXPECT_EQ(sum->argCount, -1);
  EXPECT_EQ(sum->returnClass, kClassValue);
  EXPECT_EQ(sum->defaultClass, kClassReference);

  const THashFuncEntry* index = cat->FindByName(u"INDEX");
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(index->number, 29);
  EXPECT_EQ(index->returnClass, kClassReference);
  EXPECT_EQ(index->digitCount, 4);
  EXPECT_EQ(index->GetArgClass(1), kClassReference);
  EXPECT_EQ(index->GetArgClass(2), kClassValue);

  const THashFuncEntry* varA = cat->FindByName(u"VARA");
  ASSERT_NE(varA, nullptr);
  EXPECT_EQ(varA->number, 367);
  const THashFuncEntry* ttest = cat->FindByName(u"TTEST");
  ASSERT_NE(ttest, nullptr);
  EXPECT_EQ(ttest->argCount, 4);
  EXPECT_EQ(ttest->GetArgClass(1), kClassArray);
  EXPECT_EQ(ttest->GetArgClass(3), kClassValue);
  EXPECT_EQ(cat->FindByName(u"ERROR.TYPE")->number, 261);
  EXPECT_EQ(cat->FindByName(u"TRANSPOSE")->returnClass, kClassArray);
}

TEST(FunctionCatalogue, LookupsByNameAndNumber) {
  auto cat = MakeFunctionCatalogue();
  EXPECT_EQ(cat->FindByName(u"sum"), nullptr) << "lookups are exact; callers upper-case";
  EXPECT_EQ(cat->FindByName(u"SUMM"), nullptr);
  EXPECT_EQ(cat->GetNameByNumber(4), u"SUM");
  EXPECT_EQ(cat->GetNameByNumber(53), u"");
  EXPECT_EQ(cat->GetArgCountByNumber(53), -2);
  EXPECT_EQ(cat->GetArgCountByNumber(27), 2);  // ROUND
  EXPECT_EQ(cat->GetArgCountByNumber(19), 0);  // PI

  const THashFuncEntry* hex2oct = cat->FindAddIn(u"HEX2OCT");
  ASSERT_NE(hex2oct, nullptr);
  EXPECT_EQ(hex2oct->number, 40);
  EXPECT_EQ(cat->FindAddIn(u"SUM"), nullptr);
  EXPECT_EQ(cat->FindAddIn(u"YIELDMAT")->number, 92);
  EXPECT_EQ(cat->FindAddIn(u"SERIESSUM")->GetArgClass(4), kClassReference);

  // IF has three digits: argument 5 takes the default class.
  const THashFuncEntry* iff = cat->FindByName(u"IF");
  EXPECT_EQ(iff->GetArgClass(1), kClassValue);
  EXPECT_EQ(iff->GetArgClass(2), kClassReference);
  EXPECT_EQ(iff->GetArgClass(5), kClassValue);
}

TEST(FunctionCatalogue, RegistrationKeepsTheLastCallAndEveryNumber) {
  THashFunc cat;
  cat.AddFunction(u"X", 7, 1, 2, 0);
  cat.AddFunctionEx(u"X", 8, "21", 0, -1, 1);
  EXPECT_EQ(cat.Count(), 1u);
  EXPECT_EQ(cat.FindByName(u"X")->number, 8);
  EXPECT_EQ(cat.FindByName(u"X")->GetArgClass(1), 2);
  EXPECT_EQ(cat.FindByName(u"X")->GetArgClass(3), 1);
  EXPECT_EQ(cat.GetNameByNumber(7), u"X");
  EXPECT_EQ(cat.GetArgCountByNumber(7), -1);
  EXPECT_THROW(cat.AddFunctionEx(u"Y", 9, "1x", 0, 1, 1), std::logic_error);
  EXPECT_EQ(cat.FindAddIn(u"X"), nullptr);
}

TEST(FunctionCatalogue, TextToFloat) {
  double v = 0;
  EXPECT_TRUE(TryTextToFloat(u"1.5", v));
  EXPECT_DOUBLE_EQ(v, 1.5);
  EXPECT_TRUE(TryTextToFloat(u".5", v));
  EXPECT_DOUBLE_EQ(v, 0.5);
  EXPECT_FALSE(TryTextToFloat(u"1.2.3", v));
  EXPECT_FALSE(TryTextToFloat(u".", v));
  EXPECT_FALSE(TryTextToFloat(u"", v));
  EXPECT_FALSE(TryTextToFloat(u"1,5", v));
}

}  // namespace
}  // namespace xls
