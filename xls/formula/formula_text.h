// Prints a syntax tree back as formula text without the leading "=", in the syntax the lexer
// reads: ";" between arguments, "." in numbers, double quotes around strings and single quotes
// around sheet names.
#pragma once

#include <string>

#include "xls/formula/extern_sheet.h"
#include "xls/formula/function_catalogue.h"
#include "xls/formula/syntax_tree.h"

namespace xls {

class TXLSFormulaText {
 public:
  TXLSFormulaText(const THashFunc& catalogue, TXLSExternSheet& externs)
      : catalogue_(catalogue), externs_(externs) {}

  // row and column are those of the cell that owns the formula (for offset references).
  int NodeText(const TXLSSyntaxItem* node, int row, int column, std::u16string& text);
  int ReferenceText(const TXLSRangeItem& range, int row, int column, std::u16string& text);
  int CallText(const TXLSSyntaxItem& node, int row, int column, std::u16string& text);

 private:
  int ArrayText(const TXLSSyntaxItem& node, std::u16string& text);
  const THashFunc& catalogue_;
  TXLSExternSheet& externs_;
};

// A number in plain decimal notation with up to 15 significant digits; never an exponent.
std::string FormatFormulaNumber(double value);
// Column letters of a 0-based column ("A".."IV"); empty outside 0..255.
std::string ColumnLetters(int column);

}  // namespace xls
