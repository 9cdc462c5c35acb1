#include "xls/formula/calc/evaluator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <stdexcept>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/cell_text/number_format.h"
#include "xls/formula/extern_sheet.h"
#include "xls/formula/formula.h"
#include "xls/formula/names.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/cell_address.h"
#include "xls/model/cell_store.h"
#include "xls/model/codepage.h"
#include "xls/model/num_format_list.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

double NumberOf(const Variant& v) { return v.IsEmptyOrNull() ? 0.0 : v.NumberValue(); }

std::int32_t FiniteNumber(double r, Variant& out) {
  if (!std::isfinite(r)) return kErrNum;
  out = Variant(r);
  return kCalcOk;
}

// Digits at `at`, at least one and at most `most`; their value, and `at` moved past them.
bool ReadDigits(const std::u16string& t, std::size_t& at, std::size_t most, long long& value) {
  const std::size_t from = at;
  value = 0;
  while (at < t.size() && at - from < most && t[at] >= u'0' && t[at] <= u'9') value = value * 10 + (t[at++] - u'0');
  return at > from;
}

// A time of day: h:mm, h:mm:ss or h:mm:ss.fff (hours may pass 24), or with AM or PM an hour of
// 0 to 12; as a fraction of a day.
bool ReadTime(const std::u16string& t, std::size_t& at, bool dated, double& days) {
  long long h = 0, m = 0, sec = 0;
  double fraction = 0;
  if (!ReadDigits(t, at, 5, h) || at >= t.size() || t[at] != u':') return false;
  ++at;
  if (!ReadDigits(t, at, 2, m) || m > 59) return false;
  if (at < t.size() && t[at] == u':') {
    ++at;
    if (!ReadDigits(t, at, 2, sec) || sec > 59) return false;
    if (at < t.size() && t[at] == u'.') {
      double scale = 0.1;
      for (++at; at < t.size() && t[at] >= u'0' && t[at] <= u'9'; ++at, scale /= 10) fraction += (t[at] - u'0') * scale;
    }
  }
  std::size_t k = at;
  while (k < t.size() && t[k] == u' ') ++k;
  if (k + 2 <= t.size()) {
    const std::u16string half = TXLSFormater::UpperCase(t.substr(k, 2));
    if (half == u"AM" || half == u"PM") {
      if (h > 12) return false;
      h = (h % 12) + (half == u"PM" ? 12 : 0);
      at = k + 2;
    }
  }
  if (dated && h > 23) return false;
  days = (static_cast<double>(h * 3600 + m * 60 + sec) + fraction) / 86400.0;
  return true;
}

// The order of day, month and year in the locale's short date format (M/D/YYYY gives "MDY"), and
// its separator.
void LocaleDateOrder(std::u16string& order, char16_t& separator) {
  order.clear();
  separator = u'/';
  for (char16_t c : TXLSNumFormatList::GetLocaleDateFormat()) {
    const char16_t u = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    if (u == u'D' || u == u'M' || u == u'Y') {
      if (order.find(u) == std::u16string::npos) order += u;
    } else if (order.size() == 1 && separator == u'/') {
      separator = c;
    }
  }
  if (order.size() != 3) order = u"MDY";
}

// Day, month and year as the locale orders them ("01/18/2019" under M/D/YYYY), separated by "/"
// or the locale's own separator; a year of one or two digits is 2000 to 2029 below 30, else 19xx.
// `at` moves past them.
bool ReadLocaleDate(const std::u16string& t, std::size_t& at, long long& y, long long& mo, long long& d) {
  if (at >= t.size() || t[at] < u'0' || t[at] > u'9') return false;
  std::u16string order;
  char16_t own = u'/';
  LocaleDateOrder(order, own);
  std::size_t k = at;
  char16_t separator = 0;
  for (std::size_t part = 0; part < 3; ++part) {
    if (part > 0) {
      if (k >= t.size() || (t[k] != u'/' && t[k] != own) || (separator && t[k] != separator)) return false;
      separator = t[k++];
    }
    const std::size_t from = k;
    long long value = 0;
    if (!ReadDigits(t, k, order[part] == u'Y' ? 4 : 2, value)) return false;
    if (order[part] == u'Y') {
      if (k - from == 3) return false;
      if (k - from <= 2) value += value < 30 ? 2000 : 1900;
      y = value;
    } else {
      (order[part] == u'M' ? mo : d) = value;
    }
  }
  at = k;
  return true;
}

