// Filter text into an expression tree.
//
// Grammar (keywords and function names in any case):
//
//   expression := term { OR term }
//   term       := factor { AND factor }
//   factor     := NOT factor | relation
//   relation   := sum [ ( "=" | "<>" | "<" | ">" | "<=" | ">=" ) sum
//                     | IS [NOT] NULL
//                     | [NOT] LIKE sum
//                     | [NOT] IN "(" sum { "," sum } ")" ]
//   sum        := product { ( "+" | "-" ) product }
//   product    := unary { ( "*" | "/" ) unary }
//   unary      := "-" unary | primary
//   primary    := number | string | NULL | field | function "(" [ sum { "," sum } ] ")"
//               | "(" expression ")"
//   field      := name | "[" any text but "]" "]"
//   string     := "'" { any character, "''" for a quote } "'"
//   number     := digits [ "." digits ] [ ( "e" | "E" ) [ "+" | "-" ] digits ]
//
// A whole number up to 2147483647 is an integer constant, any other number a float.
// Precedence from loosest to tightest: OR, AND, NOT, the relations, + and -, * and /,
// unary minus. "x = NULL" and "x <> NULL" mean IS NULL and IS NOT NULL.
//
// Text comparisons: "=" and "<>" between two texts become compare nodes carrying the
// case-insensitive flag (filter option foCaseInsensitive) and a partial length: a text
// constant of two or more characters that ends in "*" compares only as many characters
// as precede the "*" (unless the option foNoPartialCompare is set, when the "*" is an
// ordinary character; so is the "*" of the text "*" alone).
// A text constant compared with a date, time or date-time field is read as
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" or "HH:MM[:SS]" and stored in the field's type.
// UPPER and LOWER become unary nodes; every other name followed by "(" becomes a
// function node whose name is checked when it is evaluated.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dataset/dataset.h"

namespace dataset {

class ExprParseError : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

enum NodeClass {
  nodeNULL = 0, nodeUNARY = 1, nodeBINARY = 2, nodeCOMPARE = 3, nodeFIELD = 4, nodeCONST = 5,
  nodeTUPLE = 6, nodeCONTINUE = 7, nodeUDF = 8, nodeLIST = 9, nodeFUNC = 10, nodeLISTELEM = 11
};

enum CanOp {
  coNOTDEFINED = 0, coISBLANK = 1, coNOTBLANK = 2, coEQ = 3, coNE = 4, coGT = 5, coLT = 6,
  coGE = 7, coLE = 8, coNOT = 9, coAND = 10, coOR = 11, coTUPLE2 = 12, coFIELD2 = 13,
  coCONST2 = 14, coMINUS = 15, coADD = 16, coSUB = 17, coMUL = 18, coDIV = 19, coMOD = 20,
  coREM = 21, coSUM = 22, coCOUNT = 23, coMIN = 24, coMAX = 25, coAVG = 26, coCONT = 27,
  coUDF2 = 28, coCONTINUE2 = 29, coLIKE = 30, coIN = 31, coLIST2 = 32, coUPPER = 33,
  coLOWER = 34, coFUNC2 = 35, coLISTELEM2 = 36
};

struct ExprNode {
  ExprNode() = default;
  ExprNode(const ExprNode&) = delete;
  ExprNode& operator=(const ExprNode&) = delete;
  // Unlinks a list chain one element at a time, so a long IN list does not recurse.
  ~ExprNode();

  NodeClass Class = nodeNULL;
  int Operator = coNOTDEFINED;
  // Unary: one operand; binary and compare: two; function: the arguments; list element:
  // the element value.
  std::vector<std::unique_ptr<ExprNode>> Operands;
  std::unique_ptr<ExprNode> Next;  // the next list element of a chain
  std::string FieldName;           // field node
  std::string FunctionName;        // function node, as written
  FieldType ConstType = ftUnknown; // constant node: type and native bytes
  std::vector<std::uint8_t> ConstData;
  bool ConstNull = false;
  bool CaseInsensitive = false;    // compare node
  int PartialLength = 0;           // compare node, 0 = whole texts
  int Depth = 1;                   // nesting depth below and including this node
};

// Deepest nesting a filter may have; deeper texts are refused as too complex.
constexpr int kMaxExprDepth = 200;

class ExprParser {
 public:
  // Answers whether a field of that name exists and gives its type as the filter sees
  // it (the caller's type map applied).
  using FieldLookup = std::function<bool(const std::string& name, FieldType& type)>;

  ExprParser(const std::string& text, FilterOptions options, FieldLookup lookup);
  const ExprNode& Root() const { return *root_; }
  const std::string& Text() const { return text_; }

 private:
  std::unique_ptr<ExprNode> root_;
  std::string text_;
};

}  // namespace dataset
