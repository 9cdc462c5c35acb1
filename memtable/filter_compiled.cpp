// Filters compiled for typed evaluation: the common filters (comparisons, AND, OR, NOT,
// IS NULL and arithmetic over numeric and in-line text fields and constants) are turned
// into a tree that reads field values straight from the record and computes on plain
// numbers and text pointers. Its results are those of the variant evaluation in
// filter.cpp, which serves every filter this one does not take.
#include <cmath>
#include <cstring>

#include "platform/dataset/native_bytes.h"
#include "memtable/filter.h"
#include "memtable/mem_table.h"

namespace memtable {

using namespace dataset;

namespace {

enum class Kind : std::uint8_t { Null, Int, Float, Text, Bool };

// A value during typed evaluation; a text points into the record or the constant.
struct Val {
  Kind kind = Kind::Null;
  std::int64_t i = 0;
  double f = 0;
  const char* s = nullptr;

  static Val Int(std::int64_t v) { Val x; x.kind = Kind::Int; x.i = v; return x; }
  static Val Float(double v) { Val x; x.kind = Kind::Float; x.f = v; return x; }
  static Val Bool(bool v) { Val x; x.kind = Kind::Bool; x.i = v ? 1 : 0; return x; }
  bool IsNull() const { return kind == Kind::Null; }
  bool Integral() const { return kind == Kind::Int || kind == Kind::Bool; }
  double AsDouble() const { return Integral() ? static_cast<double>(i) : f; }
  bool Truth() const { return Integral() ? i != 0 : f != 0; }
};

}  // namespace

// One node; a chain of binary operators leaning to the left is one node with its
// operands in kids and the operator between kids[k-1] and kids[k] in ops[k-1].
struct CompiledNode {
  enum Op : std::uint8_t { Field, Const, Chain, Not, Minus, IsBlank, NotBlank } op = Const;
  Kind kind = Kind::Null;  // the kind the value has when not null (Int may become Float)
  FieldType type = ftUnknown;
  int offset = 0;  // of the field's null flag in the record data
  Val constant;
  std::string text;  // a text constant
  std::vector<int> ops;
  std::vector<CompiledNode> kids;
};

namespace {

bool IsNumeric(Kind k) { return k == Kind::Int || k == Kind::Float || k == Kind::Bool; }

bool IsComparison(int op) { return op >= coEQ && op <= coLE; }

// The kind of a binary operation's result, or Null when it is not compiled.
Kind ResultKind(int op, Kind a, Kind b) {
  if (IsComparison(op)) {
    if ((IsNumeric(a) && IsNumeric(b)) || (a == Kind::Text && b == Kind::Text)) return Kind::Bool;
    return Kind::Null;
  }
  if (!IsNumeric(a) || !IsNumeric(b)) return Kind::Null;
  switch (op) {
    case coAND: case coOR: return Kind::Bool;
    case coADD: case coSUB: case coMUL:
      return a != Kind::Float && b != Kind::Float ? Kind::Int : Kind::Float;
    case coDIV: return Kind::Float;
    default: return Kind::Null;
  }
}

bool Compile(TmvxCustomMemTable& table, const ParsedFilter& f, const ExprNode& n, CompiledNode& out);

bool CompileChain(TmvxCustomMemTable& table, const ParsedFilter& f, const ExprNode& n, CompiledNode& out) {
  std::vector<const ExprNode*> spine;
  const ExprNode* e = &n;
  while (e->Class == nodeBINARY) {
    spine.push_back(e);
    e = e->Operands[0].get();
  }
  out.op = CompiledNode::Chain;
  out.kids.resize(spine.size() + 1);
  if (!Compile(table, f, *e, out.kids[0])) return false;
  Kind kind = out.kids[0].kind;
  for (std::size_t k = spine.size(), slot = 1; k-- > 0; ++slot) {
    if (!Compile(table, f, *spine[k]->Operands[1], out.kids[slot])) return false;
    kind = ResultKind(spine[k]->Operator, kind, out.kids[slot].kind);
    if (kind == Kind::Null) return false;
    out.ops.push_back(spine[k]->Operator);
  }
  out.kind = kind;
  return true;
}

bool Compile(TmvxCustomMemTable& table, const ParsedFilter& f, const ExprNode& n, CompiledNode& out) {
  switch (n.Class) {
    case nodeFIELD: {
      auto it = f.Fields.find(&n);
      if (it == f.Fields.end() || n.Operator != coFIELD2) return false;
      const Field& field = *it->second;
      int no = field.FieldNo();
      TmvxCommon& c = table.Common();
      if (no <= 0 || no > c.FieldCount() || (c.FieldFlags(no - 1) & ffBlob) || field.Kind() != fkData) return false;
      out.op = CompiledNode::Field;
      out.offset = c.FieldOffset(no - 1);
      out.type = field.DataType();
      switch (out.type) {
        case ftSmallint: case ftWord: case ftInteger: case ftAutoInc: case ftLargeint: out.kind = Kind::Int; return true;
        case ftFloat: case ftCurrency: out.kind = Kind::Float; return true;
        case ftBoolean: out.kind = Kind::Bool; return true;
        case ftString: case ftFixedChar: out.kind = Kind::Text; return true;
        default: return false;
      }
    }
    case nodeCONST: {
      out.op = CompiledNode::Const;
      if (n.ConstNull) {
        out.kind = Kind::Null;
        return true;
      }
      Variant v = EvaluateNode(table, f, n);
      switch (v.kind()) {
        case Variant::Integer: out.constant = Val::Int(v.ToInt()); break;
        case Variant::Float: out.constant = Val::Float(v.ToDouble()); break;
        case Variant::Bool: out.constant = Val::Bool(v.ToBool()); break;
        case Variant::String:
          out.text = v.ToString();
          out.constant.kind = Kind::Text;
          break;
        default: return false;
      }
      out.kind = out.constant.kind;
      return true;
    }
    case nodeBINARY: return CompileChain(table, f, n, out);
    case nodeUNARY: {
      out.kids.resize(1);
      if (!Compile(table, f, *n.Operands[0], out.kids[0])) return false;
      Kind k = out.kids[0].kind;
      switch (n.Operator) {
        case coISBLANK: out.op = CompiledNode::IsBlank; out.kind = Kind::Bool; return true;
        case coNOTBLANK: out.op = CompiledNode::NotBlank; out.kind = Kind::Bool; return true;
        case coNOT: out.op = CompiledNode::Not; out.kind = Kind::Bool; return IsNumeric(k) || k == Kind::Null;
        case coMINUS:
          out.op = CompiledNode::Minus;
          out.kind = k == Kind::Bool ? Kind::Int : k;
          return IsNumeric(k);
        default: return false;
      }
    }
    default:
      return false;
  }
}

Val Read(const CompiledNode& n, const std::uint8_t* data) {
  const std::uint8_t* p = data + n.offset;
  if (p[0] == 0) return Val{};
  ++p;
  switch (n.type) {
    case ftSmallint: return Val::Int(LoadNative<std::int16_t>(p));
    case ftWord: return Val::Int(LoadNative<std::uint16_t>(p));
    case ftInteger: case ftAutoInc: return Val::Int(LoadNative<std::int32_t>(p));
    case ftLargeint: return Val::Int(LoadNative<std::int64_t>(p));
    case ftFloat: case ftCurrency: return Val::Float(LoadNative<double>(p));
    case ftBoolean: return Val::Bool(LoadNative<std::uint16_t>(p) != 0);
    default: {
      Val v;
      v.kind = Kind::Text;
      v.s = reinterpret_cast<const char*>(p);
      return v;
    }
  }
}

int Compare(const Val& a, const Val& b) {
  if (a.kind == Kind::Text) {
    // As std::string::compare: bytes as unsigned characters, a shorter text first.
    int c = std::strcmp(a.s, b.s);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (a.Integral() && b.Integral()) return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
  double x = a.AsDouble(), y = b.AsDouble();
  return x < y ? -1 : (x > y ? 1 : 0);
}

Val Apply(int op, const Val& a, const Val& b) {
  const bool null = a.IsNull() || b.IsNull();
  if (IsComparison(op)) {
    if (null) return Val::Bool(false);
    int c = Compare(a, b);
    switch (op) {
      case coEQ: return Val::Bool(c == 0);
      case coNE: return Val::Bool(c != 0);
      case coGT: return Val::Bool(c > 0);
      case coLT: return Val::Bool(c < 0);
      case coGE: return Val::Bool(c >= 0);
      default: return Val::Bool(c <= 0);
    }
  }
  switch (op) {
    case coAND: return Val::Bool(!null && a.Truth() && b.Truth());
    case coOR: return Val::Bool(!null && (a.Truth() || b.Truth()));
    default: break;
  }
  if (null) return Val{};
  std::int64_t r;
  const bool whole = a.Integral() && b.Integral();
  switch (op) {
    case coADD:
      if (whole && !__builtin_add_overflow(a.i, b.i, &r)) return Val::Int(r);
      return Val::Float(a.AsDouble() + b.AsDouble());
    case coSUB:
      if (whole && !__builtin_sub_overflow(a.i, b.i, &r)) return Val::Int(r);
      return Val::Float(a.AsDouble() - b.AsDouble());
    case coMUL:
      if (whole && !__builtin_mul_overflow(a.i, b.i, &r)) return Val::Int(r);
      return Val::Float(a.AsDouble() * b.AsDouble());
    default: {
      double d = b.AsDouble();
      if (d == 0) throw VariantError("Division by zero");
      return Val::Float(a.AsDouble() / d);
    }
  }
}

Val Eval(const CompiledNode& n, const std::uint8_t* data) {
  switch (n.op) {
    case CompiledNode::Field: return Read(n, data);
    case CompiledNode::Const: {
      Val v = n.constant;
      if (v.kind == Kind::Text) v.s = n.text.c_str();
      return v;
    }
    case CompiledNode::Chain: {
      Val acc = Eval(n.kids[0], data);
      for (std::size_t k = 1; k < n.kids.size(); ++k) acc = Apply(n.ops[k - 1], acc, Eval(n.kids[k], data));
      return acc;
    }
    case CompiledNode::Not: {
      Val v = Eval(n.kids[0], data);
      return v.IsNull() ? v : Val::Bool(!v.Truth());
    }
    case CompiledNode::Minus: {
      Val v = Eval(n.kids[0], data);
      if (v.IsNull()) return v;
      if (v.Integral() && v.i != INT64_MIN) return Val::Int(-v.i);
      return Val::Float(-v.AsDouble());
    }
    case CompiledNode::IsBlank: return Val::Bool(Eval(n.kids[0], data).IsNull());
    case CompiledNode::NotBlank: return Val::Bool(!Eval(n.kids[0], data).IsNull());
  }
  return Val{};
}

}  // namespace

void CompiledNodeDeleter::operator()(CompiledNode* node) const { delete node; }

void CompileFilter(TmvxCustomMemTable& table, ParsedFilter& filter) {
  filter.Compiled.reset();
  if (!table.Common().IsLaidOut()) return;
  auto root = std::unique_ptr<CompiledNode, CompiledNodeDeleter>(new CompiledNode);
  // A text result is judged by the variant rules (its words and numbers); only
  // numeric and Boolean results are taken here.
  if (Compile(table, filter, filter.Parser->Root(), *root) && IsNumeric(root->kind)) filter.Compiled = std::move(root);
}

bool EvaluateCompiled(const CompiledNode& root, const TmvxRecord* record) {
  Val v = Eval(root, record->Data);
  return !v.IsNull() && v.Truth();
}

}  // namespace memtable
