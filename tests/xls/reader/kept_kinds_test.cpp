// Records of the kinds a save used to fail on, drop or change without a word: BIFF8 functions
// that BIFF5 numbers do not know, chart sheets, the newer conditional formats, extended cell
// formats, the theme, sorting and shared features, style XFs of other writers and a sheet
// without a default row height. Books built record by record, read, saved in both formats.
#include <gtest/gtest.h>

#include <algorithm>

#include "kept_books.h"
#include "xls/model/range.h"
#include "xls/model/row_col_info.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

int Word(const Bytes& bytes, std::size_t at) { return bytes[at] | bytes[at + 1] << 8; }

// The token bytes of the FORMULA record of a cell (empty when there is none).
Bytes FormulaTokens(const Bytes& file, int row, int column) {
  for (const auto& [id, body] : RecordsOf(file, {0x0006}))
    if (body.size() > 22 && Word(body, 0) == row && Word(body, 2) == column) return Bytes(body.begin() + 22, body.end());
  return {};
}

bool Contains(const Bytes& bytes, const Bytes& part) {
  return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

std::ptrdiff_t LossesWith(const TXLSWorkbook& book, const std::u16string& text) {
  const auto& losses = book.GetReadLosses();
  return std::count_if(losses.begin(), losses.end(), [&](const auto& line) { return line.find(text) != line.npos; });
}

// GETPIVOTDATA, DATESTRING and PHONETIC (read from its fixed-count token) have no BIFF5 numbers:
// a BIFF5 save calls them through the add-in book (ptgNameX, then ptgFuncVar 255 counting the
// name), and reading that save gives the numbers back.
TEST(KeptKinds, Biff8FunctionsGoToBiff5ThroughTheAddInBook) {
  IXLSWorkbook book = Open(FunctionsBook());
  EXPECT_EQ(book->GetWorksheets().GetItem(1)->GetRange(u"D1")->GetFormula(), u"=PHONETIC(A1)");
  const Bytes biff5 = Saved(*book, 1), biff8 = Saved(*Open(biff5), 2);
  std::vector<std::string> addIns;
  for (const auto& [id, body] : RecordsOf(biff5, {0x0023}))
    if (body.size() > 7) addIns.emplace_back(body.begin() + 7, body.begin() + 7 + body[6]);
  const struct {
    const char* name;
    std::uint8_t count;  // of the call through the add-in book
    Bytes biff8;
  } calls[] = {{"GETPIVOTDATA", 3, {0x42, 2, 0x66, 0x01}}, {"DATESTRING", 2, {0x41, 0x60, 0x01}},
               {"PHONETIC", 2, {0x41, 0x68, 0x01}}};
  for (int column = 1; column <= 3; ++column) {
    const auto& [name, count, tokens8] = calls[column - 1];
    EXPECT_NE(std::find(addIns.begin(), addIns.end(), name), addIns.end()) << name;
    const Bytes tokens = FormulaTokens(biff5, 0, column);
    ASSERT_GE(tokens.size(), 4u);
    EXPECT_TRUE(Contains(tokens, {0x39})) << name;
    EXPECT_EQ(Bytes(tokens.end() - 3, tokens.end()), (Bytes{count, 0xFF, 0})) << name;
    EXPECT_TRUE(Contains(FormulaTokens(biff8, 0, column), tokens8)) << name;
  }
}

// A BIFF8 chart sheet goes to a BIFF5 save in BIFF5's layouts, without what BIFF5 has no place
// for (listed). The Mac program's book of one chart starts it with a BOF of type 0x8000: a chart
// sheet all the same, written back as one.
TEST(KeptKinds, ChartSheetsGoToBothFormats) {
  const Records inside = {{0x100D, {0, 0, 4, 1, 'U', 0, 'n', 0, 'i', 0, 't', 0}},  // SERIESTEXT in UTF-16
                          {0x0850, Bytes(14, 0)},                                    // CHARTFRTINFO
                          {0x00EC, Bytes(8, 0)}, {0x003C, Bytes(4, 0)},              // a drawing, continued
                          {0x0014, {3, 0, 0, '&', 'C', 'x'}}};                        // HEADER "&Cx"
  IXLSWorkbook biff8 = Open(ChartSheetBook(0x0600, 0x0020, inside));
  EXPECT_EQ(RecordsOf(Saved(*biff8, 2), {0x1001, 0x1002, 0x1033, 0x1034, 0x100D, 0x0850, 0x00EC, 0x003C, 0x0014}).size(), 9u);
  const Bytes saved5 = Saved(*biff8, 1);
  const Records bound = RecordsOf(saved5, {0x0085});
  ASSERT_EQ(bound.size(), 1u);
  EXPECT_EQ(bound[0].second[5], 2);  // a chart sheet
  const Records chart = RecordsOf(saved5, {0x0809, 0x1001, 0x1002, 0x1033, 0x100D, 0x0850, 0x00EC, 0x003C, 0x0014, 0x1034});
  const Records expected = {{0x0809, {0, 5, 0x20, 0, 0xBB, 0x0D, 0xCC, 0x07}}, {0x1001, {0, 0}}, {0x1002, Bytes(16, 0)},
                            {0x1033, {}}, {0x100D, {0, 0, 4, 'U', 'n', 'i', 't'}}, {0x0014, {3, '&', 'C', 'x'}},
                            {0x1034, {}}};
  ASSERT_GE(chart.size(), 1u);
  EXPECT_EQ(Records(chart.begin() + 1, chart.end()), expected);  // after the globals' BOF
  EXPECT_EQ(biff8->GetReadLosses(),
            std::vector<std::u16string>{u"Sheet \"Chart1\": the shapes drawn on the chart and its fill effects, kept "
                                        u"as read in a BIFF8 save, are left out of a BIFF5 save"});
  IXLSWorkbook mac = Open(ChartSheetBook(0x0500, 0x8000));
  ASSERT_EQ(mac->GetWorksheets().GetCount(), 1);
  const Bytes saved = Saved(*mac, 1);
  EXPECT_EQ(RecordsOf(saved, {0x1001, 0x1002, 0x1033, 0x1034}).size(), 4u);
  const Records bofs = RecordsOf(saved, {0x0809});
  ASSERT_EQ(bofs.size(), 2u);
  EXPECT_EQ(Word(bofs[1].second, 2), 0x0020);
}

// The records are written back as read in a BIFF8 save, each in its place; the XFEXT still names
// its XF; the CONDFMT keeps the number its CFEX names; a FEATHEADR of another feature is no
// sheet protection. A BIFF5 save holds none of them, as the read losses say.
TEST(KeptKinds, NewerRecordsGoBackAsRead) {
  IXLSWorkbook book = Open(NewerRecordsBook(true));
  IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
  EXPECT_FALSE(sheet.Protection().GetProtected());
  auto kept = [](const Bytes& file) { return RecordsOf(file, {0x0879, 0x087A, 0x087F, 0x087B, 0x0090, 0x0867, 0x0868}); };
  const Bytes saved = Saved(*book, 2);
  // SORT goes after the selection, before the conditional formats; the protected range only
  // with the sheet's protection, whose SHEETPROTECTION comes before the features.
  Records expected = NewerSheetRecords();
  std::stable_partition(expected.begin(), expected.end(), [](const auto& r) { return r.first == 0x0090; });
  EXPECT_EQ(kept(saved), Records(expected.begin(), expected.end() - 1));
  sheet.Protection().SetProtected(true);
  const Records protectedSheet = kept(Saved(*book, 2));
  sheet.Protection().SetProtected(false);
  ASSERT_EQ(protectedSheet.size(), expected.size() + 1);
  EXPECT_EQ(protectedSheet.back(), expected.back());
  EXPECT_EQ(protectedSheet[protectedSheet.size() - 4].second[12], 2);
  const Records all = RecordsOf(saved);
  auto at = [&all](std::uint16_t id) {
    return std::find_if(all.begin(), all.end(), [id](const auto& r) { return r.first == id; }) - all.begin();
  };
  EXPECT_LT(at(0x01B1), at(0x0879));
  EXPECT_LT(at(0x023E), at(0x0090));
  EXPECT_LT(at(0x0879), at(0x0868));
  const Records condFmt = RecordsOf(saved, {0x01B0});
  ASSERT_EQ(condFmt.size(), 1u);
  EXPECT_EQ(condFmt[0].second[2], 3);  // recalculation flag and number 1
  // Globals: XFCRC, XFEXT and DXF right after the XFs, the theme and its CONTINUEFRT after the
  // sheets' BOUNDSHEETs.
  std::vector<std::uint16_t> order;
  for (const auto& [id, body] : RecordsOf(saved, {0x087C, 0x087D, 0x088D, 0x0085, 0x0896, 0x0812}))
    if (order.empty() || order.back() != id) order.push_back(id);
  EXPECT_EQ(order, (std::vector<std::uint16_t>{0x087C, 0x087D, 0x088D, 0x0085, 0x0896, 0x0812}));
  const Records cells = RecordsOf(saved, {0x027E, 0x0203, 0x00BD}), ext = RecordsOf(saved, {0x087D});
  ASSERT_FALSE(cells.empty());
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(Word(ext[0].second, 14), Word(cells[0].second, 4));  // A1's XF
  EXPECT_TRUE(RecordsOf(Saved(*book, 1), {0x0879, 0x087A, 0x087B, 0x0090, 0x0868, 0x087D, 0x0896, 0x088D}).empty());
  EXPECT_EQ(LossesWith(*book, u"left out of a BIFF5 save"), 6);
  EXPECT_EQ(LossesWith(*book, u"Sheet \"S\": 4 conditional format records of the newer kinds"), 1);
  EXPECT_EQ(LossesWith(*book, u"Workbook: the theme (THEME), kept as read in a BIFF8 save, is left out"), 1);
  // BIFF5 has a SORT of its own, which is not kept.
  IXLSWorkbook biff5 = Open(Workbook(0x0500, {{"S", {{0x0090, {0, 0, 0, 0, 0}}}}}));
  EXPECT_EQ(biff5->GetReadLosses(), std::vector<std::u16string>{u"Sheet \"S\": the sort order (SORT) was left out"});
  // Once rows move, the sheet's records no longer say where they apply: they go; the globals'
  // stay. So do they once cells are cleared with their formats and rules.
  sheet.GetRange(u"A1")->GetEntireRow()->Insert();
  const Bytes moved = Saved(*book, 2);
  EXPECT_TRUE(RecordsOf(moved, {0x0879, 0x087A, 0x087F, 0x087B, 0x0090, 0x0868}).empty());
  EXPECT_EQ(RecordsOf(moved, {0x087D, 0x0896, 0x088D}).size(), 3u);
  IXLSWorkbook cleared = Open(NewerRecordsBook(false));
  EXPECT_EQ(RecordsOf(Saved(*cleared, 2), {0x0879}).size(), 1u);
  cleared->GetWorksheets().GetItem(1)->GetRange(u"C9")->Clear();
  EXPECT_TRUE(RecordsOf(Saved(*cleared, 2), {0x0879, 0x0868}).empty());
}

// Other writers' style XFs keep the style flag with parent 0: they stay style XFs, and the
// Normal style names one. A sheet that names no default row height has that of the default
// font (11 pt Calibri: 15 points), as the format's program shows it; so has the row of A1,
// whose height was never set.
TEST(KeptKinds, StyleXFsAndTheDefaultRowHeight) {
  for (bool otherStyles : {false, true}) {
    IXLSWorkbook book = Open(CalibriBook(otherStyles));
    EXPECT_EQ(book->GetWorksheets().GetItem(1)->RowInfo().GetDefaultRowHeight(), 15.0);
    const Bytes saved = Saved(*book, 2);
    const Records xfs = RecordsOf(saved, {0x00E0}), heights = RecordsOf(saved, {0x0225}), rows = RecordsOf(saved, {0x0208});
    ASSERT_GE(xfs.size(), 16u);
    for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(Word(xfs[i].second, 4), 0xFFF5) << otherStyles << " XF " << i;
    ASSERT_EQ(heights.size(), 1u);
    EXPECT_EQ(heights[0].second, (Bytes{0, 0, 0x2C, 0x01}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(Word(rows[0].second, 6), 300);
  }
  EXPECT_EQ(DefaultRowTwipsOfFont(u"Arial", 10), 255);
  EXPECT_EQ(DefaultRowTwipsOfFont(u"Calibri", 11), 300);
  EXPECT_EQ(DefaultRowTwipsOfFont(u"Some Font", 10), 255);
  // A book of 10 pt Arial without DEFAULTROWHEIGHT keeps 255 twips.
  EXPECT_EQ(RecordsOf(Saved(*Open(FunctionsBook()), 2), {0x0225})[0].second, (Bytes{0, 0, 0xFF, 0}));
}

}  // namespace
}  // namespace xls::test
