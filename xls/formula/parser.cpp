#include "xls/formula/parser.h"

#include "xls/formula/wide_text.h"
#include "xls/model/codepage.h"

namespace xls {

using ftext::UpperAscii;

bool ParseCellPart(const std::string& raw, CellPart& part) {
  std::string text = UpperAscii(raw);
  part = CellPart{};
  size_t i = 0;
  bool dollar = false;
  if (i < text.size() && text[i] == '$') {
    dollar = true;
    ++i;
  }
  int col = 0;
  if (i < text.size() && text[i] >= 'A' && text[i] <= 'Z') {
    col = text[i] - 64;
    ++i;
    if (i < text.size() && text[i] >= 'A' && text[i] <= 'Z') {
      col = col * 26 + text[i] - 64;
      ++i;
    }
    part.colAbs = dollar;
    if (i < text.size() && text[i] == '$') {
      part.rowAbs = true;
      ++i;
    }
  } else if (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    part.rowAbs = dollar;  // a row-only part: the "$" belongs to the row
  } else {
    return false;
  }
  std::string rest = text.substr(i);
  if (rest.empty()) {
    if (col == 0 || part.rowAbs) return false;
    if (col > kMaxColumn + 1) return false;
    part.sort = 2;
    part.col = col - 1;
    return true;
  }
  if (rest.size() > 5) return false;
  int row = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') return false;
    row = row * 10 + (c - '0');
  }
  if (row < 1 || row > kMaxRow + 1) return false;
  part.row = row - 1;
  if (col == 0) {
    part.sort = 3;
    return true;
  }
  if (col > kMaxColumn + 1) return false;
  part.sort = 1;
  part.col = col - 1;
  return true;
}

bool ParseReferenceText(const std::string& text, TXLSRangeItem& r) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) {
    CellPart p;
    if (!ParseCellPart(text, p) || p.sort != 1) return false;
    r.kind = kRangeCell;
    r.firstRow = r.lastRow = p.row;
    r.firstCol = r.lastCol = p.col;
    r.firstRowAbs = r.lastRowAbs = p.rowAbs;
    r.firstColAbs = r.lastColAbs = p.colAbs;
    return true;
  }
  CellPart a, b;
  if (!ParseCellPart(text.substr(0, colon), a) || !ParseCellPart(text.substr(colon + 1), b) ||
      a.sort != b.sort) {
    return false;
  }
  r.kind = kRangeArea;
  r.firstRow = a.row;
  r.lastRow = b.row;
  r.firstCol = a.col;
  r.lastCol = b.col;
  r.firstRowAbs = a.rowAbs;
  r.lastRowAbs = b.rowAbs;
  r.firstColAbs = a.colAbs;
  r.lastColAbs = b.colAbs;
  // Whole rows span every column and whole columns every row, wherever the formula moves:
  // those parts are absolute, as other spreadsheet programs write them.
  if (a.sort == 3) {
    r.firstCol = 0;
    r.lastCol = kMaxColumn;
    r.firstColAbs = r.lastColAbs = 1;
  } else if (a.sort == 2) {
    r.firstRow = 0;
    r.lastRow = kMaxRow;
    r.firstRowAbs = r.lastRowAbs = 1;
  }
  return true;
}

int TXLSSyntax::Parse(int sheetScope) {
  root_.reset();
  scope_ = sheetScope;
  nesting_ = 0;
  if (!tokens_) return -1;
  tokens_->First();
  if (tokens_->End()) return -1;
  Node root = Comparison();
  if (!root || !tokens_->End()) return -1;
  root_ = std::move(root);
  return 1;
}

TXLSSyntax::Node TXLSSyntax::Binary(int kind, Node left, Node right) {
  if (!left || !right) return nullptr;
  auto node = std::make_unique<TXLSSyntaxItem>(kind);
  node->AddChild(std::move(left));
  node->AddChild(std::move(right));
  if (node->Height() > kMaxTreeHeight) return nullptr;
  return node;
}

// Levels of nesting beyond any real formula.
constexpr int kMaxNesting = 255;

// Runs a rule one nesting level deeper; text nested beyond any real formula fails instead of
// exhausting the stack.
TXLSSyntax::Node TXLSSyntax::Nested(Node (TXLSSyntax::*rule)()) {
  if (nesting_ >= kMaxNesting) return nullptr;
  ++nesting_;
  Node node = (this->*rule)();
  --nesting_;
  return node;
}

