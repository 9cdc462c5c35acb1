// Our conditional formats, validations and autofilter as LibreOffice (converted to .fods) and
// gnumeric (to .gnumeric) read them; LibreOffice's own rule records read by us and saved again.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "../io/io_test_support.h"
#include "rules_test_support.h"
#include "xls/formula/calc/calculator.h"
#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

using test::Group;
using test::Hex;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string Shell(const std::string& command) {
  std::string output;
  EXPECT_EQ(test::RunCommand(command, output), 0) << command << "\n" << output;
  return output;
}

std::string Peer(const std::string& kind, const std::string& file) {
  return Shell(std::string("/usr/bin/python3 ") + KV_SOURCE_DIR + "/tests/xls/rules/rules_peer.py " + kind + " " + file);
}

// Header row A1:D1 and five rows; conditional formats on B2:B6 (between 1 and 10, above 100)
// and C4:C6 (a formula); a whole-number validation with messages on E2:E6, a list of words on
// F2:F6 and a list from A2:A6 on G2:G6; an autofilter over A1:D6 with "x" in column D, the
// top 10 percent in column B and TRUE in column C.
void BuildRules(TXLSWorkbook& book) {
  IXLSWorksheet& sheet = *book.GetWorksheets().Add();
  const char16_t* head[] = {u"Name", u"Value", u"Flag", u"Kind"};
  for (int c = 0; c < 4; ++c) sheet.GetRangeRC(1, c + 1, 1, c + 1)->SetValue(Variant(head[c]));
  const char16_t* names[] = {u"alpha", u"beta", u"gamma", u"delta", u"eps"};
  const double values[] = {5, 50, 500, 7, 1};
  for (int r = 0; r < 5; ++r) {
    sheet.GetRangeRC(r + 2, 1, r + 2, 1)->SetValue(Variant(names[r]));
    sheet.GetRangeRC(r + 2, 2, r + 2, 2)->SetValue(Variant(values[r]));
    sheet.GetRangeRC(r + 2, 3, r + 2, 3)->SetValue(Variant(r % 2 == 0));
    sheet.GetRangeRC(r + 2, 4, r + 2, 4)->SetValue(Variant(r % 2 == 0 ? u"x" : u"y"));
  }
  TXLSCalculator& calc = book.Formulas().Calculator();
  TXLSSheetRules& rules = SheetRules(sheet);
  TCondFormatter& cf = rules.CondFormats();
  const std::uint32_t fill = 0x2038FFFF;  // a solid fill
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(2, {{1, 5, 1, 1}}))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(calc, 1, 1, u"1", u"10", fill))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(calc, 1, 5, u"100", u"", fill))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {{3, 5, 2, 2}}))), 1);
  // $A4>5 as a file holds it: the row an offset from the range's first cell (ptgRefN).
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(Hex("02 00 09 00 00 00 ff ff 38 20 00 00 00 04 0a 00 4c 00 00 00 80 1e 05 00 0d"))), 1);
  TDataValidator& dv = rules.Validations();
  // Whole number between, stop style, blank allowed, prompt and error shown.
  ASSERT_EQ(dv.ReadRecord(kRecDV, *Group(test::DVBody(calc, 0x000C0101,
                                                      {u"Enter", u"Wrong", u"A number from 1 to 100", u"Out of range"},
                                                      u"1", u"100", {{1, 5, 4, 4}}, 1))),
            1);
  // Lists: explicit words (shown in a drop-down), and a range.
  ASSERT_EQ(dv.ReadRecord(kRecDV, *Group(test::DVBody(calc, 0x00080183, {u"", u"", u"", u""},
                                                      std::u16string(u"\"red\0green\0blue\"", 16), u"", {{1, 5, 5, 5}}, 0))),
            1);
  ASSERT_EQ(dv.ReadRecord(kRecDV, *Group(test::DVBody(calc, 0x00080103, {u"", u"", u"", u""}, u"$A$2:$A$6", u"",
                                                      {{1, 5, 6, 6}}, 0))),
            1);
  sheet.GetRange(u"A1", u"D6")->AutoFilter();
  TXLSAutofilter& filter = rules.Autofilter();
  ASSERT_EQ(filter.ReadItem(*Group(Hex("03 00 04 00 06 02 00 00 00 00 01 00 00 00 " + std::string(20, '0') + " 01 78 00"))
                                 ->GetChunk(0),
                            0x0600),
            1);
  ASSERT_EQ(filter.ReadItem(*Group(Hex("01 00 70 05" + std::string(60, '0')))->GetChunk(0), 0x0600), 1);
  ASSERT_EQ(filter.ReadItem(*Group(Hex("02 00 04 00 08 02 01 00 00 00 00 00 00 00" + std::string(30, '0')))->GetChunk(0),
                            0x0600),
            1);
}

