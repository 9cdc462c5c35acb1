#include "xls/io/workbook_writer.h"

#include <algorithm>
#include <map>
#include <vector>

#include "platform/compound_file.h"
#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/formula.h"
#include "xls/formula/names.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/biff_writer.h"
#include "xls/io/builtin_names.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/io/drawing_group.h"
#include "xls/io/export/text_saves.h"
#include "xls/io/extern_records.h"
#include "platform/atomic_file_stream.h"
#include "xls/model/cell_store.h"
#include "xls/model/codepage.h"
#include "xls/model/file_streams.h"
#include "xls/model/row_col_info.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"
#include "xls/model/xls_constants.h"

namespace xls {
namespace {

enum : std::uint16_t {
  kRecEof = 0x000A,
  kRecCodePage = 0x0042,
  kRecDsf = 0x0161,
  kRecExternCount = 0x0016,
  kRecWindow1 = 0x003D,
  kRecBackup = 0x0040,
  kRecDate1904 = 0x0022,
  kRecPrecision = 0x000E,
  kRecRefMode = 0x000F,
  kRecObjProj = 0x00D3,
  kRecFnGroupCount = 0x009C,
  kRecProtect = 0x0012,
  kRecPassword = 0x0013,
  kRecBookBool = 0x00DA,
  kRecPalette = 0x0092,
  kRecCountry = 0x008C,
  kRecRecalcId = 0x01C1,
  kRecBoundSheet = 0x0085,
};

// Records of the globals kept as read (TXLSWorkbook::KeptGlobals).
enum : std::uint16_t {
  kRecXFCrc = 0x087C,
  kRecXFExt = 0x087D,
  kRecDxf = 0x088D,
  kRecTheme = 0x0896,
  kRecContinueFrt = 0x0812,
};

// The kept records of the cell formats (formats true: XFCRC, XFEXT, DXF) or the theme (THEME
// and its CONTINUEFRT records), in the order read. The XFs of a file keep their places in a
// save (each counts a use from its reading on), so an XFEXT still names its XF.
std::vector<std::unique_ptr<TXLSBlob>> KeptGlobalRecords(const TXLSWorkbook& book, bool formats) {
  std::vector<std::unique_ptr<TXLSBlob>> out;
  for (const TXLSWorkbook::KeptRecord& kept : book.KeptGlobals()) {
    const bool format = kept.id == kRecXFCrc || kept.id == kRecXFExt || kept.id == kRecDxf;
    if (format != formats) continue;
    auto record = NewBiffRecord(kept.id, static_cast<std::uint32_t>(kept.body.size()));
    for (std::uint8_t b : kept.body) record->AddByte(b);
    out.push_back(std::move(record));
  }
  return out;
}

constexpr std::uint32_t kStreamPadding = 512;
constexpr std::int32_t kLastBiff5Row = 16383;  // 0-based

std::uint32_t ListSize(const std::unique_ptr<TXLSBlobList>& list) {
  return list ? list->TotalSize() : 0;
}

// Writes a 32-bit value at a byte position of a list, whose chunks a record may straddle.
void PutDWordAt(TXLSBlobList& list, std::uint32_t at, std::uint32_t v) {
  std::uint32_t start = 0;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    TXLSBlob* chunk = list.GetChunk(i);
    const std::uint32_t size = chunk ? chunk->GetSize() : 0;
    for (std::uint32_t k = 0; k < 4; ++k)
      if (at + k >= start && at + k < start + size) chunk->GetData()[at + k - start] = static_cast<std::uint8_t>(v >> (8 * k));
    start += size;
  }
}

// The user-defined names: the workbook's, then each sheet's in sheet order. The reference
// table must be numbered for the format first.
int WriteUserNames(TXLSBlobList& out, TXLSWorkbook& book, int version, std::uint16_t limit) {
  if (!book.HasFormulas()) return 1;
  TXLSWorkbookFormulas& formulas = book.Formulas();
  std::vector<std::int32_t> sheetIds;
  IXLSWorkSheets& sheets = book.GetWorksheets();
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) sheetIds.push_back(sheets.GetItem(i)->GetSheetId());
  const int format = version == kBiff5 ? kFormatBiff5 : kFormatBiff8;
  TXLSCustomNames& names = formulas.Names();
  // A built-in name kept from a file gives way to the one its sheet's settings now write.
  names.NumberOutput(format, sheetIds, [&book](const TXLSCustomName& name) {
    std::int32_t index = 0;
    const std::int32_t scope = name.Owner()->Scope();
    return name.BuiltInCode() >= 0 && scope > 0 && book.GetSheetIndexById(scope, index) == 1 &&
           SheetHasBuiltInName(*book.GetWorksheets().GetItem(index), name.BuiltInCode());
  });
  auto sink = [&out, limit](std::unique_ptr<TXLSBlob> record) { return AddBiffRecord(out, std::move(record), limit); };
  int result = names.WriteNames(sink, format, 0);
  for (std::int32_t id : sheetIds)
    if (result == 1) result = names.WriteNames(sink, format, id);
  return result;
}

