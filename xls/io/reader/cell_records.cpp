// The cell records of a worksheet substream. Values go straight into the cell store with the
// meaning of the value setter (text is literal text, numbers in date formats of a 1904 book
// move to the 1900 system; a cell a merged area covers takes its value all the same) and the
// XF as IXLSWorksheet::SetCellXF sets it, one use moved.
#include "xls/formula/calc/calculator.h"
#include "xls/formula/formula.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/reader/workbook_reader.h"
#include "xls/model/cell_address.h"
#include "xls/model/cell_store.h"
#include "xls/model/key_text.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

enum : std::uint16_t {
  kRecFormula = 0x0006,
  kRecMulRk = 0x00BD,
  kRecMulBlank = 0x00BE,
  kRecRString = 0x00D6,
  kRecLabelSST = 0x00FD,
  kRecBlank = 0x0201,
  kRecNumber = 0x0203,
  kRecLabel = 0x0204,
  kRecBoolErr = 0x0205,
  kRecString = 0x0207,
  kRecRk = 0x027E,
  kRecFormula4 = 0x0406,
  kRecArray = 0x0221,
  kRecShrFmla = 0x04BC,
};

constexpr std::uint8_t kPtgExp = 0x01;

// FORMULA option bits: the result is to be calculated on load (it is not current); the cell
// belongs to a shared formula. Neither describes the formula as we keep it: the other bits do.
constexpr std::uint16_t kFormulaCalcOnLoad = 0x0002;
constexpr std::uint16_t kFormulaShared = 0x0008;
std::uint16_t KeptOptions(std::uint16_t options) {
  return static_cast<std::uint16_t>(options & ~(kFormulaCalcOnLoad | kFormulaShared));
}

}  // namespace

struct TXLSReader::CellPlace {
  TXLSCellRef* cell = nullptr;
  std::int32_t row = 0, column = 0;
};

bool TXLSReader::Place(std::int32_t row, std::int32_t column, CellPlace& place) {
  if (row < 0 || row > 65535 || column < 0 || column > 255) return false;
  place.cell = sheet_->Cells().GetOrCreateCell(row, column);
  place.row = row;
  place.column = column;
  return place.cell != nullptr;
}

std::int32_t TXLSReader::FileXF(std::int32_t xf) const {
  return xf < workbook_.XFList().Count() ? xf : TXLSXFList::kDefaultCellXF;
}

void TXLSReader::SetXF(CellPlace& place, std::int32_t xf) {
  xf = FileXF(xf);
  workbook_.XFList().MoveUse(place.cell->XF(), xf);
  place.cell->SetXF(xf);
}

namespace {

// What the value setter does first: the cell gives back its string and becomes blank. A cell
// a merged area covers keeps its value too, as the file holds it.
void ClearForValue(TXLSCellRef& cell, TXLSWorkbook& book) {
  if (cell.Kind() == kCellString) {
    book.StringTable().Release(cell.StringIndex());
    cell.SetStringIndex(-1);
  }
  cell.SetKind(kCellBlank);
}

}  // namespace

void TXLSReader::SetNumber(CellPlace& place, double value) {
  ClearForValue(*place.cell, workbook_);
  place.cell->SetKind(kCellNumber);
  place.cell->SetNumber(value);
}

void TXLSReader::SetText(CellPlace& place, const std::u16string& text) {
  if (text.size() > kMaxCellText) ++sheetLosses_.longTexts;
  ClearForValue(*place.cell, workbook_);
  place.cell->SetStringIndex(workbook_.StringTable().Add(text));
  place.cell->SetKind(kCellString);
}

void TXLSReader::SetSharedText(CellPlace& place, std::uint32_t sstIndex) {
  if (sstIndex >= sharedStart_.size()) {
    static const std::u16string kEmpty;
    SetText(place, kEmpty);
    return;
  }
  ClearForValue(*place.cell, workbook_);
  const std::size_t start = sharedStart_[sstIndex];
  const std::size_t end = sstIndex + 1 < sharedStart_.size() ? sharedStart_[sstIndex + 1] : sharedText_.size();
  const char16_t* text = sharedText_.data() + start;
  if (end - start > kMaxCellText) ++sheetLosses_.longTexts;
  TXLSStringTable& table = workbook_.StringTable();
  SharedPlace& shared = sstPlaces_[sstIndex];
  if (!table.UseAgain(shared.index, shared.serial)) {
    shared.index = table.Add(text, end - start);
    shared.serial = table.SerialOf(shared.index);
  }
  place.cell->SetStringIndex(shared.index);
  place.cell->SetKind(kCellString);
}

