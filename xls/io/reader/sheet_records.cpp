// The records of a worksheet substream: rows and columns, default sizes, merged areas, page
// setup, header and footer, page breaks, window settings, protection and hyperlinks. Cell
// records go on to cell_records.cpp.
#include <algorithm>
#include <cmath>
#include <vector>

#include "xls/formula/rules/sheet_rules.h"
#include "xls/io/drawing/filter_dropdowns.h"
#include "xls/io/reader/reader_drawing.h"
#include "xls/io/reader/workbook_reader.h"
#include "xls/model/cell_address.h"
#include "xls/model/range.h"
#include "xls/model/variant.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

enum : std::uint16_t {
  kRecCalcCount = 0x000C,
  kRecCalcMode = 0x000D,
  kRecRefMode = 0x000F,
  kRecDelta = 0x0010,
  kRecIteration = 0x0011,
  kRecSaveRecalc = 0x005F,
  kRecProtect = 0x0012,
  kRecPassword = 0x0013,
  kRecHeader = 0x0014,
  kRecFooter = 0x0015,
  kRecExternSheet = 0x0017,
  kRecVPageBreaks = 0x001A,
  kRecHPageBreaks = 0x001B,
  kRecSelection = 0x001D,
  kRecLeftMargin = 0x0026,
  kRecRightMargin = 0x0027,
  kRecTopMargin = 0x0028,
  kRecBottomMargin = 0x0029,
  kRecPrintHeaders = 0x002A,
  kRecPrintGridlines = 0x002B,
  kRecPane = 0x0041,
  kRecDefColWidth = 0x0055,
  kRecColInfo = 0x007D,
  kRecWsBool = 0x0081,
  kRecHCenter = 0x0083,
  kRecVCenter = 0x0084,
  kRecStandardWidth = 0x0099,
  kRecScl = 0x00A0,
  kRecSetup = 0x00A1,
  kRecMergedCells = 0x00E5,
  kRecHLink = 0x01B8,
  kRecCodeName = 0x01BA,
  kRecRow = 0x0208,
  kRecDefaultRowHeight = 0x0225,
  kRecWindow2 = 0x023E,
  kRecHLinkTooltip = 0x0800,
  kRecSheetExt = 0x0862,
  kRecSheetProtection = 0x0867,  // a FEATHEADR whose feature is the sheet's protection
  kRecFeat = 0x0868,
  kRecSort = 0x0090,
  kRecFeat11 = 0x0872,  // a table (list), and its newer form
  kRecFeat12 = 0x0878,
  kRecCondFmt12 = 0x0879,
  kRecCF12 = 0x087A,
  kRecCFEx = 0x087B,
  kRecRString = 0x00D6,
  kRecLabel = 0x0204,
  kRecString = 0x0207,
  kRecFormula = 0x0006,
  kRecFormula4 = 0x0406,
  kRecArray = 0x0221,
  kRecShrFmla = 0x04BC,
  kRecNoteId = 0x001C,
  kRecObjId = 0x005D,
  kRecMsoDrawingId = 0x00EC,
  kRecAutofilterInfoId = 0x009D,
  kRecAutofilterId = 0x009E,
  kRecSxView = 0x00B0,
  kRecCondFmtId = 0x01B0,
  kRecCFId = 0x01B1,
  kRecDValId = 0x01B2,
  kRecDVId = 0x01BE,
  kRecTxoId = 0x01B6,
  // The cell records that come by the thousand.
  kRecMulRk = 0x00BD,
  kRecMulBlank = 0x00BE,
  kRecLabelSST = 0x00FD,
  kRecBlank = 0x0201,
  kRecNumber = 0x0203,
  kRecBoolErr = 0x0205,
  kRecRk = 0x027E,
};

