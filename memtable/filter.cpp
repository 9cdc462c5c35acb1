#include "memtable/filter.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <strings.h>

#include "platform/dataset/date_time.h"
#include "platform/dataset/mask.h"
#include "platform/dataset/native_bytes.h"
#include "memtable/errors.h"
#include "memtable/mem_table.h"

namespace memtable {

using namespace dataset;

FieldType FilterFieldType(FieldType type) {
  switch (type) {
    case ftCurrency: return ftFloat;
    case ftAutoInc: return ftInteger;
    case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
    case ftOraBlob: case ftOraClob:
      return ftBlob;
    case ftFixedChar: case ftWideString: return ftString;
    case ftCursor: case ftReference: case ftDataSet: case ftVariant: case ftInterface: case ftIDispatch: case ftGuid:
      return ftUnknown;
    default:
      return type;
  }
}

void BuildFilter(TmvxCustomMemTable& table, std::unique_ptr<ParsedFilter>& filterData, const std::string& text,
                 FilterOptions filterOptions) {
  filterData.reset();
  std::size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return;
  auto lookup = [&table](const std::string& name, FieldType& type) {
    Field* f = table.FindField(name);
    if (!f) return false;
    type = FilterFieldType(f->DataType());
    return true;
  };
  auto data = std::make_unique<ParsedFilter>();
  data->Parser = std::make_unique<ExprParser>(text, filterOptions, lookup);
  // Resolve every field node once.
  std::vector<const ExprNode*> stack{&data->Parser->Root()};
  while (!stack.empty()) {
    const ExprNode* n = stack.back();
    stack.pop_back();
    if (n->Class == nodeFIELD) data->Fields[n] = &table.FieldByName(n->FieldName);
    for (const auto& op : n->Operands) stack.push_back(op.get());
    if (n->Next) stack.push_back(n->Next.get());
  }
  CompileFilter(table, *data);
  filterData = std::move(data);
}

void FreeFilter(std::unique_ptr<ParsedFilter>& filterData) { filterData.reset(); }

namespace {

// A constant's bytes as a native value; too few bytes give zero.
template <typename T>
T Load(const std::vector<std::uint8_t>& d) {
  return d.size() >= sizeof(T) ? LoadNative<T>(d.data()) : T{};
}

std::string AsciiUpper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string AsciiLower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void Unsupported(int op) {
  throw EMemTableFilterError("Operator not supported (" + std::to_string(op) + ").");
}

Variant Constant(const ExprNode& n) {
  if (n.ConstNull) return Variant::MakeNull();
  const auto& d = n.ConstData;
  switch (n.ConstType) {
    case ftString:
    case ftFixedChar: return Variant(std::string(reinterpret_cast<const char*>(d.data()), strnlen(reinterpret_cast<const char*>(d.data()), d.size())));
    case ftSmallint: return Variant(static_cast<int>(Load<std::int16_t>(d)));
    case ftWord: return Variant(static_cast<int>(Load<std::uint16_t>(d)));
    case ftInteger:
    case ftAutoInc: return Variant(static_cast<int>(Load<std::int32_t>(d)));
    case ftBoolean: return Variant(Load<std::int16_t>(d) > 0);
    case ftFloat:
    case ftCurrency: return Variant(Load<double>(d));
    case ftBCD:
    case ftFMTBcd: return Variant(static_cast<double>(Load<std::int64_t>(d)) / 10000.0);
    case ftDate: return Variant::MakeDateTime(static_cast<double>(static_cast<std::int64_t>(Load<std::int32_t>(d)) - kDateDelta));
    case ftTime: return Variant::MakeDateTime(Load<std::int32_t>(d) / kMsPerDay);
    case ftDateTime: return Variant::MakeDateTime(TimeStampToDateTime(MSecsToTimeStamp(std::round(Load<double>(d)))));
    case ftTimeStamp: {
      auto ts = Load<SqlTimeStamp>(d);
      if (!ValidDate(ts.Year, ts.Month, ts.Day)) return Variant::MakeNull();
      return Variant::MakeDateTime(EncodeDate(ts.Year, ts.Month, ts.Day) + EncodeTime(ts.Hour, ts.Minute, ts.Second, 0));
    }
    default:
      throw EMemTableFilterError("Unknown fieldtype (" + std::to_string(static_cast<int>(n.ConstType)) + ")");
  }
}

std::string TrimText(const std::string& s, bool left, bool right) {
  std::size_t b = 0, e = s.size();
  if (left)
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  if (right)
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

Variant CallFunction(TmvxCustomMemTable& table, const ParsedFilter& f, const ExprNode& n) {
  std::string name = AsciiUpper(n.FunctionName);
  std::vector<Variant> args;
  for (const auto& a : n.Operands) args.push_back(EvaluateNode(table, f, *a));
  auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : Variant::MakeNull(); };
  auto anyNull = [&](std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
      if (arg(i).IsNull()) return true;
    return false;
  };
  if (name == "GETDATE") return Variant::MakeDateTime(Now());
  static const char* const kKnown[] = {"UPPER", "LOWER", "SUBSTRING", "TRIM", "TRIMLEFT", "TRIMRIGHT", "YEAR",
                                       "MONTH", "DAY", "HOUR", "MINUTE", "SECOND", "DATE", "TIME"};
  bool known = false;
  for (const char* k : kKnown) known = known || name == k;
  if (!known) throw EMemTableFilterError("Invalid function name " + n.FunctionName);
  if (anyNull(1)) return Variant::MakeNull();
  if (name == "UPPER") return Variant(AsciiUpper(arg(0).ToString()));
  if (name == "LOWER") return Variant(AsciiLower(arg(0).ToString()));
  if (name == "TRIM") return Variant(TrimText(arg(0).ToString(), true, true));
  if (name == "TRIMLEFT") return Variant(TrimText(arg(0).ToString(), true, false));
  if (name == "TRIMRIGHT") return Variant(TrimText(arg(0).ToString(), false, true));
  if (name == "SUBSTRING") {
    std::string text = arg(0).ToString();
    if (arg(1).IsNull()) return Variant::MakeNull();
    std::string startText = arg(1).ToString();
    std::int64_t start = 0, count = arg(2).IsNull() ? 0 : arg(2).ToInt();
    std::size_t comma = startText.find(',');
    if (comma != std::string::npos) {
      start = Variant(startText.substr(0, comma)).ToInt();
      if (count == 0) count = Variant(startText.substr(comma + 1)).ToInt();
    } else {
      start = arg(1).ToInt();
    }
    if (count == 0) count = static_cast<std::int64_t>(text.size());
    if (start < 1) start = 1;
    if (count < 0 || start > static_cast<std::int64_t>(text.size())) return Variant(std::string());
    return Variant(text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
  }
  int y, m, d, h, mi, s, ms;
  if (name == "YEAR" || name == "MONTH" || name == "DAY") {
    DecodeDate(arg(0).ToDouble(), y, m, d);
    return Variant(name == "YEAR" ? y : (name == "MONTH" ? m : d));
  }
  if (name == "HOUR" || name == "MINUTE" || name == "SECOND") {
    DecodeTime(arg(0).ToDouble(), h, mi, s, ms);
    return Variant(name == "HOUR" ? h : (name == "MINUTE" ? mi : s));
  }
  // DATE and TIME.
  bool isDate = name == "DATE";
  if (args.size() >= 2) {
    if (arg(1).IsNull()) return Variant::MakeNull();
    double v;
    std::string text = arg(0).ToString();
    if (!ParseWithFormat(text, arg(1).ToString(), v))
      throw VariantError("'" + text + "' is not a valid " + (isDate ? "date" : "time"));
    return Variant::MakeDateTime(isDate ? std::floor(v) : v - std::floor(v));
  }
  double v = arg(0).ToDouble();
  return Variant::MakeDateTime(isDate ? std::trunc(v) : v - std::trunc(v));
}

Variant ListValue(TmvxCustomMemTable& table, const ParsedFilter& f, const ExprNode& head) {
  std::vector<Variant> items;
  for (const ExprNode* e = &head; e; e = e->Next.get()) {
    if (e->Operands.empty()) continue;
    Variant v = EvaluateNode(table, f, *e->Operands[0]);
    if (v.IsArray()) {
      for (const Variant& x : v.items()) {
        if (x.IsNull()) break;
        items.push_back(x);
      }
    } else {
      items.push_back(std::move(v));
    }
  }
  if (items.size() < 2) {
    if (items.empty() || items[0].IsNull()) return Variant::MakeNull();
    // One element stands for itself: a number stays a number, so that it compares as one.
    return items[0];
  }
  return Variant(std::move(items));
}

Variant ApplyBinary(const ExprNode& n, const Variant& a, const Variant& b) {
  bool null = a.IsNull() || b.IsNull();
  switch (n.Operator) {
    case coEQ: case coNE: case coGT: case coLT: case coGE: case coLE: {
      if (null) return Variant(false);
      int c = Variant::Compare(a, b);
      switch (n.Operator) {
        case coEQ: return Variant(c == 0);
        case coNE: return Variant(c != 0);
        case coGT: return Variant(c > 0);
        case coLT: return Variant(c < 0);
        case coGE: return Variant(c >= 0);
        default: return Variant(c <= 0);
      }
    }
    case coAND: return null ? Variant(false) : Variant::And(a, b);
    case coOR: return null ? Variant(false) : Variant::Or(a, b);
    case coADD: return null ? Variant::MakeNull() : Variant::Add(a, b);
    case coSUB: return null ? Variant::MakeNull() : Variant::Subtract(a, b);
    case coMUL: return null ? Variant::MakeNull() : Variant::Multiply(a, b);
    case coDIV: return null ? Variant::MakeNull() : Variant::Divide(a, b);
    case coMOD: case coREM: return null ? Variant::MakeNull() : Variant::Modulo(a, b);
    case coLIKE:
      if (null) return Variant(false);
      try {
        return Variant(MatchesMask(a.ToString(), b.ToString()));
      } catch (const MaskError& e) {
        throw EMemTableFilterError(e.what());
      }
    case coIN:
      if (null) return Variant(false);
      if (b.IsArray()) {
        for (const Variant& x : b.items()) {
          if (x.IsNull()) break;
          if (Variant::Compare(a, x) == 0) return Variant(true);
        }
        return Variant(false);
      }
      return Variant(Variant::Compare(a, b) == 0);
    default: Unsupported(n.Operator);
  }
}

}  // namespace

Variant EvaluateNode(TmvxCustomMemTable& table, const ParsedFilter& f, const ExprNode& n) {
  switch (n.Class) {
    case nodeUNARY: {
      Variant v = EvaluateNode(table, f, *n.Operands[0]);
      switch (n.Operator) {
        case coISBLANK: return Variant(v.IsNull());
        case coNOTBLANK: return Variant(!v.IsNull());
        case coNOT: return v.IsNull() ? Variant::MakeNull() : Variant(!v.ToBool());
        case coMINUS: return v.IsNull() ? v : Variant::Negate(v);
        case coUPPER: return v.IsNull() ? v : Variant(AsciiUpper(v.ToString()));
        case coLOWER: return v.IsNull() ? v : Variant(AsciiLower(v.ToString()));
        default: return Variant();
      }
    }
    case nodeBINARY: {
      // A chain of binary operators (a OR b OR c ..., a + b + c ...) leans to the left;
      // it is folded from its innermost operand upwards without recursion, so a long
      // flat chain costs no stack.
      std::vector<const ExprNode*> spine;
      const ExprNode* e = &n;
      while (e->Class == nodeBINARY) {
        spine.push_back(e);
        e = e->Operands[0].get();
      }
      Variant acc = EvaluateNode(table, f, *e);
      for (std::size_t i = spine.size(); i-- > 0;) {
        Variant b = EvaluateNode(table, f, *spine[i]->Operands[1]);
        acc = ApplyBinary(*spine[i], acc, b);
      }
      return acc;
    }
    case nodeCOMPARE: {
      Variant a = EvaluateNode(table, f, *n.Operands[0]);
      Variant b = EvaluateNode(table, f, *n.Operands[1]);
      if (n.Operator != coEQ && n.Operator != coNE && n.Operator != coLIKE) Unsupported(n.Operator);
      if (a.IsNull() || b.IsNull()) return Variant(false);
      std::string x = a.ToString(), y = b.ToString();
      if (n.Operator == coLIKE) {
        try {
          return Variant(MatchesMask(x, y));
        } catch (const MaskError& e) {
          throw EMemTableFilterError(e.what());
        }
      }
      if (n.CaseInsensitive) {
        x = AsciiUpper(x);
        y = AsciiUpper(y);
      }
      if (n.PartialLength > 0) {
        x = x.substr(0, static_cast<std::size_t>(n.PartialLength));
        y = y.substr(0, static_cast<std::size_t>(n.PartialLength));
      }
      return Variant(n.Operator == coEQ ? x == y : x != y);
    }
    case nodeFIELD: {
      if (n.Operator != coFIELD2) throw EMemTableFilterError("Unknown operator (" + std::to_string(n.Operator) + ")");
      auto it = f.Fields.find(&n);
      Field* field = it != f.Fields.end() ? it->second : &table.FieldByName(n.FieldName);
      return field->Value();
    }
    case nodeCONST: return Constant(n);
    case nodeFUNC:
      if (n.Operator != coFUNC2) Unsupported(n.Operator);
      return CallFunction(table, f, n);
    case nodeLISTELEM:
      if (n.Operator != coLISTELEM2) Unsupported(n.Operator);
      return ListValue(table, f, n);
    default:
      return Variant::MakeNull();
  }
}

Variant EvaluateFilter(TmvxCustomMemTable& table, const ParsedFilter& filterData) {
  try {
    return EvaluateNode(table, filterData, filterData.Parser->Root());
  } catch (const DateRangeError& e) {
    // Date arithmetic that leaves the calendar, a date field holding no day.
    throw EMemTableFilterError(e.what());
  }
}

bool FilterRecordWith(TmvxCustomMemTable& table, PmvxRecord record, const ParsedFilter& filterData) {
  if (filterData.Compiled) return EvaluateCompiled(*filterData.Compiled, record);
  PmvxRecord saved = table.BufferOverride();
  table.SetBufferOverride(record);
  Variant v;
  try {
    v = EvaluateFilter(table, filterData);
  } catch (...) {
    table.SetBufferOverride(saved);
    throw;
  }
  table.SetBufferOverride(saved);
  return !v.IsNull() && v.ToBool();
}

bool IsFiltered(TmvxCustomMemTable& table) {
  return table.StatusFilter != 0 || table.Common().DeletedCount() > 0 ||
         (table.Filtered() && (table.GetParsedFilter() || table.OnFilterRecord)) || table.RangeActive() ||
         table.MasterLinkActive();
}

bool AcceptRecord(TmvxCustomMemTable& table, PmvxRecord record, bool forceFilter) {
  if (!forceFilter && !IsFiltered(table)) return true;
  if (table.StatusFilter != 0) {
    if (!(table.StatusFilter & (1u << record->UpdateStatus))) return false;
  } else if (record->UpdateStatus == usDeleted) {
    return false;
  }
  DataSetState savedState = table.State();
  PmvxRecord savedRecord = table.FilterRecordBuffer();
  table.EnterState(dsFilter);
  table.SetFilterRecordBuffer(record);
  struct Restore {
    TmvxCustomMemTable& t;
    DataSetState s;
    PmvxRecord r;
    ~Restore() {
      t.EnterState(s);
      t.SetFilterRecordBuffer(r);
    }
  } restore{table, savedState, savedRecord};
  if (table.RecalcOnIndex) table.RecalcRecord(record);
  if (table.RangeActive() && !table.InRange(record)) return false;
  if (table.MasterLinkActive() && !table.MatchesMaster(record)) return false;
  if (!forceFilter && !table.Filtered()) return true;
  bool accept = true;
  if (table.OnFilterRecord) table.OnFilterRecord(table, accept);
  if (accept && table.GetParsedFilter()) accept = FilterRecordWith(table, record, *table.GetParsedFilter());
  return accept;
}

}  // namespace memtable