TXLSSyntax::Node TXLSSyntax::Comparison() {
  Node left = Concatenation();
  if (!left) return nullptr;
  int k = tokens_->Kind();
  if (k >= kTokEqual && k <= kTokLessEqual) {
    static const int kinds[] = {kNodeEQ, kNodeNE, kNodeGT, kNodeLT, kNodeGE, kNodeLE};
    std::string text = tokens_->Text();
    tokens_->Next();
    Node node = Binary(kinds[k - kTokEqual], std::move(left), Nested(&TXLSSyntax::Comparison));
    if (node) node->text = Utf8ToWide(text);
    return node;
  }
  return left;
}

// "&" binds less tightly than "+" and "-": "Total "&A1+A2 joins the text to the sum.
TXLSSyntax::Node TXLSSyntax::Concatenation() {
  Node left = Additive();
  while (left && tokens_->Kind() == kTokConcat) {
    tokens_->Next();
    left = Binary(kNodeConcat, std::move(left), Additive());
    if (left) left->text = u"&";
  }
  return left;
}

TXLSSyntax::Node TXLSSyntax::Additive() {
  Node left = Multiplicative();
  while (left && (tokens_->Kind() == kTokPlus || tokens_->Kind() == kTokMinus)) {
    bool plus = tokens_->Kind() == kTokPlus;
    tokens_->Next();
    left = Binary(plus ? kNodeAdd : kNodeSub, std::move(left), Multiplicative());
    if (left) left->text = plus ? u"+" : u"-";
  }
  return left;
}

TXLSSyntax::Node TXLSSyntax::Multiplicative() {
  Node left = Power();
  while (left && (tokens_->Kind() == kTokMul || tokens_->Kind() == kTokDiv)) {
    bool mul = tokens_->Kind() == kTokMul;
    tokens_->Next();
    left = Binary(mul ? kNodeMul : kNodeDiv, std::move(left), Power());
    if (left) left->text = mul ? u"*" : u"/";
  }
  return left;
}

TXLSSyntax::Node TXLSSyntax::Power() {
  Node left = Percent();
  while (left && tokens_->Kind() == kTokPower) {
    tokens_->Next();
    left = Binary(kNodePower, std::move(left), Percent());
    if (left) left->text = u"^";
  }
  return left;
}

TXLSSyntax::Node TXLSSyntax::Percent() {
  Node node = Union();
  while (node && tokens_->Kind() == kTokPercent) {
    tokens_->Next();
    auto wrap = std::make_unique<TXLSSyntaxItem>(kNodePercent);
    wrap->text = u"%";
    wrap->AddChild(std::move(node));
    if (wrap->Height() > kMaxTreeHeight) return nullptr;
    node = std::move(wrap);
  }
  return node;
}

// Whether a node stands for a reference: a cell or area, a defined name, a union or
// intersection, one of those in parentheses, or a call of a function that returns a reference.
bool TXLSSyntax::IsReferenceOperand(const TXLSSyntaxItem& node) const {
  switch (node.kind) {
    case kNodeReference:
    case kNodeName:
    case kNodeUnion:
    case kNodeIntersect:
    case kNodeRange:
      return true;
    case kNodeParen:
      return node.ChildCount() == 1 && IsReferenceOperand(*node.Child(1));
    case kNodeCall:
      if (node.value == 255) return false;  // add-ins return values
      if (const THashFuncEntry* e = catalogue_.FindByName(node.text)) return e->returnClass == kClassReference;
      return false;
  }
  return false;
}

// Union and intersection join references only: "1,2" or TRUE FALSE is no formula.
TXLSSyntax::Node TXLSSyntax::ReferenceOperator(int kind, Node left, Node right) {
  if (!left || !right || !IsReferenceOperand(*left) || !IsReferenceOperand(*right)) return nullptr;
  return Binary(kind, std::move(left), std::move(right));
}

TXLSSyntax::Node TXLSSyntax::Union() {
  Node left = Intersection();
  while (left && tokens_->Kind() == kTokUnion) {
    tokens_->Next();
    left = ReferenceOperator(kNodeUnion, std::move(left), Intersection());
    if (left) left->text = u",";
  }
  return left;
}

TXLSSyntax::Node TXLSSyntax::Intersection() {
  Node left = Primary();
  while (left && tokens_->Kind() == kTokIntersect) {
    tokens_->Next();
    left = ReferenceOperator(kNodeIntersect, std::move(left), Primary());
    if (left) left->text = u" ";
  }
  return left;
}

