// Typed formula text: lexed, parsed, compiled to both BIFF versions and printed. Text that
// prints must read back to the same text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/formula_book.h"
#include "xls/model/blob.h"
#include "xls/model/codepage.h"

namespace {

const std::u16string kSheets[] = {u"Sheet1", u"Sheet2", u"It's"};

struct Book : FuzzFormulaBook {
  Book() : FuzzFormulaBook(kSheets) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Book book;
  std::u16string text = xls::Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));
  auto tree = book.formula.CompileText(text, 0);
  if (!tree) return 0;
  book.externs.Renumber();
  for (int format : {xls::kFormatBiff5, xls::kFormatBiff8}) {
    book.formula.SetFileFormat(format);
    auto blob = book.formula.CompileTree(*tree, xls::kRootValue, 1, 0, 0);
    if (blob) {
      uint32_t p = 0;
      if (!book.formula.DecodeSized(*blob, p, format == xls::kFormatBiff5 ? 0x500 : 0x600)) {
        __builtin_trap();
      }
    }
  }
  std::u16string printed;
  if (book.writer.NodeText(tree.get(), 0, 0, printed) != 1) return 0;
  auto again = book.formula.CompileText(printed, 0);
  if (!again) __builtin_trap();
  std::u16string reprinted;
  if (book.writer.NodeText(again.get(), 0, 0, reprinted) != 1 || reprinted != printed) {
    __builtin_trap();
  }
  return 0;
}
