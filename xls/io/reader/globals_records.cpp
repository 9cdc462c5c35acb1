// The records of the workbook globals: fonts, number formats, XFs and styles, palette, sheets,
// shared strings, external references, defined names, protection and window settings.
#include <algorithm>

#include "xls/formula/workbook_formulas.h"
#include "xls/io/reader/reader_drawing.h"
#include "xls/io/reader/workbook_reader.h"
#include "xls/model/key_text.h"
#include "xls/model/string_table.h"
#include "xls/model/variant.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

enum : std::uint16_t {
  kRecPrecision = 0x000E,
  kRecRefMode = 0x000F,
  kRecProtect = 0x0012,
  kRecPassword = 0x0013,
  kRecExternSheet = 0x0017,
  kRecName = 0x0018,
  kRecDate1904 = 0x0022,
  kRecExternName = 0x0023,
  kRecFont = 0x0031,
  kRecWindow1 = 0x003D,
  kRecCodePage = 0x0042,
  kRecXct = 0x0059,
  kRecCrn = 0x005A,
  kRecPalette = 0x0092,
  kRecXF = 0x00E0,
  kRecSST = 0x00FC,
  kRecSupBook = 0x01AE,
  kRecCodeName = 0x01BA,
  kRecRecalcId = 0x01C1,
  kRecStyle = 0x0293,
  kRecFormat = 0x041E,
  // Kept as read for BIFF8 saves: the theme, differential formats and extended cell formats.
  kRecContinueFrt = 0x0812,
  kRecXFCrc = 0x087C,
  kRecXFExt = 0x087D,
  kRecDxf = 0x088D,
  kRecTheme = 0x0896,
  // Neither kept nor written: table styles and the extensions of styles.
  kRecTableStyles = 0x088E,
  kRecStyleExt = 0x0892,
};

}  // namespace

int TXLSReader::Globals(std::uint16_t id, const TXLSBlobList& chunks) {
  TXLSRecordBody body(chunks.GetChunk(0));
  const std::uint16_t previous = previousGlobalsId_;
  previousGlobalsId_ = id;
  switch (id) {
    case kRecContinueFrt:  // the theme's, when right behind it
      if (previous != kRecTheme && previous != kRecContinueFrt) return 1;
      [[fallthrough]];
    case kRecXFCrc:
    case kRecXFExt:
    case kRecDxf:
    case kRecTheme:
      if (!Biff8()) return 1;
      workbook_.KeepGlobal(id, std::vector<std::uint8_t>(body.data, body.data + body.size));
      if (id == kRecTheme) ++keptGlobals_.themes;
      if (id == kRecDxf) ++keptGlobals_.dxfs;
      if (id == kRecXFExt) ++keptGlobals_.xfExts;
      return 1;
    case kRecTableStyles:
      ++lostTableStyles_;
      return 1;
    case kRecStyleExt:
      ++lostStyleExts_;
      return 1;
    case kRecRefMode:
      if (body.size >= 2) workbook_.SetRefModeA1(body.Word(0));
      return 1;
    case kRecPrecision:
      if (body.size >= 2) workbook_.CalcSettings().precision = body.Word(0);
      return 1;
    // The build of the program that calculated the file's results last (after the record's id
    // and flag word): a lower one than the reading program's makes that calculate them again.
    case kRecRecalcId:
      if (body.size >= 8) workbook_.CalcSettings().recalcBuild = body.DWord(4);
      return 1;
    case kRecProtect:
      if (body.size >= 2 && body.Word(0) == 1) workbook_.Protection().SetProtected(true);
      return 1;
    case kRecPassword:
      if (body.size >= 2) workbook_.Protection().SetPasswordHash(body.Word(0));
      return 1;
    case kRecExternSheet:
      ExternSheet(body);
      return 1;
    case kRecName:
      Name(body);
      return 1;
    case kRecDate1904:
      if (body.size >= 2) {
        workbook_.SetDate1904(body.Word(0) == 1);
      }
      return 1;
    case kRecExternName:
      // BIFF5 names belong to the EXTERNSHEET before them: the add-in's and other books' are kept.
      return workbook_.Formulas().Externs().SupBook().ReadExternName(body.data, body.size, Biff8(), codePage_);
    case kRecFont:
      return Font(body);
    case kRecWindow1:
      if (body.size >= 16) {
        activeTab_ = body.Word(10);
        firstVisibleTab_ = body.Word(12);
      }
      return 1;
    case kRecCodePage:
      if (body.size >= 2) {
        const std::uint16_t page = body.Word(0);
        // 1200 (UTF-16) in a BIFF8 file: its 8-bit texts are in 1252. A BIFF5 file that says
        // 1200 holds its 8-bit texts as UTF-16LE bytes.
        codePage_ = page == kCodePageUtf16 && Biff8() ? 1252 : page;
        workbook_.SetCodePage(page == kCodePageUtf16 ? 1252 : page);
      }
      return 1;
    case kRecBoundSheet:
      BoundSheet(body);
      return 1;
    case kRecPalette:
      Palette(body);
      return 1;
    case kRecXF:
      XF(body);
      return 1;
    case kRecSST:
      SST(chunks);
      return 1;
    case kRecMsoDrawingGroup: {
      if (workbook_.GetIgnoreDrawings()) return 1;
      std::size_t lost = 0;
      const int result = ReadDrawingGroupRecords(workbook_, chunks, lost);
      ReportLosses(lost, u"a picture that could not be read", u"{n} pictures that could not be read");
      return result;
    }
    case kRecSupBook:
      return workbook_.Formulas().Externs().SupBook().ReadSupBook(body.data, body.size);
    // The cached cells of another book; a record that cannot be read is left out and counted.
    case kRecXct:
      if (workbook_.Formulas().Externs().SupBook().ReadXct(body.data, body.size, Biff8()) != 1) ++lostExternCells_;
      return 1;
    case kRecCrn:
      if (workbook_.Formulas().Externs().SupBook().ReadCrn(body.data, body.size, Biff8(), codePage_) != 1)
        ++lostExternCells_;
      return 1;
    case kRecCodeName:
      if (body.size >= 4) {
        std::size_t pos = 0;
        std::u16string text;
        if (body.String(pos, false, true, 1252, text)) workbook_.SetCodeName(text);
      }
      return 1;
    case kRecStyle:
      Style(body);
      return 1;
    case kRecFormat:
      Format(body);
      return 1;
    default:
      // FILEPASS was taken by the record stream; drawings and everything else are passed over.
      return 1;
  }
}

