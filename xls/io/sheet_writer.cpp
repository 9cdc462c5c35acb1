#include "xls/io/sheet_writer.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/formula.h"
#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/biff_writer.h"
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/cell_address.h"
#include "xls/model/cell_store.h"
#include "xls/model/codepage.h"
#include "xls/model/key_text.h"
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
  kRecCalcMode = 0x000D,
  kRecCalcCount = 0x000C,
  kRecRefMode = 0x000F,
  kRecIteration = 0x0011,
  kRecDelta = 0x0010,
  kRecSaveRecalc = 0x005F,
  kRecExternCount = 0x0016,
  kRecPrintHeaders = 0x002A,
  kRecPrintGridlines = 0x002B,
  kRecGridSet = 0x0082,
  kRecGuts = 0x0080,
  kRecWsBool = 0x0081,
  kRecHPageBreaks = 0x001B,
  kRecVPageBreaks = 0x001A,
  kRecSetup = 0x00A1,
  kRecProtect = 0x0012,
  kRecScenProtect = 0x00DD,
  kRecObjProtect = 0x0063,
  kRecPassword = 0x0013,
  kRecDimensions = 0x0200,
  kRecBottomMargin = 0x0029,
  kRecTopMargin = 0x0028,
  kRecRightMargin = 0x0027,
  kRecLeftMargin = 0x0026,
  kRecVCenter = 0x0084,
  kRecHCenter = 0x0083,
  kRecFooter = 0x0015,
  kRecHeader = 0x0014,
  kRecWindow2 = 0x023E,
  kRecScl = 0x00A0,
  kRecSelection = 0x001D,
  kRecSheetProtection = 0x0867,
  kRecFeat = 0x0868,
  kRecNumber = 0x0203,
  kRecRK = 0x027E,
  kRecMulRK = 0x00BD,
  kRecBlank = 0x0201,
  kRecMulBlank = 0x00BE,
  kRecBoolErr = 0x0205,
  kRecLabelSST = 0x00FD,
  kRecLabel = 0x0204,
  kRecMergeCells = 0x00E5,
  kRecFormula = 0x0006,
  kRecString = 0x0207,
  kRecArray = 0x0221,
};

constexpr std::uint8_t kErrorNum = 0x24;
// The FORMULA option bit that asks a reader to calculate the formula when it opens the file.
constexpr std::uint16_t kFormulaCalcOnLoad = 0x0002;
constexpr std::int32_t kBlockRows = TXLSDBCell::kRowsPerBlock;

std::int32_t VariantCount(const Variant& v) {
  return v.IsNumber() ? static_cast<std::int32_t>(v.IntegerValue()) : 0;
}

}  // namespace

TXLSSheetWriter::TXLSSheetWriter(IXLSWorksheet& sheet, int version, std::uint16_t limit)
    : sheet_(sheet), book_(*sheet.Workbook()), version_(version), limit_(limit),
      codePage_(book_.GetCodePage()) {
  for (auto& list : lists_) list = std::make_unique<TXLSBlobList>();
}

TXLSSheetWriter::~TXLSSheetWriter() = default;

int TXLSSheetWriter::WriteLists(platform::ByteStream& out) {
  int result = 1;
  for (auto& list : lists_) {
    if (DrainBlobList(*list, out) != 1) result = -1;
  }
  return result;
}

int TXLSSheetWriter::WriteSheet(std::uint32_t streamOffset) {
  index_ = std::make_unique<TXLSDBCellIndex>();
  firstRow_ = lastRow_ = firstCol_ = lastCol_ = -1;
  hasCells_ = false;
  sheet_.RowInfo().ResetMaxOutlineLevel();
  // A chart sheet is its chart's substream, in the cell list.
  if (const TXLSCustomChart* chart = WrittenSheetChart(sheet_, version_)) {
    // Its series links are written in the format of the save.
    if (TXLSCalculator* calc = chart->Calculator()) {
      calc->SetFileFormat(version_ == kBiff5 ? kFormatBiff5 : kFormatBiff8);
      calc->Compiler().SetCodePage(codePage_);
    }
    if (version_ == kBiff5 && chart->FileVersion() >= 0x0600) {
      // BIFF5 references name their sheets through the substream's own EXTERNSHEET records.
      if (WriteBiff5ExternSheets() != 1) return -1;
      chart->WriteBiff5Records(*lists_[kCells], codePage_, lists_[kSettings].get());
    } else {
      chart->WriteRecords(*lists_[kCells]);
    }
    index_.reset();
    streamSize_ = lists_[kCells]->TotalSize();
    return 1;
  }
  int result = WriteCells();
  if (result == 1) result = WriteSheetRecords(streamOffset);
  index_.reset();
  streamSize_ = 0;
  for (const auto& list : lists_) streamSize_ += list->TotalSize();
  return result;
}

int TXLSSheetWriter::Add(ListId list, std::unique_ptr<TXLSBlob> record) {
  return AddBiffRecord(*lists_[list], std::move(record), limit_);
}

// ----- cells -------------------------------------------------------------------------------

int TXLSSheetWriter::ExtendDimensions(std::int32_t row, std::int32_t column) {
  if (row < 0 || row > kMaxRow || column < 0 || column > kMaxCol) return -2;
  if (!hasCells_ || row < firstRow_) firstRow_ = row;
  if (!hasCells_ || row > lastRow_) lastRow_ = row;
  if (!hasCells_ || column < firstCol_) firstCol_ = column;
  if (!hasCells_ || column > lastCol_) lastCol_ = column;
  hasCells_ = true;
  return 1;
}

std::uint32_t TXLSSheetWriter::OutputXF(std::int32_t xf) const {
  if (xf <= 0) return 0;
  return static_cast<std::uint32_t>(book_.XFList().GetOutputIndex(xf) - 1) & 0xFFFF;
}

int TXLSSheetWriter::AddCellRecord(std::unique_ptr<TXLSBlob> record) {
  return Add(kCells, std::move(record));
}

