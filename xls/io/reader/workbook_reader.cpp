#include "xls/io/reader/workbook_reader.h"

#include <algorithm>

#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/drawing/chart.h"
#include "xls/io/drawing/filter_dropdowns.h"
#include "xls/io/reader/reader_drawing.h"
#include "xls/model/cell_address.h"
#include "xls/model/codepage.h"
#include "xls/model/file_streams.h"
#include "xls/model/font_list.h"
#include "xls/model/row_col_info.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

constexpr std::uint16_t kRecEOF = 0x000A;
constexpr std::uint16_t kSubGlobals = 0x0005;
constexpr std::uint16_t kSubWorksheet = 0x0010;
constexpr std::uint16_t kSubChart = 0x0020;
// The Mac program's book of one chart (no worksheet) starts its chart so.
constexpr std::uint16_t kSubMacChart = 0x8000;

int ReadOpened(TXLSReader& reader, int opened, std::int32_t& fileFormat) {
  if (opened != 1) return opened;
  const int status = reader.Read();
  if (status == 1) fileFormat = reader.FileFormat();
  return status;
}

}  // namespace

int ReadWorkbookFile(TXLSWorkbook& workbook, const std::u16string& fileName,
                     const std::u16string& password, std::int32_t& fileFormat) {
  TXLSReader reader(workbook, password);
  return ReadOpened(reader, reader.Stream().OpenFile(fileName), fileFormat);
}

int ReadWorkbookStream(TXLSWorkbook& workbook, platform::ByteStream& stream,
                       const std::u16string& password, std::int32_t& fileFormat) {
  TXLSReader reader(workbook, password);
  return ReadOpened(reader, reader.Stream().OpenStream(stream), fileFormat);
}

TXLSReader::TXLSReader(TXLSWorkbook& workbook, const std::u16string& password)
    : workbook_(workbook), stream_(password) {}

TXLSReader::~TXLSReader() = default;

IXLSWorksheet* TXLSReader::CurrentSheet() const { return sheet_; }

int TXLSReader::Read() {
  workbook_.Clear();
  workbook_.CalcSettings().recalcBuild = TXLSCalcSettings::kNotCalculated;  // unless the file names one
  workbook_.SetDate1904(false);
  workbook_.ResetPalette();
  workbook_.SetCodeName(u"");
  workbook_.SetFirstVisibleTab(0);

  TXLSRecordGroupReader groups(stream_);
  int status = 1;
  for (;;) {
    TXLSRecordGroup group;
    status = groups.Next(group);
    if (status != 1) break;
    status = Dispatch(group.id, group.chunks);
    if (status != 1) break;
    // A chart sheet takes every record alone, CONTINUE records included.
    groups.SetJoinContinue(state_ != kChartSheet);
  }
  if (status == kReadEndOfStream) status = state_ == kNone ? 1 : kReadUnfinished;
  if (status == 1) Finish();
  workbook_.Formulas().Compiler().SetReadSheetPositions({});
  stream_.Close();
  if (status == 1) {
    KeepMacroProject();
    KeepEmbeddedObjects();
    KeepProperties();
    // Until something changes, every formula's value is what the file cached.
    workbook_.KeepResultsAsRead();
  }
  stream_.CloseStorage();
  return status;
}

// The macro storage and the "Ctls" stream of the file, kept for a later save; a file without
// them (or a bare stream) keeps nothing.
void TXLSReader::KeepMacroProject() {
  const platform::CompoundFileReader* root = stream_.RootStorage();
  if (!root) return;
  auto storage = std::make_unique<TXLSFileStorage>(Biff8() ? u"_VBA_PROJECT_CUR" : u"_VBA_PROJECT");
  if (storage->Load(*root, platform::CompoundFileReader::kRoot) != 1) return;
  std::unique_ptr<TXLSFileStream> controls = TXLSFileStream::CreateAutoSize(u"Ctls");
  if (controls->Load(*root, platform::CompoundFileReader::kRoot) != 1) controls.reset();
  workbook_.SetVBAParts(std::move(storage), std::move(controls), FileFormat());
}