// BIFF5 calls BIFF8's functions (HYPERLINK, AVERAGEA, ...) through names of the add-in book: the
// names that the formulas of cells and defined names call are added before they are written.
void AddBiff5AddInNames(TXLSWorkbook& book) {
  TXLSFormula& compiler = book.Formulas().Compiler();
  TXLSCustomNames& names = book.Formulas().Names();
  const auto ofNames = [&compiler](const TXLSCustomNames& list) {
    for (std::int32_t i = 1; i <= list.Count(); ++i)
      if (const TXLSSyntaxItem* formula = list.GetByPosition(i)->Formula()) compiler.AddBiff5AddInNames(*formula);
  };
  ofNames(names);
  IXLSWorkSheets& sheets = book.GetWorksheets();
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) {
    IXLSWorksheet& sheet = *sheets.GetItem(i);
    if (const TXLSCustomNames* own = names.Child(sheet.GetSheetId())) ofNames(*own);
    sheet.Cells().ForEach([&compiler](TXLSCellRef& cell) {
      const auto* f = dynamic_cast<const TXLSCompiledFormula*>(cell.Formula());
      if (!f || !f->HasTree()) return;
      if (const std::unique_ptr<TXLSSyntaxItem> tree = f->Tree()) compiler.AddBiff5AddInNames(*tree);
    });
  }
}

}  // namespace

TXLSWorkbookWriter::TXLSWorkbookWriter(TXLSWorkbook& book, std::int32_t format)
    : book_(book),
      version_(format == kSaveBiff5 ? kBiff5 : kBiff8),
      limit_(format == kSaveBiff5 ? kBiff5RecordLimit : kBiff8RecordLimit) {}

TXLSWorkbookWriter::~TXLSWorkbookWriter() = default;

int TXLSWorkbookWriter::Add(TXLSBlobList& list, std::unique_ptr<TXLSBlob> record) {
  return AddBiffRecord(list, std::move(record), limit_);
}

std::uint32_t TXLSWorkbookWriter::GetBoundSheetsSize() const {
  const IXLSWorkSheets& sheets = book_.GetWorksheets();
  std::uint32_t size = 0;
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) {
    const std::size_t at = static_cast<std::size_t>(i - 1);
    // BIFF5 names are counted in bytes of the code page (as BuildStream converted them).
    const std::uint32_t n =
        version_ != kBiff5 ? static_cast<std::uint32_t>(sheets.GetItem(i)->GetName().size())
        : at < biff5Names_.size()
            ? static_cast<std::uint32_t>(biff5Names_[at].size())
            : static_cast<std::uint32_t>(WideToAnsiCP(sheets.GetItem(i)->GetName(), book_.GetCodePage()).size());
    size += version_ == kBiff5 ? 11 + n : 12 + 2 * n;
  }
  return size;
}