TEST(RulesInterop, LibreOfficeAndGnumericReadOurRules) {
  test::TempDir dir;
  const std::string xls = dir.File("ours.xls");
  {
    IXLSWorkbook book = TXLSWorkbook::Create();
    BuildRules(*book);
    ASSERT_EQ(book->SaveAs(Wide(xls)), 1);
  }
  Shell("HOME=" + dir.File("home") + " soffice --headless --convert-to fods --outdir " + dir.Path() + " " + xls +
      " 2>&1");
  // LibreOffice takes no Boolean criterion from a BIFF file (column C is missing).
  EXPECT_EQ(Peer("lo", dir.File("ours.fods")),
            "cf Sheet1.B2:Sheet1.B6 >100\n"
            "cf Sheet1.B2:Sheet1.B6 between(1,10)\n"
            "cf Sheet1.C4:Sheet1.C6 formula-is([.$A4]>5)\n"
            "dv E2:E6(5) of:cell-content-is-whole-number() and cell-content-is-between(1,100) list=- "
            "help=Enter:A number from 1 to 100 error=stop:Wrong:Out of range\n"
            "dv F2:F6(5) of:cell-content-is-in-list(\"red\";\"green\";\"blue\") list=unsorted help=: error=stop::\n"
            "dv G2:G6(5) of:cell-content-is-in-list([.$A$2:.$A$6]) list=unsorted help=: error=stop::\n"
            "filter Sheet1.A1:Sheet1.D6 buttons=true 1:top percent:10:text 3:=:x:text\n");
  Shell("ssconvert " + xls + " " + dir.File("ours.gnumeric") + " 2>&1");
  const std::string gnumeric = Peer("gnumeric", dir.File("ours.gnumeric"));
  EXPECT_EQ(gnumeric.substr(0, gnumeric.find("filter")),
            "cf B2:B6 op=0 1 ; 10\n"
            "cf B2:B6 op=4 100\n"
            "cf C4:C6 op=8 $A1>5\n"
            "dv E2:E6 GNM_VALIDATION_TYPE_AS_INT GNM_VALIDATION_STYLE_STOP op=GNM_VALIDATION_OP_BETWEEN title=Wrong "
            "message=Out of range 1 ; 100\n"
            "dv F2:F6 GNM_VALIDATION_TYPE_IN_LIST GNM_VALIDATION_STYLE_STOP op=- title= message= \"red\"\n"
            "dv G2:G6 GNM_VALIDATION_TYPE_IN_LIST GNM_VALIDATION_STYLE_STOP op=- title= message= $A$2:$A$6\n");
  // The filter: "x" in D and the top 10 percent (items=0) of B. (gnumeric reads a Boolean
  // criterion's two bytes the other way round from their published order, so C is left out.)
  EXPECT_NE(gnumeric.find("filter A1:D6 Index=3 Op0=eq Type=expr Value0=60 ValueType0=x |"), std::string::npos) << gnumeric;
  EXPECT_NE(gnumeric.find("Index=1 Type=bucket count=10 items=0"), std::string::npos) << gnumeric;
}

// The rule records of a file LibreOffice wrote, read by us and saved again: the same records in
// the same order, saying the same (DescribeRuleRecord).
TEST(RulesInterop, LibreOfficeRecordsComeBackTheSame) {
  test::TempDir dir;
  Shell("/usr/bin/python3 " + std::string(KV_SOURCE_DIR) + "/tests/xls/rules/make_rules_fods.py " + dir.File("lo.fods"));
  Shell("HOME=" + dir.File("home") + " soffice --headless --convert-to 'xls:MS Excel 97' --outdir " + dir.Path() + " " +
      dir.File("lo.fods") + " 2>&1");
  const std::string theirs = dir.File("lo.xls"), ours = dir.File("ours.xls");
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(Wide(theirs)), 1);
  ASSERT_EQ(book->SaveAs(Wide(ours)), 1);
  IXLSWorkbook reread = TXLSWorkbook::Create();
  ASSERT_EQ(reread->Open(Wide(ours)), 1);
  // The records as units (a CONDFMT with its CF records, any other record alone), sorted: we
  // write conditional formats before validations and AUTOFILTER records in column order,
  // LibreOffice the other way round.
  auto describe = [](const std::string& path, TXLSWorkbook& owner) {
    std::vector<std::string> units;
    for (const auto& r : test::ParseRecords(test::ReadStream(test::ReadFileBytes(path), u"Workbook"))) {
      switch (r.id) {
        case 0x009B: case 0x009D: case 0x009E: case 0x01B0: case 0x01B1: case 0x01B2: case 0x01BE: {
          const std::string text = test::DescribeRuleRecord(owner.Formulas().Calculator(), r.id, r.data) + "\n";
          if (r.id == 0x01B1 && !units.empty())
            units.back() += text;
          else
            units.push_back(text);
          break;
        }
        default:
          break;
      }
    }
    std::sort(units.begin(), units.end());
    std::string out;
    for (const std::string& u : units) out += u;
    return out;
  };
  const std::string expected = describe(theirs, *book);
  EXPECT_NE(expected.find("01B0"), std::string::npos);
  EXPECT_NE(expected.find("01BE"), std::string::npos);
  EXPECT_NE(expected.find("009E"), std::string::npos);
  EXPECT_EQ(describe(ours, *reread), expected);
}

}  // namespace
}  // namespace xls