// Header and footer texts: sections start at &L, &C and &R; text before the first code is
// the centre section; "&&" is an escaped ampersand and stays as it is.
void SplitHeaderFooter(const std::u16string& text, std::u16string (&parts)[3]) {
  int section = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t ch = text[i];
    if (ch == u'&' && i + 1 < text.size()) {
      const char16_t code = text[i + 1];
      if (code == u'&') {
        parts[section] += u"&&";
        ++i;
        continue;
      }
      const int to = code == u'L' ? 0 : code == u'C' ? 1 : code == u'R' ? 2 : -1;
      if (to >= 0) {
        section = to;
        ++i;
        continue;
      }
    }
    parts[section] += ch;
  }
}

// The record and its CONTINUE records as one body, without the first skip bytes of each CONTINUE.
std::vector<std::uint8_t> Joined(const TXLSBlobList& chunks, std::size_t skip) {
  std::vector<std::uint8_t> joined;
  for (std::size_t i = 0; i < chunks.Count(); ++i) {
    const TXLSBlob* chunk = chunks.GetChunk(i);
    const std::size_t from = i == 0 ? 0 : skip;
    if (chunk && chunk->GetSize() > from) joined.insert(joined.end(), chunk->GetData() + from, chunk->GetData() + chunk->GetSize());
  }
  return joined;
}

}  // namespace

