#include "xls/formula/extern_sheet.h"

#include <algorithm>
#include <memory>

#include "platform/little_endian.h"
#include "xls/formula/wide_text.h"
#include "xls/model/blob.h"
#include "xls/model/codepage.h"

namespace xls {

namespace {

constexpr uint16_t kRecSupBook = 0x01AE;
constexpr uint16_t kRecExternName = 0x0023;
constexpr uint16_t kRecExternSheet = 0x0017;
constexpr uint16_t kRecExternCount = 0x0016;
constexpr uint16_t kRecXct = 0x0059;
constexpr uint16_t kRecCrn = 0x005A;
constexpr uint16_t kOwnBookMark = 0x0401;
constexpr size_t kCrnBiff8Limit = 8224;
constexpr size_t kCrnBiff5Limit = 2080;
constexpr uint8_t kCachedEmpty = 0x00, kCachedNumber = 0x01, kCachedText = 0x02, kCachedBool = 0x04,
                  kCachedError = 0x10;
constexpr uint16_t kAddInMark = 0x3A01;

// Bounded little-endian reads over a record body.
struct BodyReader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool ok = true;

  unsigned Byte() {
    if (pos + 1 > size) { ok = false; return 0; }
    return data[pos++];
  }
  unsigned Word() {
    if (pos + 2 > size) { ok = false; pos = size; return 0; }
    unsigned v = platform::LoadLE16(data + pos);
    pos += 2;
    return v;
  }
  // A BIFF8 string: count (8 or 16 bits), option byte, then UTF-16 or 8-bit characters.
  std::u16string String(bool shortLength) {
    unsigned count = shortLength ? Byte() : Word();
    unsigned options = Byte();
    std::u16string s;
    for (unsigned i = 0; ok && i < count; ++i) {
      s += static_cast<char16_t>((options & 1) ? Word() : Byte());
    }
    return ok ? s : std::u16string();
  }
};

std::string KeyOwn(int first, int last) {
  return std::to_string(first) + ":" + std::to_string(last);
}

std::string KeyDeleted(int first, int last) {
  return "#REF!" + std::to_string(first) + ":" + std::to_string(last);
}

std::string KeyOther(int book, int first, int last) {
  return std::to_string(book) + "!" + std::to_string(first) + ":" + std::to_string(last);
}

void AddBiff8String(TXLSBlob& b, const std::u16string& s) {
  b.AddWord(static_cast<uint32_t>(s.size()));
  b.AddByte(1);
  b.AddWideString(s);
}

TXLSBlob* NewRecord(uint16_t id) {
  auto* b = new TXLSBlob(0);
  b->AddWord(id);
  b->AddWord(0);
  return b;
}

void Finish(TXLSBlob& b) { b.PutWord(b.GetSize() - 4, 2); }

// An add-in name's formula: 2 bytes of tokens, ptgErr #REF!.
void AddExternNameFormula(TXLSBlob& b) {
  b.AddWord(2);
  b.AddByte(0x1C);
  b.AddByte(0x17);
}

// A cached value in a CRN record: BIFF8 texts in UTF-16, BIFF5's as 8-bit text of the code page
// (at most 255 bytes).
struct CachedValue {
  const TXLSExternValue& v;
  bool biff8;
  int codePage;