std::unique_ptr<TXLSBlob> TXLSWorkbookWriter::BuildWindow1(std::uint32_t selectedTabs) const {
  const IXLSWorksheet* active = book_.GetActiveSheet();
  auto b = NewBiffRecord(kRecWindow1, 18);
  b->AddWord(0);
  b->AddWord(0);
  b->AddWord(0x25BC);
  b->AddWord(0x1572);
  b->AddWord(0x0038);
  b->AddWord(active && active->GetIndex() > 0 ? active->GetIndex() - 1u : 0u);
  b->AddWord(book_.GetFirstVisibleTab());
  b->AddWord(selectedTabs);
  b->AddWord(600);
  return b;
}

std::unique_ptr<TXLSBlob> TXLSWorkbookWriter::BuildPalette() const {
  auto b = NewBiffRecord(kRecPalette, 2 + 56 * 4);
  b->AddWord(56);
  // 0x00BBGGRR is the byte order red, green, blue, 0.
  for (std::int32_t i = 1; i <= 56; ++i) b->AddDWord(book_.GetColor(i) & 0x00FFFFFF);
  return b;
}

// The sheets by name, then (when formulas call add-ins) the add-in "document" with its names
// at the next sheet number, where ptgNameX tokens look for it, then each sheet of other books
// with its cached cells, then the own document.
int TXLSWorkbookWriter::WriteBiff5ExternSheets() {
  const IXLSWorkSheets& sheets = book_.GetWorksheets();
  TXLSSupBook* books = book_.HasFormulas() ? &book_.Formulas().Externs().SupBook() : nullptr;
  const bool addIns = books && books->HasAddInNames();
  const int others = books ? books->Biff5BookSheetCount(book_.GetCodePage()) : 0;
  const std::uint32_t count = static_cast<std::uint32_t>(sheets.GetCount() + others) + (addIns ? 2 : 1);
  int result = Add(*globals_, WordRecord(kRecExternCount, count));
  for (std::int32_t i = 1; i <= sheets.GetCount() && result == 1; ++i)
    result = Add(*globals_, Biff5ExternSheetByName(biff5Names_[static_cast<std::size_t>(i - 1)]));
  if (result == 1 && addIns) result = books->WriteBiff5AddIn(*globals_, book_.GetCodePage());
  if (result == 1 && books) {
    for (auto& record : books->Biff5BookRecords(sheets.GetCount() + (addIns ? 2 : 1), true, book_.GetCodePage()))
      if (result == 1) result = Add(*globals_, std::move(record));
  }
  if (result == 1) result = Add(*globals_, Biff5ExternSheetMark(4));
  return result;
}

int TXLSWorkbookWriter::WriteFormats() {
  TXLSXFList& xfs = book_.XFList();
  int result = 1;
  const auto& fonts = xfs.Fonts().OutputOrder();
  for (std::size_t i = 0; i < fonts.size() && result == 1; ++i)
    result = Add(*globals_, xfs.Fonts().BuildFontRecord(static_cast<std::int32_t>(i), version_, book_.GetCodePage()));
  // Every built-in index (a file's own text of a built-in format may stand for one), then only
  // the indexes that hold a text: a damaged file may give a format a high index.
  const TXLSNumFormatList& formats = xfs.NumFormats();
  for (std::int32_t i = 0; i < formats.Count() && result == 1;
       i = i + 1 < TXLSNumFormatList::kFirstUserFormat ? i + 1 : formats.NextIndex(i + 1))
    result = Add(*globals_, formats.BuildFormatRecord(i, version_, book_.GetCodePage()));
  for (std::size_t i = 0; i < xfs.OutputOrder().size() && result == 1; ++i)
    result = Add(*globals_, xfs.BuildXFRecord(static_cast<std::int32_t>(i), version_));
  if (version_ != kBiff5)
    for (auto& record : KeptGlobalRecords(book_, true))
      if (result == 1) result = Add(*globals_, std::move(record));
  for (std::int32_t i = 0; i < xfs.Styles().Count() && result == 1; ++i)
    result = Add(*globals_, xfs.Styles().BuildStyleRecord(i, version_, book_.GetCodePage()));
  return result;
}

