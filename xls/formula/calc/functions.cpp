// The worksheet functions the calculator computes. Every other function of the catalogue is
// not computable here (-100): its cell keeps no cached result and is calculated on loading.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <stdexcept>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/calc/evaluator.h"
#include "xls/formula/cell_text/number_format.h"
#include "xls/formula/extern_sheet.h"
#include "xls/model/cell_store.h"
#include "xls/model/cell_address.h"
#include "xls/model/codepage.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

enum Fn : int {
  kCount = 0, kIf = 1, kSum = 4, kAverage = 5, kMin = 6, kMax = 7, kRow = 8, kColumn = 9, kNa = 10,
  kNpv = 11, kSin = 15, kCos = 16, kTan = 17, kAtan = 18, kPi = 19, kSqrt = 20, kExp = 21, kLn = 22,
  kLog10 = 23, kAbs = 24, kInt = 25, kSign = 26, kRound = 27, kLookup = 28, kMid = 31, kLen = 32,
  kValue = 33, kTrue = 34, kFalse = 35, kAnd = 36, kOr = 37, kNot = 38, kMod = 39, kText = 48,
  kRand = 63, kDate = 65, kDay = 67, kMonth = 68, kYear = 69, kWeekday = 70, kNow = 74,
  kOffset = 78, kSqrtPi = -81, kRows = 76, kColumns = 77, kHLookup = 101, kVLookup = 102, kLog = 109,
  kLower = 112, kUpper = 113, kProper = 114, kLeft = 115, kRight = 116, kIsText = 127,
  kIsBlank = 129, kCountA = 169, kTrunc = 197, kRoundUp = 212, kRoundDown = 213, kToday = 221,
  kSumProduct = 228, kFloor = 285, kCeiling = 288, kNormSInv = 296, kConcatenate = 336,
  kPower = 337, kSumIf = 345, kCountIf = 346, kAddIn = 255, kSearch = 82, kIsNumber = 128,
};

const TXLSSyntaxItem* SkipParens(const TXLSSyntaxItem* n) {
  while (n && n->kind == kNodeParen) n = n->Child(1);
  return n;
}

bool IsReferenceArg(const TXLSSyntaxItem* n) {
  n = SkipParens(n);
  while (n && n->kind == kNodeMemFunc) n = SkipParens(n->Child(1));
  return n && (n->kind == kNodeReference || n->kind == kNodeName || n->kind == kNodeRange);
}

bool IsLookupCall(const TXLSSyntaxItem* n) {
  n = SkipParens(n);
  return n && n->kind == kNodeCall && (n->value == kLookup || n->value == kHLookup || n->value == kVLookup);
}

double Num(const Variant& v) { return v.IsEmptyOrNull() ? 0.0 : v.NumberValue(); }

double NowAsDateValue(bool dateOnly) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  double days = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  if (!dateOnly) days += (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
  return days;
}

// A function call's arguments, evaluated on demand.
class Call {
 public:
  Call(TXLSEvaluator& ev, const TXLSSyntaxItem* node) : ev_(ev), node_(node) {}
  int Count() const { return node_->ChildCount(); }
  const TXLSSyntaxItem* Arg(int i) const { return node_->Child(i); }
  std::int32_t Value(int i, Variant& v) { return ev_.Evaluate(Arg(i), false, kWantNone, v); }
  std::int32_t Number(int i, double& d) {
    Variant v;
    const std::int32_t st = ev_.Evaluate(Arg(i), false, kWantNumber, v);
    if (st == kCalcOk) d = Num(v);
    return st;
  }
  std::int32_t Text(int i, std::u16string& s) {
    Variant v;
    const std::int32_t st = ev_.Evaluate(Arg(i), false, kWantString, v);
    if (st == kCalcOk) s = v.TextValue();
    return st;
  }
  std::int32_t Boolean(int i, bool& b) {
    Variant v;
    const std::int32_t st = ev_.Evaluate(Arg(i), false, kWantBoolean, v);
    if (st == kCalcOk) b = v.BooleanValue();
    return st;
  }
  std::int32_t Range(int i, TXLSResolved& r) { return ev_.Resolve(Arg(i), r); }

 private:
  TXLSEvaluator& ev_;
  const TXLSSyntaxItem* node_;
};

// COUNT, SUM, AVERAGE, MIN, MAX, COUNTA over values and ranges.
class Aggregator : public TXLSCellSink {
 public:
  explicit Aggregator(int fn) : TXLSCellSink(fn != kCountA), fn_(fn) {}
  std::int32_t Number(double x) override {
    if (fn_ == kMin) acc = count == 0 || x < acc ? x : acc;
    else if (fn_ == kMax) acc = count == 0 || x > acc ? x : acc;
    else acc += x;
    ++count;
    return kCalcOk;
  }
  std::int32_t Numbers(const double* x, std::size_t n) override {
    if (n == 0) return kCalcOk;
    std::size_t i = 0;
    if (count == 0 && (fn_ == kMin || fn_ == kMax)) acc = x[i++];
    if (fn_ == kMin) {
      for (; i < n; ++i) acc = x[i] < acc ? x[i] : acc;
    } else if (fn_ == kMax) {
      for (; i < n; ++i) acc = x[i] > acc ? x[i] : acc;
    } else {
      for (; i < n; ++i) acc += x[i];
    }
    count += static_cast<std::int64_t>(n);
    return kCalcOk;
  }
  std::int32_t Value(const Variant& v) override {
    if (fn_ == kCountA) {
      if (!v.IsEmptyOrNull()) ++count;
      return kCalcOk;
    }
    return v.IsNumber() ? Number(v.NumberValue()) : kCalcOk;
  }
  double acc = 0;
  std::int64_t count = 0;

 private:
  int fn_;
};

// A value given to COUNT, SUM, AVERAGE, MIN, MAX or COUNTA as an argument of its own (not in a
// range), with the status of its evaluation: the status it gives the function, and in v the value
// to fold (empty for none). Unlike the cells of a range, booleans count as 1 and 0 and texts as the
// numbers they read as (a text that reads as none is #VALUE!); COUNT counts what is or reads as a
// number and passes over the rest, errors included; COUNTA counts every value, errors included.
std::int32_t GivenValue(int fn, std::int32_t st, Variant& v, bool& counted, bool date1904) {
  counted = false;
  if (st != kCalcOk) {
    v = Variant();
    if (!IsErrorCode(st) || (fn != kCount && fn != kCountA)) return st;
    counted = fn == kCountA;
    return kCalcOk;
  }
  if (fn == kCountA || v.IsEmptyOrNull()) return kCalcOk;
  if (v.IsBoolean() || v.IsText()) {
    st = v.IsText() && v.TextValue().empty() ? kErrValue : ConvertValue(v, kWantNumber, date1904);
    if (st != kCalcOk) {
      v = Variant();
      return fn == kCount ? static_cast<std::int32_t>(kCalcOk) : st;
    }
  }
  return kCalcOk;
}

