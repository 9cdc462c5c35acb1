#include "xls/model/worksheets.h"

#include "platform/case_fold.h"

#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

IXLSWorkSheets::IXLSWorkSheets(TXLSWorkbook* workbook) : workbook_(workbook) {}

IXLSWorkSheets::~IXLSWorkSheets() = default;

bool IXLSWorkSheets::SameName(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() && platform::CompareFolded(a, b) == 0;
}

IXLSWorksheet* IXLSWorkSheets::Add() { return Insert(GetCount() + 1); }

IXLSWorksheet* IXLSWorkSheets::Insert(std::int32_t position) {
  if (position < 1 || position > GetCount() + 1) return nullptr;
  std::u16string name = DefaultName();
  auto sheet = std::make_unique<IXLSWorksheet>(workbook_, NextId());
  sheet->SetNameUnchecked(name);
  IXLSWorksheet* raw = sheet.get();
  items_.insert(items_.begin() + (position - 1), std::move(sheet));
  for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->SetIndex(static_cast<std::uint16_t>(i + 1));
  // What formulas read at a sheet position changed: results kept by position are stale.
  workbook_->BumpRecalcStamp();
  if (items_.size() == 1) raw->Activate();
  return raw;
}

IXLSWorksheet* IXLSWorkSheets::GetItem(std::int32_t index) const {
  if (index < 1 || index > GetCount()) return nullptr;
  return items_[static_cast<std::size_t>(index - 1)].get();
}

bool IXLSWorkSheets::IsValidName(std::int32_t skip, const std::u16string& name) const {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  if (name.find_first_of(u"[]:*?/\\") != std::u16string::npos) return false;
  for (std::int32_t i = 1; i <= GetCount(); ++i) {
    if (i != skip && SameName(GetItem(i)->GetName(), name)) return false;
  }
  return true;
}

std::u16string IXLSWorkSheets::DefaultName() const {
  const std::u16string& prefix = workbook_->SheetNamePrefix();
  std::int32_t n = GetCount() + 1;
  for (;;) {
    std::u16string candidate = prefix;
    for (char c : std::to_string(n)) candidate.push_back(static_cast<char16_t>(c));
    if (IsValidName(0, candidate)) return candidate;
    ++n;
  }
}

std::int32_t IXLSWorkSheets::IdOfName(const std::u16string& name) const {
  for (const auto& s : items_) {
    if (SameName(s->GetName(), name)) return s->GetSheetId();
  }
  return -1;
}

std::int32_t IXLSWorkSheets::IndexOfId(std::int32_t id) const {
  for (const auto& s : items_) {
    if (s->GetSheetId() == id) return s->GetIndex();
  }
  return -1;
}

void IXLSWorkSheets::DeselectAll() {
  for (const auto& s : items_) s->SetSelected(false);
}

}  // namespace xls