int TXLSReader::Sheet(std::uint16_t id, const TXLSBlobList& chunks) {
  const std::uint16_t previous = previousSheetId_;
  previousSheetId_ = id;
  // CONTINUEFRT12 records go on the record of their kind before them.
  if (id != kRecContinueFrt12) newerCondFormat_ = id == kRecCondFmt12 || id == kRecCF12 || id == kRecCFEx;
  IXLSWorksheet* sheet = CurrentSheet();
  if (!sheet) return 1;
  switch (id) {
    case kRecNumber:
    case kRecRk:
    case kRecMulRk:
    case kRecLabelSST:
    case kRecBlank:
    case kRecMulBlank:
    case kRecBoolErr: {
      // Before anything else of the sheet is looked up.
      const TXLSBlob* first = chunks.GetChunk(0);
      Cell(id, first ? first->GetData() : nullptr, first ? first->GetSize() : 0);
      return 1;
    }
    default:
      break;
  }
  TXLSRecordBody body(chunks.GetChunk(0));
  TXLSPageSetup& page = *sheet->GetPageSetup();
  auto flag = [&body]() { return body.size >= 2 && body.Word(0) == 1; };
  // A BIFF8 record the model holds nothing of, kept as read for BIFF8 saves and counted.
  auto keep = [&](TKeptPlace place, std::size_t& count) {
    if (!Biff8()) return;
    SheetRules(*sheet).KeepRecord(place, id, Joined(chunks, 0));
    ++count;
  };
  auto margin = [&body](void (TXLSPageSetup::*set)(double), TXLSPageSetup& p) {
    if (body.size >= 8) (p.*set)(body.Double(0));
  };
  switch (id) {
    case kRecRefMode:  // the format's own program keeps the reference mode with each sheet
      if (body.size >= 2) workbook_.SetRefModeA1(body.Word(0));
      return 1;
    // So it keeps the calculation settings: every sheet carries the workbook's.
    case kRecCalcMode:
    case kRecCalcCount:
    case kRecIteration:
    case kRecSaveRecalc:
      if (body.size >= 2) {
        TXLSCalcSettings& calc = workbook_.CalcSettings();
        const std::uint16_t value = body.Word(0);
        (id == kRecCalcMode ? calc.calcMode : id == kRecCalcCount ? calc.calcCount
                              : id == kRecIteration               ? calc.iteration
                                                                  : calc.saveRecalc) = value;
      }
      return 1;
    case kRecDelta:
      if (body.size >= 8) workbook_.CalcSettings().delta = body.Double(0);
      return 1;
    case kRecProtect:
      if (flag()) sheet->Protection().SetProtected(true);
      return 1;
    case kRecPassword:
      if (body.size >= 2) sheet->Protection().SetPasswordHash(body.Word(0));
      return 1;
    case kRecHeader:
    case kRecFooter:
      HeaderFooter(body, id == kRecHeader);
      return 1;
    case kRecExternSheet:
      if (!Biff8()) ExternSheet(body);
      return 1;
    case kRecVPageBreaks:
    case kRecHPageBreaks:
      PageBreaks(body, id == kRecHPageBreaks);
      return 1;
    case kRecSelection:
      Selection(body);
      return 1;
    case kRecLeftMargin:
      margin(&TXLSPageSetup::SetLeftMargin, page);
      return 1;
    case kRecRightMargin:
      margin(&TXLSPageSetup::SetRightMargin, page);
      return 1;
    case kRecTopMargin:
      margin(&TXLSPageSetup::SetTopMargin, page);
      return 1;
    case kRecBottomMargin:
      margin(&TXLSPageSetup::SetBottomMargin, page);
      return 1;
    case kRecPrintHeaders:
      page.SetPrintHeadings(flag());
      return 1;
    case kRecPrintGridlines:
      page.SetPrintGridlines(flag());
      return 1;
    case kRecPane:
      Pane(body);
      return 1;
    case kRecDefColWidth:
      if (body.size >= 2) sheet->SetStandardWidth(ColWidthToChars((body.Word(0) * 296) & 0xFFFF));
      return 1;
    case kRecColInfo:
      ColInfo(body);
      return 1;
    case kRecWsBool:
      WsBool(body);
      return 1;
    case kRecHCenter:
      page.SetCenterHorizontally(flag());
      return 1;
    case kRecVCenter:
      page.SetCenterVertically(flag());
      return 1;
    case kRecStandardWidth:
      if (body.size >= 2) sheet->SetStandardWidth(ColWidthToChars(body.Word(0)));
      return 1;
    case kRecScl:
      if (body.size >= 4 && body.Word(2) != 0)
        sheet->SetZoom(Variant(static_cast<int>(std::lround(body.Word(0) * 100.0 / body.Word(2)))));
      return 1;
    case kRecSetup:
      Setup(body);
      return 1;
    case kRecMergedCells:
      MergedCells(body);
      return 1;
    case kRecHLink: {
      // A link continued in CONTINUE records goes on byte for byte.
      const std::vector<std::uint8_t> joined = Joined(chunks, 0);
      if (sheet->Hyperlinks().LoadHLINK(joined.data(), joined.size()) < 0) ++sheetLosses_.hyperlinks;
      return 1;
    }
    case kRecHLinkTooltip:
      sheet->Hyperlinks().LoadHLINKTooltip(body.data, body.size);
      return 1;
    case kRecNoteId:
      return workbook_.GetIgnoreDrawings() ? 1 : Note(body);
    case kRecObjId:
      if (!workbook_.GetIgnoreDrawings()) ReadSheetObjRecords(*sheet, chunks);
      return 1;
    case kRecTxoId:
      if (!workbook_.GetIgnoreDrawings()) {
        // The text is read as it was written. Files of other programs, and ours, keep it plain
        // whatever the workbook's protection; text stored scrambled (every byte rotated right by
        // 3 bits) shows in its flag byte, whose plain forms are 0 and 1: UTF-16 text turns it
        // into 0x20.
        const TXLSBlob* text = chunks.Count() > 1 ? chunks.GetChunk(1) : nullptr;
        const bool rotated = text && text->GetSize() > 0 && text->GetByte(0) == 0x20;
        ReadSheetTxoRecords(*sheet, chunks, rotated);
      }
      return 1;
    case kRecMsoDrawingId:
      if (workbook_.GetIgnoreDrawings()) return 1;
      return ReadSheetDrawingRecords(*sheet, chunks);
    // Cell rules: conditional formats, validations (which may drop the drawing's drop-down of a
    // list) and the autofilter.
    case kRecCondFmtId:
    case kRecCFId: {
      // A record continued in CONTINUE records is not read (its format, or its rule, is kept
      // empty and never written).
      const int read = SheetRules(*sheet).CondFormats().ReadRecord(id, chunks);
      if (read != 1 || chunks.Count() > 1) ++(id == kRecCondFmtId ? sheetLosses_.condFormats : sheetLosses_.condRules);
      return 1;
    }
    case kRecDValId:
    case kRecDVId:
      Validation(id, chunks);
      return 1;
    case kRecAutofilterInfoId:
      if (body.size >= 2 && body.Word(0) != 0) SheetRules(*sheet).Autofilter().SetColumnCount(body.Word(0));
      return 1;
    case kRecAutofilterId:
      return chunks.GetChunk(0) ? SheetRules(*sheet).Autofilter().ReadItem(*chunks.GetChunk(0), version_) : 1;
    case kRecFilterMode:
      SheetRules(*sheet).Autofilter().SetFilterModeAsRead();
      return 1;
    case kRecContinueFrt12:
      if (!newerCondFormat_) {
        // The newer filter's (those of other records are not theirs).
        if (Biff8() && (previous == kRecAutofilter12 || previous == kRecContinueFrt12))
          SheetRules(*sheet).Autofilter().KeepRecord12(id, Joined(chunks, 0));
        return 1;
      }
      [[fallthrough]];
    case kRecCondFmt12:
    case kRecCF12:
    case kRecCFEx:
      // The newer conditional formats, kept as read (the CONDFMT records keep the numbers that
      // CFEX records name).
      keep(TKeptPlace::kCondFormats, keptSheet_.condFormats);
      return 1;
    case kRecSort:
      if (!Biff8()) ++sheetLosses_.sorts;
      keep(TKeptPlace::kSort, keptSheet_.sorts);
      return 1;
    case kRecFeat:
      keep(TKeptPlace::kFeatures, keptSheet_.features);
      return 1;
    case kRecAutofilter12:
      // BIFF8's newer filters (above average, colours...): kept as read beside their column,
      // with the CONTINUEFRT12 records right behind them.
      if (Biff8()) SheetRules(*sheet).Autofilter().KeepRecord12(id, Joined(chunks, 0));
      return 1;
    case kRecSxView:
      ++sheetLosses_.pivotTables;
      return 1;
    case kRecFeat11:
    case kRecFeat12:
      ++sheetLosses_.tables;
      return 1;
    case kRecCodeName:
      if (body.size >= 4) {
        std::size_t pos = 0;
        std::u16string text;
        if (body.String(pos, false, true, 1252, text)) sheet->SetCodeName(text);
      }
      return 1;
    case kRecRow:
      Row(body);
      return 1;
    case kRecDefaultRowHeight:
      // Kept in twips as read: points in quarters would move 264 to 265.
      if (body.size >= 4 && body.Word(2) != 0) sheet->RowInfo().SetDefaultRowAsRead(body.Word(0), body.Word(2));
      return 1;
    case kRecWindow2:
      Window2(body);
      return 1;
    case kRecSheetExt:  // the sheet's tab colour, which the model does not keep
      ++sheetLosses_.tabColours;
      return 1;
    case kRecSheetProtection:
      if (body.size >= 14 && body.Word(12) != 2) {
        // The header of another shared feature (ignored errors, smart tags): kept with them.
        keep(TKeptPlace::kFeatures, keptSheet_.features);
        return 1;
      }
      if (body.size >= 23) sheet->Protection().SetOptions(body.Word(19));
      return 1;
    case kRecLabel:
    case kRecRString:
    case kRecString:
    case kRecFormula:
    case kRecFormula4:
    case kRecArray:
    case kRecShrFmla:
      if (chunks.Count() > 1) {
        // A long text goes on in CONTINUE records, BIFF8 starting each with an option byte; a
        // long formula (other programs write string constants of thousands of characters) goes
        // on byte for byte.
        const bool text = id == kRecLabel || id == kRecRString || id == kRecString;
        const std::vector<std::uint8_t> joined = Joined(chunks, text && Biff8() ? 1 : 0);
        Cell(id, joined.data(), joined.size());
        return 1;
      }
      Cell(id, body.data, body.size);
      return 1;
    default:
      Cell(id, body.data, body.size);
      return 1;
  }
}