// An aggregate's arguments are evaluated in their order before it reads the cells of the ranges
// it is given (as the formula's tokens run: a reference argument is handed over unread, an
// expression is computed): an error an expression gives comes before any a range holds, whatever
// their order. Among the ranges, walked in their order, the first error met is the result.
std::int32_t Aggregate(TXLSEvaluator& ev, Call& call, int fn, Variant& out) {
  Aggregator fold(fn);
  double& acc = fold.acc;
  std::int64_t& count = fold.count;
  const bool date1904 = ev.Calc().Book().GetDate1904();
  struct Argument {
    std::int32_t status = kCalcOk;
    bool range = false, counted = false;
    TXLSResolved r;
    Variant v;
  };
  std::vector<Argument> args(static_cast<std::size_t>(call.Count()));
  for (int i = 1; i <= call.Count(); ++i) {
    Argument& a = args[static_cast<std::size_t>(i - 1)];
    if (IsReferenceArg(call.Arg(i))) {
      // A reference that is itself an error (a deleted one, #REF!) is an error value given to
      // the function: COUNT passes over it and COUNTA counts it, as for any other error.
      a.status = call.Range(i, a.r);
      a.range = a.status == kCalcOk;
      if (!a.range) a.status = GivenValue(fn, a.status, a.v, a.counted, date1904);
    } else if (call.Arg(i)->kind != kNodeMissing) {
      a.status = GivenValue(fn, call.Value(i, a.v), a.v, a.counted, date1904);
    }
    if (a.status != kCalcOk) return a.status;
  }
  for (const Argument& a : args) {
    std::int32_t st = kCalcOk;
    if (a.range) {
      const TXLSResolved& r = a.r;
      // Long ranges summed from their top: the running totals of their columns give the same
      // sum as the walk, without reading every cell again for every formula.
      double s = 0;
      std::int64_t k = 0;
      if ((fn == kSum || fn == kCount || fn == kAverage) && count == 0 && acc == 0 &&
          r.firstSheet == r.lastSheet && r.lastRow - r.firstRow >= 32 &&
          ev.Calc().RangeTotals(r.firstSheet, r.firstColumn, r.lastColumn, r.firstRow, r.lastRow, s, k)) {
        acc = s;
        count = k;
        continue;
      }
      st = ev.Walk(r, fn == kCount || fn == kCountA, fold);
    } else if (a.counted) {
      ++count;
    } else {
      st = fold.Value(a.v);
    }
    if (st != kCalcOk) return st;
  }
  switch (fn) {
    case kCount:
    case kCountA:
      out = Variant(static_cast<double>(count));
      return kCalcOk;
    case kAverage:
      if (count == 0) return kErrDiv0;
      out = Variant(acc / static_cast<double>(count));
      return kCalcOk;
    default:
      out = Variant(acc);
      return kCalcOk;
  }
}

// A text given to AND or OR: TRUE or FALSE in any letter case is that value; any other text
// ("1", "abc") is passed over as in a range, so that a text alone leaves nothing to judge.
std::int32_t TextAsBoolean(Variant& v) {
  const std::u16string upper = TXLSFormater::UpperCase(v.TextValue());
  v = upper == u"TRUE" || upper == u"FALSE" ? Variant(upper == u"TRUE") : Variant();
  return kCalcOk;
}

// AND and OR: values, and the numbers and booleans of ranges; nothing to judge is #VALUE!.
std::int32_t Logical(TXLSEvaluator& ev, Call& call, bool isAnd, Variant& out) {
  bool any = false, acc = isAnd;
  auto fold = [&](bool b) {
    acc = !any ? b : (isAnd ? acc && b : acc || b);
    any = true;
  };
  for (int i = 1; i <= call.Count(); ++i) {
    std::int32_t st = kCalcOk;
    if (IsReferenceArg(call.Arg(i))) {
      TXLSResolved r;
      st = call.Range(i, r);
      if (st == kCalcOk) {
        st = ev.Walk(r, false, [&](const Variant& v) {
          if (v.IsBoolean()) fold(v.BooleanValue());
          else if (v.IsNumber()) fold(v.NumberValue() != 0);
          return kCalcOk;
        });
      }
    } else if (call.Arg(i)->kind == kNodeMissing) {
      fold(false);  // an argument left out is FALSE
    } else {
      Variant v;
      st = call.Value(i, v);
      // A lookup gives the value of the cell it lands on, not the cell: a blank counts as FALSE.
      if (st == kCalcOk && v.IsEmptyOrNull() && IsLookupCall(call.Arg(i))) v = Variant(false);
      if (st == kCalcOk && v.IsText()) st = TextAsBoolean(v);
      if (st == kCalcOk && !v.IsEmptyOrNull()) {
        st = ConvertValue(v, kWantBoolean);
        if (st == kCalcOk) fold(v.BooleanValue());
      }
    }
    if (st != kCalcOk) return st;
  }
  if (!any) return kErrValue;
  out = Variant(acc);
  return kCalcOk;
}

TXLSCriterion MakeCriterion(const Variant& given, bool date1904) {
  TXLSCriterion c;
  c.op = 3;
  if (!given.IsText()) {
    c.value = given;
    return c;
  }
  std::u16string t = given.TextValue();
  if (!t.empty() && (t[0] == u'=' || t[0] == u'>' || t[0] == u'<')) {
    const char16_t first = t[0];
    t.erase(0, 1);
    if (first == u'=') {
      c.op = 3;
      c.bareEquals = t.empty();
    } else if (first == u'>') {
      c.op = 5;
      if (!t.empty() && t[0] == u'=') c.op = 4, t.erase(0, 1);
    } else {
      c.op = 1;
      if (!t.empty() && t[0] == u'=') c.op = 2, t.erase(0, 1);
      else if (!t.empty() && t[0] == u'>') c.op = 6, t.erase(0, 1);
    }
  }
  c.fromText = true;
  c.text = TXLSFormater::UpperCase(t);
  // What follows the operator reads as arithmetic reads a text (a number, a date, a time); TRUE
  // and FALSE order booleans.
  Variant number(t);
  if (!t.empty() && ConvertValue(number, kWantNumber, date1904) == kCalcOk && number.IsNumber()) c.value = number;
  else if (c.text == u"TRUE" || c.text == u"FALSE") c.value = Variant(c.text == u"TRUE");
  else c.value = Variant(t);
  return c;
}

// VLOOKUP / HLOOKUP / LOOKUP scan: the position (0-based along the scan) of the hit, or -1.
// A sorted scan (of an empty key) takes the last of equal cells, and ends at a greater cell: one
// that follows a candidate, or one of the key's own kind before any. An exact scan hits the first
// equal cell that is not blank (no key, not even an empty one, finds a blank cell), with a pattern
// (a text key with wildcards) the first text cell the pattern matches.
std::int32_t LinearScan(TXLSEvaluator& ev, int sheet, int fixed, int from, int to, bool down, const Variant& key,
                        bool sorted, int& hit, const std::u16string* pattern = nullptr) {
  hit = -1;
  bool equalRun = false;
  Variant v;
  for (int k = from; k <= to; ++k) {
    bool outside = false;
    const int row = down ? k : fixed, column = down ? fixed : k;
    std::int32_t st = ev.Calc().GetCellValue(sheet, row, column, outside, v);
    if (outside) break;
    if (st != kCalcOk) {
      if (!IsErrorCode(st)) return st;
      continue;  // an error cell matches nothing
    }
    if (v.IsError()) continue;
    if (pattern) {
      if (v.IsText() && WildcardMatches(*pattern, v.TextValue())) {
        hit = k - from;
        break;
      }
      continue;
    }
    const int c = CompareForLookup(v, key);
    if (!sorted) {
      if (c == 0 && !v.IsEmptyOrNull()) {
        hit = k - from;
        break;
      }
      continue;
    }
    if (equalRun && c != 0) break;
    if (c <= 0) {
      hit = k - from;
      equalRun = c == 0;
    } else if (hit >= 0 ||
               (!key.IsEmptyOrNull() && !v.IsEmptyOrNull() && ValueClass(v) == ValueClass(key))) {
      break;
    }
  }
  return kCalcOk;
}

