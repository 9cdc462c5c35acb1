// The workbook's table of references that leave a formula's own sheet: every 3-D reference,
// every name written with a sheet prefix and every add-in call points to one entry. Formulas
// keep the entry id; before a save the live entries are numbered and written as EXTERNSHEET,
// and the supporting books as SUPBOOK and EXTERNNAME. Sheets and names are known only through
// callbacks that the workbook and the defined-name store supply.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "xls/formula/syntax_tree.h"

namespace xls {

class TXLSBlob;
class TXLSBlobList;

// Each callback may be unset; a call through an unset one answers -1 or an empty text.
struct TXLSExternCallbacks {
  std::function<int(const std::u16string& sheetName)> sheetIdByName;
  std::function<int(int sheetId)> sheetIndexById;             // 1-based sheet index
  std::function<std::u16string(int sheetIndex)> sheetNameByIndex;
  std::function<std::u16string(int nameId)> nameTextById;
  std::function<int(int nameId)> nameOutputIndexById;         // NAME record number
  std::function<int(const std::u16string& text, int scope)> nameIdByText;
  std::function<int(int nameId)> nameScopeById;               // sheet id, 0 for the workbook
  std::function<int()> nextSheetNumber;
  std::function<int(int nameId, TXLSRangeItem& range)> nameRangeById;
};

// A value another book's cell had when the file was saved (CRN): kind 0 empty, 1 number,
// 2 text, 4 boolean (code 0 or 1), 16 error (code).
struct TXLSExternValue {
  uint8_t kind = 0;
  uint8_t code = 0;
  double number = 0;
  std::u16string text;
};

// One CRN record: the values of the cells of one row from the first column on.
struct TXLSExternRow {
  int row = 0;
  int firstColumn = 0;
  std::vector<TXLSExternValue> values;
};

// The cells of one sheet of another book that the workbook's formulas read (XCT and its CRNs);
// sheet is the 0-based position among the book's sheet names.
struct TXLSExternCache {
  int sheet = 0;
  std::vector<TXLSExternRow> rows;
};

// A defined name of another book as its EXTERNNAME holds it: the option flags, the sheet it
// belongs to (1-based among the book's sheets, 0 for the whole book) and, from a BIFF8 file, the
// bytes after the name (its formula, which names the book's sheets by their positions).
struct TXLSExternNameDef {
  uint16_t options = 0;
  uint16_t sheet = 0;
  std::vector<uint8_t> formula;  // empty: written as #REF!
};

struct TXLSSupBookItem {
  bool ownBook = true;
  bool addIn = false;
  std::u16string path;
  std::vector<std::u16string> sheetNames;
  std::vector<std::u16string> externNames;
  std::unordered_map<std::u16string, int> namePositions;  // 1-based
  std::vector<TXLSExternCache> caches;  // other books only
  std::vector<TXLSExternNameDef> nameDefs;  // other books: one per external name

  int AddName(const std::u16string& name);
  // Another book's name read from a file: kept at its position, even when its text repeats
  // (names of different sheets), since formulas name it by that position.
  int AddReadName(const std::u16string& name, TXLSExternNameDef def);
};

class TXLSSupBook {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const TXLSSupBookItem& Item(int i) const { return items_[static_cast<size_t>(i)]; }
  // Index of the own book, made first when the list is empty.
  int OwnBook();
  // The own-book index as it stands (0 while there is none).
  int OwnBookIndex() const { return ownIndex_ < 0 ? 0 : ownIndex_; }
  int AddInBookIndex() const { return addInIndex_; }
  // Index of the add-in book, made when missing (after the own book).
  int AddInBook();
  int AddInNamePosition(const std::u16string& name);
  std::u16string NameAt(int book, int position) const;

