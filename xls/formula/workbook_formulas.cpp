#include "xls/formula/workbook_formulas.h"

#include "xls/formula/calc/calculator.h"
#include "xls/model/blob.h"
#include "xls/model/workbook.h"

namespace xls {

namespace {

TXLSExternCallbacks BookCallbacks(TXLSWorkbook& book, TXLSWorkbookFormulas& formulas) {
  TXLSExternCallbacks cb;
  cb.sheetIdByName = [&book](const std::u16string& name) {
    std::int32_t id = -1;
    return book.GetSheetIdByName(name, id) == 1 ? id : -1;
  };
  cb.sheetIndexById = [&book](int id) {
    std::int32_t index = -1;
    return book.GetSheetIndexById(id, index) == 1 ? index : -1;
  };
  cb.sheetNameByIndex = [&book](int index) {
    std::u16string name;
    book.GetSheetNameByIndex(index, name);
    return name;
  };
  cb.nextSheetNumber = [&book]() { return static_cast<int>(book.GetNextSheetIndex()); };
  cb.nameTextById = [&formulas](int id) { return formulas.Names().GetNameTextById(id); };
  cb.nameOutputIndexById = [&formulas](int id) { return formulas.Names().GetOutputIndexById(id); };
  cb.nameIdByText = [&formulas](const std::u16string& text, int scope) {
    return formulas.Names().FindIdByName(text, scope);
  };
  cb.nameScopeById = [&formulas](int id) { return formulas.Names().GetScopeById(id); };
  cb.nameRangeById = [&formulas](int id, TXLSRangeItem& range) {
    std::int32_t sheetIndex = -1;
    return formulas.Names().GetNameRangeById(id, 0, range, sheetIndex);
  };
  return cb;
}

}  // namespace

TXLSWorkbookFormulas::TXLSWorkbookFormulas(TXLSWorkbook& book)
    : book_(book),
      externs_(BookCallbacks(book, *this)),
      compiler_(externs_),
      printer_(compiler_.Catalogue(), externs_),
      names_(nullptr, *this, 0) {}

TXLSWorkbookFormulas::~TXLSWorkbookFormulas() = default;

TXLSCalculator& TXLSWorkbookFormulas::Calculator() {
  if (!calculator_) calculator_ = std::make_unique<TXLSCalculator>(*this);
  return *calculator_;
}

std::unique_ptr<TXLSSyntaxItem> TXLSWorkbookFormulas::CompileText(const std::u16string& text, int scope) {
  return compiler_.CompileText(text, scope);
}

int TXLSWorkbookFormulas::GetFormulaBytes(const TXLSSyntaxItem& tree, int rootClass, int sheet, int row, int column,
                                          int format, std::unique_ptr<TXLSBlob>& out) {
  const int saved = compiler_.FileFormat();
  compiler_.SetFileFormat(format == kFormatBiff5 ? kFormatBiff5 : kFormatBiff8);
  const int result = compiler_.Compile(tree, rootClass, sheet, row, column, out);
  compiler_.SetFileFormat(saved);
  return result;
}

std::u16string TXLSWorkbookFormulas::FormulaText(const TXLSSyntaxItem& tree, int row, int column) {
  std::u16string text;
  if (printer_.NodeText(&tree, row, column, text) != 1) return {};
  return text;
}

}  // namespace xls
