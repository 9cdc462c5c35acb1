// The value type that cells, ranges and formulas exchange. It mirrors the automation variant:
// each value carries one of the type numbers below, and the library tests those numbers where
// it decides how to store or compare a value. Conversions never consult the process locale:
// "." is the decimal point and numbers print in the shortest form that reads back exactly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xls {

// Type numbers of the automation variant.
enum class VarType : std::uint16_t {
  Empty = 0,
  Null = 1,
  SmallInt = 2,   // 16-bit signed
  Integer = 3,    // 32-bit signed
  Single = 4,
  Double = 5,
  Currency = 6,   // held as a double here
  Date = 7,       // days since 1899-12-30, time as the fraction
  OleStr = 8,     // wide (UTF-16) text
  Error = 10,     // a spreadsheet error code (7, 15, 23, 29, 36, 42) or another status
  Boolean = 11,
  Unknown = 13,   // an object the evaluator hands around (a range list)
  ShortInt = 16,  // 8-bit signed
  Byte = 17,
  Word = 18,
  LongWord = 19,
  Int64 = 20,
  String = 256,   // 8-bit text, held widened
  Array = 0x2000,
};

// Base of objects carried by a variant of type Unknown.
class VariantObject {
 public:
  virtual ~VariantObject() = default;
};

class VariantArray;

class Variant {
 public:
  Variant() = default;
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept = default;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept = default;
  ~Variant();

  Variant(double v) : type_(VarType::Double) { num_.d = v; }
  Variant(int v) : type_(VarType::Integer) { num_.i = v; }
  Variant(bool v) : type_(VarType::Boolean) { num_.i = v ? 1 : 0; }
  Variant(const char16_t* s) : type_(VarType::OleStr), text_(s) {}
  Variant(std::u16string s) : type_(VarType::OleStr), text_(std::move(s)) {}
  Variant(const char*) = delete;  // say which encoding: FromUtf8 or FromAnsi

  static Variant Null();
  static Variant FromInteger(std::int64_t v, VarType type = VarType::Integer);
  static Variant FromDouble(double v, VarType type = VarType::Double);
  static Variant Date(double dateValue);
  static Variant Error(std::int32_t code);
  static Variant FromUtf8(const std::string& s);
  static Variant FromAnsi(const std::string& s);  // code page 1252, typed as 8-bit text
  static Variant FromObject(std::shared_ptr<VariantObject> obj);
  // Arrays of variants with one or two dimensions: counts and 0-based (or other) low bounds.
  static Variant Array1(std::int32_t count, std::int32_t low = 0);
  static Variant Array2(std::int32_t rows, std::int32_t columns, std::int32_t rowLow = 0,
                        std::int32_t columnLow = 0);

  VarType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsEmptyOrNull() const { return IsEmpty() || IsNull(); }
  // Integers of every width, floating point, currency and date.
  bool IsNumber() const;
  bool IsInteger() const;
  bool IsText() const { return type_ == VarType::OleStr || type_ == VarType::String; }
  bool IsBoolean() const { return type_ == VarType::Boolean; }
  bool IsDate() const { return type_ == VarType::Date; }
  bool IsError() const { return type_ == VarType::Error; }
  bool IsArray() const { return type_ == VarType::Array; }
  bool IsObject() const { return type_ == VarType::Unknown; }

  // Raw access; each is meaningful only for its own type.
  double NumberValue() const;             // any number type, date included
  std::int64_t IntegerValue() const;      // integer types (numbers are truncated)
  bool BooleanValue() const { return num_.i != 0; }
  std::int32_t ErrorCode() const { return static_cast<std::int32_t>(num_.i); }
  const std::u16string& TextValue() const { return text_; }
  const std::shared_ptr<VariantObject>& ObjectValue() const { return object_; }
  VariantArray* ArrayValue() { return array_.get(); }
  const VariantArray* ArrayValue() const { return array_.get(); }

  // Conversions. Each returns false (and leaves out as it was) when the value does not convert.
  // Text converts when the whole of it (spaces around allowed) is a number with "." as the
  // decimal point; booleans give 1 / 0 (TRUE is 1, not -1: cells store booleans that way);
  // empty and null give 0.
  bool ToDouble(double& out) const;
  bool ToInteger(std::int64_t& out) const;  // doubles are rounded half away from zero
  bool ToBoolean(bool& out) const;           // numbers: non-zero; text: "TRUE"/"FALSE" any case
  // Text form: numbers in the shortest form that reads back exactly ("1.5", "1E+20"), booleans
  // "TRUE"/"FALSE", empty and null "", dates as their serial number, errors as "#NULL!",
  // "#DIV/0!", ... for the spreadsheet codes.
  std::u16string ToText() const;

  // Equality of type and value (arrays element by element).
  bool operator==(const Variant& other) const;

 private:
  VarType type_ = VarType::Empty;
  union {
    double d;
    std::int64_t i;
  } num_{0.0};
  std::u16string text_;
  std::unique_ptr<VariantArray> array_;
  std::shared_ptr<VariantObject> object_;
};

// The elements of an array variant, row-major for two dimensions.
class VariantArray {
 public:
  VariantArray(std::int32_t dims, std::int32_t count0, std::int32_t low0, std::int32_t count1,
               std::int32_t low1);

  std::int32_t Dimensions() const { return dims_; }
  std::int32_t Count(std::int32_t dim) const { return dim == 0 ? count0_ : count1_; }
  std::int32_t Low(std::int32_t dim) const { return dim == 0 ? low0_ : low1_; }
  // Elements by their indexes within the bounds; nullptr outside them.
  Variant* At(std::int32_t i);
  Variant* At(std::int32_t i, std::int32_t j);
  const Variant* At(std::int32_t i) const { return const_cast<VariantArray*>(this)->At(i); }
  const Variant* At(std::int32_t i, std::int32_t j) const {
    return const_cast<VariantArray*>(this)->At(i, j);
  }
  const std::vector<Variant>& Elements() const { return items_; }

 private:
  std::int32_t dims_;
  std::int32_t count0_, low0_, count1_, low1_;
  std::vector<Variant> items_;
};

// The text of a spreadsheet error code ("#DIV/0!" for 7), empty for other codes.
std::u16string ErrorCodeText(std::int32_t code);
// Shortest decimal form of a double with "." as the decimal point.
std::u16string DoubleToText(double v);
// Parses a whole text as a decimal number ("." decimal point, optional exponent, spaces
// around allowed); false when it is not one.
bool TextToDouble(const std::u16string& text, double& out);

}  // namespace xls
