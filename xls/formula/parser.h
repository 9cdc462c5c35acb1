// Recursive-descent parser from the lexer's tokens to the syntax tree. Sheet-qualified
// references, defined names and add-in calls are resolved through the external-reference table.
#pragma once

#include <memory>
#include <string>

#include "xls/formula/extern_sheet.h"
#include "xls/formula/function_catalogue.h"
#include "xls/formula/lexer.h"
#include "xls/formula/syntax_tree.h"

namespace xls {

class TXLSSyntax {
 public:
  TXLSSyntax(const THashFunc& catalogue, TXLSExternSheet& externs)
      : catalogue_(catalogue), externs_(externs) {}

  void SetTokens(TXLSTokens* tokens) { tokens_ = tokens; }
  // 1 and a root, or -1 and no root.
  int Parse(int sheetScope);
  TXLSSyntaxItem* Root() const { return root_.get(); }
  std::unique_ptr<TXLSSyntaxItem> TakeRoot() { return std::move(root_); }

 private:
  using Node = std::unique_ptr<TXLSSyntaxItem>;
  Node Comparison();
  Node Concatenation();
  Node Additive();
  Node Multiplicative();
  Node Power();
  Node Percent();
  Node Union();
  Node Intersection();
  Node Primary();
  Node Call();
  Node ArrayConstant();
  Node Reference(const std::string& text);
  Node RangeOperands(const std::string& text);
  Node Binary(int kind, Node left, Node right);
  Node ReferenceOperator(int kind, Node left, Node right);
  bool IsReferenceOperand(const TXLSSyntaxItem& node) const;
  Node Nested(Node (TXLSSyntax::*rule)());

  const THashFunc& catalogue_;
  TXLSExternSheet& externs_;
  TXLSTokens* tokens_ = nullptr;
  Node root_;
  int scope_ = 0;
  int nesting_ = 0;  // open parentheses, signs and calls around the current token
};

// One cell part of a reference ("$A$1", "B", "3"). sort: 1 cell, 2 column only, 3 row only.
struct CellPart {
  int sort = 0;
  int row = 0;
  int col = 0;
  bool rowAbs = false;
  bool colAbs = false;
};
bool ParseCellPart(const std::string& text, CellPart& part);
// The reference part of a token ("A1", "$A$1:B2", "A:C", "3:5") into a range item of shape
// cell (1) or area (3); false when it is no reference.
bool ParseReferenceText(const std::string& text, TXLSRangeItem& range);

}  // namespace xls