// Whether a text key of an exact lookup is a pattern.
bool HasWildcards(const Variant& key) {
  return key.IsText() && key.TextValue().find_first_of(u"*?~") != std::u16string::npos;
}

// The class of a cell a sorted lookup compares with a key of that class: blanks and errors have
// none (kClassOther), no key is of theirs.
int LookupClass(const Variant& v) { return v.IsEmptyOrNull() || v.IsError() ? kClassOther : ValueClass(v); }

// A sorted lookup bisects the cells along its scan as the format's own program does, passing over
// the cells of other classes than the key's (blanks, errors, headings): at each step the middle
// cell of those left (the lower of two middles) is looked at, or when it is of another class the
// nearest cell of the key's class before it, or when there is none the nearest after it. The
// first cell looked at that equals the key ends the bisection, and the hit is the last cell of
// the run of equal cells of the key's class that follows it; without one the hit is the last
// cell looked at that is below the key. Over cells that ascend this is the last one not above
// the key (the last of equal keys, nothing below the first key); over cells in no order, that
// program's own choice. Cells: the cells looked at, with
//   Nearest(at, lo, hi, back, found): the cell of the key's class nearest to at in [lo, hi],
//     walking back (towards lo) or on; found -1 when there is none; a status;
//   Value(at): the value of a cell Nearest has found;
//   RunEnd(at): a cell at or after it up to which the cells of its class hold its very value.
template <class Cells>
std::int32_t Bisect(Cells& cells, int count, const Variant& key, int& hit) {
  hit = -1;
  int lo = 0, hi = count - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    int at = -1;
    std::int32_t st = cells.Nearest(mid, lo, hi, true, at);
    const bool after = st == kCalcOk && at < 0;
    if (after) st = cells.Nearest(mid + 1, lo, hi, false, at);
    if (st != kCalcOk) return st;
    if (at < 0) break;
    const int c = CompareForLookup(cells.Value(at), key);
    if (c == 0) {
      // The run of equal cells that follows, up to the first cell of the key's class that differs.
      for (;;) {
        hit = cells.RunEnd(at);
        if ((st = cells.Nearest(hit + 1, hit + 1, count - 1, false, at)) != kCalcOk) return st;
        if (at < 0 || CompareForLookup(cells.Value(at), key) != 0) return kCalcOk;
      }
    }
    if (c < 0) {
      hit = at;
      lo = (after ? at : mid) + 1;
    } else if (after) {
      break;  // nothing of the key's class from lo up to a cell above the key
    } else {
      hi = at - 1;
    }
  }
  return kCalcOk;
}

// The cells along a scan read one by one as the bisection looks at them.
struct ReadCells {
  TXLSEvaluator& ev;
  int sheet, fixed, from;
  bool down;
  int keyClass;
  Variant v;
  std::int32_t Nearest(int at, int lo, int hi, bool back, int& found) {
    found = -1;
    for (int k = at; back ? k >= lo : k <= hi; k += back ? -1 : 1) {
      bool outside = false;
      const int row = down ? from + k : fixed, column = down ? fixed : from + k;
      const std::int32_t st = ev.Calc().GetCellValue(sheet, row, column, outside, v);
      if (st != kCalcOk && !IsErrorCode(st)) return st;
      if (st == kCalcOk && LookupClass(v) == keyClass) {
        found = k;
        break;
      }
    }
    return kCalcOk;
  }
  const Variant& Value(int) const { return v; }
  int RunEnd(int at) const { return at; }
};

// The cells of a lookup vector, with where the cells of the key's class lie.
struct VectorCells {
  const TXLSLookupVector& vec;
  int keyClass;
  std::int32_t Nearest(int at, int lo, int hi, bool back, int& found) const {
    found = at < lo || at > hi ? -1 : (back ? vec.before : vec.after)[keyClass][static_cast<std::size_t>(at)];
    if (found < lo || found > hi) found = -1;
    return kCalcOk;
  }
  const Variant& Value(int at) const { return vec.values[static_cast<std::size_t>(at)]; }
  int RunEnd(int at) {
    const int end = vec.runEnd[keyClass][static_cast<std::size_t>(at)];
    if (end > at) ++jumps;
    return end;
  }
  std::uint64_t& jumps;
};

// The elements along an array constant's first column (down) or first row.
struct ArrayCells {
  const TXLSCalcArray& a;
  bool down;
  int keyClass;
  const Variant& Value(int at) const { return down ? a.At(at, 0) : a.At(0, at); }
  int RunEnd(int at) const { return at; }
  std::int32_t Nearest(int at, int lo, int hi, bool back, int& found) const {
    found = -1;
    for (int k = at; back ? k >= lo : k <= hi; k += back ? -1 : 1) {
      if (LookupClass(Value(k)) == keyClass) {
        found = k;
        break;
      }
    }
    return kCalcOk;
  }
};

// Reads the cells along the scan up to the used area's edge; a cell holding an error keeps it.
std::int32_t FillLookupVector(TXLSEvaluator& ev, int sheet, int fixed, int from, int count, bool down,
                              TXLSLookupVector& vec) {
  vec.values.assign(static_cast<std::size_t>(count), Variant());
  for (int cls = 0; cls < 4; ++cls) vec.before[cls].clear(), vec.after[cls].clear(), vec.runEnd[cls].clear();
  for (int k = 0; k < count; ++k) {
    bool outside = false;
    const int row = down ? from + k : fixed, column = down ? fixed : from + k;
    Variant& v = vec.values[static_cast<std::size_t>(k)];
    const std::int32_t st = ev.Calc().GetCellValue(sheet, row, column, outside, v);
    if (st != kCalcOk) {
      if (!IsErrorCode(st)) return st;
      v = Variant::Error(st);
    }
  }
  vec.stamp = ev.Calc().Stamp();
  return kCalcOk;
}

// Whether two cells of one class compare alike with every key: the same number, texts alike but
// for letter case, the same truth value.
bool SameLookupValue(const Variant& a, const Variant& b) {
  if (a.IsNumber()) return b.IsNumber() && a.NumberValue() == b.NumberValue();
  return CompareForLookup(a, b) == 0;
}

// Where the cells of a class lie in a lookup vector: the nearest at or before each cell, and at
// or after it (-1 for none); and for each cell of the class the last one of the run of cells of
// the class that hold its value from it on.
void PlaceClass(TXLSLookupVector& vec, int cls) {
  std::vector<std::int32_t>& before = vec.before[cls];
  std::vector<std::int32_t>& after = vec.after[cls];
  std::vector<std::int32_t>& runEnd = vec.runEnd[cls];
  if (!before.empty() || vec.values.empty()) return;
  const std::size_t n = vec.values.size();
  before.resize(n);
  after.resize(n);
  runEnd.assign(n, -1);
  auto of = [&](std::size_t i, std::int32_t last) {
    return LookupClass(vec.values[i]) == cls ? static_cast<std::int32_t>(i) : last;
  };
  for (std::size_t i = 0; i < n; ++i) before[i] = of(i, i ? before[i - 1] : -1);
  for (std::size_t i = n; i-- > 0;) {
    after[i] = of(i, i + 1 < n ? after[i + 1] : -1);
    if (after[i] != static_cast<std::int32_t>(i)) continue;
    const std::int32_t next = i + 1 < n ? after[i + 1] : -1;
    runEnd[i] = next >= 0 && SameLookupValue(vec.values[i], vec.values[static_cast<std::size_t>(next)])
                    ? runEnd[static_cast<std::size_t>(next)]
                    : static_cast<std::int32_t>(i);
  }
}

