// The syntax tree of a formula: what the parser builds from text, the token compiler writes,
// the token decoder builds back from file bytes and the text writer prints.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xls/model/xls_constants.h"  // kMaxRow

namespace xls {

// Shapes of a parsed reference; kind + 8 marks the same shape as invalid (printed "#REF!").
enum RangeKind : int32_t {
  kRangeCell = 1,
  kRangeCell3d = 2,
  kRangeArea = 3,
  kRangeArea3d = 4,
  kRangeInvalid = 8,
};

constexpr int32_t kMaxColumn = 255;
constexpr int32_t kMaxRowBiff5 = 16383;
// Trees are walked recursively (tokens, text, copies, destruction): the parser and the token
// decoder refuse formulas nested deeper than this.
constexpr int kMaxTreeHeight = 1024;

// A parsed reference; rows and columns 0-based.
struct TXLSRangeItem {
  int32_t firstRow = 0;
  uint8_t firstRowAbs = 0;
  int32_t lastRow = 0;
  uint8_t lastRowAbs = 0;
  int32_t firstCol = 0;
  uint8_t firstColAbs = 0;
  int32_t lastCol = 0;
  uint8_t lastColAbs = 0;
  int32_t kind = kRangeCell;
  int32_t externId = 0;   // external-reference entry of a 3-D reference or of a name's sheet
  uint8_t offset = 0;     // relative parts are offsets from the formula's cell

  bool IsArea() const { return (kind & 7) == kRangeArea || (kind & 7) == kRangeArea3d; }
  bool Is3d() const { return (kind & 7) == kRangeCell3d || (kind & 7) == kRangeArea3d; }
  bool IsInvalid() const { return kind > kRangeInvalid; }
  bool operator==(const TXLSRangeItem&) const = default;
};

// What CopyMoved does to a reference: its relative parts (none of an offset reference) move by
// rows and columns, then its corners are put in order.
void MoveRangeItem(TXLSRangeItem& r, int rows, int columns);

enum SyntaxKind : int32_t {
  kNodeReference = 1,
  kNodeNumber = 2,
  kNodeString = 3,
  kNodeError = 4,          // error constant; value = BIFF error code
  kNodeParen = 5,
  kNodeBool = 6,
  kNodeArray = 7,          // array constant; children are its values row by row
  kNodeMissing = 8,        // an argument left empty
  kNodeNegate = 1000,
  kNodeUnaryPlus = 1001,
  kNodeMul = 1002,
  kNodeDiv = 1003,
  kNodeAdd = 1004,
  kNodeSub = 1005,
  kNodeConcat = 1006,
  kNodeEQ = 1007,
  kNodeNE = 1008,
  kNodeGT = 1009,
  kNodeLT = 1010,
  kNodeGE = 1011,
  kNodeLE = 1012,
  kNodePower = 1013,
  kNodePercent = 1014,
  kNodeUnion = 1015,
  kNodeIntersect = 1016,
  kNodeRange = 1017,
  kNodeCall = 2000,
  kNodeMemFunc = 2001,
  kNodeName = 2002,
};

class TXLSSyntaxItem {
 public:
  TXLSSyntaxItem() = default;
  explicit TXLSSyntaxItem(int32_t k) : kind(k) {}
  TXLSSyntaxItem(const TXLSSyntaxItem&) = delete;
  TXLSSyntaxItem& operator=(const TXLSSyntaxItem&) = delete;

  int32_t kind = 0;
  std::u16string text;
  double number = 0;
  // Function number of a call (255 add-in), name id of a name, 1/0 of a boolean, error code,
  // token byte of a reference read from a file, column count of an array constant.
  int32_t value = 0;
  // Token byte a decoded call or memory token was read with, so that a function the catalogue
  // lacks is written back unchanged; 0 when the node was not read from tokens.
  int32_t rawToken = 0;
  std::unique_ptr<TXLSRangeItem> range;
  TXLSSyntaxItem* parent = nullptr;

  int ChildCount() const { return static_cast<int>(children_.size()); }
  // Levels below this node (0 for a leaf); kept by AddChild and InsertChild.
  int Height() const { return height_; }
  // i is 1-based; nullptr outside 1..count.
  TXLSSyntaxItem* Child(int i) const;
  TXLSSyntaxItem* AddChild(std::unique_ptr<TXLSSyntaxItem> child);
  TXLSSyntaxItem* InsertChild(std::unique_ptr<TXLSSyntaxItem> child);

  std::unique_ptr<TXLSSyntaxItem> Copy() const;
  // Deep copy whose relative reference parts move by the given rows and columns.
  std::unique_ptr<TXLSSyntaxItem> CopyMoved(int rows, int columns) const;
  // Deep copy adjusted for rows or columns inserted (positive counts) or deleted (negative)
  // at row r / column c, limited to the columns c..lastCol (row shift) or rows r..lastRow.
  std::unique_ptr<TXLSSyntaxItem> CopyShifted(int row, int column, int columnCount, int rowCount,
                                              int lastColumn, int lastRow) const;

 private:
  friend class TXLSSyntaxStack;
  std::vector<std::unique_ptr<TXLSSyntaxItem>> children_;
  int height_ = 0;
};

// A syntax tree in a few arrays, as the token decoder builds the common cell formulas without a
// node allocated apart: nodes in postfix order (children before their parent, the root last),
// each with its fields as a TXLSSyntaxItem has them. Kept from one formula to the next, so that
// its arrays keep their room.
struct TXLSFlatNode {
  int32_t kind = 0;
  uint32_t textStart = 0, textLength = 0;  // in TXLSFlatTree::texts
  double number = 0;
  int32_t value = 0;
  int32_t rawToken = 0;
  bool hasRange = false;
  TXLSRangeItem range;
  int height = 0;
  uint32_t firstChild = 0, childCount = 0;  // in TXLSFlatTree::children
};

struct TXLSFlatTree {
  std::vector<TXLSFlatNode> nodes;
  std::vector<uint32_t> children;  // node indexes
  std::u16string texts;
  void Clear() {
    nodes.clear();
    children.clear();
    texts.clear();
  }
  std::u16string_view Text(const TXLSFlatNode& n) const { return std::u16string_view(texts).substr(n.textStart, n.textLength); }
};

// A stack of nodes used by the token decoder.
class TXLSSyntaxStack {
 public:
  void Push(std::unique_ptr<TXLSSyntaxItem> node) { items_.push_back(std::move(node)); }
  std::unique_ptr<TXLSSyntaxItem> Pop();
  // Moves the top count nodes, in the order they were pushed, to the end of node's children;
  // false, with nothing moved, when the stack holds fewer.
  bool PopInto(TXLSSyntaxItem& node, int count);
  int Count() const { return static_cast<int>(items_.size()); }

 private:
  std::vector<std::unique_ptr<TXLSSyntaxItem>> items_;
};

}  // namespace xls
