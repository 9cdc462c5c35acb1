// The ordered sheets of a workbook: unique default names, 1-based positions, ids that are never
// reused, the sheet-name rules and the active sheet.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xls {

class IXLSWorksheet;
class TXLSWorkbook;

class IXLSWorkSheets {
 public:
  static constexpr std::size_t kMaxNameLength = 31;

  explicit IXLSWorkSheets(TXLSWorkbook* workbook);
  ~IXLSWorkSheets();
  IXLSWorkSheets(const IXLSWorkSheets&) = delete;
  IXLSWorkSheets& operator=(const IXLSWorkSheets&) = delete;

  // Appends a sheet named "Sheet" and the first free number counted from the new count.
  IXLSWorksheet* Add();
  // A new sheet at a 1-based position 1..count + 1; nullptr for any other position.
  IXLSWorksheet* Insert(std::int32_t position);
  // The sheet at a 1-based position, or nullptr.
  IXLSWorksheet* GetItem(std::int32_t index) const;
  std::int32_t GetCount() const { return static_cast<std::int32_t>(items_.size()); }
  IXLSWorksheet* GetActive() const { return active_; }
  void SetActive(IXLSWorksheet* sheet) { active_ = sheet; }

  // Whether a name may be given to the sheet at position skip (0: checked against all
  // sheets): 1 to 31 characters, none of [ ] : * ? / \, and no other sheet's name, compared
  // without regard to letter case.
  bool IsValidName(std::int32_t skip, const std::u16string& name) const;
  std::u16string DefaultName() const;
  // The id of the sheet with that name (letter case ignored), or -1.
  std::int32_t IdOfName(const std::u16string& name) const;
  std::int32_t IndexOfId(std::int32_t id) const;
  std::int32_t NextId() { return ++idCounter_; }
  void DeselectAll();
  TXLSWorkbook* Workbook() const { return workbook_; }

  // Names compared as the sheet rules compare them: Unicode simple case folding.
  static bool SameName(const std::u16string& a, const std::u16string& b);

 private:
  std::vector<std::unique_ptr<IXLSWorksheet>> items_;
  TXLSWorkbook* workbook_;
  IXLSWorksheet* active_ = nullptr;
  std::int32_t idCounter_ = 0;
};

}  // namespace xls
