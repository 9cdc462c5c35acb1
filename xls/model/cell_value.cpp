#include "xls/model/cell_value.h"

#include "xls/model/cell_address.h"
#include "xls/model/cell_store.h"
#include "xls/model/range.h"
#include "xls/model/string_table.h"
#include "xls/model/variant.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

// Gives back what the cell's value holds in the string table; the cell becomes blank.
void ReleaseValue(TXLSCellRef& cell, IXLSWorksheet& sheet) {
  if (cell.Kind() == kCellString) {
    sheet.Workbook()->StringTable().Release(cell.StringIndex());
    cell.SetStringIndex(-1);
  }
  cell.SetKind(kCellBlank);
}

}  // namespace

double TXLSCellRef::SerialValue() const {
  return Kind() == kCellDate ? DateTimeToSerial(Value()) : Value();
}

std::int32_t TXLSCellRef::SetValue(TXLSCellRef& cell, IXLSWorksheet& sheet, const Variant& v) {
  if (cell.IsMergedNonMaster()) return 1;
  const VarType t = v.Type();
  ReleaseValue(cell, sheet);
  // Formulas and the lookup memos calculated before this value calculate again.
  sheet.Workbook()->BumpRecalcStamp();
  if (v.IsText() && v.TextValue().size() > 1 && v.TextValue()[0] == u'=') {
    // A formula; text that does not compile is kept as text, "=" included.
    if (std::unique_ptr<TXLSCellFormula> f = CompileCellFormula(sheet, v.TextValue().substr(1))) {
      cell.SetFormula(std::move(f));
      return 1;
    }
    cell.SetStringIndex(sheet.Workbook()->StringTable().Add(v.TextValue()));
    cell.SetKind(kCellString);
    return 1;
  }
  if (v.IsEmptyOrNull()) return 1;
  if (v.IsNumber() && t != VarType::Date) {
    cell.SetKind(kCellNumber);
    cell.SetNumber(v.NumberValue());
  } else if (t == VarType::Date && sheet.Workbook()->GetDate1904()) {
    // A 1904 book holds serials only (see TXLSWorkbook::SetDate1904).
    cell.SetKind(kCellNumber);
    cell.SetNumber(sheet.Workbook()->SerialOfDate(v.NumberValue()));
  } else if (t == VarType::Date) {
    cell.SetKind(kCellDate);
    cell.SetNumber(v.NumberValue());
  } else if (t == VarType::Boolean) {
    cell.SetKind(kCellBoolean);
    cell.SetNumber(v.BooleanValue() ? 1.0 : 0.0);
  } else if (t == VarType::Error) {
    cell.SetKind(kCellError);
    cell.SetNumber(v.ErrorCode());
  } else if (v.IsText()) {
    const std::u16string& given = v.TextValue();
    if (given.empty()) return 1;
    // A leading apostrophe marks text and is not part of it.
    const std::u16string unquoted = given[0] == u'\'' ? given.substr(1) : std::u16string();
    const std::u16string& text = given[0] == u'\'' ? unquoted : given;
    if (text.find(u'\n') != std::u16string::npos) {
      IXLSRange one = TXLSRange::CreateRC(&sheet, cell.Row(), cell.Column(), cell.Row(), cell.Column());
      one->SetWrapText(Variant(true));
    }
    cell.SetStringIndex(sheet.Workbook()->StringTable().Add(text));
    cell.SetKind(kCellString);
  }
  return 1;
}

std::int32_t TXLSCellRef::GetValue(const TXLSCellRef& cell, const IXLSWorksheet& sheet, Variant& out) {
  switch (cell.Kind()) {
    case kCellBlank:
      out = Variant();
      return 1;
    case kCellString:
      out = Variant(sheet.Workbook()->StringTable().GetString(cell.StringIndex()));
      return 1;
    case kCellNumber:
      out = Variant(cell.Value());
      return 1;
    case kCellDate:
      out = Variant::Date(cell.Value());
      return 1;
    case kCellBoolean:
      out = Variant(cell.Value() > 0);
      return 1;
    case kCellError:
      out = Variant::Error(static_cast<std::int32_t>(cell.Value()));
      return 1;
    case kCellFormula:
      return cell.Formula()->Value(sheet, cell.Row(), cell.Column(), out);
    default:
      return -1;
  }
}