void TXLSReader::HeaderFooter(TXLSRecordBody body, bool header) {
  std::u16string text;
  std::size_t pos = 0;
  if (body.size == 0) return;
  const bool ok = Biff8() ? body.String(pos, false, true, 1252, text) : body.String(pos, true, false, codePage_, text);
  if (!ok) return;
  std::u16string parts[3];
  SplitHeaderFooter(text, parts);
  TXLSPageSetup& page = *CurrentSheet()->GetPageSetup();
  if (header) {
    page.SetLeftHeader(parts[0]);
    page.SetCenterHeader(parts[1]);
    page.SetRightHeader(parts[2]);
  } else {
    page.SetLeftFooter(parts[0]);
    page.SetCenterFooter(parts[1]);
    page.SetRightFooter(parts[2]);
  }
}

void TXLSReader::PageBreaks(TXLSRecordBody body, bool horizontal) {
  const std::size_t count = body.Word(0);
  if (!body.ok) return;
  const std::size_t entry = Biff8() ? 6 : 2;
  const std::size_t fits = std::min(count, (body.size - 2) / entry);
  IXLSWorksheet& sheet = *CurrentSheet();
  for (std::size_t i = 0; i < fits; ++i) {
    const std::int32_t at = body.Word(2 + entry * i);
    if (horizontal) {
      sheet.GetHPageBreaks().AddBreak(at);
    } else if (at <= 255) {
      sheet.GetVPageBreaks().AddBreak(at);
    }
  }
}

