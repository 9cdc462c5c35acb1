// The common cell formulas are decoded straight into their packed form (no tree): for every
// token stream, the flat decoder either leaves it to the tree decoder or gives the very bytes
// that packing the tree decoder's tree gives.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fake_book.h"
#include "xls/formula/calc/packed_tree.h"
#include "xls/model/blob.h"

namespace xls {
namespace {

using test::Compiler;
using test::Unhex;
using Bytes = std::vector<std::uint8_t>;

// Formula texts of random shape: references of every kind, names, constants, operators and
// calls of fixed and variable argument counts and of the add-in book, nested.
std::u16string RandomFormula(std::mt19937& rng, int depth) {
  static const char* const leaves[] = {
      "A1", "$B$2", "C$3:$D4", "A:A", "2:3", "Sheet2!A1", "'My Sheet'!B2:C3", "Sheet1:Sheet2!C4", "MyName",
      "Local", "1", "2.5", "70000", "\"text\"", "\"\"", "TRUE", "FALSE", "#N/A", "#DIV/0!", "#REF!"};
  static const char* const binary[] = {"+", "-", "*", "/", "^", "&", "=", "<>", "<", "<=", ">", ">="};
  static const std::pair<const char*, int> calls[] = {  // the argument count, -1 for any
      {"SUM", -1},         {"IF", 3},      {"ROUND", 2}, {"VLOOKUP", 4}, {"AND", -1},     {"ABS", 1},
      {"CONCATENATE", -1}, {"ISERROR", 1}, {"INDEX", 3}, {"EOMONTH", 2}, {"EDATE", 2}, {"MAX", -1}};
  const int pick = static_cast<int>(rng() % (depth > 3 ? 1 : 6));
  const std::u16string leaf = Utf8ToWide(leaves[rng() % std::size(leaves)]);
  switch (pick) {
    case 0: return leaf;
    case 1: return RandomFormula(rng, depth + 1) + Utf8ToWide(binary[rng() % std::size(binary)]) + RandomFormula(rng, depth + 1);
    case 2: return u"-" + RandomFormula(rng, depth + 1);
    case 3: return u"(" + RandomFormula(rng, depth + 1) + u")%";
    default: {
      const auto& [name, fixed] = calls[rng() % std::size(calls)];
      const int count = fixed < 0 ? 1 + static_cast<int>(rng() % 4) : fixed;
      std::u16string text = Utf8ToWide(name) + u"(";
      for (int i = 0; i < count; ++i) text += (i ? u";" : u"") + RandomFormula(rng, depth + 1);
      return text + u")";
    }
  }
}

// The flat decoder's answer for the bytes, as the tree decoder's: "tree" when it leaves them to
// the tree decoder, "same" when its packed bytes equal the tree's, "DIFFERENT" otherwise.
std::string Compare(Compiler& c, const Bytes& bytes, std::size_t size) {
  std::size_t pos = 0;
  const std::unique_ptr<TXLSSyntaxItem> tree = c.formula.DecodeTokens(bytes.data(), bytes.size(), pos, 0x600, size);
  TXLSFlatTree flat;
  if (!c.formula.DecodeFlat(bytes.data(), bytes.size(), 0, 0x600, size, flat)) return "tree";
  if (!tree) return "DIFFERENT: the tree decoder refuses what the flat one read";
  return TXLSPackedTree(flat) == TXLSPackedTree(tree.get()) ? "same" : "DIFFERENT";
}

TEST(FlatDecode, RandomFormulasGiveTheTreeDecodersBytes) {
  Compiler c;
  std::mt19937 rng(69);
  int compiled = 0, cut = 0;
  for (int i = 0; i < 400; ++i) {
    const std::u16string text = RandomFormula(rng, 0);
    const std::string hex = c.Tokens(text);
    if (hex == "parse" || hex == "compile") continue;
    ++compiled;
    // The tokens, and the same inside a memory token plus 1, as the format's program writes a
    // reference made by a function: whole, cut short or with a byte changed, refused or read as
    // the tree decoder reads them.
    const Bytes bytes = Unhex(hex);
    Bytes memory = {0x29, static_cast<std::uint8_t>(bytes.size()), static_cast<std::uint8_t>(bytes.size() >> 8)};
    memory.insert(memory.end(), bytes.begin(), bytes.end());
    memory.insert(memory.end(), {0x1E, 0x01, 0x00, 0x03});
    for (const Bytes& b : {bytes, memory}) {
      EXPECT_EQ(Compare(c, b, b.size()), "same") << WideToUtf8(text) << " " << hex << " in memory " << (b.size() > bytes.size());
      for (std::size_t size = 1; size < b.size(); ++size) {
        const std::string part = Compare(c, b, size);
        EXPECT_NE(part.substr(0, 9), "DIFFERENT") << WideToUtf8(text) << " cut at " << size;
        cut += part == "same";
      }
      Bytes changed = b;
      changed[rng() % changed.size()] = static_cast<std::uint8_t>(rng());
      EXPECT_NE(Compare(c, changed, changed.size()).substr(0, 9), "DIFFERENT") << WideToUtf8(text);
    }
  }
  EXPECT_GT(compiled, 250);
  EXPECT_GT(cut, 0);
}

// Tokens the program writes that a formula typed as text does not give: IF's jump attributes,
// CHOOSE's table, spaces, SUM as an attribute, ptgInt, offset references of shared formulas;
// a function called through a name, memory tokens; and those left to the tree decoder: array
// constants, memory areas (their rectangles follow the tokens), ptgExp.
TEST(FlatDecode, FileTokensReadFlatOrLeftToTheTree) {
  Compiler c;
  const struct {
    const char* hex;
    const char* expected;
    const char* after = "";  // what follows the tokens (an array constant's values)
  } cases[] = {
      {"44000000c0" "1e0000" "0d" "19020a00" "170300626967" "19080a00" "1e0100" "19080300" "42030100", "same"},
      {"1e0200" "19040300" "0800 0c00 1000 1400" "1e0600" "19080b00" "1e0a00" "19080700" "1e0e00" "19080300" "42046400",
       "same"},
      {"19400100" "44000000c0" "19100000", "same"},
      {"4c0000ffc0" "2d 0100 0000 0400 fcc0" "19100000" "03", "same"},
      {"1f000000000000f03f" "4301000000" "05" "1c07" "1d01" "16" "42045001", "same"},
      {"20 00000000000000" "19100000", "tree", "000000" "01" "000000000000f03f"},
      {"29 0900" "25 0000 0100 00c0 00c0" "19100000", "same"},
      // Nested, after a memory error's four bytes; an operator inside that reaches out of its
      // memory token, a sub-expression of two nodes, and one that ends inside a token.
      {"27 00000000 0c00" "29 0900" "44000000c0" "1e0100" "03" "1e0200" "05", "same"},
      {"44000000c0" "29 0100" "03", "tree"},
      {"44000000c0" "1e0500" "29 0700" "03" "1e0100" "1e0200" "03" "03", "tree"},
      {"29 0600" "1e0100" "1e0200", "tree"},
      {"29 0200" "1e0100" "1e0200" "03", "tree"},
      {"26 00000000 0900" "25 0000 0100 00c0 00c0" "19100000", "tree"},
      {"2301000000" "4201ff00", "same"},
      {"01 0000 0000", "tree"},
      {"03", "tree"},
  };
  auto unhex = [](std::string hex) {
    std::erase(hex, ' ');
    return Unhex(hex);
  };
  for (const auto& [hex, expected, after] : cases)
    EXPECT_EQ(Compare(c, unhex(std::string(hex) + after), unhex(hex).size()), expected) << hex;
  // A function of the add-in book: ptgNameX, then the call of function 255.
  const std::string addIn = c.Tokens(u"EOMONTH(A1;1)+1");
  ASSERT_EQ(addIn.substr(0, 2), "39");
  EXPECT_EQ(Compare(c, Unhex(addIn), addIn.size() / 2), "same");
}

}  // namespace
}  // namespace xls
