#include "xls/model/xf_list.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "xls_test_util.h"

namespace xls {
namespace {

using testing::BlobBytes;
using testing::Concat;
using testing::Utf16;

class XFList : public ::testing::Test {
 protected:
  void SetUp() override { xfs.SetDefaults(); }

  // Cells hold XF indexes; every stored index counts one use. After each change the list's
  // use counts must equal a fresh count over the cells.
  void ExpectUsesBalance() {
    std::map<std::int32_t, std::int32_t> held;
    for (std::int32_t xf : cells)
      if (xf >= TXLSXFList::kFixedXFs) ++held[xf];
    for (std::int32_t i = 0; i < xfs.Count(); ++i) {
      std::int32_t expect = i >= TXLSXFList::kFixedXFs ? held[i] : 0;
      EXPECT_EQ(xfs.GetUseCount(i), expect) << "XF " << i;
    }
  }

  // Formats cells [first, last] the way a range does: one setter call per distinct old XF.
  void Format(std::size_t first, std::size_t last, const std::function<std::int32_t(std::int32_t)>& set) {
    std::map<std::int32_t, std::int32_t> done;
    for (std::size_t i = first; i <= last; ++i) {
      std::int32_t old = cells[i];
      auto it = done.find(old);
      if (it == done.end()) {
        std::int32_t result = set(old);
        it = done.emplace(old, result).first;
      } else {
        xfs.MoveUse(old == 0 ? 15 : old, it->second);
      }
      cells[i] = it->second;
    }
    ExpectUsesBalance();
  }

