#include "xls/formula/formula.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/little_endian.h"
#include "xls/formula/lexer.h"
#include "xls/formula/parser.h"
#include "xls/formula/wide_text.h"
#include "xls/model/blob.h"
#include "xls/model/codepage.h"

namespace xls {

namespace {

// Token bytes without their class bits.
enum : int {
  ptgExp = 0x01, ptgTbl = 0x02, ptgAdd = 0x03, ptgIsect = 0x0F, ptgUnion = 0x10, ptgRange = 0x11,
  ptgUplus = 0x12, ptgUminus = 0x13, ptgPercent = 0x14, ptgParen = 0x15, ptgMissArg = 0x16,
  ptgStr = 0x17, ptgAttr = 0x19, ptgErr = 0x1C, ptgBool = 0x1D, ptgInt = 0x1E, ptgNum = 0x1F,
  ptgArray = 0x20, ptgFunc = 0x21, ptgFuncVar = 0x22, ptgName = 0x23, ptgRef = 0x24,
  ptgArea = 0x25, ptgMemArea = 0x26, ptgMemErr = 0x27, ptgMemNoMem = 0x28, ptgMemFunc = 0x29,
  ptgRefErr = 0x2A, ptgAreaErr = 0x2B, ptgRefN = 0x2C, ptgAreaN = 0x2D, ptgMemAreaN = 0x2E,
  ptgMemNoMemN = 0x2F, ptgNameX = 0x39, ptgRef3d = 0x3A, ptgArea3d = 0x3B, ptgRefErr3d = 0x3C,
  ptgAreaErr3d = 0x3D,
};

constexpr int kAddInFunction = 255;
constexpr int kBookNames = 0xFFFE;  // the sheets of an entry that names a book's own names
constexpr int kMaxStringLength = 255;
constexpr int kMaxDepth = 64;

std::atomic<std::uint64_t> decodedTrees{0};

// Binary operator nodes in token order 0x03..0x0E.
constexpr int kBinaryNodes[] = {kNodeAdd, kNodeSub, kNodeMul, kNodeDiv, kNodePower, kNodeConcat,
                                kNodeLT,  kNodeLE,  kNodeEQ,  kNodeGE,  kNodeGT,    kNodeNE};

// The node of a binary operator token (ptgAdd..ptgRange).
int BinaryNode(int token) {
  return token <= 0x0E ? kBinaryNodes[token - ptgAdd]
         : token == ptgIsect ? kNodeIntersect
         : token == ptgUnion ? kNodeUnion
                             : kNodeRange;
}

int BinaryToken(int kind) {
  for (int i = 0; i < 12; ++i) {
    if (kBinaryNodes[i] == kind) return ptgAdd + i;
  }
  switch (kind) {
    case kNodeIntersect: return ptgIsect;
    case kNodeUnion: return ptgUnion;
    case kNodeRange: return ptgRange;
  }
  return -1;
}

// The class a node's token had when it was read from a file; value class when unknown.
int DecodedClass(const TXLSSyntaxItem& node) {
  int token = 0;
  if (node.kind == kNodeReference) {
    token = node.value;
  } else if (node.kind == kNodeCall || node.kind == kNodeMemFunc) {
    token = node.rawToken;
  }
  int cls = ((token >> 5) & 3) - 1;
  return token >= 0x20 && token < 0x80 && cls >= 0 ? cls : kClassValue;
}

bool IsReferenceOperator(int kind) {
  return kind == kNodeUnion || kind == kNodeIntersect || kind == kNodeRange;
}

// Argument counts of fixed-argument worksheet functions that the catalogue lacks, so that
// their tokens decode (and write back under their number) instead of losing the formula.
int UncataloguedFixedCount(int number) {
  switch (number) {
    case 350: return 4;  // ISPMT
    case 351: return 3;  // DATEDIF
    case 352: return 1;  // DATESTRING
    case 353: return 2;  // NUMBERSTRING
  }
  return -2;
}

// Functions of BIFF8 whose numbers BIFF5 does not know: DATESTRING, NUMBERSTRING, GETPIVOTDATA,
// HYPERLINK, PHONETIC and AVERAGEA to VARA.
bool Biff8OnlyFunction(int number) { return number == 352 || number == 353 || (number >= 358 && number <= 367); }

// The names by which a BIFF5 save calls, through the add-in book, the functions of BIFF8 that
// the catalogue lacks (they are read and written under their numbers otherwise).
std::u16string_view UncataloguedBiff8Name(int number) {
  switch (number) {
    case 352: return u"DATESTRING";
    case 353: return u"NUMBERSTRING";
    case 358: return u"GETPIVOTDATA";
  }
  return {};
}

// The number of such a name (0 for any other), and whether the function takes a fixed count.
int UncataloguedBiff8Number(std::u16string_view name, bool& fixed) {
  for (int number : {352, 353, 358}) {
    if (UncataloguedBiff8Name(number) != name) continue;
    fixed = UncataloguedFixedCount(number) >= 0;
    return number;
  }
  return 0;
}

// What follows a BIFF5 ptgNameX: the EXTERNSHEET index, 8 reserved bytes, the name's number
// (from 1) and 12 reserved bytes.
void AddBiff5NameXBody(TXLSBlob& b, int ixals, int index) {
  b.AddWord(static_cast<uint32_t>(ixals) & 0xFFFF);
  for (int i = 0; i < 8; ++i) b.AddByte(0);
  b.AddWord(static_cast<uint32_t>(index));
  for (int i = 0; i < 12; ++i) b.AddByte(0);
}

// The defined name a call goes by when it calls a function by a name of the workbook (ptgName,
// then ptgFuncVar 255): the way other programs write the newer functions (_xlfn.IFERROR) and
// macro functions. nullptr for other calls.
const TXLSSyntaxItem* NamedFunction(const TXLSSyntaxItem& node) {
  if (node.kind != kNodeCall || node.value != kAddInFunction || node.ChildCount() < 1) return nullptr;
  const TXLSSyntaxItem* name = node.Child(1);
  return name->kind == kNodeName && (!name->range || name->range->externId <= 0) ? name : nullptr;
}

}  // namespace

struct TXLSFormula::Writer {
  TXLSBlob& b;
};

// Bounded reads over token bytes: a read past the limit fails instead of reading on.
struct TXLSFormula::Reader {
  const uint8_t* data;
  size_t pos;
  size_t limit;
  int version;
  int codePage;  // of BIFF5's 8-bit strings
  bool ok = true;