// The storages of the embedded objects ("MBD" and the object's storage id) beside the workbook
// stream, kept for a later BIFF8 save: without them an object would come back as its picture.
void TXLSReader::KeepEmbeddedObjects() {
  const platform::CompoundFileReader* root = stream_.RootStorage();
  if (!root || !Biff8() || workbook_.GetIgnoreDrawings()) return;
  for (int child : root->GetEntry(platform::CompoundFileReader::kRoot).children) {
    const platform::CompoundFileReader::Entry& entry = root->GetEntry(child);
    const std::u16string& name = entry.name;
    if (entry.type != platform::CompoundEntryType::Storage || name.size() < 3 ||
        (name[0] | 0x20) != u'm' || (name[1] | 0x20) != u'b' || (name[2] | 0x20) != u'd')
      continue;
    auto storage = std::make_unique<TXLSFileStorage>(name);
    if (storage->Load(*root, platform::CompoundFileReader::kRoot) == 1)
      KeepEmbeddedStorage(workbook_, std::move(storage));
    else
      ReportLine(nullptr, u"the storage \"" + name + u"\" of an embedded object could not be read and was left out");
  }
}

// The document properties (author, title, company, custom properties), written back as read.
// The pivot tables' caches ("_SX_DB_CUR", BIFF5 "_SX_DB") are not kept: told of.
void TXLSReader::KeepProperties() {
  const platform::CompoundFileReader* root = stream_.RootStorage();
  if (!root) return;
  for (const char16_t* name : {u"\x05SummaryInformation", u"\x05" u"DocumentSummaryInformation"}) {
    const int entry = root->Find(platform::CompoundFileReader::kRoot, name);
    if (entry < 0 || root->GetEntry(entry).type != platform::CompoundEntryType::Stream) continue;
    std::unique_ptr<TXLSFileStream> stream = TXLSFileStream::CreateAutoSize(name);
    if (stream->Load(*root, platform::CompoundFileReader::kRoot) == 1)
      workbook_.KeepPropertyStream(std::move(stream));
    else
      ReportLine(nullptr, u"the document properties (the stream \"" + std::u16string(name + 1) +
                              u"\") could not be read and were left out");
  }
  for (const char16_t* name : {u"_SX_DB_CUR", u"_SX_DB"})
    if (root->Find(platform::CompoundFileReader::kRoot, name) >= 0)
      ReportLine(nullptr, u"the pivot table caches (the storage \"" + std::u16string(name) + u"\") were left out");
}

