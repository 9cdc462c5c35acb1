// Defined names: a name standing for a formula (usually a range). The workbook keeps one list
// of workbook-scope names and one child list per sheet for sheet-scope names. Every name has a
// workbook-wide id that formulas refer to; ids are never reused while the workbook is open.
// The writer asks the lists for NAME records, the reader adds the names it reads.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "xls/formula/syntax_tree.h"
#include "xls/model/range.h"
#include "xls/model/variant.h"

namespace xls {

class TXLSBlob;
class TXLSCustomNames;
class TXLSWorkbookFormulas;

// What GetNameRangeById answers for names that name each other in a circle (the calculator's
// circular-reference status).
constexpr std::int32_t kNameCircular = -101;
// ... and for a name that stands for a reference to a deleted sheet or to deleted cells (#REF!).
constexpr std::int32_t kNameDeletedSheet = -103;

class TXLSCustomName {
 public:
  std::int32_t Id() const { return id_; }
  const std::u16string& Name() const { return name_; }
  bool Hidden() const { return hidden_; }
  void SetHidden(bool hidden) { hidden_ = hidden; }
  std::int32_t OutputIndex() const { return outputIndex_; }
  TXLSCustomNames* Owner() const { return owner_; }
  // The compiled formula; nullptr for none (only names read from a file have none).
  const TXLSSyntaxItem* Formula() const { return formula_.get(); }
  // The option bits of a name that a file gave as a function or command (function 0x0002,
  // Visual Basic 0x0004, command 0x0008): the names other programs write for the functions
  // they call by name (a newer function such as _xlfn.IFERROR). 0 for other names.
  std::uint16_t FunctionFlags() const { return functionFlags_; }
  // The code of a built-in name read from a file that the page setups and filters do not hold
  // (a print area of several ranges, one of another workbook, Database, Criteria...), written
  // back as a built-in name; -1 for other names.
  std::int32_t BuiltInCode() const { return builtInCode_; }

 private:
  friend class TXLSCustomNames;
  std::int32_t id_ = 0;
  std::u16string name_;
  std::unique_ptr<TXLSSyntaxItem> formula_;
  std::int32_t outputIndex_ = -1;
  bool hidden_ = false;
  std::uint16_t functionFlags_ = 0;
  std::int32_t builtInCode_ = -1;
  TXLSCustomNames* owner_ = nullptr;
};

class TXLSCustomNames {
 public:
  // A NAME record (header included) to append; 1 or a failing status.
  using RecordSink = std::function<int(std::unique_ptr<TXLSBlob>)>;

  // parent nullptr makes the root (workbook scope, scope 0); a child's scope is its sheet id.
  TXLSCustomNames(TXLSCustomNames* parent, TXLSWorkbookFormulas& formulas, std::int32_t scope);
  ~TXLSCustomNames();
  TXLSCustomNames(const TXLSCustomNames&) = delete;
  TXLSCustomNames& operator=(const TXLSCustomNames&) = delete;

  static constexpr int kMaxNameLength = 255;  // the NAME record's length byte
  // 1 for a valid name, -1 otherwise.
  static std::int32_t ValidateName(const std::u16string& text);

  // refersTo begins with "="; nullptr when the name is invalid, taken in this list, or the
  // formula does not compile.
  TXLSCustomName* Add(const std::u16string& name, const std::u16string& refersTo, bool visible);
  // A name read from a file; it may come without a formula (a function name, see
  // FunctionFlags, or a name that formulas use while it stands for nothing, as in =NOSUCHNAME),
  // and is written back without one.
  TXLSCustomName* AddReadName(std::int32_t id, const std::u16string& name, std::int32_t scope, bool hidden,
                              std::unique_ptr<TXLSSyntaxItem> formula, std::uint16_t functionFlags = 0,
                              std::int32_t builtInCode = -1);
  // The text of built-in name code 0..13 ("Print_Area" for 6), empty for other codes.
  static std::u16string BuiltInNameText(std::int32_t code);
  // 1 when renamed; -1 (nothing changed) for an unknown name, an invalid or taken text.
  std::int32_t Rename(TXLSCustomName* name, const std::u16string& text);
  std::int32_t Delete(std::int32_t position);  // 1-based
  std::int32_t SetFormula(TXLSCustomName* name, const std::u16string& refersTo);
  // Every name of the workbook (root only: the sheets' lists too) whose formula `edit` answers
  // with a new tree takes that tree; nullptr leaves the name as it is.
  void ReplaceFormulas(
      const std::function<std::unique_ptr<TXLSSyntaxItem>(const TXLSCustomName&, const TXLSSyntaxItem&)>& edit);
  std::u16string FormulaText(const TXLSCustomName* name) const;  // with the leading "="
  IXLSRange GetRange(const TXLSCustomName* name) const;