// A month's English name at `at`, its three first letters or all of them in any letter case:
// 1 to 12, and `at` moved past it; 0 for none.
int ReadMonthName(const std::u16string& t, std::size_t& at) {
  static const char16_t* const kMonths[] = {u"JANUARY", u"FEBRUARY", u"MARCH",     u"APRIL",   u"MAY",      u"JUNE",
                                            u"JULY",    u"AUGUST",   u"SEPTEMBER", u"OCTOBER", u"NOVEMBER", u"DECEMBER"};
  std::size_t end = at;
  while (end < t.size() && ((t[end] >= u'a' && t[end] <= u'z') || (t[end] >= u'A' && t[end] <= u'Z'))) ++end;
  const std::u16string word = TXLSFormater::UpperCase(t.substr(at, end - at));
  for (int m = 0; m < 12; ++m) {
    const std::u16string name = kMonths[m];
    if (word == name || (word.size() == 3 && name.compare(0, 3, word) == 0)) {
      at = end;
      return m + 1;
    }
  }
  return 0;
}

// A year of one, two or four digits at `at` (one or two: 2000 to 2029 below 30, else 19xx), not
// the hours of a time that follows; `at` moves past it.
bool ReadYear(const std::u16string& t, std::size_t& at, long long& y) {
  std::size_t k = at;
  if (!ReadDigits(t, k, 4, y) || k - at == 3 || (k < t.size() && t[k] == u':')) return false;
  if (k - at <= 2) y += y < 30 ? 2000 : 1900;
  at = k;
  return true;
}

// A date written with the month's name: day and month ("18-Jan-2019", "18 January 2019",
// "18/jan/19", "18-Jan" in this year) or month and day ("Jan 18, 2019", "January 18 2019",
// "Jan 18" in this year); `at` moves past it.
bool ReadNamedMonthDate(const std::u16string& t, std::size_t& at, long long& y, long long& mo, long long& d) {
  std::size_t k = at;
  auto separator = [&](bool dashes) {
    const std::size_t from = k;
    if (k < t.size() && dashes && (t[k] == u'-' || t[k] == u'/')) return ++k, true;
    while (k < t.size() && t[k] == u' ') ++k;
    return k > from;
  };
  bool dated = false;
  if (ReadDigits(t, k, 2, d)) {
    if (!separator(true) || (mo = ReadMonthName(t, k)) == 0) return false;
    const std::size_t end = k;
    dated = separator(true) && ReadYear(t, k, y);
    if (!dated) k = end;
  } else {
    if ((mo = ReadMonthName(t, k)) == 0 || !separator(false) || !ReadDigits(t, k, 2, d)) return false;
    const std::size_t end = k;
    const bool comma = k < t.size() && t[k] == u',';
    if (comma) ++k;
    dated = (separator(false) || comma) && ReadYear(t, k, y);
    if (!dated) k = end;
  }
  if (!dated) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    y = local.tm_year + 1900;
  }
  at = k;
  return true;
}

// A text that reads as a date (yyyy-mm-dd, day, month and year in the locale's order, or a date
// with the month's name), a time of day, or a date and a time: the serial, of the 1904 date
// system when date1904 is set.
bool TextToDateValue(const std::u16string& text, double& out, bool date1904) {
  std::size_t at = 0, end = text.size();
  while (at < end && text[at] == u' ') ++at;
  while (end > at && text[end - 1] == u' ') --end;
  const std::u16string t = text.substr(at, end - at);
  at = 0;
  double days = 0, time = 0;
  bool dated = false;
  long long y = 0, mo = 0, d = 0;
  std::size_t k = 0;
  bool iso = ReadDigits(t, k, 4, y) && k == 4 && k < t.size() && t[k] == u'-';
  if (iso) {
    ++k;
    if (!ReadDigits(t, k, 2, mo) || k >= t.size() || t[k] != u'-') return false;
    ++k;
    if (!ReadDigits(t, k, 2, d)) return false;
  } else {
    k = 0;
  }
  if (iso || ReadLocaleDate(t, k, y, mo, d) || ReadNamedMonthDate(t, k, y, mo, d)) {
    if (y < 1900 || y > 9999 || mo < 1 || mo > 12 || d < 1) return false;
    days = SerialFromCivil(y, mo, d);
    std::int64_t cy = 0;
    int cm = 0, cd = 0;
    CivilFromSerial(static_cast<std::int64_t>(days), cy, cm, cd);
    if (cm != mo || cd != d) return false;  // no such day (2024-02-30)
    if (date1904 && (days -= kDate1904Days) < 0) return false;
    dated = true;
    at = k;
    if (at == t.size()) {
      out = days;
      return true;
    }
    if (t[at] != u' ') return false;
    while (at < t.size() && t[at] == u' ') ++at;
  }
  if (!ReadTime(t, at, dated, time) || at != t.size()) return false;
  out = days + time;
  return true;
}