  bool Biff8() const { return version >= 0x600; }
  bool Has(size_t n) const { return ok && pos + n <= limit; }
  unsigned Byte() {
    if (!Has(1)) { ok = false; return 0; }
    return data[pos++];
  }
  unsigned Word() {
    if (!Has(2)) { ok = false; return 0; }
    unsigned v = platform::LoadLE16(data + pos);
    pos += 2;
    return v;
  }
  double Double() {
    if (!Has(8)) { ok = false; return 0; }
    const double v = platform::LoadLEDouble(data + pos);
    pos += 8;
    return v;
  }
  void Skip(size_t n) {
    if (!Has(n)) { ok = false; return; }
    pos += n;
  }
  std::u16string Chars(unsigned count, bool wide) {
    std::u16string s;
    if (!Has(static_cast<size_t>(count) * (wide ? 2 : 1))) { ok = false; return s; }
    if (wide) {
      for (unsigned i = 0; i < count; ++i) s += static_cast<char16_t>(Word());
    } else {
      std::string bytes(reinterpret_cast<const char*>(data + pos), count);
      pos += count;
      s = AnsiToWideCP(bytes, Biff8() ? kCodePage1252 : codePage);
    }
    return s;
  }
};

namespace {

// The function catalogue never changes once made, so one serves every workbook (making it was
// a good part of the cost of a new or cleared workbook).
std::shared_ptr<const THashFunc> SharedCatalogue() {
  static const std::shared_ptr<const THashFunc> catalogue(MakeFunctionCatalogue());
  return catalogue;
}

}  // namespace

TXLSFormula::TXLSFormula(TXLSExternSheet& externs) : catalogue_(SharedCatalogue()), externs_(externs) {}

TXLSFormula::~TXLSFormula() = default;

std::unique_ptr<TXLSSyntaxItem> TXLSFormula::CompileText(const std::u16string& text,
                                                          int sheetScope) {
  TXLSLexer lexer;
  lexer.SetText(WideToUtf8(text));
  if (lexer.Scan() != 1) return nullptr;
  TXLSSyntax parser(*catalogue_, externs_);
  parser.SetTokens(&lexer.Tokens());
  if (parser.Parse(sheetScope) != 1) return nullptr;
  return parser.TakeRoot();
}

// The add-in book's name that an add-in call (ptgFuncVar 255) goes by: known when the call's
// first argument names one. The catalogue's entry of the name, or nullptr for a function the
// catalogue lacks: other programs call their own functions (gnumeric's LOG2, LibreOffice's
// IMSINH) and the newer ones so, and such a call read from a file is written back as it came.
const THashFuncEntry* TXLSFormula::AddInOfCall(const TXLSSyntaxItem& node, bool& known) const {
  known = false;
  const TXLSSyntaxItem* name = node.ChildCount() >= 1 ? node.Child(1) : nullptr;
  if (!name || name->kind != kNodeName || !name->range || name->range->externId <= 0) return nullptr;
  const std::u16string text = externs_.GetAddInName(name->range->externId, name->value);
  known = !text.empty();
  return known ? catalogue_->FindAddIn(ftext::UpperAscii(text)) : nullptr;
}

std::u16string_view TXLSFormula::Biff5AddInName(const TXLSSyntaxItem& node, const THashFuncEntry* entry) const {
  if (entry) return Biff8OnlyFunction(entry->number) ? std::u16string_view(entry->key) : std::u16string_view();
  if (node.kind != kNodeCall || !node.text.empty() || node.rawToken == 0) return {};
  return UncataloguedBiff8Name(node.value);
}

int TXLSFormula::Biff5AddInPosition(std::u16string_view name) const {
  if (!Biff5() || name.empty()) return 0;
  const TXLSSupBook& books = externs_.SupBook();
  const int book = books.AddInBookIndex();
  if (book < 0) return 0;
  const auto& positions = books.Item(book).namePositions;
  const auto it = positions.find(std::u16string(name));
  return it == positions.end() ? 0 : it->second;
}

void TXLSFormula::AddBiff5AddInNames(const TXLSSyntaxItem& tree) {
  if (tree.kind == kNodeCall) {
    const THashFuncEntry* entry = tree.text.empty() ? nullptr : catalogue_->FindByName(ftext::UpperAscii(tree.text));
    if (const std::u16string_view name = Biff5AddInName(tree, entry); !name.empty())
      externs_.AddInNameIndex(std::u16string(name));
  }
  for (int i = 1; i <= tree.ChildCount(); ++i) AddBiff5AddInNames(*tree.Child(i));
}

// ---------------------------------------------------------------------------------------------
// Sizes

int TXLSFormula::CallSize(const TXLSSyntaxItem& node) {
  int args = node.ChildCount();
  int own = 0;
  if (const THashFuncEntry* e = catalogue_->FindByName(ftext::UpperAscii(node.text))) {
    if (e->argCount >= 0 && e->argCount != args) return -1;
    own = e->argCount >= 0 ? 3 : 4;
    if (Biff5() && Biff8OnlyFunction(e->number)) {
      // Called through its name in the add-in book (ptgNameX, then ptgFuncVar 255).
      if (Biff5AddInPosition(e->key) < 1) return -1;
      own = 25 + 4;
    }
  } else if (const TXLSSyntaxItem* name = NamedFunction(node)) {
    // Both formats call a function by a defined name (ptgName, then ptgFuncVar 255): the
    // format's program writes BIFF5 macro functions that way. A newer function (_xlfn.IFERROR)
    // is no function of a BIFF5 reader: such a formula goes as its text there.
    if (Biff5() && ftext::UpperAscii(externs_.NameTextById(name->value)).rfind(u"_XLFN.", 0) == 0) return -1;
    own = 4;
  } else if (node.value == kAddInFunction) {
    bool known = false;
    const THashFuncEntry* e = AddInOfCall(node, known);
    if (!known || (e && e->argCount >= 0 && e->argCount + 1 != args)) return -1;
    own = 4;
  } else if (node.text.empty() && node.rawToken != 0) {
    own = ((node.rawToken & 0x1F) | 0x20) == ptgFunc ? 3 : 4;
    if (Biff5() && Biff8OnlyFunction(node.value)) {
      // As the catalogue's functions of BIFF8: through its name in the add-in book.
      if (Biff5AddInPosition(Biff5AddInName(node, nullptr)) < 1) return -1;
      own = 25 + 4;
    }
  } else {
    return -1;
  }
  if ((own == 4 && args > 127) || (own == 29 && args > 126)) return -1;
  int total = own;
  for (int i = 1; i <= args; ++i) {
    int s = TokenSize(*node.Child(i));
    if (s < 0) return -1;
    total += s;
  }
  return total;
}

int TXLSFormula::TokenSize(const TXLSSyntaxItem& node) {
  const bool b5 = Biff5();
  auto sum = [&](int own) {
    int total = own;
    for (int i = 1; i <= node.ChildCount(); ++i) {
      int s = TokenSize(*node.Child(i));
      if (s < 0) return -1;
      total += s;
    }
    return total;
  };
  switch (node.kind) {
    case kNodeReference: {
      if (!node.range) return -1;
      const TXLSRangeItem& r = *node.range;
      if (r.Is3d()) return r.IsArea() ? (b5 ? 21 : 11) : (b5 ? 18 : 7);
      return r.IsArea() ? (b5 ? 7 : 9) : (b5 ? 4 : 5);
    }
    case kNodeNumber: return 9;
    case kNodeString: {
      if (node.text.size() > kMaxStringLength) return -1;
      // BIFF5's length byte counts bytes, two for a character of a double-byte code page.
      int n = static_cast<int>(b5 ? WideToAnsiCP(node.text, codePage_).size() : node.text.size());
      if (n > kMaxStringLength) return -1;
      return b5 ? 2 + n : 3 + 2 * n;
    }
    case kNodeError: return 2;
    case kNodeMissing: return 1;
    case kNodeBool: return 2;
    case kNodeArray: {
      // The row count goes into 16 bits (BIFF8 writes it minus 1): a longer constant cannot be
      // written and is refused rather than cut.
      const int cols = node.value > 0 ? node.value : 1;
      if (node.ChildCount() / cols > (b5 ? 65535 : 65536)) return -1;
      // BIFF5 gives each string one length byte as well.
      for (int i = 1; b5 && i <= node.ChildCount(); ++i) {
        const TXLSSyntaxItem& v = *node.Child(i);
        if (v.kind == kNodeString && WideToAnsiCP(v.text, codePage_).size() > kMaxStringLength) return -1;
      }
      return 8;
    }
    case kNodeParen:
    case kNodeNegate:
    case kNodeUnaryPlus:
    case kNodePercent:
      return node.ChildCount() == 1 ? sum(1) : -1;
    case kNodeMemFunc:
      return node.ChildCount() == 1 ? sum(3) : -1;
    case kNodeName:
      if (node.range && node.range->externId > 0) return b5 ? 25 : 7;
      return b5 ? 15 : 5;
    case kNodeCall:
      return CallSize(node);
    default:
      if (BinaryToken(node.kind) >= 0) return node.ChildCount() == 2 ? sum(1) : -1;
  }
  return -1;
}

bool TXLSFormula::FitsTokens(const TXLSSyntaxItem& tree) {
  const int saved = format_;
  format_ = kFormatBiff8;
  const int size = TokenSize(tree);
  format_ = saved;
  return size >= 1 && size <= 0xFFFF;
}

// ---------------------------------------------------------------------------------------------
// Compiling

int TXLSFormula::Compile(const TXLSSyntaxItem& tree, int rootClass, int sheet, int row,
                         int column, std::unique_ptr<TXLSBlob>& out) {
  out.reset();
  arrayFormula_ = false;
  arrayClass_ = false;
  sheet_ = sheet;
  if (rootClass == kRootArray) {
    arrayFormula_ = true;
    rootClass = kRootValue;
  }
  int size = TokenSize(tree);
  if (size < 1 || size > 0xFFFF) {
    sheet_ = 0;
    return -1;
  }
  auto blob = std::make_unique<TXLSBlob>(static_cast<uint32_t>(size + 2));
  blob->AddWord(static_cast<uint32_t>(size));
  Writer w{*blob};
  bool ok = CompileNode(tree, w, row, column, rootClass);
  arrayFormula_ = false;
  arrayClass_ = false;
  sheet_ = 0;
  if (!ok || blob->GetSize() != static_cast<uint32_t>(size + 2)) return -1;
  WriteArrays(tree, w);
  out = std::move(blob);
  return 1;
}

std::unique_ptr<TXLSBlob> TXLSFormula::CompileTree(const TXLSSyntaxItem& tree, int rootClass,
                                                   int sheet, int row, int column) {
  std::unique_ptr<TXLSBlob> out;
  Compile(tree, rootClass, sheet, row, column, out);
  return out;
}

bool TXLSFormula::CompileNode(const TXLSSyntaxItem& node, Writer& w, int row, int column,
                              int cls) {
  TXLSBlob& b = w.b;
  switch (node.kind) {
    case kNodeReference:
      return CompileReference(node, w, row, column, cls);
    case kNodeNumber:
      b.AddByte(ptgNum);
      b.AddDouble(node.number);
      return true;
    case kNodeString:
      b.AddByte(ptgStr);
      if (Biff5()) {
        std::string bytes = WideToAnsiCP(node.text, codePage_);
        b.AddByte(static_cast<uint32_t>(bytes.size()));
        b.AddString(bytes);
      } else {
        b.AddByte(static_cast<uint32_t>(node.text.size()));
        b.AddByte(1);
        b.AddWideString(node.text);
      }
      return true;
    case kNodeError:
      b.AddByte(ptgErr);
      b.AddByte(static_cast<uint32_t>(node.value));
      return true;
    case kNodeMissing:
      b.AddByte(ptgMissArg);
      return true;
    case kNodeBool:
      b.AddByte(ptgBool);
      b.AddByte(node.value == 1 ? 1 : 0);
      return true;
    case kNodeArray:
      b.AddByte(cls == kClassValue ? 0x40 : 0x60);
      for (int i = 0; i < 7; ++i) b.AddByte(0);
      return true;
    case kNodeParen:
      // Parentheses pass the class on: (A1,B1) inside a reference argument stays a reference.
      if (!CompileNode(*node.Child(1), w, row, column,
                       IsReferenceOperator(node.Child(1)->kind) ? kClassReference : cls)) {
        return false;
      }
      b.AddByte(ptgParen);
      return true;
    case kNodeNegate:
    case kNodeUnaryPlus:
    case kNodePercent:
      if (!CompileNode(*node.Child(1), w, row, column, kClassValue)) return false;
      b.AddByte(node.kind == kNodeNegate ? ptgUminus
                : node.kind == kNodeUnaryPlus ? ptgUplus
                                              : ptgPercent);
      return true;
    case kNodeMemFunc: {
      b.AddByte(ptgMemFunc);
      uint32_t at = b.GetSize();
      b.AddWord(0);
      if (!CompileNode(*node.Child(1), w, row, column, kClassReference)) return false;
      b.PutWord(b.GetSize() - at - 2, at);
      return true;
    }
    case kNodeName:
      return CompileName(node, w, cls);
    case kNodeCall:
      return CompileCall(node, w, row, column, cls);
  }
  int token = BinaryToken(node.kind);
  if (token < 0 || node.ChildCount() != 2) return false;
  int operandClass = IsReferenceOperator(node.kind) ? kClassReference : kClassValue;
  if (!CompileNode(*node.Child(1), w, row, column, operandClass)) return false;
  if (!CompileNode(*node.Child(2), w, row, column, operandClass)) return false;
  b.AddByte(static_cast<uint32_t>(token));
  return true;
}

bool TXLSFormula::CompileCall(const TXLSSyntaxItem& node, Writer& w, int row, int column,
                              int cls) {
  const THashFuncEntry* entry = catalogue_->FindByName(ftext::UpperAscii(node.text));
  const THashFuncEntry* addIn = nullptr;
  int number = 0, count = 0, ret = kClassValue;
  bool fixed = false, named = false, external = false;
  const int args = node.ChildCount();
  if (entry) {
    number = entry->number;
    count = entry->argCount;
    ret = entry->returnClass;
    fixed = count >= 0;
    if (fixed && count != args) return false;
  } else if (const TXLSSyntaxItem* name = NamedFunction(node)) {
    // The name must be written for the call to find it.
    if (externs_.NameOutputIndexById(name->value) < 1) return false;
    named = true;
    number = kAddInFunction;
    ret = DecodedClass(node);
  } else if (node.value == kAddInFunction) {
    bool known = false;
    addIn = AddInOfCall(node, known);
    if (!known) return false;
    if (addIn && addIn->argCount >= 0 && addIn->argCount + 1 != args) return false;
    number = kAddInFunction;
    // A function of the add-in book that the catalogue lacks keeps the classes it was read with.
    external = !addIn;
    ret = addIn ? cls : DecodedClass(node);
  } else if (node.text.empty() && node.rawToken != 0) {
    number = node.value;
    fixed = ((node.rawToken & 0x1F) | 0x20) == ptgFunc;
    ret = DecodedClass(node);
  } else {
    return false;
  }
  const int addInPosition = Biff5AddInPosition(Biff5AddInName(node, entry));
  if (addInPosition >= 1) {
    // BIFF5 calls a function of BIFF8 by its name in the add-in "document" (at the next sheet
    // number), as it calls the add-in functions.
    w.b.AddByte(kClassReference * 32 + ptgNameX);
    AddBiff5NameXBody(w.b, externs_.NextSheetNumber(), addInPosition);
  } else if (Biff5() && Biff8OnlyFunction(number)) {
    return false;
  }
  for (int i = 1; i <= args; ++i) {
    int argClass;
    if (entry) {
      argClass = entry->GetArgClass(i);
    } else if (addIn) {
      argClass = i == 1 ? kClassReference : addIn->GetArgClass(i - 1);
    } else if ((named || external) && i == 1) {
      argClass = kClassReference;  // the function's name; its arguments as read
    } else {
      // A function the catalogue lacks: each argument keeps the class it was read with.
      argClass = DecodedClass(*node.Child(i));
    }
    // An argument of array class (SUMPRODUCT's) is calculated as an array, as an array formula's
    // arguments are: the functions and references inside it take the array class.
    bool setArray = !arrayClass_ && (argClass == kClassArray ||
                                     (arrayFormula_ && (argClass == kClassReference ||
                                                        (argClass == kClassValue && ret == kClassReference))));
    if (setArray) arrayClass_ = true;
    bool ok = CompileNode(*node.Child(i), w, row, column, argClass);
    if (setArray) arrayClass_ = false;
    if (!ok) return false;
  }
  int tokenClass;
  if (!entry && !addIn) {
    tokenClass = ret;
  } else if ((arrayClass_ && ((cls < 2 && ret == 1) || (cls == 1 && ret == 0))) ||
             (cls == kClassArray && ret == kClassValue)) {
    tokenClass = 2;
  } else if (ret == 0 && cls == 1) {
    tokenClass = 1;
  } else {
    tokenClass = ret;
  }
  TXLSBlob& b = w.b;
  if (addInPosition >= 1) {
    b.AddByte(static_cast<uint32_t>(tokenClass * 32 + ptgFuncVar));
    b.AddByte(static_cast<uint32_t>(args + 1));
    b.AddWord(kAddInFunction);
  } else if (fixed) {
    b.AddByte(static_cast<uint32_t>(tokenClass * 32 + ptgFunc));
    b.AddWord(static_cast<uint32_t>(number));
  } else {
    b.AddByte(static_cast<uint32_t>(tokenClass * 32 + ptgFuncVar));
    b.AddByte(static_cast<uint32_t>(args));
    b.AddWord(static_cast<uint32_t>(number));
  }
  return true;
}

bool TXLSFormula::EncodeCorner(const TXLSRangeItem& r, bool last, int row, int column,
                               uint16_t& rowField, uint16_t& colField) const {
  int rw = last ? r.lastRow : r.firstRow;
  int cl = last ? r.lastCol : r.firstCol;
  bool rowAbs = last ? r.lastRowAbs : r.firstRowAbs;
  bool colAbs = last ? r.lastColAbs : r.firstColAbs;
  const bool offsets = mode_ == 'B' && r.offset;
  if (r.offset && !offsets) {
    if (!rowAbs) rw += row;
    if (!colAbs) cl += column;
  }
  const int maxRow = Biff5() ? kMaxRowBiff5 : kMaxRow;
  // A whole column keeps its meaning in BIFF5, whose rows end at 16383.
  if (Biff5() && r.IsArea() && !r.offset && r.firstRow == 0 && r.lastRow == kMaxRow && last) {
    rw = kMaxRowBiff5;
  }
  bool rowOffset = offsets && !rowAbs;
  bool colOffset = offsets && !colAbs;
  if (rowOffset) {
    int lim = Biff5() ? 8192 : 32768;
    if (rw < -lim || rw >= lim) return false;
  } else if (rw < 0 || rw > maxRow) {
    return false;
  }
  if (colOffset) {
    if (cl < -128 || cl > 127) return false;
  } else if (cl < 0 || cl > kMaxColumn) {
    return false;
  }
  uint16_t flags = static_cast<uint16_t>((rowAbs ? 0 : 0x8000) | (colAbs ? 0 : 0x4000));
  if (Biff5()) {
    rowField = static_cast<uint16_t>(flags | (static_cast<unsigned>(rw) & 0x3FFF));
    colField = static_cast<uint16_t>(static_cast<unsigned>(cl) & 0xFF);
  } else {
    rowField = static_cast<uint16_t>(rw);
    colField = static_cast<uint16_t>(flags | (static_cast<unsigned>(cl) & 0xFF));
  }
  return true;
}

bool TXLSFormula::CompileReference(const TXLSSyntaxItem& node, Writer& w, int row, int column,
                                   int cls) {
  if (!node.range) return false;
  const TXLSRangeItem& r = *node.range;
  TXLSBlob& b = w.b;
  const int k = (arrayClass_ && cls == kClassValue) ? kClassArray : cls;
  const bool area = r.IsArea();
  uint16_t rows[2] = {0, 0}, cols[2] = {0, 0};
  bool valid = !r.IsInvalid() && EncodeCorner(r, false, row, column, rows[0], cols[0]) &&
               (!area || EncodeCorner(r, true, row, column, rows[1], cols[1]));
  if (!valid && !r.IsInvalid() && Biff5() && offGridFails_) return false;
  if (!valid) rows[0] = rows[1] = cols[0] = cols[1] = 0;
  auto body = [&]() {
    if (Biff5()) {
      b.AddWord(rows[0]);
      if (area) b.AddWord(rows[1]);
      b.AddByte(cols[0]);
      if (area) b.AddByte(cols[1]);
    } else {
      b.AddWord(rows[0]);
      if (area) b.AddWord(rows[1]);
      b.AddWord(cols[0]);
      if (area) b.AddWord(cols[1]);
    }
  };
  if (r.Is3d()) {
    int token = valid ? (area ? ptgArea3d : ptgRef3d) : (area ? ptgAreaErr3d : ptgRefErr3d);
    if (Biff5()) {
      int book = 0, first = 0, last = 0;
      if (!externs_.IsOwnBook(r.externId)) {
        // One sheet of another book, by its own EXTERNSHEET (a positive index); BIFF5 names no
        // range of another book's sheets.
        if (externs_.GetEntry(r.externId, book, first, last) != 1 || first != last) return false;
        const int position = externs_.SupBook().Biff5Position(book, first);
        if (position < 1) return false;
        b.AddByte(static_cast<uint32_t>(k * 32 + token));
        b.AddWord(static_cast<uint32_t>(position));
        for (int i = 0; i < 8; ++i) b.AddByte(0);
        b.AddWord(static_cast<uint32_t>(first));
        b.AddWord(static_cast<uint32_t>(last));
        body();
        return true;
      }
      if (externs_.IsDeletedSheet(r.externId)) {
        // A deleted sheet: the sheet words as read, by the first sheet's EXTERNSHEET.
        externs_.GetEntry(r.externId, book, first, last);
        b.AddByte(static_cast<uint32_t>(k * 32 + token));
        b.AddWord(0xFFFF);
        for (int i = 0; i < 8; ++i) b.AddByte(0);
        b.AddWord(static_cast<uint32_t>(first) & 0xFFFF);
        b.AddWord(static_cast<uint32_t>(last) & 0xFFFF);
        body();
        return true;
      }
      if (externs_.ResolveEntry(r.externId, book, first, last) != 1) return false;
      b.AddByte(static_cast<uint32_t>(k * 32 + token));
      b.AddWord(static_cast<uint32_t>(-first) & 0xFFFF);
      for (int i = 0; i < 8; ++i) b.AddByte(0);
      b.AddWord(static_cast<uint32_t>(first - 1));
      b.AddWord(static_cast<uint32_t>(last - 1));
    } else {
      int index = externs_.GetOutputIndex(r.externId);
      if (index < 1) return false;
      b.AddByte(static_cast<uint32_t>(k * 32 + token));
      b.AddWord(static_cast<uint32_t>(index - 1));
    }
    body();
    return true;
  }
  int token;
  if (!valid) {
    token = area ? ptgAreaErr : ptgRefErr;
  } else if (mode_ == 'B' && r.offset) {
    token = area ? ptgAreaN : ptgRefN;
  } else {
    token = area ? ptgArea : ptgRef;
  }
  b.AddByte(static_cast<uint32_t>(k * 32 + token));
  body();
  return true;
}

bool TXLSFormula::CompileName(const TXLSSyntaxItem& node, Writer& w, int cls) {
  TXLSBlob& b = w.b;
  const int k = (arrayClass_ && cls == kClassValue) ? kClassArray : cls;
  const int externId = node.range ? node.range->externId : 0;
  // A name that is not written (deleted, or left out of this save) has no NAME record number:
  // the formula cannot name it (NAME numbers count from 1).
  if (externId <= 0) {
    const int index = externs_.NameOutputIndexById(node.value);
    if (index < 1) return false;
    b.AddByte(static_cast<uint32_t>(k * 32 + ptgName));
    b.AddWord(static_cast<uint32_t>(index));
    if (Biff5()) {
      for (int i = 0; i < 12; ++i) b.AddByte(0);
    } else {
      b.AddWord(0);
    }
    return true;
  }
  const int index = externs_.IsOwnBook(externId) ? externs_.NameOutputIndexById(node.value) : node.value;
  if (index < 1) return false;
  b.AddByte(static_cast<uint32_t>(k * 32 + ptgNameX));
  int book = 0, first = 0, last = 0;
  if (Biff5() && !externs_.IsOwnBook(externId) && externs_.GetEntry(externId, book, first, last) == 1 &&
      book != externs_.SupBook().AddInBookIndex()) {
    // A name of another book, by the EXTERNSHEET of the book's first sheet, which its names
    // follow (none when BIFF5 holds no sheet of the book: then the formula goes as its text).
    const int position = externs_.SupBook().Biff5NamesPosition(book);
    if (position < 1) return false;
    AddBiff5NameXBody(b, position, index);
    return true;
  }
  if (Biff5()) {
    // Each name by its own EXTERNSHEET record: a sheet's name by the sheet's record (own
    // sheets take negative indexes, as in 3-D references); an add-in name by the add-in
    // "document", the record after the sheets', which like every other document is named by
    // a positive index.
    int ixals = externs_.NextSheetNumber();
    if (externs_.IsOwnBook(externId)) {
      int book = 0, first = 0, last = 0;
      if (externs_.ResolveEntry(externId, book, first, last) != 1 || first < 1) return false;
      ixals = -first;
    }
    AddBiff5NameXBody(b, ixals, index);
  } else {
    int out = externs_.GetOutputIndex(externId);
    if (out < 1) return false;
    b.AddWord(static_cast<uint32_t>(out - 1));
    b.AddWord(static_cast<uint32_t>(index));
    b.AddWord(0);
  }
  return true;
}

// Array constants follow the tokens, in the order of their tokens.
void TXLSFormula::WriteArrays(const TXLSSyntaxItem& node, Writer& w) {
  if (node.kind != kNodeArray) {
    for (int i = 1; i <= node.ChildCount(); ++i) WriteArrays(*node.Child(i), w);
    return;
  }
  TXLSBlob& b = w.b;
  int count = node.ChildCount();
  // A constant without values (its data was missing from the file) is written as one empty value.
  int cols = count > 0 && node.value > 0 ? node.value : 1;
  int rows = count > 0 ? count / cols : 1;
  if (Biff5()) {
    b.AddByte(static_cast<uint32_t>(cols & 0xFF));
    b.AddWord(static_cast<uint32_t>(rows));
  } else {
    b.AddByte(static_cast<uint32_t>(cols - 1));
    b.AddWord(static_cast<uint32_t>(rows - 1));
  }
  if (count == 0) {
    for (int i = 0; i < 9; ++i) b.AddByte(0);
    return;
  }
  // The values go into a buffer sized for them first and join the tokens' buffer at once: the
  // tokens' buffer grows to the exact size of each addition, which for 65,536 values meant as
  // many reallocations of a growing buffer.
  std::uint64_t bound = 0;
  for (int i = 1; i <= count; ++i) {
    const TXLSSyntaxItem& v = *node.Child(i);
    bound += v.kind == kNodeString ? 4 + 2 * static_cast<std::uint64_t>(v.text.size()) : 9;
  }
  TXLSBlob values(static_cast<std::uint32_t>(std::min<std::uint64_t>(bound, 0xFFFFFFFFu)));
  for (int i = 1; i <= count; ++i) {
    const TXLSSyntaxItem& v = *node.Child(i);
    TXLSBlob& b = values;
    switch (v.kind) {
      case kNodeNumber:
        b.AddByte(0x01);
        b.AddDouble(v.number);
        break;
      case kNodeString:
        b.AddByte(0x02);
        if (Biff5()) {
          std::string bytes = WideToAnsiCP(v.text, codePage_).substr(0, 255);
          b.AddByte(static_cast<uint32_t>(bytes.size()));
          b.AddString(bytes);
        } else {
          b.AddWord(static_cast<uint32_t>(v.text.size()));
          b.AddByte(1);
          b.AddWideString(v.text);
        }
        break;
      case kNodeBool:
      case kNodeError:
        b.AddByte(v.kind == kNodeBool ? 0x04 : 0x10);
        b.AddByte(static_cast<uint32_t>(v.value));
        for (int k = 0; k < 7; ++k) b.AddByte(0);
        break;
      default:
        for (int k = 0; k < 9; ++k) b.AddByte(0);
    }
  }
  b.AddBlobRange(values, 0, values.GetSize());
}

// ---------------------------------------------------------------------------------------------
// Decoding

std::unique_ptr<TXLSSyntaxItem> TXLSFormula::DecodeTokens(const TXLSBlob& blob, uint32_t& pos,
                                                          int fileVersion, uint32_t size) {
  size_t p = pos;
  auto tree = DecodeTokens(blob.GetData(), blob.GetSize(), p, fileVersion, size);
  pos = static_cast<uint32_t>(p);
  return tree;
}

std::unique_ptr<TXLSSyntaxItem> TXLSFormula::DecodeSized(const TXLSBlob& blob, uint32_t& pos,
                                                         int fileVersion) {
  if (static_cast<size_t>(pos) + 2 > blob.GetSize()) return nullptr;
  uint32_t size = blob.GetWord(pos);
  pos += 2;
  return DecodeTokens(blob, pos, fileVersion, size);
}

std::unique_ptr<TXLSSyntaxItem> TXLSFormula::DecodeTokens(const uint8_t* data, size_t end,
                                                          size_t& pos, int fileVersion,
                                                          size_t size) {
  listNumbers_ = false;
  if (!data || pos > end || size > end - pos || size == 0) return nullptr;
  Reader tokens{data, pos, pos + size, fileVersion, codePage_};
  Reader extra{data, pos + size, end, fileVersion, codePage_};
  bool ok = true;
  // The tokens are one expression; memory tokens nest sub-expressions of their own length.
  auto tree = Decode(tokens, 0);
  if (!tree) return nullptr;
  // Array constants (and memory-area rectangles) follow in token order: the nodes in postfix
  // order, the values an array constant gets not among them.
  auto readExtra = [&](auto&& self, TXLSSyntaxItem* n) -> void {
    for (int i = 1; i <= n->ChildCount(); ++i) self(self, n->Child(i));
    if (n->kind == kNodeArray) {
      // Without trailing data (a stream cut after its tokens) the constant stays empty.
      if (extra.pos < extra.limit && !ReadArrays(*n, extra)) ok = false;
    } else if (n->kind == kNodeMemFunc && ((n->rawToken & 0x1F) | 0x20) == ptgMemArea) {
      unsigned count = extra.Word();
      extra.Skip(static_cast<size_t>(count) * (extra.Biff8() ? 8 : 6));
      if (!extra.ok) ok = false;
    }
  };
  readExtra(readExtra, tree.get());
  if (!ok) return nullptr;
  pos += size;
  decodedTrees.fetch_add(1, std::memory_order_relaxed);
  return tree;
}

std::uint64_t TXLSFormula::DecodedTreeCount() { return decodedTrees.load(std::memory_order_relaxed); }

int TXLSFormula::DecodeCallHead(Reader& r, int base, int& number) const {
  if (base == ptgFunc) {
    number = static_cast<int>(r.Word());
    const int count = catalogue_->GetArgCountByNumber(number);
    return count == -2 ? UncataloguedFixedCount(number) : count;
  }
  const int count = static_cast<int>(r.Byte() & 0x7F);
  // Bit 15 marks a command-equivalent function, which is not the worksheet function of the low
  // bits: the call keeps its whole number and is written back as read.
  number = static_cast<int>(r.Word());
  return count;
}

bool TXLSFormula::DecodeNameX(Reader& r, int32_t& value, int32_t& externId) {
  const int id = static_cast<int>(r.Word()) + 1;
  value = static_cast<int32_t>(r.Word());
  r.Skip(2);
  int book = 0, first = 0, last = 0;
  if (!r.ok || externs_.GetEntry(id, book, first, last) != 1) return false;
  // A name of another book must be one of the book's EXTERNNAMEs: without it the formula has no
  // text and its token would name nothing once written.
  if (!externs_.IsOwnBook(id) && book != externs_.SupBook().AddInBookIndex() &&
      externs_.SupBook().NameAt(book, value).empty()) {
    return false;
  }
  externId = id;
  return true;
}

bool TXLSFormula::AddInCall(int32_t nameKind, const TXLSRangeItem* nameRange, int32_t nameValue, int count,
                            int& builtIn, bool& fixed) {
  builtIn = 0;
  fixed = false;
  if (nameKind == kNodeName && nameRange && nameRange->externId > 0 &&
      externs_.GetAddInName(nameRange->externId, nameValue).empty()) {
    return false;
  }
  // A function of BIFF8 that a BIFF5 file calls through the add-in book is that function.
  int book = -1, first = 0, last = 0;
  if (nameKind == kNodeName && nameRange) externs_.GetEntry(nameRange->externId, book, first, last);
  if (book < 0 || book != externs_.SupBook().AddInBookIndex()) return true;
  const std::u16string called = ftext::UpperAscii(externs_.GetAddInName(nameRange->externId, nameValue));
  if (const THashFuncEntry* entry = catalogue_->FindByName(called)) {
    fixed = entry->argCount >= 0;
    if (Biff8OnlyFunction(entry->number) && (entry->argCount < 0 || entry->argCount == count - 1))
      builtIn = entry->number;
  } else {
    // Those the catalogue lacks go back to their numbers too.
    builtIn = UncataloguedBiff8Number(called, fixed);
    if (fixed && UncataloguedFixedCount(builtIn) != count - 1) builtIn = 0;
  }
  return true;
}

bool TXLSFormula::DecodeFlat(const uint8_t* data, size_t end, size_t pos, int fileVersion, size_t size,
                             TXLSFlatTree& tree) {
  tree.Clear();
  listNumbers_ = false;
  if (!data || fileVersion < 0x0600 || pos > end || size > end - pos || size == 0) return false;
  Reader r{data, pos, pos + size, fileVersion, codePage_};
  // The nodes not yet taken by an operator or a call, as indexes.
  thread_local std::vector<uint32_t> stack;
  stack.clear();
  auto push = [&](int32_t kind) -> TXLSFlatNode& {
    stack.push_back(static_cast<uint32_t>(tree.nodes.size()));
    TXLSFlatNode& n = tree.nodes.emplace_back();
    n.kind = kind;
    return n;
  };
  auto setText = [&](TXLSFlatNode& n, std::u16string_view text) {
    n.textStart = static_cast<uint32_t>(tree.texts.size());
    n.textLength = static_cast<uint32_t>(text.size());
    tree.texts += text;
  };
  // A memory token's sub-expression of its own length, whose nodes stand on the stack from `base`
  // on: when its last byte is read they must be one node, which the memory node takes.
  struct Frame {
    size_t end, base;
    int token;
  };
  thread_local std::vector<Frame> frames;
  frames.clear();
  size_t floor = 0;  // the stack entries below belong to the expressions around the innermost one
  // A node over the top count nodes of the stack, as TXLSSyntaxStack::PopInto makes it.
  auto popInto = [&](int32_t kind, int count) -> TXLSFlatNode* {
    if (count < 0 || stack.size() - floor < static_cast<size_t>(count)) return nullptr;
    const size_t first = stack.size() - static_cast<size_t>(count);
    int height = 0;
    for (size_t i = first; i < stack.size(); ++i) height = std::max(height, tree.nodes[stack[i]].height + 1);
    if (height > kMaxTreeHeight) return nullptr;
    TXLSFlatNode& n = tree.nodes.emplace_back();
    n.kind = kind;
    n.height = height;
    n.firstChild = static_cast<uint32_t>(tree.children.size());
    n.childCount = static_cast<uint32_t>(count);
    tree.children.insert(tree.children.end(), stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    stack.resize(first);
    stack.push_back(static_cast<uint32_t>(tree.nodes.size() - 1));
    return &n;
  };
  auto closeFrames = [&]() {
    while (!frames.empty() && r.pos >= frames.back().end) {
      const Frame f = frames.back();
      if (r.pos != f.end || stack.size() != f.base + 1) return false;
      frames.pop_back();
      floor = frames.empty() ? 0 : frames.back().base;
      TXLSFlatNode* n = popInto(kNodeMemFunc, 1);
      if (!n) return false;
      n->rawToken = f.token;
    }
    return true;
  };
  for (;;) {
    if (!closeFrames()) return false;
    if (!r.ok || r.pos >= r.limit) break;
    const int token = static_cast<int>(r.Byte());
    const int base = token < 0x20 ? token : (token & 0x1F) | 0x20;
    if (token >= ptgAdd && token <= ptgRange) {
      if (!popInto(BinaryNode(token), 2)) return false;
      continue;
    }
    switch (base) {
      case ptgUplus:
      case ptgUminus:
      case ptgPercent:
      case ptgParen: {
        static constexpr int32_t kinds[] = {kNodeUnaryPlus, kNodeNegate, kNodePercent, kNodeParen};
        static constexpr char16_t texts[] = u"+-%(";
        TXLSFlatNode* n = popInto(kinds[base - ptgUplus], 1);
        if (!n) return false;
        setText(*n, std::u16string_view(texts + (base - ptgUplus), 1));
        continue;
      }
      case ptgMissArg: push(kNodeMissing); continue;
      case ptgNum: push(kNodeNumber).number = r.Double(); continue;
      case ptgInt: push(kNodeNumber).number = r.Word(); continue;
      case ptgStr: {
        const unsigned n = r.Byte();
        const bool wide = (r.Byte() & 1) != 0;
        const std::u16string text = r.Chars(n, wide);
        setText(push(kNodeString), text);
        continue;
      }
      case ptgBool: push(kNodeBool).value = r.Byte() == 1 ? 1 : 0; continue;
      case ptgErr: {
        TXLSFlatNode& n = push(kNodeError);
        n.value = static_cast<int32_t>(r.Byte());
        if (const char* t = ErrorTextOfCode(n.value)) setText(n, Utf8ToWide(t));
        continue;
      }
      case ptgAttr: {
        const unsigned options = r.Byte();
        const unsigned data = r.Word();
        if (options & 0x04) r.Skip(static_cast<size_t>(data + 1) * 2);
        if (options & 0x10) {
          TXLSFlatNode* n = popInto(kNodeCall, 1);
          if (!n) return false;
          n->value = 4;
          setText(*n, u"SUM");
        }
        continue;
      }
      case ptgFunc:
      case ptgFuncVar: {
        int number = 0;
        const int count = DecodeCallHead(r, base, number);
        if (!r.ok) return false;
        TXLSFlatNode* n = popInto(kNodeCall, count);
        if (!n) return false;
        n->value = number;
        n->rawToken = token;
        if (number != kAddInFunction) {
          setText(*n, catalogue_->GetNameByNumber(number));
        } else if (count >= 1) {
          // A call through a name: one of BIFF8's functions called so becomes that function, in a
          // tree.
          const TXLSFlatNode& name = tree.nodes[tree.children[n->firstChild]];
          int builtIn = 0;
          bool fixed = false;
          if (!AddInCall(name.kind, name.hasRange ? &name.range : nullptr, name.value, count, builtIn, fixed) ||
              builtIn != 0)
            return false;
        }
        continue;
      }
      case ptgNameX: {
        listNumbers_ = true;
        TXLSFlatNode& n = push(kNodeName);
        n.hasRange = true;
        if (!DecodeNameX(r, n.value, n.range.externId)) return false;
        continue;
      }
      case ptgMemErr:
      case ptgMemNoMem:
      case ptgMemFunc:
      case ptgMemAreaN:
      case ptgMemNoMemN: {
        if (base == ptgMemErr || base == ptgMemNoMem) r.Skip(4);
        const size_t length = r.Word();
        if (!r.Has(length) || length == 0 || frames.size() >= static_cast<size_t>(kMaxDepth)) return false;
        frames.push_back({r.pos + length, stack.size(), token});
        floor = stack.size();
        continue;
      }
      case ptgName: {
        listNumbers_ = true;
        TXLSFlatNode& n = push(kNodeName);
        n.value = static_cast<int32_t>(r.Word());
        r.Skip(2);
        n.hasRange = true;
        continue;
      }
      case ptgRef: case ptgArea: case ptgRefErr: case ptgAreaErr: case ptgRefN: case ptgAreaN:
      case ptgRef3d: case ptgArea3d: case ptgRefErr3d: case ptgAreaErr3d: {
        TXLSFlatNode& n = push(kNodeReference);
        n.value = token;
        n.hasRange = true;
        if (!DecodeRange(r, token, n.range)) return false;
        continue;
      }
    }
    // Array constants, memory areas (their rectangles follow the tokens) and anything unknown: a
    // tree.
    return false;
  }
  return r.ok && frames.empty() && stack.size() == 1;
}

bool TXLSFormula::ReadArrays(TXLSSyntaxItem& node, Reader& r) {
  unsigned cols = r.Byte();
  unsigned rows = r.Word();
  if (r.Biff8()) {
    cols += 1;
    rows += 1;
  } else if (cols == 0) {
    cols = 256;
  }
  // Every value takes at least its type byte: a count beyond the bytes left is malformed.
  if (!r.ok || rows == 0 || static_cast<size_t>(rows) * cols > r.limit - r.pos) return false;
  node.value = static_cast<int32_t>(cols);
  for (size_t i = 0; i < static_cast<size_t>(rows) * cols; ++i) {
    unsigned type = r.Byte();
    std::unique_ptr<TXLSSyntaxItem> v;
    switch (type) {
      case 0x00:
        v = std::make_unique<TXLSSyntaxItem>(kNodeMissing);
        r.Skip(8);
        break;
      case 0x01:
        v = std::make_unique<TXLSSyntaxItem>(kNodeNumber);
        v->number = r.Double();
        break;
      case 0x02: {
        v = std::make_unique<TXLSSyntaxItem>(kNodeString);
        if (r.Biff8()) {
          unsigned n = r.Word();
          unsigned opt = r.Byte();
          v->text = r.Chars(n, (opt & 1) != 0);
        } else {
          unsigned n = r.Byte();
          v->text = r.Chars(n, false);
        }
        break;
      }
      case 0x04:
      case 0x10:
        v = std::make_unique<TXLSSyntaxItem>(type == 0x04 ? kNodeBool : kNodeError);
        v->value = static_cast<int32_t>(r.Byte());
        if (type == 0x04) v->value = v->value == 1 ? 1 : 0;
        r.Skip(7);
        break;
      default:
        // An unknown type keeps its place as an empty value and consumes no data.
        v = std::make_unique<TXLSSyntaxItem>(kNodeMissing);
    }
    if (!r.ok) return false;
    node.AddChild(std::move(v));
  }
  return true;
}

std::unique_ptr<TXLSSyntaxItem> TXLSFormula::Decode(Reader& r, int depth) {
  if (depth > kMaxDepth) return nullptr;
  TXLSSyntaxStack stack;
  auto popInto = [&](TXLSSyntaxItem& node, int count) {
    if (!stack.PopInto(node, count)) return false;
    return node.Height() <= kMaxTreeHeight;
  };
  auto unary = [&](int kind, const char16_t* text) {
    auto node = std::make_unique<TXLSSyntaxItem>(kind);
    node->text = text;
    if (!popInto(*node, 1)) return false;
    stack.Push(std::move(node));
    return true;
  };
  while (r.ok && r.pos < r.limit) {
    const int token = static_cast<int>(r.Byte());
    const int base = token < 0x20 ? token : (token & 0x1F) | 0x20;
    if (token >= ptgAdd && token <= ptgRange) {
      auto node = std::make_unique<TXLSSyntaxItem>(BinaryNode(token));
      if (!popInto(*node, 2)) return nullptr;
      stack.Push(std::move(node));
      continue;
    }
    switch (base) {
      case ptgUplus: if (!unary(kNodeUnaryPlus, u"+")) return nullptr; continue;
      case ptgUminus: if (!unary(kNodeNegate, u"-")) return nullptr; continue;
      case ptgPercent: if (!unary(kNodePercent, u"%")) return nullptr; continue;
      case ptgParen: if (!unary(kNodeParen, u"(")) return nullptr; continue;
      case ptgMissArg:
        stack.Push(std::make_unique<TXLSSyntaxItem>(kNodeMissing));
        continue;
      case ptgNum: {
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeNumber);
        node->number = r.Double();
        stack.Push(std::move(node));
        continue;
      }
      case ptgInt: {
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeNumber);
        node->number = r.Word();
        stack.Push(std::move(node));
        continue;
      }
      case ptgStr: {
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeString);
        unsigned n = r.Byte();
        bool wide = false;
        if (r.Biff8()) wide = (r.Byte() & 1) != 0;
        node->text = r.Chars(n, wide);
        stack.Push(std::move(node));
        continue;
      }
      case ptgBool: {
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeBool);
        node->value = r.Byte() == 1 ? 1 : 0;
        stack.Push(std::move(node));
        continue;
      }
      case ptgErr: {
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeError);
        node->value = static_cast<int32_t>(r.Byte());
        if (const char* t = ErrorTextOfCode(node->value)) node->text = Utf8ToWide(t);
        stack.Push(std::move(node));
        continue;
      }
      case ptgAttr: {
        unsigned options = r.Byte();
        unsigned data = r.Word();
        if (options & 0x04) r.Skip(static_cast<size_t>(data + 1) * 2);
        if (options & 0x10) {
          auto node = std::make_unique<TXLSSyntaxItem>(kNodeCall);
          node->text = u"SUM";
          node->value = 4;
          if (!popInto(*node, 1)) return nullptr;
          stack.Push(std::move(node));
        }
        continue;
      }
      case ptgArray: {
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeArray);
        node->value = 0;
        r.Skip(7);
        stack.Push(std::move(node));
        continue;
      }
      case ptgFunc:
      case ptgFuncVar: {
        int number = 0;
        const int count = DecodeCallHead(r, base, number);
        if (count < 0 || !r.ok) return nullptr;
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeCall);
        node->value = number;
        node->rawToken = token;
        if (number != kAddInFunction) node->text = catalogue_->GetNameByNumber(number);
        if (!popInto(*node, count)) return nullptr;
        // A call of the add-in book must name one of its functions: without a name it has no
        // text, and a formula read from a file must have one (to be written as text where its
        // format cannot hold it).
        if (number == kAddInFunction && count >= 1) {
          const TXLSSyntaxItem& name = *node->Child(1);
          int builtIn = 0;
          bool fixed = false;
          if (!AddInCall(name.kind, name.range.get(), name.value, count, builtIn, fixed)) return nullptr;
          if (builtIn != 0) {
            auto call = std::make_unique<TXLSSyntaxItem>(kNodeCall);
            call->value = builtIn;
            call->text = catalogue_->GetNameByNumber(builtIn);
            call->rawToken = (token & 0x60) | ((fixed ? ptgFunc : ptgFuncVar) & 0x1F);
            for (int i = 2; i <= node->ChildCount(); ++i) call->AddChild(node->Child(i)->Copy());
            node = std::move(call);
          }
        }
        stack.Push(std::move(node));
        continue;
      }
      case ptgName: {
        listNumbers_ = true;
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeName);
        node->value = static_cast<int32_t>(r.Word());
        r.Skip(r.Biff8() ? 2 : 12);
        node->range = std::make_unique<TXLSRangeItem>();
        stack.Push(std::move(node));
        continue;
      }
      case ptgNameX: {
        listNumbers_ = true;
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeName);
        node->range = std::make_unique<TXLSRangeItem>();
        if (r.Biff8()) {
          if (!DecodeNameX(r, node->value, node->range->externId)) return nullptr;
        } else {
          int ixals = static_cast<int16_t>(r.Word());
          r.Skip(8);
          node->value = static_cast<int32_t>(r.Word());
          r.Skip(12);
          // Writers differ in the sign of the EXTERNSHEET index here (gnumeric writes it
          // positive); either names the same record.
          if (!r.ok || ixals == 0) return nullptr;
          if (ixals < 0) ixals = -ixals;
          const int addInSheet = externs_.SupBook().Biff5AddInSheet();
          int book = 0, sheet = 0, name = 0;
          if (externs_.SupBook().AddInBookIndex() >= 0 &&
              ixals == (addInSheet > 0 ? addInSheet : externs_.NextSheetNumber())) {
            node->range->externId = externs_.AddInEntry();
          } else if (externs_.SupBook().Biff5SheetAt(ixals, book, sheet)) {
            // A name of another book, by the EXTERNSHEET its EXTERNNAMEs follow; the book's
            // names, not the sheet, make the entry (as BIFF8 writes it).
            if (!externs_.SupBook().Biff5NameAt(ixals, node->value, book, name)) return nullptr;
            node->value = name;
            node->range->externId = externs_.FindOrAddOtherBook(book, kBookNames, kBookNames);
          } else {
            int id = externs_.EntryOfNameScope(node->value);
            node->range->externId = id > 0 ? id : 0;
          }
        }
        stack.Push(std::move(node));
        continue;
      }
      case ptgMemArea:
      case ptgMemErr:
      case ptgMemNoMem:
      case ptgMemFunc:
      case ptgMemAreaN:
      case ptgMemNoMemN: {
        if (base == ptgMemArea || base == ptgMemErr || base == ptgMemNoMem) r.Skip(4);
        size_t length = r.Word();
        if (!r.Has(length) || length == 0) return nullptr;
        Reader sub{r.data, r.pos, r.pos + length, r.version, r.codePage};
        auto inner = Decode(sub, depth + 1);
        if (!inner) return nullptr;
        r.pos += length;
        auto node = std::make_unique<TXLSSyntaxItem>(kNodeMemFunc);
        node->rawToken = token;
        node->AddChild(std::move(inner));
        if (node->Height() > kMaxTreeHeight) return nullptr;
        stack.Push(std::move(node));
        continue;
      }
      case ptgRef: case ptgArea: case ptgRefErr: case ptgAreaErr: case ptgRefN: case ptgAreaN:
      case ptgRef3d: case ptgArea3d: case ptgRefErr3d: case ptgAreaErr3d: {
        if (token < 0x20) return nullptr;
        auto node = DecodeReference(r, token);
        if (!node) return nullptr;
        stack.Push(std::move(node));
        continue;
      }
    }
    // ptgExp, ptgTbl and anything unknown.
    return nullptr;
  }
  if (!r.ok || stack.Count() != 1) return nullptr;
  return stack.Pop();
}