void TXLSReader::SetBoolOrError(CellPlace& place, bool error, std::uint8_t value) {
  ClearForValue(*place.cell, workbook_);
  place.cell->SetKind(error ? kCellError : kCellBoolean);
  place.cell->SetNumber(error ? value : (value == 1 ? 1.0 : 0.0));
}

void TXLSReader::SetBlank(CellPlace& place) { ClearForValue(*place.cell, workbook_); }

bool TXLSReader::LabelText(TXLSRecordBody& body, std::size_t offset, int codePage, std::u16string& text) {
  std::size_t pos = offset;
  return Biff8() ? body.String(pos, false, true, 1252, text) : body.String(pos, false, false, codePage, text);
}

void TXLSReader::Cell(std::uint16_t id, const std::uint8_t* data, std::size_t size) {
  TXLSRecordBody body(data, size);
  // A STRING record has no cell address: that of an empty text is 3 bytes long (BIFF5: 2).
  if (id == kRecString) return FormulaString(body);
  const std::int32_t row = body.Word(0);
  const std::int32_t column = body.Word(2);
  if (!body.ok) return;
  CellPlace place;
  switch (id) {
    case kRecNumber: {
      const std::int32_t xf = body.Word(4);
      const double value = body.Double(6);
      if (!body.ok || !Place(row, column, place)) return;
      SetXF(place, xf);
      SetNumber(place, value);
      return;
    }
    case kRecRk: {
      const std::int32_t xf = body.Word(4);
      const std::uint32_t rk = body.DWord(6);
      if (!body.ok || !Place(row, column, place)) return;
      SetXF(place, xf);
      SetNumber(place, DecodeRK(rk));
      return;
    }
    case kRecMulRk: {
      // Entries of 6 bytes between the first column and the trailing last-column word.
      if (body.size < 6) return;
      const std::size_t count = (body.size - 6) / 6;
      for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t xf = body.Word(4 + 6 * i);
        const std::uint32_t rk = body.DWord(6 + 6 * i);
        if (!Place(row, column + static_cast<std::int32_t>(i), place)) return;
        SetXF(place, xf);
        SetNumber(place, DecodeRK(rk));
      }
      return;
    }
    case kRecMulBlank: {
      if (body.size < 6) return;
      const std::size_t count = (body.size - 6) / 2;
      for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t xf = body.Word(4 + 2 * i);
        if (!Place(row, column + static_cast<std::int32_t>(i), place)) return;
        SetBlank(place);
        SetXF(place, xf);
      }
      return;
    }
    case kRecBlank: {
      const std::int32_t xf = body.Word(4);
      if (!body.ok || !Place(row, column, place)) return;
      SetBlank(place);
      SetXF(place, xf);
      return;
    }
    case kRecLabel:
    case kRecRString: {
      const std::int32_t xf = body.Word(4);
      std::u16string text;
      if (!body.ok || !LabelText(body, 6, codePage_, text) || !Place(row, column, place)) return;
      SetText(place, text);
      SetXF(place, xf);
      // The text is kept, the formatting runs after it (an RSTRING's, a BIFF8 LABEL's with
      // option bit 3) are not.
      if (id == kRecRString || (Biff8() && (body.Byte(8) & 0x08))) ++sheetLosses_.richTexts;
      return;
    }
    case kRecLabelSST: {
      const std::int32_t xf = body.Word(4);
      const std::uint32_t index = body.DWord(6);
      if (!body.ok || !Place(row, column, place)) return;
      SetSharedText(place, index);
      SetXF(place, xf);
      return;
    }
    case kRecBoolErr: {
      const std::int32_t xf = body.Word(4);
      const std::uint8_t value = body.Byte(6);
      const std::uint8_t isError = body.Byte(7);
      if (!body.ok || !Place(row, column, place)) return;
      SetBoolOrError(place, isError != 0, value);
      SetXF(place, xf);
      return;
    }
    case kRecFormula:
    case kRecFormula4:
      Formula(body);
      return;
    case kRecShrFmla:
    case kRecArray:
      SharedOrArrayFormula(id, body);
      return;
    default:
      return;
  }
}

