#include "xls/model/cell_address.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace xls {
namespace {

TEST(CellAddress, NamesOfCellsAreasAndColumns) {
  EXPECT_EQ(CellRefName(0, 0), "A1");
  EXPECT_EQ(CellRefName(65535, 255), "IV65536");
  EXPECT_EQ(CellRefName(4, 26), "AA5");
  EXPECT_EQ(CellRefName(0, 51), "AZ1");
  EXPECT_EQ(CellRefName(0, 52), "BA1");
  EXPECT_EQ(AreaRefName(0, 0, 9, 2), "A1:C10");
  EXPECT_EQ(ColumnName(27), "AA");
  EXPECT_EQ(ColumnName(256), "IV");
  EXPECT_EQ(ColumnName(0), "");
  EXPECT_EQ(ColumnName(257), "");
  for (int c = 1; c <= 256; ++c) ASSERT_EQ(ColumnNumber(ColumnName(c)), c) << c;
}

TEST(CellAddress, ColumnNumbersAndTheirLimit) {
  EXPECT_EQ(ColumnNumber("$A"), 1);
  EXPECT_EQ(ColumnNumber("1"), -1);
  EXPECT_EQ(ColumnNumber("iv"), 256);
  EXPECT_EQ(ColumnNumber("IW"), -1);
  EXPECT_EQ(ColumnNumber("ZZZZZZZZZZZZZZZZ"), -1);  // would overflow an integer
  EXPECT_EQ(ColumnNumber(std::string(10000, 'Z')), -1);
}

TEST(CellAddress, ParsesReferences) {
  std::uint16_t row = 0;
  std::uint8_t col = 0;
  EXPECT_EQ(ParseCellRef("b3", row, col), 1);
  EXPECT_EQ(row, 2);
  EXPECT_EQ(col, 1);
  EXPECT_EQ(ParseCellRef("IV65536", row, col), 1);
  EXPECT_EQ(row, 65535);
  EXPECT_EQ(col, 255);
  for (const char* bad : {"A0", "A65537", "IW1", "A", "", "1A", "$A$1", "A1x", "A99999999999999999"})
    EXPECT_EQ(ParseCellRef(bad, row, col), -1) << bad;
  std::uint16_t r1, r2;
  std::uint8_t c1, c2;
  EXPECT_EQ(ParseAreaRef("A1", r1, c1, r2, c2), -1);
  EXPECT_EQ(ParseAreaRef("A1:C10", r1, c1, r2, c2), 1);
  EXPECT_EQ(r2, 9);
  EXPECT_EQ(c2, 2);
  EXPECT_EQ(ParseAreaRef("A1:C0", r1, c1, r2, c2), -1);
}

TEST(CellAddress, AbsoluteRowAndColumnRanges) {
  EXPECT_EQ(RowsToAbsRef(1, 3), "$1:$3");
  EXPECT_EQ(RowsToAbsRef(0, 3), "");
  EXPECT_EQ(ColsToAbsRef(1, 2), "$A:$B");
  EXPECT_EQ(ColsToAbsRef(2, -1), "");
  int first = 0, last = 0;
  EXPECT_TRUE(ParseRowRange(" $5 : $2 ", first, last));
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 5);
  EXPECT_FALSE(ParseRowRange("$5", first, last));
  EXPECT_FALSE(ParseRowRange("$x:$2", first, last));
  EXPECT_FALSE(ParseRowRange("1:65536", first, last));
  EXPECT_TRUE(ParseColRange("$C:$A", first, last));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 3);
  EXPECT_FALSE(ParseColRange("$A:$1", first, last));
}

TEST(CellAddress, DateSerialsAroundTheMissingLeapDay) {
  EXPECT_EQ(SerialToDateTime(59), 60);  // 1900-02-28
  EXPECT_EQ(SerialToDateTime(0.5), 1.5);
  EXPECT_EQ(SerialToDateTime(61), 61);  // 1900-03-01 the same in both
  EXPECT_EQ(DateTimeToSerial(61), 61);
  EXPECT_EQ(DateTimeToSerial(60), 59);
  EXPECT_EQ(DateTimeToSerial(0.25), 0.25);
  for (double v : {0.0, 1.0, 30.5, 59.99}) EXPECT_EQ(DateTimeToSerial(SerialToDateTime(v)), v);
}

TEST(CellAddress, TwipsAndColumnWidths) {
  EXPECT_EQ(TwipsToPoints(255), 12.75);
  EXPECT_EQ(PointsToTwips(12.8), 255);
  EXPECT_EQ(PointsToTwips(10), 200);
  EXPECT_EQ(CharsToColWidth(8), 2230);
  EXPECT_EQ(ColWidthToChars(2230), 8.0);
  EXPECT_EQ(CharsToColWidth(0.5), 230);
  EXPECT_EQ(ColWidthToChars(230), 0.5);
  EXPECT_EQ(CharsToColWidth(8.5), 2358);
  EXPECT_EQ(ColWidthToChars(2358), 8.5);
}

TEST(CellAddress, RKEncodingsInTheirOrder) {
  std::uint32_t rk = 0;
  ASSERT_TRUE(EncodeRK(rk, 1.0));
  EXPECT_EQ(rk, 6u);
  ASSERT_TRUE(EncodeRK(rk, 0.5));
  EXPECT_EQ(rk, 203u);
  ASSERT_TRUE(EncodeRK(rk, 0.375));
  EXPECT_EQ(rk, 0x3FD80000u);
  EXPECT_FALSE(EncodeRK(rk, 3000000000.0));
  EXPECT_FALSE(IsRKValue(0.1234567));
  ASSERT_TRUE(EncodeRK(rk, -7));
  EXPECT_EQ(DecodeRK(rk), -7);
  for (double v : {0.01, -123.45, 536870911.0, -536870912.0, 1e9, 0.375, 1.5e-300, 12.5})
    if (EncodeRK(rk, v)) {
      EXPECT_EQ(DecodeRK(rk), v) << v;
    }
  EXPECT_FALSE(IsRKValue(NAN));
}

TEST(CellAddress, LineBreaksAndDotNumbers) {
  EXPECT_EQ(NormalizeLineBreaks(u"a\r\nb\nc\rd"), u"a\rb\rc\rd");
  EXPECT_EQ(FloatToDotStr(12.25), "12.3");
  EXPECT_EQ(FloatToDotStr(12.0), "12");
  EXPECT_EQ(FloatToDotStr(0.5), ".5");
  EXPECT_EQ(FloatToDotStr(-3.14), "-3.1");
  EXPECT_EQ(FloatToDotStr(0), "");
  EXPECT_EQ(FloatToDotStr(1e20), "100000000000000000000");
  EXPECT_TRUE(IsDirectory("/"));
  EXPECT_FALSE(IsDirectory("/nonexistent-folder"));
  EXPECT_FALSE(IsDirectory(std::string(KV_SOURCE_DIR) + "/README.md"));
}

}  // namespace
}  // namespace xls