  std::string Ansi() const {
    std::string bytes = WideToAnsiCP(v.text, codePage);
    if (bytes.size() > 255) bytes.resize(255);
    return bytes;
  }
  size_t Size() const {
    if (v.kind != kCachedText) return 9;
    return biff8 ? 4 + 2 * v.text.size() : 2 + Ansi().size();
  }
};

void AddCachedValue(TXLSBlob& b, const CachedValue& c) {
  const TXLSExternValue& v = c.v;
  b.AddByte(v.kind);
  switch (v.kind) {
    case kCachedNumber:
      b.AddDouble(v.number);
      return;
    case kCachedText:
      if (c.biff8) {
        AddBiff8String(b, v.text);
      } else {
        const std::string bytes = c.Ansi();
        b.AddByte(static_cast<uint32_t>(bytes.size()));
        b.AddString(bytes);
      }
      return;
    case kCachedBool:
    case kCachedError:
      b.AddByte(v.code);
      for (int i = 0; i < 7; ++i) b.AddByte(0);
      return;
    default:
      for (int i = 0; i < 8; ++i) b.AddByte(0);
  }
}

// XCT and the CRNs of one cached sheet; a row too long for one record goes on in the next.
// BIFF5's XCT names no sheet: its EXTERNSHEET does.
void WriteCache(std::vector<std::unique_ptr<TXLSBlob>>& out, const TXLSExternCache& cache, bool biff8 = true,
                int codePage = 1252) {
  const size_t limit = biff8 ? kCrnBiff8Limit : kCrnBiff5Limit;
  std::vector<std::unique_ptr<TXLSBlob>> crns;
  for (const TXLSExternRow& row : cache.rows) {
    size_t at = 0;
    while (at < row.values.size()) {
      size_t end = at, bytes = 4;
      while (end < row.values.size() && bytes + CachedValue{row.values[end], biff8, codePage}.Size() <= limit) {
        bytes += CachedValue{row.values[end++], biff8, codePage}.Size();
      }
      if (end == at) break;  // a text past what one record holds: the rest of the row stays out
      std::unique_ptr<TXLSBlob> b(NewRecord(kRecCrn));
      b->AddByte(static_cast<uint32_t>(row.firstColumn + end - 1) & 0xFF);
      b->AddByte(static_cast<uint32_t>(row.firstColumn + at) & 0xFF);
      b->AddWord(static_cast<uint32_t>(row.row));
      for (size_t i = at; i < end; ++i) AddCachedValue(*b, CachedValue{row.values[i], biff8, codePage});
      Finish(*b);
      crns.push_back(std::move(b));
      at = end;
    }
  }
  std::unique_ptr<TXLSBlob> xct(NewRecord(kRecXct));
  xct->AddWord(static_cast<uint32_t>(crns.size()));
  if (biff8) xct->AddWord(static_cast<uint32_t>(cache.sheet));
  Finish(*xct);
  out.push_back(std::move(xct));
  for (auto& b : crns) out.push_back(std::move(b));
}

// The path of another book as SUPBOOK holds it, as the text Excel shows: folders, then the
// book's name, in brackets before a sheet's name ("\\dir\\[other.xls]") and without them
// before a name of the whole book ("\\dir\\other.xls"). The encoded form starts with 0x01; then
// 0x01 and a drive letter, 0x02 the drive's root, 0x03 between folders, 0x04 the folder above,
// 0x05 and a length before a URL, 0x06 to 0x08 folders of the program.
std::u16string BookText(const std::u16string& path, bool brackets = true) {
  std::u16string text;
  size_t i = !path.empty() && path[0] == 1 ? 1 : path.size();
  if (i == path.size()) text = path;
  for (; i < path.size(); ++i) {
    const char16_t c = path[i];
    if (c == 1 && i + 1 < path.size()) {
      text += path[++i];
      text += u":\\";
    } else if (c == 2 || c == 3) {
      text += u'\\';
    } else if (c == 4) {
      text += u"..\\";
    } else if (c == 5) {
      ++i;  // the URL's length
    } else if (c > 8) {
      text += c;
    }
  }
  if (!brackets) return text;
  const size_t cut = text.find_last_of(u"\\/");
  const size_t name = cut == std::u16string::npos ? 0 : cut + 1;
  return text.substr(0, name) + u"[" + text.substr(name) + u"]";
}

// A BIFF8 EXTERNNAME of another book: its options, its sheet, the name in UTF-16, then the
// formula it was read with, or #REF! for one not known (or too long for a record).
std::unique_ptr<TXLSBlob> ExternNameRecord(const std::u16string& name, const TXLSExternNameDef& def) {
  std::unique_ptr<TXLSBlob> n(NewRecord(kRecExternName));
  n->AddWord(def.options);
  n->AddWord(def.sheet);
  n->AddWord(0);
  n->AddByte(static_cast<uint32_t>(name.size()));
  n->AddByte(1);
  n->AddWideString(name);
  if (def.formula.empty() || n->GetSize() - 4 + def.formula.size() > kCrnBiff8Limit) {
    AddExternNameFormula(*n);
  } else {
    for (uint8_t byte : def.formula) n->AddByte(byte);
  }
  Finish(*n);
  return n;
}

}  // namespace

int TXLSSupBookItem::AddName(const std::u16string& name) {
  auto it = namePositions.find(name);
  if (it != namePositions.end()) return it->second;
  externNames.push_back(name);
  int pos = static_cast<int>(externNames.size());
  namePositions.emplace(name, pos);
  return pos;
}

int TXLSSupBookItem::AddReadName(const std::u16string& name, TXLSExternNameDef def) {
  externNames.push_back(name);
  const int pos = static_cast<int>(externNames.size());
  namePositions.emplace(name, pos);
  nameDefs.resize(externNames.size() - 1);
  nameDefs.push_back(std::move(def));
  return pos;
}

int TXLSSupBook::OwnBook() {
  if (ownIndex_ < 0) {
    items_.push_back(TXLSSupBookItem{});
    ownIndex_ = Count() - 1;
  }
  return ownIndex_;
}