int TXLSReader::Dispatch(std::uint16_t id, const TXLSBlobList* chunks) {
  static const TXLSBlobList kNoChunks;
  const TXLSBlobList& group = chunks ? *chunks : kNoChunks;
  const TXLSRecordBody first(group.GetChunk(0));
  if (id == kRecEOF) {
    if (state_ == kSkippedObject) {
      if (skipDepth_ > 0) {
        --skipDepth_;
      } else {
        state_ = kWorksheet;
      }
      return 1;
    }
    int result = 1;
    if (state_ == kGlobals) result = EndGlobals();
    if (state_ == kWorksheet && sheet_) {
      DropPendingAnchor();
      std::size_t lostCharts = 0;
      result = FinishSheetDrawing(*sheet_, lostCharts);
      // The chart objects of the substreams that could not be read are told of already.
      for (std::size_t i = skippedObjects_; i < lostCharts; ++i) ReportLoss(u"a chart object without its chart records");
      skippedObjects_ = 0;
      ReportSheetLosses();
      ReportKept(keptSheet_);
    }
    if (state_ == kEmbeddedChart && chart_ && sheet_) {
      chart_->AddRecord(kRecEOF, 0, nullptr);
      // A chart that no chart shape takes is dropped; the rest of the sheet is read all the same.
      if (AddEmbeddedChart(*sheet_, std::move(chart_)) != 1 && !workbook_.GetIgnoreDrawings())
        ReportLoss(u"an embedded chart without its chart object");
    }
    if (state_ == kChartSheet && chart_ && sheet_) {
      chart_->AddRecord(kRecEOF, 0, nullptr);
      // Chart records are written back only in the format they were read in.
      if (!Biff8())
        ReportLine(sheet_, u"the chart, kept as read in a BIFF5 save, is left out of a BIFF8 save "
                           u"(an empty sheet takes its place)");
      else if (chart_->HasBiff8Drawing())
        ReportLine(sheet_, u"the shapes drawn on the chart and its fill effects, kept as read in a BIFF8 save, "
                           u"are left out of a BIFF5 save");
      sheet_->SetChart(std::move(chart_));
    }
    chart_.reset();
    if (state_ == kEmbeddedChart) {
      state_ = kWorksheet;
    } else {
      state_ = kNone;
      sheet_ = nullptr;
    }
    return result;
  }
  switch (state_) {
    case kNone:
      return id == kRecBOF ? Bof(first) : 1;
    case kGlobals:
      if (id == kRecBOF) {
        // The globals ended without their EOF: end them, then start the next substream.
        const int result = EndGlobals();
        state_ = kNone;
        if (result != 1) return result;
        return Bof(first);
      }
      return Globals(id, group);
    case kWorksheet:
      if (id == kRecBOF) {
        TXLSRecordBody body = first;
        if (body.size >= 5 && body.Word(2) == kSubChart) {
          // An embedded chart: its records are kept as read for the sheet's drawing.
          state_ = kEmbeddedChart;
          chart_ = std::make_unique<TXLSCustomChart>(version_);
          chart_->AddRecord(id, static_cast<std::uint32_t>(body.size), body.data);
        } else {
          // Any other substream inside a worksheet cannot be read (a BOF that is no BOF, plain
          // or decrypted, or a substream that has no place there): it is passed over up to its
          // EOF, and the sheet reads on after it.
          state_ = kSkippedObject;
          skipDepth_ = 0;
          ++skippedObjects_;
          ReportLoss(u"an embedded object that could not be read");
        }
        return 1;
      }
      return Sheet(id, group);
    case kSkippedObject:
      if (id == kRecBOF) ++skipDepth_;
      return 1;
    case kEmbeddedChart:
    case kChartSheet:
      // The chart's records are kept as read; a CONTINUE goes to it as a record of its own.
      if (chart_) {
        for (std::size_t i = 0; i < std::max<std::size_t>(group.Count(), 1); ++i) {
          const TXLSRecordBody chunk(group.GetChunk(i));
          chart_->AddRecord(i == 0 ? id : kRecContinue, static_cast<std::uint32_t>(chunk.size), chunk.data);
        }
      }
      return 1;
  }
  return 1;
}

int TXLSReader::Bof(const TXLSRecordBody& chunk) {
  TXLSRecordBody body = chunk;
  if (body.size < 5) return version_ != 0 ? 1 : kReadBadRecord;
  const std::uint16_t version = body.Word(0);
  const std::uint16_t type = body.Word(2);
  biff5ExternSheets_.clear();
  biff5AddInNames_ = false;
  switch (type) {
    case kSubGlobals:
      state_ = kGlobals;
      if (version == 0x0500 || version == 0x0600) version_ = version;
      // The Macintosh version of the format's program writes BIFF5 as 0x0580.
      else if (version_ == 0 && (version & 0xFF00) == 0x0500) version_ = 0x0500;
      break;
    case kSubWorksheet: {
      if (version_ == 0) break;
      state_ = kWorksheet;
      frozen_ = false;
      fitToPage_ = false;
      skippedObjects_ = 0;
      keptSheet_ = KeptCounts();
      noteRow_ = noteColumn_ = -1;
      sheetLosses_ = SheetLosses();
      mergedCellsLeft_ = workbook_.MergedCellsPerSheet();
      ++sheetNumber_;
      IXLSWorkSheets& sheets = workbook_.GetWorksheets();
      while (sheets.GetCount() < sheetNumber_) sheets.Add();
      sheet_ = sheets.GetItem(sheetNumber_);
      // Until a DEFAULTROWHEIGHT says otherwise (a sheet may name none), the rows have the
      // height of the default font's line.
      const TXLSFontList& fonts = workbook_.XFList().Fonts();
      if (const std::uint16_t twips = DefaultRowTwipsOfFont(fonts.GetName(0), fonts.GetSize(0)); twips != 255)
        sheet_->RowInfo().SetDefaultRowAsRead(0, twips);
      break;
    }
    case kSubChart:
    case kSubMacChart: {
      if (version_ == 0) break;
      // A chart sheet: its whole substream is kept as read and written back as the sheet.
      state_ = kChartSheet;
      ++sheetNumber_;
      IXLSWorkSheets& sheets = workbook_.GetWorksheets();
      while (sheets.GetCount() < sheetNumber_) sheets.Add();
      sheet_ = sheets.GetItem(sheetNumber_);
      chart_ = std::make_unique<TXLSCustomChart>(version_);
      // Written back as the chart sheet it is.
      std::vector<std::uint8_t> bof(body.data, body.data + body.size);
      bof[2] = kSubChart & 0xFF, bof[3] = kSubChart >> 8;
      chart_->AddRecord(kRecBOF, static_cast<std::uint32_t>(bof.size()), bof.data());
      break;
    }
    default:
      break;  // macro sheets, modules, workspaces: skipped up to their EOF
  }
  return version_ != 0 ? 1 : kReadBadRecord;
}