// Cell records are built one at a time in one reused buffer: a sheet of a million cells then
// costs no allocation per cell. None of them reaches the record data limit.
TCellBytes TXLSSheetWriter::CellRecord(std::uint16_t id, std::uint32_t length) {
  TCellBytes b{scratch_.GetData(), 0};
  b.AddWord(id);
  b.AddWord(length);
  return b;
}

int TXLSSheetWriter::AddCellRecord(const TCellBytes& record) {
  scratch_.SetSize(record.size);
  return lists_[kCells]->AppendBlob(&scratch_, true) == 1 ? 1 : -1;
}

// The cells hold serials of the workbook's date system, as the file does.
double TXLSSheetWriter::CellNumber(const TXLSCellRef& cell) const { return cell.SerialValue(); }

int TXLSSheetWriter::WriteNumber(std::int32_t row, std::int32_t column, std::int32_t xf,
                                 double value) {
  if (ExtendDimensions(row, column) != 1) return -2;
  TCellBytes b = CellRecord(kRecNumber, 14);
  b.AddWord(static_cast<std::uint32_t>(row));
  b.AddWord(static_cast<std::uint32_t>(column));
  b.AddWord(OutputXF(xf));
  b.AddDouble(value);
  return AddCellRecord(b);
}

int TXLSSheetWriter::WriteRK(std::int32_t row, std::int32_t column, std::int32_t xf,
                             std::uint32_t rk) {
  if (ExtendDimensions(row, column) != 1) return -2;
  TCellBytes b = CellRecord(kRecRK, 10);
  b.AddWord(static_cast<std::uint32_t>(row));
  b.AddWord(static_cast<std::uint32_t>(column));
  b.AddWord(OutputXF(xf));
  b.AddDWord(rk);
  return AddCellRecord(b);
}

int TXLSSheetWriter::WriteBlank(std::int32_t row, std::int32_t column, std::int32_t xf) {
  // A blank in the default format says nothing a missing cell does not.
  if (OutputXF(xf) == 0) return 1;
  if (ExtendDimensions(row, column) != 1) return -2;
  TCellBytes b = CellRecord(kRecBlank, 6);
  b.AddWord(static_cast<std::uint32_t>(row));
  b.AddWord(static_cast<std::uint32_t>(column));
  b.AddWord(OutputXF(xf));
  return AddCellRecord(b);
}

int TXLSSheetWriter::WriteBoolErr(std::int32_t row, std::int32_t column, std::int32_t xf,
                                  std::uint8_t value, bool error) {
  if (ExtendDimensions(row, column) != 1) return -2;
  TCellBytes b = CellRecord(kRecBoolErr, 8);
  b.AddWord(static_cast<std::uint32_t>(row));
  b.AddWord(static_cast<std::uint32_t>(column));
  b.AddWord(OutputXF(xf));
  b.AddByte(value);
  b.AddByte(error ? 1 : 0);
  return AddCellRecord(b);
}

int TXLSSheetWriter::WriteLabel(std::int32_t row, std::int32_t column, std::int32_t xf,
                                std::int32_t stringIndex) {
  if (ExtendDimensions(row, column) != 1) return -2;
  TXLSStringTable& strings = book_.StringTable();
  if (version_ != kBiff5) {
    TCellBytes b = CellRecord(kRecLabelSST, 10);
    b.AddWord(static_cast<std::uint32_t>(row));
    b.AddWord(static_cast<std::uint32_t>(column));
    b.AddWord(OutputXF(xf));
    b.AddDWord(static_cast<std::uint32_t>(strings.GetSSTPosition(stringIndex)));
    return AddCellRecord(b);
  }
  // Line breaks as the text holds them: the format's own program writes LF in BIFF5 texts too.
  std::string text = WideToAnsiCP(strings.GetString(stringIndex), codePage_);
  if (text.size() > 255) text.resize(255);
  return WriteAnsiLabel(row, column, xf, text);
}

int TXLSSheetWriter::WriteAnsiLabel(std::int32_t row, std::int32_t column, std::int32_t xf, const std::string& text) {
  TCellBytes b = CellRecord(kRecLabel, 8 + static_cast<std::uint32_t>(text.size()));
  b.AddWord(static_cast<std::uint32_t>(row));
  b.AddWord(static_cast<std::uint32_t>(column));
  b.AddWord(OutputXF(xf));
  b.AddWord(static_cast<std::uint32_t>(text.size()));
  b.AddString(text);
  return AddCellRecord(b);
}

void TXLSSheetWriter::AddToNumberRun(const TXLSCellRef& cell, std::uint32_t rk) {
  if (numbers_.length == 0) {
    numbers_.row = cell.Row();
    numbers_.firstColumn = cell.Column();
  }
  runRK_[static_cast<std::size_t>(numbers_.length)] = rk;
  runNumberXF_[static_cast<std::size_t>(numbers_.length)] = cell.XF();
  ++numbers_.length;
}

void TXLSSheetWriter::AddToBlankRun(const TXLSCellRef& cell) {
  if (blanks_.length == 0) {
    blanks_.row = cell.Row();
    blanks_.firstColumn = cell.Column();
  }
  runBlankXF_[static_cast<std::size_t>(blanks_.length)] = cell.XF();
  ++blanks_.length;
}

int TXLSSheetWriter::CloseNumberRun() {
  const Run run = numbers_;
  numbers_.length = 0;
  if (run.length == 0) return 1;
  if (run.length == 1) return WriteRK(run.row, run.firstColumn, runNumberXF_[0], runRK_[0]);
  const std::uint32_t n = static_cast<std::uint32_t>(run.length);
  TCellBytes b = CellRecord(kRecMulRK, 6 + 6 * n);
  b.AddWord(static_cast<std::uint32_t>(run.row));
  b.AddWord(static_cast<std::uint32_t>(run.firstColumn));
  for (std::uint32_t i = 0; i < n; ++i) {
    if (ExtendDimensions(run.row, run.firstColumn + static_cast<std::int32_t>(i)) != 1) return -2;
    b.AddWord(OutputXF(runNumberXF_[i]));
    b.AddDWord(runRK_[i]);
  }
  b.AddWord(static_cast<std::uint32_t>(run.firstColumn) + n - 1);
  return AddCellRecord(b);
}