int TXLSSupBook::AppendOtherBook(TXLSSupBookItem item) {
  OwnBook();
  item.ownBook = false;
  items_.push_back(std::move(item));
  return Count() - 1;
}

int TXLSSupBook::AddInBook() {
  if (addInIndex_ < 0) {
    TXLSSupBookItem item;
    item.addIn = true;
    addInIndex_ = AppendOtherBook(std::move(item));
    biff5NamesBook_ = addInIndex_;  // BIFF5 names read next are its own, until an EXTERNSHEET
  }
  return addInIndex_;
}

int TXLSSupBook::AddInNamePosition(const std::u16string& name) {
  return items_[static_cast<size_t>(AddInBook())].AddName(name);
}

std::u16string TXLSSupBook::NameAt(int book, int position) const {
  if (book < 0 || book >= Count()) return {};
  const auto& names = items_[static_cast<size_t>(book)].externNames;
  if (position < 1 || position > static_cast<int>(names.size())) return {};
  return names[static_cast<size_t>(position - 1)];
}

int TXLSSupBook::ReadSupBook(const uint8_t* data, size_t size) {
  BodyReader r{data, size};
  unsigned count = r.Word();
  unsigned mark = r.Word();
  if (!r.ok) return -1;
  TXLSSupBookItem item;
  if (mark == kOwnBookMark) {
    items_.push_back(std::move(item));
    ownIndex_ = Count() - 1;
    return 1;
  }
  if (count == 1 && mark == kAddInMark) {
    item.ownBook = false;
    item.addIn = true;
    items_.push_back(std::move(item));
    addInIndex_ = Count() - 1;
    return 1;
  }
  item.ownBook = false;
  r.pos = 2;
  item.path = r.String(false);
  for (unsigned i = 0; r.ok && i < count; ++i) item.sheetNames.push_back(r.String(false));
  if (!r.ok) return -1;
  items_.push_back(std::move(item));
  return 1;
}

int TXLSSupBook::ReadExternName(const uint8_t* data, size_t size, bool biff8, int codePage) {
  const int book = biff8 ? Count() - 1 : biff5NamesBook_;
  if (book < 0 || book >= Count() || items_[static_cast<size_t>(book)].ownBook) return 1;
  TXLSSupBookItem& item = items_[static_cast<size_t>(book)];
  BodyReader r{data, size};
  TXLSExternNameDef def;
  def.options = static_cast<uint16_t>(r.Word());
  // BIFF8: the sheet of a sheet's name; BIFF5 has no room for it.
  const unsigned sheet = r.Word();
  r.pos = 6;
  std::u16string name;
  if (biff8) {
    name = r.String(true);
  } else {
    unsigned count = r.Byte();
    if (r.ok && r.pos + count <= size) {
      name = AnsiToWideCP(std::string_view(reinterpret_cast<const char*>(data + r.pos), count),
                          item.addIn ? 1252 : codePage);
      r.pos += count;
    } else {
      r.ok = false;
    }
  }
  if (!r.ok) return -1;
  if (item.addIn) {
    item.AddName(name);
    return 1;
  }
  const std::vector<uint8_t> formula(data + r.pos, data + size);
  if (biff8) {
    def.sheet = sheet <= item.sheetNames.size() ? static_cast<uint16_t>(sheet) : 0;
    def.formula = formula;
  } else if (formula.size() > 2 && !(formula.size() == 4 && formula[2] == 0x1C)) {
    // BIFF5 formulas name sheets by EXTERNSHEET positions, which a save numbers anew: only an
    // error constant (#REF!) is written back, and the definition is counted as lost.
    ++lostBiff5NameFormulas_;
  }
  item.AddReadName(name, std::move(def));
  return 1;
}

int TXLSSupBook::ReadXct(const uint8_t* data, size_t size, bool biff8) {
  cacheBook_ = biff8 ? Count() - 1 : biff5Book_;
  if (cacheBook_ < 0 || cacheBook_ >= Count() || items_[static_cast<size_t>(cacheBook_)].ownBook ||
      items_[static_cast<size_t>(cacheBook_)].addIn) {
    cacheBook_ = -1;
    return 1;
  }
  BodyReader r{data, size};
  r.Word();
  TXLSExternCache cache;
  cache.sheet = biff8 ? static_cast<int>(r.Word()) : biff5Sheet_;
  if (!r.ok) {
    cacheBook_ = -1;
    return -1;
  }
  items_[static_cast<size_t>(cacheBook_)].caches.push_back(std::move(cache));
  return 1;
}