  // SUPBOOK and EXTERNNAME record bodies read from a file; 1 or -1.
  int ReadSupBook(const uint8_t* data, size_t size);
  // BIFF8 names carry an option byte before their characters; BIFF5 names are 8-bit text.
  // A name belongs to the add-in book or to another book: in BIFF8 the SUPBOOK read last, in
  // BIFF5 the book of the EXTERNSHEET read last, if any (codePage decodes BIFF5's names).
  int ReadExternName(const uint8_t* data, size_t size, bool biff8 = true, int codePage = 1252);
  // Names of other books read from BIFF5 whose definitions were not kept (their formulas name
  // EXTERNSHEET positions that a save does not keep).
  int LostBiff5NameFormulas() const { return lostBiff5NameFormulas_; }
  // XCT and CRN: the cached cells of another book, for the book read last. BIFF5's XCT names
  // no sheet (its EXTERNSHEET does), BIFF5's texts are 8-bit text of the code page. 1 or -1.
  int ReadXct(const uint8_t* data, size_t size, bool biff8 = true);
  int ReadCrn(const uint8_t* data, size_t size, bool biff8 = true, int codePage = 1252);
  // Appends SUPBOOK (and the add-in book's EXTERNNAME) records in list order.
  int WriteRecords(TXLSBlobList& out, int sheetCount);
  // BIFF5 has no SUPBOOK: EXTERNCOUNT, one EXTERNSHEET per sheet of the own book (so that a
  // 3-D reference names its sheet by position), then the add-in book's EXTERNSHEET (at the
  // next sheet number) with its EXTERNNAMEs.
  // Names in 8-bit text of the workbook's code page.
  int WriteBiff5Records(TXLSBlobList& out, const std::vector<std::u16string>& sheetNames,
                        int codePage = 1252);
  // The add-in book's part of those: its EXTERNSHEET and EXTERNNAMEs (nothing without one).
  int WriteBiff5AddIn(TXLSBlobList& out, int codePage = 1252);
  std::vector<std::unique_ptr<TXLSBlob>> Biff5AddInRecords(int codePage = 1252) const;
  bool HasAddInNames() const;
  // The 1-based position of the add-in's EXTERNSHEET in a BIFF5 file read (0: none read), by
  // which its formulas name the add-in book.
  void SetBiff5AddInSheet(int position) {
    biff5AddInSheet_ = position;
    biff5NamesBook_ = addInIndex_;
  }
  int Biff5AddInSheet() const { return biff5AddInSheet_; }

  // BIFF5 names each sheet of another book by an EXTERNSHEET of its own: 0x01, the book's
  // encoded path with its name in brackets, then the sheet's name; its cached cells (XCT and
  // CRN) follow it. Formulas name the sheet by the record's 1-based position.
  // Reading: the name of the record at the position (0x01 included); another kind of record
  // is passed over. 1, or -1 for a name that cannot be read.
  int ReadBiff5ExternSheet(const std::u16string& name, int position);
  // Writing: one EXTERNSHEET per sheet of each other book, from the position on, each with
  // the cached cells of its sheet when asked (the workbook's records; a sheet's repeat the
  // records alone). The positions are kept for the formulas written after.
  std::vector<std::unique_ptr<TXLSBlob>> Biff5BookRecords(int position, bool withCaches, int codePage = 1252);
  int Biff5BookSheetCount(int codePage = 1252) const;
  // The position of a sheet of another book (0: none), and the book and sheet at a position.
  int Biff5Position(int book, int sheet) const;
  bool Biff5SheetAt(int position, int& book, int& sheet) const;
  // A BIFF5 name of another book: its EXTERNSHEET position and 1-based index there give the
  // book and the name's position in the book (reading); the position whose EXTERNSHEET the
  // book's names follow, 0 for none (writing).
  bool Biff5NameAt(int position, int index, int& book, int& name) const;
  int Biff5NamesPosition(int book) const;

 private:
  // Appends a book other than the own one (which it makes first, when there is none yet); its index.
  int AppendOtherBook(TXLSSupBookItem item);

  std::vector<TXLSSupBookItem> items_;
  int ownIndex_ = -1;
  int addInIndex_ = -1;
  static std::string Biff5SheetName(const TXLSSupBookItem& item, int sheet, int codePage);