// The cached result of a FORMULA at offset 6: a double, or, with FF FF in its last two bytes,
// a type byte (0 text in a STRING record, 1 Boolean, 2 error, 3 empty text) and its value byte.
// An empty result is what programs that do not calculate write for every formula.
bool TXLSReader::FormulaResult(TXLSRecordBody& body, std::int32_t& status, Variant& value, bool& provisional) {
  status = 1;
  value = Variant();
  provisional = (body.Word(14) & kFormulaCalcOnLoad) != 0;
  if (body.Word(12) != 0xFFFF) {
    value = Variant(body.Double(6));
    return true;
  }
  switch (body.Byte(6)) {
    case 0:
      return false;
    case 1:
      value = Variant(body.Byte(8) == 1);
      return true;
    case 2:
      status = body.Byte(8);
      return true;
    default:
      provisional = true;
      value = Variant(std::u16string());
      return true;
  }
}

void TXLSReader::KeepFormulaResult(std::int32_t row, std::int32_t column, std::int32_t status, const Variant& value,
                                   bool provisional) {
  if (TXLSCellFormula* f = sheet_->GetCellFormula(row, column)) {
    f->KeepResult(status, value, provisional);
    return;
  }
  CellPlace place;
  if (!Place(row, column, place)) return;
  if (status != 1) {
    SetBoolOrError(place, true, static_cast<std::uint8_t>(status));
  } else if (value.IsBoolean()) {
    SetBoolOrError(place, false, value.BooleanValue() ? 1 : 0);
  } else if (value.IsText()) {
    SetText(place, value.TextValue());  // an empty text too: the cell keeps what it showed
  } else if (value.IsNumber()) {
    SetNumber(place, value.NumberValue());
  }
}

// The text result of the formula just read.
void TXLSReader::FormulaString(TXLSRecordBody body) {
  const std::int32_t row = stringRow_, column = stringColumn_;
  stringRow_ = stringColumn_ = -1;
  std::u16string text;
  if (row < 0 || !LabelText(body, 0, codePage_, text)) return;
  if (text.size() > kMaxCellText) ++sheetLosses_.longTexts;
  KeepFormulaResult(row, column, 1, Variant(text), stringProvisional_);
}

// The tokens of a FORMULA: compiled into the cell, or, for a cell of a shared or array
// formula (a ptgExp token), taken from its anchor cell. The cached result stays with the
// formula (and becomes the value of a cell whose formula cannot be read), and so do the
// record's options and, where they name nothing by a number of the file's own lists, its tokens
// as read.
void TXLSReader::Formula(TXLSRecordBody body) {
  DropPendingAnchor();
  stringRow_ = stringColumn_ = -1;
  const std::int32_t row = body.Word(0), column = body.Word(2), xf = body.Word(4);
  const std::uint16_t options = body.Word(14);
  const std::uint8_t first = body.Byte(22);
  CellPlace place;
  if (!body.ok || !Place(row, column, place)) return;
  std::int32_t status = 1;
  Variant result;
  bool provisional = false;
  const bool hasResult = FormulaResult(body, status, result, provisional);
  if (!hasResult) {
    stringRow_ = row;
    stringColumn_ = column;
    stringProvisional_ = provisional;
  }
  TXLSCalculator& calc = workbook_.Formulas().Calculator();
  calc.Compiler().SetCodePage(SSTCodePage());
  if (first != kPtgExp) {
    // Offset references (a formula read from a shared-formula style token) become the cell's own.
    if (std::unique_ptr<TXLSCompiledFormula> f =
            calc.CompileSizedBytes(body.data, body.size, 20, version_, row, column)) {
      if (!calc.Compiler().DecodedListNumbers())
        f->KeepReadBytes(std::vector<std::uint8_t>(body.data + 20, body.data + body.size), FileFormat(), row, column);
      sheet_->SetCellFormula(row, column, std::move(f));
    }
  } else {
    const std::int32_t anchorRow = body.Word(23), anchorColumn = body.Word(25);
    if (!body.ok) {
      ++sheetLosses_.formulas;
      return SetXF(place, xf);
    }
    if (anchorRow == row && anchorColumn == column) {
      pendingRow_ = row;
      pendingColumn_ = column;
      pendingStatus_ = status;
      pendingResult_ = result;
      pendingHasResult_ = hasResult;
      pendingProvisional_ = provisional;
      pendingOptions_ = options;
    } else if (auto* anchor = dynamic_cast<TXLSCompiledFormula*>(sheet_->GetCellFormula(anchorRow, anchorColumn))) {
      const TXLSArrayFormula* link = anchor->ArrayLink();
      if (!link && anchor->HasTree()) {
        // A cell of a shared formula: the anchor's formula moved to this cell, with references of
        // its own (not offsets), so that they follow inserted and deleted cells.
        sheet_->SetCellFormula(row, column, anchor->CopyMovedFormula(row - anchorRow, column - anchorColumn));
      } else if (link && link->owner) {
        sheet_->SetCellFormula(row, column, TXLSCompiledFormula::CreateArrayMember(
                                                TXLSArrayFormula::CreateMember(anchorRow, anchorColumn, anchor)));
      }
    }
  }
  // The cell record may have been made again by the formula setter: find it afresh.
  if (Place(row, column, place)) SetXF(place, xf);
  if (pendingRow_ == row && pendingColumn_ == column) return;
  if (TXLSCellFormula* f = sheet_->GetCellFormula(row, column)) f->SetFileOptions(KeptOptions(options));
  else ++sheetLosses_.formulas;
  if (hasResult) KeepFormulaResult(row, column, status, result, provisional);
}

