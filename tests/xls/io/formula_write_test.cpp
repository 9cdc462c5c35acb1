// FORMULA records as the sheet writer frames them: the cached result of each kind, the
// calculate-on-load option when there is none, and the STRING record after a text result (long
// ones: tests/xls/reader/long_result_interop_test.cpp); text that no file holds as a formula
// stays text, and a formula without tokens is written as its text or fails the save with the
// cell's name.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "io_test_support.h"
#include "xls/formula/calc/calculator.h"
#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

using test::BiffRecord;

TEST(FormulaWrite, CachedResultsOfEveryKind) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  const char16_t* formulas[] = {u"=1.5*2", u"=\"x\"&\"y\"", u"=MID(\"a\";5;1)", u"=1/0", u"=1<2", u"=OFFSET(A1;1;1)"};
  for (int i = 0; i < 6; ++i) ASSERT_EQ(sheet->GetRangeRC(i + 1, 1, i + 1, 1)->SetValue(Variant(formulas[i])), 1);
  for (int format : {kSaveBiff8, kSaveBiff5}) {
    SCOPED_TRACE(format);
    const auto records = test::ParseRecords(test::SaveStream(*book, format));
    std::vector<const BiffRecord*> cells;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records[i].id == 0x0006) cells.push_back(&records[i]);
    }
    ASSERT_EQ(cells.size(), 6u);
    auto result = [](const BiffRecord* r) { return std::vector<std::uint8_t>(r->data.begin() + 6, r->data.begin() + 14); };
    // (xlrd reads the cached numbers, texts, errors and booleans of both formats back in
    // calc_interop_test.cpp.) The STRING record follows the text result's FORMULA at once; an
    // empty text has none in BIFF8, which has a result of its own for it; BIFF5 writes an empty
    // STRING.
    EXPECT_EQ(cells[0]->Word(14), 0u);
    ASSERT_EQ((cells[1] + 1)->id, 0x0207);
    if (format == kSaveBiff8) {
      EXPECT_EQ(result(cells[2]), (std::vector<std::uint8_t>{3, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
      EXPECT_NE((cells[2] + 1)->id, 0x0207);
    } else {
      EXPECT_EQ(result(cells[2]), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
      ASSERT_EQ((cells[2] + 1)->id, 0x0207);
      EXPECT_EQ((cells[2] + 1)->data, (std::vector<std::uint8_t>{0, 0}));
    }
    // Not computed here: no result, calculated on loading.
    EXPECT_EQ(cells[5]->Double(6), 0.0);
    EXPECT_EQ(cells[5]->Word(14), 2u);
    EXPECT_TRUE(test::CheckOffsets(test::SaveStream(*book, format)).empty());
  }
}

// A chain of SUMs each reading the cell below, saved: the writer calculates every cell from
// the top, and each calculation runs down the whole chain below it.
TEST(FormulaWrite, ChainsOfFunctionsSave) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  for (int r = 1; r < 3000; ++r) {
    ASSERT_EQ(sheet->GetRangeRC(r, 1, r, 1)->SetValue(Variant(u"=SUM(A" + Utf8ToWide(std::to_string(r + 1)) + u";1)")), 1);
  }
  ASSERT_EQ(sheet->GetRangeRC(3000, 1, 3000, 1)->SetValue(Variant(1.0)), 1);
  const auto records = test::ParseRecords(test::SaveStream(*book, kSaveBiff8));
  const BiffRecord* first = nullptr;
  for (const BiffRecord& r : records) {
    if (r.id == 0x0006 && !first) first = &r;
  }
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Double(6), 3000.0);  // A1's cached result
}

// ptgNum 1, then PI called with that one argument (ptgFuncVar, count 1, function 19): tokens a
// file may hold, which decode but which no token writer writes back.
std::unique_ptr<TXLSCompiledFormula> PiOf(TXLSWorkbook& book, const std::u16string& argument = {}) {
  std::vector<std::uint8_t> tokens;
  if (argument.empty()) {
    tokens = {0x1F, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
  } else {
    tokens = {0x17, static_cast<std::uint8_t>(argument.size()), 0};
    for (char16_t c : argument) tokens.push_back(static_cast<std::uint8_t>(c));
  }
  for (std::uint8_t b : {0x42, 1, 19, 0}) tokens.push_back(b);
  return book.Formulas().Calculator().CompileBytes(tokens.data(), tokens.size(), 0, 0x0600, tokens.size());
}

// Text that parses but has no tokens (a function given the wrong number of arguments, a string
// constant past 255 characters) stays a text cell, "=" included. (Outside readers read such
// cells of our files in kept_cells_interop_test.cpp.)
TEST(FormulaWrite, TextWithoutTokensStaysText) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  const std::u16string texts[] = {u"=PI(1)", u"=ROUND(1)", u"=LEN(\"" + std::u16string(256, u'x') + u"\")", u"=PI()"};
  for (int i = 0; i < 4; ++i) ASSERT_EQ(sheet->GetRangeRC(i + 1, 1, i + 1, 1)->SetValue(Variant(texts[i])), 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sheet->GetCellFormula(i, 0), nullptr) << i;
    EXPECT_EQ(sheet->GetRangeRC(i + 1, 1, i + 1, 1)->GetValue().TextValue(), texts[i]);
  }
  EXPECT_NE(sheet->GetCellFormula(3, 0), nullptr);
}

