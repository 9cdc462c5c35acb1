#include "xls/formula/names.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>

#include "xls/formula/workbook_formulas.h"
#include "xls/model/blob.h"
#include "xls/model/codepage.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {

namespace {

constexpr std::uint16_t kRecName = 0x0018;
constexpr std::uint16_t kFunctionFlags = 0x000E;  // function, Visual Basic, command
constexpr std::u16string_view kForbidden = u"$'\"`!@#%^&*()-+\\/,;|:[]{}?><=~ ";

// True when the formula names a name of this workbook that has no NAME record number (deleted,
// or skipped in this save): its token would point at no record.
bool RefersToUnnumberedName(const TXLSSyntaxItem& node, TXLSExternSheet& externs) {
  if (node.kind == kNodeName) {
    const int externId = node.range ? node.range->externId : 0;
    if ((externId <= 0 || externs.IsOwnBook(externId)) && externs.NameOutputIndexById(node.value) < 1) return true;
  }
  for (int i = 1; i <= node.ChildCount(); ++i)
    if (RefersToUnnumberedName(*node.Child(i), externs)) return true;
  return false;
}

const TXLSSyntaxItem* Unwrapped(const TXLSSyntaxItem* node) {
  while (node && node->kind == kNodeParen && node->ChildCount() == 1) node = node->Child(1);
  return node;
}

}  // namespace

TXLSCustomNames::TXLSCustomNames(TXLSCustomNames* parent, TXLSWorkbookFormulas& formulas, std::int32_t scope)
    : parent_(parent), formulas_(formulas), scope_(scope) {}

TXLSCustomNames::~TXLSCustomNames() = default;

std::int32_t TXLSCustomNames::ValidateName(const std::u16string& text) {
  if (text.empty() || text.size() > kMaxNameLength) return -1;
  for (char16_t c : text)
    if (kForbidden.find(c) != std::u16string_view::npos) return -1;
  if (text[0] == u'.' || (text[0] >= u'0' && text[0] <= u'9')) return -1;
  return 1;
}

std::unique_ptr<TXLSSyntaxItem> TXLSCustomNames::Compile(const std::u16string& refersTo) const {
  if (refersTo.empty() || refersTo[0] != u'=') return nullptr;
  return formulas_.CompileText(refersTo.substr(1), scope_);
}

void TXLSCustomNames::Reindex() {
  byName_.clear();
  byId_.clear();
  for (std::size_t i = 0; i < names_.size(); ++i) {
    byName_[names_[i]->name_] = static_cast<std::int32_t>(i + 1);
    byId_[names_[i]->id_] = static_cast<std::int32_t>(i + 1);
  }
}

TXLSCustomName* TXLSCustomNames::Add(const std::u16string& name, const std::u16string& refersTo, bool visible) {
  if (ValidateName(name) != 1 || FindByName(name)) return nullptr;
  auto tree = Compile(refersTo);
  if (!tree) return nullptr;
  TXLSCustomNames& root = Root();
  auto n = std::make_unique<TXLSCustomName>();
  n->id_ = root.idCounter_ + 1;
  n->name_ = name;
  n->formula_ = std::move(tree);
  n->hidden_ = !visible;
  n->owner_ = this;
  root.idCounter_ = n->id_;
  TXLSCustomName* raw = n.get();
  names_.push_back(std::move(n));
  byName_[name] = Count();
  byId_[raw->id_] = Count();
  root.idMap_[raw->id_] = raw;
  formulas_.Book().BumpRecalcStamp();  // formulas reading names calculate again
  return raw;
}

std::u16string TXLSCustomNames::BuiltInNameText(std::int32_t code) {
  static const char16_t* const kTexts[] = {u"Consolidate_Area", u"Auto_Open",    u"Auto_Close",      u"Extract",
                                           u"Database",         u"Criteria",     u"Print_Area",      u"Print_Titles",
                                           u"Recorder",         u"Data_Form",    u"Auto_Activate",   u"Auto_Deactivate",
                                           u"Sheet_Title",      u"_FilterDatabase"};
  return code >= 0 && code < static_cast<std::int32_t>(std::size(kTexts)) ? kTexts[code] : std::u16string();
}

