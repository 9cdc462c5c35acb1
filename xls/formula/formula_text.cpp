#include "xls/formula/formula_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "xls/formula/lexer.h"
#include "xls/formula/wide_text.h"
#include "xls/model/codepage.h"

namespace xls {

std::string FormatFormulaNumber(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::string s = buf;
  size_t e = s.find('e');
  if (e == std::string::npos) return s;
  // Spell the exponent form out: the lexer reads digits and "." only.
  int exponent = std::atoi(s.c_str() + e + 1);
  std::string mantissa = s.substr(0, e);
  bool negative = !mantissa.empty() && mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string digits;
  int pointAt = static_cast<int>(mantissa.size());
  for (size_t i = 0; i < mantissa.size(); ++i) {
    if (mantissa[i] == '.') {
      pointAt = static_cast<int>(i);
    } else {
      digits += mantissa[i];
    }
  }
  int point = pointAt + exponent;  // digits before the decimal point
  std::string out;
  if (point <= 0) {
    out = "0." + std::string(static_cast<size_t>(-point), '0') + digits;
  } else if (point >= static_cast<int>(digits.size())) {
    out = digits + std::string(static_cast<size_t>(point) - digits.size(), '0');
  } else {
    out = digits.substr(0, static_cast<size_t>(point)) + "." + digits.substr(static_cast<size_t>(point));
  }
  if (out.find('.') != std::string::npos) {
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
  }
  return negative ? "-" + out : out;
}

std::string ColumnLetters(int column) {
  if (column < 0 || column > kMaxColumn) return {};
  std::string s;
  if (column >= 26) s += static_cast<char>(column / 26 + 64);
  s += static_cast<char>(column % 26 + 65);
  return s;
}

namespace {

constexpr std::u16string_view kNewerFunctionPrefix = u"_XLFN.";

const char16_t* OperatorText(int kind) {
  switch (kind) {
    case kNodeMul: return u"*";
    case kNodeDiv: return u"/";
    case kNodeAdd: return u"+";
    case kNodeSub: return u"-";
    case kNodeConcat: return u"&";
    case kNodeEQ: return u"=";
    case kNodeNE: return u"<>";
    case kNodeGT: return u">";
    case kNodeLT: return u"<";
    case kNodeGE: return u">=";
    case kNodeLE: return u"<=";
    case kNodePower: return u"^";
    case kNodeUnion: return u",";
    case kNodeIntersect: return u" ";
    case kNodeRange: return u":";
  }
  return nullptr;
}

std::string CellText(int row, int col, bool rowAbs, bool colAbs) {
  if (row < 0 || row > kMaxRow) return {};
  std::string letters = ColumnLetters(col);
  if (letters.empty()) return {};
  return (colAbs ? "$" : "") + letters + (rowAbs ? "$" : "") + std::to_string(row + 1);
}

}  // namespace

int TXLSFormulaText::ReferenceText(const TXLSRangeItem& r, int row, int column,
                                   std::u16string& text) {
  text.clear();
  std::string ref;
  if (!r.IsInvalid()) {
    int fr = r.firstRow, fc = r.firstCol, lr = r.lastRow, lc = r.lastCol;
    if (r.offset) {
      if (!r.firstRowAbs) fr += row;
      if (!r.firstColAbs) fc += column;
      if (!r.lastRowAbs) lr += row;
      if (!r.lastColAbs) lc += column;
    }
    if (!r.IsArea()) {
      ref = CellText(fr, fc, r.firstRowAbs, r.firstColAbs);
    } else if (fc == 0 && lc == kMaxColumn && fr >= 0 && fr <= lr && lr <= kMaxRow) {
      ref = (r.firstRowAbs ? "$" : "") + std::to_string(fr + 1) + ":" + (r.lastRowAbs ? "$" : "") +
            std::to_string(lr + 1);
    } else if (fr == 0 && lr == kMaxRow && !ColumnLetters(fc).empty() &&
               !ColumnLetters(lc).empty()) {
      ref = (r.firstColAbs ? "$" : "") + ColumnLetters(fc) + ":" + (r.lastColAbs ? "$" : "") +
            ColumnLetters(lc);
    } else {
      std::string a = CellText(fr, fc, r.firstRowAbs, r.firstColAbs);
      std::string b = CellText(lr, lc, r.lastRowAbs, r.lastColAbs);
      if (!a.empty() && !b.empty()) ref = a + ":" + b;
    }
  }
  if (ref.empty()) ref = "#REF!";
  if (r.Is3d()) {
    std::u16string sheet = externs_.GetSheetText(r.externId);
    if (sheet.empty()) return -1;
    text = sheet + u"!";
  }
  text += Utf8ToWide(ref);
  return 1;
}

int TXLSFormulaText::ArrayText(const TXLSSyntaxItem& node, std::u16string& text) {
  const int count = node.ChildCount();
  const int cols = node.value;
  if (count == 0 || cols < 1 || count % cols != 0) return -1;
  text = u"{";
  for (int i = 1; i <= count; ++i) {
    if (i > 1) text += (i - 1) % cols == 0 ? u"|" : u";";
    const TXLSSyntaxItem& v = *node.Child(i);
    switch (v.kind) {
      case kNodeNumber:
        if (!std::isfinite(v.number)) return -1;
        text += Utf8ToWide(FormatFormulaNumber(v.number));
        break;
      case kNodeString: text += ftext::Quoted(v.text, u'"'); break;
      case kNodeBool: text += v.value == 1 ? u"TRUE" : u"FALSE"; break;
      case kNodeError: {
        const char* e = ErrorTextOfCode(v.value);
        if (!e) return -1;
        text += Utf8ToWide(e);
        break;
      }
      default:
        return -1;  // an empty value has no written form
    }
  }
  text += u"}";
  return 1;
}

int TXLSFormulaText::CallText(const TXLSSyntaxItem& node, int row, int column,
                              std::u16string& text) {
  text.clear();
  std::u16string name;
  int firstArg = 1;
  if (node.value == 255) {
    const TXLSSyntaxItem* addIn = node.Child(1);
    if (!addIn || addIn->kind != kNodeName) return -1;
    if (addIn->range && addIn->range->externId > 0) {
      // A function of another book (a macro, an add-in workbook's) goes with its book.
      name = externs_.GetExternNameText(addIn->range->externId, addIn->value);
      if (name.empty()) name = externs_.GetAddInName(addIn->range->externId, addIn->value);
    } else {
      // A function called by a defined name: a newer function goes by its own name, without
      // the prefix that marks it in the file (_xlfn.IFERROR is IFERROR).
      name = externs_.NameTextById(addIn->value);
      if (name.size() > kNewerFunctionPrefix.size() &&
          ftext::UpperAscii(name.substr(0, kNewerFunctionPrefix.size())) == kNewerFunctionPrefix) {
        name.erase(0, kNewerFunctionPrefix.size());
      }
    }
    firstArg = 2;
  } else {
    name = catalogue_.GetNameByNumber(node.value);
  }
  if (name.empty()) return -1;
  std::u16string args;
  for (int i = firstArg; i <= node.ChildCount(); ++i) {
    std::u16string a;
    if (NodeText(node.Child(i), row, column, a) != 1) return -1;
    if (i > firstArg) args += u";";
    args += a;
  }
  text = name + u"(" + args + u")";
  return 1;
}

int TXLSFormulaText::NodeText(const TXLSSyntaxItem* node, int row, int column,
                              std::u16string& text) {
  text.clear();
  if (!node) return -1;
  auto child = [&](int i, std::u16string& out) { return NodeText(node->Child(i), row, column, out); };
  std::u16string a, b;
  switch (node->kind) {
    case kNodeReference:
      if (!node->range) return -1;
      return ReferenceText(*node->range, row, column, text);
    case kNodeNumber:
      if (!std::isfinite(node->number)) return -1;
      text = Utf8ToWide(FormatFormulaNumber(node->number));
      return 1;
    case kNodeString:
      text = ftext::Quoted(node->text, u'"');
      return 1;
    case kNodeError: {
      const char* e = ErrorTextOfCode(node->value);
      if (!e) return -1;
      text = Utf8ToWide(e);
      return 1;
    }
    case kNodeMissing:
      return 1;
    case kNodeParen:
      if (child(1, a) != 1) return -1;
      text = u"(" + a + u")";
      return 1;
    case kNodeBool:
      text = node->value == 1 ? u"TRUE" : u"FALSE";
      return 1;
    case kNodeArray:
      return ArrayText(*node, text);
    case kNodeNegate:
    case kNodeUnaryPlus:
      if (child(1, a) != 1) return -1;
      text = (node->kind == kNodeNegate ? u"-" : u"+") + a;
      return 1;
    case kNodePercent:
      if (child(1, a) != 1) return -1;
      text = a + u"%";
      return 1;
    case kNodeMemFunc:
      // A memory token only wraps its sub-expression.
      return child(1, text);
    case kNodeCall:
      return CallText(*node, row, column, text);
    case kNodeName: {
      if (node->range && node->range->externId > 0 && !externs_.IsOwnBook(node->range->externId)) {
        text = externs_.GetExternNameText(node->range->externId, node->value);
        return text.empty() ? -1 : 1;
      }
      if (node->range && node->range->externId > 0) {
        std::u16string sheet = externs_.GetSheetText(node->range->externId);
        if (sheet.empty()) return -1;
        text = sheet + u"!";
      }
      std::u16string name = externs_.NameTextById(node->value);
      // A name the store does not know reads back as the error it is.
      text += name.empty() ? u"#NAME?" : name;
      return 1;
    }
  }
  const char16_t* op = OperatorText(node->kind);
  if (!op || node->ChildCount() != 2 || child(1, a) != 1 || child(2, b) != 1) return -1;
  text = a + op + b;
  return 1;
}

}  // namespace xls