// A sorted scan bisects the cells up to the used area's edge (the cells below it are blank), read
// once per stamp into a lookup vector; without one, or when a cell of the vector did not
// calculate, the bisection reads the cells it looks at. An empty key scans.
std::int32_t SortedScan(TXLSEvaluator& ev, int sheet, int fixed, int from, int to, bool down, const Variant& key,
                        int& hit) {
  const int keyClass = key.IsEmptyOrNull() ? kClassOther : ValueClass(key);
  if (keyClass == kClassOther) return LinearScan(ev, sheet, fixed, from, to, down, key, true, hit);
  IXLSWorksheet* ws = ev.Calc().Sheet(sheet);
  if (!ws) return kCalcUnresolved;
  const TXLSCellHeap& heap = ws->Cells();
  const int edge = down ? heap.LastRow() : heap.LastColumn(), across = down ? heap.LastColumn() : heap.LastRow();
  const int count = fixed > across ? 0 : std::max(0, std::min(to, edge) - from + 1);
  TXLSLookupVector* vec = ev.Calc().LookupVector(sheet, fixed, from, to, down);
  if (vec && vec->stamp != ev.Calc().Stamp()) {
    // Stamp 0 while it fills: lookups in the formulas it calculates keep this vector.
    vec->stamp = 0;
    vec->scan = false;
    const std::int32_t st = FillLookupVector(ev, sheet, fixed, from, count, down, *vec);
    if (st != kCalcOk) {
      // A cell that does not calculate fails the lookup only when the bisection reaches it: under
      // this stamp the lookups read their cells. A calculation set aside is tried again as a whole.
      vec->stamp = st == kCalcTooDeep ? 0 : ev.Calc().Stamp();
      vec->scan = true;
      if (st == kCalcTooDeep) return st;
    }
  }
  if (!vec || vec->scan || vec->values.size() != static_cast<std::size_t>(count)) {
    ReadCells cells{ev, sheet, fixed, from, down, keyClass, Variant()};
    return Bisect(cells, count, key, hit);
  }
  ++ev.Calc().Counters().bisections;
  PlaceClass(*vec, keyClass);
  VectorCells cells{*vec, keyClass, ev.Calc().Counters().equalRunsJumped};
  return Bisect(cells, count, key, hit);
}

// The first cell of an exact index equal to the key as the scan compares them (numbers to 15
// significant digits, texts without regard to case, an empty key as the empty value of the cell's
// class; blank cells are not entered); -1 when the index holds none.
std::int32_t FirstEqual(const TXLSExactIndex& ix, const Variant& key) {
  std::int32_t hit = -1;
  auto take = [&hit](std::int32_t at) {
    if (at >= 0 && (hit < 0 || at < hit)) hit = at;
  };
  auto number = [&](double x) {
    // The window holds every value equal to x to 15 digits (within 1e-14 of it).
    const double w = 2e-14 * std::fabs(x) + 1e-300;
    for (auto it = ix.numbers.lower_bound(x - w); it != ix.numbers.end() && it->first <= x + w; ++it)
      if (CompareNumbers(it->first, x) == 0) take(it->second);
  };
  auto text = [&](const std::u16string& upper) {
    const auto it = ix.texts.find(upper);
    if (it != ix.texts.end()) take(it->second);
  };
  if (key.IsEmptyOrNull()) {
    number(0.0);
    text(std::u16string());
    take(ix.firstFalse);
  } else if (key.IsNumber()) {
    const double x = key.NumberValue();
    number(x);
  } else if (key.IsText()) {
    text(TXLSFormater::UpperCase(key.TextValue()));
  } else if (key.IsBoolean()) {
    take(key.BooleanValue() ? ix.firstTrue : ix.firstFalse);
  }
  return hit;
}

// Enters a cell read at an offset along the scan (a blank one equals no key). A value of another
// class equals no key that the index answers; a number that is not finite compares equal to
// others (NaN, infinity less infinity), which only the scan gives.
void AddToIndex(TXLSExactIndex& ix, const Variant& v, std::int32_t at) {
  if (v.IsNumber()) {
    if (!std::isfinite(v.NumberValue())) ix.scanOnly = true;
    else ix.numbers.emplace(v.NumberValue(), at);
  } else if (v.IsText()) {
    ix.texts.emplace(TXLSFormater::UpperCase(v.TextValue()), at);
  } else if (v.IsBoolean()) {
    std::int32_t& first = v.BooleanValue() ? ix.firstTrue : ix.firstFalse;
    if (first < 0) first = at;
  }
}

// An exact scan's hit is its first equal cell. From the second lookup of a scan under a stamp the
// cells read stay in an exact index: a later lookup of the same scan takes its hit from there,
// or reads on from where the index ends, cell by cell as the scan does (a cell that does not
// calculate ends it and is read again by the next lookup), so that no lookup reads a cell the
// scan would not read.
std::int32_t ExactScan(TXLSEvaluator& ev, int sheet, int fixed, int from, int to, bool down, const Variant& key,
                       int& hit) {
  const bool indexed = key.IsEmptyOrNull() || key.IsText() || key.IsBoolean() ||
                       (key.IsNumber() && std::isfinite(key.NumberValue()));
  TXLSExactIndex* ix = indexed ? ev.Calc().ExactIndex(sheet, fixed, from, to, down) : nullptr;
  if (!ix || ix->scanOnly || !ix->looked) {
    // A scan looked up once under a stamp is read as it is: the index pays from the second.
    if (ix) ix->looked = true;
    return LinearScan(ev, sheet, fixed, from, to, down, key, false, hit);
  }
  hit = FirstEqual(*ix, key);
  Variant v;
  while (hit < 0 && !ix->ended) {
    const std::int32_t at = ix->next;
    if (at > to - from) {
      ix->ended = true;
      break;
    }
    bool outside = false;
    const int k = from + at;
    const std::int32_t st = ev.Calc().GetCellValue(sheet, down ? k : fixed, down ? fixed : k, outside, v);
    if (ix->next != at) {  // a lookup met while the cell calculated read on
      if (ix->scanOnly) return LinearScan(ev, sheet, fixed, from, to, down, key, false, hit);
      hit = FirstEqual(*ix, key);
      continue;
    }
    if (outside) {
      ix->ended = true;
      break;
    }
    if (st != kCalcOk && !IsErrorCode(st)) return st;
    ix->next = at + 1;
    if (st != kCalcOk || v.IsError()) continue;  // an error cell matches nothing
    AddToIndex(*ix, v, at);
    if (ix->scanOnly) return LinearScan(ev, sheet, fixed, from, to, down, key, false, hit);
    if (CompareForLookup(v, key) == 0 && !v.IsEmptyOrNull()) hit = at;
  }
  ++ev.Calc().Counters().exactIndexed;
  return kCalcOk;
}

std::int32_t Scan(TXLSEvaluator& ev, int sheet, int fixed, int from, int to, bool down, const Variant& key,
                  bool sorted, int& hit) {
  if (!sorted && HasWildcards(key))
    return LinearScan(ev, sheet, fixed, from, to, down, key, false, hit, &key.TextValue());
  return sorted ? SortedScan(ev, sheet, fixed, from, to, down, key, hit)
                : ExactScan(ev, sheet, fixed, from, to, down, key, hit);
}

// An array constant given as a lookup's table or vector (in parentheses or not).
bool IsArrayConstant(const TXLSSyntaxItem* n) {
  n = SkipParens(n);
  return n && n->kind == kNodeArray;
}