TXLSCustomName* TXLSCustomNames::AddReadName(std::int32_t id, const std::u16string& name, std::int32_t scope,
                                             bool hidden, std::unique_ptr<TXLSSyntaxItem> formula,
                                             std::uint16_t functionFlags, std::int32_t builtInCode) {
  if (!parent_ && scope > 0)
    return SheetList(scope)->AddReadName(id, name, scope, hidden, std::move(formula), functionFlags, builtInCode);
  functionFlags &= kFunctionFlags;
  TXLSCustomNames& root = Root();
  // A file may carry anything: ids and texts must still identify one name each.
  if (scope != scope_ || id < 1 || name.empty() || root.idMap_.count(id) || FindByName(name)) return nullptr;
  auto n = std::make_unique<TXLSCustomName>();
  n->id_ = id;
  n->name_ = name;
  n->formula_ = std::move(formula);
  n->hidden_ = hidden;
  n->functionFlags_ = functionFlags;
  n->builtInCode_ = builtInCode >= 0 && builtInCode <= 0xFF ? builtInCode : -1;
  n->owner_ = this;
  root.idCounter_ = std::max(root.idCounter_, id);
  TXLSCustomName* raw = n.get();
  names_.push_back(std::move(n));
  byName_[name] = Count();
  byId_[id] = Count();
  root.idMap_[id] = raw;
  return raw;
}

std::int32_t TXLSCustomNames::Rename(TXLSCustomName* name, const std::u16string& text) {
  if (!name || name->owner_ != this || name->name_ == text || ValidateName(text) != 1 || FindByName(text)) return -1;
  const std::int32_t position = byName_[name->name_];
  byName_.erase(name->name_);
  name->name_ = text;
  name->builtInCode_ = -1;  // renamed, a built-in name becomes the user's
  byName_[text] = position;
  return 1;
}

std::int32_t TXLSCustomNames::Delete(std::int32_t position) {
  if (position < 1 || position > Count()) return -1;
  TXLSCustomName* name = names_[static_cast<std::size_t>(position - 1)].get();
  Root().idMap_.erase(name->id_);
  names_.erase(names_.begin() + (position - 1));
  Reindex();
  formulas_.Book().BumpRecalcStamp();
  return 1;
}

std::int32_t TXLSCustomNames::SetFormula(TXLSCustomName* name, const std::u16string& refersTo) {
  if (!name || name->owner_ != this) return -1;
  auto tree = Compile(refersTo);
  if (!tree) return -1;
  name->formula_ = std::move(tree);
  formulas_.Book().BumpRecalcStamp();  // what the name stands for changed
  return 1;
}

void TXLSCustomNames::ReplaceFormulas(
    const std::function<std::unique_ptr<TXLSSyntaxItem>(const TXLSCustomName&, const TXLSSyntaxItem&)>& edit) {
  auto visit = [&](TXLSCustomNames& list) {
    for (auto& n : list.names_) {
      if (!n->formula_) continue;
      if (std::unique_ptr<TXLSSyntaxItem> tree = edit(*n, *n->formula_)) n->formula_ = std::move(tree);
    }
  };
  visit(*this);
  for (auto& [id, child] : children_) visit(*child);
}

std::u16string TXLSCustomNames::FormulaText(const TXLSCustomName* name) const {
  if (!name || !name->formula_) return {};
  std::u16string text = formulas_.FormulaText(*name->formula_, 0, 0);
  return text.empty() ? text : u"=" + text;
}