TXLSSyntax::Node TXLSSyntax::Primary() {
  int k = tokens_->Kind();
  std::string text = tokens_->Text();
  switch (k) {
    case kTokOpen: {
      tokens_->Next();
      Node inner = Nested(&TXLSSyntax::Comparison);
      if (!inner || tokens_->Kind() != kTokClose) return nullptr;
      tokens_->Next();
      auto node = std::make_unique<TXLSSyntaxItem>(kNodeParen);
      node->text = u"(";
      node->AddChild(std::move(inner));
      return node;
    }
    case kTokPlus:
    case kTokMinus: {
      tokens_->Next();
      Node operand = Nested(&TXLSSyntax::Primary);
      if (!operand) return nullptr;
      auto node = std::make_unique<TXLSSyntaxItem>(k == kTokPlus ? kNodeUnaryPlus : kNodeNegate);
      node->text = Utf8ToWide(text);
      node->AddChild(std::move(operand));
      return node;
    }
    case kTokNumber: {
      auto node = std::make_unique<TXLSSyntaxItem>(kNodeNumber);
      node->text = Utf8ToWide(text);
      if (!TryTextToFloat(node->text, node->number)) return nullptr;
      tokens_->Next();
      return node;
    }
    case kTokString: {
      auto node = std::make_unique<TXLSSyntaxItem>(kNodeString);
      node->text = Utf8ToWide(text);
      tokens_->Next();
      return node;
    }
    case kTokError: {
      auto node = std::make_unique<TXLSSyntaxItem>(kNodeError);
      node->text = Utf8ToWide(text);
      node->value = ErrorCodeOfText(text);
      tokens_->Next();
      return node;
    }
    case kTokArrayOpen:
      return ArrayConstant();
    case kTokIdentifier: {
      const TXLSToken* next = tokens_->Peek(1);
      if (next && next->kind == kTokOpen) return Call();
      tokens_->Next();
      return Reference(text);
    }
    case kTokReference:
    case kTokSheetReference:
      tokens_->Next();
      return Reference(text);
  }
  tokens_->Previous();
  return nullptr;
}

TXLSSyntax::Node TXLSSyntax::Call() {
  auto node = std::make_unique<TXLSSyntaxItem>(kNodeCall);
  std::u16string name = UpperAscii(Utf8ToWide(tokens_->Text()));
  node->text = name;
  tokens_->Next();  // name
  tokens_->Next();  // "("
  if (tokens_->Kind() == kTokClose) {
    tokens_->Next();
  } else {
    // Arguments separated by ";"; an argument left empty is a missing argument.
    while (true) {
      int k = tokens_->Kind();
      if (k == kTokSeparator || k == kTokClose) {
        node->AddChild(std::make_unique<TXLSSyntaxItem>(kNodeMissing));
      } else {
        Node arg = Nested(&TXLSSyntax::Comparison);
        if (!arg) return nullptr;
        node->AddChild(std::move(arg));
      }
      if (tokens_->Kind() == kTokSeparator) {
        tokens_->Next();
        continue;
      }
      if (tokens_->Kind() != kTokClose) return nullptr;
      tokens_->Next();
      break;
    }
  }
  if (const THashFuncEntry* e = catalogue_.FindByName(name)) {
    node->value = e->number;
    return node;
  }
  if (catalogue_.FindAddIn(name)) {
    node->value = 255;
    int entry = externs_.AddInEntry();
    int index = externs_.AddInNameIndex(name);
    if (entry < 1 || index < 0) return nullptr;
    auto addIn = std::make_unique<TXLSSyntaxItem>(kNodeName);
    addIn->text = name;
    addIn->value = index;
    addIn->range = std::make_unique<TXLSRangeItem>();
    addIn->range->externId = entry;
    node->InsertChild(std::move(addIn));
    return node;
  }
  return nullptr;
}

