#include <gtest/gtest.h>

#include "xls/model/xf_list.h"

namespace xls {
namespace {

class XFAttributes : public ::testing::Test {
 protected:
  void SetUp() override { xfs.SetDefaults(); }
  std::u16string Align(std::int32_t xf) { return xfs.GetKey(xf).substr(13, 6); }
  TXLSXFList xfs;
};

TEST_F(XFAttributes, ProtectionBitsKeepEachOther) {
  EXPECT_TRUE(xfs.GetLocked(0));
  std::int32_t hidden = xfs.SetFormulaHidden(0, true, true);
  EXPECT_TRUE(xfs.GetLocked(hidden));
  EXPECT_TRUE(xfs.GetFormulaHidden(hidden));
  std::int32_t unlocked = xfs.SetLocked(hidden, false, true);
  EXPECT_FALSE(xfs.GetLocked(unlocked));
  EXPECT_TRUE(xfs.GetFormulaHidden(unlocked));
  EXPECT_EQ(xfs.GetKey(unlocked).substr(41, 2), u"20");
}

TEST_F(XFAttributes, CentringAnUnformattedCell) {
  std::int32_t xf = xfs.SetHorizontalAlignment(0, 2, true);
  EXPECT_EQ(Align(xf), u"220000");
  EXPECT_EQ(xfs.GetHorizontalAlignment(xf), 2);
  EXPECT_EQ(xfs.GetVerticalAlignment(xf), 2);
  xfs.PackIndices();
  EXPECT_EQ(xfs.BuildXFRecord(xfs.GetOutputIndex(xf) - 1, kBiff8)->GetByte(10), 0x22);
}

TEST_F(XFAttributes, IndentAndHorizontalAlignmentRules) {
  std::int32_t indented = xfs.SetIndent(0, 3, true);
  EXPECT_EQ(xfs.GetHorizontalAlignment(indented), 1);  // an indent makes the cell left-aligned
  EXPECT_EQ(xfs.GetIndent(indented), 3);
  EXPECT_EQ(xfs.GetIndent(xfs.SetHorizontalAlignment(indented, 2, true)), 0);
  std::int32_t indented2 = xfs.SetIndent(0, 3, true);
  EXPECT_EQ(xfs.GetIndent(xfs.SetHorizontalAlignment(indented2, 1, true)), 3);
  std::int32_t centred = xfs.SetHorizontalAlignment(0, 2, true);
  EXPECT_EQ(xfs.GetHorizontalAlignment(xfs.SetIndent(centred, 2, true)), 1);
  std::int32_t zero = xfs.SetIndent(centred, 0, true);
  EXPECT_EQ(xfs.GetHorizontalAlignment(zero), 2);
  std::int32_t right = xfs.SetHorizontalAlignment(0, 3, true);
  EXPECT_EQ(xfs.GetHorizontalAlignment(xfs.SetIndent(right, 4, true)), 3);
}

TEST_F(XFAttributes, VerticalWrapRotationShrinkAndReadingOrder) {
  std::int32_t xf = xfs.SetWrapText(0, true, true);
  xf = xfs.SetAlignmentKey(xf, u"A" + xfs.GetAlignmentKey(xf).substr(1), true);  // justify last line
  xf = xfs.SetVerticalAlignment(xf, 1, true);
  EXPECT_EQ(xfs.GetVerticalAlignment(xf), 1);
  EXPECT_TRUE(xfs.GetWrapText(xf));
  EXPECT_EQ(xfs.GetAlignmentKey(xf)[0], u'9');
  xf = xfs.SetRotation(xf, 90, true);
  EXPECT_EQ(xfs.GetRotation(xf), 90);
  xf = xfs.SetShrinkToFit(xf, true, true);
  xf = xfs.SetReadingOrder(xf, 2, true);
  EXPECT_TRUE(xfs.GetShrinkToFit(xf));
  EXPECT_EQ(xfs.GetReadingOrder(xf), 2);
  xf = xfs.SetShrinkToFit(xf, false, true);
  EXPECT_EQ(xfs.GetReadingOrder(xf), 2);
  xfs.PackIndices();
  auto rec = xfs.BuildXFRecord(xfs.GetOutputIndex(xf) - 1, kBiff5);
  EXPECT_EQ((rec->GetWord(10) >> 8) & 3, 2);  // rotation 90 is vertical orientation 2 in BIFF5
}

TEST_F(XFAttributes, BorderStyleWeightAndRemoval) {
  std::int32_t xf = xfs.SetBorderLineStyle(0, 15, true, kLineContinuous);
  for (std::int32_t edge : {1, 2, 4, 8}) {
    EXPECT_EQ(xfs.GetBorderStyleCode(xf, edge), 1);
    EXPECT_EQ(xfs.GetBorderColor(xf, edge), kXlAutomatic);
  }
  EXPECT_TRUE(xfs.HasOwnBorders(xf));
  EXPECT_FALSE(xfs.HasOwnBorders(0));
  xf = xfs.SetBorderWeight(xf, 15, true, kWeightMedium);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 8), 2);
  EXPECT_EQ(xfs.GetBorderWeight(xf, 8), kWeightMedium);
  EXPECT_EQ(xfs.GetBorderLineStyle(xf, 8), kLineContinuous);
  std::int32_t dashed = xfs.SetBorderLineStyle(xf, 1, true, kLineDash);
  EXPECT_EQ(xfs.GetBorderStyleCode(dashed, 1), 8);  // medium dashed keeps the weight
  xf = xfs.SetBorderLineStyle(xf, 15, true, kXlNone);
  EXPECT_EQ(xfs.GetBorderKey(xf), std::u16string(16, u'0'));
  EXPECT_EQ(xfs.SetBorderLineStyle(xf, 64, true, kLineContinuous), xf);
  std::int32_t slanted = xfs.SetBorderLineStyle(0, 4, true, kLineSlantDashDot);
  EXPECT_EQ(xfs.GetBorderStyleCode(slanted, 4), 13);
  EXPECT_EQ(xfs.GetBorderLineStyle(slanted, 4), kLineSlantDashDot);
}