int TXLSSupBook::ReadCrn(const uint8_t* data, size_t size, bool biff8, int codePage) {
  if (cacheBook_ < 0 || cacheBook_ >= Count()) return 1;
  std::vector<TXLSExternCache>& caches = items_[static_cast<size_t>(cacheBook_)].caches;
  BodyReader r{data, size};
  const unsigned last = r.Byte();
  TXLSExternRow row;
  row.firstColumn = static_cast<int>(r.Byte());
  row.row = static_cast<int>(r.Word());
  if (!r.ok || last < static_cast<unsigned>(row.firstColumn)) return -1;
  for (unsigned c = static_cast<unsigned>(row.firstColumn); r.ok && c <= last; ++c) {
    TXLSExternValue v;
    v.kind = static_cast<uint8_t>(r.Byte());
    if (v.kind == kCachedNumber) {
      if (r.pos + 8 > size) return -1;
      v.number = platform::LoadLEDouble(data + r.pos);
      r.pos += 8;
    } else if (v.kind == kCachedText) {
      if (biff8) {
        v.text = r.String(false);
      } else {
        const unsigned count = r.Byte();
        if (r.pos + count > size) return -1;
        v.text = AnsiToWideCP(std::string_view(reinterpret_cast<const char*>(data + r.pos), count), codePage);
        r.pos += count;
      }
    } else if (v.kind == kCachedBool || v.kind == kCachedError) {
      v.code = static_cast<uint8_t>(r.Byte());
      if (r.pos + 7 > size) return -1;
      r.pos += 7;
    } else {
      v.kind = kCachedEmpty;
      if (r.pos + 8 > size) return -1;
      r.pos += 8;
    }
    row.values.push_back(std::move(v));
  }
  if (!r.ok) return -1;
  caches.back().rows.push_back(std::move(row));
  return 1;
}

int TXLSSupBook::ReadBiff5ExternSheet(const std::u16string& name, int position) {
  biff5Book_ = biff5Sheet_ = biff5NamesBook_ = -1;
  if (name.size() < 2 || name[0] != 1) return 1;
  const size_t open = name.find(u'['), close = name.find(u']');
  if (open == std::u16string::npos || close == std::u16string::npos || close < open) return -1;
  // The path as SUPBOOK holds it: the folders and the book's name, without the brackets.
  const std::u16string path = name.substr(0, open) + name.substr(open + 1, close - open - 1);
  const std::u16string sheet = name.substr(close + 1);
  int book = -1;
  for (int i = 0; i < Count(); ++i) {
    const TXLSSupBookItem& item = items_[static_cast<size_t>(i)];
    if (!item.ownBook && !item.addIn && item.path == path) book = i;
  }
  if (book < 0) {
    TXLSSupBookItem item;
    item.path = path;
    book = AppendOtherBook(std::move(item));
  }
  auto& names = items_[static_cast<size_t>(book)].sheetNames;
  auto at = std::find(names.begin(), names.end(), sheet);
  if (at == names.end()) at = names.insert(names.end(), sheet);
  biff5Book_ = book;
  biff5Sheet_ = static_cast<int>(at - names.begin());
  biff5Sheets_[position] = {biff5Book_, biff5Sheet_};
  biff5NamesBook_ = book;
  biff5Names_[position] = {book, static_cast<int>(items_[static_cast<size_t>(book)].externNames.size())};
  return 1;
}

bool TXLSSupBook::Biff5NameAt(int position, int index, int& book, int& name) const {
  auto it = biff5Names_.find(position);
  if (it == biff5Names_.end() || index < 1) return false;
  book = it->second.first;
  name = it->second.second + index;
  return name <= static_cast<int>(items_[static_cast<size_t>(book)].externNames.size());
}

int TXLSSupBook::Biff5NamesPosition(int book) const {
  for (const auto& [position, at] : biff5Names_) {
    if (at.first == book) return position;
  }
  return 0;
}

// The name of a BIFF5 EXTERNSHEET of another book's sheet: the folders, then the book's name in
// brackets, then the sheet's ("\x01\x02dir\x03[other.xls]Src"), in 8-bit text. Empty when it
// is longer than the record's length byte holds: then the sheet has no record, and formulas
// that read it go as their text.
std::string TXLSSupBook::Biff5SheetName(const TXLSSupBookItem& item, int sheet, int codePage) {
  std::u16string path = item.path;
  if (path.empty() || path[0] != 1) path.insert(0, 1, u'\x01');
  const size_t cut = path.find_last_of(u"\x01\x02\x03\x04");
  const size_t nameAt = cut == 0 || cut == std::u16string::npos ? 1 : cut + 1;
  const std::u16string name = path.substr(0, nameAt) + u"[" + path.substr(nameAt) + u"]" +
                              item.sheetNames[static_cast<size_t>(sheet)];
  std::string bytes = WideToAnsiCP(name, codePage);
  return bytes.size() > 255 ? std::string() : bytes;
}

