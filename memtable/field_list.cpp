#include "memtable/field_list.h"

#include <algorithm>
#include <cstring>

#include "platform/dataset/native_bytes.h"
#include "memtable/errors.h"

namespace memtable {

using namespace dataset;

TmvxMemTableCompareOptions IndexOptionsToCompareOptions(IndexOptions options) {
  TmvxMemTableCompareOptions o = 0;
  if (options & ixUnique) o |= mtcoUnique;
  if (options & ixDescending) o |= mtcoDescending;
  if (options & ixCaseInsensitive) o |= mtcoCaseInsensitive;
  if (options & ixNonMaintained) o |= mtcoNonMaintained;
  return o;
}

int TmvxFieldList::Add(Field* field, TmvxMemTableCompareOptions options) {
  fields_.push_back(field);
  options_.push_back(options);
  return static_cast<int>(fields_.size()) - 1;
}

int TmvxFieldList::IndexOf(const Field* field) const {
  auto it = std::find(fields_.begin(), fields_.end(), field);
  return it == fields_.end() ? -1 : static_cast<int>(it - fields_.begin());
}

void TmvxFieldList::Clear() {
  fields_.clear();
  options_.clear();
}

void TmvxFieldList::AssignTo(TmvxFieldList& destination) const {
  destination.Clear();
  for (std::size_t i = 0; i < fields_.size(); ++i) destination.Add(fields_[i], options_[i]);
}

bool LocaleServed(std::uint32_t localeID) {
  std::uint32_t sort = (localeID >> 16) & 0xF;
  std::uint32_t language = localeID & 0xFF;
  std::uint32_t sub = (localeID >> 10) & 0x3F;
  if (sort != 0 || (localeID >> 20) != 0) return false;
  return language != 0 || sub == 1 || sub == 2;
}

namespace {

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

int CompareTextLocale(const char* a, std::size_t alen, const char* b, std::size_t blen, bool caseInsensitive,
                      std::uint32_t localeID) {
  if (!LocaleServed(localeID)) throw EMemTableInvalidLocale("Invalid locale. " + std::to_string(localeID));
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  std::size_t n = std::min(alen, blen);
  std::size_t firstCaseDiff = n;
  for (std::size_t i = 0; i < n; ++i) {
    if (x[i] == y[i]) continue;
    unsigned char fx = kLowerFold[x[i]], fy = kLowerFold[y[i]];
    if (fx != fy) return fx < fy ? -1 : 1;
    if (firstCaseDiff == n) firstCaseDiff = i;
  }
  if (alen != blen) return alen < blen ? -1 : 1;
  if (caseInsensitive || firstCaseDiff == n) return 0;
  // Only case differs: lower case sorts first.
  return x[firstCaseDiff] > y[firstCaseDiff] ? -1 : 1;
}

int CompareFields(const void* keyValue, const void* value, FieldType fieldType, std::uint32_t localeID,
                  TmvxMemTableCompareOptions options, bool& fullCompare) {
  fullCompare = true;
  int result = 0;
  switch (fieldType) {
    case ftString:
    case ftFixedChar: {
      const char* k = static_cast<const char*>(keyValue);
      const char* v = static_cast<const char*>(value);
      std::size_t klen = std::strlen(k), vlen = std::strlen(v);
      if (options & mtcoPartialKey) {
        fullCompare = klen == vlen;
        vlen = std::min(klen, vlen);
      }
      if (options & mtcoIgnoreLocale) {
        std::size_t n = std::min(klen, vlen);
        const auto* x = reinterpret_cast<const unsigned char*>(k);
        const auto* y = reinterpret_cast<const unsigned char*>(v);
        result = 0;
        for (std::size_t i = 0; i < n && result == 0; ++i)
          result = (options & mtcoCaseInsensitive) ? kLowerFold[x[i]] - kLowerFold[y[i]] : x[i] - y[i];
        if (result == 0) result = klen < vlen ? -1 : (klen > vlen ? 1 : 0);
      } else {
        result = CompareTextLocale(k, klen, v, vlen, (options & mtcoCaseInsensitive) != 0, localeID);
      }
      break;
    }
    case ftSmallint: result = Order(LoadNative<std::int16_t>(keyValue), LoadNative<std::int16_t>(value)); break;
    case ftInteger:
    case ftAutoInc: result = Order(LoadNative<std::int32_t>(keyValue), LoadNative<std::int32_t>(value)); break;
    case ftWord: result = Order(LoadNative<std::uint16_t>(keyValue), LoadNative<std::uint16_t>(value)); break;
    case ftBoolean: result = Order(LoadNative<std::uint16_t>(keyValue) != 0, LoadNative<std::uint16_t>(value) != 0); break;
    case ftFloat:
    case ftCurrency: result = Order(LoadNative<double>(keyValue), LoadNative<double>(value)); break;
    case ftBCD:
    case ftFMTBcd: {
      // A decimal whose tail bytes are not zero did not convert: such values count as equal.
      auto valid = [](const void* p) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        for (int i = 8; i < kBcdSize; ++i)
          if (b[i] != 0) return false;
        return true;
      };
      if (valid(keyValue) && valid(value)) result = Order(LoadNative<std::int64_t>(keyValue), LoadNative<std::int64_t>(value));
      break;
    }
    case ftDate:
    case ftTime: result = Order(LoadNative<std::int32_t>(keyValue), LoadNative<std::int32_t>(value)); break;
    case ftDateTime: {
      double d = LoadNative<double>(keyValue) - LoadNative<double>(value);
      result = d < 0 ? -1 : (d > 0 ? 1 : 0);
      break;
    }
    case ftLargeint: result = Order(LoadNative<std::int64_t>(keyValue), LoadNative<std::int64_t>(value)); break;
    case ftTimeStamp: {
      SqlTimeStamp a = LoadNative<SqlTimeStamp>(keyValue), b = LoadNative<SqlTimeStamp>(value);
      result = Order(a.Year, b.Year);
      if (!result) result = Order(a.Month, b.Month);
      if (!result) result = Order(a.Day, b.Day);
      if (!result) result = Order(a.Hour, b.Hour);
      if (!result) result = Order(a.Minute, b.Minute);
      if (!result) result = Order(a.Second, b.Second);
      if (!result) result = Order(a.Fractions, b.Fractions);
      break;
    }
    default:
      result = 0;
      break;
  }
  if (options & mtcoDescending) result = -result;
  return result;
}

}  // namespace memtable
