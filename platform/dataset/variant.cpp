#include "platform/dataset/variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

#include "platform/dataset/date_time.h"

namespace dataset {
namespace {

const char* KindName(Variant::Kind k) {
  switch (k) {
    case Variant::Empty: return "Empty";
    case Variant::Null: return "Null";
    case Variant::Bool: return "Boolean";
    case Variant::Integer: return "Integer";
    case Variant::Float: return "Double";
    case Variant::DateTime: return "Date";
    case Variant::String: return "String";
    case Variant::Array: return "Array";
  }
  return "Unknown";
}

[[noreturn]] void CannotConvert(Variant::Kind from, const char* to) {
  throw VariantError(std::string("Could not convert variant of type (") + KindName(from) + ") into type (" + to + ")");
}

void CheckNotNull(const Variant& a) {
  if (a.IsNull()) throw VariantError("Invalid variant operation");
}

bool BothIntegral(const Variant& a, const Variant& b) {
  auto integral = [](const Variant& v) { return v.kind() == Variant::Integer || v.kind() == Variant::Bool; };
  return integral(a) && integral(b);
}

// A float rounded to a whole number; one outside the 64-bit range cannot be converted.
std::int64_t RoundToInt(double d) {
  if (!(d > -9.2233720368547748e18 && d < 9.2233720368547748e18)) throw VariantError("Integer overflow");
  return static_cast<std::int64_t>(std::llround(d));
}

}  // namespace

bool ParseNumber(const std::string& text, double& value) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  if (b == e) return false;
  std::string s = text.substr(b, e - b);
  for (char c : s)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && errno == 0;
}

bool ParseWholeNumber(const std::string& text, std::int64_t& value) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  std::size_t digits = b < e && (text[b] == '-' || text[b] == '+') ? b + 1 : b;
  if (digits == e) return false;
  for (std::size_t i = digits; i < e; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  const std::string s = text.substr(b, e - b);
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || end != s.c_str() + s.size()) {
    // Past the 64-bit range: "Integer overflow", as a float that large gives.
    if (errno == ERANGE) throw VariantError("Integer overflow");
    return false;
  }
  value = v;
  return true;
}

bool Variant::ToBool() const {
  switch (kind_) {
    case Bool:
    case Integer: return int_ != 0;
    case Float:
    case DateTime: return float_ != 0;
    case String: {
      if (text_ == "TRUE" || text_ == "True" || text_ == "true") return true;
      if (text_ == "FALSE" || text_ == "False" || text_ == "false") return false;
      double d;
      if (ParseNumber(text_, d)) return d != 0;
      CannotConvert(kind_, "Boolean");
    }
    default: CannotConvert(kind_, "Boolean");
  }
}

double Variant::ToDouble() const {
  switch (kind_) {
    case Bool:
    case Integer: return static_cast<double>(int_);
    case Float:
    case DateTime: return float_;
    case String: {
      double d;
      if (ParseNumber(text_, d)) return d;
      double dt;
      if (ParseDateTimeText(text_, dt)) return dt;
      CannotConvert(kind_, "Double");
    }
    default: CannotConvert(kind_, "Double");
  }
}

std::int64_t Variant::ToInt() const {
  switch (kind_) {
    case Bool:
    case Integer: return int_;
    case Float:
    case DateTime: return RoundToInt(float_);
    case String: {
      // A whole number is read as one: every 64-bit value comes through exactly, where a
      // double keeps only 53 bits.
      std::int64_t whole;
      if (ParseWholeNumber(text_, whole)) return whole;
      double d;
      if (ParseNumber(text_, d)) return RoundToInt(d);
      CannotConvert(kind_, "Integer");
    }
    default: CannotConvert(kind_, "Integer");
  }
}

std::string Variant::ToString() const {
  switch (kind_) {
    case Empty:
    case Null: return std::string();
    case Bool: return int_ ? "True" : "False";
    case Integer: return std::to_string(int_);
    case Float: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15g", float_);
      return buf;
    }
    case DateTime: return FormatDateTimeText(float_);
    case String: return text_;
    case Array: CannotConvert(kind_, "String");
  }
  return std::string();
}

int Variant::Compare(const Variant& a, const Variant& b) {
  CheckNotNull(a);
  CheckNotNull(b);
  if (a.kind_ == String && b.kind_ == String) {
    int c = a.text_.compare(b.text_);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (BothIntegral(a, b)) return a.int_ < b.int_ ? -1 : (a.int_ > b.int_ ? 1 : 0);
  double x = a.ToDouble(), y = b.ToDouble();
  return x < y ? -1 : (x > y ? 1 : 0);
}

Variant Variant::Add(const Variant& a, const Variant& b) {
  CheckNotNull(a);
  CheckNotNull(b);
  if (a.kind_ == String && b.kind_ == String) return Variant(a.text_ + b.text_);
  // Whole numbers stay whole while the result fits; past that the sum goes on as a float.
  std::int64_t sum;
  if (BothIntegral(a, b) && !__builtin_add_overflow(a.int_, b.int_, &sum)) return Variant(sum);
  double r = a.ToDouble() + b.ToDouble();
  if (a.kind_ == DateTime || b.kind_ == DateTime) return MakeDateTime(r);
  return Variant(r);
}

Variant Variant::Subtract(const Variant& a, const Variant& b) {
  CheckNotNull(a);
  CheckNotNull(b);
  std::int64_t difference;
  if (BothIntegral(a, b) && !__builtin_sub_overflow(a.int_, b.int_, &difference)) return Variant(difference);
  double r = a.ToDouble() - b.ToDouble();
  if (a.kind_ == DateTime && b.kind_ != DateTime) return MakeDateTime(r);
  return Variant(r);
}

Variant Variant::Multiply(const Variant& a, const Variant& b) {
  CheckNotNull(a);
  CheckNotNull(b);
  std::int64_t product;
  if (BothIntegral(a, b) && !__builtin_mul_overflow(a.int_, b.int_, &product)) return Variant(product);
  return Variant(a.ToDouble() * b.ToDouble());
}

Variant Variant::Divide(const Variant& a, const Variant& b) {
  CheckNotNull(a);
  CheckNotNull(b);
  double d = b.ToDouble();
  if (d == 0) throw VariantError("Division by zero");
  return Variant(a.ToDouble() / d);
}

Variant Variant::Modulo(const Variant& a, const Variant& b) {
  CheckNotNull(a);
  CheckNotNull(b);
  std::int64_t d = b.ToInt();
  if (d == 0) throw VariantError("Division by zero");
  // x % -1 is 0 for every x; the smallest number divided by -1 would overflow.
  if (d == -1) return Variant(std::int64_t{0});
  return Variant(a.ToInt() % d);
}

Variant Variant::Negate(const Variant& a) {
  CheckNotNull(a);
  if ((a.kind_ == Integer || a.kind_ == Bool) && a.int_ != INT64_MIN) return Variant(-a.int_);
  if (a.kind_ == DateTime) return MakeDateTime(-a.float_);
  return Variant(-a.ToDouble());
}

}  // namespace dataset