int TXLSSupBook::Biff5BookSheetCount(int codePage) const {
  int count = 0;
  for (const auto& item : items_) {
    if (item.ownBook || item.addIn) continue;
    for (int sheet = 0; sheet < static_cast<int>(item.sheetNames.size()); ++sheet)
      if (!Biff5SheetName(item, sheet, codePage).empty()) ++count;
  }
  return count;
}

std::vector<std::unique_ptr<TXLSBlob>> TXLSSupBook::Biff5BookRecords(int position, bool withCaches, int codePage) {
  std::vector<std::unique_ptr<TXLSBlob>> out;
  biff5Sheets_.clear();
  biff5Names_.clear();
  for (int book = 0; book < Count(); ++book) {
    const TXLSSupBookItem& item = items_[static_cast<size_t>(book)];
    if (item.ownBook || item.addIn) continue;
    for (int sheet = 0; sheet < static_cast<int>(item.sheetNames.size()); ++sheet) {
      const std::string bytes = Biff5SheetName(item, sheet, codePage);
      if (bytes.empty()) continue;
      std::unique_ptr<TXLSBlob> b(NewRecord(kRecExternSheet));
      b->AddByte(static_cast<uint32_t>(bytes.size()));
      b->AddString(bytes);
      Finish(*b);
      out.push_back(std::move(b));
      // The book's names follow the EXTERNSHEET of its first sheet; BIFF5 keeps neither their
      // sheets nor their formulas, which name sheets by EXTERNSHEET positions.
      if (Biff5NamesPosition(book) == 0) {
        biff5Names_[position] = {book, 0};
        for (size_t at = 0; at < item.externNames.size(); ++at) {
          const std::string bytes = WideToAnsiCP(item.externNames[at], codePage).substr(0, 255);
          std::unique_ptr<TXLSBlob> n(NewRecord(kRecExternName));
          n->AddWord(at < item.nameDefs.size() ? item.nameDefs[at].options : 0);
          n->AddDWord(0);
          n->AddByte(static_cast<uint32_t>(bytes.size()));
          n->AddString(bytes);
          AddExternNameFormula(*n);
          Finish(*n);
          out.push_back(std::move(n));
        }
      }
      biff5Sheets_[position++] = {book, sheet};
      if (!withCaches) continue;
      for (const TXLSExternCache& cache : item.caches) {
        if (cache.sheet == sheet) WriteCache(out, cache, false, codePage);
      }
    }
  }
  return out;
}

int TXLSSupBook::Biff5Position(int book, int sheet) const {
  for (const auto& [position, at] : biff5Sheets_) {
    if (at.first == book && at.second == sheet) return position;
  }
  return 0;
}

bool TXLSSupBook::Biff5SheetAt(int position, int& book, int& sheet) const {
  auto it = biff5Sheets_.find(position);
  if (it == biff5Sheets_.end()) return false;
  book = it->second.first;
  sheet = it->second.second;
  return true;
}

int TXLSSupBook::WriteRecords(TXLSBlobList& out, int sheetCount) {
  OwnBook();
  for (const auto& item : items_) {
    TXLSBlob* b = NewRecord(kRecSupBook);
    if (item.addIn) {
      b->AddWord(1);
      b->AddWord(kAddInMark);
    } else if (item.ownBook) {
      b->AddWord(static_cast<uint32_t>(sheetCount));
      b->AddWord(kOwnBookMark);
    } else {
      b->AddWord(static_cast<uint32_t>(item.sheetNames.size()));
      AddBiff8String(*b, item.path);
      for (const auto& s : item.sheetNames) AddBiff8String(*b, s);
    }
    Finish(*b);
    out.Append(b);
    std::vector<std::unique_ptr<TXLSBlob>> cached;
    if (!item.ownBook && !item.addIn) {
      for (size_t i = 0; i < item.externNames.size(); ++i)
        cached.push_back(ExternNameRecord(item.externNames[i], i < item.nameDefs.size() ? item.nameDefs[i] : TXLSExternNameDef{}));
    }
    for (const TXLSExternCache& cache : item.caches) WriteCache(cached, cache);
    for (auto& record : cached) out.Append(record.release());
    if (!item.addIn) continue;
    for (const auto& name : item.externNames) {
      TXLSBlob* n = NewRecord(kRecExternName);
      n->AddWord(0);
      n->AddDWord(0);
      n->AddByte(static_cast<uint32_t>(name.size()));
      n->AddByte(1);
      n->AddWideString(name);
      AddExternNameFormula(*n);
      Finish(*n);
      out.Append(n);
    }
  }
  return 1;
}

