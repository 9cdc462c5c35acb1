// The formula compiler: formula text to syntax tree, syntax tree to BIFF8 or BIFF5 formula
// tokens (ptg tokens) with their token classes, and token bytes read from a file back to a tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/formula/extern_sheet.h"
#include "xls/formula/function_catalogue.h"
#include "xls/formula/syntax_tree.h"

namespace xls {

class TXLSBlob;

enum FormulaFileFormat : int { kFormatBiff5 = 1, kFormatBiff8 = 2 };
// Root classes of a compile.
enum : int { kRootReference = 0, kRootValue = 1, kRootArray = 2 };

class TXLSFormula {
 public:
  explicit TXLSFormula(TXLSExternSheet& externs);
  ~TXLSFormula();
  TXLSFormula(const TXLSFormula&) = delete;
  TXLSFormula& operator=(const TXLSFormula&) = delete;

  // Text (without "=") to a tree; nullptr when the text does not parse.
  std::unique_ptr<TXLSSyntaxItem> CompileText(const std::u16string& text, int sheetScope);
  // A tree to [token size, 16 bits][tokens][array constants]; 1, or -1 and no blob.
  int Compile(const TXLSSyntaxItem& tree, int rootClass, int sheet, int row, int column,
              std::unique_ptr<TXLSBlob>& out);
  std::unique_ptr<TXLSBlob> CompileTree(const TXLSSyntaxItem& tree, int rootClass, int sheet,
                                        int row, int column);
  // Byte count of a node's tokens, or -1 when the node cannot be written.
  int TokenSize(const TXLSSyntaxItem& node);
  // Whether the tree can be written as BIFF8 tokens: every function called with a count of
  // arguments it takes, no string constant longer than its token holds, no more tokens than
  // the size word counts. (3-D references are numbered only when a file is written.)
  bool FitsTokens(const TXLSSyntaxItem& tree);

  // Token bytes to a tree. The tokens are data[pos .. pos + size); array constants and memory
  // areas may follow them up to `end`. Every read stays inside these bounds; nullptr on any
  // malformed or unsupported token. pos advances past the tokens.
  std::unique_ptr<TXLSSyntaxItem> DecodeTokens(const uint8_t* data, size_t end, size_t& pos,
                                               int fileVersion, size_t size);
  std::unique_ptr<TXLSSyntaxItem> DecodeTokens(const TXLSBlob& blob, uint32_t& pos,
                                               int fileVersion, uint32_t size);
  // Reads the 16-bit token size at pos first.
  std::unique_ptr<TXLSSyntaxItem> DecodeSized(const TXLSBlob& blob, uint32_t& pos,
                                              int fileVersion);
  // Whether the tokens decoded last name anything by a number of the file's own lists (a
  // defined or external name, an EXTERNSHEET entry): in another file's lists the number may
  // name something else.
  bool DecodedListNumbers() const { return listNumbers_; }

  // The same for the common cell formulas of BIFF8 (operators, constants, calls of the
  // catalogue's functions, add-in calls, names, references, memory tokens but memory areas),
  // decoded into `tree` without a node allocated apart; false, with the tokens left to
  // DecodeTokens, for anything else (array constants, memory areas, BIFF5) and anything malformed.
  bool DecodeFlat(const uint8_t* data, size_t end, size_t pos, int fileVersion, size_t size, TXLSFlatTree& tree);
  // Trees DecodeTokens built in this process.
  static std::uint64_t DecodedTreeCount();

