// Field lists with per-field compare options, and the comparison of two field values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/dataset/dataset.h"

namespace memtable {

enum TmvxMemTableCompareOption : unsigned {
  mtcoDescending = 1u << 0,
  mtcoCaseInsensitive = 1u << 1,
  mtcoPartialKey = 1u << 2,
  mtcoIgnoreNullKey = 1u << 3,
  mtcoIgnoreLocale = 1u << 4,
  mtcoUnique = 1u << 5,
  mtcoNonMaintained = 1u << 6,
};
using TmvxMemTableCompareOptions = unsigned;

// The compare options that an index definition's options stand for.
TmvxMemTableCompareOptions IndexOptionsToCompareOptions(dataset::IndexOptions options);

class TmvxFieldList {
 public:
  virtual ~TmvxFieldList() = default;
  int Add(dataset::Field* field, TmvxMemTableCompareOptions options);
  dataset::Field* Fields(int i) const { return fields_[static_cast<std::size_t>(i)]; }
  TmvxMemTableCompareOptions Options(int i) const { return options_[static_cast<std::size_t>(i)]; }
  void SetOptions(int i, TmvxMemTableCompareOptions o) { options_[static_cast<std::size_t>(i)] = o; }
  int Count() const { return static_cast<int>(fields_.size()); }
  int IndexOf(const dataset::Field* field) const;
  virtual void Clear();
  void AssignTo(TmvxFieldList& destination) const;

 private:
  std::vector<dataset::Field*> fields_;
  std::vector<TmvxMemTableCompareOptions> options_;
};

// Locale identifiers: the sort part is bits 16..19, the sub-language bits 10..15 and the
// language bits 0..7. 1024 is the user's default locale.
constexpr std::uint32_t kDefaultLocaleID = 1024;

// Compares two texts in our collation. Letters compare alphabetically without regard
// to case first (ASCII letters folded to lower case, every other byte by its code, a
// shorter text before a longer one that begins with it); texts equal so far are then
// told apart by case, the first letter differing only in case deciding, lower case
// first. caseInsensitive stops after the first step. Raises EMemTableInvalidLocale for
// a locale this collation does not serve (a sort other than 0, or language 0 with a
// sub-language other than the user's (1) or system's (2) default).
int CompareTextLocale(const char* a, std::size_t alen, const char* b, std::size_t blen, bool caseInsensitive,
                      std::uint32_t localeID);

// Whether our collation serves the locale (see CompareTextLocale).
bool LocaleServed(std::uint32_t localeID);

// ASCII letters folded to lower case, every other byte to itself.
constexpr std::array<unsigned char, 256> MakeLowerFold() {
  std::array<unsigned char, 256> fold{};
  for (int i = 0; i < 256; ++i) fold[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
  return fold;
}
inline constexpr std::array<unsigned char, 256> kLowerFold = MakeLowerFold();

// CompareFields for two zero-terminated texts without a partial key, the locale known
// to be served: one pass, no length count.
inline int CompareTextFast(const char* key, const char* value, TmvxMemTableCompareOptions options) {
  const auto* x = reinterpret_cast<const unsigned char*>(key);
  const auto* y = reinterpret_cast<const unsigned char*>(value);
  int result;
  if (options & mtcoIgnoreLocale) {
    std::size_t i = 0;
    if (options & mtcoCaseInsensitive) {
      while (x[i] && kLowerFold[x[i]] == kLowerFold[y[i]]) ++i;
      result = kLowerFold[x[i]] - kLowerFold[y[i]];
    } else {
      while (x[i] && x[i] == y[i]) ++i;
      result = x[i] - y[i];
    }
  } else {
    // The end of a text (0) folds below every character, so a shorter text sorts first
    // exactly as in CompareTextLocale.
    int caseDiff = 0;
    result = 0;
    for (std::size_t i = 0;; ++i) {
      unsigned char a = x[i], b = y[i];
      if (a == b) {
        if (a == 0) break;
        continue;
      }
      unsigned char fa = kLowerFold[a], fb = kLowerFold[b];
      if (fa != fb) {
        result = fa < fb ? -1 : 1;
        break;
      }
      if (!caseDiff) caseDiff = a > b ? -1 : 1;
    }
    if (result == 0 && !(options & mtcoCaseInsensitive)) result = caseDiff;
  }
  return (options & mtcoDescending) ? -result : result;
}

// Compares two native values of one field (addresses past the null flag). The key is the
// first value. fullCompare is set to true first and cleared only by a partial text
// comparison of texts of different length.
int CompareFields(const void* keyValue, const void* value, dataset::FieldType fieldType, std::uint32_t localeID,
                  TmvxMemTableCompareOptions options, bool& fullCompare);

}  // namespace memtable