namespace {

void AddLoss(TXLSWorkbook& book, const IXLSWorksheet* sheet, const std::u16string& line) {
  // A file made of nothing but losses lists a hundred of them, not millions.
  constexpr std::size_t kListed = 100;
  const std::size_t listed = book.GetReadLosses().size();
  if (listed > kListed) return;
  if (listed == kListed) return book.AddReadLoss(u"More was left out than is listed");
  book.AddReadLoss((sheet ? u"Sheet \"" + sheet->GetName() + u"\": " : std::u16string(u"Workbook: ")) + line);
}

// What a list line says of count things: one, or many with its {n} made the count.
std::u16string CountedText(std::size_t count, const std::u16string& one, const std::u16string& many) {
  if (count == 1) return one;
  const std::string number = std::to_string(count);
  std::u16string text = many;
  if (const std::size_t at = text.find(u"{n}"); at != std::u16string::npos)
    text.replace(at, 3, std::u16string(number.begin(), number.end()));
  return text;
}

// The kinds of drawing objects by their OBJ type: those a sheet keeps no shape for, and those
// whose OBJ record could not be read.
std::u16string ObjectKind(std::uint16_t type, bool many) {
  switch (type) {
    case 0: return many ? u"groups of shapes" : u"a group of shapes";
    case 1: return many ? u"lines" : u"a line";
    case 2: return many ? u"rectangles" : u"a rectangle";
    case 3: return many ? u"ovals" : u"an oval";
    case 4: return many ? u"arcs" : u"an arc";
    case 6: return many ? u"text boxes" : u"a text box";
    case 7: return many ? u"push buttons" : u"a push button";
    case 8: return many ? u"pictures" : u"a picture";
    case 9: return many ? u"polygons" : u"a polygon";
    case 11: return many ? u"check boxes" : u"a check box";
    case 12: return many ? u"option buttons" : u"an option button";
    case 13: return many ? u"edit boxes" : u"an edit box";
    case 14: return many ? u"labels" : u"a label";
    case 15: return many ? u"dialog frames" : u"a dialog frame";
    case 16: return many ? u"spin buttons" : u"a spin button";
    case 17: return many ? u"scroll bars" : u"a scroll bar";
    case 18: return many ? u"list boxes" : u"a list box";
    case 19: return many ? u"group boxes" : u"a group box";
    case 25: return many ? u"comments" : u"a comment";
    default: break;
  }
  const std::string number = std::to_string(type);
  return (many ? u"drawing objects of type " : u"a drawing object of type ") + std::u16string(number.begin(), number.end());
}

}  // namespace

void TXLSReader::ReportLoss(const std::u16string& what) { AddLoss(workbook_, sheet_, what + u" was left out"); }

void TXLSReader::ReportLine(const IXLSWorksheet* sheet, const std::u16string& line) { AddLoss(workbook_, sheet, line); }

void TXLSReader::ReportLosses(std::size_t count, const std::u16string& one, const std::u16string& many) {
  if (count == 0) return;
  if (count == 1) return ReportLoss(one);
  AddLoss(workbook_, sheet_, CountedText(count, one, many) + u" were left out");
}

