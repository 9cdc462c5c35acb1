// The catalogue of worksheet functions and add-in (analysis) functions: BIFF function number,
// argument count and the token class of the result and of each argument.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace xls {

// Token classes of the formula compiler.
enum : int { kClassReference = 0, kClassValue = 1, kClassArray = 2 };

struct THashFuncEntry {
  std::u16string key;          // the function name in capitals
  int32_t number = 0;          // BIFF function number, or the add-in index
  int32_t argCount = 0;        // fixed argument count, or -1 for a variable count
  int32_t returnClass = 0;
  int32_t defaultClass = 0;    // class of every argument without a digit of its own
  std::vector<uint8_t> classDigits;
  int16_t digitCount = 0;

  // Class of argument i (1-based).
  int GetArgClass(int i) const;
};

class THashFunc {
 public:
  THashFunc() = default;
  THashFunc(const THashFunc&) = delete;
  THashFunc& operator=(const THashFunc&) = delete;

  void AddFunction(std::u16string_view name, int number, int returnClass, int argCount,
                   int defaultClass);
  // classDigits: one decimal digit (0, 1 or 2) per leading argument, e.g. "100".
  void AddFunctionEx(std::u16string_view name, int number, std::string_view classDigits,
                     int returnClass, int argCount, int defaultClass);

  // Exact, case-sensitive lookup; callers upper-case the name first.
  const THashFuncEntry* FindByName(std::u16string_view name) const;
  std::u16string GetNameByNumber(int number) const;
  // -2 when the number has no registered name.
  int GetArgCountByNumber(int number) const;

  void SetAddIns(std::unique_ptr<THashFunc> addIns) { addIns_ = std::move(addIns); }
  const THashFunc* AddIns() const { return addIns_.get(); }
  const THashFuncEntry* FindAddIn(std::u16string_view name) const;

  size_t Count() const { return entries_.size(); }

 private:
  THashFuncEntry& FindOrAdd(std::u16string_view name);

  std::unordered_map<std::u16string, THashFuncEntry> entries_;
  std::unordered_map<int, std::u16string> names_;
  std::unique_ptr<THashFunc> addIns_;
};

// Fill the two catalogues from the registration tables.
void RegisterBuiltIns(THashFunc& catalogue);
void RegisterAddIns(THashFunc& catalogue);
// A built-in catalogue with its add-in catalogue linked, as the formula compiler uses it.
std::unique_ptr<THashFunc> MakeFunctionCatalogue();

// Number text with "." as the decimal point to a double; false when the whole text is no number.
bool TryTextToFloat(std::u16string_view text, double& value);

}  // namespace xls
