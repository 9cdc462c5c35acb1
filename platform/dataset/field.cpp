// Field and index definitions, native value conversion and the Field class.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <strings.h>

#include "platform/dataset/dataset.h"
#include "platform/dataset/date_time.h"
#include "platform/dataset/native_bytes.h"

namespace dataset {

void DatabaseError(const std::string& message, const DataSet* dataSet) {
  if (dataSet && !dataSet->Name().empty()) throw EDatabaseError(dataSet->Name() + ": " + message);
  throw EDatabaseError(message);
}

void Abort() { throw EAbort(); }

FieldDef& FieldDefs::Add(const std::string& name, FieldType type, int size, bool required) {
  FieldDef def;
  def.Name = name;
  def.DataType = type;
  def.Size = size;
  def.Required = required;
  items_.push_back(std::move(def));
  return items_.back();
}

int FieldDefs::IndexOf(const std::string& name) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (strcasecmp(items_[i].Name.c_str(), name.c_str()) == 0) return static_cast<int>(i);
  return -1;
}

IndexDef& IndexDefs::Add(const std::string& name, const std::string& fields, IndexOptions options) {
  items_.push_back(IndexDef{name, fields, options});
  return items_.back();
}

int IndexDefs::IndexOf(const std::string& name) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (strcasecmp(items_[i].Name.c_str(), name.c_str()) == 0) return static_cast<int>(i);
  return -1;
}

int EffectiveFieldSize(FieldType type, int size) {
  switch (type) {
    case ftString: case ftFixedChar: case ftWideString: return size > 0 ? size : kDefaultStringSize;
    case ftBytes: case ftVarBytes: return size > 0 ? size : 0;
    default: return size;
  }
}

int NativeFieldSize(FieldType type, int size) {
  size = EffectiveFieldSize(type, size);
  switch (type) {
    case ftString: case ftFixedChar: return size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: return 4;
    case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftLargeint: return 8;
    case ftBCD: case ftFMTBcd: return kBcdSize;
    case ftBytes: return size;
    case ftVarBytes: return size + 2;
    case ftTimeStamp: return 16;
    default: return 0;
  }
}

namespace {

std::int64_t CheckedInt(const Variant& value, std::int64_t lo, std::int64_t hi) {
  std::int64_t v = value.ToInt();
  if (v < lo || v > hi) throw VariantError(std::to_string(v) + " is not a valid value: it must be between " + std::to_string(lo) + " and " + std::to_string(hi));
  return v;
}

}  // namespace

Variant NativeToVariant(FieldType type, const void* data) {
  switch (type) {
    case ftString: case ftFixedChar: case ftWideString:
      return Variant(std::string(static_cast<const char*>(data)));
    case ftSmallint: return Variant(static_cast<int>(LoadNative<std::int16_t>(data)));
    case ftWord: return Variant(static_cast<int>(LoadNative<std::uint16_t>(data)));
    case ftBoolean: return Variant(LoadNative<std::uint16_t>(data) != 0);
    case ftInteger: case ftAutoInc: return Variant(static_cast<int>(LoadNative<std::int32_t>(data)));
    case ftLargeint: return Variant(LoadNative<std::int64_t>(data));
    case ftFloat: case ftCurrency: return Variant(LoadNative<double>(data));
    case ftBCD: case ftFMTBcd: return Variant(static_cast<double>(LoadNative<std::int64_t>(data)) / 10000.0);
    case ftDate: return Variant::MakeDateTime(static_cast<double>(static_cast<std::int64_t>(LoadNative<std::int32_t>(data)) - kDateDelta));
    case ftTime: return Variant::MakeDateTime(LoadNative<std::int32_t>(data) / kMsPerDay);
    case ftDateTime: return Variant::MakeDateTime(TimeStampToDateTime(MSecsToTimeStamp(LoadNative<double>(data))));
    case ftTimeStamp: {
      SqlTimeStamp ts = LoadNative<SqlTimeStamp>(data);
      if (!ValidDate(ts.Year, ts.Month, ts.Day)) return Variant::MakeNull();
      return Variant::MakeDateTime(EncodeDate(ts.Year, ts.Month, ts.Day) + EncodeTime(ts.Hour, ts.Minute, ts.Second, 0) +
                                   ts.Fractions / 1e9 / 86400.0);
    }
    default:
      return Variant::MakeNull();
  }
}