int TXLSSupBook::WriteBiff5Records(TXLSBlobList& out, const std::vector<std::u16string>& sheetNames,
                                   int codePage) {
  const TXLSSupBookItem* addIn = addInIndex_ >= 0 ? &items_[static_cast<size_t>(addInIndex_)] : nullptr;
  TXLSBlob* count = NewRecord(kRecExternCount);
  count->AddWord(static_cast<uint32_t>(sheetNames.size() + (addIn ? 1 : 0)));
  Finish(*count);
  out.Append(count);
  for (const auto& name : sheetNames) {
    std::string bytes = WideToAnsiCP(name, codePage).substr(0, 254);
    TXLSBlob* b = NewRecord(kRecExternSheet);
    b->AddByte(static_cast<uint32_t>(bytes.size()));
    b->AddByte(0x03);  // a sheet of the own document
    b->AddString(bytes);
    Finish(*b);
    out.Append(b);
  }
  return WriteBiff5AddIn(out, codePage);
}

bool TXLSSupBook::HasAddInNames() const {
  return addInIndex_ >= 0 && !items_[static_cast<size_t>(addInIndex_)].externNames.empty();
}

std::vector<std::unique_ptr<TXLSBlob>> TXLSSupBook::Biff5AddInRecords(int codePage) const {
  std::vector<std::unique_ptr<TXLSBlob>> out;
  const TXLSSupBookItem* addIn = addInIndex_ >= 0 ? &items_[static_cast<size_t>(addInIndex_)] : nullptr;
  if (!addIn) return out;
  std::unique_ptr<TXLSBlob> sheet(NewRecord(kRecExternSheet));
  sheet->AddByte(1);
  sheet->AddByte(':');  // the add-in "document"
  Finish(*sheet);
  out.push_back(std::move(sheet));
  for (const auto& name : addIn->externNames) {
    std::string bytes = WideToAnsiCP(name, codePage).substr(0, 255);
    std::unique_ptr<TXLSBlob> n(NewRecord(kRecExternName));
    n->AddWord(0);
    n->AddDWord(0);
    n->AddByte(static_cast<uint32_t>(bytes.size()));
    n->AddString(bytes);
    AddExternNameFormula(*n);
    Finish(*n);
    out.push_back(std::move(n));
  }
  return out;
}

int TXLSSupBook::WriteBiff5AddIn(TXLSBlobList& out, int codePage) {
  for (auto& record : Biff5AddInRecords(codePage)) out.Append(record.release());
  return 1;
}

TXLSExternSheet::TXLSExternSheet(TXLSExternCallbacks callbacks) : cb_(std::move(callbacks)) {}

int TXLSExternSheet::SheetIdByName(const std::u16string& name) const {
  return cb_.sheetIdByName ? cb_.sheetIdByName(name) : -1;
}
int TXLSExternSheet::SheetIndexById(int id) const {
  return cb_.sheetIndexById ? cb_.sheetIndexById(id) : -1;
}
std::u16string TXLSExternSheet::SheetNameByIndex(int index) const {
  return cb_.sheetNameByIndex ? cb_.sheetNameByIndex(index) : std::u16string();
}
std::u16string TXLSExternSheet::NameTextById(int nameId) const {
  return cb_.nameTextById ? cb_.nameTextById(nameId) : std::u16string();
}
int TXLSExternSheet::NameOutputIndexById(int nameId) const {
  return cb_.nameOutputIndexById ? cb_.nameOutputIndexById(nameId) : -1;
}
int TXLSExternSheet::NameIdByText(const std::u16string& text, int scope) const {
  return cb_.nameIdByText ? cb_.nameIdByText(text, scope) : -1;
}
int TXLSExternSheet::NameScopeById(int nameId) const {
  return cb_.nameScopeById ? cb_.nameScopeById(nameId) : -1;
}
int TXLSExternSheet::NextSheetNumber() const {
  return cb_.nextSheetNumber ? cb_.nextSheetNumber() : -1;
}
int TXLSExternSheet::NameRangeById(int nameId, TXLSRangeItem& range) const {
  return cb_.nameRangeById ? cb_.nameRangeById(nameId, range) : -1;
}

const TXLSExternSheetItem* TXLSExternSheet::Find(int id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : &it->second;
}

int TXLSExternSheet::FindOrAdd(const std::string& key, int book, int first, int last,
                               int imposedId) {
  if (imposedId < 1) {
    auto hit = keys_.find(key);
    if (hit != keys_.end()) return hit->second;
  }
  int id = imposedId >= 1 ? imposedId : counter_ + 1;
  counter_ = std::max(counter_, id);
  TXLSExternSheetItem item;
  item.id = id;
  item.firstSheet = first;
  item.lastSheet = last;
  item.book = book;
  items_[id] = item;
  keys_[key] = id;
  return id;
}