std::unique_ptr<TXLSSyntaxItem> TXLSFormula::DecodeReference(Reader& r, int token) {
  auto node = std::make_unique<TXLSSyntaxItem>(kNodeReference);
  node->value = token;
  node->range = std::make_unique<TXLSRangeItem>();
  if (!DecodeRange(r, token, *node->range)) return nullptr;
  return node;
}

bool TXLSFormula::DecodeRange(Reader& r, int token, TXLSRangeItem& g) {
  const int base = (token & 0x1F) | 0x20;
  const bool is3d = base >= ptgRef3d;
  const bool area = base == ptgArea || base == ptgAreaErr || base == ptgAreaN ||
                    base == ptgArea3d || base == ptgAreaErr3d;
  const bool invalid = base == ptgRefErr || base == ptgAreaErr || base == ptgRefErr3d ||
                       base == ptgAreaErr3d;
  g.offset = (base == ptgRefN || base == ptgAreaN) ? 1 : 0;
  g.kind = is3d ? (area ? kRangeArea3d : kRangeCell3d) : (area ? kRangeArea : kRangeCell);
  if (is3d) {
    listNumbers_ = true;
    if (r.Biff8()) {
      int id = static_cast<int>(r.Word()) + 1;
      int book = 0, first = 0, last = 0;
      if (!r.ok || externs_.GetEntry(id, book, first, last) != 1) return false;
      // Another book's sheet must be one of its own (a reference that names none has no text).
      if (!externs_.IsOwnBook(id) && externs_.GetSheetText(id).empty()) return false;
      g.externId = id;
    } else {
      int ixals = static_cast<int16_t>(r.Word());
      r.Skip(8);
      unsigned first = r.Word();
      unsigned last = r.Word();
      int book = 0, sheet = 0;
      if (r.ok && ixals > 0 && externs_.SupBook().Biff5SheetAt(ixals, book, sheet)) {
        // A sheet of another book, named by its EXTERNSHEET.
        g.externId = externs_.FindOrAddOtherBook(book, sheet, sheet);
      } else {
        if (!r.ok || ixals > 0) return false;
        auto position = [this](unsigned number) {
          return number < readSheetPositions_.size() ? readSheetPositions_[number] : static_cast<int>(number) + 1;
        };
        const int a = position(first), b = position(last);
        // 0xFFFF: a sheet deleted after the formula was made (#REF! in its text).
        if (first == 0xFFFF || last == 0xFFFF) {
          g.externId = externs_.DeletedSheetEntry(static_cast<int>(first), static_cast<int>(last));
        } else {
          if (a < 1 || b < 1) return false;  // a sheet that was passed over
          g.externId = externs_.FindOrAddBySheetIndex(a, b);
        }
      }
      if (g.externId < 1) return false;
    }
  }
  unsigned rows[2] = {0, 0}, cols[2] = {0, 0};
  const int corners = area ? 2 : 1;
  if (r.Biff8()) {
    for (int i = 0; i < corners; ++i) rows[i] = r.Word();
    for (int i = 0; i < corners; ++i) cols[i] = r.Word();
  } else {
    for (int i = 0; i < corners; ++i) rows[i] = r.Word();
    for (int i = 0; i < corners; ++i) cols[i] = r.Byte();
  }
  if (!r.ok) return false;
  if (invalid) {
    g.kind += kRangeInvalid;
  } else {
    for (int i = 0; i < corners; ++i) {
      bool rowRel, colRel;
      int rw, cl;
      if (r.Biff8()) {
        rowRel = (cols[i] & 0x8000) != 0;
        colRel = (cols[i] & 0x4000) != 0;
        rw = static_cast<int>(rows[i]);
        cl = static_cast<int>(cols[i] & 0xFF);
        if (g.offset && rowRel) rw = static_cast<int16_t>(rows[i]);
      } else {
        rowRel = (rows[i] & 0x8000) != 0;
        colRel = (rows[i] & 0x4000) != 0;
        rw = static_cast<int>(rows[i] & 0x3FFF);
        cl = static_cast<int>(cols[i] & 0xFF);
        if (g.offset && rowRel && (rw & 0x2000)) rw -= 0x4000;
      }
      if (g.offset && colRel) cl = static_cast<int8_t>(cl & 0xFF);
      if (i == 0) {
        g.firstRow = rw;
        g.firstCol = cl;
        g.firstRowAbs = !rowRel;
        g.firstColAbs = !colRel;
      }
      if (i == 1 || !area) {
        g.lastRow = rw;
        g.lastCol = cl;
        g.lastRowAbs = !rowRel;
        g.lastColAbs = !colRel;
      }
    }
    // BIFF5 rows end at 16383: an area over all of them is a whole column, as the model holds
    // one (rows 0..65535), and is written back as all BIFF5 rows.
    if (!r.Biff8() && area && !g.offset && g.firstRow == 0 && g.lastRow == kMaxRowBiff5) g.lastRow = kMaxRow;
  }
  return true;
}

}  // namespace xls