void VariantToNative(FieldType type, int size, const Variant& value, void* data) {
  size = EffectiveFieldSize(type, size);
  switch (type) {
    case ftString: case ftFixedChar: case ftWideString: {
      std::string s = value.ToString();
      std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(size));
      std::memset(data, 0, static_cast<std::size_t>(size) + 1);
      std::memcpy(data, s.data(), n);
      return;
    }
    case ftSmallint: StoreNative<std::int16_t>(data, static_cast<std::int16_t>(CheckedInt(value, -32768, 32767))); return;
    case ftWord: StoreNative<std::uint16_t>(data, static_cast<std::uint16_t>(CheckedInt(value, 0, 65535))); return;
    case ftBoolean: StoreNative<std::uint16_t>(data, value.ToBool() ? 1 : 0); return;
    case ftInteger: case ftAutoInc:
      StoreNative<std::int32_t>(data, static_cast<std::int32_t>(CheckedInt(value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max())));
      return;
    case ftLargeint: StoreNative<std::int64_t>(data, value.ToInt()); return;
    case ftFloat: case ftCurrency: StoreNative<double>(data, value.ToDouble()); return;
    case ftBCD: case ftFMTBcd:
      std::memset(data, 0, kBcdSize);
      StoreNative<std::int64_t>(data, std::llround(value.ToDouble() * 10000.0));
      return;
    case ftDate: StoreNative<std::int32_t>(data, DateTimeToTimeStamp(value.ToDouble()).Date); return;
    case ftTime: StoreNative<std::int32_t>(data, DateTimeToTimeStamp(value.ToDouble()).Time); return;
    case ftDateTime: StoreNative<double>(data, TimeStampToMSecs(DateTimeToTimeStamp(value.ToDouble()))); return;
    case ftTimeStamp: {
      double dt = value.ToDouble();
      int y, m, d, h, n, s, ms;
      DecodeDate(dt, y, m, d);
      DecodeTime(dt, h, n, s, ms);
      SqlTimeStamp ts{static_cast<std::int16_t>(y), static_cast<std::uint16_t>(m), static_cast<std::uint16_t>(d),
                      static_cast<std::uint16_t>(h), static_cast<std::uint16_t>(n), static_cast<std::uint16_t>(s),
                      static_cast<std::uint32_t>(ms) * 1000000u};
      StoreNative(data, ts);
      return;
    }
    case ftBytes: case ftVarBytes: {
      std::string s = value.ToString();
      std::size_t n = std::min<std::size_t>(s.size(), static_cast<std::size_t>(size));
      auto* out = static_cast<std::uint8_t*>(data);
      std::memset(out, 0, static_cast<std::size_t>(NativeFieldSize(type, size)));
      if (type == ftVarBytes) {
        StoreNative<std::uint16_t>(out, static_cast<std::uint16_t>(n));
        out += 2;
      }
      std::memcpy(out, s.data(), n);
      return;
    }
    default:
      throw VariantError("Field type cannot hold a value");
  }
}

Field::Field(DataSet* owner, std::string name, FieldType type, int size, FieldKind kind)
    : owner_(owner), name_(std::move(name)), type_(type), size_(EffectiveFieldSize(type, size)), kind_(kind) {
  if (IsBlobType(type)) BlobType = type;
}

bool Field::IsIndexable() const {
  if (kind_ == fkAggregate) return false;
  switch (type_) {
    case ftString: case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat:
    case ftCurrency: case ftBCD: case ftDate: case ftTime: case ftDateTime: case ftAutoInc:
    case ftFixedChar: case ftLargeint: case ftADT: case ftArray: case ftTimeStamp: case ftFMTBcd:
      return true;
    default:
      return false;
  }
}

bool Field::GetData(void* buffer) const { return owner_->GetFieldData(this, buffer); }

void Field::SetData(const void* buffer) { owner_->SetFieldData(this, buffer); }

void Field::Validate(const void* buffer) {
  if (OnValidate) OnValidate(*this, buffer);
}

bool Field::IsNull() const { return !GetData(nullptr); }

Variant Field::Value() const {
  int n = DataSize();
  if (n == 0) return IsNull() ? Variant::MakeNull() : Variant(std::string());
  // Small values (every fixed type and short strings) stay on the stack.
  std::uint8_t small[72];
  std::vector<std::uint8_t> large;
  std::uint8_t* data = small;
  if (n + 1 > static_cast<int>(sizeof small)) {
    large.assign(static_cast<std::size_t>(n) + 1, 0);
    data = large.data();
  } else {
    std::memset(small, 0, sizeof small);
  }
  if (!GetData(data)) return Variant::MakeNull();
  if (type_ == ftBytes) return Variant(std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size_)));
  if (type_ == ftVarBytes) {
    std::uint16_t len = LoadNative<std::uint16_t>(data);
    len = static_cast<std::uint16_t>(std::min<int>(len, size_));
    return Variant(std::string(reinterpret_cast<const char*>(data + 2), len));
  }
  return NativeToVariant(type_, data);
}

void Field::SetValue(const Variant& value) {
  if (value.IsNull()) {
    SetData(nullptr);
    return;
  }
  int n = DataSize();
  if (n == 0) throw EDatabaseError("Field '" + DisplayName() + "' cannot hold a value of this kind");
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(n) + 1, 0);
  try {
    VariantToNative(type_, size_, value, buf.data());
  } catch (const VariantError& e) {
    throw EDatabaseError("Field '" + DisplayName() + "': " + e.what());
  }
  SetData(buf.data());
}

std::string Field::AsString() const { return Value().ToString(); }

void Field::SetAsString(const std::string& text) {
  if (text.empty() && type_ != ftString && type_ != ftFixedChar) {
    SetData(nullptr);
    return;
  }
  SetValue(Variant(text));
}

std::int64_t Field::AsInteger() const {
  Variant v = Value();
  return v.IsNull() ? 0 : v.ToInt();
}

double Field::AsFloat() const {
  Variant v = Value();
  return v.IsNull() ? 0.0 : v.ToDouble();
}

bool Field::AsBoolean() const {
  Variant v = Value();
  return v.IsNull() ? false : v.ToBool();
}

double Field::AsDateTime() const {
  Variant v = Value();
  return v.IsNull() ? 0.0 : v.ToDouble();
}

}  // namespace dataset