int TXLSSheetWriter::CloseBlankRun() {
  const Run run = blanks_;
  blanks_.length = 0;
  if (run.length == 0) return 1;
  if (run.length == 1) return WriteBlank(run.row, run.firstColumn, runBlankXF_[0]);
  const std::uint32_t n = static_cast<std::uint32_t>(run.length);
  TCellBytes b = CellRecord(kRecMulBlank, 6 + 2 * n);
  b.AddWord(static_cast<std::uint32_t>(run.row));
  b.AddWord(static_cast<std::uint32_t>(run.firstColumn));
  for (std::uint32_t i = 0; i < n; ++i) {
    if (ExtendDimensions(run.row, run.firstColumn + static_cast<std::int32_t>(i)) != 1) return -2;
    b.AddWord(OutputXF(runBlankXF_[i]));
  }
  b.AddWord(static_cast<std::uint32_t>(run.firstColumn) + n - 1);
  return AddCellRecord(b);
}

int TXLSSheetWriter::WriteCell(const TXLSCellRef& cell) {
  const std::int32_t row = cell.Row(), column = cell.Column();
  switch (cell.Kind()) {
    case kCellString:
      return WriteLabel(row, column, cell.XF(), cell.StringIndex());
    case kCellNumber:
    case kCellDate: {
      double v = CellNumber(cell);
      std::uint32_t rk = 0;
      if (!std::isfinite(v)) return WriteBoolErr(row, column, cell.XF(), kErrorNum, true);
      if (cell.Kind() == kCellNumber && EncodeRK(rk, v)) return WriteRK(row, column, cell.XF(), rk);
      return WriteNumber(row, column, cell.XF(), v);
    }
    case kCellBoolean:
      return WriteBoolErr(row, column, cell.XF(), cell.Value() > 0 ? 1 : 0, false);
    case kCellError:
      return WriteBoolErr(row, column, cell.XF(), static_cast<std::uint8_t>(cell.Value()), true);
    case kCellBlank:
      return WriteBlank(row, column, cell.XF());
    case kCellFormula:
      return WriteFormula(cell);
  }
  return 1;
}

std::string TXLSSheetWriter::CellName(std::int32_t row, std::int32_t column) const {
  return "cell " + CellRefName(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)) + " of sheet \"" +
         WideToUtf8(sheet_.GetName()) + "\"";
}