int TXLSReader::Font(TXLSRecordBody body) {
  TXLSFontList& fonts = workbook_.XFList().Fonts();
  const std::int32_t position = fontCounter_++;
  std::u16string name;
  bool ok = body.size >= 15;
  if (ok) {
    const std::size_t length = body.Byte(14);
    if (Biff8()) {
      const bool wide = body.Byte(15) == 1;
      ok = body.Chars(16, length, wide, 1252, name);
    } else {
      ok = body.Chars(15, length, false, codePage_, name);
    }
  }
  if (!ok) {
    fonts.SetEntry(position, fonts.DefaultKey());
    return kReadBadRecord;
  }
  const std::uint16_t attributes = body.Word(2);
  const std::uint16_t escapement = body.Word(8);
  std::u16string& key = keyBuffer_;
  key.clear();
  AppendHex(key, body.Word(0), 4);
  if (body.Word(4) == 0)
    key += TXLSFontList::kReadColorZero;
  else
    AppendHex(key, body.Word(4), 4);
  key += TXLSFontList::WeightDigit(body.Word(6));
  key += (attributes & 0x02) ? u'1' : u'0';
  key += (attributes & 0x08) ? u'1' : u'0';
  key += (attributes & 0x10) ? u'1' : u'0';
  key += (attributes & 0x20) ? u'1' : u'0';
  AppendHex(key, body.Byte(10), 2);
  key += (escapement & 0x02) ? u'1' : u'0';
  key += (escapement & 0x01) ? u'1' : u'0';
  AppendHex(key, body.Byte(11), 2);
  AppendHex(key, body.Byte(12), 2);
  key += name;
  fonts.SetEntry(position, key);
  return 1;
}