  int biff5AddInSheet_ = 0;
  std::map<int, std::pair<int, int>> biff5Sheets_;  // position -> book, sheet
  int cacheBook_ = -1;  // the book whose XCT was read last, which the CRNs that follow fill
  int biff5Book_ = -1, biff5Sheet_ = -1;  // of the BIFF5 EXTERNSHEET read last
  int biff5NamesBook_ = -1;               // whose EXTERNNAMEs follow the EXTERNSHEET read last
  std::map<int, std::pair<int, int>> biff5Names_;  // position -> book, names before its own
  int lostBiff5NameFormulas_ = 0;
};

struct TXLSExternSheetItem {
  int32_t id = 0;
  int32_t firstSheet = 0;   // sheet ids of the own book, positions of other books, -1 add-in
  int32_t lastSheet = 0;
  uint8_t used = 1;
  int32_t outputIndex = -1;
  int32_t firstIndex = -1;  // 1-based sheet indexes, filled by Renumber
  int32_t lastIndex = -1;
  int32_t book = 0;
  // An entry of the own book whose sheets were deleted: first and last hold the sheet words
  // the file gave (0xFFFF, say), written back as they were.
  uint8_t deletedSheet = 0;
};

class TXLSExternSheet {
 public:
  explicit TXLSExternSheet(TXLSExternCallbacks callbacks = {});

  TXLSExternCallbacks& Callbacks() { return cb_; }
  TXLSSupBook& SupBook() { return supBook_; }

  int FindOrAddBySheetNames(const std::u16string& first, const std::u16string& last);
  int FindOrAddBySheetIndex(int firstIndex, int lastIndex);
  int FindOrAddBySheetIds(int firstId, int lastId);
  int EntryOfNameScope(int nameId);
  // An entry read from an EXTERNSHEET record: first and last are the record's 0-based sheet
  // positions; for the add-in book they are ignored. One of the own book that names no sheet
  // (its sheets were deleted) becomes a reference to a deleted sheet.
  int AddFromRecord(int id, int book, int first, int last);
  // The entry of a reference to a deleted sheet, with the sheet words a file gave it.
  int DeletedSheetEntry(int first, int last);
  bool IsDeletedSheet(int id) const;
  int AddInEntry();
  // The entry of sheets of another book (0-based positions among its sheet names).
  int FindOrAddOtherBook(int book, int first, int last);
  int AddInNameIndex(const std::u16string& name);
  std::u16string GetAddInName(int entryId, int position);

  bool IsOwnBook(int id) const;
  int GetOutputIndex(int id) const;
  int ResolveEntry(int id, int& book, int& first, int& last) const;
  int GetEntry(int id, int& book, int& first, int& last) const;
  int ResolveEntryAt(int n, int& book, int& first, int& last) const;
  // 'First' or 'First':'Last' for formula text, #REF for a deleted sheet; empty when the entry
  // does not resolve.
  std::u16string GetSheetText(int id) const;
  // A name of another book for formula text: '\dir\other.xls'!Name, or with the sheet of a
  // sheet's name ('\dir\[other.xls]Sheet'!Name); empty when the book has no such name.
  std::u16string GetExternNameText(int id, int position) const;
  void Renumber();
  int OutputCount() const { return static_cast<int>(output_.size()); }
  int OutputId(int n) const;  // n is 1-based

  // EXTERNSHEET (BIFF8) from the numbered entries.
  int WriteExternSheet(TXLSBlobList& out) const;

  // Pass-through of the defined-name and workbook callbacks.
  std::u16string NameTextById(int nameId) const;
  int NameOutputIndexById(int nameId) const;
  int NameIdByText(const std::u16string& text, int scope) const;
  int NameScopeById(int nameId) const;
  int NextSheetNumber() const;
  int NameRangeById(int nameId, TXLSRangeItem& range) const;
  int SheetIdByName(const std::u16string& name) const;
  int SheetIndexById(int id) const;
  std::u16string SheetNameByIndex(int index) const;

 private:
  int FindOrAdd(const std::string& key, int book, int first, int last, int imposedId);
  const TXLSExternSheetItem* Find(int id) const;

  TXLSExternCallbacks cb_;
  std::map<int, TXLSExternSheetItem> items_;
  std::unordered_map<std::string, int> keys_;
  std::vector<int> output_;
  int counter_ = 0;
  TXLSSupBook supBook_;
};

}  // namespace xls
