#include "core/compare.h"

#include <gtest/gtest.h>

#include "core/config.h"

namespace {

core::ParameterDefinition Rec(const char* code, float value, float def = 0, int group = 1, int model = 1) {
  core::ParameterDefinition d;
  d.code = code;
  d.value = value;
  d.defaultValue = def;
  d.transferGroup = group;
  d.model = model;
  d.decimals = 2;
  d.unit = "Hz";
  return d;
}

class CompareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core::ResetState();
    core::LoadConfigurationText(core::State(),
                                "[MODEL=A]\n[PAR=P1;W1;1;1;1;0;0;10;3;;D]\n[PAR=P2;W2;1;2;1;0;0;10;4;;D]\n"
                                "[MODEL=B]\n[PAR=P1;W1;1;1;1;0;0;10;7;;D]\n");
  }
  void TearDown() override { core::ResetState(); }
};

TEST_F(CompareTest, DifferenceRule) {
  EXPECT_FALSE(core::ValuesDiffer(1.0f, 1.0f));
  EXPECT_TRUE(core::ValuesDiffer(1.0f, 1.001f));
  EXPECT_FALSE(core::ValuesDiffer(0.0f, 0.0001f));  // the float 0.0001 lies just below 0.0001
  EXPECT_TRUE(core::ValuesDiffer(1.0f, 1.0001f));   // this one just above
  EXPECT_TRUE(core::ValuesDiffer(0.0f, 0.00011f));
  EXPECT_FALSE(core::ValuesDiffer(0.0f, 0.00009f));
}

TEST_F(CompareTest, DriveAgainstItsOwnModelsDefaults) {
  std::vector<core::ParameterDefinition> read = {Rec("P1", 3, 0, 1, 1), Rec("P2", 5, 0, 2, 1), Rec("P9", 1, 0, 1, 1),
                                                 Rec("P1", 3, 0, 1, 2)};
  auto lines = core::CompareWithDefaults(read);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].code, "P2");
  EXPECT_EQ(lines[0].defaultValue, 4.0f);
  EXPECT_EQ(lines[0].values[0], 5.0f);
  EXPECT_EQ(lines[0].values[1], 0.0f);
  EXPECT_EQ(lines[1].code, "P1");  // model B's default is 7, not model A's 3
  EXPECT_EQ(lines[1].defaultValue, 7.0f);
  EXPECT_TRUE(core::CompareWithDefaults({Rec("P1", 3.00005f, 0, 1, 1)}).empty());
}

TEST_F(CompareTest, FileWithFile) {
  std::vector<core::ParameterDefinition> f1 = {Rec("A", 1), Rec("B", 2), Rec("C", 3)};
  std::vector<core::ParameterDefinition> f2 = {Rec("B", 2.5f), Rec("A", 1)};
  auto lines = core::CompareFileWithFile(f1, f2);
  ASSERT_EQ(lines.size(), 1u);  // C is in file 1 only: not listed
  EXPECT_EQ(lines[0].code, "B");
  EXPECT_EQ(lines[0].values[0], 2.0f);
  EXPECT_EQ(lines[0].values[1], 2.5f);
  EXPECT_EQ(lines[0].decimals, 2);
  EXPECT_EQ(lines[0].unit, "Hz");
}

TEST_F(CompareTest, FilesWithDefaults) {
  std::vector<core::ParameterDefinition> f1 = {Rec("A", 1, 1), Rec("B", 2, 2), Rec("C", 3, 3)};
  std::vector<core::ParameterDefinition> f2 = {Rec("A", 1, 1), Rec("C", 9)};
  std::vector<core::ParameterDefinition> f3 = {Rec("B", 5)};
  auto lines = core::CompareFilesWithDefaults(f1, f2, f3);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].code, "B");
  EXPECT_TRUE(core::IsAbsent(lines[0].values[1]));  // file 2 lacks B
  EXPECT_EQ(lines[0].values[2], 5.0f);
  EXPECT_EQ(lines[1].code, "C");
  EXPECT_EQ(lines[1].values[1], 9.0f);
  EXPECT_TRUE(core::IsAbsent(lines[1].values[2]));
  EXPECT_TRUE(core::CompareFilesWithDefaults(f1, {}, {}).empty());
}

}  // namespace