void TXLSReader::XF(TXLSRecordBody body) {
  std::uint32_t font = body.Word(0);
  if (font >= 5) font -= 1;
  const std::uint16_t typeWord = body.Word(4);
  std::u16string& key = keyBuffer_;
  key.clear();
  AppendHex(key, font, 4);
  AppendHex(key, body.Word(2), 4);
  AppendHex(key, typeWord & 7u, 1);
  // A style XF has no parent (0xFFF), whatever other writers leave in the field.
  AppendHex(key, (typeWord & 4u) ? 0xFFFu : (typeWord & 0xFFF0u) >> 4, 4);
  AppendHex(key, body.Byte(6), 2);
  if (Biff8()) {
    const std::uint32_t fill = body.DWord(14);
    AppendHex(key, body.Byte(7), 2);
    AppendHex(key, body.Byte(8), 2);
    AppendHex(key, body.DWord(10), 8);
    AppendHex(key, fill & 0x3FFFFFFu, 8);
    AppendHex(key, fill >> 26, 2);
    AppendHex(key, body.Word(18), 4);
    AppendHex(key, static_cast<std::uint32_t>(body.Byte(9)) >> 2, 2);
  } else {
    static constexpr std::uint32_t kRotation[4] = {0, 255, 90, 180};
    const std::uint32_t a = body.Word(10), b = body.Word(12), c = body.Word(14);
    const std::uint32_t border1 = ((a * 64) & 0x7000) | ((b * 256) & 0x700) | ((b >> 3) & 7) |
                                  ((b >> 2) & 0x70) | ((c << 16) & 0x7F0000) | ((c << 16) & 0x3F800000);
    const std::uint32_t border2 = ((a >> 2) & 0x3F80) | (b >> 9);
    AppendHex(key, kRotation[body.Byte(7) & 3], 2);
    key += u"00";
    AppendHex(key, border1, 8);
    AppendHex(key, border2, 8);
    AppendHex(key, (body.DWord(8) >> 16) & 63, 2);
    AppendHex(key, body.Word(8), 4);
    AppendHex(key, static_cast<std::uint32_t>(body.Byte(7)) >> 2, 2);
  }
  workbook_.XFList().SetEntry(xfCounter_++, key);
}

void TXLSReader::Format(TXLSRecordBody body) {
  const std::uint16_t index = body.Word(0);
  std::size_t pos = 2;
  std::u16string text;
  const bool ok = Biff8() ? body.String(pos, false, true, 1252, text) : body.String(pos, true, false, codePage_, text);
  if (body.ok && ok) workbook_.XFList().NumFormats().SetString(index, text);
}

void TXLSReader::Style(TXLSRecordBody body) {
  const std::uint16_t word = body.Word(0);
  if (!body.ok) return;
  const std::int32_t xf = word & 0x0FFF;
  TXLSXFList& xfs = workbook_.XFList();
  if (word & 0x8000) {
    const std::uint8_t styleId = body.Byte(2);
    if (body.ok && xf < xfs.Count()) {
      xfs.Styles().AddBuiltIn(styleId, xf);
      xfs.AddUse(xf);
    }
    return;
  }
  std::u16string name;
  std::size_t pos = 2;
  const bool ok = Biff8() ? body.String(pos, false, true, 1252, name) : body.String(pos, true, false, codePage_, name);
  if (!ok || name.empty()) return;
  xfs.Styles().AddUser(name, xf);
  xfs.AddUse(xf);
}

void TXLSReader::Palette(TXLSRecordBody body) {
  const std::size_t count = body.Word(0);
  if (!body.ok || body.size < 2) return;
  const std::size_t fits = std::min<std::size_t>(count, (body.size - 2) / 4);
  for (std::size_t i = 0; i < fits; ++i) {
    const std::size_t o = 2 + 4 * i;
    const std::uint32_t rgb = body.Byte(o) | (static_cast<std::uint32_t>(body.Byte(o + 1)) << 8) |
                              (static_cast<std::uint32_t>(body.Byte(o + 2)) << 16);
    workbook_.SetPaletteColor(static_cast<std::int32_t>(i + 1), rgb);
  }
}

void TXLSReader::BoundSheet(TXLSRecordBody body) {
  const std::uint8_t visibility = body.Byte(4);
  const std::uint8_t type = body.Byte(5);
  if (!body.ok) return;
  // Macro sheets and module sheets are passed over (their substreams too).
  if (type != 0 && type != 2) {
    boundSheets_.push_back(0);
    return void(++(type == 1 ? lostMacroSheets_ : lostOtherSheets_));
  }
  std::size_t pos = 6;
  std::u16string name;
  // BIFF8 keeps 8-bit names in 1252; BIFF5 names are in the workbook's code page.
  const bool ok = body.String(pos, true, Biff8(), Biff8() ? 1252 : codePage_, name);
  IXLSWorkSheets& sheets = workbook_.GetWorksheets();
  IXLSWorksheet* sheet = sheets.Add();
  boundSheets_.push_back(sheets.GetCount());
  // A name the model refuses ("[Br]", or the "????" of a writer that could not encode it)
  // keeps the one the sheet was given; formulas follow the sheet, not its name.
  if (ok && !sheet->SetName(name)) renamedSheets_.push_back({sheet, name});
  sheet->SetVisible(Variant(static_cast<int>(visibility)));
}