int TXLSExternSheet::FindOrAddBySheetIds(int firstId, int lastId) {
  if (firstId < 1 || lastId < 1) return -1;
  if (firstId > lastId) std::swap(firstId, lastId);
  return FindOrAdd(KeyOwn(firstId, lastId), supBook_.OwnBook(), firstId, lastId, 0);
}

int TXLSExternSheet::FindOrAddBySheetNames(const std::u16string& first,
                                           const std::u16string& last) {
  int a = SheetIdByName(first);
  if (a < 1) return -1;
  int b = a;
  if (!last.empty() && last != first) {
    b = SheetIdByName(last);
    if (b < 1) return -1;
  }
  return FindOrAddBySheetIds(a, b);
}

int TXLSExternSheet::FindOrAddBySheetIndex(int firstIndex, int lastIndex) {
  std::u16string first = SheetNameByIndex(firstIndex);
  std::u16string last = SheetNameByIndex(lastIndex);
  if (first.empty() || last.empty()) return -1;
  return FindOrAddBySheetNames(first, last);
}

int TXLSExternSheet::EntryOfNameScope(int nameId) {
  int scope = NameScopeById(nameId);
  if (scope < 1) return -1;
  return FindOrAddBySheetIds(scope, scope);
}

int TXLSExternSheet::AddFromRecord(int id, int book, int first, int last) {
  if (id < 1 || book < 0) return -1;
  if (book == supBook_.AddInBookIndex()) {
    return FindOrAdd(KeyOther(book, -1, -1), book, -1, -1, id);
  }
  if (book < supBook_.Count() && supBook_.Item(book).ownBook) {
    int a = SheetIdByName(SheetNameByIndex(first + 1));
    int b = SheetIdByName(SheetNameByIndex(last + 1));
    if (a < 1 || b < 1) {
      const int entry = FindOrAdd(KeyDeleted(first, last), book, first, last, id);
      items_[entry].deletedSheet = 1;
      return entry;
    }
    return FindOrAdd(KeyOwn(std::min(a, b), std::max(a, b)), book, std::min(a, b),
                     std::max(a, b), id);
  }
  return FindOrAdd(KeyOther(book, first, last), book, first, last, id);
}

int TXLSExternSheet::DeletedSheetEntry(int first, int last) {
  const int entry = FindOrAdd(KeyDeleted(first, last), supBook_.OwnBook(), first, last, 0);
  items_[entry].deletedSheet = 1;
  return entry;
}

bool TXLSExternSheet::IsDeletedSheet(int id) const {
  const TXLSExternSheetItem* item = Find(id);
  return item && item->deletedSheet;
}

int TXLSExternSheet::AddInEntry() {
  int book = supBook_.AddInBook();
  return FindOrAdd(KeyOther(book, -1, -1), book, -1, -1, 0);
}

int TXLSExternSheet::FindOrAddOtherBook(int book, int first, int last) {
  if (book < 0 || book >= supBook_.Count() || supBook_.Item(book).ownBook) return -1;
  return FindOrAdd(KeyOther(book, first, last), book, first, last, 0);
}

int TXLSExternSheet::AddInNameIndex(const std::u16string& name) {
  return supBook_.AddInNamePosition(name);
}

std::u16string TXLSExternSheet::GetAddInName(int entryId, int position) {
  const TXLSExternSheetItem* item = Find(entryId);
  if (!item) return {};
  return supBook_.NameAt(item->book, position);
}

bool TXLSExternSheet::IsOwnBook(int id) const {
  const TXLSExternSheetItem* item = Find(id);
  if (!item) return true;
  return item->book >= 0 && item->book < supBook_.Count() && supBook_.Item(item->book).ownBook;
}

int TXLSExternSheet::GetOutputIndex(int id) const {
  const TXLSExternSheetItem* item = Find(id);
  return item ? item->outputIndex : -1;
}

int TXLSExternSheet::GetEntry(int id, int& book, int& first, int& last) const {
  const TXLSExternSheetItem* item = Find(id);
  if (!item) return -1;
  book = item->book;
  first = item->firstSheet;
  last = item->lastSheet;
  return 1;
}

int TXLSExternSheet::ResolveEntry(int id, int& book, int& first, int& last) const {
  const TXLSExternSheetItem* item = Find(id);
  if (!item || item->deletedSheet) return -1;
  if (!IsOwnBook(id)) {
    book = item->book;
    first = item->firstSheet;
    last = item->lastSheet;
    return 1;
  }
  int a = SheetIndexById(item->firstSheet);
  int b = SheetIndexById(item->lastSheet);
  if (a < 1 || b < 1) return -1;
  book = item->book;
  first = std::min(a, b);
  last = std::max(a, b);
  return 1;
}