int TXLSWorkbookWriter::WriteGlobals() {
  const bool biff5 = version_ == kBiff5;
  std::uint32_t selectedTabs = 0;
  const IXLSWorkSheets& sheets = book_.GetWorksheets();
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i)
    if (sheets.GetItem(i)->GetSelected()) ++selectedTabs;

  int result = 1;
  auto step = [&result](int status) {
    if (result == 1) result = status;
  };
  step(Add(*globals_, BuildBofRecord(version_, 0x0005)));
  step(Add(*globals_, WordRecord(kRecCodePage, biff5 ? book_.GetCodePage() : 1200)));
  if (!biff5) step(Add(*globals_, WordRecord(kRecDsf, 0)));
  // BIFF5 names its sheets for 3-D references here, then the built-in names; the
  // user-defined names that go before those join with the name store.
  if (biff5 && book_.HasFormulas()) AddBiff5AddInNames(book_);
  if (biff5 && result == 1) step(WriteBiff5ExternSheets());
  if (biff5 && result == 1) {
    if (book_.HasFormulas()) book_.Formulas().Externs().Renumber();
    step(WriteUserNames(*globals_, book_, version_, limit_));
  }
  if (biff5 && result == 1) step(WriteBuiltInNames(*globals_, book_, version_, {}, limit_));
  step(Add(*globals_, BuildWindow1(selectedTabs)));
  step(Add(*globals_, WordRecord(kRecBackup, 0)));
  step(Add(*globals_, WordRecord(kRecDate1904, book_.GetDate1904() ? 1 : 0)));
  step(Add(*globals_, WordRecord(kRecPrecision, book_.CalcSettings().precision)));
  step(Add(*globals_, WordRecord(kRecRefMode, book_.GetRefModeA1())));
  if (book_.KeepsVBA()) {
    // The macro project read from a file of this format goes back with its object project.
    step(Add(*globals_, NewBiffRecord(kRecObjProj, 0)));
    if (!book_.GetCodeName().empty()) step(Add(*globals_, CodeNameRecord(book_.GetCodeName())));
  }
  if (!biff5) step(Add(*globals_, WordRecord(kRecFnGroupCount, 14)));
  if (book_.GetProtected()) {
    step(Add(*globals_, WordRecord(kRecProtect, 1)));
    step(Add(*globals_, WordRecord(kRecPassword, book_.Protection().GetPasswordHash())));
  }
  step(Add(*globals_, WordRecord(kRecBookBool, 0)));
  if (result == 1) step(WriteFormats());
  step(Add(*globals_, BuildPalette()));
  if (!biff5) {
    auto country = NewBiffRecord(kRecCountry, 4);
    country->AddWord(1);
    country->AddWord(1);
    step(Add(*globals_, std::move(country)));
    auto recalc = NewBiffRecord(kRecRecalcId, 8);
    recalc->AddDWord(0x000001C1);
    recalc->AddDWord(book_.CalcSettings().recalcBuild);
    recalcBuildAt_ = globals_->TotalSize() + 8;
    step(Add(*globals_, std::move(recalc)));
    if (result == 1) step(book_.StringTable().WriteSST(*globals_, globals_->TotalSize()));
  }
  return result;
}

int TXLSWorkbookWriter::WriteTail() {
  int result = 1;
  if (version_ != kBiff5) {
    // The reference table holds the own book, the entries of the defined names' formulas and
    // those of the built-in names; the user-defined names go before the built-in ones.
    std::map<int, int> externIndex;
    TXLSExternSheet* table = book_.HasFormulas() ? &book_.Formulas().Externs() : nullptr;
    result = WriteOwnBookReferences(*tail_, book_, SheetsWithBuiltInNames(book_), externIndex, table);
    if (result == 1) result = WriteUserNames(*tail_, book_, version_, limit_);
    if (result == 1) result = WriteBuiltInNames(*tail_, book_, version_, externIndex, limit_);
    if (result == 1) result = WriteDrawingGroup(book_, *tail_, limit_);
    for (auto& record : KeptGlobalRecords(book_, false))
      if (result == 1) result = Add(*tail_, std::move(record));
  }
  if (result == 1) result = Add(*tail_, NewBiffRecord(kRecEof, 0));
  return result;
}