void TXLSReader::ReportSheetLosses() {
  const SheetLosses& l = sheetLosses_;
  ReportLosses(l.formulas, u"a formula that could not be read (its cell keeps the last result)",
               u"{n} formulas that could not be read (their cells keep the last results)");
  ReportLosses(l.validations, u"a validation that could not be read", u"{n} validations that could not be read");
  ReportLosses(l.cutTexts, u"the end of a validation's texts longer than the file format holds",
               u"the ends of {n} validations' texts longer than the file format holds");
  ReportLosses(l.richTexts, u"the formatting runs of a rich text", u"the formatting runs of {n} rich texts");
  ReportLosses(l.hyperlinks, u"a hyperlink that could not be read", u"{n} hyperlinks that could not be read");
  ReportLosses(l.condFormats, u"a conditional format that could not be read",
               u"{n} conditional formats that could not be read");
  ReportLosses(l.condRules, u"a conditional format's rule that could not be read",
               u"{n} conditional format rules that could not be read");
  ReportLosses(l.notes, u"a note without its comment box", u"{n} notes without their comment boxes");
  ReportLosses(l.tabColours, u"the tab colour", u"{n} tab colours");
  ReportLosses(l.sorts, u"the sort order (SORT)", u"{n} sort orders (SORT)");
  ReportLosses(l.tables, u"a table (FEAT11 or FEAT12; its cells stay as values)",
               u"{n} tables (FEAT11 or FEAT12; their cells stay as values)");
  ReportLosses(l.pivotTables, u"a pivot table (its cells stay as values)",
               u"{n} pivot tables (their cells stay as values)");
  ReportLosses(l.longTexts, u"the end of a text longer than 32,767 characters (what a cell holds)",
               u"the ends of {n} texts longer than 32,767 characters (what a cell holds)");
  for (const auto& [type, count] : TakeDroppedObjects(*sheet_)) {
    // Charts are told of with their chart records; drop-down arrows come back with their filter
    // or validation.
    if (type == 5 || type == 20) continue;
    ReportLosses(count, ObjectKind(type, false), u"{n} " + ObjectKind(type, true));
  }
  sheetLosses_ = SheetLosses();
}

void TXLSReader::ReportKept(KeptCounts& counts) {
  auto line = [this](std::size_t count, const std::u16string& one, const std::u16string& many, bool cells) {
    if (count == 0) return;
    std::u16string text = CountedText(count, one, many);
    text += cells ? u", kept as read in a BIFF8 save while no cells of the sheet are inserted, deleted or cleared,"
                  : u", kept as read in a BIFF8 save,";
    ReportLine(sheet_, text + (count == 1 ? u" is left out of a BIFF5 save" : u" are left out of a BIFF5 save"));
  };
  line(counts.themes, u"the theme (THEME)", u"{n} themes (THEME)", false);
  line(counts.dxfs, u"a differential format (DXF)", u"{n} differential formats (DXF)", false);
  line(counts.xfExts, u"the extension of a cell format (XFEXT)", u"the extensions of {n} cell formats (XFEXT)", false);
  line(counts.condFormats, u"a conditional format record of the newer kinds (CONDFMT12, CF12, CFEX)",
       u"{n} conditional format records of the newer kinds (CONDFMT12, CF12, CFEX)", true);
  line(counts.sorts, u"the sort order (SORT)", u"{n} sort orders (SORT)", true);
  line(counts.features, u"a shared feature record (FEAT, FEATHEADR)",
       u"{n} shared feature records (FEAT, FEATHEADR)", true);
  counts = KeptCounts();
}