void TXLSCellRef::GetValueOrEmpty(const TXLSCellRef& cell, const IXLSWorksheet& sheet, Variant& out) {
  // What a merged area covers is not shown (formulas still read it).
  if (cell.IsMergedNonMaster()) {
    out = Variant();
    return;
  }
  const std::int32_t status = GetValue(cell, sheet, out);
  if (status == 1) return;
  // A formula whose result is a spreadsheet error reads as that error, as a stored error does.
  const bool error = status == 0 || status == 7 || status == 15 || status == 23 || status == 29 || status == 36 ||
                     status == 42;
  out = error ? Variant::Error(status) : Variant();
}

struct TXLSCellFormula::Kept {
  std::int32_t status;
  Variant value;
  bool provisional;
};

void TXLSCellFormula::KeepResult(std::int32_t status, const Variant& value, bool provisional) {
  kept_ = std::make_shared<const Kept>(Kept{status, status == 1 ? value : Variant(), provisional});
}

bool TXLSCellFormula::ResultAsRead(const IXLSWorksheet& sheet, std::int32_t& status, Variant& fileValue) const {
  if (!kept_ || kept_->provisional || !sheet.Workbook()->ResultsAsRead()) return false;
  status = kept_->status;
  fileValue = kept_->value;
  return true;
}

void TXLSCellFormula::KeepResultOf(const TXLSCellFormula& other) {
  kept_ = other.kept_;
  fileOptions_ = other.fileOptions_;
}

std::int32_t TXLSCellFormula::Value(const IXLSWorksheet& sheet, int row, int column, Variant& out, bool* stale) {
  if (stale) *stale = false;
  if (kept_ && !kept_->provisional && sheet.Workbook()->ResultsAsRead()) {
    out = kept_->value;
    return kept_->status;
  }
  const std::int32_t status = Calculate(sheet, row, column, out);
  if (!kept_) return status;
  // 1 or a spreadsheet error code: the formula has a value of its own now.
  if (status >= 0) {
    kept_.reset();
    return status;
  }
  if (stale) *stale = true;
  out = kept_->value;
  return kept_->status;
}

std::int32_t TXLSCellRef::GetFormulaOrValue(const TXLSCellRef& cell, const IXLSWorksheet& sheet,
                                            Variant& out) {
  if (HasFormula(cell)) {
    std::u16string text = cell.Formula()->Text(sheet, cell.Row(), cell.Column());
    out = text.empty() ? Variant() : Variant(std::move(text));
    return 1;
  }
  if (cell.IsMergedNonMaster()) {
    out = Variant();
    return 1;
  }
  return GetValue(cell, sheet, out);
}

bool TXLSCellRef::HasFormula(const TXLSCellRef& cell) {
  return cell.Kind() == kCellFormula && !cell.IsMergedNonMaster();
}

void ClearCell(std::int32_t row, std::int32_t column, IXLSWorksheet& sheet, std::int32_t mask,
               std::int32_t mode) {
  if (row < 0 || row > 65535 || column < 0 || column > 255) return;
  if ((mask & kMaskComments) && sheet.DrawingSlot()) sheet.DrawingSlot()->DeleteRect(row, column, column, row);
  TXLSCellHeap& heap = sheet.Cells();
  TXLSXFList& xfs = sheet.Workbook()->XFList();
  TXLSCellRef* cell = heap.FindCell(row, column);
  if (cell) {
    if (mask == kMaskAll) {
      if (cell->IsMergeMaster()) {
        TXLSRange::CreateRC(&sheet, row, column, row, column)->UnMerge();
      }
      heap.DeleteCell(row, column);
      return;
    }
    if (mask & kMaskFormats) {
      if (cell->IsMergeMaster()) {
        TXLSRange::CreateRC(&sheet, row, column, row, column)->UnMerge();
      }
      xfs.MoveUse(cell->XF(), 0);
      cell->SetXF(0);
    } else if (mask & kMaskNumberFormat) {
      IXLSRange one = TXLSRange::CreateRC(&sheet, row, column, row, column);
      if (one->GetNumberFormat() != u"General") one->SetNumberFormat(u"General");
    }
    if (mask & kMaskContents) TXLSCellRef::SetValue(*cell, sheet, Variant());
    return;
  }
  if (!(mask & kMaskFormats)) return;
  std::int32_t r = sheet.GetRowXF(row);
  std::int32_t c = sheet.GetColumnXF(column);
  bool create = false;
  if (mode == 2) {
    create = r != 0 && c != r;
  } else if (mode == 1) {
    create = r == 0 && c != 0;
  } else {
    create = (r > 0 && r != 15) || (r == 0 && c > 0 && c != 15);
  }
  if (create) sheet.SetCellXF(row, column, 0);
}

