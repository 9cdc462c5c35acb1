#include "xls/model/variant.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "xls/model/codepage.h"

namespace xls {

Variant::Variant(const Variant& other)
    : type_(other.type_), num_(other.num_), text_(other.text_), object_(other.object_) {
  if (other.array_) array_ = std::make_unique<VariantArray>(*other.array_);
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant::~Variant() = default;

Variant Variant::Null() {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant Variant::FromInteger(std::int64_t value, VarType type) {
  Variant v;
  v.type_ = type;
  v.num_.i = value;
  return v;
}

Variant Variant::FromDouble(double value, VarType type) {
  Variant v;
  v.type_ = type;
  v.num_.d = value;
  return v;
}

Variant Variant::Date(double dateValue) { return FromDouble(dateValue, VarType::Date); }

Variant Variant::Error(std::int32_t code) { return FromInteger(code, VarType::Error); }

Variant Variant::FromUtf8(const std::string& s) { return Variant(Utf8ToWide(s)); }

Variant Variant::FromAnsi(const std::string& s) {
  Variant v(AnsiToWideCP(s));
  v.type_ = VarType::String;
  return v;
}

Variant Variant::FromObject(std::shared_ptr<VariantObject> obj) {
  Variant v;
  v.type_ = VarType::Unknown;
  v.object_ = std::move(obj);
  return v;
}

Variant Variant::Array1(std::int32_t count, std::int32_t low) {
  Variant v;
  v.type_ = VarType::Array;
  v.array_ = std::make_unique<VariantArray>(1, count, low, 1, 0);
  return v;
}

Variant Variant::Array2(std::int32_t rows, std::int32_t columns, std::int32_t rowLow,
                        std::int32_t columnLow) {
  Variant v;
  v.type_ = VarType::Array;
  v.array_ = std::make_unique<VariantArray>(2, rows, rowLow, columns, columnLow);
  return v;
}

namespace {

bool IsIntegerType(VarType t) {
  switch (t) {
    case VarType::SmallInt:
    case VarType::Integer:
    case VarType::ShortInt:
    case VarType::Byte:
    case VarType::Word:
    case VarType::LongWord:
    case VarType::Int64:
      return true;
    default:
      return false;
  }
}

bool IsFloatType(VarType t) {
  return t == VarType::Single || t == VarType::Double || t == VarType::Currency ||
         t == VarType::Date;
}

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

bool Variant::IsNumber() const { return IsIntegerType(type_) || IsFloatType(type_); }
bool Variant::IsInteger() const { return IsIntegerType(type_); }

double Variant::NumberValue() const {
  if (IsIntegerType(type_)) return static_cast<double>(num_.i);
  if (IsFloatType(type_)) return num_.d;
  if (type_ == VarType::Boolean) return num_.i != 0 ? 1.0 : 0.0;
  return 0.0;
}

std::int64_t Variant::IntegerValue() const {
  if (IsIntegerType(type_) || type_ == VarType::Boolean || type_ == VarType::Error) return num_.i;
  if (IsFloatType(type_) && std::isfinite(num_.d) && std::fabs(num_.d) < 9.2e18) {
    return static_cast<std::int64_t>(num_.d);
  }
  return 0;
}

bool Variant::ToDouble(double& out) const {
  if (IsNumber() || type_ == VarType::Boolean) {
    out = NumberValue();
    return true;
  }
  if (IsEmptyOrNull()) {
    out = 0.0;
    return true;
  }
  if (IsText()) return TextToDouble(text_, out);
  return false;
}

bool Variant::ToInteger(std::int64_t& out) const {
  if (IsIntegerType(type_) || type_ == VarType::Boolean) {
    out = type_ == VarType::Boolean ? (num_.i != 0 ? 1 : 0) : num_.i;
    return true;
  }
  double d = 0;
  if (!ToDouble(d)) return false;
  if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) return false;
  out = static_cast<std::int64_t>(std::llround(d));
  return true;
}

bool Variant::ToBoolean(bool& out) const {
  if (type_ == VarType::Boolean) {
    out = num_.i != 0;
    return true;
  }
  if (IsText()) {
    std::u16string t;
    for (char16_t c : text_) {
      if (!IsSpace(c)) t.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
    }
    if (t == u"TRUE") {
      out = true;
      return true;
    }
    if (t == u"FALSE") {
      out = false;
      return true;
    }
  }
  double d = 0;
  if (!ToDouble(d)) return false;
  out = d != 0.0;
  return true;
}

std::u16string Variant::ToText() const {
  if (IsText()) return text_;
  if (type_ == VarType::Boolean) return num_.i != 0 ? u"TRUE" : u"FALSE";
  if (IsIntegerType(type_)) return Utf8ToWide(std::to_string(num_.i));
  if (IsFloatType(type_)) return DoubleToText(num_.d);
  if (type_ == VarType::Error) return ErrorCodeText(static_cast<std::int32_t>(num_.i));
  return u"";
}

bool Variant::operator==(const Variant& other) const {
  if (type_ != other.type_) return false;
  if (IsText()) return text_ == other.text_;
  if (IsFloatType(type_)) return num_.d == other.num_.d;
  if (type_ == VarType::Unknown) return object_ == other.object_;
  if (type_ == VarType::Array) {
    const VariantArray* a = array_.get();
    const VariantArray* b = other.array_.get();
    if (!a || !b) return a == b;
    for (int d = 0; d < 2; ++d) {
      if (a->Count(d) != b->Count(d) || a->Low(d) != b->Low(d)) return false;
    }
    return a->Dimensions() == b->Dimensions() && a->Elements() == b->Elements();
  }
  if (IsEmptyOrNull()) return true;
  return num_.i == other.num_.i;
}

VariantArray::VariantArray(std::int32_t dims, std::int32_t count0, std::int32_t low0,
                           std::int32_t count1, std::int32_t low1)
    : dims_(dims),
      count0_(count0 < 0 ? 0 : count0),
      low0_(low0),
      count1_(dims == 2 ? (count1 < 0 ? 0 : count1) : 1),
      low1_(dims == 2 ? low1 : 0) {
  items_.resize(static_cast<std::size_t>(count0_) * static_cast<std::size_t>(count1_));
}

Variant* VariantArray::At(std::int32_t i) {
  if (dims_ != 1) return nullptr;
  std::int64_t k = static_cast<std::int64_t>(i) - low0_;
  if (k < 0 || k >= count0_) return nullptr;
  return &items_[static_cast<std::size_t>(k)];
}

Variant* VariantArray::At(std::int32_t i, std::int32_t j) {
  if (dims_ != 2) return nullptr;
  std::int64_t r = static_cast<std::int64_t>(i) - low0_;
  std::int64_t c = static_cast<std::int64_t>(j) - low1_;
  if (r < 0 || r >= count0_ || c < 0 || c >= count1_) return nullptr;
  return &items_[static_cast<std::size_t>(r * count1_ + c)];
}

std::u16string ErrorCodeText(std::int32_t code) {
  switch (code) {
    case 0: return u"#NULL!";
    case 7: return u"#DIV/0!";
    case 15: return u"#VALUE!";
    case 23: return u"#REF!";
    case 29: return u"#NAME?";
    case 36: return u"#NUM!";
    case 42: return u"#N/A";
    default: return u"";
  }
}

std::u16string DoubleToText(double v) {
  if (std::isnan(v)) return u"NAN";
  if (std::isinf(v)) return v > 0 ? u"INF" : u"-INF";
  if (v == 0.0) return u"0";  // also for -0
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, res.ptr);
  for (char& c : s) {
    if (c == 'e') c = 'E';
  }
  return Utf8ToWide(s);
}

bool TextToDouble(const std::u16string& text, double& out) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsSpace(text[b])) ++b;
  while (e > b && IsSpace(text[e - 1])) --e;
  if (b == e) return false;
  std::string ascii;
  for (std::size_t k = b; k < e; ++k) {
    char16_t c = text[k];
    if (c > 0x7F) return false;
    ascii.push_back(static_cast<char>(c));
  }
  const char* first = ascii.data();
  const char* last = first + ascii.size();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  if (first == last) return false;
  double d = 0;
  auto res = std::from_chars(first, last, d, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != last || !std::isfinite(d)) return false;
  out = d;
  return true;
}

}  // namespace xls