int TXLSSheetWriter::WriteFormula(const TXLSCellRef& cell) {
  const std::int32_t row = cell.Row(), column = cell.Column();
  if (ExtendDimensions(row, column) != 1) return -2;
  auto* f = dynamic_cast<TXLSCompiledFormula*>(cell.Formula());
  // A cell of an array formula that is gone has nothing left but its format.
  if (f && f->IsArrayMember() && !ArrayAnchorFormula(sheet_, *f)) return WriteBlank(row, column, cell.XF());
  TXLSCalculator& calc = book_.Formulas().Calculator();
  calc.SetFileFormat(version_ == kBiff5 ? kFormatBiff5 : kFormatBiff8);
  calc.Compiler().SetCodePage(codePage_);
  std::unique_ptr<TXLSBlob> tokens;
  std::int32_t st = f ? calc.GetCellFormulaBytes(*f, tokens, sheet_.GetSheetId(), row, column) : -1;
  // An array formula goes with its ARRAY record, which its anchor's cells point at.
  std::unique_ptr<TXLSBlob> arrayBody;
  if (st == 1 && tokens) {
    if (const TXLSCompiledFormula* anchor = f->ArrayLink() ? ArrayAnchorFormula(sheet_, *f) : nullptr) {
      auto known = writableArrays_.find(anchor);
      if (known == writableArrays_.end() || anchor == f) {
        std::unique_ptr<TXLSBlob> body;
        const bool ok = calc.GetArrayRecordBytes(*anchor, sheet_.GetSheetId(), body) == 1 && body;
        known = writableArrays_.insert_or_assign(anchor, ok).first;
        if (anchor == f) arrayBody = std::move(body);
      }
      if (!known->second) st = -1;
    }
  }
  if (st != 1 || !tokens) return WriteFormulaText(cell);

  // The cached result, so that a reader shows the value without calculating: the file's own
  // while the workbook's results stand as read, else the calculator's. A cell under a merged
  // area has its formula's result too. A result the calculator did not confirm (a kept one that
  // may be stale, or none) asks to be calculated on load.
  Variant value;
  bool stale = false;
  const bool asRead = cell.Formula()->ResultAsRead(sheet_, st, value);
  if (!asRead) st = cell.Formula()->Value(sheet_, row, column, value, &stale);
  std::uint8_t result[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  bool cached = true;
  bool text = false;
  auto special = [&](std::uint8_t type, std::uint8_t v) {
    result[0] = type;
    result[2] = v;
    result[6] = result[7] = 0xFF;
  };
  auto number = [&](double v) { std::memcpy(result, &v, 8); };
  if (st != 1) {
    if (IsErrorCode(st)) special(2, static_cast<std::uint8_t>(st));
    else cached = false;
  } else if (value.IsNumber()) {
    double v = value.NumberValue();
    if (value.IsDate()) v = DateTimeToSerial(v);  // the calculator's date values are of the 1900 system only
    if (std::isfinite(v)) number(v);
    else special(2, kErrorNum);
  } else if (value.IsBoolean()) {
    special(1, value.BooleanValue() ? 1 : 0);
  } else if (value.IsText() && (!value.TextValue().empty() || version_ == kBiff5)) {
    // BIFF5 has no empty-text result of its own: an empty STRING record carries it.
    special(0, 0);
    text = true;
  } else if (value.IsEmptyOrNull() || value.IsText()) {
    if (version_ != kBiff5) special(3, 0);
  } else {
    cached = false;
  }
  auto record = std::make_unique<TXLSBlob>(24 + tokens->GetSize());
  record->AddWord(kRecFormula);
  record->AddWord(20 + tokens->GetSize());
  record->AddWord(static_cast<std::uint32_t>(row));
  record->AddWord(static_cast<std::uint32_t>(column));
  record->AddWord(OutputXF(cell.XF()));
  for (std::uint8_t b : result) record->AddByte(b);
  if (stale || !cached) staleResults_ = true;
  record->AddWord(cell.Formula()->FileOptions() | (stale || !cached ? kFormulaCalcOnLoad : 0));
  record->AddDWord(0);
  record->AddWholeBlob(*tokens);
  int written = AddCellRecord(std::move(record));
  if (written != 1) return written;

  if (arrayBody) {
    auto array = std::make_unique<TXLSBlob>(4 + arrayBody->GetSize());
    array->AddWord(kRecArray);
    array->AddWord(arrayBody->GetSize());
    array->AddWholeBlob(*arrayBody);
    written = AddCellRecord(std::move(array));
    if (written != 1) return written;
  }
  return text ? WriteString(value.TextValue()) : 1;
}

// A formula without tokens for this format goes as its text, "=" included, in a LABEL record
// (which holds 255 characters): the cell keeps what it says. A text that does not fit fails the
// save with the cell's name.
int TXLSSheetWriter::WriteFormulaText(const TXLSCellRef& cell) {
  const std::int32_t row = cell.Row(), column = cell.Column();
  const std::u16string text = cell.Formula() ? cell.Formula()->Text(sheet_, row, column) : std::u16string();
  if (text.empty()) {
    error_ = "the formula of " + CellName(row, column) + " can be written neither as a formula nor as text";
    return -1;
  }
  constexpr std::size_t kLabelLength = 255;
  if (version_ == kBiff5) {
    // The limit counts characters; a double-byte code page takes two bytes for some of them.
    if (text.size() <= kLabelLength) return WriteAnsiLabel(row, column, cell.XF(), WideToAnsiCP(text, codePage_));
  } else if (text.size() <= kLabelLength) {
    TCellBytes b = CellRecord(kRecLabel, 9 + 2 * static_cast<std::uint32_t>(text.size()));
    b.AddWord(static_cast<std::uint32_t>(row));
    b.AddWord(static_cast<std::uint32_t>(column));
    b.AddWord(OutputXF(cell.XF()));
    b.AddWord(static_cast<std::uint32_t>(text.size()));
    b.AddByte(1);
    for (char16_t c : text) b.AddWord(c);
    return AddCellRecord(b);
  }
  error_ = "the formula of " + CellName(row, column) + " cannot be written in this format, and its text is longer than " +
           std::to_string(kLabelLength) + " characters: " + WideToUtf8(text.substr(0, 40)) + "...";
  return -1;
}

// The text result of a formula, its line breaks as they are (a text of CHAR(10) keeps its LF).
// BIFF8 continues a long one in CONTINUE records, each starting with the option byte of the
// characters that follow; BIFF5 holds 255 characters.
int TXLSSheetWriter::WriteString(const std::u16string& value) {
  std::u16string shown = value;
  if (version_ == kBiff5) {
    std::string t = WideToAnsiCP(shown, codePage_);
    if (t.size() > 255) t.resize(255);
    auto string = std::make_unique<TXLSBlob>(6 + static_cast<std::uint32_t>(t.size()));
    string->AddWord(kRecString);
    string->AddWord(2 + static_cast<std::uint32_t>(t.size()));
    string->AddWord(static_cast<std::uint32_t>(t.size()));
    string->AddString(t);
    return AddCellRecord(std::move(string));
  }
  if (shown.size() > kMaxCellText) shown.resize(kMaxCellText);
  const std::size_t length = shown.size();
  std::size_t done = std::min<std::size_t>(length, (limit_ - 3u) / 2u);
  auto string = std::make_unique<TXLSBlob>(7 + 2 * static_cast<std::uint32_t>(done));
  string->AddWord(kRecString);
  string->AddWord(3 + 2 * static_cast<std::uint32_t>(done));
  string->AddWord(static_cast<std::uint32_t>(length));
  string->AddByte(1);
  string->AddWideString(shown.substr(0, done));
  int written = AddCellRecord(std::move(string));
  while (written == 1 && done < length) {
    const std::size_t part = std::min<std::size_t>(length - done, (limit_ - 1u) / 2u);
    auto more = std::make_unique<TXLSBlob>(5 + 2 * static_cast<std::uint32_t>(part));
    more->AddWord(kRecContinue);
    more->AddWord(1 + 2 * static_cast<std::uint32_t>(part));
    more->AddByte(1);
    more->AddWideString(shown.substr(done, part));
    written = AddCellRecord(std::move(more));
    done += part;
  }
  return written;
}

int TXLSSheetWriter::WriteMergeCells(std::int32_t firstRow, std::int32_t firstColumn,
                                     std::int32_t lastRow, std::int32_t lastColumn) {
  TCellBytes b = CellRecord(kRecMergeCells, 10);
  b.AddWord(1);
  b.AddWord(static_cast<std::uint32_t>(std::min(firstRow, lastRow)));
  b.AddWord(static_cast<std::uint32_t>(std::max(firstRow, lastRow)));
  b.AddWord(static_cast<std::uint32_t>(std::min(firstColumn, lastColumn)));
  b.AddWord(static_cast<std::uint32_t>(std::max(firstColumn, lastColumn)));
  return AddCellRecord(b);
}

int TXLSSheetWriter::WriteMergedArea(const TXLSCellRef& master) {
  const TXLSMergeInfo* area = master.Merge();
  const std::int32_t r1 = master.Row(), c1 = master.Column();
  const std::int32_t r2 = r1 + area->rows - 1, c2 = c1 + area->columns - 1;
  int result = WriteCell(master);
  if (r2 <= r1 && c2 <= c1) return result;
  if (result != 1) return result;
  const TXLSCellHeap& cells = sheet_.Cells();
  for (std::int32_t r = r1; r <= r2; ++r) {
    for (std::int32_t c = c1; c <= c2; ++c) {
      if (r == r1 && c == c1) continue;
      if (r > kMaxRow || c > kMaxCol) return -2;
      // A covered cell keeps what a file of another program gave it.
      const TXLSCellRef* cell = cells.FindCell(r, c);
      result = cell ? WriteCell(*cell) : WriteBlank(r, c, master.XF());
      if (result != 1) return result;
    }
  }
  return WriteMergeCells(r1, c1, r2, c2);
}

void TXLSSheetWriter::StartBlock(std::int32_t row) {
  block_.emplace(row, lists_[kCells]->TotalSize());
  sheet_.RowInfo().WriteRows(*lists_[kCells], row, row + kBlockRows - 1);
}

int TXLSSheetWriter::EndBlock(std::int32_t row) {
  const std::uint32_t end = lists_[kCells]->TotalSize();
  block_->SetEnd(row, end);
  auto record = block_->BuildDBCellRecord();
  index_->AddBlock(block_->FirstUsedRow(), block_->LastUsedRow(), end);
  block_.reset();
  return AddCellRecord(std::move(record));
}

int TXLSSheetWriter::WriteCells() {
  TXLSRowInfoList& rows = sheet_.RowInfo();
  const TXLSCellHeap& cells = sheet_.Cells();
  const std::int32_t first = rows.Empty() ? 0 : rows.FirstRow();
  const std::int32_t last = rows.Empty() ? 0 : rows.LastRow();
  numbers_.length = blanks_.length = 0;
  writableArrays_.clear();
  // A cell that cannot be written fails the sheet: a save never leaves one out unnoticed.
  int failed = 1;
  auto check = [&](int status, std::int32_t r, std::int32_t c) {
    if (status == 1 || failed != 1) return;
    failed = status;
    if (error_.empty()) error_ = "the " + CellName(r, c) + " could not be written";
  };
  // Rows go in blocks of kBlockRows from the first; a block without rows still gets its DBCELL.
  // Only rows with entries are visited: a sheet may span all 65,536 rows with a few in use.
  std::int32_t next = rows.NextRow(first);
  for (std::int32_t start = first; start <= last && failed == 1; start += kBlockRows) {
    const std::int32_t end = std::min(last, start + kBlockRows - 1);
    StartBlock(start);
    for (; next >= 0 && next <= end && failed == 1; next = rows.NextRow(next + 1)) {
      const std::int32_t r = next;
      const TXLSRowInfo* info = rows.Find(r);
      block_->AddRow(r, lists_[kCells]->TotalSize());
      if (info->firstUsedColumn < 0) continue;
      std::int32_t expected = -1;  // the column that continues the pending runs
      // Runs are written when they close, at the cell after them or at the row's end.
      auto closeNumbers = [&]() {
        if (numbers_.length == 0) return;
        const std::int32_t from = numbers_.firstColumn;
        check(CloseNumberRun(), r, from);
      };
      auto closeBlanks = [&]() {
        if (blanks_.length == 0) return;
        const std::int32_t from = blanks_.firstColumn;
        check(CloseBlankRun(), r, from);
      };
      auto closeRuns = [&]() {
        closeNumbers();
        closeBlanks();
      };
      for (std::int32_t c = info->firstUsedColumn; c <= info->lastUsedColumn && failed == 1; ++c) {
        const TXLSCellRef* cell = cells.FindCell(r, c);
        if (!cell) continue;
        // Runs never bridge an empty slot.
        if (c != expected) closeRuns();
        expected = c + 1;
        if (cell->Merged()) {
          closeRuns();
          if (cell->IsMergeMaster()) check(WriteMergedArea(*cell), r, c);
          continue;
        }
        if (cell->Kind() == kCellNumber) {
          closeBlanks();
          std::uint32_t rk = 0;
          double v = CellNumber(*cell);
          if (!std::isfinite(v)) {
            // No reader takes a NaN or an infinity as a number: the cell is the #NUM! error.
            closeNumbers();
            check(WriteBoolErr(r, c, cell->XF(), kErrorNum, true), r, c);
          } else if (EncodeRK(rk, v)) {
            AddToNumberRun(*cell, rk);
          } else {
            closeNumbers();
            check(WriteNumber(r, c, cell->XF(), v), r, c);
          }
        } else if (cell->Kind() == kCellBlank) {
          closeNumbers();
          AddToBlankRun(*cell);
        } else {
          closeRuns();
          check(WriteCell(*cell), r, c);
        }
      }
      closeRuns();
    }
    int result = EndBlock(end);
    if (result != 1) return result;
  }
  return failed;
}

// ----- sheet records -----------------------------------------------------------------------

std::unique_ptr<TXLSBlob> TXLSSheetWriter::BuildHeaderFooter(std::uint16_t id,
                                                             const std::u16string& left,
                                                             const std::u16string& centre,
                                                             const std::u16string& right) const {
  std::u16string text;
  if (!left.empty()) text += u"&L" + left;
  if (!centre.empty()) text += u"&C" + centre;
  if (!right.empty()) text += u"&R" + right;
  if (version_ == kBiff5) {
    std::string bytes = WideToAnsiCP(text, codePage_);
    if (bytes.size() > 255) bytes.resize(255);
    auto b = NewBiffRecord(id, 1 + static_cast<std::uint32_t>(bytes.size()));
    b->AddByte(static_cast<std::uint32_t>(bytes.size()));
    b->AddString(bytes);
    return b;
  }
  if (text.size() > 255) text.resize(255);
  auto b = NewBiffRecord(id, 3 + 2 * static_cast<std::uint32_t>(text.size()));
  b->AddWord(static_cast<std::uint32_t>(text.size()));
  b->AddByte(1);
  b->AddWideString(text);
  return b;
}

std::unique_ptr<TXLSBlob> TXLSSheetWriter::BuildDimensions() const {
  const bool biff5 = version_ == kBiff5;
  auto b = NewBiffRecord(kRecDimensions, biff5 ? 10 : 14);
  std::uint32_t r1 = 0, r2 = 0, c1 = 0, c2 = 256;
  if (hasCells_) {
    r1 = static_cast<std::uint32_t>(firstRow_);
    r2 = static_cast<std::uint32_t>(lastRow_) + 1;
    c1 = static_cast<std::uint32_t>(firstCol_);
    c2 = static_cast<std::uint32_t>(lastCol_) + 1;
  }
  if (biff5) {
    b->AddWord(r1);
    b->AddWord(r2);
  } else {
    b->AddDWord(r1);
    b->AddDWord(r2);
  }
  b->AddWord(c1);
  b->AddWord(c2);
  b->AddWord(0);
  return b;
}

std::unique_ptr<TXLSBlob> TXLSSheetWriter::BuildWindow2() const {
  std::uint32_t options = 0x0020;
  if (sheet_.GetDisplayFormulas()) options |= 0x0001;
  if (sheet_.GetDisplayGridlines()) options |= 0x0002;
  if (sheet_.GetDisplayHeadings()) options |= 0x0004;
  if (sheet_.GetDisplayOutline()) options |= 0x0080;
  if (sheet_.HasPanes() && sheet_.GetPanes().Frozen()) options |= 0x0008;
  if (sheet_.GetShowZeros()) options |= 0x0010;
  if (sheet_.GetRightToLeft()) options |= 0x0040;
  if (sheet_.GetSelected()) options |= 0x0200;
  if (sheet_.GetVisible() == 0) options |= 0x0400;
  const std::int32_t scrollRow = sheet_.GetScrollRow() - 1;
  const std::int32_t scrollColumn = sheet_.GetScrollColumn() - 1;
  const std::int32_t top = scrollRow == 0 ? 0 : std::max(scrollRow, sheet_.RowInfo().GetFirstVisibleRow());
  const std::int32_t left =
      scrollColumn == 0 ? 0 : std::max(scrollColumn, sheet_.ColumnInfo().GetFirstVisibleColumn());
  const bool biff5 = version_ == kBiff5;
  auto b = NewBiffRecord(kRecWindow2, biff5 ? 10 : 18);
  b->AddWord(options);
  b->AddWord(static_cast<std::uint32_t>(std::min(top, kMaxRow)));
  b->AddWord(static_cast<std::uint32_t>(std::min(left, kMaxCol)));
  if (biff5) {
    b->AddDWord(0);
  } else {
    b->AddWord(64);
    b->AddWord(0);
    b->AddWord(0);
    b->AddWord(0);
    b->AddDWord(0);
  }
  return b;
}

std::unique_ptr<TXLSBlob> TXLSSheetWriter::BuildSelection() const {
  std::int32_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
  if (IXLSRange sel = sheet_.GetSelection()) {
    r1 = sel->GetFirstRow();
    r2 = sel->GetLastRow();
    c1 = sel->GetFirstCol();
    c2 = sel->GetLastCol();
  }
  const std::int32_t pane =
      sheet_.HasPanes() ? sheet_.GetPanes().GetActivePane() : 3;
  auto b = NewBiffRecord(kRecSelection, 15);
  b->AddByte(static_cast<std::uint32_t>(pane));
  b->AddWord(static_cast<std::uint32_t>(r1));
  b->AddWord(static_cast<std::uint32_t>(c1));
  b->AddWord(0);
  b->AddWord(1);
  b->AddWord(static_cast<std::uint32_t>(std::min(r1, r2)));
  b->AddWord(static_cast<std::uint32_t>(std::max(r1, r2)));
  b->AddByte(static_cast<std::uint32_t>(std::min(c1, c2)));
  b->AddByte(static_cast<std::uint32_t>(std::max(c1, c2)));
  return b;
}

std::unique_ptr<TXLSBlob> TXLSSheetWriter::BuildSetup() const {
  const TXLSPageSetup& page = *sheet_.GetPageSetup();
  // What a file gave and the page setup does not show goes back as read: stale printer fields
  // with their mark, until a program set them.
  const TXLSSetupAsRead& read = page.SetupAsRead();
  std::uint32_t options = (static_cast<std::uint32_t>(page.GetOrder()) & 1) | read.otherOptions;
  const bool orientationAsRead = !read.printerFieldsValid || !read.orientationValid;
  if (orientationAsRead ? read.portrait : page.GetOrientation() == 1) options |= 0x0002;
  if (!read.printerFieldsValid) options |= 0x0004;
  if (page.GetBlackAndWhite()) options |= 0x0008;
  if (page.GetDraft()) options |= 0x0010;
  if (page.GetPrintNotes()) options |= 0x0020;
  if (!read.orientationValid) options |= 0x0040;
  auto b = NewBiffRecord(kRecSetup, 34);
  if (read.printerFieldsValid) {
    // The model keeps paper code 256 as 0, the value the record carries for it.
    b->AddWord(page.GetPaperSize() == 256 ? 0u : static_cast<std::uint32_t>(page.GetPaperSize()));
    b->AddWord(page.GetZoomValue());
  } else {
    b->AddWord(read.paperSize);
    b->AddWord(read.scale);
  }
  b->AddWord(read.pageStart);
  b->AddWord(static_cast<std::uint32_t>(VariantCount(page.GetFitToPagesWide())));
  b->AddWord(static_cast<std::uint32_t>(VariantCount(page.GetFitToPagesTall())));
  b->AddWord(options);
  b->AddWord(read.resolution);
  b->AddWord(read.verticalResolution);
  b->AddDouble(page.GetHeaderMargin());
  b->AddDouble(page.GetFooterMargin());
  b->AddWord(read.copies);
  return b;
}

std::unique_ptr<TXLSBlob> TXLSSheetWriter::BuildPageBreaks(bool horizontal) const {
  const TXLSPageBreaks& breaks =
      horizontal ? static_cast<const TXLSPageBreaks&>(sheet_.GetHPageBreaks())
                 : static_cast<const TXLSPageBreaks&>(sheet_.GetVPageBreaks());
  const std::uint32_t n = static_cast<std::uint32_t>(breaks.GetCount());
  if (n == 0) return nullptr;
  const bool biff5 = version_ == kBiff5;
  auto b = NewBiffRecord(horizontal ? kRecHPageBreaks : kRecVPageBreaks, 2 + (biff5 ? 2 : 6) * n);
  b->AddWord(n);
  for (std::uint32_t i = 1; i <= n; ++i) {
    b->AddWord(static_cast<std::uint32_t>(breaks.GetItem(static_cast<std::int32_t>(i))->GetPosition()));
    if (biff5) continue;
    b->AddWord(0);
    b->AddWord(horizontal ? 255 : 65535);
  }
  return b;
}

// The workbook's list of EXTERNSHEETs at the same positions: the sheets (this one as itself),
// the add-in "document" with its names (the sheet's formulas find their add-in functions there)
// and the other books' sheets.
int TXLSSheetWriter::WriteBiff5ExternSheets() {
  const IXLSWorkSheets& sheets = book_.GetWorksheets();
  TXLSSupBook* books = book_.HasFormulas() ? &book_.Formulas().Externs().SupBook() : nullptr;
  const int others = books ? books->Biff5BookSheetCount(codePage_) : 0;
  const bool addIns = books && books->HasAddInNames();
  const std::uint32_t count = static_cast<std::uint32_t>(sheets.GetCount() + others) + (addIns ? 2 : 1);
  int result = Add(kSettings, WordRecord(kRecExternCount, count));
  for (std::int32_t i = 1; i <= sheets.GetCount() && result == 1; ++i) {
    const IXLSWorksheet* other = sheets.GetItem(i);
    result = Add(kSettings, other == &sheet_ ? Biff5ExternSheetMark(2) : Biff5ExternSheetByName(WideToAnsiCP(other->GetName(), codePage_)));
  }
  if (result == 1 && addIns) {
    for (auto& record : books->Biff5AddInRecords(codePage_))
      if (result == 1) result = Add(kSettings, std::move(record));
  }
  if (result == 1 && others > 0) {
    for (auto& record : books->Biff5BookRecords(sheets.GetCount() + (addIns ? 2 : 1), false, codePage_))
      if (result == 1) result = Add(kSettings, std::move(record));
  }
  if (result == 1) result = Add(kSettings, Biff5ExternSheetMark(4));
  return result;
}

int TXLSSheetWriter::WriteProtection() {
  TXLSProtect& protect = sheet_.Protection();
  if (!protect.GetProtected()) return 1;
  int result = Add(kSettings, WordRecord(kRecProtect, 1));
  if (result == 1) result = Add(kSettings, WordRecord(kRecScenProtect, 1));
  if (result == 1) result = Add(kSettings, WordRecord(kRecObjProtect, (protect.GetOptions() & 1) ? 0 : 1));
  if (result == 1) result = Add(kSettings, WordRecord(kRecPassword, protect.GetPasswordHash()));
  return result;
}

int TXLSSheetWriter::WriteSheetRecords(std::uint32_t streamOffset) {
  const bool biff5 = version_ == kBiff5;
  TXLSPageSetup& page = *sheet_.GetPageSetup();
  TXLSRowInfoList& rows = sheet_.RowInfo();
  TXLSColumnInfoList& columns = sheet_.ColumnInfo();
  int result = 1;
  auto step = [&result](int status) {
    if (result == 1) result = status;
  };

  // Calculation settings, then the autofilter's records when the sheet has one.
  const TXLSCalcSettings& calc = book_.CalcSettings();
  step(Add(kSettings, WordRecord(kRecCalcMode, calc.calcMode)));
  step(Add(kSettings, WordRecord(kRecCalcCount, calc.calcCount)));
  step(Add(kSettings, WordRecord(kRecRefMode, book_.GetRefModeA1())));
  step(Add(kSettings, WordRecord(kRecIteration, calc.iteration)));
  step(Add(kSettings, DoubleRecord(kRecDelta, calc.delta)));
  step(Add(kSettings, WordRecord(kRecSaveRecalc, calc.saveRecalc)));
  if (result == 1)
    step(WriteSheetAutofilter(
        sheet_, [this](std::unique_ptr<TXLSBlob> record) { return Add(kSettings, std::move(record)); },
        biff5 ? kFormatBiff5 : kFormatBiff8, codePage_));
  if (result != 1) return result;
  columns.WriteColInfos(*lists_[kSettings]);
  step(Add(kSettings, rows.BuildDefaultRowHeight()));
  if (biff5) step(WriteBiff5ExternSheets());
  step(Add(kSettings, WordRecord(kRecPrintHeaders, page.GetPrintHeadings() ? 1 : 0)));
  step(Add(kSettings, WordRecord(kRecPrintGridlines, page.GetPrintGridlines() ? 1 : 0)));
  step(Add(kSettings, WordRecord(kRecGridSet, ((page.GetPrintGridlines() ? 1u : 0u) ^ 1u) & 0x7F)));
  {
    const std::uint32_t rowLevel = rows.MaxOutlineLevel(), colLevel = columns.MaxOutlineLevel();
    auto guts = NewBiffRecord(kRecGuts, 8);
    guts->AddWord(rowLevel * 29);
    guts->AddWord(colLevel * 29);
    guts->AddWord(rowLevel ? rowLevel + 1 : 0);
    guts->AddWord(colLevel ? colLevel + 1 : 0);
    step(Add(kSettings, std::move(guts)));
  }
  {
    std::uint32_t wsbool = 0x0401;
    TXLSOutline& outline = sheet_.GetOutline();
    if (outline.GetSummaryRow() == 1) wsbool |= 0x0040;
    if (outline.GetSummaryColumn() == 1) wsbool |= 0x0080;
    const Variant zoom = page.GetZoom();
    if (zoom.IsBoolean() && !zoom.BooleanValue()) wsbool |= 0x0100;
    step(Add(kSettings, WordRecord(kRecWsBool, wsbool)));
  }
  step(Add(kSettings, BuildPageBreaks(true)));
  step(Add(kSettings, BuildPageBreaks(false)));
  step(Add(kSettings, BuildSetup()));
  step(WriteProtection());
  step(Add(kSettings, BuildDimensions()));
  if (result != 1) return result;

  // Head: BOF, then INDEX, whose DBCELL positions count from the start of the cell list.
  step(Add(kHead, BuildBofRecord(version_, 0x0010)));
  // INDEX as written: a long one goes on in CONTINUE records, whose headers move the cells.
  const std::uint32_t indexSize = SplitRecordSize(index_->GetRecordSize(version_), limit_);
  const std::uint32_t cellBase =
      streamOffset + lists_[kHead]->TotalSize() + indexSize + lists_[kSettings]->TotalSize();
  step(Add(kHead, index_->BuildIndexRecord(version_, cellBase)));
  if (result != 1) return result;

  // Drawing: BIFF8 writes the shapes' records, both formats the NOTE records of the comments.
  // Comment text is written plain: the writer sets no FILEPASS, so nothing would unscramble it.
  if (TMsoDrawing* drawing = FindDrawing(sheet_); drawing && result == 1) {
    TXLSBlobList& list = *lists_[kDrawing];
    if (!biff5) step(drawing->WriteDrawing(list, limit_, false));
    step(drawing->WriteNotes(list, biff5 ? 0x0500 : 0x0600, codePage_));
  }
  step(Add(kTail, DoubleRecord(kRecBottomMargin, page.GetBottomMargin())));
  step(Add(kTail, DoubleRecord(kRecTopMargin, page.GetTopMargin())));
  step(Add(kTail, DoubleRecord(kRecRightMargin, page.GetRightMargin())));
  step(Add(kTail, DoubleRecord(kRecLeftMargin, page.GetLeftMargin())));
  step(Add(kTail, WordRecord(kRecVCenter, page.GetCenterVertically() ? 1 : 0)));
  step(Add(kTail, WordRecord(kRecHCenter, page.GetCenterHorizontally() ? 1 : 0)));
  step(Add(kTail, BuildHeaderFooter(kRecFooter, page.GetLeftFooter(), page.GetCenterFooter(),
                                    page.GetRightFooter())));
  step(Add(kTail, BuildHeaderFooter(kRecHeader, page.GetLeftHeader(), page.GetCenterHeader(),
                                    page.GetRightHeader())));
  step(Add(kTail, BuildWindow2()));
  if (sheet_.GetZoom() != 100) {
    auto scl = NewBiffRecord(kRecScl, 4);
    scl->AddWord(sheet_.GetZoom());
    scl->AddWord(100);
    step(Add(kTail, std::move(scl)));
  }
  if (sheet_.HasPanes()) step(Add(kTail, sheet_.GetPanes().BuildPane()));
  step(Add(kTail, BuildSelection()));
  step(Add(kTail, columns.BuildStandardWidth()));
  // The protected ranges (FEAT of the protection feature) go only with the protection's header
  // (SHEETPROTECTION), which a sheet that is not protected does not write.
  const bool protectedRanges = sheet_.Protection().GetProtected();
  auto kept = [&](TKeptPlace place) {
    auto sink = [&](std::unique_ptr<TXLSBlob> record) {
      if (!protectedRanges && record->GetSize() >= 18 && record->GetWord(0) == kRecFeat && record->GetWord(16) == 2) return 1;
      return Add(kTail, std::move(record));
    };
    if (!biff5 && result == 1 && WriteSheetKeptRecords(sheet_, place, sink) < 0) step(-1);
  };
  kept(TKeptPlace::kSort);
  if (!biff5 && result == 1 && sheet_.HasHyperlinks())
    step(sheet_.Hyperlinks().WriteRecords([this](std::unique_ptr<TXLSBlob> record) { return Add(kTail, std::move(record)); }));
  // Conditional formats, then data validations (BIFF8 only).
  if (!biff5 && result == 1 &&
      WriteSheetRuleRecords(sheet_, [this](std::unique_ptr<TXLSBlob> record) { return Add(kTail, std::move(record)); }) < 0)
    step(-1);
  if (sheet_.Workbook()->KeepsVBA() && !sheet_.GetCodeName().empty())
    step(Add(kTail, CodeNameRecord(sheet_.GetCodeName())));
  if (!biff5 && sheet_.Protection().GetProtected()) {
    auto b = NewBiffRecord(kRecSheetProtection, 23);
    b->AddWord(kRecSheetProtection);
    for (int i = 0; i < 10; ++i) b->AddByte(0);
    b->AddByte(2);
    b->AddByte(0);
    b->AddByte(1);
    for (int i = 0; i < 4; ++i) b->AddByte(0xFF);
    b->AddWord(sheet_.Protection().GetOptions());
    b->AddWord(0);
    step(Add(kTail, std::move(b)));
  }
  kept(TKeptPlace::kFeatures);
  step(Add(kTail, NewBiffRecord(kRecEof, 0)));
  return result;
}

}  // namespace xls