int TXLSWorkbookWriter::WriteBoundSheets() {
  const IXLSWorkSheets& sheets = book_.GetWorksheets();
  int result = 1;
  for (std::int32_t i = 1; i <= sheets.GetCount() && result == 1; ++i) {
    const IXLSWorksheet& sheet = *sheets.GetItem(i);
    const std::u16string& name = sheet.GetName();
    const std::uint32_t n = version_ == kBiff5
                                ? static_cast<std::uint32_t>(biff5Names_[static_cast<std::size_t>(i - 1)].size())
                                : static_cast<std::uint32_t>(name.size());
    auto b = NewBiffRecord(kRecBoundSheet, version_ == kBiff5 ? 7 + n : 8 + 2 * n);
    b->AddDWord(sheetOffsets_[static_cast<std::size_t>(i - 1)]);
    b->AddByte(sheet.GetVisible());
    b->AddByte(WrittenSheetChart(sheet, version_) ? 2 : 0);
    b->AddByte(n);
    if (version_ == kBiff5) {
      b->AddString(biff5Names_[static_cast<std::size_t>(i - 1)]);
    } else {
      b->AddByte(1);
      b->AddWideString(name);
    }
    result = Add(*globals_, std::move(b));
  }
  return result;
}

// BIFF5 names sheets in 8-bit text of the workbook's code page and has 16,384 rows. A sheet
// name that the code page cannot carry would come out as question marks, the same for every
// such sheet, and readers then drop or rename sheets; rows past the last one are refused by
// readers or cut. Such a workbook is not written as BIFF5 at all.
int TXLSWorkbookWriter::CheckBiff5Limits() {
  const IXLSWorkSheets& sheets = book_.GetWorksheets();
  const int codePage = book_.GetCodePage();
  biff5Names_.clear();
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) {
    const IXLSWorksheet& sheet = *sheets.GetItem(i);
    const std::u16string& name = sheet.GetName();
    bool lossless = false;
    std::string bytes = WideToAnsiCP(name, codePage, &lossless);
    if (!lossless || bytes.empty() || bytes.size() > 255 || AnsiToWideCP(bytes, codePage) != name) {
      error_ = "BIFF5 cannot name the sheet \"" + WideToUtf8(name) + "\": code page " +
               std::to_string(codePage) + " lacks some of its characters; save as BIFF8 or choose a code page that has them";
      return -1;
    }
    const TXLSRowInfoList& rows = sheet.RowInfo();
    if (!rows.Empty() && rows.LastRow() > kLastBiff5Row) {
      error_ = "BIFF5 cannot hold the sheet \"" + WideToUtf8(name) + "\": it has rows past row " +
               std::to_string(kLastBiff5Row + 1) + "; save as BIFF8";
      return -1;
    }
    biff5Names_.push_back(std::move(bytes));
  }
  // Names unique in the model stay unique once converted without loss; checked all the same,
  // as a reader would compare them.
  for (std::size_t a = 0; a < biff5Names_.size(); ++a)
    for (std::size_t b = a + 1; b < biff5Names_.size(); ++b)
      if (IXLSWorkSheets::SameName(AnsiToWideCP(biff5Names_[a], codePage), AnsiToWideCP(biff5Names_[b], codePage))) {
        error_ = "BIFF5 would write two sheets named \"" + WideToUtf8(AnsiToWideCP(biff5Names_[a], codePage)) + "\"";
        return -1;
      }
  return 1;
}