void TXLSReader::Selection(TXLSRecordBody body) {
  const std::size_t active = body.Word(5);
  const std::size_t count = body.Word(7);
  const std::size_t o = 9 + 6 * active;
  if (!body.ok || active >= count || !body.Has(o, 6)) return;
  std::int32_t r1 = body.Word(o), r2 = body.Word(o + 2);
  std::int32_t c1 = body.Byte(o + 4), c2 = body.Byte(o + 5);
  if (r1 == 0 && r2 == 16383) r2 = 65535;
  if (r1 > r2) std::swap(r1, r2);
  if (c1 > c2) std::swap(c1, c2);
  TXLSRange::CreateRC(CurrentSheet(), r1, c1, r2, c2)->Select();
}

void TXLSReader::Pane(TXLSRecordBody body) {
  const std::uint16_t x = body.Word(0), y = body.Word(2), top = body.Word(4), left = body.Word(6);
  if (!body.ok) return;
  IXLSWorksheet& sheet = *CurrentSheet();
  if (frozen_) {
    sheet.FreezePanes(x, y, top, left);
    return;
  }
  // A split: x in 1/113.879 of a character past an offset of 390, y in twips past 255. The
  // distances become column and row counts from the first visible column and row.
  const double characters = x > 390 ? (x - 390) / 113.879 : 0;
  const double points = y > 255 ? (y - 255) / 20.0 : 0;
  auto count = [](double distance, std::int32_t start, std::int32_t last, auto size) {
    double n = 0;
    for (std::int32_t i = start; i <= last && distance > 0; ++i) {
      const double s = size(i);
      if (s <= 0) continue;
      if (distance >= s) {
        n += 1;
        distance -= s;
      } else {
        n += distance / s;
        distance = 0;
      }
    }
    return std::round(n * 100.0) / 100.0;
  };
  const TXLSColumnInfoList& columns = sheet.ColumnInfo();
  const TXLSRowInfoList& rows = sheet.RowInfo();
  const double columnCount = count(characters, sheet.GetScrollColumn() - 1, 255, [&](std::int32_t c) {
    return columns.IsHidden(c) ? 0.0 : columns.GetColumnWidth(c);
  });
  const double rowCount = count(points, sheet.GetScrollRow() - 1, 65535, [&](std::int32_t r) {
    return rows.IsHidden(r) ? 0.0 : rows.GetRowHeight(r);
  });
  TXLSPanes& panes = sheet.GetPanes();
  panes.Clear();
  if (columnCount == 0 && rowCount == 0) return;
  panes.SetSplitPosition(columnCount, rowCount);
  panes.SetTopRow(top);
  panes.SetLeftColumn(left);
}