TEST_F(XFAttributes, BorderColoursTouchOnlyTheirEdge) {
  std::int32_t xf = xfs.SetBorderColor(0, 1, true, 3);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 1), 1);
  EXPECT_EQ(xfs.GetBorderColor(xf, 1), 3);
  EXPECT_EQ(xfs.GetBorderKey(xf).substr(0, 8), u"000A0001");
  xf = xfs.SetBorderColor(xf, 2 | 16, true, kXlAutomatic);
  EXPECT_EQ(xfs.GetBorderColor(xf, 2), kXlAutomatic);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 16), 1);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 32), 0);  // up diagonal flag not set
  xf = xfs.SetBorderColor(xf, 1, true, kXlNone);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 1), 0);
  EXPECT_EQ(xfs.GetBorderColor(xf, 1), kXlNone);
  EXPECT_EQ(xfs.GetBorderColor(xf, 2), kXlAutomatic);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 16), 1);
  xf = xfs.SetBorderColor(xf, 16, true, 0);
  EXPECT_EQ(xfs.GetBorderKey(xf).substr(8), u"00000000");
  EXPECT_EQ(xfs.SetBorderColor(xf, 1, true, 99), xf);  // not a colour
}

TEST_F(XFAttributes, DiagonalsThroughStyleAndWeight) {
  std::int32_t xf = xfs.SetBorderLineStyle(0, 16 | 32, true, kLineDouble);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 16), 6);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 32), 6);
  EXPECT_EQ(xfs.GetBorderColor(xf, 32), kXlAutomatic);
  xf = xfs.SetBorderWeight(xf, 16, true, kWeightThin);
  EXPECT_EQ(xfs.GetBorderStyleCode(xf, 16), 1);
  xf = xfs.SetBorderLineStyle(xf, 16 | 32, true, kXlNone);
  EXPECT_EQ(xfs.GetBorderKey(xf), std::u16string(16, u'0'));
}

TEST_F(XFAttributes, CodeTablesBothWays) {
  using M = TXLSXFList::CodeMode;
  for (int code = 0; code <= 13; ++code) {
    std::int32_t style = TXLSXFList::LineStyleFromCode(code);
    std::int32_t weight = TXLSXFList::WeightFromCode(code);
    EXPECT_EQ(TXLSXFList::CodeFromStyleAndWeight(style, weight, M::Style), code) << code;
    EXPECT_EQ(TXLSXFList::CodeFromStyleAndWeight(style, weight, M::Weight), code == 0 ? 1 : code) << code;
  }
  EXPECT_EQ(TXLSXFList::LineStyleFromCode(14), kXlNone);
  EXPECT_EQ(TXLSXFList::CodeFromStyleAndWeight(kLineContinuous, 99, M::Weight), 0);
}

TEST_F(XFAttributes, FillsSwapColoursBetweenSolidAndPattern) {
  std::int32_t xf = xfs.SetInteriorColor(0, 10, true);
  EXPECT_EQ(xfs.GetFillPattern(xf), 1);
  EXPECT_EQ(xfs.GetPatternKey(xf), u"01200A");  // background 64, pattern colour 10
  EXPECT_EQ(xfs.GetInteriorColor(xf), 10);
  EXPECT_EQ(xfs.GetPatternColor(xf), 64);
  xf = xfs.SetFillPattern(xf, 9, true);
  EXPECT_EQ(xfs.GetPatternKey(xf), u"090540");  // pattern colour 64, background 10
  EXPECT_EQ(xfs.GetInteriorColor(xf), 10);
  xf = xfs.SetPatternColor(xf, 12, true);
  EXPECT_EQ(xfs.GetPatternColor(xf), 12);
  EXPECT_EQ(xfs.GetInteriorColor(xf), 10);
  xf = xfs.SetInteriorColor(xf, 0, true);
  EXPECT_EQ(xfs.GetPatternKey(xf), u"0020C0");
  EXPECT_EQ(xfs.GetInteriorColor(xf), 0);
  std::int32_t p = xfs.SetPatternColor(0, 11, true);
  EXPECT_EQ(xfs.GetFillPattern(p), 1);
  EXPECT_EQ(xfs.GetPatternColor(p), 11);
  EXPECT_EQ(xfs.GetInteriorColor(p), 65);
  EXPECT_EQ(xfs.GetFillPattern(xfs.SetFillPattern(p, 0, false)), 0);
  xfs.PackIndices();
  auto rec = xfs.BuildXFRecord(xfs.GetOutputIndex(p) - 1, kBiff8);
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->GetDWord(18) >> 26, 1u);
  EXPECT_EQ(rec->GetWord(22), (11u << 7) | 65);
}

}  // namespace
}  // namespace xls