int TXLSWorkbookWriter::BuildStream() {
  globals_ = std::make_unique<TXLSBlobList>();
  tail_ = std::make_unique<TXLSBlobList>();
  sheets_.clear();
  sheetOffsets_.clear();
  streamSize_ = 0;
  IXLSWorkSheets& sheets = book_.GetWorksheets();
  book_.StringTable().SetRecordLimit(limit_);
  if (sheets.GetCount() == 0) sheets.Add();
  if (sheets.GetCount() == 0) {
    error_ = "the workbook has no sheet and none can be added";
    return -1;
  }
  error_.clear();
  if (version_ == kBiff5 && CheckBiff5Limits() != 1) return -1;

  // The fonts that charts name are written with those of the cell formats.
  std::vector<std::int32_t> chartFonts;
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i)
    if (const TMsoDrawing* drawing = FindDrawing(*sheets.GetItem(i))) drawing->AddChartFontUses(chartFonts);
  book_.XFList().PackIndices(chartFonts);
  if (version_ != kBiff5) book_.StringTable().NumberStrings();

  // BIFF8: the drawing group counts again, and every sheet drawing registers and numbers its
  // shapes, before the group is written among the globals.
  if (version_ != kBiff5 && book_.DrawingGroupSlot()) {
    GetDrawingGroup(book_).ResetDgg();
    for (std::int32_t i = 1; i <= sheets.GetCount(); ++i)
      if (TMsoDrawing* drawing = FindDrawing(*sheets.GetItem(i))) drawing->AssignShapeIds();
  }
  int result = WriteGlobals();
  if (result == 1) result = WriteTail();
  if (result != 1) return result;

  std::uint32_t offset = GetBoundSheetsSize() + ListSize(globals_) + ListSize(tail_);
  for (std::int32_t i = 1; i <= sheets.GetCount() && result == 1; ++i) {
    sheetOffsets_.push_back(offset);
    auto writer = std::make_unique<TXLSSheetWriter>(*sheets.GetItem(i), version_, limit_);
    result = writer->WriteSheet(offset);
    if (result != 1) error_ = writer->Error();
    offset += writer->StreamSize();
    sheets_.push_back(std::move(writer));
  }
  if (result != 1) return result;
  // Results that may be stale ask the format's program for a calculation of every formula: a
  // build below any program's.
  for (const auto& sheet : sheets_)
    if (sheet->StaleResults() && recalcBuildAt_ > 0) PutDWordAt(*globals_, recalcBuildAt_, TXLSCalcSettings::kNotCalculated);
  streamSize_ = offset;
  return WriteBoundSheets();
}

int TXLSWorkbookWriter::WriteStream(platform::ByteStream& out) {
  if (!globals_ || DrainBlobList(*globals_, out) != 1) return -1;
  if (DrainBlobList(*tail_, out) != 1) return -1;
  for (const auto& sheet : sheets_) {
    if (sheet->WriteLists(out) != 1) return -1;
  }
  const std::int64_t position = out.Seek(0, platform::SeekOrigin::Current);
  if (position < 0) return -1;
  const std::uint32_t pad =
      (kStreamPadding - static_cast<std::uint32_t>(position % kStreamPadding)) % kStreamPadding;
  if (pad > 0) {
    const std::vector<std::uint8_t> zeros(pad, 0);
    if (out.Write(zeros.data(), pad) != pad) return -1;
  }
  return 1;
}

// ----- save entry points -------------------------------------------------------------------

