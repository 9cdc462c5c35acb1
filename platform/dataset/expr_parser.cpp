#include "platform/dataset/expr_parser.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/dataset/date_time.h"

namespace dataset {

ExprNode::~ExprNode() {
  // Children are let go from a list of their own: a long chain of operators or list
  // elements would otherwise be freed by one recursion per link.
  std::vector<std::unique_ptr<ExprNode>> pending;
  if (Next) pending.push_back(std::move(Next));
  for (auto& op : Operands)
    if (op) pending.push_back(std::move(op));
  while (!pending.empty()) {
    std::unique_ptr<ExprNode> n = std::move(pending.back());
    pending.pop_back();
    if (n->Next) pending.push_back(std::move(n->Next));
    for (auto& op : n->Operands)
      if (op) pending.push_back(std::move(op));
  }
}

namespace {

enum TokenKind { tkEnd, tkName, tkField, tkString, tkNumber, tkSymbol };

struct Token {
  TokenKind kind = tkEnd;
  std::string text;
  std::size_t pos = 0;
};

using NodePtr = std::unique_ptr<ExprNode>;

// The static type of a parsed operand: what the parser knows of its value.
enum ValueType { vtUnknown, vtText, vtNumber, vtDate, vtNull };

class Parser {
 public:
  Parser(const std::string& text, FilterOptions options, const ExprParser::FieldLookup& lookup)
      : text_(text), options_(options), lookup_(lookup) {
    Advance();
  }

  NodePtr Run() {
    NodePtr root = Expression();
    if (tok_.kind != tkEnd) Fail("Operator or end of expression expected");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw ExprParseError("Filter expression: " + what + " at position " + std::to_string(tok_.pos + 1) + " in \"" + text_ + "\"");
  }