// A number as typed into a cell with the thousands separator and currency sign the formats show
// (",", "$"): "1,000", "$1,000.50", "-$1,000", "$-1,000" (groups of three digits after the first).
bool TextToGroupedNumber(const std::u16string& text, double& out) {
  std::size_t at = 0, end = text.size();
  while (at < end && text[at] == u' ') ++at;
  while (end > at && text[end - 1] == u' ') --end;
  bool negative = false, signed_ = false, currency = false, grouped = false;
  for (int k = 0; k < 2 && at < end; ++k) {
    if (!currency && text[at] == u'$') currency = true, ++at;
    else if (!signed_ && (text[at] == u'-' || text[at] == u'+')) signed_ = true, negative = text[at++] == u'-';
  }
  std::u16string plain;
  std::size_t run = 0;
  for (; at < end && ((text[at] >= u'0' && text[at] <= u'9') || text[at] == u','); ++at) {
    if (text[at] == u',') {
      if (run == 0 || (grouped && run != 3) || (!grouped && run > 3)) return false;
      grouped = true;
      run = 0;
    } else {
      plain += text[at];
      ++run;
    }
  }
  if (run == 0 || (grouped && run != 3) || (!grouped && !currency)) return false;
  plain.append(text, at, end - at);  // the fraction, if any
  if (plain.find_first_not_of(u"0123456789.") != std::u16string::npos || !TextToDouble(plain, out)) return false;
  if (negative) out = -out;
  return true;
}

}  // namespace

bool IsErrorCode(std::int32_t status) {
  return status == kErrNull || status == kErrDiv0 || status == kErrValue || status == kErrRef ||
         status == kErrName || status == kErrNum || status == kErrNA;
}

bool IsEmptyValue(const Variant& v) { return v.IsEmptyOrNull(); }
bool IsNumberValue(const Variant& v) { return v.IsNumber(); }
bool IsStringValue(const Variant& v) { return v.IsText(); }
bool IsBooleanValue(const Variant& v) { return v.IsBoolean(); }

int ValueClass(const Variant& v) {
  if (v.IsEmptyOrNull() || v.IsNumber()) return kClassNumber;
  if (v.IsText()) return kClassString;
  if (v.IsBoolean()) return kClassBoolean;
  return kClassOther;
}

std::int32_t ConvertValue(Variant& v, int wanted, bool date1904) {
  if (wanted == kWantNone) return kCalcOk;
  if (v.IsBoolean()) {
    if (wanted == kWantNumber) v = Variant::FromInteger(v.BooleanValue() ? 1 : 0, VarType::Byte);
    else if (wanted == kWantString) v = Variant(std::u16string(v.BooleanValue() ? u"TRUE" : u"FALSE"));
    return kCalcOk;
  }
  if (v.IsEmptyOrNull()) {
    if (wanted == kWantNumber) v = Variant(0);
    else if (wanted == kWantString) v = Variant(std::u16string());
    else v = Variant(false);
    return kCalcOk;
  }
  if (v.IsNumber()) {
    // A date value of the proleptic calendar becomes the serial the calculator counts in.
    if (v.IsDate() && wanted != kWantBoolean) v = Variant(DateTimeToSerial(v.NumberValue()));
    if (wanted == kWantString) v = Variant(TXLSFormater::GeneralNumber(v.NumberValue()));
    else if (wanted == kWantBoolean) v = Variant(v.NumberValue() != 0);
    return kCalcOk;
  }
  if (v.IsText()) {
    if (wanted == kWantNumber) {
      // An empty text is no number (a blank cell is 0).
      double d = 0;
      if (!TextToDouble(v.TextValue(), d) && !TextToGroupedNumber(v.TextValue(), d) &&
          !TextToDateValue(v.TextValue(), d, date1904))
        return kErrValue;
      v = Variant(d);
    } else if (wanted == kWantBoolean) {
      // Only TRUE and FALSE read as truth values.
      const std::u16string upper = TXLSFormater::UpperCase(v.TextValue());
      if (upper != u"TRUE" && upper != u"FALSE") return kErrValue;
      v = Variant(upper == u"TRUE");
    }
    return kCalcOk;
  }
  return kErrValue;
}

namespace {

// An empty side takes the class of the other side, as the value of that class it stands for.
void TakeClass(Variant& empty, int cls) {
  if (cls == kClassString) empty = Variant(std::u16string());
  else if (cls == kClassBoolean) empty = Variant(false);
  else if (cls == kClassNumber) empty = Variant(0);
}

int Sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

double RoundTo15Digits(double x) {
  char text[32];
  const std::to_chars_result written = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific, 14);
  double rounded = x;
  std::from_chars(text, written.ptr, rounded);
  return rounded;
}

int CompareSameClass(const Variant& a, const Variant& b, int cls) {
  switch (cls) {
    case kClassNumber:
      return CompareNumbers(NumberOf(a), NumberOf(b));
    case kClassString: {
      int c = TXLSFormater::UpperCase(a.TextValue()).compare(TXLSFormater::UpperCase(b.TextValue()));
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case kClassBoolean:
      return static_cast<int>(a.BooleanValue()) - static_cast<int>(b.BooleanValue());
    default:
      return 0;
  }
}

}  // namespace