IXLSRange TXLSCustomNames::GetRange(const TXLSCustomName* name) const {
  if (!name) return {};
  TXLSWorkbook& book = formulas_.Book();
  std::int32_t active = 0;
  if (IXLSWorksheet* sheet = book.GetActiveSheet()) book.GetSheetIndexById(sheet->GetSheetId(), active);
  TXLSRangeItem r;
  std::int32_t sheetIndex = -1;
  if (GetNameRangeById(name->id_, active, r, sheetIndex) != 1) return {};
  IXLSWorksheet* sheet = book.GetWorksheets().GetItem(sheetIndex);
  if (!sheet) return {};
  return sheet->GetRangeRC(r.firstRow + 1, r.firstCol + 1, r.lastRow + 1, r.lastCol + 1);
}

TXLSCustomName* TXLSCustomNames::GetByPosition(std::int32_t position) const {
  if (position < 1 || position > Count()) return nullptr;
  return names_[static_cast<std::size_t>(position - 1)].get();
}

TXLSCustomName* TXLSCustomNames::FindByName(const std::u16string& text) const {
  auto it = byName_.find(text);
  return it == byName_.end() ? nullptr : GetByPosition(it->second);
}

TXLSCustomName* TXLSCustomNames::FindById(std::int32_t id) const {
  auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : GetByPosition(it->second);
}

std::int32_t TXLSCustomNames::IndexOfId(std::int32_t id) const {
  auto it = byId_.find(id);
  return it == byId_.end() ? -1 : it->second;
}

TXLSCustomNames* TXLSCustomNames::Child(std::int32_t sheetId) const {
  auto it = Root().children_.find(sheetId);
  return it == Root().children_.end() ? nullptr : it->second.get();
}

TXLSCustomNames* TXLSCustomNames::SheetList(std::int32_t sheetId) {
  if (parent_) return sheetId == scope_ ? this : nullptr;
  if (sheetId < 1) return nullptr;
  auto& child = children_[sheetId];
  if (!child) child = std::make_unique<TXLSCustomNames>(this, formulas_, sheetId);
  return child.get();
}

TXLSCustomName* TXLSCustomNames::Lookup(std::int32_t id) const {
  const auto& map = Root().idMap_;
  auto it = map.find(id);
  return it == map.end() ? nullptr : it->second;
}

std::u16string TXLSCustomNames::GetNameTextById(std::int32_t id) const {
  const TXLSCustomName* n = Lookup(id);
  return n ? n->name_ : std::u16string();
}

std::int32_t TXLSCustomNames::GetOutputIndexById(std::int32_t id) const {
  const TXLSCustomName* n = Lookup(id);
  return n ? n->outputIndex_ : -1;
}

std::int32_t TXLSCustomNames::GetScopeById(std::int32_t id) const {
  const TXLSCustomName* n = Lookup(id);
  return n ? n->owner_->scope_ : -1;
}

std::int32_t TXLSCustomNames::FindIdByName(const std::u16string& text, std::int32_t scope) const {
  if (scope < 1 || parent_ || scope == scope_) {
    if (const TXLSCustomName* n = FindByName(text)) return n->id_;
    return parent_ ? parent_->FindIdByName(text, parent_->scope_) : -1;
  }
  if (const TXLSCustomNames* child = Child(scope)) return child->FindIdByName(text, scope);
  return FindIdByName(text, scope_);
}