std::int32_t TXLSReader::KeptSheet(std::int32_t filePosition) const {
  if (filePosition < 1) return 0;
  if (static_cast<std::size_t>(filePosition) <= boundSheets_.size())
    return boundSheets_[static_cast<std::size_t>(filePosition - 1)];
  const auto passedOver = std::count(boundSheets_.begin(), boundSheets_.end(), 0);
  return filePosition - static_cast<std::int32_t>(passedOver);
}

void TXLSReader::SST(const TXLSBlobList& chunks) {
  const std::size_t count = chunks.Count();
  TXLSRecordBody head(chunks.GetChunk(0));
  uniqueStrings_ = head.DWord(4);
  auto sizeOf = [&](std::size_t i) -> std::size_t {
    const TXLSBlob* c = chunks.GetChunk(i);
    return c ? c->GetSize() : 0;
  };
  std::size_t ci = 0, pos = 8;
  if (head.size <= 8) {
    ci = 1;
    pos = 8 - head.size;
  }
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < count; ++i) bytes += sizeOf(i);
  const std::size_t expected = std::min<std::size_t>(uniqueStrings_, bytes / 3);
  sharedStart_.reserve(sharedStart_.size() + expected);
  sharedText_.reserve(sharedText_.size() + bytes / 2);
  workbook_.StringTable().Reserve(static_cast<std::int32_t>(expected));
  std::uint32_t read = 0;
  bool unfinished = false;
  std::size_t charsLeft = 0, runs = 0, extension = 0;
  const int codePage = SSTCodePage();
  while ((read < uniqueStrings_ || unfinished) && ci < count) {
    const std::size_t size = sizeOf(ci);
    TXLSRecordBody chunk(chunks.GetChunk(ci));
    if (!unfinished && pos >= size) {
      pos -= size;
      ++ci;
      continue;
    }
    std::uint8_t options;
    std::size_t header;
    if (unfinished) {
      options = chunk.Byte(pos);
      header = 1;
      if (!chunk.ok) {  // an empty CONTINUE: the string goes on in the next one
        ++ci;
        pos = 0;
        continue;
      }
    } else {
      // A header cut by the chunk end cannot be read: the rest of the table is dropped.
      charsLeft = chunk.Word(pos);
      options = chunk.Byte(pos + 2);
      header = 3;
      runs = 0;
      extension = 0;
      if (options & 8) {
        runs = chunk.Word(pos + header);
        header += 2;
        // The text is kept, its formatting runs are not.
        if (runs > 0) ++richSharedTexts_;
      }
      if (options & 4) {
        extension = chunk.DWord(pos + header);
        header += 4;
      }
      if (!chunk.ok) break;
      sharedStart_.push_back(static_cast<std::uint32_t>(sharedText_.size()));
    }
    const std::size_t width = (options & 1) ? 2 : 1;
    const std::size_t start = pos + header;
    const std::size_t available = start <= size ? (size - start) / width : 0;
    const std::size_t take = std::min(charsLeft, available);
    if (take > 0) chunk.AppendChars(start, take, width == 2, codePage, sharedText_);
    charsLeft -= take;
    if (charsLeft > 0) {
      unfinished = true;
      ++ci;
      pos = 0;
      continue;
    }
    unfinished = false;
    ++read;
    pos = start + take * width + runs * 4 + extension;
    while (ci < count && pos >= sizeOf(ci)) {
      pos -= sizeOf(ci);
      ++ci;
    }
  }
  sstPlaces_.resize(sharedStart_.size());
}