int CompareNumbers(double a, double b) {
  if (a == b) return 0;
  // Rounding moves a number by at most half a unit of its 15th digit, under 0.5e-14 of it: numbers
  // further apart keep their order.
  if (std::fabs(a - b) > 2e-14 * std::max(std::fabs(a), std::fabs(b))) return a < b ? -1 : 1;
  if (!std::isfinite(a) || !std::isfinite(b)) return Sign(a - b);
  const double x = RoundTo15Digits(a), y = RoundTo15Digits(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

int CompareValues(const Variant& a0, const Variant& b0) {
  if (a0.IsEmptyOrNull() && b0.IsEmptyOrNull()) return 0;
  Variant a = a0, b = b0;
  int ca = ValueClass(a), cb = ValueClass(b);
  if (a.IsEmptyOrNull()) {
    TakeClass(a, cb);
    ca = ValueClass(a);
  } else if (b.IsEmptyOrNull()) {
    TakeClass(b, ca);
    cb = ValueClass(b);
  }
  if (ca != cb) return ca < cb ? -1 : 1;
  return CompareSameClass(a, b, ca);
}

int CompareForLookup(const Variant& a0, const Variant& b0) {
  // the common case, without copies
  if (a0.IsNumber() && b0.IsNumber()) return CompareNumbers(a0.NumberValue(), b0.NumberValue());
  if (a0.IsEmptyOrNull() && b0.IsEmptyOrNull()) return 0;
  Variant a = a0, b = b0;
  if (a.IsEmptyOrNull()) TakeClass(a, ValueClass(b));
  if (b.IsEmptyOrNull()) TakeClass(b, ValueClass(a));
  if (a.IsNumber() && b.IsNumber()) return CompareNumbers(a.NumberValue(), b.NumberValue());
  const int ca = ValueClass(a), cb = ValueClass(b);
  if (ca != cb) return ca < cb ? -1 : 1;
  return CompareSameClass(a, b, ca);
}

bool TXLSCriterion::Equals(const Variant& cell) const {
  if (cell.IsEmptyOrNull()) return fromText && text.empty();
  if (bareEquals) return false;
  if (cell.IsText()) return fromText && WildcardMatches(text, cell.TextValue());
  // An error criterion (the argument itself failed) counts the cells holding that error.
  if (cell.IsError())
    return fromText ? text == TXLSFormater::UpperCase(ErrorCodeText(cell.ErrorCode()))
                    : value.IsError() && value.ErrorCode() == cell.ErrorCode();
  if (cell.IsBoolean() && fromText) return text == (cell.BooleanValue() ? u"TRUE" : u"FALSE");
  return ValueClass(cell) == ValueClass(value) && CompareValues(cell, value) == 0;
}

bool TXLSCriterion::Passes(const Variant& cell) const {
  if (op == 0) return true;
  if (op == 3) return Equals(cell);
  if (op == 6) return fromText && text.empty() ? !cell.IsEmptyOrNull() : !Equals(cell);
  // Orderings hold between values of one kind only: numbers with numbers, texts with texts. An
  // ordering of nothing ("<=") passes no empty text.
  if (cell.IsEmptyOrNull() || cell.IsError() || ValueClass(cell) != ValueClass(value)) return false;
  if (fromText && text.empty() && cell.IsText() && cell.TextValue().empty()) return false;
  const int c = CompareValues(cell, value);
  switch (op) {
    case 1: return c < 0;
    case 2: return c <= 0;
    case 4: return c >= 0;
    case 5: return c > 0;
    default: return false;
  }
}

std::int32_t TXLSEvaluator::Evaluate(const TXLSSyntaxItem* node, bool rangeMode, int wanted, Variant& out, bool root) {
  if (calc_.StackUsed() > kMaxEvalStack) return kCalcCircular;
  std::int32_t st = EvaluateNode(node, rangeMode, wanted, out, root);
  if (st != kCalcOk) return st;
  if (out.IsNumber() && !std::isfinite(out.NumberValue())) return kErrNum;
  return ConvertValue(out, wanted, calc_.Book().GetDate1904());
}

std::int32_t TXLSEvaluator::EvaluateNode(const TXLSSyntaxItem* node, bool rangeMode, int wanted, Variant& out,
                                         bool root) {
  if (!node) return kCalcMalformed;
  // An operand of an operator applied element by element gives its element (array_context.cpp).
  for (const auto& [operand, element] : bound_) {
    if (operand != node) continue;
    if (element->IsError()) {
      out = Variant();
      return element->ErrorCode();
    }
    out = *element;
    return kCalcOk;
  }
  switch (node->kind) {
    case kNodeNumber:
      out = Variant(node->number);
      return kCalcOk;
    case kNodeString:
      out = Variant(node->text);
      return kCalcOk;
    case kNodeBool:
      out = Variant(node->value != 0);
      return kCalcOk;
    case kNodeError:
      out = Variant();
      return node->value;
    case kNodeMissing:
      out = Variant();
      return kCalcOk;
    case kNodeParen:
    case kNodeMemFunc:
      return Evaluate(node->Child(1), rangeMode, wanted, out);
    case kNodeReference:
    case kNodeName:
    case kNodeRange:
      if (rangeMode && wanted == kWantNone) {
        TXLSResolved r;
        const std::int32_t st = Resolve(node, r);
        if (st != kCalcOk) return st;
        out = Variant::FromObject(std::make_shared<TXLSCalcRangeList>(r.firstSheet, r.lastSheet, r.firstRow,
                                                                      r.firstColumn, r.lastRow, r.lastColumn));
        return kCalcOk;
      }
      return ReferenceValue(node, out);
    case kNodeNegate:
    case kNodePercent: {
      Variant a;
      const std::int32_t st = Evaluate(node->Child(1), false, kWantNumber, a);
      if (st != kCalcOk) return st;
      return FiniteNumber(node->kind == kNodeNegate ? -NumberOf(a) : NumberOf(a) / 100.0, out);
    }
    case kNodeUnaryPlus: {
      const std::int32_t st = Evaluate(node->Child(1), false, kWantNone, out);
      if (st != kCalcOk) return st;
      if (wanted == kWantNone && out.IsEmptyOrNull()) out = Variant(0);
      return kCalcOk;
    }
    case kNodeMul:
    case kNodeDiv:
    case kNodeAdd:
    case kNodeSub:
    case kNodePower:
      return Arithmetic(node, out, root);
    case kNodeConcat: {
      Variant a, b;
      std::int32_t st = Evaluate(node->Child(1), false, kWantString, a);
      if (st != kCalcOk) return st;
      st = Evaluate(node->Child(2), false, kWantString, b);
      if (st != kCalcOk) return st;
      out = Variant(a.TextValue() + b.TextValue());
      return kCalcOk;
    }
    case kNodeEQ:
    case kNodeNE:
    case kNodeGT:
    case kNodeLT:
    case kNodeGE:
    case kNodeLE: {
      Variant a, b;
      std::int32_t st = Evaluate(node->Child(1), false, kWantNone, a);
      if (st != kCalcOk) return st;
      st = Evaluate(node->Child(2), false, kWantNone, b);
      if (st != kCalcOk) return st;
      if (!node->Child(1) || !node->Child(2)) return kCalcMalformed;
      for (Variant* side : {&a, &b})
        if (side->IsDate()) ConvertValue(*side, kWantNumber);  // dates compare as serials
      const int c = CompareValues(a, b);
      bool r = false;
      switch (node->kind) {
        case kNodeEQ: r = c == 0; break;
        case kNodeNE: r = c != 0; break;
        case kNodeGT: r = c > 0; break;
        case kNodeLT: r = c < 0; break;
        case kNodeGE: r = c >= 0; break;
        default: r = c <= 0; break;
      }
      out = Variant(r);
      return kCalcOk;
    }
    case kNodeCall:
      return CallFunction(node, rangeMode, wanted, out);
    default:
      return kCalcMalformed;
  }
}

std::int32_t TXLSEvaluator::Arithmetic(const TXLSSyntaxItem* node, Variant& out, bool root) {
  if (!node->Child(1) || !node->Child(2)) return kCalcMalformed;
  Variant a, b;
  std::int32_t st = Evaluate(node->Child(1), false, kWantNumber, a);
  if (st != kCalcOk) return st;
  st = Evaluate(node->Child(2), false, kWantNumber, b);
  if (st != kCalcOk) return st;
  const double x = NumberOf(a), y = NumberOf(b);
  double r = 0;
  switch (node->kind) {
    case kNodeMul: r = x * y; break;
    case kNodeDiv:
      if (y == 0) return kErrDiv0;
      r = x / y;
      break;
    case kNodePower:
      return PowerOf(x, y, out);
    default:
      r = node->kind == kNodeAdd ? x + y : x - y;
      // The whole formula's sum is cleaned of the binary remainder of decimal fractions, so
      // that 0.1 + 0.2 - 0.3 is 0.
      if (root && r != 0 && r > -1 && r < 1 && x != 0) {
        int ex = 0, er = 0;
        std::frexp(x, &ex);
        std::frexp(r, &er);
        if (ex - er > 49) r = 0;
      }
      break;
  }
  return FiniteNumber(r, out);
}

std::int32_t TXLSEvaluator::Resolve(const TXLSSyntaxItem* node, TXLSResolved& out) {
  while (node && (node->kind == kNodeParen || node->kind == kNodeMemFunc)) node = node->Child(1);
  if (!node) return kCalcMalformed;
  if (node->kind == kNodeRange) return ResolveSpan(node, out);
  if (node->kind == kNodeName) {
    // A name of another book: its cells are not known here (the cell keeps its result).
    if (node->range && node->range->externId > 0 && !calc_.Externs().IsOwnBook(node->range->externId))
      return kCalcUnresolved;
    TXLSRangeItem r;
    std::int32_t sheetIndex = -1;
    const std::int32_t st = calc_.Formulas().Names().GetNameRangeById(node->value, sheet_, r, sheetIndex);
    if (st == kNameDeletedSheet) return kErrRef;
    if (st != 1) return st == kNameCircular ? kCalcCircular : kCalcUnresolved;
    out.firstSheet = out.lastSheet = sheetIndex;
    out.firstRow = std::min(r.firstRow, r.lastRow);
    out.lastRow = std::max(r.firstRow, r.lastRow);
    out.firstColumn = std::min(r.firstCol, r.lastCol);
    out.lastColumn = std::max(r.firstCol, r.lastCol);
    if (!r.IsArea()) {
      out.lastRow = out.firstRow;
      out.lastColumn = out.firstColumn;
    }
    return kCalcOk;
  }
  if (node->kind != kNodeReference) return kErrValue;
  if (!node->range) return kCalcMalformed;
  const TXLSRangeItem& r = *node->range;
  const int k = r.kind;
  if (k < kRangeCell || k > kRangeArea3d) return kErrRef;
  auto at = [&](int v, bool abs, int base) { return r.offset && !abs ? base + v : v; };
  int r1 = at(r.firstRow, r.firstRowAbs, row_), c1 = at(r.firstCol, r.firstColAbs, column_);
  int r2 = r1, c2 = c1;
  if (r.IsArea()) {
    r2 = at(r.lastRow, r.lastRowAbs, row_);
    c2 = at(r.lastCol, r.lastColAbs, column_);
  }
  if (r.offset) {  // offsets wrap around the sheet
    auto wrap = [](int v, int n) { return ((v % n) + n) % n; };
    r1 = wrap(r1, 65536), r2 = wrap(r2, 65536), c1 = wrap(c1, 256), c2 = wrap(c2, 256);
  }
  if (r1 < 0 || c1 < 0 || r2 < 0 || c2 < 0 || r1 > 65535 || r2 > 65535 || c1 > 255 || c2 > 255) return kErrRef;
  out.firstRow = std::min(r1, r2);
  out.lastRow = std::max(r1, r2);
  out.firstColumn = std::min(c1, c2);
  out.lastColumn = std::max(c1, c2);
  if (r.Is3d()) {
    int book = 0, first = 0, last = 0;
    TXLSExternSheet& ext = calc_.Externs();
    if (ext.IsDeletedSheet(r.externId)) return kErrRef;
    if (!ext.IsOwnBook(r.externId) || ext.ResolveEntry(r.externId, book, first, last) != 1) return kCalcUnresolved;
    out.firstSheet = std::min(first, last);
    out.lastSheet = std::max(first, last);
  } else {
    out.firstSheet = out.lastSheet = sheet_;
  }
  return kCalcOk;
}

// The range operator (Data!A1:Data!B2): the smallest rectangle that holds both references,
// which must lie on the same sheets.
std::int32_t TXLSEvaluator::ResolveSpan(const TXLSSyntaxItem* node, TXLSResolved& out) {
  TXLSResolved r[2];
  for (int i = 0; i < 2; ++i) {
    const TXLSSyntaxItem* side = node->Child(i + 1);
    while (side && (side->kind == kNodeParen || side->kind == kNodeMemFunc)) side = side->Child(1);
    if (!side) return kCalcMalformed;
    // What yields a reference only when calculated (OFFSET, INDIRECT...) is not followed here.
    if (side->kind != kNodeReference && side->kind != kNodeName && side->kind != kNodeRange) return kCalcNotComputable;
    const std::int32_t st = Resolve(side, r[i]);
    if (st != kCalcOk) return st;
  }
  if (r[0].firstSheet != r[1].firstSheet || r[0].lastSheet != r[1].lastSheet) return kErrValue;
  out = r[0];
  out.firstRow = std::min(r[0].firstRow, r[1].firstRow);
  out.lastRow = std::max(r[0].lastRow, r[1].lastRow);
  out.firstColumn = std::min(r[0].firstColumn, r[1].firstColumn);
  out.lastColumn = std::max(r[0].lastColumn, r[1].lastColumn);
  return kCalcOk;
}

std::int32_t TXLSEvaluator::ReadCell(int sheet, int row, int column, bool& outside, Variant& value) {
  outside = false;
  const std::int32_t st = calc_.GetCellValue(sheet, row, column, outside, value);
  if (st != kCalcOk) return st;
  if (value.IsError()) return value.ErrorCode();
  return kCalcOk;
}

std::int32_t TXLSEvaluator::ReferenceValue(const TXLSSyntaxItem* node, Variant& out) {
  TXLSResolved r;
  std::int32_t st = Resolve(node, r);
  if (st != kCalcOk) return st;
  int row = r.firstRow, column = r.firstColumn;
  if (!r.OneCell()) {
    // A rectangle used as one value: the cell in the formula's own row or column (both, in a
    // block of several rows and columns).
    if (r.firstSheet != r.lastSheet) return kErrValue;
    if (r.firstColumn == r.lastColumn && row_ >= r.firstRow && row_ <= r.lastRow) {
      row = row_;
    } else if (r.firstRow == r.lastRow && column_ >= r.firstColumn && column_ <= r.lastColumn) {
      column = column_;
    } else if (row_ >= r.firstRow && row_ <= r.lastRow && column_ >= r.firstColumn && column_ <= r.lastColumn) {
      row = row_, column = column_;
    } else {
      return kErrValue;
    }
  }
  bool outside = false;
  return ReadCell(r.firstSheet, row, column, outside, out);
}

std::int32_t TXLSEvaluator::Walk(const TXLSResolved& r, bool errorsAsValues, TXLSCellSink& sink) {
  const bool numbersOnly = sink.NumbersOnly();
  // Numbers wait in runs, in walk order, and go to the sink together.
  double run[256];
  std::size_t held = 0;
  auto flush = [&]() {
    const std::int32_t st = held ? sink.Numbers(run, held) : kCalcOk;
    held = 0;
    return st;
  };
  auto number = [&](double x) {
    run[held++] = x;
    return held < sizeof run / sizeof run[0] ? kCalcOk : flush();
  };
  Variant v;
  std::int32_t st = kCalcOk;
  for (int s = r.firstSheet; s <= r.lastSheet; ++s) {
    IXLSWorksheet* sheet = calc_.Sheet(s);
    if (!sheet) return kCalcUnresolved;
    const TXLSCellHeap& heap = sheet->Cells();
    // What lies beyond the used area is not walked: rows below it end the sheet, columns right
    // of it end the row.
    const int lastRow = std::min(r.lastRow, heap.LastRow());
    const int lastColumn = std::min(r.lastColumn, heap.LastColumn());
    if (r.firstColumn > lastColumn) continue;
    for (int row = r.firstRow; row <= lastRow; ++row) {
      calc_.Counters().slotsWalked += static_cast<std::uint64_t>(lastColumn - r.firstColumn + 1);
      const bool whole = heap.ForEachSlot(row, r.firstColumn, lastColumn, [&](int, const TXLSCellRef* cell) {
        if (!cell) {
          if (numbersOnly) return true;
          if ((st = flush()) == kCalcOk) st = sink.Value(Variant());
          return st == kCalcOk;
        }
        switch (cell->Kind()) {
          case kCellNumber:
            st = number(cell->Value());
            return st == kCalcOk;
          case kCellDate:
            if (numbersOnly) st = number(DateTimeToSerial(cell->Value()));
            else if ((st = flush()) == kCalcOk) st = sink.Value(Variant::Date(cell->Value()));
            return st == kCalcOk;
          case kCellBlank:
          case kCellString:
          case kCellBoolean:
            if (numbersOnly) return true;
            break;
          default:
            break;
        }
        st = TXLSCellRef::GetValue(*cell, *sheet, v);
        if (st != kCalcOk) {
          if (st == kCalcUnresolved || !errorsAsValues || !IsErrorCode(st)) return false;
          v = Variant::Error(st);
        } else if (v.IsError() && !errorsAsValues) {
          st = v.ErrorCode();
          return false;
        }
        if (numbersOnly) {
          st = v.IsNumber() ? number(v.NumberValue()) : kCalcOk;
        } else if ((st = flush()) == kCalcOk) {
          st = sink.Value(v);
        }
        return st == kCalcOk;
      });
      if (!whole) return st;
    }
  }
  return flush();
}

std::int32_t TXLSEvaluator::Walk(const TXLSResolved& r, bool errorsAsValues,
                                 const std::function<std::int32_t(const Variant&)>& visit) {
  struct Each : TXLSCellSink {
    const std::function<std::int32_t(const Variant&)>& visit;
    explicit Each(const std::function<std::int32_t(const Variant&)>& f) : TXLSCellSink(false), visit(f) {}
    std::int32_t Number(double x) override { return visit(Variant(x)); }
    std::int32_t Value(const Variant& v) override { return visit(v); }
  } each(visit);
  return Walk(r, errorsAsValues, each);
}

std::int32_t TXLSEvaluator::WalkPaired(const TXLSResolved& criteria, const TXLSResolved& values,
                                       const std::function<std::int32_t(const Variant&, const Variant&)>& visit) {
  if (criteria.firstSheet != criteria.lastSheet || values.firstSheet != values.lastSheet) return kErrValue;
  const int height = std::min(criteria.lastRow - criteria.firstRow, values.lastRow - values.firstRow) + 1;
  const int width = std::min(criteria.lastColumn - criteria.firstColumn, values.lastColumn - values.firstColumn) + 1;
  Variant c, v;
  for (int i = 0; i < height; ++i) {
    for (int j = 0; j < width; ++j) {
      bool outside = false;
      std::int32_t st = calc_.GetCellValue(criteria.firstSheet, criteria.firstRow + i, criteria.firstColumn + j,
                                           outside, c);
      if (st == kCalcUnresolved) return st;
      if (outside) {
        if (j == 0) return kCalcOk;
        break;
      }
      if (st != kCalcOk) {
        if (!IsErrorCode(st)) return st;
        c = Variant::Error(st);
      }
      bool outsideValue = false;
      st = calc_.GetCellValue(values.firstSheet, values.firstRow + i, values.firstColumn + j, outsideValue, v);
      if (st != kCalcOk) {
        if (!IsErrorCode(st)) return st;
        v = Variant::Error(st);
      }
      st = visit(c, v);
      if (st != kCalcOk) return st;
    }
  }
  return kCalcOk;
}

std::int32_t PowerOf(double x, double y, Variant& out) {
  if (x == 0 && y < 0) return kErrDiv0;
  return FiniteNumber(std::pow(x, y), out);
}

// Rounding with tolerance.
namespace {

int DigitsOf(double x) {
  if (x < 0) return -DigitsOf(-x);
  if (x < 1) return 0;
  if (x < 10) return 1;
  return static_cast<int>(std::log10(x)) + 1;
}

double Eps(double x) {
  const int d = DigitsOf(x);
  return d < 16 ? 5e-15 * std::pow(10.0, d) / 10.0 : 0.0;
}

double NoNegativeZero(double r) { return std::fabs(r) < 0.5 ? 0.0 : r; }

}  // namespace

double FloorTolerant(double x) {
  if (std::fabs(x) >= 1e15) return x;
  double f = std::floor(x);
  if (x >= 0) {
    if (x - f > 1 - Eps(x)) f += 1;
  } else if (-x > 0.5) {
    const double a = -x, frac = a - std::floor(a);
    if (frac > 0 && frac <= Eps(a)) f += 1;
  }
  return NoNegativeZero(f);
}

double CeilTolerant(double x) {
  if (std::fabs(x) >= 1e15) return x;
  double c = std::ceil(x);
  if (x > 0.5) {
    const double frac = x - std::floor(x);
    if (frac > 0 && frac <= Eps(x)) c -= 1;
  } else if (x < -0.5) {
    const double a = -x, frac = a - std::floor(a);
    if (frac > 1 - Eps(a)) c -= 1;
  }
  return NoNegativeZero(c);
}

double RoundTruncate(double x) {
  if (std::fabs(x) >= 1e15) return x;
  return NoNegativeZero((x < 0 ? -1 : 1) * FloorTolerant(std::fabs(x)));
}

double RoundHalfAway(double x) {
  if (std::fabs(x) >= 1e15) return x;
  return NoNegativeZero((x < 0 ? -1 : 1) * FloorTolerant(std::fabs(x) + 0.5));
}

double RoundAway(double x) { return x < 0 ? FloorTolerant(x) : CeilTolerant(x); }

double RoundDigits(double x, double digits, double (*rule)(double)) {
  if (std::fabs(x) >= 1e15) return x;
  const double d = std::round(digits);
  if (d >= 0) {
    const double p = std::pow(10.0, d);
    return rule(x * p) / p;
  }
  const double p = std::pow(10.0, -d);
  return rule(x / p) * p;
}

double NormSInv(double p) {
  if (!(p > 0 && p < 1)) throw std::domain_error("Invalid value in NormSInv");
  static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
                             1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
  static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                             6.680131188771972e+01,  -1.328068155288572e+01};
  static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                             -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
  static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                             3.754408661907416e+00};
  constexpr double low = 0.02425, high = 1 - 0.02425;
  auto tail = [&](double q) {
    return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
           ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
  };
  if (p < low) return tail(std::sqrt(-2 * std::log(p)));
  if (p > high) return -tail(std::sqrt(-2 * std::log(1 - p)));
  const double q = p - 0.5, r = q * q;
  return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
         (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

// Days from 1899-12-30 of a proleptic Gregorian date (months and days roll over).
double DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  // Months outside 1..12 move into the year.
  std::int64_t m0 = m - 1;
  y += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
  m0 = ((m0 % 12) + 12) % 12;
  const std::int64_t mm = m0 + 1;
  y -= mm <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days1970 = era * 146097 + doe - 719468;
  return static_cast<double>(days1970 + 25569 + (d - 1));
}

void CivilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day) {
  const std::int64_t z = days - 25569 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2);
}

double SerialFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  std::int64_t m0 = m - 1;
  y += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
  m0 = ((m0 % 12) + 12) % 12;
  // Before March 1900 the months start a day earlier than the proleptic calendar's.
  const double first = DaysFromCivil(y, m0 + 1, 1) - (y < 1900 || (y == 1900 && m0 < 2) ? 1 : 0);
  return first + static_cast<double>(d - 1);
}

void CivilFromSerial(std::int64_t serial, std::int64_t& year, int& month, int& day) {
  if (serial < 0 || serial >= 61) return CivilFromDays(serial, year, month, day);
  if (serial == 0 || serial == 60) {
    year = 1900, month = serial ? 2 : 1, day = serial ? 29 : 0;
    return;
  }
  CivilFromDays(serial + 1, year, month, day);
}

}  // namespace xls