  TXLSCustomName* GetByPosition(std::int32_t position) const;
  TXLSCustomName* FindByName(const std::u16string& text) const;
  TXLSCustomName* FindById(std::int32_t id) const;  // in this list
  std::int32_t IndexOfId(std::int32_t id) const;    // 1-based position, -1 when absent
  std::int32_t Count() const { return static_cast<std::int32_t>(names_.size()); }
  std::int32_t Scope() const { return scope_; }
  TXLSCustomNames* Child(std::int32_t sheetId) const;  // nullptr when none
  // The list of a sheet's names, made when missing (on the root; a child answers itself for
  // its own sheet and nullptr otherwise).
  TXLSCustomNames* SheetList(std::int32_t sheetId);

  // Before a save (root only): the NAME record numbers of every name whose formula compiles
  // for the format (2 BIFF8, 1 BIFF5), workbook names first, then each sheet's in the order
  // of sheetIds; the others get -1. The external-reference table must be numbered first.
  // Returns the count of names numbered.
  // Names for which skip answers true (kept built-in names that a sheet's own settings now
  // write) are not numbered either.
  std::int32_t NumberOutput(int format, const std::vector<std::int32_t>& sheetIds,
                            const std::function<bool(const TXLSCustomName&)>& skip = {});
  // The NAME records of the list of `scope` (0 the workbook's, else a sheet id), in position
  // order, for the names numbered.
  std::int32_t WriteNames(const RecordSink& sink, int format, std::int32_t scope);

  // The external-reference table's callbacks (any list; ids are workbook-wide).
  std::u16string GetNameTextById(std::int32_t id) const;
  std::int32_t GetOutputIndexById(std::int32_t id) const;
  std::int32_t FindIdByName(const std::u16string& text, std::int32_t scope) const;
  std::int32_t GetScopeById(std::int32_t id) const;
  // The single area a name's formula stands for (through the names it names) and the 1-based
  // index of its sheet; -1 when the formula is not one reference of this workbook,
  // kNameCircular when names name each other in a circle, kNameDeletedSheet when the reference
  // names a deleted sheet. (Formulas that must be calculated wait for the calculator.)
  std::int32_t GetNameRangeById(std::int32_t id, std::int32_t sheetIndex, TXLSRangeItem& range,
                                std::int32_t& rangeSheetIndex) const;

 private:
  TXLSCustomNames& Root() { return parent_ ? *parent_ : *this; }
  const TXLSCustomNames& Root() const { return parent_ ? *parent_ : *this; }
  TXLSCustomName* Lookup(std::int32_t id) const;  // anywhere in the workbook
  std::unique_ptr<TXLSSyntaxItem> Compile(const std::u16string& refersTo) const;
  std::unique_ptr<TXLSBlob> BuildNameRecord(const TXLSCustomName& name, int format, std::int32_t sheetIndex);
  void Reindex();

  TXLSCustomNames* parent_;
  TXLSWorkbookFormulas& formulas_;
  std::int32_t scope_;
  std::vector<std::unique_ptr<TXLSCustomName>> names_;
  std::unordered_map<std::u16string, std::int32_t> byName_;  // -> 1-based position
  std::unordered_map<std::int32_t, std::int32_t> byId_;      // -> 1-based position
  std::int32_t idCounter_ = 0;                               // root only
  std::map<std::int32_t, std::unique_ptr<TXLSCustomNames>> children_;  // root only, by sheet id
  std::unordered_map<std::int32_t, TXLSCustomName*> idMap_;            // root only, shared
};

// The names as the workbook hands them out; neither owns what it wraps.
class TXLSName {
 public:
  TXLSName(TXLSCustomNames& list, const TXLSCustomName& name) : list_(list), id_(name.Id()) {}
  std::u16string GetName() const;
  std::u16string GetRefersTo() const;
  IXLSRange GetRefersToRange() const;
  std::int32_t SetRefersTo(const std::u16string& text);
  std::int32_t SetName(const std::u16string& text);
  std::int32_t GetIndex() const;
  bool GetVisible() const;
  void SetVisible(bool visible);
  std::int32_t Delete();

 private:
  TXLSCustomName* Target() const { return list_.FindById(id_); }  // nullptr once deleted
  TXLSCustomNames& list_;
  std::int32_t id_;
};
using IXLSName = std::shared_ptr<TXLSName>;

class TXLSNames {
 public:
  explicit TXLSNames(TXLSCustomNames& root) : root_(root) {}
  // A number is a 1-based position; anything else is read as a name text.
  IXLSName GetItem(const Variant& index) const;
  std::int32_t GetCount() const { return root_.Count(); }
  IXLSName Add(const std::u16string& name, const std::u16string& refersTo, bool visible = true);

 private:
  TXLSCustomNames& root_;
};
using IXLSNames = std::shared_ptr<TXLSNames>;

}  // namespace xls