void TXLSReader::ExternSheet(TXLSRecordBody body) {
  if (!Biff8()) {
    std::u16string name;
    if (body.size >= 2 && body.Byte(1) == 3) body.Chars(2, body.size - 2, false, codePage_, name);
    biff5ExternSheets_.push_back(name);
    // The add-in "document" (":"), whose EXTERNNAMEs follow: the functions that formulas call
    // through its position. A sheet's records repeat the workbook's.
    biff5AddInNames_ = body.size == 2 && body.Byte(0) == 1 && body.Byte(1) == ':';
    if (state_ != kGlobals) return;
    TXLSSupBook& books = workbook_.Formulas().Externs().SupBook();
    const int position = static_cast<int>(biff5ExternSheets_.size());
    // A sheet of another book: 0x01, its encoded path and the sheet's name.
    std::u16string other;
    if (body.size >= 3 && body.Byte(1) == 1)
      body.Chars(1, std::min<std::size_t>(body.Byte(0), body.size - 1), false, codePage_, other);
    books.ReadBiff5ExternSheet(other, position);
    if (biff5AddInNames_) {
      books.AddInBook();
      books.SetBiff5AddInSheet(position);
    }
    return;
  }
  const std::size_t count = body.Word(0);
  if (!body.ok) return;
  const std::size_t fits = std::min<std::size_t>(count, (body.size - 2) / 6);
  TXLSExternSheet& externs = workbook_.Formulas().Externs();
  // Sheet numbers of this book count the macro and module sheets passed over; one of those
  // becomes a number no sheet has.
  auto kept = [this](std::int32_t sheet) -> std::int32_t {
    if (sheet < 0 || static_cast<std::size_t>(sheet) >= boundSheets_.size()) return sheet;
    const std::int32_t position = KeptSheet(sheet + 1);
    return position > 0 ? position - 1 : 0xFFFF;
  };
  const TXLSSupBook& books = externs.SupBook();
  for (std::size_t i = 0; i < fits; ++i) {
    const std::size_t o = 2 + 6 * i;
    const std::int32_t book = body.Word(o);
    std::int32_t first = body.Word(o + 2), last = body.Word(o + 4);
    if (book < books.Count() && books.Item(book).ownBook) {
      first = kept(first);
      last = kept(last);
    }
    externs.AddFromRecord(static_cast<int>(i + 1), book, first, last);
  }
}

// A name that is not kept is counted: the names of macros (which buttons and menus call) apart
// from the rest. Names without a formula are kept as they are.
void TXLSReader::ReadUserName(std::int32_t id, TXLSRecordBody body) {
  UserName(id, body);
  if (!workbook_.Formulas().Names().GetNameTextById(id).empty()) return;
  // The print settings of a macro or module sheet passed over go with that sheet.
  const std::int32_t sheet = body.Word(8);
  if ((body.Word(0) & 0x20) && sheet >= 1 && KeptSheet(sheet) == 0) return;
  ++((body.Word(0) & 0x08) ? lostMacroNames_ : lostNames_);
}

bool TXLSReader::FilterDatabaseByText(std::int32_t id, TXLSRecordBody body) {
  static const std::u16string kName = u"_filterdatabase";
  const bool biff8 = Biff8();
  const std::size_t length = body.Byte(3);
  const std::size_t formulaSize = body.Word(4);
  const bool wide = biff8 && (body.Byte(14) & 1);
  std::u16string text;
  // One 3-D area of the sheet: ptgArea3d (any class) and its 10 bytes (BIFF8) or 20 (BIFF5).
  if (!body.ok || length != kName.size() || formulaSize != (biff8 ? 11u : 21u) ||
      !body.Chars(biff8 ? 15 : 14, length, wide, biff8 ? 1252 : codePage_, text))
    return false;
  if (!std::equal(text.begin(), text.end(), kName.begin(), kName.end(),
                  [](char16_t a, char16_t b) { return (a >= u'A' && a <= u'Z' ? a + 32 : a) == b; }))
    return false;
  const std::size_t formula = biff8 ? 15 + length * (wide ? 2 : 1) : 14 + length;
  if ((body.Byte(formula) & 0x1F) != 0x1B || !body.ok) return false;
  std::int32_t sheet = body.Word(8);
  if (!biff8 && sheet == 0) sheet = body.Word(6);
  if (sheet < 1) return false;
  std::int32_t r1, r2, c1, c2;
  if (biff8) {
    // The EXTERNSHEET entry of the name's own sheet, then the area.
    int book = 0, first = 0, last = 0;
    TXLSExternSheet& externs = workbook_.Formulas().Externs();
    const int entry = body.Word(formula + 1) + 1;
    const std::int32_t position = KeptSheet(sheet);
    if (!externs.IsOwnBook(entry) || externs.ResolveEntry(entry, book, first, last) != 1 || first != position ||
        last != position)
      return false;
    r1 = body.Word(formula + 3), r2 = body.Word(formula + 5);
    c1 = body.Word(formula + 7) & 0xFF, c2 = body.Word(formula + 9) & 0xFF;
  } else {
    // After the token: the EXTERNSHEET index, 8 reserved bytes, the first and last sheet, then
    // the area (rows with flags in bits 14 and 15).
    r1 = body.Word(formula + 15) & 0x3FFF, r2 = body.Word(formula + 17) & 0x3FFF;
    c1 = body.Byte(formula + 19), c2 = body.Byte(formula + 20);
  }
  if (!body.ok) return false;
  systemNames_.push_back({13, sheet, r1, r2, c1, c2, 0, {}});
  if (biff8) {
    // Without AUTOFILTERINFO it stays the name it was.
    systemNames_.back().nameId = id;
    systemNames_.back().record.assign(body.data, body.data + body.size);
  }
  return true;
}