  TXLSXFList xfs;
  std::vector<std::int32_t> cells = std::vector<std::int32_t>(6, 0);
};

TEST_F(XFList, NewWorkbookWritesDefaultXFsFontsAndStylesByteForByte) {
  xfs.PackIndices();
  ASSERT_EQ(xfs.OutputOrder().size(), 21u);
  ASSERT_EQ(xfs.Fonts().OutputOrder().size(), 4u);
  for (std::int32_t i = 0; i < 21; ++i) EXPECT_EQ(xfs.GetKey(i).size(), 43u);
  std::vector<std::uint8_t> xf0 = {0xE0, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF5, 0xFF, 0x20, 0x00, 0x00, 0x00,
                                   0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20};
  EXPECT_EQ(BlobBytes(xfs.BuildXFRecord(0, kBiff8)), xf0);
  std::vector<std::uint8_t> xf1 = xf0;
  xf1[13] = 0xF4;
  for (int i = 1; i <= 14; ++i) EXPECT_EQ(BlobBytes(xfs.BuildXFRecord(i, kBiff8)), xf1) << i;
  std::vector<std::uint8_t> xf15 = xf0;
  xf15[8] = 0x01;
  xf15[9] = 0x00;
  EXPECT_EQ(BlobBytes(xfs.BuildXFRecord(15, kBiff8)), xf15);
  const std::uint8_t formats[] = {0x2C, 0x2A, 0x09, 0x2B, 0x29};
  for (int i = 16; i <= 20; ++i) {
    std::vector<std::uint8_t> expect = xf0;
    expect[4] = 0x01;
    expect[6] = formats[i - 16];
    expect[13] = 0xF8;
    EXPECT_EQ(BlobBytes(xfs.BuildXFRecord(i, kBiff8)), expect) << i;
  }
  std::vector<std::uint8_t> xf0biff5 = {0xE0, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF5, 0xFF,
                                        0x20, 0x00, 0xC0, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(BlobBytes(xfs.BuildXFRecord(0, kBiff5)), xf0biff5);
  EXPECT_EQ(xfs.BuildXFRecord(16, kBiff5)->GetWord(10), 0x20u | (0x3E << 10));
  EXPECT_EQ(xfs.BuildXFRecord(21, kBiff8), nullptr);

  const std::uint8_t ids[] = {3, 4, 6, 7, 5, 0};
  const std::uint8_t xfOf[] = {19, 16, 20, 17, 18, 0};
  ASSERT_EQ(xfs.Styles().Count(), 6);
  for (int i = 0; i < 6; ++i) {
    std::vector<std::uint8_t> expect = {0x93, 0x02, 0x04, 0x00, xfOf[i], 0x80, ids[i], 0xFF};
    EXPECT_EQ(BlobBytes(xfs.Styles().BuildStyleRecord(i, kBiff8)), expect) << i;
  }
}

TEST_F(XFList, UserStylesRecords) {
  std::int32_t s = xfs.Styles().AddUser(u"Mine", 16);
  xfs.PackIndices();
  std::vector<std::uint8_t> head = {0x93, 0x02, 0x0D, 0x00, 0x10, 0x00, 0x04, 0x00, 0x01};
  EXPECT_EQ(BlobBytes(xfs.Styles().BuildStyleRecord(s, kBiff8)), Concat(head, Utf16(u"Mine")));
  std::vector<std::uint8_t> biff5 = {0x93, 0x02, 0x07, 0x00, 0x10, 0x00, 0x04, 'M', 'i', 'n', 'e'};
  EXPECT_EQ(BlobBytes(xfs.Styles().BuildStyleRecord(s, kBiff5)), biff5);
  EXPECT_EQ(xfs.Styles().AddUser(u"Mine", 17), s);  // same name replaces
  std::int32_t longName = xfs.Styles().AddUser(std::u16string(300, u's'), 16);
  EXPECT_EQ(xfs.Styles().BuildStyleRecord(longName, kBiff8)->GetWord(6), 255);
  // BIFF5 writes the name in the workbook's code page.
  std::int32_t cyrillic = xfs.Styles().AddUser(u"Мой", 16);
  std::vector<std::uint8_t> cp1251 = {0x93, 0x02, 0x06, 0x00, 0x10, 0x00, 0x03, 0xCC, 0xEE, 0xE9};
  EXPECT_EQ(BlobBytes(xfs.Styles().BuildStyleRecord(cyrillic, kBiff5, 1251)), cp1251);
}

TEST_F(XFList, BoldInternsFontFourAndXF21) {
  Format(0, 2, [&](std::int32_t xf) { return xfs.SetFontBold(xf, true, true); });
  EXPECT_EQ(cells[0], 21);
  EXPECT_EQ(xfs.GetFontIndex(21), 4);
  EXPECT_TRUE(xfs.GetFontBold(21));
  EXPECT_FALSE(xfs.GetFontBold(0));
  std::u16string expectKey = xfs.GetKey(15);
  expectKey.replace(0, 4, u"0004");
  expectKey.replace(41, 2, u"02");
  EXPECT_EQ(xfs.GetKey(21), expectKey);
  EXPECT_EQ(xfs.GetUseCount(21), 3);
  xfs.PackIndices();
  ASSERT_EQ(xfs.OutputOrder().size(), 22u);
  auto rec = xfs.BuildXFRecord(21, kBiff8);
  EXPECT_EQ(rec->GetWord(4), 5);  // the fifth written font is BIFF font 5
  EXPECT_EQ(rec->GetWord(8), 0x0001);
  EXPECT_EQ(rec->GetByte(13), 0x08);
  EXPECT_EQ(xfs.Fonts().GetUseCount(4), 1);
  // bold again on a bold cell changes nothing
  Format(0, 0, [&](std::int32_t xf) { return xfs.SetFontBold(xf, true, true); });
  EXPECT_EQ(cells[0], 21);
}

TEST_F(XFList, CentringAndSharingMoveUses) {
  Format(0, 1, [&](std::int32_t xf) { return xfs.SetFontBold(xf, true, true); });
  Format(0, 3, [&](std::int32_t xf) { return xfs.SetHorizontalAlignment(xf, 2, true); });
  std::int32_t boldCentred = cells[0], centred = cells[2];
  EXPECT_EQ(cells[1], boldCentred);
  EXPECT_EQ(cells[3], centred);
  EXPECT_NE(boldCentred, centred);
  EXPECT_EQ(xfs.GetKey(boldCentred).substr(13, 6), u"220000");
  EXPECT_EQ(xfs.GetKey(boldCentred).substr(41, 2), u"06");
  EXPECT_EQ(xfs.GetKey(centred).substr(41, 2), u"04");
  EXPECT_EQ(xfs.GetUseCount(21), 0);  // plain bold lost both its cells
  xfs.PackIndices();
  EXPECT_EQ(xfs.GetOutputIndex(21), 0);  // not written; the later XFs shift down
  EXPECT_EQ(xfs.GetOutputIndex(boldCentred), 22);
  EXPECT_EQ(xfs.BuildXFRecord(21, kBiff8)->GetByte(10), 0x22);
  // reformat one of two sharing cells
  Format(1, 1, [&](std::int32_t xf) { return xfs.SetHorizontalAlignment(xf, 3, true); });
  EXPECT_EQ(xfs.GetUseCount(boldCentred), 1);
  // a setter without move adds a use and releases nothing
  std::int32_t extra = xfs.SetWrapText(cells[2], true, false);
  cells.push_back(extra);
  ExpectUsesBalance();
  // the fonts are recounted from the XFs that are written
  xfs.PackIndices();
  std::int32_t boldFontUses = 0;
  for (const TXLSKeyEntry* e : xfs.OutputOrder())
    if (e->key.substr(0, 4) == u"0004") ++boldFontUses;
  EXPECT_EQ(xfs.Fonts().GetUseCount(4), boldFontUses);
}

TEST_F(XFList, NumberFormatsThroughText) {
  Format(0, 0, [&](std::int32_t xf) { return xfs.SetFormatText(xf, u"yyyy-mm-dd", true); });
  EXPECT_EQ(xfs.GetNumFormat(cells[0]), 164);
  EXPECT_TRUE(xfs.IsDateFormat(cells[0]));
  EXPECT_EQ(xfs.GetFormatText(cells[0]), u"yyyy-mm-dd");
  Format(1, 1, [&](std::int32_t xf) { return xfs.SetFormatText(xf, u"0.00", true); });
  EXPECT_EQ(xfs.GetNumFormat(cells[1]), 2);
  EXPECT_FALSE(xfs.IsDateFormat(cells[1]));
  EXPECT_EQ(xfs.GetNumFormat(16), 0x2C);
}

// Every font setter through a cell's XF keeps what the earlier ones set.
TEST_F(XFList, FontAttributeSettersKeepEachOther) {
  std::int32_t xf = xfs.SetFontName(xfs.SetFontSize(0, 12, true), u"Tahoma", true);
  xf = xfs.SetFontUnderline(xfs.SetFontItalic(xfs.SetFontColor(xf, 10, true), true, true), 1, true);
  xf = xfs.SetFontStrikethrough(xfs.SetFontOutline(xfs.SetFontShadow(xf, true, true), true, true), true, true);
  xf = xfs.SetFontSubscript(xfs.SetFontSuperscript(xf, true, true), true, true);
  xf = xfs.SetFontFamily(xfs.SetFontCharset(xf, 161, true), 3, true);
  EXPECT_EQ(xfs.GetFontSize(xf), 12);
  EXPECT_EQ(xfs.GetFontName(xf), u"Tahoma");
  EXPECT_EQ(xfs.GetFontColor(xf), 10);
  EXPECT_TRUE(xfs.GetFontItalic(xf) && xfs.GetFontShadow(xf) && xfs.GetFontOutline(xf) && xfs.GetFontStrikethrough(xf));
  EXPECT_TRUE(xfs.GetFontSubscript(xf) && xfs.GetFontSuperscript(xf));
  EXPECT_EQ(xfs.GetFontUnderline(xf), 1);
  EXPECT_EQ(xfs.GetFontCharset(xf), 161);
  EXPECT_EQ(xfs.GetFontFamily(xf), 3);
}

TEST_F(XFList, PortableKeysCarryFormatsToAnotherWorkbook) {
  std::int32_t bold = xfs.SetFontBold(0, true, true);
  std::int32_t user = xfs.SetFormatText(xfs.SetFontItalic(0, true, true), u"0.0000", true);
  TXLSXFList other;
  other.SetDefaults();
  std::int32_t imported = other.ImportPortableKey(xfs.ExportPortableKey(bold));
  EXPECT_TRUE(other.GetFontBold(imported));
  EXPECT_EQ(other.GetNumFormat(imported), 0);
  EXPECT_EQ(other.GetKey(imported).substr(41, 2), u"3E");
  EXPECT_EQ(other.GetUseCount(imported), 1);
  std::int32_t importedUser = other.ImportPortableKey(xfs.ExportPortableKey(user));
  EXPECT_EQ(other.GetFormatText(importedUser), u"0.0000");
  EXPECT_TRUE(other.GetFontItalic(importedUser));
  EXPECT_EQ(other.ImportPortableKey(u"garbage"), TXLSXFList::kDefaultCellXF);
}

TEST_F(XFList, ClearPreparesForReading) {
  xfs.SetFontBold(0, true, true);
  xfs.Clear();
  EXPECT_EQ(xfs.Count(), 0);
  EXPECT_EQ(xfs.FixedCount(), 16);
  EXPECT_EQ(xfs.Styles().Count(), 0);
  EXPECT_EQ(xfs.Fonts().Count(), 0);
  EXPECT_EQ(xfs.NumFormats().AddOrFind(u"0.000"), 164);
}

}  // namespace
}  // namespace xls