  void Advance() {
    std::size_t i = pos_;
    while (i < text_.size() && std::isspace(static_cast<unsigned char>(text_[i]))) ++i;
    tok_ = Token{};
    tok_.pos = i;
    if (i >= text_.size()) {
      pos_ = i;
      return;
    }
    char c = text_[i];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t s = i;
      while (i < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[i])) || text_[i] == '_')) ++i;
      tok_.kind = tkName;
      tok_.text = text_.substr(s, i - s);
    } else if (c == '[') {
      std::size_t e = text_.find(']', i + 1);
      if (e == std::string::npos) Fail("Missing \"]\"");
      tok_.kind = tkField;
      tok_.text = text_.substr(i + 1, e - i - 1);
      if (tok_.text.empty()) Fail("Empty field name");
      i = e + 1;
    } else if (c == '\'') {
      std::string s;
      ++i;
      for (;;) {
        if (i >= text_.size()) Fail("Missing closing quote");
        if (text_[i] == '\'') {
          if (i + 1 < text_.size() && text_[i + 1] == '\'') {
            s += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        s += text_[i++];
      }
      tok_.kind = tkString;
      tok_.text = s;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && i + 1 < text_.size() && std::isdigit(static_cast<unsigned char>(text_[i + 1])))) {
      std::size_t s = i;
      while (i < text_.size() && std::isdigit(static_cast<unsigned char>(text_[i]))) ++i;
      if (i < text_.size() && text_[i] == '.') {
        ++i;
        while (i < text_.size() && std::isdigit(static_cast<unsigned char>(text_[i]))) ++i;
      }
      if (i < text_.size() && (text_[i] == 'e' || text_[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text_.size() && (text_[e] == '+' || text_[e] == '-')) ++e;
        if (e < text_.size() && std::isdigit(static_cast<unsigned char>(text_[e]))) {
          i = e;
          while (i < text_.size() && std::isdigit(static_cast<unsigned char>(text_[i]))) ++i;
        }
      }
      tok_.kind = tkNumber;
      tok_.text = text_.substr(s, i - s);
      if (i < text_.size() && (std::isalpha(static_cast<unsigned char>(text_[i])) || text_[i] == '_')) Fail("Invalid number");
    } else {
      tok_.kind = tkSymbol;
      char next = i + 1 < text_.size() ? text_[i + 1] : '\0';
      if ((c == '<' && (next == '>' || next == '=')) || (c == '>' && next == '=')) {
        tok_.text.assign({c, next});
        pos_ = i + 2;
        return;
      }
      if (std::strchr("=<>+-*/(),", c) == nullptr) Fail(std::string("Invalid character \"") + c + "\"");
      tok_.text = std::string(1, c);
      ++i;
    }
    pos_ = i;
  }

  bool IsKeyword(const char* word) const { return tok_.kind == tkName && strcasecmp(tok_.text.c_str(), word) == 0; }
  bool IsSymbol(const char* s) const { return tok_.kind == tkSymbol && tok_.text == s; }
  void Expect(const char* s) {
    if (!IsSymbol(s)) Fail(std::string("\"") + s + "\" expected");
    Advance();
  }

  static NodePtr MakeNode(NodeClass cls, int op) {
    auto n = std::make_unique<ExprNode>();
    n->Class = cls;
    n->Operator = op;
    return n;
  }

  void SetDepth(ExprNode& n) {
    int depth = 0;
    for (const auto& op : n.Operands) depth = std::max(depth, op->Depth);
    for (const ExprNode* e = n.Next.get(); e; e = e->Next.get())
      for (const auto& op : e->Operands) depth = std::max(depth, op->Depth);
    n.Depth = depth + 1;
  }

  NodePtr Unary(int op, NodePtr operand) {
    NodePtr n = MakeNode(nodeUNARY, op);
    n->Operands.push_back(std::move(operand));
    SetDepth(*n);
    return n;
  }

  NodePtr Binary(NodeClass cls, int op, NodePtr a, NodePtr b) {
    NodePtr n = MakeNode(cls, op);
    n->Operands.push_back(std::move(a));
    n->Operands.push_back(std::move(b));
    SetDepth(*n);
    return n;
  }

  // Guards the recursion of the descent itself: one level per parenthesis, function
  // call, NOT or unary minus that nests an expression in another. A flat chain
  // of operators nests nothing and is not limited.
  struct DepthGuard {
    Parser& p;
    explicit DepthGuard(Parser& parser) : p(parser) {
      if (++p.nesting_ > kMaxExprDepth) p.Fail("Expression too complex");
    }
    ~DepthGuard() { --p.nesting_; }
  };

  ValueType TypeOf(const ExprNode& n) const {
    switch (n.Class) {
      case nodeFIELD: {
        FieldType t = ftUnknown;
        lookup_(n.FieldName, t);
        if (t == ftString || t == ftFixedChar || t == ftWideString) return vtText;
        if (t == ftDate || t == ftTime || t == ftDateTime || t == ftTimeStamp) return vtDate;
        if (t == ftUnknown || t == ftBlob) return vtUnknown;
        return vtNumber;
      }
      case nodeCONST:
        if (n.ConstNull) return vtNull;
        return n.ConstType == ftString ? vtText : vtNumber;
      case nodeBINARY:
        // Text + text is their concatenation.
        if (n.Operator == coADD) {
          // A chain a + b + c ... is walked down its left side without recursion.
          const ExprNode* e = &n;
          while (e->Class == nodeBINARY && e->Operator == coADD) {
            if (TypeOf(*e->Operands[1]) != vtText) return vtNumber;
            e = e->Operands[0].get();
          }
          return TypeOf(*e) == vtText ? vtText : vtNumber;
        }
        return (n.Operator >= coADD && n.Operator <= coREM) || n.Operator == coMINUS ? vtNumber : vtUnknown;
      case nodeUNARY:
        return n.Operator == coUPPER || n.Operator == coLOWER ? vtText : (n.Operator == coMINUS ? vtNumber : vtUnknown);
      case nodeFUNC: {
        const std::string& f = n.FunctionName;
        for (const char* t : {"UPPER", "LOWER", "SUBSTRING", "TRIM", "TRIMLEFT", "TRIMRIGHT"})
          if (strcasecmp(f.c_str(), t) == 0) return vtText;
        return vtUnknown;
      }
      default:
        return vtUnknown;
    }
  }

  FieldType DateFieldType(const ExprNode& n) const {
    if (n.Class != nodeFIELD) return ftUnknown;
    FieldType t = ftUnknown;
    lookup_(n.FieldName, t);
    return (t == ftDate || t == ftTime || t == ftDateTime) ? t : ftUnknown;
  }

  // A text constant compared with a date field takes the field's type.
  void ConvertDateConstant(const ExprNode& field, ExprNode& constant) {
    FieldType t = DateFieldType(field);
    if (t == ftUnknown || constant.Class != nodeCONST || constant.ConstType != ftString || constant.ConstNull) return;
    std::string text(constant.ConstData.begin(), constant.ConstData.end() - 1);
    double dt;
    if (!ParseDateTimeText(text, dt)) Fail("Invalid date or time \"" + text + "\"");
    TimeStamp ts = DateTimeToTimeStamp(dt);
    constant.ConstType = t;
    if (t == ftDate) {
      constant.ConstData.resize(4);
      std::memcpy(constant.ConstData.data(), &ts.Date, 4);
    } else if (t == ftTime) {
      constant.ConstData.resize(4);
      std::memcpy(constant.ConstData.data(), &ts.Time, 4);
    } else {
      double ms = TimeStampToMSecs(ts);
      constant.ConstData.resize(8);
      std::memcpy(constant.ConstData.data(), &ms, 8);
    }
  }

  NodePtr Expression() {
    DepthGuard guard(*this);
    NodePtr left = Term();
    while (IsKeyword("OR")) {
      Advance();
      left = Binary(nodeBINARY, coOR, std::move(left), Term());
    }
    return left;
  }

  NodePtr Term() {
    NodePtr left = Factor();
    while (IsKeyword("AND")) {
      Advance();
      left = Binary(nodeBINARY, coAND, std::move(left), Factor());
    }
    return left;
  }

  NodePtr Factor() {
    if (IsKeyword("NOT")) {
      DepthGuard guard(*this);
      Advance();
      return Unary(coNOT, Factor());
    }
    return Relation();
  }

  NodePtr Relation() {
    NodePtr left = Sum();
    if (tok_.kind == tkSymbol) {
      static const struct { const char* s; int op; } kOps[] = {
          {"=", coEQ}, {"<>", coNE}, {"<", coLT}, {">", coGT}, {"<=", coLE}, {">=", coGE}};
      for (const auto& o : kOps) {
        if (tok_.text != o.s) continue;
        Advance();
        NodePtr right = Sum();
        return Comparison(o.op, std::move(left), std::move(right));
      }
      return left;
    }
    if (IsKeyword("IS")) {
      Advance();
      bool negate = false;
      if (IsKeyword("NOT")) {
        negate = true;
        Advance();
      }
      if (!IsKeyword("NULL")) Fail("NULL expected");
      Advance();
      return Unary(negate ? coNOTBLANK : coISBLANK, std::move(left));
    }
    bool negate = false;
    if (IsKeyword("NOT")) {
      Advance();
      negate = true;
      if (!IsKeyword("LIKE") && !IsKeyword("IN")) Fail("LIKE or IN expected");
    }
    NodePtr result;
    if (IsKeyword("LIKE")) {
      Advance();
      result = Binary(nodeBINARY, coLIKE, std::move(left), Sum());
    } else if (IsKeyword("IN")) {
      Advance();
      result = InList(std::move(left));
    } else {
      return left;
    }
    return negate ? Unary(coNOT, std::move(result)) : std::move(result);
  }

  NodePtr InList(NodePtr left) {
    Expect("(");
    NodePtr head;
    ExprNode* tail = nullptr;
    for (;;) {
      NodePtr value = Sum();
      ConvertDateConstant(*left, *value);
      NodePtr element = MakeNode(nodeLISTELEM, coLISTELEM2);
      element->Operands.push_back(std::move(value));
      ExprNode* raw = element.get();
      if (tail)
        tail->Next = std::move(element);
      else
        head = std::move(element);
      tail = raw;
      if (IsSymbol(",")) {
        Advance();
        continue;
      }
      break;
    }
    Expect(")");
    return Binary(nodeBINARY, coIN, std::move(left), std::move(head));
  }

  NodePtr Comparison(int op, NodePtr left, NodePtr right) {
    ValueType lt = TypeOf(*left), rt = TypeOf(*right);
    if ((op == coEQ || op == coNE) && (lt == vtNull || rt == vtNull)) {
      NodePtr operand = lt == vtNull ? std::move(right) : std::move(left);
      return Unary(op == coEQ ? coISBLANK : coNOTBLANK, std::move(operand));
    }
    ConvertDateConstant(*left, *right);
    ConvertDateConstant(*right, *left);
    if ((op == coEQ || op == coNE) && lt == vtText && rt == vtText) {
      int partial = 0;
      if (!(options_ & foNoPartialCompare)) {
        for (ExprNode* side : {right.get(), left.get()}) {
          if (side->Class != nodeCONST || side->ConstNull || side->ConstType != ftString) continue;
          std::size_t len = side->ConstData.size() - 1;
          if (len > 1 && side->ConstData[len - 1] == '*') {
            side->ConstData.erase(side->ConstData.begin() + static_cast<std::ptrdiff_t>(len - 1));
            partial = static_cast<int>(len - 1);
            break;
          }
        }
      }
      bool ci = (options_ & foCaseInsensitive) != 0;
      if (ci || partial > 0) {
        NodePtr n = Binary(nodeCOMPARE, op, std::move(left), std::move(right));
        n->CaseInsensitive = ci;
        n->PartialLength = partial;
        return n;
      }
    }
    return Binary(nodeBINARY, op, std::move(left), std::move(right));
  }

  NodePtr Sum() {
    NodePtr left = Product();
    while (IsSymbol("+") || IsSymbol("-")) {
      int op = tok_.text == "+" ? coADD : coSUB;
      Advance();
      left = Binary(nodeBINARY, op, std::move(left), Product());
    }
    return left;
  }

  NodePtr Product() {
    NodePtr left = UnaryMinus();
    while (IsSymbol("*") || IsSymbol("/")) {
      int op = tok_.text == "*" ? coMUL : coDIV;
      Advance();
      left = Binary(nodeBINARY, op, std::move(left), UnaryMinus());
    }
    return left;
  }

  NodePtr UnaryMinus() {
    if (IsSymbol("-")) {
      DepthGuard guard(*this);
      Advance();
      return Unary(coMINUS, UnaryMinus());
    }
    return Primary();
  }

  NodePtr Constant(FieldType type, const void* data, std::size_t size) {
    NodePtr n = MakeNode(nodeCONST, coCONST2);
    n->ConstType = type;
    const auto* p = static_cast<const std::uint8_t*>(data);
    n->ConstData.assign(p, p + size);
    return n;
  }

  NodePtr Primary() {
    if (tok_.kind == tkString) {
      std::string s = tok_.text;
      Advance();
      return Constant(ftString, s.c_str(), s.size() + 1);
    }
    if (tok_.kind == tkNumber) {
      std::string s = tok_.text;
      Advance();
      bool integral = s.find_first_of(".eE") == std::string::npos;
      errno = 0;
      if (integral) {
        long long v = std::strtoll(s.c_str(), nullptr, 10);
        if (errno == 0) {
          if (v <= 2147483647LL) {
            std::int32_t i = static_cast<std::int32_t>(v);
            return Constant(ftInteger, &i, 4);
          }
        }
      }
      double d = std::strtod(s.c_str(), nullptr);
      return Constant(ftFloat, &d, 8);
    }
    if (tok_.kind == tkField) {
      NodePtr n = FieldNode(tok_.text);
      Advance();
      return n;
    }
    if (IsSymbol("(")) {
      Advance();
      NodePtr inner = Expression();
      Expect(")");
      return inner;
    }
    if (tok_.kind == tkName) {
      if (IsKeyword("NULL")) {
        Advance();
        NodePtr n = MakeNode(nodeCONST, coCONST2);
        n->ConstNull = true;
        return n;
      }
      for (const char* reserved : {"AND", "OR", "NOT", "LIKE", "IN", "IS"})
        if (IsKeyword(reserved)) Fail(std::string("Unexpected ") + reserved);
      std::string name = tok_.text;
      std::size_t save = pos_;
      Token saveTok = tok_;
      Advance();
      if (IsSymbol("(")) return Function(name);
      pos_ = save;
      tok_ = saveTok;
      NodePtr n = FieldNode(name);
      Advance();
      return n;
    }
    if (tok_.kind == tkEnd) Fail("Unexpected end of expression");
    Fail("Unexpected \"" + tok_.text + "\"");
  }

  NodePtr FieldNode(const std::string& name) {
    FieldType t;
    if (!lookup_(name, t)) Fail("Field '" + name + "' not found");
    NodePtr n = MakeNode(nodeFIELD, coFIELD2);
    n->FieldName = name;
    return n;
  }

  NodePtr Function(const std::string& name) {
    // Arguments nest an expression in another, as a parenthesis does.
    DepthGuard guard(*this);
    Expect("(");
    std::vector<NodePtr> args;
    if (!IsSymbol(")")) {
      for (;;) {
        args.push_back(Sum());
        if (!IsSymbol(",")) break;
        Advance();
      }
    }
    Expect(")");
    bool upper = strcasecmp(name.c_str(), "UPPER") == 0;
    bool lower = strcasecmp(name.c_str(), "LOWER") == 0;
    if ((upper || lower) && args.size() == 1) return Unary(upper ? coUPPER : coLOWER, std::move(args[0]));
    NodePtr n = MakeNode(nodeFUNC, coFUNC2);
    n->FunctionName = name;
    n->Operands = std::move(args);
    SetDepth(*n);
    return n;
  }

  const std::string& text_;
  FilterOptions options_;
  const ExprParser::FieldLookup& lookup_;
  std::size_t pos_ = 0;
  int nesting_ = 0;
  Token tok_;
};

}  // namespace

ExprParser::ExprParser(const std::string& text, FilterOptions options, FieldLookup lookup) : text_(text) {
  Parser parser(text_, options, lookup);
  root_ = parser.Run();
}

}  // namespace dataset