// A shared or array formula's anchor whose SHRFMLA or ARRAY record did not come (or could not
// be read) keeps the last result as its value.
void TXLSReader::DropPendingAnchor() {
  if (pendingRow_ < 0) return;
  const std::int32_t row = pendingRow_, column = pendingColumn_;
  pendingRow_ = pendingColumn_ = -1;
  if (sheet_->GetCellFormula(row, column)) return;
  ++sheetLosses_.formulas;
  if (pendingHasResult_) KeepFormulaResult(row, column, pendingStatus_, pendingResult_, pendingProvisional_);
}

namespace {

bool NamesByListNumber(const TXLSCompiledFormula& formula) {
  return formula.AnyNode([](std::int32_t kind, const TXLSRangeItem* range) {
    return kind == kNodeName || (range && (range->Is3d() || range->externId > 0));
  });
}

}  // namespace

void TXLSReader::SharedOrArrayFormula(std::uint16_t id, TXLSRecordBody body) {
  const std::int32_t anchorRow = pendingRow_, anchorColumn = pendingColumn_;
  const std::int32_t firstRow = body.Word(0), lastRow = body.Word(2);
  const std::int32_t firstColumn = body.Byte(4), lastColumn = body.Byte(5);
  if (!body.ok || anchorRow < 0 || anchorRow < firstRow || anchorRow > lastRow || anchorColumn < firstColumn ||
      anchorColumn > lastColumn)
    return DropPendingAnchor();
  pendingRow_ = pendingColumn_ = -1;
  TXLSCalculator& calc = workbook_.Formulas().Calculator();
  std::unique_ptr<TXLSCompiledFormula> f =
      calc.CompileSizedBytes(body.data, body.size, id == kRecArray ? 12 : 8, version_, anchorRow, anchorColumn);
  if (f) {
    if (id == kRecArray) {
      f->SetArrayFormula(TXLSArrayFormula::Create(firstRow, firstColumn, lastRow, lastColumn, f.get()));
      // Tokens that name nothing by a number of the file's own lists (names, sheets) mean the
      // same in a save of the same format: they are written back as read.
      if (f->HasTree() && !NamesByListNumber(*f) && body.size > 6)
        f->KeepReadBytes(std::vector<std::uint8_t>(body.data + 6, body.data + body.size), FileFormat());
    }
    sheet_->SetCellFormula(anchorRow, anchorColumn, std::move(f));
  }
  if (TXLSCellFormula* kept = sheet_->GetCellFormula(anchorRow, anchorColumn)) kept->SetFileOptions(KeptOptions(pendingOptions_));
  else ++sheetLosses_.formulas;
  if (pendingHasResult_)
    KeepFormulaResult(anchorRow, anchorColumn, pendingStatus_, pendingResult_, pendingProvisional_);
}

}  // namespace xls