std::int32_t TXLSCustomNames::GetNameRangeById(std::int32_t id, std::int32_t sheetIndex, TXLSRangeItem& range,
                                               std::int32_t& rangeSheetIndex) const {
  const TXLSCustomName* n = Lookup(id);
  if (!n || !n->formula_) return -1;
  const TXLSSyntaxItem* node = Unwrapped(n->formula_.get());
  // A name may stand for another name: followed to the reference at the end, and a circle of
  // names is a circular reference.
  std::set<std::int32_t> seen{id};
  while (node && node->kind == kNodeName) {
    if (!seen.insert(node->value).second) return kNameCircular;
    n = Lookup(node->value);
    if (!n || !n->formula_) return -1;
    node = Unwrapped(n->formula_.get());
  }
  if (!node || node->kind != kNodeReference || !node->range) return -1;
  const TXLSRangeItem& r = *node->range;
  if (r.IsInvalid()) return kNameDeletedSheet;  // its cells were deleted
  if (r.offset) return -1;
  TXLSWorkbook& book = formulas_.Book();
  std::int32_t index = -1;
  if (r.Is3d()) {
    int b = 0, first = 0, last = 0;
    TXLSExternSheet& externs = formulas_.Externs();
    if (externs.IsDeletedSheet(r.externId)) return kNameDeletedSheet;
    if (!externs.IsOwnBook(r.externId) || externs.ResolveEntry(r.externId, b, first, last) != 1 || first != last)
      return -1;
    index = first;
  } else if (n->owner_->scope_ > 0) {
    if (book.GetSheetIndexById(n->owner_->scope_, index) != 1) return -1;
  } else {
    index = sheetIndex;
  }
  if (index < 1 || index > book.GetWorksheets().GetCount()) return -1;
  range = r;
  if (!r.IsArea()) {
    range.lastRow = r.firstRow;
    range.lastCol = r.firstCol;
  }
  rangeSheetIndex = index;
  return 1;
}

std::int32_t TXLSCustomNames::NumberOutput(int format, const std::vector<std::int32_t>& sheetIds,
                                          const std::function<bool(const TXLSCustomName&)>& skip) {
  // Workbook names first, then each sheet's in sheet order. A name whose formula does not
  // compile is skipped and takes no number; since formulas may refer to names written after
  // them, numbering repeats until no further name drops out.
  std::vector<TXLSCustomName*> order;
  for (auto& n : names_) order.push_back(n.get());
  for (std::int32_t id : sheetIds)
    if (TXLSCustomNames* child = Child(id))
      for (auto& n : child->names_) order.push_back(n.get());
  std::vector<bool> skipped(order.size(), false);
  if (skip)
    for (std::size_t i = 0; i < order.size(); ++i) skipped[i] = skip(*order[i]);
  for (std::size_t round = 0; round <= order.size(); ++round) {
    std::int32_t counter = 0;
    for (std::size_t i = 0; i < order.size(); ++i) order[i]->outputIndex_ = skipped[i] ? -1 : ++counter;
    bool changed = false;
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (skipped[i]) continue;
      std::unique_ptr<TXLSBlob> bytes;
      const TXLSCustomName& n = *order[i];
      if (!n.formula_) continue;  // a function name, or a name a file gave no formula, goes without one
      if (RefersToUnnumberedName(*n.formula_, formulas_.Externs()) ||
          formulas_.GetFormulaBytes(*n.formula_, kRootReference, n.owner_->scope_, 0, 0, format, bytes) != 1)
        skipped[i] = changed = true;
    }
    if (!changed) return counter;
  }
  return 0;
}