void TXLSReader::Window2(TXLSRecordBody body) {
  const std::uint16_t options = body.Word(0);
  const std::uint16_t top = body.Word(2), left = body.Word(4);
  if (!body.ok) return;
  IXLSWorksheet& sheet = *CurrentSheet();
  sheet.SetDisplayFormulas(options & 0x0001);
  sheet.SetDisplayGridlines(options & 0x0002);
  sheet.SetDisplayHeadings(options & 0x0004);
  sheet.SetDisplayOutline(options & 0x0080);
  frozen_ = options & 0x0008;
  sheet.SetShowZeros(options & 0x0010);
  sheet.SetRightToLeft(options & 0x0040);
  const bool selected = options & 0x0200;
  if (selected) sheet.Select(false);
  sheet.SetSelected(selected);
  sheet.SetScrollRow(top + 1);
  sheet.SetScrollColumn(left + 1);
}

void TXLSReader::WsBool(TXLSRecordBody body) {
  const std::uint16_t options = body.Word(0);
  if (!body.ok) return;
  fitToPage_ = options & 0x0100;
  TXLSOutline& outline = CurrentSheet()->GetOutline();
  outline.SetSummaryColumn((options & 0x0080) ? 1 : 0);
  // Bit 6 set: summary rows below their detail, as the writer writes it.
  outline.SetSummaryRow((options & 0x0040) ? 1 : 0);
}

void TXLSReader::Setup(TXLSRecordBody body) {
  if (body.size < 34) return;
  TXLSPageSetup& page = *CurrentSheet()->GetPageSetup();
  const std::uint16_t options = body.Word(10);
  TXLSSetupAsRead read;
  read.printerFieldsValid = !(options & 0x0004);
  read.orientationValid = !(options & 0x0040);
  read.portrait = options & 0x0002;
  read.paperSize = body.Word(0);
  read.scale = body.Word(2);
  read.pageStart = body.Word(4);
  read.resolution = body.Word(12);
  read.verticalResolution = body.Word(14);
  read.copies = body.Word(32);
  read.otherOptions = options & 0x0E80;
  // Printer fields marked not valid are stale: the page shows the defaults for them.
  if (read.printerFieldsValid) {
    page.SetPaperSize(read.paperSize);
    page.SetZoom(Variant(static_cast<int>(read.scale)));
    if (read.orientationValid) page.SetOrientation(read.portrait ? 1 : 2);
  }
  page.SetFitToPagesWide(Variant(static_cast<int>(body.Word(6))));
  page.SetFitToPagesTall(Variant(static_cast<int>(body.Word(8))));
  page.SetOrder(options & 1);
  page.SetBlackAndWhite(options & 0x0008);
  page.SetDraft(options & 0x0010);
  page.SetPrintNotes(options & 0x0020);
  page.SetHeaderMargin(body.Double(16));
  page.SetFooterMargin(body.Double(24));
  page.SetZoom(Variant(!fitToPage_));
  page.SetSetupAsRead(read);
}

void TXLSReader::ColInfo(TXLSRecordBody body) {
  const std::int32_t first = body.Word(0), last = body.Word(2);
  const std::uint16_t width = body.Word(4);
  const std::int32_t xf = FileXF(body.Word(6));
  const std::uint16_t options = body.Word(8);
  if (!body.ok || first > last) return;
  TXLSColumnInfoList& columns = CurrentSheet()->ColumnInfo();
  for (std::int32_t c = first; c <= std::min(last, 255); ++c)
    columns.SetColumnInfo(c, width, ((options & 0x700) >> 8) + 1, xf, options & 1, options & 0x1000, options & 0x0004);
}

void TXLSReader::Row(TXLSRecordBody body) {
  const std::int32_t row = body.Word(0);
  const std::uint16_t height = body.Word(6);
  const std::uint32_t options = body.DWord(12);
  if (!body.ok) return;
  CurrentSheet()->RowInfo().SetRowInfo(row, height & 0x7FFF, !(height & 0x8000),
                                       static_cast<std::int32_t>(options & 7) + 1, options & 0x20,
                                       options & 0x80, FileXF(static_cast<std::int32_t>((options >> 16) & 0xFFF)),
                                       options & 0x40, options & 0x10);
}