// The hit of a lookup along an array constant's first column (down) or first row, or -1.
std::int32_t ScanArray(const TXLSCalcArray& a, bool down, const Variant& key, bool sorted, int& hit) {
  const int count = down ? a.rows : a.columns;
  const int keyClass = key.IsEmptyOrNull() ? kClassOther : ValueClass(key);
  ArrayCells cells{a, down, keyClass};
  hit = -1;
  if (sorted) return keyClass == kClassOther ? kCalcOk : Bisect(cells, count, key, hit);
  const bool pattern = HasWildcards(key);
  for (int k = 0; k < count && hit < 0; ++k) {
    const Variant& v = cells.Value(k);
    if (v.IsError()) continue;
    if (pattern ? v.IsText() && WildcardMatches(key.TextValue(), v.TextValue()) : CompareForLookup(v, key) == 0)
      hit = k;
  }
  return kCalcOk;
}

// An element of an array constant as a lookup's result: its value, or its error.
std::int32_t ElementOf(const TXLSCalcArray& a, int row, int column, Variant& out) {
  const Variant& v = a.At(row, column);
  if (v.IsError()) return v.ErrorCode();
  out = v;
  return kCalcOk;
}

std::int32_t TableLookup(TXLSEvaluator& ev, Call& call, bool vertical, Variant& out) {
  if (call.Count() < 3 || call.Count() > 4) return kErrValue;
  Variant key;
  TXLSResolved t;
  TXLSCalcArray given;
  const bool isArray = IsArrayConstant(call.Arg(2));
  // A table that is a single value (a number, a text, what a function gives) holds nothing to
  // find: #N/A, once the arguments are evaluated.
  const bool isValue = !isArray && !IsReferenceArg(call.Arg(2));
  double index = 0;
  bool sorted = true;
  std::int32_t st = call.Value(1, key);
  if (st == kCalcOk) {
    Variant single;
    st = isArray ? ev.EvaluateArray(call.Arg(2), given) : (isValue ? call.Value(2, single) : call.Range(2, t));
  }
  if (st == kCalcOk) st = call.Number(3, index);
  // A fourth argument given empty is FALSE: the lookup is exact.
  if (st == kCalcOk && call.Count() == 4) {
    if (call.Arg(4)->kind == kNodeMissing) sorted = false;
    else st = call.Boolean(4, sorted);
  }
  if (st != kCalcOk) return st;
  if (isValue) return kErrNA;
  // An index below 1 is #VALUE!, one past the table #REF! (checked as a double: it may be any
  // number).
  const int span = isArray ? (vertical ? given.columns : given.rows)
                           : (vertical ? t.lastColumn - t.firstColumn + 1 : t.lastRow - t.firstRow + 1);
  index = std::trunc(index);
  if (!(index >= 1)) return kErrValue;
  if (index > span) return kErrRef;
  const int n = static_cast<int>(index);
  if (isArray) {
    int hit = -1;
    if ((st = ScanArray(given, vertical, key, sorted, hit)) != kCalcOk) return st;
    if (hit < 0) return kErrNA;
    return vertical ? ElementOf(given, hit, n - 1, out) : ElementOf(given, n - 1, hit, out);
  }
  for (int s = t.firstSheet; s <= t.lastSheet; ++s) {
    int hit = -1;
    st = vertical ? Scan(ev, s, t.firstColumn, t.firstRow, t.lastRow, true, key, sorted, hit)
                  : Scan(ev, s, t.firstRow, t.firstColumn, t.lastColumn, false, key, sorted, hit);
    if (st != kCalcOk) return st;
    if (hit >= 0) {
      bool outside = false;
      return vertical ? ev.ReadCell(s, t.firstRow + hit, t.firstColumn + n - 1, outside, out)
                      : ev.ReadCell(s, t.firstRow + n - 1, t.firstColumn + hit, outside, out);
    }
  }
  return kErrNA;
}

// LOOKUP: the hit's position in the lookup vector picks the same position of the result vector.
// Either may be an array constant.
std::int32_t VectorLookup(TXLSEvaluator& ev, Call& call, Variant& out) {
  if (call.Count() < 2 || call.Count() > 3) return kErrValue;
  Variant key;
  TXLSResolved look, result;
  TXLSCalcArray lookArray, resultArray;
  const bool lookGiven = IsArrayConstant(call.Arg(2)), resultGiven = call.Count() == 3 && IsArrayConstant(call.Arg(3));
  std::int32_t st = call.Value(1, key);
  if (st == kCalcOk) st = lookGiven ? ev.EvaluateArray(call.Arg(2), lookArray) : call.Range(2, look);
  if (st == kCalcOk && call.Count() == 3)
    st = resultGiven ? ev.EvaluateArray(call.Arg(3), resultArray) : call.Range(3, result);
  if (st != kCalcOk) return st;
  const bool down = lookGiven ? lookArray.rows >= lookArray.columns
                              : look.lastRow - look.firstRow >= look.lastColumn - look.firstColumn;
  int hit = -1;
  if (lookGiven) st = ScanArray(lookArray, down, key, true, hit);
  else if (down) st = Scan(ev, look.firstSheet, look.firstColumn, look.firstRow, look.lastRow, true, key, true, hit);
  else st = Scan(ev, look.firstSheet, look.firstRow, look.firstColumn, look.lastColumn, false, key, true, hit);
  if (st != kCalcOk) return st;
  if (hit < 0) return kErrNA;
  bool outside = false;
  if (resultGiven) {
    const bool resultDown = resultArray.rows >= resultArray.columns;
    if (hit >= (resultDown ? resultArray.rows : resultArray.columns)) return kErrNA;
    return resultDown ? ElementOf(resultArray, hit, 0, out) : ElementOf(resultArray, 0, hit, out);
  }
  if (call.Count() == 3) {
    const bool resultDown = result.lastRow - result.firstRow >= result.lastColumn - result.firstColumn;
    const int row = resultDown ? result.firstRow + hit : result.firstRow;
    const int column = resultDown ? result.firstColumn : result.firstColumn + hit;
    if (row > 65535 || column > 255) return kErrNA;
    return ev.ReadCell(result.firstSheet, row, column, outside, out);
  }
  if (lookGiven) {
    return down ? ElementOf(lookArray, hit, lookArray.columns - 1, out)
                : ElementOf(lookArray, lookArray.rows - 1, hit, out);
  }
  return down ? ev.ReadCell(look.firstSheet, look.firstRow + hit, look.lastColumn, outside, out)
              : ev.ReadCell(look.firstSheet, look.lastRow, look.firstColumn + hit, outside, out);
}

// SUMPRODUCT: its arguments are arrays of one size (else #VALUE!); the products of the
// elements at each position are added, an element that is no number (a text, a boolean, a
// blank) making its product 0; an error element is the result.
std::int32_t SumProduct(TXLSEvaluator& ev, Call& call, Variant& out) {
  if (call.Count() < 1) return kErrNA;
  std::vector<TXLSCalcArray> args(static_cast<std::size_t>(call.Count()));
  std::int32_t heldRows = 0, heldColumns = 0;
  for (int i = 1; i <= call.Count(); ++i) {
    TXLSCalcArray& a = args[static_cast<std::size_t>(i - 1)];
    const std::int32_t st = ev.EvaluateArray(call.Arg(i), a);
    if (st != kCalcOk) return st;
    if (a.rows != args[0].rows || a.columns != args[0].columns) return kErrValue;
    heldRows = std::max(heldRows, a.heldRows);
    heldColumns = std::max(heldColumns, a.heldColumns);
  }
  auto product = [&](std::int32_t row, std::int32_t column, double& p) {
    p = 1;
    for (const TXLSCalcArray& a : args) {
      const Variant& v = a.At(row, column);
      if (v.IsError()) return v.ErrorCode();
      p = v.IsNumber() ? p * v.NumberValue() : 0;
    }
    return static_cast<std::int32_t>(kCalcOk);
  };
  double sum = 0, p = 0;
  std::int32_t st = kCalcOk;
  for (std::int32_t i = 0; i < heldRows; ++i) {
    for (std::int32_t j = 0; j < heldColumns; ++j) {
      if ((st = product(i, j, p)) != kCalcOk) return st;
      sum += p;
    }
  }
  // Beyond the held blocks every argument gives its fill.
  const std::int64_t rest = std::int64_t{args[0].rows} * args[0].columns - std::int64_t{heldRows} * heldColumns;
  if (rest > 0) {
    if ((st = product(heldRows < args[0].rows ? heldRows : 0, heldRows < args[0].rows ? 0 : heldColumns, p)) !=
        kCalcOk)
      return st;
    sum += static_cast<double>(rest) * p;
  }
  out = Variant(sum);
  return kCalcOk;
}