std::unique_ptr<TXLSBlob> TXLSCustomNames::BuildNameRecord(const TXLSCustomName& name, int format,
                                                           std::int32_t sheetIndex) {
  std::unique_ptr<TXLSBlob> formula;
  if (!name.formula_) {
    formula = std::make_unique<TXLSBlob>(2);
    formula->AddWord(0);
  } else if (formulas_.GetFormulaBytes(*name.formula_, kRootReference, scope_, 0, 0, format, formula) != 1) {
    return nullptr;
  }
  const bool biff8 = format != kFormatBiff5;
  const bool builtIn = name.builtInCode_ >= 0;
  std::string narrow;
  if (builtIn) narrow.assign(1, static_cast<char>(name.builtInCode_));
  else if (!biff8) narrow = WideToAnsiCP(name.name_, formulas_.Book().GetCodePage());
  // A built-in name is its code, one 8-bit character.
  const std::uint32_t nameBytes = builtIn ? (biff8 ? 2u : 1u)
                                  : biff8 ? 1 + 2 * static_cast<std::uint32_t>(name.name_.size())
                                          : static_cast<std::uint32_t>(narrow.size());
  const std::uint32_t nameChars = builtIn ? 1u : biff8 ? static_cast<std::uint32_t>(name.name_.size()) : nameBytes;
  if (nameChars > kMaxNameLength) return nullptr;
  // The formula length counts the tokens only; array constants follow them in the record.
  const std::uint32_t tokenSize = formula->GetWord(0);
  const std::uint32_t formulaBytes = formula->GetSize() - 2;
  const std::uint32_t length = 14 + nameBytes + formulaBytes;
  if (length > 0xFFFF) return nullptr;
  auto b = std::make_unique<TXLSBlob>(4 + length);
  b->AddWord(kRecName);
  b->AddWord(length);
  b->AddWord((name.hidden_ ? 1u : 0u) | name.functionFlags_ | (builtIn ? 0x0020u : 0u));
  b->AddByte(0);
  b->AddByte(nameChars);
  b->AddWord(tokenSize);
  const std::uint32_t sheet = sheetIndex > 0 ? static_cast<std::uint32_t>(sheetIndex) : 0u;
  b->AddWord(biff8 ? 0u : sheet);
  b->AddWord(sheet);
  b->AddDWord(0);
  if (biff8 && !builtIn) {
    b->AddByte(1);
    b->AddWideString(name.name_);
  } else {
    if (biff8) b->AddByte(0);
    b->AddString(narrow);
  }
  b->AddBlobRange(*formula, 2, formulaBytes);
  return b;
}

std::int32_t TXLSCustomNames::WriteNames(const RecordSink& sink, int format, std::int32_t scope) {
  if (scope != scope_) {
    if (parent_) return 1;
    TXLSCustomNames* child = Child(scope);
    return child ? child->WriteNames(sink, format, scope) : 1;
  }
  std::int32_t sheetIndex = 0;
  if (scope_ > 0 && formulas_.Book().GetSheetIndexById(scope_, sheetIndex) != 1) sheetIndex = 0;
  for (auto& n : names_) {
    if (n->outputIndex_ < 1) continue;
    auto record = BuildNameRecord(*n, format, sheetIndex);
    if (!record) {
      n->outputIndex_ = -1;
      continue;
    }
    const std::int32_t result = sink(std::move(record));
    if (result != 1) return result;
  }
  return 1;
}

// ---- Interface objects -----------------------------------------------------------------------

std::u16string TXLSName::GetName() const {
  const TXLSCustomName* n = Target();
  return n ? n->Name() : std::u16string();
}
std::u16string TXLSName::GetRefersTo() const { return list_.FormulaText(Target()); }
IXLSRange TXLSName::GetRefersToRange() const { return list_.GetRange(Target()); }
std::int32_t TXLSName::SetRefersTo(const std::u16string& text) { return list_.SetFormula(Target(), text); }
std::int32_t TXLSName::SetName(const std::u16string& text) { return list_.Rename(Target(), text); }
std::int32_t TXLSName::GetIndex() const { return list_.IndexOfId(id_); }
bool TXLSName::GetVisible() const {
  const TXLSCustomName* n = Target();
  return n && !n->Hidden();
}
void TXLSName::SetVisible(bool visible) {
  if (TXLSCustomName* n = Target()) n->SetHidden(!visible);
}
std::int32_t TXLSName::Delete() { return list_.Delete(list_.IndexOfId(id_)); }

IXLSName TXLSNames::GetItem(const Variant& index) const {
  TXLSCustomName* n = nullptr;
  if (index.IsNumber()) {
    double v = index.NumberValue();
    if (std::isfinite(v) && v >= 1 && v <= root_.Count()) n = root_.GetByPosition(static_cast<std::int32_t>(v));
  } else {
    n = root_.FindByName(index.ToText());
  }
  return n ? std::make_shared<TXLSName>(root_, *n) : nullptr;
}

IXLSName TXLSNames::Add(const std::u16string& name, const std::u16string& refersTo, bool visible) {
  TXLSCustomName* n = root_.Add(name, refersTo, visible);
  return n ? std::make_shared<TXLSName>(root_, *n) : nullptr;
}

}  // namespace xls
