// Array constants as values: the byte form after the tokens in BIFF8 and BIFF5, sizes, reading
// bounded by the bytes that follow the tokens, and agreement with the compiler's own tables.
#include <gtest/gtest.h>

#include "fake_book.h"
#include "xls/formula/formula_arrays.h"

namespace xls {
namespace {

std::vector<std::uint8_t> Bytes(const TXLSBlob& b) { return {b.GetData(), b.GetData() + b.GetSize()}; }

std::unique_ptr<TXLSFormulatArrays> Sample() {
  auto arrays = std::make_unique<TXLSFormulatArrays>();
  auto column = std::make_unique<TXLSFormulatArray>();
  column->SetSize(3, 1);
  for (int r = 1; r <= 3; ++r) column->SetItem(r, 1, Variant(r * 1.5));
  arrays->Add(std::move(column));
  auto mixed = std::make_unique<TXLSFormulatArray>();
  mixed->SetSize(1, 4);
  mixed->SetItem(1, 1, Variant(u"abc"));
  mixed->SetItem(1, 2, Variant(true));
  mixed->Item(1, 3)->value = Variant(7), mixed->Item(1, 3)->type = 0x10;  // #DIV/0!
  mixed->SetItem(1, 4, Variant());
  arrays->Add(std::move(mixed));
  return arrays;
}

TEST(FormulaArrays, ByteFormAndSizes) {
  auto arrays = Sample();
  for (int format : {kFormatBiff8, kFormatBiff5}) {
    TXLSBlob out(256);
    ASSERT_EQ(arrays->Write(out, format), 1);
    EXPECT_EQ(out.GetSize(), arrays->TotalSize(format));
    const auto b = Bytes(out);
    if (format == kFormatBiff8) {
      EXPECT_EQ(b[0], 0x00);  // columns - 1
      EXPECT_EQ(b[1] | b[2] << 8, 2);
      EXPECT_EQ(out.GetSize(), 3 + 27 + 3 + 10 + 9 + 9 + 9u);  // a 3-character string takes 10 bytes
    } else {
      EXPECT_EQ(b[0], 0x01);
      EXPECT_EQ(b[1] | b[2] << 8, 3);
      EXPECT_EQ(out.GetSize(), 3 + 27 + 3 + 5 + 9 + 9 + 9u);  // and 5 in BIFF5
    }
    TXLSFormulatArrays back;
    ASSERT_EQ(back.Read(b.data(), b.size(), 0, format == kFormatBiff8 ? 0x600 : 0x500, 2), 1);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Item(1)->Rows(), 3);
    EXPECT_EQ(back.Item(1)->Item(3, 1)->value, Variant(4.5));
    EXPECT_EQ(back.Item(2)->Item(1, 1)->value, Variant(u"abc"));
    EXPECT_EQ(back.Item(2)->Item(1, 2)->value, Variant(true));
    EXPECT_EQ(back.Item(2)->Item(1, 3)->value, Variant(7));
    EXPECT_EQ(back.Item(2)->Item(1, 3)->type, 0x10);
    EXPECT_TRUE(back.Item(2)->Item(1, 4)->value.IsEmpty());
    // Cut anywhere, the read fails without reading past the bytes; one table more than there is too.
    for (std::size_t n = 0; n < b.size(); ++n) {
      TXLSFormulatArrays cut;
      EXPECT_EQ(cut.Read(b.data(), n, 0, format == kFormatBiff8 ? 0x600 : 0x500, 2), -1) << n;
    }
    TXLSFormulatArrays extra;
    EXPECT_EQ(extra.Read(b.data(), b.size(), 0, 0x600, 3), -1);
  }
}

TEST(FormulaArrays, OddInputs) {
  // BIFF5 column count 0 means 256; an 8-bit BIFF8 string; an unknown type takes no data.
  std::vector<std::uint8_t> wide = {0x00, 0x01, 0x00};
  for (int i = 0; i < 256; ++i) wide.insert(wide.end(), {0x04, 0x01, 0, 0, 0, 0, 0, 0, 0});
  TXLSFormulatArrays a;
  ASSERT_EQ(a.Read(wide.data(), wide.size(), 0, 0x500, 1), 1);
  EXPECT_EQ(a.Item(1)->Columns(), 256);
  const std::vector<std::uint8_t> narrow = {0x01, 0x00, 0x00, 0x02, 0x02, 0x00, 0x00, 0xE9, 'x', 0x33};
  TXLSFormulatArrays b;
  ASSERT_EQ(b.Read(narrow.data(), narrow.size(), 0, 0x600, 1), 1);
  EXPECT_EQ(b.Item(1)->Item(1, 1)->value, Variant(u"\u00e9x"));
  EXPECT_EQ(b.Item(1)->Item(1, 2)->type, 0x33);
  TXLSFormulatArrays none;
  EXPECT_EQ(none.Read(narrow.data(), narrow.size(), narrow.size(), 0x600, 0), 1);  // no tArray, no bytes
  EXPECT_EQ(none.Count(), 0);
  EXPECT_EQ(none.TotalSize(kFormatBiff8), 0u);
}

TEST(FormulaArrays, AgreeWithTheCompilersTables) {
  test::Compiler c;
  auto tree = c.formula.CompileText(u"SUM({1;2|3;4})+COUNT({\"a\";TRUE;#N/A})", 0);
  ASSERT_TRUE(tree);
  c.externs.Renumber();
  c.formula.SetFileFormat(kFormatBiff8);
  std::unique_ptr<TXLSBlob> blob;
  ASSERT_EQ(c.formula.Compile(*tree, kRootValue, 1, 0, 0, blob), 1);
  const auto bytes = Bytes(*blob);
  const std::size_t tokens = blob->GetWord(0);
  TXLSFormulatArrays read;
  ASSERT_EQ(read.Read(bytes.data(), bytes.size(), 2 + tokens, 0x600, 2), 1);
  auto fromTree = TXLSFormulatArrays::FromTree(*tree);
  TXLSBlob a(256), b(256);
  read.Write(a, kFormatBiff8);
  fromTree->Write(b, kFormatBiff8);
  EXPECT_EQ(Bytes(a), std::vector<std::uint8_t>(bytes.begin() + 2 + static_cast<std::ptrdiff_t>(tokens), bytes.end()));
  EXPECT_EQ(Bytes(a), Bytes(b));
  EXPECT_EQ(read.Item(1)->Rows(), 2);
  EXPECT_EQ(read.Item(2)->Item(1, 3)->value, Variant(42));
  auto copy = read.Copy();
  read.Item(1)->SetItem(1, 1, Variant(9.0));
  EXPECT_EQ(copy->Item(1)->Item(1, 1)->value, Variant(1.0));
}

}  // namespace
}  // namespace xls