// SEARCH's pattern: ? stands for one character, * for any run of them, ~ takes the next one
// as it is. Whether the pattern matches the beginning of text from `from` on (both upper case),
// or, with wholeText, the whole rest of it.
bool SearchMatches(const std::u16string& pattern, const std::u16string& text, std::size_t from,
                   bool wholeText = false) {
  struct Token {
    char16_t c;
    int kind;  // 0 the character, 1 any one, 2 any run
  };
  std::vector<Token> tokens;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'~' && i + 1 < pattern.size()) tokens.push_back({pattern[++i], 0});
    else tokens.push_back({c, c == u'?' ? 1 : (c == u'*' ? 2 : 0)});
  }
  // What follows the pattern does not count: as if it ended with a run.
  if (!wholeText) tokens.push_back({u'*', 2});
  std::size_t p = 0, t = from, star = std::u16string::npos, resume = 0;
  while (t < text.size()) {
    if (p < tokens.size() && tokens[p].kind == 2) {
      if (p + 1 == tokens.size()) return true;
      star = p++;
      resume = t;
    } else if (p < tokens.size() && (tokens[p].kind == 1 || tokens[p].c == text[t])) {
      ++p, ++t;
    } else if (star != std::u16string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < tokens.size() && tokens[p].kind == 2) ++p;
  return p == tokens.size();
}

// SEARCH (pattern, text, start): the 1-based position of the first match at or after start,
// letters compared without case (an empty pattern matches at start); no match or a start
// outside the text give #VALUE!.
std::int32_t SearchText(Call& call, Variant& out) {
  const int n = call.Count();
  if (n < 2 || n > 3) return kErrValue;
  std::u16string pattern, text;
  double start = 1;
  std::int32_t st = kCalcOk;
  if ((st = call.Text(1, pattern)) != kCalcOk || (st = call.Text(2, text)) != kCalcOk) return st;
  if (n == 3 && (st = call.Number(3, start)) != kCalcOk) return st;
  start = std::trunc(start);
  if (start < 1 || start > static_cast<double>(text.size())) return kErrValue;
  if (pattern.empty()) {
    out = Variant(start);
    return kCalcOk;
  }
  pattern = TXLSFormater::UpperCase(pattern);
  text = TXLSFormater::UpperCase(text);
  for (std::size_t from = static_cast<std::size_t>(start) - 1; from < text.size(); ++from) {
    if (SearchMatches(pattern, text, from)) {
      out = Variant(static_cast<double>(from + 1));
      return kCalcOk;
    }
  }
  return kErrValue;
}

std::int32_t NpvOf(TXLSEvaluator& ev, Call& call, Variant& out) {
  if (call.Count() < 2) return kErrNA;
  double rate = 0;
  std::int32_t st = call.Number(1, rate);
  if (st != kCalcOk) return st;
  if (rate == -1) return kErrDiv0;
  const double f = 1 / (1 + rate);
  double d = 1, sum = 0;
  auto fold = [&](const Variant& v) {
    if (v.IsNumber()) {
      d *= f;
      sum += v.NumberValue() * d;
    }
    return kCalcOk;
  };
  for (int i = 2; i <= call.Count(); ++i) {
    if (IsReferenceArg(call.Arg(i))) {
      TXLSResolved r;
      st = call.Range(i, r);
      if (st == kCalcOk) st = ev.Walk(r, false, fold);
    } else {
      Variant v;
      st = call.Value(i, v);
      if (st == kCalcOk) st = fold(v);
    }
    if (st != kCalcOk) return st;
  }
  out = Variant(sum);
  return kCalcOk;
}

// The criterion of COUNTIF and SUMIF. A range given as the criterion is one value: the cell in
// the formula's row (a column of cells) or column (a row of cells); a formula beside the range
// meets no cell of it, and its criterion is #VALUE!. An error, given, met or in that cell, is the
// criterion: the cells holding it pass.
std::int32_t CriterionValue(TXLSEvaluator& ev, Call& call, Variant& given) {
  std::int32_t st = kCalcOk;
  TXLSResolved r;
  if (IsReferenceArg(call.Arg(2)) && call.Range(2, r) == kCalcOk && !r.OneCell()) {
    const bool inRow = r.firstColumn == r.lastColumn && ev.Row() >= r.firstRow && ev.Row() <= r.lastRow;
    const bool inColumn = r.firstRow == r.lastRow && ev.Column() >= r.firstColumn && ev.Column() <= r.lastColumn;
    if (inRow || inColumn) {
      bool outside = false;
      st = ev.ReadCell(r.firstSheet, inRow ? ev.Row() : r.firstRow, inColumn ? ev.Column() : r.firstColumn, outside,
                       given);
    } else {
      st = kErrValue;
    }
  } else {
    st = call.Value(2, given);
  }
  if (IsErrorCode(st)) {
    given = Variant::Error(st);
    return kCalcOk;
  }
  return st;
}

std::int32_t Conditional(TXLSEvaluator& ev, Call& call, bool sum, Variant& out) {
  if (sum ? (call.Count() < 2 || call.Count() > 3) : call.Count() != 2) return kErrNA;
  TXLSResolved range, values;
  Variant given;
  std::int32_t st = call.Range(1, range);
  if (st == kCalcOk) st = CriterionValue(ev, call, given);
  if (st == kCalcOk && sum && call.Count() == 3) st = call.Range(3, values);
  if (st != kCalcOk) return st;
  if (sum && call.Count() == 3) {
    // The cells summed are those of the criteria range's shape from the sum range's first cell.
    values.lastRow = std::min(values.firstRow + (range.lastRow - range.firstRow), 65535);
    values.lastColumn = std::min(values.firstColumn + (range.lastColumn - range.firstColumn), 255);
  }
  const TXLSCriterion crit = MakeCriterion(given, ev.Calc().Book().GetDate1904());
  double acc = 0;
  if (!sum) {
    st = ev.Walk(range, true, [&](const Variant& v) {
      if (crit.Passes(v)) acc += 1;
      return kCalcOk;
    });
  } else {
    st = ev.WalkPaired(range, call.Count() == 3 ? values : range, [&](const Variant& c, const Variant& v) {
      if (!crit.Passes(c)) return static_cast<std::int32_t>(kCalcOk);
      if (v.IsError()) return v.ErrorCode();
      if (v.IsNumber()) acc += v.NumberValue();
      return static_cast<std::int32_t>(kCalcOk);
    });
  }
  if (st != kCalcOk) return st;
  out = Variant(acc);
  return kCalcOk;
}

