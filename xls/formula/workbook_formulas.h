// What a workbook holds for its formulas: the external-reference table wired to the workbook's
// sheets and defined names, the formula compiler and printer, and the defined names. The
// workbook makes it on first use (TXLSWorkbook::Formulas).
#pragma once

#include <memory>
#include <string>

#include "xls/formula/extern_sheet.h"
#include "xls/formula/formula.h"
#include "xls/formula/formula_text.h"
#include "xls/formula/names.h"

namespace xls {

class TXLSWorkbook;
class TXLSCalculator;

class TXLSWorkbookFormulas {
 public:
  explicit TXLSWorkbookFormulas(TXLSWorkbook& book);
  TXLSWorkbookFormulas(const TXLSWorkbookFormulas&) = delete;
  TXLSWorkbookFormulas& operator=(const TXLSWorkbookFormulas&) = delete;

  TXLSWorkbook& Book() { return book_; }
  TXLSExternSheet& Externs() { return externs_; }
  TXLSFormula& Compiler() { return compiler_; }
  TXLSCustomNames& Names() { return names_; }
  // The calculator, made on first use.
  TXLSCalculator& Calculator();
  bool HasCalculator() const { return calculator_ != nullptr; }

  // Formula text without "=" to a tree, names looked up in the given scope (sheet id, 0 for
  // the workbook); nullptr when it does not parse.
  std::unique_ptr<TXLSSyntaxItem> CompileText(const std::u16string& text, int scope);
  // A tree to [size word][tokens][array constants] for a file format (1 BIFF5, 2 BIFF8); 1 or -1.
  int GetFormulaBytes(const TXLSSyntaxItem& tree, int rootClass, int sheet, int row, int column, int format,
                      std::unique_ptr<TXLSBlob>& out);
  // A tree as formula text without "="; empty when it cannot be printed.
  std::u16string FormulaText(const TXLSSyntaxItem& tree, int row, int column);

 private:
  TXLSWorkbook& book_;
  TXLSExternSheet externs_;
  TXLSFormula compiler_;
  TXLSFormulaText printer_;
  TXLSCustomNames names_;
  std::unique_ptr<TXLSCalculator> calculator_;

 public:
  ~TXLSWorkbookFormulas();
};

}  // namespace xls
