// Formula token bytes as a file holds them: decoded into a tree, printed as text, and written
// back as tokens in both BIFF versions; the flat decoder gives the tree's packed bytes or leaves
// the tokens to the tree decoder. Input: one byte whose bit 0 picks BIFF5, a 16-bit token
// size, then the token bytes (and whatever follows them, such as array constants).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/formula_book.h"
#include "xls/formula/calc/packed_tree.h"
#include "xls/model/blob.h"

namespace {

const std::u16string kSheets[] = {u"Sheet1", u"Sheet2", u"Sheet3"};

struct Book : FuzzFormulaBook {
  Book() : FuzzFormulaBook(kSheets) {
    externs.FindOrAddBySheetIndex(2, 2);
    externs.FindOrAddBySheetIndex(1, 3);
    externs.AddInEntry();
    externs.AddInNameIndex(u"ISEVEN");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Book book;
  if (size < 3) return 0;
  const int version = (data[0] & 1) ? 0x500 : 0x600;
  size_t tokens = static_cast<size_t>(data[1] | (data[2] << 8));
  data += 3;
  size -= 3;

  size_t pos = 0;
  auto tree = book.formula.DecodeTokens(data, size, pos, version, tokens);
  xls::TXLSFlatTree flat;
  if (book.formula.DecodeFlat(data, size, 0, version, tokens, flat) &&
      !(tree && xls::TXLSPackedTree(flat) == xls::TXLSPackedTree(tree.get())))
    __builtin_trap();
  if (!tree) return 0;
  std::u16string text;
  book.writer.NodeText(tree.get(), 3, 3, text);
  book.externs.Renumber();
  for (int format : {xls::kFormatBiff5, xls::kFormatBiff8}) {
    book.formula.SetFileFormat(format);
    for (char mode : {'A', 'B'}) {
      book.formula.SetReferenceMode(mode);
      auto blob = book.formula.CompileTree(*tree, xls::kRootValue, 1, 3, 3);
      if (blob) {
        // What we write must decode again.
        uint32_t p = 0;
        auto again = book.formula.DecodeSized(*blob, p, format == xls::kFormatBiff5 ? 0x500 : 0x600);
        if (!again) __builtin_trap();
      }
    }
  }
  book.formula.SetReferenceMode('A');
  // The printed text goes through the lexer and parser too.
  if (!text.empty()) book.formula.CompileText(text, 0);
  return 0;
}