// {1;2|3;4}: ";" between the values of a row, "|" between rows; every row as long as the first.
TXLSSyntax::Node TXLSSyntax::ArrayConstant() {
  auto node = std::make_unique<TXLSSyntaxItem>(kNodeArray);
  tokens_->Next();
  int columns = 0, inRow = 0;
  while (true) {
    int k = tokens_->Kind();
    bool negative = false;
    if (k == kTokMinus || k == kTokPlus) {
      negative = k == kTokMinus;
      tokens_->Next();
      k = tokens_->Kind();
      if (k != kTokNumber) return nullptr;
    }
    std::string text = tokens_->Text();
    Node value;
    if (k == kTokNumber) {
      value = std::make_unique<TXLSSyntaxItem>(kNodeNumber);
      value->text = Utf8ToWide(text);
      if (!TryTextToFloat(value->text, value->number)) return nullptr;
      if (negative) value->number = -value->number;
    } else if (k == kTokString) {
      value = std::make_unique<TXLSSyntaxItem>(kNodeString);
      value->text = Utf8ToWide(text);
    } else if (k == kTokError) {
      value = std::make_unique<TXLSSyntaxItem>(kNodeError);
      value->value = ErrorCodeOfText(text);
    } else if (k == kTokIdentifier && (UpperAscii(text) == "TRUE" || UpperAscii(text) == "FALSE")) {
      value = std::make_unique<TXLSSyntaxItem>(kNodeBool);
      value->value = UpperAscii(text) == "TRUE" ? 1 : 0;
    } else {
      return nullptr;
    }
    node->AddChild(std::move(value));
    ++inRow;
    tokens_->Next();
    k = tokens_->Kind();
    if (k == kTokSeparator) {
      tokens_->Next();
      continue;
    }
    if (columns == 0) columns = inRow;
    if (inRow != columns || columns > kMaxColumn + 1) return nullptr;
    inRow = 0;
    if (k == kTokArrayRow) {
      tokens_->Next();
      continue;
    }
    if (k != kTokArrayClose) return nullptr;
    tokens_->Next();
    break;
  }
  node->value = columns;
  return node;
}

TXLSSyntax::Node TXLSSyntax::Reference(const std::string& text) {
  std::string upper = UpperAscii(text);
  if (upper == "TRUE" || upper == "FALSE") {
    auto node = std::make_unique<TXLSSyntaxItem>(kNodeBool);
    node->value = upper == "TRUE" ? 1 : 0;
    node->text = Utf8ToWide(upper);
    return node;
  }
  auto node = std::make_unique<TXLSSyntaxItem>(kNodeReference);
  auto range = std::make_unique<TXLSRangeItem>();
  size_t bang = text.find('!');
  bool ok = false;
  if (bang == std::string::npos) {
    ok = ParseReferenceText(text, *range);
  } else if (ParseReferenceText(text.substr(bang + 1), *range)) {
    range->kind = range->kind == kRangeCell ? kRangeCell3d : kRangeArea3d;
    std::string sheets = text.substr(0, bang);
    size_t colon = sheets.find(':');
    std::u16string first = Utf8ToWide(sheets.substr(0, colon));
    std::u16string last = colon == std::string::npos ? first : Utf8ToWide(sheets.substr(colon + 1));
    range->externId = externs_.FindOrAddBySheetNames(first, last);
    ok = range->externId >= 1;
  }
  if (ok) {
    node->range = std::move(range);
    return node;
  }
  if (Node span = RangeOperands(text)) return span;
  // Not a reference: a defined name, with or without a sheet prefix.
  auto name = std::make_unique<TXLSSyntaxItem>(kNodeName);
  name->range = std::make_unique<TXLSRangeItem>();
  int scope = scope_;
  std::u16string nameText = Utf8ToWide(text);
  if (bang != std::string::npos) {
    std::u16string sheet = Utf8ToWide(text.substr(0, bang));
    int entry = externs_.FindOrAddBySheetNames(sheet, sheet);
    int book = 0, first = 0, last = 0;
    if (entry < 1 || externs_.GetEntry(entry, book, first, last) != 1) return nullptr;
    scope = first;
    name->range->externId = entry;
    nameText = Utf8ToWide(text.substr(bang + 1));
  }
  int id = externs_.NameIdByText(nameText, scope);
  if (id < 1) return nullptr;
  name->value = id;
  name->text = nameText;
  return name;
}

// References joined by the range operator, read as one token: B2:B3:B4 is (B2:B3):B4, and
// Sheet1!B2:Sheet1!B4 joins two references of a sheet. Split at the last ":" that leaves a
// reference or name on its right.
TXLSSyntax::Node TXLSSyntax::RangeOperands(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return nullptr;
  const std::string left = text.substr(0, colon), right = text.substr(colon + 1);
  // "Sheet1:Sheet2!A1" names a span of sheets: no operator there.
  if (left.find('!') == std::string::npos && right.find('!') != std::string::npos) return nullptr;
  // Each operator is a level of nesting: a long chain fails instead of exhausting the stack.
  if (nesting_ >= kMaxNesting) return nullptr;
  ++nesting_;
  Node node = ReferenceOperator(kNodeRange, Reference(left), Reference(right));
  --nesting_;
  if (node) node->text = u":";
  return node;
}

}  // namespace xls