void TXLSReader::MergedCells(TXLSRecordBody body) {
  const std::size_t count = body.Word(0);
  if (!body.ok) return;
  const std::size_t fits = std::min(count, (body.size - 2) / 8);
  IXLSWorksheet* sheet = CurrentSheet();
  for (std::size_t i = 0; i < fits; ++i) {
    const std::size_t o = 2 + 8 * i;
    const std::int32_t r1 = body.Word(o), r2 = body.Word(o + 2), c1 = body.Word(o + 4), c2 = body.Word(o + 6);
    if (r1 > r2 || c1 > c2 || c2 > 255) continue;
    // Merging makes a cell for every position. An area takes in the merged areas it touches;
    // what it then covers counts against the sheet's allowance (the workbook's
    // MergedCellsPerSheet), so that a few hundred bytes of areas cannot make billions of cells.
    // An area past what is left is not merged.
    if (static_cast<std::int64_t>(r2 - r1 + 1) * (c2 - c1 + 1) > mergedCellsLeft_) continue;
    auto range = TXLSRange::CreateRC(sheet, r1, c1, r2, c2);
    range->ExpandToMergedAreas();
    const std::int64_t cells = static_cast<std::int64_t>(range->GetLastRow() - range->GetFirstRow() + 1) *
                               (range->GetLastCol() - range->GetFirstCol() + 1);
    if (cells > mergedCellsLeft_) continue;
    mergedCellsLeft_ -= cells;
    // Other programs keep the contents of the cells an area covers: they stay.
    range->MergeAsRead();
  }
}

// Validations: a DVAL may drop the drawing's drop-down of a list; a DV that cannot be read is
// left out, one whose texts were too long is kept with them cut; both are told of.
void TXLSReader::Validation(std::uint16_t id, const TXLSBlobList& chunks) {
  IXLSWorksheet& sheet = *CurrentSheet();
  ConnectSheetDropDowns(sheet);
  const int result = SheetRules(sheet).Validations().ReadRecord(id, chunks);
  if (id != kRecDVId) return;
  if (result == TDataValidator::kDVTextsCut) ++sheetLosses_.cutTexts;
  if (result != 1 && result != TDataValidator::kDVTextsCut) ++sheetLosses_.validations;
}

// NOTE: BIFF8 ties a note to its text box object; BIFF5 carries the text itself, and a note
// longer than one record goes on in NOTE records of row 0xFFFF, each with its own piece.
int TXLSReader::Note(TXLSRecordBody body) {
  const std::uint16_t row = body.Word(0), column = body.Word(2);
  IXLSWorksheet* sheet = CurrentSheet();
  if (!Biff8() && body.ok && row == 0xFFFF) {
    const std::size_t length = body.Word(4);
    std::u16string piece;
    if (noteRow_ < 0 || !body.ok || !body.Chars(6, std::min(length, body.size - 6), false, codePage_, piece)) return 1;
    return AppendSheetComment(*sheet, noteRow_, noteColumn_, piece);
  }
  noteRow_ = noteColumn_ = -1;
  if (!body.ok || row == 0xFFFF || column > 255) return 1;
  if (!Biff8()) {
    const std::size_t length = body.Word(4);
    std::u16string text;
    if (!body.ok || !body.Chars(6, std::min(length, body.size - 6), false, codePage_, text)) return 1;
    const int result = AddSheetComment(*sheet, row, column, text);
    if (result == 1) {
      noteRow_ = row;
      noteColumn_ = column;
    }
    return result;
  }
  const std::uint16_t options = body.Word(4), objectId = body.Word(6);
  std::u16string author;
  std::size_t pos = 8;
  if (!body.ok) return 1;
  body.String(pos, false, true, 1252, author);
  // A note whose object is no comment box of the sheet (none, or a chart that took the same id)
  // ties nothing; the rest of the file reads on.
  if (ReadSheetNote(*sheet, objectId, row, column, author, options) != 1) ++sheetLosses_.notes;
  return 1;
}

}  // namespace xls