// A formula read from a file whose tokens cannot be written again: its text in a LABEL record,
// in both formats; so are the cells of an array formula whose ARRAY record cannot be built.
// Once its array formula is gone, a member cell keeps its format as a blank.
TEST(FormulaWrite, FormulaWithoutTokensIsWrittenAsItsText) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  ASSERT_EQ(sheet->SetCellFormula(1, 1, PiOf(*book)), 1);
  std::unique_ptr<TXLSCompiledFormula> anchor = PiOf(*book);
  TXLSCompiledFormula* a = anchor.get();
  a->SetArrayFormula(TXLSArrayFormula::Create(0, 2, 1, 2, a));
  ASSERT_EQ(sheet->SetCellFormula(0, 2, std::move(anchor)), 1);
  ASSERT_EQ(sheet->SetCellFormula(1, 2, TXLSCompiledFormula::CreateArrayMember(TXLSArrayFormula::CreateMember(0, 2, a))), 1);
  sheet->GetRange(u"C2")->GetFont()->SetBold(true);
  auto labels = [&](int format) {
    std::string out;
    for (const BiffRecord& r : test::ParseRecords(test::SaveStream(*book, format))) {
      if (r.id == 0x0006 || r.id == 0x0221) out += "formula ";
      if (r.id == 0x0201) out += "blank" + std::to_string(r.Word(0)) + std::to_string(r.Word(2)) + " ";
      if (r.id != 0x0204) continue;
      std::u16string text;
      const bool wide = format == kSaveBiff8;
      for (std::size_t i = 0; i < r.Word(6); ++i)
        text += wide ? static_cast<char16_t>(r.Word(9 + 2 * i)) : static_cast<char16_t>(r.data[8 + i]);
      out += std::to_string(r.Word(0)) + std::to_string(r.Word(2)) + " " + WideToUtf8(text) + " ";
    }
    return out;
  };
  EXPECT_EQ(labels(kSaveBiff8), "02 {=PI(1)} 11 =PI(1) 12 {=PI(1)} ");
  EXPECT_EQ(labels(kSaveBiff5), "02 {=PI(1)} 11 =PI(1) 12 {=PI(1)} ");
  ASSERT_EQ(sheet->GetRange(u"C1")->SetValue(Variant(2.0)), 1);
  EXPECT_EQ(labels(kSaveBiff8), "11 =PI(1) blank12 ");
}

// When the text does not fit a LABEL either, the save fails, names the cell and keeps the file.
TEST(FormulaWrite, FormulaWithoutTokensOrRoomForItsTextFailsTheSave) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->GetRange(u"A1")->SetValue(Variant(1.0));
  ASSERT_EQ(sheet->SetCellFormula(2, 1, PiOf(*book, std::u16string(250, u'x'))), 1);
  test::TempDir dir;
  const std::string target = dir.File("book.xls");
  { std::ofstream(target) << "the previous file"; }
  std::string error;
  EXPECT_EQ(SaveWorkbookAs(*book, Utf8ToWide(target), kSaveBiff8, &error), -1);
  EXPECT_NE(error.find("cell B3 of sheet \"Sheet1\""), std::string::npos) << error;
  EXPECT_EQ(book->SaveAs(Utf8ToWide(target)), -1);
  EXPECT_EQ(book->GetLastSaveError(), error);  // the workbook says why as well
  std::stringstream kept;
  kept << std::ifstream(target).rdbuf();
  EXPECT_EQ(kept.str(), "the previous file");
}

// What BIFF5 cannot hold in tokens keeps the formula's text: a string constant (or a string of
// an array constant) of more than 255 bytes in a double-byte code page, a reference past row
// 16,384. (A name keeps its #REF!.)
TEST(FormulaWrite, Biff5KeepsAsTextWhatItsTokensCannotHold) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  ASSERT_EQ(book->SetCodePage(932), 1);
  const std::u16string texts[] = {u"=LEN(\"" + std::u16string(200, u'\u65e5') + u"\")", u"=A20000+1", u"=SUM(B1:C20000)",
                                  u"={\"" + std::u16string(128, u'\u65e5') + u"\"}",
                                  u"=LEN(\"" + std::u16string(127, u'\u65e5') + u"\")", u"=A16384+1"};
  for (int i = 0; i < 6; ++i) ASSERT_EQ(sheet->GetRangeRC(i + 1, 1, i + 1, 1)->SetValue(Variant(texts[i])), 1);
  ASSERT_NE(book->GetNames()->Add(u"Far", u"=Sheet1!$A$20000"), nullptr);
  std::vector<std::u16string> labels;
  int formulas = 0, names = 0;
  for (const BiffRecord& r : test::ParseRecords(test::SaveStream(*book, kSaveBiff5))) {
    formulas += r.id == 0x0006;
    names += r.id == 0x0018;
    if (r.id == 0x0204) labels.push_back(AnsiToWideCP(std::string(r.data.begin() + 8, r.data.end()), 932));
  }
  EXPECT_EQ(labels, (std::vector<std::u16string>{texts[0], texts[1], texts[2], texts[3]}));
  EXPECT_EQ(formulas, 2);
  EXPECT_EQ(names, 1);
}

}  // namespace
}  // namespace xls