  std::u16string GetFunctionName(int number) const { return catalogue_->GetNameByNumber(number); }
  void SetReferenceMode(char mode) { mode_ = mode == 'B' ? 'B' : 'A'; }
  char ReferenceMode() const { return mode_; }
  void SetFileFormat(int format) { format_ = format; }
  // Set: a reference that BIFF5's grid cannot hold (a row past 16,384) fails the compile, so
  // that a cell can keep its formula as text, instead of being written as #REF!.
  void SetOffGridFails(bool fails) { offGridFails_ = fails; }
  // The workbook's code page, in which BIFF5 strings are written and read (1252 until set).
  void SetCodePage(int codePage) { codePage_ = codePage; }
  int CodePage() const { return codePage_; }
  // While a BIFF5 file is read: the 1-based position of the sheet read for each 1-based sheet
  // number of the file, which counts the macro and module sheets passed over (0 for those).
  // Numbers past the list, and all of them while it is empty, are taken as they are.
  void SetReadSheetPositions(std::vector<int> positions) { readSheetPositions_ = std::move(positions); }
  int FileFormat() const { return format_; }
  // BIFF5 knows no function numbers of BIFF8's functions (HYPERLINK, AVERAGEA, ...): a BIFF5 save
  // calls them through names of the add-in book, which this adds to it for the calls of a tree.
  void AddBiff5AddInNames(const TXLSSyntaxItem& tree);
  const THashFunc& Catalogue() const { return *catalogue_; }
  TXLSExternSheet& Externs() { return externs_; }

 private:
  struct Writer;
  struct Reader;
  bool Biff5() const { return format_ == kFormatBiff5; }
  int CallSize(const TXLSSyntaxItem& node);
  const THashFuncEntry* AddInOfCall(const TXLSSyntaxItem& node, bool& known) const;
  // The position of a BIFF8 function's name in the add-in book when a BIFF5 save calls it so (0:
  // not one, or its name was not added).
  int Biff5AddInPosition(std::u16string_view name) const;
  // The name by which a BIFF5 save calls a function of BIFF8 (the call's catalogue entry, or
  // nullptr for a call the catalogue lacks): empty for every other call.
  std::u16string_view Biff5AddInName(const TXLSSyntaxItem& node, const THashFuncEntry* entry) const;
  bool CompileNode(const TXLSSyntaxItem& node, Writer& w, int row, int column, int cls);
  bool CompileCall(const TXLSSyntaxItem& node, Writer& w, int row, int column, int cls);
  bool CompileReference(const TXLSSyntaxItem& node, Writer& w, int row, int column, int cls);
  bool CompileName(const TXLSSyntaxItem& node, Writer& w, int cls);
  bool EncodeCorner(const TXLSRangeItem& r, bool last, int row, int column, uint16_t& rowField,
                    uint16_t& colField) const;
  void WriteArrays(const TXLSSyntaxItem& node, Writer& w);
  std::unique_ptr<TXLSSyntaxItem> Decode(Reader& r, int depth);
  std::unique_ptr<TXLSSyntaxItem> DecodeReference(Reader& r, int token);
  // A reference token's fields after its token byte.
  bool DecodeRange(Reader& r, int token, TXLSRangeItem& range);
  // A ptgFunc's or ptgFuncVar's fields after its token byte (base: the token without its class):
  // the function's number, and the count of its arguments (negative for a fixed count unknown).
  int DecodeCallHead(Reader& r, int base, int& number) const;
  // A BIFF8 ptgNameX's fields after its token byte.
  bool DecodeNameX(Reader& r, int32_t& value, int32_t& externId);
  // A call of function 255 whose first argument is the given node: false when it names an add-in
  // function without a text; builtIn, when it is one of BIFF8's functions called through the
  // add-in book (as BIFF5 calls them), that function's number (0 for none), and fixed whether
  // it takes a fixed count of arguments.
  bool AddInCall(int32_t nameKind, const TXLSRangeItem* nameRange, int32_t nameValue, int count, int& builtIn,
                 bool& fixed);
  bool ReadArrays(TXLSSyntaxItem& node, Reader& extra);

  std::shared_ptr<const THashFunc> catalogue_;  // the one catalogue every compiler shares
  TXLSExternSheet& externs_;
  int sheet_ = 0;
  char mode_ = 'A';
  bool arrayFormula_ = false;
  bool arrayClass_ = false;
  int format_ = kFormatBiff8;
  bool offGridFails_ = false;
  int codePage_ = 1252;
  bool listNumbers_ = false;
  std::vector<int> readSheetPositions_;
};

}  // namespace xls
