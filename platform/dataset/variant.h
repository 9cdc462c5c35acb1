// A small variant: the value type that travels between fields, filter expressions and
// key searches. Dates are held as day counts from 1899-12-30 with the time of day as the
// fraction, the way the data-set fields hand them out.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace dataset {

class VariantError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Variant {
 public:
  enum Kind { Empty, Null, Bool, Integer, Float, DateTime, String, Array };

  Variant() = default;
  Variant(bool v) : kind_(Bool), int_(v ? 1 : 0) {}
  Variant(int v) : kind_(Integer), int_(v) {}
  Variant(std::int64_t v) : kind_(Integer), int_(v) {}
  Variant(double v) : kind_(Float), float_(v) {}
  Variant(const char* v) : kind_(String), text_(v) {}
  Variant(std::string v) : kind_(String), text_(std::move(v)) {}
  Variant(std::vector<Variant> items) : kind_(Array), items_(std::move(items)) {}

  static Variant MakeNull() { Variant v; v.kind_ = Null; return v; }
  static Variant MakeDateTime(double days) { Variant v(days); v.kind_ = DateTime; return v; }

  Kind kind() const { return kind_; }
  // Null and empty both count as "no value".
  bool IsNull() const { return kind_ == Empty || kind_ == Null; }
  bool IsArray() const { return kind_ == Array; }
  bool IsNumeric() const { return kind_ == Bool || kind_ == Integer || kind_ == Float || kind_ == DateTime; }
  const std::vector<Variant>& items() const { return items_; }

  bool ToBool() const;
  std::int64_t ToInt() const;
  double ToDouble() const;
  std::string ToString() const;

  // -1, 0 or 1; numbers by value, texts by character codes, a text against a number
  // converted to a number. Either side null raises.
  static int Compare(const Variant& a, const Variant& b);
  static Variant Add(const Variant& a, const Variant& b);
  static Variant Subtract(const Variant& a, const Variant& b);
  static Variant Multiply(const Variant& a, const Variant& b);
  static Variant Divide(const Variant& a, const Variant& b);
  static Variant Modulo(const Variant& a, const Variant& b);
  static Variant Negate(const Variant& a);
  static Variant And(const Variant& a, const Variant& b) { return Variant(a.ToBool() && b.ToBool()); }
  static Variant Or(const Variant& a, const Variant& b) { return Variant(a.ToBool() || b.ToBool()); }

 private:
  Kind kind_ = Empty;
  std::int64_t int_ = 0;
  double float_ = 0;
  std::string text_;
  std::vector<Variant> items_;
};

// Text to number with "." as the decimal separator; false when the text is no number.
bool ParseNumber(const std::string& text, double& value);
// Text of a whole number (digits with an optional sign) to a 64-bit integer, exactly;
// false when the text is no whole number, VariantError when it lies past the 64-bit range.
bool ParseWholeNumber(const std::string& text, std::int64_t& value);

}  // namespace dataset