// One-argument functions of a number.
std::int32_t MathOne(int fn, double x, Variant& out) {
  double r = 0;
  switch (fn) {
    case kSin: r = std::sin(x); break;
    case kCos: r = std::cos(x); break;
    case kTan: r = std::tan(x); break;
    case kAtan: r = std::atan(x); break;
    case kSqrt: if (x < 0) return kErrNum; r = std::sqrt(x); break;
    case kSqrtPi: if (x < 0) return kErrNum; r = std::sqrt(x * 3.141592653589793); break;
    case kExp: r = std::exp(x); break;
    case kLn: if (x <= 0) return kErrNum; r = std::log(x); break;
    case kLog10: if (x <= 0) return kErrNum; r = std::log10(x); break;
    case kAbs: r = std::fabs(x); break;
    case kInt: r = FloorTolerant(x); break;
    case kSign: r = x > 0 ? 1 : (x < 0 ? -1 : 0); break;
    case kNormSInv:
      if (!(x > 0 && x < 1)) return kErrNum;
      r = NormSInv(x);
      break;
    default: return kCalcNotComputable;
  }
  if (!std::isfinite(r)) return kErrNum;
  out = Variant(r);
  return kCalcOk;
}

// The date functions' calendar counts in serials of the 1900 system: a 1904 book's serials go
// there and back through the workbook's date system.
double Serial1900(const TXLSWorkbook& book, double serial) {
  return book.GetDate1904() ? DateTimeToSerial(book.DateOfSerial(serial)) : serial;
}

Variant DateResult(const TXLSWorkbook& book, double serial1900) {
  if (book.GetDate1904()) return Variant(book.SerialOfDate(SerialToDateTime(serial1900)));
  // A date value holds no 29 February 1900: the serials before March 1900 stay numbers.
  return serial1900 >= 61 ? Variant::Date(serial1900) : Variant(serial1900);
}

std::int32_t DatePart(int fn, double x, Variant& out) {
  if (x < 0 || x > 2958465.99999999) return kErrNum;
  const std::int64_t days = static_cast<std::int64_t>(std::floor(x));
  std::int64_t y = 0;
  int m = 0, d = 0;
  CivilFromSerial(days, y, m, d);
  out = Variant(fn == kDay ? d : (fn == kMonth ? m : static_cast<int>(y)));
  return kCalcOk;
}

}  // namespace

bool WildcardMatches(const std::u16string& pattern, const std::u16string& text) {
  return SearchMatches(TXLSFormater::UpperCase(pattern), TXLSFormater::UpperCase(text), 0, true);
}

bool TakesSingleValues(int function) {
  switch (function) {
    case kIf: case kSin: case kCos: case kTan: case kAtan: case kSqrt: case kExp: case kLn: case kLog10:
    case kAbs: case kInt: case kSign: case kRound: case kMid: case kLen: case kValue: case kNot: case kMod:
    case kText: case kDate: case kDay: case kMonth: case kYear: case kWeekday: case kLog: case kLower:
    case kUpper: case kProper: case kLeft: case kRight: case kIsText: case kIsNumber: case kIsBlank:
    case kTrunc: case kRoundUp: case kRoundDown: case kFloor: case kCeiling: case kNormSInv:
    case kConcatenate: case kPower: case kSearch:
      return true;
    default:
      return false;
  }
}