int TXLSExternSheet::OutputId(int n) const {
  if (n < 1 || n > OutputCount()) return -1;
  return output_[static_cast<size_t>(n - 1)];
}

int TXLSExternSheet::ResolveEntryAt(int n, int& book, int& first, int& last) const {
  int id = OutputId(n);
  if (id < 1) return -1;
  return ResolveEntry(id, book, first, last);
}

std::u16string TXLSExternSheet::GetExternNameText(int id, int position) const {
  int book = 0, first = 0, last = 0;
  if (IsOwnBook(id) || GetEntry(id, book, first, last) != 1) return {};
  const TXLSSupBookItem& item = supBook_.Item(book);
  const std::u16string name = supBook_.NameAt(book, position);
  if (item.addIn || name.empty()) return {};
  const size_t at = static_cast<size_t>(position - 1);
  const int sheet = at < item.nameDefs.size() ? item.nameDefs[at].sheet : 0;
  if (sheet >= 1 && sheet <= static_cast<int>(item.sheetNames.size()))
    return ftext::Quoted(BookText(item.path) + item.sheetNames[static_cast<size_t>(sheet - 1)], u'\'') + u"!" + name;
  return ftext::Quoted(BookText(item.path, false), u'\'') + u"!" + name;
}

std::u16string TXLSExternSheet::GetSheetText(int id) const {
  int book = 0, first = 0, last = 0;
  if (!IsOwnBook(id)) {
    // Another book's sheets: '\dir\[other.xls]Sheet' or '...[other.xls]First:Last'.
    if (GetEntry(id, book, first, last) != 1 || book < 0 || book >= supBook_.Count()) return {};
    const TXLSSupBookItem& item = supBook_.Item(book);
    const auto sheet = [&item](int i) {
      return i >= 0 && i < static_cast<int>(item.sheetNames.size()) ? item.sheetNames[static_cast<size_t>(i)]
                                                                    : std::u16string();
    };
    if (item.addIn || sheet(first).empty()) return {};
    std::u16string text = BookText(item.path) + sheet(first);
    if (last != first && !sheet(last).empty()) text += u":" + sheet(last);
    return ftext::Quoted(text, u'\'');
  }
  if (IsDeletedSheet(id)) return u"#REF";
  if (ResolveEntry(id, book, first, last) != 1) return {};
  std::u16string a = SheetNameByIndex(first);
  if (a.empty()) return {};
  std::u16string text = ftext::Quoted(a, u'\'');
  if (last != first) {
    std::u16string b = SheetNameByIndex(last);
    if (b.empty()) return {};
    text += u":" + ftext::Quoted(b, u'\'');
  }
  return text;
}

void TXLSExternSheet::Renumber() {
  output_.clear();
  for (auto& [id, item] : items_) {
    bool keep = item.used != 0;
    int a = item.firstSheet, b = item.lastSheet;
    bool resolved = true;
    if (keep && item.firstSheet >= 0 && item.lastSheet >= 0) {
      if (item.deletedSheet) {
        resolved = false;  // written with the sheet words it was read with
      } else if (IsOwnBook(id)) {
        a = SheetIndexById(item.firstSheet);
        b = SheetIndexById(item.lastSheet);
        keep = a >= 1 && b >= 1;
        if (keep && a > b) std::swap(a, b);
      } else {
        resolved = false;  // other books keep their stored positions
      }
    }
    if (keep) {
      output_.push_back(id);
      item.outputIndex = OutputCount();
      item.firstIndex = resolved ? a : item.firstSheet + 1;
      item.lastIndex = resolved ? b : item.lastSheet + 1;
    } else {
      item.outputIndex = -1;
      item.firstIndex = -1;
      item.lastIndex = -1;
    }
  }
}

int TXLSExternSheet::WriteExternSheet(TXLSBlobList& out) const {
  TXLSBlob* b = NewRecord(kRecExternSheet);
  b->AddWord(static_cast<uint32_t>(output_.size()));
  for (int id : output_) {
    const TXLSExternSheetItem* item = Find(id);
    b->AddWord(static_cast<uint32_t>(item->book));
    if (item->firstSheet < 0) {
      b->AddWord(0xFFFE);
      b->AddWord(0xFFFE);
    } else {
      b->AddWord(static_cast<uint32_t>(item->firstIndex - 1));
      b->AddWord(static_cast<uint32_t>(item->lastIndex - 1));
    }
  }
  Finish(*b);
  out.Append(b);
  return 1;
}

}  // namespace xls