void TXLSReader::Name(TXLSRecordBody body) {
  const std::int32_t id = ++nameCounter_;
  const std::uint16_t options = body.Word(0);
  if (!body.ok) return;
  // A built-in name that a page setup or the filter holds as it is goes there; any other is
  // kept as a name, as user-defined names are.
  if ((options & 0x20) ? BuiltInName(id, body) : FilterDatabaseByText(id, body)) return;
  if (Biff8()) {
    ReadUserName(id, body);
  } else {
    cachedNames_.push_back({id, std::vector<std::uint8_t>(body.data, body.data + body.size)});
  }
}

int TXLSReader::SheetIdOfBiff5Scope(std::int32_t scope) const {
  if (scope == 0) return 0;
  if (scope < 0 || static_cast<std::size_t>(scope) > biff5ExternSheets_.size()) return -1;
  const std::u16string& name = biff5ExternSheets_[static_cast<std::size_t>(scope - 1)];
  // A sheet whose name the model refused goes by the name it was given.
  for (const Renamed& r : renamedSheets_)
    if (r.name == name) return r.sheet->GetSheetId();
  return workbook_.GetWorksheets().IdOfName(name);
}

void TXLSReader::UserName(std::int32_t id, TXLSRecordBody body) {
  const bool hidden = body.Word(0) & 1;
  const std::size_t length = body.Byte(3);
  const std::size_t formulaSize = body.Word(4);
  const std::uint16_t sheetIndex = body.Word(8);
  if (!body.ok || length == 0) return;
  IXLSWorkSheets& sheets = workbook_.GetWorksheets();
  std::int32_t scope = 0;
  if (Biff8()) {
    if (sheetIndex != 0) {
      const IXLSWorksheet* sheet = sheets.GetItem(KeptSheet(sheetIndex));
      if (!sheet) return;
      scope = sheet->GetSheetId();
    }
  } else {
    scope = SheetIdOfBiff5Scope(static_cast<std::int16_t>(body.Word(6)));
    // Writers that leave the EXTERNSHEET index out still give the sheet's position.
    if (scope == 0 && sheetIndex != 0) {
      const IXLSWorksheet* sheet = sheets.GetItem(KeptSheet(sheetIndex));
      scope = sheet ? sheet->GetSheetId() : -1;
    }
    if (scope < 0) return;
  }
  std::u16string text;
  std::size_t pos = 14;
  if (Biff8()) {
    const bool wide = body.Byte(14) == 1;
    pos = 15;
    if (!body.Chars(pos, length, wide, 1252, text)) return;
    pos += wide ? 2 * length : length;
  } else {
    if (!body.Chars(pos, length, false, codePage_, text)) return;
    pos += length;
  }
  // A built-in name is its code; it goes by its text in the model.
  const std::int32_t builtInCode = (body.Word(0) & 0x20) && length == 1 ? text[0] : -1;
  if (builtInCode >= 0) {
    text = TXLSCustomNames::BuiltInNameText(builtInCode);
    if (text.empty()) return;
  }
  TXLSWorkbookFormulas& formulas = workbook_.Formulas();
  formulas.Compiler().SetCodePage(codePage_);
  auto tree = formulas.Compiler().DecodeTokens(body.data, body.size, pos, version_, formulaSize);
  // A function name (a newer function that formulas call by name), or a name that formulas use
  // while it stands for nothing, may carry no formula.
  if (!tree && formulaSize != 0) return;
  formulas.Names().AddReadName(id, text, scope, hidden, std::move(tree), body.Word(0), builtInCode);
}