namespace {

bool IsBiffFormat(std::int32_t format) { return format == kSaveBiff5 || format == kSaveBiff8; }

// The compound file with the workbook stream, or a failure status.
std::int32_t BuildCompoundFile(TXLSWorkbook& book, std::int32_t format,
                               platform::CompoundFileWriter& file, std::string* error) {
  TXLSWorkbookWriter writer(book, format);
  std::int32_t result = writer.BuildStream();
  if (result != 1) {
    if (error) *error = writer.Error().empty() ? "the workbook's records could not be built" : writer.Error();
    return result;
  }
  const int stream = file.AddStream(platform::CompoundFileWriter::kRoot, writer.StreamName(), error);
  if (stream < 0) return -1;
  // Sized once: a growing buffer would hold up to twice the stream while it is copied.
  file.Stream(stream).Bytes().reserve(writer.StreamSize() + kStreamPadding);
  if (writer.WriteStream(file.Stream(stream)) != 1) {
    if (error) *error = "the workbook stream could not be written";
    return -1;
  }
  // The storages of the embedded objects that the drawings name go back with them.
  if (format == kSaveBiff8 && WriteEmbeddedStorages(book, file) != 1) {
    if (error) *error = "the storage of an embedded object could not be written";
    return -1;
  }
  if (book.KeepsVBA()) {
    // The macro storage and the controls stream kept from the file go back beside it.
    if (book.VBAStorage()->Save(file, platform::CompoundFileWriter::kRoot) != 1 ||
        (book.ControlsStream() && book.ControlsStream()->Save(file, platform::CompoundFileWriter::kRoot) != 1)) {
      if (error) *error = "the macro project could not be written";
      return -1;
    }
  }
  for (const auto& properties : book.PropertyStreams()) {
    if (properties->Save(file, platform::CompoundFileWriter::kRoot) != 1) {
      if (error) *error = "the document properties could not be written";
      return -1;
    }
  }
  return 1;
}

std::u16string Trimmed(const std::u16string& text) {
  std::size_t a = 0, z = text.size();
  while (a < z && text[a] <= u' ') ++a;
  while (z > a && text[z - 1] <= u' ') --z;
  return text.substr(a, z - a);
}

std::int32_t UnwrittenFormat(std::string* error) {
  if (error) *error = "this save format is not available";
  return -1;
}

}  // namespace

std::int32_t SaveWorkbookAs(TXLSWorkbook& book, const std::u16string& fileName,
                            std::int32_t format, std::string* error) {
  if (IsTextSaveFormat(format)) return SaveWorkbookAsText(book, fileName, nullptr, format, error);
  if (!IsBiffFormat(format)) return UnwrittenFormat(error);
  book.SetCurrentFormat(format);
  if (Trimmed(fileName).empty()) {
    if (error) *error = "no file name";
    return -1;
  }
  platform::CompoundFileWriter file;
  std::int32_t result = BuildCompoundFile(book, format, file, error);
  if (result != 1) return result;
  platform::AtomicFileStream out(WideToUtf8(fileName));
  if (!out.IsOpen()) {
    if (error) *error = out.Error();
    return -2;
  }
  platform::FileResult saved = file.Save(out);
  if (!saved || !out.Commit()) {
    if (error) *error = out.Error().empty() ? saved.error : out.Error();
    return -2;
  }
  book.SetFileName(fileName);
  return 1;
}

std::int32_t SaveWorkbookToStream(TXLSWorkbook& book, platform::ByteStream& stream,
                                  std::int32_t format, std::string* error) {
  if (IsTextSaveFormat(format)) return SaveWorkbookAsText(book, std::u16string(), &stream, format, error);
  if (!IsBiffFormat(format)) return UnwrittenFormat(error);
  book.SetCurrentFormat(format);
  platform::CompoundFileWriter file;
  std::int32_t result = BuildCompoundFile(book, format, file, error);
  if (result != 1) return result;
  platform::FileResult saved = file.Save(stream);
  if (!saved) {
    if (error) *error = saved.error;
    return -1;
  }
  return 1;
}

std::int32_t SaveWorkbook(TXLSWorkbook& book, std::string* error) {
  const std::int32_t format = book.GetCurrentFormat();
  if (book.GetFileName().empty() || format < 1 || format > 3) {
    if (error) *error = "no file name or save format to repeat";
    return -4;
  }
  return SaveWorkbookAs(book, book.GetFileName(), format, error);
}

}  // namespace xls