std::int32_t TXLSEvaluator::CallFunction(const TXLSSyntaxItem* node, bool rangeMode, int wanted, Variant& out) {
  (void)wanted;
  Call call(*this, node);
  const int n = call.Count();
  const int fn = node->value;
  std::int32_t st = kCalcOk;
  double x = 0, y = 0;
  std::u16string s;
  try {
    switch (fn) {
      case kCount: case kSum: case kAverage: case kMin: case kMax: case kCountA:
        return Aggregate(*this, call, fn, out);
      case kIf: {
        if (n < 2 || n > 3) return kErrValue;
        bool c = false;
        if ((st = call.Boolean(1, c)) != kCalcOk) return st;
        if (c) return Evaluate(call.Arg(2), rangeMode, kWantNone, out);
        if (n == 3) return Evaluate(call.Arg(3), rangeMode, kWantNone, out);
        out = Variant(false);
        return kCalcOk;
      }
      case kRow: case kColumn: case kRows: case kColumns: {
        if (n == 0 && (fn == kRow || fn == kColumn)) {
          out = Variant((fn == kRow ? row_ : column_) + 1);
          return kCalcOk;
        }
        if (n != 1) return kCalcNotComputable;
        TXLSResolved r;
        st = call.Range(1, r);
        if (st == kErrValue) return kCalcNotComputable;
        if (st != kCalcOk) return st;
        if (fn == kRow) out = Variant(r.firstRow + 1);
        else if (fn == kColumn) out = Variant(r.firstColumn + 1);
        else if (fn == kRows) out = Variant(r.lastRow - r.firstRow + 1);
        else out = Variant(r.lastColumn - r.firstColumn + 1);
        return kCalcOk;
      }
      case kNa:
        return kErrNA;
      case kNpv:
        return NpvOf(*this, call, out);
      case kSin: case kCos: case kTan: case kAtan: case kSqrt: case kExp: case kLn: case kLog10: case kAbs:
      case kInt: case kSign: case kNormSInv:
        if (n != 1) return kErrValue;
        if ((st = call.Number(1, x)) != kCalcOk) return st;
        return MathOne(fn, x, out);
      case kPi:
        out = Variant(3.141592653589793);
        return kCalcOk;
      case kRound: case kTrunc: case kRoundDown: case kRoundUp: {
        if (fn == kRound ? n != 2 : (n < 1 || n > 2)) return kErrValue;
        if ((st = call.Number(1, x)) != kCalcOk) return st;
        if (n == 2 && (st = call.Number(2, y)) != kCalcOk) return st;
        double (*rule)(double) = fn == kRound ? RoundHalfAway : (fn == kRoundUp ? RoundAway : RoundTruncate);
        out = Variant(RoundDigits(x, y, rule));
        return kCalcOk;
      }
      case kLookup:
        return VectorLookup(*this, call, out);
      case kHLookup: case kVLookup:
        return TableLookup(*this, call, fn == kVLookup, out);
      case kMid: {
        if (n != 3) return kCalcMalformed;
        if ((st = call.Text(1, s)) != kCalcOk || (st = call.Number(2, x)) != kCalcOk ||
            (st = call.Number(3, y)) != kCalcOk)
          return st;
        if (x < 1 || y < 0) return kErrValue;
        const double start = std::trunc(x) - 1;
        out = Variant(start >= static_cast<double>(s.size())
                          ? std::u16string()
                          : s.substr(static_cast<std::size_t>(start),
                                     static_cast<std::size_t>(std::min(std::trunc(y), 1e9))));
        return kCalcOk;
      }
      case kLen:
        if (n != 1) return kErrValue;
        if ((st = call.Text(1, s)) != kCalcOk) return st;
        out = Variant(static_cast<int>(WideToAnsi(s).size()));
        return kCalcOk;
      case kValue:
        if (n != 1) return kErrValue;
        return Evaluate(call.Arg(1), false, kWantNumber, out);
      case kTrue: case kFalse:
        out = Variant(fn == kTrue);
        return kCalcOk;
      case kAnd: case kOr:
        return Logical(*this, call, fn == kAnd, out);
      case kNot: {
        if (n != 1) return kErrValue;
        bool b = false;
        if ((st = call.Boolean(1, b)) != kCalcOk) return st;
        out = Variant(!b);
        return kCalcOk;
      }
      case kMod:
        if (n != 2) return kErrValue;
        if ((st = call.Number(1, x)) != kCalcOk || (st = call.Number(2, y)) != kCalcOk) return st;
        if (y == 0) return kErrDiv0;
        out = Variant(x - y * std::floor(x / y));
        return kCalcOk;
      case kText: {
        if (n != 2) return kErrValue;
        Variant v;
        if ((st = call.Value(1, v)) != kCalcOk || (st = call.Text(2, s)) != kCalcOk) return st;
        // A text that reads as a number, date or time is formatted as that number.
        if (Variant number = v; v.IsText() && ConvertValue(number, kWantNumber, calc_.Book().GetDate1904()) == kCalcOk)
          v = number;
        // A calendar date of a 1904 book's serial (a duration, [h]:mm, is no date).
        if (v.IsNumber() && !v.IsDate() && TXLSFormater::IsDateFormat(s) && s.find(u'[') == std::u16string::npos)
          v = Variant(Serial1900(calc_.Book(), v.NumberValue()));
        try {
          out = Variant(calc_.Formater().FormatValueEx(v, TXLSFormater::MapDateLetters(s), false));
        } catch (const std::exception&) {
          out = Variant();
        }
        return kCalcOk;
      }
      case kRand: {
        static std::mt19937_64 engine{std::random_device{}()};
        out = Variant(std::uniform_real_distribution<double>(0.0, 1.0)(engine));
        return kCalcOk;
      }
      case kDate: {
        if (n != 3) return kCalcMalformed;
        double m = 0, d = 0;
        if ((st = call.Number(1, x)) != kCalcOk || (st = call.Number(2, m)) != kCalcOk ||
            (st = call.Number(3, d)) != kCalcOk)
          return st;
        x = std::trunc(x), m = std::trunc(m), d = std::trunc(d);
        if (x < 0 || x > 9999 || std::fabs(m) > 1e6 || std::fabs(d) > 1e8) return kErrNum;
        if (x < 1900) x += 1900;
        const double days = SerialFromCivil(static_cast<std::int64_t>(x), static_cast<std::int64_t>(m),
                                            static_cast<std::int64_t>(d));
        if (days < 0 || days > 2958465) return kErrNum;
        out = DateResult(calc_.Book(), days);
        if (out.NumberValue() < 0) return kErrNum;  // before a 1904 book's first day
        return kCalcOk;
      }
      case kDay: case kMonth: case kYear:
        if (n != 1) return kErrValue;
        if ((st = call.Number(1, x)) != kCalcOk) return st;
        return x < 0 ? kErrNum : DatePart(fn, Serial1900(calc_.Book(), x), out);
      case kWeekday: {
        if (n < 1 || n > 2) return kErrValue;
        y = 1;
        if ((st = call.Number(1, x)) != kCalcOk) return st;
        if (n == 2 && (st = call.Number(2, y)) != kCalcOk) return st;
        // Dates end with 9999-12-31; the type is compared as the number it is.
        if (x < 0) return kErrNum;
        x = Serial1900(calc_.Book(), x);
        if (x > 2958465.99999999) return kErrNum;
        const std::int64_t days = static_cast<std::int64_t>(std::floor(x));
        const double type = std::trunc(y);
        int w = 0;
        if (type == 2) w = static_cast<int>((days + 5) % 7) + 1;
        else if (type == 3) w = static_cast<int>((days + 5) % 7);
        else w = static_cast<int>((days + 6) % 7) + 1;
        out = Variant(w);
        return kCalcOk;
      }
      case kNow: case kToday:
        out = DateResult(calc_.Book(), NowAsDateValue(fn == kToday));
        return kCalcOk;
      case kLog:
        if (n < 1 || n > 2) return kErrValue;
        y = 10;
        if ((st = call.Number(1, x)) != kCalcOk) return st;
        if (n == 2 && (st = call.Number(2, y)) != kCalcOk) return st;
        if (x <= 0 || y <= 0) return kErrNum;
        if (y == 1) return kErrDiv0;
        out = Variant(std::log(x) / std::log(y));
        return kCalcOk;
      case kLower: case kUpper: case kProper:
        if (n != 1) return kErrValue;
        if ((st = call.Text(1, s)) != kCalcOk) return st;
        out = Variant(fn == kLower ? TXLSFormater::LowerCase(s)
                                   : (fn == kUpper ? TXLSFormater::UpperCase(s) : TXLSFormater::ProperCase(s)));
        return kCalcOk;
      case kLeft: case kRight: {
        if (n < 1 || n > 2) return kErrValue;
        y = 1;
        if ((st = call.Text(1, s)) != kCalcOk) return st;
        if (n == 2 && (st = call.Number(2, y)) != kCalcOk) return st;
        if (y < 0) return kErrValue;
        const std::size_t k = static_cast<std::size_t>(std::min(std::trunc(y), static_cast<double>(s.size())));
        out = Variant(fn == kLeft ? s.substr(0, k) : s.substr(s.size() - k));
        return kCalcOk;
      }
      case kIsText: case kIsBlank: case kIsNumber: {
        if (n != 1) return kErrValue;
        Variant v;
        // An error value is neither text, blank nor a number: these functions exist to test values.
        if ((st = call.Value(1, v)) != kCalcOk) {
          if (!IsErrorCode(st)) return st;
          out = Variant(false);
          return kCalcOk;
        }
        out = Variant(fn == kIsText ? v.IsText() : fn == kIsBlank ? v.IsEmptyOrNull() : v.IsNumber());
        return kCalcOk;
      }
      case kSumProduct:
        return SumProduct(*this, call, out);
      case kSearch:
        return SearchText(call, out);
      case kFloor: case kCeiling: {
        if (n != 2) return kErrValue;
        if ((st = call.Number(1, x)) != kCalcOk || (st = call.Number(2, y)) != kCalcOk) return st;
        if (x == 0) {
          out = Variant(0);
          return kCalcOk;
        }
        // CEILING to a significance of 0 (a blank cell) is 0, FLOOR to it #DIV/0!; a number and a
        // significance of opposite signs are #NUM!.
        if (y == 0) {
          if (fn == kFloor) return kErrDiv0;
          out = Variant(0);
          return kCalcOk;
        }
        if ((x > 0 && y < 0) || (x < 0 && y > 0)) return kErrNum;
        const double q = x / y;
        out = Variant((fn == kFloor ? FloorTolerant(q) : CeilTolerant(q)) * y);
        return kCalcOk;
      }
      case kConcatenate: {
        std::u16string all;
        for (int i = 1; i <= n; ++i) {
          if ((st = call.Text(i, s)) != kCalcOk) return st;
          all += s;
        }
        out = Variant(all);
        return kCalcOk;
      }
      case kPower:
        if (n != 2) return kErrValue;
        if ((st = call.Number(1, x)) != kCalcOk || (st = call.Number(2, y)) != kCalcOk) return st;
        return PowerOf(x, y, out);
      case kSumIf: case kCountIf:
        return Conditional(*this, call, fn == kSumIf, out);
      case kAddIn: {
        // Add-in functions: the first argument names the function.
        const TXLSSyntaxItem* name = call.Arg(1);
        if (!name || name->kind != kNodeName || !name->range) return kCalcNotComputable;
        const std::u16string text =
            TXLSFormater::UpperCase(calc_.Externs().GetAddInName(name->range->externId, name->value));
        if (text != u"SQRTPI") return kCalcNotComputable;
        if (n != 2) return kErrValue;
        if ((st = call.Number(2, x)) != kCalcOk) return st;
        return MathOne(kSqrtPi, x, out);
      }
      default:
        return kCalcNotComputable;
    }
  } catch (const std::exception&) {
    return kErrNum;
  }
}

}  // namespace xls