bool TXLSReader::BuiltInName(std::int32_t id, TXLSRecordBody body) {
  const bool biff8 = Biff8();
  const bool oneArea = biff8 ? body.size == 27 : body.size == 36;
  const bool twoAreas = biff8 ? body.size == 42 : body.size == 61;
  if (!oneArea && !twoAreas) return false;
  std::int32_t code = -1;
  if (biff8) {
    if (body.Byte(14) == 0) code = body.Byte(15);
  } else {
    code = body.Byte(14);
  }
  std::int32_t sheet = body.Word(8);
  if (!biff8 && sheet == 0) sheet = body.Word(6);
  if (sheet < 1) return false;
  struct Area {
    std::int32_t r1, r2, c1, c2;
  };
  // The formula's tokens: a 3-D area, or the union of two in a ptgMemFunc.
  const std::size_t formula = biff8 ? 16 : 15;
  const std::size_t areaSize = biff8 ? 11 : 21;
  auto isArea = [&](std::size_t at) { return (body.Byte(at) & 0x9F) == 0x1B; };
  if (oneArea ? !isArea(formula)
              : (body.Byte(formula) & 0x9F) != 0x09 || !isArea(formula + 3) || !isArea(formula + 3 + areaSize) ||
                    body.Byte(formula + 3 + 2 * areaSize) != 0x10)
    return false;
  // Each area names the name's own sheet: BIFF8 through its EXTERNSHEET entry, BIFF5 by the
  // file's sheet positions it carries.
  auto ownSheet = [&](std::size_t at) {
    if (!biff8) return body.Word(at + 11) + 1 == sheet && body.Word(at + 13) + 1 == sheet;
    int book = 0, first = 0, last = 0;
    TXLSExternSheet& externs = workbook_.Formulas().Externs();
    const int entry = body.Word(at + 1) + 1;
    const std::int32_t position = KeptSheet(sheet);
    return externs.IsOwnBook(entry) && externs.ResolveEntry(entry, book, first, last) == 1 && first == position &&
           last == position;
  };
  // BIFF8 rows are whole words and columns carry relative flags above bit 7; BIFF5 rows carry
  // them in bits 14 and 15.
  auto areaAt = [&](std::size_t at) {
    if (biff8)
      return Area{body.Word(at + 3), body.Word(at + 5), body.Word(at + 7) & 0xFF, body.Word(at + 9) & 0xFF};
    return Area{body.Word(at + 15) & 0x3FFF, body.Word(at + 17) & 0x3FFF, body.Byte(at + 19), body.Byte(at + 20)};
  };
  const std::int32_t lastRow = biff8 ? 65535 : 0x3FFF;
  auto wholeRows = [&](const Area& a) { return a.c1 == 0 && a.c2 == 255; };
  auto wholeColumns = [&](const Area& a) { return a.r1 == 0 && a.r2 == lastRow && !wholeRows(a); };
  auto titles = [&](const Area& a) {
    if (wholeColumns(a))
      systemNames_.push_back({7, sheet, -1, -1, a.c1, a.c2, 0, {}});
    else
      systemNames_.push_back({7, sheet, a.r1, biff8 ? a.r2 : (a.r2 == 0x3FFF ? 65535 : a.r2), -1, -1, 0, {}});
  };
  if (oneArea) {
    if (!ownSheet(formula)) return false;
    const Area a = areaAt(formula);
    if (code == 6 || code == 13) {
      systemNames_.push_back({code, sheet, a.r1, a.r2, a.c1, a.c2, 0, {}});
      if (code == 13 && biff8) {
        systemNames_.back().nameId = id;
        systemNames_.back().record.assign(body.data, body.data + body.size);
      }
      return true;
    }
    // Print titles of whole rows or whole columns; anything else stays a name.
    if (code != 7 || (!wholeRows(a) && !wholeColumns(a))) return false;
    titles(a);
    return true;
  }
  // Title rows and title columns.
  const Area a = areaAt(formula + 3), b = areaAt(formula + 3 + areaSize);
  if (code != 7 || !ownSheet(formula + 3) || !ownSheet(formula + 3 + areaSize) ||
      !((wholeRows(a) && wholeColumns(b)) || (wholeColumns(a) && wholeRows(b))))
    return false;
  titles(a);
  titles(b);
  return true;
}

}  // namespace xls