int TXLSReader::EndGlobals() {
  ReportKept(keptGlobals_);
  if (fontCounter_ >= 6) workbook_.XFList().Fonts().SetFixedCount(fontCounter_ - 1);
  // A file of fewer than 16 XFs (or none) gets the default formats it left out: formatting a
  // cell builds on XF 15, and a save writes the 16 every reader expects.
  workbook_.XFList().AddMissingDefaults();
  // BIFF5 references number the sheets of the file, macro and module sheets included.
  if (std::count(boundSheets_.begin(), boundSheets_.end(), 0) > 0)
    workbook_.Formulas().Compiler().SetReadSheetPositions(std::vector<int>(boundSheets_.begin(), boundSheets_.end()));
  // BIFF5 names wait for the end of the globals, where every EXTERNSHEET is known.
  for (const CachedName& cached : cachedNames_)
    ReadUserName(cached.id, TXLSRecordBody(cached.body.data(), cached.body.size()));
  cachedNames_.clear();
  ReportLosses(lostMacroNames_, u"a macro name", u"{n} macro names");
  ReportLosses(lostNames_, u"a defined name that could not be read", u"{n} defined names that could not be read");
  ReportLosses(richSharedTexts_, u"the formatting runs of a rich text", u"the formatting runs of {n} rich texts");
  ReportLosses(lostMacroSheets_, u"a macro sheet", u"{n} macro sheets");
  ReportLosses(lostOtherSheets_, u"a module sheet", u"{n} module sheets");
  ReportLosses(lostStyleExts_, u"the extension of a style (STYLEEXT)", u"the extensions of {n} styles (STYLEEXT)");
  ReportLosses(lostTableStyles_, u"the list of table styles (TABLESTYLES)", u"{n} lists of table styles (TABLESTYLES)");
  lostMacroNames_ = lostNames_ = richSharedTexts_ = lostMacroSheets_ = lostOtherSheets_ = 0;
  lostStyleExts_ = lostTableStyles_ = 0;
  for (const Renamed& r : renamedSheets_)
    ReportLine(r.sheet, u"the name \"" + r.name + u"\", which the file format does not allow, was changed to \"" +
                            r.sheet->GetName() + u"\"");
  renamedSheets_.clear();
  ReportLosses(lostExternCells_, u"the cached cells of another workbook (XCT or CRN) that could not be read",
               u"{n} records of cached cells of other workbooks (XCT or CRN) that could not be read");
  lostExternCells_ = 0;
  ReportLosses(static_cast<std::size_t>(workbook_.Formulas().Externs().SupBook().LostBiff5NameFormulas()),
               u"the definition of a name of another workbook (a BIFF5 formula that names its sheets)",
               u"the definitions of {n} names of other workbooks (BIFF5 formulas that name their sheets)");
  return 1;
}

void TXLSReader::Finish() {
  IXLSWorkSheets& sheets = workbook_.GetWorksheets();
  if (IXLSWorksheet* first = sheets.GetItem(KeptSheet(firstVisibleTab_ + 1))) first->MakeFirstVisibleTab();
  if (const std::int32_t active = KeptSheet(activeTab_ + 1); active >= 1 && active <= sheetNumber_) {
    if (IXLSWorksheet* sheet = sheets.GetItem(active)) sheet->Activate();
  }
  for (const TXLSSystemName& n : systemNames_) {
    // By the file's sheet number: a NAME record may come before the sheets it counts.
    IXLSWorksheet* sheet = sheets.GetItem(KeptSheet(n.sheet));
    if (!sheet) continue;
    TXLSPageSetup& page = *sheet->GetPageSetup();
    if (n.kind == 6) {
      page.SetPrintArea(n.firstRow, n.firstColumn, n.lastRow, n.lastColumn);
    } else if (n.kind == 7) {
      if (n.firstRow == -1) {
        if (n.firstColumn >= 0 && n.lastColumn >= n.firstColumn && n.lastColumn <= 255)
          page.SetPrintTitleColumns(AnsiToWideCP(ColsToAbsRef(n.firstColumn + 1, n.lastColumn + 1)));
      } else if (n.lastRow >= n.firstRow && n.lastRow <= 65535) {
        page.SetPrintTitleRows(AnsiToWideCP(RowsToAbsRef(n.firstRow + 1, n.lastRow + 1)));
      }
    } else if (TXLSSheetRules* rules = FindSheetRules(*sheet);
               n.kind == 13 && Biff8() && (!rules || rules->Autofilter().ColumnCount() == 0)) {
      // No AUTOFILTERINFO: the list of an advanced filter, which stays a name.
      ReadUserName(n.nameId, TXLSRecordBody(n.record.data(), n.record.size()));
    } else if (n.kind == 13 && n.firstRow >= 0 && n.lastRow >= n.firstRow && n.firstColumn >= 0 &&
               n.lastColumn >= n.firstColumn && n.lastColumn <= 255) {
      // The filter database gives the autofilter its range, also when its drop-downs were not
      // read.
      SheetRules(*sheet).Autofilter().SetArea(n.firstRow + 1, n.firstColumn + 1, n.lastColumn + 1, n.lastRow + 1);
      if (!Biff8() && !workbook_.GetIgnoreDrawings()) AddMissingFilterDropDowns(*sheet);
    }
  }
}

}  // namespace xls