void CopyCell(std::int32_t srcRow, std::int32_t srcColumn, IXLSWorksheet& src, std::int32_t dstRow,
              std::int32_t dstColumn, IXLSWorksheet& dst, std::int32_t mask) {
  if (srcRow < 0 || srcRow > 65535 || srcColumn < 0 || srcColumn > 255) {
    ClearCell(dstRow, dstColumn, dst, mask, 0);
    return;
  }
  if (&src == &dst && srcRow == dstRow && srcColumn == dstColumn) return;
  if (mask & kMaskComments) {
    if (TXLSSheetDrawingBase* from = src.DrawingSlot()) from->CopyComment(srcRow, srcColumn, dst, dstRow, dstColumn);
    else if (TXLSSheetDrawingBase* to = dst.DrawingSlot()) to->DeleteRect(dstRow, dstColumn, dstColumn, dstRow);
  }
  const bool sameBook = src.Workbook() == dst.Workbook();
  TXLSCellHeap& dheap = dst.Cells();
  TXLSCellRef* s = src.Cells().FindCell(srcRow, srcColumn);

  if ((mask & kMaskNumberFormat) && !(mask & kMaskFormats)) {
    IXLSRange from = TXLSRange::CreateRC(&src, srcRow, srcColumn, srcRow, srcColumn);
    IXLSRange to = TXLSRange::CreateRC(&dst, dstRow, dstColumn, dstRow, dstColumn);
    std::u16string f = from->GetNumberFormat();
    if (to->GetNumberFormat() != f) to->SetNumberFormat(f);
  }

  if (mask & kMaskContents) {
    if (!s) {
      if (TXLSCellRef* d = dheap.FindCell(dstRow, dstColumn)) {
        TXLSCellRef::SetValue(*d, dst, Variant());
        if (d->Merged() ||
            (mask == kMaskAll && dst.GetCellXF(dstRow, dstColumn) == src.GetCellXF(srcRow, srcColumn))) {
          if (d->IsMergeMaster()) {
            TXLSRange::CreateRC(&dst, dstRow, dstColumn, dstRow, dstColumn)->UnMerge();
          }
          dheap.DeleteCell(dstRow, dstColumn);
        }
      }
    } else if (sameBook && !s->IsMergedNonMaster()) {
      TXLSCellRef* d = dheap.GetOrCreateCell(dstRow, dstColumn);
      if (!d->IsMergedNonMaster()) {
        TXLSStringTable& sst = dst.Workbook()->StringTable();
        if (s->Kind() == kCellString) {
          if (d->Kind() == kCellString) {
            sst.MoveUse(d->StringIndex(), s->StringIndex());
          } else {
            sst.MoveUse(0, s->StringIndex());
          }
          d->SetStringIndex(s->StringIndex());
          d->SetKind(kCellString);
        } else {
          if (d->Kind() == kCellString) sst.Release(d->StringIndex());
          if (const TXLSCellFormula* f = s->Formula()) {
            // Relative references keep pointing at the same neighbours.
            d->SetFormula(f->CopyMoved(dstRow - srcRow, dstColumn - srcColumn));
          } else {
            d->SetNumber(s->Value());
            d->SetKind(s->Kind());
          }
        }
      }
    } else {
      Variant v;
      TXLSCellRef::GetValueOrEmpty(*s, src, v);
      TXLSCellRef::SetValue(*dheap.GetOrCreateCell(dstRow, dstColumn), dst, v);
    }
  }

  if (mask & kMaskFormats) {
    TXLSCellRef* d = dheap.FindCell(dstRow, dstColumn);
    if (d && d->IsMergeMaster()) {
      TXLSRange::CreateRC(&dst, dstRow, dstColumn, dstRow, dstColumn)->UnMerge();
    }
    if (s && s->IsMergeMaster()) {
      std::int32_t lastRow = dstRow + s->Merge()->rows - 1;
      std::int32_t lastCol = dstColumn + s->Merge()->columns - 1;
      if (lastRow <= 65535 && lastCol <= 255) {
        TXLSRange::CreateRC(&dst, dstRow, dstColumn, lastRow, lastCol)->Merge(false);
      }
    }
    std::int32_t sxf = src.GetCellXF(srcRow, srcColumn);
    if (sameBook) {
      if (dst.GetCellXF(dstRow, dstColumn) != sxf) dst.SetCellXF(dstRow, dstColumn, sxf);
    } else {
      TXLSXFList& dxfs = dst.Workbook()->XFList();
      std::int32_t imported = dxfs.ImportPortableKey(src.Workbook()->XFList().ExportPortableKey(sxf));
      dst.SetCellXF(dstRow, dstColumn, imported);
      dxfs.MoveUse(imported, 0);  // the import counted one use; SetCellXF counted the cell's
    }
  }
}

}  // namespace xls
